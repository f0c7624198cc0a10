// The registering unit's discipline leaders: the list "学科带头人情况" and its dialog.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <functional>

#include "Finto11Unit.h"
#include "PageFixture.h"
#include "Product.h"
#include "Unitpage11.h"
#include "Unitpage4a.h"
#include "ui_Finto11Unit.h"
#include "ui_Unitpage11.h"
#include "ui_Unitpage4a.h"

using testsupport::readRows;
using testsupport::Row;

namespace {

Row leader(const char* number, const char* name, const char* unitcode = "9990001000") {
    return {{"unitcode", unitcode},  {"item_187", number}, {"item_180", name},  {"item_181", "1"},
            {"item_182", "1960.05"}, {"item_186", "说明"}, {"item_124_1", "02"}};
}

class LeadersTest : public testsupport::PageFixture {
protected:
    // unitcode: the unit row's code; null for no unit row yet.
    void open(const std::vector<Row>& leaders, const char* unitcode = "9990001000") {
        if (unitcode != nullptr) {
            append("unit.dbf",
                   {{{"unitcode", unitcode}, {"unitlevel", "1"}, {"item_9", "某研究院"}}});
        }
        append("unitexpert.dbf", leaders);
        start({}, {}, false);
        unitPage = std::make_unique<TFpage4a>(*m_form, *m_tree, m_form.get());
        list = std::make_unique<TFpage11>(*m_form, m_form.get());
        dialog = std::make_unique<TFinto11>(m_form.get());
        Fpage4a = unitPage.get();
        Fpage11 = list.get();
        Finto11 = dialog.get();
        d = dialog->form();
    }

    void TearDown() override {
        Finto11 = nullptr;
        Fpage11 = nullptr;
        Fpage4a = nullptr;
        dialog.reset();
        list.reset();
        unitPage.reset();
        PageFixture::TearDown();
    }

    // "学科带头人情况" on the unit's page; onList runs while the list is shown, onDialog while
    // the leader dialog is.
    void showList(const std::function<void()>& onList, const std::function<void()>& onDialog = {}) {
        m_boxes.onExec = [&](QDialog& shown) {
            if (&shown == list.get() && onList) {
                onList();
            } else if (&shown == dialog.get() && onDialog) {
                onDialog();
            }
        };
        DM->Tblunit.first();
        unitPage->form()->BitBtndtr->click();
        m_boxes.onExec = nullptr;
    }

    void fill(const char* name, const char* year, const char* month, const char* description) {
        d->edtry_180->setText(QString::fromUtf8(name));
        d->cbry_181->setCurrentIndex(1);
        d->Edt_both_1->setText(QString::fromUtf8(year));
        d->edt_both_2->setText(QString::fromUtf8(month));
        d->cbry_124_1->setCurrentIndex(4);
        d->edtry_186->setText(QString::fromUtf8(description));
    }

    QStringList listed(const char* field) const {
        QStringList values;
        store::Table& rows = DM->Tblexpert;
        const auto mark = rows.recordCount() > 0 ? rows.bookmark() : -1;
        for (rows.first(); !rows.eof(); rows.next()) {
            values << QString::fromStdString(rows.field(field).asText());
        }
        if (mark >= 0) {
            rows.gotoBookmark(mark);
        }
        return values;
    }

    // The texts of the list's grid column titled title, top to bottom, as the user sees them.
    QStringList shown(const QString& title) const {
        QTableView* grid = list->form()->DBGrid4;
        QAbstractItemModel* model = grid->model();
        QStringList values;
        for (int column = 0; model != nullptr && column < model->columnCount(); ++column) {
            if (!grid->isColumnHidden(column) &&
                model->headerData(column, Qt::Horizontal).toString() == title) {
                for (int row = 0; row < model->rowCount(); ++row) {
                    values << model->index(row, column).data().toString();
                }
            }
        }
        return values;
    }

    QString current(const char* field) const {
        return QString::fromStdString(DM->Tblexpert.field(field).asText());
    }

    std::vector<Row> stored() const { return readRows(m_program.file("unitexpert.dbf")); }

