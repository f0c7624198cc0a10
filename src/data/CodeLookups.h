#pragma once

#include <string>
#include <string_view>

namespace store {
class Table;
}

// Code-to-text lookups over the data module's tables. Each sets a filter on its table, reads
// the first row that passes, and leaves the filter set. Values go into the filters with their
// quotes doubled. An empty code or key finds nothing and leaves the table as it was.
namespace documents {

// The option text (xxmc) of code in the option list field (zddm) of zdxx, or "".
std::string LookupCodeName(store::Table& table, std::string_view field, std::string_view code);

// resultField of the row whose keyField equals value, or "" (the table is closed and opened
// again around the filter).
std::string LookupByKey(store::Table& table, std::string_view keyField,
                        std::string_view resultField, std::string_view value);

// keyField's text, a blank and nameField's text of the row whose keyField equals value; ""
// when that row has no name or there is none.
std::string LookupKeyAndName(store::Table& table, std::string_view keyField,
                             std::string_view nameField, std::string_view value);

// The option texts of a multi-choice value ("a;" or "a;b;"): the first code's text, ";" and
// the second code's text. A value without ";" is one code and gives its text alone.
std::string LookupCodeNamesPair(store::Table& table, std::string_view field,
                                std::string_view value);

}  // namespace documents
