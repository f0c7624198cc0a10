// The completing persons: the list page, the person dialog and the quick add from the persons
// known to this installation.
#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include "CgwcrManage.h"
#include "Dataset.h"
#include "ExitWays.h"
#include "Finto8Unit.h"
#include "GlyphButton.h"
#include "ListFixture.h"
#include "Unitpage8.h"
#include "ui_CgwcrManage.h"
#include "ui_Finto8Unit.h"
#include "ui_Unit1.h"
#include "ui_Unitpage8.h"

using testsupport::child;
using testsupport::Row;

namespace {

const QString kStored = QStringLiteral("存储成功！");
const QString kEmptyList = QStringLiteral("成果完成人员名单不能为空！");

// A person of the record as the tables hold one.
Row person(const char* number, const char* name, Row more = {}) {
    more["ITEM_187"] = number;
    more["ITEM_180"] = name;
    return child(std::move(more));
}

// A known person of cgwcrNew.
Row known(const char* name, const char* workplace) {
    return {{"ITEM_180", name}, {"ITEM_185", workplace}, {"ITEM_181", "2"}};
}

class PersonsTest : public testsupport::ListFixture {
protected:
    // A record complete but for its persons (rules ITEM_1 for 01, ITEM_51 for 02), with the
    // given persons and known persons, and the three windows.
    void open(const std::vector<Row>& persons = {}, const std::vector<Row>& knownPersons = {}) {
        append("cgwcr.DBF", persons);
        append("cgwcrNew.dbf", knownPersons);
        openRecord({{"ITEM_1", "1"}, {"ITEM_51", "1"}, {"ITEM_9", "第一完成单位"}});
        into8 = std::make_unique<TFinto8>();
        Finto8 = into8.get();
        page8 = std::make_unique<TFpage8>(*m_form);
        Fpage8 = page8.get();
        wcr = std::make_unique<TFormWcr>();
        FormWcr = wcr.get();
        d = into8->form();
        p = page8->form();
        w = wcr->form();
    }

    void TearDown() override {
        FormWcr = nullptr;
        Fpage8 = nullptr;
        Finto8 = nullptr;
        wcr.reset();
        page8.reset();
        into8.reset();
        ListFixture::TearDown();
    }

    // The dialog in its add or edit mode over the record's persons (the page filters them).
    void showDialog(bool adding) {
        ui->btn_page08->click();
        into8->setWindowTitle(adding ? into8->addCaption() : into8->editCaption());
        into8->FormShow();
    }

