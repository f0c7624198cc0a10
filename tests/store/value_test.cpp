#include <gtest/gtest.h>

#include "Errors.h"
#include "Value.h"

namespace store {
namespace {

TEST(DateTest, ParsesTheAcceptedFormsAndRefusesTheRest) {
    struct Case {
        const char* text;
        std::optional<Date> expected;
    };
    const Case cases[] = {
        {"20040501", Date{2004, 5, 1}},
        {"2004-05-01", Date{2004, 5, 1}},
        {"2004.5.1", Date{2004, 5, 1}},
        {"2004/12/31", Date{2004, 12, 31}},
        {" 2004-05-01 ", Date{2004, 5, 1}},
        {"2000-02-29", Date{2000, 2, 29}},
        {"1900-02-29", std::nullopt},
        {"2004-02-30", std::nullopt},
        {"20041301", std::nullopt},
        {"2004-05", std::nullopt},
        {"2004-05/01", std::nullopt},
        {"2004-005-01", std::nullopt},
        {"04-05-01", std::nullopt},
        {"2004-05-01x", std::nullopt},
        {"2004-+5-01", std::nullopt},
        {"        ", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Date::parse(c.text), c.expected) << '"' << c.text << '"';
    }
}

TEST(DateTest, FormatsForTheFileAndForPeople) {
    Date date{2004, 5, 1};
    EXPECT_EQ(date.toDbf(), "20040501");
    EXPECT_EQ(date.toIso(), "2004-05-01");
}

TEST(ValueTest, FormatsNumbersInTheirShortestExactForm) {
    const std::pair<double, const char*> cases[] = {
        {3, "3"},
        {12.5, "12.5"},
        {-0.0, "0"},
        {0.1, "0.1"},
        {-7.25, "-7.25"},
        {1e20, "100000000000000000000"},
        {1e-7, "0.0000001"},
        {2004000001, "2004000001"},
    };
    for (const auto& [number, text] : cases) {
        EXPECT_EQ(formatNumber(number), text);
        EXPECT_EQ(Value(number).asText(), text);
    }
}

TEST(ValueTest, ReadsEachKindAsText) {
    EXPECT_EQ(Value().asText(), "");
    EXPECT_EQ(Value("abc").asText(), "abc");
    EXPECT_EQ(Value(Date{2004, 5, 1}).asText(), "2004-05-01");
    EXPECT_EQ(Value(true).asText(), "T");
    EXPECT_EQ(Value(false).asText(), "F");
}

TEST(ValueTest, ReadsTextAsNumber) {
    EXPECT_EQ(Value().asNumber(), 0);
    EXPECT_EQ(Value("").asNumber(), 0);
    EXPECT_EQ(Value("  12.5 ").asNumber(), 12.5);
    EXPECT_EQ(Value("+3").asNumber(), 3);
    EXPECT_EQ(Value("-.5").asNumber(), -0.5);
    for (const char* bad : {"abc", "1,5", "12a", "+", "1e5x", "- 1"}) {
        EXPECT_THROW(Value(bad).asNumber(), ValueError) << bad;
    }
    EXPECT_THROW(Value(Date{2004, 5, 1}).asNumber(), ValueError);
}

TEST(ValueTest, ReadsDatesAndFlags) {
    EXPECT_EQ(Value("2004.5.1").asDate(), (Date{2004, 5, 1}));
    EXPECT_EQ(Value("soon").asDate(), std::nullopt);
    EXPECT_EQ(Value().asDate(), std::nullopt);
    EXPECT_EQ(Value(12.0).asDate(), std::nullopt);
    EXPECT_TRUE(Value("T").asBool());
    EXPECT_TRUE(Value("y").asBool());
    EXPECT_FALSE(Value("F").asBool());
    EXPECT_FALSE(Value().asBool());
    EXPECT_TRUE(Value(2).asBool());
}

TEST(ValueTest, ComparesByKindAndContent) {
    EXPECT_EQ(Value("3"), Value(std::string("3")));
    EXPECT_NE(Value("3"), Value(3));
    EXPECT_NE(Value(""), Value());
    EXPECT_TRUE(Value().isNull());
    EXPECT_EQ(Value(3).kind(), Value::Kind::Number);
}

}  // namespace
}  // namespace store
