// The overview page "成果概况".
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>
#include <functional>

#include "PageFixture.h"
#include "UnitNew.h"
#include "UnitPage1.h"
#include "Unitpage4a.h"
#include "Unittree.h"
#include "ui_Unit1.h"
#include "ui_UnitNew.h"
#include "ui_UnitPage1.h"

using testsupport::record;
using testsupport::Row;

namespace {

// A complete overview of each type, registered 2004.03.10. Each also carries stale values of
// the other type's fields, which its save empties.
const Row kApplied = {{"ITEM_3", "水稻育种"},
                      {"ITEM_120", "GL-1"},
                      {"ITEM_128", "省农业厅"},
                      {"ITEM_121", "2004-03-10"},
                      {"ITEM_8", "2003.05   至2004.02"},
                      {"ITEM_1", "1"},
                      {"ITEM_14", "水稻;育种"},
                      {"ITEM_2", "3"},
                      {"ITEM_201", "2"},
                      {"ITEM_15", "11011"},
                      {"ITEM_12", "A1"},
                      {"ITEM_125", "03;"},
                      {"ITEM_13", "公告"},
                      {"ITEM_13_1", "说明"},
                      {"ITEM_123", "A"},
                      {"ITEM_16", "1"},
                      {"ITEM_33", "2"},
                      {"ITEM_124_1", "05;"},
                      {"ITEM_125_1", "1"},
                      {"ITEM_210", "9"},
                      {"ITEM_200", "12;"}};

Row softScience() {
    Row row = kApplied;
    row["ITEM_210"] = "1";
    row["ITEM_200"] = "03;";
    row["outcomeb"] = "";
    return row;
}

void uncheckAll(QWidget* panel) {
    for (QAbstractButton* box : panel->findChildren<QAbstractButton*>()) {
        box->setAutoExclusive(false);
        box->setChecked(false);
        box->setAutoExclusive(true);
    }
}

class Page1Test : public testsupport::PageFixture {
protected:
    void openPage(const Row& fields = kApplied, bool applied = true) {
        openRecords({record("2004000001", applied ? "1" : "2", fields)}, applied ? 0 : 1);
        page = std::make_unique<TFpage1>(*m_form, *m_tree);
        p = page->form();
        page->loadRecord(DM->Qryhvel);
    }

    void TearDown() override {
        Fpage1 = nullptr;
        FormNew = nullptr;
        FormTree = nullptr;
        page.reset();
        PageFixture::TearDown();
    }

    std::string storedField(const char* field) const { return stored("2004000001").at(field); }

    bool visible(QWidget* widget) const { return widget->isVisibleTo(page.get()); }

