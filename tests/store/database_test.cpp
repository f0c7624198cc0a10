#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Database.h"
#include "DbfFile.h"
#include "Errors.h"
#include "Journal.h"
#include "StoreTestSupport.h"
#include "TableText.h"

namespace fs = std::filesystem;
using namespace store;
using store::test::TempDir;

namespace {

std::string render(const Value& value) {
    return value.isNull() ? "NULL" : value.asText();
}

// Rows as "a|b|c", keeping only the columns named in show (all when it is empty).
std::vector<std::string> renderRows(const ResultSet& result,
                                    const std::vector<std::string>& show = {}) {
    std::vector<size_t> columns;
    for (size_t i = 0; i < result.columns.size(); ++i) {
        if (show.empty() || std::find(show.begin(), show.end(), result.columns[i]) != show.end()) {
            columns.push_back(i);
        }
    }
    std::vector<std::string> rows;
    for (const auto& row : result.rows) {
        std::string line;
        for (size_t i : columns) {
            line += (i == columns.front() ? "" : "|") + render(row[i]);
        }
        rows.push_back(line);
    }
    return rows;
}

// A data directory shaped like the program's: file names in mixed case, a deleted record in
// the main table, memos, dates, numbers with and without decimals, Chinese text.
class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        write("hvel.DBF",
              "ITEM_4 C(10)\tITEM_DQDM C(3)\tITEM_CGLB C(1)\tITEM_3 C(30)\tITEM_1 C(3)\tNO "
              "N(6,0)\tITEM_45 N(12,2)\tITEM_121 D\tITEM_13 M\n"
              "2004000001\t.\t1\t甲成果\t2\t1\t1.5\t2004-05-01\t第一行\\n第二行\n"
              "2004000002\t.\t2\t乙成果\t1\t2\t\t2004-06-01\n"
              "2004000001\t1\t1\t甲成果分册\t3\t3\t250\n"
              "2005000001\t.\t1\tO'Brien法\t1\t4\t100.25\n"
              "2004000003\t.\t1\tAbc工艺\t2\t5\t12\n"
              "2004000009\t.\t1\t已删除\t1\t6\n"
              "2003000001\t.\t3\t基础研究\t\t7\n");
        DbfFile::open(m_dir.file("hvel.DBF"))->setDeleted(6, true);
        write("CheckUp.dbf",
              "id C(10)\tbutton C(2)\tlb C(1)\n"
              "ITEM_3\t01\ta\nITEM_51\t02\t1\nITEM_30\t03\t2\nITEM_9\t04\ta\n");
        write("unit.dbf",
              "unitcode C(10)\tunitlevel C(1)\tupunitcode C(10)\tendlevel N(1,0)\titem_9 C(40)\n"
              "9990001000\t1\t\t1\t本单位\n"
              "9990001010\t2\t9990001000\t0\t下属一\n"
              "9990001020\t2\t9990001000\t0\t下属二\n"
              "8880001010\t2\t8880001000\t0\t他单位\n");
        write("dwqk.dbf",
              "item_9 C(40)\titem_420 C(20)\titem_37 C(40)\titem_38 C(6)\titem_39 C(30)\titem_40 "
              "C(30)\titem_60 C(20)\titem_62 C(3)\titem_163 C(1)\titem_41_3 C(3)\titem_64 "
              "C(3)\titem_63 C(3)\titem_41 C(20)\titem_41_2 C(30)\titem_61 C(40)\n"
              "旧单位\n"
              "旧单位二\n");
        write("zlqktemp.DBF",
              "ITEM_4 C(10)\tITEM_DQDM C(3)\tITEM_NO N(3,0)\tPATENT_NO C(15)\n"
              "2004000001\t.\t1\tZL001\n"
              "2004000001\t1\t2\tZL002\n"
              "2004000002\t.\t1\tZL003\n");
        write("hveltemp.dbf",
              "ITEM_4 C(10)\tITEM_3 C(30)\n"
              "2004000001\tO'Brien法\n"
              "2004000001\t别的\n");
        write("cgwcrNew.dbf",
              "ITEM_180 C(20)\tITEM_185 C(40)\n"
              "张三\t单位甲\n"
              "李四\t单位乙\n");
        write("names.dbf", "NAME C(10)\n张三\n李四\n王五\n赵六\n阿明\n陈七\nZed\nabc\n");
        write("flags.dbf", "FLAG L\tBIG N(20,0)\nT\t12\nF\t\n\t3\n");
        m_db = std::make_unique<Database>(m_dir.path());
    }

    void write(const std::string& file, const std::string& text) {
        writeTable(parseTableText(text, file), m_dir.file(file));
    }

    std::vector<std::string> rows(const std::string& sql) { return renderRows(m_db->run(sql)); }

    // Every table of the directory as text, to tell that nothing was written.
    std::string dump() {
        std::string text;
        for (const char* table : {"hvel", "CheckUp", "unit", "dwqk", "zlqktemp", "hveltemp"}) {
            text += formatTableText(*m_db->file(table));
        }
        return text;
    }

    uint64_t memoBytes() const {
        uint64_t size = 0;
        for (const auto& entry : fs::directory_iterator(m_dir.path())) {
            std::string name = entry.path().filename().string();
            if (name.starts_with("hvel.") && (name.ends_with(".dbt") || name.ends_with(".DBT"))) {
                size += entry.file_size();
            }
        }
        return size;
    }

    TempDir m_dir;
    std::unique_ptr<Database> m_db;
};

