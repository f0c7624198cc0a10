#pragma once

// The functions that the store's SQL connection adds to SQLite: the text order of the table
// columns (the collation kCollation) and like() on characters.

#include <string_view>

struct sqlite3;

namespace store::sql {

inline constexpr const char* kCollation = "GBK";

// The order of two texts of the store in the collation kCollation: below zero, zero or above.
int compareValues(std::string_view a, std::string_view b);

// Installs the collation kCollation and like() of two and three arguments on db; returns
// SQLite's result code.
int addFunctions(sqlite3* db);

}  // namespace store::sql
