// The project page "课题立项，评价情况".
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <functional>

#include "PageFixture.h"
#include "Unitpage3.h"
#include "ui_Unit1.h"
#include "ui_Unitpage3.h"

using testsupport::record;
using testsupport::Row;

namespace {

// A national-plan project under a provincial plan, with every amount and an evaluation.
const Row kProject = {
    {"ITEM_3", "水稻育种"},   {"ITEM_126", "01;03;"},    {"ITEM_140", "2"},
    {"ITEM_41_1", "01"},      {"ITEM_127", "2004AA1"},   {"ITEM_127_1", "杂交水稻"},
    {"ITEM_142_1", "1.5"},    {"ITEM_142_2", "2"},       {"ITEM_142", "3.5"},
    {"ITEM_141", "10"},       {"ITEM_148", "4"},         {"ITEM_143", "1"},
    {"ITEM_144", "2"},        {"ITEM_243", "3"},         {"ITEM_244", "0.5"},
    {"ITEM_145", "1"},        {"ITEM_149", "25"},        {"ITEM_21", "2"},
    {"ITEM_130", "省科技厅"}, {"ITEM_34", "2004.06.30"}, {"ITEM_22", "验字001"}};

// The same project of the soft-science type, evaluated by "结题".
Row softScience() {
    Row row = kProject;
    row["ITEM_21"] = "6";
    return row;
}

const QString kMaroon = QStringLiteral("color: #800000;");

class Page3Test : public testsupport::PageFixture {
protected:
    void openPage(const Row& fields = kProject, bool applied = true) {
        openRecords({record("2004000001", applied ? "1" : "2", fields)}, applied ? 0 : 1);
        page = std::make_unique<TFpage3>(*m_form);
        p = page->form();
        page->loadRecord(DM->Qryhvel);
        page->FormShow();
    }

    void TearDown() override {
        Fpage3 = nullptr;
        page.reset();
        PageFixture::TearDown();
    }

    std::string storedField(const char* field) const { return stored("2004000001").at(field); }
    bool visible(QWidget* widget) const { return widget->isVisibleTo(page.get()); }

