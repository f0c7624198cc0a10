#include "Database.h"
#include "Text.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <functional>
#include <optional>
#include <unordered_map>
#include <utility>

#include "Errors.h"
#include "GbkCodec.h"
#include "Journal.h"

namespace store {

using text::lowerAscii;
using text::trimTrailingBlanks;

namespace {

constexpr const char* kModuleName = "dbf_table";
constexpr const char* kCollation = "GBK";
constexpr size_t kCacheLimit = 256;
constexpr std::string_view kNoSuchTable = "no such table: ";
// A unit of writes holding more than this in memory writes it out under the journal.
constexpr uint64_t kMaxHeldBytes = 8 * 1024 * 1024;

std::string quoteIdentifier(std::string_view name) {
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + '"';
}

std::string_view valueText(sqlite3_value* value) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
    return text ? std::string_view(text, sqlite3_value_bytes(value)) : std::string_view();
}

// The UTF-8 character of text at i, advancing i past it. A byte that does not start a valid
// sequence is a character of its own, mapped to a code no valid character has.
char32_t nextChar(std::string_view text, size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int extra = (lead & 0xE0) == 0xC0   ? 1
                      : (lead & 0xF0) == 0xE0 ? 2
                      : (lead & 0xF8) == 0xF0 ? 3
                                              : 0;
    if (lead >= 0x80 && extra == 0) {
        ++i;
        return 0xDC00 | lead;
    }
    char32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
    size_t j = i + 1;
    for (int k = 0; k < extra; ++k, ++j) {
        if (j >= text.size() || (static_cast<unsigned char>(text[j]) & 0xC0) != 0x80) {
            ++i;
            return 0xDC00 | lead;
        }
        c = (c << 6) | (static_cast<unsigned char>(text[j]) & 0x3F);
    }
    i = j;
    return c;
}

// LIKE on characters, case-sensitive: % matches any run of characters, _ exactly one, and the
// escape character makes the character after it literal.
bool likeMatch(std::string_view pattern, std::string_view text, std::optional<char32_t> escape) {
    size_t p = 0;
    size_t t = 0;
    size_t starP = std::string_view::npos;  // the pattern behind the last %
    size_t starT = 0;                       // where the text resumes when that % takes more
    for (;;) {
        if (p < pattern.size()) {
            size_t q = p;
            char32_t pc = nextChar(pattern, q);
            bool literal = false;
            if (escape && pc == *escape) {
                literal = true;
                if (q < pattern.size()) {
                    pc = nextChar(pattern, q);
                }
            }
            if (!literal && pc == '%') {
                starP = p = q;
                starT = t;
                continue;
            }
            if (t < text.size()) {
                size_t u = t;
                const char32_t tc = nextChar(text, u);
                if ((!literal && pc == '_') || pc == tc) {
                    p = q;
                    t = u;
                    continue;
                }
            }
        } else if (t == text.size()) {
            return true;
        }
        if (starP == std::string_view::npos || starT >= text.size()) {
            return false;
        }
        nextChar(text, starT);
        p = starP;
        t = starT;
    }
}

void likeFunction(sqlite3_context* context, int argc, sqlite3_value** argv) {
    for (int i = 0; i < argc; ++i) {
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) {
            return;
        }
    }
    std::optional<char32_t> escape;
    if (argc == 3) {
        const std::string_view text = valueText(argv[2]);
        size_t end = 0;
        if (!text.empty()) {
            escape = nextChar(text, end);
        }
        if (text.empty() || end != text.size()) {
            sqlite3_result_error(context, "ESCAPE 后面须是一个字符", -1);
            return;
        }
    }
    // like(X, Y) is "Y LIKE X": the pattern comes first.
    const std::string_view pattern = valueText(argv[0]);
    sqlite3_result_int(context, likeMatch(pattern, valueText(argv[1]), escape) ? 1 : 0);
}

// The GBK bytes of the character at i, by which it sorts. A character that GBK cannot hold
// sorts after all that it can (no GBK byte is 0xFF).
std::string gbkSortKey(std::string_view text, size_t i) {
    size_t end = i;
    nextChar(text, end);
    const std::string_view character = text.substr(i, end - i);
    if (auto gbk = GbkCodec::encode(character)) {
        return *gbk;
    }
    return "\xFF" + std::string(character);
}

// Text order of the table columns: trailing blanks are ignored and characters compare as
// their GBK bytes, which puts common hanzi in pinyin order. ASCII is the same in UTF-8 and
// GBK and every other character sorts after it in both, so only the first differing
// character needs converting, and only when neither side of it is ASCII.
int compareText(void*, int sizeA, const void* dataA, int sizeB, const void* dataB) {
    const std::string_view a =
        trimTrailingBlanks({static_cast<const char*>(dataA), static_cast<size_t>(sizeA)});
    const std::string_view b =
        trimTrailingBlanks({static_cast<const char*>(dataB), static_cast<size_t>(sizeB)});
    const auto [itA, itB] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    size_t i = static_cast<size_t>(itA - a.begin());
    if (i == a.size() || i == b.size()) {
        return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
    }
    const auto byteA = static_cast<unsigned char>(a[i]);
    const auto byteB = static_cast<unsigned char>(b[i]);
    if (byteA < 0x80 || byteB < 0x80) {
        return byteA < byteB ? -1 : 1;
    }
    while (i > 0 && (static_cast<unsigned char>(a[i]) & 0xC0) == 0x80) {
        --i;
    }
    const int order = gbkSortKey(a, i).compare(gbkSortKey(b, i));
    if (order != 0) {
        return order < 0 ? -1 : 1;
    }
    return a.substr(i) < b.substr(i) ? -1 : 1;
}

