// The first completing unit page "第一完成单位情况" and the reporting unit's profile "单位情况".
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <cctype>
#include <filesystem>
#include <functional>

#include "ExitWays.h"
#include "PageFixture.h"
#include "UnitFacts.h"
#include "Unitpage4.h"
#include "dw_Unit.h"
#include "ui_Unit1.h"
#include "ui_Unitpage4.h"
#include "ui_dw_Unit.h"

using testsupport::record;
using testsupport::Row;

namespace {

const char* const kKey = "2004000001";

// An enterprise as the record's first completing unit.
const Row kUnit = {{"ITEM_9", "华南农业研究所"},
                   {"ITEM_420", "12345678-9"},
                   {"ITEM_37", "广州市五山路1号"},
                   {"ITEM_38", "510640"},
                   {"ITEM_39", "020-85280000"},
                   {"ITEM_40", "020-85280001"},
                   {"ITEM_60", "www.hnny.cn"},
                   {"ITEM_62", "3"},
                   {"ITEM_41_3", "05"},
                   {"ITEM_163", "1"},
                   {"ITEM_64", "44"},
                   {"ITEM_63", "301"},
                   {"ITEM_41", "李明"},
                   {"ITEM_41_2", "13800000000"},
                   {"ITEM_61", "li@hnny.cn"}};

// The reporting unit: a research institute in Beijing without a ministry.
const Row kProfile = {{"ITEM_9", "农业科学院"},
                      {"ITEM_420", "87654321-0"},
                      {"ITEM_37", "O'Brien路12号"},
                      {"ITEM_38", "100081"},
                      {"ITEM_39", "010-62180000"},
                      {"ITEM_40", ""},
                      {"ITEM_60", ""},
                      {"ITEM_62", "1"},
                      {"ITEM_41_3", ""},
                      {"ITEM_163", "0"},
                      {"ITEM_64", "11"},
                      {"ITEM_63", ""},
                      {"ITEM_41", "王芳"},
                      {"ITEM_41_2", "010-62180001"},
                      {"ITEM_61", "wang@caas.cn"}};

Row with(Row row, const Row& changes) {
    for (const auto& [field, value] : changes) {
        row[field] = value;
    }
    return row;
}

// dwqk names its columns in lower case.
Row lowerCase(const Row& row) {
    Row lower;
    for (const auto& [field, value] : row) {
        std::string name = field;
        for (char& c : name) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        lower[name] = value;
    }
    return lower;
}

void choose(QComboBox* combo, const QString& code) {
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemText(i).startsWith(code + QStringLiteral("  ")) ||
            (code == QStringLiteral(" ") && combo->itemText(i) == code)) {
            combo->setCurrentIndex(i);
            return;
        }
    }
    FAIL() << "no item " << code.toStdString();
}

// The user picks the unit attribute.
void chooseAttribute(QComboBox* cb_62, const QString& code, const std::function<void()>& change) {
    choose(cb_62, code);
    change();
}

class Page4Test : public testsupport::PageFixture {
protected:
    void openPage(const Row& fields = kUnit, const std::vector<Row>& profile = {}) {
        if (!profile.empty()) {
            std::vector<Row> rows;
            for (const Row& row : profile) {
                rows.push_back(lowerCase(row));
            }
            append("dwqk.dbf", rows);
        }
        openRecords({record(kKey, "1", fields)});
        dw = std::make_unique<Tdw_Form>();
        dw_Form = dw.get();
        page = std::make_unique<TFpage4>(*m_form);
        Fpage4 = page.get();
        p = page->form();
        d = dw->form();
        QObject::connect(page.get(), &QDialog::finished, [this] { ++m_pageCloses; });
        QObject::connect(dw.get(), &QDialog::finished, [this] { ++m_profileCloses; });
        page->loadRecord(DM->Qryhvel);
    }

    void TearDown() override {
        Fpage4 = nullptr;
        dw_Form = nullptr;
        page.reset();
        dw.reset();
        PageFixture::TearDown();
    }

    std::string storedField(const char* field) const { return stored(kKey).at(field); }

    std::vector<Row> profileRows() const {
        return testsupport::readRows(m_program.file("dwqk.dbf"));
    }

