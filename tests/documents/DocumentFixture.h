#pragma once

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "DataDir.h"
#include "Dataset.h"
#include "DocumentTable.h"
#include "UnitDM.h"
#include "ZipPackage.h"

namespace testsupport {

using Fields = std::vector<std::pair<std::string, std::string>>;

// \r, \n, \t, \\ and \xHH in a fixture text.
inline std::string unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        char code = text[++i];
        if (code == 'r') {
            out += '\r';
        } else if (code == 'n') {
            out += '\n';
        } else if (code == 't') {
            out += '\t';
        } else if (code == 'x' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += code;
        }
    }
    return out;
}

// The reverse of unescape() for the control characters and the backslash.
inline std::string escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

inline std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> cells;
    std::stringstream in(line);
    for (std::string cell; std::getline(in, cell, '\t');) {
        cells.push_back(unescape(cell));
    }
    if (!line.empty() && line.back() == '\t') {
        cells.emplace_back();
    }
    return cells;
}

// A copy of the delivered data directory (tables and templates) opened through the data
// module, into which a test writes records.
class RecordFixture {
public:
    // withoutFiles: delivered files taken away before the data module opens the directory.
    explicit RecordFixture(const std::vector<std::string>& withoutFiles = {}) {
        for (const std::string& name : withoutFiles) {
            std::filesystem::remove(m_program.file(name));
        }
        m_dm = std::make_unique<TDM>(m_program.path());
        // A file taken away is missed when the tables are packed at start.
        std::vector<std::string> errors = m_dm->DataModuleCreate();
        EXPECT_EQ(errors.size(), withoutFiles.size());
        DM = m_dm.get();
    }
    ~RecordFixture() { DM = nullptr; }

    TDM& dm() { return *m_dm; }
    const ProgramDir& program() const { return m_program; }

    // Appends the record and makes it the current one.
    void addRecord(const Fields& fields) {
        store::Query& records = m_dm->Qryhvel;
        records.append();
        std::string key;
        for (const auto& [name, value] : fields) {
            if (!value.empty()) {
                records.field(name).set(store::Value(value));
            }
            if (name == "ITEM_4") {
                key = value;
            }
        }
        records.post();
        records.refresh();
        EXPECT_TRUE(records.locate("ITEM_4", store::Value(key)));
    }

    // Appends rows of a child list to the current record.
    void addRows(documents::ChildList list, const std::vector<Fields>& rows) {
        store::Table& table = documents::listTable(*m_dm, list);
        if (!table.active()) {
            table.open();
        }
        for (const Fields& row : rows) {
            table.append();
            table.field("ITEM_4").set(m_dm->Qryhvel.field("ITEM_4").value());
            table.field("ITEM_DQDM").set(m_dm->Qryhvel.field("ITEM_DQDM").value());
            for (const auto& [name, value] : row) {
                if (!value.empty()) {
                    table.field(name).set(store::Value(value));
                }
            }
            table.post();
        }
    }

    // n rows of the list, each with its sequence number and the number in one more column.
    void addNumberedRows(documents::ChildList list, int n) {
        static const std::map<documents::ChildList, std::pair<const char*, const char*>> kColumns =
            {{documents::ChildList::Patents, {"ITEM_NO", "PATENT_NO"}},
             {documents::ChildList::Units, {"ITEM_176", "ITEM_170"}},
             {documents::ChildList::Persons, {"ITEM_187", "ITEM_180"}},
             {documents::ChildList::Committee, {"ITEM_190", "ITEM_192"}}};
        auto [sequence, name] = kColumns.at(list);
        std::vector<Fields> rows;
        for (int i = 1; i <= n; ++i) {
            rows.push_back({{sequence, std::to_string(i)}, {name, "第" + std::to_string(i)}});
        }
        addRows(list, rows);
    }

