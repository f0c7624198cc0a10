// The exchange text format: the column rules of the writer, the joining and splitting of the
// reader, and the places where the two are not symmetric.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "Clock.h"
#include "Database.h"
#include "Dataset.h"
#include "Errors.h"
#include "ExchangeTextFile.h"
#include "GbkCodec.h"
#include "TableFixture.h"
#include "TableRows.h"

using namespace exchange;
namespace fs = std::filesystem;

namespace {

using Rows = std::vector<std::vector<std::string>>;

std::string gbk(std::string_view utf8) {
    return *store::GbkCodec::encode(utf8);
}

std::string readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Tables written from their text form into a temporary data folder, with the database over it.
class ExchangeTextTest : public ::testing::Test {
protected:
    void makeTable(const std::string& name, const std::string& text) { m_folder.write(name, text); }
    store::Table& open(const std::string& name) {
        if (!m_db) {
            m_db = std::make_unique<store::Database>(m_folder.data());
        }
        m_tables.push_back(std::make_unique<store::Table>(*m_db, name + ".dbf"));
        m_tables.back()->open();
        return *m_tables.back();
    }
    std::filesystem::path file(const std::string& name) const { return m_folder.path() / name; }

    static Rows rowsOf(store::Dataset& table) { return testsupport::datasetRows(table); }

    // Reads bytes as the file into a fresh copy of table, returning its rows.
    // The counts of the reading are kept in m_counts.
    Rows readInto(const std::string& table, std::string_view bytes,
                  ExchangeVariant variant = ExchangeVariant::Package) {
        writeBytes(file("in.txt"), bytes);
        store::Table& target = open(table);
        m_counts = ReadExchangeFile(file("in.txt").string(), target, variant);
        return rowsOf(target);
    }

