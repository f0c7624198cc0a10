// The text transforms of the documents: widths in GBK bytes, the research period, keywords,
// stored dates and the national plan's name.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "DocumentTexts.h"

using namespace documents;

namespace {

struct BreakCase {
    const char* name;
    std::string text;
    size_t width;
    bool getsBreak;
};

void PrintTo(const BreakCase& c, std::ostream* os) {
    *os << c.name;
}

class AppendBreakIfShortTest : public ::testing::TestWithParam<BreakCase> {};

TEST_P(AppendBreakIfShortTest, AppendsOneCarriageReturnBelowTheWidth) {
    const BreakCase& c = GetParam();
    EXPECT_EQ(AppendBreakIfShort(c.text, c.width), c.getsBreak ? c.text + "\r" : c.text);
}

std::string chinese(int characters) {
    std::string text;
    for (int i = 0; i < characters; ++i) {
        text += "测";
    }
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    Widths, AppendBreakIfShortTest,
    ::testing::Values(BreakCase{"Empty", "", 42, true},
                      BreakCase{"TwentyOneChineseAre42Bytes", chinese(21), 42, false},
                      BreakCase{"TwentyChinesePlusOneLetterAre41Bytes", chinese(20) + "a", 42,
                                true},
                      BreakCase{"Longer", chinese(22), 42, false},
                      BreakCase{"AppliedTechnologyCoverAt44", chinese(21) + "ab", 44, false},
                      BreakCase{"AppliedTechnologyCoverBelow44", chinese(21), 44, true},
                      BreakCase{"Ascii", "abc", 3, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct PeriodCase {
    const char* name;
    const char* period;
    const char* start;
    const char* end;
};

void PrintTo(const PeriodCase& c, std::ostream* os) {
    *os << c.name;
}

class SplitPeriodTest : public ::testing::TestWithParam<PeriodCase> {};

TEST_P(SplitPeriodTest, GivesYearAndMonth) {
    const PeriodCase& c = GetParam();
    YearMonthPeriod period = SplitPeriodToYearMonth(c.period);
    EXPECT_EQ(period.start, c.start);
    EXPECT_EQ(period.end, c.end);
}

INSTANTIATE_TEST_SUITE_P(
    Periods, SplitPeriodTest,
    ::testing::Values(PeriodCase{"Stored", "2001.03   至2003.12", "2001年03月", "2003年12月"},
                      PeriodCase{"Empty", "", "", ""},
                      PeriodCase{"WithoutBlanks", "2001.03至2003.12", "2001年03月", "2003年12月"},
                      PeriodCase{"WithoutEnd", "2001.03   至", "2001年03月", ""},
                      PeriodCase{"WithoutUntil", "2001.03", "2001年03月", ""},
                      PeriodCase{"PartWithoutDot", "2001   至2003", "2001", "2003"}),
    [](const auto& info) { return std::string(info.param.name); });

struct KeywordCase {
    const char* name;
    const char* value;
    std::array<std::string, 3> parts;
};

void PrintTo(const KeywordCase& c, std::ostream* os) {
    *os << c.name;
}

class SplitSemicolonList3Test : public ::testing::TestWithParam<KeywordCase> {};

TEST_P(SplitSemicolonList3Test, FillsUpToThreeParts) {
    EXPECT_EQ(SplitSemicolonList3(GetParam().value), GetParam().parts);
}

INSTANTIATE_TEST_SUITE_P(
    Keywords, SplitSemicolonList3Test,
    ::testing::Values(KeywordCase{"Two", "A;B", {"A", "B", ""}},
                      KeywordCase{"FourKeepThree", "A;B;C;D", {"A", "B", "C"}},
                      KeywordCase{"One", "A", {"A", "", ""}},
                      KeywordCase{"Empty", "", {"", "", ""}},
                      KeywordCase{"TrailingSeparator", "A;B;", {"A", "B", ""}},
                      KeywordCase{"BlanksKept", "a; b; c", {"a", " b", " c"}},
                      KeywordCase{"Chinese", "水稻;育种;基因", {"水稻", "育种", "基因"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct DateCase {
    const char* name;
    const char* date;
    const char* year;
    const char* month;
    const char* day;
};

void PrintTo(const DateCase& c, std::ostream* os) {
    *os << c.name;
}

class SplitIsoDateTest : public ::testing::TestWithParam<DateCase> {};

TEST_P(SplitIsoDateTest, TakesFixedPositions) {
    const DateCase& c = GetParam();
    DateParts parts = SplitIsoDate(c.date);
    EXPECT_EQ(parts.year, c.year);
    EXPECT_EQ(parts.month, c.month);
    EXPECT_EQ(parts.day, c.day);
}

INSTANTIATE_TEST_SUITE_P(Dates, SplitIsoDateTest,
                         ::testing::Values(DateCase{"Stored", "2004.05.17", "2004", "05", "17"},
                                           DateCase{"Empty", "", "", "", ""},
                                           DateCase{"YearAndMonth", "2004.05", "2004", "05", ""},
                                           DateCase{"YearOnly", "2004", "2004", "", ""},
                                           DateCase{"ChineseNeverCut", "二〇〇四年五月", "二〇〇四",
                                                    "五月", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

struct PlanCase {
    const char* name;
    const char* names;
    const char* plan;
    const char* result;
};

void PrintTo(const PlanCase& c, std::ostream* os) {
    *os << c.name;
}

class BracketNationalPlanTest : public ::testing::TestWithParam<PlanCase> {};

TEST_P(BracketNationalPlanTest, BracketsThePlanAfterTheNationalPlan) {
    EXPECT_EQ(bracketNationalPlan(GetParam().names, GetParam().plan), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
    Plans, BracketNationalPlanTest,
    ::testing::Values(PlanCase{"FirstOfTwo", "国家科技计划;部门基金", "863计划",
                               "国家科技计划(863计划);部门基金"},
                      PlanCase{"OnlyOne", "国家科技计划;", "863计划", "国家科技计划(863计划);"},
                      PlanCase{"NoPlan", "国家科技计划;部门基金", "", "国家科技计划;部门基金"},
                      PlanCase{"NotAmongTheSources", "部门计划;地方计划", "863计划",
                               "部门计划;地方计划"},
                      // Inside another text the marker is no source of its own.
                      PlanCase{"InsideAnotherText", "非国家科技计划项目;国家科技计划", "863计划",
                               "非国家科技计划项目;国家科技计划(863计划)"},
                      PlanCase{"Empty", "", "863计划", ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
