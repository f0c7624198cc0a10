#include "CodeLookups.h"

#include "Dataset.h"
#include "Text.h"

namespace documents {

namespace {

std::string term(std::string_view field, std::string_view value) {
    return std::string(field) + " ='" + store::filterText(value) + "'";
}

// resultField of the first row that passes the table's filter, or "".
std::string firstRowText(store::Table& table, std::string_view resultField) {
    if (!table.active()) {
        table.open();
    }
    table.first();
    return table.eof() ? std::string() : table.field(resultField).asText();
}

}  // namespace

std::string LookupCodeName(store::Table& table, std::string_view field, std::string_view code) {
    if (code.empty()) {
        return {};
    }
    table.setFilter(term("zddm", field) + " and " + term("xxdm", code));
    return firstRowText(table, "xxmc");
}

std::string LookupByKey(store::Table& table, std::string_view keyField,
                        std::string_view resultField, std::string_view value) {
    if (value.empty()) {
        return {};
    }
    table.close();
    table.setFilter(term(keyField, value));
    return firstRowText(table, resultField);
}

std::string LookupKeyAndName(store::Table& table, std::string_view keyField,
                             std::string_view nameField, std::string_view value) {
    if (value.empty()) {
        return {};
    }
    table.setFilter(term(keyField, value));
    std::string name = firstRowText(table, nameField);
    return name.empty() ? std::string() : table.field(keyField).asText() + " " + name;
}

std::string LookupCodeNamesPair(store::Table& table, std::string_view field,
                                std::string_view value) {
    using store::text::trimBlanks;
    size_t separator = value.find(';');
    if (separator == std::string_view::npos) {
        return LookupCodeName(table, field, trimBlanks(value));
    }
    std::string_view rest = value.substr(separator + 1);
    size_t second = rest.find(';');
    std::string_view secondCode =
        second == std::string_view::npos ? std::string_view() : rest.substr(0, second);
    return LookupCodeName(table, field, trimBlanks(value.substr(0, separator))) + ";" +
           LookupCodeName(table, field, trimBlanks(secondCode));
}

}  // namespace documents