    std::unique_ptr<TFpage1> page;
    Ui::TFpage1* p = nullptr;
};

// ---- loading ------------------------------------------------------------------------------

TEST_F(Page1Test, LoadsAnAppliedTechnologyRecord) {
    openPage();
    EXPECT_TRUE(m_boxes.boxes.empty());
    EXPECT_EQ(p->Edt_120->text(), QStringLiteral("GL-1"));
    EXPECT_EQ(p->Edt_128->text(), QStringLiteral("省农业厅"));
    EXPECT_EQ(p->DTP_121->date(), QDate(2004, 3, 10));
    EXPECT_EQ((QStringList{p->edt_8_y_s->text(), p->edt_8_m_s->text(), p->edt_8_y_e->text(),
                           p->edt_8_m_e->text()}),
              (QStringList{QStringLiteral("2003"), QStringLiteral("05"), QStringLiteral("2004"),
                           QStringLiteral("02")}));
    EXPECT_EQ(p->CB_1->currentText(), QStringLiteral("1  非密"));
    EXPECT_EQ(p->edt_14_1->text(), QStringLiteral("水稻"));
    EXPECT_EQ(p->edt_14_2->text(), QStringLiteral("育种"));
    EXPECT_TRUE(p->edt_14_3->text().isEmpty());
    EXPECT_TRUE(p->edt_14_3->isEnabled());
    EXPECT_EQ(p->cb_2->currentText(), QStringLiteral("3  国内领先"));
    EXPECT_EQ(p->cb_201->currentText(), QStringLiteral("2  与企业合作"));
    EXPECT_EQ(p->Edt_15->text(), QStringLiteral("11011  数学史"));
    EXPECT_TRUE(p->edt_15_1->text().isEmpty());
    EXPECT_EQ(p->edt_12->text(), QStringLiteral("A1  马克思、恩格斯著作"));
    EXPECT_TRUE(p->Edt_15->isReadOnly());
    EXPECT_TRUE(p->CB_125_03->isChecked());
    EXPECT_EQ(p->Mo_13->toPlainText(), QStringLiteral("公告"));
    EXPECT_EQ(p->Mo_13_1->toPlainText(), QStringLiteral("说明"));
    EXPECT_TRUE(p->RB_123_A->isChecked());
    EXPECT_TRUE(p->CB_124_1_05->isChecked());
    EXPECT_EQ(p->cb_16->currentText(), QStringLiteral("1  初期阶段"));
    EXPECT_EQ(p->cb_33->currentText(), QStringLiteral("2  限国内转让"));
    EXPECT_EQ(p->Cb_125_1->currentText(), QStringLiteral("1  原始性创新"));

    for (QWidget* shown :
         std::initializer_list<QWidget*>{p->Lb_125_1, p->Cb_125_1, p->PL_123, p->Label18,
                                         p->Label20, p->cb_16, p->cb_33, p->Pl_124_1}) {
        EXPECT_TRUE(visible(shown)) << shown->objectName().toStdString();
    }
    EXPECT_FALSE(visible(p->cb_210));
    EXPECT_FALSE(visible(p->PL_200));
    EXPECT_EQ(p->Label22->text(), QStringLiteral("所属高新科技领域"));
    EXPECT_TRUE(page->IsPage1Unchanged());
}

TEST_F(Page1Test, LoadsASoftScienceRecord) {
    openPage(softScience(), false);
    EXPECT_EQ(p->cb_210->currentText(), QStringLiteral("1  论文"));
    EXPECT_TRUE(p->cb_200_03->isChecked());
    EXPECT_FALSE(p->RB_123_A->isChecked());  // not loaded for this type
    EXPECT_TRUE(visible(p->cb_210));
    EXPECT_TRUE(visible(p->PL_200));
    for (QWidget* hidden :
         std::initializer_list<QWidget*>{p->Lb_125_1, p->Cb_125_1, p->PL_123, p->Label18,
                                         p->Label20, p->cb_16, p->cb_33, p->Pl_124_1}) {
        EXPECT_FALSE(visible(hidden)) << hidden->objectName().toStdString();
    }
    EXPECT_EQ(p->Label22->text(), QStringLiteral("社会经济目标"));
    EXPECT_TRUE(page->IsPage1Unchanged());
}

TEST_F(Page1Test, EmptyRecordOpensWithTodayAndThisMonth) {
    openPage({});
    EXPECT_TRUE(m_boxes.boxes.empty());
    EXPECT_EQ(p->DTP_121->date(), QDate(2026, 12, 10));
    EXPECT_EQ(p->edt_8_y_s->text(), QStringLiteral("2026"));
    EXPECT_EQ(p->edt_8_y_e->text(), QStringLiteral("2026"));
    EXPECT_EQ(p->CB_1->currentIndex(), -1);
    EXPECT_FALSE(p->edt_14_2->isEnabled());
}

TEST_F(Page1Test, UnreadablePeriodIsReplaced) {
    Row fields = kApplied;
    fields["ITEM_8"] = "abcd.ef   至ghij.kl";
    openPage(fields);
    EXPECT_EQ(boxTexts(),
              QStringList{QStringLiteral("项目中”起止时间“不是正确的时间格式！现在已经更换。")});
    EXPECT_EQ(p->edt_8_y_s->text(), QStringLiteral("2026"));
}

// ---- saving -------------------------------------------------------------------------------

TEST_F(Page1Test, AppliedTechnologySave) {
    openPage();
    TMainForm::setSectionKind(ui->btn_page01, false);
    p->Edt_120->setText(QStringLiteral("GL-2"));
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("存储成功！")});
    EXPECT_TRUE(complete(ui->btn_page01));
    EXPECT_EQ(ui->btn_page01->text(), QStringLiteral("成果概况"));

    const Row row = stored("2004000001");
    const Row expected = {{"ITEM_120", "GL-2"},
                          {"ITEM_128", "省农业厅"},
                          {"ITEM_121", "2004-03-10"},
                          {"ITEM_8", "2003.05   至2004.02"},
                          {"ITEM_1", "1"},
                          {"ITEM_14", "水稻;育种"},
                          {"ITEM_16", "1"},
                          {"ITEM_33", "2"},
                          {"ITEM_123", "A"},
                          {"ITEM_124_1", "05;"},
                          {"ITEM_210", ""},
                          {"ITEM_200", ""},
                          {"ITEM_125_1", "1"},
                          {"outcomeb", "9990001000"},
                          {"ITEM_13", "公告"},
                          {"ITEM_13_1", "说明"},
                          {"ITEM_2", "3"},
                          {"ITEM_201", "2"},
                          {"ITEM_125", "03;"},
                          {"ITEM_15", "11011"},
                          {"ITEM_15_1", ""},
                          {"ITEM_12", "A1"},
                          {"ITEM_12_1", ""}};
    for (const auto& [field, value] : expected) {
        EXPECT_EQ(row.at(field), value) << field;
    }
}

