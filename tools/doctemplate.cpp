// doctemplate: builds a word-processor template (.dotx) from its readable source.
//
//   doctemplate <source.txt> <out.dotx>
//
// The source format is described in templates/README.md.

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "TableText.h"
#include "Text.h"
#include "ZipPackage.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kWordNamespace =
    "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
constexpr const char* kRelationshipsNamespace =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr const char* kFooterRelationship = "rId3";  // the Id of kFooterRelationshipEntry
constexpr double kTwipsPerMm = 1440.0 / 25.4;

// A line of a source file with where it came from, for messages.
struct Line {
    std::string text;
    std::string where;  // "file:line"
};

class SourceError : public std::runtime_error {
public:
    SourceError(const Line& line, const std::string& message)
        : std::runtime_error(line.where + ": " + message) {}
};

std::string trim(std::string_view text) {
    size_t start = text.find_first_not_of(" \t\r");
    if (start == std::string_view::npos) {
        return {};
    }
    size_t end = text.find_last_not_of(" \t\r");
    return std::string(text.substr(start, end - start + 1));
}

// The first word of text and the rest, trimmed.
std::pair<std::string, std::string> firstWord(const std::string& text) {
    size_t blank = text.find_first_of(" \t");
    if (blank == std::string::npos) {
        return {text, {}};
    }
    return {text.substr(0, blank), trim(text.substr(blank))};
}

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> result;
    for (std::string word; in >> word;) {
        result.push_back(word);
    }
    return result;
}

double number(const Line& line, const std::string& word) {
    try {
        size_t used = 0;
        double value = std::stod(word, &used);
        if (used == word.size() && value >= 0) {
            return value;
        }
    } catch (const std::exception&) {
    }
    throw SourceError(line, "not a number: " + word);
}

std::string twips(double mm) {
    return std::to_string(std::lround(mm * kTwipsPerMm));
}

// Reads a source file with its includes expanded and $NAME replaced by the defines.
class SourceReader {
public:
    std::vector<Line> read(const fs::path& path, const Line* includedFrom) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            std::string message = path.string() + " cannot be read";
            if (includedFrom != nullptr) {
                throw SourceError(*includedFrom, message);
            }
            throw std::runtime_error(message);
        }
        std::vector<Line> lines;
        std::string text;
        for (int number = 1; std::getline(in, text); ++number) {
            Line line{trim(text), path.filename().string() + ":" + std::to_string(number)};
            if (line.text.empty() || line.text.front() == '#') {
                continue;
            }
            auto [keyword, rest] = firstWord(line.text);
            if (keyword == "define") {
                auto [name, value] = firstWord(rest);
                if (name.empty()) {
                    throw SourceError(line, "define needs a name");
                }
                m_defines[name] = substitute(line, value);
            } else if (keyword == "include") {
                auto included = read(path.parent_path() / rest, &line);
                lines.insert(lines.end(), included.begin(), included.end());
            } else if (keyword == "codetable") {
                // The path is relative to the file that names the table; the builder reads it.
                line.text = "codetable " + (path.parent_path() / rest).string();
                lines.push_back(std::move(line));
            } else {
                if (keyword == "repeat") {
                    m_repeatNames.insert(firstWord(rest).first);
                }
                line.text = substitute(line, line.text);
                lines.push_back(std::move(line));
            }
        }
        return lines;
    }

    // $NAME replaced by its define; the name of a repeat's row number stays for the repeat.
    std::string substitute(const Line& line, const std::string& text) const {
        std::string out;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] != '$') {
                out += text[i];
                continue;
            }
            size_t end = i + 1;
            while (end < text.size() &&
                   (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_')) {
                ++end;
            }
            std::string name = text.substr(i + 1, end - i - 1);
            auto found = m_defines.find(name);
            if (found != m_defines.end()) {
                out += found->second;
            } else if (m_repeatNames.contains(name)) {
                out += "$" + name;  // a row number, replaced by the repeat
            } else {
                throw SourceError(line, "unknown name $" + name);
            }
            i = end - 1;
        }
        return out;
    }

    std::map<std::string, std::string> m_defines;
    std::set<std::string> m_repeatNames;
};

