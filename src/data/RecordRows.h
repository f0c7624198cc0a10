#pragma once

#include <QString>
#include <array>
#include <functional>
#include <string>

namespace store {
class Dataset;
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

// The key of a new record of year (four digits): the successor of the year's highest
// ten-digit key, year + "000001" when it has none; never a key that is taken.
QString nextRecordKey(const QString& year);

// The trimmed name (ITEM_180) of row (0-based) of a persons table.
QString personName(store::Dataset& rows, int row);

// Copies row (0-based) of from into the row being edited or appended in to, column by column
// by position.
void copyRowByPosition(store::Dataset& from, int row, store::Dataset& to);

// Copies row (0-based) of from into the row being edited or appended in to, each column of to
// from the column of the same name (cgwcr and cgwcrNew need not keep the same column order).
void copyRowByName(store::Dataset& from, int row, store::Dataset& to);

// The person of row (0-based) of from becomes the known person of the same name in cgwcrNew:
// appended when the name is unknown, overwritten when it is known once, left alone when it is
// known more often. Leaves cgwcrNew filtered to the name.
void enterKnownPerson(store::Dataset& from, int row);

}  // namespace recordrows

// Rewrites field to 1..n over the rows of rows from the first, as one unit of writes, with
// the grids over rows suspended meanwhile; perRow may change more fields of each row before it
// is posted. The cursor ends on the last row. A failure rolls every row back and is thrown.
void renumberRows(store::Dataset& rows, const std::string& field,
                  const std::function<void(store::Dataset&)>& perRow = {});

// Reads rows's rows again after a unit of writes over them was rolled back, dropping an edit
// in progress.
void rereadRows(store::Dataset& rows);
