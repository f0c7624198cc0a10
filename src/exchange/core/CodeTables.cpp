#include "CodeTables.h"

#include <functional>
#include <memory>
#include <optional>

#include "Archiver.h"
#include "Database.h"
#include "Dataset.h"
#include "DbfFile.h"
#include "Errors.h"
#include "ExchangeHost.h"
#include "ExchangeTextFile.h"
#include "RecordRows.h"
#include "Text.h"
#include "UnitDM.h"

namespace exchange {

namespace fs = std::filesystem;

const CodeTable kDfjhzdxx = {
    "DFJHXX.ARJ", "DFJHXX.TXT", "DFJHZDXX.DBF", {"item_126", "item_41_", "xxmc"}};
const CodeTable kZtflh = {"ZTFLB.ARJ", "ZTFL.TXT", "ZTFLH.DBF", {"jb", "xxdm", "xxmc"}};
const CodeTable kXkfl = {"XKFLB.ARJ", "XKFL.TXT", "XKFL.DBF", {"jb", "xxdm", "xxmc"}};
const CodeTable kLsbw = {"LSBWB.ARJ", "LSBW.TXT", "LSBW.DBF", {"Bwdm", "Bwmc"}};

namespace {

// What is wrong with the fields of a replacement table file, or an empty text when it begins
// with the fields the program reads, as text fields.
std::string wrongColumns(const std::vector<store::FieldDef>& fields,
                         const std::vector<const char*>& columns, const std::string& fileName) {
    bool fits = fields.size() >= columns.size();
    for (size_t i = 0; fits && i < columns.size(); ++i) {
        fits = store::text::equalsIgnoringCase(fields[i].name, columns[i]) &&
               fields[i].type == store::FieldType::Character;
    }
    if (fits) {
        return {};
    }
    std::string wanted;
    for (const char* column : columns) {
        wanted += (wanted.empty() ? "" : "、") + std::string(column);
    }
    std::string found;
    for (const store::FieldDef& field : fields) {
        found += (found.empty() ? "" : "、") + field.name;
    }
    return "“" + fileName + "”的字段应依次为" + wanted + "（文字型），而它的字段是" +
           (found.empty() ? std::string("（无）") : found) + "。";
}

// What keeps the table file at path (shown as fileName) from replacing a code table, or an
// empty text when nothing does.
std::string tableFileProblem(const fs::path& path, const std::vector<const char*>& columns,
                             const std::string& fileName) {
    std::unique_ptr<store::DbfFile> file;
    try {
        file = store::DbfFile::open(path.string());
    } catch (const store::StoreError&) {
        return "“" + fileName + "”不是可以读取的表文件。";
    }
    return wrongColumns(file->fields(), columns, fileName);
}

// Copies source beside target and, when the copy is whole and passes check (an empty text),
// renames it over target; the copy beside goes otherwise.
CodeTableUpdate replaceFile(const fs::path& source, const fs::path& target,
                            const std::function<std::string(const fs::path&)>& check) {
    const fs::path beside = target.parent_path() / ("." + target.filename().string() + ".new");
    try {
        const uintmax_t copied = copyFile(source, beside);
        std::error_code sizeUnknown;
        if (copied != fs::file_size(source, sizeUnknown) || sizeUnknown) {
            removeFile(beside);
            return {CodeTableResult::ShortCopy, {}};
        }
        if (const std::string problem = check(beside); !problem.empty()) {
            removeFile(beside);
            return {CodeTableResult::Refused, problem};
        }
        moveFile(beside, target);
        return {CodeTableResult::Updated, {}};
    } catch (...) {
        std::error_code ignored;
        fs::remove(beside, ignored);
        throw;
    }
}

}  // namespace

// The table keeps its rows until a package has been unpacked; then the old rows are deleted
// and the file's rows appended as one unit.
CodeTableUpdate UpdateFromPackage(const CodeTable& code, store::Table& table,
                                  const fs::path& package, ExchangeHost& host) {
    std::optional<UnpackFolder> unpacked;
    try {
        unpacked.emplace();
        Archiver::instance().extract(package, unpacked->path(), {code.textFile});
    } catch (const ArchiverCancelled&) {
        return {CodeTableResult::Cancelled, {}};
    } catch (const ArchiveFormatError& error) {
        return {CodeTableResult::Refused, error.what()};
    } catch (const ArchiverError& error) {
        return {CodeTableResult::ArchiverFailed, error.what()};
    }
    const std::optional<fs::path> textFile = findIgnoringCase(unpacked->path(), code.textFile);
    if (!textFile) {
        return {CodeTableResult::NoTextFile, {}};
    }

    if (!table.active()) {
        table.open();
    }
    table.disableControls();
    std::string problem;
    try {
        store::Database::Transaction unit(table.database());
        while (table.recordCount() > 0) {
            table.first();
            table.deleteRecord();
        }
        const ExchangeReadCounts counts =
            ReadExchangeFile(textFile->string(), table, host, ExchangeVariant::CodeTable);
        // A record of other columns would put its values into the wrong fields.
        if (const int wrong = counts.shortRecords + counts.longRecords; wrong > 0) {
            problem = "“" + textFile->filename().string() + "”中有" + std::to_string(wrong) +
                      "条记录的列数不是代码表的" + std::to_string(table.fieldCount()) + "列。";
        } else {
            unit.commit();
        }
    } catch (const ExchangeFormatError& error) {
        problem = error.what();
    } catch (...) {
        rereadRows(table);
        table.enableControls();
        throw;
    }
    if (!problem.empty()) {
        rereadRows(table);
    }
    table.enableControls();
    return problem.empty() ? CodeTableUpdate{CodeTableResult::Updated, {}}
                           : CodeTableUpdate{CodeTableResult::Refused, problem};
}

CodeTableUpdate UpdateFromTableFile(TDM& dm, const CodeTable& code, store::Table& table,
                                    TableFileChoice& choice) {
    const std::string baseName = fs::path(code.tableFile).stem().string();
    store::Table& table1 = dm.Table1;
    const bool sharesTable1 =
        table1.active() &&
        store::text::equalsIgnoringCase(fs::path(table1.tableName()).stem().string(), baseName);
    table.close();
    if (sharesTable1) {
        table1.close();
    }
    auto reopen = [&] {
        table.open();
        if (sharesTable1) {
            table1.open();
        }
    };

    auto replace = [&]() -> CodeTableUpdate {
        const QString chosen = choice.chooseTableFile();
        if (chosen.isEmpty()) {
            return {CodeTableResult::Cancelled, {}};
        }
        if (!chosen.toUpper().endsWith(QLatin1Char('/') +
                                       QString::fromUtf8(code.tableFile).toUpper())) {
            return {CodeTableResult::WrongName, {}};
        }
        store::Database& db = dm.database();
        fs::path target = db.tablePath(baseName);
        if (target.empty()) {
            target = db.directory() / code.tableFile;
        }
        const std::string shownName = fs::path(chosen.toStdString()).filename().string();
        return replaceFile(chosen.toStdString(), target, [&](const fs::path& copy) {
            return tableFileProblem(copy, code.columns, shownName);
        });
    };
    CodeTableUpdate update;
    try {
        update = replace();
    } catch (...) {
        reopen();
        throw;
    }
    reopen();
    return update;
}

}  // namespace exchange
