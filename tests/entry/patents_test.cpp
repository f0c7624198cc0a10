// The patent list "专利情况" and its row dialog.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableView>
#include <functional>

#include "Finto6Unit.h"
#include "PageFixture.h"
#include "QtPrinters.h"
#include "RecordRows.h"
#include "Unitpage6.h"
#include "ui_Finto6Unit.h"
#include "ui_Unitpage6.h"

using testsupport::record;
using testsupport::Row;

namespace {

const char* const kKey = "2004000001";

Row patent(const char* key, const char* number, const char* status, const char* sequence,
           const char* type = "1") {
    return {{"ITEM_4", key},
            {"ITEM_DQDM", "."},
            {"ITEM_NO", sequence},
            {"PATENT_NO", number},
            {"PATENT_ST", status},
            {"PATENT_TY", type},
            {"PATENT_NAM", std::string("名称") + number}};
}

// Out of sequence, with one of another record in between.
const std::vector<Row> kThree = {patent(kKey, "ZL1", "1", "5"), patent(kKey, "ZL2", "2", "9"),
                                 patent("2004000002", "ZL9", "1", "1"),
                                 patent(kKey, "ZL3", "1", "7", "3")};

class PatentsTest : public testsupport::PageFixture {
protected:
    void openList(const std::vector<Row>& patents = kThree) {
        append("zlqk.DBF", patents);
        openRecords({record(kKey, "1", {{"ITEM_3", "节水灌溉"}, {"ITEM_51", "1"}})});
        dialog = std::make_unique<TFinto6>(m_form.get());
        Finto6 = dialog.get();
        d = dialog->form();
        list = std::make_unique<TFpage6>(*m_form, m_form.get());
        Fpage6 = list.get();
        recordrows::filterToRecord(DM->tblzlqk, QString::fromLatin1(kKey), QStringLiteral("."));
        list->FormShow();
    }

    void TearDown() override {
        Fpage6 = nullptr;
        Finto6 = nullptr;
        list.reset();
        dialog.reset();
        PageFixture::TearDown();
    }

    // The record's patents on disk, in file order: "number:sequence:status:type", followed by
    // ":name" when withNames.
    QStringList onDisk(bool withNames = false) const {
        QStringList rows;
        for (auto& row : testsupport::readRows(m_program.file("zlqk.DBF"))) {
            if (row["ITEM_4"] == kKey) {
                rows << QString::fromStdString(
                    row["PATENT_NO"] + ":" + row["ITEM_NO"] + ":" + row["PATENT_ST"] + ":" +
                    row["PATENT_TY"] + (withNames ? ":" + row["PATENT_NAM"] : std::string()));
            }
        }
        return rows;
    }

    QString current(const char* field) const {
        return QString::fromStdString(DM->tblzlqk.field(field).asText());
    }

    void fill(const char* number, const char* name, int status = 0, int type = 0) {
        d->edtzl_no->setText(QString::fromUtf8(number));
        d->edtzl_name->setText(QString::fromUtf8(name));
        d->cb_st->setCurrentIndex(status);
        d->cb_ty->setCurrentIndex(type);
    }

