#pragma once

// The SQLite virtual-table module kModuleName: each table file of the directory as a table
// whose rowid is the record number, read and written through the database that installs it.

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "DbfFile.h"

struct sqlite3;

namespace store::sql {

inline constexpr const char* kModuleName = "dbf_table";

// An open table file of the database. The generation changes whenever it is reopened.
struct TableHandle {
    std::string path;
    std::shared_ptr<DbfFile> file;
    uint64_t generation = 0;
};

// What the module asks of the database that installs it.
class TableHost {
public:
    // The open handle of table key (its lower-case name), opened on first use; throws for a
    // missing or damaged file.
    virtual const TableHandle& openTable(const std::string& key) = 0;
    // Table key is declared to SQL with the fields of the handle of that generation.
    virtual void declared(const std::string& key, std::vector<FieldDef> fields,
                          uint64_t generation) = 0;
    // Table key is no longer declared.
    virtual void dropped(const std::string& key) = 0;
    // Joins file to the open units of writes before a statement writes it.
    virtual void enrol(const std::shared_ptr<DbfFile>& file) = 0;

    // The first store error raised inside a callback of the module, for the statement to
    // raise as it was thrown.
    std::exception_ptr failure;

protected:
    ~TableHost() = default;
};

// Installs the module on db for the tables of host; returns SQLite's result code.
int addTableModule(sqlite3* db, TableHost& host);

}  // namespace store::sql