// compareText for two texts of the store.
int compareValues(std::string_view a, std::string_view b) {
    return compareText(nullptr, static_cast<int>(a.size()), a.data(), static_cast<int>(b.size()),
                       b.data());
}

bool isIntegerColumn(const FieldDef& field) {
    return field.type == FieldType::Integer ||
           ((field.type == FieldType::Numeric || field.type == FieldType::Float) &&
            field.decimals == 0 && field.length <= 18);
}

// Declared types: DATE and BOOLEAN have numeric affinity, so literals compared with them keep
// their own type, and their names tell run() to hand such columns back as dates and flags.
std::string declaredType(const FieldDef& field) {
    switch (field.type) {
        case FieldType::Character:
        case FieldType::Memo:
            return std::string("TEXT COLLATE ") + kCollation;
        case FieldType::Numeric:
        case FieldType::Float:
        case FieldType::Integer:
            return isIntegerColumn(field) ? "INTEGER" : "REAL";
        case FieldType::Date:
            return "DATE";
        case FieldType::Logical:
            return "BOOLEAN";
    }
    return "TEXT";
}

std::string tableDeclaration(const std::vector<FieldDef>& fields) {
    std::string sql = "CREATE TABLE x(";
    for (size_t i = 0; i < fields.size(); ++i) {
        sql += (i ? ", " : "") + quoteIdentifier(fields[i].name) + ' ' + declaredType(fields[i]);
    }
    return sql + ')';
}

bool fitsInt64(double number) {
    return number == std::trunc(number) && std::fabs(number) < 9.2e18;
}

void resultValue(sqlite3_context* context, const Value& value, bool integerColumn) {
    switch (value.kind()) {
        case Value::Kind::Null:
            sqlite3_result_null(context);
            break;
        case Value::Kind::Number: {
            const double number = value.asNumber();
            if (integerColumn && fitsInt64(number)) {
                sqlite3_result_int64(context, static_cast<sqlite3_int64>(number));
            } else {
                sqlite3_result_double(context, number);
            }
            break;
        }
        case Value::Kind::Bool:
            sqlite3_result_int(context, value.asBool() ? 1 : 0);
            break;
        case Value::Kind::Text:
        case Value::Kind::Date: {
            const std::string text = value.asText();
            sqlite3_result_text(context, text.data(), static_cast<int>(text.size()),
                                SQLITE_TRANSIENT);
            break;
        }
    }
}

// A value that SQL hands to a write, in the form the field's encoder checks: numbers stay
// numbers (a text field formats them, a date field refuses them unless given as digits).
Value fieldValue(const FieldDef& field, sqlite3_value* value) {
    switch (sqlite3_value_type(value)) {
        case SQLITE_NULL:
            return {};
        case SQLITE_INTEGER:
            if (field.type == FieldType::Date) {
                return Value(valueText(value));
            }
            return Value(static_cast<long long>(sqlite3_value_int64(value)));
        case SQLITE_FLOAT:
            return Value(sqlite3_value_double(value));
        default:
            return Value(valueText(value));
    }
}

std::optional<sqlite3_int64> rowidOf(sqlite3_value* value) {
    switch (sqlite3_value_numeric_type(value)) {
        case SQLITE_INTEGER:
            return sqlite3_value_int64(value);
        case SQLITE_FLOAT: {
            const double number = sqlite3_value_double(value);
            if (fitsInt64(number)) {
                return static_cast<sqlite3_int64>(number);
            }
            break;
        }
        default:
            break;
    }
    return std::nullopt;
}

enum class ColumnKind { Plain, Date, Bool };

ColumnKind columnKind(sqlite3_stmt* stmt, int column) {
    const char* type = sqlite3_column_decltype(stmt, column);
    if (type && sqlite3_stricmp(type, "DATE") == 0) {
        return ColumnKind::Date;
    }
    if (type && sqlite3_stricmp(type, "BOOLEAN") == 0) {
        return ColumnKind::Bool;
    }
    return ColumnKind::Plain;
}

Value columnValue(sqlite3_stmt* stmt, int column, ColumnKind kind) {
    switch (sqlite3_column_type(stmt, column)) {
        case SQLITE_NULL:
            return {};
        case SQLITE_INTEGER:
            if (kind == ColumnKind::Bool) {
                return Value(sqlite3_column_int64(stmt, column) != 0);
            }
            return Value(static_cast<long long>(sqlite3_column_int64(stmt, column)));
        case SQLITE_FLOAT:
            return Value(sqlite3_column_double(stmt, column));
        default: {
            const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt, column));
            std::string text(data ? data : "", sqlite3_column_bytes(stmt, column));
            if (kind == ColumnKind::Date) {
                if (auto date = Date::parse(text)) {
                    return Value(*date);
                }
            }
            return Value(std::move(text));
        }
    }
}

void bindValue(sqlite3_stmt* stmt, int index, const Value& value) {
    switch (value.kind()) {
        case Value::Kind::Null:
            sqlite3_bind_null(stmt, index);
            break;
        case Value::Kind::Number: {
            const double number = value.asNumber();
            if (fitsInt64(number)) {
                sqlite3_bind_int64(stmt, index, static_cast<sqlite3_int64>(number));
            } else {
                sqlite3_bind_double(stmt, index, number);
            }
            break;
        }
        case Value::Kind::Bool:
            sqlite3_bind_int(stmt, index, value.asBool() ? 1 : 0);
            break;
        case Value::Kind::Text:
        case Value::Kind::Date: {
            const std::string text = value.asText();
            sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()),
                              SQLITE_TRANSIENT);
            break;
        }
    }
}

