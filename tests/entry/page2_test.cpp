// The intellectual property and application page "知识产权，成果应用情况".
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <filesystem>
#include <functional>

#include "ExitWays.h"
#include "Finto6Unit.h"
#include "PageFixture.h"
#include "QtPrinters.h"
#include "Unitpage2.h"
#include "Unitpage6.h"
#include "ui_Unit1.h"
#include "ui_Unitpage2.h"

using testsupport::record;
using testsupport::Row;

namespace {

const char* const kKey = "2004000001";

// A record with patents, in use after a stop, for lack of loans.
const Row kPatented = {
    {"ITEM_3", "节水灌溉"}, {"ITEM_51", "1"},      {"ITEM_51_2", "2"},       {"ITEM_51_3", "1"},
    {"ITEM_32", "2"},       {"ITEM_32_1", "1;"},   {"ITEM_160", "12"},       {"ITEM_161", "1;3;"},
    {"ITEM_45", "3"},       {"ITEM_150", "12.5"},  {"ITEM_162", "4"},        {"ITEM_151_1", "100"},
    {"ITEM_152_1", "20"},   {"ITEM_153", "5"},     {"ITEM_154", "6"},        {"ITEM_46", "02"},
    {"ITEM_47", "03"},      {"ITEM_52", "旧软件"}, {"ITEM_53", "2003SR0001"}};

Row patent(const char* key, const char* number, const char* status) {
    return {{"ITEM_4", key},       {"ITEM_DQDM", "."},
            {"PATENT_NO", number}, {"PATENT_NAM", std::string("专利") + number},
            {"PATENT_ST", status}, {"PATENT_TY", "1"}};
}

// Two applied for and one granted; one more of another record.
const std::vector<Row> kPatents = {patent(kKey, "ZL1", "1"), patent(kKey, "ZL2", "2"),
                                   patent("2004000002", "ZL9", "1"), patent(kKey, "ZL3", "1")};

Row with(Row row, const Row& changes) {
    for (const auto& [field, value] : changes) {
        row[field] = value;
    }
    return row;
}

void uncheckAll(QWidget* panel) {
    for (QAbstractButton* box : panel->findChildren<QAbstractButton*>()) {
        box->setAutoExclusive(false);
        box->setChecked(false);
        box->setAutoExclusive(true);
    }
}

// A choice of the user's in a list.
void choose(QComboBox* combo, int index) {
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

class Page2Test : public testsupport::PageFixture {
protected:
    void openPage(const Row& fields = kPatented, const std::vector<Row>& patents = kPatents) {
        append("zlqk.DBF", patents);
        openRecords({record(kKey, "1", fields), record("2004000002", "1", {{"ITEM_51", "1"}})});
        page = std::make_unique<TFpage2>(*m_form);
        p = page->form();
        page->loadRecord(DM->Qryhvel);
        page->FormShow();
    }

    void TearDown() override {
        Fpage2 = nullptr;
        Fpage6 = nullptr;
        Finto6 = nullptr;
        page.reset();
        PageFixture::TearDown();
    }

    std::string storedField(const char* field) const { return stored(kKey).at(field); }

    // The patent numbers on disk of a record.
    QStringList patentsOf(const char* key) const {
        QStringList numbers;
        for (auto& row : testsupport::readRows(m_program.file("zlqk.DBF"))) {
            if (row["ITEM_4"] == key) {
                numbers << QString::fromStdString(row["PATENT_NO"]);
            }
        }
        return numbers;
    }

    bool visible(QWidget* widget) const { return widget->isVisibleTo(page.get()); }
    bool patentControlsShown() const {
        return visible(p->edt_51_2) && visible(p->edt_51_3) && visible(p->Button1) &&
               visible(p->Lb_51_2) && visible(p->Lb_51_3);
    }
    bool softwareControlsShown() const {
        return visible(p->Edt_52) && visible(p->Edt_53) && visible(p->Lb_52) && visible(p->Lb_53);
    }

    std::unique_ptr<TFpage2> page;
    Ui::TFpage2* p = nullptr;
};

// ---- loading ------------------------------------------------------------------------------

TEST_F(Page2Test, LoadsARecordWithPatents) {
    openPage();
    EXPECT_TRUE(m_boxes.boxes.empty());
    EXPECT_EQ(p->cb_51->currentText(), QStringLiteral("1  发明专利"));
    EXPECT_EQ(items(p->cb_51).last(), QStringLiteral(" "));
    EXPECT_EQ(p->edt_51_2->text(), QStringLiteral("2"));
    EXPECT_EQ(p->edt_51_3->text(), QStringLiteral("1"));
    EXPECT_TRUE(patentControlsShown());
    EXPECT_FALSE(softwareControlsShown());
    EXPECT_EQ(p->CB_32->currentText(), QStringLiteral("2  应用后停用"));
    EXPECT_TRUE(p->cb_32_1_1->isChecked());
    EXPECT_TRUE(p->rb_160_12->isChecked());
    EXPECT_TRUE(p->cb_161_1->isChecked());
    EXPECT_TRUE(p->cb_161_3->isChecked());
    EXPECT_FALSE(p->cb_161_9->isChecked());
    EXPECT_EQ(p->cb_46->currentText(), QStringLiteral("02  100～500"));
    EXPECT_EQ(p->cb_47->currentText(), QStringLiteral("03  50～100"));
    EXPECT_EQ(p->Edt_45->text(), QStringLiteral("3"));
    EXPECT_EQ(p->Edt_150->text(), QStringLiteral("12.5"));
    EXPECT_EQ(p->Edt_162->text(), QStringLiteral("4"));
    EXPECT_EQ(p->Edt_154->text(), QStringLiteral("6"));
    EXPECT_TRUE(p->Pl_160->isEnabled() && p->rb_160_55->isEnabled());
    EXPECT_FALSE(p->cb_32_1_1->isEnabled());  // set through the reasons only
    EXPECT_EQ(patentsOf(kKey), texts({"ZL1", "ZL2", "ZL3"}));
    EXPECT_TRUE(page->IsPage2Unchanged());
}

TEST_F(Page2Test, CountsComeFromThePatentRowsNotFromTheStoredCounts) {
    // Counts left stale by a patent list whose page was not saved.
    openPage(with(kPatented, {{"ITEM_51_2", "5"}, {"ITEM_51_3", "4"}}));
    EXPECT_EQ(p->edt_51_2->text(), QStringLiteral("2"));
    EXPECT_EQ(p->edt_51_3->text(), QStringLiteral("1"));
    EXPECT_FALSE(page->IsPage2Unchanged());
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField("ITEM_51_2"), "2");
    EXPECT_EQ(storedField("ITEM_51_3"), "1");
}

struct FormCase {
    const char* name;
    const char* form;
    bool patents;
    bool software;
};

void PrintTo(const FormCase& c, std::ostream* os) {
    *os << c.name;
}

class LoadFormTest : public Page2Test, public ::testing::WithParamInterface<FormCase> {};

// Opening shows the controls of the stored form and never touches the patent rows (an
// imported record can hold patents under another form).
TEST_P(LoadFormTest, ControlsFollowTheStoredFormAndThePatentsStay) {
    const FormCase& c = GetParam();
    openPage(with(kPatented, {{"ITEM_51", c.form}}));
    EXPECT_EQ(patentsOf(kKey), texts({"ZL1", "ZL2", "ZL3"}));
    EXPECT_EQ(patentsOf("2004000002"), texts({"ZL9"}));
    EXPECT_EQ(patentControlsShown(), c.patents);
    EXPECT_EQ(softwareControlsShown(), c.software);
    // Shown or not, the software authorship right keeps its stored texts.
    EXPECT_EQ(p->Edt_52->text(), QStringLiteral("旧软件"));
    EXPECT_EQ(p->Edt_53->text(), QStringLiteral("2003SR0001"));
    if (!c.patents) {
        EXPECT_TRUE(p->edt_51_2->text().isEmpty());
        EXPECT_TRUE(p->edt_51_3->text().isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, LoadFormTest,
                         ::testing::Values(FormCase{"patents", "1", true, false},
                                           FormCase{"software", "3", false, true},
                                           FormCase{"none", "", false, false},
                                           FormCase{"unknown_code", "2", false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- saving -------------------------------------------------------------------------------

TEST_F(Page2Test, SavesEveryField) {
    openPage();
    TMainForm::setSectionKind(ui->btn_page02, false);
    p->Edt_45->setText(QStringLiteral("7"));
    p->Edt_162->clear();
    p->cb_47->setCurrentIndex(p->cb_47->count() - 1);  // the blank item
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("存储成功！")});
    EXPECT_TRUE(complete(ui->btn_page02));
    EXPECT_EQ(ui->btn_page02->text(), QStringLiteral("知识产权，成果应用情况"));

    const Row row = stored(kKey);
    const Row expected = {{"ITEM_51", "1"},     {"ITEM_51_2", "2"},    {"ITEM_51_3", "1"},
                          {"ITEM_32", "2"},     {"ITEM_32_1", "1;"},   {"ITEM_160", "12"},
                          {"ITEM_161", "1;3;"}, {"ITEM_45", "7"},      {"ITEM_150", "12.5"},
                          {"ITEM_162", ""},     {"ITEM_151_1", "100"}, {"ITEM_152_1", "20"},
                          {"ITEM_153", "5"},    {"ITEM_154", "6"},     {"ITEM_46", "02"},
                          {"ITEM_47", ""},      {"ITEM_52", "旧软件"}, {"ITEM_53", "2003SR0001"}};
    for (const auto& [field, value] : expected) {
        EXPECT_EQ(row.at(field), value) << field;
    }
}

TEST_F(Page2Test, ChoosingAReasonChecksItsGroup) {
    openPage(with(kPatented, {{"ITEM_32_1", "3;"}, {"ITEM_160", "31"}}));
    EXPECT_TRUE(p->cb_32_1_3->isChecked());
    p->rb_160_12->click();  // 贷款困难
    EXPECT_TRUE(p->cb_32_1_1->isChecked());
    EXPECT_FALSE(p->cb_32_1_3->isChecked());
    EXPECT_FALSE(p->rb_160_31->isChecked());
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField("ITEM_32_1"), "1;");
    EXPECT_EQ(storedField("ITEM_160"), "12");
}

TEST_F(Page2Test, StableApplicationStoresNoReasons) {
    openPage();
    p->CB_32->setCurrentIndex(0);  // 1  稳定应用, the panels left as they were
    ASSERT_TRUE(p->cb_32_1_1->isChecked());
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField("ITEM_32"), "1");
    EXPECT_EQ(storedField("ITEM_32_1"), "");
    EXPECT_EQ(storedField("ITEM_160"), "");
}

// ---- the checks ---------------------------------------------------------------------------

struct Rule {
    const char* name;
    std::function<void(Ui::TFpage2*)> breakIt;
    const char* message;
};

const std::vector<Rule>& rules() {
    static const std::vector<Rule> list = {
        {"status", [](Ui::TFpage2* p) { p->CB_32->setCurrentIndex(-1); }, "\"应用状态\"不能为空！"},
        {"reasons", [](Ui::TFpage2* p) { uncheckAll(p->pl_32_1); },
         "非\"稳定应用\"的项目，其\"未应用或停用原因\"必须说明！"},
        {"promotion", [](Ui::TFpage2* p) { uncheckAll(p->pl_161); }, "\"推广形式\"必须选择！"},
        {"patents",
         [](Ui::TFpage2* p) {
             p->edt_51_2->setText(QStringLiteral("0"));
             p->edt_51_3->setText(QStringLiteral("0"));
         },
         "请填写专利情况！"},
    };
    return list;
}

// A rule broken alone, or together with every later rule: its own message is the one shown.
class Page2CheckTest : public Page2Test,
                       public ::testing::WithParamInterface<std::tuple<size_t, bool>> {};

TEST_P(Page2CheckTest, FirstFailingRuleIsReported) {
    const auto [index, laterBroken] = GetParam();
    openPage();
    rules()[index].breakIt(p);
    for (size_t later = index + 1; laterBroken && later < rules().size(); ++later) {
        rules()[later].breakIt(p);
    }
    EXPECT_FALSE(page->btnSave01Click());
    EXPECT_EQ(boxTexts(), QStringList{QString::fromUtf8(rules()[index].message)});
    EXPECT_EQ(storedField("ITEM_45"), "3");  // nothing written
}

INSTANTIATE_TEST_SUITE_P(Rules, Page2CheckTest,
                         ::testing::Combine(::testing::Range<size_t>(0, 4), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(rules()[std::get<0>(info.param)].name) +
                                    (std::get<1>(info.param) ? "_with_later_rules" : "_alone");
                         });

TEST_F(Page2Test, NoPatentsPassWithAnotherFormOrOneCounted) {
    openPage();
    p->edt_51_2->setText(QStringLiteral("0"));
    p->edt_51_3->setText(QStringLiteral("1"));
    EXPECT_TRUE(page->btnSave01Click());
    p->edt_51_3->setText(QStringLiteral("0"));
    p->cb_51->setCurrentIndex(1);  // 3  软件著作权
    EXPECT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField("ITEM_51"), "3");
}

// A form of promotion a code-table update retired stays stored beside the checked one, and
// gives way when a second box is checked (at most two in all).
TEST_F(Page2Test, UnknownPromotionCodeIsKeptBesideTheCheckedOne) {
    openPage(with(kPatented, {{"ITEM_161", "3;7;"}}));
    EXPECT_TRUE(page->IsPage2Unchanged());
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField("ITEM_161"), "3;7;");
    p->cb_161_1->setChecked(true);
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField("ITEM_161"), "1;3;");
}

