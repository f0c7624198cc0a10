#include "PackageExport.h"

#include <algorithm>
#include <optional>

#include "Archiver.h"
#include "Database.h"
#include "ExchangeTables.h"
#include "ExchangeTextFile.h"
#include "RecordRows.h"
#include "SqlText.h"
#include "Text.h"
#include "UnitDM.h"

namespace exchange {

namespace fs = std::filesystem;

const char* const PackageExport::PackageName = "dovaqy.arj";

namespace {

// The packaged files after the main table: the four child tables.
constexpr int kFirstChild = 1;
constexpr int kChildCount = 4;
// The files of the main table and the child tables, which a failed export may leave behind.
constexpr int kLeftoverCount = 5;

std::string fieldText(store::Dataset& dataset, int index) {
    return ExchangeText(dataset.field(index).value());
}

// The package that the user agreed to replace, kept aside while the new one is made and put
// back when it fails, so that a failed export never costs the user the old package.
class OldPackage {
public:
    explicit OldPackage(fs::path package)
        : m_package(std::move(package)),
          m_aside(m_package.parent_path() / ("." + m_package.filename().string() + ".old")) {
        moveFile(m_package, m_aside);
    }
    ~OldPackage() {
        if (!m_aside.empty()) {
            std::error_code error;
            fs::rename(m_aside, m_package, error);
        }
    }
    OldPackage(const OldPackage&) = delete;
    OldPackage& operator=(const OldPackage&) = delete;