// ---- every statement form the program runs, as it writes them ----

struct SqlCase {
    std::string name;
    std::string sql;
    std::vector<std::string> expected;  // rows of sql, or of check when there is one
    Params params = {};
    std::vector<std::string> show = {};  // the columns of a "select *" to compare
    std::string check = {};              // a select run afterwards
    int changes = 0;
    Database::Access access = Database::Access::ReadWrite;
};

void PrintTo(const SqlCase& c, std::ostream* out) {
    *out << c.name << ": " << c.sql;
}

const std::string kDwqkUpdate =
    "update dwqk set item_9='新单位',item_420='甲',item_37='北京路1号',item_38='100000',"
    "item_39='010-1',item_40='010-2',item_60='x',item_62='3',item_163='1',item_41_3='11',"
    "item_64='11',item_63='',item_41='王''五',item_41_2='139',item_61='a@b.cn'";
const std::string kDwqkInsert =
    "insert into dwqk (item_9,item_420,item_37,item_38,item_39,item_40,item_60,item_62,item_163,"
    "item_41_3,item_64,item_63,item_41,item_41_2,item_61) values ('第三单位','甲','路','100000',"
    "'1','2','x','3','0','11','11','','李''四','139','c@d.cn')";

const SqlCase kSqlCases[] = {
    {.name = "SelectAllOfTheMainTable",
     .sql = "select * from hvel",
     .expected = {"2004000001|.", "2004000002|.", "2004000001|1", "2005000001|.", "2004000003|.",
                  "2003000001|."},
     .show = {"ITEM_4", "ITEM_DQDM"}},
    {.name = "SelectAllOfAChildTable",
     .sql = "select * from cgwcrNew",
     .expected = {"张三|单位甲", "李四|单位乙"}},
    {.name = "TableNameInAnyCase",
     .sql = "select * from CHECKUP where ID='ITEM_9'",
     .expected = {"ITEM_9|04|a"}},
    {.name = "SelectStarWithoutBlank",
     .sql = "select* from unit\nwhere upunitcode = :uncode",
     .expected = {"9990001010", "9990001020"},
     .params = {{":uncode", Value("9990001000")}},
     .show = {"unitcode"}},
    {.name = "MaxWithParameter",
     .sql = "select   max(unitcode) from   unit\nwhere upunitcode = :uncode",
     .expected = {"9990001020"},
     .params = {{":uncode", Value("9990001000")}}},
    {.name = "RecordListOfTypeAndYear",
     .sql = "select * from hvel where item_cglb='1' and item_4 like '2004%'",
     .expected = {"2004000001|.", "2004000001|1", "2004000003|."},
     .show = {"ITEM_4", "ITEM_DQDM"}},
    {.name = "RecordListWithoutYear",
     .sql = "select * from hvel where item_cglb='3' and item_4 like '%'\n",
     .expected = {"2003000001"},
     .show = {"ITEM_4"}},
    {.name = "RowidsOfALiveQuery",
     .sql = "select rowid from hvel where item_cglb='1' and item_4 like '2004%'",
     .expected = {"1", "3", "5"}},
    {.name = "RowidIsTheRecordNumberPastADeletedRecord",
     .sql = "select rowid, item_4 from hvel where item_4 like '2003%'",
     .expected = {"7|2003000001"}},
    {.name = "DeletedRecordsAreNotCounted", .sql = "select count(*) from hvel", .expected = {"6"}},
    {.name = "DeletedRecordIsNotFoundByRowid",
     .sql = "select item_4 from hvel where rowid=6",
     .expected = {}},
    {.name = "MaxOfYearWithoutBlankBeforeLiteral",
     .sql = "select max(item_4) from hvel where item_4 like'2004%'",
     .expected = {"2004000003"}},
    {.name = "MaxOfYearWithoutRows",
     .sql = "select max(item_4) from hvel where item_4 like '1999%'",
     .expected = {"NULL"}},
    {.name = "YearListOrderedDescending",
     .sql = "select item_4 from hvel order by item_4 desc",
     .expected = {"2005000001", "2004000003", "2004000002", "2004000001", "2004000001",
                  "2003000001"}},
    {.name = "DistinctKeysDescending",
     .sql = "select distinct item_4 from hvel order by item_4 desc",
     .expected = {"2005000001", "2004000003", "2004000002", "2004000001", "2003000001"}},
    {.name = "SameNameWithDoubledQuote",
     .sql = "select * from hvel where item_3='O''Brien法'",
     .expected = {"2005000001"},
     .show = {"ITEM_4"}},
    {.name = "StagedRowByKeyAndName",
     .sql = "select * from hveltemp where item_4='2004000001'and item_3='O''Brien法'",
     .expected = {"2004000001|O'Brien法"}},
    {.name = "StagedChildrenByKeyAndRegion",
     .sql = "select * from zlqktemp where item_4='2004000001'and item_dqdm='.'",
     .expected = {"2004000001|.|1|ZL001"}},
    {.name = "RulesOnTwoLines",
     .sql = "select * from checkup where \nlb='a' or lb='1'",
     .expected = {"ITEM_3", "ITEM_51", "ITEM_9"},
     .show = {"id"}},
    {.name = "QueryBuilderSearch",
     .sql = "select * from hvel\n where  (\nitem_3 like '%成果%' and not  item_1 ='1'\n ) and "
            "(item_cglb='1' and item_4 like '2004%')\n",
     .expected = {"2004000001|.", "2004000001|1"},
     .show = {"ITEM_4", "ITEM_DQDM"}},
    {.name = "QueryBuilderParenthesesAndOr",
     .sql = "select item_4 from hvel where  ( (item_1 ='3' or item_1 ='1') and not item_cglb='2' "
            ")",
     .expected = {"2004000001", "2005000001"}},
    {.name = "NumberComparedWithQuotedNumber",
     .sql = "select item_4 from hvel where item_45 >'100'",
     .expected = {"2004000001", "2005000001"}},
    {.name = "TextLessThan",
     .sql = "select item_4 from hvel where item_1 <'2'",
     .expected = {"2004000002", "2005000001"}},
    {.name = "NotEqual",
     .sql = "select item_4 from hvel where item_1 <>'2' and item_cglb='1'",
     .expected = {"2004000001", "2005000001"}},
    {.name = "LessOrGreaterOrEqual",
     .sql = "select no from hvel where no >='3' and no <= 5",
     .expected = {"3", "4", "5"}},
    {.name = "TrailingBlanksOfLiteralsIgnored",
     .sql = "select item_4 from hvel where item_dqdm='. ' and item_3 = '甲成果   '",
     .expected = {"2004000001"}},
    {.name = "LikeIsCaseSensitive",
     .sql = "select item_3 from hvel where item_3 like '%abc%'",
     .expected = {}},
    {.name = "LikeMatchesCase",
     .sql = "select item_3 from hvel where item_3 like 'Abc%'",
     .expected = {"Abc工艺"}},
    {.name = "LikeUnderscoreIsOneChineseCharacter",
     .sql = "select item_3 from hvel where item_3 like '甲_果'",
     .expected = {"甲成果"}},
    {.name = "NotLike",
     .sql = "select item_4 from hvel where item_4 not like '2004%'",
     .expected = {"2005000001", "2003000001"}},
    {.name = "OrderByChineseInGbkOrder",
     .sql = "select name from names order by name",
     .expected = {"Zed", "abc", "阿明", "陈七", "李四", "王五", "张三", "赵六"}},
    {.name = "MaxInGbkOrder", .sql = "select max(name) from names", .expected = {"赵六"}},
    {.name = "LessThanInGbkOrder",
     .sql = "select name from names where name < '李' and name > 'b' order by name desc",
     .expected = {"陈七", "阿明"}},
    {.name = "TrailingSemicolonAndBlanks",
     .sql = "select item_4 from hvel where rowid=1 ; \n",
     .expected = {"2004000001"}},
    {.name = "TrailingComment",
     .sql = "select item_4 from hvel where rowid=1; -- the first",
     .expected = {"2004000001"}},
    {.name = "ReadOnlySelect",
     .sql = "select item_4 from hvel where rowid=2",
     .expected = {"2004000002"},
     .access = Database::Access::ReadOnly},
    {.name = "DeleteRecordRows",
     .sql = "DELETE FROM hvel WHERE item_4='2004000001'",
     .expected = {"2004000002", "2005000001", "2004000003", "2003000001"},
     .check = "select item_4 from hvel",
     .changes = 2},
    {.name = "DeleteStagedChildren",
     .sql = "delete from  zlqktemp where item_4='2004000001'and item_dqdm='.'",
     .expected = {"ZL002", "ZL003"},
     .check = "select patent_no from zlqktemp",
     .changes = 1},
    {.name = "EmptyStagingTable",
     .sql = "delete from  zlqktemp",
     .expected = {"0"},
     .check = "select count(*) from zlqktemp",
     .changes = 3},
    {.name = "UpdateWithoutWhereWritesEveryRow",
     .sql = kDwqkUpdate,
     .expected = {"新单位|王'五|a@b.cn|NULL", "新单位|王'五|a@b.cn|NULL"},
     .check = "select item_9, item_41, item_61, item_63 from dwqk",
     .changes = 2},
    {.name = "InsertWithFieldList",
     .sql = kDwqkInsert,
     .expected = {"3|第三单位|李'四|c@d.cn"},
     .check = "select rowid, item_9, item_41, item_61 from dwqk where item_38='100000'",
     .changes = 1},
    {.name = "UpdateByRowidWithParameters",
     .sql = "update hvel set no=:no where rowid=:row",
     .expected = {"9"},
     .params = {{":no", Value(9)}, {"row", Value(4)}},
     .check = "select no from hvel where rowid=4",
     .changes = 1},
    {.name = "UpdateOfADeletedRecordChangesNothing",
     .sql = "update hvel set no=0 where rowid=6",
     .expected = {"0"},
     .check = "select count(*) from hvel where no=0",
     .changes = 0},
    {.name = "InsertSelectFromTheSameTable",
     .sql = "insert into zlqktemp (item_4, patent_no) select item_4, 'X' || patent_no from "
            "zlqktemp where rowid=1",
     .expected = {"ZL001", "ZL002", "ZL003", "XZL001"},
     .check = "select patent_no from zlqktemp",
     .changes = 1},
};

