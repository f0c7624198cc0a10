#pragma once

#include <QString>
#include <array>
#include <string_view>

namespace store {
class Database;
class Table;
}  // namespace store

// Helpers for a record's rows in its child tables.
namespace recordrows {

// The data module's four child tables in the order they are re-keyed and deleted: cgwcdw,
// zlqk, jdwyhmd, cgwcr.
std::array<store::Table*, 4> childTables();

// Closes table, filters it to the record's rows ("item_4='key' and item_dqdm='region'") and
// opens it again.
void filterToRecord(store::Table& table, const QString& key, const QString& region);

// Closes and opens the child tables again, so that they read what a rolled-back unit of
// writes left in their files.
void reopenChildTables();

}  // namespace recordrows
