#include "DocumentCatalog.h"

#include "AppraisalDocuments.h"
#include "MainTextDocuments.h"
#include "RegistrationDocuments.h"

namespace documents {

std::vector<DocumentSet> documentSetsOf(Family family) {
    return {registrationDocuments(family),
            mainTextDocuments(family),
            {appraisalApplication()},
            {appraisalCertificate()}};
}

}  // namespace documents