TEST_F(Page1Test, SoftScienceSave) {
    openPage(softScience(), false);
    ASSERT_TRUE(page->btnSave01Click());
    const Row row = stored("2004000001");
    for (const char* emptied : {"ITEM_16", "ITEM_33", "ITEM_123", "ITEM_124_1", "ITEM_125_1"}) {
        EXPECT_EQ(row.at(emptied), "") << emptied;
    }
    EXPECT_EQ(row.at("ITEM_210"), "1");
    EXPECT_EQ(row.at("ITEM_200"), "03;");
    EXPECT_EQ(row.at("outcomeb"), "");
    EXPECT_EQ(row.at("ITEM_1"), "1");
}

// ---- the checks ---------------------------------------------------------------------------

enum class Types { Both, Applied, Others };

struct Rule {
    const char* name;
    Types types;
    std::function<void(Ui::TFpage1*)> breakIt;
    const char* message;
    bool period;  // the period rules exclude one another
};

const std::vector<Rule>& rules() {
    static const std::vector<Rule> list = {
        {"period_empty", Types::Both, [](Ui::TFpage1* p) { p->edt_8_m_e->clear(); },
         "研究起止时间为必填项！", true},
        {"end_after_registration", Types::Both,
         [](Ui::TFpage1* p) {
             p->edt_8_y_e->setText(QStringLiteral("2004"));
             p->edt_8_m_e->setText(QStringLiteral("04"));
         },
         "所填写的研究终止时间不应大于登记日期！", true},
        {"start_after_end", Types::Both,
         [](Ui::TFpage1* p) {
             p->edt_8_y_s->setText(QStringLiteral("2004"));
             p->edt_8_m_s->setText(QStringLiteral("2"));
             p->edt_8_m_e->setText(QStringLiteral("1"));
         },
         "所填写的研究起止时间错误！", true},
        {"secrecy", Types::Both, [](Ui::TFpage1* p) { p->CB_1->setCurrentIndex(-1); },
         "\"成果密级\"不能为空！", false},
        {"keywords_too_long", Types::Both,
         [](Ui::TFpage1* p) {
             const QString word(66, QChar(0x8BCD));  // 132 bytes each, 396 together
             p->edt_14_1->setText(word);
             p->edt_14_2->setText(word);
             p->edt_14_3->setText(word);
         },
         "\"关键词\"三栏总字数不要超过98字", false},
        {"stage", Types::Applied, [](Ui::TFpage1* p) { p->cb_16->setCurrentIndex(-1); },
         "\"成果所处阶段\"不能为空！", false},
        {"transfer", Types::Applied, [](Ui::TFpage1* p) { p->cb_33->setCurrentIndex(-1); },
         "\"转让范围\"不能为空！", false},
        {"applied_form", Types::Applied, [](Ui::TFpage1* p) { uncheckAll(p->PL_123); },
         "\"成果体现形式\"不能为空！", false},
        {"other_form", Types::Others, [](Ui::TFpage1* p) { p->cb_210->setCurrentIndex(-1); },
         "\"成果体现形式\"不能为空！", false},
        {"goal", Types::Others, [](Ui::TFpage1* p) { uncheckAll(p->PL_200); },
         "\"社会经济目标\"不能为空！", false},
        {"attribute", Types::Applied, [](Ui::TFpage1* p) { p->Cb_125_1->setCurrentIndex(-1); },
         "\"成果属性\"不能为空！", false},
        {"research_form", Types::Both, [](Ui::TFpage1* p) { p->cb_201->setCurrentIndex(-1); },
         "\"研究形式\"不能为空！", false},
        {"level", Types::Both, [](Ui::TFpage1* p) { p->cb_2->setCurrentIndex(-1); },
         "\"成果水平\"不能为空！", false},
        {"industries", Types::Both, [](Ui::TFpage1* p) { uncheckAll(p->PL_125); },
         "\"成果应用行业\"不能为空！", false},
        {"description", Types::Both,
         [](Ui::TFpage1* p) { p->Mo_13_1->setPlainText(QStringLiteral(" \n ")); },
         "\"简要技术说明与应用前景\"不能为空！", false},
        {"announcement", Types::Both, [](Ui::TFpage1* p) { p->Mo_13->clear(); },
         "\"成果公告内容\"不能为空！", false},
    };
    return list;
}