    std::unique_ptr<TFpage3> page;
    Ui::TFpage3* p = nullptr;
};

// ---- loading ------------------------------------------------------------------------------

TEST_F(Page3Test, LoadsAnAppliedTechnologyProject) {
    openPage();
    EXPECT_TRUE(m_boxes.boxes.empty());
    EXPECT_TRUE(p->cb_126_01->isChecked());
    EXPECT_TRUE(p->cb_126_03->isChecked());
    EXPECT_FALSE(p->cb_126_01->isEnabled());
    EXPECT_TRUE(p->RB_140_2->isChecked());
    EXPECT_EQ(p->Label_127->styleSheet(), kMaroon);
    EXPECT_TRUE(visible(p->CB_41));
    EXPECT_TRUE(visible(p->Lb_41));
    EXPECT_EQ(p->Lb_41->text(), QStringLiteral("“地方计划”的下属分类"));
    EXPECT_EQ(p->CB_41->currentText(), QStringLiteral("01  省级重点科技计划"));
    EXPECT_EQ(p->CB_41->itemText(p->CB_41->count() - 1), QStringLiteral(" "));
    EXPECT_EQ(p->Edt_127->text(), QStringLiteral("2004AA1"));
    EXPECT_EQ(p->Edt_127_1->text(), QStringLiteral("杂交水稻"));
    const std::vector<std::pair<QLineEdit*, const char*>> amounts = {
        {p->Edt_142_1, "1.5"}, {p->Edt_142_2, "2"}, {p->Edt_142_3, ""}, {p->Edt_142, "3.5"},
        {p->Edt_141, "10"},    {p->Edt_148, "4"},   {p->Edt_143, "1"},  {p->Edt_144, "2"},
        {p->Edt_243, "3"},     {p->Edt_244, "0.5"}, {p->Edt_145, "1"},  {p->Edt_149, "25"}};
    for (const auto& [edit, shown] : amounts) {
        EXPECT_EQ(edit->text(), QString::fromLatin1(shown)) << edit->objectName().toStdString();
    }
    EXPECT_TRUE(visible(p->cb_21));
    EXPECT_FALSE(visible(p->cb_21_l));
    EXPECT_EQ(p->cb_21->currentText(), QStringLiteral("2  验收"));
    EXPECT_EQ(p->Edt_130->text(), QStringLiteral("省科技厅"));
    EXPECT_EQ(p->edt_22->text(), QStringLiteral("验字001"));
    EXPECT_FALSE(p->CheckBox_34->isChecked());
    EXPECT_EQ(p->DTP_34->date(), QDate(2004, 6, 30));
    EXPECT_TRUE(visible(p->DTP_34));
    EXPECT_TRUE(page->IsPage3Unchanged());
}

TEST_F(Page3Test, SoftScienceListsItsOwnEvaluationForms) {
    openPage(softScience(), false);
    EXPECT_FALSE(visible(p->cb_21));
    EXPECT_TRUE(visible(p->cb_21_l));
    EXPECT_EQ(items(p->cb_21_l), (QStringList{QStringLiteral("2  验收"), QStringLiteral("4  评审"),
                                              QStringLiteral("6  结题")}));
    EXPECT_EQ(p->cb_21_l->currentText(), QStringLiteral("6  结题"));
    EXPECT_TRUE(page->IsPage3Unchanged());
}

TEST_F(Page3Test, EmptyProjectShowsNoPlanListAndAClearedDate) {
    openPage({});
    EXPECT_TRUE(m_boxes.boxes.empty());
    EXPECT_FALSE(visible(p->CB_41));
    EXPECT_FALSE(visible(p->Lb_41));
    EXPECT_TRUE(p->CheckBox_34->isChecked());
    EXPECT_FALSE(visible(p->DTP_34));
    EXPECT_TRUE(visible(p->edt_34));
    EXPECT_TRUE(p->Label_127->styleSheet().isEmpty());
    EXPECT_TRUE(page->IsPage3Unchanged());
}

TEST_F(Page3Test, UnreadableEvaluationDateIsReported) {
    Row fields = kProject;
    fields["ITEM_34"] = "2004.13.45";
    openPage(fields);
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral(
                              "本项评价日期：'2004.13.45' 不是正确的时间格式！现在已经更换。")});
    EXPECT_FALSE(p->CheckBox_34->isChecked());
}

// A plan code that the source's list lacks is shown and kept.
TEST_F(Page3Test, PlanMissingFromTheListIsKept) {
    Row fields = kProject;
    fields["ITEM_41_1"] = "77";
    openPage(fields);
    EXPECT_EQ(p->CB_41->currentText(), QStringLiteral("77"));
    EXPECT_TRUE(page->IsPage3Unchanged());
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField("ITEM_41_1"), "77");
}

// The plan list of one record must not reach the next record, whose list stays hidden.
TEST_F(Page3Test, RecordWithoutAPlanDoesNotTakeThePreviousOne) {
    openRecords({record("2004000001", "1", kProject),
                 record("2004000002", "1", {{"ITEM_126", "02;"}, {"ITEM_21", "1"}})});
    page = std::make_unique<TFpage3>(*m_form);
    p = page->form();
    ASSERT_TRUE(DM->Qryhvel.locate("ITEM_4", store::Value("2004000001")));
    page->loadRecord(DM->Qryhvel);
    ASSERT_TRUE(DM->Qryhvel.locate("ITEM_4", store::Value("2004000002")));
    page->loadRecord(DM->Qryhvel);
    EXPECT_FALSE(visible(p->CB_41));
    EXPECT_TRUE(page->IsPage3Unchanged());
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(stored("2004000002").at("ITEM_41_1"), "");
    EXPECT_EQ(stored("2004000002").at("ITEM_126"), "02;");
}

TEST_F(Page3Test, LongStoredAmountLoadsWhole) {
    Row fields = kProject;
    fields["ITEM_141"] = "12345.67";
    openPage(fields);
    EXPECT_EQ(p->Edt_141->text(), QStringLiteral("12345.67"));
}