struct StringHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

}  // namespace

struct Database::Impl {
    // An open table file of the registry. The generation changes whenever it is reopened.
    struct Handle {
        std::string path;
        std::shared_ptr<DbfFile> file;
        uint64_t generation = 0;
    };
    // The fields a virtual table was declared with, and the handle generation they match.
    struct TableInfo {
        std::vector<FieldDef> fields;
        uint64_t generation = 0;
    };
    struct Statement {
        sqlite3_stmt* stmt = nullptr;
        std::vector<std::string> tables;  // the virtual tables it uses
        bool writes = false;              // it does more than read
    };

    struct Vtab : sqlite3_vtab {
        Impl* impl = nullptr;
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

    // What the index of a closed handle knew (a pack leaves no record deleted), for the next
    // opening of the same file.
    struct Retired {
        std::string path;
        DbfFile::Identity identity;
        std::unique_ptr<RecordIndex> index;
    };

    Impl(Database& owner, const std::filesystem::path& directory)
        : owner(owner), journal(directory.string()) {}

    Database& owner;
    sqlite3* db = nullptr;
    std::map<std::string, Handle> handles;  // by lower-case table name
    std::map<std::string, Retired> retired;
    std::map<std::string, TableInfo> tables;
    std::unordered_map<std::string, Statement, StringHash, std::equal_to<>> cache;
    uint64_t generations = 0;
    std::vector<std::vector<std::shared_ptr<DbfFile>>> units;  // files enrolled per open unit
    std::vector<std::string> keyFields;
    Journal journal;

    Statement* preparing = nullptr;  // the statement the authorizer reports to
    bool internal = false;           // our own statements pass the authorizer unchecked
    std::string refusal;             // why the authorizer refused the statement
    std::exception_ptr failure;      // the first store error raised inside a callback

    // ---- messages ----

    std::string missingTable(const std::string& key) const {
        return "找不到数据表文件：" + (owner.directory() / (key + ".dbf")).string();
    }

    // The engine's message in the user's words; the parts it quotes from the SQL stay.
    std::string sqlMessage(const std::string& message) const {
        auto after = [&](std::string_view prefix) -> std::optional<std::string> {
            if (message.starts_with(prefix)) {
                return message.substr(prefix.size());
            }
            return std::nullopt;
        };
        if (message.starts_with("near \"") && message.ends_with("\": syntax error")) {
            return "SQL 语句在“" + message.substr(6, message.size() - 6 - 15) + "”附近有语法错误";
        }
        if (auto name = after(kNoSuchTable)) {
            return missingTable(lowerAscii(name->starts_with("main.") ? name->substr(5) : *name));
        }
        if (auto name = after("no such column: ")) {
            return "SQL 语句中的字段 " + *name + " 不存在";
        }
        if (auto name = after("ambiguous column name: ")) {
            return "SQL 语句中的字段名 " + *name + " 不明确";
        }
        if (auto name = after("no such function: ")) {
            return "SQL 语句中的函数 " + *name + " 不存在";
        }
        if (auto name = after("wrong number of arguments to function ")) {
            return "SQL 语句中函数 " + *name + " 的参数个数不对";
        }
        if (auto token = after("unrecognized token: ")) {
            return "SQL 语句中有不认识的记号 " + *token;
        }
        if (message == "incomplete input") {
            return "SQL 语句不完整";
        }
        if (message == "out of memory") {
            return "内存不足";
        }
        if (message.find("values were supplied") != std::string::npos ||
            message.find(" values for ") != std::string::npos) {
            return "SQL 语句中值的个数与字段的个数不符（" + message + "）";
        }
        return "SQL 语句出错：" + message;
    }

    // ---- table files ----

    Handle& handle(const std::string& key, LockMode mode, bool checkIdentity) {
        if (auto it = handles.find(key); it != handles.end()) {
            Handle& current = it->second;
            const bool upgrade = mode == LockMode::Exclusive && !current.file->isExclusive();
            // A file in a transaction is being written by us; its journal must survive.
            const bool stale = checkIdentity && !current.file->inTransaction() &&
                               DbfFile::identityOf(current.path) != current.file->identity();
            if (!upgrade && !stale) {
                return current;
            }
            if ((upgrade || current.file->isExclusive()) && current.file.use_count() > 1) {
                throw BusyError("数据表文件 " + current.path + " 正在使用中，不能独占打开");
            }
            if (current.file->isExclusive()) {
                mode = LockMode::Exclusive;
            }
            retire(it);  // the old lock goes before the file is opened again
        }
        const std::filesystem::path path = owner.tablePath(key);
        if (path.empty()) {
            throw EngineError(missingTable(key));
        }
        Handle fresh{path.string(), DbfFile::open(path.string(), mode), ++generations};
        indexKeyFields(*fresh.file);
        if (auto kept = retired.find(key); kept != retired.end()) {
            if (kept->second.path == fresh.path &&
                kept->second.identity == fresh.file->identity()) {
                fresh.file->index().adopt(*kept->second.index);
            }
            retired.erase(kept);
        }
        return handles[key] = std::move(fresh);
    }