// The option lists of a code table in its text form: the fields zddm (the list, named after
// the coded field in lower case), xxdm (the code) and xxmc (the option's text).
class CodeTable {
public:
    static CodeTable read(const Line& line, const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            throw SourceError(line, path + " cannot be read");
        }
        std::ostringstream text;
        text << in.rdbuf();
        CodeTable table;
        table.m_path = path;
        try {
            table.m_text = store::parseTableText(text.str(), path);
        } catch (const std::exception& e) {
            throw SourceError(line, e.what());
        }
        for (const char* name : {"zddm", "xxdm", "xxmc"}) {
            const auto& fields = table.m_text.fields;
            auto found = std::find_if(fields.begin(), fields.end(), [&](const auto& field) {
                return store::text::lowerAscii(field.name) == name;
            });
            if (found == fields.end()) {
                throw SourceError(line, path + " has no field " + name);
            }
            table.m_columns.push_back(static_cast<size_t>(found - fields.begin()));
        }
        return table;
    }

    // "code text　code text ...", in the table's order. An option whose text starts with
    // "**" belongs to an earlier edition of the form and is left out, as the entry pages
    // leave it out.
    std::string options(const Line& line, const std::string& list) const {
        std::string result;
        for (const auto& row : m_text.rows) {
            auto cell = [&](size_t column) {
                size_t index = m_columns[column];
                return index < row.size() ? row[index].asText() : std::string();
            };
            std::string text = cell(2);
            if (cell(0) != list || text.starts_with("**")) {
                continue;
            }
            result += (result.empty() ? "" : "　") + cell(1) + " " + text;
        }
        if (result.empty()) {
            throw SourceError(line, m_path + " has no options of " + list);
        }
        return result;
    }

private:
    std::string m_path;
    store::TableText m_text;
    std::vector<size_t> m_columns;  // of zddm, xxdm, xxmc
};

struct Cell {
    std::string text;
    int span = 1;
    enum class Merge { None, Restart, Continue } merge = Merge::None;
    bool label = false;
    bool centered = false;
};

struct Row {
    double heightMm = 0;
    bool header = false;    // repeated at the top of every page the table runs onto
    bool longText = false;  // may break across pages; every other row is kept on one page
    std::vector<Cell> cells;
};

struct Table {
    enum class Rules { Grid, Lines, None } rules = Rules::Grid;
    bool small = false;
    bool large = false;
    std::vector<double> widths;
    std::vector<Row> rows;
};

// The document being built.
class TemplateBuilder {
public:
    TemplateBuilder() {
        pugi::xml_node document = m_xml.append_child("w:document");
        document.append_attribute("xmlns:w") = kWordNamespace;
        document.append_attribute("xmlns:r") = kRelationshipsNamespace;
        m_body = document.append_child("w:body");
    }

    void build(const std::vector<Line>& lines) {
        for (size_t i = 0; i < lines.size(); ++i) {
            const Line& line = lines[i];
            auto [keyword, rest] = firstWord(line.text);
            if (keyword == "page") {
                page(line, rest);
            } else if (keyword == "title") {
                paragraph(line, "FormTitle", rest);
            } else if (keyword == "subtitle") {
                paragraph(line, "FormSubtitle", rest);
            } else if (keyword == "heading") {
                paragraph(line, "SectionHeading", rest);
            } else if (keyword == "para") {
                paragraph(line, "Normal", rest);
            } else if (keyword == "center") {
                paragraph(line, "Normal", rest, "center");
            } else if (keyword == "right") {
                paragraph(line, "Normal", rest, "right");
            } else if (keyword == "note") {
                paragraph(line, "Note", rest);
            } else if (keyword == "space") {
                int count = rest.empty() ? 1 : static_cast<int>(number(line, rest));
                for (int n = 0; n < count; ++n) {
                    paragraph(line, "Normal", "");
                }
            } else if (keyword == "pagebreak") {
                pugi::xml_node p = m_body.append_child("w:p");
                p.append_child("w:r").append_child("w:br").append_attribute("w:type") = "page";
            } else if (keyword == "footer") {
                if (rest.find('{') != std::string::npos) {
                    throw SourceError(line, "a footer holds no bookmark");
                }
                paragraph(line, "PageFooter", rest, nullptr, footer());
            } else if (keyword == "codetable") {
                m_codeTable = CodeTable::read(line, rest);
            } else if (keyword == "codes") {
                codes(line, rest);
            } else if (keyword == "table") {
                i = table(lines, i);
            } else {
                throw SourceError(line, "unknown line: " + keyword);
            }
        }
        section();
    }