    // The facts as the controls show them, by column.
    static Row shown(const UnitFactsControls& c) {
        Row facts;
        for (const auto& fact : unitfacts::edits(c)) {
            facts[std::string("ITEM_") + (fact.column + 5)] = fact.edit->text().toStdString();
        }
        facts["ITEM_62"] = c.cb_62->currentText().toStdString();
        facts["ITEM_41_3"] = c.ownership->currentText().toStdString();
        facts["ITEM_64"] = c.cb_64->currentText().toStdString();
        facts["ITEM_63"] = c.cb_63->currentText().toStdString();
        facts["ITEM_163"] = c.cb_163->isChecked() ? "checked" : "unchecked";
        return facts;
    }

    std::unique_ptr<Tdw_Form> dw;
    std::unique_ptr<TFpage4> page;
    Ui::TFpage4* p = nullptr;
    Ui::Tdw_Form* d = nullptr;
    int m_pageCloses = 0;
    int m_profileCloses = 0;
};

const Row kUnitShown = {
    {"ITEM_9", "华南农业研究所"}, {"ITEM_420", "12345678-9"},   {"ITEM_37", "广州市五山路1号"},
    {"ITEM_38", "510640"},        {"ITEM_39", "020-85280000"},  {"ITEM_40", "020-85280001"},
    {"ITEM_60", "www.hnny.cn"},   {"ITEM_62", "3  企业"},       {"ITEM_41_3", "05  有限责任公司"},
    {"ITEM_163", "checked"},      {"ITEM_64", "44  (广东省)"},  {"ITEM_63", "301  (外交部)"},
    {"ITEM_41", "李明"},          {"ITEM_41_2", "13800000000"}, {"ITEM_61", "li@hnny.cn"}};

const Row kProfileShown = {
    {"ITEM_9", "农业科学院"},  {"ITEM_420", "87654321-0"},     {"ITEM_37", "O'Brien路12号"},
    {"ITEM_38", "100081"},     {"ITEM_39", "010-62180000"},    {"ITEM_40", ""},
    {"ITEM_60", ""},           {"ITEM_62", "1  独立科研机构"}, {"ITEM_41_3", ""},
    {"ITEM_163", "unchecked"}, {"ITEM_64", "11  (北京市)"},    {"ITEM_63", ""},
    {"ITEM_41", "王芳"},       {"ITEM_41_2", "010-62180001"},  {"ITEM_61", "wang@caas.cn"}};

// ---- loading ------------------------------------------------------------------------------

TEST_F(Page4Test, LoadsAnEnterprise) {
    openPage();
    EXPECT_TRUE(m_boxes.boxes.empty());
    EXPECT_EQ(shown(page->controls()), kUnitShown);
    EXPECT_TRUE(p->CB_41_3->isEnabled());
    EXPECT_TRUE(p->cb_163->isEnabled());
    // Province without, ministry with the blank row; the option lists without it.
    EXPECT_EQ(p->cb_64->itemText(p->cb_64->count() - 1), QStringLiteral("82  (澳门特别行政区)"));
    EXPECT_EQ(p->cb_63->itemText(p->cb_63->count() - 1), QStringLiteral(" "));
    EXPECT_EQ(items(p->cb_62).size(), 5);
    EXPECT_TRUE(page->IsPage4Unchanged());
}

TEST_F(Page4Test, OtherUnitsHaveTheEnterpriseFieldsClosed) {
    openPage(with(kUnit, {{"ITEM_62", "1"}}));
    EXPECT_FALSE(p->CB_41_3->isEnabled());
    EXPECT_FALSE(p->cb_163->isEnabled());
    EXPECT_FALSE(p->cb_163->isChecked());
}

TEST_F(Page4Test, EditsHoldTheirWidth) {
    openPage();
    p->Edt_38->clear();
    QTest::keyClicks(p->Edt_38, QStringLiteral("51064099"));
    EXPECT_EQ(p->Edt_38->text(), QStringLiteral("510640"));
    dw->FormShow();
    d->Edt_9->clear();
    d->Edt_9->insert(QString(80, QChar(0x5355)));
    EXPECT_EQ(d->Edt_9->text().size(), 70);  // 140 bytes
}

// ---- saving -------------------------------------------------------------------------------

struct SaveCase {
    const char* name;
    Row stored;                          // the record's unit before
    std::function<void(TFpage4&)> edit;  // what the user does
    Row expected;                        // columns afterwards
};

void PrintTo(const SaveCase& c, std::ostream* os) {
    *os << c.name;
}

