#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "Dialogs.h"
#include "MainWindowFixture.h"
#include "QtPrinters.h"
#include "SilentAbort.h"

using testsupport::MainWindowTest;
using testsupport::record;

namespace {

// Query items with options (成果密级), without (成果名称), and the specially treated ones.
class QueryBuilderTest : public MainWindowTest {
protected:
    void SetUp() override {
        replaceTable("zdxx1.dbf",
                     "Name C(40)\tzddm C(20)\n"
                     "成果名称\titem_3\n"
                     "成果密级\titem_1\n"
                     "单位所在省市\titem_64\n"
                     "隶属部委\titem_63\n"
                     "中图分类号\titem_12\n"
                     "学科分类号\titem_15\n");
        start({record("2004000001", "1", {{"ITEM_1", "2"}, {"ITEM_3", "新型材料"}}),
               record("2004000002", "1", {{"ITEM_1", "1"}, {"ITEM_3", "新工艺"}}),
               record("2004000003", "1", {{"ITEM_1", "2"}, {"ITEM_3", "旧设备"}})});
    }

    // As the user picks an item (also the one already shown).
    void chooseItem(const QString& name) {
        ui->ComboBox2->setCurrentIndex(ui->ComboBox2->findText(name));
        emit ui->ComboBox2->activated(ui->ComboBox2->currentIndex());
    }

    // Picks the list item whose text starts with prefix.
    void pickValue(const QString& prefix) {
        for (int i = 0; i < ui->Combobox3->count(); ++i) {
            if (ui->Combobox3->itemText(i).startsWith(prefix)) {
                ui->Combobox3->setCurrentIndex(i);
                return;
            }
        }
        FAIL() << "no item " << prefix.toStdString();
    }