    std::unique_ptr<TFinto8> into8;
    std::unique_ptr<TFpage8> page8;
    std::unique_ptr<TFormWcr> wcr;
    Ui::TFinto8* d = nullptr;
    Ui::TFpage8* p = nullptr;
    Ui::TFormWcr* w = nullptr;
};

TEST_F(PersonsTest, AddingAPersonAndLeavingUnlocksTheShell) {
    open();
    m_form->MarkIncompletePages();
    EXPECT_FALSE(m_form->LockUntilComplete());
    EXPECT_FALSE(complete(ui->btn_page08));
    EXPECT_FALSE(ui->DBGrid1->isEnabled());

    onShow(page8.get(), [this] {
        EXPECT_EQ(page8->windowTitle(), QStringLiteral("成果名称：成果2004000001"));
        p->Button2->click();
        p->quit01->click();
    });
    onShow(into8.get(), [this] {
        EXPECT_EQ(into8->windowTitle(), QStringLiteral("新增－－【成果完成人员名单】"));
        d->edtry_180->setText(QStringLiteral(" 张三 "));
        d->Button1->click();
        d->Button2->click();
    });
    ui->btn_page08->click();

    EXPECT_EQ(boxTexts(), QStringList{kStored});
    EXPECT_TRUE(complete(ui->btn_page08));
    EXPECT_EQ(ui->btn_page08->text(), QStringLiteral("成果完成人员名单"));
    EXPECT_TRUE(ui->DBGrid1->isEnabled());
    EXPECT_TRUE(ui->Button1->isEnabled());
    // The shell re-derives the mark from the table.
    m_form->MarkIncompletePages();
    EXPECT_TRUE(m_form->LockUntilComplete());

    const Row stored = fileRows("cgwcr.DBF").at(0);
    EXPECT_EQ(stored.at("ITEM_4"), kKey);
    EXPECT_EQ(stored.at("ITEM_187"), "1");
    EXPECT_EQ(stored.at("ITEM_180"), "张三");
    EXPECT_EQ(stored.at("ITEM_185"), "第一完成单位");
    // Recorded among the known persons too.
    EXPECT_EQ(column("cgwcrNew.dbf", "ITEM_180"), std::vector<std::string>{"张三"});
}

TEST_F(PersonsTest, AnEmptyListCannotBeLeft) {
    open();
    ui->btn_page08->click();
    QSignalSpy closed(page8.get(), &QDialog::finished);
    for (const testsupport::Way way :
         {testsupport::Way::Button, testsupport::Way::Escape, testsupport::Way::WindowClose}) {
        testsupport::leave(*page8, *p->quit01, way);
    }
    EXPECT_EQ(closed.count(), 0);
    EXPECT_EQ(boxTexts(), QStringList(3, kEmptyList));
}

TEST_F(PersonsTest, ShowingTheListSetsReturnedFromAbroadAndNumbers) {
    open({person("5", "甲", {{"ITEM_188", "1"}}), person("", "乙", {{"ITEM_188", "2"}}),
          person("9", "丙")});
    ui->btn_page08->click();
    EXPECT_EQ(column("cgwcr.DBF", "ITEM_188"), (std::vector<std::string>{"1", "0", "0"}));
    EXPECT_EQ(column("cgwcr.DBF", "ITEM_187"), (std::vector<std::string>{"1", "2", "3"}));
    const widgets::DatasetModel& model = page8->model();
    QStringList titles;
    for (int c = 0; c < model.columnCount(); ++c) {
        if (model.columns()[static_cast<size_t>(c)].visible) {
            titles << model.headerData(c, Qt::Horizontal).toString();
        }
    }
    EXPECT_EQ(titles,
              (QStringList{QStringLiteral("序号"), QStringLiteral("姓名"), QStringLiteral("性别"),
                           QStringLiteral("出生年月"), QStringLiteral("技术职称"),
                           QStringLiteral("文化程度"), QStringLiteral("是否留学归国"),
                           QStringLiteral("工作单位"), QStringLiteral("对成果创造性贡献")}));
    EXPECT_EQ(model.data(model.index(0, 6)).toString(), QStringLiteral("是"));
}

TEST_F(PersonsTest, NewPersonHasTheDefaults) {
    open();
    showDialog(true);
    EXPECT_TRUE(d->edtry_180->text().isEmpty());
    EXPECT_EQ(d->cbry_181->currentText(), QStringLiteral("1  男"));
    EXPECT_EQ(d->dtpry_182->date(), QDate(2026, 12, 10).addDays(-10950));
    EXPECT_EQ(d->cbry_183->currentText(), QStringLiteral("4  初级"));
    EXPECT_EQ(d->cbry_184->currentText(), QStringLiteral("3  大学本科"));
    EXPECT_EQ(d->cbry_188->currentText(), QStringLiteral("0  否"));
    EXPECT_EQ(d->edtry_185->text(), QStringLiteral("第一完成单位"));
    EXPECT_TRUE(d->edtry_186->text().isEmpty());
}

TEST_F(PersonsTest, AddStoresEveryColumnAndStaysOpenForTheNext) {
    open({person("1", "甲")});
    showDialog(true);
    QSignalSpy closed(into8.get(), &QDialog::finished);
    d->edtry_180->setText(QStringLiteral("乙"));
    d->cbry_181->setCurrentIndex(1);
    d->dtpry_182->setDate(QDate(1965, 3, 17));
    d->cbry_183->setCurrentIndex(0);
    d->cbry_184->setCurrentIndex(1);
    d->cbry_188->setCurrentIndex(0);
    d->edtry_186->setText(QStringLiteral("主持研究"));
    EXPECT_TRUE(into8->Button1Click());
    EXPECT_EQ(closed.count(), 0);
    EXPECT_TRUE(d->edtry_180->text().isEmpty());
    EXPECT_TRUE(d->edtry_185->text().isEmpty());
    EXPECT_TRUE(d->edtry_186->text().isEmpty());
    EXPECT_EQ(d->cbry_181->currentIndex(), 1);  // the lists keep their choice

    const Row stored = fileRows("cgwcr.DBF").at(1);
    const Row expected = {
        {"ITEM_4", kKey},         {"ITEM_DQDM", "."}, {"ITEM_187", "2"},
        {"ITEM_180", "乙"},       {"ITEM_181", "2"},  {"ITEM_182", "1965.03"},
        {"ITEM_183", "1"},        {"ITEM_184", "2"},  {"ITEM_185", "第一完成单位"},
        {"ITEM_186", "主持研究"}, {"ITEM_188", "1"}};
    EXPECT_EQ(stored, expected);
    EXPECT_EQ(fileRows("cgwcrNew.dbf").at(0), expected);
}

TEST_F(PersonsTest, EditKeepsTheNumberAndTheKnownPersons) {
    open({person("1", "甲", {{"ITEM_181", "1"}, {"ITEM_183", "2"}, {"ITEM_184", "3"}}),
          person("2", "乙", {{"ITEM_181", "2"}, {"ITEM_183", "3"}, {"ITEM_184", "4"}})},
         {known("乙", "旧单位")});
    ui->btn_page08->click();
    page8->model().setCurrentRow(1);
    onShow(into8.get(), [this] {
        EXPECT_EQ(into8->windowTitle(), into8->editCaption());
        EXPECT_EQ(d->cbry_183->currentText(), QStringLiteral("3  中级"));
        d->edtry_180->setText(QStringLiteral("乙 "));
        d->edtry_185->setText(QStringLiteral("新单位"));
        EXPECT_TRUE(into8->Button1Click());
    });
    p->Button3->click();
    EXPECT_EQ(boxTexts(), QStringList{kStored});
    const Row stored = fileRows("cgwcr.DBF").at(1);
    EXPECT_EQ(stored.at("ITEM_187"), "2");
    EXPECT_EQ(stored.at("ITEM_185"), "新单位");
    EXPECT_EQ(stored.at("ITEM_183"), "3");
    EXPECT_EQ(column("cgwcrNew.dbf", "ITEM_185"), std::vector<std::string>{"旧单位"});
}

struct KnownCase {
    const char* name;
    std::vector<Row> knownBefore;
    std::vector<std::string> workplacesAfter;
};

void PrintTo(const KnownCase& c, std::ostream* os) {
    *os << c.name;
}

class KnownPersonTest : public PersonsTest, public ::testing::WithParamInterface<KnownCase> {};

TEST_P(KnownPersonTest, AddedPersonIsRecordedByName) {
    const KnownCase& c = GetParam();
    open({}, c.knownBefore);
    showDialog(true);
    d->edtry_180->setText(QStringLiteral("O'Brien"));
    d->edtry_185->setText(QStringLiteral("新单位"));
    EXPECT_TRUE(into8->Button1Click());
    EXPECT_EQ(boxTexts(), QStringList{kStored});
    EXPECT_EQ(column("cgwcr.DBF", "ITEM_180"), std::vector<std::string>{"O'Brien"});
    EXPECT_EQ(column("cgwcrNew.dbf", "ITEM_185"), c.workplacesAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KnownPersonTest,
    ::testing::Values(KnownCase{"new_name_appended", {known("张三", "甲所")}, {"甲所", "新单位"}},
                      KnownCase{"known_once_overwritten", {known("O'Brien", "旧单位")}, {"新单位"}},
                      KnownCase{"known_twice_left_alone",
                                {known("O'Brien", "一所"), known("O'Brien", "二所")},
                                {"一所", "二所"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct CheckCase {
    const char* name;
    const char* typedName;
    int emptied;  // the list left without a choice; -1 none
    QString message;
};

void PrintTo(const CheckCase& c, std::ostream* os) {
    *os << c.name;
}

class PersonCheckTest : public PersonsTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(PersonCheckTest, RefusesARowWithoutItsRequiredValues) {
    const CheckCase& c = GetParam();
    open();
    showDialog(true);
    d->edtry_180->setText(QString::fromUtf8(c.typedName));
    QComboBox* lists[] = {d->cbry_181, d->cbry_183, d->cbry_184};
    if (c.emptied >= 0) {
        lists[c.emptied]->setCurrentIndex(-1);
    }
    QSignalSpy closed(into8.get(), &QDialog::finished);
    EXPECT_FALSE(into8->Button1Click());
    EXPECT_EQ(boxTexts(), QStringList{c.message});
    EXPECT_EQ(closed.count(), 0);
    EXPECT_TRUE(fileRows("cgwcr.DBF").empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PersonCheckTest,
    ::testing::Values(CheckCase{"blank_name", "  ", -1, QStringLiteral("姓名不能为空！")},
                      CheckCase{"no_sex", "张三", 0, QStringLiteral("性别不能为空！")},
                      CheckCase{"no_title", "张三", 1, QStringLiteral("技术职称不能为空！")},
                      CheckCase{"no_education", "张三", 2, QStringLiteral("文化程度不能为空！")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PersonsTest, OnlyBlanksCloseWithoutARow) {
    open();
    showDialog(true);
    d->edtry_185->setText(QStringLiteral("  "));
    QSignalSpy closed(into8.get(), &QDialog::finished);
    EXPECT_TRUE(into8->Button1Click());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_TRUE(m_boxes.boxes.empty());
    EXPECT_TRUE(fileRows("cgwcr.DBF").empty());
}

TEST_F(PersonsTest, TitlesOneAToOneCAreStoredAsTheirLetter) {
    append("zdxx.dbf", {{{"zddm", "item_183"}, {"xxdm", "1a"}, {"xxmc", "研究员"}}});
    open();
    showDialog(true);
    d->cbry_183->setCurrentIndex(d->cbry_183->findText(QStringLiteral("1a  研究员")));
    d->edtry_180->setText(QStringLiteral("张三"));
    EXPECT_TRUE(into8->Button1Click());
    EXPECT_EQ(column("cgwcr.DBF", "ITEM_183"), std::vector<std::string>{"a"});
}

// The stored letter is shown as its title again, and is no change.
TEST_F(PersonsTest, StoredTitleLetterShowsItsTitle) {
    append("zdxx.dbf", {{{"zddm", "item_183"}, {"xxdm", "1a"}, {"xxmc", "研究员"}}});
    open({person("1", "甲",
                 {{"ITEM_181", "1"},
                  {"ITEM_182", "1965.03"},
                  {"ITEM_183", "a"},
                  {"ITEM_184", "3"},
                  {"ITEM_188", "0"},
                  {"ITEM_186", "贡献"}})});
    showDialog(false);
    EXPECT_EQ(d->cbry_183->currentText(), QStringLiteral("1a  研究员"));
    EXPECT_TRUE(into8->isRowUnchanged());
    d->edtry_186->setText(QStringLiteral("新贡献"));
    EXPECT_TRUE(into8->Button1Click());
    EXPECT_EQ(column("cgwcr.DBF", "ITEM_183"), std::vector<std::string>{"a"});
}

// The calendar speaks Chinese whatever the machine's locale is.
TEST_F(PersonsTest, BirthCalendarIsChinese) {
    open();
    showDialog(true);
    QCalendarWidget* calendar = d->dtpry_182->calendarWidget();
    ASSERT_NE(calendar, nullptr);
    EXPECT_EQ(calendar->locale().language(), QLocale::Chinese);
    EXPECT_EQ(calendar->locale().monthName(1), QStringLiteral("一月"));
    EXPECT_EQ(calendar->locale().dayName(1, QLocale::ShortFormat), QStringLiteral("周一"));
}

TEST_F(PersonsTest, PersonBornAfter2000CanBeAdded) {
    open();
    showDialog(true);
    EXPECT_EQ(d->dtpry_182->maximumDate(), QDate(2026, 12, 10));
    d->dtpry_182->setDate(QDate(2003, 5, 1));
    EXPECT_EQ(d->dtpry_182->date(), QDate(2003, 5, 1));
    d->edtry_180->setText(QStringLiteral("张三"));
    EXPECT_TRUE(into8->Button1Click());
    EXPECT_EQ(column("cgwcr.DBF", "ITEM_182"), std::vector<std::string>{"2003.05"});
}

struct BirthCase {
    const char* name;
    const char* stored;
    QDate shown;
    QString warning;  // empty: none
};

void PrintTo(const BirthCase& c, std::ostream* os) {
    *os << c.name;
}

class BirthTest : public PersonsTest, public ::testing::WithParamInterface<BirthCase> {};

TEST_P(BirthTest, StoredBirthMonthIsShownOrReported) {
    const BirthCase& c = GetParam();
    open({person("1", "甲", {{"ITEM_182", c.stored}})});
    ui->btn_page08->click();
    into8->setWindowTitle(into8->addCaption());
    into8->FormShow();
    d->dtpry_182->setDate(QDate(1950, 6, 1));  // what the picker held before
    into8->setWindowTitle(into8->editCaption());
    into8->FormShow();
    EXPECT_EQ(d->dtpry_182->date(), c.shown);
    EXPECT_EQ(boxTexts(), c.warning.isEmpty() ? QStringList{} : QStringList{c.warning});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BirthTest,
    ::testing::Values(BirthCase{"year_and_month", "1965.03", QDate(1965, 3, 1), {}},
                      BirthCase{"one_digit_month", "1965.3", QDate(1965, 3, 1), {}},
                      BirthCase{"empty_gives_today", "", QDate(2026, 12, 10), {}},
                      BirthCase{"born_after_2000", "2003.05", QDate(2003, 5, 1), {}},
                      // A month past the range (after today) is kept, not clamped into it.
                      BirthCase{"after_the_range", "2027.05", QDate(2027, 5, 1), {}},
                      BirthCase{"not_a_month", "1965-13", QDate(1950, 6, 1),
                                QStringLiteral("1965-13不是正确的出生年月格式！")},
                      BirthCase{"words", "六十年代", QDate(1950, 6, 1),
                                QStringLiteral("六十年代不是正确的出生年月格式！")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PersonsTest, ExitAsksWithItsOwnQuestionOnlyAboutAChange) {
    open({person("1", "甲",
                 {{"ITEM_181", "1"},
                  {"ITEM_182", "1965.03"},
                  {"ITEM_183", "2"},
                  {"ITEM_184", "3"},
                  {"ITEM_188", "0"},
                  {"ITEM_186", "贡献"}})});
    showDialog(false);
    EXPECT_TRUE(into8->isRowUnchanged());
    QSignalSpy closed(into8.get(), &QDialog::finished);
    d->Button2->click();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_TRUE(m_boxes.boxes.empty());

    into8->FormShow();
    d->dtpry_182->setDate(QDate(1966, 3, 1));
    m_boxes.answers = {widgets::No};
    d->Button2->click();
    EXPECT_EQ(closed.count(), 2);
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("记录已更改,是否保存后退出？")});
    EXPECT_EQ(column("cgwcr.DBF", "ITEM_182"), std::vector<std::string>{"1965.03"});
}

TEST_F(PersonsTest, DeleteRenumbersThePersons) {
    open({person("1", "甲"), person("2", "乙"), person("3", "丙")});
    ui->btn_page08->click();
    page8->model().setCurrentRow(0);
    m_boxes.answers = {widgets::Yes};
    p->Button1->click();
    EXPECT_EQ(column("cgwcr.DBF", "ITEM_180"), (std::vector<std::string>{"乙", "丙"}));
    EXPECT_EQ(column("cgwcr.DBF", "ITEM_187"), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(page8->model().currentRow(), 0);
}

// ---- quick add ----------------------------------------------------------------------------

TEST_F(PersonsTest, QuickAddCopiesTheSelectedPersonsInGridOrder) {
    open({person("1", "甲")},
         {known("张三", "一所"), known("李四", "二所"), known("王五", "三所")});
    DM->TblwcrNew.setFilter("item_180='张三'");  // left by an earlier add
    ui->btn_page08->click();
    onShow(wcr.get(), [this] {
        EXPECT_EQ(wcr->model().rowCount(), 3);
        EXPECT_EQ(w->Label1->text(), QStringLiteral("请选择记录(按住ctrl键进行多条选择)"));
        QItemSelectionModel* selection = w->DBGrid1->selectionModel();
        const auto flags = QItemSelectionModel::Select | QItemSelectionModel::Rows;
        selection->select(wcr->model().index(2, 0), flags);
        selection->select(wcr->model().index(0, 0), flags);
        EXPECT_EQ(w->Label1->text(), QStringLiteral("选择了2记录！"));
        w->BitBtn1->click();
    });
    QSignalSpy closed(wcr.get(), &QDialog::finished);
    p->Button5->click();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_TRUE(m_boxes.boxes.empty());
    EXPECT_EQ(column("cgwcr.DBF", "ITEM_180"), (std::vector<std::string>{"甲", "张三", "王五"}));
    EXPECT_EQ(column("cgwcr.DBF", "ITEM_187"), (std::vector<std::string>{"1", "2", "3"}));
    const Row copied = fileRows("cgwcr.DBF").at(1);
    EXPECT_EQ(copied.at("ITEM_4"), kKey);
    EXPECT_EQ(copied.at("ITEM_DQDM"), ".");
    EXPECT_EQ(copied.at("ITEM_185"), "一所");
    EXPECT_EQ(copied.at("ITEM_181"), "2");
    EXPECT_EQ(page8->model().rowCount(), 3);
}

TEST_F(PersonsTest, QuickAddWithoutSelectionAsksForAll) {
    open({person("1", "甲", {{"ITEM_185", "原单位"}})},
         {known("张三", "一所"), known("李四", "二所")});
    ui->btn_page08->click();
    wcr->FormShow();
    QSignalSpy closed(wcr.get(), &QDialog::finished);

    m_boxes.answers = {widgets::No};
    w->BitBtn1->click();
    EXPECT_EQ(closed.count(), 0);
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("请选择您要导出的项目，是否全部选择？")});
    EXPECT_EQ(fileRows("cgwcr.DBF").size(), 1u);

    m_boxes.answers = {widgets::Yes};
    w->BitBtn1->click();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(column("cgwcr.DBF", "ITEM_180"), (std::vector<std::string>{"甲", "张三", "李四"}));
    EXPECT_EQ(column("cgwcr.DBF", "ITEM_185"),
              (std::vector<std::string>{"原单位", "一所", "二所"}));
    EXPECT_EQ(w->Label1->text(), QStringLiteral("选择了2记录！"));
}

// Persons the record already lists are not added twice, nor a name known twice.
TEST_F(PersonsTest, QuickAddSkipsPersonsAlreadyListed) {
    open({person("1", "甲"), person("2", "张三")}, {known("张三", "一所"), known("李四", "二所"),
                                                    known("李四", "三所"), known(" 甲 ", "四所")});
    ui->btn_page08->click();
    wcr->FormShow();
    m_boxes.answers = {widgets::Yes};
    w->BitBtn1->click();
    EXPECT_EQ(column("cgwcr.DBF", "ITEM_180"), (std::vector<std::string>{"甲", "张三", "李四"}));
    EXPECT_EQ(column("cgwcr.DBF", "ITEM_185"), (std::vector<std::string>{"", "", "二所"}));
    EXPECT_EQ(boxTexts(), (QStringList{QStringLiteral("请选择您要导出的项目，是否全部选择？"),
                                       QStringLiteral("有3人已在本项目的成果完成人员名单中，"
                                                      "未重复添加。")}));
}

// cgwcrNew laid out in another column order: persons travel by column name both ways.
TEST_F(PersonsTest, KnownPersonsAreCopiedByColumnName) {
    replaceTable("cgwcrNew.dbf",
                 "ITEM_185 C(80)\tITEM_180 C(20)\tITEM_186 C(160)\tITEM_181 C(1)\t"
                 "ITEM_182 C(14)\tITEM_183 C(1)\tITEM_184 C(1)\tITEM_188 C(1)\t"
                 "ITEM_4 C(10)\tITEM_DQDM C(3)\tITEM_187 N(10)\n"
                 "二所\t李四\t育种\t1\t1960.01\t2\t3\t1\t\t\t\n");
    open();
    showDialog(true);
    d->edtry_180->setText(QStringLiteral("张三"));
    d->edtry_185->setText(QStringLiteral("一所"));
    ASSERT_TRUE(into8->Button1Click());
    const Row entered = testsupport::findRow(m_program.file("cgwcrNew.dbf"), "ITEM_180", "张三");
    EXPECT_EQ(entered.at("ITEM_185"), "一所");
    EXPECT_EQ(entered.at("ITEM_4"), kKey);

    wcr->FormShow();
    w->DBGrid1->selectionModel()->select(wcr->model().index(0, 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
    w->BitBtn1->click();
    const Row added = testsupport::findRow(m_program.file("cgwcr.DBF"), "ITEM_180", "李四");
    EXPECT_EQ(added.at("ITEM_185"), "二所");
    EXPECT_EQ(added.at("ITEM_186"), "育种");
    EXPECT_EQ(added.at("ITEM_182"), "1960.01");
    EXPECT_EQ(added.at("ITEM_188"), "1");
    EXPECT_EQ(added.at("ITEM_4"), kKey);
}

TEST_F(PersonsTest, QuickAddDeletesAKnownPerson) {
    open({}, {known("张三", "一所"), known("李四", "二所")});
    wcr->FormShow();
    wcr->model().setCurrentRow(0);
    m_boxes.answers = {widgets::No, widgets::Yes};
    w->Button1->click();
    EXPECT_EQ(column("cgwcrNew.dbf", "ITEM_180").size(), 2u);
    w->Button1->click();
    EXPECT_EQ(column("cgwcrNew.dbf", "ITEM_180"), std::vector<std::string>{"李四"});
    EXPECT_EQ(boxTexts(), QStringList(2, QStringLiteral("是否删除该项目？!")));
}

TEST_F(PersonsTest, KnownPersonsAreBuiltFromEveryRecordFirstNameWins) {
    append("cgwcr.DBF", {person("1", "张三", {{"ITEM_185", "一所"}, {"ITEM_182", "1960.01"}}),
                         child({{"ITEM_180", "李四"}, {"ITEM_185", "二所"}}, "2004000009"),
                         child({{"ITEM_180", "张三"}, {"ITEM_185", "别所"}}, "2004000009")});
    open({}, {known("旧人", "旧所")});
    DM->TblwcrNew.setFilter("item_180='旧人'");
    wcr->BuildeWcrTable();
    const auto rows = fileRows("cgwcrNew.dbf");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].at("ITEM_180"), "张三");
    EXPECT_EQ(rows[0].at("ITEM_185"), "一所");
    EXPECT_EQ(rows[0].at("ITEM_182"), "1960.01");
    EXPECT_EQ(rows[0].at("ITEM_4"), "");  // key and number stay empty
    EXPECT_EQ(rows[0].at("ITEM_187"), "");
    EXPECT_EQ(rows[1].at("ITEM_185"), "二所");
    EXPECT_TRUE(DM->TblwcrNew.filter().empty());
    EXPECT_EQ(DM->TblwcrNew.recordCount(), 2);
}

}  // namespace