class Page4SaveTest : public Page4Test, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(Page4SaveTest, WritesTheUnit) {
    const SaveCase& c = GetParam();
    openPage(c.stored);
    TMainForm::setSectionKind(ui->btn_page04, false);
    c.edit(*page);
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("存储成功！")});
    EXPECT_TRUE(complete(ui->btn_page04));
    EXPECT_EQ(ui->btn_page04->text(), QStringLiteral("第一完成单位情况"));
    const Row row = stored(kKey);
    for (const auto& [field, value] : c.expected) {
        EXPECT_EQ(row.at(field), value) << field;
    }
    EXPECT_TRUE(page->IsPage4Unchanged());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Page4SaveTest,
    ::testing::Values(
        SaveCase{"enterprise_unchanged", kUnit, [](TFpage4&) {}, kUnit},
        SaveCase{"box_unchecked_stores_0",
                 kUnit,
                 [](TFpage4& t) { t.form()->cb_163->setChecked(false); },
                 {{"ITEM_163", "0"}, {"ITEM_41_3", "05"}}},
        SaveCase{"other_unit_empties_the_enterprise_fields",
                 kUnit,
                 [](TFpage4& t) {
                     chooseAttribute(t.form()->cb_62, QStringLiteral("2"),
                                     [&t] { t.cb_62Change(); });
                 },
                 {{"ITEM_62", "2"}, {"ITEM_41_3", ""}, {"ITEM_163", ""}}},
        SaveCase{"texts_as_typed_and_codes",
                 kUnit,
                 [](TFpage4& t) {
                     t.form()->Edt_37->setText(QStringLiteral("O'Brien路 12号"));
                     choose(t.form()->CB_41_3, QStringLiteral("11"));
                     choose(t.form()->cb_64, QStringLiteral("11"));
                     choose(t.form()->cb_63, QStringLiteral("305"));
                 },
                 {{"ITEM_37", "O'Brien路 12号"},
                  {"ITEM_41_3", "11"},
                  {"ITEM_64", "11"},
                  {"ITEM_63", "305"}}},
        SaveCase{"blank_ministry_row_empties_it",
                 kUnit,
                 [](TFpage4& t) { choose(t.form()->cb_63, QStringLiteral(" ")); },
                 {{"ITEM_63", ""}}},
        SaveCase{
            "optional_texts_emptied",
            kUnit,
            [](TFpage4& t) {
                for (QLineEdit* edit : {t.form()->Edt_420, t.form()->Edt_39, t.form()->Edt_40,
                                        t.form()->Edt_60, t.form()->Edt_61}) {
                    edit->clear();
                }
            },
            {{"ITEM_420", ""}, {"ITEM_39", ""}, {"ITEM_40", ""}, {"ITEM_60", ""}, {"ITEM_61", ""}}},
        // A code the lists do not offer stays as it was.
        SaveCase{"retired_codes_kept",
                 with(kUnit, {{"ITEM_63", "999"}, {"ITEM_41_3", "77"}}),
                 [](TFpage4&) {},
                 {{"ITEM_63", "999"}, {"ITEM_41_3", "77"}}}),
    [](const auto& info) { return std::string(info.param.name); });

// The enterprise code decides whether the ownership is asked for and stored, whatever the
// option texts say after a code-table update: never a page that can be neither saved nor left.
TEST_F(Page4Test, EnterpriseIsJudgedByItsCode) {
    append("zdxx.dbf", {{{"zddm", "item_62"}, {"xxdm", "5"}, {"xxmc", "转制企业"}}});
    setOptionText("item_62", "3", "公司");
    openPage();
    chooseAttribute(p->cb_62, QStringLiteral("5"), [this] { page->cb_62Change(); });
    EXPECT_FALSE(p->CB_41_3->isEnabled());
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField("ITEM_62"), "5");
    EXPECT_EQ(storedField("ITEM_41_3"), "");
    EXPECT_EQ(storedField("ITEM_163"), "");

    chooseAttribute(p->cb_62, QStringLiteral("3"), [this] { page->cb_62Change(); });
    EXPECT_TRUE(p->CB_41_3->isEnabled());
    EXPECT_FALSE(page->btnSave01Click());
    EXPECT_EQ(boxTexts().last(), QStringLiteral("\"企业所有制属性\"不能为空！"));
    choose(p->CB_41_3, QStringLiteral("01"));
    ASSERT_TRUE(page->btnSave01Click());
    EXPECT_EQ(storedField("ITEM_62"), "3");
    EXPECT_EQ(storedField("ITEM_41_3"), "01");
}

