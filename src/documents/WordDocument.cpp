#include "WordDocument.h"

#include <pugixml.hpp>

#include <sstream>

#include "Text.h"

namespace documents {

namespace {

constexpr const char* kTemplateType =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml";
constexpr const char* kDocumentType =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml";

// Whitespace-only text is kept where it is an element's only content (a blank in <w:t>).
constexpr unsigned kParseOptions =
    pugi::parse_default | pugi::parse_declaration | pugi::parse_ws_pcdata_single;

bool named(const pugi::xml_node& node, const char* name) {
    return node.type() == pugi::node_element && std::string_view(node.name()) == name;
}

std::string serialize(const pugi::xml_document& xml) {
    std::ostringstream out;
    xml.save(out, "", pugi::format_raw);
    return out.str();
}

pugi::xml_document parsePart(const std::string& bytes, const std::string& what) {
    pugi::xml_document xml;
    if (!xml.load_buffer(bytes.data(), bytes.size(), kParseOptions)) {
        throw DocumentError(what);
    }
    return xml;
}

// The main document part named by the package relationships.
std::string mainPartOf(const ZipPackage& package) {
    if (const std::string* rels = package.find("_rels/.rels")) {
        pugi::xml_document xml;
        if (xml.load_buffer(rels->data(), rels->size())) {
            for (pugi::xml_node rel : xml.document_element().children("Relationship")) {
                std::string_view type = rel.attribute("Type").value();
                if (type.ends_with("/officeDocument")) {
                    std::string target = rel.attribute("Target").value();
                    return target.starts_with('/') ? target.substr(1) : target;
                }
            }
        }
    }
    return "word/document.xml";
}

// The nearest ancestor paragraph of node, or an empty node.
pugi::xml_node paragraphOf(pugi::xml_node node) {
    for (pugi::xml_node up = node.parent(); up; up = up.parent()) {
        if (named(up, "w:p")) {
            return up;
        }
    }
    return {};
}

// The first paragraph inside node or node itself, in document order.
pugi::xml_node firstParagraphIn(pugi::xml_node node) {
    if (named(node, "w:p")) {
        return node;
    }
    for (pugi::xml_node child : node.children()) {
        if (pugi::xml_node found = firstParagraphIn(child)) {
            return found;
        }
    }
    return {};
}

pugi::xml_node lastParagraphIn(pugi::xml_node node) {
    if (named(node, "w:p")) {
        return node;
    }
    for (pugi::xml_node child = node.last_child(); child; child = child.previous_sibling()) {
        if (pugi::xml_node found = lastParagraphIn(child)) {
            return found;
        }
    }
    return {};
}

// The first paragraph after node in document order: among its own siblings first.
pugi::xml_node paragraphAfter(pugi::xml_node node) {
    for (pugi::xml_node at = node; at; at = at.parent()) {
        for (pugi::xml_node next = at.next_sibling(); next; next = next.next_sibling()) {
            if (pugi::xml_node found = firstParagraphIn(next)) {
                return found;
            }
        }
    }
    return {};
}

pugi::xml_node paragraphBefore(pugi::xml_node node) {
    for (pugi::xml_node at = node; at; at = at.parent()) {
        for (pugi::xml_node prev = at.previous_sibling(); prev; prev = prev.previous_sibling()) {
            if (pugi::xml_node found = lastParagraphIn(prev)) {
                return found;
            }
        }
    }
    return {};
}

// Whether paragraph lies inside parent.
bool within(pugi::xml_node paragraph, pugi::xml_node parent) {
    for (pugi::xml_node up = paragraph.parent(); up; up = up.parent()) {
        if (up == parent) {
            return true;
        }
    }
    return false;
}

// The paragraph's properties, made empty when it has none, so that content can always be
// placed after them.
pugi::xml_node propertiesOf(pugi::xml_node paragraph) {
    pugi::xml_node properties = paragraph.child("w:pPr");
    return properties ? properties : paragraph.prepend_child("w:pPr");
}

// The last run inside node or node itself (runs nest in hyperlinks, fields and the like).
pugi::xml_node lastRunIn(pugi::xml_node node) {
    if (named(node, "w:r")) {
        return node;
    }
    if (named(node, "w:pPr")) {
        return {};
    }
    for (pugi::xml_node child = node.last_child(); child; child = child.previous_sibling()) {
        if (pugi::xml_node run = lastRunIn(child)) {
            return run;
        }
    }
    return {};
}

// The run properties that text inserted after node (a child of paragraph) takes: those of
// the nearest run up to node, else those of the paragraph mark.
pugi::xml_node formatBefore(pugi::xml_node node, pugi::xml_node paragraph) {
    for (pugi::xml_node at = node; at; at = at.previous_sibling()) {
        if (pugi::xml_node run = lastRunIn(at)) {
            return run.child("w:rPr");
        }
    }
    return paragraph.child("w:pPr").child("w:rPr");
}

// Appends the text of one paragraph line to run: blanks kept, TAB as a tab, other control
// characters (which would make the file unreadable) dropped.
void appendLine(pugi::xml_node run, std::string_view line) {
    std::string pending;
    auto flush = [&] {
        if (!pending.empty()) {
            pugi::xml_node text = run.append_child("w:t");
            text.append_attribute("xml:space") = "preserve";
            text.text().set(pending.c_str());
            pending.clear();
        }
    };
    for (size_t i = 0; i < line.size(); ++i) {
        auto byte = static_cast<unsigned char>(line[i]);
        if (byte == '\t') {
            flush();
            run.append_child("w:tab");
        } else if (byte < 0x20 || byte == 0x7F) {
            continue;
        } else if (byte == 0xC2 && i + 1 < line.size() &&
                   static_cast<unsigned char>(line[i + 1]) < 0xA0) {
            ++i;  // a C1 control character
        } else if (byte == 0xEF && line.substr(i, 2) == "\xEF\xBF" && i + 2 < line.size() &&
                   static_cast<unsigned char>(line[i + 2]) >= 0xBE) {
            i += 2;  // U+FFFE and U+FFFF are no XML characters
        } else {
            pending += line[i];
        }
    }
    flush();
}

// The lines of text: CR LF, CR and LF each end one.
std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines.push_back(text.substr(start, i - start));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            start = i + 1;
        }
    }
    lines.push_back(text.substr(start));
    return lines;
}

