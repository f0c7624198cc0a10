#pragma once

// How the store's values and fields pass to and from SQLite: the declaration of a table's
// columns, a field's value as a column's result, the values SQL hands to writes and binds
// to parameters, and a result column read back as a value.

#include <sqlite3.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "DbfFile.h"
#include "Value.h"

namespace store::sql {

// name as an SQL identifier, in double quotes.
std::string quoteIdentifier(std::string_view name);
// The text or blob bytes of value.
std::string_view valueText(sqlite3_value* value);

// Whether the column of field hands its numbers over as integers.
bool isIntegerColumn(const FieldDef& field);
// The CREATE TABLE statement that declares a virtual table of fields.
std::string tableDeclaration(const std::vector<FieldDef>& fields);
// Sets value as the result of a column (an integer when integerColumn and it is whole).
void resultValue(sqlite3_context* context, const Value& value, bool integerColumn);
// A value that SQL hands to a write, in the form the field's encoder checks: numbers stay
// numbers (a text field formats them, a date field refuses them unless given as digits).
Value fieldValue(const FieldDef& field, sqlite3_value* value);
// The record number a rowid value names; nullopt for a value that is not a whole number.
std::optional<sqlite3_int64> rowidOf(sqlite3_value* value);

// How a result column reads back: by its SQL type, or as a date or a flag where it is a date
// or logical field's column.
enum class ColumnKind { Plain, Date, Bool };
ColumnKind columnKind(sqlite3_stmt* stmt, int column);
Value columnValue(sqlite3_stmt* stmt, int column, ColumnKind kind);
void bindValue(sqlite3_stmt* stmt, int index, const Value& value);

}  // namespace store::sql