TEST_F(Page4Test, OwnershipIsNotAskedOfOtherUnits) {
    openPage(with(kUnit, {{"ITEM_62", "4"}, {"ITEM_41_3", ""}}));
    EXPECT_TRUE(page->btnSave01Click());
}

// ---- the attribute change -----------------------------------------------------------------

TEST_F(Page4Test, AttributeChangeOpensAndClosesTheEnterpriseFields) {
    openPage();
    dw->FormShow();
    struct Window {
        const UnitFactsControls& c;
        std::function<void()> change;
    };
    for (const Window& w : {Window{page->controls(), [this] { page->cb_62Change(); }},
                            Window{dw->controls(), [this] { dw->cb_62Change(); }}}) {
        chooseAttribute(w.c.cb_62, QStringLiteral("3"), w.change);
        choose(w.c.ownership, QStringLiteral("05"));
        w.c.cb_163->setChecked(true);

        chooseAttribute(w.c.cb_62, QStringLiteral("1"), w.change);
        EXPECT_EQ(w.c.ownership->count(), 0);
        EXPECT_FALSE(w.c.ownership->isEnabled());
        EXPECT_FALSE(w.c.cb_163->isChecked());
        EXPECT_FALSE(w.c.cb_163->isEnabled());

        // Back to an enterprise: the list again, the earlier choice gone.
        chooseAttribute(w.c.cb_62, QStringLiteral("3"), w.change);
        EXPECT_EQ(w.c.ownership->count(), 11);
        EXPECT_EQ(w.c.ownership->currentIndex(), -1);
        EXPECT_TRUE(w.c.ownership->isEnabled());
        EXPECT_TRUE(w.c.cb_163->isEnabled());
    }
}

TEST_F(Page4Test, UserChoiceOfTheAttributeRunsTheChange) {
    openPage();
    p->cb_62->setCurrentIndex(0);
    emit p->cb_62->activated(0);
    EXPECT_FALSE(p->CB_41_3->isEnabled());
}

// ---- the checks, on both windows ------------------------------------------------------------

struct Rule {
    const char* name;
    std::function<void(const UnitFactsControls&)> breakIt;
    const char* message;
};

const std::vector<Rule>& rules() {
    static const std::vector<Rule> list = {
        {"unit_name", [](const auto& c) { c.Edt_9->clear(); }, "\"单位名称\"不能为空！"},
        {"address", [](const auto& c) { c.Edt_37->clear(); }, "\"通讯地址\"不能为空！"},
        {"postcode", [](const auto& c) { c.Edt_38->clear(); }, "\"邮政编码\"不能为空！"},
        {"attribute", [](const auto& c) { c.cb_62->setCurrentIndex(-1); },
         "\"单位属性\"不能为空！"},
        {"ownership", [](const auto& c) { c.ownership->setCurrentIndex(-1); },
         "\"企业所有制属性\"不能为空！"},
        {"province", [](const auto& c) { c.cb_64->setCurrentIndex(-1); },
         "\"单位所在省市\"不能为空！"},
        {"contact", [](const auto& c) { c.Edt_41->clear(); }, "\"联系人\"不能为空！"},
        {"contact_phone", [](const auto& c) { c.Edt_41_2->clear(); }, "\"联系人电话\"不能为空！"},
    };
    return list;
}

enum class Window { Page, Profile };

// A rule broken alone, or with every later rule: its own message is the one shown.
class Page4CheckTest : public Page4Test,
                       public ::testing::WithParamInterface<std::tuple<size_t, Window, bool>> {};

TEST_P(Page4CheckTest, FirstMissingFactIsReported) {
    const auto [index, window, laterBroken] = GetParam();
    openPage(kUnit, {kUnit});
    dw->FormShow();
    const UnitFactsControls& c = window == Window::Page ? page->controls() : dw->controls();
    for (size_t rule = index; rule < (laterBroken ? rules().size() : index + 1); ++rule) {
        rules()[rule].breakIt(c);
    }
    const bool saved = window == Window::Page ? page->btnSave01Click() : dw->Button1Click();
    EXPECT_FALSE(saved);
    EXPECT_EQ(boxTexts(), QStringList{QString::fromUtf8(rules()[index].message)});
    EXPECT_EQ(stored(kKey).at("ITEM_9"), "华南农业研究所");
    EXPECT_EQ(profileRows().at(0).at("item_9"), "华南农业研究所");
    EXPECT_EQ(m_profileCloses, 0);
}