    // A record file: "[hvel]" followed by lines "FIELD<TAB>value", then for each child table
    // ("[cgwcr]", "[cgwcdw]", "[jdwyhmd]", "[zlqk]") a line of field names and one line per
    // row. Values are escaped as unescape() reads them; "#" starts a comment line.
    void loadRecord(const std::filesystem::path& file) {
        static const std::map<std::string, documents::ChildList> kLists = {
            {"zlqk", documents::ChildList::Patents},
            {"cgwcdw", documents::ChildList::Units},
            {"cgwcr", documents::ChildList::Persons},
            {"jdwyhmd", documents::ChildList::Committee}};
        std::ifstream in(file);
        ASSERT_TRUE(in) << file;
        std::string section;
        Fields record;
        std::vector<std::string> names;
        std::map<std::string, std::vector<Fields>> children;
        std::vector<std::string> order;
        for (std::string line; std::getline(in, line);) {
            if (line.empty() || line.front() == '#') {
                continue;
            }
            if (line.front() == '[') {
                section = line.substr(1, line.find(']') - 1);
                names.clear();
                continue;
            }
            std::vector<std::string> cells = splitTabs(line);
            if (section == "hvel") {
                record.emplace_back(cells.at(0), cells.size() > 1 ? cells[1] : "");
            } else if (names.empty()) {
                names = cells;
                order.push_back(section);
            } else {
                Fields row;
                for (size_t i = 0; i < names.size() && i < cells.size(); ++i) {
                    row.emplace_back(names[i], cells[i]);
                }
                children[section].push_back(row);
            }
        }
        addRecord(record);
        for (const std::string& table : order) {
            addRows(kLists.at(table), children[table]);
        }
    }

private:
    ProgramDir m_program;
    std::unique_ptr<TDM> m_dm;
};

// A saved document, read to find the text that follows each bookmark's end: runs, "\t" for
// tabs and "\r" for the end of each paragraph, up to the next bookmark's start or end or the
// end of the table cell.
class DocumentText {
public:
    explicit DocumentText(const std::filesystem::path& docx) {
        std::string bytes = *documents::ZipPackage::read(docx).find("word/document.xml");
        m_xml.load_buffer(bytes.data(), bytes.size(),
                          pugi::parse_default | pugi::parse_ws_pcdata_single);
    }

    std::string after(const std::string& bookmark) {
        std::string id;
        for (pugi::xpath_node start : m_xml.select_nodes("//w:bookmarkStart")) {
            if (start.node().attribute("w:name").value() == bookmark) {
                id = start.node().attribute("w:id").value();
            }
        }
        Collector collector;
        collector.id = id;
        m_xml.traverse(collector);
        // Paragraphs still open when the document ends.
        for (pugi::xml_node p = collector.done ? pugi::xml_node() : collector.paragraph; p;
             p = enclosing(p.parent(), "w:p")) {
            collector.text += '\r';
        }
        return collector.text;
    }

private:
    static bool isInside(pugi::xml_node node, pugi::xml_node container) {
        for (; node; node = node.parent()) {
            if (node == container) {
                return true;
            }
        }
        return false;
    }

    static pugi::xml_node enclosing(pugi::xml_node node, const char* name) {
        for (; node; node = node.parent()) {
            if (std::string_view(node.name()) == name) {
                return node;
            }
        }
        return {};
    }

    struct Collector : pugi::xml_tree_walker {
        std::string id;
        bool collecting = false;
        bool done = false;
        std::string text;
        pugi::xml_node paragraph;
        pugi::xml_node cell;

        bool for_each(pugi::xml_node& node) override {
            std::string_view name = node.name();
            if (collecting) {
                // A paragraph that began before is over once the walk is past it.
                while (paragraph && !isInside(node, paragraph)) {
                    text += '\r';
                    paragraph = enclosing(paragraph.parent(), "w:p");
                }
                if (name == "w:bookmarkStart" || name == "w:bookmarkEnd" ||
                    (cell && !isInside(node, cell))) {
                    done = true;
                    return false;
                }
                if (name == "w:p") {
                    paragraph = node;
                } else if (name == "w:t") {
                    text += node.text().get();
                } else if (name == "w:tab") {
                    text += '\t';
                }
            } else if (name == "w:bookmarkEnd" && node.attribute("w:id").value() == id) {
                collecting = true;
                paragraph = enclosing(node, "w:p");
                cell = enclosing(node, "w:tc");
            }
            return true;
        }
    };

    pugi::xml_document m_xml;
};

}  // namespace testsupport