    std::unique_ptr<TFinto6> dialog;
    Ui::TFinto6* d = nullptr;
    std::unique_ptr<TFpage6> list;
};

// ---- the list -----------------------------------------------------------------------------

TEST_F(PatentsTest, ShowingNumbersTheRowsAndShowsTheOptionTexts) {
    openList();
    EXPECT_EQ(onDisk(), texts({"ZL1:1:1:1", "ZL2:2:2:1", "ZL3:3:1:3"}));
    EXPECT_EQ(current("PATENT_NO"), QStringLiteral("ZL1"));

    QAbstractItemModel* model = list->form()->DBGrid5->model();
    ASSERT_NE(model, nullptr);
    ASSERT_EQ(model->rowCount(), 3);
    QStringList titles;
    for (int column = 0; column < model->columnCount(); ++column) {
        if (!list->form()->DBGrid5->isColumnHidden(column)) {
            titles << model->headerData(column, Qt::Horizontal).toString();
        }
    }
    EXPECT_EQ(titles, texts({"序号", "专利状况", "专利类型", "专利号", "专利名称", "状况代码",
                             "类型代码"}));
    EXPECT_EQ(model->columnCount(), 9);  // ITEM_4 and ITEM_DQDM hidden
    EXPECT_EQ(model->index(1, 1).data().toString(), QStringLiteral("已授权"));
    EXPECT_EQ(model->index(2, 2).data().toString(), QStringLiteral("外观设计专利"));
    EXPECT_EQ(model->index(2, 0).data().toString(), QStringLiteral("3"));
}

TEST_F(PatentsTest, AddingThreeInOneOpening) {
    openList({});
    QSignalSpy counted(list.get(), &TFpage6::patentsCounted);
    const char* statuses[] = {"1", "1", "2"};
    m_boxes.onExec = [&](QDialog& shown) {
        ASSERT_EQ(&shown, dialog.get());
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("新增－－【专利情况】"));
        EXPECT_TRUE(d->edtzl_no->text().isEmpty());
        EXPECT_EQ(d->cb_st->currentText(), QStringLiteral("1  已申请"));
        EXPECT_EQ(d->cb_ty->currentText(), QStringLiteral("1  发明专利"));
        EXPECT_EQ(d->cb_st->count(), 2);  // no blank item
        for (int i = 0; i < 3; ++i) {
            const std::string number = "ZL" + std::to_string(i + 1);
            fill(number.c_str(), "灌溉装置", statuses[i][0] - '1', 1);
            d->Button1->click();
            EXPECT_TRUE(d->edtzl_no->text().isEmpty());
            EXPECT_TRUE(d->edtzl_name->text().isEmpty());
            EXPECT_EQ(d->cb_ty->currentIndex(), 1);  // the lists keep their choice
        }
        d->Button2->click();  // leaves without a question
    };
    list->form()->Button2->click();
    EXPECT_EQ(boxTexts(), texts({"存储成功！", "存储成功！", "存储成功！"}));
    EXPECT_EQ(onDisk(), texts({"ZL1:1:1:2", "ZL2:2:1:2", "ZL3:3:2:2"}));
    for (auto& row : testsupport::readRows(m_program.file("zlqk.DBF"))) {
        EXPECT_EQ(row["ITEM_DQDM"], ".");
        EXPECT_EQ(row["PATENT_NAM"], "灌溉装置");
    }

    list->quitClick();
    ASSERT_EQ(counted.size(), 1);
    EXPECT_EQ(counted[0][0].toInt(), 2);
    EXPECT_EQ(counted[0][1].toInt(), 1);
    EXPECT_EQ(current("PATENT_NO"), QStringLiteral("ZL1"));
}

TEST_F(PatentsTest, DeletingTheSecondRenumbersAndStaysInItsPlace) {
    openList();
    DM->tblzlqk.next();
    m_boxes.answers = {widgets::Yes};
    list->form()->Button1->click();
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].text, QStringLiteral("是否删除该项目？!"));
    EXPECT_EQ(m_boxes.boxes[0].title, QStringLiteral("提示信息"));
    EXPECT_EQ(m_boxes.boxes[0].icon, widgets::Icon::Information);
    EXPECT_EQ(onDisk(), texts({"ZL1:1:1:1", "ZL3:2:1:3"}));
    EXPECT_EQ(current("PATENT_NO"), QStringLiteral("ZL3"));
}

TEST_F(PatentsTest, DeletingAnsweredNoKeepsTheRow) {
    openList();
    m_boxes.answers = {widgets::No};
    list->form()->Button1->click();
    EXPECT_EQ(onDisk().size(), 3);
}

TEST_F(PatentsTest, ModifyOnAnEmptyListAdds) {
    openList({});
    QString caption;
    m_boxes.onExec = [&](QDialog&) { caption = dialog->windowTitle(); };
    list->form()->btnSave01->click();
    EXPECT_EQ(caption, QStringLiteral("新增－－【专利情况】"));
    list->form()->Button1->click();  // deleting on an empty list does nothing
    EXPECT_TRUE(m_boxes.boxes.empty());
}

TEST_F(PatentsTest, ModifyEditsTheRowUnderTheCursor) {
    openList();
    DM->tblzlqk.last();
    m_boxes.onExec = [&](QDialog&) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("修改－－【专利情况】"));
        EXPECT_EQ(d->edtzl_no->text(), QStringLiteral("ZL3"));
        EXPECT_EQ(d->edtzl_name->text(), QStringLiteral("名称ZL3"));
        EXPECT_EQ(d->cb_st->currentText(), QStringLiteral("1  已申请"));
        EXPECT_EQ(d->cb_ty->currentText(), QStringLiteral("3  外观设计专利"));
        d->edtzl_name->setText(QStringLiteral("新名称"));
        d->cb_st->setCurrentIndex(1);
        d->Button1->click();
    };
    int closes = 0;
    QObject::connect(dialog.get(), &QDialog::finished, [&] { ++closes; });
    list->form()->btnSave01->click();
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(boxTexts(), texts({"存储成功！"}));
    EXPECT_EQ(onDisk(), texts({"ZL1:1:1:1", "ZL2:2:2:1", "ZL3:3:2:3"}));
    EXPECT_EQ(testsupport::findRow(m_program.file("zlqk.DBF"), "PATENT_NO", "ZL3")["PATENT_NAM"],
              "新名称");
}