TEST_F(Page2Test, AtMostTwoFormsOfPromotion) {
    openPage();
    p->cb_161_9->setChecked(true);
    EXPECT_FALSE(page->btnSave01Click());
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].text, QStringLiteral("'推广形式'项目为复选项目，但至多选择二项！"));
    EXPECT_EQ(storedField("ITEM_161"), "1;3;");
}

// ---- changing the form of intellectual property -------------------------------------------

// Browsing the forms only shows and hides controls; leaving with "No" keeps everything.
TEST_F(Page2Test, BrowsingTheFormsDeletesNothing) {
    openPage();
    for (int index = p->cb_51->count() - 1; index >= 0; --index) {
        choose(p->cb_51, index);
    }
    choose(p->cb_51, p->cb_51->count() - 1);  // the blank item
    EXPECT_TRUE(m_boxes.boxes.empty());
    EXPECT_FALSE(patentControlsShown());
    EXPECT_FALSE(softwareControlsShown());
    EXPECT_EQ(patentsOf(kKey).size(), 3);

    m_boxes.answers = {widgets::No};
    page->quit01Click();
    EXPECT_EQ(boxTexts(), texts({"记录已经更改,是否保存？"}));
    EXPECT_EQ(storedField("ITEM_51"), "1");
    // Opened again, the patents are there.
    page->loadRecord(DM->Qryhvel);
    EXPECT_EQ(patentsOf(kKey).size(), 3);
    EXPECT_EQ(p->edt_51_2->text(), QStringLiteral("2"));
    EXPECT_EQ(p->edt_51_3->text(), QStringLiteral("1"));
}

