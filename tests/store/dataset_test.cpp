#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Database.h"
#include "Dataset.h"
#include "Errors.h"
#include "StoreTestSupport.h"
#include "TableText.h"

using namespace store;

namespace {

// A data directory with a small main table, a child table and an option list.
class DatasetTest : public ::testing::Test {
protected:
    void SetUp() override {
        write("hvel.DBF",
              "ITEM_4 C(10)\tITEM_DQDM C(3)\tITEM_3 C(20)\tITEM_CGLB C(1)\tNO C(10)\tITEM_45 "
              "N(10,2)\n"
              "2004000001\t.\t甲成果\t1\t\t1.5\n"
              "2004000002\t.\t乙成果\t2\t\t\n"
              "2005000001\t.\t丙成果\t1\t\t3\n"
              "2004000003\t.\t丁成果\t1\t\t\n");
        write("cgwcr.DBF",
              "ITEM_4 C(10)\tITEM_DQDM C(3)\tITEM_187 N(5,0)\tITEM_180 C(20)\tITEM_181 C(1)\n"
              "2004000001\t.\t1\t张三\t1\n"
              "2004000001\t.\t2\t李四\t2\n"
              "2004000003\t.\t1\t王五\t9\n");
        write("zdxx.dbf",
              "zddm C(10)\txxdm C(3)\txxmc C(20)\n"
              "item_181\t1\t男\n"
              "item_181\t2\t女\n"
              "item_183\t1\t高级\n"
              "item_183\t12\t中级\n");
        m_db = std::make_unique<Database>(m_dir.path());
    }

    void TearDown() override { m_db.reset(); }

    void write(const std::string& file, const std::string& text) {
        writeTable(parseTableText(text, file), (m_dir.path() / file).string());
    }

    static std::vector<std::string> column(Dataset& ds, const char* name) {
        std::vector<std::string> values;
        for (ds.first(); !ds.eof(); ds.next()) {
            values.push_back(ds.field(name).asText());
        }
        return values;
    }

