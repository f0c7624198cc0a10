// The two datasets of the store: Table over one table file, and Query over the rows of one
// SQL statement, live where it selects every field of one table.

#include "Dataset.h"

#include <optional>

#include "Errors.h"
#include "Text.h"

namespace store {

using text::equalsIgnoringCase;

namespace {

// For "select * from <table>" with nothing but a condition and an order behind it: the
// table and the text behind its name.
std::optional<std::pair<std::string, std::string>> liveSelect(std::string_view sql) {
    size_t i = 0;
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    auto isWordChar = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_';
    };
    auto skipSpaces = [&] {
        const size_t start = i;
        while (i < sql.size() && isSpace(sql[i])) {
            ++i;
        }
        return i - start;
    };
    auto word = [&](std::string_view expected) {
        if (sql.size() - i < expected.size() ||
            !equalsIgnoringCase(sql.substr(i, expected.size()), expected)) {
            return false;
        }
        i += expected.size();
        return true;
    };
    skipSpaces();
    if (!word("select")) {
        return std::nullopt;
    }
    skipSpaces();
    if (!word("*")) {
        return std::nullopt;
    }
    skipSpaces();
    if (!word("from") || skipSpaces() == 0) {
        return std::nullopt;
    }
    const size_t nameStart = i;
    while (i < sql.size() && isWordChar(sql[i])) {
        ++i;
    }
    if (i == nameStart || (sql[nameStart] >= '0' && sql[nameStart] <= '9')) {
        return std::nullopt;
    }
    std::string table(sql.substr(nameStart, i - nameStart));
    const std::string_view rest = sql.substr(i);
    const size_t afterName = i;
    skipSpaces();
    if (i == sql.size() ||
        (sql[i] == ';' && sql.find_first_not_of(" \t\r\n", i + 1) == std::string_view::npos)) {
        return std::make_pair(std::move(table), std::string(rest));
    }
    if (i == afterName) {
        return std::nullopt;
    }
    for (std::string_view clause : {"where", "order"}) {
        const size_t at = i;
        if (word(clause) && (i == sql.size() || !isWordChar(sql[i]))) {
            return std::make_pair(std::move(table), std::string(rest));
        }
        i = at;
    }
    return std::nullopt;
}

// The table's name as the database knows it: the file name without its ".dbf".
std::string_view baseName(std::string_view fileName) {
    if (fileName.size() > 4 && equalsIgnoringCase(fileName.substr(fileName.size() - 4), ".dbf")) {
        fileName.remove_suffix(4);
    }
    return fileName;
}

}  // namespace

// ---- Table -----------------------------------------------------------------------------

Table::Table(Database& db, std::string tableName)
    : Dataset(db), m_tableName(std::move(tableName)) {}

Table::~Table() {
    close();
}

void Table::setTableName(std::string name) {
    if (active()) {
        throw EngineError(sourceName() + "已经打开，不能进行这项操作");
    }
    m_tableName = std::move(name);
}

void Table::setExclusive(bool exclusive) {
    if (active()) {
        throw EngineError(sourceName() + "已经打开，不能进行这项操作");
    }
    m_exclusive = exclusive;
}

std::string Table::sourceName() const {
    return "数据表 " + std::string(baseName(m_tableName));
}

void Table::doOpen() {
    if (!m_file) {
        m_file =
            m_db.file(baseName(m_tableName), m_exclusive ? LockMode::Exclusive : LockMode::Shared);
        m_fields = m_file->fields();
    }
    m_rows = m_file->index().liveRecords();
    m_recordNo = -1;
}

void Table::doClose() {
    if (m_exclusive) {
        m_file.reset();
        m_db.release(baseName(m_tableName));
    }
}

void Table::pack() {
    requireBrowse("整理");
    if (!m_exclusive) {
        throw EngineError(sourceName() + "须独占打开才能整理");
    }
    m_file->pack();
    reloadRows();
    notify(DatasetEvent::Reset);
}

// ---- Query -----------------------------------------------------------------------------

Query::Query(Database& db) : Dataset(db) {}

Query::~Query() {
    close();
}

void Query::setSql(std::string sql) {
    if (active()) {
        throw EngineError(sourceName() + "已经打开，不能进行这项操作");
    }
    m_sql = std::move(sql);
    m_liveTable.clear();
    m_rowidSql.clear();
    m_wholeTable = false;
    if (auto live = liveSelect(m_sql)) {
        m_liveTable = live->first;
        m_rowidSql = "select rowid from " + m_liveTable + live->second;
        m_wholeTable = live->second.find_first_not_of(" \t\r\n;") == std::string::npos;
    }
}

void Query::setParam(std::string name, Value value) {
    if (!name.empty() && name.front() != ':') {
        name.insert(name.begin(), ':');
    }
    for (auto& [existing, stored] : m_params) {
        if (existing == name) {
            stored = std::move(value);
            return;
        }
    }
    m_params.emplace_back(std::move(name), std::move(value));
}

std::string Query::sourceName() const {
    return isLive() ? "数据表 " + m_liveTable : "查询结果";
}

void Query::doOpen() {
    if (isLive()) {
        if (!m_file) {
            m_file = m_db.file(m_liveTable);
            m_fields = m_file->fields();
            // A select of the whole table reads it without SQL; the conditions asked of it
            // later find it declared.
            m_db.declare(m_liveTable);
        }
        // Every record of the table, as a table takes them; otherwise the record numbers the
        // statement selects, in its order.
        m_rows = m_wholeTable ? m_file->index().liveRecords()
                              : RowNumbers(m_db.recordNumbers(m_rowidSql, m_params, m_access));
        return;
    }
    ResultSet result = m_db.run(m_sql, m_params, m_access);
    if (m_fields.empty()) {
        for (size_t column = 0; column < result.columns.size(); ++column) {
            FieldDef def;
            def.name = result.columns[column];
            def.type = FieldType::Character;
            for (const auto& row : result.rows) {
                if (!row[column].isNull()) {
                    if (row[column].kind() == Value::Kind::Number) {
                        def.type = FieldType::Numeric;
                    }
                    break;
                }
            }
            m_fields.push_back(def);
        }
    }
    m_values = std::move(result.rows);
}

int Query::execSql() {
    return m_db.run(m_sql, m_params).changes;
}

}  // namespace store
