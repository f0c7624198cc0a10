// The registering unit's page "单位情况", its long-text editors and the main window's opener.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>
#include <functional>

#include "ExitWays.h"
#include "GlyphButton.h"
#include "MemoEditors.h"
#include "PageFixture.h"
#include "UnitNew.h"
#include "UnitPage1.h"
#include "Unitpage4a.h"
#include "ui_MemoEditor.h"
#include "ui_Unit1.h"
#include "ui_UnitNew.h"
#include "ui_Unitpage4a.h"

using testsupport::readRows;
using testsupport::record;
using testsupport::Row;
using testsupport::Way;

namespace {

// A unit row as the page stores it, every required field filled.
Row storedUnit(Row more = {}) {
    Row row{{"unitcode", "9990001000"},   {"unitlevel", "1"},         {"item_9", "某研究院"},
            {"item_420", "12345678-9"},   {"item_37", "某市某路1号"}, {"item_38", "100000"},
            {"item_39", "010-1234567"},   {"item_40", "010-7654321"}, {"item_41", "科技处"},
            {"item_41_2", "010-1111111"}, {"item_62", "1"},           {"item_64", "11"},
            {"unitintrod", "简介"}};
    for (auto& [field, value] : more) {
        row[field] = value;
    }
    return row;
}

class UnitPageTest : public testsupport::PageFixture {
protected:
    // The main window over records, with the given unit rows (none: a fresh installation).
    void open(const std::vector<Row>& units, const std::vector<Row>& records = {}) {
        append("unit.dbf", units);
        start(records, {}, false);
        page = std::make_unique<TFpage4a>(*m_form, *m_tree, m_form.get());
        Fpage4a = page.get();
        p = page->form();
        study = std::make_unique<TFormstudy>(m_form.get());
        advantage = std::make_unique<Tformadvantage>(m_form.get());
        introduction = std::make_unique<Tformunitintrod>(m_form.get());
        Formstudy = study.get();
        formadvantage = advantage.get();
        formunitintrod = introduction.get();
    }

    void TearDown() override {
        Fpage4a = nullptr;
        Formstudy = nullptr;
        formadvantage = nullptr;
        formunitintrod = nullptr;
        FormNew = nullptr;
        m_new.reset();
        study.reset();
        advantage.reset();
        introduction.reset();
        page.reset();
        PageFixture::TearDown();
    }

    // "单位情况" on the main window; act runs while the page is shown.
    void openPage(const std::function<void()>& act = {}) {
        m_boxes.onExec = [this, act](QDialog& shown) {
            if (&shown != page.get()) {
                if (onOther) {
                    onOther(shown);
                }
            } else if (act) {
                act();
            }
        };
        ui->Button2->click();
        m_boxes.onExec = nullptr;
        onOther = nullptr;
    }

    // Acts on the windows that the page opens (the picker, the editors) while they are shown.
    std::function<void(QDialog&)> onOther;

    // Fills every required field (the introduction through its editor, as a user does).
    void fillRequired() {
        p->edt_9->setText(QStringLiteral("  某研究院  "));
        p->edt_420->setText(QStringLiteral("12345678-9"));
        p->Edt_37->setText(QStringLiteral("某市某路1号"));
        p->Edt_38->setText(QStringLiteral("100000"));
        p->Edt_39->setText(QStringLiteral("010-1234567"));
        p->Edt_40->setText(QStringLiteral("010-7654321"));
        p->Edt_41->setText(QStringLiteral("科技处"));
        p->Edt_41_2->setText(QStringLiteral("010-1111111"));
        p->Memo3->setPlainText(QStringLiteral("简介"));
    }

    void selectItem(QComboBox* combo, const QString& startsWith) {
        for (int i = 0; i < combo->count(); ++i) {
            if (combo->itemText(i).startsWith(startsWith)) {
                combo->setCurrentIndex(i);
                return;
            }
        }
        FAIL() << "no item " << startsWith.toStdString();
    }

    std::vector<Row> units() const { return readRows(m_program.file("unit.dbf")); }

    QLineEdit* edit(const QString& name) const { return page->findChild<QLineEdit*>(name); }

