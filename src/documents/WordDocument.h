#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ZipPackage.h"

namespace pugi {
class xml_document;
class xml_node;
}  // namespace pugi

namespace documents {

// A word-processor document (Office Open XML) opened from a template, filled by inserting
// texts after named bookmarks, and saved as a document. Only the main document part is read
// and changed; every other part of the template is saved as it was.
class WordDocument {
public:
    // Opens the template at path as a new document. Throws DocumentError when the file is not
    // a readable document package.
    static WordDocument openTemplate(const std::filesystem::path& path);

    WordDocument(WordDocument&&) noexcept;
    WordDocument& operator=(WordDocument&&) noexcept;
    ~WordDocument();

    // The names of the bookmarks that have a start and an end, in the order of their starts.
    // A start without a matching end is no bookmark.
    std::vector<std::string> bookmarkNames() const;
    // Bookmark names compare without regard to ASCII case, as in word processors.
    bool hasBookmark(std::string_view name) const;

    // Inserts text right after the end of the bookmark, in a run formatted like the run before
    // it; a second insert at the same bookmark follows the first. A carriage return, a line
    // feed or the pair of them starts a new paragraph with the paragraph's properties, a TAB
    // becomes a tab, other control characters are dropped and blanks are kept. An empty text
    // inserts nothing. Throws DocumentError for a name that is no bookmark.
    void insertAfter(std::string_view bookmark, std::string_view text);

    // Saves the package as a document (its main part typed as a document, no longer a
    // template) at path; never replaces an existing file (DocumentError).
    void save(const std::filesystem::path& path) const;

private:
    WordDocument();

    struct Cursor;
    // Throws DocumentError for a name that is no bookmark.
    Cursor& cursorOf(std::string_view bookmark);
    // Finds where the bookmark's texts go, on its first insert.
    static void place(Cursor& cursor);

    std::filesystem::path m_source;
    ZipPackage m_package;
    std::string m_mainPart;
    std::unique_ptr<pugi::xml_document> m_xml;
    std::map<std::string, std::unique_ptr<Cursor>> m_cursors;  // by lower-case name
    std::vector<std::string> m_names;                          // as the template spells them
};

}  // namespace documents