std::vector<std::tuple<size_t, Window, bool>> ruleCases() {
    std::vector<std::tuple<size_t, Window, bool>> cases;
    for (size_t index = 0; index < rules().size(); ++index) {
        for (Window window : {Window::Page, Window::Profile}) {
            for (bool later : {false, true}) {
                cases.emplace_back(index, window, later);
            }
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Rules, Page4CheckTest, ::testing::ValuesIn(ruleCases()),
                         [](const auto& info) {
                             return std::string(rules()[std::get<0>(info.param)].name) +
                                    (std::get<1>(info.param) == Window::Page ? "_page"
                                                                             : "_profile") +
                                    (std::get<2>(info.param) ? "_with_later_rules" : "_alone");
                         });

// The table would keep a text of blanks as nothing, so it is refused as missing.
TEST_F(Page4Test, BlanksAreNoUnitName) {
    openPage();
    p->Edt_9->setText(QStringLiteral("   "));
    EXPECT_FALSE(page->btnSave01Click());
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("\"单位名称\"不能为空！")});
}

// ---- the change check ---------------------------------------------------------------------

struct ChangeCase {
    const char* name;
    std::function<void(Ui::TFpage4*)> change;
    bool unchanged;
};

void PrintTo(const ChangeCase& c, std::ostream* os) {
    *os << c.name;
}

class Page4ChangeTest : public Page4Test, public ::testing::WithParamInterface<ChangeCase> {};

TEST_P(Page4ChangeTest, ComparesEveryFact) {
    openPage();
    GetParam().change(p);
    EXPECT_EQ(page->IsPage4Unchanged(), GetParam().unchanged);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Page4ChangeTest,
    ::testing::Values(
        ChangeCase{"nothing", [](auto*) {}, true},
        ChangeCase{"trailing_blank", [](auto* p) { p->Edt_9->insert(QStringLiteral(" ")); }, true},
        ChangeCase{"name", [](auto* p) { p->Edt_9->setText(QStringLiteral("甲")); }, false},
        ChangeCase{"legal_code", [](auto* p) { p->Edt_420->clear(); }, false},
        ChangeCase{"fax", [](auto* p) { p->Edt_40->clear(); }, false},
        ChangeCase{"attribute", [](auto* p) { choose(p->cb_62, QStringLiteral("9")); }, false},
        ChangeCase{"ownership", [](auto* p) { choose(p->CB_41_3, QStringLiteral("01")); }, false},
        ChangeCase{"province", [](auto* p) { choose(p->cb_64, QStringLiteral("11")); }, false},
        ChangeCase{"ministry", [](auto* p) { choose(p->cb_63, QStringLiteral(" ")); }, false},
        ChangeCase{"box", [](auto* p) { p->cb_163->setChecked(false); }, false},
        ChangeCase{"contact_phone", [](auto* p) { p->Edt_41_2->clear(); }, false},
        ChangeCase{"email", [](auto* p) { p->Edt_61->setText(QStringLiteral("x")); }, false}),
    [](const auto& info) { return std::string(info.param.name); });

// The box differs only from a stored "1" or "0".
class Page4CheckBoxChangeTest
    : public Page4Test,
      public ::testing::WithParamInterface<std::tuple<const char*, bool>> {};

TEST_P(Page4CheckBoxChangeTest, AgainstItsStoredState) {
    const auto [state, checked] = GetParam();
    openPage(with(kUnit, {{"ITEM_163", state}}));
    p->cb_163->setChecked(checked);
    const bool differs =
        (!checked && std::string(state) == "1") || (checked && std::string(state) == "0");
    EXPECT_EQ(page->IsPage4Unchanged(), !differs);
}

INSTANTIATE_TEST_SUITE_P(States, Page4CheckBoxChangeTest,
                         ::testing::Combine(::testing::Values("1", "0", "", "x"),
                                            ::testing::Bool()),
                         [](const auto& info) {
                             const std::string state = std::get<0>(info.param);
                             return (state.empty() ? std::string("empty") : "stored_" + state) +
                                    (std::get<1>(info.param) ? "_checked" : "_unchecked");
                         });

// ---- leaving the page ---------------------------------------------------------------------

struct ExitCase {
    const char* name;
    std::function<void(Ui::TFpage4*)> edit;
    std::vector<int> answers;
    QStringList messages;
    bool closes;
    const char* storedName;
};

void PrintTo(const ExitCase& c, std::ostream* os) {
    *os << c.name;
}

class Page4ExitTest : public Page4Test,
                      public ::testing::WithParamInterface<std::tuple<ExitCase, testsupport::Way>> {
};

