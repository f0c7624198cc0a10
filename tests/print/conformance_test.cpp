// Every layout file against its form: the controls the preparation addresses, the check
// labels and option captions against the fields and code lists, the bound fields against the
// tables, and the page geometry against the row counts of the padded lists. A form whose
// layout file is not written yet is skipped.

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
        if (m_layout == nullptr) {
            GTEST_SKIP() << m_info->unit.toStdString() << ".xml is not written yet";
        }
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

// The padded list tables fill whole pages: rows per page as the row counts assume, and the
// summary on the page of the last padded row.
TEST_P(LayoutConformance, ListPagesHoldTheRowsThePaddingAssumes) {
    if (m_layout->band(print::BandKind::Detail) == nullptr || !m_info->list) {
        GTEST_SKIP() << "not a padded list";
    }
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

std::vector<QString> allForms() {
    std::vector<QString> names;
    for (const print::ReportFormInfo& info : print::reportForms()) {
        names.push_back(info.name);
    }
    return names;
}

INSTANTIATE_TEST_SUITE_P(Forms, LayoutConformance, ::testing::ValuesIn(allForms()),
                         [](const auto& info) { return info.param.toStdString(); });

}  // namespace
