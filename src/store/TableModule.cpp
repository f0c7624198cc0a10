// The SQLite virtual-table module over the table files: the plans that the files' key
// indexes allow, the scans and look-ups of a statement, and its writes as nested
// transactions of the file.

#include "TableModule.h"

#include <sqlite3.h>

#include <cstdlib>
#include <utility>

#include "Errors.h"
#include "GbkCodec.h"
#include "SqlFunctions.h"
#include "SqlValues.h"
#include "Text.h"

namespace store::sql {

using text::lowerAscii;
using text::trimTrailingBlanks;

namespace {

struct Vtab : sqlite3_vtab {
    TableHost* host = nullptr;
    std::string key;
    std::vector<FieldDef> fields;
    std::vector<bool> integerColumns;
    std::shared_ptr<DbfFile> writing;  // the file of the open write transaction
};
struct Cursor : sqlite3_vtab_cursor {
    std::shared_ptr<DbfFile> file;
    uint32_t recno = 0;
    uint32_t last = 0;  // the scan ends after this record
    std::string record;
    // The records an index named, visited in place of the whole file.
    bool fromCandidates = false;
    std::vector<uint32_t> candidates;
    size_t nextCandidate = 0;
    // An ordered plan that reads only its column: the column's values, and whether the
    // current record was read all the same.
    int orderedColumn = -1;
    RecordIndex::Ordered ordered;
    bool recordRead = false;
};

// Records the failure being handled as the statement's error; the first store error is kept
// so that the statement raises it as it was thrown.
int fail(Vtab* vtab, const char* message) {
    if (!vtab->host->failure) {
        vtab->host->failure = std::current_exception();
    }
    sqlite3_free(vtab->zErrMsg);
    vtab->zErrMsg = sqlite3_mprintf("%s", message);
    return SQLITE_ERROR;
}

// Runs body; a failure becomes the statement's error (see fail()).
template <class Body>
int guarded(Vtab* vtab, Body&& body) {
    try {
        body();
        return SQLITE_OK;
    } catch (const std::bad_alloc&) {
        return SQLITE_NOMEM;
    } catch (const std::exception& e) {
        return fail(vtab, e.what());
    } catch (...) {
        return fail(vtab, "数据表文件出现未知错误");
    }
}

int connect(sqlite3* db, void* data, int, const char* const* argv, sqlite3_vtab** out,
            char** error) {
    auto* host = static_cast<TableHost*>(data);
    auto vtab = std::make_unique<Vtab>();
    vtab->host = host;
    const int rc = guarded(vtab.get(), [&] {
        vtab->key = lowerAscii(argv[2]);
        const TableHandle& current = host->openTable(vtab->key);
        vtab->fields = current.file->fields();
        for (const FieldDef& field : vtab->fields) {
            vtab->integerColumns.push_back(isIntegerColumn(field));
        }
        if (sqlite3_declare_vtab(db, tableDeclaration(vtab->fields).c_str()) != SQLITE_OK) {
            throw EngineError("数据表文件 " + current.path + " 的字段不能用于 SQL：" +
                              sqlite3_errmsg(db));
        }
        host->declared(vtab->key, vtab->fields, current.generation);
    });
    if (rc != SQLITE_OK) {
        *error = std::exchange(vtab->zErrMsg, nullptr);
        return rc;
    }
    *out = vtab.release();
    return SQLITE_OK;
}

// Distinct from connect(), so the module makes no table named after itself.
int create(sqlite3* db, void* data, int argc, const char* const* argv, sqlite3_vtab** out,
           char** error) {
    return connect(db, data, argc, argv, out, error);
}

int disconnect(sqlite3_vtab* vtab) {
    delete static_cast<Vtab*>(vtab);
    return SQLITE_OK;
}

int destroy(sqlite3_vtab* vtab) {
    auto* table = static_cast<Vtab*>(vtab);
    table->host->dropped(table->key);
    return disconnect(vtab);
}

// Plans: a rowid equality looks up one record; equalities and LIKE patterns on text
// columns go to the file's key indexes (kIndexedPlan, with the constraints described in
// idxStr); anything else reads every record. SQLite checks every constraint again itself
// (nothing is omitted), so the indexes only need to name every record that can match.
//
// Rows come in file order, as the tables' users expect. So an IN list (which SQLite would
// look up value by value) is not taken, and an indexed plan costs more than half a scan:
// two of them for the terms of an OR (whose rows SQLite would hand out term by term) cost
// more than the one scan that keeps the order.
//
// A select of every row ordered by one text column (kOrderedPlan) takes its rows in the
// order of that column's values from the key index, the column's own order (SQLite hands
// over no other); when it reads no other column, its values come from the index too.
constexpr int kRowidPlan = 1;
constexpr int kIndexedPlan = 2;
constexpr int kOrderedPlan = 3;
constexpr double kScanCost = 1e6;
constexpr double kIndexedCost = 0.6 * kScanCost;
constexpr double kOrderedCost = 0.5 * kScanCost;

// An equality compares with the column's own collation (blanks at the end disregarded, as
// the index does) or a stricter one; other collations could match other values.
bool indexableCollation(const char* collation) {
    return collation == nullptr || sqlite3_stricmp(collation, kCollation) == 0 ||
           sqlite3_stricmp(collation, "BINARY") == 0 || sqlite3_stricmp(collation, "RTRIM") == 0;
}

int bestIndex(sqlite3_vtab* base, sqlite3_index_info* info) {
    const auto* vtab = static_cast<const Vtab*>(base);
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto& constraint = info->aConstraint[i];
        if (constraint.usable && constraint.iColumn == -1 &&
            constraint.op == SQLITE_INDEX_CONSTRAINT_EQ) {
            info->aConstraintUsage[i].argvIndex = 1;
            info->idxNum = kRowidPlan;
            info->idxFlags = SQLITE_INDEX_SCAN_UNIQUE;
            info->estimatedCost = 1;
            info->estimatedRows = 1;
            return SQLITE_OK;
        }
    }
    std::string described;
    int arguments = 0;
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto& constraint = info->aConstraint[i];
        if (!constraint.usable || constraint.iColumn < 0 ||
            vtab->fields[static_cast<size_t>(constraint.iColumn)].type != FieldType::Character) {
            continue;
        }
        const bool equal = constraint.op == SQLITE_INDEX_CONSTRAINT_EQ &&
                           !sqlite3_vtab_in(info, i, -1) &&
                           indexableCollation(sqlite3_vtab_collation(info, i));
        if (!equal && constraint.op != SQLITE_INDEX_CONSTRAINT_LIKE) {
            continue;
        }
        info->aConstraintUsage[i].argvIndex = ++arguments;
        described += (equal ? "=" : "~") + std::to_string(constraint.iColumn) + " ";
    }
    if (arguments > 0) {
        info->idxNum = kIndexedPlan;
        info->idxStr = sqlite3_mprintf("%s", described.c_str());
        info->needToFreeIdxStr = 1;
        info->estimatedCost = kIndexedCost;
        info->estimatedRows = 100;
        return SQLITE_OK;
    }
    if (info->nOrderBy == 1 && info->aOrderBy[0].iColumn >= 0 &&
        vtab->fields[static_cast<size_t>(info->aOrderBy[0].iColumn)].type == FieldType::Character) {
        const int column = info->aOrderBy[0].iColumn;
        // colUsed has a bit per column, the last one standing for all columns from 63 on.
        const bool valuesOnly =
            column < 63 && (info->colUsed & ~(sqlite3_uint64(1) << column)) == 0;
        info->idxNum = kOrderedPlan;
        info->idxStr = sqlite3_mprintf("%c%c%d", info->aOrderBy[0].desc ? '>' : '<',
                                       valuesOnly ? 'v' : 'r', column);
        info->needToFreeIdxStr = 1;
        info->orderByConsumed = 1;
        info->estimatedCost = kOrderedCost;
        info->estimatedRows = 1000000;
        return SQLITE_OK;
    }
    info->idxNum = 0;
    info->estimatedCost = kScanCost;
    info->estimatedRows = 1000000;
    return SQLITE_OK;
}