TEST_P(Page4ExitTest, ChecksAsksAndSaves) {
    const auto& [c, way] = GetParam();
    openPage();
    for (int answer : c.answers) {
        m_boxes.answers.push_back(answer);
    }
    m_boxes.onExec = [&, way = way](QDialog&) {
        c.edit(p);
        testsupport::leave(*page, *p->quit01, way);
    };
    page->showPage();
    EXPECT_EQ(boxTexts(), c.messages);
    EXPECT_EQ(m_pageCloses, c.closes ? 1 : 0);
    EXPECT_EQ(storedField("ITEM_9"), c.storedName);
}

const QString kAsk = QStringLiteral("记录已经更改,是否保存？");

INSTANTIATE_TEST_SUITE_P(
    Cases, Page4ExitTest,
    ::testing::Combine(
        ::testing::Values(ExitCase{"unchanged", [](auto*) {}, {}, {}, true, "华南农业研究所"},
                          ExitCase{"changed_no",
                                   [](auto* p) { p->Edt_9->setText(QStringLiteral("新单位")); },
                                   {widgets::No},
                                   {kAsk},
                                   true,
                                   "华南农业研究所"},
                          ExitCase{"changed_yes",
                                   [](auto* p) { p->Edt_9->setText(QStringLiteral("新单位")); },
                                   {widgets::Yes},
                                   {kAsk, QStringLiteral("存储成功！")},
                                   true,
                                   "新单位"},
                          ExitCase{"missing_fact_stays_open",
                                   [](auto* p) { p->Edt_41->clear(); },
                                   {},
                                   {QStringLiteral("\"联系人\"不能为空！")},
                                   false,
                                   "华南农业研究所"}),
        ::testing::Values(testsupport::Way::Button, testsupport::Way::Escape,
                          testsupport::Way::WindowClose)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) + "_" +
               testsupport::wayName(std::get<1>(info.param));
    });

// ---- copying the profile into the page ----------------------------------------------------

TEST_F(Page4Test, NoProfileToCopy) {
    openPage();
    page->Button1Click();
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].text, QStringLiteral("本单位情况还没设置，请先设置单位基本情况"));
    EXPECT_EQ(m_boxes.boxes[0].title, QStringLiteral("提示信息"));
    EXPECT_EQ(m_boxes.boxes[0].icon, widgets::Icon::Information);
    EXPECT_EQ(shown(page->controls()), kUnitShown);
}

TEST_F(Page4Test, CopiesTheProfileUnsaved) {
    openPage(kUnit, {kProfile});
    page->Button1Click();
    EXPECT_TRUE(m_boxes.boxes.empty());
    EXPECT_EQ(shown(page->controls()), kProfileShown);
    EXPECT_FALSE(p->CB_41_3->isEnabled());
    EXPECT_FALSE(p->cb_163->isEnabled());
    EXPECT_EQ(storedField("ITEM_9"), "华南农业研究所");
    EXPECT_FALSE(page->IsPage4Unchanged());
    ASSERT_TRUE(page->btnSave01Click());
    const Row row = stored(kKey);
    for (const auto& [field, value] : with(kProfile, {{"ITEM_163", ""}})) {
        EXPECT_EQ(row.at(field), value) << field;
    }
}

TEST_F(Page4Test, CopiesAnEnterpriseProfile) {
    openPage(with(kUnit, {{"ITEM_62", "1"}, {"ITEM_163", ""}}), {kUnit});
    page->Button1Click();
    EXPECT_EQ(shown(page->controls()), kUnitShown);
    EXPECT_TRUE(p->CB_41_3->isEnabled());
    EXPECT_TRUE(p->cb_163->isEnabled());
}

TEST_F(Page4Test, ProfileWindowOpensFromThePage) {
    openPage(kUnit, {kProfile});
    QDialog* shownWindow = nullptr;
    m_boxes.onExec = [&](QDialog& window) { shownWindow = &window; };
    page->Button2Click();
    EXPECT_EQ(shownWindow, dw.get());
    EXPECT_EQ(shown(dw->controls()), kProfileShown);
    // The profile's own attribute decides the enterprise fields.
    EXPECT_FALSE(d->cb_41_3->isEnabled());
}

