// The record dialog and the main window's "新增", "修改主项" and "删除".
#include <gtest/gtest.h>

#include "ExitWays.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <functional>

#include "Dialogs.h"
#include "MainWindowFixture.h"
#include "QtPrinters.h"
#include "TableRows.h"
#include "UnitNew.h"
#include "UnitPage1.h"
#include "ui_UnitNew.h"

using testsupport::person;
using testsupport::readRows;
using testsupport::record;
using testsupport::Row;

namespace {

// What the user enters in the dialog.
struct Entry {
    int type = 0;
    QString year = QStringLiteral("2004");
    QString number{};
    QString name = QStringLiteral("新成果");
    QString unit = QStringLiteral("某研究所");
};

class RecordDialogTest : public testsupport::MainWindowTest {
protected:
    void open(const std::vector<Row>& records, const std::vector<Row>& persons = {}) {
        start(records, persons);
        m_new = std::make_unique<TFormNew>(m_form.get());
        FormNew = m_new.get();
        dialog = m_new->form();
        QObject::connect(m_new.get(), &QDialog::finished, [this] { ++m_closes; });
    }

    void TearDown() override {
        FormNew = nullptr;
        m_new.reset();
        MainWindowTest::TearDown();
    }

    void fill(const Entry& entry) {
        dialog->ComboBox1->setCurrentIndex(entry.type);
        dialog->cbYear->setText(entry.year);
        dialog->edt_120->setText(entry.number);
        dialog->edt_3->setText(entry.name);
        dialog->edt_9->setText(entry.unit);
    }

    // Runs a button handler of the main window; act runs while the dialog is shown.
    void run(void (TMainForm::*handler)(), const std::function<void()>& act) {
        m_boxes.onExec = [&](QDialog& shown) {
            if (&shown == m_new.get()) {
                act();
            }
        };
        (m_form.get()->*handler)();
        m_boxes.onExec = nullptr;
    }

    void create(const Entry& entry) {
        run(&TMainForm::Button6Click, [&] {
            fill(entry);
            m_new->Button1Click();
        });
    }

    std::vector<Row> rows(const char* table) const { return readRows(m_program.file(table)); }

    Row rowNamed(const char* name) const {
        return testsupport::findRow(m_program.file("hvel.DBF"), "ITEM_3", name);
    }

    QStringList boxTexts() const {
        QStringList texts;
        for (const auto& box : m_boxes.boxes) {
            texts << box.text;
        }
        return texts;
    }

    bool closed() const { return m_closes > 0; }