struct OtherFormCase {
    const char* name;
    const char* storedForm;
    int chosen;  // index in cb_51; -1: the blank item
    int answer;  // widgets::NoButton: no question expected
    const char* question;
    int shownAfterNo;  // the index cb_51 returns to
};

void PrintTo(const OtherFormCase& c, std::ostream* os) {
    *os << c.name;
}

class SaveOtherFormTest : public Page2Test, public ::testing::WithParamInterface<OtherFormCase> {};

// Only a save deletes the record's patents: after a question, together with the new form.
// "No" puts back the form the record had, with its patents, and stores nothing.
TEST_P(SaveOtherFormTest, DeletesThePatentsOnlyWhenConfirmed) {
    const OtherFormCase& c = GetParam();
    openPage(with(kPatented, {{"ITEM_51", c.storedForm}, {"ITEM_52", "水文软件"}}));
    const int chosen = c.chosen < 0 ? p->cb_51->count() - 1 : c.chosen;
    choose(p->cb_51, chosen);
    m_boxes.answers = {c.answer};
    const bool saved = page->btnSave01Click();
    ASSERT_FALSE(m_boxes.boxes.empty());
    EXPECT_EQ(m_boxes.boxes[0].text, QString::fromUtf8(c.question));
    EXPECT_EQ(m_boxes.boxes[0].title, QStringLiteral("请注意！"));
    EXPECT_EQ(m_boxes.boxes[0].icon, widgets::Icon::Question);
    EXPECT_EQ(patentsOf("2004000002"), texts({"ZL9"}));
    if (c.answer == widgets::Yes) {
        EXPECT_TRUE(saved);
        EXPECT_TRUE(patentsOf(kKey).isEmpty());
        EXPECT_EQ(storedField("ITEM_51"), p->cb_51->currentText().left(1).trimmed().toStdString());
        EXPECT_EQ(storedField("ITEM_51_2"), "");
    } else {
        EXPECT_FALSE(saved);
        EXPECT_EQ(patentsOf(kKey).size(), 3);
        EXPECT_EQ(p->cb_51->currentIndex(),
                  c.shownAfterNo < 0 ? p->cb_51->count() - 1 : c.shownAfterNo);
        EXPECT_EQ(storedField("ITEM_51"), c.storedForm);
    }
}