    void setCondition(const QString& text) {
        ui->MMSysV->setPlainText(text);
        ui->MMSysV->moveCursor(QTextCursor::End);
    }
};

struct ComposeCase {
    const char* name;
    const char* item;
    const char* op;
    const char* typed;   // typed into Edit2, or null
    const char* picked;  // the list item chosen, by its start, or null
    const char* expected;
};

void PrintTo(const ComposeCase& c, std::ostream* os) {
    *os << c.name;
}

class ComposeTest : public QueryBuilderTest, public ::testing::WithParamInterface<ComposeCase> {};

TEST_P(ComposeTest, AddsTheCondition) {
    const ComposeCase& c = GetParam();
    chooseItem(QString::fromUtf8(c.item));
    ui->ComboBox4->setCurrentIndex(ui->ComboBox4->findText(QString::fromUtf8(c.op)));
    if (c.typed != nullptr) {
        ASSERT_FALSE(ui->Edit2->isHidden());
        ui->Edit2->setText(QString::fromUtf8(c.typed));
    }
    if (c.picked != nullptr) {
        ASSERT_FALSE(ui->Combobox3->isHidden());
        pickValue(QString::fromUtf8(c.picked));
    }
    m_form->SpeedButton24Click();
    EXPECT_EQ(ui->MMSysV->toPlainText(), QString::fromUtf8(c.expected));
    EXPECT_EQ(ui->MMUserV->toPlainText(), QStringLiteral(" ") + QString::fromUtf8(c.item));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ComposeTest,
    ::testing::Values(
        ComposeCase{"contains", "成果名称", "包含", "新型", nullptr, " item_3 like '%新型%'"},
        // A typed quote is the user's own SQL: it is not doubled, and the search then fails
        // with its message.
        ComposeCase{"quote_in_contained_text", "成果名称", "包含", "O'Brien", nullptr,
                    " item_3 like '%O'Brien%'"},
        ComposeCase{"quote_in_compared_text", "成果名称", "=", "O'Brien", nullptr,
                    " item_3 ='O'Brien'"},
        ComposeCase{"equals", "成果密级", "=", nullptr, "2  ", " item_1 ='2'"},
        ComposeCase{"less", "成果密级", "<", nullptr, "2  ", " item_1 <'2'"},
        ComposeCase{"greater", "成果密级", ">", nullptr, "2  ", " item_1 >'2'"},
        ComposeCase{"at_most", "成果密级", "<=", nullptr, "2  ", " item_1 <='2'"},
        ComposeCase{"at_least", "成果密级", ">=", nullptr, "2  ", " item_1 >='2'"},
        ComposeCase{"differs", "成果密级", "<>", nullptr, "2  ", " item_1 <>'2'"},
        ComposeCase{"empty_operator", "成果密级", "", nullptr, "2  ", " item_1 '2'"},
        ComposeCase{"province_code", "单位所在省市", "=", nullptr, "11  (", " item_64 ='11'"},
        ComposeCase{"ministry_code", "隶属部委", "=", nullptr, "301  (", " item_63 ='301'"},
        ComposeCase{"picked_library_class", "中图分类号", "=", "TP3  计算技术、计算机技术", nullptr,
                    " item_12 ='TP3'"},
        ComposeCase{"library_class_without_name", "中图分类号", "=", "TP3", nullptr,
                    " item_12 =''"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(QueryBuilderTest, ValueModesFollowTheItem) {
    chooseItem(QStringLiteral("成果名称"));
    EXPECT_FALSE(ui->Edit2->isHidden());
    EXPECT_TRUE(ui->Combobox3->isHidden());
    EXPECT_TRUE(ui->ComboBox5->isHidden());
    chooseItem(QStringLiteral("成果密级"));
    EXPECT_TRUE(ui->Edit2->isHidden());
    EXPECT_FALSE(ui->Combobox3->isHidden());
    chooseItem(QStringLiteral("中图分类号"));
    EXPECT_FALSE(ui->Edit2->isHidden());
    EXPECT_FALSE(ui->ComboBox5->isHidden());
    EXPECT_TRUE(ui->ComboBox6->isHidden());
    chooseItem(QStringLiteral("学科分类号"));
    EXPECT_FALSE(ui->ComboBox6->isHidden());
    EXPECT_TRUE(ui->ComboBox5->isHidden());
}

TEST_F(QueryBuilderTest, PickedClassificationNodeAddsOnlyItsCode) {
    chooseItem(QStringLiteral("中图分类号"));
    widgets::ScriptedDialogs dialogs;
    dialogs.onExec = [](QDialog& picker) {
        auto* tree = picker.findChild<QTreeWidget*>(QStringLiteral("TreeView1"));
        const auto found =
            tree->findItems(QStringLiteral("TP  "), Qt::MatchStartsWith | Qt::MatchRecursive);
        ASSERT_FALSE(found.isEmpty());
        tree->setCurrentItem(found.front());
        picker.findChild<QPushButton*>(QStringLiteral("Button1"))->click();
    };
    ui->ComboBox5->showPopup();
    EXPECT_TRUE(ui->Edit2->text().startsWith(QStringLiteral("TP  ")));
    ui->ComboBox4->setCurrentIndex(ui->ComboBox4->findText(QStringLiteral("=")));
    m_form->SpeedButton24Click();
    EXPECT_EQ(ui->MMSysV->toPlainText(), QStringLiteral(" item_12 ='TP'"));
}

TEST_F(QueryBuilderTest, ConnectivesGoInAtTheCaret) {
    setCondition(QStringLiteral(" item_1 ='2'"));
    m_form->insertConnective(QStringLiteral("and "));
    EXPECT_EQ(ui->MMSysV->toPlainText(), QStringLiteral(" item_1 ='2'and "));
    QTextCursor cursor = ui->MMSysV->textCursor();
    cursor.setPosition(0);
    ui->MMSysV->setTextCursor(cursor);
    m_form->insertConnective(QStringLiteral("("));
    EXPECT_EQ(ui->MMSysV->toPlainText(), QStringLiteral("( item_1 ='2'and "));
}

TEST_F(QueryBuilderTest, SearchSelectsWithinTypeAndYearAndNumbers) {
    const QString before = QString::fromStdString(DM->Qryhvel.sql());
    setCondition(QStringLiteral(" item_1 ='2'"));
    widgets::ScriptedDialogs dialogs;
    m_form->SpeedButton16Click();
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(listColumn("ITEM_4"),
              (QStringList{QStringLiteral("2004000001"), QStringLiteral("2004000003")}));
    EXPECT_EQ(listColumn("NO"), (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
    EXPECT_EQ(ListSql, before);
    EXPECT_TRUE(QString::fromStdString(DM->Qryhvel.sql())
                    .endsWith(QStringLiteral(" ) and (item_cglb='1' and item_4 like '2004%')")));
}

struct FailureCase {
    const char* name;
    const char* condition;
    const char* message;
    const char* title;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class FailedSearchTest : public QueryBuilderTest,
                         public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailedSearchTest, RestoresTheListWithItsMessage) {
    const FailureCase& c = GetParam();
    const QStringList before = listColumn("ITEM_4");
    setCondition(QString::fromUtf8(c.condition));
    widgets::ScriptedDialogs dialogs;
    m_form->SpeedButton16Click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, QString::fromUtf8(c.message));
    EXPECT_EQ(dialogs.boxes[0].title, QString::fromUtf8(c.title));
    EXPECT_EQ(listColumn("ITEM_4"), before);
    // Nothing was changed, whatever the condition tried.
    store::Query all(DM->database());
    all.setSql("select * from hvel");
    all.open();
    EXPECT_EQ(all.recordCount(), 3);
    EXPECT_TRUE(all.locate("ITEM_3", store::Value("新型材料")));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedSearchTest,
    ::testing::Values(
        FailureCase{"finds_nothing", " item_3 like '%无此项%'",
                    "没找到符合条件的条目,请再输入合适语句!", "信息"},
        FailureCase{"no_condition", "", "没有条件无法查询!", "信息"},
        FailureCase{"empty_operator", " item_1 '2'", "条件输入有误，请检查", "请注意！"},
        FailureCase{"quote_in_value", " item_3 ='O'Brien'", "条件输入有误，请检查", "请注意！"},
        FailureCase{"second_statement_delete", "1=1) ; delete from hvel; --",
                    "条件输入有误，请检查", "请注意！"},
        FailureCase{"second_statement_update", "1=1) ; update hvel set item_3='x'; --",
                    "条件输入有误，请检查", "请注意！"},
        FailureCase{"unbalanced_open_passes_the_check", "(() item_1='2'", "条件输入有误，请检查",
                    "请注意！"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(QueryBuilderTest, CloseBeforeOpenIsRefusedAndTheListKept) {
    setCondition(QStringLiteral(" item_1 ='2' )( item_1='1'"));
    const QString sql = QString::fromStdString(DM->Qryhvel.sql());
    widgets::ScriptedDialogs dialogs;
    EXPECT_THROW(m_form->SpeedButton16Click(), SilentAbort);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, QStringLiteral("您的查询语句含有不正确的的“（”“）”,请修改！"));
    EXPECT_EQ(dialogs.boxes[0].title, QStringLiteral("Velmora"));
    EXPECT_EQ(QString::fromStdString(DM->Qryhvel.sql()), sql);
}

}  // namespace
