// The list pages with their row dialogs: co-completing units and the evaluation committee.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include "Dataset.h"
#include "ExitWays.h"
#include "Finto5Unit.h"
#include "Finto7Unit.h"
#include "GlyphButton.h"
#include "ListFixture.h"
#include "Unitpage5.h"
#include "Unitpage7.h"
#include "ui_Finto5Unit.h"
#include "ui_Finto7Unit.h"
#include "ui_Unit1.h"
#include "ui_Unitpage5.h"
#include "ui_Unitpage7.h"

using testsupport::Row;
using testsupport::Way;

namespace {

const QString kStored = QStringLiteral("存储成功！");
const QString kDelete = QStringLiteral("是否删除该项目？!");
const QString kChanged = QStringLiteral("记录已更改，是否保存后退出？");

class ListsTest : public testsupport::ListFixture {
protected:
    // The record with these units and committee members, and the four windows.
    void open(const std::vector<Row>& units = {}, const std::vector<Row>& members = {}) {
        append("cgwcdw.DBF", units);
        append("jdwyhmd.DBF", members);
        openRecord();
        into5 = std::make_unique<TFinto5>();
        Finto5 = into5.get();
        page5 = std::make_unique<TFpage5>(*m_form);
        Fpage5 = page5.get();
        into7 = std::make_unique<TFinto7>();
        Finto7 = into7.get();
        page7 = std::make_unique<TFpage7>(*m_form);
        Fpage7 = page7.get();
        d5 = into5->form();
        d7 = into7->form();
    }

    void TearDown() override {
        Fpage5 = nullptr;
        Finto5 = nullptr;
        Fpage7 = nullptr;
        Finto7 = nullptr;
        page5.reset();
        into5.reset();
        page7.reset();
        into7.reset();
        ListFixture::TearDown();
    }

    // Fills the unit dialog's four edits.
    void typeUnit(const QString& name, const QString& address = {}, const QString& postcode = {},
                  const QString& contact = {}) {
        d5->edtdw_170->setText(name);
        d5->edtdw_171->setText(address);
        d5->edtdw_172->setText(postcode);
        d5->edtdw_173->setText(contact);
    }