const char* const kSoftwareQuestion = "更改为软件著作权后，记录选项将更改,是否更改？";
const char* const kOtherQuestion = "更改知识产权形式后，该项目已填写的专利情况将被删除，是否更改？";

INSTANTIATE_TEST_SUITE_P(
    Cases, SaveOtherFormTest,
    ::testing::Values(OtherFormCase{"software_yes", "1", 1, widgets::Yes, kSoftwareQuestion, 0},
                      OtherFormCase{"software_no", "1", 1, widgets::No, kSoftwareQuestion, 0},
                      OtherFormCase{"blank_yes", "1", -1, widgets::Yes, kOtherQuestion, 0},
                      // An imported record: software right with patent rows; "No" goes back to the
                      // software right, not to the first item.
                      OtherFormCase{"imported_software_to_blank_no", "3", -1, widgets::No,
                                    kOtherQuestion, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Page2Test, AnotherFormWithoutPatentRowsAsksNothing) {
    openPage(kPatented, {});
    choose(p->cb_51, 1);
    EXPECT_TRUE(page->btnSave01Click());
    EXPECT_EQ(boxTexts(), texts({"存储成功！"}));
    EXPECT_EQ(storedField("ITEM_51"), "3");
}

TEST_F(Page2Test, ExitWithYesSavesThroughTheQuestion) {
    openPage();
    choose(p->cb_51, 1);
    // Save?  Yes; delete the patents?  No: the page stays open on the patents.
    m_boxes.answers = {widgets::Yes, widgets::No};
    int closes = 0;
    QObject::connect(page.get(), &QDialog::finished, [&] { ++closes; });
    page->quit01Click();
    EXPECT_EQ(boxTexts(), texts({"记录已经更改,是否保存？", kSoftwareQuestion}));
    EXPECT_EQ(closes, 0);
    EXPECT_EQ(p->cb_51->currentIndex(), 0);
    EXPECT_EQ(patentsOf(kKey).size(), 3);
}

TEST_F(Page2Test, BackToPatentsCountsAgain) {
    openPage(with(kPatented, {{"ITEM_51", "3"}}), {});
    choose(p->cb_51, 0);
    EXPECT_TRUE(patentControlsShown());
    EXPECT_FALSE(softwareControlsShown());
    EXPECT_EQ(p->edt_51_2->text(), QStringLiteral("0"));
    EXPECT_TRUE(p->Edt_52->text().isEmpty());
}

// ---- the status ---------------------------------------------------------------------------

QList<QLineEdit*> benefits(Ui::TFpage2* p, bool withOwnTransfer = false) {
    QList<QLineEdit*> edits = {p->Edt_45,    p->Edt_150, p->Edt_151_1,
                               p->Edt_152_1, p->Edt_153, p->Edt_154};
    if (withOwnTransfer) {
        edits << p->Edt_162;
    }
    return edits;
}

TEST_F(Page2Test, ChosenUnappliedEmptiesAndDisablesTheBenefits) {
    openPage();
    choose(p->CB_32, 2);  // 3  未应用
    for (QLineEdit* edit : benefits(p, true)) {
        EXPECT_TRUE(edit->text().isEmpty()) << edit->objectName().toStdString();
        EXPECT_FALSE(edit->isEnabled()) << edit->objectName().toStdString();
    }
    EXPECT_TRUE(p->rb_160_12->isEnabled());
    EXPECT_TRUE(p->rb_160_12->isChecked());
    choose(p->CB_32, 1);
    for (QLineEdit* edit : benefits(p, true)) {
        EXPECT_TRUE(edit->isEnabled()) << edit->objectName().toStdString();
    }
}

TEST_F(Page2Test, ShownUnappliedKeepsTheOwnTransferIncome) {
    openPage(with(kPatented, {{"ITEM_32", "3"}}));
    for (QLineEdit* edit : benefits(p)) {
        EXPECT_TRUE(edit->text().isEmpty()) << edit->objectName().toStdString();
        EXPECT_FALSE(edit->isEnabled()) << edit->objectName().toStdString();
    }
    EXPECT_EQ(p->Edt_162->text(), QStringLiteral("4"));
}

TEST_F(Page2Test, StableApplicationClearsAndLocksTheReasons) {
    openPage();
    choose(p->CB_32, 0);
    EXPECT_FALSE(p->cb_32_1_1->isChecked());
    EXPECT_FALSE(p->rb_160_12->isChecked());
    for (QRadioButton* reason : p->Pl_160->findChildren<QRadioButton*>()) {
        EXPECT_FALSE(reason->isEnabled()) << reason->objectName().toStdString();
    }
    choose(p->CB_32, 1);
    EXPECT_TRUE(p->rb_160_43->isEnabled());
}

// A code-table update that words the statuses otherwise changes nothing: the code decides.
TEST_F(Page2Test, StatusIsJudgedByItsCode) {
    setOptionText("item_32", "1", "正常使用");
    setOptionText("item_32", "2", "稳定后停用");
    setOptionText("item_32", "3", "尚未投入");
    openPage(with(kPatented, {{"ITEM_32", "1"}, {"ITEM_32_1", ""}, {"ITEM_160", ""}}));
    EXPECT_FALSE(p->rb_160_12->isEnabled());
    EXPECT_TRUE(page->btnSave01Click());  // stable application needs no reason

    choose(p->CB_32, 1);  // 2: stopped, whatever its text says
    EXPECT_TRUE(p->rb_160_12->isEnabled());
    EXPECT_FALSE(page->btnSave01Click());
    EXPECT_EQ(boxTexts().last(),
              QStringLiteral("非\"稳定应用\"的项目，其\"未应用或停用原因\"必须说明！"));

    choose(p->CB_32, 2);  // 3: not applied
    EXPECT_FALSE(p->Edt_150->isEnabled());
    EXPECT_TRUE(p->Edt_150->text().isEmpty());
}

// ---- numeric edits ------------------------------------------------------------------------

TEST_F(Page2Test, PastedTextInAnAmountIsSetToZero) {
    openPage();
    p->Edt_153->clear();
    p->Edt_153->insert(QStringLiteral("12a"));
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("12a 不是正确的数据格式！现在已经置零")});
    EXPECT_EQ(p->Edt_153->text(), QStringLiteral("0"));
}

