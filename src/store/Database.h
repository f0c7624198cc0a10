#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "DbfFile.h"
#include "Value.h"

struct sqlite3;

namespace store {

using Params = std::vector<std::pair<std::string, Value>>;  // named parameters: {":uncode", v}

struct ResultSet {
    std::vector<std::string> columns;
    // A column of a table comes back as its field reads: text, number, Date for a date field,
    // bool for a logical one; other columns by their SQL type.
    std::vector<std::vector<Value>> rows;
    int changes = 0;  // rows inserted, updated or deleted
};

// Local SQL over every table file of one directory.
//
// An in-memory SQLite connection in which each "<name>.dbf" of the directory is a virtual
// table named by its base name without regard to case (hvel, CheckUp, cgwcrNew). Text columns
// compare ignoring trailing blanks, in GBK byte order; like() is case-sensitive with % and _
// as wildcards; rowid is the record number. One statement per call. Every failure of the
// engine or of the SQL text is an EngineError.
//
// The database is also the one owner of open table files in the process: datasets and SQL
// share one DbfFile per file, so what one writes the other reads at once.
class Database {
public:
    explicit Database(std::filesystem::path directory);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const std::filesystem::path& directory() const { return m_directory; }

    enum class Access { ReadWrite, ReadOnly };
    // Runs one statement. ReadOnly refuses a statement that could change anything. A text
    // holding more than one statement is refused (a trailing ";" is allowed). A statement that
    // fails writes nothing; a value that a field cannot hold fails it with the file's own
    // ValueError. Parameters are named with or without their ":"; each one the statement uses
    // must be given. SQL text cannot attach databases, change settings, run transactions or
    // create, drop or alter the tables of the directory.
    ResultSet run(std::string_view sql, const Params& params = {},
                  Access access = Access::ReadWrite);
    // Runs a select whose first column is a record number (rowid) and returns those numbers
    // in the statement's order, without holding the other values.
    std::vector<uint32_t> recordNumbers(std::string_view sql, const Params& params = {},
                                        Access access = Access::ReadWrite);

    // The path of table name's file ("<directory>/<name>.dbf", any case of the name and the
    // extension), or an empty path when there is none.
    std::filesystem::path tablePath(std::string_view name) const;

    // The process's open handle of table name, opened on first use. A handle whose file was
    // replaced or rewritten on disk by someone else is reopened. Exclusive mode needs the
    // handle to be unused elsewhere (BusyError otherwise) and stays in
    // force until release(). Throws EngineError naming the file when it is missing or damaged.
    std::shared_ptr<DbfFile> file(std::string_view name, LockMode mode = LockMode::Shared);
    // Closes the handle of name (datasets still holding it keep their copy).
    void release(std::string_view name);
    // Declares table name to SQL now rather than at the first statement that names it.
    void declare(std::string_view name);

    // The text fields (by name, any case) that records are looked up by: every table file
    // that has them indexes them in any reading of all its records (the pack's), and keeps
    // those indexes beside the file for the next opening (RecordIndex).
    void setKeyFields(std::vector<std::string> names);

    // Enrols file in the open Transaction units before it is written outside SQL (a dataset's
    // post or delete), so that their rollback restores it and its writes wait for the journal;
    // does nothing when no unit is open. SQL statements enrol the files they write themselves.
    void touch(const std::shared_ptr<DbfFile>& file);

    // Why each open table that can only be read is so (DbfFile::damage()).
    std::vector<std::string> damageReports() const;
    // Where each open table holds text whose bytes are not GBK (DbfFile::undecodableFields()):
    // one message per table, naming its file, the records and the fields.
    std::vector<std::string> undecodableReports() const;

    // Groups writes of SQL and datasets into one unit: rolled back unless commit() is called.
    // Units nest; each ends in the reverse order of its start. The outermost unit reaches the
    // table files whole or not at all, across a crash or a power cut too: its writes are held
    // in memory, then written under the directory's rollback journal (see Journal). A statement
    // or a dataset's post outside any unit is a unit of its own.
    class Transaction {
    public:
        explicit Transaction(Database& db);
        ~Transaction();
        void commit();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;

    private:
        Database& m_db;
        bool m_done = false;
    };

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    std::filesystem::path m_directory;
    sqlite3* m_db = nullptr;
};

}  // namespace store
