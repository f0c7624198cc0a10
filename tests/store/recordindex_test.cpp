// The key indexes behind table filters and SQL conditions: whatever writes a table, a
// filtered table and an indexed select name exactly the rows a reading of every record
// names, in file order.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Database.h"
#include "Dataset.h"
#include "Errors.h"
#include "StoreTestSupport.h"
#include "TableText.h"

using namespace store;

namespace {

using Strings = std::vector<std::string>;

constexpr const char* kRecordRows = "item_4='2004000001' and item_dqdm='.'";

// Runs body on the persons table, opened unfiltered, positioned on the row named name.
void onRow(Database& db, const std::string& name, const std::function<void(Table&)>& body) {
    Table t(db, "cgwcr");
    t.open();
    ASSERT_TRUE(t.locate("ITEM_180", Value(name))) << name;
    body(t);
}

// A child table of persons: rows of three records, one of them also under another region.
class RecordIndexTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeTable(parseTableText("ITEM_4 C(10)\tITEM_DQDM C(3)\tITEM_187 N(5,0)\tITEM_180 C(20)\n"
                                  "2004000001\t.\t1\t张三\n"
                                  "2004000001\t.\t2\t李四\n"
                                  "2004000002\t.\t1\t王五\n"
                                  "2004000001\tA01\t1\t赵六\n"
                                  "2004000003\t.\t1\tO'Neil\n"
                                  "2004000001\t.\t3\t钱七\n",
                                  "cgwcr.DBF"),
                   m_dir.file("cgwcr.DBF"));
        m_db = std::make_unique<Database>(m_dir.path());
    }

    // The names of the rows a table filtered so reads.
    Strings filtered(const std::string& filter) {
        Table t(*m_db, "cgwcr");
        t.setFilter(filter);
        t.open();
        return names(t);
    }

    // The names a select of the persons reads.
    Strings selected(const std::string& condition) {
        Strings out;
        for (const auto& row : m_db->run("select item_180 from cgwcr where " + condition).rows) {
            out.push_back(row.at(0).asText());
        }
        return out;
    }

    static Strings names(Dataset& rows) {
        Strings out;
        for (rows.first(); !rows.eof(); rows.next()) {
            out.push_back(rows.field("ITEM_180").asText());
        }
        return out;
    }

    test::TempDir m_dir;
    std::unique_ptr<Database> m_db;
};

// ---- filters and conditions of every form the program writes ------------------------------

struct Search {
    const char* name;
    const char* filter;     // a table filter, or "" for none
    const char* condition;  // the same question in SQL, or "" for none
    Strings expected;
};

void PrintTo(const Search& s, std::ostream* os) {
    *os << s.name;
}

class RecordIndexSearchTest : public RecordIndexTest,
                              public ::testing::WithParamInterface<Search> {};