TEST_F(Page2Test, CountsTakeDigitsOnlyAndAmountsOneDecimalPoint) {
    openPage();
    p->Edt_45->clear();
    QTest::keyClicks(p->Edt_45, QStringLiteral("1a2.-3"));
    EXPECT_EQ(p->Edt_45->text(), QStringLiteral("123"));
    for (QLineEdit* edit :
         {p->Edt_150, p->Edt_162, p->Edt_151_1, p->Edt_152_1, p->Edt_153, p->Edt_154}) {
        edit->clear();
        QTest::keyClicks(edit, QStringLiteral("1a.2.-3"));
        EXPECT_EQ(edit->text(), QStringLiteral("1.23")) << edit->objectName().toStdString();
    }
    EXPECT_TRUE(m_boxes.boxes.empty());
}

// 85.5 万元 typed is 85.5 stored, not 855.
TEST_F(Page2Test, TypedDecimalAmountIsStoredAsTyped) {
    openPage();
    p->Edt_150->clear();
    QTest::keyClicks(p->Edt_150, QStringLiteral("85.5"));
    p->Edt_152_1->clear();
    QTest::keyClicks(p->Edt_152_1, QStringLiteral("0.25"));
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField("ITEM_150"), "85.5");
    EXPECT_EQ(storedField("ITEM_152_1"), "0.25");
}