    std::unique_ptr<TFinto5> into5;
    std::unique_ptr<TFpage5> page5;
    std::unique_ptr<TFinto7> into7;
    std::unique_ptr<TFpage7> page7;
    Ui::TFinto5* d5 = nullptr;
    Ui::TFinto7* d7 = nullptr;
};

Row unit(const char* number, const char* name) {
    return testsupport::child({{"ITEM_176", number}, {"ITEM_170", name}});
}

TEST_F(ListsTest, OpenerFiltersToTheRecordAndNumbersItsRows) {
    open({unit("7", "甲单位"), unit("1", "丙单位"), unit("", "乙单位")});
    append("cgwcdw.DBF", {testsupport::child({{"ITEM_170", "x"}}, "2004000002")});
    onShow(page5.get(), [this] {
        EXPECT_EQ(page5->model().rowCount(), 3);
        EXPECT_EQ(page5->model().currentRow(), 0);
        EXPECT_EQ(page5->windowTitle(), QStringLiteral("成果名称：成果2004000001"));
    });
    ui->btn_page05->click();
    EXPECT_EQ(timesShown(page5.get()), 1);
    // Renumbered in table order on showing; the other record's row untouched.
    EXPECT_EQ(column("cgwcdw.DBF", "ITEM_176"), (std::vector<std::string>{"1", "2", "3", ""}));
}

TEST_F(ListsTest, GridShowsTheColumnsWithLookupTexts) {
    open({}, {testsupport::child({{"ITEM_190", "1"},
                                  {"ITEM_191", "委员"},
                                  {"ITEM_192", "李四"},
                                  {"ITEM_193", "2"},
                                  {"ITEM_198", "1"}})});
    ui->btn_page07->click();
    const widgets::DatasetModel& model = page7->model();
    QStringList titles;
    QStringList cells;
    for (int c = 0; c < model.columnCount(); ++c) {
        if (model.columns()[static_cast<size_t>(c)].visible) {
            titles << model.headerData(c, Qt::Horizontal).toString();
            cells << model.data(model.index(0, c)).toString();
        }
    }
    EXPECT_EQ(titles, (QStringList{QStringLiteral("序号"), QStringLiteral("鉴定会职务"),
                                   QStringLiteral("姓名"), QStringLiteral("性别"),
                                   QStringLiteral("工作单位"), QStringLiteral("所学专业"),
                                   QStringLiteral("从事专业"), QStringLiteral("职称")}));
    EXPECT_EQ(cells,
              (QStringList{QStringLiteral("1"), QStringLiteral("委员"), QStringLiteral("李四"),
                           QStringLiteral("女"), QStringLiteral(""), QStringLiteral(""),
                           QStringLiteral(""), QStringLiteral("正高级")}));
}

TEST_F(ListsTest, AddsSeveralRowsInOneOpeningAndRenumbersOnDelete) {
    open();
    ui->btn_page05->click();  // filters the table to the record
    onShow(into5.get(), [this] {
        EXPECT_EQ(into5->windowTitle(), QStringLiteral("新增－－【合作完成单位情况】"));
        for (const char* name : {"一", "二", "三"}) {
            typeUnit(QString::fromUtf8(name), QStringLiteral("地址"), QStringLiteral("100080"),
                     QStringLiteral("王五"));
            EXPECT_TRUE(into5->Button1Click());
            EXPECT_TRUE(d5->edtdw_170->text().isEmpty());  // ready for the next row
        }
        d5->Button2->click();
    });
    page5->form()->Button2->click();
    EXPECT_EQ(boxTexts(), QStringList(3, kStored));
    EXPECT_EQ(column("cgwcdw.DBF", "ITEM_170"), (std::vector<std::string>{"一", "二", "三"}));
    EXPECT_EQ(column("cgwcdw.DBF", "ITEM_176"), (std::vector<std::string>{"1", "2", "3"}));
    const Row first = fileRows("cgwcdw.DBF").front();
    EXPECT_EQ(first.at("ITEM_4"), kKey);
    EXPECT_EQ(first.at("ITEM_DQDM"), ".");
    EXPECT_EQ(first.at("ITEM_172"), "100080");

    // The second goes; the third takes its number and the cursor.
    page5->model().setCurrentRow(1);
    m_boxes.answers = {widgets::Yes};
    page5->form()->Button1->click();
    EXPECT_EQ(m_boxes.boxes.back().text, kDelete);
    EXPECT_EQ(m_boxes.boxes.back().title, QStringLiteral("提示信息"));
    EXPECT_EQ(m_boxes.boxes.back().icon, widgets::Icon::Information);
    EXPECT_EQ(column("cgwcdw.DBF", "ITEM_170"), (std::vector<std::string>{"一", "三"}));
    EXPECT_EQ(column("cgwcdw.DBF", "ITEM_176"), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(page5->model().currentRow(), 1);

    // Deleting the last row leaves the cursor on the new last row.
    m_boxes.answers = {widgets::Yes};
    page5->form()->Button1->click();
    EXPECT_EQ(column("cgwcdw.DBF", "ITEM_170"), (std::vector<std::string>{"一"}));
    EXPECT_EQ(page5->model().currentRow(), 0);
}

TEST_F(ListsTest, DeleteAnsweredNoOrOnAnEmptyListChangesNothing) {
    open({unit("1", "甲")});
    ui->btn_page05->click();
    m_boxes.answers = {widgets::No};
    page5->form()->Button1->click();
    EXPECT_EQ(column("cgwcdw.DBF", "ITEM_170"), (std::vector<std::string>{"甲"}));

    m_boxes.boxes.clear();
    m_boxes.answers = {widgets::Yes};
    page5->form()->Button1->click();
    page5->form()->Button1->click();  // now empty: no question
    EXPECT_EQ(boxTexts(), QStringList{kDelete});
    EXPECT_TRUE(fileRows("cgwcdw.DBF").empty());
}

TEST_F(ListsTest, ModifyOnAnEmptyListAdds) {
    open();
    ui->btn_page05->click();
    page5->form()->btnSave01->click();
    EXPECT_EQ(into5->windowTitle(), into5->addCaption());
}

TEST_F(ListsTest, ModifyEditsTheCurrentRow) {
    open({unit("1", "甲"), unit("2", "乙")});
    ui->btn_page05->click();
    page5->model().setCurrentRow(1);
    onShow(into5.get(), [this] {
        EXPECT_EQ(into5->windowTitle(), QStringLiteral("修改－－【合作完成单位情况】"));
        EXPECT_EQ(d5->edtdw_170->text(), QStringLiteral("乙"));
        d5->edtdw_173->setText(QStringLiteral("赵六"));
        EXPECT_TRUE(into5->Button1Click());
    });
    page5->form()->btnSave01->click();
    EXPECT_EQ(boxTexts(), QStringList{kStored});
    EXPECT_EQ(column("cgwcdw.DBF", "ITEM_173"), (std::vector<std::string>{"", "赵六"}));
    EXPECT_EQ(column("cgwcdw.DBF", "ITEM_176"), (std::vector<std::string>{"1", "2"}));
}

TEST_F(ListsTest, StoringOnlyBlanksClosesWithoutARow) {
    open();
    ui->btn_page05->click();
    into5->setWindowTitle(into5->addCaption());
    into5->FormShow();
    QSignalSpy closed(into5.get(), &QDialog::finished);
    typeUnit(QStringLiteral("  "), QStringLiteral(" "));
    EXPECT_TRUE(into5->Button1Click());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_TRUE(m_boxes.boxes.empty());
    EXPECT_TRUE(fileRows("cgwcdw.DBF").empty());
}

TEST_F(ListsTest, PostcodeTakesSixDigitsOnly) {
    open();
    into5->setWindowTitle(into5->addCaption());
    into5->FormShow();
    QTest::keyClicks(d5->edtdw_172, QStringLiteral("1a2-b34 56789"));
    EXPECT_EQ(d5->edtdw_172->text(), QStringLiteral("123456"));
    QTest::keyClick(d5->edtdw_172, Qt::Key_Backspace);
    EXPECT_EQ(d5->edtdw_172->text(), QStringLiteral("12345"));
}

TEST_F(ListsTest, TextBeyondTheFieldsWidthIsRefusedAtTheEdit) {
    open();
    into5->setWindowTitle(into5->addCaption());
    into5->FormShow();
    // ITEM_173 holds 20 bytes: ten Chinese characters.
    for (const QChar c : QStringLiteral("一二三四五六七八九十十一")) {
        d5->edtdw_173->insert(c);
    }
    EXPECT_EQ(d5->edtdw_173->text(), QStringLiteral("一二三四五六七八九十"));
}

TEST_F(ListsTest, RowTheTableRefusesKeepsTheDialogOpenAndStoresNothing) {
    open({unit("1", "甲")});
    ui->btn_page05->click();
    into5->setWindowTitle(into5->addCaption());
    into5->FormShow();
    QSignalSpy closed(into5.get(), &QDialog::finished);
    // A character GBK cannot hold, put in past the edit's check.
    typeUnit(QStringLiteral("乙"), {}, {}, QStringLiteral("\U0001F600"));
    EXPECT_FALSE(into5->Button1Click());
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].icon, widgets::Icon::Critical);
    EXPECT_EQ(closed.count(), 0);
    EXPECT_EQ(d5->edtdw_170->text(), QStringLiteral("乙"));
    EXPECT_EQ(column("cgwcdw.DBF", "ITEM_170"), (std::vector<std::string>{"甲"}));
    EXPECT_EQ(DM->TblCgwcdw.state(), store::Dataset::State::Browse);
    EXPECT_EQ(DM->TblCgwcdw.recordCount(), 1);