    std::string documentXml() const { return serialize(m_xml); }
    // Empty when the source has no footer line.
    std::string footerXml() const { return hasFooter() ? serialize(m_footer) : std::string(); }
    const std::set<std::string>& bookmarks() const { return m_bookmarks; }

    static std::string serialize(const pugi::xml_document& xml) {
        std::ostringstream out;
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
        xml.save(out, "", pugi::format_raw | pugi::format_no_declaration);
        return out.str();
    }

private:
    bool hasFooter() const { return !m_footer.document_element().empty(); }

    // The page footer, made on its first line.
    pugi::xml_node footer() {
        if (!hasFooter()) {
            pugi::xml_node ftr = m_footer.append_child("w:ftr");
            ftr.append_attribute("xmlns:w") = kWordNamespace;
        }
        return m_footer.document_element();
    }

    // "CAPTION：code text　code text ..." in small print: the options of one list of the code
    // table, in the table's order.
    void codes(const Line& line, const std::string& rest) {
        if (!m_codeTable) {
            throw SourceError(line, "codes needs a codetable line before it");
        }
        auto [list, caption] = firstWord(rest);
        if (caption.empty()) {
            throw SourceError(line, "codes LIST CAPTION");
        }
        std::string options = m_codeTable->options(line, list);
        paragraph(line, "Note", caption + "：" + options);
    }

    void page(const Line& line, const std::string& rest) {
        std::vector<std::string> options = words(rest);
        for (size_t i = 0; i < options.size(); ++i) {
            if (options[i] == "landscape") {
                m_landscape = true;
            } else if (options[i] == "margins" && i + 4 < options.size()) {
                for (int side = 0; side < 4; ++side) {
                    m_margins[side] = number(line, options[++i]);
                }
            } else {
                throw SourceError(line, "page takes landscape and margins T R B L (mm)");
            }
        }
    }

    double textWidthMm() const {
        return (m_landscape ? 297.0 : 210.0) - m_margins[1] - m_margins[3];
    }

    pugi::xml_node paragraph(const Line& line, const char* style, const std::string& text,
                             const char* align = nullptr, pugi::xml_node parent = {}) {
        pugi::xml_node p = (parent ? parent : m_body).append_child("w:p");
        pugi::xml_node properties = p.append_child("w:pPr");
        if (std::string_view(style) != "Normal") {
            properties.append_child("w:pStyle").append_attribute("w:val") = style;
        }
        if (align != nullptr) {
            properties.append_child("w:jc").append_attribute("w:val") = align;
        }
        inlineText(line, p, text, false);
        return p;
    }

    // Text with **bold** spans and {bookmark} places.
    void inlineText(const Line& line, pugi::xml_node p, const std::string& text, bool bold) {
        std::string pending;
        auto flush = [&] {
            if (pending.empty()) {
                return;
            }
            pugi::xml_node run = p.append_child("w:r");
            if (bold) {
                run.append_child("w:rPr").append_child("w:b");
            }
            pugi::xml_node t = run.append_child("w:t");
            t.append_attribute("xml:space") = "preserve";
            t.text().set(pending.c_str());
            pending.clear();
        };
        for (size_t i = 0; i < text.size(); ++i) {
            if (text.compare(i, 2, "**") == 0) {
                flush();
                bold = !bold;
                ++i;
            } else if (text[i] == '{') {
                size_t close = text.find('}', i);
                if (close == std::string::npos) {
                    throw SourceError(line, "a { without }");
                }
                flush();
                bookmark(line, p, text.substr(i + 1, close - i - 1));
                i = close;
            } else {
                pending += text[i];
            }
        }
        flush();
    }

