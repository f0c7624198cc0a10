// The store's values and fields as SQLite takes and gives them.

#include "SqlValues.h"

#include <cmath>

#include "SqlFunctions.h"

namespace store::sql {

namespace {

// Declared types: DATE and BOOLEAN have numeric affinity, so literals compared with them keep
// their own type, and their names tell run() to hand such columns back as dates and flags.
std::string declaredType(const FieldDef& field) {
    switch (field.type) {
        case FieldType::Character:
        case FieldType::Memo:
            return std::string("TEXT COLLATE ") + kCollation;
        case FieldType::Numeric:
        case FieldType::Float:
        case FieldType::Integer:
            return isIntegerColumn(field) ? "INTEGER" : "REAL";
        case FieldType::Date:
            return "DATE";
        case FieldType::Logical:
            return "BOOLEAN";
    }
    return "TEXT";
}

bool fitsInt64(double number) {
    return number == std::trunc(number) && std::fabs(number) < 9.2e18;
}

}  // namespace

std::string quoteIdentifier(std::string_view name) {
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + '"';
}

std::string_view valueText(sqlite3_value* value) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
    return text ? std::string_view(text, sqlite3_value_bytes(value)) : std::string_view();
}

bool isIntegerColumn(const FieldDef& field) {
    return field.type == FieldType::Integer ||
           ((field.type == FieldType::Numeric || field.type == FieldType::Float) &&
            field.decimals == 0 && field.length <= 18);
}

std::string tableDeclaration(const std::vector<FieldDef>& fields) {
    std::string sql = "CREATE TABLE x(";
    for (size_t i = 0; i < fields.size(); ++i) {
        sql += (i ? ", " : "") + quoteIdentifier(fields[i].name) + ' ' + declaredType(fields[i]);
    }
    return sql + ')';
}

void resultValue(sqlite3_context* context, const Value& value, bool integerColumn) {
    switch (value.kind()) {
        case Value::Kind::Null:
            sqlite3_result_null(context);
            break;
        case Value::Kind::Number: {
            const double number = value.asNumber();
            if (integerColumn && fitsInt64(number)) {
                sqlite3_result_int64(context, static_cast<sqlite3_int64>(number));
            } else {
                sqlite3_result_double(context, number);
            }
            break;
        }
        case Value::Kind::Bool:
            sqlite3_result_int(context, value.asBool() ? 1 : 0);
            break;
        case Value::Kind::Text:
        case Value::Kind::Date: {
            const std::string text = value.asText();
            sqlite3_result_text(context, text.data(), static_cast<int>(text.size()),
                                SQLITE_TRANSIENT);
            break;
        }
    }
}

Value fieldValue(const FieldDef& field, sqlite3_value* value) {
    switch (sqlite3_value_type(value)) {
        case SQLITE_NULL:
            return {};
        case SQLITE_INTEGER:
            if (field.type == FieldType::Date) {
                return Value(valueText(value));
            }
            return Value(static_cast<long long>(sqlite3_value_int64(value)));
        case SQLITE_FLOAT:
            return Value(sqlite3_value_double(value));
        default:
            return Value(valueText(value));
    }
}

std::optional<sqlite3_int64> rowidOf(sqlite3_value* value) {
    switch (sqlite3_value_numeric_type(value)) {
        case SQLITE_INTEGER:
            return sqlite3_value_int64(value);
        case SQLITE_FLOAT: {
            const double number = sqlite3_value_double(value);
            if (fitsInt64(number)) {
                return static_cast<sqlite3_int64>(number);
            }
            break;
        }
        default:
            break;
    }
    return std::nullopt;
}

ColumnKind columnKind(sqlite3_stmt* stmt, int column) {
    const char* type = sqlite3_column_decltype(stmt, column);
    if (type && sqlite3_stricmp(type, "DATE") == 0) {
        return ColumnKind::Date;
    }
    if (type && sqlite3_stricmp(type, "BOOLEAN") == 0) {
        return ColumnKind::Bool;
    }
    return ColumnKind::Plain;
}

Value columnValue(sqlite3_stmt* stmt, int column, ColumnKind kind) {
    switch (sqlite3_column_type(stmt, column)) {
        case SQLITE_NULL:
            return {};
        case SQLITE_INTEGER:
            if (kind == ColumnKind::Bool) {
                return Value(sqlite3_column_int64(stmt, column) != 0);
            }
            return Value(static_cast<long long>(sqlite3_column_int64(stmt, column)));
        case SQLITE_FLOAT:
            return Value(sqlite3_column_double(stmt, column));
        default: {
            const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt, column));
            std::string text(data ? data : "", sqlite3_column_bytes(stmt, column));
            if (kind == ColumnKind::Date) {
                if (auto date = Date::parse(text)) {
                    return Value(*date);
                }
            }
            return Value(std::move(text));
        }
    }
}

void bindValue(sqlite3_stmt* stmt, int index, const Value& value) {
    switch (value.kind()) {
        case Value::Kind::Null:
            sqlite3_bind_null(stmt, index);
            break;
        case Value::Kind::Number: {
            const double number = value.asNumber();
            if (fitsInt64(number)) {
                sqlite3_bind_int64(stmt, index, static_cast<sqlite3_int64>(number));
            } else {
                sqlite3_bind_double(stmt, index, number);
            }
            break;
        }
        case Value::Kind::Bool:
            sqlite3_bind_int(stmt, index, value.asBool() ? 1 : 0);
            break;
        case Value::Kind::Text:
        case Value::Kind::Date: {
            const std::string text = value.asText();
            sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()),
                              SQLITE_TRANSIENT);
            break;
        }
    }
}

}  // namespace store::sql
