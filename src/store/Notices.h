#pragma once

#include <string>
#include <vector>

namespace store {

// What the store did on its own that the user must be told of once, such as a journal it set
// aside instead of applying. Collected for the whole process: the program shows them at
// start-up, dbftool prints them.
void addNotice(std::string notice);
// The notices added since the last call, in the order they were added; each is given once.
std::vector<std::string> takeNotices();

}  // namespace store