    void bookmark(const Line& line, pugi::xml_node p, const std::string& name) {
        if (name.empty() || name.find_first_of(" \t$") != std::string::npos) {
            throw SourceError(line, "not a bookmark name: {" + name + "}");
        }
        if (!m_bookmarks.insert(name).second) {
            throw SourceError(line, "bookmark {" + name + "} is there twice");
        }
        std::string id = std::to_string(m_nextId++);
        pugi::xml_node start = p.append_child("w:bookmarkStart");
        start.append_attribute("w:id") = id.c_str();
        start.append_attribute("w:name") = name.c_str();
        p.append_child("w:bookmarkEnd").append_attribute("w:id") = id.c_str();
    }

    // Reads the table starting at lines[first]; returns the index of its "end" line.
    size_t table(const std::vector<Line>& lines, size_t first) {
        const Line& head = lines[first];
        Table table;
        for (const std::string& word : words(firstWord(head.text).second)) {
            if (word == "grid") {
                table.rules = Table::Rules::Grid;
            } else if (word == "lines") {
                table.rules = Table::Rules::Lines;
            } else if (word == "plain") {
                table.rules = Table::Rules::None;
            } else if (word == "small") {
                table.small = true;
            } else if (word == "large") {
                table.large = true;
            } else {
                table.widths.push_back(number(head, word));
            }
        }
        if (table.widths.empty()) {
            throw SourceError(head, "a table needs its column widths (mm)");
        }
        double total = 0;
        for (double width : table.widths) {
            total += width;
        }
        if (total > textWidthMm() + 0.01) {
            throw SourceError(head, "the columns are wider than the page's text (" +
                                        std::to_string(textWidthMm()) + " mm)");
        }
        for (size_t i = first + 1; i < lines.size(); ++i) {
            auto [keyword, rest] = firstWord(lines[i].text);
            if (keyword == "end") {
                emitTable(head, table);
                return i;
            }
            if (keyword == "repeat") {
                i = repeat(lines, i, table);
            } else {
                addRow(lines[i], lines[i].text, table);
            }
        }
        throw SourceError(head, "table without end");
    }

    size_t repeat(const std::vector<Line>& lines, size_t first, Table& table) {
        const Line& head = lines[first];
        std::vector<std::string> args = words(firstWord(head.text).second);
        if (args.size() != 3) {
            throw SourceError(head, "repeat NAME FROM TO");
        }
        int from = static_cast<int>(number(head, args[1]));
        int to = static_cast<int>(number(head, args[2]));
        size_t last = first + 1;
        while (last < lines.size() && firstWord(lines[last].text).first != "end") {
            ++last;
        }
        if (last == lines.size()) {
            throw SourceError(head, "repeat without end");
        }
        for (int n = from; n <= to; ++n) {
            SourceReader names;
            names.m_defines[args[0]] = std::to_string(n);
            for (size_t i = first + 1; i < last; ++i) {
                addRow(lines[i], names.substitute(lines[i], lines[i].text), table);
            }
        }
        return last;
    }

