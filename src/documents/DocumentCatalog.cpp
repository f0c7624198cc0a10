#include "DocumentCatalog.h"

#include "RegistrationDocuments.h"

namespace documents {

std::vector<DocumentSet> documentSetsOf(Family family) {
    return {registrationDocuments(family)};
}

}  // namespace documents
