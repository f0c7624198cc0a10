#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "DbfFile.h"
#include "Value.h"

namespace store {

// The readable text form of a table, from which the delivered tables and test fixtures are
// built, and into which a table file can be dumped.
//
//   # comment lines may stand before the field line
//   ITEM_4 C(10)<TAB>ITEM_45 N(12,2)<TAB>ITEM_121 D<TAB>ITEM_13 M<TAB>FLAG L
//   2004000001<TAB>3.5<TAB>2004-05-01<TAB>first line\nsecond line<TAB>T
//
// The first line that is not a comment names the fields, TAB-separated, each as NAME TYPE
// with the width (and decimals) in parentheses for C, N and F. Every further line is one row
// of TAB-separated UTF-8 cells in field order; an empty cell is null; \t \n \r and \\ in a
// cell stand for TAB, line feed, carriage return and backslash. Dates are YYYY-MM-DD,
// logicals T or F. A row with fewer cells than fields leaves the rest null.
struct TableText {
    std::vector<FieldDef> fields;
    std::vector<std::vector<Value>> rows;
    // Where the text came from, so that writeTable() can name the line of a value that the
    // table cannot hold; empty for tables made in code.
    std::string sourceName;
    int fieldLine = 0;
    std::vector<int> rowLines;
};

// Throws ValueError "source:line: message" for anything it cannot read.
TableText parseTableText(std::string_view text, std::string_view sourceName);
// The live rows of a table file in the form above.
std::string formatTableText(const DbfFile& file);
// Creates the table file at path (replacing one that is there) and appends every row. A value
// the table cannot hold is a ValueError "source:line: message" (or "row n: message"), and
// leaves no table file behind.
void writeTable(const TableText& table, const std::string& path);
// Appends rows given by field name (any case) and text to the table file at path; a name the
// table does not have is an EngineError.
void appendRows(const std::string& path,
                const std::vector<std::map<std::string, std::string>>& rows);

}  // namespace store