    void addRow(const Line& line, const std::string& text, Table& table) {
        auto [keyword, rest] = firstWord(text);
        Row row;
        const std::string kind = keyword.substr(0, keyword.find(':'));
        row.header = kind == "head";
        row.longText = kind == "long";
        if (kind != "head" && kind != "row" && kind != "long") {
            throw SourceError(line, "a table holds head, row, long, repeat and end lines");
        }
        if (keyword.size() > kind.size()) {
            row.heightMm = number(line, keyword.substr(kind.size() + 1));
        }
        std::string cells = rest;
        size_t column = 0;
        std::vector<size_t> starts;
        for (size_t start = 0;;) {
            size_t bar = cells.find('|', start);
            std::string cellText = trim(cells.substr(start, bar - start));
            if (cellText == "~") {
                if (row.cells.empty()) {
                    throw SourceError(line, "~ needs a cell on its left");
                }
                row.cells.back().span += 1;
            } else {
                Cell cell;
                if (cellText == "^") {
                    cell.merge = Cell::Merge::Continue;
                } else if (!cellText.empty() && cellText.front() == '*') {
                    cell.label = true;
                    cell.centered = true;
                    cell.text = trim(cellText.substr(1));
                } else if (!cellText.empty() && cellText.front() == '=') {
                    cell.centered = true;
                    cell.text = trim(cellText.substr(1));
                } else {
                    cell.text = cellText;
                }
                starts.push_back(column);
                row.cells.push_back(cell);
            }
            ++column;
            if (bar == std::string::npos) {
                break;
            }
            start = bar + 1;
        }
        if (column != table.widths.size()) {
            throw SourceError(line, "the row has " + std::to_string(column) + " cells, the table " +
                                        std::to_string(table.widths.size()) + " columns");
        }
        // A continued cell starts the merge of the cell above it.
        for (size_t c = 0; c < row.cells.size(); ++c) {
            if (row.cells[c].merge != Cell::Merge::Continue) {
                continue;
            }
            Cell* above = table.rows.empty() ? nullptr : cellAt(table.rows.back(), starts[c]);
            if (above == nullptr) {
                throw SourceError(line, "^ needs a cell above it");
            }
            if (above->merge == Cell::Merge::None) {
                above->merge = Cell::Merge::Restart;
            }
        }
        table.rows.push_back(std::move(row));
    }

    static Cell* cellAt(Row& row, size_t column) {
        size_t at = 0;
        for (Cell& cell : row.cells) {
            if (at == column) {
                return &cell;
            }
            at += static_cast<size_t>(cell.span);
        }
        return nullptr;
    }

    void emitTable(const Line& line, const Table& table) {
        // Two tables in a row would join; a paragraph of no height to speak of keeps them apart,
        // so that they read as one ruled block.
        if (m_body.last_child() && std::string_view(m_body.last_child().name()) == "w:tbl") {
            paragraph(line, "TableGap", "");
        }
        pugi::xml_node tbl = m_body.append_child("w:tbl");
        pugi::xml_node properties = tbl.append_child("w:tblPr");
        double total = 0;
        for (double width : table.widths) {
            total += width;
        }
        pugi::xml_node width = properties.append_child("w:tblW");
        width.append_attribute("w:w") = twips(total).c_str();
        width.append_attribute("w:type") = "dxa";
        properties.append_child("w:jc").append_attribute("w:val") = "center";
        if (table.rules == Table::Rules::Grid) {
            pugi::xml_node borders = properties.append_child("w:tblBorders");
            for (const char* side :
                 {"w:top", "w:left", "w:bottom", "w:right", "w:insideH", "w:insideV"}) {
                rule(borders.append_child(side));
            }
        }
        properties.append_child("w:tblLayout").append_attribute("w:type") = "fixed";
        pugi::xml_node margins = properties.append_child("w:tblCellMar");
        for (const char* side : {"w:left", "w:right"}) {
            pugi::xml_node margin = margins.append_child(side);
            margin.append_attribute("w:w") = twips(1.5).c_str();
            margin.append_attribute("w:type") = "dxa";
        }
        pugi::xml_node grid = tbl.append_child("w:tblGrid");
        for (double column : table.widths) {
            grid.append_child("w:gridCol").append_attribute("w:w") = twips(column).c_str();
        }
        const double defaultHeight = table.rules == Table::Rules::Lines ? 10 : table.small ? 7 : 8;
        for (const Row& row : table.rows) {
            pugi::xml_node tr = tbl.append_child("w:tr");
            pugi::xml_node rowProperties = tr.append_child("w:trPr");
            if (!row.longText) {
                rowProperties.append_child("w:cantSplit");
            }
            pugi::xml_node height = rowProperties.append_child("w:trHeight");
            height.append_attribute("w:val") =
                twips(row.heightMm > 0 ? row.heightMm : defaultHeight).c_str();
            height.append_attribute("w:hRule") = "atLeast";
            if (row.header) {
                rowProperties.append_child("w:tblHeader");
            }
            size_t column = 0;
            for (const Cell& cell : row.cells) {
                double cellWidth = 0;
                for (int s = 0; s < cell.span; ++s) {
                    cellWidth += table.widths[column + static_cast<size_t>(s)];
                }
                column += static_cast<size_t>(cell.span);
                emitCell(line, tr, cell, cellWidth, row, table);
            }
        }
    }