    widgets::ScriptedDialogs m_boxes;
    std::unique_ptr<TFormNew> m_new;
    Ui::TFormNew* dialog = nullptr;
    int m_closes = 0;
};

// ---- keys ---------------------------------------------------------------------------------

struct KeyCase {
    const char* name;
    std::vector<const char*> keys;  // keys already stored (type 1)
    const char* year;
    const char* expected;
};

void PrintTo(const KeyCase& c, std::ostream* os) {
    *os << c.name;
}

class KeyTest : public RecordDialogTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(KeyTest, NewRecordTakesTheNextKey) {
    const KeyCase& c = GetParam();
    std::vector<Row> records;
    for (const char* key : c.keys) {
        records.push_back(record(key, "1"));
    }
    open(records);
    create({.year = QString::fromLatin1(c.year)});
    EXPECT_EQ(rowNamed("新成果")["ITEM_4"], c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KeyTest,
    ::testing::Values(
        KeyCase{"first_of_a_year", {}, "2004", "2004000001"},
        KeyCase{"next_after_the_highest", {"2004000001", "2004000007"}, "2004", "2004000008"},
        KeyCase{"other_years_do_not_count", {"2003000009", "2005000001"}, "2004", "2004000001"},
        // A key that is not ten digits takes no part, so it cannot bring back a taken key.
        KeyCase{"malformed_highest_key", {"2004000002", "20049"}, "2004", "2004000003"},
        KeyCase{"only_malformed_keys", {"2004A00001"}, "2004", "2004000001"},
        KeyCase{"last_serial_rolls_into_the_next_year", {"2004999999"}, "2004", "2005000000"},
        KeyCase{"rolled_key_already_taken", {"2004999999", "2005000000"}, "2004", "2005000001"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- creation -----------------------------------------------------------------------------

TEST_F(RecordDialogTest, CreationStoresTheRecordAndHoldsTheUserOnIt) {
    open({record("2004000001", "2"), record("2004000002", "2")});
    {
        const QSignalBlocker blocker(ui->ComboBox1);
        ui->ComboBox1->setCurrentIndex(1);
    }
    m_form->ComboBox1Change();
    create({.type = 1,
            .year = QStringLiteral("2004"),
            .number = QStringLiteral(" N-1 "),
            .name = QStringLiteral("  新成果  "),
            .unit = QStringLiteral(" 某研究所 ")});

    const Row stored = rowNamed("新成果");
    EXPECT_EQ(stored.at("ITEM_4"), "2004000003");
    EXPECT_EQ(stored.at("ITEM_DQDM"), ".");
    EXPECT_EQ(stored.at("ITEM_CGLB"), "2");
    EXPECT_EQ(stored.at("ITEM_9"), "某研究所");
    EXPECT_EQ(stored.at("ITEM_120"), " N-1");  // as typed (the table drops trailing blanks)
    EXPECT_EQ(stored.at("NO"), "3");
    EXPECT_TRUE(closed());
    EXPECT_TRUE(NewFormClean);

    EXPECT_EQ(QString::fromStdString(DM->Qryhvel.field("ITEM_4").asText()),
              QStringLiteral("2004000003"));
    for (auto* button : ui->Panel8->findChildren<GlyphButton*>()) {
        EXPECT_FALSE(complete(button)) << button->objectName().toStdString();
    }
    for (QWidget* locked : std::initializer_list<QWidget*>{
             ui->DBGrid1, ui->ComboBox1, ui->cbYear, ui->SpeedButton16, ui->SpeedButton26,
             ui->Button1, ui->Button5, ui->BitBtn1, ui->BitBtn2, ui->BitBtn4}) {
        EXPECT_FALSE(locked->isEnabled()) << locked->objectName().toStdString();
    }
    EXPECT_TRUE(ui->Button4->isEnabled());
}

TEST_F(RecordDialogTest, CreationInANewYearAddsAndSelectsTheYear) {
    open({record("2004000001", "1")});
    create({.year = QStringLiteral("2010")});
    EXPECT_NE(ui->cbYear->findText(QStringLiteral("2010")), -1);
    EXPECT_EQ(ui->cbYear->currentText(), QStringLiteral("2010"));
    EXPECT_EQ(listColumn("ITEM_3"), QStringList{QStringLiteral("新成果")});
}

TEST_F(RecordDialogTest, NewRecordDialogTakesTheReportingUnitsName) {
    append("dwqk.dbf", {{{"item_9", "本单位"}}});
    open({});
    run(&TMainForm::Button6Click,
        [&] { EXPECT_EQ(dialog->edt_9->text(), QStringLiteral("本单位")); });
    EXPECT_EQ(m_new->windowTitle(), TFormNew::NewCaption);
}

// ---- same names ---------------------------------------------------------------------------

struct NameCase {
    const char* name;
    const char* stored;  // name of the other record
    const char* entered;
    bool refused;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.name;
}

class SameNameTest : public RecordDialogTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(SameNameTest, Creation) {
    const NameCase& c = GetParam();
    open({record("2004000001", "1", {{"ITEM_3", c.stored}})});
    create({.name = QString::fromUtf8(c.entered)});
    EXPECT_EQ(rows("hvel.DBF").size(), c.refused ? 1u : 2u);
    EXPECT_EQ(boxTexts().contains(QStringLiteral("已有同名项目!")), c.refused);
    // A refused record keeps the dialog open with what was typed.
    EXPECT_EQ(closed(), !c.refused);
    if (c.refused) {
        EXPECT_EQ(m_boxes.boxes.back().title, QStringLiteral("提示信息"));
        EXPECT_EQ(dialog->edt_3->text(), QString::fromUtf8(c.entered));
        EXPECT_FALSE(NewFormClean);
    }
}

TEST_P(SameNameTest, Modification) {
    const NameCase& c = GetParam();
    open({record("2004000001", "1", {{"ITEM_3", c.stored}}),
          record("2004000002", "1", {{"ITEM_3", "改名前"}, {"ITEM_9", "单位"}})});
    DM->Qryhvel.locate("ITEM_4", store::Value("2004000002"));
    run(&TMainForm::Button3Click, [&] {
        dialog->edt_3->setText(QString::fromUtf8(c.entered));
        m_new->Button1Click();
    });
    const Row renamed = testsupport::findRow(m_program.file("hvel.DBF"), "ITEM_4", "2004000002");
    EXPECT_EQ(renamed.at("ITEM_3"), c.refused ? "改名前" : c.entered);
    EXPECT_EQ(boxTexts().contains(QStringLiteral("已有同名项目!")), c.refused);
    EXPECT_EQ(closed(), !c.refused);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SameNameTest,
    ::testing::Values(NameCase{"same_name", "水稻新品种", "水稻新品种", true},
                      NameCase{"same_name_with_blanks_around", "水稻新品种", "  水稻新品种 ", true},
                      NameCase{"quote_in_the_name", "O'Brien法", "O'Brien法", true},
                      NameCase{"quote_only_in_the_stored_name", "O'Brien法", "OBrien法", false},
                      NameCase{"different_name", "水稻新品种", "小麦新品种", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RecordDialogTest, ModificationMayKeepItsOwnName) {
    open({record("2004000001", "1", {{"ITEM_3", "原名"}, {"ITEM_9", "单位"}})});
    run(&TMainForm::Button3Click, [&] {
        dialog->edt_120->setText(QStringLiteral(" M-7 "));
        m_new->Button1Click();
    });
    EXPECT_TRUE(closed());
    EXPECT_EQ(rowNamed("原名").at("ITEM_120"), "M-7");
}

TEST_F(RecordDialogTest, ModificationOfAnEmptyListSaysSo) {
    open({});
    run(&TMainForm::Button3Click, [] { ADD_FAILURE() << "the dialog must not open"; });
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].text, QStringLiteral("当前没有可以修改的项目"));
    EXPECT_EQ(m_boxes.boxes[0].title, QStringLiteral("请注意！"));
}

// ---- modification: year and type ---------------------------------------------------------

std::vector<Row> childRows(const char* key) {
    return {{{"ITEM_4", key}, {"ITEM_DQDM", "."}}};
}

class ModificationTest : public RecordDialogTest {
protected:
    void openWithChildren() {
        append("cgwcdw.DBF", childRows("2004000001"));
        append("zlqk.DBF", childRows("2004000001"));
        append("jdwyhmd.DBF", childRows("2004000001"));
        append("cgwcdw.DBF", childRows("2004000002"));
        open({record("2004000001", "1", {{"ITEM_3", "甲"}, {"ITEM_9", "单位"}}),
              record("2004000002", "1", {{"ITEM_3", "乙"}}), record("2006000004", "1")},
             {person("2004000001"), person("2004000001")});
        ui->cbYear->setCurrentText(QStringLiteral("2004"));
        ASSERT_TRUE(DM->Qryhvel.locate("ITEM_4", store::Value("2004000001")));
    }

    std::vector<std::string> keysOf(const char* table) const {
        std::vector<std::string> keys;
        for (const Row& row : rows(table)) {
            keys.push_back(row.at("ITEM_4"));
        }
        return keys;
    }
};

TEST_F(ModificationTest, SameYearKeepsTheKeyAndTheChildRows) {
    openWithChildren();
    const auto before = std::filesystem::last_write_time(m_program.file("cgwcr.DBF"));
    run(&TMainForm::Button3Click, [&] {
        dialog->edt_3->setText(QStringLiteral("甲改"));
        m_new->Button1Click();
    });
    ASSERT_TRUE(closed()) << boxTexts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(rowNamed("甲改").at("ITEM_4"), "2004000001");
    EXPECT_EQ(keysOf("cgwcr.DBF"), (std::vector<std::string>{"2004000001", "2004000001"}));
    EXPECT_EQ(std::filesystem::last_write_time(m_program.file("cgwcr.DBF")), before);
    EXPECT_EQ(QString::fromStdString(DM->Qryhvel.field("ITEM_3").asText()), QStringLiteral("甲改"));
}

TEST_F(ModificationTest, NewYearGivesANewKeyAndMovesTheChildRows) {
    openWithChildren();
    run(&TMainForm::Button3Click, [&] {
        dialog->cbYear->setText(QStringLiteral("2006"));
        m_new->Button1Click();
    });
    ASSERT_TRUE(closed()) << boxTexts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(rowNamed("甲").at("ITEM_4"), "2006000005");
    EXPECT_EQ(keysOf("cgwcr.DBF"), (std::vector<std::string>{"2006000005", "2006000005"}));
    EXPECT_EQ(keysOf("zlqk.DBF"), std::vector<std::string>{"2006000005"});
    EXPECT_EQ(keysOf("jdwyhmd.DBF"), std::vector<std::string>{"2006000005"});
    EXPECT_EQ(keysOf("cgwcdw.DBF"), (std::vector<std::string>{"2006000005", "2004000002"}));
    // The list follows the record into its year and stands on it.
    EXPECT_EQ(ui->cbYear->currentText(), QStringLiteral("2006"));
    EXPECT_EQ(QString::fromStdString(DM->Qryhvel.field("ITEM_4").asText()),
              QStringLiteral("2006000005"));
}

TEST_F(ModificationTest, FailedPostLeavesTheRecordAndItsChildRowsAsTheyWere) {
    openWithChildren();
    run(&TMainForm::Button3Click, [&] {
        dialog->cbYear->setText(QStringLiteral("2006"));
        // A character that GBK cannot hold, put there past the edit's limit.
        dialog->edt_9->setValidator(nullptr);
        dialog->edt_9->setText(QStringLiteral("单位\U0001F600"));
        m_new->Button1Click();
    });
    ASSERT_FALSE(m_boxes.boxes.empty());
    EXPECT_EQ(m_boxes.boxes.back().title, QStringLiteral("提示"));
    EXPECT_FALSE(closed());
    EXPECT_EQ(rowNamed("甲").at("ITEM_4"), "2004000001");
    EXPECT_EQ(keysOf("cgwcr.DBF"), (std::vector<std::string>{"2004000001", "2004000001"}));
    EXPECT_EQ(keysOf("zlqk.DBF"), std::vector<std::string>{"2004000001"});
    EXPECT_EQ(DM->TblCgwcr.recordCount(), 2);
}

TEST_F(RecordDialogTest, NamesAreLimitedToTheirFieldsGbkWidth) {
    open({});
    dialog->edt_3->setFocus();
    const QString wide(80, QChar(0x7532));
    dialog->edt_3->insert(wide);
    EXPECT_EQ(dialog->edt_3->text().size(), 70);
    dialog->edt_120->insert(QStringLiteral("甲乙丙丁戊己庚辛壬癸子"));
    EXPECT_EQ(dialog->edt_120->text().size(), 10);
}

struct TypeCase {
    const char* name;
    const char* storedType;
    int newTypeIndex;
    const char* method;  // ITEM_21 before
    bool methodKept;
};

void PrintTo(const TypeCase& c, std::ostream* os) {
    *os << c.name;
}

class TypeChangeTest : public RecordDialogTest, public ::testing::WithParamInterface<TypeCase> {};

TEST_P(TypeChangeTest, EmptiesWhatTheNewTypeLacks) {
    const TypeCase& c = GetParam();
    const Row fields = {{"ITEM_3", "甲"},      {"ITEM_9", "单位"},  {"ITEM_123", "A"},
                        {"ITEM_124_1", "05;"}, {"ITEM_16", "1"},    {"ITEM_33", "2"},
                        {"ITEM_32", "1"},      {"ITEM_32_1", "2;"}, {"ITEM_125_1", "1"},
                        {"ITEM_210", "1"},     {"ITEM_200", "03;"}, {"ITEM_21", c.method},
                        {"ITEM_2", "1"}};
    open({record("2004000001", c.storedType, fields)});
    {
        const QSignalBlocker blocker(ui->ComboBox1);
        ui->ComboBox1->setCurrentIndex(std::string(c.storedType) == "1" ? 0 : 1);
    }
    m_form->ComboBox1Change();
    run(&TMainForm::Button3Click, [&] {
        dialog->ComboBox1->setCurrentIndex(c.newTypeIndex);
        m_new->Button1Click();
    });
    const Row stored = rowNamed("甲");
    const bool applied = c.newTypeIndex == 0;
    EXPECT_EQ(stored.at("ITEM_CGLB"), std::to_string(c.newTypeIndex + 1));
    for (const char* field :
         {"ITEM_123", "ITEM_124_1", "ITEM_16", "ITEM_33", "ITEM_32", "ITEM_32_1", "ITEM_125_1"}) {
        EXPECT_EQ(stored.at(field).empty(), !applied) << field;
    }
    for (const char* field : {"ITEM_210", "ITEM_200"}) {
        EXPECT_EQ(stored.at(field).empty(), applied) << field;
    }
    EXPECT_EQ(stored.at("ITEM_21"), c.methodKept ? c.method : "");
    EXPECT_EQ(stored.at("ITEM_2"), "1");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TypeChangeTest,
    ::testing::Values(TypeCase{"applied_unchanged_type_keeps_1", "1", 0, "1", true},
                      TypeCase{"applied_unchanged_type_drops_4", "1", 0, "4", false},
                      TypeCase{"applied_to_soft_science_keeps_2", "1", 1, "2", true},
                      TypeCase{"applied_to_basic_theory_drops_1", "1", 2, "1", false},
                      TypeCase{"soft_science_to_applied_keeps_5", "2", 0, "5", true},
                      TypeCase{"soft_science_to_applied_drops_6", "2", 0, "6", false},
                      TypeCase{"soft_science_unchanged_keeps_9", "2", 1, "9", true}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- deletion -----------------------------------------------------------------------------

struct DeleteCase {
    const char* name;
    int row;  // 0-based row of the list to delete
    const char* landing;
};

void PrintTo(const DeleteCase& c, std::ostream* os) {
    *os << c.name;
}

class DeleteTest : public RecordDialogTest, public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(DeleteTest, RemovesTheRecordWithItsChildRowsAndLandsOnItsNumber) {
    const DeleteCase& c = GetParam();
    append("cgwcdw.DBF", childRows("2004000002"));
    append("zlqk.DBF", childRows("2004000002"));
    append("jdwyhmd.DBF", childRows("2004000003"));
    open({record("2004000001", "1"), record("2004000002", "1"), record("2004000003", "1")},
         {person("2004000001"), person("2004000002"), person("2004000003")});
    DM->Qryhvel.first();
    DM->Qryhvel.moveBy(c.row);
    const std::string deleted = DM->Qryhvel.field("ITEM_4").asText();
    m_boxes.answers.push_back(widgets::Yes);
    m_form->Button4Click();

    EXPECT_EQ(DM->Qryhvel.field("ITEM_4").asText(), c.landing);
    // The marks describe the row the list now stands on.
    EXPECT_NE(DM->TblCgwcr.filter().find(c.landing), std::string::npos);

    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].text, QStringLiteral("是否删除'成果") +
                                         QString::fromStdString(deleted) +
                                         QStringLiteral("'项目?"));
    EXPECT_EQ(m_boxes.boxes[0].buttons, widgets::Yes | widgets::No);
    for (const char* table : {"hvel.DBF", "cgwcdw.DBF", "zlqk.DBF", "jdwyhmd.DBF", "cgwcr.DBF"}) {
        for (const Row& row : rows(table)) {
            EXPECT_NE(row.at("ITEM_4"), deleted) << table;
        }
    }
    EXPECT_EQ(rows("cgwcr.DBF").size(), 2u);
    EXPECT_EQ(listColumn("NO"), (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
}

INSTANTIATE_TEST_SUITE_P(Cases, DeleteTest,
                         ::testing::Values(DeleteCase{"first_row", 0, "2004000002"},
                                           DeleteCase{"middle_row", 1, "2004000003"},
                                           DeleteCase{"last_row_lands_on_the_first", 2,
                                                      "2004000001"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RecordDialogTest, DeletionAnsweredNoKeepsEverything) {
    open({record("2004000001", "1")}, {person("2004000001")});
    m_boxes.answers.push_back(widgets::No);
    m_form->Button4Click();
    EXPECT_EQ(rows("hvel.DBF").size(), 1u);
    EXPECT_EQ(rows("cgwcr.DBF").size(), 1u);
}

// ---- leaving the dialog -------------------------------------------------------------------

struct ExitCase {
    const char* name;
    const char* typedName;
    const char* typedUnit;
    const char* typedNumber;
    std::vector<int> answers;
    std::vector<const char*> messages;
    bool closes;
    int storedRecords;
};

void PrintTo(const ExitCase& c, std::ostream* os) {
    *os << c.name;
}

using testsupport::Way;
using testsupport::wayName;

class ExitTest : public RecordDialogTest,
                 public ::testing::WithParamInterface<std::tuple<ExitCase, Way>> {};

// Through "退出", Esc and the window's close alike.
TEST_P(ExitTest, AsksOrReports) {
    const auto& [c, way] = GetParam();
    open({record("2004000001", "1", {{"ITEM_3", "已有"}})});
    for (int answer : c.answers) {
        m_boxes.answers.push_back(answer);
    }
    run(&TMainForm::Button6Click, [&, way = way, c = c] {
        dialog->cbYear->setText(QStringLiteral("2004"));
        if (*c.typedNumber != '\0') {
            dialog->edt_120->setText(QString::fromUtf8(c.typedNumber));
        }
        if (*c.typedName != '\0') {
            dialog->edt_3->setText(QString::fromUtf8(c.typedName));
        }
        if (*c.typedUnit != '\0') {
            dialog->edt_9->setText(QString::fromUtf8(c.typedUnit));
        }
        testsupport::leave(*m_new, *dialog->Button2, way);
    });
    QStringList expected;
    for (const char* message : c.messages) {
        expected << QString::fromUtf8(message);
    }
    EXPECT_EQ(boxTexts(), expected);
    EXPECT_EQ(closed(), c.closes);
    EXPECT_EQ(rows("hvel.DBF").size(), static_cast<size_t>(c.storedRecords));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExitTest,
    ::testing::Combine(
        ::testing::Values(ExitCase{"untouched", "", "", "", {}, {}, true, 1},
                          ExitCase{"only_a_number_typed", "", "", "N1", {}, {}, true, 1},
                          ExitCase{"name_without_unit_reports_the_unit",
                                   "新成果",
                                   "",
                                   "",
                                   {},
                                   {"成果第一完成单位不能为空！"},
                                   false,
                                   1},
                          ExitCase{"unit_without_name_reports_the_name",
                                   "",
                                   "单位",
                                   "",
                                   {},
                                   {"成果名称不能为空！"},
                                   false,
                                   1},
                          ExitCase{"both_typed_and_saved",
                                   "新成果",
                                   "单位",
                                   "",
                                   {widgets::Ok},
                                   {"退出并储存？"},
                                   true,
                                   2},
                          ExitCase{"both_typed_and_dropped",
                                   "新成果",
                                   "单位",
                                   "",
                                   {widgets::Cancel},
                                   {"退出并储存？"},
                                   true,
                                   1},
                          // The save is refused: the dialog stays open with what was typed.
                          ExitCase{"saved_under_a_taken_name",
                                   "已有",
                                   "单位",
                                   "",
                                   {widgets::Ok},
                                   {"退出并储存？", "已有同名项目!"},
                                   false,
                                   1}),
        ::testing::Values(Way::Button, Way::Escape, Way::WindowClose)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) + "_by_" +
               wayName(std::get<1>(info.param));
    });

// ---- the year ----------------------------------------------------------------------------

struct YearCase {
    const char* text;
    bool accepted;
};

class YearExitTest : public RecordDialogTest, public ::testing::WithParamInterface<YearCase> {};

TEST_P(YearExitTest, LeavingTheYearEdit) {
    open({});
    dialog->cbYear->setText(QString::fromLatin1(GetParam().text));
    m_new->cbYearExit();
    if (GetParam().accepted) {
        EXPECT_TRUE(m_boxes.boxes.empty());
        EXPECT_EQ(dialog->cbYear->text(), QString::fromLatin1(GetParam().text));
    } else {
        EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("不能输入1900到2050外的年份！")});
        EXPECT_TRUE(dialog->cbYear->text().isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, YearExitTest,
                         ::testing::Values(YearCase{"2", false}, YearCase{"205", false},
                                           YearCase{"2051", false}, YearCase{"1899", false},
                                           YearCase{"", false}, YearCase{"1900", true},
                                           YearCase{"2050", true}),
                         [](const auto& info) {
                             return std::string("year_") +
                                    (*info.param.text ? info.param.text : "empty");
                         });

TEST_F(RecordDialogTest, YearEditRefusesOtherCharactersAndFollowsTheUpDown) {
    open({record("2004000001", "1"), record("2005000001", "1")});
    dialog->cbYear->setText(QStringLiteral("20a"));
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("不能输入非数字的字符！")});
    EXPECT_TRUE(dialog->cbYear->text().isEmpty());
    EXPECT_FALSE(NewFormClean);

    // A year the main window lists is selected there, without listing it again.
    dialog->cbYear->setText(QStringLiteral("2004"));
    EXPECT_EQ(ui->cbYear->currentText(), QStringLiteral("2004"));
    EXPECT_EQ(listColumn("ITEM_4"), QStringList{QStringLiteral("2005000001")});

    dialog->UpDown1->stepUp();
    EXPECT_EQ(dialog->cbYear->text(), QStringLiteral("2005"));
}

TEST_F(RecordDialogTest, SaveRefusesAMissingOrImpossibleYear) {
    open({});
    for (const char* year : {"", "205"}) {
        m_boxes.boxes.clear();
        run(&TMainForm::Button6Click, [&] {
            fill({.year = QString::fromLatin1(year)});
            m_new->Button1Click();
        });
        EXPECT_EQ(boxTexts(), QStringList{*year ? QStringLiteral("不能输入1900到2050外的年份！")
                                                : QStringLiteral("年份不能为空！")});
        EXPECT_TRUE(rows("hvel.DBF").empty());
    }
}

// ---- section buttons on an empty list -----------------------------------------------------

TEST_F(RecordDialogTest, SectionButtonOnAnEmptyListAsksForARecordFirst) {
    open({});
    TFpage1 page(*m_form, *m_tree, m_form.get());
    Fpage1 = &page;
    m_form->btn_page01Click();
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0], m_new.get());
    Fpage1 = nullptr;
}

}  // namespace