// The conditions of an indexed plan, from its description and the constraints' values. A
// value that is not text, a pattern without a leading literal and a text GBK cannot hold
// narrow nothing and are left out.
std::vector<RecordIndex::Condition> indexConditions(const char* described, sqlite3_value** argv) {
    std::vector<RecordIndex::Condition> conditions;
    std::string_view rest = described ? described : "";
    for (int argument = 0; !rest.empty(); ++argument) {
        const bool like = rest.front() == '~';
        const size_t end = rest.find(' ');
        const int column = std::stoi(std::string(rest.substr(1, end - 1)));
        rest.remove_prefix(end + 1);
        if (sqlite3_value_type(argv[argument]) != SQLITE_TEXT) {
            continue;
        }
        std::string_view text = valueText(argv[argument]);
        if (like) {
            text = text.substr(0, text.find_first_of("%_"));
        } else {
            text = trimTrailingBlanks(text);
        }
        if (auto gbk = GbkCodec::encode(text); gbk && !(like && gbk->empty())) {
            conditions.push_back({column, std::move(*gbk), like});
        }
    }
    return conditions;
}

int open(sqlite3_vtab*, sqlite3_vtab_cursor** out) {
    *out = new Cursor();
    return SQLITE_OK;
}

int close(sqlite3_vtab_cursor* cursor) {
    delete static_cast<Cursor*>(cursor);
    return SQLITE_OK;
}

