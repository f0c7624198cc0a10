#pragma once

#include <string>
#include <string_view>

// The research period of a record (ITEM_8) as the first section page stores it: the start,
// three blanks, "至" and the end, each side as year "." month ("2001.03   至2003.12").
// Imported and older records may hold less: one side only, no "至", no ".".
namespace researchperiod {

struct Side {
    std::string text;   // the side, trimmed of blanks
    std::string year;   // before its first "."; the whole side when it has none
    std::string month;  // after its first "."
    bool dotted = false;
};

struct Period {
    Side start;
    Side end;
};

// Splits on the first "至" (by characters, never by byte positions); a value without "至" is
// all start. What the value does not hold stays empty.
Period SplitResearchPeriod(std::string_view stored);

}  // namespace researchperiod