    std::unique_ptr<TFpage4a> unitPage;
    std::unique_ptr<TFpage11> list;
    std::unique_ptr<TFinto11> dialog;
    Ui::TFinto11* d = nullptr;
};

TEST_F(LeadersTest, ListShowsTheUnitsLeadersWithoutRenumbering) {
    open({leader("5", "张三"), leader("7", "李四"), leader("1", "王五", "1234567890")});
    showList([&] {
        EXPECT_EQ(shown(QStringLiteral("姓名")),
                  (QStringList{QStringLiteral("张三"), QStringLiteral("李四")}));
        EXPECT_EQ(shown(QStringLiteral("性别")),
                  (QStringList{QStringLiteral("男"), QStringLiteral("男")}));
        EXPECT_EQ(shown(QStringLiteral("研究领域")),
                  (QStringList{QStringLiteral("软件"), QStringLiteral("软件")}));
        EXPECT_EQ(shown(QStringLiteral("出生年月")),
                  (QStringList{QStringLiteral("1960.05"), QStringLiteral("1960.05")}));
        list->form()->quit01->click();
    });
    EXPECT_EQ(DM->Tblexpert.filter(), "unitcode='9990001000'");
    EXPECT_EQ(listed("item_187"), (QStringList{QStringLiteral("5"), QStringLiteral("7")}));
    EXPECT_TRUE(m_boxes.boxes.empty());
}

TEST_F(LeadersTest, AddsSeveralLeadersInOneOpening) {
    open({leader("1", "张三")});
    showList([&] { list->form()->Button2->click(); },
             [&] {
                 EXPECT_EQ(dialog->windowTitle(), QStringLiteral("新增－－【学科带头人名单】"));
                 EXPECT_EQ(d->cbry_181->currentIndex(), 0);
                 EXPECT_EQ(d->cbry_124_1->currentIndex(), -1);
                 fill("  李四  ", "1965", "3", "甲");
                 dialog->edt_both_2Exit();
                 EXPECT_EQ(d->edt_both_2->text(), QStringLiteral("03"));
                 EXPECT_TRUE(dialog->Button1Click());
                 EXPECT_TRUE(d->edtry_180->text().isEmpty());
                 EXPECT_TRUE(d->edtry_186->text().isEmpty());
                 // Each leader's birth month is typed for that leader.
                 EXPECT_TRUE(d->Edt_both_1->text().isEmpty());
                 EXPECT_TRUE(d->edt_both_2->text().isEmpty());
                 d->edtry_180->setText(QStringLiteral("王五"));
                 EXPECT_FALSE(dialog->Button1Click());
                 d->Edt_both_1->setText(QStringLiteral("1970"));
                 d->edt_both_2->setText(QStringLiteral("01"));
                 EXPECT_TRUE(dialog->Button1Click());
                 dialog->Button2Click();
             });
    EXPECT_EQ(boxTexts(), (QStringList{QStringLiteral("存储成功！"), QStringLiteral("年份不合法！"),
                                       QStringLiteral("存储成功！")}));
    const auto rows = stored();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].at("item_180"), "李四");
    EXPECT_EQ(rows[1].at("item_187"), "2");
    EXPECT_EQ(rows[1].at("unitcode"), "9990001000");
    EXPECT_EQ(rows[1].at("item_181"), "2");
    EXPECT_EQ(rows[1].at("item_182"), "1965.03");
    EXPECT_EQ(rows[1].at("item_124_1"), "05");
    EXPECT_EQ(rows[1].at("item_186"), "甲");
    EXPECT_EQ(rows[2].at("item_180"), "王五");
    EXPECT_EQ(rows[2].at("item_187"), "3");
    EXPECT_EQ(rows[2].at("item_182"), "1970.01");
}

TEST_F(LeadersTest, NewLeaderDoesNotTakeOverTheLastBirthMonth) {
    open({leader("1", "张三")});
    showList(
        [&] {
            list->form()->Button3->click();
            list->form()->Button2->click();
        },
        [&] {
            if (dialog->isEditing()) {
                EXPECT_EQ(d->Edt_both_1->text(), QStringLiteral("1960"));
            } else {
                EXPECT_TRUE(d->Edt_both_1->text().isEmpty());
                EXPECT_TRUE(d->edt_both_2->text().isEmpty());
            }
            dialog->Button2Click();
        });
}

struct UnitRowCase {
    const char* name;
    const char* unitcode;  // of the unit row; null for none
};

void PrintTo(const UnitRowCase& c, std::ostream* os) {
    *os << c.name;
}

class LeaderBeforeUnitTest : public LeadersTest,
                             public ::testing::WithParamInterface<UnitRowCase> {};

