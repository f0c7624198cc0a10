#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "DbfFile.h"
#include "Errors.h"
#include "StoreTestSupport.h"
#include "TableText.h"

namespace store {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;

const char* const kSource =
    "# delivered rows\n"
    "\n"
    "ITEM_4 C(10)\tITEM_45 N(12,2)\tITEM_121 D\tITEM_13 M\tFLAG L\tNAME C(20)\tCOUNT N(5)\n"
    "2004000001\t3.5\t2004-05-01\tfirst line\\r\\nsecond\\tline \\\\ end\tT\t中文名称\t7\n"
    "2004000002\r\n"
    "\t\t\t\t\t\t\n";

TEST(TableTextTest, ParsesFieldsRowsAndEscapes) {
    TableText table = parseTableText(kSource, "t.txt");
    const std::vector<FieldDef> fields = {
        {"ITEM_4", FieldType::Character, 10, 0}, {"ITEM_45", FieldType::Numeric, 12, 2},
        {"ITEM_121", FieldType::Date, 0, 0},     {"ITEM_13", FieldType::Memo, 0, 0},
        {"FLAG", FieldType::Logical, 0, 0},      {"NAME", FieldType::Character, 20, 0},
        {"COUNT", FieldType::Numeric, 5, 0}};
    EXPECT_EQ(table.fields, fields);
    ASSERT_EQ(table.rows.size(), 3u);
    EXPECT_EQ(table.rows[0],
              (std::vector<Value>{"2004000001", 3.5, Date{2004, 5, 1},
                                  "first line\r\nsecond\tline \\ end", true, "中文名称", 7}));
    EXPECT_EQ(table.rows[1], (std::vector<Value>{"2004000002", {}, {}, {}, {}, {}, {}}));
    EXPECT_EQ(table.rows[2], std::vector<Value>(7));
    EXPECT_EQ(table.fieldLine, 3);
    EXPECT_EQ(table.rowLines, (std::vector<int>{4, 5, 6}));
}

TEST(TableTextTest, ReportsTheLineOfWhatItCannotRead) {
    const std::pair<const char*, const char*> cases[] = {
        {"# only a comment\n", "src.txt:2: the field line is missing"},
        {"A Q(3)\n", "src.txt:1: field A: type \"Q(3)\" is not one of"},
        {"A\n", "src.txt:1: field \"A\" has no type"},
        {"A C\n", "src.txt:1: field A: type \"C\" needs a width"},
        {"A C(3,1)\n", "src.txt:1: field A: type \"C(3,1)\" has a malformed width"},
        {"A N(x)\n", "src.txt:1: field A: type \"N(x)\" has a malformed width"},
        {"A D(8)\n", "src.txt:1: field A: type \"D(8)\" takes no width"},
        {"A C(3)\nab\nab\tcd\n", "src.txt:3: 2 cells, but the table has 1 fields"},
        {"A N(5)\n1,5\n", "src.txt:2: field A: \"1,5\" is not a number"},
        {"A D\n2004-02-30\n", "src.txt:2: field A: \"2004-02-30\" is not a date"},
        {"A L\nyes\n", "src.txt:2: field A: \"yes\" is not T or F"},
        {"A C(3)\na\\qb\n", "src.txt:2: field A: unknown escape \"\\q\""},
        {"A C(3)\nab\\\n", "src.txt:2: field A: unknown escape \"\\\""},
    };
    for (const auto& [text, message] : cases) {
        try {
            parseTableText(text, "src.txt");
            ADD_FAILURE() << text;
        } catch (const ValueError& e) {
            EXPECT_EQ(std::string(e.what()).substr(0, std::strlen(message)), message);
        }
    }
}

TEST(TableTextTest, WritesAndDumpsTheSameLiveRows) {
    TempDir dir;
    std::string path = dir.file("t.dbf");
    writeTable(parseTableText(kSource, "t.txt"), path);
    {
        auto table = DbfFile::open(path, LockMode::Exclusive);
        EXPECT_EQ(table->recordCount(), 3u);
        table->append({{0, "deleted"}});
        table->setDeleted(4, true);
    }
    const std::string expected =
        "ITEM_4 C(10)\tITEM_45 N(12,2)\tITEM_121 D\tITEM_13 M\tFLAG L\tNAME C(20)\tCOUNT N(5)\n"
        "2004000001\t3.5\t2004-05-01\tfirst line\\r\\nsecond\\tline \\\\ end\tT\t中文名称\t7\n"
        "2004000002\t\t\t\t\t\t\n"
        "\t\t\t\t\t\t\n";
    std::string dumped = formatTableText(*DbfFile::open(path));
    EXPECT_EQ(dumped, expected);
    // The dump builds the same table again.
    std::string again = dir.file("again.dbf");
    writeTable(parseTableText(dumped, "dump"), again);
    EXPECT_EQ(formatTableText(*DbfFile::open(again)), expected);
}

TEST(TableTextTest, WriteNamesTheLineOfAValueTheTableCannotHoldAndLeavesNoFile) {
    TempDir dir;
    std::string path = dir.file("t.dbf");
    const std::pair<const char*, const char*> cases[] = {
        {"A C(4)\tB M\nab\tmemo\n中文名称\tx\n",
         "src.txt:3: 数据表 t 的字段 A：“中文名称” 在 GBK 中占 8 字节，超过了字段宽度 4"},
        {"A N(3)\tB M\n1000\n", "src.txt:2: 数据表 t 的字段 A：1000 超出了字段的宽度"},
        {"# c\nA N(3,2)\n", "src.txt:2: 不能建立数据表 t：字段 A 的宽度 3,2"},
    };
    for (const auto& [text, message] : cases) {
        try {
            writeTable(parseTableText(text, "src.txt"), path);
            ADD_FAILURE() << text;
        } catch (const ValueError& e) {
            EXPECT_EQ(std::string(e.what()).substr(0, std::strlen(message)), message);
        }
        EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << text;
    }
}

std::string run(const std::string& command, int& status) {
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) {
        output.append(buffer, n);
    }
    status = WEXITSTATUS(pclose(pipe));
    return output;
}

TEST(DbftoolTest, BuildsDumpsAndPacks) {
    TempDir dir;
    std::string source = dir.file("hvel.DBF.txt"), table = dir.file("hvel.DBF");
    std::string tool = DBFTOOL_PATH;
    writeBytes(source, kSource);
    int status = -1;
    EXPECT_EQ(run(tool + " build " + source + " " + table, status), "");
    EXPECT_EQ(status, 0);
    std::string dumped = run(tool + " dump " + table, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(dumped, formatTableText(*DbfFile::open(table)));

    DbfFile::open(table, LockMode::Exclusive)->setDeleted(1, true);
    run(tool + " pack " + table, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(DbfFile::open(table)->recordCount(), 2u);

    writeBytes(source, "A C(2)\nab\n中文\n");
    EXPECT_EQ(run(tool + " build " + source + " " + table, status),
              source + ":3: 数据表 hvel 的字段 A：“中文” 在 GBK 中占 4 字节，超过了字段宽度 2\n");
    EXPECT_EQ(status, 1);
    EXPECT_FALSE(std::filesystem::exists(table));
    EXPECT_NE(run(tool + " dump " + table, status).find("找不到文件"), std::string::npos);
    EXPECT_EQ(status, 1);
    run(tool + " frobnicate", status);
    EXPECT_EQ(status, 2);
}

}  // namespace
}  // namespace store
