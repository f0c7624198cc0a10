// Preparation of the report pages from the current record: split texts, dates, check marks,
// code texts, patent slots and the padded list tables.

#include <gtest/gtest.h>

#include "PrintFixture.h"
#include "ReportRenderer.h"

namespace {

using print::Family;
using print::Numbering;
using print::PrintState;
using testsupport::PrintTest;
using testsupport::Row;

QString u(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// ---- keywords --------------------------------------------------------------------------

struct KeywordCase {
    const char* name;
    const char* stored;
    const char* first;
    const char* second;
    const char* third;
};

void PrintTo(const KeywordCase& c, std::ostream* os) {
    *os << c.name;
}

class Keywords : public PrintTest, public ::testing::WithParamInterface<KeywordCase> {};

TEST_P(Keywords, SplitIntoTheThreeLabelsOfPageThreeOfBothFamilies) {
    const KeywordCase& c = GetParam();
    append("hvel.DBF", {record("1", {{"ITEM_14", c.stored}}, "2004000001"),
                        record("3", {{"ITEM_14", c.stored}}, "2004000002")});
    for (const auto& [key, form] :
         {std::pair{"2004000001", "TyyPrint03"}, std::pair{"2004000002", "TrjPrint03"}}) {
        open(key);
        const print::ReportForm& page = prepare(form);
        EXPECT_EQ(caption(page, "item_14_1"), u(c.first)) << form;
        EXPECT_EQ(caption(page, "item_14_2"), u(c.second)) << form;
        EXPECT_EQ(caption(page, "item_14_3"), u(c.third)) << form;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, Keywords,
    ::testing::Values(KeywordCase{"two", "稀土;永磁", "稀土", "永磁", ""},
                      KeywordCase{"three", "稀土;永磁;电机", "稀土", "永磁", "电机"},
                      KeywordCase{"four_keep_the_rest_whole", "a;b;c;d", "a", "b", "c;d"},
                      KeywordCase{"blanks_after_separators", "a; b; c", "a", "b", " c"},
                      KeywordCase{"one", "稀土永磁", "稀土永磁", "", ""},
                      KeywordCase{"none", "", "", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- cover: research period and approval date ------------------------------------------

struct PeriodCase {
    const char* name;
    const char* stored;
    const char* startYear;
    const char* startMonth;
    const char* endYear;
    const char* endMonth;
};

void PrintTo(const PeriodCase& c, std::ostream* os) {
    *os << c.name;
}

class CoverPeriod : public PrintTest, public ::testing::WithParamInterface<PeriodCase> {};

TEST_P(CoverPeriod, PrintsStartAndEndYearAndMonth) {
    const PeriodCase& c = GetParam();
    append("hvel.DBF", {record("1", {{"ITEM_8", c.stored}})});
    open();
    for (const char* form : {"Tyyfm1", "Trjfm1"}) {
        const print::ReportForm& cover = prepare(form);
        EXPECT_EQ(caption(cover, "item_8_1"), u(c.startYear)) << form;
        EXPECT_EQ(caption(cover, "item_8_2"), u(c.startMonth)) << form;
        EXPECT_EQ(caption(cover, "item_8_3"), u(c.endYear)) << form;
        EXPECT_EQ(caption(cover, "item_8_4"), u(c.endMonth)) << form;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, CoverPeriod,
    ::testing::Values(PeriodCase{"stored_form", "2001.03   至2004.12", "2001", "03", "2004", "12"},
                      PeriodCase{"none", "", "", "", "", ""},
                      // Incomplete periods of imported and older records: what is not there
                      // stays empty, nothing is made up from the other side.
                      PeriodCase{"without_end", "2021.03   至", "2021", "03", "", ""},
                      PeriodCase{"without_until", "2021.03", "2021", "03", "", ""},
                      PeriodCase{"without_start", "   至2004.12", "", "", "2004", "12"},
                      PeriodCase{"until_alone", "至", "", "", "", ""},
                      PeriodCase{"without_blanks", "2001.03至2004.12", "2001", "03", "2004", "12"},
                      PeriodCase{"one_digit_months", "2001.3   至2004.1", "2001", "3", "2004", "1"},
                      PeriodCase{"years_only", "2001   至2004", "2001", "", "2004", ""},
                      // Text that is not in the stored form prints as it stands, never halved.
                      PeriodCase{"chinese_text", "2001年3月至2004年12月", "2001年3月", "",
                                 "2004年12月", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PrintTest, CoverTakesTheApprovalDateFromTheDateItself) {
    append("hvel.DBF", {record("1", {{"ITEM_121", "2005-06-08"}}, "2004000001"),
                        record("1", {}, "2004000002")});
    open("2004000001");
    print::ReportForm& cover = prepare("Tyyfm1");
    EXPECT_EQ(caption(cover, "item_121_1"), u("2005"));
    EXPECT_EQ(caption(cover, "item_121_2"), u("6"));
    EXPECT_EQ(caption(cover, "item_121_3"), u("8"));

    open("2004000002");
    prepare("Tyyfm1");
    EXPECT_EQ(caption(cover, "item_121_1"), QString());
    EXPECT_EQ(caption(cover, "item_121_2"), QString());
    EXPECT_EQ(caption(cover, "item_121_3"), QString());
}

TEST_F(PrintTest, ApprovalPageSplitsTheDateIntoTwoDigitLabelsOrLeavesThemEmpty) {
    append("hvel.DBF", {record("1", {{"ITEM_121", "2005-06-08"}}, "2004000001"),
                        record("2", {{"ITEM_121", "2005-11-23"}}, "2004000002"),
                        record("1", {}, "2004000003")});
    open("2004000001");
    print::ReportForm& yy = prepare("TyyPrint08");
    EXPECT_EQ(caption(yy, "QRLabel_year"), u("2005"));
    EXPECT_EQ(caption(yy, "QRLabel_M"), u("06"));
    EXPECT_EQ(caption(yy, "QRLabel_d"), u("08"));

    open("2004000002");
    print::ReportForm& rj = prepare("TrjPrint06");
    EXPECT_EQ(caption(rj, "QRLabel_M"), u("11"));
    EXPECT_EQ(caption(rj, "QRLabel_D"), u("23"));

    open("2004000003");
    prepare("TyyPrint08");
    EXPECT_EQ(caption(yy, "QRLabel_year"), QString());
    EXPECT_EQ(caption(yy, "QRLabel_M"), QString());
    EXPECT_EQ(caption(yy, "QRLabel_d"), QString());
}

// ---- check marks -----------------------------------------------------------------------

// The check labels of page 3 that carry a mark.
QStringList marked(const print::ReportForm& form) {
    QStringList names;
    for (const QString& name : form.labelNames()) {
        if (form.caption(name) == u("√")) {
            names << name;
        }
    }
    return names;
}

TEST_F(PrintTest, PageThreeMarksTheCodesOfSingleAndMultiChoiceFields) {
    append("hvel.DBF", {record("1", {{"ITEM_126", "05;19;"},
                                     {"ITEM_2", "1"},
                                     {"ITEM_201", "3"},
                                     {"ITEM_124_1", "04;"},
                                     {"ITEM_125", "99;23;"},
                                     {"ITEM_123", "A"}})});
    open();
    const print::ReportForm& page = prepare("TyyPrint03");
    EXPECT_EQ(marked(page), (QStringList{u("QL_ITEM_123_A"), u("QL_ITEM_2_1"), u("QL_ITEM_201_3"),
                                         u("QL_ITEM_124_1_04"), u("QL_ITEM_125_23"),
                                         u("QL_ITEM_126_05"), u("QL_ITEM_126_19")}));
}

TEST_F(PrintTest, ACheckLabelIsMarkedOnlyWhenTheRestOfItsNameIsTheCode) {
    // The labels of rj page 3 that begin like ITEM_2.
    const auto layout = std::make_shared<print::ReportLayout>(print::ReportLayout::parse(
        R"(<report form="TrjPrint03"><band kind="body" height="20">
             <check name="QL_ITEM_2_1"/><check name="QL_ITEM_201_1"/>
             <check name="QL_ITEM_200_01"/><check name="QL_ITEM_2_2"/>
           </band></report>)",
        u("fixture")));
    print::ReportForm form(*print::findReportForm(u("TrjPrint03")), layout);
    PrintState::MarkCheckLabel(form, u("ITEM_2"), u("1"));
    EXPECT_EQ(marked(form), QStringList{u("QL_ITEM_2_1")});
    PrintState::MarkCheckLabel(form, u("ITEM_2"), QString());
    EXPECT_EQ(marked(form), QStringList{u("QL_ITEM_2_1")});

    PrintState::ClearItemCheckLabels(form);
    EXPECT_TRUE(marked(form).isEmpty());
}

// The unit pages store the converted-enterprise answer as "1" or "0"; the printed options are
// coded 1 是 and 2 否.
struct ConvertedCase {
    const char* name;
    const char* type;
    const char* form;
    const char* stored;
    QStringList marks;
};

class ConvertedEnterprise : public PrintTest,
                            public ::testing::WithParamInterface<ConvertedCase> {};

TEST_P(ConvertedEnterprise, MarksTheAnswerOfTheUnitPages) {
    append("hvel.DBF",
           {record(GetParam().type,
                   {{"ITEM_62", "3"}, {"ITEM_41_3", "02"}, {"ITEM_163", GetParam().stored}})});
    open();
    EXPECT_EQ(marked(prepare(GetParam().form)), GetParam().marks);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ConvertedEnterprise,
    ::testing::Values(
        ConvertedCase{"yy_yes", "1", "TyyPrint07", "1", {u("QL_ITEM_41_3_02"), u("QL_ITEM_163_1")}},
        ConvertedCase{"yy_no", "1", "TyyPrint07", "0", {u("QL_ITEM_41_3_02"), u("QL_ITEM_163_2")}},
        ConvertedCase{
            "yy_no_as_coded", "1", "TyyPrint07", "2", {u("QL_ITEM_41_3_02"), u("QL_ITEM_163_2")}},
        ConvertedCase{"rj_no", "3", "TrjPrint05", "0", {u("QR_ITEM_41_3_02"), u("QR_ITEM_163_2")}},
        ConvertedCase{"rj_unanswered", "3", "TrjPrint05", "", {u("QR_ITEM_41_3_02")}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PrintTest, APagePreparedAgainForAnotherRecordKeepsNothingOfTheFirst) {
    append("hvel.DBF",
           {record("1", {{"ITEM_2", "1"}, {"ITEM_14", "甲;乙;丙"}, {"ITEM_126", "02;03;"}},
                   "2004000001"),
            record("1", {{"ITEM_2", "3"}}, "2004000002")});
    open("2004000001");
    print::ReportForm& page = prepare("TyyPrint03", Numbering::MainText);
    EXPECT_EQ(caption(page, "QRPage"), u("1"));
    open("2004000002");
    prepare("TyyPrint03");
    EXPECT_EQ(marked(page), QStringList{u("QL_ITEM_2_3")});
    EXPECT_EQ(caption(page, "item_14_1"), QString());
    EXPECT_EQ(caption(page, "item_14_2"), QString());
    EXPECT_EQ(caption(page, "QRPage"), u("3"));
    EXPECT_EQ(page.recordValue(u("ITEM_3")), u("成果2004000002"));
}

// ---- code texts ------------------------------------------------------------------------

TEST_F(PrintTest, PageFiveTakesTheBracketTextsFromTheOptionList) {
    append("hvel.DBF",
           {record("1", {{"ITEM_46", "03"}, {"ITEM_47", "77"}, {"ITEM_34", "2004.05.06"}})});
    open();
    const print::ReportForm& page = prepare("TyyPrint05");
    EXPECT_EQ(caption(page, "QRLabel44"), u("500～1000"));
    EXPECT_EQ(caption(page, "QRLabel45"), QString());
    EXPECT_EQ(caption(page, "QR_ITEM_34"), u("2004.05.06"));
}

TEST_F(PrintTest, UnitPagesLookUpProvinceAndMinistry) {
    append("hvel.DBF",
           {record("1", {{"ITEM_64", "11"}, {"ITEM_63", "999"}, {"ITEM_9", "  某研究所"}},
                   "2004000001"),
            record("2", {{"ITEM_64", "31"}, {"ITEM_9", "  某研究所"}}, "2004000002")});
    open("2004000001");
    const print::ReportForm& yy = prepare("TyyPrint07");
    EXPECT_EQ(caption(yy, "QRLabel_64"), u("北京市"));
    EXPECT_EQ(caption(yy, "QRLabel_63"), QString());
    open("2004000002");
    const print::ReportForm& rj = prepare("TrjPrint05");
    EXPECT_EQ(caption(rj, "QR_item_64"), u("上海市"));
    EXPECT_EQ(caption(rj, "QR_item_9"), u("某研究所"));
    // A bound field prints as stored.
    open("2004000001");
    EXPECT_EQ(prepare("Tyyfm1").recordValue(u("ITEM_9")), u("  某研究所"));
}

TEST_F(PrintTest, LookupsMatchValuesHoldingQuotesAndStarsExactly) {
    append("province.dbf", {{{"Province_i", "1'"}, {"Province_n", "引号省"}},
                            {{"Province_i", "1*"}, {"Province_n", "星号省"}}});
    append("zdxx.dbf", {{{"zddm", "item_4'6"}, {"xxdm", "0'"}, {"xxmc", "引号档"}}});
    append("hvel.DBF", {record("1", {{"ITEM_64", "1'"}}, "2004000001"),
                        record("2", {{"ITEM_64", "1*"}}, "2004000002")});
    open("2004000001");
    EXPECT_EQ(caption(prepare("TyyPrint07"), "QRLabel_64"), u("引号省"));
    open("2004000002");
    EXPECT_EQ(caption(prepare("TrjPrint05"), "QR_item_64"), u("星号省"));
    print::ReportForm& page = m_state->form(u("TyyPrint05"));
    PrintState::SetLabelToCodeName(m_dm->Tblzdxx, u("item_4'6"), u("0'"), page, u("QRLabel44"));
    EXPECT_EQ(caption(page, "QRLabel44"), u("引号档"));
}

// ---- patent slots and the units table --------------------------------------------------

TEST_F(PrintTest, FivePatentsPrintTheFirstFourAndReportTheFifth) {
    append("hvel.DBF", {record("1", {}, "2004000001"), record("1", {}, "2004000002")});
    std::vector<Row> patents;
    for (int i = 1; i <= 5; ++i) {
        patents.push_back({{"ITEM_NO", std::to_string(i)},
                           {"PATENT_NO", "ZL0" + std::to_string(i)},
                           {"PATENT_NAM", "专利" + std::to_string(i)}});
    }
    append("zlqk.DBF", children(patents));
    open("2004000001");
    const print::ReportForm& page = prepare("TyyPrint05");
    EXPECT_EQ(caption(page, "QL_zlqk_zlh_1"), u("ZL01"));
    EXPECT_EQ(caption(page, "QL_zlqk_zlm_4"), u("专利4"));
    ASSERT_EQ(m_state->omittedRows().size(), 1u);
    EXPECT_EQ(m_state->omittedRows()[0].text(), u("专利共 5 项，表中只能印出前 4 项。"));

    open("2004000002");
    prepare("TyyPrint05");
    for (const char* slot : {"QL_zlqk_zlh_1", "QL_zlqk_zlm_1", "QL_zlqk_zlh_4", "QL_zlqk_zlm_4"}) {
        EXPECT_EQ(caption(page, slot), QString()) << slot;
    }
    EXPECT_TRUE(m_state->omittedRows().empty());
}

struct UnitsCase {
    const char* name;
    const char* type;
    const char* form;
    int units;
    int rows;
    int omitted;  // rows left out, 0 for none
};

void PrintTo(const UnitsCase& c, std::ostream* os) {
    *os << c.name;
}

class UnitsTable : public PrintTest, public ::testing::WithParamInterface<UnitsCase> {};

TEST_P(UnitsTable, HoldsTheOfficialNumberOfRowsAndReportsTheRest) {
    const UnitsCase& c = GetParam();
    append("hvel.DBF", {record(c.type)});
    append("cgwcdw.DBF", numbered(c.units, "ITEM_170", "ITEM_176"));
    open();
    prepare(c.form);
    const QStringList names = column(m_state->ClientDataSet3, "ITEM_170");
    ASSERT_EQ(names.size(), c.rows);
    EXPECT_EQ(names.front(), c.units > 0 ? u("第1行") : QString());
    EXPECT_EQ(names.back(), c.units >= c.rows ? u("第%1行").arg(c.rows) : QString());
    if (c.omitted == 0) {
        EXPECT_TRUE(m_state->omittedRows().empty());
    } else {
        ASSERT_EQ(m_state->omittedRows().size(), 1u);
        EXPECT_EQ(m_state->omittedRows()[0].total - m_state->omittedRows()[0].printed, c.omitted);
    }
}

INSTANTIATE_TEST_SUITE_P(Counts, UnitsTable,
                         ::testing::Values(UnitsCase{"yy_24_units", "1", "TyyPrint07", 24, 23, 1},
                                           UnitsCase{"yy_23_units", "1", "TyyPrint07", 23, 23, 0},
                                           UnitsCase{"yy_2_units", "1", "TyyPrint07", 2, 23, 0},
                                           UnitsCase{"rj_14_units", "3", "TrjPrint05", 14, 13, 1},
                                           UnitsCase{"rj_none", "2", "TrjPrint05", 0, 13, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- padded list tables ----------------------------------------------------------------

struct PaddingCase {
    int n;
    int yyPersons;
    int rjPersons;
    int yyCommittee;
    int rjCommittee;
};

void PrintTo(const PaddingCase& c, std::ostream* os) {
    *os << c.n;
}

class Padding : public ::testing::TestWithParam<PaddingCase> {};

TEST_P(Padding, RowCountsOfTheListTables) {
    const PaddingCase& c = GetParam();
    EXPECT_EQ(PrintState::personsRowCount(Family::Yy, c.n), c.yyPersons);
    EXPECT_EQ(PrintState::personsRowCount(Family::Rj, c.n), c.rjPersons);
    EXPECT_EQ(PrintState::committeeRowCount(Family::Yy, c.n), c.yyCommittee);
    EXPECT_EQ(PrintState::committeeRowCount(Family::Rj, c.n), c.rjCommittee);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Padding,
    ::testing::Values(PaddingCase{0, 17, 17, 13, 15}, PaddingCase{13, 17, 17, 13, 15},
                      PaddingCase{14, 17, 17, 34, 15}, PaddingCase{16, 17, 17, 34, 37},
                      PaddingCase{18, 38, 39, 34, 37}, PaddingCase{35, 38, 39, 55, 37},
                      PaddingCase{38, 38, 39, 55, 59}, PaddingCase{40, 59, 61, 55, 59}),
    [](const auto& info) { return "n" + std::to_string(info.param.n); });

TEST_F(PrintTest, PersonsTableCopiesTrimmedValuesAndCodeTextsThenEmptyRows) {
    append("hvel.DBF", {record("1")});
    append("cgwcr.DBF", children({{{"ITEM_187", "1"},
                                   {"ITEM_180", " 张三"},
                                   {"ITEM_181", "2"},
                                   {"ITEM_183", "1"},
                                   {"ITEM_184", "3"},
                                   {"ITEM_188", "0"},
                                   {"ITEM_185", "某所"}}}));
    open();
    prepare("TyyPrint10");
    const print::MemoryTable& persons = m_state->ClientDataSet2;
    ASSERT_EQ(persons.rowCount(), 17);
    EXPECT_EQ(column(persons, "ITEM_180").front(), u("张三"));
    EXPECT_EQ(column(persons, "ITEM_181").front(), u("女"));
    EXPECT_EQ(column(persons, "ITEM_183").front(), u("正高级"));
    EXPECT_EQ(column(persons, "ITEM_184").front(), u("大学本科"));
    EXPECT_EQ(column(persons, "ITEM_188").front(), u("否"));
    EXPECT_EQ(column(persons, "ITEM_187").front(), u("1"));
    EXPECT_EQ(column(persons, "ITEM_187")[1], QString());
    EXPECT_EQ(column(persons, "ITEM_4").front(), QString());
}

TEST_F(PrintTest, CommitteeTableCopiesEveryFieldWithTheCodeTextsOfSexAndTitle) {
    append("hvel.DBF", {record("3")});
    append("jdwyhmd.DBF", children({{{"ITEM_190", "1"},
                                     {"ITEM_191", "主任委员"},
                                     {"ITEM_192", "王五"},
                                     {"ITEM_193", "1"},
                                     {"ITEM_198", "2"},
                                     {"ITEM_199", "备注"}}}));
    open();
    prepare("TrjPrint09");
    const print::MemoryTable& members = m_state->ClientDataSet1;
    ASSERT_EQ(members.rowCount(), 15);
    EXPECT_EQ(column(members, "ITEM_4").front(), u("2004000001"));
    EXPECT_EQ(column(members, "ITEM_191").front(), u("主任委员"));
    EXPECT_EQ(column(members, "ITEM_193").front(), u("男"));
    EXPECT_EQ(column(members, "ITEM_198").front(), u("副高级"));
    EXPECT_EQ(column(members, "ITEM_199").front(), u("备注"));
    EXPECT_EQ(column(members, "ITEM_4").back(), QString());
}

struct ListLabelCase {
    const char* name;
    const char* type;
    const char* form;
    const char* table;  // child table
    const char* field;
    const char* sequence;
    int n;
    bool onePage;
};

void PrintTo(const ListLabelCase& c, std::ostream* os) {
    *os << c.name;
}

class ListPageLabel : public PrintTest, public ::testing::WithParamInterface<ListLabelCase> {};

TEST_P(ListPageLabel, OnePageShowsTheStaticLabelLongerListsTheRunningNumber) {
    const ListLabelCase& c = GetParam();
    append("hvel.DBF", {record(c.type)});
    append(c.table, numbered(c.n, c.field, c.sequence));
    open();
    const print::ReportForm& page = prepare(c.form);
    EXPECT_EQ(page.isEnabled(u("QRpage")), c.onePage);
    EXPECT_EQ(page.isEnabled(u("QRSysData1")), !c.onePage);
    if (page.hasLayout()) {
        EXPECT_EQ(print::pageCount(page) == 1, c.onePage);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ListPageLabel,
    ::testing::Values(ListLabelCase{"yy_persons_17", "1", "TyyPrint10", "cgwcr.DBF", "ITEM_180",
                                    "ITEM_187", 17, true},
                      ListLabelCase{"yy_persons_18", "1", "TyyPrint10", "cgwcr.DBF", "ITEM_180",
                                    "ITEM_187", 18, false},
                      ListLabelCase{"yy_persons_none", "1", "TyyPrint10", "cgwcr.DBF", "ITEM_180",
                                    "ITEM_187", 0, true},
                      ListLabelCase{"rj_persons_18", "3", "TrjPrint08", "cgwcr.DBF", "ITEM_180",
                                    "ITEM_187", 18, false},
                      ListLabelCase{"yy_committee_13", "1", "TyyPrint11", "jdwyhmd.DBF", "ITEM_192",
                                    "ITEM_190", 13, true},
                      ListLabelCase{"yy_committee_14", "1", "TyyPrint11", "jdwyhmd.DBF", "ITEM_192",
                                    "ITEM_190", 14, false},
                      ListLabelCase{"rj_committee_15", "2", "TrjPrint09", "jdwyhmd.DBF", "ITEM_192",
                                    "ITEM_190", 15, true},
                      ListLabelCase{"rj_committee_16", "2", "TrjPrint09", "jdwyhmd.DBF", "ITEM_192",
                                    "ITEM_190", 16, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Forty persons fill the second page; the filling notes no longer fit below them and take a
// third page, whose ruled rows stay empty.
TEST_F(PrintTest, FortyPersonsFillTwoPagesAndTheNotesTakeAThird) {
    append("hvel.DBF", {record("1")});
    append("cgwcr.DBF", numbered(40, "ITEM_180", "ITEM_187"));
    open();
    const print::ReportForm& page = prepare("TyyPrint10");
    const std::vector<print::PagePlan> pages = print::paginate(page);
    ASSERT_EQ(pages.size(), 3u);
    std::vector<QStringList> names(pages.size());
    for (size_t p = 0; p < pages.size(); ++p) {
        for (const print::PlacedBand& placed : pages[p]) {
            if (placed.row >= 0) {
                names[p] << m_state->ClientDataSet2.value(placed.row, 3);
            }
        }
    }
    EXPECT_EQ(names[1].size(), 21);
    EXPECT_EQ(names[1][18], u("第40行"));
    EXPECT_EQ(names[2].size(), 17);
    EXPECT_EQ(names[2].join(QString()), QString());
    EXPECT_EQ(pages[2][pages[2].size() - 2].band->kind, print::BandKind::Summary);
}

TEST_F(PrintTest, ListLabelsFollowTheNumberingAndTheRecordOfEachPreparation) {
    append("hvel.DBF", {record("1", {}, "2004000001"), record("1", {}, "2004000002")});
    append("cgwcr.DBF", numbered(20, "ITEM_180", "ITEM_187", "2004000001"));
    append("cgwcr.DBF", numbered(2, "ITEM_180", "ITEM_187", "2004000002"));
    open("2004000001");
    print::ReportForm& page = prepare("TyyPrint10", Numbering::MainText);
    EXPECT_EQ(caption(page, "QRSysData1"), u("6--"));
    EXPECT_EQ(caption(page, "QRpage"), u("6"));
    EXPECT_TRUE(page.isEnabled(u("QRSysData1")));

    open("2004000002");
    prepare("TyyPrint10");
    EXPECT_EQ(caption(page, "QRSysData1"), u("10--"));
    EXPECT_EQ(caption(page, "QRpage"), u("10"));
    EXPECT_FALSE(page.isEnabled(u("QRSysData1")));
    EXPECT_TRUE(page.isEnabled(u("QRpage")));
    EXPECT_EQ(column(m_state->ClientDataSet2, "ITEM_180").mid(0, 3),
              (QStringList{u("第1行"), u("第2行"), QString()}));
}

// ---- forms and controls ----------------------------------------------------------------

TEST_F(PrintTest, FormsAreCreatedOnFirstUseAndKept) {
    append("hvel.DBF", {record("1")});
    open();
    EXPECT_FALSE(m_state->isCreated(u("TyyPrint03")));
    print::ReportForm& first = prepare("TyyPrint03");
    EXPECT_TRUE(m_state->isCreated(u("TyyPrint03")));
    EXPECT_EQ(&prepare("TyyPrint03"), &first);
    EXPECT_THROW(m_state->form(u("TyyPrint13")), print::PrintError);
}

TEST_F(PrintTest, AControlTheLayoutLacksIsAnErrorWhileAFormWithoutLayoutKeepsWhatItIsGiven) {
    append("hvel.DBF", {record("1")});
    open();
    print::ReportForm& withLayout = m_state->form(u("TyyPrint03"));
    ASSERT_TRUE(withLayout.hasLayout());
    EXPECT_THROW(withLayout.setCaption(u("item_14_4"), u("x")), print::PrintError);

    // Every prepared page has a layout file; a form without one is built here.
    print::ReportForm withoutLayout(*print::findReportForm(u("TyyPrint05")), nullptr);
    m_state->PrepareTyyPrint05(withoutLayout);
    EXPECT_TRUE(withoutLayout.addressedNames().contains(u("QRLabel44")));
    EXPECT_TRUE(withoutLayout.addressedNames().contains(u("QL_zlqk_zlh_1")));
    EXPECT_THROW(print::pageCount(withoutLayout), print::PrintError);
}

TEST_F(PrintTest, AFieldTheRecordLacksEndsThePreparationWithAnError) {
    append("hvel.DBF", {record("1")});
    open();
    print::ReportForm& page = m_state->form(u("TyyPrint03"));
    EXPECT_THROW(PrintState(*m_dm).MarkCheckLabelsForField(page, u("ITEM_999")), std::exception);
}

}  // namespace