// ---- the record's stored counts ------------------------------------------------------------

class StoredCountsTest;

struct CountCase {
    const char* name;
    std::function<void(StoredCountsTest&)> change;
    const char* applied;  // ITEM_51_2 stored afterwards
    const char* granted;  // ITEM_51_3
};

void PrintTo(const CountCase& c, std::ostream* os) {
    *os << c.name;
}

class StoredCountsTest : public PatentsTest, public ::testing::WithParamInterface<CountCase> {
public:
    void add(int status) {
        dialog->setWindowTitle(dialog->addCaption());
        dialog->FormShow();
        fill("ZL4", "泵", status);
        ASSERT_TRUE(dialog->Button1Click());
    }
    void editLast(int status) {
        DM->tblzlqk.last();
        dialog->setWindowTitle(dialog->editCaption());
        dialog->FormShow();
        d->cb_st->setCurrentIndex(status);
        ASSERT_TRUE(dialog->Button1Click());
    }
    void deleteFirst() {
        DM->tblzlqk.first();
        m_boxes.answers = {widgets::Yes};
        list->form()->Button1->click();
    }
};

// Whatever changes the list, the record's counts change with it, whether or not the
// intellectual property page is saved afterwards (the export writes the stored counts).
TEST_P(StoredCountsTest, FollowEveryChangeOfTheList) {
    const CountCase& c = GetParam();
    openList();  // two applied for, one granted; stored counts none
    c.change(*this);
    EXPECT_EQ(stored(kKey).at("ITEM_51_2"), c.applied);
    EXPECT_EQ(stored(kKey).at("ITEM_51_3"), c.granted);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, StoredCountsTest,
    ::testing::Values(
        CountCase{"add_granted", [](StoredCountsTest& t) { t.add(1); }, "2", "2"},
        CountCase{"edit_to_granted", [](StoredCountsTest& t) { t.editLast(1); }, "1", "2"},
        CountCase{"delete_applied", [](StoredCountsTest& t) { t.deleteFirst(); }, "1", "1"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- the dialog's checks ------------------------------------------------------------------

struct Rule {
    const char* name;
    std::function<void(Ui::TFinto6*)> breakIt;
    const char* message;
};

const std::vector<Rule>& rules() {
    static const std::vector<Rule> list = {
        {"status", [](Ui::TFinto6* d) { d->cb_st->setCurrentIndex(-1); }, "\"专利状况\"不能为空！"},
        {"type", [](Ui::TFinto6* d) { d->cb_ty->setCurrentIndex(-1); }, "\"专利类型\"不能为空！"},
        {"number", [](Ui::TFinto6* d) { d->edtzl_no->setText(QStringLiteral("  ")); },
         "\"专利号\"不能为空！"},
        {"name", [](Ui::TFinto6* d) { d->edtzl_name->clear(); }, "\"专利名称\"不能为空！"},
    };
    return list;
}

class PatentCheckTest : public PatentsTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(PatentCheckTest, FirstMissingFieldIsReported) {
    openList({});
    const size_t index = GetParam();
    dialog->setWindowTitle(dialog->addCaption());
    dialog->FormShow();
    fill("ZL1", "灌溉装置");
    // Every later rule broken too, but never the number and the name both: that would be no
    // row at all, which the dialog leaves without a word.
    for (size_t later = index; later < rules().size(); ++later) {
        if (later == index || rules()[later].name != std::string("name")) {
            rules()[later].breakIt(d);
        }
    }
    EXPECT_FALSE(dialog->Button1Click());
    EXPECT_EQ(boxTexts(), QStringList{QString::fromUtf8(rules()[index].message)});
    EXPECT_TRUE(onDisk().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Rules, PatentCheckTest, ::testing::Range<size_t>(0, 4),
                         [](const auto& info) { return std::string(rules()[info.param].name); });

TEST_F(PatentsTest, NumberHoldsTheFieldWidth) {
    openList({});
    dialog->setWindowTitle(dialog->addCaption());
    dialog->FormShow();
    d->edtzl_no->insert(QStringLiteral("ZL200410012345.67"));
    EXPECT_EQ(d->edtzl_no->text(), QStringLiteral("ZL200410012345."));  // 15 characters
}

// ---- leaving the dialog -------------------------------------------------------------------

struct ExitCase {
    const char* name;
    bool editing;
    std::function<void(Ui::TFinto6*)> change;
    int answer;  // widgets::NoButton: no question expected
    bool staysOpen;
    std::vector<const char*> rows;  // on disk afterwards, with names
};

void PrintTo(const ExitCase& c, std::ostream* os) {
    *os << c.name;
}

class PatentExitTest : public PatentsTest, public ::testing::WithParamInterface<ExitCase> {};

// Every field the dialog edits takes part in the question; "No" leaves the row as stored.
TEST_P(PatentExitTest, AsksBeforeDroppingAChange) {
    const ExitCase& c = GetParam();
    openList({patent(kKey, "ZL1", "1", "1")});
    int closes = 0;
    QObject::connect(dialog.get(), &QDialog::finished, [&] { ++closes; });
    if (c.answer != widgets::NoButton) {
        m_boxes.answers = {c.answer};
    }
    m_boxes.onExec = [&](QDialog& shown) {
        ASSERT_EQ(&shown, dialog.get());
        c.change(d);
        d->Button2->click();
    };
    (c.editing ? list->form()->btnSave01 : list->form()->Button2)->click();
    if (c.answer == widgets::NoButton) {
        EXPECT_TRUE(m_boxes.boxes.empty());
    } else {
        ASSERT_FALSE(m_boxes.boxes.empty());
        EXPECT_EQ(m_boxes.boxes[0].text, QStringLiteral("记录已更改，是否保存后退出？"));
        EXPECT_EQ(m_boxes.boxes[0].title, QStringLiteral("请注意！"));
        EXPECT_EQ(m_boxes.boxes[0].icon, widgets::Icon::Question);
    }
    EXPECT_EQ(closes > 0, !c.staysOpen);
    EXPECT_EQ(onDisk(true), texts(c.rows));
}

void changeStatus(Ui::TFinto6* d) {
    d->cb_st->setCurrentIndex(1);
}
void changeType(Ui::TFinto6* d) {
    d->cb_ty->setCurrentIndex(2);
}
void changeNumber(Ui::TFinto6* d) {
    d->edtzl_no->setText(QStringLiteral("ZL7"));
}
void changeName(Ui::TFinto6* d) {
    d->edtzl_name->setText(QStringLiteral("改"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PatentExitTest,
    ::testing::Values(
        // A status chosen with nothing typed is no patent.
        ExitCase{"add_nothing_typed",
                 false,
                 changeStatus,
                 widgets::NoButton,
                 false,
                 {"ZL1:1:1:1:名称ZL1"}},
        ExitCase{"add_typed_no", false, changeNumber, widgets::No, false, {"ZL1:1:1:1:名称ZL1"}},
        ExitCase{"add_typed_yes",
                 false,
                 [](auto* d) {
                     changeNumber(d);
                     changeName(d);
                 },
                 widgets::Yes,
                 false,
                 {"ZL1:1:1:1:名称ZL1", "ZL7:2:1:1:改"}},
        // A save refused by its check keeps what was typed.
        ExitCase{"add_typed_yes_refused",
                 false,
                 changeNumber,
                 widgets::Yes,
                 true,
                 {"ZL1:1:1:1:名称ZL1"}},
        ExitCase{
            "edit_unchanged", true, [](auto*) {}, widgets::NoButton, false, {"ZL1:1:1:1:名称ZL1"}},
        ExitCase{"edit_status_no", true, changeStatus, widgets::No, false, {"ZL1:1:1:1:名称ZL1"}},
        ExitCase{"edit_status_yes", true, changeStatus, widgets::Yes, false, {"ZL1:1:2:1:名称ZL1"}},
        ExitCase{"edit_type_no", true, changeType, widgets::No, false, {"ZL1:1:1:1:名称ZL1"}},
        ExitCase{"edit_type_yes", true, changeType, widgets::Yes, false, {"ZL1:1:1:3:名称ZL1"}},
        ExitCase{"edit_number_no", true, changeNumber, widgets::No, false, {"ZL1:1:1:1:名称ZL1"}},
        ExitCase{"edit_number_yes", true, changeNumber, widgets::Yes, false, {"ZL7:1:1:1:名称ZL1"}},
        ExitCase{"edit_name_no", true, changeName, widgets::No, false, {"ZL1:1:1:1:名称ZL1"}},
        ExitCase{"edit_name_yes", true, changeName, widgets::Yes, false, {"ZL1:1:1:1:改"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PatentsTest, ExitRightAfterAStoredRowAsksNothing) {
    openList({});
    dialog->setWindowTitle(dialog->addCaption());
    dialog->FormShow();
    fill("ZL1", "泵");
    ASSERT_TRUE(dialog->Button1Click());
    int closes = 0;
    QObject::connect(dialog.get(), &QDialog::finished, [&] { ++closes; });
    d->Button2->click();
    EXPECT_EQ(boxTexts(), texts({"存储成功！"}));
    EXPECT_EQ(closes, 1);
}

}  // namespace
