#pragma once

#include <array>
#include <string>
#include <string_view>

#include "Value.h"

// Text transforms of the documents. Texts are UTF-8; widths count GBK bytes (two for a
// Chinese character), and every cut falls between whole characters.
namespace documents {

// The length of text in GBK bytes.
size_t gbkLength(std::string_view text);

// text with one carriage return appended when it is shorter than width GBK bytes.
std::string AppendBreakIfShort(std::string text, size_t width);

struct YearMonthPeriod {
    std::string start;
    std::string end;
};

// The stored research period "2001.03   至2003.12" as "2001年03月" and "2003年12月". A part
// without a "." stays as it is; a value without "至" is all start; an empty value or part
// gives empty texts.
YearMonthPeriod SplitPeriodToYearMonth(std::string_view period);

// Up to three keywords separated by ";", untrimmed; the third ends at the next ";" when one
// follows. Parts that the value does not reach are empty.
std::array<std::string, 3> SplitSemicolonList3(std::string_view value);

struct DateParts {
    std::string year;
    std::string month;
    std::string day;
};

// The stored date text "yyyy.mm.dd" as characters 1-4, 6-7 and 9-10; a shorter text gives
// shorter or empty parts.
DateParts SplitIsoDate(std::string_view date);

// The date in the short date form of the Chinese locale the program runs in ("2004/3/5").
std::string shortDateText(const store::Date& date);

// The option texts of the project sources ("国家科技计划;B") with the national plan's name in
// brackets after the national plan ("国家科技计划(P);B"). Unchanged when plan is empty or the
// national plan is not one of the texts.
std::string bracketNationalPlan(std::string_view names, std::string_view plan);

}  // namespace documents
