#include "ResearchPeriod.h"

#include "Text.h"

namespace researchperiod {

namespace {

constexpr std::string_view kUntil = "至";

Side splitSide(std::string_view text) {
    Side side;
    text = store::text::trimBlanks(text);
    side.text = std::string(text);
    const size_t dot = text.find('.');
    side.dotted = dot != std::string_view::npos;
    side.year = std::string(text.substr(0, dot));
    if (side.dotted) {
        side.month = std::string(text.substr(dot + 1));
    }
    return side;
}

}  // namespace

Period SplitResearchPeriod(std::string_view stored) {
    const size_t until = stored.find(kUntil);
    if (until == std::string_view::npos) {
        return {splitSide(stored), {}};
    }
    return {splitSide(stored.substr(0, until)), splitSide(stored.substr(until + kUntil.size()))};
}

}  // namespace researchperiod