    void indexKeyFields(DbfFile& file) const {
        std::vector<int> fields;
        for (const std::string& name : keyFields) {
            const int field = file.fieldIndex(name);
            if (field >= 0 &&
                file.fields()[static_cast<size_t>(field)].type == FieldType::Character) {
                fields.push_back(field);
            }
        }
        file.index().setKeyFields(std::move(fields));
    }

    // Closes a handle. When nothing else holds its file, what the file's index knows is kept
    // for the file's next opening, which takes it if the file is still the same.
    void retire(std::map<std::string, Handle>::iterator it) {
        Handle& closing = it->second;
        if (closing.file.use_count() == 1 && !closing.file->inTransaction()) {
            auto kept = std::make_unique<RecordIndex>(nullptr);
            kept->adopt(closing.file->index());
            retired[it->first] = Retired{closing.path, closing.file->identity(), std::move(kept)};
        }
        handles.erase(it);
    }

    // Joins file to every open unit; its writes are held from then until the outermost unit
    // ends and writes them out through the journal.
    void enrol(const std::shared_ptr<DbfFile>& file) {
        for (auto& unit : units) {
            if (std::find(unit.begin(), unit.end(), file) == unit.end()) {
                file->beginTransaction();
                unit.push_back(file);
            }
        }
        if (!units.empty()) {
            file->holdWrites(true);
        }
    }

    static std::vector<Journal::Member> membersOf(
        const std::vector<std::shared_ptr<DbfFile>>& files) {
        std::vector<Journal::Member> members;
        for (const auto& file : files) {
            for (const Journal::Member& member : file->journalMembers()) {
                members.push_back(member);
            }
        }
        return members;
    }

    // Runs each in the reverse order of enrolment; throws the first failure after all ran.
    template <class Action>
    static void eachBackwards(const std::vector<std::shared_ptr<DbfFile>>& files, Action action) {
        std::exception_ptr first;
        for (auto it = files.rbegin(); it != files.rend(); ++it) {
            try {
                action(**it);
            } catch (...) {
                if (!first) {
                    first = std::current_exception();
                }
            }
        }
        if (first) {
            std::rethrow_exception(first);
        }
    }

    void endUnit(bool commit) {
        if (units.empty()) {
            throw EngineError("没有正在进行的一组写入");
        }
        std::vector<std::shared_ptr<DbfFile>> files = std::move(units.back());
        units.pop_back();
        if (!units.empty()) {
            eachBackwards(files, [&](DbfFile& file) {
                commit ? file.commitTransaction() : file.rollbackTransaction();
            });
            // A long unit writes out what it holds now and then, under the journal.
            const std::vector<Journal::Member> members = membersOf(units.front());
            uint64_t held = 0;
            for (const Journal::Member& member : members) {
                held += member.file->heldBytes();
            }
            if (held > kMaxHeldBytes) {
                journal.writeOut(members);
            }
            return;
        }
        struct EndHolding {
            const std::vector<std::shared_ptr<DbfFile>>& files;
            ~EndHolding() {
                for (const auto& file : files) {
                    try {
                        file->holdWrites(false);
                    } catch (const std::exception&) {
                        // Only a failed rollback leaves writes held; the unit has failed.
                    }
                    file->afterUnit();
                }
            }
        } endHolding{files};
        const std::vector<Journal::Member> members = membersOf(files);
        if (commit) {
            try {
                journal.commit(members);
            } catch (...) {
                rollBack(files, members);
                throw;
            }
            eachBackwards(files, [](DbfFile& file) { file.commitTransaction(); });
        } else {
            rollBack(files, members);
        }
    }

    void rollBack(const std::vector<std::shared_ptr<DbfFile>>& files,
                  const std::vector<Journal::Member>& members) {
        std::exception_ptr first;
        try {
            eachBackwards(files, [](DbfFile& file) { file.rollbackTransaction(); });
        } catch (...) {
            first = std::current_exception();
        }
        try {
            journal.rollback(members);
        } catch (...) {
            if (!first) {
                first = std::current_exception();
            }
        }
        if (first) {
            std::rethrow_exception(first);
        }
    }

    // ---- statements ----

    void execInternal(const std::string& sql) {
        internal = true;
        failure = nullptr;
        char* error = nullptr;
        const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
        internal = false;
        if (rc != SQLITE_OK) {
            const std::string message = error ? error : sqlite3_errmsg(db);
            sqlite3_free(error);
            if (failure) {
                std::rethrow_exception(std::exchange(failure, nullptr));
            }
            throw EngineError(sqlMessage(message));
        }
    }

    void createTable(const std::string& key) {
        handle(key, LockMode::Shared, true);  // a missing or damaged file fails with its own words
        execInternal("CREATE VIRTUAL TABLE main." + quoteIdentifier(key) + " USING " + kModuleName);
    }

    // Makes table key match its file before a statement uses it: a handle whose file was
    // replaced is reopened, and a table whose fields changed with it is declared again.
    void refresh(const std::string& key) {
        auto table = tables.find(key);
        if (table == tables.end()) {
            createTable(key);
            return;
        }
        const Handle& current = handle(key, LockMode::Shared, true);
        if (table->second.generation == current.generation) {
            return;
        }
        if (table->second.fields == current.file->fields()) {
            table->second.generation = current.generation;
            return;
        }
        execInternal("DROP TABLE main." + quoteIdentifier(key));
        createTable(key);
    }

