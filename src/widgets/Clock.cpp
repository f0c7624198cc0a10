#include "Clock.h"

namespace widgets {

namespace {
const Clock* g_installed = nullptr;
}

const Clock& Clock::instance() {
    static const Clock system;
    return g_installed != nullptr ? *g_installed : system;
}

void Clock::install(const Clock* clock) {
    g_installed = clock;
}

}  // namespace widgets