// Moves to the next live record up to the end of the scan: the next record in the file,
// or the next of the records an index named (whose values an ordered plan may already
// hold: the record is then read only when another column is asked for).
void advance(Cursor& cursor) {
    if (cursor.fromCandidates) {
        while (cursor.nextCandidate < cursor.candidates.size()) {
            const uint32_t recno = cursor.candidates[cursor.nextCandidate++];
            if (recno > cursor.last) {
                continue;  // appended by the statement itself
            }
            if (!cursor.ordered.values.empty()) {
                cursor.recno = recno;
                cursor.recordRead = false;
                return;
            }
            cursor.file->readRecord(recno, cursor.record);
            if (!DbfFile::isDeletedRecord(cursor.record)) {
                cursor.recno = recno;
                return;
            }
        }
        cursor.recno = cursor.last + 1;
        return;
    }
    while (++cursor.recno <= cursor.last) {
        cursor.file->readRecord(cursor.recno, cursor.record);
        if (!DbfFile::isDeletedRecord(cursor.record)) {
            return;
        }
    }
}

int filter(sqlite3_vtab_cursor* base, int indexNumber, const char* described, int,
           sqlite3_value** argv) {
    auto& cursor = *static_cast<Cursor*>(base);
    auto* vtab = static_cast<Vtab*>(base->pVtab);
    return guarded(vtab, [&] {
        cursor.file = vtab->host->openTable(vtab->key).file;
        // The count is taken now, so rows the statement appends are not visited.
        const uint32_t count = cursor.file->recordCount();
        cursor.recno = 0;
        cursor.last = count;
        cursor.fromCandidates = false;
        cursor.candidates.clear();
        cursor.nextCandidate = 0;
        cursor.ordered = {};
        if (indexNumber == kRowidPlan) {
            const auto rowid = rowidOf(argv[0]);
            const bool found = rowid && *rowid >= 1 && *rowid <= count;
            cursor.recno = found ? static_cast<uint32_t>(*rowid - 1) : 0;
            cursor.last = found ? static_cast<uint32_t>(*rowid) : 0;
        } else if (indexNumber == kIndexedPlan) {
            if (auto candidates =
                    cursor.file->index().candidates(indexConditions(described, argv))) {
                cursor.candidates = std::move(*candidates);
                cursor.fromCandidates = true;
            }
        } else if (indexNumber == kOrderedPlan) {
            cursor.orderedColumn = std::atoi(described + 2);
            RecordIndex::Ordered ordered = cursor.file->index().inOrderOf(
                cursor.orderedColumn, described[0] == '>', compareValues);
            cursor.candidates = std::move(ordered.records);
            cursor.fromCandidates = true;
            if (described[1] == 'v') {
                cursor.ordered = std::move(ordered);
            }
        }
        advance(cursor);
    });
}

int next(sqlite3_vtab_cursor* base) {
    auto& cursor = *static_cast<Cursor*>(base);
    auto* vtab = static_cast<Vtab*>(base->pVtab);
    return guarded(vtab, [&] { advance(cursor); });
}

int eof(sqlite3_vtab_cursor* base) {
    const auto& cursor = *static_cast<Cursor*>(base);
    return cursor.recno > cursor.last ? 1 : 0;
}

int column(sqlite3_vtab_cursor* base, sqlite3_context* context, int index) {
    // An UPDATE leaves this column as it is: no need to read it (memos in particular).
    if (sqlite3_vtab_nochange(context)) {
        return SQLITE_OK;
    }
    auto& cursor = *static_cast<Cursor*>(base);
    auto* vtab = static_cast<Vtab*>(base->pVtab);
    return guarded(vtab, [&] {
        if (!cursor.ordered.values.empty()) {
            if (index == cursor.orderedColumn) {
                const std::string& value =
                    cursor.ordered.values[cursor.ordered.valueOf[cursor.nextCandidate - 1]];
                resultValue(context, value.empty() ? Value() : Value(value), false);
                return;
            }
            if (!cursor.recordRead) {
                cursor.file->readRecord(cursor.recno, cursor.record);
                cursor.recordRead = true;
            }
        }
        resultValue(context, cursor.file->decodeField(cursor.record, index),
                    vtab->integerColumns[index]);
    });
}