TEST_F(Page4Test, ProfileThatCannotBeReadIsReported) {
    openPage();
    DM->Qrydwqk.close();
    DM->Qrydwqk.setSql("select * from nosuchtable");
    page->Button2Click();
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_TRUE(m_boxes.boxes[0].text.startsWith(
        QStringLiteral("读入数据时出错,请到本单位情况设置中修改:")));
    EXPECT_TRUE(m_boxes.boxes[0].text.endsWith(QStringLiteral("0")));
    EXPECT_TRUE(m_boxes.shown.empty());
}

// ---- the profile window -------------------------------------------------------------------

TEST_F(Page4Test, ProfileLoadsItsFirstRow) {
    openPage(kUnit, {kProfile, kUnit});
    dw->FormShow();
    EXPECT_EQ(shown(dw->controls()), kProfileShown);
    EXPECT_EQ(d->cb_63->itemText(d->cb_63->count() - 1), QStringLiteral(" "));
    EXPECT_TRUE(dw->IsDwFormUnchanged());
    d->Edt_61->clear();
    EXPECT_FALSE(dw->IsDwFormUnchanged());
}

TEST_F(Page4Test, FirstProfileIsInserted) {
    openPage(with(kUnit, {{"ITEM_62", ""}, {"ITEM_64", ""}}));
    dw->FormShow();
    for (const auto& fact : unitfacts::edits(dw->controls())) {
        EXPECT_TRUE(fact.edit->text().isEmpty());
    }
    d->Edt_9->setText(QStringLiteral("农业科学院"));
    d->Edt_37->setText(QStringLiteral("O'Brien路12号"));
    d->Edt_38->setText(QStringLiteral("100081"));
    chooseAttribute(d->cb_62, QStringLiteral("3"), [this] { dw->cb_62Change(); });
    choose(d->cb_41_3, QStringLiteral("10"));
    choose(d->cb_64, QStringLiteral("11"));
    d->Edt_41->setText(QStringLiteral("王芳"));
    d->Edt_41_2->setText(QStringLiteral("010-62180001"));
    ASSERT_TRUE(dw->Button1Click());

    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("存储成功！")});
    EXPECT_EQ(m_profileCloses, 1);
    const auto rows = profileRows();
    ASSERT_EQ(rows.size(), 1u);
    const Row expected = {{"item_9", "农业科学院"}, {"item_37", "O'Brien路12号"},
                          {"item_38", "100081"},    {"item_62", "3"},
                          {"item_41_3", "10"},      {"item_163", "0"},
                          {"item_64", "11"},        {"item_63", ""},
                          {"item_41", "王芳"},      {"item_41_2", "010-62180001"},
                          {"item_420", ""}};
    for (const auto& [field, value] : expected) {
        EXPECT_EQ(rows[0].at(field), value) << field;
    }
    EXPECT_EQ(DM->Qrydwqk.sql(), "select * from dwqk");
    EXPECT_TRUE(DM->Qrydwqk.active());
    // The page now shows the profile, unsaved.
    EXPECT_EQ(p->Edt_9->text(), QStringLiteral("农业科学院"));
    EXPECT_EQ(p->CB_41_3->currentText(), QStringLiteral("10  外商投资企业"));
    EXPECT_EQ(storedField("ITEM_9"), "华南农业研究所");
}

// The save updates the profile's one row by its row number; a stray second row stays as it
// was.
TEST_F(Page4Test, SaveUpdatesTheProfilesRowOnly) {
    openPage(kUnit, {kProfile, kUnit});
    dw->FormShow();
    d->cb_163->setChecked(true);  // stored whatever the attribute
    d->Edt_40->setText(QStringLiteral("010-1"));
    ASSERT_TRUE(dw->Button1Click());
    const auto rows = profileRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].at("item_9"), "农业科学院");
    EXPECT_EQ(rows[0].at("item_37"), "O'Brien路12号");
    EXPECT_EQ(rows[0].at("item_40"), "010-1");
    EXPECT_EQ(rows[0].at("item_163"), "1");
    EXPECT_EQ(rows[0].at("item_62"), "1");
    EXPECT_EQ(rows[1].at("item_9"), "华南农业研究所");
    EXPECT_NE(rows[1].at("item_40"), "010-1");
}

TEST_F(Page4Test, FailedStatementLeavesTheProfileQueryUsable) {
    openPage(kUnit, {kProfile});
    dw->FormShow();
    d->Edt_38->setText(QStringLiteral("1000\u0e01"));  // past the validator: not in GBK
    EXPECT_ANY_THROW(dw->Button1Click());
    EXPECT_EQ(m_profileCloses, 0);
    EXPECT_EQ(DM->Qrydwqk.sql(), "select * from dwqk");
    EXPECT_TRUE(DM->Qrydwqk.active());
    EXPECT_EQ(profileRows().at(0).at("item_38"), "100081");
}

