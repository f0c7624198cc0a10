// The document layer: texts inserted after bookmarks wherever the bookmarks lie, paragraphs,
// tabs and control characters, formatting, and the document saved from a template.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "ScratchFolder.h"
#include "WordDocument.h"
#include "ZipPackage.h"

using namespace documents;
namespace fs = std::filesystem;

namespace {

const char* const kTemplateType =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml";

// A template whose body is bodyXml; every other part is the least a package needs.
void writeTemplate(const fs::path& path, const std::string& bodyXml) {
    ZipPackage package;
    package.put("[Content_Types].xml",
                std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                            "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                            "content-types\"><Default Extension=\"rels\" ContentType=\"application/"
                            "vnd.openxmlformats-package.relationships+xml\"/><Default Extension=\""
                            "xml\" ContentType=\"application/xml\"/><Override PartName=\"/word/"
                            "document.xml\" ContentType=\"") +
                    kTemplateType + "\"/></Types>");
    package.put("_rels/.rels",
                "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships xmlns=\"http://"
                "schemas.openxmlformats.org/package/2006/relationships\"><Relationship Id=\"rId1\" "
                "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
                "officeDocument\" Target=\"word/document.xml\"/></Relationships>");
    package.put("word/document.xml",
                "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><w:document "
                "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
                "<w:body>" +
                    bodyXml + "</w:body></w:document>");
    package.write(path);
}

// The body in a short readable form: paragraphs separated by " / ", "<S>" for a paragraph of
// style S, "§" for one that ends a section, "*text*" for bold runs, "→" for a tab and
// "[name:" and ":name]" for the start and end of a bookmark.
class BodyDescription {
public:
    explicit BodyDescription(pugi::xml_node body) { walk(body); }
    const std::string& text() const { return m_text; }

private:
    void walk(pugi::xml_node node) {
        std::string_view name = node.name();
        if (name == "w:p") {
            if (m_paragraphs++ > 0) {
                m_text += " / ";
            }
            if (auto style = node.child("w:pPr").child("w:pStyle")) {
                m_text += "<" + std::string(style.attribute("w:val").value()) + ">";
            }
            if (node.child("w:pPr").child("w:sectPr")) {
                m_text += "§";
            }
        } else if (name == "w:bookmarkStart") {
            m_names[node.attribute("w:id").value()] = node.attribute("w:name").value();
            m_text += "[" + std::string(node.attribute("w:name").value()) + ":";
        } else if (name == "w:bookmarkEnd") {
            m_text += ":" + m_names[node.attribute("w:id").value()] + "]";
        } else if (name == "w:r") {
            bool bold = node.child("w:rPr").child("w:b");
            std::string run;
            for (pugi::xml_node part : node.children()) {
                if (std::string_view(part.name()) == "w:t") {
                    run += part.text().get();
                } else if (std::string_view(part.name()) == "w:tab") {
                    run += "→";
                }
            }
            m_text += bold ? "*" + run + "*" : run;
            return;
        }
        for (pugi::xml_node child : node.children()) {
            walk(child);
        }
    }

    std::string m_text;
    int m_paragraphs = 0;
    std::map<std::string, std::string> m_names;
};

std::string mainPart(const fs::path& docx) {
    return *ZipPackage::read(docx).find("word/document.xml");
}

std::string describe(const fs::path& docx) {
    pugi::xml_document xml;
    std::string bytes = mainPart(docx);
    EXPECT_TRUE(xml.load_buffer(bytes.data(), bytes.size(),
                                pugi::parse_default | pugi::parse_ws_pcdata_single));
    return BodyDescription(xml.child("w:document").child("w:body")).text();
}

std::string paragraph(const std::string& content) {
    return "<w:p>" + content + "</w:p>";
}
std::string run(const std::string& text) {
    return "<w:r><w:t xml:space=\"preserve\">" + text + "</w:t></w:r>";
}
std::string start(const std::string& name, int id = 0) {
    return "<w:bookmarkStart w:id=\"" + std::to_string(id) + "\" w:name=\"" + name + "\"/>";
}
std::string end(int id = 0) {
    return "<w:bookmarkEnd w:id=\"" + std::to_string(id) + "\"/>";
}
std::string mark(const std::string& name, int id = 0) {
    return start(name, id) + end(id);
}

class TemplateFolder : public ::testing::Test {
protected:
    fs::path templatePath() const { return m_folder.path() / "t.dotx"; }
    fs::path documentPath() const { return m_folder.path() / "t.docx"; }

    // The template of bodyXml filled with inserts and saved; its body described.
    std::string fill(const std::string& bodyXml,
                     const std::vector<std::pair<std::string, std::string>>& inserts) {
        writeTemplate(templatePath(), bodyXml);
        WordDocument document = WordDocument::openTemplate(templatePath());
        for (const auto& [bookmark, text] : inserts) {
            document.insertAfter(bookmark, text);
        }
        fs::remove(documentPath());
        document.save(documentPath());
        return describe(documentPath());
    }