bool servesType(Types rule, bool applied) {
    return rule == Types::Both || (rule == Types::Applied) == applied;
}

// A rule broken alone, or together with every later rule the type has: either way its own
// message is the one shown, so the rules run in their order.
class CheckTest : public Page1Test,
                  public ::testing::WithParamInterface<std::tuple<size_t, bool, bool>> {};

TEST_P(CheckTest, FirstFailingRuleIsReported) {
    const auto [index, applied, laterBroken] = GetParam();
    const Rule& rule = rules()[index];
    openPage(applied ? kApplied : softScience(), applied);
    rule.breakIt(p);
    if (laterBroken) {
        for (size_t later = index + 1; later < rules().size(); ++later) {
            if (servesType(rules()[later].types, applied) && !rules()[later].period) {
                rules()[later].breakIt(p);
            }
        }
    }
    EXPECT_FALSE(page->btnSave01Click());
    EXPECT_EQ(boxTexts(), QStringList{QString::fromUtf8(rule.message)});
    EXPECT_EQ(stored("2004000001").at("outcomeb"), "");  // nothing written
}

// Every rule with every type it serves, alone and with the later rules.
std::vector<std::tuple<size_t, bool, bool>> ruleCases() {
    std::vector<std::tuple<size_t, bool, bool>> cases;
    for (size_t index = 0; index < rules().size(); ++index) {
        for (bool applied : {true, false}) {
            if (servesType(rules()[index].types, applied)) {
                cases.emplace_back(index, applied, false);
                cases.emplace_back(index, applied, true);
            }
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Rules, CheckTest, ::testing::ValuesIn(ruleCases()), [](const auto& info) {
    return std::string(rules()[std::get<0>(info.param)].name) +
           (std::get<1>(info.param) ? "_applied" : "_others") +
           (std::get<2>(info.param) ? "_with_later_rules" : "_alone");
});

TEST_F(Page1Test, HighTechFieldIsNotRequired) {
    openPage();
    uncheckAll(p->Pl_124_1);
    EXPECT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField("ITEM_124_1"), "");
}

TEST_F(Page1Test, ExitOnAPageThatFailsItsCheckStaysOpen) {
    openPage({{"ITEM_3", "空"}});
    int closes = 0;
    QObject::connect(page.get(), &QDialog::finished, [&] { ++closes; });
    page->quit01Click();
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("\"成果密级\"不能为空！")});
    EXPECT_EQ(closes, 0);
}

// ---- the period ---------------------------------------------------------------------------

struct PeriodCase {
    const char* name;
    const char* start[2];
    const char* end[2];
    const char* message;  // "" when the save goes through
    const char* stored;
};

void PrintTo(const PeriodCase& c, std::ostream* os) {
    *os << c.name;
}

class PeriodTest : public Page1Test, public ::testing::WithParamInterface<PeriodCase> {};

