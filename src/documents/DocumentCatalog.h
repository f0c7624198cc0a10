#pragma once

#include <vector>

#include "DocumentTable.h"

namespace documents {

// The documents of every export button of the family, in the order of the buttons; each
// export's documents in their order.
std::vector<DocumentSet> documentSetsOf(Family family);

}  // namespace documents