// ---- leaving ------------------------------------------------------------------------------

class Page2ExitTest : public Page2Test, public ::testing::WithParamInterface<testsupport::Way> {};

TEST_P(Page2ExitTest, ChangedOwnTransferIncomeAsks) {
    openPage();
    int closes = 0;
    QObject::connect(page.get(), &QDialog::finished, [&] { ++closes; });
    p->Edt_162->setText(QStringLiteral("9"));
    m_boxes.answers = {widgets::No};
    testsupport::leave(*page, *p->quit01, GetParam());
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("记录已经更改,是否保存？")});
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(storedField("ITEM_162"), "4");
}

INSTANTIATE_TEST_SUITE_P(Ways, Page2ExitTest,
                         ::testing::Values(testsupport::Way::Button, testsupport::Way::Escape,
                                           testsupport::Way::WindowClose),
                         [](const auto& info) { return testsupport::wayName(info.param); });

TEST_F(Page2Test, UnchangedPageClosesWithoutAQuestion) {
    openPage();
    int closes = 0;
    QObject::connect(page.get(), &QDialog::finished, [&] { ++closes; });
    page->quit01Click();
    EXPECT_TRUE(m_boxes.boxes.empty());
    EXPECT_EQ(closes, 1);
}

// ---- through the main window --------------------------------------------------------------

