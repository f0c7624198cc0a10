// The documents of the export buttons: the texts each document's table gives a fixture record
// (golden folders), the documents read back, the list caps, and the export buttons through
// their seams.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "AppraisalDocuments.h"
#include "Dialogs.h"
#include "DocumentCatalog.h"
#include "DocumentFixture.h"
#include "ExportMessageBoxes.h"
#include "MainTextDocuments.h"
#include "RegistrationDocuments.h"
#include "ScratchFolder.h"
#include "WordExport.h"

using namespace documents;
namespace fs = std::filesystem;

namespace {

const fs::path kCases = DOCUMENT_CASES_DIR;

std::string baseName(const std::string& templateName) {
    return fs::path(templateName).stem().string();
}

// The golden form of a document's texts: "bookmark<TAB>text" per fill, then
// "-<TAB>list<TAB>cap/rows" per list whose rows the document leaves out.
std::vector<std::string> goldenLines(const DocumentFills& fills) {
    std::vector<std::string> lines;
    for (const Fill& fill : fills.fills) {
        lines.push_back(fill.bookmark + "\t" + testsupport::escape(fill.text));
    }
    for (const LeftOutRows& rows : fills.leftOut) {
        lines.push_back("-\t" + listName(rows.list) + "\t" + std::to_string(rows.cap) + "/" +
                        std::to_string(rows.rows));
    }
    return lines;
}

std::vector<std::string> readLines(const fs::path& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

// A text as the document holds it: each line break one paragraph end ("\r"), control
// characters other than TAB gone.
std::string asInserted(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r' || c == '\n') {
            out += '\r';
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else if (c == '\t' || c >= 0x20) {
            out += text[i];
        }
    }
    return out;
}

std::vector<DocumentTable> tablesOf(Family family) {
    std::vector<DocumentTable> tables;
    for (const DocumentSet& set : documentSetsOf(family)) {
        tables.insert(tables.end(), set.begin(), set.end());
    }
    return tables;
}

class GoldenCase : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override { m_data.loadRecord(kCases / GetParam() / "record.txt"); }
    Family family() { return familyOf(m_data.dm().Qryhvel.field("ITEM_CGLB").asText()); }

    testsupport::RecordFixture m_data;
};

TEST_P(GoldenCase, EachDocumentFillsItsBookmarksInOrder) {
    const ExportContext context(m_data.dm());
    for (const DocumentTable& table : tablesOf(family())) {
        const fs::path expected = kCases / GetParam() / (baseName(table.templateName) + ".txt");
        std::vector<std::string> actual = goldenLines(fillsOf(table, context));
        EXPECT_EQ(readLines(expected), actual) << expected << " differs; the texts are now:\n"
                                               << joined(actual);
    }
}