// ---- saving -------------------------------------------------------------------------------

TEST_F(Page3Test, SaveWritesEveryField) {
    openPage();
    TMainForm::setSectionKind(ui->btn_page03, false);
    p->Edt_142_3->setText(QStringLiteral("1"));
    p->Edt_130->setText(QStringLiteral("科技部"));
    p->DTP_34->setDate(QDate(2005, 1, 2));
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("存储成功！")});
    EXPECT_TRUE(complete(ui->btn_page03));
    EXPECT_EQ(ui->btn_page03->text(), QStringLiteral("课题立项，评价情况"));

    const Row row = stored("2004000001");
    const Row expected = {
        {"ITEM_127", "2004AA1"},   {"ITEM_127_1", "杂交水稻"}, {"ITEM_130", "科技部"},
        {"ITEM_22", "验字001"},    {"ITEM_142_1", "1.5"},      {"ITEM_142_2", "2"},
        {"ITEM_142_3", "1"},       {"ITEM_142", "4.5"},        {"ITEM_141", "10"},
        {"ITEM_148", "4"},         {"ITEM_143", "1"},          {"ITEM_144", "2"},
        {"ITEM_243", "3"},         {"ITEM_244", "0.5"},        {"ITEM_145", "1"},
        {"ITEM_149", "26"},        {"ITEM_126", "01;03;"},     {"ITEM_140", "2"},
        {"ITEM_34", "2005.01.02"}, {"ITEM_41_1", "01"},        {"ITEM_21", "2"}};
    for (const auto& [field, value] : expected) {
        EXPECT_EQ(row.at(field), value) << field;
    }
}

TEST_F(Page3Test, SoftScienceSavesTheEvaluationOfItsOwnList) {
    openPage(softScience(), false);
    p->cb_21_l->setCurrentIndex(1);
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField("ITEM_21"), "4");
}

TEST_F(Page3Test, ClearedDateAndEmptiedAmountsAreStoredEmpty) {
    openPage();
    p->CheckBox_34->setChecked(true);
    p->Edt_141->clear();
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField("ITEM_34"), "");
    EXPECT_EQ(storedField("ITEM_141"), "");
    EXPECT_EQ(storedField("ITEM_149"), "15");
}

// ---- the checks ---------------------------------------------------------------------------

using Breaker = std::function<void(Ui::TFpage3*)>;

void noEvaluation(Ui::TFpage3* p) {
    p->cb_21->setCurrentIndex(-1);
    p->cb_21_l->setCurrentIndex(-1);
}
void noSource(Ui::TFpage3* p) {
    for (QCheckBox* box : p->Pl_126->findChildren<QCheckBox*>()) {
        box->setChecked(false);
    }
}
void noNumber(Ui::TFpage3* p) {
    p->Edt_127->setText(QStringLiteral("  "));
}
void noName(Ui::TFpage3* p) {
    p->Edt_127_1->clear();
}
void longTotal(Ui::TFpage3* p) {
    p->Edt_141->setText(QStringLiteral("9999999"));
    p->Edt_148->setText(QStringLiteral("1"));
}
void longLocal(Ui::TFpage3* p) {
    p->Edt_142_1->setText(QStringLiteral("9999999"));
    p->Edt_142_2->setText(QStringLiteral("1"));
    p->Edt_141->clear();
    p->Edt_148->setText(QStringLiteral("-10000000"));  // keeps the total short
}

struct CheckCase {
    const char* name;
    bool applied;
    std::vector<Breaker> breakers;
    const char* message;
};

void PrintTo(const CheckCase& c, std::ostream* os) {
    *os << c.name;
}

class Page3CheckTest : public Page3Test, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(Page3CheckTest, FirstFailingRuleIsReported) {
    const CheckCase& c = GetParam();
    openPage(c.applied ? kProject : softScience(), c.applied);
    for (const Breaker& breakIt : c.breakers) {
        breakIt(p);
    }
    m_boxes.boxes.clear();
    EXPECT_FALSE(page->btnSave01Click());
    EXPECT_EQ(boxTexts(), QStringList{QString::fromUtf8(c.message)});
    EXPECT_EQ(storedField("ITEM_127"), "2004AA1");  // nothing written
}