    // The exit's save fails the same way: the dialog stays open.
    m_boxes.answers = {widgets::Yes};
    d5->Button2->click();
    EXPECT_EQ(closed.count(), 0);
}

TEST_F(ListsTest, NewCommitteeMemberHasTheDefaultsAndStoresCodes) {
    open();
    ui->btn_page07->click();
    into7->setWindowTitle(into7->addCaption());
    into7->FormShow();
    EXPECT_EQ(d7->cbwy_191->currentText(), QStringLiteral("副主任委员"));
    EXPECT_EQ(items(d7->cbwy_193), (QStringList{QStringLiteral("1  男"), QStringLiteral("2  女")}));
    EXPECT_EQ(d7->cbwy_193->currentIndex(), 0);
    EXPECT_EQ(d7->cbwy_198->count(), 6);  // five titles and the blank item
    EXPECT_EQ(d7->cbwy_198->currentText(), QStringLiteral("2  副高级"));

    d7->Edtwy_192->setText(QStringLiteral("李四"));
    d7->cbwy_193->setCurrentIndex(1);
    EXPECT_TRUE(into7->Button1Click());
    const Row stored = fileRows("jdwyhmd.DBF").at(0);
    EXPECT_EQ(stored.at("ITEM_191"), "副主任委员");
    EXPECT_EQ(stored.at("ITEM_192"), "李四");
    EXPECT_EQ(stored.at("ITEM_193"), "2");
    EXPECT_EQ(stored.at("ITEM_198"), "2");
    EXPECT_EQ(stored.at("ITEM_190"), "1");
}