    testsupport::ScratchFolder m_folder;
};

struct InsertCase {
    const char* name;
    std::string body;
    std::vector<std::pair<std::string, std::string>> inserts;
    std::string expected;
};

void PrintTo(const InsertCase& c, std::ostream* os) {
    *os << c.name;
}

class InsertAfterTest : public TemplateFolder, public ::testing::WithParamInterface<InsertCase> {};

TEST_P(InsertAfterTest, PutsTheTextRightAfterTheBookmark) {
    EXPECT_EQ(fill(GetParam().body, GetParam().inserts), GetParam().expected);
}

const std::string kStyled = "<w:pPr><w:pStyle w:val=\"S\"/></w:pPr>";
const std::string kBoldRun = "<w:r><w:rPr><w:b/></w:rPr><w:t>名称：</w:t></w:r>";

INSTANTIATE_TEST_SUITE_P(
    Places, InsertAfterTest,
    ::testing::Values(
        InsertCase{"InsideAParagraph",
                   paragraph(run("A") + start("x") + run("B") + end() + run("C")),
                   {{"x", "1"}},
                   "A[x:B:x]1C"},
        InsertCase{"TakesTheFormattingOfTheRunBefore",
                   paragraph(kBoldRun + mark("x")),
                   {{"x", "甲"}},
                   "*名称：*[x::x]*甲*"},
        InsertCase{"TakesTheParagraphMarkFormattingWithNoRunBefore",
                   paragraph("<w:pPr><w:rPr><w:b/></w:rPr></w:pPr>" + mark("x") + run("B")),
                   {{"x", "甲"}},
                   "[x::x]*甲*B"},
        InsertCase{"RepeatedInsertsFollowInOrder",
                   paragraph(mark("x") + run("B")),
                   {{"x", "1"}, {"x", "2"}, {"x", "3"}},
                   "[x::x]123B"},
        InsertCase{"EmptyTextInsertsNothing", paragraph(mark("x")), {{"x", ""}}, "[x::x]"},
        InsertCase{"NameWithoutRegardToCase",
                   paragraph(mark("Item_3")),
                   {{"item_3", "1"}},
                   "[Item_3::Item_3]1"},
        InsertCase{"BookmarkOverTwoParagraphs",
                   paragraph(start("x") + run("A")) + paragraph(run("B") + end() + run("C")),
                   {{"x", "1"}},
                   "[x:A / B:x]1C"},
        InsertCase{"EndBetweenParagraphsGoesToTheNext",
                   paragraph(start("x") + run("A")) + end() + paragraph(run("B")),
                   {{"x", "1"}},
                   "[x:A:x] / 1B"},
        InsertCase{"EndAfterTheLastParagraphOfACellStaysInTheCell",
                   "<w:tbl><w:tr><w:tc>" + paragraph(start("x") + run("A")) + end() +
                       "</w:tc><w:tc>" + paragraph(run("B")) + "</w:tc></w:tr></w:tbl>",
                   {{"x", "1"}},
                   "[x:A1:x] / B"},
        InsertCase{"EndBetweenCellsGoesToTheNextCell",
                   "<w:tbl><w:tr><w:tc>" + paragraph(start("x") + run("A")) + "</w:tc>" + end() +
                       "<w:tc>" + paragraph(run("B")) + "</w:tc></w:tr></w:tbl>",
                   {{"x", "1"}},
                   "[x:A:x] / 1B"},
        InsertCase{"EndInsideAHyperlinkGoesAfterIt",
                   paragraph("<w:hyperlink>" + run("L") + mark("x") + run("M") + "</w:hyperlink>" +
                             run("C")),
                   {{"x", "1"}},
                   "L[x::x]M1C"},
        InsertCase{"NoParagraphAnywhere", mark("x"), {{"x", "1"}}, "[x::x]1"},
        InsertCase{"StartWithoutEndDoesNotCount",
                   paragraph(start("x", 1) + run("A")) + paragraph(mark("x", 2) + run("B")),
                   {{"x", "1"}},
                   "[x:A / [x::x]1B"},
        InsertCase{"CarriageReturnStartsAParagraphWithTheSameProperties",
                   paragraph(kStyled + run("A") + mark("x") + run("B")),
                   {{"x", "1\r2"}},
                   "<S>A[x::x]1 / <S>2B"},
        InsertCase{"CrLfAndLineFeedToo",
                   paragraph(kStyled + mark("x")),
                   {{"x", "1\r\n2\n3"}},
                   "<S>[x::x]1 / <S>2 / <S>3"},
        InsertCase{"TrailingCarriageReturnLeavesAnEmptyParagraph",
                   paragraph(kStyled + mark("x") + run("B")),
                   {{"x", "名\r"}},
                   "<S>[x::x]名 / <S>B"},
        InsertCase{"InsertAfterABreakGoesOnInTheNewParagraph",
                   paragraph(kStyled + mark("x")),
                   {{"x", "1\r"}, {"x", "2"}},
                   "<S>[x::x]1 / <S>2"},
        InsertCase{"NewParagraphKeepsTheFormattingOfTheText",
                   paragraph(kBoldRun + mark("x")),
                   {{"x", "1\r2"}},
                   "*名称：*[x::x]*1* / *2*"},
        InsertCase{"SectionBreakStaysWithTheLastParagraph",
                   paragraph("<w:pPr><w:sectPr/></w:pPr>" + mark("x")),
                   {{"x", "1\r2"}},
                   "[x::x]1 / §2"},
        InsertCase{"TabBecomesATabAndBlanksStay",
                   paragraph(mark("x")),
                   {{"x", "  a\tb  "}},
                   "[x::x]  a→b  "},
        InsertCase{"ControlCharactersAreDropped",
                   paragraph(mark("x")),
                   {{"x",
                     "a\x01"
                     "b\x0b"
                     "c\x1f"
                     "d\x7f"
                     "e\xc2\x85"
                     "f"}},
                   "[x::x]abcdef"},
        InsertCase{"OnlyControlCharactersInsertNothing",
                   paragraph(mark("x") + run("B")),
                   {{"x", "\x01\x02"}},
                   "[x::x]B"},
        InsertCase{"MarkupCharactersAreText",
                   paragraph(mark("x")),
                   {{"x", "<a & \"b\">"}},
                   "[x::x]<a & \"b\">"},
        InsertCase{"TwoBookmarksSideBySide",
                   paragraph(mark("x", 1) + mark("y", 2) + run("C")),
                   {{"y", "2"}, {"x", "1"}},
                   "[x::x]1[y::y]2C"}),
    [](const auto& info) { return std::string(info.param.name); });

