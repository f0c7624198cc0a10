// Values at the limits of the entry pages print whole wherever the page has room: every data
// page of both families is printed for a record and child rows holding, in every field, the
// longest value its entry page accepts. No value may be cut (a cut ends in "…", which no
// layout prints of its own).

#include <gtest/gtest.h>

#include <QPdfWriter>
#include <QTemporaryDir>

#include "DbfFile.h"
#include "PdfText.h"
#include "PrintFixture.h"
#include "ReportRenderer.h"

namespace {

using testsupport::PrintTest;
using testsupport::Row;

// n Chinese characters of ordinary text.
std::string chinese(int n) {
    const QString source = QString::fromUtf8(
        "高效节能型稀土永磁同步电动机及其变频调速控制系统的研制与产业化推广应用示范工程");
    QString text;
    for (int i = 0; i < n; ++i) {
        text += source[i % source.size()];
    }
    return text.toStdString();
}

// The entry pages limit a text by the bytes of its field: the widest text they take is one
// Chinese character for every two bytes (the printed face sets ASCII at half their width), and
// a digit for an odd byte left over.
std::string widestText(int bytes) {
    return chinese(bytes / 2) + std::string(static_cast<size_t>(bytes % 2), '9');
}

// The fields whose entry page takes less than the field holds, or takes only a given form.
const Row& entryLimits() {
    static const Row limits = {
        // The four edits of the period: year and month of start and end.
        {"ITEM_8", "2001.03   至2004.12"},
        // A keyword list typed into the first box without ";": the three boxes take 196
        // bytes together.
        {"ITEM_14", chinese(98)},
        // The funding amounts, their sums included, take 7 characters.
        {"ITEM_149", "9999999"},
        {"ITEM_141", "9999999"},
        {"ITEM_148", "9999999"},
        {"ITEM_142", "9999999"},
        {"ITEM_142_1", "9999999"},
        {"ITEM_142_2", "9999999"},
        {"ITEM_142_3", "9999999"},
        {"ITEM_143", "9999999"},
        {"ITEM_144", "9999999"},
        {"ITEM_243", "9999999"},
        {"ITEM_244", "9999999"},
        {"ITEM_145", "9999999"},
        // Patents and transfers: the limits of their edits.
        {"ITEM_51_2", "9999"},
        {"ITEM_51_3", "9999"},
        {"ITEM_45", "8999999999999999"},
        {"ITEM_150", "99999"},
        {"ITEM_162", "99999"},
        {"ITEM_151_1", "9999999"},
        {"ITEM_152_1", "9999999"},
        {"ITEM_153", "9999999"},
        {"ITEM_154", "9999999"},
        // Codes chosen from their lists: those with the longest names.
        {"ITEM_46", "06"},
        {"ITEM_47", "06"},
        {"ITEM_63", "401"},
        {"ITEM_64", "65"},
        {"ITEM_121", "2005-06-08"},
        // The summary has no limit: a long one.
        {"ITEM_13_1", chinese(3000)},
        // The persons' and committee members' codes.
        {"ITEM_181", "2"},
        {"ITEM_183", "2"},
        {"ITEM_184", "1"},
        {"ITEM_188", "1"},
        {"ITEM_193", "2"},
        {"ITEM_198", "2"},
    };
    return limits;
}

class EntryLimits : public PrintTest, public ::testing::WithParamInterface<const char*> {
protected:
    // A row of the table file with every text and number field at the entry's limit.
    Row atLimits(const std::string& table, Row row) const {
        const auto file = store::DbfFile::open(m_program.file(table).string());
        for (const store::FieldDef& field : file->fields()) {
            if (row.count(field.name) > 0) {
                continue;
            }
            if (const auto limit = entryLimits().find(field.name); limit != entryLimits().end()) {
                row[field.name] = limit->second;
            } else if (field.type == store::FieldType::Character) {
                row[field.name] = widestText(field.length);
            } else if (field.type == store::FieldType::Numeric) {
                const int integers = field.length - (field.decimals > 0 ? field.decimals + 1 : 0);
                row[field.name] =
                    "8" + std::string(static_cast<size_t>(integers - 1), '9') +
                    (field.decimals > 0 ? "." + std::string(field.decimals, '9') : "");
            }
        }
        return row;
    }

    void appendRecordAtLimits(const char* type) {
        append("hvel.DBF",
               {atLimits("hvel.DBF", {{"ITEM_4", kKey}, {"ITEM_DQDM", "."}, {"ITEM_CGLB", type}})});
        // Three rows of each child list, numbered by its sequence field.
        const std::pair<const char*, const char*> lists[] = {{"cgwcr.DBF", "ITEM_187"},
                                                             {"jdwyhmd.DBF", "ITEM_190"},
                                                             {"cgwcdw.DBF", "ITEM_176"},
                                                             {"zlqk.DBF", "ITEM_NO"}};
        for (const auto& [table, sequence] : lists) {
            std::vector<Row> rows;
            for (int i = 1; i <= 3; ++i) {
                rows.push_back(atLimits(
                    table, {{"ITEM_4", kKey}, {"ITEM_DQDM", "."}, {sequence, std::to_string(i)}}));
            }
            append(table, rows);
        }
    }
};

TEST_P(EntryLimits, EveryValuePrintsWholeOnEveryPage) {
    const print::Family family = print::familyOf(QString::fromLatin1(GetParam()));
    appendRecordAtLimits(GetParam());
    open();
    QTemporaryDir dir;
    for (const print::ReportFormInfo* info : print::familyForms(family)) {
        SCOPED_TRACE(info->name.toStdString());
        const print::ReportForm& form = m_state->prepare(info->name);
        const QString pdf = dir.filePath(info->name + QStringLiteral(".pdf"));
        std::vector<print::RenderNote> notes;
        {
            QPdfWriter writer(pdf);
            notes = print::render(form, writer);
        }
        for (const print::RenderNote& note : notes) {
            EXPECT_FALSE(note.clipped) << "page " << note.page << " row " << note.row << " cuts "
                                       << note.caption.toStdString();
        }
        EXPECT_FALSE(testsupport::pdfText(pdf).contains(QStringLiteral("…")));
        // The measuring pass of the previews sees what the printer gets.
        const std::vector<print::RenderNote> measured = print::fitNotes(form);
        EXPECT_EQ(measured.size(), notes.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Families, EntryLimits, ::testing::Values("1", "3"), [](const auto& info) {
    return std::string(info.param[0] == '1' ? "AppliedTechnology" : "BasicTheory");
});

}  // namespace