    // Declares the table a statement names when the directory has its file; false otherwise.
    bool createMissingTable(const std::string& message) {
        if (!message.starts_with(kNoSuchTable)) {
            return false;
        }
        std::string name = message.substr(kNoSuchTable.size());
        if (name.starts_with("main.")) {
            name.erase(0, 5);
        }
        const std::string key = lowerAscii(name);
        if (tables.contains(key) || owner.tablePath(key).empty()) {
            return false;
        }
        createTable(key);
        return true;
    }

    // True when nothing but blanks, semicolons and comments follows the first statement.
    bool restIsEmpty(const char* rest, const char* end) {
        const std::string_view text(rest, static_cast<size_t>(end - rest));
        if (text.find_first_not_of(" \t\r\n\f\v;") == std::string_view::npos) {
            return true;
        }
        sqlite3_stmt* next = nullptr;
        const int rc =
            sqlite3_prepare_v2(db, text.data(), static_cast<int>(text.size()), &next, nullptr);
        sqlite3_finalize(next);
        refusal.clear();
        return rc == SQLITE_OK && next == nullptr;
    }

    Statement prepare(std::string_view sql) {
        for (;;) {
            Statement statement;
            refusal.clear();
            failure = nullptr;
            preparing = &statement;
            const char* rest = nullptr;
            const int rc = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()),
                                              SQLITE_PREPARE_PERSISTENT, &statement.stmt, &rest);
            preparing = nullptr;
            if (rc == SQLITE_OK) {
                if (!statement.stmt) {
                    throw EngineError("没有给出 SQL 语句");
                }
                if (!restIsEmpty(rest, sql.data() + sql.size())) {
                    sqlite3_finalize(statement.stmt);
                    throw EngineError("一次只能执行一条 SQL 语句");
                }
                std::erase_if(statement.tables,
                              [&](const std::string& key) { return !tables.contains(key); });
                return statement;
            }
            const std::string message = sqlite3_errmsg(db);
            if (failure) {
                std::rethrow_exception(std::exchange(failure, nullptr));
            }
            if (!refusal.empty()) {
                throw EngineError(refusal);
            }
            if (!createMissingTable(message)) {
                throw EngineError(sqlMessage(message));
            }
        }
    }

    Statement& statement(std::string_view sql) {
        if (auto it = cache.find(sql); it != cache.end()) {
            return it->second;
        }
        if (cache.size() >= kCacheLimit) {
            clearCache();
        }
        Statement prepared = prepare(sql);
        return cache.emplace(std::string(sql), prepared).first->second;
    }

    void clearCache() {
        for (auto& entry : cache) {
            sqlite3_finalize(entry.second.stmt);
        }
        cache.clear();
    }

    static void bind(sqlite3_stmt* stmt, const Params& params) {
        const int count = sqlite3_bind_parameter_count(stmt);
        std::vector<bool> bound(count + 1);
        for (const auto& [name, value] : params) {
            std::string key = name;
            if (key.empty() ||
                std::string_view(":@$?").find(key.front()) == std::string_view::npos) {
                key.insert(0, ":");
            }
            // A parameter the statement does not use is left alone: a query keeps its
            // parameters when its text changes.
            if (const int index = sqlite3_bind_parameter_index(stmt, key.c_str()); index > 0) {
                bindValue(stmt, index, value);
                bound[index] = true;
            }
        }
        for (int index = 1; index <= count; ++index) {
            if (!bound[index]) {
                const char* name = sqlite3_bind_parameter_name(stmt, index);
                throw EngineError(std::string("SQL 语句的参数 ") +
                                  (name ? name : "?" + std::to_string(index)) + " 没有给出值");
            }
        }
    }

    // Runs one statement: onColumns(stmt) once its columns are known (after the first step: a
    // statement prepared again after a table was declared anew may have other columns), then
    // onRow(stmt) for each row. Returns the rows the statement changed.
    template <class OnColumns, class OnRow>
    int execute(std::string_view sql, const Params& params, Access access, OnColumns&& onColumns,
                OnRow&& onRow) {
        Statement& statement = this->statement(sql);
        sqlite3_stmt* stmt = statement.stmt;
        if (access == Access::ReadOnly && (statement.writes || !sqlite3_stmt_readonly(stmt))) {
            throw EngineError("这里只能执行读取数据的 SQL 语句");
        }
        for (const std::string& key : statement.tables) {
            refresh(key);
        }
        struct Reset {
            sqlite3_stmt* stmt;
            ~Reset() {
                sqlite3_reset(stmt);
                sqlite3_clear_bindings(stmt);
            }
        } reset{stmt};
        bind(stmt, params);
        failure = nullptr;
        // A statement that writes is a unit of writes of its own, or part of the one open.
        std::optional<Transaction> unit;
        if (statement.writes || !sqlite3_stmt_readonly(stmt)) {
            unit.emplace(owner);
        }
        const sqlite3_int64 changesBefore = sqlite3_total_changes64(db);
        for (bool described = false;; described = true) {
            const int rc = sqlite3_step(stmt);
            if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
                if (failure) {
                    std::rethrow_exception(std::exchange(failure, nullptr));
                }
                throw EngineError(sqlMessage(sqlite3_errmsg(db)));
            }
            if (!described) {
                onColumns(stmt);
            }
            if (rc == SQLITE_DONE) {
                break;
            }
            onRow(stmt);
        }
        const int changes = static_cast<int>(sqlite3_total_changes64(db) - changesBefore);
        if (unit) {
            unit->commit();
        }
        return changes;
    }

    ResultSet run(std::string_view sql, const Params& params, Access access) {
        ResultSet result;
        std::vector<ColumnKind> kinds;
        result.changes = execute(
            sql, params, access,
            [&](sqlite3_stmt* stmt) {
                const int count = sqlite3_column_count(stmt);
                for (int i = 0; i < count; ++i) {
                    result.columns.emplace_back(sqlite3_column_name(stmt, i));
                    kinds.push_back(columnKind(stmt, i));
                }
            },
            [&](sqlite3_stmt* stmt) {
                std::vector<Value>& row = result.rows.emplace_back();
                row.reserve(kinds.size());
                for (int i = 0; i < static_cast<int>(kinds.size()); ++i) {
                    row.push_back(columnValue(stmt, i, kinds[i]));
                }
            });
        return result;
    }

    std::vector<uint32_t> recordNumbers(std::string_view sql, const Params& params, Access access) {
        std::vector<uint32_t> numbers;
        execute(
            sql, params, access, [](sqlite3_stmt*) {},
            [&](sqlite3_stmt* stmt) {
                numbers.push_back(static_cast<uint32_t>(sqlite3_column_int64(stmt, 0)));
            });
        return numbers;
    }

    // ---- the authorizer: learns the tables a statement uses and refuses what SQL text may
    // not do here ----

    static int authorize(void* data, int action, const char* first, const char* second, const char*,
                         const char*) {
        auto* impl = static_cast<Impl*>(data);
        if (impl->internal) {
            return SQLITE_OK;
        }
        const char* refusal = nullptr;
        switch (action) {
            case SQLITE_ATTACH:
            case SQLITE_DETACH:
                refusal = "SQL 语句不能附加其他数据库";
                break;
            case SQLITE_TRANSACTION:
            case SQLITE_SAVEPOINT:
                refusal = "SQL 语句不能开始或结束事务";
                break;
            case SQLITE_CREATE_VTABLE:
            case SQLITE_DROP_VTABLE:
            case SQLITE_ALTER_TABLE:
                refusal = "数据目录中的表不能用 SQL 语句建立、删除或改变结构";
                break;
            case SQLITE_PRAGMA:
                if (second) {
                    refusal = "SQL 语句不能更改数据库的设置";
                }
                break;
            default:
                break;
        }
        if (refusal) {
            impl->refusal = refusal;
            return SQLITE_DENY;
        }
        if (Statement* statement = impl->preparing) {
            switch (action) {
                case SQLITE_READ:
                case SQLITE_INSERT:
                case SQLITE_UPDATE:
                case SQLITE_DELETE:
                    if (first) {
                        std::string key = lowerAscii(first);
                        if (std::find(statement->tables.begin(), statement->tables.end(), key) ==
                            statement->tables.end()) {
                            statement->tables.push_back(std::move(key));
                        }
                    }
                    break;
                default:
                    break;
            }
            switch (action) {
                case SQLITE_SELECT:
                case SQLITE_READ:
                case SQLITE_FUNCTION:
                case SQLITE_RECURSIVE:
                case SQLITE_PRAGMA:
                    break;
                default:
                    statement->writes = true;
            }
        }
        return SQLITE_OK;
    }

    // ---- the virtual-table module ----

    // Runs body; a failure becomes the statement's error, and the first store error is kept
    // so that run() raises it as it was thrown.
    template <class Body>
    int guarded(sqlite3_vtab* vtab, Body&& body) {
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

    int fail(sqlite3_vtab* vtab, const char* message) {
        if (!failure) {
            failure = std::current_exception();
        }
        sqlite3_free(vtab->zErrMsg);
        vtab->zErrMsg = sqlite3_mprintf("%s", message);
        return SQLITE_ERROR;
    }

    static int connect(sqlite3* db, void* data, int, const char* const* argv, sqlite3_vtab** out,
                       char** error) {
        auto* impl = static_cast<Impl*>(data);
        auto vtab = std::make_unique<Vtab>();
        const int rc = impl->guarded(vtab.get(), [&] {
            vtab->impl = impl;
            vtab->key = lowerAscii(argv[2]);
            const Handle& current = impl->handle(vtab->key, LockMode::Shared, false);
            vtab->fields = current.file->fields();
            for (const FieldDef& field : vtab->fields) {
                vtab->integerColumns.push_back(isIntegerColumn(field));
            }
            if (sqlite3_declare_vtab(db, tableDeclaration(vtab->fields).c_str()) != SQLITE_OK) {
                throw EngineError("数据表文件 " + current.path + " 的字段不能用于 SQL：" +
                                  sqlite3_errmsg(db));
            }
            impl->tables[vtab->key] = TableInfo{vtab->fields, current.generation};
        });
        if (rc != SQLITE_OK) {
            *error = std::exchange(vtab->zErrMsg, nullptr);
            return rc;
        }
        *out = vtab.release();
        return SQLITE_OK;
    }

    // Distinct from connect(), so the module makes no table named after itself.
    static int create(sqlite3* db, void* data, int argc, const char* const* argv,
                      sqlite3_vtab** out, char** error) {
        return connect(db, data, argc, argv, out, error);
    }

    static int disconnect(sqlite3_vtab* vtab) {
        delete static_cast<Vtab*>(vtab);
        return SQLITE_OK;
    }

    static int destroy(sqlite3_vtab* vtab) {
        auto* table = static_cast<Vtab*>(vtab);
        table->impl->tables.erase(table->key);
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
    static constexpr int kRowidPlan = 1;
    static constexpr int kIndexedPlan = 2;
    static constexpr int kOrderedPlan = 3;
    static constexpr double kScanCost = 1e6;
    static constexpr double kIndexedCost = 0.6 * kScanCost;
    static constexpr double kOrderedCost = 0.5 * kScanCost;

    // An equality compares with the column's own collation (blanks at the end disregarded, as
    // the index does) or a stricter one; other collations could match other values.
    static bool indexableCollation(const char* collation) {
        return collation == nullptr || sqlite3_stricmp(collation, kCollation) == 0 ||
               sqlite3_stricmp(collation, "BINARY") == 0 ||
               sqlite3_stricmp(collation, "RTRIM") == 0;
    }

    static int bestIndex(sqlite3_vtab* base, sqlite3_index_info* info) {
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
                vtab->fields[static_cast<size_t>(constraint.iColumn)].type !=
                    FieldType::Character) {
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
            vtab->fields[static_cast<size_t>(info->aOrderBy[0].iColumn)].type ==
                FieldType::Character) {
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
    static std::vector<RecordIndex::Condition> indexConditions(const char* described,
                                                               sqlite3_value** argv) {
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

    static int open(sqlite3_vtab*, sqlite3_vtab_cursor** out) {
        *out = new Cursor();
        return SQLITE_OK;
    }

    static int close(sqlite3_vtab_cursor* cursor) {
        delete static_cast<Cursor*>(cursor);
        return SQLITE_OK;
    }

    // Moves to the next live record up to the end of the scan: the next record in the file,
    // or the next of the records an index named (whose values an ordered plan may already
    // hold: the record is then read only when another column is asked for).
    static void advance(Cursor& cursor) {
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

    static int filter(sqlite3_vtab_cursor* base, int indexNumber, const char* described, int,
                      sqlite3_value** argv) {
        auto& cursor = *static_cast<Cursor*>(base);
        auto* vtab = static_cast<Vtab*>(base->pVtab);
        return vtab->impl->guarded(vtab, [&] {
            cursor.file = vtab->impl->handle(vtab->key, LockMode::Shared, false).file;
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

    static int next(sqlite3_vtab_cursor* base) {
        auto& cursor = *static_cast<Cursor*>(base);
        auto* vtab = static_cast<Vtab*>(base->pVtab);
        return vtab->impl->guarded(vtab, [&] { advance(cursor); });
    }

    static int eof(sqlite3_vtab_cursor* base) {
        const auto& cursor = *static_cast<Cursor*>(base);
        return cursor.recno > cursor.last ? 1 : 0;
    }

    static int column(sqlite3_vtab_cursor* base, sqlite3_context* context, int index) {
        // An UPDATE leaves this column as it is: no need to read it (memos in particular).
        if (sqlite3_vtab_nochange(context)) {
            return SQLITE_OK;
        }
        auto& cursor = *static_cast<Cursor*>(base);
        auto* vtab = static_cast<Vtab*>(base->pVtab);
        return vtab->impl->guarded(vtab, [&] {
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

    static int rowid(sqlite3_vtab_cursor* base, sqlite3_int64* out) {
        *out = static_cast<Cursor*>(base)->recno;
        return SQLITE_OK;
    }

    static std::vector<std::pair<int, Value>> values(const Vtab& vtab, sqlite3_value** argv,
                                                     bool skipNull) {
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

    static int update(sqlite3_vtab* base, int argc, sqlite3_value** argv, sqlite3_int64* rowid) {
        auto* vtab = static_cast<Vtab*>(base);
        Impl& impl = *vtab->impl;
        return impl.guarded(vtab, [&] {
            DbfFile& file = vtab->writing ? *vtab->writing
                                          : *impl.handle(vtab->key, LockMode::Shared, false).file;
            if (argc == 1) {
                file.setDeleted(static_cast<uint32_t>(sqlite3_value_int64(argv[0])), true);
            } else if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
                if (sqlite3_value_type(argv[1]) != SQLITE_NULL) {
                    throw EngineError("数据表 " + vtab->key +
                                      "：新记录的 rowid 就是它的记录号，不能指定");
                }
                *rowid = file.append(impl.values(*vtab, argv + 2, true));
            } else {
                const sqlite3_int64 recno = sqlite3_value_int64(argv[0]);
                if (sqlite3_value_type(argv[1]) != SQLITE_INTEGER ||
                    sqlite3_value_int64(argv[1]) != recno) {
                    throw EngineError("数据表 " + vtab->key +
                                      "：记录的 rowid 就是它的记录号，不能修改");
                }
                file.update(static_cast<uint32_t>(recno), impl.values(*vtab, argv + 2, false));
            }
        });
    }

    // Each statement that writes is a nested transaction of the file, inside the units open.
    static int begin(sqlite3_vtab* base) {
        auto* vtab = static_cast<Vtab*>(base);
        Impl& impl = *vtab->impl;
        return impl.guarded(vtab, [&] {
            std::shared_ptr<DbfFile> file = impl.handle(vtab->key, LockMode::Shared, false).file;
            impl.enrol(file);
            file->beginTransaction();
            vtab->writing = std::move(file);
        });
    }

    static int sync(sqlite3_vtab*) { return SQLITE_OK; }

    static int finish(sqlite3_vtab* base, bool commit) {
        auto* vtab = static_cast<Vtab*>(base);
        if (!vtab->writing) {
            return SQLITE_OK;  // CREATE VIRTUAL TABLE commits without a begin
        }
        std::shared_ptr<DbfFile> file = std::move(vtab->writing);
        return vtab->impl->guarded(
            vtab, [&] { commit ? file->commitTransaction() : file->rollbackTransaction(); });
    }

    static int commit(sqlite3_vtab* vtab) { return finish(vtab, true); }
    static int rollback(sqlite3_vtab* vtab) { return finish(vtab, false); }

    static constexpr sqlite3_module module = {
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
};

Database::Database(std::filesystem::path directory)
    : m_impl(std::make_unique<Impl>(*this, directory)), m_directory(std::move(directory)) {
    int rc =
        sqlite3_open_v2(":memory:", &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_create_collation_v2(m_db, kCollation, SQLITE_UTF8, nullptr, compareText,
                                         nullptr);
    }
    for (int args : {2, 3}) {
        if (rc == SQLITE_OK) {
            rc = sqlite3_create_function_v2(m_db, "like", args, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                            nullptr, likeFunction, nullptr, nullptr, nullptr);
        }
    }
    if (rc == SQLITE_OK) {
        rc = sqlite3_create_module_v2(m_db, kModuleName, &Impl::module, m_impl.get(), nullptr);
    }
    if (rc == SQLITE_OK) {
        rc = sqlite3_set_authorizer(m_db, Impl::authorize, m_impl.get());
    }
    if (rc != SQLITE_OK) {
        const std::string message = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
        sqlite3_close(m_db);
        throw EngineError("不能启动 SQL 引擎：" + message);
    }
    m_impl->db = m_db;
}

Database::~Database() {
    m_impl->clearCache();
    sqlite3_close(m_db);  // disconnects the virtual tables
}

ResultSet Database::run(std::string_view sql, const Params& params, Access access) {
    return m_impl->run(sql, params, access);
}

std::vector<uint32_t> Database::recordNumbers(std::string_view sql, const Params& params,
                                              Access access) {
    return m_impl->recordNumbers(sql, params, access);
}

std::filesystem::path Database::tablePath(std::string_view name) const {
    if (name.empty() || name.find('/') != std::string_view::npos || name == "." || name == "..") {
        return {};
    }
    const std::string wanted = lowerAscii(name) + ".dbf";
    std::filesystem::path found;
    std::error_code error;
    for (std::filesystem::directory_iterator it(m_directory, error), end; !error && it != end;
         it.increment(error)) {
        // A table file that an interrupted pack left renamed is found by its new file; opening
        // it completes the switch.
        std::string fileName = it->path().filename().string();
        if (std::string installed = DbfFile::installedName(fileName); !installed.empty()) {
            fileName = std::move(installed);
        }
        const std::filesystem::path path = m_directory / fileName;
        if (lowerAscii(fileName) == wanted && it->is_regular_file(error) &&
            (found.empty() || path < found)) {
            found = path;
        }
    }
    return found;
}

std::shared_ptr<DbfFile> Database::file(std::string_view name, LockMode mode) {
    return m_impl->handle(lowerAscii(name), mode, true).file;
}

void Database::release(std::string_view name) {
    auto it = m_impl->handles.find(lowerAscii(name));
    // A handle written in an open unit stays until the unit ends.
    if (it != m_impl->handles.end() && !it->second.file->inTransaction()) {
        m_impl->retire(it);
    }
}

void Database::declare(std::string_view name) {
    m_impl->refresh(lowerAscii(name));
}

void Database::setKeyFields(std::vector<std::string> names) {
    m_impl->keyFields = std::move(names);
    for (auto& [key, handle] : m_impl->handles) {
        m_impl->indexKeyFields(*handle.file);
    }
}

void Database::touch(const std::shared_ptr<DbfFile>& file) {
    m_impl->enrol(file);
}

std::vector<std::string> Database::damageReports() const {
    std::vector<std::string> reports;
    for (const auto& [key, handle] : m_impl->handles) {
        if (!handle.file->damage().empty()) {
            reports.push_back(handle.file->damage());
        }
    }
    return reports;
}

std::vector<std::string> Database::undecodableReports() const {
    constexpr size_t kNamed = 10;  // places named in one message
    std::vector<std::string> reports;
    for (const auto& [key, handle] : m_impl->handles) {
        std::vector<std::pair<uint32_t, int>> found;
        try {
            found = handle.file->undecodableFields();
        } catch (const EngineError&) {
            continue;  // a memo file that cannot be read is told of as damage
        }
        if (found.empty()) {
            continue;
        }
        std::string places;
        for (size_t i = 0; i < std::min(found.size(), kNamed); ++i) {
            places += (i == 0 ? "" : "，") + std::string("第 ") + std::to_string(found[i].first) +
                      " 条记录的字段 " + handle.file->fields()[found[i].second].name;
        }
        if (found.size() > kNamed) {
            places += "等";
        }
        reports.push_back("数据表文件 " + handle.path + " 中有 " + std::to_string(found.size()) +
                          " 处文字不是 GBK 编码，显示为“\uFFFD”，这些字节原样保留：" + places);
    }
    return reports;
}

Database::Transaction::Transaction(Database& db) : m_db(db) {
    db.m_impl->units.emplace_back();
}

Database::Transaction::~Transaction() {
    if (!m_done) {
        try {
            m_db.m_impl->endUnit(false);
        } catch (...) {
            // A destructor cannot report the failure; the files keep what the rollback did.
        }
    }
}

void Database::Transaction::commit() {
    if (m_done) {
        throw EngineError("这组写入已经结束");
    }
    m_done = true;
    m_db.m_impl->endUnit(true);
}

}  // namespace store
