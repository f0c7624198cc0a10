#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTest>
#include <map>

#include "Database.h"
#include "Dialogs.h"
#include "Errors.h"
#include "GlyphButton.h"
#include "MainWindowFixture.h"
#include "PrintUnit.h"
#include "QtPrinters.h"
#include "TableText.h"
#include "Unit1.h"
#include "UnitDM.h"
#include "ui_Unit1.h"

using testsupport::MainWindowTest;
using testsupport::person;
using testsupport::record;
using testsupport::Row;

namespace {

TEST_F(MainWindowTest, YearListIsNewestFirstWithoutMalformedKeys) {
    start({record("2004000001", "1"), record("2005000001", "1"), record("2004000002", "2"),
           record("AB04000001", "1")});
    EXPECT_EQ(items(ui->cbYear), (QStringList{QStringLiteral("2005"), QStringLiteral("2004")}));
    EXPECT_EQ(ui->cbYear->currentText(), QStringLiteral("2005"));
    EXPECT_EQ(ListSql,
              QStringLiteral("select * from hvel where item_cglb='1' and item_4 like '2005%'\n"));
    EXPECT_EQ(listColumn("ITEM_4"), QStringList{QStringLiteral("2005000001")});
}

// A fresh installation selects the current year the list offers: the list is that year's.
TEST_F(MainWindowTest, EmptyTableOffersAndSelectsTheCurrentYear) {
    start({});
    EXPECT_EQ(items(ui->cbYear), QStringList{QStringLiteral("2026")});
    EXPECT_EQ(ui->cbYear->currentIndex(), 0);
    EXPECT_EQ(ui->cbYear->currentText(), QStringLiteral("2026"));
    EXPECT_EQ(ListSql,
              QStringLiteral("select * from hvel where item_cglb='1' and item_4 like '2026%'\n"));
    EXPECT_EQ(DM->Qryhvel.recordCount(), 0);
    for (auto* button : ui->Panel8->findChildren<GlyphButton*>()) {
        EXPECT_TRUE(complete(button));
    }
    m_form->MarkIncompletePages();
    EXPECT_TRUE(m_form->LockUntilComplete());
    EXPECT_TRUE(ui->DBGrid1->isEnabled());
}

TEST_F(MainWindowTest, TypeAndYearSelectTheListAndNumberIt) {
    start({record("2004000002", "1"), record("2004000001", "1"), record("2004000003", "2"),
           record("2003000001", "1")});
    ui->cbYear->setCurrentText(QStringLiteral("2004"));
    EXPECT_EQ(listColumn("ITEM_4"),
              (QStringList{QStringLiteral("2004000002"), QStringLiteral("2004000001")}));
    EXPECT_EQ(listColumn("NO"), (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
    EXPECT_TRUE(ui->btn_page02->isVisibleTo(m_form.get()));

    ui->ComboBox1->setCurrentIndex(1);  // 软科学
    EXPECT_EQ(listColumn("ITEM_4"), QStringList{QStringLiteral("2004000003")});
    EXPECT_FALSE(ui->btn_page02->isVisibleTo(m_form.get()));
    ui->ComboBox1->setCurrentIndex(0);
    EXPECT_TRUE(ui->btn_page02->isVisibleTo(m_form.get()));

    // Every keystroke lists what the year typed so far selects.
    ui->cbYear->setEditText(QStringLiteral("200"));
    EXPECT_EQ(listColumn("ITEM_4").size(), 3);
    ui->cbYear->setEditText(QString());
    EXPECT_EQ(listColumn("ITEM_4").size(), 3);
}

TEST_F(MainWindowTest, TypingAYearListsWhatIsTypedOnceAtEachKeystroke) {
    const Row complete = {{"ITEM_1", "1"}, {"ITEM_51", "1"}};
    start({record("2004000002", "1", complete), record("2004000001", "1", complete),
           record("2003000001", "1", complete)},
          {person("2004000002"), person("2004000001"), person("2003000001")});
    QStringList lists;
    QObject::connect(ui->cbYear, &QComboBox::editTextChanged, ui->cbYear,
                     [&] { lists << listColumn("ITEM_4").join(QLatin1Char(' ')); });
    QApplication::setActiveWindow(m_form.get());
    ui->cbYear->setFocus();
    ui->cbYear->lineEdit()->selectAll();
    // No completion to the listed year 2004 in between: the text stays what was typed.
    QTest::keyClicks(ui->cbYear->lineEdit(), QStringLiteral("200"));
    EXPECT_EQ(ui->cbYear->currentText(), QStringLiteral("200"));
    EXPECT_EQ(lists, QStringList(3, QStringLiteral("2004000002 2004000001 2003000001")));
    QTest::keyClicks(ui->cbYear->lineEdit(), QStringLiteral("3"));
    EXPECT_EQ(lists.back(), QStringLiteral("2003000001"));
    EXPECT_EQ(listColumn("NO"), QStringList{QStringLiteral("1")});
}

TEST_F(MainWindowTest, StartWithoutARegisteringUnitLeavesOnlyTheFirstSteps) {
    start({}, {}, false);
    for (QWidget* off : std::initializer_list<QWidget*>{
             ui->Button1, ui->Button5, ui->BitBtn2, ui->BitBtn3, ui->BitBtn4, ui->cbYear,
             ui->ComboBox1, ui->DBGrid1, ui->btn_page01, ui->btn_page09}) {
        EXPECT_FALSE(off->isEnabled()) << off->objectName().toStdString();
    }
    for (QWidget* on : std::initializer_list<QWidget*>{ui->Button4, ui->BitBtn1, ui->Button2,
                                                       ui->BitBtn7, ui->SpeedButton16}) {
        EXPECT_TRUE(on->isEnabled()) << on->objectName().toStdString();
    }
}

struct MarkCase {
    const char* name;
    Row record;
    bool withPerson;
    std::vector<const char*> incomplete;  // pages marked "help"
    bool locked;
};

void PrintTo(const MarkCase& c, std::ostream* os) {
    *os << c.name;
}

class MarkTest : public MainWindowTest, public ::testing::WithParamInterface<MarkCase> {};

TEST_P(MarkTest, MarksAndLock) {
    const MarkCase& c = GetParam();
    const std::string key = c.record.at("ITEM_4");
    start({c.record}, c.withPerson ? std::vector<Row>{person(key.c_str())} : std::vector<Row>{});
    {
        const QSignalBlocker blocker(ui->ComboBox1);
        ui->ComboBox1->setCurrentIndex(c.record.at("ITEM_CGLB") == "1" ? 0 : 1);
    }
    m_form->ComboBox1Change();
    for (const char* page : {"01", "02", "03", "04", "05", "07", "08", "09"}) {
        const bool expectedHelp =
            std::find_if(c.incomplete.begin(), c.incomplete.end(),
                         [&](auto p) { return std::string(p) == page; }) != c.incomplete.end();
        EXPECT_EQ(!complete(m_form->sectionButton(QString::fromLatin1(page))), expectedHelp)
            << page;
    }
    EXPECT_EQ(ui->DBGrid1->isEnabled(), !c.locked);
    EXPECT_EQ(ui->Button1->isEnabled(), !c.locked);
    EXPECT_TRUE(ui->Button4->isEnabled());  // delete is never locked
    EXPECT_TRUE(ui->btn_page01->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MarkTest,
    ::testing::Values(MarkCase{"applied_complete",
                               record("2004000001", "1", {{"ITEM_1", "1"}, {"ITEM_51", "1"}}),
                               true,
                               {},
                               false},
                      MarkCase{"applied_without_person",
                               record("2004000001", "1", {{"ITEM_1", "1"}, {"ITEM_51", "1"}}),
                               false,
                               {"08"},
                               true},
                      MarkCase{"applied_missing_section_02",
                               record("2004000001", "1", {{"ITEM_1", "1"}}),
                               true,
                               {"02"},
                               true},
                      MarkCase{"soft_science_ignores_section_02_rules",
                               record("2004000001", "2", {{"ITEM_1", "1"}, {"ITEM_127", "x"}}),
                               true,
                               {},
                               false},
                      MarkCase{"soft_science_missing_section_03_and_person",
                               record("2004000001", "2", {{"ITEM_1", "1"}}),
                               false,
                               {"03", "08"},
                               true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, ClickOnAnIncompleteRecordSaysSoOnce) {
    start(
        {record("2004000001", "1", {{"ITEM_1", "1"}, {"ITEM_51", "1"}}), record("2004000002", "1")},
        {person("2004000001")});
    widgets::ScriptedDialogs dialogs;
    DM->Qryhvel.first();  // the complete one
    m_form->DBGrid1CellClick();
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_TRUE(ui->ComboBox1->isEnabled());
    DM->Qryhvel.next();
    m_form->DBGrid1CellClick();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, QStringLiteral("当前项目有未完成栏目，请您填写完毕!"));
    EXPECT_EQ(dialogs.boxes[0].title, QStringLiteral("提示信息"));
    EXPECT_EQ(dialogs.boxes[0].icon, widgets::Icon::Information);
    EXPECT_FALSE(ui->ComboBox1->isEnabled());
    EXPECT_FALSE(ui->cbYear->isEnabled());
}

// "打印" shows the print dialog on a complete record, its child tables filtered to the record;
// on an incomplete one it only refreshes the marks and the lock.
TEST_F(MainWindowTest, PrintOpensTheDialogOnACompleteRecordWithItsOwnChildRows) {
    start(
        {record("2004000001", "1", {{"ITEM_1", "1"}, {"ITEM_51", "1"}}),
         record("2004000002", "1", {{"ITEM_1", "1"}, {"ITEM_51", "1"}}), record("2004000003", "1")},
        {person("2004000001"), person("2004000002"), person("2004000002")});
    widgets::ScriptedDialogs dialogs;
    TPrintForm printForm(m_form.get());
    PrintForm = &printForm;
    ASSERT_TRUE(DM->Qryhvel.locate("ITEM_4", store::Value("2004000002")));
    ui->BitBtn4->click();
    EXPECT_EQ(dialogs.shown, std::vector<QDialog*>{&printForm});
    EXPECT_EQ(DM->TblCgwcr.recordCount(), 2);
    EXPECT_EQ(DM->Qryhvel.field("ITEM_4").asText(), "2004000002");

    dialogs.shown.clear();
    ASSERT_TRUE(DM->Qryhvel.locate("ITEM_4", store::Value("2004000003")));
    ui->BitBtn4->click();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_FALSE(ui->ComboBox1->isEnabled());
    PrintForm = nullptr;
}

struct CloseCase {
    const char* name;
    const char* type;
    std::vector<const char*> incomplete;
    const char* question;  // "" when none is asked
};

void PrintTo(const CloseCase& c, std::ostream* os) {
    *os << c.name;
}

class CloseTest : public MainWindowTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseTest, AsksOnlyTheFirstQuestion) {
    const CloseCase& c = GetParam();
    start({record("2004000001", c.type)});
    for (const char* page : c.incomplete) {
        TMainForm::setSectionKind(m_form->sectionButton(QString::fromLatin1(page)), false);
    }
    for (int answer : {widgets::Cancel, widgets::Ok}) {
        widgets::ScriptedDialogs dialogs;
        dialogs.answers.push_back(answer);
        const bool closes = m_form->FormCloseQuery();
        if (std::string(c.question).empty()) {
            EXPECT_TRUE(dialogs.boxes.empty());
            EXPECT_TRUE(closes);
            continue;
        }
        ASSERT_EQ(dialogs.boxes.size(), 1u);
        EXPECT_EQ(dialogs.boxes[0].text, QString::fromUtf8(c.question));
        EXPECT_EQ(dialogs.boxes[0].title, QStringLiteral("提示信息"));
        EXPECT_EQ(dialogs.boxes[0].buttons, widgets::Ok | widgets::Cancel);
        EXPECT_EQ(closes, answer == widgets::Ok);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CloseTest,
    ::testing::Values(
        CloseCase{"complete", "1", {}, ""},
        CloseCase{"section_01", "1", {"01", "08"}, "成果概况没有填完,是否以后再填写该项目？"},
        CloseCase{"section_02_applied",
                  "1",
                  {"02"},
                  "知识产权，成果应用情况没有填完,是否以后再填写该项目？"},
        CloseCase{"section_02_soft_science_passed_over", "2", {"02"}, ""},
        CloseCase{"section_03_before_08",
                  "1",
                  {"03", "08"},
                  "课题立项，评价没有填完,是否以后再填写该项目？"},
        CloseCase{"section_04_asks_the_01_question",
                  "1",
                  {"04"},
                  "成果概况没有填完,是否以后再填写该项目？"},
        CloseCase{"section_08", "2", {"08"}, "成果完成人员名单没有填完,是否以后再填写该项目？？"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, RestoreListsAgainAndClearsTheCondition) {
    start({record("2004000001", "1")});
    ui->MMSysV->setPlainText(QStringLiteral(" item_1 ='2'"));
    ui->MMUserV->setPlainText(QStringLiteral(" 成果密级"));
    DM->Qryhvel.close();
    DM->Qryhvel.setSql("select * from hvel where item_4='none'");
    DM->Qryhvel.open();
    m_form->SpeedButton26Click();
    EXPECT_EQ(DM->Qryhvel.recordCount(), 1);
    EXPECT_TRUE(ui->MMSysV->toPlainText().isEmpty());
    EXPECT_EQ(ui->MMUserV->toPlainText(), QStringLiteral(" 成果密级"));
}

TEST_F(MainWindowTest, DeleteRecordRowsQuotesTheValue) {
    start({record("2004000001", "1", {{"ITEM_3", "O'Brien"}}), record("2004000002", "1")});
    store::Query scratch(DM->database());
    m_form->DeleteRecordRows(scratch, QStringLiteral("ITEM_3"), QStringLiteral("O'Brien"));
    EXPECT_EQ(listColumn("ITEM_4"), QStringList{QStringLiteral("2004000002")});
}

TEST_F(MainWindowTest, RenumberingThatFailsKeepsEveryNumber) {
    // A one-character number column: the tenth row's number cannot be stored.
    replaceTable("hvel.DBF",
                 "NO C(1)\tITEM_4 C(10)\tITEM_DQDM C(10)\tITEM_CGLB C(1)\tITEM_3 C(140)\t"
                 "ITEM_120 C(20)\tITEM_9 C(100)\tITEM_1 C(3)\tITEM_51 C(3)\tITEM_127 C(3)\n");
    std::vector<Row> records;
    for (const char* key : {"2004000001", "2004000002", "2004000003", "2004000004", "2004000005",
                            "2004000006", "2004000007", "2004000008", "2004000009"}) {
        records.push_back(record(key, "1"));
    }
    start(records);
    store::Database& db = DM->database();
    db.run(
        "insert into hvel (item_4, item_dqdm, item_cglb, item_3) "
        "values ('2004000010', '.', '1', 'x')");
    db.run("update hvel set no = 'x'");
    m_form->QueryRecordList(DM->Qryhvel, ui->ComboBox1, ui->cbYear, ui->btn_page02);

    EXPECT_THROW(m_form->RenumberList(), store::ValueError);
    EXPECT_EQ(DM->Qryhvel.state(), store::Dataset::State::Browse);
    EXPECT_EQ(listColumn("NO"), QStringList(10, QStringLiteral("x")));
}

}  // namespace