    std::unique_ptr<TFpage4a> page;
    Ui::TFpage4a* p = nullptr;
    std::unique_ptr<TFormstudy> study;
    std::unique_ptr<Tformadvantage> advantage;
    std::unique_ptr<Tformunitintrod> introduction;
    std::unique_ptr<TFormNew> m_new;
};

// ---- the first step of a fresh installation ---------------------------------------------

TEST_F(UnitPageTest, FreshInstallationUnitFirstThenRecords) {
    open({});
    ASSERT_FALSE(ui->Button1->isEnabled());
    ASSERT_FALSE(ui->btn_page01->isEnabled());
    ASSERT_TRUE(ui->Button2->isEnabled());

    bool closed = false;
    m_boxes.onExec = [&](QDialog& shown) {
        if (&shown == introduction.get()) {
            introduction->form()->Memo1->setPlainText(QStringLiteral("本单位简介"));
            introduction->Button1Click();
            introduction->Button2Click();
        } else if (&shown == page.get()) {
            EXPECT_TRUE(p->edt_9->text().isEmpty());
            fillRequired();
            p->Memo3->clear();
            QTest::mouseClick(p->Memo3->viewport(), Qt::LeftButton);
            EXPECT_EQ(p->Memo3->toPlainText(), QStringLiteral("本单位简介"));
            selectItem(p->cb_62, QStringLiteral("1  "));
            selectItem(p->cb_64, QStringLiteral("11  "));
            page->btnSave01Click();
            p->quit01->click();
            closed = !page->isVisible() && page->result() == QDialog::Accepted;
        }
    };
    ui->Button2->click();
    m_boxes.onExec = nullptr;
    EXPECT_TRUE(closed);
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("存储成功！")});

    const auto rows = units();
    ASSERT_EQ(rows.size(), 1u);
    Row row = rows[0];
    EXPECT_EQ(row["unitcode"], "9990001000");
    EXPECT_EQ(row["unitlevel"], "1");
    EXPECT_EQ(row["endlevel"], "1");
    EXPECT_EQ(row["chiefexper"], "   9999999999");
    EXPECT_EQ(row["item_9"], "某研究院");
    EXPECT_EQ(row["unitintrod"], "本单位简介");
    EXPECT_EQ(row["item_62"], "1");
    EXPECT_EQ(row["item_64"], "11");

    // The record functions are open: a record can be created.
    for (QWidget* control : std::initializer_list<QWidget*>{
             ui->Button1, ui->Button5, ui->BitBtn2, ui->BitBtn3, ui->BitBtn4, ui->cbYear,
             ui->ComboBox1, ui->DBGrid1, ui->btn_page01, ui->btn_page09}) {
        EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
    }
    m_new = std::make_unique<TFormNew>(m_form.get());
    FormNew = m_new.get();
    m_boxes.onExec = [&](QDialog& shown) {
        if (&shown == m_new.get()) {
            Ui::TFormNew* dialog = m_new->form();
            dialog->ComboBox1->setCurrentIndex(0);
            dialog->cbYear->setText(QStringLiteral("2026"));
            dialog->edt_3->setText(QStringLiteral("第一项成果"));
            dialog->edt_9->setText(QStringLiteral("某研究院"));
            m_new->Button1Click();
        }
    };
    ui->Button1->click();
    m_boxes.onExec = nullptr;
    const auto records = readRows(m_program.file("hvel.DBF"));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].at("ITEM_3"), "第一项成果");
}

