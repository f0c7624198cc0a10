#include "TableText.h"
#include "Text.h"

#include <unistd.h>

#include <charconv>

#include "Errors.h"

namespace store {

namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (true) {
        size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

std::optional<int> parseInt(std::string_view text) {
    int value = 0;
    text = text::trimBlanks(text);
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string typeText(const FieldDef& field) {
    std::string text(1, static_cast<char>(field.type));
    switch (field.type) {
        case FieldType::Character:
            return text + "(" + std::to_string(field.length) + ")";
        case FieldType::Numeric:
        case FieldType::Float:
            return text + "(" + std::to_string(field.length) +
                   (field.decimals ? "," + std::to_string(field.decimals) : "") + ")";
        default:
            return text;
    }
}

std::string escaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

class Parser {
public:
    Parser(std::string_view sourceName) : m_source(sourceName) {}

    [[noreturn]] void fail(int line, const std::string& message) const {
        throw ValueError(m_source + ":" + std::to_string(line) + ": " + message);
    }

    FieldDef field(std::string_view cell, int line) const {
        cell = text::trimBlanks(cell);
        size_t blank = cell.find(' ');
        if (blank == std::string_view::npos) {
            fail(line, "field \"" + std::string(cell) + "\" has no type (NAME TYPE)");
        }
        FieldDef field;
        field.name = std::string(cell.substr(0, blank));
        std::string type;
        for (char c : cell.substr(blank + 1)) {
            if (c != ' ') {
                type += c;
            }
        }
        std::string_view letter = std::string_view(type).substr(0, 1);
        std::string_view size = std::string_view(type).substr(letter.size());
        auto bad = [&](const std::string& why) {
            fail(line, "field " + field.name + ": type \"" + type + "\" " + why);
        };
        if (letter.empty() || std::string_view("CNFDLM").find(letter) == std::string_view::npos) {
            bad("is not one of C, N, F, D, L, M");
        }
        field.type = static_cast<FieldType>(letter[0]);
        bool sized = field.type == FieldType::Character || field.type == FieldType::Numeric ||
                     field.type == FieldType::Float;
        if (!sized) {
            if (!size.empty()) {
                bad("takes no width");
            }
            return field;
        }
        if (size.size() < 3 || size.front() != '(' || size.back() != ')') {
            bad("needs a width in parentheses");
        }
        auto numbers = split(size.substr(1, size.size() - 2), ',');
        auto width = parseInt(numbers[0]);
        auto decimals = numbers.size() == 2 ? parseInt(numbers[1]) : std::optional<int>(0);
        if (numbers.size() > 2 || !width || !decimals ||
            (field.type == FieldType::Character && numbers.size() != 1)) {
            bad("has a malformed width");
        }
        field.length = *width;
        field.decimals = *decimals;
        return field;
    }

    Value cell(const FieldDef& field, std::string_view raw, int line) const {
        std::string text;
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] != '\\') {
                text += raw[i];
                continue;
            }
            char next = i + 1 < raw.size() ? raw[++i] : '\0';
            switch (next) {
                case 't':
                    text += '\t';
                    break;
                case 'n':
                    text += '\n';
                    break;
                case 'r':
                    text += '\r';
                    break;
                case '\\':
                    text += '\\';
                    break;
                default:
                    fail(line, "field " + field.name + ": unknown escape \"\\" +
                                   std::string(next ? 1 : 0, next) + "\"");
            }
        }
        if (text.empty()) {
            return Value();
        }
        switch (field.type) {
            case FieldType::Numeric:
            case FieldType::Float:
                try {
                    return Value(Value(text).asNumber());
                } catch (const ValueError&) {
                    fail(line, "field " + field.name + ": \"" + text + "\" is not a number");
                }
            case FieldType::Date:
                if (auto date = Date::parse(text)) {
                    return Value(*date);
                }
                fail(line, "field " + field.name + ": \"" + text + "\" is not a date (YYYY-MM-DD)");
            case FieldType::Logical:
                if (text == "T" || text == "F") {
                    return Value(text == "T");
                }
                fail(line, "field " + field.name + ": \"" + text + "\" is not T or F");
            default:
                return Value(std::move(text));
        }
    }

private:
    std::string m_source;
};

}  // namespace