const char* const kEvaluation = "“评价形式”不能为空！";
const char* const kSource = "“课题来源”不能为空！";
const char* const kNumber = "“课题来源”为“国家计划”的项目，“课题立项编号”不能为空！";
const char* const kName = "“课题来源”为“国家计划”的项目，“课题立项名称”不能为空！";
const char* const kTooLong = "经费最大长度不超得过7位！";

INSTANTIATE_TEST_SUITE_P(
    Rules, Page3CheckTest,
    ::testing::Values(
        CheckCase{"evaluation_applied", true, {noEvaluation}, kEvaluation},
        CheckCase{"evaluation_others", false, {noEvaluation}, kEvaluation},
        CheckCase{"evaluation_before_source", true, {noEvaluation, noSource}, kEvaluation},
        CheckCase{"evaluation_before_sums", false, {noEvaluation, longTotal}, kEvaluation},
        CheckCase{"source", true, {noSource}, kSource},
        CheckCase{"source_before_sums", false, {noSource, longTotal}, kSource},
        CheckCase{"national_plan_number", true, {noNumber}, kNumber},
        CheckCase{"national_plan_number_before_name", false, {noNumber, noName}, kNumber},
        CheckCase{"national_plan_number_before_sums", true, {noNumber, longTotal}, kNumber},
        CheckCase{"national_plan_name", true, {noName}, kName},
        CheckCase{"national_plan_name_before_sums", true, {noName, longLocal}, kName},
        CheckCase{"total_too_long", true, {longTotal}, kTooLong},
        CheckCase{"local_sum_too_long", false, {longLocal}, kTooLong}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Page3Test, NumberAndNameAreFreeOutsideTheNationalPlan) {
    openPage();
    p->SpeedButton11->click();
    EXPECT_FALSE(p->cb_126_01->isChecked());
    noNumber(p);
    noName(p);
    EXPECT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField("ITEM_126"), "03;");
    EXPECT_EQ(storedField("ITEM_140"), "");
    EXPECT_EQ(storedField("ITEM_127"), "");
}

TEST_F(Page3Test, SevenDigitTotalIsAccepted) {
    openPage({{"ITEM_126", "02;"}, {"ITEM_21", "1"}});
    p->Edt_141->setText(QStringLiteral("9999998"));
    p->Edt_148->setText(QStringLiteral("1"));
    EXPECT_EQ(p->Edt_149->text(), QStringLiteral("9999999"));
    EXPECT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField("ITEM_149"), "9999999");
}

TEST_F(Page3Test, ExitOnAPageThatFailsItsCheckStaysOpen) {
    openPage({{"ITEM_21", "1"}});
    int closes = 0;
    QObject::connect(page.get(), &QDialog::finished, [&] { ++closes; });
    page->quit01Click();
    EXPECT_EQ(boxTexts(), QStringList{QString::fromUtf8(kSource)});
    EXPECT_EQ(closes, 0);
}

// ---- the running sums ---------------------------------------------------------------------

TEST_F(Page3Test, LocalAmountsAddUpIntoLocalAndTotal) {
    openPage({});
    p->Edt_141->setText(QStringLiteral("10"));
    p->Edt_142_1->setText(QStringLiteral("1.5"));
    p->Edt_142_2->setText(QStringLiteral("2"));
    EXPECT_EQ(p->Edt_142->text(), QStringLiteral("3.5"));
    EXPECT_EQ(p->Edt_149->text(), QStringLiteral("13.5"));
    p->Edt_142_3->setText(QStringLiteral("0.1"));
    p->Edt_244->setText(QStringLiteral("0.2"));
    EXPECT_EQ(p->Edt_142->text(), QStringLiteral("3.6"));
    EXPECT_EQ(p->Edt_149->text(), QStringLiteral("13.8"));
    EXPECT_TRUE(m_boxes.boxes.empty());
}

struct BadAmountCase {
    const char* name;
    QLineEdit* Ui::TFpage3::*edit;
    const char* prefix;
};