class SqlFormsTest : public DatabaseTest, public ::testing::WithParamInterface<SqlCase> {};

TEST_P(SqlFormsTest, RunsAsWritten) {
    const SqlCase& c = GetParam();
    const ResultSet result = m_db->run(c.sql, c.params, c.access);
    EXPECT_EQ(result.changes, c.changes);
    if (c.check.empty()) {
        EXPECT_EQ(renderRows(result, c.show), c.expected);
    } else {
        EXPECT_EQ(rows(c.check), c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Database, SqlFormsTest, ::testing::ValuesIn(kSqlCases),
                         [](const auto& info) { return info.param.name; });

// ---- statements that fail, and leave every table as it was ----

enum class Fault { Engine, Value };

struct FailingCase {
    std::string name;
    std::string sql;
    Fault fault;
    std::string message;     // part of the error's text
    std::string named = "";  // the file or field the error names, if any
    Database::Access access = Database::Access::ReadWrite;
};

void PrintTo(const FailingCase& c, std::ostream* out) {
    *out << c.name << ": " << c.sql;
}

const FailingCase kFailingCases[] = {
    {"SyntaxError", "selec * from hvel", Fault::Engine, "在“selec”附近有语法错误"},
    {"QueryBuilderWithoutOperator", "select * from hvel where ( item_1 '2' ) and (item_cglb='1')",
     Fault::Engine, "语法错误"},
    {"UndoubledQuote", "select * from hvel where item_3 like '%O'Brien%'", Fault::Engine,
     "语法错误"},
    {"NoSuchTable", "select * from nothere", Fault::Engine, "找不到数据表文件：", "nothere.dbf"},
    {"NoSuchColumn", "select item_999 from hvel", Fault::Engine, "字段 item_999 不存在"},
    {"ParameterWithoutValue", "select * from unit where upunitcode = :uncode", Fault::Engine,
     ":uncode"},
    {"SecondStatement", "delete from hvel; delete from unit", Fault::Engine, "一次只能执行一条"},
    {"SecondStatementAfterSelect", "select * from hvel;select 1", Fault::Engine,
     "一次只能执行一条"},
    {"EmptyText", " ; ", Fault::Engine, "没有给出 SQL 语句"},
    {"EscapeOfTwoCharacters", "select * from hvel where item_3 like 'a' escape 'xy'", Fault::Engine,
     "须是一个字符"},
    {"ReadOnlyRefusesDelete", "delete from hvel", Fault::Engine, "只能执行读取数据", "",
     Database::Access::ReadOnly},
    {"ReadOnlyRefusesInsert", kDwqkInsert, Fault::Engine, "只能执行读取数据", "",
     Database::Access::ReadOnly},
    {"ReadOnlyRefusesCreate", "create table t(a)", Fault::Engine, "只能执行读取数据", "",
     Database::Access::ReadOnly},
    {"PragmaWrite", "pragma case_sensitive_like=1", Fault::Engine, "不能更改数据库的设置"},
    {"Attach", "attach database ':memory:' as other", Fault::Engine, "不能附加其他数据库"},
    {"Begin", "begin", Fault::Engine, "不能开始或结束事务"},
    {"DropTable", "drop table hvel", Fault::Engine, "建立、删除或改变结构"},
    {"InsertWithRowid", "insert into hvel (rowid, item_4) values (99, '2009000001')", Fault::Engine,
     "rowid"},
    {"RowidChange", "update hvel set rowid=99 where rowid=1", Fault::Engine, "rowid"},
    {"TextTooWide", "update hvel set item_1='1234' where rowid=1", Fault::Value, "超过了字段宽度 3",
     "ITEM_1"},
    {"NotANumber", "update hvel set no='abc'", Fault::Value, "不是数字", "NO"},
    {"NotADate", "update hvel set item_121='2004-13-45' where rowid=2", Fault::Value, "不是日期",
     "ITEM_121"},
    {"OutsideGbk", "insert into hvel (item_4, item_3) values ('2009000001', '😀')", Fault::Value,
     "GBK 不能表示", "ITEM_3"},
    // Rows 1 and 2 still fit, row 3 does not: the rows written before it are restored.
    {"MultiRowUpdateFailingHalfway",
     "update hvel set item_3 = item_3 || '加长加长加长加长加长加长'", Fault::Value,
     "超过了字段宽度", "ITEM_3"},
};

class FailingSqlTest : public DatabaseTest, public ::testing::WithParamInterface<FailingCase> {};

TEST_P(FailingSqlTest, RaisesAndWritesNothing) {
    const FailingCase& c = GetParam();
    const std::string before = dump();
    try {
        m_db->run(c.sql, {}, c.access);
        FAIL() << "no error";
    } catch (const EngineError& e) {
        EXPECT_EQ(c.fault, Fault::Engine) << e.what();
        EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(c.named), std::string::npos) << e.what();
    } catch (const ValueError& e) {
        EXPECT_EQ(c.fault, Fault::Value) << e.what();
        EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("数据表 hvel 的字段 " + c.named), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(dump(), before);
    EXPECT_EQ(rows("select count(*) from hvel where item_3 like '%加长%'"),
              std::vector<std::string>{"0"});
}

INSTANTIATE_TEST_SUITE_P(Database, FailingSqlTest, ::testing::ValuesIn(kFailingCases),
                         [](const auto& info) { return info.param.name; });

// ---- like() on its own ----

struct LikeCase {
    const char* text;
    const char* pattern;
    const char* escape;  // nullptr: none
    bool matches;
};

class LikeTest : public ::testing::TestWithParam<LikeCase> {};

TEST_P(LikeTest, Matches) {
    const LikeCase& c = GetParam();
    TempDir dir;
    Database db(dir.path());
    Params params{{":t", Value(c.text)}, {":p", Value(c.pattern)}};
    std::string sql = "select :t like :p";
    if (c.escape) {
        params.emplace_back(":e", Value(c.escape));
        sql += " escape :e";
    }
    EXPECT_EQ(db.run(sql, params).rows.at(0).at(0), Value(c.matches ? 1 : 0));
}

INSTANTIATE_TEST_SUITE_P(
    Database, LikeTest,
    ::testing::Values(LikeCase{"abc", "abc", nullptr, true}, LikeCase{"abc", "ABC", nullptr, false},
                      LikeCase{"", "%", nullptr, true}, LikeCase{"", "_", nullptr, false},
                      LikeCase{"abcabd", "%ab_", nullptr, true},
                      LikeCase{"aXbXc", "%X%X%", nullptr, true},
                      LikeCase{"aXbc", "%X%X%", nullptr, false},
                      LikeCase{"甲成果", "甲_", nullptr, false},
                      LikeCase{"乗乢", "__", nullptr, true}, LikeCase{"a_b", "a\\_b", "\\", true},
                      LikeCase{"axb", "a\\_b", "\\", false}, LikeCase{"100%", "100!%", "!", true},
                      LikeCase{"1000", "100!%", "!", false}));

TEST_F(DatabaseTest, LikeWithNullIsNull) {
    EXPECT_EQ(rows("select null like 'a', 'a' like null"), std::vector<std::string>{"NULL|NULL"});
}

// ---- values ----

TEST_F(DatabaseTest, ColumnsComeBackInTheirFieldsTypes) {
    const ResultSet result =
        m_db->run("select item_3, no, item_45, item_121, item_13 from hvel where rowid=1");
    ASSERT_EQ(result.rows.size(), 1u);
    const auto& row = result.rows[0];
    EXPECT_EQ(row[0], Value("甲成果"));
    EXPECT_EQ(row[1], Value(1));
    EXPECT_EQ(row[2], Value(1.5));
    EXPECT_EQ(row[3], Value(Date{2004, 5, 1}));
    EXPECT_EQ(row[4], Value("第一行\n第二行"));
    // Columns are named as the fields are stored.
    EXPECT_EQ(result.columns,
              (std::vector<std::string>{"ITEM_3", "NO", "ITEM_45", "ITEM_121", "ITEM_13"}));

    EXPECT_EQ(m_db->run("select flag, big from flags").rows,
              (std::vector<std::vector<Value>>{
                  {Value(true), Value(12)}, {Value(false), Value()}, {Value(), Value(3)}}));
    EXPECT_EQ(rows("select count(*) from flags where flag"), std::vector<std::string>{"1"});
    EXPECT_EQ(rows("select item_4 from hvel where item_121 > '2004-05-15'"),
              std::vector<std::string>{"2004000002"});
}

TEST_F(DatabaseTest, WrittenValuesReadBack) {
    m_db->run("update hvel set item_121=:d, item_45=:n, item_13=:m where rowid=2",
              {{":d", Value(Date{2010, 1, 2})}, {":n", Value(3.25)}, {":m", Value("备注")}});
    EXPECT_EQ(rows("select item_121, item_45, item_13 from hvel where rowid=2"),
              std::vector<std::string>{"2010-01-02|3.25|备注"});
    m_db->run("update hvel set item_121='20110203', item_1=12 where rowid=2");
    EXPECT_EQ(rows("select item_121, item_1 from hvel where rowid=2"),
              std::vector<std::string>{"2011-02-03|12"});
    m_db->run("update flags set flag=0 where rowid=1");
    EXPECT_EQ(rows("select count(*) from flags where flag=0"), std::vector<std::string>{"2"});
    // The file holds what SQL wrote.
    EXPECT_EQ(m_db->file("hvel")->value(2, "ITEM_1"), Value("12"));
}

TEST_F(DatabaseTest, UpdateLeavesUntouchedMemosAlone) {
    const uint64_t before = memoBytes();
    EXPECT_EQ(m_db->run("update hvel set no = no + 10").changes, 6);
    EXPECT_EQ(memoBytes(), before);
    EXPECT_EQ(rows("select item_13 from hvel where rowid=1"),
              std::vector<std::string>{"第一行\n第二行"});
}

// ---- transactions ----

TEST_F(DatabaseTest, TransactionRollsBackStatementsAndDatasetWrites) {
    const std::string before = dump();
    {
        Database::Transaction unit(*m_db);
        m_db->run("delete from hvel where item_4='2004000001'");
        m_db->run("insert into zlqktemp (item_4, patent_no) values ('2009000001', 'ZL9')");
        auto file = m_db->file("unit");
        m_db->touch(file);
        file->update(1, {{file->fieldIndex("item_9"), Value("改名")}});
        file->append({{0, Value("9990001030")}});
        EXPECT_EQ(rows("select count(*) from unit"), std::vector<std::string>{"5"});
    }
    EXPECT_EQ(dump(), before);
}

TEST_F(DatabaseTest, TransactionCommitsAndNestedUnitRollsBackAlone) {
    {
        Database::Transaction outer(*m_db);
        m_db->run("update unit set item_9='外层' where rowid=1");
        {
            Database::Transaction inner(*m_db);
            m_db->run("update unit set item_9='内层' where rowid=2");
            m_db->run("update unit set item_9='内层' where rowid=1");
        }
        outer.commit();
    }
    m_db.reset();
    Database reopened(m_dir.path());
    EXPECT_EQ(renderRows(reopened.run("select item_9 from unit where rowid < 3")),
              (std::vector<std::string>{"外层", "下属一"}));
}

TEST_F(DatabaseTest, AUnitReachesTheFilesOnlyWhenItEnds) {
    const std::string hvel = m_dir.file("hvel.DBF");
    const std::string before = test::readBytes(hvel);
    {
        Database::Transaction unit(*m_db);
        m_db->run("update hvel set item_3='改' where rowid=1");
        EXPECT_EQ(rows("select item_3 from hvel where rowid=1"), std::vector<std::string>{"改"});
        EXPECT_EQ(test::readBytes(hvel), before);
        unit.commit();
    }
    EXPECT_NE(test::readBytes(hvel), before);
    EXPECT_FALSE(fs::exists(m_dir.file(Journal::kFileName)));
}

// What a unit holds in memory is bounded: beyond that it is written out under the journal,
// and a rollback then puts the files back from the journal.
TEST_F(DatabaseTest, AUnitTooLargeToHoldInMemoryStillRollsBackWhole) {
    const std::string dbf = test::readBytes(m_dir.file("hvel.DBF"));
    const std::string dbt = test::readBytes(m_dir.file("hvel.DBT"));
    {
        Database::Transaction unit(*m_db);
        const Value memo(std::string(3 * 1024 * 1024, 'x'));
        for (int i = 0; i < 3; ++i) {
            m_db->run("insert into hvel (item_4, item_13) values ('2009000001', :memo)",
                      {{":memo", memo}});
        }
        EXPECT_TRUE(fs::exists(m_dir.file(Journal::kFileName)));
        EXPECT_GT(fs::file_size(m_dir.file("hvel.DBT")), dbt.size());
    }
    EXPECT_EQ(test::readBytes(m_dir.file("hvel.DBF")), dbf);
    EXPECT_EQ(test::readBytes(m_dir.file("hvel.DBT")), dbt);
    EXPECT_FALSE(fs::exists(m_dir.file(Journal::kFileName)));
    EXPECT_EQ(rows("select count(*) from hvel"), std::vector<std::string>{"6"});
}

// ---- table files ----

TEST_F(DatabaseTest, TableReplacedOnDiskIsReadAgain) {
    write("ZTFLH.dbf", "CODE C(5)\tNAME C(20)\nA\t马列主义\nB\t哲学\n");
    EXPECT_EQ(rows("select * from ztflh"), (std::vector<std::string>{"A|马列主义", "B|哲学"}));

    // Renamed over the old file, with other fields.
    TempDir elsewhere;
    writeTable(parseTableText("LEVEL N(2,0)\tCODE C(5)\tNAME C(20)\n1\tA\t马列主义\n2\tA1\t马克思\n"
                              "1\tC\t社会科学\n",
                              "new"),
               m_dir.file("ztflh.new"));
    fs::rename(m_dir.file("ztflh.new"), m_dir.file("ZTFLH.dbf"));
    EXPECT_EQ(rows("select * from ztflh"),
              (std::vector<std::string>{"1|A|马列主义", "2|A1|马克思", "1|C|社会科学"}));

    // Copied over in place: same inode, other bytes.
    writeTable(parseTableText("LEVEL N(2,0)\tCODE C(5)\tNAME C(20)\n3\tZ\t综合\n", "new"),
               elsewhere.file("ztflh.dbf"));
    store::test::writeBytes(m_dir.file("ZTFLH.dbf"),
                            store::test::readBytes(elsewhere.file("ztflh.dbf")));
    EXPECT_EQ(rows("select level, name from ztflh"), std::vector<std::string>{"3|综合"});
    EXPECT_EQ(rows("select count(*) from ztflh"), std::vector<std::string>{"1"});
}

TEST_F(DatabaseTest, SqlHoldsNoLockThatBlocksAnExclusiveOpen) {
    EXPECT_EQ(rows("select count(*) from hvel"), std::vector<std::string>{"6"});
    {
        auto exclusive = m_db->file("HVEL", LockMode::Exclusive);
        ASSERT_TRUE(exclusive->isExclusive());
        exclusive->pack();
        // SQL goes through the same handle while it is held exclusively.
        EXPECT_EQ(rows("select rowid from hvel where item_4 like '2003%'"),
                  std::vector<std::string>{"6"});
        EXPECT_EQ(m_db->file("hvel"), exclusive);
    }
    m_db->release("hvel");
    EXPECT_EQ(rows("select count(*) from hvel"), std::vector<std::string>{"6"});
}

TEST_F(DatabaseTest, ExclusiveOpenOfAHandleInUseIsRefused) {
    auto held = m_db->file("unit");
    try {
        m_db->file("unit", LockMode::Exclusive);
        FAIL() << "no error";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("unit.dbf 正在使用中"), std::string::npos) << e.what();
    }
}

TEST_F(DatabaseTest, UnusableTableFilesAreEngineErrors) {
    auto expectEngineError = [&](const std::string& sql, const std::string& words) {
        try {
            m_db->run(sql);
            ADD_FAILURE() << "no error for " << sql;
        } catch (const EngineError& e) {
            EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
        }
    };
    store::test::writeBytes(m_dir.file("bad.dbf"), "not a table");
    expectEngineError("select * from bad", "bad.dbf");

    EXPECT_EQ(rows("select count(*) from names"), std::vector<std::string>{"8"});
    fs::remove(m_dir.file("names.dbf"));
    expectEngineError("select count(*) from names", "names.dbf");
    // Only the tables a statement uses are looked at.
    EXPECT_EQ(rows("select count(*) from hvel"), std::vector<std::string>{"6"});

    Database other(m_dir.path());
    auto exclusive = other.file("cgwcrnew", LockMode::Exclusive);
    expectEngineError("select * from cgwcrNew", "cgwcrNew.dbf");
}

TEST_F(DatabaseTest, TablePathIgnoresCase) {
    EXPECT_EQ(m_db->tablePath("HVEL"), m_dir.path() / "hvel.DBF");
    EXPECT_EQ(m_db->tablePath("cgwcrnew"), m_dir.path() / "cgwcrNew.dbf");
    EXPECT_EQ(m_db->tablePath("nothere"), fs::path());
    EXPECT_EQ(m_db->tablePath("../hvel"), fs::path());
}

}  // namespace
