#pragma once

#include <QString>
#include <array>
#include <string_view>

namespace store {
class Database;
class Table;
}  // namespace store

// Helpers for writing a record's rows: its child tables and the transaction units that make
// a multi-row write all or nothing.
namespace recordrows {

// The data module's four child tables in the order they are re-keyed and deleted: cgwcdw,
// zlqk, jdwyhmd, cgwcr.
std::array<store::Table*, 4> childTables();

// Enrols the file of table tableName ("hvel", "cgwcdw.DBF") in the open transaction units of
// db, so that a rollback restores what datasets post and delete in it.
void enrol(store::Database& db, std::string_view tableName);

// Closes table, filters it to the record's rows ("item_4='key' and item_dqdm='region'") and
// opens it again.
void filterToRecord(store::Table& table, const QString& key, const QString& region);

}  // namespace recordrows
