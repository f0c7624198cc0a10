// The database: its SQL connection, the open table files, the units of writes under the
// journal, the statement cache and the authorizer that limits what SQL text may do.

#include "Database.h"
#include "Text.h"

#include <sqlite3.h>

#include <algorithm>
#include <exception>
#include <functional>
#include <optional>
#include <unordered_map>
#include <utility>

#include "Errors.h"
#include "Journal.h"
#include "SqlFunctions.h"
#include "SqlValues.h"
#include "TableModule.h"

namespace store {

using sql::bindValue;
using sql::ColumnKind;
using sql::columnKind;
using sql::columnValue;
using sql::kModuleName;
using sql::quoteIdentifier;
using text::lowerAscii;

namespace {

constexpr size_t kCacheLimit = 256;
constexpr std::string_view kNoSuchTable = "no such table: ";
// A unit of writes holding more than this in memory writes it out under the journal.
constexpr uint64_t kMaxHeldBytes = 8 * 1024 * 1024;

struct StringHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

}  // namespace

struct Database::Impl final : sql::TableHost {
    using Handle = sql::TableHandle;
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

    const Handle& openTable(const std::string& key) override {
        return handle(key, LockMode::Shared, false);
    }

    void declared(const std::string& key, std::vector<FieldDef> fields,
                  uint64_t generation) override {
        tables[key] = TableInfo{std::move(fields), generation};
    }

    void dropped(const std::string& key) override { tables.erase(key); }

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
    void enrol(const std::shared_ptr<DbfFile>& file) override {
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
};

Database::Database(std::filesystem::path directory)
    : m_impl(std::make_unique<Impl>(*this, directory)), m_directory(std::move(directory)) {
    int rc =
        sqlite3_open_v2(":memory:", &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc == SQLITE_OK) {
        rc = sql::addFunctions(m_db);
    }
    if (rc == SQLITE_OK) {
        rc = sql::addTableModule(m_db, *m_impl);
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