    test::TempDir m_dir;
    std::unique_ptr<Database> m_db;
};

using Strings = std::vector<std::string>;

TEST_F(DatasetTest, NavigatesLikeACursor) {
    Table t(*m_db, "hvel");
    t.open();
    EXPECT_EQ(t.recordCount(), 4);
    EXPECT_TRUE(t.bof());
    EXPECT_FALSE(t.eof());
    EXPECT_EQ(t.recNo(), 1);
    t.moveBy(2);
    EXPECT_EQ(t.field("item_3").asText(), "丙成果");
    t.next();
    t.next();  // past the last row: stays there with eof set
    EXPECT_TRUE(t.eof());
    EXPECT_EQ(t.recNo(), 4);
    t.last();
    EXPECT_TRUE(t.eof());
    t.prior();
    EXPECT_EQ(t.recNo(), 3);
    EXPECT_TRUE(t.locate("ITEM_4", Value("2004000002  ")));  // trailing blanks do not count
    EXPECT_EQ(t.recNo(), 2);
    EXPECT_FALSE(t.locate("ITEM_4", Value("1999")));
    EXPECT_EQ(t.recNo(), 2);
    const auto mark = t.bookmark();
    t.first();
    EXPECT_TRUE(t.gotoBookmark(mark));
    EXPECT_EQ(t.field("ITEM_3").asText(), "乙成果");
    EXPECT_THROW(t.field("NOSUCH"), EngineError);
    EXPECT_EQ(t.field("ITEM_45").asNumber(), 0);
    EXPECT_TRUE(t.field("ITEM_45").isNull());
}

struct FilterCase {
    const char* name;
    const char* table;
    const char* filter;
    const char* field;
    Strings expected;
};

void PrintTo(const FilterCase& c, std::ostream* os) {
    *os << c.name;
}

class DatasetFilterTest : public DatasetTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(DatasetFilterTest, SelectsRows) {
    const FilterCase& c = GetParam();
    Table t(*m_db, c.table);
    t.setFilter(c.filter);
    t.open();
    EXPECT_EQ(column(t, c.field), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Filters, DatasetFilterTest,
    ::testing::Values(
        FilterCase{"none", "zdxx", "", "xxdm", {"1", "2", "1", "12"}},
        FilterCase{"one_text", "zdxx", "zddm ='item_181'", "xxmc", {"男", "女"}},
        FilterCase{"two_terms", "zdxx", "zddm ='item_183' and xxdm ='12'", "xxmc", {"中级"}},
        FilterCase{"trailing_blank_in_value", "zdxx", "xxdm='1 '", "xxmc", {"男", "高级"}},
        FilterCase{"no_prefix_without_star", "zdxx", "xxdm='1'", "xxmc", {"男", "高级"}},
        FilterCase{"prefix", "hvel", "item_4='2004*'", "ITEM_3", {"甲成果", "乙成果", "丁成果"}},
        FilterCase{"number", "cgwcr", "item_187=1", "ITEM_180", {"张三", "王五"}},
        FilterCase{"child_keys",
                   "cgwcr",
                   "item_4='2004000001' and item_dqdm='.'",
                   "ITEM_180",
                   {"张三", "李四"}},
        FilterCase{"case_sensitive", "zdxx", "zddm='ITEM_181'", "xxmc", {}},
        FilterCase{"chinese_text", "cgwcr", "item_180 ='李四'", "ITEM_4", {"2004000001"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DatasetTest, RefusesFiltersItCannotRead) {
    Table t(*m_db, "zdxx");
    t.open();
    for (const char* bad : {"zddm='item_181", "nosuch='1'", "zddm='a' or xxdm='1'", "zddm",
                            "zddm='a' and", "item_187=abc"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(t.setFilter(bad), EngineError);
    }
    // A quote doubled inside a text is a quote.
    t.setFilter("xxmc='it''s'");
    EXPECT_EQ(t.recordCount(), 0);
}

TEST_F(DatasetTest, StarsOfTheTextMatchExactly) {
    write("cgwcrNew.dbf",
          "ITEM_180 C(20)\n"
          "张*\n"
          "张三\n"
          "O'Brien\n");
    Table t(*m_db, "cgwcrNew");
    t.open();
    struct Case {
        std::string filter;
        Strings expected;
    };
    for (const Case& c : {Case{"ITEM_180='张*'", {"张*", "张三"}},
                          Case{"ITEM_180='" + filterText("张*") + "'", {"张*"}},
                          Case{"ITEM_180='" + filterText("张*") + "*'", {"张*"}},
                          Case{"ITEM_180='" + filterText("O'Brien") + "'", {"O'Brien"}},
                          Case{"ITEM_180='" + filterText("张") + "*'", {"张*", "张三"}}}) {
        SCOPED_TRACE(c.filter);
        t.setFilter(c.filter);
        EXPECT_EQ(column(t, "ITEM_180"), c.expected);
    }
}

TEST_F(DatasetTest, FilterStaysUntilReplaced) {
    Table t(*m_db, "zdxx");
    t.setFilter("zddm='item_181'");
    t.open();
    t.close();
    t.open();
    EXPECT_EQ(t.recordCount(), 2);
    t.setFilter("zddm='item_183'");
    EXPECT_EQ(column(t, "xxmc"), (Strings{"高级", "中级"}));
    t.setFilter("");
    EXPECT_EQ(t.recordCount(), 4);
}

TEST_F(DatasetTest, PostWritesTheRowAndOthersSeeIt) {
    Table t(*m_db, "hvel");
    t.open();
    t.next();
    t.edit();
    t.field("ITEM_3").set(Value("新名称"));
    t.field("ITEM_45").set(Value(12.25));
    EXPECT_EQ(t.field("ITEM_3").asText(), "新名称");  // the edit buffer
    t.post();
    EXPECT_EQ(t.state(), Dataset::State::Browse);

    Table other(*m_db, "hvel");
    other.open();
    ASSERT_TRUE(other.locate("ITEM_4", Value("2004000002")));
    EXPECT_EQ(other.field("ITEM_3").asText(), "新名称");
    EXPECT_EQ(other.field("ITEM_45").asNumber(), 12.25);
    const ResultSet sql = m_db->run("select item_3 from hvel where item_4='2004000002'");
    ASSERT_EQ(sql.rows.size(), 1u);
    EXPECT_EQ(sql.rows[0][0].asText(), "新名称");
}

TEST_F(DatasetTest, FailedPostKeepsTheEditAndWritesNothing) {
    Table t(*m_db, "hvel");
    t.open();
    t.edit();
    t.field("NO").set(Value("7"));
    t.field("ITEM_3").set(Value("一个远远超过二十个字节宽度的名称"));  // 32 GBK bytes
    EXPECT_THROW(t.post(), ValueError);
    EXPECT_EQ(t.state(), Dataset::State::Edit);
    EXPECT_EQ(t.field("NO").asText(), "7");
    t.cancel();
    EXPECT_EQ(t.field("ITEM_3").asText(), "甲成果");
    EXPECT_TRUE(t.field("NO").isNull());
    EXPECT_THROW(t.field("NO").set(Value("1")), EngineError);  // not in edit mode
}

TEST_F(DatasetTest, PostedRowLeavingTheFilterLeavesTheSet) {
    // Re-keying child rows: each posted row leaves the filter and the next takes its place.
    Table t(*m_db, "cgwcr");
    t.setFilter("item_4='2004000001'");
    t.open();
    int moved = 0;
    while (!t.eof() && t.recordCount() > 0) {
        t.edit();
        t.field("ITEM_4").set(Value("2009000001"));
        t.post();
        ++moved;
    }
    EXPECT_EQ(moved, 2);
    EXPECT_EQ(t.recordCount(), 0);
    t.setFilter("item_4='2009000001'");
    EXPECT_EQ(column(t, "ITEM_180"), (Strings{"张三", "李四"}));
}

TEST_F(DatasetTest, DeleteLandsOnTheRowThatTookItsPlace) {
    Table t(*m_db, "hvel");
    t.open();
    t.setRecNo(2);
    t.deleteRecord();
    EXPECT_EQ(t.recordCount(), 3);
    EXPECT_EQ(t.field("ITEM_4").asText(), "2005000001");
    t.last();
    t.deleteRecord();
    EXPECT_EQ(t.field("ITEM_4").asText(), "2005000001");
    Query q(*m_db);
    q.setSql("select * from hvel");
    q.open();
    EXPECT_EQ(column(q, "ITEM_4"), (Strings{"2004000001", "2005000001"}));
}

TEST_F(DatasetTest, AppendAddsARowAtTheEnd) {
    Table t(*m_db, "cgwcr");
    t.setFilter("item_4='2004000003'");
    t.open();
    t.append();
    EXPECT_TRUE(t.field("ITEM_180").isNull());
    t.field("ITEM_4").set(Value("2004000003"));
    t.field("ITEM_180").set(Value("赵六"));
    t.field("ITEM_187").set(Value(2));
    t.post();
    EXPECT_EQ(t.recordCount(), 2);
    EXPECT_EQ(t.recNo(), 2);
    EXPECT_EQ(column(t, "ITEM_180"), (Strings{"王五", "赵六"}));
    t.append();
    t.cancel();
    EXPECT_EQ(t.recordCount(), 2);
}

TEST_F(DatasetTest, DetailFollowsItsMaster) {
    Query master(*m_db);
    master.setSql("select * from hvel where item_cglb='1' order by item_4");
    master.open();
    Table detail(*m_db, "cgwcr");
    detail.setMaster(&master, "item_4;item_dqdm");
    detail.open();
    EXPECT_EQ(column(detail, "ITEM_180"), (Strings{"张三", "李四"}));
    master.next();  // 2004000003
    EXPECT_EQ(column(detail, "ITEM_180"), (Strings{"王五"}));
    detail.append();  // takes the master's keys
    detail.field("ITEM_180").set(Value("新人"));
    detail.post();
    EXPECT_EQ(column(detail, "ITEM_180"), (Strings{"王五", "新人"}));
    EXPECT_EQ(detail.field("ITEM_4").asText(), "2004000003");
    master.next();  // 2005000001: no children
    EXPECT_EQ(detail.recordCount(), 0);
}

TEST_F(DatasetTest, LiveQueryKeepsItsOrderAndWritesThrough) {
    Query q(*m_db);
    q.setSql("select * from hvel where item_cglb='1' and item_4 like '2004%' order by item_4 desc");
    ASSERT_TRUE(q.isLive());
    q.open();
    EXPECT_EQ(column(q, "ITEM_4"), (Strings{"2004000003", "2004000001"}));
    // Renumbering: edit and post one field over every row.
    int n = 0;
    for (q.first(); !q.eof(); q.next()) {
        q.edit();
        q.field("NO").set(Value(std::to_string(++n)));
        q.post();
    }
    EXPECT_EQ(column(q, "NO"), (Strings{"1", "2"}));
    const ResultSet sql = m_db->run("select no from hvel where item_4='2004000003'");
    EXPECT_EQ(sql.rows.at(0).at(0).asText(), "1");
    q.first();
    q.deleteRecord();
    EXPECT_EQ(column(q, "ITEM_4"), (Strings{"2004000001"}));
}

TEST_F(DatasetTest, LiveQueryRecognition) {
    struct Case {
        const char* sql;
        bool live;
    };
    for (const Case& c :
         {Case{"select * from hvel", true}, Case{"select* from unit", true},
          Case{"SELECT * FROM hvel WHERE item_4 like'2004%'", true},
          Case{"select * from hvel order by item_4 desc", true},
          Case{"select item_4 from hvel", false}, Case{"select distinct item_4 from hvel", false},
          Case{"select max(item_4) from hvel", false}, Case{"select * from hvel, cgwcr", false}}) {
        Query q(*m_db);
        q.setSql(c.sql);
        EXPECT_EQ(q.isLive(), c.live) << c.sql;
    }
}

TEST_F(DatasetTest, ReadOnlyQueryHoldsItsValues) {
    Query q(*m_db);
    q.setSql("select max(item_4) from hvel where item_4 like :year");
    q.setParam(":year", Value("2004%"));
    q.open();
    ASSERT_EQ(q.recordCount(), 1);
    EXPECT_EQ(q.field(0).asText(), "2004000003");
    EXPECT_THROW(q.edit(), EngineError);
    q.close();
    q.setSql("select distinct item_cglb from hvel order by item_cglb desc");
    q.open();
    EXPECT_EQ(column(q, "item_cglb"), (Strings{"2", "1"}));
}

TEST_F(DatasetTest, LookupFieldShowsTheOptionText) {
    Table options(*m_db, "zdxx");
    options.setFilter("zddm='item_181'");
    options.open();
    Table persons(*m_db, "cgwcr");
    persons.addLookupField({"V_181", "ITEM_181", &options, "xxdm", "xxmc"});
    persons.open();
    EXPECT_EQ(column(persons, "V_181"), (Strings{"男", "女", ""}));  // code 9 has no option
    EXPECT_THROW(persons.edit(); persons.field("V_181").set(Value("x")), EngineError);
}

class Recorder : public DatasetObserver {
public:
    void datasetEvent(Dataset&, DatasetEvent event) override { events.push_back(event); }
    std::vector<DatasetEvent> events;
};

TEST_F(DatasetTest, ObserversHearChangesUnlessSuspended) {
    Table t(*m_db, "hvel");
    Recorder recorder;
    t.addObserver(&recorder);
    t.open();
    t.next();
    EXPECT_EQ(recorder.events, (std::vector{DatasetEvent::Opened, DatasetEvent::Scrolled}));
    recorder.events.clear();
    t.disableControls();
    for (t.first(); !t.eof(); t.next()) {
        t.edit();
        t.field("NO").set(Value("x"));
        t.post();
    }
    t.enableControls();
    EXPECT_EQ(recorder.events, (std::vector{DatasetEvent::Reset}));
    t.removeObserver(&recorder);
    t.close();
    EXPECT_EQ(recorder.events.size(), 1u);
}

TEST_F(DatasetTest, ExclusiveTablePacksAndReleasesTheFile) {
    {
        Table t(*m_db, "hvel");
        t.open();
        t.deleteRecord();
    }
    Table pack(*m_db, "hvel");
    pack.setExclusive(true);
    pack.open();
    pack.pack();
    EXPECT_EQ(pack.recordCount(), 3);
    pack.close();
    EXPECT_EQ(m_db->file("hvel")->recordCount(), 3u);
}

}  // namespace

namespace {

TEST_F(DatasetTest, PostsJoinAUnitOfWritesAndRollBackWithIt) {
    {
        Database::Transaction unit(*m_db);
        Table t(*m_db, "cgwcr");
        t.open();
        t.edit();
        t.field("ITEM_180").set(Value("改名"));
        t.post();
        t.last();
        t.deleteRecord();
        t.append();
        t.field("ITEM_180").set(Value("新人"));
        t.post();
        m_db->run("update hvel set no='9'");
        // Leaving without commit() undoes all of it.
    }
    Table t(*m_db, "cgwcr");
    t.open();
    EXPECT_EQ(column(t, "ITEM_180"), (Strings{"张三", "李四", "王五"}));
    EXPECT_EQ(m_db->run("select count(*) from hvel where no='9'").rows.at(0).at(0).asNumber(), 0);
}

}  // namespace
