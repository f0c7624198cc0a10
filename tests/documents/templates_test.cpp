// The delivered templates: each carries every bookmark its document fills, the list rows up
// to the caps included; only the rows of long texts may break across pages; and the covers
// and registration forms show the texts of the printed pages of the same content.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "DbfFile.h"
#include "DocumentCatalog.h"
#include "Text.h"
#include "WordExport.h"
#include "ZipPackage.h"

using namespace documents;
namespace fs = std::filesystem;

namespace {

class DeliveredTemplates : public ::testing::TestWithParam<Family> {};

TEST_P(DeliveredTemplates, CarryEveryBookmarkTheirDocumentsFill) {
    for (const DocumentSet& set : documentSetsOf(GetParam())) {
        for (const DocumentTable& table : set) {
            try {
                WordDocument document = OpenTemplateDocument(VELMORA_DATA_DIR, table);
            } catch (const TemplateError& e) {
                ADD_FAILURE() << e.what();
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Families, DeliveredTemplates, ::testing::Values(Family::rj, Family::yy),
                         [](const auto& info) {
                             return std::string(info.param == Family::rj ? "rj" : "yy");
                         });

pugi::xml_document parsed(const std::string& bytes) {
    pugi::xml_document xml;
    EXPECT_TRUE(xml.load_buffer(bytes.data(), bytes.size()));
    return xml;
}

pugi::xml_document mainPartOf(const std::string& templateName) {
    return parsed(
        *ZipPackage::read(fs::path(VELMORA_DATA_DIR) / templateName).find("word/document.xml"));
}

// The bookmarks of the record's long texts: its memo fields, in lower case.
std::set<std::string> longTextBookmarks() {
    std::set<std::string> names;
    auto record = store::DbfFile::open(std::string(VELMORA_DATA_DIR) + "/hvel.DBF");
    for (const store::FieldDef& field : record->fields()) {
        if (field.type == store::FieldType::Memo) {
            names.insert(store::text::lowerAscii(field.name));
        }
    }
    return names;
}

TEST(DeliveredTemplateRows, LongTextRowsAloneMayBreakAcrossPages) {
    const std::set<std::string> longTexts = longTextBookmarks();
    ASSERT_TRUE(longTexts.contains("item_13_1"));
    std::set<std::string> templates;
    for (Family family : {Family::rj, Family::yy}) {
        for (const DocumentSet& set : documentSetsOf(family)) {
            for (const DocumentTable& table : set) {
                templates.insert(table.templateName);
            }
        }
    }
    for (const std::string& name : templates) {
        SCOPED_TRACE(name);
        pugi::xml_document xml = mainPartOf(name);
        for (pugi::xpath_node row : xml.select_nodes("//w:tr")) {
            std::string marks;
            bool longText = false;
            for (pugi::xpath_node mark : row.node().select_nodes(".//w:bookmarkStart/@w:name")) {
                marks += std::string(" ") + mark.attribute().value();
                longText = longText || longTexts.contains(mark.attribute().value());
            }
            const bool kept = row.node().child("w:trPr").child("w:cantSplit");
            EXPECT_NE(kept, longText)
                << "the row with the bookmarks" << marks
                << (longText ? " is kept on one page" : " may break across pages");
        }
    }
}

size_t characters(const std::string& utf8) {
    return static_cast<size_t>(std::count_if(utf8.begin(), utf8.end(), [](char byte) {
        return (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
    }));
}

// The texts of a printed page's layout: every text, and every cell's own text with its line
// breaks left out, from the elements that the path selects. Single characters ("年", "①")
// stand beside values and are left out, as are the texts that the documents show otherwise.
std::vector<std::string> printedTexts(const std::string& layout, const char* path,
                                      const std::set<std::string>& shownOtherwise) {
    pugi::xml_document xml;
    const fs::path file = fs::path(REPORT_LAYOUTS_DIR) / layout;
    EXPECT_TRUE(xml.load_file(file.c_str())) << file;
    std::vector<std::string> texts;
    for (pugi::xpath_node part : xml.select_nodes(path)) {
        for (pugi::xpath_node element : part.node().select_nodes(".//text | .//cell")) {
            std::string text;
            for (pugi::xml_node child : element.node().children()) {
                if (child.type() == pugi::node_pcdata) {
                    text += child.value();
                }
            }
            text = std::string(store::text::trimBlanks(text));
            if (characters(text) > 1 && !shownOtherwise.contains(text)) {
                texts.push_back(text);
            }
        }
    }
    return texts;
}

// What a template shows: the texts of its paragraphs, body and page footer, one a line.
std::string shownText(const std::string& templateName) {
    ZipPackage package = ZipPackage::read(fs::path(VELMORA_DATA_DIR) / templateName);
    std::string shown;
    for (const char* part : {"word/document.xml", "word/footer1.xml"}) {
        if (const std::string* bytes = package.find(part)) {
            pugi::xml_document xml = parsed(*bytes);
            for (pugi::xpath_node p : xml.select_nodes("//w:p")) {
                for (pugi::xpath_node t : p.node().select_nodes(".//w:t")) {
                    shown += t.node().text().get();
                }
                shown += "\n";
            }
        }
    }
    return shown;
}

struct PrintedPage {
    const char* layout;
    const char* path;  // the parts of the page that the template shows too
};

struct SameTextsCase {
    const char* name;
    const char* templateName;
    std::vector<PrintedPage> pages;
};

void PrintTo(const SameTextsCase& c, std::ostream* os) {
    *os << c.name;
}

const std::vector<PrintedPage> kAppliedForm = {
    {"yyPrintUnit03.xml", "/report/band[@kind='body']"},
    {"yyPrintUnit05.xml", "/report/band[@kind='body']"},
    {"yyPrintUnit07.xml", "/report/band[@kind='header']"},
    {"yyPrintUnit08.xml", "/report/band[@kind='body']/grid[1]"},  // not the annex under it
    {"yyPrintUnit09.xml", "/report/band[@kind='body']"},
    {"yyPrintUnit10.xml", "/report/band[@kind='header']"},  // not the filling notes
    {"yyPrintUnit11.xml", "/report/band[@kind='header']"},
};
const std::vector<PrintedPage> kBasicTheoryForm = {
    {"rjPrintUnit03.xml", "/report/band[@kind='body']"},
    {"rjPrintUnit05.xml", "/report/band[@kind='header']"},
    {"rjPrintUnit06.xml", "/report/band[@kind='body']/grid[1]"},
    {"rjPrintUnit07.xml", "/report/band[@kind='body']"},
    {"rjPrintUnit08.xml", "/report/band[@kind='header']"},
    {"rjPrintUnit09.xml", "/report/band[@kind='header']"},
};

class SameTextsAsPrinted : public ::testing::TestWithParam<SameTextsCase> {};

TEST_P(SameTextsAsPrinted, TemplateShowsEveryTextOfThePrintedPages) {
    // The paper form's mark on its second sheet, and the captions of option groups whose
    // choice the documents write as its text ("国家科技计划(863计划)", "企业(国有企业)",
    // "(属于科研机构转制型企业)").
    const std::set<std::string> shownOtherwise = {"（续表）", "国家科技计划", "其他来源", "企业",
                                                  "其中，科研机构转制型企业"};
    const std::string shown = shownText(GetParam().templateName);
    for (const PrintedPage& page : GetParam().pages) {
        for (const std::string& text : printedTexts(page.layout, page.path, shownOtherwise)) {
            EXPECT_NE(shown.find(text), std::string::npos)
                << page.layout << ": \"" << text << "\" is not in the template";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Templates, SameTextsAsPrinted,
    ::testing::Values(
        SameTextsCase{"AppliedCover", "应用技术封面.dotx", {{"yyfmUnit1.xml", "/report/band"}}},
        SameTextsCase{
            "AppliedMainTextCover", "应用技术封面(正文).dotx", {{"yyfmUnit1.xml", "/report/band"}}},
        SameTextsCase{
            "BasicTheoryCover", "基础、软科学封面.dotx", {{"rjfmUnit1.xml", "/report/band"}}},
        SameTextsCase{"BasicTheoryMainTextCover",
                      "基础、软科学封面(正文).dotx",
                      {{"rjfmUnit1.xml", "/report/band"}}},
        SameTextsCase{"AppliedForm", "应用技术登记表.dotx", kAppliedForm},
        SameTextsCase{"AppliedMainText", "应用技术登记表(正文).dotx", kAppliedForm},
        SameTextsCase{"BasicTheoryForm", "基础、软科学登记表.dotx", kBasicTheoryForm},
        SameTextsCase{"BasicTheoryMainText", "基础、软科学登记表(正文).dotx", kBasicTheoryForm}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
