// The shared operations of the entry windows: code lists, the multi-choice codec and the text
// helpers.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QStringList>
#include <memory>
#include <optional>
#include <ostream>
#include <vector>

#include "ChoiceBoxes.h"
#include "Clock.h"
#include "CodeLists.h"
#include "Database.h"
#include "Dataset.h"
#include "Dialogs.h"
#include "EntryText.h"
#include "SilentAbort.h"
#include "SqlText.h"
#include "TableFixture.h"

namespace {

using widgets::Icon;

QStringList itemsOf(const QComboBox& combo) {
    QStringList items;
    for (int i = 0; i < combo.count(); ++i) {
        items << combo.itemText(i);
    }
    return items;
}

QStringList qstrings(const std::vector<const char*>& texts) {
    QStringList list;
    for (const char* text : texts) {
        list << QString::fromUtf8(text);
    }
    return list;
}

class Operations : public ::testing::Test {
protected:
    widgets::ScriptedDialogs dialogs;
};

// ---- code lists over the option table ----------------------------------------------------

class CodeLists : public Operations {
protected:
    void SetUp() override {
        tables.write("zdxx",
                     "zddm C(20)\txxdm C(6)\txxmc C(60)\n"
                     "item_193\t1\t男\n"
                     "item_193\t2\t女\n"
                     "item_193\t3\t**旧选项\n"
                     "item_193\t4\t\n"
                     "item_198\t1\t教授\n");
        tables.write("province",
                     "Province_i C(2)\tProvince_n C(20)\n"
                     "11\t北京\n"
                     "12\t\n"
                     "13\t河北\n");
        db = std::make_unique<store::Database>(tables.data());
        zdxx = std::make_unique<store::Table>(*db, "zdxx");
    }

