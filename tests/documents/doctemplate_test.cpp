// The template builder: a source with its includes, names, repeated rows and merged cells
// becomes a template with the bookmarks in place; a faulty source names its line and leaves
// no template.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <QProcess>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "ScratchFolder.h"
#include "WordDocument.h"
#include "ZipPackage.h"

namespace fs = std::filesystem;

namespace {

class DocTemplateTest : public ::testing::Test {
protected:
    void write(const std::string& name, const std::string& text) {
        fs::create_directories((m_folder.path() / name).parent_path());
        std::ofstream(m_folder.path() / name) << text;
    }

    // Runs the builder on t.txt; the exit code, with its messages in m_messages.
    int build() {
        QProcess builder;
        builder.setProcessChannelMode(QProcess::MergedChannels);
        builder.start(
            QStringLiteral(DOCTEMPLATE_PATH),
            {QString::fromStdString(source().string()), QString::fromStdString(output().string())});
        EXPECT_TRUE(builder.waitForFinished(30'000));
        m_messages = builder.readAll().toStdString();
        return builder.exitCode();
    }

    fs::path source() const { return m_folder.path() / "t.txt"; }
    fs::path output() const { return m_folder.path() / "t.dotx"; }

    testsupport::ScratchFolder m_folder;
    std::string m_messages;
};

TEST_F(DocTemplateTest, BuildsTheBookmarksRowsAndMergedCells) {
    write("parts/list.txt",
          "# a list of $rows rows\n"
          "table small 20 30 40\n"
          "head *序号 | *姓名 | *备注\n"
          "repeat n 1 $rows\n"
          "row ={no_$n} | {name_$n} | ~\n"
          "end\n"
          "row ^ | *合计 | {total}\n"
          "end\n");
    write("t.txt",
          "define rows 2\n"
          "title 表\n"
          "para 名称：{title}\n"
          "include parts/list.txt\n");
    ASSERT_EQ(build(), 0) << m_messages;

    documents::WordDocument document = documents::WordDocument::openTemplate(output());
    EXPECT_EQ(document.bookmarkNames(),
              (std::vector<std::string>{"title", "no_1", "name_1", "no_2", "name_2", "total"}));

    documents::ZipPackage package = documents::ZipPackage::read(output());
    EXPECT_NE(package.find("[Content_Types].xml")->find("template.main+xml"), std::string::npos);
    pugi::xml_document xml;
    const std::string& body = *package.find("word/document.xml");
    ASSERT_TRUE(xml.load_buffer(body.data(), body.size()));
    pugi::xpath_node_set rows = xml.select_nodes("//w:tr");
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_TRUE(rows[0].node().child("w:trPr").child("w:tblHeader"));
    // "~" widens the cell on its left; "^" continues the cell above, which starts the merge.
    EXPECT_STREQ(rows[1].node().select_node(".//w:gridSpan/@w:val").attribute().value(), "2");
    EXPECT_STREQ(rows[2].node().select_node("w:tc[1]//w:vMerge/@w:val").attribute().value(),
                 "restart");
    EXPECT_TRUE(rows[3].node().select_node("w:tc[1]//w:vMerge"));
}

// The texts of the part's paragraphs, each with its style: "<Note>text".
std::vector<std::string> paragraphsOf(const std::string& part) {
    pugi::xml_document xml;
    EXPECT_TRUE(xml.load_buffer(part.data(), part.size()));
    std::vector<std::string> paragraphs;
    for (pugi::xpath_node p : xml.select_nodes("//w:p")) {
        std::string text;
        if (auto style = p.node().select_node("w:pPr/w:pStyle/@w:val")) {
            text = "<" + std::string(style.attribute().value()) + ">";
        }
        for (pugi::xpath_node t : p.node().select_nodes(".//w:t")) {
            text += t.node().text().get();
        }
        paragraphs.push_back(text);
    }
    return paragraphs;
}

TEST_F(DocTemplateTest, OnlyLongTextRowsMayBreakAcrossPages) {
    write("t.txt",
          "table 20 30\n"
          "head *甲 | *乙\n"
          "row 一 | 二\n"
          "long:40 {text} | ~\n"
          "row:20 签字 | 日期\n"
          "end\n");
    ASSERT_EQ(build(), 0) << m_messages;
    pugi::xml_document xml;
    const std::string body = *documents::ZipPackage::read(output()).find("word/document.xml");
    ASSERT_TRUE(xml.load_buffer(body.data(), body.size()));
    pugi::xpath_node_set rows = xml.select_nodes("//w:tr");
    ASSERT_EQ(rows.size(), 4u);
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(static_cast<bool>(rows[i].node().child("w:trPr").child("w:cantSplit")), i != 2)
            << "row " << i;
    }
    // The long text starts at the top of its cell.
    EXPECT_STREQ(rows[2].node().select_node(".//w:vAlign/@w:val").attribute().value(), "top");
}

TEST_F(DocTemplateTest, CodesQuoteTheOptionsOfTheCodeTable) {
    write("codes.txt",
          "# a code table\n"
          "zddm C(20)\txxdm C(10)\txxmc C(60)\n"
          "item_2\t1\t国际领先\n"
          "item_9\t1\t别的选项\n"
          "item_2\t2\t国际先进\n"
          "item_2\t6\t**上一版的选项\n");
    // The table's path is relative to the file that names it.
    write("parts/notes.txt",
          "codetable ../codes.txt\n"
          "codes item_2 成果水平\n");
    write("t.txt", "include parts/notes.txt\n");
    ASSERT_EQ(build(), 0) << m_messages;
    EXPECT_EQ(paragraphsOf(*documents::ZipPackage::read(output()).find("word/document.xml")),
              (std::vector<std::string>{"<Note>成果水平：1 国际领先　2 国际先进"}));

    write("t.txt", "codetable codes.txt\ncodes item_7 未知\n");
    EXPECT_EQ(build(), 1);
    EXPECT_NE(m_messages.find("t.txt:2: "), std::string::npos) << m_messages;
    EXPECT_NE(m_messages.find("has no options of item_7"), std::string::npos) << m_messages;
}

TEST_F(DocTemplateTest, FooterLinesMakeThePageFooter) {
    write("t.txt",
          "para 正文\n"
          "table plain 20 30\n"
          "row 甲 | 乙\n"
          "end\n"
          "footer **中华人民共和国**\n"
          "footer 二○○四年制\n");
    ASSERT_EQ(build(), 0) << m_messages;
    documents::ZipPackage package = documents::ZipPackage::read(output());
    ASSERT_NE(package.find("word/footer1.xml"), nullptr);
    EXPECT_EQ(paragraphsOf(*package.find("word/footer1.xml")),
              (std::vector<std::string>{"<PageFooter>中华人民共和国", "<PageFooter>二○○四年制"}));
    EXPECT_NE(package.find("[Content_Types].xml")->find("/word/footer1.xml"), std::string::npos);
    EXPECT_NE(package.find("word/_rels/document.xml.rels")->find("Id=\"rId3\""), std::string::npos);
    const std::string& body = *package.find("word/document.xml");
    EXPECT_NE(body.find("<w:footerReference w:type=\"default\" r:id=\"rId3\"/>"),
              std::string::npos);
    // A plain table rules nothing.
    EXPECT_EQ(body.find("Borders"), std::string::npos);

    // Without footer lines the package has no footer part and names none.
    write("t.txt", "para 正文\n");
    fs::remove(output());
    ASSERT_EQ(build(), 0) << m_messages;
    package = documents::ZipPackage::read(output());
    EXPECT_EQ(package.find("word/footer1.xml"), nullptr);
    EXPECT_EQ(package.find("[Content_Types].xml")->find("footer"), std::string::npos);
    EXPECT_EQ(package.find("word/_rels/document.xml.rels")->find("footer"), std::string::npos);
    EXPECT_EQ(package.find("word/document.xml")->find("footerReference"), std::string::npos);
}

struct FaultCase {
    const char* name;
    std::string source;
    std::string message;
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

class DocTemplateFaultTest : public DocTemplateTest,
                             public ::testing::WithParamInterface<FaultCase> {};

TEST_P(DocTemplateFaultTest, NamesTheLineAndWritesNothing) {
    write("t.txt", GetParam().source);
    EXPECT_EQ(build(), 1);
    EXPECT_NE(m_messages.find(GetParam().message), std::string::npos) << m_messages;
    EXPECT_FALSE(fs::exists(output()));
}

INSTANTIATE_TEST_SUITE_P(
    Sources, DocTemplateFaultTest,
    ::testing::Values(
        FaultCase{"UnknownLine", "para a\nframe b\n", "t.txt:2: unknown line: frame"},
        FaultCase{"TableWithoutEnd", "table 10 20\nrow a | b\n", "t.txt:1: table without end"},
        FaultCase{"CellsAndColumnsDiffer", "table 10 20\nrow a\nend\n",
                  "t.txt:2: the row has 1 cells, the table 2 columns"},
        FaultCase{"BookmarkTwice", "para {a}\npara {a}\n", "t.txt:2: bookmark {a} is there twice"},
        FaultCase{"UnknownName", "subtitle $kind\n", "t.txt:1: unknown name $kind"},
        FaultCase{"RepeatOutsideATable", "repeat n 1 2\n", "t.txt:1: unknown line: repeat"},
        FaultCase{"RowsOfAnUnknownCount", "table 10\nrepeat n 1 $rows\nrow {x_$n}\nend\nend\n",
                  "t.txt:2: unknown name $rows"},
        FaultCase{"WiderThanThePage", "table 100 100\nrow a | b\nend\n",
                  "t.txt:1: the columns are wider than the page's text"},
        FaultCase{"ContinuedCellWithNothingAbove", "table 10\nrow ^\nend\n",
                  "t.txt:2: ^ needs a cell above it"},
        FaultCase{"MissingInclude", "include parts/none.txt\n", "t.txt:1: "},
        FaultCase{"CodesWithoutACodeTable", "codes item_2 成果水平\n",
                  "t.txt:1: codes needs a codetable line before it"},
        FaultCase{"MissingCodeTable", "codetable none.txt\n", "t.txt:1: "},
        FaultCase{"BookmarkInAFooter", "footer {x}\n", "t.txt:1: a footer holds no bookmark"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
