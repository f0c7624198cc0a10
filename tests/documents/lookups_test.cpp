// Code-to-text lookups over the delivered code tables, and the texts the documents compose
// from the current record.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "CodeLookups.h"
#include "DocumentFixture.h"
#include "DocumentTable.h"

using namespace documents;

namespace {

struct LookupCase {
    const char* name;
    std::function<std::string(TDM&)> lookup;
    std::string expected;
};

void PrintTo(const LookupCase& c, std::ostream* os) {
    *os << c.name;
}

class LookupTest : public ::testing::TestWithParam<LookupCase> {
protected:
    testsupport::RecordFixture m_data;
};

TEST_P(LookupTest, FindsTheText) {
    EXPECT_EQ(GetParam().lookup(m_data.dm()), GetParam().expected);
}

std::function<std::string(TDM&)> codeName(std::string list, std::string code) {
    return [=](TDM& dm) { return LookupCodeName(dm.Tblzdxx, list, code); };
}
std::function<std::string(TDM&)> codeNames(std::string list, std::string value) {
    return [=](TDM& dm) { return LookupCodeNamesPair(dm.Tblzdxx, list, value); };
}

INSTANTIATE_TEST_SUITE_P(
    CodeTables, LookupTest,
    ::testing::Values(
        LookupCase{"CodeName", codeName("item_2", "1"), "国际领先"},
        LookupCase{"CodeNameOfAnotherList", codeName("item_201", "1"), "独立研究"},
        LookupCase{"CodeNameUnknown", codeName("item_2", "8"), ""},
        LookupCase{"CodeNameEmpty", codeName("item_2", ""), ""},
        LookupCase{"CodeNameChinese", codeName("item_191", "主任委员"), "主任委员"},
        LookupCase{"CodeWithAQuoteFindsNothing", codeName("item_2", "1'"), ""},
        LookupCase{"CodeWithAStarIsNoPrefix", codeName("item_2", "*"), ""},
        LookupCase{"ListWithAQuoteFindsNothing", codeName("item_2' or '1", "1"), ""},
        LookupCase{"PairWithOneCode", codeNames("item_125", "01;"), "农、林、牧、渔业;"},
        LookupCase{"PairWithTwoCodes", codeNames("item_125", "01;02;"), "农、林、牧、渔业;采矿业"},
        LookupCase{"PairCodesTrimmed", codeNames("item_125", " 01 ; 02 ;"),
                   "农、林、牧、渔业;采矿业"},
        LookupCase{"PairWithoutSeparator", codeNames("item_125", "02"), "采矿业"},
        LookupCase{"PairEmpty", codeNames("item_125", ""), ""},
        LookupCase{"KeyAndName",
                   [](TDM& dm) { return LookupKeyAndName(dm.Txkfl2, "xxdm", "xxmc", "110"); },
                   "110 数学"},
        LookupCase{"KeyAndNameUnknown",
                   [](TDM& dm) { return LookupKeyAndName(dm.Tztflh2, "xxdm", "xxmc", "ZZ9"); }, ""},
        LookupCase{"KeyAndNameEmpty",
                   [](TDM& dm) { return LookupKeyAndName(dm.Tztflh2, "xxdm", "xxmc", ""); }, ""},
        LookupCase{
            "Province",
            [](TDM& dm) { return LookupByKey(dm.tblProvince, "Province_i", "Province_n", "11"); },
            "北京市"},
        LookupCase{"Ministry",
                   [](TDM& dm) { return LookupByKey(dm.tblLsbw, "Bwdm", "Bwmc", "301"); },
                   "外交部"},
        LookupCase{"ByKeyUnknown",
                   [](TDM& dm) { return LookupByKey(dm.tblLsbw, "Bwdm", "Bwmc", "999"); }, ""},
        LookupCase{
            "ByKeyEmpty",
            [](TDM& dm) { return LookupByKey(dm.tblProvince, "Province_i", "Province_n", ""); },
            ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LookupFilters, StayOnTheTable) {
    testsupport::RecordFixture data;
    LookupCodeName(data.dm().Tblzdxx, "item_2", "1");
    EXPECT_EQ(data.dm().Tblzdxx.filter(), "zddm ='item_2' and xxdm ='1'");
    LookupByKey(data.dm().tblLsbw, "Bwdm", "Bwmc", "30'1");
    EXPECT_EQ(data.dm().tblLsbw.filter(), "Bwdm ='30''1'");
}

struct ComposedCase {
    const char* name;
    testsupport::Fields record;
    TextOf text;
    std::optional<std::string> expected;
};

void PrintTo(const ComposedCase& c, std::ostream* os) {
    *os << c.name;
}

class ComposedTextTest : public ::testing::TestWithParam<ComposedCase> {
protected:
    testsupport::RecordFixture m_data;
};

TEST_P(ComposedTextTest, ComposesFromTheRecord) {
    testsupport::Fields record = {{"ITEM_4", "2004000001"}, {"ITEM_DQDM", "."}};
    record.insert(record.end(), GetParam().record.begin(), GetParam().record.end());
    m_data.addRecord(record);
    EXPECT_EQ(GetParam().text(ExportContext(m_data.dm())), GetParam().expected);
}

const TextOf kUnitKind =
    text::JoinWithBracketedText(text::codeOf("ITEM_62"), text::codeOf("ITEM_41_3"));
const TextOf kReasons =
    text::JoinWithBracketedText(text::codesOf("ITEM_32_1"), text::codeOf("ITEM_160"));

INSTANTIATE_TEST_SUITE_P(
    Record, ComposedTextTest,
    ::testing::Values(
        ComposedCase{"NationalPlanWithItsName",
                     {{"ITEM_126", "01;05;"}, {"ITEM_140", "1"}},
                     InsertNationalPlanName,
                     "国家科技计划(863计划);部门基金"},
        ComposedCase{"NationalPlanAlone",
                     {{"ITEM_126", "01;"}, {"ITEM_140", "2"}},
                     InsertNationalPlanName,
                     "国家科技计划(国家科技攻关计划);"},
        ComposedCase{"NationalPlanWithoutPlan",
                     {{"ITEM_126", "01;05;"}},
                     InsertNationalPlanName,
                     "国家科技计划;部门基金"},
        ComposedCase{"PlanWithoutNationalPlan",
                     {{"ITEM_126", "02;03;"}, {"ITEM_140", "1"}},
                     InsertNationalPlanName,
                     "部门计划;地方计划"},
        ComposedCase{"NoProjectSource", {}, InsertNationalPlanName, ""},
        ComposedCase{"UnitKindWithOwnership",
                     {{"ITEM_62", "3"}, {"ITEM_41_3", "01"}},
                     kUnitKind,
                     "企业(国有企业)"},
        ComposedCase{"UnitKindAlone", {{"ITEM_62", "3"}}, kUnitKind, "企业"},
        ComposedCase{"ReasonsWithDetail",
                     {{"ITEM_32_1", "1;"}, {"ITEM_160", "12"}},
                     kReasons,
                     "资金问题;(贷款困难)"},
        ComposedCase{"ReasonsAlone", {{"ITEM_32_1", "1;"}}, kReasons, "资金问题;"},
        ComposedCase{"TransformedEnterprise",
                     {{"ITEM_163", "1"}},
                     TransformedEnterpriseNote,
                     "(属于科研机构转制型企业)"},
        ComposedCase{
            "OtherEnterprise", {{"ITEM_163", "0"}}, TransformedEnterpriseNote, std::nullopt},
        ComposedCase{"NoEnterpriseMark", {}, TransformedEnterpriseNote, std::nullopt},
        ComposedCase{
            "Discipline", {{"ITEM_15", "11011"}}, text::disciplineOf("ITEM_15"), "11011 数学史"},
        ComposedCase{"LibraryClass",
                     {{"ITEM_12", "A1"}},
                     text::libraryClassOf("ITEM_12"),
                     "A1 马克思、恩格斯著作"},
        ComposedCase{"Keyword", {{"ITEM_14", "A;B;C;D"}}, text::keyword(3), "C"},
        ComposedCase{"Widened", {{"ITEM_9", "单位"}}, text::widened("ITEM_9", 38), "单位\r"},
        ComposedCase{
            "PeriodStart", {{"ITEM_8", "2001.03   至2003.12"}}, text::periodStart(), "2001年03月"},
        ComposedCase{"PeriodEndOfEmpty", {}, text::periodEnd(), ""},
        ComposedCase{"Number", {{"ITEM_149", "12.5"}}, text::field("ITEM_149"), "12.5"}),
    [](const auto& info) { return std::string(info.param.name); });

// Without the classification tables the documents carry the stored codes.
TEST(ClassificationTables, MissingGiveTheStoredCode) {
    testsupport::RecordFixture data({"XKFL.dbf", "ZTFLH.dbf"});
    ASSERT_FALSE(data.dm().HasDisciplineTable);
    ASSERT_FALSE(data.dm().HasClcTable);
    data.addRecord(
        {{"ITEM_4", "2004000001"}, {"ITEM_DQDM", "."}, {"ITEM_15", "11011"}, {"ITEM_12", "A1"}});
    const ExportContext context(data.dm());
    EXPECT_EQ(text::disciplineOf("ITEM_15")(context), "11011");
    EXPECT_EQ(text::libraryClassOf("ITEM_12")(context), "A1");
}

}  // namespace
