// Every layout file against its form: the controls the preparation addresses, the check
// labels and option captions against the fields and code lists, the bound fields against the
// tables, and the page geometry against the row counts of the padded lists and the units
// tables.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QPdfWriter>

#include "PrintFixture.h"
#include "ReportRenderer.h"

namespace {

using print::ElementKind;
using print::Family;
using print::PrintState;
using testsupport::PrintTest;

class LayoutConformance : public PrintTest, public ::testing::WithParamInterface<QString> {
protected:
    void SetUp() override {
        m_info = print::findReportForm(GetParam());
        ASSERT_NE(m_info, nullptr);
        m_layout = print::ReportLayout::load(m_info->unit);
        ASSERT_NE(m_layout, nullptr) << m_info->unit.toStdString() << ".xml is missing";
    }

    // A record of the form's family with n rows in each child list.
    void addRecord(int n, const char* key = kKey) {
        append("hvel.DBF",
               {record(m_info->family == Family::Yy ? "1" : "3",
                       {{"ITEM_8", "2001.03   至2004.12"}, {"ITEM_121", "2005-06-08"}}, key)});
        append("cgwcr.DBF", numbered(n, "ITEM_180", "ITEM_187", key));
        append("jdwyhmd.DBF", numbered(n, "ITEM_192", "ITEM_190", key));
        append("cgwcdw.DBF", numbered(n, "ITEM_170", "ITEM_176", key));
        append("zlqk.DBF", numbered(n, "PATENT_NAM", "ITEM_NO", key));
    }

    void openRecord(int n) {
        addRecord(n);
        open();
    }