    testsupport::TableFolder tables;
    std::unique_ptr<store::Database> db;
    std::unique_ptr<store::Table> zdxx;
};

struct FillCase {
    const char* name;
    bool legacyKept;
    bool keepWithoutBlank;
    std::vector<const char*> items;
};

void PrintTo(const FillCase& c, std::ostream* os) {
    *os << c.name;
}

class FillCodeLists : public CodeLists, public ::testing::WithParamInterface<FillCase> {};

TEST_P(FillCodeLists, ListTheFieldsOptionsWithNoneSelected) {
    const FillCase& c = GetParam();
    QComboBox combo;
    combo.addItems({QStringLiteral("old item")});
    combo.setCurrentIndex(0);
    if (c.legacyKept) {
        widgets::FillCodeListAll(*zdxx, QStringLiteral("item_193"), &combo, c.keepWithoutBlank);
    } else {
        widgets::FillCodeList(*zdxx, QStringLiteral("item_193"), &combo, c.keepWithoutBlank);
    }
    EXPECT_EQ(itemsOf(combo), qstrings(c.items));
    EXPECT_EQ(combo.currentIndex(), -1);
    // The table is left open and filtered on the field.
    ASSERT_TRUE(zdxx->active());
    EXPECT_EQ(zdxx->recordCount(), 4);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FillCodeLists,
    ::testing::Values(FillCase{"legacy_left_out_blank_last", false, false, {"1  男", "2  女", " "}},
                      FillCase{"without_blank", false, true, {"1  男", "2  女"}},
                      FillCase{"legacy_kept", true, false, {"1  男", "2  女", "3  **旧选项", " "}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CodeLists, PairListShowsRowsWithBothFieldsAndClearsTheFilter) {
    store::Table province(*db, "province");
    province.setFilter("Province_i='13'");
    province.open();
    QComboBox combo;
    widgets::FillPairList(province, &combo, QStringLiteral("Province_i"),
                          QStringLiteral("Province_n"), false);
    EXPECT_EQ(itemsOf(combo), (QStringList{QStringLiteral("11  (北京)"),
                                           QStringLiteral("13  (河北)"), QStringLiteral(" ")}));
    EXPECT_EQ(combo.currentIndex(), -1);
    EXPECT_EQ(province.filter(), "");
}

TEST_F(CodeLists, FieldValuesKeepDuplicatesAndSkipNulls) {
    zdxx->open();
    QComboBox combo;
    widgets::FillFieldValues(*zdxx, &combo, QStringLiteral("xxmc"));
    EXPECT_EQ(itemsOf(combo), qstrings({"男", "女", "**旧选项", "教授"}));
    widgets::FillFieldValues(*zdxx, &combo, QStringLiteral("xxdm"));
    EXPECT_EQ(itemsOf(combo), qstrings({"1", "2", "3", "4", "1"}));
}

TEST_F(CodeLists, ClassCodeShowsCodeAndNameOrNothing) {
    tables.write("xkfl",
                 "jb C(1)\txxdm C(10)\tmc C(60)\n"
                 "1\t110\t数学\n"
                 "2\t11011\t数学史\n");
    store::Table xkfl(*db, "xkfl");
    QLineEdit edit(QStringLiteral("before"));
    // The unit page looks codes up with the blank it stores after them.
    widgets::ShowClassCode(xkfl, QStringLiteral("11011 "), &edit);
    EXPECT_EQ(edit.text(), QStringLiteral("11011  数学史"));
    widgets::ShowClassCode(xkfl, QStringLiteral("999"), &edit);
    EXPECT_EQ(edit.text(), QString());
    EXPECT_EQ(xkfl.filter(), "xxdm='999'");
}

TEST_F(CodeLists, RunQuerySqlReplacesTheStatement) {
    store::Query query(*db);
    RunQuerySql(query, QStringLiteral("select * from zdxx"));
    EXPECT_EQ(query.recordCount(), 5);
    RunQuerySql(query, QStringLiteral("select * from zdxx where zddm='item_198'"));
    ASSERT_TRUE(query.active());
    EXPECT_EQ(query.recordCount(), 1);
    EXPECT_EQ(query.field("xxmc").asText(), "教授");
}

struct SelectCase {
    const char* name;
    std::vector<const char*> items;
    int before;
    const char* code;
    int after;
};

void PrintTo(const SelectCase& c, std::ostream* os) {
    *os << c.name;
}

class SelectCodeItems : public Operations, public ::testing::WithParamInterface<SelectCase> {};

TEST_P(SelectCodeItems, SelectTheItemOfTheCode) {
    const SelectCase& c = GetParam();
    QComboBox combo;
    combo.addItems(qstrings(c.items));
    combo.setCurrentIndex(c.before);
    widgets::SelectCodeItem(QString::fromUtf8(c.code), &combo);
    EXPECT_EQ(combo.currentIndex(), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SelectCodeItems,
    ::testing::Values(SelectCase{"code_found", {"1  男", "2  女", " "}, -1, "2", 1},
                      SelectCase{"code_part_trimmed", {"01   甲", " 02  乙"}, 0, "02", 1},
                      SelectCase{"no_match_keeps_selection", {"1  男", "2  女", " "}, 1, "9", 1},
                      SelectCase{"last_match_wins", {"1  a", "1  b", "2  c"}, -1, "1", 1},
                      SelectCase{"blank_item_never_chosen", {"1  a", " "}, 0, "", 0},
                      SelectCase{
                          "text_without_two_blanks_has_no_code", {"1 a", "1  b"}, -1, "1", 1}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- choice panels -----------------------------------------------------------------------

// A form with the panel under test, a box of the same code in another panel and one nested
// deeper inside the panel: only the panel's own boxes count.
class ChoicePanel {
public:
    explicit ChoicePanel(const std::vector<const char*>& names) {
        panel = new QWidget(&window);
        for (const char* name : names) {
            QAbstractButton* box = QString::fromUtf8(name).startsWith(QStringLiteral("RB"))
                                       ? static_cast<QAbstractButton*>(new QRadioButton(panel))
                                       : new QCheckBox(panel);
            box->setObjectName(QString::fromUtf8(name));
            boxes.push_back(box);
        }
        auto* otherPanel = new QWidget(&window);
        outside = new QCheckBox(otherPanel);
        outside->setObjectName(QStringLiteral("CB_999_09"));
        auto* inner = new QWidget(panel);
        nested = new QCheckBox(inner);
        nested->setObjectName(QStringLiteral("CB_998_09"));
    }

    QStringList checkedNames() const {
        QStringList names;
        for (QAbstractButton* box : boxes) {
            if (box->isChecked()) {
                names << box->objectName();
            }
        }
        return names;
    }

    QWidget window;
    QWidget* panel;
    std::vector<QAbstractButton*> boxes;
    QCheckBox* outside;
    QCheckBox* nested;
};

struct CollectCase {
    const char* name;
    std::vector<const char*> boxes;  // in component order; names starting "RB" are radio buttons
    std::vector<int> checked;
    int n;
    std::optional<const char*> value;  // none: the action is cancelled
    std::vector<const char*> warnings;
};

void PrintTo(const CollectCase& c, std::ostream* os) {
    *os << c.name;
}

class CollectCheckedCodes : public Operations, public ::testing::WithParamInterface<CollectCase> {};

TEST_P(CollectCheckedCodes, BuildTheStoredValue) {
    const CollectCase& c = GetParam();
    ChoicePanel choice(c.boxes);
    for (int index : c.checked) {
        choice.boxes[static_cast<size_t>(index)]->setChecked(true);
    }
    choice.outside->setChecked(true);
    choice.nested->setChecked(true);
    const QString caption = QStringLiteral("高新技术领域");

    std::optional<QString> value;
    try {
        value = widgets::CollectCheckedCodes(&choice.window, choice.panel, c.n, caption);
    } catch (const SilentAbort&) {
    }

    size_t box = 0;
    for (const char* warning : c.warnings) {
        ASSERT_LT(box, dialogs.boxes.size());
        EXPECT_EQ(dialogs.boxes[box].text, QString::fromUtf8(warning));
        EXPECT_EQ(dialogs.boxes[box].title, QStringLiteral("Velmora"));
        EXPECT_EQ(dialogs.boxes[box].icon, Icon::Warning);
        ++box;
    }
    if (c.value) {
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(*value, QString::fromUtf8(*c.value));
        EXPECT_EQ(dialogs.boxes.size(), box);
    } else {
        EXPECT_FALSE(value.has_value());
        ASSERT_EQ(dialogs.boxes.size(), box + 1);
        EXPECT_EQ(dialogs.boxes[box].text,
                  QStringLiteral("'高新技术领域'项目为复选项目，但至多选择二项！"));
        EXPECT_EQ(dialogs.boxes[box].title, QStringLiteral("提示"));
        EXPECT_EQ(dialogs.boxes[box].icon, Icon::Question);
        EXPECT_EQ(dialogs.boxes[box].buttons, widgets::Ok);
    }
}

const std::vector<const char*> kTwoDigitBoxes = {"CB_124_1_07", "CB_124_1_03", "CB_124_1_05",
                                                 "CB_124_1_11"};

INSTANTIATE_TEST_SUITE_P(
    Cases, CollectCheckedCodes,
    ::testing::Values(
        CollectCase{"none_checked", kTwoDigitBoxes, {}, 2, "", {}},
        CollectCase{"one_code", kTwoDigitBoxes, {2}, 2, "05;", {}},
        CollectCase{"two_codes_put_in_ascending_order", kTwoDigitBoxes, {0, 1}, 2, "03;07;", {}},
        CollectCase{"two_codes_already_ascending", kTwoDigitBoxes, {1, 3}, 2, "03;11;", {}},
        CollectCase{"three_codes_cancel", kTwoDigitBoxes, {0, 1, 2}, 2, std::nullopt, {}},
        CollectCase{"one_character_codes_keep_component_order",
                    {"CB_123_B", "CB_123_A"},
                    {0, 1},
                    1,
                    "B;A;",
                    {}},
        CollectCase{"radio_panel_gives_its_code_alone", {"RB_123_A", "RB_123_B"}, {1}, 1, "B", {}},
        CollectCase{"radio_panel_two_digit_code", {"RB_125_01", "RB_125_05"}, {1}, 2, "05", {}},
        CollectCase{"code_that_is_not_a_number_warns_and_keeps_order",
                    {"CB_200_AB", "CB_200_03"},
                    {0, 1},
                    2,
                    "AB;03;",
                    {"'AB'不是数字格式！"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct CheckCase {
    const char* name;
    const char* value;
    int n;
    std::vector<const char*> checked;
};

void PrintTo(const CheckCase& c, std::ostream* os) {
    *os << c.name;
}

class CheckCodeBoxes : public Operations, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(CheckCodeBoxes, CheckTheBoxesOfTheStoredCodes) {
    const CheckCase& c = GetParam();
    ChoicePanel choice({"CB_124_1_03", "CB_124_1_05", "CB_124_1_07", "RB_125_A", "RB_125_B"});
    widgets::CheckCodeBoxes(&choice.window, choice.panel, QString::fromUtf8(c.value), c.n);
    EXPECT_EQ(choice.checkedNames(), qstrings(c.checked));
    EXPECT_FALSE(choice.outside->isChecked());
    EXPECT_FALSE(choice.nested->isChecked());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckCodeBoxes,
    ::testing::Values(CheckCase{"two_codes", "03;07;", 2, {"CB_124_1_03", "CB_124_1_07"}},
                      CheckCase{"empty_value", "", 2, {}},
                      CheckCase{"one_code", "05;", 2, {"CB_124_1_05"}},
                      CheckCase{"radio_value_without_separator", "B", 1, {"RB_125_B"}},
                      CheckCase{
                          "second_code_without_closing_separator", "03;07", 2, {"CB_124_1_03"}},
                      CheckCase{"codes_trimmed", " 03 ; 07 ;", 2, {"CB_124_1_03", "CB_124_1_07"}},
                      CheckCase{"code_without_a_box", "09;", 2, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Operations, CollectReadsBackWhatCheckCodeBoxesSet) {
    ChoicePanel choice({"CB_124_1_07", "CB_124_1_03", "CB_124_1_05"});
    widgets::CheckCodeBoxes(&choice.window, choice.panel, QStringLiteral("03;07;"), 2);
    EXPECT_EQ(widgets::CollectCheckedCodes(&choice.window, choice.panel, 2, QStringLiteral("x")),
              QStringLiteral("03;07;"));
}

TEST_F(Operations, ClearChoiceBoxesUnchecksEveryBoxOfTheForm) {
    ChoicePanel choice({"CB_124_1_03", "RB_125_A", "RB_125_B"});
    for (QAbstractButton* box : choice.boxes) {
        box->setChecked(true);
    }
    choice.outside->setChecked(true);
    choice.nested->setChecked(true);
    widgets::ClearChoiceBoxes(&choice.window);
    EXPECT_EQ(choice.checkedNames(), QStringList());
    EXPECT_FALSE(choice.outside->isChecked());
    EXPECT_FALSE(choice.nested->isChecked());
    // The radio buttons still exclude each other afterwards.
    choice.boxes[1]->setChecked(true);
    choice.boxes[2]->setChecked(true);
    EXPECT_FALSE(choice.boxes[1]->isChecked());
}

// ---- texts -------------------------------------------------------------------------------

TEST_F(Operations, RequireTextTrimsOrWarnsAndCancels) {
    EXPECT_EQ(widgets::RequireText(QStringLiteral("  名称 "), QStringLiteral("unused")),
              QStringLiteral("名称"));
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_THROW(
        widgets::RequireText(QStringLiteral(" \t "), QStringLiteral("\"成果名称\"不能为空！")),
        SilentAbort);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, QStringLiteral("\"成果名称\"不能为空！"));
    EXPECT_EQ(dialogs.boxes[0].title, QStringLiteral("Velmora"));
    EXPECT_EQ(dialogs.boxes[0].icon, Icon::Warning);
    EXPECT_EQ(dialogs.boxes[0].buttons, widgets::Ok);
}

struct TextCase {
    const char* name;
    QString (*operation)(QString);
    const char* input;
    const char* output;
};

void PrintTo(const TextCase& c, std::ostream* os) {
    *os << c.name;
}

class TextHelpers : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextHelpers, Convert) {
    const TextCase& c = GetParam();
    EXPECT_EQ(c.operation(QString::fromUtf8(c.input)), QString::fromUtf8(c.output));
}

QString isoDate(QString text) {
    return widgets::IsoDateText(text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextHelpers,
    ::testing::Values(TextCase{"quote_doubled", &QuoteSqlText, "O'Brien", "O''Brien"},
                      TextCase{"no_quote_unchanged", &QuoteSqlText, "张三", "张三"},
                      TextCase{"every_quote_doubled", &QuoteSqlText, "'a''", "''a''''"},
                      TextCase{"tabs_to_blanks", &widgets::TabsToSpaces, "a\tb\t\tc", "a b  c"},
                      TextCase{"iso_date", &isoDate, "2004.03.10", "2004-03-10"}),
    [](const auto& info) { return std::string(info.param.name); });

struct SplitCase {
    const char* name;
    const char* text;
    std::vector<const char*> edits;
};

void PrintTo(const SplitCase& c, std::ostream* os) {
    *os << c.name;
}

class SplitToControls : public Operations, public ::testing::WithParamInterface<SplitCase> {};

TEST_P(SplitToControls, SpreadThePartsOverThreeEdits) {
    const SplitCase& c = GetParam();
    QLineEdit e1(QStringLiteral("old")), e2(QStringLiteral("old")), e3(QStringLiteral("old"));
    widgets::SplitToControls(QString::fromUtf8(c.text), &e1, &e2, &e3);
    EXPECT_EQ((QStringList{e1.text(), e2.text(), e3.text()}), qstrings(c.edits));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitToControls,
    ::testing::Values(SplitCase{"one_part", "稻瘟病", {"稻瘟病", "", ""}},
                      SplitCase{"two_parts", "a;b", {"a", "b", ""}},
                      SplitCase{"three_parts", "a;b;c", {"a", "b", "c"}},
                      SplitCase{"after_a_third_separator_dropped", "a;b;c;d", {"a", "b", "c"}},
                      SplitCase{"empty", "", {"", "", ""}}),
    [](const auto& info) { return std::string(info.param.name); });

struct PeriodCase {
    const char* name;
    const char* period;
    QDate today;
    std::vector<const char*> edits;  // start year, start month, end year, end month
};

void PrintTo(const PeriodCase& c, std::ostream* os) {
    *os << c.name;
}

class SplitPeriod : public Operations, public ::testing::WithParamInterface<PeriodCase> {};

TEST_P(SplitPeriod, FillsYearAndMonthEdits) {
    const PeriodCase& c = GetParam();
    widgets::FixedClock clock(c.today);
    QLineEdit sy, sm, ey, em;
    widgets::SplitPeriod(QString::fromUtf8(c.period), &sy, &sm, &ey, &em);
    EXPECT_EQ((QStringList{sy.text(), sm.text(), ey.text(), em.text()}), qstrings(c.edits));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitPeriod,
    ::testing::Values(
        PeriodCase{
            "stored_period", "2003.05   至2004.02", {2004, 3, 10}, {"2003", "05", "2004", "02"}},
        PeriodCase{"stored_period_with_blanks",
                   " 2001.11   至2003.12 ",
                   {2004, 3, 10},
                   {"2001", "11", "2003", "12"}},
        PeriodCase{"empty_period_gives_this_month", "", {2004, 5, 17}, {"2004", "5", "2004", "5"}},
        PeriodCase{"two_digit_month_of_today", "", {2010, 10, 3}, {"2010", "10", "2010", "10"}},
        PeriodCase{"too_short_period_gives_this_month",
                   "2003.05",
                   {2004, 12, 1},
                   {"2004", "12", "2004", "12"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