void PrintTo(const BadAmountCase& c, std::ostream* os) {
    *os << c.name;
}

class Page3BadAmountTest : public Page3Test, public ::testing::WithParamInterface<BadAmountCase> {};

// Pasted text that is no number is reported with the amount's name and replaced by 0, and the
// sums are taken again.
TEST_P(Page3BadAmountTest, IsReportedAndSetToZero) {
    const BadAmountCase& c = GetParam();
    openPage();
    QLineEdit* edit = p->*c.edit;
    m_boxes.boxes.clear();
    edit->selectAll();
    edit->insert(QStringLiteral("1a"));
    EXPECT_EQ(boxTexts(), QStringList{QString::fromUtf8(c.prefix) +
                                      QStringLiteral("1a 不是正确的数据格式！现在已经置零")});
    EXPECT_EQ(edit->text(), QStringLiteral("0"));
    double total = 0;
    for (QLineEdit* amount : {p->Edt_142, p->Edt_141, p->Edt_148, p->Edt_143, p->Edt_144,
                              p->Edt_243, p->Edt_244, p->Edt_145}) {
        total += amount->text().toDouble();
    }
    EXPECT_EQ(p->Edt_149->text(), QString::number(total));
    EXPECT_EQ(p->Edt_142->text().toDouble(), p->Edt_142_1->text().toDouble() +
                                                 p->Edt_142_2->text().toDouble() +
                                                 p->Edt_142_3->text().toDouble());
}

const char* const kLocal = "读取数据时，发现“地方投入”:";

INSTANTIATE_TEST_SUITE_P(
    Amounts, Page3BadAmountTest,
    ::testing::Values(BadAmountCase{"provincial", &Ui::TFpage3::Edt_142_1, kLocal},
                      BadAmountCase{"prefectural", &Ui::TFpage3::Edt_142_2, kLocal},
                      BadAmountCase{"county", &Ui::TFpage3::Edt_142_3, kLocal},
                      BadAmountCase{"national", &Ui::TFpage3::Edt_141, "“国家投入”:"},
                      BadAmountCase{"department", &Ui::TFpage3::Edt_148, "“部门投入”:"},
                      BadAmountCase{"fund", &Ui::TFpage3::Edt_143, "“基金投入”:"},
                      BadAmountCase{"own", &Ui::TFpage3::Edt_144, "“自有基金”:"},
                      BadAmountCase{"loan", &Ui::TFpage3::Edt_243, "“银行贷款”:"},
                      BadAmountCase{"foreign", &Ui::TFpage3::Edt_244, "“国外资金”:"},
                      BadAmountCase{"other", &Ui::TFpage3::Edt_145, "“其他”:"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Page3Test, AmountsTakeDigitsAndPointUpToSevenCharacters) {
    openPage({});
    QTest::keyClicks(p->Edt_148, QStringLiteral("1a2.-5x"));
    EXPECT_EQ(p->Edt_148->text(), QStringLiteral("12.5"));
    p->Edt_141->clear();
    QTest::keyClicks(p->Edt_141, QStringLiteral("123456789"));
    EXPECT_EQ(p->Edt_141->text(), QStringLiteral("1234567"));
    EXPECT_TRUE(p->Edt_142->isReadOnly());
    EXPECT_TRUE(p->Edt_149->isReadOnly());
    EXPECT_EQ(p->Edt_141->toolTip(), QStringLiteral("（数据长度及格式均为：9999999）"));
}

// ---- the project source -------------------------------------------------------------------

TEST_F(Page3Test, ChoosingASourceDropsTheOtherButNotTheNationalPlan) {
    openPage({{"ITEM_126", "01;02;"},
              {"ITEM_140", "1"},
              {"ITEM_127", "A1"},
              {"ITEM_127_1", "B1"},
              {"ITEM_21", "1"}});
    p->cb_126_03->click();
    EXPECT_FALSE(p->cb_126_02->isChecked());
    EXPECT_TRUE(p->cb_126_01->isChecked());
    EXPECT_TRUE(p->cb_126_03->isChecked());
    EXPECT_TRUE(visible(p->CB_41));
    EXPECT_TRUE(visible(p->Lb_41));
    EXPECT_EQ(p->Lb_41->text(), QStringLiteral("“地方计划”的下属分类"));
    EXPECT_EQ(
        items(p->CB_41),
        (QStringList{QStringLiteral("01  省级重点科技计划"), QStringLiteral("02  省级一般科技计划"),
                     QStringLiteral("03  地（市）级科技计划"), QStringLiteral("04  县级科技计划"),
                     QStringLiteral("09  其他地方计划"), QStringLiteral(" ")}));
    EXPECT_EQ(p->CB_41->currentIndex(), -1);

    p->CB_41->setCurrentIndex(3);
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField("ITEM_126"), "01;03;");
    EXPECT_EQ(storedField("ITEM_41_1"), "04");
}

TEST_F(Page3Test, SourceWithoutPlansHidesTheList) {
    openPage();
    p->cb_126_09->click();
    EXPECT_FALSE(p->cb_126_03->isChecked());
    EXPECT_FALSE(visible(p->CB_41));
    EXPECT_FALSE(visible(p->Lb_41));
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField("ITEM_126"), "01;09;");
    EXPECT_EQ(storedField("ITEM_41_1"), "");
}