TEST_F(UnitPageTest, OpensOnTheStoredUnit) {
    open({storedUnit({{"item_60", "www.example.cn"},
                      {"item_61", "a@example.cn"},
                      {"item_62", "3"},
                      {"item_41_3", "05"},
                      {"item_163", "1"},
                      {"advantage", "优势\r\n第二行"},
                      {"studydirec", "方向"}})});
    openPage([this] {
        EXPECT_EQ(p->edt_9->text(), QStringLiteral("某研究院"));
        EXPECT_EQ(p->edt_420->text(), QStringLiteral("12345678-9"));
        EXPECT_EQ(p->Edt_60->text(), QStringLiteral("www.example.cn"));
        EXPECT_EQ(p->Edt_61->text(), QStringLiteral("a@example.cn"));
        EXPECT_EQ(p->cb_62->currentText(), QStringLiteral("3  企业"));
        EXPECT_TRUE(p->CB_41_3->isEnabled());
        EXPECT_EQ(p->CB_41_3->currentText(), QStringLiteral("05  有限责任公司"));
        EXPECT_TRUE(p->cb_163->isEnabled());
        EXPECT_TRUE(p->cb_163->isChecked());
        EXPECT_TRUE(p->cb_64->currentText().startsWith(QStringLiteral("11  (北京市)")));
        EXPECT_EQ(p->Memo2->toPlainText(), QStringLiteral("优势\n第二行"));
        EXPECT_EQ(p->Memo1->toPlainText(), QStringLiteral("方向"));
        EXPECT_EQ(p->Memo3->toPlainText(), QStringLiteral("简介"));
        EXPECT_EQ(page->windowTitle(), QStringLiteral("单位情况"));
    });
    EXPECT_EQ(m_boxes.shown.size(), 1u);
}

// ---- code lists ---------------------------------------------------------------------------

struct ListLoadCase {
    const char* name;
    const char* column;
    const char* prefix;
    const char* stored;
    std::vector<const char*> shown;  // the first edits; the rest are empty
};

void PrintTo(const ListLoadCase& c, std::ostream* os) {
    *os << c.name;
}

class UnitListLoadTest : public UnitPageTest, public ::testing::WithParamInterface<ListLoadCase> {};