// Ends the paragraph after node: what follows node moves into a new paragraph with the same
// properties (a section break stays with the paragraph that ends the section). Returns the
// properties of the new paragraph, after which its content starts.
pugi::xml_node splitParagraphAfter(pugi::xml_node node) {
    pugi::xml_node paragraph = node.parent();
    pugi::xml_node next = paragraph.parent().insert_child_after("w:p", paragraph);
    pugi::xml_node properties = next.append_copy(propertiesOf(paragraph));
    if (pugi::xml_node section = paragraph.child("w:pPr").child("w:sectPr")) {
        paragraph.child("w:pPr").remove_child(section);
    }
    while (pugi::xml_node rest = node.next_sibling()) {
        next.append_move(rest);
    }
    return properties;
}

}  // namespace

// Where the texts of one bookmark go: after the node `after` (a child of a paragraph), in runs
// with the properties `format`.
struct WordDocument::Cursor {
    pugi::xml_node end;  // the bookmark's end
    bool placed = false;
    pugi::xml_node after;
    pugi::xml_node format;
};

WordDocument::WordDocument() : m_xml(std::make_unique<pugi::xml_document>()) {}
WordDocument::WordDocument(WordDocument&&) noexcept = default;
WordDocument& WordDocument::operator=(WordDocument&&) noexcept = default;
WordDocument::~WordDocument() = default;

WordDocument WordDocument::openTemplate(const std::filesystem::path& path) {
    WordDocument document;
    document.m_source = path;
    document.m_package = ZipPackage::read(path);
    document.m_mainPart = mainPartOf(document.m_package);
    const std::string* main = document.m_package.find(document.m_mainPart);
    const std::string broken = "文件“" + path.string() + "”不是有效的文档：";
    if (main == nullptr) {
        throw DocumentError(broken + "缺少“" + document.m_mainPart + "”");
    }
    *document.m_xml = parsePart(*main, broken + "“" + document.m_mainPart + "”无法解析");

    // A start counts only with an end of the same id after it; the first of a name wins.
    struct Walker : pugi::xml_tree_walker {
        std::vector<std::pair<std::string, pugi::xml_node>> starts;  // name, end (once found)
        std::map<std::string, size_t> open;                          // id -> index in starts
        bool for_each(pugi::xml_node& node) override {
            if (named(node, "w:bookmarkStart")) {
                open[node.attribute("w:id").value()] = starts.size();
                starts.emplace_back(node.attribute("w:name").value(), pugi::xml_node());
            } else if (named(node, "w:bookmarkEnd")) {
                auto start = open.find(node.attribute("w:id").value());
                if (start != open.end()) {
                    starts[start->second].second = node;
                    open.erase(start);
                }
            }
            return true;
        }
    } walker;
    document.m_xml->traverse(walker);
    for (auto& [name, end] : walker.starts) {
        if (!end) {
            continue;
        }
        auto [entry, added] =
            document.m_cursors.try_emplace(store::text::lowerAscii(name), nullptr);
        if (added) {
            entry->second = std::make_unique<Cursor>();
            entry->second->end = end;
            document.m_names.push_back(name);
        }
    }
    return document;
}