// The plan belongs to its source: unchecked, the source takes it along.
TEST_F(Page3Test, UncheckingASourceClearsItsPlan) {
    openPage();
    p->cb_126_03->click();
    EXPECT_FALSE(p->cb_126_03->isChecked());
    EXPECT_TRUE(p->cb_126_01->isChecked());
    EXPECT_FALSE(visible(p->CB_41));
    EXPECT_FALSE(visible(p->Lb_41));
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField("ITEM_126"), "01;");
    EXPECT_EQ(storedField("ITEM_41_1"), "");
}

TEST_F(Page3Test, ProgrammeChoosesTheNationalPlanAndClearRemovesIt) {
    openPage({{"ITEM_126", "02;"}, {"ITEM_21", "1"}});
    EXPECT_TRUE(p->Label_127->styleSheet().isEmpty());
    p->RB_140_1->click();
    EXPECT_TRUE(p->cb_126_01->isChecked());
    EXPECT_TRUE(p->cb_126_02->isChecked());
    EXPECT_EQ(p->Label_127->styleSheet(), kMaroon);
    EXPECT_FALSE(page->btnSave01Click());
    EXPECT_EQ(boxTexts(), QStringList{QString::fromUtf8(kNumber)});

    p->SpeedButton11->click();
    EXPECT_FALSE(p->cb_126_01->isChecked());
    for (QRadioButton* plan : p->Pl_140->findChildren<QRadioButton*>()) {
        EXPECT_FALSE(plan->isChecked()) << plan->objectName().toStdString();
    }
    EXPECT_TRUE(p->Label_127->styleSheet().isEmpty());
    EXPECT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField("ITEM_126"), "02;");
}

TEST_F(Page3Test, PlanListOfASourceWithAQuoteIsEmpty) {
    openPage();
    page->GetItem41List(DM->TblDFJHZDXX, QStringLiteral("0'"), false, p->Lb_41, p->CB_41);
    EXPECT_EQ(p->CB_41->count(), 0);
    EXPECT_FALSE(visible(p->CB_41));
}

// ---- the change check ---------------------------------------------------------------------

struct ChangeCase {
    const char* name;
    bool applied;
    std::function<void(Ui::TFpage3*)> change;
    bool unchanged;
};

void PrintTo(const ChangeCase& c, std::ostream* os) {
    *os << c.name;
}

class Page3ChangeTest : public Page3Test, public ::testing::WithParamInterface<ChangeCase> {};