    void emitCell(const Line& line, pugi::xml_node tr, const Cell& cell, double widthMm,
                  const Row& row, const Table& table) {
        pugi::xml_node tc = tr.append_child("w:tc");
        pugi::xml_node properties = tc.append_child("w:tcPr");
        pugi::xml_node width = properties.append_child("w:tcW");
        width.append_attribute("w:w") = twips(widthMm).c_str();
        width.append_attribute("w:type") = "dxa";
        if (cell.span > 1) {
            properties.append_child("w:gridSpan").append_attribute("w:val") = cell.span;
        }
        if (cell.merge == Cell::Merge::Restart) {
            properties.append_child("w:vMerge").append_attribute("w:val") = "restart";
        } else if (cell.merge == Cell::Merge::Continue) {
            properties.append_child("w:vMerge");
        }
        if (table.rules == Table::Rules::Lines && !cell.label) {
            rule(properties.append_child("w:tcBorders").append_child("w:bottom"));
        }
        // A long text, or a row of a set height, starts at the top.
        properties.append_child("w:vAlign").append_attribute("w:val") =
            row.longText || row.heightMm > 0 ? "top" : "center";
        // " // " separates the cell's paragraphs.
        std::string_view rest = cell.text;
        for (bool more = true; more;) {
            size_t separator = rest.find(" // ");
            more = separator != std::string_view::npos;
            pugi::xml_node p = tc.append_child("w:p");
            pugi::xml_node pPr = p.append_child("w:pPr");
            pPr.append_child("w:pStyle").append_attribute("w:val") = table.small   ? "SmallCell"
                                                                     : table.large ? "LargeCell"
                                                                                   : "Cell";
            if (cell.centered) {
                pPr.append_child("w:jc").append_attribute("w:val") = "center";
            }
            inlineText(line, p, trim(rest.substr(0, separator)), cell.label);
            if (more) {
                rest.remove_prefix(separator + 4);
            }
        }
    }

    static void rule(pugi::xml_node side) {
        side.append_attribute("w:val") = "single";
        side.append_attribute("w:sz") = "6";
        side.append_attribute("w:space") = "0";
        side.append_attribute("w:color") = "000000";
    }

    void section() {
        // The body ends with a paragraph, and the section's page after it.
        if (!m_body.last_child() || std::string_view(m_body.last_child().name()) != "w:p") {
            m_body.append_child("w:p");
        }
        pugi::xml_node sect = m_body.append_child("w:sectPr");
        if (hasFooter()) {
            pugi::xml_node reference = sect.append_child("w:footerReference");
            reference.append_attribute("w:type") = "default";
            reference.append_attribute("r:id") = kFooterRelationship;
        }
        pugi::xml_node size = sect.append_child("w:pgSz");
        size.append_attribute("w:w") = twips(m_landscape ? 297 : 210).c_str();
        size.append_attribute("w:h") = twips(m_landscape ? 210 : 297).c_str();
        if (m_landscape) {
            size.append_attribute("w:orient") = "landscape";
        }
        pugi::xml_node margins = sect.append_child("w:pgMar");
        const char* sides[] = {"w:top", "w:right", "w:bottom", "w:left"};
        for (int side = 0; side < 4; ++side) {
            margins.append_attribute(sides[side]) = twips(m_margins[side]).c_str();
        }
        margins.append_attribute("w:header") = twips(10).c_str();
        margins.append_attribute("w:footer") = twips(10).c_str();
        margins.append_attribute("w:gutter") = "0";
    }