TEST_P(GoldenCase, DocumentsHoldEachTextRightAfterItsBookmark) {
    testsupport::ScratchFolder out;
    FilledSet filled;
    for (const DocumentSet& set : documentSetsOf(family())) {
        FilledSet documents = fillDocuments(m_data.dm(), set);
        std::move(documents.documents.begin(), documents.documents.end(),
                  std::back_inserter(filled.documents));
    }
    const ExportContext context(m_data.dm());
    size_t index = 0;
    for (const DocumentTable& table : tablesOf(family())) {
        const fs::path templatePath = m_data.program().data() / table.templateName;
        const fs::path documentPath = out.path() / (baseName(table.templateName) + ".docx");
        filled.documents.at(index++).document.save(documentPath);
        testsupport::DocumentText document(documentPath);
        testsupport::DocumentText blank(templatePath);
        std::map<std::string, std::string> inserted;
        for (const Fill& fill : fillsOf(table, context).fills) {
            inserted[fill.bookmark] += asInserted(fill.text);
        }
        for (const std::string& bookmark : bookmarksOf(table)) {
            EXPECT_EQ(document.after(bookmark), inserted[bookmark] + blank.after(bookmark))
                << table.templateName << " " << bookmark;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Records, GoldenCase,
                         ::testing::Values("soft_science", "applied_technology",
                                           "basic_theory_empty", "applied_long_lists"));

DocumentTable registrationFormOf(Family family) {
    return registrationDocuments(family).at(1);
}

DocumentTable mainTextOf(Family family) {
    return mainTextDocuments(family).at(1);
}

struct CapCase {
    const char* name;
    const char* type;  // ITEM_CGLB
    ChildList list;
    int rows;
    int written;
    DocumentTable (*document)(Family) = registrationFormOf;
};

void PrintTo(const CapCase& c, std::ostream* os) {
    *os << c.name;
}

class ListCapTest : public ::testing::TestWithParam<CapCase> {
protected:
    testsupport::RecordFixture m_data;
};

// The row numbers of the list's first column that a document fills.
std::vector<std::string> filledRows(const std::vector<Fill>& fills, const std::string& prefix) {
    std::vector<std::string> rows;
    for (const Fill& fill : fills) {
        if (fill.bookmark.starts_with(prefix + "_")) {
            rows.push_back(fill.bookmark.substr(prefix.size() + 1));
        }
    }
    return rows;
}

TEST_P(ListCapTest, WritesRowsUpToTheCapAndCountsTheRest) {
    const CapCase& c = GetParam();
    m_data.addRecord({{"ITEM_4", "2004000001"}, {"ITEM_DQDM", "."}, {"ITEM_CGLB", c.type}});
    m_data.addNumberedRows(c.list, c.rows);
    const Family family = familyOf(c.type);
    DocumentFills fills = fillsOf(c.document(family), ExportContext(m_data.dm()));

    static const std::map<ChildList, std::string> kFirstColumn = {
        {ChildList::Patents, "patent_no"},
        {ChildList::Units, "item_176"},
        {ChildList::Persons, "item_187"},
        {ChildList::Committee, "item_191"}};
    std::vector<std::string> expected;
    for (int i = 1; i <= c.written; ++i) {
        expected.push_back(std::to_string(i));
    }
    EXPECT_EQ(filledRows(fills.fills, kFirstColumn.at(c.list)), expected);
    if (c.written < c.rows && (c.list != ChildList::Patents || family == Family::yy)) {
        ASSERT_EQ(fills.leftOut.size(), 1u);
        EXPECT_EQ(fills.leftOut[0].list, c.list);
        EXPECT_EQ(fills.leftOut[0].cap, c.written);
        EXPECT_EQ(fills.leftOut[0].rows, c.rows);
    } else {
        EXPECT_TRUE(fills.leftOut.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ListCapTest,
    ::testing::Values(
        CapCase{"SoftScienceSixUnitsGiveFive", "2", ChildList::Units, 6, 5},
        CapCase{"AppliedSixUnitsGiveSix", "1", ChildList::Units, 6, 6},
        CapCase{"AppliedNineUnitsGiveEight", "1", ChildList::Units, 9, 8},
        CapCase{"AppliedNoPatents", "1", ChildList::Patents, 0, 0},
        CapCase{"AppliedFivePatentsGiveFour", "1", ChildList::Patents, 5, 4},
        CapCase{"BasicTheoryWritesNoPatents", "3", ChildList::Patents, 5, 0},
        CapCase{"FortyPersonsGiveThirtyFour", "3", ChildList::Persons, 40, 34},
        CapCase{"AppliedFortyPersonsGiveThirtyFour", "1", ChildList::Persons, 40, 34},
        CapCase{"TwentyMembersGiveThirteen", "2", ChildList::Committee, 20, 13},
        CapCase{"TwoMembersGiveTwo", "1", ChildList::Committee, 2, 2},
        CapCase{"MainTextFiftyPersonsGiveFortyFive", "2", ChildList::Persons, 50, 45, mainTextOf},
        CapCase{"AppliedMainTextFiftyPersonsGiveFortyFive", "1", ChildList::Persons, 50, 45,
                mainTextOf},
        CapCase{"MainTextFortyPersonsGiveForty", "3", ChildList::Persons, 40, 40, mainTextOf},
        CapCase{"MainTextKeepsTheUnitsCap", "3", ChildList::Units, 6, 5, mainTextOf}),
    [](const auto& info) { return std::string(info.param.name); });

// The lists hold the current record's rows only, whatever its key holds.
TEST(RegistrationLists, HoldTheCurrentRecordsRowsOnly) {
    testsupport::RecordFixture data;
    data.addRecord({{"ITEM_4", "2004000001"}, {"ITEM_DQDM", "."}, {"ITEM_CGLB", "1"}});
    data.addRows(ChildList::Persons, {{{"ITEM_180", "甲"}}, {{"ITEM_180", "乙"}}});
    data.addRecord({{"ITEM_4", "2004'00002"}, {"ITEM_DQDM", "."}, {"ITEM_CGLB", "1"}});
    data.addRows(ChildList::Persons, {{{"ITEM_180", "丙"}}});

    DocumentFills fills =
        fillsOf(registrationDocuments(Family::yy).at(1), ExportContext(data.dm()));
    std::vector<Fill> names;
    std::copy_if(fills.fills.begin(), fills.fills.end(), std::back_inserter(names),
                 [](const Fill& fill) { return fill.bookmark.starts_with("item_180_"); });
    EXPECT_EQ(names, (std::vector<Fill>{{"item_180_1", "丙"}}));
    EXPECT_EQ(data.dm().TblCgwcr.filter(), "item_4='2004''00002' and item_dqdm='.'");
}

// An export button's handler.
using Button = void (*)(TDM&, const ExportSeams&);

// The export buttons, with every seam replaced: message boxes answered by the test, documents
// "opened" into a list, a fixed time.
class ExportButtonTest : public ::testing::Test {
protected:
    ExportButtonTest() {
        m_seams.messages = &m_messageBoxes;
        m_seams.folder = QString::fromStdString((m_out.path() / "Velmora").string());
        m_seams.now = [] { return QDateTime(QDate(2024, 5, 1), QTime(10, 30, 0)); };
        m_seams.openDocument = [this](const QString& path) {
            m_opened << path;
            return m_canOpen;
        };
    }

    void addRecord(const char* type, int units = 0) {
        m_data.addRecord({{"ITEM_4", "2004000001"},
                          {"ITEM_DQDM", "."},
                          {"ITEM_CGLB", type},
                          {"ITEM_3", "测试成果"}});
        m_data.addNumberedRows(ChildList::Units, units);
    }

    QStringList writtenFiles() const {
        return QDir(m_seams.folder).entryList(QDir::Files, QDir::Name);
    }

    std::vector<QString> boxTexts() const {
        std::vector<QString> texts;
        for (const auto& box : m_dialogs.boxes) {
            texts.push_back(box.text);
        }
        return texts;
    }

    fs::path dataFile(const std::string& name) const { return m_data.program().data() / name; }

    testsupport::RecordFixture m_data;
    testsupport::ScratchFolder m_out;
    widgets::ScriptedDialogs m_dialogs;
    print::ExportMessageBoxes m_messageBoxes;
    ExportSeams m_seams;
    QStringList m_opened;
    bool m_canOpen = true;
};

TEST_F(ExportButtonTest, AsksFirstAndCancelDoesNothing) {
    addRecord("2");
    m_dialogs.answers = {widgets::Cancel};
    RJ_ButtonClick(m_data.dm(), m_seams);
    ASSERT_EQ(m_dialogs.boxes.size(), 1u);
    const auto& box = m_dialogs.boxes[0];
    EXPECT_EQ(box.text, QStringLiteral("您确定输出word文档吗？\r\n"));
    EXPECT_EQ(box.title, QStringLiteral("提示"));
    EXPECT_EQ(box.icon, widgets::Icon::None);
    EXPECT_EQ(box.buttons, widgets::Ok | widgets::Cancel);
    EXPECT_TRUE(writtenFiles().isEmpty());
    EXPECT_TRUE(m_opened.isEmpty());
}

TEST_F(ExportButtonTest, WritesTheCoverThenTheFormAndOpensThem) {
    addRecord("2");
    RJ_ButtonClick(m_data.dm(), m_seams);
    const QStringList expected = {
        QStringLiteral("基础、软科学封面_2004000001_20240501-103000.docx"),
        QStringLiteral("基础、软科学登记表_2004000001_20240501-103000.docx")};
    EXPECT_EQ(m_opened, (QStringList{QDir(m_seams.folder).filePath(expected[0]),
                                     QDir(m_seams.folder).filePath(expected[1])}));
    QStringList files = writtenFiles();
    std::sort(files.begin(), files.end());
    QStringList sorted = expected;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(files, sorted);
    EXPECT_EQ(m_dialogs.boxes.size(), 1u);  // the question only
}

TEST_F(ExportButtonTest, AppliedTechnologyHasItsOwnDocuments) {
    addRecord("1");
    YY_ButtonClick(m_data.dm(), m_seams);
    ASSERT_EQ(m_opened.size(), 2);
    EXPECT_TRUE(
        m_opened[0].endsWith(QStringLiteral("/应用技术封面_2004000001_20240501-103000.docx")));
    EXPECT_TRUE(
        m_opened[1].endsWith(QStringLiteral("/应用技术登记表_2004000001_20240501-103000.docx")));
}

struct ButtonCase {
    const char* name;
    const char* type;
    Button click;
    std::vector<const char*> documents;  // in the order they are opened
};

void PrintTo(const ButtonCase& c, std::ostream* os) {
    *os << c.name;
}

class DocumentButtonTest : public ExportButtonTest,
                           public ::testing::WithParamInterface<ButtonCase> {};

TEST_P(DocumentButtonTest, AsksThenWritesAndOpensItsDocuments) {
    addRecord(GetParam().type);
    GetParam().click(m_data.dm(), m_seams);
    ASSERT_EQ(m_dialogs.boxes.size(), 1u);  // the question only
    EXPECT_EQ(m_dialogs.boxes[0].text, QStringLiteral("您确定输出word文档吗？\r\n"));
    QStringList expected;
    for (const char* document : GetParam().documents) {
        expected << QDir(m_seams.folder)
                        .filePath(QString::fromUtf8(document) +
                                  QStringLiteral("_2004000001_20240501-103000.docx"));
    }
    EXPECT_EQ(m_opened, expected);
    EXPECT_EQ(writtenFiles().size(), expected.size());
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, DocumentButtonTest,
    ::testing::Values(
        ButtonCase{"MainTextSoftScience",
                   "2",
                   RJ_SButtonClick,
                   {"基础、软科学封面(正文)", "基础、软科学登记表(正文)"}},
        ButtonCase{"MainTextAppliedTechnology",
                   "1",
                   YY_SButtonClick,
                   {"应用技术封面(正文)", "应用技术登记表(正文)"}},
        ButtonCase{"ApplicationBasicTheory", "3", Button5Click, {"科学技术成果鉴定申请表"}},
        ButtonCase{"CertificateAppliedTechnology", "1", Button6Click, {"科学技术成果鉴定证书"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ExportButtonTest, NeverWritesOverEarlierDocuments) {
    addRecord("2");
    RJ_ButtonClick(m_data.dm(), m_seams);
    RJ_ButtonClick(m_data.dm(), m_seams);
    EXPECT_EQ(writtenFiles().size(), 4);
    EXPECT_TRUE(m_opened[2].endsWith(
        QStringLiteral("/基础、软科学封面_2004000001_20240501-103000(2).docx")));
}

TEST_F(ExportButtonTest, TellsOnceWhichRowsAreLeftOut) {
    addRecord("2", 7);
    m_data.addNumberedRows(ChildList::Persons, 36);
    RJ_ButtonClick(m_data.dm(), m_seams);
    ASSERT_EQ(m_dialogs.boxes.size(), 2u);
    EXPECT_EQ(m_dialogs.boxes[1].text,
              QStringLiteral(
                  "“基础、软科学登记表”的合作完成单位名单只能写入5行，共7行，其余2行没有写入。\n"
                  "“基础、软科学登记表”的成果完成人员名单只能写入34行，共36行，其余2行没有写入。"));
    EXPECT_EQ(m_dialogs.boxes[1].icon, widgets::Icon::Information);
    EXPECT_EQ(m_opened.size(), 2);
}

TEST_F(ExportButtonTest, SaysWhereTheDocumentsAreWhenNothingOpensThem) {
    addRecord("2");
    m_canOpen = false;
    RJ_ButtonClick(m_data.dm(), m_seams);
    ASSERT_EQ(m_dialogs.boxes.size(), 2u);
    EXPECT_EQ(m_dialogs.boxes[1].text, QStringLiteral("没有能打开文档的程序。文档已保存在：\n") +
                                           m_opened.join(QLatin1Char('\n')));
}

struct MissingCase {
    const char* name;
    const char* type;
    const char* templateName;
    Button click;
};

void PrintTo(const MissingCase& c, std::ostream* os) {
    *os << c.name;
}

class MissingTemplateTest : public ExportButtonTest,
                            public ::testing::WithParamInterface<MissingCase> {};

TEST_P(MissingTemplateTest, IsReportedAndNoDocumentIsWritten) {
    addRecord(GetParam().type);
    fs::remove(dataFile(GetParam().templateName));
    GetParam().click(m_data.dm(), m_seams);
    ASSERT_EQ(m_dialogs.boxes.size(), 2u);
    EXPECT_EQ(m_dialogs.boxes[1].text,
              QStringLiteral("您的电脑上没有相应的报表\n") +
                  QString::fromStdString(dataFile(GetParam().templateName).string()));
    EXPECT_EQ(m_dialogs.boxes[1].icon, widgets::Icon::Critical);
    EXPECT_TRUE(writtenFiles().isEmpty());
    EXPECT_TRUE(m_opened.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Templates, MissingTemplateTest,
    ::testing::Values(MissingCase{"Cover", "2", "基础、软科学封面.dotx", RJ_ButtonClick},
                      MissingCase{"FormAfterACoverThatIsThere", "1", "应用技术登记表.dotx",
                                  YY_ButtonClick},
                      MissingCase{"MainTextCover", "1", "应用技术封面(正文).dotx", YY_SButtonClick},
                      MissingCase{"MainTextAfterACoverThatIsThere", "3",
                                  "基础、软科学登记表(正文).dotx", RJ_SButtonClick},
                      MissingCase{"Application", "2", "科学技术成果鉴定申请表.dotx", Button5Click},
                      MissingCase{"Certificate", "1", "科学技术成果鉴定证书.dotx", Button6Click}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ExportButtonTest, TemplateWithoutABookmarkIsNamedAndNoDocumentIsWritten) {
    addRecord("1");
    // The form template rebuilt without the bookmark of the transformed-enterprise note and
    // without the committee's last row.
    const fs::path form = dataFile("应用技术登记表.dotx");
    documents::ZipPackage package = documents::ZipPackage::read(form);
    std::string& body = *package.find("word/document.xml");
    for (const std::string name : {"item_163", "item_198_13"}) {
        size_t at = body.find("w:name=\"" + name + "\"");
        ASSERT_NE(at, std::string::npos) << name;
        body.replace(at, 8 + name.size() + 1, "w:name=\"gone\"");
    }
    fs::remove(form);
    package.write(form);

    YY_ButtonClick(m_data.dm(), m_seams);
    ASSERT_EQ(m_dialogs.boxes.size(), 2u);
    EXPECT_EQ(
        m_dialogs.boxes[1].text,
        QStringLiteral("模板“应用技术登记表.dotx”缺少书签：item_163、item_198_13\n没有输出文档。"));
    EXPECT_TRUE(writtenFiles().isEmpty());
}

TEST_F(ExportButtonTest, FolderThatCannotBeMadeIsReported) {
    addRecord("2");
    std::ofstream(m_seams.folder.toStdString()) << "a file where the folder should be";
    RJ_ButtonClick(m_data.dm(), m_seams);
    ASSERT_EQ(m_dialogs.boxes.size(), 2u);
    EXPECT_TRUE(m_dialogs.boxes[1].text.contains(m_seams.folder))
        << m_dialogs.boxes[1].text.toStdString();
    EXPECT_TRUE(m_opened.isEmpty());
}

TEST(DocumentFileName, SaysWhatItIsTheKeyAndTheTime) {
    const QDateTime time(QDate(2024, 5, 1), QTime(9, 5, 7));
    EXPECT_EQ(documentFileName("应用技术封面.dotx", "2004000001", ".", time),
              QStringLiteral("应用技术封面_2004000001_20240501-090507.docx"));
    // An imported record's region is part of its key; no character a file name cannot hold.
    EXPECT_EQ(documentFileName("应用技术封面.dotx", "2004/0:01", "110", time),
              QStringLiteral("应用技术封面_2004_0_01-110_20240501-090507.docx"));
}

}  // namespace