struct ProfileExitCase {
    const char* name;
    bool change;
    bool breakCheck;
    std::vector<int> answers;
    QStringList messages;
    bool closes;
};

void PrintTo(const ProfileExitCase& c, std::ostream* os) {
    *os << c.name;
}

class Page4ProfileExitTest
    : public Page4Test,
      public ::testing::WithParamInterface<std::tuple<ProfileExitCase, testsupport::Way>> {};

// "退出" checks first; the close box and Esc let an unfinished profile go, but never drop a
// change without asking.
TEST_P(Page4ProfileExitTest, LeavesTheProfile) {
    const auto& [c, way] = GetParam();
    openPage(kUnit, {kProfile});
    for (int answer : c.answers) {
        m_boxes.answers.push_back(answer);
    }
    m_boxes.onExec = [&, way = way](QDialog&) {
        if (c.change) {
            d->Edt_61->setText(QStringLiteral("new@caas.cn"));
        }
        if (c.breakCheck) {
            d->Edt_41->clear();
        }
        testsupport::leave(*dw, *d->Button2, way);
    };
    dw->showForm();
    QStringList expected = c.messages;
    if (c.breakCheck && way == testsupport::Way::Button) {
        expected = {QStringLiteral("\"联系人\"不能为空！")};
    }
    EXPECT_EQ(boxTexts(), expected);
    const bool closes = c.breakCheck && way == testsupport::Way::Button ? false : c.closes;
    EXPECT_EQ(m_profileCloses, closes ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Page4ProfileExitTest,
    ::testing::Combine(
        ::testing::Values(ProfileExitCase{"unchanged", false, false, {}, {}, true},
                          ProfileExitCase{"changed_no", true, false, {widgets::No}, {kAsk}, true},
                          ProfileExitCase{"changed_yes",
                                          true,
                                          false,
                                          {widgets::Yes},
                                          {kAsk, QStringLiteral("存储成功！")},
                                          true},
                          ProfileExitCase{
                              "missing_fact_no", false, true, {widgets::No}, {kAsk}, true},
                          ProfileExitCase{"missing_fact_answered_yes",
                                          false,
                                          true,
                                          {widgets::Yes},
                                          {kAsk, QStringLiteral("\"联系人\"不能为空！")},
                                          false}),
        ::testing::Values(testsupport::Way::Button, testsupport::Way::Escape,
                          testsupport::Way::WindowClose)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) + "_" +
               testsupport::wayName(std::get<1>(info.param));
    });

// ---- opening from the main window ---------------------------------------------------------

struct OpenCase {
    const char* name;
    Row record;
    bool profile;
    std::vector<const char*> windows;  // shown, in order
    const char* shownName;
};

void PrintTo(const OpenCase& c, std::ostream* os) {
    *os << c.name;
}

class Page4OpenTest : public Page4Test, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(Page4OpenTest, FillsAnUnsetUnit) {
    const OpenCase& c = GetParam();
    openPage(c.record, c.profile ? std::vector<Row>{kProfile} : std::vector<Row>{});
    std::vector<std::string> windows;
    m_boxes.onExec = [&](QDialog& window) { windows.push_back(window.objectName().toStdString()); };
    ui->btn_page04->click();
    std::vector<std::string> expected(c.windows.begin(), c.windows.end());
    EXPECT_EQ(windows, expected);
    EXPECT_EQ(p->Edt_9->text(), QString::fromUtf8(c.shownName));
    EXPECT_EQ(page->windowTitle(), QStringLiteral("成果名称：成果2004000001"));
}

const Row kUnsetUnit = {{"ITEM_9", "华南农业研究所"}};

INSTANTIATE_TEST_SUITE_P(
    Cases, Page4OpenTest,
    ::testing::Values(
        OpenCase{"set_unit", kUnit, true, {"TFpage4"}, "华南农业研究所"},
        OpenCase{"unset_unit_takes_the_profile", kUnsetUnit, true, {"TFpage4"}, "农业科学院"},
        OpenCase{"unset_unit_without_profile_sets_it_first",
                 kUnsetUnit,
                 false,
                 {"Tdw_Form", "TFpage4"},
                 "华南农业研究所"},
        // The province alone marks the unit as set.
        OpenCase{"province_only", {{"ITEM_64", "44"}}, true, {"TFpage4"}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