    pugi::xml_document m_xml;
    pugi::xml_node m_body;
    pugi::xml_document m_footer;
    std::optional<CodeTable> m_codeTable;
    bool m_landscape = false;
    double m_margins[4] = {20, 20, 20, 20};  // top, right, bottom, left
    int m_nextId = 0;
    std::set<std::string> m_bookmarks;
};

const char* const kContentTypes =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
    R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
    R"(<Default Extension="xml" ContentType="application/xml"/>)"
    R"(<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml"/>)"
    R"(<Override PartName="/word/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.styles+xml"/>)"
    R"(<Override PartName="/word/settings.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.settings+xml"/>)"
    R"(</Types>)";
const char* const kFooterContentType =
    R"(<Override PartName="/word/footer1.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.footer+xml"/>)";

const char* const kPackageRelationships =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
    R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/>)"
    R"(</Relationships>)";

const char* const kDocumentRelationships =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
    R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml"/>)"
    R"(<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/settings" Target="settings.xml"/>)"
    R"(</Relationships>)";
const char* const kFooterRelationshipEntry =
    R"(<Relationship Id="rId3" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/footer" Target="footer1.xml"/>)";

// text with entry inserted before its closing tag ("</Types>", "</Relationships>").
std::string withEntry(std::string text, const char* entry) {
    text.insert(text.rfind("</"), entry);
    return text;
}

const char* const kSettings =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<w:settings xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main">)"
    R"(<w:defaultTabStop w:val="420"/>)"
    R"(<w:characterSpacingControl w:val="compressPunctuation"/>)"
    R"(</w:settings>)";

