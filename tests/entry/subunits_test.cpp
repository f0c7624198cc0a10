// The second-level units of the registering unit and the persons list they open.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTreeWidget>
#include <stdexcept>

#include "ExitWays.h"
#include "Finto8Unit.h"
#include "GlyphButton.h"
#include "ListFixture.h"
#include "Unitpage10.h"
#include "Unitpage12.h"
#include "Unitpage4a.h"
#include "Unittree.h"
#include "ui_Unit1.h"
#include "ui_Unitpage10.h"
#include "ui_Unitpage8.h"

using testsupport::Row;
using testsupport::Way;

namespace {

const QString kStored = QStringLiteral("存储成功！");
const QString kDeleteQuestion = QStringLiteral("是否删除该项目？!");

Row unit(const char* code, const char* name, const char* parent = "9990001000",
         const char* level = "2", Row more = {}) {
    more["unitcode"] = code;
    more["item_9"] = name;
    more["upunitcode"] = parent;
    more["unitlevel"] = level;
    return more;
}

const Row kRegistering{{"unitcode", "9990001000"}, {"unitlevel", "1"}, {"item_9", "某研究院"}};

// ---- codes of new units -------------------------------------------------------------------

struct CodeCase {
    const char* name;
    const char* parent;
    const char* largest;  // among the parent's units; empty: none
    const char* expected;
};

class NextUnitCodeTest : public ::testing::TestWithParam<CodeCase> {};

TEST_P(NextUnitCodeTest, CountsOnFromTheLargest) {
    const CodeCase& c = GetParam();
    EXPECT_EQ(TFpage10::nextUnitCode(QString::fromLatin1(c.parent), QString::fromLatin1(c.largest)),
              QString::fromLatin1(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NextUnitCodeTest,
    ::testing::Values(CodeCase{"first_unit", "9990001000", "", "9990001010"},
                      CodeCase{"second_unit", "9990001000", "9990001010", "9990001020"},
                      CodeCase{"tenth_unit", "9990001000", "9990001090", "9990001100"},
                      CodeCase{"shorter_parent", "12345", "", "12345010"},
                      CodeCase{"second_of_a_shorter_parent", "12345", "12345010", "12345020"},
                      // The width stays, so the code still starts with its parent's.
                      CodeCase{"leading_zeros_kept", "0010001000", "0010001010", "0010001020"},
                      CodeCase{"ninety_ninth_unit", "9990001000", "9990001980", "9990001990"},
                      // The next would be 9990002000, a code of the next parent's block.
                      CodeCase{"block_exhausted", "9990001000", "9990001990", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NextUnitCode, LargestThatIsNotANumberIsRefused) {
    EXPECT_THROW(TFpage10::nextUnitCode(QStringLiteral("AB"), QStringLiteral("AB010")),
                 std::invalid_argument);
}

// ---- the page -----------------------------------------------------------------------------

class SubUnitsTest : public testsupport::ListFixture {
protected:
    // The registering unit first, then units; a record for the persons list.
    void open(const std::vector<Row>& units) {
        std::vector<Row> rows{kRegistering};
        rows.insert(rows.end(), units.begin(), units.end());
        append("unit.dbf", rows);
        openRecord({{"ITEM_1", "1"}});
        unitPage = std::make_unique<TFpage4a>(*m_form, *m_tree, m_form.get());
        page = std::make_unique<TFpage10>(*m_form, *m_tree, m_form.get());
        persons = std::make_unique<TFpage12>(*m_form, m_form.get());
        into8 = std::make_unique<TFinto8>(m_form.get());
        Fpage4a = unitPage.get();
        Fpage10 = page.get();
        Fpage12 = persons.get();
        Finto8 = into8.get();
        p = page->form();
    }

    void TearDown() override {
        Finto8 = nullptr;
        Fpage12 = nullptr;
        Fpage10 = nullptr;
        Fpage4a = nullptr;
        into8.reset();
        persons.reset();
        page.reset();
        unitPage.reset();
        ListFixture::TearDown();
    }

    // The unit page's "所属二级单位情况"; act runs while the page is shown.
    void showUnits(std::function<void()> act) {
        onShow(page.get(), std::move(act));
        DM->Tblunit.first();
        unitPage->Button5Click();
    }

    void select(int row) { p->DBGrid1->setCurrentIndex(p->DBGrid1->model()->index(row, 0)); }

    QStringList listed(const char* field) const {
        QStringList values;
        for (int row = 0; row < DM->Qryunit.recordCount(); ++row) {
            values << QString::fromStdString(
                DM->Qryunit.valueAt(row, DM->Qryunit.fieldIndex(field)).asText());
        }
        return values;
    }

    Row storedUnit(const char* code) const {
        return testsupport::findRow(m_program.file("unit.dbf"), "unitcode", code);
    }

    QLineEdit* edit(const char* name) const {
        return page->findChild<QLineEdit*>(QString::fromLatin1(name));
    }

    std::unique_ptr<TFpage4a> unitPage;
    std::unique_ptr<TFpage10> page;
    std::unique_ptr<TFpage12> persons;
    std::unique_ptr<TFinto8> into8;
    Ui::TFpage10* p = nullptr;
};

TEST_F(SubUnitsTest, OpensOnTheSecondLevelUnitsOfTheUnit) {
    open({unit("9990001010", "一分院", "9990001000", "2",
               {{"item_37", "某路2号"}, {"item_124_1", "01 ;03 ;"}, {"advantage", "优势"}}),
          unit("9990001011", "三级所", "9990001000", "3"),
          unit("1230001010", "别家分院", "1230001000"), unit("9990001020", "二分院")});
    bool shown = false;
    showUnits([&] {
        shown = true;
        EXPECT_EQ(p->Panel4->text(), QStringLiteral("某研究院"));
        EXPECT_EQ(p->Panel5->text(), QStringLiteral("9990001000"));
        EXPECT_EQ(listed("unitcode"),
                  (QStringList{QStringLiteral("9990001010"), QStringLiteral("9990001020")}));
        EXPECT_EQ(p->DBGrid1->model()->headerData(1, Qt::Horizontal).toString(),
                  QStringLiteral("单位名称"));
        // The edits show the selected unit.
        EXPECT_EQ(p->Edt_9->text(), QStringLiteral("一分院"));
        EXPECT_EQ(p->Edt_37->text(), QStringLiteral("某路2号"));
        EXPECT_EQ(p->Memoad->toPlainText(), QStringLiteral("优势"));
        EXPECT_EQ(edit("edt_124_1_2")->text(), QStringLiteral("03  航空航天"));
        EXPECT_EQ(page->size(), QSize(800, 600));
    });
    EXPECT_TRUE(shown);
    EXPECT_EQ(DM->Qryunit.filter(), "upunitcode='9990001000' and unitlevel='2'");
}

struct AddCase {
    const char* name;
    std::vector<Row> units;
    const char* code;
};

void PrintTo(const AddCase& c, std::ostream* os) {
    *os << c.name;
}

class SubUnitAddTest : public SubUnitsTest, public ::testing::WithParamInterface<AddCase> {};

// "存储" right after "增加" writes what was typed into the new unit.
TEST_P(SubUnitAddTest, AddThenSaveStoresTheTypedUnit) {
    const AddCase& c = GetParam();
    open(c.units);
    TMainForm::setSectionKind(ui->btn_page04, false);
    showUnits([&] {
        p->Edt_9->setText(QStringLiteral("旧名"));
        edit("edt_15_1")->setText(QStringLiteral("110  数学"));
        p->Button2->click();
        EXPECT_EQ(DM->Qryunit.field("unitcode").asText(), c.code);
        EXPECT_EQ(p->DBGrid1->currentIndex().row(), DM->Qryunit.recordCount() - 1);
        EXPECT_TRUE(p->Edt_9->text().isEmpty());
        EXPECT_TRUE(edit("edt_15_1")->text().isEmpty());

        p->Edt_9->setText(QStringLiteral("新分院"));
        p->Edt_37->setText(QStringLiteral("某路3号"));
        p->Edt_38->setText(QStringLiteral("100001"));
        p->Edt_39->setText(QStringLiteral("010-1"));
        p->Edt_40->setText(QStringLiteral("010-2"));
        p->Edt_41->setText(QStringLiteral("王五"));
        p->Edt_41_2->setText(QStringLiteral("010-3"));
        p->Edt_61->setText(QStringLiteral("a@b.cn"));
        p->Memoad->setPlainText(QStringLiteral("优势\n第二行"));
        p->Memointr->setPlainText(QStringLiteral("简介"));
        edit("edt_124_1_1")->setText(QStringLiteral("02  软件"));
        edit("edt_15_3")->setText(QStringLiteral("110  数学"));
        EXPECT_TRUE(page->btnSave01Click());
    });
    EXPECT_EQ(boxTexts(), QStringList{kStored});
    // A unit is not the record: the record's marks stay as they were.
    EXPECT_EQ(ui->btn_page04->kind(), GlyphButton::Kind::Help);

    Row row = storedUnit(c.code);
    EXPECT_EQ(row["upunitcode"], "9990001000");
    EXPECT_EQ(row["unitlevel"], "2");
    EXPECT_EQ(row["endlevel"], "0");
    EXPECT_EQ(row["item_9"], "新分院");
    EXPECT_EQ(row["item_37"], "某路3号");
    EXPECT_EQ(row["item_38"], "100001");
    EXPECT_EQ(row["item_39"], "010-1");
    EXPECT_EQ(row["item_40"], "010-2");
    EXPECT_EQ(row["item_41"], "王五");
    EXPECT_EQ(row["item_41_2"], "010-3");
    EXPECT_EQ(row["item_61"], "a@b.cn");
    EXPECT_EQ(row["advantage"], "优势\r\n第二行");
    EXPECT_EQ(row["unitintrod"], "简介");
    EXPECT_EQ(row["item_124_1"], "02 ;");
    EXPECT_EQ(row["item_15"], "110 ;");
    // The registering unit is untouched.
    EXPECT_EQ(storedUnit("9990001000")["item_9"], "某研究院");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SubUnitAddTest,
    ::testing::Values(
        AddCase{"first_unit", {}, "9990001010"},
        AddCase{"after_two", {unit("9990001010", "一"), unit("9990001020", "二")}, "9990001030"},
        // Units at any level under the parent count for the next code.
        AddCase{"after_a_third_level_unit",
                {unit("9990001010", "一"), unit("9990001040", "三级", "9990001000", "3")},
                "9990001050"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SubUnitsTest, CodeAnotherUnitCarriesIsPassedOver) {
    // 9990001020 belongs to a unit filed under another parent.
    open({unit("9990001010", "一"), unit("9990001020", "别处", "1230001000")});
    showUnits([&] { p->Button2->click(); });
    EXPECT_EQ(DM->Qryunit.field("unitcode").asText(), "9990001030");
}

TEST_F(SubUnitsTest, FullBlockAddsNoUnit) {
    open({unit("9990001990", "第九十九")});
    showUnits([&] { p->Button2->click(); });
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral(
                              "单位代码9990001000下的下属单位代码已经用完，不能再增加下属单位！")});
    EXPECT_EQ(fileRows("unit.dbf").size(), 3u);  // the registering unit, the fixture's, the unit
}

TEST_F(SubUnitsTest, SelectingAUnitShowsItSoTheSaveKeepsTheOthers) {
    open({unit("9990001010", "一分院", "9990001000", "2", {{"item_38", "100001"}}),
          unit("9990001020", "二分院", "9990001000", "2", {{"item_38", "100002"}})});
    showUnits([&] {
        select(1);
        EXPECT_EQ(p->Edt_9->text(), QStringLiteral("二分院"));
        EXPECT_EQ(p->Edt_38->text(), QStringLiteral("100002"));
        p->Edt_41->setText(QStringLiteral("联系人乙"));
        EXPECT_TRUE(page->btnSave01Click());
        select(0);
        EXPECT_EQ(p->Edt_9->text(), QStringLiteral("一分院"));
        EXPECT_TRUE(p->Edt_41->text().isEmpty());
    });
    EXPECT_EQ(storedUnit("9990001010")["item_9"], "一分院");
    EXPECT_EQ(storedUnit("9990001010")["item_41"], "");
    Row second = storedUnit("9990001020");
    EXPECT_EQ(second["item_9"], "二分院");
    EXPECT_EQ(second["item_38"], "100002");
    EXPECT_EQ(second["item_41"], "联系人乙");
}

TEST_F(SubUnitsTest, RefusedSaveKeepsTheInput) {
    open({unit("9990001010", "一分院")});
    showUnits([&] {
        // Not a GBK character: the post refuses the row.
        p->Memointr->setPlainText(QStringLiteral("简介😀"));
        p->Edt_9->setText(QStringLiteral("改名"));
        EXPECT_FALSE(page->btnSave01Click());
        EXPECT_EQ(p->Edt_9->text(), QStringLiteral("改名"));
        EXPECT_EQ(p->Memointr->toPlainText(), QStringLiteral("简介😀"));
    });
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].title, QStringLiteral("提示"));
    EXPECT_EQ(storedUnit("9990001010")["item_9"], "一分院");
}

TEST_F(SubUnitsTest, SaveWithoutAUnitWritesNoRow) {
    open({});
    showUnits([&] {
        p->Edt_9->setText(QStringLiteral("无主单位"));
        EXPECT_FALSE(page->btnSave01Click());
    });
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].title, QStringLiteral("提示"));
    EXPECT_EQ(m_boxes.boxes[0].text, QStringLiteral("没有当前记录，无法存储"));
    EXPECT_EQ(fileRows("unit.dbf").size(), 2u);  // the registering unit and the fixture's
}

struct DeleteCase {
    const char* name;
    int selected;
    int answer;
    std::vector<const char*> left;
    const char* shown;  // the unit shown afterwards
};

void PrintTo(const DeleteCase& c, std::ostream* os) {
    *os << c.name;
}

class SubUnitDeleteTest : public SubUnitsTest, public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(SubUnitDeleteTest, DeletesTheSelectedUnitOnYes) {
    const DeleteCase& c = GetParam();
    open(
        {unit("9990001010", "一分院"), unit("9990001020", "二分院"), unit("9990001030", "三分院")});
    m_boxes.answers.push_back(c.answer);
    showUnits([&] {
        select(c.selected);
        p->Button3->click();
        EXPECT_EQ(p->Edt_9->text(), QString::fromUtf8(c.shown));
    });
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].text, kDeleteQuestion);
    EXPECT_EQ(m_boxes.boxes[0].title, QStringLiteral("提示信息"));
    EXPECT_EQ(m_boxes.boxes[0].icon, widgets::Icon::Information);
    std::vector<std::string> left;
    for (const auto& code : column("unit.dbf", "unitcode")) {
        if (code != "9990001000") {
            left.push_back(code);
        }
    }
    EXPECT_EQ(left, std::vector<std::string>(c.left.begin(), c.left.end()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SubUnitDeleteTest,
    ::testing::Values(
        DeleteCase{
            "no_keeps_it", 1, widgets::No, {"9990001010", "9990001020", "9990001030"}, "二分院"},
        DeleteCase{"middle_unit", 1, widgets::Yes, {"9990001010", "9990001030"}, "三分院"},
        DeleteCase{"last_unit", 2, widgets::Yes, {"9990001010", "9990001020"}, "二分院"}),
    [](const auto& info) { return std::string(info.param.name); });

struct DependantCase {
    const char* name;
    std::vector<Row> units;    // besides the unit to delete, 9990001010
    std::vector<Row> leaders;  // of unitexpert
    const char* message;
};

void PrintTo(const DependantCase& c, std::ostream* os) {
    *os << c.name;
}

class SubUnitDependantsTest : public SubUnitsTest,
                              public ::testing::WithParamInterface<DependantCase> {};

// A unit with units or discipline leaders under it is not deleted: they would be left
// without their unit.
TEST_P(SubUnitDependantsTest, RefusesTheDelete) {
    const DependantCase& c = GetParam();
    std::vector<Row> units{unit("9990001010", "一分院")};
    units.insert(units.end(), c.units.begin(), c.units.end());
    append("unitexpert.dbf", c.leaders);
    open(units);
    showUnits([&] { p->Button3->click(); });
    EXPECT_EQ(boxTexts(), QStringList{QString::fromUtf8(c.message)});
    EXPECT_EQ(storedUnit("9990001010")["item_9"], "一分院");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SubUnitDependantsTest,
    ::testing::Values(
        DependantCase{"child_unit",
                      {unit("9990001011", "研究室", "9990001010", "3")},
                      {},
                      "“一分院”下还有1个下属单位和0位学科带头人，请先删除它们，再删除该单位！"},
        DependantCase{"leaders",
                      {},
                      {{{"unitcode", "9990001010"}, {"item_180", "张三"}},
                       {{"unitcode", "9990001010"}, {"item_180", "李四"}}},
                      "“一分院”下还有0个下属单位和2位学科带头人，请先删除它们，再删除该单位！"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SubUnitsTest, DeleteOnAnEmptyListAsksNothing) {
    open({});
    showUnits([&] { p->Button3->click(); });
    EXPECT_TRUE(m_boxes.boxes.empty());
}

struct PickerCase {
    const char* button;
    const char* edit;
    int byte;
    const char* node;
    const char* shown;
};

void PrintTo(const PickerCase& c, std::ostream* os) {
    *os << c.button;
}

class SubUnitPickerTest : public SubUnitsTest, public ::testing::WithParamInterface<PickerCase> {};

TEST_P(SubUnitPickerTest, DropDownFillsItsOwnEdit) {
    const PickerCase& c = GetParam();
    open({unit("9990001010", "一分院")});
    TreeTargetUnit.fill(1);  // the registering unit's selector left set does not count
    onShow(FormTree, [&] {
        auto* view = FormTree->findChild<QTreeWidget*>(QStringLiteral("TreeView1"));
        const auto found =
            view->findItems(QString::fromUtf8(c.node), Qt::MatchStartsWith | Qt::MatchRecursive);
        ASSERT_EQ(found.size(), 1);
        view->setCurrentItem(found[0]);
        FormTree->Button1Click();
    });
    showUnits([&] { page->findChild<QComboBox*>(QString::fromLatin1(c.button))->showPopup(); });
    TreeTargetUnit.fill(0);
    for (int byte = 0; byte < 20; ++byte) {
        EXPECT_EQ(TreeTargetSubUnit[static_cast<size_t>(byte)], byte == c.byte ? 1 : 0) << byte;
    }
    EXPECT_EQ(edit(c.edit)->text(), QString::fromUtf8(c.shown));
    int filled = 0;
    for (QLineEdit* e : page->findChildren<QLineEdit*>()) {
        filled += e->objectName().startsWith(QStringLiteral("edt_1")) && !e->text().isEmpty();
    }
    EXPECT_EQ(filled, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, SubUnitPickerTest,
    ::testing::Values(PickerCase{"cb_124_1_1", "edt_124_1_1", 0, "03  ", "03  航空航天"},
                      PickerCase{"cb_124_1_10", "edt_124_1_10", 9, "02  ", "02  软件"},
                      PickerCase{"cb_15_1", "edt_15_1", 10, "110  ", "110  数学"},
                      PickerCase{"cb_15_10", "edt_15_10", 19, "11017  ", "11017  数论"}),
    [](const auto& info) { return std::string(info.param.button); });

class SubUnitExitTest : public SubUnitsTest, public ::testing::WithParamInterface<Way> {};

TEST_P(SubUnitExitTest, LeavesWithoutQuestionOrSave) {
    open({unit("9990001010", "一分院")});
    showUnits([&] {
        p->Edt_9->setText(QStringLiteral("未存"));
        testsupport::leave(*page, *p->quit01, GetParam());
    });
    EXPECT_TRUE(m_boxes.boxes.empty());
    EXPECT_FALSE(page->isVisible());
    EXPECT_EQ(page->result(), QDialog::Accepted);
    EXPECT_EQ(storedUnit("9990001010")["item_9"], "一分院");
}

INSTANTIATE_TEST_SUITE_P(Ways, SubUnitExitTest,
                         ::testing::Values(Way::Button, Way::Escape, Way::WindowClose),
                         [](const auto& info) { return testsupport::wayName(info.param); });

// ---- the persons list ---------------------------------------------------------------------

TEST_F(SubUnitsTest, PersonsListIsTheRecordsCompletingPersons) {
    append("cgwcr.DBF", {testsupport::child({{"ITEM_187", "1"}, {"ITEM_180", "张三"}})});
    open({});
    bool listed = false;
    onShow(persons.get(), [&] {
        listed = true;
        EXPECT_EQ(persons->model().rowCount(), 1);
        persons->form()->Button2->click();
        persons->form()->quit01->click();
    });
    showUnits([&] { p->BitBtndtr->click(); });
    EXPECT_TRUE(listed);
    EXPECT_EQ(timesShown(into8.get()), 1);
    EXPECT_EQ(into8->windowTitle(), into8->addCaption());
    EXPECT_FALSE(persons->isVisible());
}

TEST_F(SubUnitsTest, PersonsListCannotBeLeftEmpty) {
    open({});
    onShow(persons.get(), [&] { persons->form()->quit01->click(); });
    showUnits([&] { p->BitBtndtr->click(); });
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("成果完成人员名单不能为空！")});
}

}  // namespace