class Page2OpenTest : public Page2Test {
protected:
    void openMain(const Row& fields = kPatented) {
        append("zlqk.DBF", kPatents);
        openRecords({record(kKey, "1", fields)});
        page = std::make_unique<TFpage2>(*m_form, m_form.get());
        p = page->form();
        Fpage2 = page.get();
    }
};

TEST_F(Page2OpenTest, SectionButtonLoadsAndShowsThePage) {
    openMain();
    p->Edt_45->setText(QStringLiteral("stale"));  // from an earlier record
    m_boxes.onExec = [&](QDialog& shown) {
        ASSERT_EQ(&shown, page.get());
        EXPECT_EQ(page->windowTitle(), QStringLiteral("成果名称：节水灌溉"));
        EXPECT_EQ(p->Edt_45->text(), QStringLiteral("3"));
        EXPECT_EQ(p->edt_51_2->text(), QStringLiteral("2"));
        p->Edt_150->setText(QStringLiteral("30"));
        p->quit01->click();
    };
    m_boxes.answers = {widgets::Yes};
    ui->btn_page02->click();
    EXPECT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(boxTexts(), (QStringList{QStringLiteral("记录已经更改,是否保存？"),
                                       QStringLiteral("存储成功！")}));
    EXPECT_EQ(storedField("ITEM_150"), "30");
}

TEST_F(Page2OpenTest, LoadingErrorIsReportedAndThePageStaysShut) {
    openMain();
    // The patent table has gone from the data directory.
    std::filesystem::remove(m_program.file("zlqk.DBF"));
    ui->btn_page02->click();
    EXPECT_TRUE(m_boxes.shown.empty());
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    const QString text = m_boxes.boxes[0].text;
    EXPECT_TRUE(text.startsWith(QStringLiteral("读入数据时出错:"))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QLatin1Char('0'))) << text.toStdString();
    EXPECT_EQ(m_boxes.boxes[0].icon, widgets::Icon::Warning);
}

TEST_F(Page2OpenTest, PatentListHandsItsCountsBack) {
    openMain();
    TFinto6 dialog(m_form.get());
    Finto6 = &dialog;
    TFpage6 list(*m_form, m_form.get());
    Fpage6 = &list;
    page->loadRecord(DM->Qryhvel);
    // Another table filter left by someone else does not count.
    DM->tblzlqk.close();
    DM->tblzlqk.setFilter("");
    DM->tblzlqk.open();
    m_boxes.onExec = [&](QDialog& shown) {
        ASSERT_EQ(&shown, &list);
        EXPECT_EQ(list.windowTitle(), QStringLiteral("成果名称：节水灌溉"));
        EXPECT_EQ(DM->tblzlqk.recordCount(), 3);
        DM->tblzlqk.last();
        DM->tblzlqk.edit();
        DM->tblzlqk.field("PATENT_ST").set(store::Value("2"));
        DM->tblzlqk.post();
        list.quitClick();
    };
    p->Button1->click();
    EXPECT_EQ(p->edt_51_2->text(), QStringLiteral("1"));
    EXPECT_EQ(p->edt_51_3->text(), QStringLiteral("2"));
}

}  // namespace