TEST_P(PeriodTest, CheckedOnItsNumbers) {
    const PeriodCase& c = GetParam();
    openPage();
    p->edt_8_y_s->setText(QString::fromLatin1(c.start[0]));
    p->edt_8_m_s->setText(QString::fromLatin1(c.start[1]));
    p->edt_8_y_e->setText(QString::fromLatin1(c.end[0]));
    p->edt_8_m_e->setText(QString::fromLatin1(c.end[1]));
    const bool saved = page->btnSave01Click();
    if (*c.message == '\0') {
        EXPECT_TRUE(saved);
        EXPECT_EQ(storedField("ITEM_8"), c.stored);
    } else {
        EXPECT_FALSE(saved);
        EXPECT_EQ(boxTexts(), QStringList{QString::fromUtf8(c.message)});
        EXPECT_EQ(storedField("ITEM_8"), "2003.05   至2004.02");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PeriodTest,
    ::testing::Values(
        PeriodCase{"two_digit_months", {"2003", "05"}, {"2004", "02"}, "", "2003.05   至2004.02"},
        PeriodCase{"one_digit_months_stored_with_two",
                   {"2003", "5"},
                   {"2004", "2 "},
                   "",
                   "2003.05   至2004.02"},
        // As text "2003.9" would come after "2003.10".
        PeriodCase{
            "months_compared_as_numbers", {"2003", "9"}, {"2003", "10"}, "", "2003.09   至2003.10"},
        PeriodCase{"end_in_the_registration_month",
                   {"2004", "01"},
                   {"2004", "03"},
                   "",
                   "2004.01   至2004.03"},
        PeriodCase{"month_13", {"2003", "13"}, {"2004", "02"}, "月份数不合理！", ""},
        PeriodCase{"month_0", {"2003", "05"}, {"2004", "0"}, "月份数不合理！", ""},
        PeriodCase{"year_before_1949",
                   {"1948", "05"},
                   {"2004", "02"},
                   "年份不合理，合理取值为1949年至今！",
                   ""},
        PeriodCase{"pasted_letters", {"2003", "5a"}, {"2004", "02"}, "月份数不合理！", ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct LeaveCase {
    const char* name;
    bool year;
    const char* typed;
    const char* after;
    bool warned;
};

void PrintTo(const LeaveCase& c, std::ostream* os) {
    *os << c.name;
}

class LeavePeriodEditTest : public Page1Test, public ::testing::WithParamInterface<LeaveCase> {};

// A wrong year or month is pointed out and kept as typed, for the save's check to refuse;
// nothing the user did not type takes its place.
TEST_P(LeavePeriodEditTest, NormalisesOrWarnsKeepingTheInput) {
    const LeaveCase& c = GetParam();
    openPage();
    QLineEdit* edit = c.year ? p->edt_8_y_s : p->edt_8_m_e;
    edit->setText(QString::fromLatin1(c.typed));
    c.year ? page->edt_8_y_sExit() : page->edt_8_m_eExit();
    EXPECT_EQ(edit->text(), QString::fromLatin1(c.after));
    EXPECT_EQ(m_boxes.boxes.size(), c.warned ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, LeavePeriodEditTest,
                         ::testing::Values(LeaveCase{"year_1948", true, "1948", "1948", true},
                                           LeaveCase{"year_next", true, "2027", "2027", true},
                                           LeaveCase{"year_pasted_letters", true, "20a4", "20a4",
                                                     true},
                                           LeaveCase{"year_empty", true, "", "", false},
                                           LeaveCase{"year_1949", true, "1949", "1949", false},
                                           LeaveCase{"month_3", false, "3", "03", false},
                                           LeaveCase{"month_13", false, "13", "13", true},
                                           LeaveCase{"month_0", false, "0", "0", true},
                                           LeaveCase{"month_11", false, "11", "11", false},
                                           LeaveCase{"month_empty", false, "", "", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Page1Test, WrongYearLeftThenSavedIsRefusedAndNothingIsStored) {
    openPage();
    p->edt_8_y_e->setText(QStringLiteral("2027"));
    page->edt_8_y_eExit();
    EXPECT_FALSE(page->btnSave01Click());
    EXPECT_EQ(boxTexts(), QStringList(2, QStringLiteral("年份不合理，合理取值为1949年至今！")));
    EXPECT_EQ(p->edt_8_y_e->text(), QStringLiteral("2027"));
    EXPECT_EQ(storedField("ITEM_8"), "2003.05   至2004.02");
}

TEST_F(Page1Test, PeriodEditsTakeDigitsOnly) {
    openPage();
    p->edt_8_y_s->clear();
    QTest::keyClicks(p->edt_8_y_s, QStringLiteral("2a0-0.3"));
    EXPECT_EQ(p->edt_8_y_s->text(), QStringLiteral("2003"));
}

// ---- keywords -----------------------------------------------------------------------------

struct KeywordCase {
    const char* name;
    const char* words[3];
    const char* stored;
};

void PrintTo(const KeywordCase& c, std::ostream* os) {
    *os << c.name;
}

class KeywordTest : public Page1Test, public ::testing::WithParamInterface<KeywordCase> {};

TEST_P(KeywordTest, JoinedBySemicolons) {
    const KeywordCase& c = GetParam();
    openPage();
    p->edt_14_1->setText(QString::fromUtf8(c.words[0]));
    p->edt_14_2->setText(QString::fromUtf8(c.words[1]));
    p->edt_14_3->setText(QString::fromUtf8(c.words[2]));
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField("ITEM_14"), c.stored);
}

INSTANTIATE_TEST_SUITE_P(Cases, KeywordTest,
                         ::testing::Values(KeywordCase{"one", {"水稻", "", ""}, "水稻"},
                                           KeywordCase{"two", {"水稻", "育种", ""}, "水稻;育种"},
                                           KeywordCase{
                                               "three", {"水稻", "育种", "杂交"}, "水稻;育种;杂交"},
                                           KeywordCase{"none", {"", "", ""}, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Page1Test, KeywordEditsOpenOneAfterAnother) {
    openPage({{"ITEM_14", "甲;乙;丙"}});
    EXPECT_TRUE(p->edt_14_3->isEnabled());
    p->edt_14_1->clear();
    EXPECT_TRUE(p->edt_14_2->text().isEmpty());
    EXPECT_TRUE(p->edt_14_3->text().isEmpty());
    EXPECT_FALSE(p->edt_14_2->isEnabled());
    EXPECT_FALSE(p->edt_14_3->isEnabled());
    // The third stays closed until the second holds a word.
    p->edt_14_1->setText(QStringLiteral("甲"));
    EXPECT_TRUE(p->edt_14_2->isEnabled());
    EXPECT_FALSE(p->edt_14_3->isEnabled());
    p->edt_14_2->setText(QStringLiteral("乙"));
    EXPECT_TRUE(p->edt_14_3->isEnabled());
}

TEST_F(Page1Test, KeywordEditsHoldTheirGbkWidth) {
    openPage();
    p->edt_14_1->clear();
    p->edt_14_1->insert(QString(120, QChar(0x8BCD)));
    EXPECT_EQ(p->edt_14_1->text().size(), 99);  // 198 bytes
}

// ---- classification codes -----------------------------------------------------------------

TEST_F(Page1Test, WithoutTheTablesCodesArePlainTenCharacterTexts) {
    openRecords({record("2004000001", "1", kApplied)});
    DM->HasDisciplineTable = false;
    DM->HasClcTable = false;
    page = std::make_unique<TFpage1>(*m_form, *m_tree);
    p = page->form();
    page->loadRecord(DM->Qryhvel);
    page->FormShow();
    EXPECT_FALSE(visible(p->cb_15));
    EXPECT_FALSE(visible(p->CB_12_1));
    EXPECT_EQ(p->Edt_15->text(), QStringLiteral("11011"));
    EXPECT_FALSE(p->Edt_15->isReadOnly());
    p->edt_12_1->insert(QStringLiteral("ABCDEFGHIJKL"));
    EXPECT_EQ(p->edt_12_1->text(), QStringLiteral("ABCDEFGHIJ"));
    p->Edt_15->setText(QStringLiteral("110  数学"));
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField("ITEM_15"), "110  数学");
    EXPECT_EQ(storedField("ITEM_12_1"), "ABCDEFGHIJ");
}

TEST_F(Page1Test, CodeMissingFromTheTableIsKept) {
    Row fields = kApplied;
    fields["ITEM_15_1"] = "99999";
    openPage(fields);
    EXPECT_EQ(p->edt_15_1->text().trimmed(), QStringLiteral("99999"));
    EXPECT_TRUE(page->IsPage1Unchanged());
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField("ITEM_15_1"), "99999");
}

// A name longer than its edit leaves the code in sight.
TEST_F(Page1Test, ClassificationEditsShowTheirCodeFirst) {
    openPage();
    for (const QLineEdit* edit : {p->Edt_15, p->edt_12}) {
        EXPECT_FALSE(edit->text().isEmpty()) << edit->objectName().toStdString();
        EXPECT_EQ(edit->cursorPosition(), 0) << edit->objectName().toStdString();
    }
}

struct KeptCodeCase {
    const char* name;
    const char* field;
    const char* stored;  // holds a code the panel has no box for
    const char* box;     // a box of the panel the user then checks
    const char* afterChoice;
};

void PrintTo(const KeptCodeCase& c, std::ostream* os) {
    *os << c.name;
}

class KeptPanelCodeTest : public Page1Test, public ::testing::WithParamInterface<KeptCodeCase> {};

// A stored code that a code-table update took out of a panel stays stored, as a combo keeps a
// code it no longer lists; choosing a box of a single-choice panel replaces it.
TEST_P(KeptPanelCodeTest, StaysUntilAnotherIsChosen) {
    const KeptCodeCase& c = GetParam();
    Row fields = kApplied;
    fields[c.field] = c.stored;
    openPage(fields);
    EXPECT_TRUE(page->IsPage1Unchanged());
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField(c.field), c.stored);
    page->findChild<QAbstractButton*>(QString::fromLatin1(c.box))->click();
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField(c.field), c.afterChoice);
}

INSTANTIATE_TEST_SUITE_P(
    Panels, KeptPanelCodeTest,
    ::testing::Values(KeptCodeCase{"high_tech_field", "ITEM_124_1", "12;", "CB_124_1_03", "03;"},
                      KeptCodeCase{"industry", "ITEM_125", "99;", "CB_125_26", "26;"},
                      KeptCodeCase{"form_radio", "ITEM_123", "8", "RB_123_2", "2"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Page1Test, DropDownPicksFromTheLibraryClassification) {
    openPage();
    TFormTree& tree = *m_tree;
    TreeTargetUnit.fill(1);  // another page's selector left set does not count
    page->FormShow();
    EXPECT_TRUE(visible(p->CB_12_1));
    m_boxes.onExec = [&](QDialog& shown) {
        ASSERT_EQ(&shown, &tree);
        auto* view = tree.findChild<QTreeWidget*>(QStringLiteral("TreeView1"));
        const auto found =
            view->findItems(QStringLiteral("A1  "), Qt::MatchStartsWith | Qt::MatchRecursive);
        ASSERT_EQ(found.size(), 1);
        view->setCurrentItem(found[0]);
        tree.Button1Click();
    };
    p->CB_12_1->showPopup();
    EXPECT_EQ(p->edt_12_1->text(), QStringLiteral("A1  马克思、恩格斯著作"));
    EXPECT_EQ(p->edt_12_1->cursorPosition(), 0);  // the code shows first
    EXPECT_EQ(TreeTargetPage1[3], 1);
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField("ITEM_12_1"), "A1");
    TreeTargetUnit.fill(0);
}

// ---- the change check ---------------------------------------------------------------------

struct ChangeCase {
    const char* name;
    bool applied;
    std::function<void(Ui::TFpage1*)> change;
    bool unchanged;
};

void PrintTo(const ChangeCase& c, std::ostream* os) {
    *os << c.name;
}

class ChangeTest : public Page1Test, public ::testing::WithParamInterface<ChangeCase> {};

TEST_P(ChangeTest, ComparesAsTheSaveCodes) {
    const ChangeCase& c = GetParam();
    openPage(c.applied ? kApplied : softScience(), c.applied);
    c.change(p);
    EXPECT_EQ(page->IsPage1Unchanged(), c.unchanged);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChangeTest,
    ::testing::Values(
        ChangeCase{"number", true, [](auto* p) { p->Edt_120->setText(QStringLiteral("X")); },
                   false},
        ChangeCase{"recommender", true, [](auto* p) { p->Edt_128->clear(); }, false},
        ChangeCase{"attribute", true, [](auto* p) { p->Cb_125_1->setCurrentIndex(1); }, false},
        ChangeCase{"keyword", true, [](auto* p) { p->edt_14_2->clear(); }, false},
        ChangeCase{"discipline", true, [](auto* p) { p->Edt_15->clear(); }, false},
        ChangeCase{"library", true,
                   [](auto* p) { p->edt_12_1->setText(QStringLiteral("A2  列宁著作")); }, false},
        ChangeCase{"registration_date", true,
                   [](auto* p) { p->DTP_121->setDate(QDate(2004, 3, 11)); }, false},
        // Today is a date like any other.
        ChangeCase{"registration_date_to_today", true,
                   [](auto* p) { p->DTP_121->setDate(QDate(2026, 12, 10)); }, false},
        ChangeCase{"period", true, [](auto* p) { p->edt_8_m_s->setText(QStringLiteral("06")); },
                   false},
        ChangeCase{"secrecy", true, [](auto* p) { p->CB_1->setCurrentIndex(2); }, false},
        ChangeCase{"level", true, [](auto* p) { p->cb_2->setCurrentIndex(0); }, false},
        ChangeCase{"research_form", true, [](auto* p) { p->cb_201->setCurrentIndex(0); }, false},
        ChangeCase{"industries", true, [](auto* p) { p->CB_125_01->setChecked(true); }, false},
        ChangeCase{"announcement", true,
                   [](auto* p) { p->Mo_13->setPlainText(QStringLiteral("公告二")); }, false},
        ChangeCase{"announcement_blanks_around", true,
                   [](auto* p) { p->Mo_13->setPlainText(QStringLiteral(" 公告\n")); }, true},
        ChangeCase{"description", true, [](auto* p) { p->Mo_13_1->clear(); }, false},
        ChangeCase{"stage", true, [](auto* p) { p->cb_16->setCurrentIndex(2); }, false},
        ChangeCase{"transfer", true, [](auto* p) { p->cb_33->setCurrentIndex(0); }, false},
        ChangeCase{"applied_form", true, [](auto* p) { p->RB_123_1->setChecked(true); }, false},
        ChangeCase{"high_tech_field", true, [](auto* p) { p->CB_124_1_01->setChecked(true); },
                   false},
        ChangeCase{"other_form", false, [](auto* p) { p->cb_210->setCurrentIndex(1); }, false},
        ChangeCase{"goal", false, [](auto* p) { p->cb_200_13->setChecked(true); }, false},
        ChangeCase{"applied_fields_do_not_count_for_others", false,
                   [](auto* p) { p->cb_16->setCurrentIndex(2); }, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Page1Test, TodayGivenToARecordWithoutADateIsNoChange) {
    Row fields = kApplied;
    fields.erase("ITEM_121");
    openPage(fields);
    EXPECT_TRUE(page->IsPage1Unchanged());
    p->DTP_121->setDate(QDate(2026, 12, 9));
    EXPECT_FALSE(page->IsPage1Unchanged());
}

// ---- through the main window --------------------------------------------------------------

TEST_F(Page1Test, NewRecordFilledFromTheMainWindow) {
    start({});
    TFormNew dialog(m_form.get());
    FormNew = &dialog;
    TFpage1 overview(*m_form, *m_tree, m_form.get());
    Fpage1 = &overview;
    Ui::TFpage1* o = overview.form();

    m_boxes.onExec = [&](QDialog& shown) {
        if (&shown == &dialog) {
            Ui::TFormNew* d = dialog.form();
            d->cbYear->setText(QStringLiteral("2004"));
            d->edt_3->setText(QStringLiteral("节水灌溉技术"));
            d->edt_9->setText(QStringLiteral("水利研究所"));
            dialog.Button1Click();
            return;
        }
        ASSERT_EQ(&shown, &overview);
        EXPECT_EQ(overview.windowTitle(), QStringLiteral("成果名称：节水灌溉技术"));
        o->DTP_121->setDate(QDate(2004, 6, 30));
        o->edt_8_y_s->setText(QStringLiteral("2002"));
        o->edt_8_m_s->setText(QStringLiteral("1"));
        o->edt_8_y_e->setText(QStringLiteral("2004"));
        o->edt_8_m_e->setText(QStringLiteral("5"));
        o->CB_1->setCurrentIndex(0);
        o->edt_14_1->setText(QStringLiteral("节水"));
        o->cb_16->setCurrentIndex(2);
        o->cb_33->setCurrentIndex(0);
        o->RB_123_3->setChecked(true);
        o->Cb_125_1->setCurrentIndex(0);
        o->cb_201->setCurrentIndex(0);
        o->cb_2->setCurrentIndex(1);
        o->CB_125_01->click();
        o->Mo_13_1->setPlainText(QStringLiteral("滴灌\t技术"));
        o->Mo_13->setPlainText(QStringLiteral("第一行\n第二行"));
        o->btnSave01->click();
        o->quit01->click();
    };
    ui->Button1->click();
    ASSERT_EQ(DM->Qryhvel.recordCount(), 1);
    EXPECT_FALSE(complete(ui->btn_page01));
    ui->btn_page01->click();

    EXPECT_TRUE(complete(ui->btn_page01));
    EXPECT_FALSE(complete(ui->btn_page03));
    EXPECT_FALSE(ui->DBGrid1->isEnabled());  // still held on the record
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("存储成功！")});
    EXPECT_EQ(m_boxes.shown.size(), 2u);

    const Row row = stored("2004000001");
    const Row expected = {{"ITEM_3", "节水灌溉技术"},
                          {"ITEM_9", "水利研究所"},
                          {"ITEM_CGLB", "1"},
                          {"ITEM_121", "2004-06-30"},
                          {"ITEM_8", "2002.01   至2004.05"},
                          {"ITEM_1", "1"},
                          {"ITEM_14", "节水"},
                          {"ITEM_16", "3"},
                          {"ITEM_33", "1"},
                          {"ITEM_123", "3"},
                          {"ITEM_125_1", "1"},
                          {"ITEM_201", "1"},
                          {"ITEM_2", "2"},
                          {"ITEM_125", "01;"},
                          {"ITEM_13_1", "滴灌 技术"},
                          {"ITEM_13", "第一行\r\n第二行"},
                          {"outcomeb", "9990001000"}};
    for (const auto& [field, value] : expected) {
        EXPECT_EQ(row.at(field), value) << field;
    }
    Fpage1 = nullptr;
    FormNew = nullptr;
}

}  // namespace