TEST_F(ListsTest, EditedMemberKeepsCodesTheListsLack) {
    open({}, {testsupport::child({{"ITEM_190", "1"},
                                  {"ITEM_191", "顾问"},
                                  {"ITEM_192", "李四"},
                                  {"ITEM_193", "7"},
                                  {"ITEM_198", "8"}})});
    ui->btn_page07->click();
    into7->setWindowTitle(into7->editCaption());
    into7->FormShow();
    EXPECT_EQ(d7->cbwy_191->currentText(), QStringLiteral("顾问"));
    EXPECT_TRUE(into7->isRowUnchanged());
    d7->edtwy_195->setText(QStringLiteral("某大学"));
    EXPECT_TRUE(into7->Button1Click());
    const Row stored = fileRows("jdwyhmd.DBF").at(0);
    EXPECT_EQ(stored.at("ITEM_191"), "顾问");
    EXPECT_EQ(stored.at("ITEM_193"), "7");
    EXPECT_EQ(stored.at("ITEM_198"), "8");
    EXPECT_EQ(stored.at("ITEM_195"), "某大学");
}

struct ExitCase {
    const char* name;
    bool editing;
    const char* typedName;  // into 姓名; null: nothing typed
    int answer;             // to the change question
    bool asked;
    int storedRows;
};

class CommitteeExitTest : public ListsTest, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(CommitteeExitTest, ExitAsksOnlyAboutAChange) {
    const ExitCase& c = GetParam();
    open({}, {testsupport::child({{"ITEM_190", "1"},
                                  {"ITEM_191", "委员"},
                                  {"ITEM_192", "李四"},
                                  {"ITEM_193", "1"},
                                  {"ITEM_195", "某所"},
                                  {"ITEM_198", "3"}})});
    ui->btn_page07->click();
    into7->setWindowTitle(c.editing ? into7->editCaption() : into7->addCaption());
    into7->FormShow();
    if (c.typedName != nullptr) {
        d7->Edtwy_192->setText(QString::fromUtf8(c.typedName));
    }
    QSignalSpy closed(into7.get(), &QDialog::finished);
    m_boxes.answers = {c.answer};
    testsupport::leave(*into7, *d7->Button2, Way::Button);
    EXPECT_EQ(closed.count(), 1);
    const QStringList expected =
        c.asked
            ? (c.answer == widgets::Yes ? QStringList{kChanged, kStored} : QStringList{kChanged})
            : QStringList{};
    EXPECT_EQ(boxTexts(), expected);
    if (c.asked) {
        EXPECT_EQ(m_boxes.boxes[0].title, QStringLiteral("请注意！"));
        EXPECT_EQ(m_boxes.boxes[0].icon, widgets::Icon::Question);
    }
    EXPECT_EQ(static_cast<int>(fileRows("jdwyhmd.DBF").size()), c.storedRows);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommitteeExitTest,
    ::testing::Values(ExitCase{"add_nothing_typed", false, nullptr, widgets::Yes, false, 1},
                      ExitCase{"add_name_answered_no", false, "王五", widgets::No, true, 1},
                      ExitCase{"add_name_answered_yes", false, "王五", widgets::Yes, true, 2},
                      ExitCase{"edit_unchanged", true, nullptr, widgets::Yes, false, 1},
                      ExitCase{"edit_changed_answered_no", true, "王五", widgets::No, true, 1}),
    [](const auto& info) { return std::string(info.param.name); });

struct LeaveCase {
    const char* name;
    int page;
    Way way;
};

class ListLeaveTest : public ListsTest, public ::testing::WithParamInterface<LeaveCase> {};

TEST_P(ListLeaveTest, LeavingMarksTheSectionCompleteEvenWhenEmpty) {
    const LeaveCase& c = GetParam();
    open();
    GlyphButton* button = c.page == 5 ? ui->btn_page05 : ui->btn_page07;
    QDialog* page = c.page == 5 ? static_cast<QDialog*>(page5.get()) : page7.get();
    QAbstractButton* quit = c.page == 5 ? page5->form()->quit01 : page7->form()->quit01;
    TMainForm::setSectionKind(button, false);
    QSignalSpy closed(page, &QDialog::finished);
    testsupport::leave(*page, *quit, c.way);
    EXPECT_EQ(closed.count(), 1);
    EXPECT_TRUE(complete(button));
    EXPECT_EQ(button->text(),
              c.page == 5 ? QStringLiteral("合作完成单位情况") : QStringLiteral("评价委员会名单"));
    EXPECT_TRUE(m_boxes.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, ListLeaveTest,
                         ::testing::Values(LeaveCase{"units_button", 5, Way::Button},
                                           LeaveCase{"units_escape", 5, Way::Escape},
                                           LeaveCase{"committee_button", 7, Way::Button},
                                           LeaveCase{"committee_window_close", 7,
                                                     Way::WindowClose}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