TEST_P(UnitListLoadTest, ShowsEachCodeInItsEdit) {
    const ListLoadCase& c = GetParam();
    open({storedUnit({{c.column, c.stored}})});
    openPage([&] {
        const auto edits = page->codeListEdits(QString::fromLatin1(c.prefix));
        ASSERT_EQ(edits.size(), 10u);
        for (size_t i = 0; i < edits.size(); ++i) {
            const QString expected = i < c.shown.size() ? QString::fromUtf8(c.shown[i]) : QString();
            EXPECT_EQ(edits[i]->text(), expected) << "edit " << i + 1;
        }
    });
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnitListLoadTest,
    ::testing::Values(ListLoadCase{"three_fields_fill_three_edits",
                                   "item_124_2",
                                   "edt_124_2_",
                                   "01 ;03 ;11 ;",
                                   {"01  电子信息", "03  航空航天", "11  农业"}},
                      ListLoadCase{"empty_list_empties_all", "item_124_1", "edt_124_1_", "", {}},
                      ListLoadCase{"disciplines_from_xkfl",
                                   "item_15_1",
                                   "edt_15_1_",
                                   "110 ;11017 ;",
                                   {"110  数学", "11017  数论"}},
                      ListLoadCase{"code_without_row_is_kept",
                                   "item_15",
                                   "edt_15_",
                                   "99999 ;110 ;",
                                   {"99999  ", "110  数学"}},
                      ListLoadCase{"last_code_without_separator",
                                   "item_124_1",
                                   "edt_124_1_",
                                   "01 ;02",
                                   {"01  电子信息", "02  软件"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct ListSaveCase {
    const char* name;
    std::vector<const char*> typed;  // edits 1.. of the panel of 研发优势
    const char* stored;
};

void PrintTo(const ListSaveCase& c, std::ostream* os) {
    *os << c.name;
}

class UnitListSaveTest : public UnitPageTest, public ::testing::WithParamInterface<ListSaveCase> {};

TEST_P(UnitListSaveTest, StoresCodeBlankSemicolon) {
    const ListSaveCase& c = GetParam();
    open({storedUnit({{"item_124_1", "05 ;"}})});
    openPage([&] {
        const auto edits = page->codeListEdits(QStringLiteral("edt_124_1_"));
        for (size_t i = 0; i < edits.size(); ++i) {
            edits[i]->setText(i < c.typed.size() ? QString::fromUtf8(c.typed[i]) : QString());
        }
        ASSERT_TRUE(page->btnSave01Click());
    });
    EXPECT_EQ(units().at(0).at("item_124_1"), c.stored);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnitListSaveTest,
    ::testing::Values(ListSaveCase{"every_edit_empty", {}, ""},
                      ListSaveCase{"picked_entries", {"01  电子信息", "03  航空航天"}, "01 ;03 ;"},
                      ListSaveCase{"same_code_twice", {"01  电子信息", "01  电子信息"}, "01 ;01 ;"},
                      ListSaveCase{"empty_edits_between_are_skipped",
                                   {"", "02  软件", "  ", "04  光机电一体化"},
                                   "02 ;04 ;"},
                      // A code typed without its name is kept whole rather than dropped.
                      ListSaveCase{"typed_code_without_blank", {"07"}, "07 ;"}),
    [](const auto& info) { return std::string(info.param.name); });

struct TypedCodeCase {
    const char* name;
    const char* prefix;
    const char* typed;
    const char* message;
};

void PrintTo(const TypedCodeCase& c, std::ostream* os) {
    *os << c.name;
}

class UnitTypedCodeTest : public UnitPageTest,
                          public ::testing::WithParamInterface<TypedCodeCase> {};

// A typed code that its classification table lacks is refused, naming the table; nothing is
// written.
TEST_P(UnitTypedCodeTest, CodeOutsideTheTableIsRefused) {
    const TypedCodeCase& c = GetParam();
    open({storedUnit({{"item_124_1", "05 ;"}})});
    openPage([&] {
        page->codeListEdits(QString::fromLatin1(c.prefix))[1]->setText(QString::fromUtf8(c.typed));
        EXPECT_FALSE(page->btnSave01Click());
    });
    EXPECT_EQ(boxTexts(), QStringList{QString::fromUtf8(c.message)});
    EXPECT_EQ(units().at(0).at("item_124_1"), "05 ;");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnitTypedCodeTest,
    ::testing::Values(
        TypedCodeCase{"high_tech_field", "edt_124_1_", "ZZZ",
                      "“ZZZ”不是高新技术领域表（gxjs.dbf）中的代码，请用右边的下拉按钮选择！"},
        TypedCodeCase{"discipline", "edt_15_", "99999  自造",
                      "“99999”不是学科分类表（xkfl.dbf）中的代码，请用右边的下拉按钮选择！"}),
    [](const auto& info) { return std::string(info.param.name); });

// A stored code the table lacks (retired by a code-table update) stays while its edit is
// left as loaded; the edits show the code first.
TEST_F(UnitPageTest, StoredCodeOutsideTheTableIsKept) {
    open({storedUnit({{"item_15", "99999 ;110 ;"}})});
    openPage([this] {
        for (QLineEdit* e : page->codeListEdits(QStringLiteral("edt_15_"))) {
            EXPECT_EQ(e->cursorPosition(), 0) << e->objectName().toStdString();
        }
        ASSERT_TRUE(page->btnSave01Click());
    });
    EXPECT_EQ(units().at(0).at("item_15"), "99999 ;110 ;");
}

TEST_F(UnitPageTest, FourListsGoToTheirColumns) {
    open({storedUnit()});
    openPage([this] {
        edit(QStringLiteral("edt_124_2_1"))->setText(QStringLiteral("01  电子信息"));
        edit(QStringLiteral("edt_15_1_10"))->setText(QStringLiteral("110  数学"));
        edit(QStringLiteral("edt_124_1_1"))->setText(QStringLiteral("02  软件"));
        edit(QStringLiteral("edt_15_10"))->setText(QStringLiteral("11017  数论"));
        ASSERT_TRUE(page->btnSave01Click());
    });
    Row row = units().at(0);
    EXPECT_EQ(row["item_124_2"], "01 ;");
    EXPECT_EQ(row["item_15_1"], "110 ;");
    EXPECT_EQ(row["item_124_1"], "02 ;");
    EXPECT_EQ(row["item_15"], "11017 ;");
}

struct PickerCase {
    const char* button;
    const char* edit;
    int byte;
    const char* node;  // start of the node picked, found in the table the picker shows
    const char* shown;
};

void PrintTo(const PickerCase& c, std::ostream* os) {
    *os << c.button;
}

class UnitPickerTest : public UnitPageTest, public ::testing::WithParamInterface<PickerCase> {};

TEST_P(UnitPickerTest, DropDownFillsItsOwnEdit) {
    const PickerCase& c = GetParam();
    open({storedUnit()});
    TreeTargetPage1.fill(1);  // another page's selector left set does not count
    openPage([&] {
        onOther = [&](QDialog& shown) {
            ASSERT_EQ(&shown, FormTree);
            auto* view = FormTree->findChild<QTreeWidget*>(QStringLiteral("TreeView1"));
            const auto found = view->findItems(QString::fromUtf8(c.node),
                                               Qt::MatchStartsWith | Qt::MatchRecursive);
            ASSERT_EQ(found.size(), 1);
            view->setCurrentItem(found[0]);
            FormTree->Button1Click();
        };
        page->findChild<QComboBox*>(QString::fromLatin1(c.button))->showPopup();
    });
    TreeTargetPage1.fill(0);
    for (int byte = 0; byte < 40; ++byte) {
        EXPECT_EQ(TreeTargetUnit[static_cast<size_t>(byte)], byte == c.byte ? 1 : 0) << byte;
    }
    EXPECT_EQ(edit(QString::fromLatin1(c.edit))->text(), QString::fromUtf8(c.shown));
    int filled = 0;
    for (QLineEdit* e : page->findChildren<QLineEdit*>()) {
        filled += e->objectName().startsWith(QStringLiteral("edt_1")) && !e->text().isEmpty();
    }
    EXPECT_EQ(filled, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, UnitPickerTest,
    ::testing::Values(PickerCase{"cb_124_2_1", "edt_124_2_1", 0, "03  ", "03  航空航天"},
                      PickerCase{"cb_124_2_10", "edt_124_2_10", 9, "11  ", "11  农业"},
                      PickerCase{"cb_15_1_1", "edt_15_1_1", 10, "11017  ", "11017  数论"},
                      PickerCase{"cb_124_1_5", "edt_124_1_5", 24, "02  ", "02  软件"},
                      PickerCase{"cb_15_1", "edt_15_1", 30, "110  ", "110  数学"},
                      PickerCase{"cb_15_10", "edt_15_10", 39, "11017  ", "11017  数论"}),
    [](const auto& info) { return std::string(info.param.button); });

// ---- the save -----------------------------------------------------------------------------

struct EnterpriseCase {
    const char* name;
    const char* attribute;  // the start of the unit attribute option
    bool converted;
    const char* ownership;
    const char* item163;
};

void PrintTo(const EnterpriseCase& c, std::ostream* os) {
    *os << c.name;
}

class UnitEnterpriseTest : public UnitPageTest,
                           public ::testing::WithParamInterface<EnterpriseCase> {};

TEST_P(UnitEnterpriseTest, OwnershipOnlyForTheEnterpriseCode) {
    const EnterpriseCase& c = GetParam();
    append("zdxx.dbf", {{{"zddm", "item_62"}, {"xxdm", "5"}, {"xxmc", "合资企业"}}});
    open({storedUnit({{"item_41_3", "02"}, {"item_163", "0"}})});
    openPage([&] {
        selectItem(p->cb_62, QString::fromUtf8(c.attribute));
        page->cb_62Change();
        // The code decides, whatever the option's text says.
        EXPECT_EQ(p->CB_41_3->isEnabled(),
                  p->cb_62->currentText().startsWith(QStringLiteral("3  ")));
        if (p->CB_41_3->isEnabled()) {
            selectItem(p->CB_41_3, QStringLiteral("06  "));
            p->cb_163->setChecked(c.converted);
        }
        ASSERT_TRUE(page->btnSave01Click());
    });
    Row row = units().at(0);
    EXPECT_EQ(row["item_41_3"], c.ownership);
    EXPECT_EQ(row["item_163"], c.item163);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnitEnterpriseTest,
    ::testing::Values(EnterpriseCase{"enterprise_converted", "3  ", true, "06", "1"},
                      EnterpriseCase{"enterprise_not_converted", "3  ", false, "06", "0"},
                      EnterpriseCase{"other_attribute", "2  ", true, "", ""},
                      EnterpriseCase{"enterprise_text_other_code", "5  ", true, "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// The unit is not the record: saving it leaves the record's section marks alone.
TEST_F(UnitPageTest, SaveWritesWithoutCheckingAndLeavesTheRecordsMarks) {
    open({storedUnit()}, {record("2026000001", "1")});
    TMainForm::setSectionKind(ui->btn_page04, false);
    openPage([this] {
        p->edt_420->clear();  // required only for leaving
        p->Edt_37->setText(QStringLiteral("新地址"));
        ASSERT_TRUE(page->btnSave01Click());
    });
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("存储成功！")});
    EXPECT_FALSE(complete(ui->btn_page04));
    const auto rows = units();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].at("item_420"), "");
    EXPECT_EQ(rows[0].at("item_37"), "新地址");
}

TEST_F(UnitPageTest, FailedPostIsReportedAndNothingIsWritten) {
    open({storedUnit()});
    TMainForm::setSectionKind(ui->btn_page04, false);
    openPage([this] {
        p->Edt_37->setText(QStringLiteral("新地址"));
        // Not a GBK character: the post refuses the row.
        p->Edt_60->setText(QStringLiteral("www.例😀.cn"));
        EXPECT_FALSE(page->btnSave01Click());
        ASSERT_EQ(m_boxes.boxes.size(), 1u);
        EXPECT_EQ(m_boxes.boxes[0].title, QStringLiteral("提示"));
        EXPECT_EQ(p->Edt_37->text(), QStringLiteral("新地址"));
    });
    EXPECT_FALSE(complete(ui->btn_page04));
    EXPECT_EQ(units().at(0).at("item_37"), "某市某路1号");
    EXPECT_EQ(DM->Tblunit.state(), store::Dataset::State::Browse);
}

// ---- the exit -----------------------------------------------------------------------------

struct RequiredCase {
    const char* name;
    std::function<void(Ui::TFpage4a*)> empty;
    const char* message;
};

void PrintTo(const RequiredCase& c, std::ostream* os) {
    *os << c.name;
}

class UnitRequiredTest : public UnitPageTest, public ::testing::WithParamInterface<RequiredCase> {};

TEST_P(UnitRequiredTest, ExitRefusedWhileAFieldIsEmpty) {
    const RequiredCase& c = GetParam();
    open({storedUnit()});
    for (QWidget* control :
         {static_cast<QWidget*>(ui->Button1), static_cast<QWidget*>(ui->BitBtn2)}) {
        control->setEnabled(false);
    }
    openPage([&] {
        c.empty(p);
        p->quit01->click();
        EXPECT_EQ(page->result(), QDialog::Rejected);
    });
    EXPECT_EQ(boxTexts(), QStringList{QString::fromUtf8(c.message)});
    EXPECT_FALSE(ui->Button1->isEnabled());
    EXPECT_EQ(units().at(0).at("unitintrod"), "简介");  // nothing is saved
}

INSTANTIATE_TEST_SUITE_P(
    InOrder, UnitRequiredTest,
    ::testing::Values(
        RequiredCase{"all_empty_names_the_unit_first",
                     [](Ui::TFpage4a* f) {
                         for (QLineEdit* e : {f->edt_9, f->Edt_37, f->Edt_38, f->edt_420, f->Edt_39,
                                              f->Edt_40, f->Edt_41, f->Edt_41_2}) {
                             e->clear();
                         }
                         f->Memo3->clear();
                     },
                     "\"单位名称\"不能为空！"},
        RequiredCase{"address", [](Ui::TFpage4a* f) { f->Edt_37->clear(); },
                     "\"通讯地址\"不能为空！"},
        RequiredCase{"postcode", [](Ui::TFpage4a* f) { f->Edt_38->clear(); },
                     "\"邮政编码\"不能为空！"},
        RequiredCase{"legal_code_before_phone",
                     [](Ui::TFpage4a* f) {
                         f->edt_420->clear();
                         f->Edt_39->clear();
                     },
                     "\"单位法人\"不能为空！"},
        RequiredCase{"phone", [](Ui::TFpage4a* f) { f->Edt_39->clear(); },
                     "\"单位电话\"不能为空！"},
        RequiredCase{"fax", [](Ui::TFpage4a* f) { f->Edt_40->clear(); }, "\"单位传真\"不能为空！"},
        RequiredCase{"introduction_even_when_stored", [](Ui::TFpage4a* f) { f->Memo3->clear(); },
                     "\"单位简介\"不能为空！"},
        RequiredCase{"department", [](Ui::TFpage4a* f) { f->Edt_41->clear(); },
                     "\"联系部门\"不能为空！"},
        RequiredCase{"department_phone", [](Ui::TFpage4a* f) { f->Edt_41_2->clear(); },
                     "\"联系部门电话\"不能为空！"}),
    [](const auto& info) { return std::string(info.param.name); });

class UnitExitTest : public UnitPageTest, public ::testing::WithParamInterface<Way> {};

// Leaving asks about unsaved input as the record pages do, however the page is left.
TEST_P(UnitExitTest, ExitAsksBeforeDroppingAChange) {
    open({storedUnit()});
    openPage([this] {
        p->Edt_37->setText(QStringLiteral("未存储的地址"));
        m_boxes.answers = {widgets::No};
        testsupport::leave(*page, *p->quit01, GetParam());
        EXPECT_EQ(page->result(), QDialog::Accepted);
    });
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].text, QStringLiteral("记录已经更改,是否保存？"));
    EXPECT_EQ(m_boxes.boxes[0].title, QStringLiteral("请注意！"));
    EXPECT_EQ(units().at(0).at("item_37"), "某市某路1号");
}

INSTANTIATE_TEST_SUITE_P(Ways, UnitExitTest,
                         ::testing::Values(Way::Button, Way::Escape, Way::WindowClose),
                         [](const auto& info) { return testsupport::wayName(info.param); });

TEST_F(UnitPageTest, ExitAnsweredYesSavesAndCloses) {
    open({storedUnit()});
    openPage([this] {
        p->Edt_37->setText(QStringLiteral("新地址"));
        m_boxes.answers = {widgets::Yes};
        p->quit01->click();
        EXPECT_EQ(page->result(), QDialog::Accepted);
    });
    EXPECT_EQ(boxTexts(), (QStringList{QStringLiteral("记录已经更改,是否保存？"),
                                       QStringLiteral("存储成功！")}));
    EXPECT_EQ(units().at(0).at("item_37"), "新地址");
}

struct LeaveCase {
    const char* name;
    bool unitStored;
    bool recordComplete;
    bool sectionsOpen;  // the section buttons, "新增" and the code tables
    bool listOpen;  // the lock's controls: the list, the selectors, "新增", "导出", "打印"
};

void PrintTo(const LeaveCase& c, std::ostream* os) {
    *os << c.name;
}

class UnitLeaveTest : public UnitPageTest, public ::testing::WithParamInterface<LeaveCase> {};

// Leaving re-evaluates the marks and the lock from the stored rows: the shell opens only
// once unit.dbf holds the unit, and never over an incomplete record.
TEST_P(UnitLeaveTest, RecordFunctionsFollowTheStoredRows) {
    const LeaveCase& c = GetParam();
    const Row fields = c.recordComplete ? Row{{"ITEM_1", "1"}, {"ITEM_51", "1"}} : Row{};
    std::vector<Row> unitRows;
    if (c.unitStored) {
        unitRows.push_back(storedUnit());
    }
    append("cgwcr.DBF", {testsupport::person("2026000001")});
    open(unitRows, {record("2026000001", "1", fields)});
    for (QWidget* control : {static_cast<QWidget*>(ui->Button1), static_cast<QWidget*>(ui->DBGrid1),
                             static_cast<QWidget*>(ui->btn_page01)}) {
        control->setEnabled(!c.listOpen);  // whatever they were before
    }
    openPage([this] {
        fillRequired();
        m_boxes.answers = {widgets::No};
        p->quit01->click();
    });
    for (QWidget* control :
         std::initializer_list<QWidget*>{ui->btn_page01, ui->btn_page03, ui->BitBtn3}) {
        EXPECT_EQ(control->isEnabled(), c.sectionsOpen) << control->objectName().toStdString();
    }
    for (QWidget* control :
         std::initializer_list<QWidget*>{ui->Button1, ui->Button5, ui->BitBtn2, ui->BitBtn4,
                                         ui->ComboBox1, ui->cbYear, ui->DBGrid1}) {
        EXPECT_EQ(control->isEnabled(), c.listOpen) << control->objectName().toStdString();
    }
    EXPECT_EQ(complete(ui->btn_page01), c.recordComplete);
    EXPECT_TRUE(ui->Button4->isEnabled());  // deleting a record stays possible
}

INSTANTIATE_TEST_SUITE_P(Cases, UnitLeaveTest,
                         ::testing::Values(LeaveCase{"complete_record", true, true, true, true},
                                           LeaveCase{"incomplete_record_stays_locked", true, false,
                                                     true, false},
                                           LeaveCase{"no_unit_stored", false, true, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- the long-text editors ----------------------------------------------------------------

TEST_F(UnitPageTest, EditorStoresAtOnceAndTheExitDoesNotUndoIt) {
    open({storedUnit()});
    struct Editor {
        UnitMemoEditor* window;
        QPlainTextEdit* pageMemo;
        const char* column;
    };
    openPage([this] {
        const Editor editors[] = {{study.get(), p->Memo1, "studydirec"},
                                  {advantage.get(), p->Memo2, "advantage"},
                                  {introduction.get(), p->Memo3, "unitintrod"}};
        for (const Editor& e : editors) {
            onOther = [&](QDialog& shown) {
                ASSERT_EQ(&shown, e.window);
                EXPECT_EQ(e.window->form()->Memo1->toPlainText(), e.pageMemo->toPlainText());
                e.window->form()->Memo1->setPlainText(QStringLiteral("第一行\n第二行"));
                e.window->Button1Click();
                e.window->form()->Memo1->setPlainText(QStringLiteral("未存储"));
                e.window->Button2Click();
            };
            QTest::mouseClick(e.pageMemo->viewport(), Qt::LeftButton);
            EXPECT_EQ(e.pageMemo->toPlainText(), QStringLiteral("第一行\n第二行")) << e.column;
        }
        p->Edt_37->setText(QStringLiteral("未存储的地址"));
        m_boxes.answers = {widgets::No};
        p->quit01->click();
    });
    EXPECT_EQ(boxTexts().last(), QStringLiteral("记录已经更改,是否保存？"));
    Row row = units().at(0);
    for (const char* column : {"studydirec", "advantage", "unitintrod"}) {
        EXPECT_EQ(row[column], "第一行\r\n第二行") << column;
    }
    EXPECT_EQ(row["item_37"], "某市某路1号");
    EXPECT_EQ(study->windowTitle(), QStringLiteral("简要说明及补充"));
    EXPECT_EQ(advantage->windowTitle(), QStringLiteral("研发优势简要说明"));
    EXPECT_EQ(introduction->windowTitle(), QStringLiteral("单位简介"));
}

TEST_F(UnitPageTest, EditorOnAnEmptyTableStartsTheUnitRow) {
    open({});
    openPage([this] {
        onOther = [this](QDialog&) {
            advantage->form()->Memo1->setPlainText(QStringLiteral("优势"));
            advantage->Button1Click();
        };
        QTest::mouseClick(p->Memo2->viewport(), Qt::LeftButton);
    });
    const auto rows = units();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].at("advantage"), "优势");
    EXPECT_EQ(rows[0].at("unitcode"), "9990001000");
}

TEST_F(UnitPageTest, EditsAreLimitedToTheirColumns) {
    open({storedUnit()});
    openPage([this] {
        const std::pair<QLineEdit*, int> limits[] = {
            {p->Edt_38, 6}, {p->Edt_41, 20}, {p->Edt_39, 30}, {p->Edt_61, 80}, {p->Edt_37, 100}};
        for (const auto& [e, width] : limits) {
            e->clear();
            QTest::keyClicks(e, QString(width + 3, QLatin1Char('9')));
            EXPECT_EQ(e->text().size(), width) << e->objectName().toStdString();
        }
    });
}

}  // namespace