// The list shows the leaders under the code new leaders get, whether or not the unit page was
// ever saved: a leader added is listed at once, and still once the unit is stored.
TEST_P(LeaderBeforeUnitTest, AddedLeaderIsListed) {
    open({}, GetParam().unitcode);
    showList(
        [&] {
            list->form()->Button2->click();
            EXPECT_EQ(shown(QStringLiteral("姓名")), QStringList{QStringLiteral("李四")});
            list->form()->quit01->click();
        },
        [&] {
            fill("李四", "1965", "03", "");
            EXPECT_TRUE(dialog->Button1Click());
            dialog->Button2Click();
        });
    ASSERT_EQ(stored().size(), 1u);
    EXPECT_EQ(stored()[0].at("unitcode"), "9990001000");

    unitPage->form()->btnSave01->click();
    QStringList again;
    showList([&] {
        again = shown(QStringLiteral("姓名"));
        list->form()->quit01->click();
    });
    EXPECT_EQ(again, QStringList{QStringLiteral("李四")});
}

INSTANTIATE_TEST_SUITE_P(UnitRows, LeaderBeforeUnitTest,
                         ::testing::Values(UnitRowCase{"no_unit_row", nullptr},
                                           UnitRowCase{"unit_without_code", ""},
                                           UnitRowCase{"unit_of_another_code", "1234567890"},
                                           UnitRowCase{"unit_row", "9990001000"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct CheckCase {
    const char* name;
    const char* leaderName;
    const char* year;
    const char* month;
    const char* message;  // empty: stored
    const char* birth;
};

void PrintTo(const CheckCase& c, std::ostream* os) {
    *os << c.name;
}

class LeaderCheckTest : public LeadersTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(LeaderCheckTest, ChecksInOrder) {
    const CheckCase& c = GetParam();
    open({});
    showList([&] { list->form()->Button2->click(); },
             [&] {
                 fill(c.leaderName, c.year, c.month, "说明");
                 dialog->Button1Click();
                 // Emptied, the dialog closes without a question.
                 d->edtry_180->clear();
                 d->edtry_186->clear();
                 dialog->Button2Click();
             });
    if (*c.message == '\0') {
        EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("存储成功！")});
        ASSERT_EQ(stored().size(), 1u);
        EXPECT_EQ(stored()[0].at("item_182"), c.birth);
    } else {
        EXPECT_EQ(boxTexts(), QStringList{QString::fromUtf8(c.message)});
        EXPECT_TRUE(stored().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LeaderCheckTest,
    ::testing::Values(CheckCase{"name_missing", "  ", "1965", "03", "姓名不能为空！", ""},
                      CheckCase{"short_year", "李四", "19", "03", "年份不合法！", ""},
                      CheckCase{"year_before_1900", "李四", "1899", "03", "年份不合法！", ""},
                      CheckCase{"year_not_a_number", "李四", "abcd", "03", "年份不合法！", ""},
                      CheckCase{"month_13", "李四", "1965", "13", "月份不合法", ""},
                      CheckCase{"month_0", "李四", "1965", "0", "月份不合法", ""},
                      CheckCase{"month_missing", "李四", "1965", "", "月份不合法", ""},
                      CheckCase{"three_digit_year", "李四", "196", "03", "年份不合法！", ""},
                      // The edit holds four digits: a fifth is never stored.
                      CheckCase{"five_digit_year_held_to_four", "李四", "20001", "12", "",
                                "2000.12"},
                      CheckCase{"year_2050", "李四", "2050", "1", "", "2050.1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LeadersTest, NoSexIsRefused) {
    open({});
    showList([&] { list->form()->Button2->click(); },
             [&] {
                 fill("李四", "1965", "03", "");
                 d->cbry_181->setCurrentIndex(-1);
                 EXPECT_FALSE(dialog->Button1Click());
                 d->edtry_180->clear();
                 dialog->Button2Click();
             });
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("性别不能为空！")});
}

TEST_F(LeadersTest, LeavingTheYearAndMonthOnlyInforms) {
    open({});
    showList([&] { list->form()->Button2->click(); },
             [&] {
                 d->Edt_both_1->setText(QStringLiteral("1800"));
                 dialog->Edt_both_1Exit();
                 d->edt_both_2->setText(QStringLiteral("13"));
                 dialog->edt_both_2Exit();
                 EXPECT_EQ(d->Edt_both_1->text(), QStringLiteral("1800"));
                 EXPECT_EQ(d->edt_both_2->text(), QStringLiteral("13"));
                 dialog->Button2Click();
             });
    ASSERT_EQ(m_boxes.boxes.size(), 2u);
    EXPECT_EQ(m_boxes.boxes[0].text, QStringLiteral("非法年份"));
    EXPECT_EQ(m_boxes.boxes[1].text, QStringLiteral("不是合法时间!"));
    for (const auto& box : m_boxes.boxes) {
        EXPECT_EQ(box.icon, widgets::Icon::None);
        EXPECT_EQ(box.title, product::applicationTitle());
    }
}

TEST_F(LeadersTest, EditsTheCurrentLeader) {
    open({leader("1", "张三"), leader("2", "李四")});
    showList(
        [&] {
            DM->Tblexpert.last();
            list->form()->Button3->click();
        },
        [&] {
            EXPECT_EQ(dialog->windowTitle(), QStringLiteral("修改－－【学科带头人名单】"));
            EXPECT_EQ(d->edtry_180->text(), QStringLiteral("李四"));
            EXPECT_TRUE(d->cbry_181->currentText().startsWith(QStringLiteral("1  ")));
            EXPECT_EQ(d->Edt_both_1->text(), QStringLiteral("1960"));
            EXPECT_EQ(d->edt_both_2->text(), QStringLiteral("05"));
            EXPECT_TRUE(d->cbry_124_1->currentText().startsWith(QStringLiteral("02  ")));
            EXPECT_TRUE(dialog->IsLeaderUnchanged());
            d->edtry_180->setText(QStringLiteral(" 李四"));
            d->edt_both_2->setText(QStringLiteral("06"));
            EXPECT_TRUE(dialog->Button1Click());
        });
    const auto rows = stored();
    EXPECT_EQ(rows[1].at("item_180"), " 李四");  // as typed
    EXPECT_EQ(rows[1].at("item_182"), "1960.06");
    EXPECT_EQ(rows[1].at("item_187"), "2");
    EXPECT_EQ(rows[1].at("unitcode"), "9990001000");
}

struct ExitCase {
    const char* name;
    std::function<void(Ui::TFinto11*)> change;
    std::vector<int> answers;
    bool asked;
    const char* storedMonth;
};

void PrintTo(const ExitCase& c, std::ostream* os) {
    *os << c.name;
}

class LeaderExitTest : public LeadersTest, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(LeaderExitTest, AsksBeforeDroppingAChange) {
    const ExitCase& c = GetParam();
    open({leader("1", "张三")});
    m_boxes.answers.assign(c.answers.begin(), c.answers.end());
    showList([&] { list->form()->Button3->click(); },
             [&] {
                 c.change(d);
                 dialog->Button2Click();
             });
    const bool asked = !m_boxes.boxes.empty() &&
                       m_boxes.boxes[0].text == QStringLiteral("记录已更改，是否保存后退出？");
    EXPECT_EQ(asked, c.asked);
    EXPECT_EQ(stored().at(0).at("item_182"), c.storedMonth);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LeaderExitTest,
    ::testing::Values(
        ExitCase{"unchanged", [](Ui::TFinto11*) {}, {}, false, "1960.05"},
        ExitCase{"month_changed_no",
                 [](Ui::TFinto11* f) { f->edt_both_2->setText(QStringLiteral("07")); },
                 {widgets::No},
                 true,
                 "1960.05"},
        ExitCase{"month_changed_yes",
                 [](Ui::TFinto11* f) { f->edt_both_2->setText(QStringLiteral("07")); },
                 {widgets::Yes},
                 true,
                 "1960.07"},
        ExitCase{"name_and_description_emptied",
                 [](Ui::TFinto11* f) {
                     f->edtry_180->clear();
                     f->edtry_186->clear();
                 },
                 {},
                 false,
                 "1960.05"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LeadersTest, DeleteRenumbersAndStaysInPlace) {
    open({leader("1", "甲"), leader("2", "乙"), leader("3", "丙")});
    showList([&] {
        DM->Tblexpert.first();
        DM->Tblexpert.next();
        list->form()->Button1->click();
        EXPECT_EQ(current("item_180"), QStringLiteral("丙"));
        EXPECT_EQ(current("item_187"), QStringLiteral("2"));
        list->form()->Button1->click();
        EXPECT_EQ(current("item_180"), QStringLiteral("甲"));
        list->form()->quit01->click();
    });
    ASSERT_EQ(m_boxes.boxes.size(), 2u);
    EXPECT_EQ(m_boxes.boxes[0].text, QStringLiteral("是否删除该项目？!"));
    EXPECT_EQ(m_boxes.boxes[0].title, QStringLiteral("提示信息"));
    const auto rows = stored();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].at("item_180"), "甲");
}

TEST_F(LeadersTest, ModifyOnAnEmptyListAdds) {
    open({});
    QString caption;
    showList([&] { list->form()->Button3->click(); },
             [&] {
                 caption = dialog->windowTitle();
                 dialog->Button2Click();
             });
    EXPECT_EQ(caption, QStringLiteral("新增－－【学科带头人名单】"));
}

}  // namespace