int rowid(sqlite3_vtab_cursor* base, sqlite3_int64* out) {
    *out = static_cast<Cursor*>(base)->recno;
    return SQLITE_OK;
}

std::vector<std::pair<int, Value>> values(const Vtab& vtab, sqlite3_value** argv, bool skipNull) {
    std::vector<std::pair<int, Value>> out;
    for (size_t i = 0; i < vtab.fields.size(); ++i) {
        if (sqlite3_value_nochange(argv[i])) {
            continue;
        }
        Value value = fieldValue(vtab.fields[i], argv[i]);
        if (!skipNull || !value.isNull()) {
            out.emplace_back(static_cast<int>(i), std::move(value));
        }
    }
    return out;
}

int update(sqlite3_vtab* base, int argc, sqlite3_value** argv, sqlite3_int64* rowid) {
    auto* vtab = static_cast<Vtab*>(base);
    TableHost& host = *vtab->host;
    return guarded(vtab, [&] {
        DbfFile& file = vtab->writing ? *vtab->writing : *host.openTable(vtab->key).file;
        if (argc == 1) {
            file.setDeleted(static_cast<uint32_t>(sqlite3_value_int64(argv[0])), true);
        } else if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
            if (sqlite3_value_type(argv[1]) != SQLITE_NULL) {
                throw EngineError("数据表 " + vtab->key +
                                  "：新记录的 rowid 就是它的记录号，不能指定");
            }
            *rowid = file.append(values(*vtab, argv + 2, true));
        } else {
            const sqlite3_int64 recno = sqlite3_value_int64(argv[0]);
            if (sqlite3_value_type(argv[1]) != SQLITE_INTEGER ||
                sqlite3_value_int64(argv[1]) != recno) {
                throw EngineError("数据表 " + vtab->key +
                                  "：记录的 rowid 就是它的记录号，不能修改");
            }
            file.update(static_cast<uint32_t>(recno), values(*vtab, argv + 2, false));
        }
    });
}

// Each statement that writes is a nested transaction of the file, inside the units open.
int begin(sqlite3_vtab* base) {
    auto* vtab = static_cast<Vtab*>(base);
    TableHost& host = *vtab->host;
    return guarded(vtab, [&] {
        std::shared_ptr<DbfFile> file = host.openTable(vtab->key).file;
        host.enrol(file);
        file->beginTransaction();
        vtab->writing = std::move(file);
    });
}

int sync(sqlite3_vtab*) {
    return SQLITE_OK;
}

int finish(sqlite3_vtab* base, bool commit) {
    auto* vtab = static_cast<Vtab*>(base);
    if (!vtab->writing) {
        return SQLITE_OK;  // CREATE VIRTUAL TABLE commits without a begin
    }
    std::shared_ptr<DbfFile> file = std::move(vtab->writing);
    return guarded(vtab, [&] { commit ? file->commitTransaction() : file->rollbackTransaction(); });
}

int commit(sqlite3_vtab* vtab) {
    return finish(vtab, true);
}
int rollback(sqlite3_vtab* vtab) {
    return finish(vtab, false);
}

constexpr sqlite3_module kModule = {
    .iVersion = 0,
    .xCreate = create,
    .xConnect = connect,
    .xBestIndex = bestIndex,
    .xDisconnect = disconnect,
    .xDestroy = destroy,
    .xOpen = open,
    .xClose = close,
    .xFilter = filter,
    .xNext = next,
    .xEof = eof,
    .xColumn = column,
    .xRowid = rowid,
    .xUpdate = update,
    .xBegin = begin,
    .xSync = sync,
    .xCommit = commit,
    .xRollback = rollback,
    .xFindFunction = nullptr,
    .xRename = nullptr,
    .xSavepoint = nullptr,
    .xRelease = nullptr,
    .xRollbackTo = nullptr,
    .xShadowName = nullptr,
};

}  // namespace

int addTableModule(sqlite3* db, TableHost& host) {
    return sqlite3_create_module_v2(db, kModuleName, &kModule, &host, nullptr);
}

}  // namespace store::sql