TEST_P(Page3ChangeTest, ComparesAsTheSaveCodes) {
    const ChangeCase& c = GetParam();
    openPage(c.applied ? kProject : softScience(), c.applied);
    c.change(p);
    EXPECT_EQ(page->IsPage3Unchanged(), c.unchanged);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Page3ChangeTest,
    ::testing::Values(
        ChangeCase{"programme", true, [](auto* p) { p->RB_140_4->setChecked(true); }, false},
        ChangeCase{"source", true, [](auto* p) { p->cb_126_06->click(); }, false},
        ChangeCase{"number", true, [](auto* p) { p->Edt_127->setText(QStringLiteral("X")); },
                   false},
        ChangeCase{"name", true, [](auto* p) { p->Edt_127_1->clear(); }, false},
        ChangeCase{"amount", true, [](auto* p) { p->Edt_243->setText(QStringLiteral("3.1")); },
                   false},
        ChangeCase{"amount_same_number", true,
                   [](auto* p) { p->Edt_243->setText(QStringLiteral("3.0")); }, true},
        ChangeCase{"local_amount", true,
                   [](auto* p) { p->Edt_142_3->setText(QStringLiteral("1")); }, false},
        ChangeCase{"unit", true, [](auto* p) { p->Edt_130->setText(QStringLiteral("部")); }, false},
        ChangeCase{"report", true, [](auto* p) { p->edt_22->clear(); }, false},
        ChangeCase{"evaluation", true, [](auto* p) { p->cb_21->setCurrentIndex(0); }, false},
        ChangeCase{"other_type_evaluation", false, [](auto* p) { p->cb_21_l->setCurrentIndex(0); },
                   false},
        ChangeCase{"applied_list_does_not_count_for_others", false,
                   [](auto* p) { p->cb_21->setCurrentIndex(0); }, true},
        ChangeCase{"plan", true, [](auto* p) { p->CB_41->setCurrentIndex(1); }, false},
        ChangeCase{"date", true, [](auto* p) { p->DTP_34->setDate(QDate(2004, 7, 1)); }, false},
        ChangeCase{"date_cleared", true, [](auto* p) { p->CheckBox_34->setChecked(true); }, false},
        ChangeCase{"date_cleared_and_restored", true,
                   [](auto* p) {
                       p->CheckBox_34->setChecked(true);
                       p->CheckBox_34->setChecked(false);
                   },
                   true}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- through the main window --------------------------------------------------------------

TEST_F(Page3Test, OpenedFromTheMainWindowAndSavedOnExit) {
    openRecords({record("2004000001", "2", {{"ITEM_126", "05;"}, {"ITEM_41_1", "02"}})}, 1);
    TFpage3 opened(*m_form, m_form.get());
    Fpage3 = &opened;
    Ui::TFpage3* o = opened.form();
    TMainForm::setSectionKind(ui->btn_page03, false);
    int closes = 0;
    QObject::connect(&opened, &QDialog::finished, [&] { ++closes; });

    m_boxes.answers = {widgets::Yes};
    m_boxes.onExec = [&](QDialog& shown) {
        ASSERT_EQ(&shown, &opened);
        EXPECT_EQ(opened.windowTitle(), QStringLiteral("成果名称：成果2004000001"));
        EXPECT_EQ(opened.size(), QSize(800, 600));
        EXPECT_TRUE(o->cb_21_l->isVisibleTo(&opened));
        EXPECT_EQ(o->Lb_41->text(), QStringLiteral("“部门基金”的下属分类"));
        EXPECT_EQ(o->CB_41->currentText(), QStringLiteral("02  国家社会科学基金"));
        o->cb_21_l->setCurrentIndex(2);
        o->Edt_141->setText(QStringLiteral("8"));
        o->quit01->click();
    };
    ui->btn_page03->click();

    EXPECT_EQ(closes, 1);
    EXPECT_EQ(boxTexts(), (QStringList{QStringLiteral("记录已经更改,是否保存？"),
                                       QStringLiteral("存储成功！")}));
    EXPECT_TRUE(complete(ui->btn_page03));
    const Row row = stored("2004000001");
    EXPECT_EQ(row.at("ITEM_21"), "6");
    EXPECT_EQ(row.at("ITEM_141"), "8");
    EXPECT_EQ(row.at("ITEM_149"), "8");
    EXPECT_EQ(row.at("ITEM_41_1"), "02");
    EXPECT_EQ(row.at("ITEM_34"), "");
}

}  // namespace