    void drop() {
        removeFile(m_aside);
        m_aside.clear();
    }

private:
    fs::path m_package;
    fs::path m_aside;
};

// Suspends a dataset's observers for a bulk loop and puts its cursor back afterwards, so the
// windows that share the dataset find their row where they left it.
class QuietRows {
public:
    explicit QuietRows(store::Dataset& rows) : m_rows(rows) {
        if (m_rows.active() && m_rows.recordCount() > 0) {
            m_mark = m_rows.bookmark();
        }
        m_rows.disableControls();
    }
    ~QuietRows() {
        if (m_mark && m_rows.active() && m_rows.state() == store::Dataset::State::Browse) {
            m_rows.gotoBookmark(*m_mark);  // false when the row is gone
        }
        m_rows.enableControls();
    }
    QuietRows(const QuietRows&) = delete;
    QuietRows& operator=(const QuietRows&) = delete;

private:
    store::Dataset& m_rows;
    std::optional<store::Dataset::Bookmark> m_mark;
};

// Runs body over records as one unit of writes: all of its changes or none.
template <typename Body>
void inOneUnit(store::Table& records, Body body) {
    const QuietRows quiet(records);
    try {
        store::Database::Transaction unit(records.database());
        body();
        unit.commit();
    } catch (...) {
        rereadRows(records);
        throw;
    }
}

// Sets the export mark of the current record.
void setExportMark(store::Table& records, const char* value) {
    if (records.field("ITEM_SJDC").asText() != value) {
        records.edit();
        records.field("ITEM_SJDC").set(store::Value(value));
        records.post();
    }
}

// busy(true) while it lives, busy(false) when it goes, however the export ends.
class Busy {
public:
    explicit Busy(ExportQuestions& questions) : m_questions(questions) { m_questions.busy(true); }
    ~Busy() { m_questions.busy(false); }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    ExportQuestions& m_questions;
};

}  // namespace

PackageExport::PackageExport(TDM& dm) : m_dm(dm) {}

void PackageExport::reset() {
    store::Table& records = m_dm.T_temp_out;
    SetDataSetFilter(records, {});
    inOneUnit(records, [&records] {
        for (records.first(); !records.eof(); records.next()) {
            setExportMark(records, "0");
        }
    });
    m_folder.clear();
}

std::vector<store::Dataset::Bookmark> PackageExport::recordsAt(const std::vector<int>& rows) {
    std::vector<int> sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    store::Table& records = m_dm.T_temp_out;
    const QuietRows quiet(records);
    std::vector<store::Dataset::Bookmark> marks;
    for (const int row : sorted) {
        records.setRecNo(row + 1);
        marks.push_back(records.bookmark());
    }
    return marks;
}

std::vector<RecordKey> PackageExport::writeMainFile(
    const fs::path& path, const std::vector<store::Dataset::Bookmark>& records) {
    store::Table& main = m_dm.T_temp_out;
    const QuietRows quiet(main);
    const int fields = main.fieldCount();
    const int mark = main.fieldIndex("ITEM_SJDC");
    ExchangeTextWriter file(path.string());
    std::vector<RecordKey> written;
    for (const store::Dataset::Bookmark record : records) {
        if (!main.gotoBookmark(record)) {
            continue;
        }
        written.push_back({std::string(store::text::trimBlanks(main.field("ITEM_4").asText())),
                           std::string(store::text::trimBlanks(main.field("ITEM_DQDM").asText()))});
        for (int i = 0; i <= fields - 4; ++i) {
            file.column(i == mark ? std::string("0") : fieldText(main, i));
        }
        file.column({});
        file.raw(fieldText(main, fields - 2));
        file.raw("\t");
        file.lastColumn(fieldText(main, fields - 1));
    }
    file.close();
    return written;
}

void PackageExport::writeUnitFile(const fs::path& path) {
    store::Table& units = m_dm.Tblunit;
    const QuietRows quiet(units);
    const int fields = units.fieldCount();
    ExchangeTextWriter file(path.string());
    for (units.first(); !units.eof(); units.next()) {
        for (int i = 0; i < fields - 1; ++i) {
            file.column(fieldText(units, i));
        }
        file.lastColumn("\"" + fieldText(units, fields - 1) + "\"");
    }
    file.close();
}

void PackageExport::writeExpertFile(const fs::path& path) {
    static const char* const kColumns[] = {"unitcode", "item_187", "item_180",
                                           "item_181", "item_182", "item_186"};
    store::Table& experts = m_dm.Tblexpert;
    const QuietRows quiet(experts);
    ExchangeTextWriter file(path.string());
    for (experts.first(); !experts.eof(); experts.next()) {
        for (const char* column : kColumns) {
            file.column(ExchangeText(experts.field(column).value()));
        }
        file.lastColumn(ExchangeText(experts.field("item_124_1").value()));
    }
    file.close();
}

bool PackageExport::exportInto(const fs::path& folder, ExportQuestions& questions) {
    const std::optional<fs::path> oldPackage = findIgnoringCase(folder, PackageName);
    if (oldPackage && !questions.replacePackage()) {
        return false;
    }
    if (questions.chosenRows().empty() && !questions.chooseEveryRecord()) {
        return false;
    }

    const Busy busy(questions);
    const std::vector<store::Dataset::Bookmark> records = recordsAt(questions.chosenRows());
    m_folder = folder;
    const std::vector<RecordKey> written = writeMainFile(folder / PackageFileName(0), records);
    // Only the exported records' own rows leave: not the persons, units, committees and patents
    // of the installation's other records.
    for (int table = kFirstChild; table < kFirstChild + kChildCount; ++table) {
        WriteChildRows(m_dm.database(), ExchangeTables.at(table).toStdString(), written,
                       (folder / PackageFileName(table)).string());
    }
    writeUnitFile(folder / PackageFileName(kFirstChild + kChildCount));
    writeExpertFile(folder / PackageFileName(kFirstChild + kChildCount + 1));
    SetDataSetFilter(m_dm.T_temp_out, {});

    std::vector<std::string> files;
    for (int table = 0; table < ExchangeTables.size(); ++table) {
        files.push_back(PackageFileName(table));
    }
    std::optional<OldPackage> replaced;
    if (oldPackage) {
        replaced.emplace(*oldPackage);
    }
    Archiver::instance().pack(folder, PackageName, files);
    // The package stands: the marks follow, and the old package goes.
    markExported(records);
    if (replaced) {
        replaced->drop();
    }
    for (const std::string& file : files) {
        removeIgnoringCase(folder, file);
    }
    return true;
}

void PackageExport::markExported(const std::vector<store::Dataset::Bookmark>& records) {
    store::Table& main = m_dm.T_temp_out;
    inOneUnit(main, [&main, &records] {
        for (const store::Dataset::Bookmark record : records) {
            if (main.gotoBookmark(record)) {
                setExportMark(main, "1");
            }
        }
    });
}

void PackageExport::removeLeftovers() {
    if (!m_folder.empty()) {
        for (int table = 0; table < kLeftoverCount; ++table) {
            removeIgnoringCase(m_folder, PackageFileName(table));
        }
        m_folder.clear();
    }
}

}  // namespace exchange