    testsupport::TableFolder m_folder;
    ExchangeReadCounts m_counts;
    std::unique_ptr<store::Database> m_db;
    std::vector<std::unique_ptr<store::Table>> m_tables;
};

TEST(ExchangeQuotes, HelpersFollowTheirRules) {
    struct Case {
        const char* text;
        const char* column;
        const char* escaped;
        int quotes;
        const char* undoubled;
    };
    const Case cases[] = {
        {"plain", "plain", "plain", 0, "plain"},
        {"", "", "", 0, ""},
        {"a\tb", "\"a\tb\"", "a\tb", 0, "a\tb"},
        {"a\r\nb", "\"a\r\nb\"", "a\r\nb", 0, "a\r\nb"},
        {"a\nb", "a\nb", "a\nb", 0, "a\nb"},  // a lone line feed is no reason to quote
        {"\"x", "\"\"\"x\"", "\"\"x", 1, "\"x"},
        {"\"\"", "\"\"\"\"\"\"", "\"\"\"\"", 2, "\""},
        {"a\"b", "a\"b", "a\"\"b", 1, "a\"b"},  // a quote inside plain text stays single
        {"\"\"\"", "\"\"\"\"\"\"\"\"", "\"\"\"\"\"\"", 3, "\"\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(QuoteColumn(c.text), c.column);
        EXPECT_EQ(EscapeFieldQuotes(c.text), c.escaped);
        EXPECT_EQ(CountQuotes(c.text), c.quotes);
        EXPECT_EQ(UndoubleQuotes(c.text), c.undoubled);
    }
}

// ---- the writer, and the reader taking back what it wrote --------------------------------

struct RoundTripCase {
    const char* name;
    // The values of ITEM_4, NAME, AMOUNT, DAY, NOTE and TAIL as the table text gives them.
    const char* row;
    // The line written (UTF-8 here, GBK in the file).
    const char* written;
    // The values read back; empty when they equal the values written.
    std::vector<std::string> readBack;
};

void PrintTo(const RoundTripCase& c, std::ostream* os) {
    *os << c.name;
}

class ExchangeRoundTrip : public ExchangeTextTest,
                          public ::testing::WithParamInterface<RoundTripCase> {};

constexpr const char* kFields =
    "ITEM_4 C(10)\tNAME C(40)\tAMOUNT N(12,2)\tDAY D\tNOTE M\tTAIL C(20)\n";

TEST_P(ExchangeRoundTrip, WritesTheLineAndReadsTheValuesBack) {
    const RoundTripCase& c = GetParam();
    makeTable("src", std::string(kFields) + c.row + "\n");
    makeTable("dst", kFields);
    store::Table& source = open("src");
    WriteExchangeFile(source, file("out.txt").string());
    EXPECT_EQ(readBytes(file("out.txt")), gbk(c.written));

    store::Table& target = open("dst");
    ReadExchangeFile(file("out.txt").string(), target);
    const Rows expected = {c.readBack.empty() ? rowsOf(source).front() : c.readBack};
    EXPECT_EQ(rowsOf(target), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Columns, ExchangeRoundTrip,
    ::testing::Values(
        RoundTripCase{
            "Plain", "2004000001\tname\t\t\t\ttail", "2004000001\tname\t\t\t\ttail\r\n", {}},
        RoundTripCase{"ChineseInGbk",
                      "2004000001\t成果名称\t\t\t说明\t甲乙",
                      "2004000001\t成果名称\t\t\t说明\t甲乙\r\n",
                      {}},
        RoundTripCase{"NumberAndDateInTheFixedForm",
                      "2004000001\tn\t12.5\t2004-05-01\t\tt",
                      "2004000001\tn\t12.5\t2004-05-01\t\tt\r\n",
                      {}},
        RoundTripCase{"WholeNumberWithoutDecimals",
                      "2004000001\tn\t3\t1999-12-31\t\tt",
                      "2004000001\tn\t3\t1999-12-31\t\tt\r\n",
                      {}},
        RoundTripCase{"TabInAValueIsQuoted",
                      "2004000001\ta\\tb\t\t\t\tt",
                      "2004000001\t\"a\tb\"\t\t\t\tt\r\n",
                      {}},
        RoundTripCase{"LeadingQuoteIsQuotedAndDoubled",
                      "2004000001\t\"x\t\t\t\tt",
                      "2004000001\t\"\"\"x\"\t\t\t\tt\r\n",
                      {}},
        RoundTripCase{"TwoQuotesBecomeSix",
                      "2004000001\t\"\"\t\t\t\tt",
                      "2004000001\t\"\"\"\"\"\"\t\t\t\tt\r\n",
                      {}},
        RoundTripCase{"InnerQuoteStaysSingle",
                      "2004000001\ta\"b\t\t\t\tt",
                      "2004000001\ta\"b\t\t\t\tt\r\n",
                      {}},
        RoundTripCase{"MemoWithLineBreaksSpansLines",
                      "2004000001\tn\t\t\tfirst\\r\\nsecond\\tcol\\r\\n\\r\\nlast\tt",
                      "2004000001\tn\t\t\t\"first\r\nsecond\tcol\r\n\r\nlast\"\tt\r\n",
                      {}},
        RoundTripCase{"MemoWithQuotesAndLineBreak",
                      "2004000001\tn\t\t\t\"q\"\\r\\n\"\tt",
                      "2004000001\tn\t\t\t\"\"\"q\"\"\r\n\"\"\"\tt\r\n",
                      {}},
        // The last column is written as it is and read back trimmed, never unquoted.
        RoundTripCase{"LastColumnIsTrimmedWhenRead",
                      "2004000001\tn\t\t\t\t  t  ",
                      "2004000001\tn\t\t\t\t  t\r\n",
                      {"2004000001", "n", "", "", "", "t"}},
        RoundTripCase{"LastColumnIsNeverQuoted",
                      "2004000001\tn\t\t\t\t\"a\\tb\"",
                      "2004000001\tn\t\t\t\t\"a\tb\"\r\n",
                      // its TAB splits it on reading: the column after the TAB is kept
                      {"2004000001", "n", "", "", "", "b\""}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ExchangeTextTest, PersonFlagInTheLastColumnIsOneOrZero) {
    makeTable("cgwcr",
              "ITEM_4 C(10)\tITEM_180 C(20)\titem_188 C(1)\n"
              "1\ta\t1\n"
              "2\tb\t2\n"
              "3\tc\t\n");
    WriteExchangeFile(open("cgwcr"), file("CGWCR.TXT").string());
    EXPECT_EQ(readBytes(file("CGWCR.TXT")), "1\ta\t1\r\n2\tb\t0\r\n3\tc\t0\r\n");
}

TEST_F(ExchangeTextTest, EmptyDatasetWritesAnEmptyFile) {
    makeTable("t", "A C(5)\tB C(5)\n");
    writeBytes(file("T.TXT"), "stale");
    WriteExchangeFile(open("t"), file("T.TXT").string());
    EXPECT_EQ(readBytes(file("T.TXT")), "");
}

TEST_F(ExchangeTextTest, FileErrorsAreReported) {
    makeTable("t", "A C(5)\tB C(5)\n");
    store::Table& table = open("t");
    EXPECT_THROW(WriteExchangeFile(table, (file("missing") / "T.TXT").string()), ExchangeIoError);
    try {
        ReadExchangeFile(file("missing.txt").string(), table);
        ADD_FAILURE() << "read";
    } catch (const ExchangeIoError& e) {
        EXPECT_EQ(e.what(),
                  "无法打开文件“" + file("missing.txt").string() + "”：文件或文件夹不存在。");
    }
}

// ---- the reader on files it did not write ----------------------------------------------

struct ReadCase {
    const char* name;
    const char* text;  // UTF-8 here, GBK in the file
    Rows rows;
    // Records read; those of fewer and of more columns than the table's four fields.
    ExchangeReadCounts counts;
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.name;
}

}  // namespace

namespace exchange {
void PrintTo(const ExchangeReadCounts& c, std::ostream* os) {
    *os << "{" << c.records << " records, " << c.shortRecords << " short, " << c.longRecords
        << " long}";
}
}  // namespace exchange

namespace {

class ExchangeRead : public ExchangeTextTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ExchangeRead, SplitsRecordsIntoRows) {
    makeTable("t", "A C(10)\tB C(10)\tC C(10)\tD C(30)\n");
    EXPECT_EQ(readInto("t", gbk(GetParam().text)), GetParam().rows);
    EXPECT_EQ(m_counts, GetParam().counts);
}

INSTANTIATE_TEST_SUITE_P(
    Records, ExchangeRead,
    ::testing::Values(
        ReadCase{"ExactColumns", "k\tb\tc\td\r\n", {{"k", "b", "c", "d"}}, {1, 0, 0}},
        ReadCase{"LinesEndedByLineFeedOrNothing",
                 "k\tb\tc\td\nl\tb\tc\td",
                 {{"k", "b", "c", "d"}, {"l", "b", "c", "d"}},
                 {2, 0, 0}},
        ReadCase{"EmptyAndBlankLinesGiveNoRow",
                 "\r\n   \r\n\t\r\nk\tb\tc\td\r\n",
                 {{"k", "b", "c", "d"}},
                 {1, 0, 0}},
        ReadCase{
            "LineWithoutTabFillsTheSecondField", "text\r\n", {{"", "text", "", ""}}, {1, 1, 0}},
        ReadCase{"FewerColumnsLeaveFieldsEmpty", "k\tb\r\n", {{"k", "b", "", ""}}, {1, 1, 0}},
        ReadCase{"OneMoreColumnDropsTheLastButOne",
                 "k\tb\tc\tdropped\tkept\r\n",
                 {{"k", "b", "c", "kept"}},
                 {1, 0, 1}},
        // More columns: the end of the record is taken as the key of a further row.
        ReadCase{"SurplusColumnsStartAFurtherRow",
                 "k\tb\tc\tD1\tB2\tC2\t0123456789\r\n",
                 {{"k", "b", "c", "D1\tB2\tC2"}, {"0123456789", "B2", "C2", "0123456789"}},
                 {1, 0, 1}},
        ReadCase{"FirstFieldIsNeverUnquotedOrTrimmed",
                 "\" k\"\tb\tc\td\r\n",
                 {{"\" k\"", "b", "c", "d"}},
                 {1, 0, 0}},
        ReadCase{"QuoteInTheFirstColumnOpensNoValue",
                 "\"k\tb\tc\td\r\nl\tb\tc\td\r\n",
                 {{"\"k", "b", "c", "d"}, {"l", "b", "c", "d"}},
                 {2, 0, 0}},
        ReadCase{"LastColumnKeepsItsQuotes",
                 "k\tb\tc\t\"unit name\"\r\n",
                 {{"k", "b", "c", "\"unit name\""}},
                 {1, 0, 0}},
        ReadCase{"QuotedValueWithTabsAndLines",
                 "k\t\"x\ty\r\nz\"\tc\td\r\nl\tb\tc\td\r\n",
                 {{"k", "x\ty\r\nz", "c", "d"}, {"l", "b", "c", "d"}},
                 {2, 0, 0}},
        ReadCase{"TwoQuotedValuesInOneRecord",
                 "k\t\"a\r\nb\"\t\"c\r\nd\"\te\r\n",
                 {{"k", "a\r\nb", "c\r\nd", "e"}},
                 {1, 0, 0}},
        ReadCase{"UnclosedValueEndsWithTheFile",
                 "k\t\"open\r\nmore\r\n",
                 {{"k", "open\r\nmore", "", ""}},
                 {1, 1, 0}},
        ReadCase{"QuotedByTheWriterRule",
                 "k\t\"\"\"x\"\t\"\"\"\"\"\"\td\r\n",
                 {{"k", "\"x", "\"\"", "d"}},
                 {1, 0, 0}},
        ReadCase{"ChineseText", "甲\t乙\t丙\t丁\r\n", {{"甲", "乙", "丙", "丁"}}, {1, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

// A record of 102 columns: the package reader fills only 101 fields of a 102-field table (its
// last column standing where the 101st field's would), the code-table reader all of them.
TEST_F(ExchangeTextTest, WideTablesFollowTheVariantRules) {
    std::string fields;
    std::string line;
    for (int i = 0; i < 102; ++i) {
        fields += (i ? "\t" : "") + ("F" + std::to_string(i)) + " C(5)";
        line += (i ? "\t" : "") + ("v" + std::to_string(i));
    }
    makeTable("wide", fields + "\n");
    makeTable("wide2", fields + "\n");
    const Rows package = readInto("wide", line + "\r\n");
    ASSERT_EQ(package.size(), 1u);
    EXPECT_EQ(package[0][99], "v99");
    EXPECT_EQ(package[0][100], "v101");
    EXPECT_EQ(package[0][101], "");
    const Rows codes = readInto("wide2", line + "\r\n", ExchangeVariant::CodeTable);
    ASSERT_EQ(codes.size(), 1u);
    EXPECT_EQ(codes[0][100], "v100");
    EXPECT_EQ(codes[0][101], "v101");
}

// The carried key of a run-on record is one character wide for the main table (99 fields in a
// package, 98 in a code table), ten otherwise.
TEST_F(ExchangeTextTest, CarriedKeyWidthFollowsTheFieldCount) {
    struct Case {
        int fields;
        ExchangeVariant variant;
        std::string carried;
    };
    const Case cases[] = {{99, ExchangeVariant::Package, "9"},
                          {98, ExchangeVariant::CodeTable, "9"},
                          {98, ExchangeVariant::Package, "0123456789"},
                          {99, ExchangeVariant::CodeTable, "0123456789"}};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fields);
        std::string fields;
        std::string line;
        for (int i = 0; i < c.fields; ++i) {
            fields += (i ? "\t" : "") + ("F" + std::to_string(i)) + " C(20)";
            line += (i ? "\t" : "") + std::string("v");
        }
        line += "\tx\t0123456789";  // two columns more than fields
        const std::string name = "w" + std::to_string(n++);
        makeTable(name, fields + "\n");
        const Rows rows = readInto(name, line + "\r\n", c.variant);
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[1][0], c.carried);
    }
}

TEST_F(ExchangeTextTest, MainStagingTableGetsTodayForAMissingDate) {
    widgets::FixedClock clock(QDate(2024, 3, 9));
    makeTable("HVELtemp", "ITEM_1 C(10)\tA C(5)\tB C(5)\tC C(5)\tE C(5)\tITEM_DATE D\tZ C(5)\n");
    const Rows rows = readInto("HVELtemp",
                               "k\ta\tb\tc\te\t\tz\r\n"
                               "l\ta\tb\tc\te\tnodate\tz\r\n"
                               "m\ta\tb\tc\te\t2001-02-03\tz\r\n"
                               "n\ta\r\n");
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0][5], "2024-03-09");
    EXPECT_EQ(rows[1][5], "2024-03-09");
    EXPECT_EQ(rows[2][5], "2001-02-03");
    EXPECT_EQ(rows[3][5], "2024-03-09");
}

TEST_F(ExchangeTextTest, OtherTablesKeepAnEmptyDate) {
    widgets::FixedClock clock(QDate(2024, 3, 9));
    makeTable("other", "ITEM_1 C(10)\tA C(5)\tB C(5)\tC C(5)\tE C(5)\tITEM_DATE D\tZ C(5)\n");
    EXPECT_EQ(readInto("other", "k\ta\tb\tc\te\t\tz\r\n"),
              (Rows{{"k", "a", "b", "c", "e", "", "z"}}));
}

// A record that cannot be stored ends the reading with a message naming the file, the line
// where the record begins and, where it is known, the field; the record is not posted.
TEST_F(ExchangeTextTest, RecordsThatCannotBeStoredEndTheReading) {
    struct Case {
        const char* name;
        const char* fields;
        std::string bytes;
        const char* where;
    };
    const Case cases[] = {
        {"NotANumber", "A C(5)\tN N(5,0)\tB C(5)\n", "k\t12\tb\r\nl\tabc\tb\r\nm\t3\tb\r\n",
         "“in.txt”第2行"},
        {"TooWideAfterAValueOfTwoLines", "A C(5)\tN N(5,0)\tB C(5)\tZ C(5)\n",
         "k\t1\t\"a\r\nb\"\tz\r\nl\t3\tlonger than five\tz\r\n", "“in.txt”第3行"},
        {"NotGbk", "A C(5)\tN N(5,0)\tB M\n", "k\t12\tb\r\nl\t3\t\xff\xfe\xff\r\n",
         "“in.txt”第2行，字段B中有不是GBK编码的字节"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string table = "n" + std::to_string(n++);
        makeTable(table, c.fields);
        writeBytes(file("in.txt"), c.bytes);
        store::Table& target = open(table);
        try {
            ReadExchangeFile(file("in.txt").string(), target);
            ADD_FAILURE() << "read";
        } catch (const ExchangeFormatError& e) {
            EXPECT_NE(std::string(e.what()).find(c.where), std::string::npos) << e.what();
        }
        EXPECT_EQ(target.state(), store::Dataset::State::Browse);
        EXPECT_EQ(rowsOf(target).size(), 1u);
    }
}

// ---- golden folders: tests/data/exchange/<case>/ --------------------------------------
// input.table (a table in its text form) is written to exactly the bytes of expected.txt, and
// expected.txt read back into the same fields gives readback.table (input.table when absent).

const fs::path kGoldenRoot = fs::path(__FILE__).parent_path().parent_path() / "data" / "exchange";

std::vector<std::string> goldenCases() {
    std::vector<std::string> cases;
    for (const auto& entry : fs::directory_iterator(kGoldenRoot)) {
        cases.push_back(entry.path().filename().string());
    }
    std::sort(cases.begin(), cases.end());
    return cases;
}

class ExchangeGolden : public ExchangeTextTest,
                       public ::testing::WithParamInterface<std::string> {};

TEST_P(ExchangeGolden, WritesAndReadsTheFolder) {
    const fs::path folder = kGoldenRoot / GetParam();
    const std::string input = readBytes(folder / "input.table");
    const fs::path readback = folder / "readback.table";
    const std::string expectedRows = fs::exists(readback) ? readBytes(readback) : input;
    const store::TableText table = store::parseTableText(input, (folder / "input.table").string());
    store::writeTable(table, (m_folder.data() / "source.dbf").string());
    store::writeTable(store::TableText{table.fields, {}, {}, 0, {}},
                      (m_folder.data() / "target.dbf").string());
    m_folder.write("expected", expectedRows);

    WriteExchangeFile(open("source"), file("out.txt").string());
    EXPECT_EQ(readBytes(file("out.txt")), readBytes(folder / "expected.txt"));

    store::Table& target = open("target");
    ReadExchangeFile((folder / "expected.txt").string(), target);
    EXPECT_EQ(rowsOf(target), rowsOf(open("expected")));
}

INSTANTIATE_TEST_SUITE_P(Folders, ExchangeGolden, ::testing::ValuesIn(goldenCases()),
                         [](const auto& info) { return info.param; });

}  // namespace