TableText parseTableText(std::string_view text, std::string_view sourceName) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    Parser parser(sourceName);
    TableText table;
    table.sourceName = std::string(sourceName);
    auto lines = split(text, '\n');
    if (!lines.empty() && lines.back().empty()) {
        lines.pop_back();  // the end of the last line
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        int number = static_cast<int>(i) + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (table.fieldLine == 0) {
            if (text::trimBlanks(line).empty() || line.front() == '#') {
                continue;
            }
            table.fieldLine = number;
            for (std::string_view cell : split(line, '\t')) {
                table.fields.push_back(parser.field(cell, number));
            }
            continue;
        }
        auto cells = split(line, '\t');
        if (cells.size() > table.fields.size()) {
            parser.fail(number, std::to_string(cells.size()) + " cells, but the table has " +
                                    std::to_string(table.fields.size()) + " fields");
        }
        std::vector<Value> row;
        row.reserve(table.fields.size());
        for (size_t c = 0; c < table.fields.size(); ++c) {
            row.push_back(c < cells.size() ? parser.cell(table.fields[c], cells[c], number)
                                           : Value());
        }
        table.rows.push_back(std::move(row));
        table.rowLines.push_back(number);
    }
    if (table.fieldLine == 0) {
        parser.fail(static_cast<int>(lines.size()) + 1, "the field line is missing");
    }
    return table;
}

std::string formatTableText(const DbfFile& file) {
    const auto& fields = file.fields();
    std::string out;
    for (size_t i = 0; i < fields.size(); ++i) {
        out += (i ? "\t" : "") + fields[i].name + " " + typeText(fields[i]);
    }
    out += '\n';
    std::string record;
    for (uint32_t recno = 1; recno <= file.recordCount(); ++recno) {
        file.readRecord(recno, record);
        if (DbfFile::isDeletedRecord(record)) {
            continue;
        }
        for (size_t i = 0; i < fields.size(); ++i) {
            if (i) {
                out += '\t';
            }
            Value value = file.decodeField(record, static_cast<int>(i));
            out += value.kind() == Value::Kind::Text ? escaped(value.asText()) : value.asText();
        }
        out += '\n';
    }
    return out;
}

void writeTable(const TableText& table, const std::string& path) {
    auto where = [&](size_t row, int line) {
        if (table.sourceName.empty()) {
            return row ? "row " + std::to_string(row) + ": " : std::string();
        }
        return table.sourceName + ":" + std::to_string(line) + ": ";
    };
    try {
        DbfFile::create(path, table.fields);
    } catch (const ValueError& e) {
        throw ValueError(where(0, table.fieldLine) + e.what());
    }
    auto file = DbfFile::open(path, LockMode::Exclusive);
    size_t row = 0;
    try {
        std::vector<std::pair<int, Value>> values;
        for (; row < table.rows.size(); ++row) {
            values.clear();
            const auto& cells = table.rows[row];
            for (size_t i = 0; i < cells.size() && i < table.fields.size(); ++i) {
                if (!cells[i].isNull()) {
                    values.emplace_back(static_cast<int>(i), cells[i]);
                }
            }
            file->append(values);
        }
        file->flush();
    } catch (const StoreError& e) {
        std::string memoPath = file->memoPath();
        file.reset();
        ::unlink(path.c_str());
        if (!memoPath.empty()) {
            ::unlink(memoPath.c_str());
        }
        int line = row < table.rowLines.size() ? table.rowLines[row] : 0;
        std::string message = where(row + 1, line) + e.what();
        if (dynamic_cast<const ValueError*>(&e)) {
            throw ValueError(message);
        }
        throw EngineError(message);
    }
}

void appendRows(const std::string& path,
                const std::vector<std::map<std::string, std::string>>& rows) {
    auto file = DbfFile::open(path);
    std::vector<std::pair<int, Value>> values;
    for (const auto& row : rows) {
        values.clear();
        for (const auto& [name, value] : row) {
            const int index = file->fieldIndex(name);
            if (index < 0) {
                throw EngineError("数据表 " + path + " 中没有字段 " + name);
            }
            values.emplace_back(index, Value(value));
        }
        file->append(values);
    }
    file->flush();
}

}  // namespace store