std::vector<std::string> WordDocument::bookmarkNames() const {
    return m_names;
}

bool WordDocument::hasBookmark(std::string_view name) const {
    return m_cursors.contains(store::text::lowerAscii(name));
}

WordDocument::Cursor& WordDocument::cursorOf(std::string_view bookmark) {
    auto found = m_cursors.find(store::text::lowerAscii(bookmark));
    if (found == m_cursors.end()) {
        throw DocumentError("模板“" + m_source.filename().string() + "”中没有书签“" +
                            std::string(bookmark) + "”");
    }
    return *found->second;
}

void WordDocument::place(Cursor& cursor) {
    if (cursor.placed) {
        return;
    }
    cursor.placed = true;
    if (pugi::xml_node paragraph = paragraphOf(cursor.end)) {
        // Inside a paragraph: after the end, or after the hyperlink or field that holds it.
        pugi::xml_node after = cursor.end;
        while (after.parent() != paragraph) {
            after = after.parent();
        }
        cursor.after = after;
        cursor.format = formatBefore(after, paragraph);
    } else {
        // Between paragraphs, rows or cells: at the start of the paragraph that follows in the
        // same container, else at the end of the one before it there (the end of a cell stays
        // in the cell), else wherever the nearest paragraph is.
        pugi::xml_node next = paragraphAfter(cursor.end);
        pugi::xml_node previous = paragraphBefore(cursor.end);
        pugi::xml_node container = cursor.end.parent();
        if (next && (within(next, container) || !previous || !within(previous, container))) {
            cursor.after = propertiesOf(next);
            cursor.format = cursor.after.child("w:rPr");
        } else if (previous) {
            pugi::xml_node last = previous.last_child();
            cursor.after = last ? last : propertiesOf(previous);
            cursor.format = formatBefore(cursor.after, previous);
        } else {
            pugi::xml_node paragraph = container.insert_child_after("w:p", cursor.end);
            cursor.after = propertiesOf(paragraph);
        }
    }
}

void WordDocument::insertAfter(std::string_view bookmark, std::string_view text) {
    Cursor& cursor = cursorOf(bookmark);
    if (text.empty()) {
        return;
    }
    place(cursor);
    bool first = true;
    for (std::string_view line : linesOf(text)) {
        if (!first) {
            cursor.after = splitParagraphAfter(cursor.after);
        }
        first = false;
        if (line.empty()) {
            continue;
        }
        pugi::xml_node run = cursor.after.parent().insert_child_after("w:r", cursor.after);
        if (cursor.format) {
            pugi::xml_node format = run.append_copy(cursor.format);
            for (const char* revision :
                 {"w:rPrChange", "w:ins", "w:del", "w:moveFrom", "w:moveTo"}) {
                format.remove_child(revision);
            }
            cursor.format = format;
        }
        appendLine(run, line);
        if (!run.child("w:t") && !run.child("w:tab")) {
            run.parent().remove_child(run);  // nothing but dropped characters
            continue;
        }
        cursor.after = run;
    }
}

void WordDocument::save(const std::filesystem::path& path) const {
    ZipPackage package = m_package;
    package.put(m_mainPart, serialize(*m_xml));
    if (std::string* types = package.find("[Content_Types].xml")) {
        pugi::xml_document xml =
            parsePart(*types, "文件“" + m_source.string() + "”不是有效的文档：内容类型无法解析");
        for (pugi::xml_node entry : xml.document_element().children("Override")) {
            if (std::string_view(entry.attribute("PartName").value()) == "/" + m_mainPart &&
                std::string_view(entry.attribute("ContentType").value()) == kTemplateType) {
                entry.attribute("ContentType") = kDocumentType;
            }
        }
        *types = serialize(xml);
    }
    package.write(path);
}

}  // namespace documents