// Song face for text, Hei for titles and headings; sizes in half points.
const char* const kStyles =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<w:styles xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main">)"
    R"(<w:docDefaults><w:rPrDefault><w:rPr>)"
    R"(<w:rFonts w:ascii="Times New Roman" w:eastAsia="宋体" w:hAnsi="Times New Roman" w:cs="Times New Roman"/>)"
    R"(<w:kern w:val="2"/><w:sz w:val="21"/><w:szCs w:val="21"/>)"
    R"(<w:lang w:val="en-US" w:eastAsia="zh-CN" w:bidi="ar-SA"/>)"
    R"(</w:rPr></w:rPrDefault><w:pPrDefault><w:pPr><w:widowControl w:val="0"/></w:pPr></w:pPrDefault></w:docDefaults>)"
    R"(<w:style w:type="paragraph" w:default="1" w:styleId="Normal"><w:name w:val="Normal"/><w:qFormat/></w:style>)"
    R"(<w:style w:type="paragraph" w:styleId="FormTitle"><w:name w:val="Form Title"/><w:basedOn w:val="Normal"/><w:qFormat/>)"
    R"(<w:pPr><w:spacing w:before="240" w:after="240"/><w:jc w:val="center"/></w:pPr>)"
    R"(<w:rPr><w:rFonts w:eastAsia="黑体"/><w:b/><w:sz w:val="52"/><w:szCs w:val="52"/></w:rPr></w:style>)"
    R"(<w:style w:type="paragraph" w:styleId="FormSubtitle"><w:name w:val="Form Subtitle"/><w:basedOn w:val="Normal"/><w:qFormat/>)"
    R"(<w:pPr><w:spacing w:after="120"/><w:jc w:val="center"/></w:pPr>)"
    R"(<w:rPr><w:rFonts w:eastAsia="楷体_GB2312"/><w:sz w:val="32"/><w:szCs w:val="32"/></w:rPr></w:style>)"
    R"(<w:style w:type="paragraph" w:styleId="SectionHeading"><w:name w:val="Section Heading"/><w:basedOn w:val="Normal"/><w:next w:val="Normal"/><w:qFormat/>)"
    R"(<w:pPr><w:keepNext/><w:spacing w:before="240" w:after="120"/></w:pPr>)"
    R"(<w:rPr><w:rFonts w:eastAsia="黑体"/><w:b/><w:sz w:val="28"/><w:szCs w:val="28"/></w:rPr></w:style>)"
    R"(<w:style w:type="paragraph" w:styleId="Note"><w:name w:val="Note"/><w:basedOn w:val="Normal"/>)"
    R"(<w:rPr><w:sz w:val="18"/><w:szCs w:val="18"/></w:rPr></w:style>)"
    R"(<w:style w:type="paragraph" w:styleId="TableGap"><w:name w:val="Table Gap"/><w:basedOn w:val="Normal"/>)"
    R"(<w:pPr><w:spacing w:before="0" w:after="0" w:line="20" w:lineRule="exact"/></w:pPr>)"
    R"(<w:rPr><w:sz w:val="2"/><w:szCs w:val="2"/></w:rPr></w:style>)"
    R"(<w:style w:type="paragraph" w:styleId="PageFooter"><w:name w:val="Page Footer"/><w:basedOn w:val="Normal"/>)"
    R"(<w:pPr><w:spacing w:after="120"/><w:jc w:val="center"/></w:pPr>)"
    R"(<w:rPr><w:sz w:val="30"/><w:szCs w:val="30"/></w:rPr></w:style>)"
    R"(<w:style w:type="paragraph" w:styleId="Cell"><w:name w:val="Cell"/><w:basedOn w:val="Normal"/></w:style>)"
    R"(<w:style w:type="paragraph" w:styleId="SmallCell"><w:name w:val="Small Cell"/><w:basedOn w:val="Normal"/>)"
    R"(<w:rPr><w:sz w:val="18"/><w:szCs w:val="18"/></w:rPr></w:style>)"
    R"(<w:style w:type="paragraph" w:styleId="LargeCell"><w:name w:val="Large Cell"/><w:basedOn w:val="Normal"/>)"
    R"(<w:rPr><w:sz w:val="28"/><w:szCs w:val="28"/></w:rPr></w:style>)"
    R"(<w:style w:type="table" w:default="1" w:styleId="TableNormal"><w:name w:val="Normal Table"/>)"
    R"(<w:tblPr><w:tblInd w:w="0" w:type="dxa"/><w:tblCellMar><w:top w:w="0" w:type="dxa"/>)"
    R"(<w:left w:w="108" w:type="dxa"/><w:bottom w:w="0" w:type="dxa"/><w:right w:w="108" w:type="dxa"/>)"
    R"(</w:tblCellMar></w:tblPr></w:style>)"
    R"(</w:styles>)";

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: doctemplate <source.txt> <out.dotx>\n";
        return 2;
    }
    try {
        SourceReader reader;
        TemplateBuilder builder;
        builder.build(reader.read(argv[1], nullptr));

        const std::string footer = builder.footerXml();
        documents::ZipPackage package;
        package.put("[Content_Types].xml", footer.empty()
                                               ? std::string(kContentTypes)
                                               : withEntry(kContentTypes, kFooterContentType));
        package.put("_rels/.rels", kPackageRelationships);
        package.put("word/document.xml", builder.documentXml());
        package.put("word/_rels/document.xml.rels",
                    footer.empty() ? std::string(kDocumentRelationships)
                                   : withEntry(kDocumentRelationships, kFooterRelationshipEntry));
        if (!footer.empty()) {
            package.put("word/footer1.xml", footer);
        }
        package.put("word/styles.xml", kStyles);
        package.put("word/settings.xml", kSettings);
        fs::remove(argv[2]);
        package.write(argv[2]);
    } catch (const std::exception& e) {
        std::cerr << "doctemplate: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