class WordDocumentTest : public TemplateFolder {};

TEST_F(WordDocumentTest, ListsTheBookmarksThatHaveAnEnd) {
    writeTemplate(templatePath(), paragraph(mark("b", 1) + start("lost", 2) + mark("a", 3) +
                                            start("x", 4) + mark("x", 5) + mark("B", 6)));
    WordDocument document = WordDocument::openTemplate(templatePath());
    EXPECT_EQ(document.bookmarkNames(), (std::vector<std::string>{"b", "a", "x"}));
    EXPECT_TRUE(document.hasBookmark("A"));
    EXPECT_FALSE(document.hasBookmark("lost"));
}

TEST_F(WordDocumentTest, UnknownBookmarkIsAnErrorNamingIt) {
    writeTemplate(templatePath(), paragraph(mark("x")));
    WordDocument document = WordDocument::openTemplate(templatePath());
    try {
        document.insertAfter("item_9", "1");
        FAIL() << "no error";
    } catch (const DocumentError& e) {
        EXPECT_EQ(std::string(e.what()), "模板“t.dotx”中没有书签“item_9”");
    }
}

TEST_F(WordDocumentTest, SavedAsADocumentNotATemplate) {
    writeTemplate(templatePath(), paragraph(mark("x")));
    WordDocument::openTemplate(templatePath()).save(documentPath());
    std::string types = *ZipPackage::read(documentPath()).find("[Content_Types].xml");
    EXPECT_EQ(types.find("template.main+xml"), std::string::npos) << types;
    EXPECT_NE(types.find("wordprocessingml.document.main+xml"), std::string::npos) << types;
    // The template itself is unchanged.
    EXPECT_NE(ZipPackage::read(templatePath()).find("[Content_Types].xml")->find("template.main"),
              std::string::npos);
}

TEST_F(WordDocumentTest, NeverReplacesAFile) {
    writeTemplate(templatePath(), paragraph(mark("x")));
    WordDocument document = WordDocument::openTemplate(templatePath());
    document.save(documentPath());
    EXPECT_THROW(document.save(documentPath()), DocumentError);
    EXPECT_THROW(document.save(templatePath()), DocumentError);
    EXPECT_NO_THROW(ZipPackage::read(templatePath()));
}

TEST_F(WordDocumentTest, FileThatIsNoPackageIsAnErrorNamingIt) {
    std::ofstream(templatePath()) << "not a zip";
    try {
        WordDocument::openTemplate(templatePath());
        FAIL() << "no error";
    } catch (const DocumentError& e) {
        EXPECT_NE(std::string(e.what()).find(templatePath().string()), std::string::npos)
            << e.what();
    }
}

TEST_F(WordDocumentTest, PackageWithoutMainPartIsAnError) {
    ZipPackage package;
    package.put("[Content_Types].xml", "<Types/>");
    package.write(templatePath());
    EXPECT_THROW(WordDocument::openTemplate(templatePath()), DocumentError);
}

}  // namespace