TEST_P(RecordIndexSearchTest, NamesWhatEveryRecordWouldName) {
    const Search& s = GetParam();
    if (*s.filter) {
        EXPECT_EQ(filtered(s.filter), s.expected) << s.filter;
    }
    if (*s.condition) {
        EXPECT_EQ(selected(s.condition), s.expected) << s.condition;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Searches, RecordIndexSearchTest,
    ::testing::Values(
        Search{"record_rows",
               kRecordRows,
               "item_4='2004000001' and item_dqdm='.'",
               {"张三", "李四", "钱七"}},
        Search{"key_only",
               "item_4='2004000001'",
               "item_4='2004000001'",
               {"张三", "李四", "赵六", "钱七"}},
        Search{"other_region",
               "item_4='2004000001' and item_dqdm='A01'",
               "item_dqdm='A01' and item_4='2004000001'",
               {"赵六"}},
        Search{"case_counts",
               "item_4='2004000001' and item_dqdm='a01'",
               "item_4='2004000001' and item_dqdm='a01'",
               {}},
        Search{"trailing_blanks", "item_4='2004000002  '", "item_4='2004000002  '", {"王五"}},
        Search{"quote_in_value", "item_180='O''Neil'", "item_180='O''Neil'", {"O'Neil"}},
        Search{"chinese_value", "item_180='李四'", "item_180='李四'", {"李四"}},
        Search{"no_such_key", "item_4='1999000001'", "item_4='1999000001'", {}},
        Search{"value_gbk_cannot_hold", "item_180='张😀'", "item_180='张😀'", {}},
        Search{"prefix",
               "item_4='200400000*'",
               "item_4 like '200400000%'",
               {"张三", "李四", "王五", "赵六", "O'Neil", "钱七"}},
        Search{"chinese_prefix", "item_180='钱*'", "item_180 like '钱%'", {"钱七"}},
        Search{"prefix_is_case_sensitive", "item_180='o*'", "item_180 like 'o%'", {}},
        Search{"pattern_without_prefix", "", "item_180 like '%四'", {"李四"}},
        Search{"pattern_with_one_character_wildcard",
               "",
               "item_4 like '200400000_'",
               {"张三", "李四", "王五", "赵六", "O'Neil", "钱七"}},
        Search{"key_as_a_number", "item_4=2004000002", "item_4=2004000002", {"王五"}},
        Search{"key_and_number",
               "item_4='2004000001' and item_187=1",
               "item_4='2004000001' and item_187=1",
               {"张三", "赵六"}},
        Search{
            "or_keeps_file_order", "", "item_180='钱七' or item_4='2004000002'", {"王五", "钱七"}},
        Search{"in_list_keeps_file_order", "", "item_180 in ('钱七', '张三')", {"张三", "钱七"}},
        Search{"other_collation", "", "item_180='o''neil' collate nocase", {"O'Neil"}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- every kind of write keeps the index in step ------------------------------------------

struct Change {
    const char* name;
    std::function<void(Database&)> apply;
    Strings expected;  // the record's rows afterwards
};

void PrintTo(const Change& c, std::ostream* os) {
    *os << c.name;
}

class RecordIndexChangeTest : public RecordIndexTest,
                              public ::testing::WithParamInterface<Change> {};

TEST_P(RecordIndexChangeTest, RecordRowsFollow) {
    const Change& c = GetParam();
    // Searched once before, so that the change meets an index that is already built.
    ASSERT_EQ(filtered(kRecordRows), (Strings{"张三", "李四", "钱七"}));
    ASSERT_EQ(selected("item_4 like '2004000001%'").size(), 4u);
    c.apply(*m_db);
    EXPECT_EQ(filtered(kRecordRows), c.expected);
    EXPECT_EQ(selected("item_4='2004000001' and item_dqdm='.'"), c.expected);
    // The same rows for an index built afresh from the file.
    m_db = std::make_unique<Database>(m_dir.path());
    EXPECT_EQ(filtered(kRecordRows), c.expected);
}

void setKey(Table& t, const char* key, const char* region) {
    t.edit();
    t.field("ITEM_4").set(Value(key));
    t.field("ITEM_DQDM").set(Value(region));
    t.post();
}

INSTANTIATE_TEST_SUITE_P(
    Changes, RecordIndexChangeTest,
    ::testing::Values(
        Change{"append",
               [](Database& db) {
                   Table t(db, "cgwcr");
                   t.setFilter(kRecordRows);
                   t.open();
                   t.append();
                   t.field("ITEM_4").set(Value("2004000001"));
                   t.field("ITEM_DQDM").set(Value("."));
                   t.field("ITEM_180").set(Value("孙八"));
                   t.post();
               },
               {"张三", "李四", "钱七", "孙八"}},
        Change{
            "edit_moves_a_row_in",
            [](Database& db) { onRow(db, "王五", [](Table& t) { setKey(t, "2004000001", "."); }); },
            {"张三", "李四", "王五", "钱七"}},
        Change{
            "edit_moves_the_first_row_out",
            [](Database& db) { onRow(db, "张三", [](Table& t) { setKey(t, "2005000001", "."); }); },
            {"李四", "钱七"}},
        Change{"edit_moves_the_last_row_out_and_back_in",
               [](Database& db) {
                   onRow(db, "钱七", [](Table& t) {
                       setKey(t, "2005000001", ".");
                       setKey(t, "2004000001", ".");
                   });
               },
               {"张三", "李四", "钱七"}},
        Change{"edit_moves_the_last_row_out_then_a_row_is_appended",
               [](Database& db) {
                   onRow(db, "钱七", [](Table& t) {
                       setKey(t, "2005000001", ".");
                       t.append();
                       t.field("ITEM_4").set(Value("2004000001"));
                       t.field("ITEM_DQDM").set(Value("."));
                       t.field("ITEM_180").set(Value("孙八"));
                       t.post();
                   });
               },
               {"张三", "李四", "孙八"}},
        Change{
            "edit_changes_the_region",
            [](Database& db) { onRow(db, "赵六", [](Table& t) { setKey(t, "2004000001", "."); }); },
            {"张三", "李四", "赵六", "钱七"}},
        Change{"edit_of_another_field",
               [](Database& db) {
                   onRow(db, "李四", [](Table& t) {
                       t.edit();
                       t.field("ITEM_180").set(Value("李四四"));
                       t.post();
                   });
               },
               {"张三", "李四四", "钱七"}},
        Change{"delete",
               [](Database& db) { onRow(db, "李四", [](Table& t) { t.deleteRecord(); }); },
               {"张三", "钱七"}},
        Change{"delete_and_pack",
               [](Database& db) {
                   onRow(db, "张三", [](Table& t) { t.deleteRecord(); });
                   Table pack(db, "cgwcr");
                   pack.setExclusive(true);
                   pack.open();
                   pack.pack();
                   pack.close();
                   // Renumbered by the pack: the index names the new numbers.
                   onRow(db, "李四", [](Table& t) { setKey(t, "2009000001", "."); });
               },
               {"钱七"}},
        Change{"rolled_back_unit",
               [](Database& db) {
                   Database::Transaction unit(db);
                   onRow(db, "王五", [](Table& t) { setKey(t, "2004000001", "."); });
                   onRow(db, "张三", [](Table& t) { t.deleteRecord(); });
                   db.run(
                       "insert into cgwcr (item_4, item_dqdm, item_180) values "
                       "('2004000001', '.', '孙八')");
               },
               {"张三", "李四", "钱七"}},
        Change{"sql_update_of_keys",
               [](Database& db) {
                   db.run(
                       "update cgwcr set item_4='2004000001', item_dqdm='.' where "
                       "item_4='2004000003'");
                   db.run("update cgwcr set item_4='2004000009' where item_180='张三'");
               },
               {"李四", "O'Neil", "钱七"}},
        Change{"sql_delete_and_insert",
               [](Database& db) {
                   db.run(
                       "delete from cgwcr where item_4='2004000001' and item_dqdm='.' and "
                       "item_187=2");
                   db.run(
                       "insert into cgwcr (item_4, item_dqdm, item_180) values "
                       "('2004000001', '.', '孙八')");
               },
               {"张三", "钱七", "孙八"}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- a larger table under random writes, against a reading of every record ----------------

// With the key field known to the database, every pack indexes it from its own reading (and
// renumbers what it read for the packed file); without, the first filter reads every record.
class RecordIndexRandomWrites : public ::testing::TestWithParam<bool> {};

TEST_P(RecordIndexRandomWrites, FiltersAlwaysNameWhatTheFileHolds) {
    test::TempDir dir;
    writeTable(parseTableText("ITEM_4 C(10)\tITEM_DQDM C(3)\tITEM_180 C(20)\n", "kids.DBF"),
               dir.file("kids.DBF"));
    Database db(dir.path());
    if (GetParam()) {
        db.setKeyFields({"item_4"});
    }
    std::mt19937 random(16);
    auto key = [&] { return "20040000" + std::to_string(10 + random() % 40); };
    {
        Table t(db, "kids");
        t.open();
        for (int i = 0; i < 1500; ++i) {
            t.append();
            // The rows of one key follow each other, as a record's child rows do.
            t.field("ITEM_4").set(Value("20040000" + std::to_string(10 + (i / 25) % 40)));
            t.field("ITEM_DQDM").set(Value("."));  // one value only: too few to index
            t.field("ITEM_180").set(Value("n" + std::to_string(i)));
            t.post();
        }
    }
    // The names of the rows holding k, read from every record.
    auto everyRecord = [&](const std::string& k) {
        Strings out;
        auto file = DbfFile::open(dir.file("kids.DBF"));
        for (uint32_t recno = 1; recno <= file->recordCount(); ++recno) {
            if (!file->isDeleted(recno) && file->value(recno, "ITEM_4").asText() == k) {
                out.push_back(file->value(recno, "ITEM_180").asText());
            }
        }
        return out;
    };
    Table rows(db, "kids");
    for (int step = 0; step < 300; ++step) {
        rows.close();
        rows.setFilter({});
        rows.open();
        rows.setRecNo(1 + static_cast<int>(random() % static_cast<unsigned>(rows.recordCount())));
        switch (random() % 5) {
            case 0:
            case 1:
                rows.edit();
                rows.field("ITEM_4").set(Value(key()));
                rows.post();
                break;
            case 2:
                rows.deleteRecord();
                break;
            case 3:
                rows.append();
                rows.field("ITEM_4").set(Value(key()));
                rows.field("ITEM_DQDM").set(Value("."));
                rows.field("ITEM_180").set(Value("s" + std::to_string(step)));
                rows.post();
                break;
            default:
                if (step % 10 == 4) {
                    rows.close();
                    rows.setExclusive(true);
                    rows.open();
                    rows.pack();
                    rows.close();
                    rows.setExclusive(false);
                    rows.open();
                }
        }
        const std::string k = key();
        Table filteredRows(db, "kids");
        filteredRows.setFilter("item_4='" + k + "' and item_dqdm='.'");
        filteredRows.open();
        Strings names;
        for (filteredRows.first(); !filteredRows.eof(); filteredRows.next()) {
            names.push_back(filteredRows.field("ITEM_180").asText());
        }
        ASSERT_EQ(names, everyRecord(k)) << "step " << step << ", key " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Indexes, RecordIndexRandomWrites, ::testing::Bool(), [](const auto& info) {
    return std::string(info.param ? "key_field_indexed_by_each_pack" : "indexed_when_first_asked");
});

// ---- selects ordered by a text column -----------------------------------------------------

// The rows of sql as text, one line per row.
Strings rowsOf(Database& db, const std::string& sql) {
    Strings out;
    for (const auto& row : db.run(sql).rows) {
        std::string line;
        for (const Value& value : row) {
            line += (value.isNull() ? "<null>" : value.asText()) + "|";
        }
        out.push_back(line);
    }
    return out;
}

class RecordIndexOrderTest : public RecordIndexTest,
                             public ::testing::WithParamInterface<const char*> {};

// Each select reads its rows in the order the column's values take, as SQLite orders them
// itself when the order is of an expression of the column (which the table cannot take).
TEST_P(RecordIndexOrderTest, OrdersAsTheColumnsCollation) {
    m_db->run("insert into cgwcr (item_4, item_dqdm, item_180) values ('2004000009', '.', null)");
    m_db->run("insert into cgwcr (item_4, item_dqdm, item_180) values ('2003000001', 'B', '王五')");
    m_db->run("delete from cgwcr where item_180='李四'");
    const std::string sql = GetParam();
    std::string own = sql;
    for (const char* column : {"item_180", "item_4"}) {
        const std::string ordered = std::string("order by ") + column;
        if (const size_t at = own.find(ordered); at != std::string::npos) {
            own.replace(at, ordered.size(),
                        std::string("order by (") + column + " || '') collate GBK");
        }
    }
    EXPECT_EQ(rowsOf(*m_db, sql), rowsOf(*m_db, own)) << sql;
}

INSTANTIATE_TEST_SUITE_P(
    Orders, RecordIndexOrderTest,
    ::testing::Values(
        "select item_180 from cgwcr order by item_180",
        "select item_180 from cgwcr order by item_180 desc",
        "select item_4 from cgwcr order by item_4 desc",
        "select distinct item_4 from cgwcr order by item_4 desc",
        "select item_180, item_187 from cgwcr where item_187=1 order by item_180",
        "select item_4, item_180 from cgwcr where item_180 <> '王五' order by item_180 "
        "desc"));

TEST_F(RecordIndexTest, LiveQueryOrderedByATextColumn) {
    m_db->run("delete from cgwcr where item_180='李四'");
    Query names(*m_db);
    names.setSql("select * from cgwcr order by item_180 desc");
    names.open();
    // GBK order puts the hanzi in pinyin order, after ASCII.
    EXPECT_EQ(RecordIndexTest::names(names), (Strings{"赵六", "张三", "王五", "钱七", "O'Neil"}));
    names.first();
    names.edit();
    names.field("ITEM_180").set(Value("赵六六"));
    names.post();
    EXPECT_EQ(selected("item_4='2004000001' and item_dqdm='A01'"), (Strings{"赵六六"}));
}

// ---- live queries --------------------------------------------------------------------------

TEST_F(RecordIndexTest, WholeTableQueryTakesTheLiveRecordsOfTheFile) {
    onRow(*m_db, "李四", [](Table& t) { t.deleteRecord(); });
    Query all(*m_db);
    all.setSql("select * from cgwcr ;");
    all.open();
    EXPECT_EQ(names(all), (Strings{"张三", "王五", "赵六", "O'Neil", "钱七"}));
    all.last();
    all.edit();
    all.field("ITEM_180").set(Value("钱七七"));
    all.post();
    all.append();
    all.field("ITEM_180").set(Value("新人"));
    all.post();
    EXPECT_EQ(selected("item_4 is null"), (Strings{"新人"}));
    EXPECT_EQ(names(all), (Strings{"张三", "王五", "赵六", "O'Neil", "钱七七", "新人"}));
}

// A closed exclusive handle leaves what its index knew to the next opening of the same file,
// but not to a file that was changed in between.
TEST_F(RecordIndexTest, ReopeningTakesOverOnlyWhatStillHolds) {
    auto packed = [this] {
        Table pack(*m_db, "cgwcr");
        pack.setExclusive(true);
        pack.open();
        pack.pack();
        pack.close();
    };
    packed();
    EXPECT_EQ(filtered(kRecordRows), (Strings{"张三", "李四", "钱七"}));
    packed();
    {
        auto other = DbfFile::open(m_dir.file("cgwcr.DBF"));
        other->append({{0, Value("2004000001")}, {1, Value(".")}, {3, Value("外来")}});
        other->setDeleted(1, true);
        other->flush();
    }
    EXPECT_EQ(filtered(""), (Strings{"李四", "王五", "赵六", "O'Neil", "钱七", "外来"}));
    EXPECT_EQ(filtered(kRecordRows), (Strings{"李四", "钱七", "外来"}));
}

// ---- what a reading of every record keeps beside the table file ---------------------------

// The persons table, packed, is packed again by a database that looks records up by item_4
// once its file has settled (the kept index is written only for files whose last change lies
// two seconds back); then a change of one kind to the files, and a fresh opening.
struct KeptChange {
    const char* name;
    std::function<void(const std::string& dir)> change;
    bool stillTaken;
};

// Packs table, once its file has settled, by a database that looks records up by item_4: with
// nothing to purge, what the pack's reading learnt is kept beside the file.
void keepIndexOnceSettled(const test::TempDir& dir, const std::string& table) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    Database db(dir.path());
    db.setKeyFields({"item_4"});
    Table pack(db, table);
    pack.setExclusive(true);
    pack.open();
    pack.pack();
    pack.close();
}

class KeptIndexTest : public ::testing::TestWithParam<KeptChange> {};

// Rewrites the first key in place, same size, and puts the time of modification back.
void rewriteKeyInPlace(const std::string& dir) {
    const std::string path = dir + "/cgwcr.DBF";
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    std::string bytes = test::readBytes(path);
    const size_t at = bytes.find("2004000001");
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, 10, "2004000009");
    std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST_P(KeptIndexTest, IsTakenOnlyForTheSameFiles) {
    test::TempDir dir;
    writeTable(parseTableText("ITEM_4 C(10)\tITEM_DQDM C(3)\tITEM_180 C(20)\n"
                              "2004000001\t.\t张三\n"
                              "2004000002\t.\t王五\n"
                              "2004000001\t.\t李四\n",
                              "cgwcr.DBF"),
               dir.file("cgwcr.DBF"));
    DbfFile::open(dir.file("cgwcr.DBF"), LockMode::Exclusive)->pack();
    keepIndexOnceSettled(dir, "cgwcr");
    ASSERT_TRUE(std::filesystem::exists(dir.file("cgwcr.DBF.idx")));
    GetParam().change(dir.path().string());

    auto file = DbfFile::open(dir.file("cgwcr.DBF"));
    EXPECT_EQ(file->index().takeKept(), GetParam().stillTaken);
    Database db(dir.path());
    Table persons(db, "cgwcr");
    persons.setFilter("item_4='2004000001'");
    persons.open();
    Strings names;
    for (persons.first(); !persons.eof(); persons.next()) {
        names.push_back(persons.field("ITEM_180").asText());
    }
    const bool rewritten = std::string(GetParam().name) == "rewritten_in_place_same_size";
    EXPECT_EQ(names, rewritten ? Strings{"李四"} : (Strings{"张三", "李四"}));
}

INSTANTIATE_TEST_SUITE_P(
    Changes, KeptIndexTest,
    ::testing::Values(KeptChange{"unchanged", [](const std::string&) {}, true},
                      KeptChange{"rewritten_in_place_same_size", rewriteKeyInPlace, false},
                      KeptChange{"replaced_by_a_copy",
                                 [](const std::string& dir) {
                                     std::filesystem::copy_file(dir + "/cgwcr.DBF",
                                                                dir + "/copy.tmp");
                                     std::filesystem::rename(dir + "/copy.tmp", dir + "/cgwcr.DBF");
                                 },
                                 false},
                      KeptChange{"restored_from_a_copy_of_the_folder",
                                 [](const std::string& dir) {
                                     const std::string saved = dir + "-saved";
                                     std::filesystem::copy(dir, saved);
                                     std::filesystem::remove_all(dir);
                                     std::filesystem::rename(saved, dir);
                                 },
                                 false},
                      KeptChange{"written_by_the_store",
                                 [](const std::string& dir) {
                                     auto file = DbfFile::open(dir + "/cgwcr.DBF");
                                     file->append({{0, Value("2004000003")}});
                                     file->flush();
                                 },
                                 false},
                      KeptChange{"kept_head_damaged",
                                 [](const std::string& dir) {
                                     std::string bytes = test::readBytes(dir + "/cgwcr.DBF.idx");
                                     bytes[12] ^= 0x55;
                                     test::writeBytes(dir + "/cgwcr.DBF.idx", bytes);
                                 },
                                 false},
                      // The head holds; the records of the values, 1 and 3 for 2004000001,
                      // then 2, come to name record 3 first: the search reads the table instead.
                      KeptChange{"kept_records_damaged",
                                 [](const std::string& dir) {
                                     std::string bytes = test::readBytes(dir + "/cgwcr.DBF.idx");
                                     const std::string records("\1\0\0\0\3\0\0\0\2\0\0\0", 12);
                                     const size_t at = bytes.find(records);
                                     ASSERT_NE(at, std::string::npos);
                                     bytes[at] = 3;
                                     test::writeBytes(dir + "/cgwcr.DBF.idx", bytes);
                                 },
                                 true}),
    [](const auto& info) { return std::string(info.param.name); });

// A kept index of many values, over several pages of its file, serves a fresh database's
// searches by value and by prefix, and goes on serving them through appends, changed keys and
// an ordered select, always naming what a reading of every record names.
TEST(KeptIndexSearches, NameWhatEveryRecordHolds) {
    test::TempDir dir;
    std::string text = "ITEM_4 C(10)\tITEM_DQDM C(3)\tITEM_180 C(20)\n";
    for (int i = 0; i < 3000; ++i) {  // 300 keys, the rows of each one after another
        char key[16];
        std::snprintf(key, sizeof key, "2004%06d", i / 10);
        text += std::string(key) + "\t.\tn" + std::to_string(i) + "\n";
    }
    writeTable(parseTableText(text, "kids.DBF"), dir.file("kids.DBF"));
    keepIndexOnceSettled(dir, "kids");
    ASSERT_TRUE(std::filesystem::exists(dir.file("kids.DBF.idx")));

    Database db(dir.path());
    db.setKeyFields({"item_4"});
    auto everyRecord = [&](const std::function<bool(const std::string&)>& holds) {
        Strings out;
        auto file = DbfFile::open(dir.file("kids.DBF"));
        for (uint32_t recno = 1; recno <= file->recordCount(); ++recno) {
            if (!file->isDeleted(recno) && holds(file->value(recno, "ITEM_4").asText())) {
                out.push_back(file->value(recno, "ITEM_180").asText());
            }
        }
        return out;
    };
    auto filtered = [&](const std::string& filter) {
        Table rows(db, "kids");
        rows.setFilter(filter);
        rows.open();
        Strings out;
        for (rows.first(); !rows.eof(); rows.next()) {
            out.push_back(rows.field("ITEM_180").asText());
        }
        return out;
    };
    auto searchesHold = [&](const std::string& when) {
        for (const std::string key :
             {"2004000000", "2004000150", "2004000299", "2004000300", "2004999999", "2004000777"}) {
            EXPECT_EQ(filtered("item_4='" + key + "'"),
                      everyRecord([&](const std::string& k) { return k == key; }))
                << key << " " << when;
        }
        for (const std::string prefix : {"200400012", "20040002", "2004000777"}) {
            EXPECT_EQ(filtered("item_4='" + prefix + "*'"),
                      everyRecord([&](const std::string& k) { return k.starts_with(prefix); }))
                << prefix << " " << when;
        }
    };
    RecordIndex& index = db.file("kids")->index();
    EXPECT_EQ(index.anyDeleted(), std::optional<bool>(false));  // known from the kept file
    EXPECT_TRUE(index.keyKnown(0));
    ASSERT_TRUE(index.undecodable().has_value());  // the pack's reading checked the text
    EXPECT_TRUE(index.undecodable()->empty());
    searchesHold("as kept");
    auto ordered = [&] {
        Strings out;
        for (const auto& row : db.run("select item_180 from kids order by item_4 desc").rows) {
            out.push_back(row.at(0).asText());
        }
        return out;
    };
    const Strings keptOrder = ordered();  // the values in the kept index's order, turned round
    ASSERT_EQ(keptOrder.size(), 3000u);
    EXPECT_EQ(keptOrder.front(), "n2990");
    EXPECT_EQ(keptOrder[9], "n2999");
    EXPECT_EQ(keptOrder.back(), "n9");
    {
        Table rows(db, "kids");
        rows.open();
        rows.append();
        rows.field("ITEM_4").set(Value("2004000777"));
        rows.field("ITEM_180").set(Value("appended"));
        rows.post();
        ASSERT_TRUE(rows.locate("ITEM_180", Value("n1505")));
        rows.edit();
        rows.field("ITEM_4").set(Value("2004000000"));
        rows.post();
    }
    searchesHold("after writes");
    const Strings written = ordered();
    ASSERT_EQ(written.size(), 3001u);
    EXPECT_EQ(written.front(), "appended");
    EXPECT_EQ(written.back(), "n1505");
}

// The start's pack indexes the key fields in the same reading, so that the first lookup
// after it reads nothing more; a pack that purges indexes the new file as it writes it.
TEST_F(RecordIndexTest, PackIndexesTheKeyFields) {
    m_db->setKeyFields({"item_4"});
    for (bool purge : {false, true}) {
        if (purge) {
            auto file = DbfFile::open(m_dir.file("cgwcr.DBF"));
            file->setDeleted(2, true);
            file->flush();
        }
        {
            Table pack(*m_db, "cgwcr");
            pack.setExclusive(true);
            pack.open();
            pack.pack();
            pack.close();
        }
        EXPECT_TRUE(m_db->file("cgwcr")->index().keyKnown(0)) << purge;
        EXPECT_EQ(filtered(kRecordRows),
                  purge ? (Strings{"张三", "钱七"}) : (Strings{"张三", "李四", "钱七"}));
    }
}

}  // namespace