    const print::ReportFormInfo* m_info = nullptr;
    std::shared_ptr<const print::ReportLayout> m_layout;
};

TEST_P(LayoutConformance, BelongsToItsForm) {
    EXPECT_EQ(m_layout->form, m_info->name);
}

TEST_P(LayoutConformance, HoldsEveryControlThePreparationAddresses) {
    openRecord(3);
    for (const print::Numbering numbering : {print::Numbering::Form, print::Numbering::MainText}) {
        const print::ReportForm& form = m_state->prepare(m_info->name, numbering);
        const QStringList controls = m_layout->controlNames();
        for (const QString& name : form.addressedNames()) {
            EXPECT_TRUE(controls.contains(name)) << name.toStdString();
        }
        // A label no preparation sets would print its design caption for ever: a text.
        for (const print::Element* label : m_layout->elements({ElementKind::Label})) {
            EXPECT_TRUE(form.addressedNames().contains(label->name))
                << label->name.toStdString() << " (line " << label->sourceLine << ")";
        }
    }
}

TEST_P(LayoutConformance, CheckLabelsBelongToTheFieldsThePageMarks) {
    QStringList checks;
    for (const print::Element* e : m_layout->elements({ElementKind::Check, ElementKind::Options})) {
        if (e->kind == ElementKind::Check) {
            checks << e->name;
        }
        for (const print::OptionItem& option : e->options) {
            checks << e->checkName(option);
        }
    }
    for (const QString& name : checks) {
        bool marked = false;
        for (const QString& field : m_info->checkFields) {
            marked = marked || (name.mid(3, field.size()) == field &&
                                name.size() > field.size() + 4 && name[field.size() + 3] == u'_');
        }
        EXPECT_TRUE(marked) << name.toStdString() << " belongs to no field the page marks";
    }
}

TEST_P(LayoutConformance, OptionCaptionsAreThoseOfTheCodeLists) {
    openRecord(0);
    store::Table& codes = m_dm->Tblzdxx;
    for (const print::Element* group : m_layout->elements({ElementKind::Options})) {
        codes.setFilter("zddm='" + group->codeList.toStdString() + "'");
        for (const print::OptionItem& option : group->options) {
            const bool found = codes.locate("xxdm", store::Value(option.code.toStdString()));
            ASSERT_TRUE(found) << group->codeList.toStdString() << " has no code "
                               << option.code.toStdString();
            EXPECT_EQ(QString::fromStdString(codes.field("xxmc").asText()), option.caption)
                << group->codeList.toStdString() << " " << option.code.toStdString();
        }
    }
}

TEST_P(LayoutConformance, BindsFieldsTheTablesHave) {
    openRecord(0);
    for (const QString& field : m_layout->recordFields()) {
        EXPECT_GE(m_dm->Qryhvel.fieldIndex(field.toStdString()), 0) << field.toStdString();
    }
    const print::ReportForm& form = m_state->form(m_info->name);
    if (!m_layout->rowFields().isEmpty()) {
        ASSERT_NE(form.dataset(), nullptr);
        for (const QString& field : m_layout->rowFields()) {
            EXPECT_GE(form.dataset()->fieldIndex(field), 0) << field.toStdString();
        }
    }
}

// A value cut short is named in the notice by what the page calls it.
TEST_P(LayoutConformance, EveryValueHasACaption) {
    for (const print::Element* e : m_layout->elements(
             {ElementKind::Field, ElementKind::RowField, ElementKind::Label, ElementKind::Memo})) {
        const bool pageLabel = e->name == u"QRPage" || e->name == u"QRpage";
        EXPECT_NE(e->caption.isEmpty(), !pageLabel)
            << (e->name.isEmpty() ? e->field : e->name).toStdString() << " (line " << e->sourceLine
            << ")";
    }
}

TEST_P(LayoutConformance, EveryElementLiesWithinItsBandAndTheBandsFitThePage) {
    double single = 0;
    for (const print::Band& band : m_layout->bands) {
        if (band.kind != print::BandKind::Detail) {
            single += band.height;
        }
        for (const print::Element& e : band.elements) {
            const QRectF area = e.kind == ElementKind::Line
                                    ? QRectF(e.line.p1(), e.line.p2()).normalized()
                                    : e.rect;
            EXPECT_TRUE(area.left() >= -0.01 && area.top() >= -0.01 &&
                        area.right() <= m_layout->printableWidth() + 0.01 &&
                        area.bottom() <= band.height + 0.01)
                << "line " << e.sourceLine << " leaves its band";
        }
    }
    EXPECT_LE(single, m_layout->printableHeight() + 0.01);
}

// The persons and committee lists, padded to whole pages.
class PaddedListLayout : public LayoutConformance {};

// The padded list tables fill whole pages: rows per page as the row counts assume, and the
// summary on the page of the last padded row.
TEST_P(PaddedListLayout, HoldsTheRowsThePaddingAssumes) {
    ASSERT_NE(m_layout->band(print::BandKind::Detail), nullptr);
    const int perPage = m_info->family == Family::Yy ? 21 : 22;
    const bool persons = m_layout->dataset == u"ClientDataSet2";
    const std::pair<int, const char*> records[] = {
        {0, "2004000001"}, {18, "2004000002"}, {40, "2004000003"}};
    for (const auto& [n, key] : records) {
        addRecord(n, key);
    }
    for (const auto& [n, key] : records) {
        SCOPED_TRACE(n);
        open(key);
        const print::ReportForm& form = m_state->prepare(m_info->name);
        const int rows = persons ? PrintState::personsRowCount(m_info->family, n)
                                 : PrintState::committeeRowCount(m_info->family, n);
        const std::vector<print::PagePlan> pages = print::paginate(form);
        ASSERT_EQ(static_cast<int>(pages.size()), (rows + perPage - 1) / perPage);
        int firstPageRows = 0;
        for (const print::PlacedBand& placed : pages.front()) {
            firstPageRows += placed.band->kind == print::BandKind::Detail ? 1 : 0;
        }
        EXPECT_EQ(firstPageRows, std::min(rows, perPage));
    }
}

// The pages with the co-operating units' table.
class UnitsTableLayout : public LayoutConformance {};

// The co-operating units are cut to a fixed number of rows that must all print on the page with
// the first completing unit and the page label.
TEST_P(UnitsTableLayout, PrintsOnOnePage) {
    ASSERT_EQ(m_layout->dataset, u"ClientDataSet3");
    openRecord(30);
    const print::ReportForm& form = m_state->prepare(m_info->name);
    const std::vector<print::PagePlan> pages = print::paginate(form);
    ASSERT_EQ(pages.size(), 1U);
    int rows = 0;
    bool labelled = false;
    for (const print::PlacedBand& placed : pages.front()) {
        rows += placed.band->kind == print::BandKind::Detail ? 1 : 0;
        for (const print::Element& e : placed.band->elements) {
            labelled = labelled || e.name == u"QRPage";
        }
    }
    EXPECT_EQ(rows, form.dataset()->rowCount());
    EXPECT_TRUE(labelled);
}

TEST_P(LayoutConformance, StaticTextsAndOptionsPrintWholeAtTheirSize) {
    openRecord(0);
    const print::ReportForm& form = m_state->prepare(m_info->name);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    for (const print::RenderNote& note : print::render(form, writer)) {
        ADD_FAILURE() << "page " << note.page << (note.clipped ? " cuts " : " shrinks ")
                      << note.text.toStdString();
    }
}

// The annex pages list the delivered code tables: every code with its name, side by side in a
// row of the page's tables, so that a changed table shows as a stale annex.
struct AnnexCase {
    const char* name;
    const char* form;
    const char* table;  // "zdxx", "gxjs" or "DFJHZDXX"
    const char* list;   // zdxx: the list (zddm)
};

void PrintTo(const AnnexCase& c, std::ostream* os) {
    *os << c.name;
}

class AnnexPage : public PrintTest, public ::testing::WithParamInterface<AnnexCase> {};

TEST_P(AnnexPage, ListsEveryCodeOfItsTableBesideItsName) {
    const AnnexCase& c = GetParam();
    const print::ReportFormInfo* info = print::findReportForm(QString::fromLatin1(c.form));
    ASSERT_NE(info, nullptr);
    const auto layout = print::ReportLayout::load(info->unit);
    ASSERT_NE(layout, nullptr);
    const auto texts = layout->elements({ElementKind::Text});
    auto printedBeside = [&texts](const QString& code, const QString& name) {
        for (const print::Element* caption : texts) {
            for (const print::Element* left : texts) {
                if (caption->text == name && left->text == code &&
                    qAbs(left->rect.top() - caption->rect.top()) < 0.01 &&
                    qAbs(left->rect.right() - caption->rect.left()) < 0.01) {
                    return true;
                }
            }
        }
        return false;
    };

    append("hvel.DBF", {record("1")});
    open();
    const std::string table = c.table;
    store::Table& codes = table == "gxjs"       ? m_dm->Tblgxjs
                          : table == "DFJHZDXX" ? m_dm->TblDFJHZDXX
                                                : m_dm->Tblzdxx;
    codes.setFilter(table == "zdxx" ? "zddm='" + std::string(c.list) + "'" : "");
    const char* codeField = table == "DFJHZDXX" ? "item_41_" : "xxdm";
    int listed = 0;
    for (codes.first(); !codes.eof(); codes.next()) {
        const QString name = QString::fromStdString(codes.field("xxmc").asText());
        if (name.startsWith(u"**")) {
            continue;  // an option of the old form, offered only by the query builder
        }
        const QString code = QString::fromStdString(codes.field(codeField).asText());
        EXPECT_TRUE(printedBeside(code, name)) << code.toStdString() << " " << name.toStdString();
        ++listed;
    }
    EXPECT_GT(listed, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, AnnexPage,
    ::testing::Values(AnnexCase{"high_tech_fields", "TyyPrint12", "gxjs", ""},
                      AnnexCase{"industries_yy", "TyyPrint12", "zdxx", "item_125"},
                      AnnexCase{"industries_rj", "TrjPrint11", "zdxx", "item_125"},
                      AnnexCase{"national_plans", "TyyPrint14", "zdxx", "item_140"},
                      AnnexCase{"project_sources", "TyyPrint14", "zdxx", "item_126"},
                      AnnexCase{"source_plans", "TyyPrint14", "DFJHZDXX", ""},
                      AnnexCase{"socio_economic_goals", "TrjPrint10", "zdxx", "item_200"}),
    [](const auto& info) { return std::string(info.param.name); });

// The names of the forms that pass the filter.
template <typename Filter>
std::vector<QString> formsWhere(Filter filter) {
    std::vector<QString> names;
    for (const print::ReportFormInfo& info : print::reportForms()) {
        if (filter(info)) {
            names.push_back(info.name);
        }
    }
    return names;
}

const auto formName = [](const auto& info) { return info.param.toStdString(); };

INSTANTIATE_TEST_SUITE_P(Forms, LayoutConformance,
                         ::testing::ValuesIn(formsWhere([](const auto&) { return true; })),
                         formName);
INSTANTIATE_TEST_SUITE_P(Lists, PaddedListLayout,
                         ::testing::ValuesIn(formsWhere([](const print::ReportFormInfo& info) {
                             return info.list;
                         })),
                         formName);
INSTANTIATE_TEST_SUITE_P(Units, UnitsTableLayout,
                         ::testing::Values(QStringLiteral("TyyPrint07"),
                                           QStringLiteral("TrjPrint05")),
                         formName);

}  // namespace
