// The classification picker: the tree built from a level table, and the target it writes.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <filesystem>
#include <memory>
#include <ostream>
#include <stdexcept>

#include "Dataset.h"
#include "Dialogs.h"
#include "Errors.h"
#include "TableFixture.h"
#include "UnitDM.h"
#include "UnitPage1.h"
#include "Unitpage10.h"
#include "Unitpage4a.h"
#include "Unittree.h"

namespace {

// "text[child,child[grandchild]]" for every top-level node, joined by ",".
QString shape(QTreeWidgetItem* item) {
    QString text = item->text(0);
    if (item->childCount() > 0) {
        QStringList children;
        for (int i = 0; i < item->childCount(); ++i) {
            children << shape(item->child(i));
        }
        text += QLatin1Char('[') + children.join(QLatin1Char(',')) + QLatin1Char(']');
    }
    return text;
}

QString shape(const QTreeWidget& tree) {
    QStringList top;
    for (int i = 0; i < tree.topLevelItemCount(); ++i) {
        top << shape(tree.topLevelItem(i));
    }
    return top.join(QLatin1Char(','));
}

struct TreeCase {
    const char* name;
    const char* rows;  // level, code, name per line
    const char* shape;
};

void PrintTo(const TreeCase& c, std::ostream* os) {
    *os << c.name;
}

class LoadClassTree : public ::testing::TestWithParam<TreeCase> {};

TEST_P(LoadClassTree, PlacesEachRowUnderTheLastNodeOfTheLevelAbove) {
    const TreeCase& c = GetParam();
    testsupport::TableFolder tables;
    tables.write("levels", std::string("jb N(2,0)\txxdm C(10)\txxmc C(40)\n") + c.rows);
    store::Database db(tables.data());
    store::Table table(db, "levels");
    QTreeWidget tree;
    tree.addTopLevelItem(new QTreeWidgetItem(QStringList{QStringLiteral("left over")}));

    TFormTree::LoadClassTree(table, &tree);

    EXPECT_EQ(shape(tree), QString::fromUtf8(c.shape));
    EXPECT_TRUE(tree.topLevelItem(0)->isExpanded());
    EXPECT_FALSE(table.active());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoadClassTree,
    ::testing::Values(TreeCase{"levels_1_2_2_1_2",
                               "1\tA \t甲类 \n2\tA1\t甲一\n2\tA2\t甲二\n1\tB\t乙类\n2\tB1\t乙一\n",
                               "详细分类[A  甲类[A1  甲一,A2  甲二],B  乙类[B1  乙一]]"},
                      TreeCase{"level_0_and_below_left_out",
                               "0\tX\t总\n1\tA\t甲\n-1\tY\t负\n2\tA1\t甲一\n",
                               "详细分类[A  甲[A1  甲一]]"},
                      TreeCase{"deeper_than_four_under_the_level_above",
                               "1\tA\t甲\n2\tA1\t甲一\n3\tA11\t三\n4\tA111\t四\n5\tA1111\t五\n",
                               "详细分类[A  甲[A1  甲一[A11  三[A111  四[A1111  五]]]]]"},
                      TreeCase{"child_without_a_parent_beside_the_root", "2\tZ1\t无主\n1\tA\t甲\n",
                               "详细分类[A  甲],Z1  无主"},
                      TreeCase{"empty_table_gives_the_root", "", "详细分类"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LoadClassTreeFailure, LevelThatIsNotANumberStopsAndClosesTheTable) {
    testsupport::TableFolder tables;
    tables.write("levels", "jb C(2)\txxdm C(10)\txxmc C(40)\n1\tA\t甲\nx\tB\t乙\n");
    store::Database db(tables.data());
    store::Table table(db, "levels");
    QTreeWidget tree;
    try {
        TFormTree::LoadClassTree(table, &tree);
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        // Said in Chinese, naming the table and the level.
        EXPECT_STREQ(e.what(), "levels 第2行的级别“x”不是整数，无法显示分类树！");
    }
    EXPECT_FALSE(table.active());
}

// ---- the picker window -------------------------------------------------------------------

class TreePicker : public ::testing::Test {
protected:
    void SetUp() override {
        tables.write("xkfl",
                     "jb C(1)\txxdm C(10)\txxmc C(60)\n"
                     "1\t110\t数学\n2\t11011\t数学史\n1\t120\t信息科学\n");
        tables.write("ztflh",
                     "jb C(1)\txxdm C(10)\txxmc C(60)\n"
                     "1\tA\t马克思主义\n2\tA1\t马克思著作\n");
        tables.write("gxjs",
                     "jb C(1)\txxdm C(10)\txxmc C(60)\n"
                     "1\t01\t电子信息\n2\t0101\t软件\n");
        dm = std::make_unique<TDM>(tables.path());
        DM = dm.get();
        TreeTargetPage1.fill(0);
        TreeTargetUnit.fill(0);
        picker.registerTarget(TreeTargetPage1, 0, &edt15, QStringLiteral("xkfl"));
        picker.registerTarget(TreeTargetPage1, 2, &edt12, QStringLiteral("ztflh"));
        picker.registerTarget(TreeTargetUnit, 5, &unitEdit, QStringLiteral("gxjs"));
    }

    void TearDown() override { DM = nullptr; }

    // The way a page opens the picker: its own selector zeroed, its target's byte set.
    template <size_t N>
    int open(std::array<unsigned char, N>& selector, int byte) {
        selector.fill(0);
        selector[static_cast<size_t>(byte)] = 1;
        return picker.showFor(selector);
    }

    // While the picker is shown: choose the node with text (the root when empty), then click.
    void answer(const QString& node, const char* button) {
        dialogs.onExec = [this, node, button](QDialog& dialog) {
            auto* tree = dialog.findChild<QTreeWidget*>(QStringLiteral("TreeView1"));
            ASSERT_NE(tree, nullptr);
            shownTree = shape(*tree);
            ASSERT_NE(tree->currentItem(), nullptr);
            EXPECT_EQ(tree->currentItem()->text(0), QStringLiteral("详细分类"));
            EXPECT_TRUE(tree->currentItem()->isExpanded());
            if (!node.isEmpty()) {
                const auto found = tree->findItems(node, Qt::MatchExactly | Qt::MatchRecursive);
                ASSERT_EQ(found.size(), 1);
                tree->setCurrentItem(found[0]);
            }
            dialog.findChild<QPushButton*>(QString::fromLatin1(button))->click();
        };
    }

    int treeSize() { return picker.findChild<QTreeWidget*>()->topLevelItemCount(); }

    testsupport::TableFolder tables;
    std::unique_ptr<TDM> dm;
    widgets::ScriptedDialogs dialogs;
    TFormTree picker;
    QLineEdit edt15, edt12, unitEdit;
    QString shownTree;
};

TEST_F(TreePicker, HasItsCaptionAndButtons) {
    EXPECT_EQ(picker.windowTitle(), QStringLiteral("分类选择"));
    EXPECT_EQ(picker.findChild<QPushButton*>(QStringLiteral("Button1"))->text(),
              QStringLiteral("确认"));
    EXPECT_EQ(picker.findChild<QPushButton*>(QStringLiteral("Button2"))->text(),
              QStringLiteral("取消"));
}

TEST_F(TreePicker, ChosenNodeGoesIntoTheTarget) {
    answer(QStringLiteral("11011  数学史"), "Button1");
    EXPECT_EQ(open(TreeTargetPage1, 0), QDialog::Accepted);
    EXPECT_EQ(shownTree, QStringLiteral("详细分类[110  数学[11011  数学史],120  信息科学]"));
    EXPECT_EQ(edt15.text(), QStringLiteral("11011  数学史"));
    EXPECT_EQ(treeSize(), 0);
    EXPECT_EQ(dm->Table1.tableName(), "xkfl");
    EXPECT_FALSE(dm->Table1.active());
}

TEST_F(TreePicker, RootChoiceEmptiesTheTarget) {
    edt15.setText(QStringLiteral("110  数学"));
    answer(QString(), "Button1");
    EXPECT_EQ(open(TreeTargetPage1, 0), QDialog::Accepted);
    EXPECT_EQ(edt15.text(), QString());
}

TEST_F(TreePicker, CancelLeavesTheTarget) {
    edt15.setText(QStringLiteral("110  数学"));
    answer(QStringLiteral("120  信息科学"), "Button2");
    EXPECT_EQ(open(TreeTargetPage1, 0), QDialog::Rejected);
    EXPECT_EQ(edt15.text(), QStringLiteral("110  数学"));
    EXPECT_EQ(treeSize(), 0);
}

TEST_F(TreePicker, ByteLeftInAnotherCallersSelectorIsIgnored) {
    answer(QStringLiteral("0101  软件"), "Button1");
    open(TreeTargetUnit, 5);
    EXPECT_EQ(unitEdit.text(), QStringLiteral("0101  软件"));
    ASSERT_EQ(TreeTargetUnit[5], 1);  // the unit page's byte stays set

    answer(QStringLiteral("A1  马克思著作"), "Button1");
    open(TreeTargetPage1, 2);
    EXPECT_EQ(shownTree, QStringLiteral("详细分类[A  马克思主义[A1  马克思著作]]"));
    EXPECT_EQ(edt12.text(), QStringLiteral("A1  马克思著作"));
    EXPECT_EQ(unitEdit.text(), QStringLiteral("0101  软件"));
    EXPECT_EQ(edt15.text(), QString());
}

TEST_F(TreePicker, MissingTableFailsBeforeShowing) {
    std::filesystem::remove(tables.data() / "ztflh.dbf");
    EXPECT_THROW(open(TreeTargetPage1, 2), store::EngineError);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(edt12.text(), QString());
}

TEST_F(TreePicker, SelectorWithoutARegisteredTargetIsRefused) {
    EXPECT_THROW(open(TreeTargetPage1, 1), std::logic_error);
    EXPECT_THROW(picker.showFor(TreeTargetSubUnit), std::logic_error);
    EXPECT_TRUE(dialogs.shown.empty());
}

}  // namespace
