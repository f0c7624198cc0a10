#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <set>

#include "Database.h"
#include "DbfFile.h"
#include "Errors.h"
#include "GbkCodec.h"
#include "StoreTestSupport.h"

namespace store {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;

enum Field { Key, Name, Amount, Day, Flag, Notes };

std::vector<FieldDef> sampleFields() {
    return {{"ITEM_4", FieldType::Character, 10, 0}, {"ITEM_3", FieldType::Character, 20, 0},
            {"ITEM_45", FieldType::Numeric, 12, 2},  {"ITEM_121", FieldType::Date, 8, 0},
            {"FLAG", FieldType::Logical, 1, 0},      {"ITEM_13", FieldType::Memo, 10, 0}};
}

constexpr int kHeaderLength = 32 + 6 * 32 + 1;                // 225
constexpr int kRecordLength = 1 + 10 + 20 + 12 + 8 + 1 + 10;  // 62

uint32_t le32(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
}
uint16_t le16(const std::string& bytes, size_t at) {
    uint16_t v = 0;
    std::memcpy(&v, bytes.data() + at, 2);
    return v;
}

// 700 x's, CR LF, then a Chinese line: three blocks' worth of memo never, two blocks always.
const std::string kLongMemo = std::string(700, 'x') + "\r\n第二行";

class DbfTest : public ::testing::Test {
protected:
    std::unique_ptr<DbfFile> makeTable(LockMode lock = LockMode::Exclusive) {
        DbfFile::create(path, sampleFields());
        return DbfFile::open(path, lock);
    }
    // Two rows, the second deleted; the first has a two-block memo.
    void fillSample(DbfFile& table) {
        table.append({{Key, "2004000001"},
                      {Name, "中文"},
                      {Amount, 3.456},
                      {Day, Date{2004, 5, 1}},
                      {Flag, true},
                      {Notes, kLongMemo}});
        table.append({{Key, "2004000002"}});
        table.setDeleted(2, true);
    }
    std::string dbtPath() const { return dir.file("hvel.DBT"); }

    TempDir dir;
    std::string path = dir.file("hvel.DBF");
};

TEST_F(DbfTest, WritesDbaseThreeWithMemoAtTheBytesThatMatter) {
    {
        auto table = makeTable();
        fillSample(*table);
    }
    std::string dbf = readBytes(path);
    ASSERT_EQ(dbf.size(), size_t(kHeaderLength + 2 * kRecordLength + 1));
    EXPECT_EQ(uint8_t(dbf[0]), 0x83);
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    EXPECT_EQ(uint8_t(dbf[1]), local.tm_year);
    EXPECT_EQ(uint8_t(dbf[2]), local.tm_mon + 1);
    EXPECT_EQ(le32(dbf, 4), 2u);
    EXPECT_EQ(le16(dbf, 8), kHeaderLength);
    EXPECT_EQ(le16(dbf, 10), kRecordLength);
    EXPECT_EQ(uint8_t(dbf[28]), 0);
    EXPECT_EQ(uint8_t(dbf[29]), 0x7A);
    EXPECT_EQ(dbf.substr(32, 18), std::string("ITEM_4\0\0\0\0\0C\0\0\0\0\x0A\0", 18));
    EXPECT_EQ(dbf.substr(64 + 16, 2), std::string("\x14\0", 2));             // ITEM_3 C(20)
    EXPECT_EQ(dbf.substr(96 + 11, 7), std::string("N\0\0\0\0\x0C\x02", 7));  // N(12,2)
    EXPECT_EQ(dbf[128 + 11], 'D');
    EXPECT_EQ(dbf[160 + 11], 'L');
    EXPECT_EQ(dbf[192 + 11], 'M');
    EXPECT_EQ(dbf[kHeaderLength - 1], 0x0D);

    std::string first = dbf.substr(kHeaderLength, kRecordLength);
    EXPECT_EQ(first, " 2004000001" + *GbkCodec::encode("中文") + std::string(16, ' ') +
                         "        3.46" + "20040501" + "T" + "         1");
    std::string second = dbf.substr(kHeaderLength + kRecordLength, kRecordLength);
    EXPECT_EQ(second, "*2004000002" + std::string(kRecordLength - 11, ' '));
    EXPECT_EQ(dbf.back(), 0x1A);

    std::string dbt = readBytes(dbtPath());
    std::string memo = *GbkCodec::encode(kLongMemo);
    ASSERT_EQ(dbt.size(), 3 * 512u);
    EXPECT_EQ(le32(dbt, 0), 3u);  // next free block
    EXPECT_EQ(dbt[16], 0x03);
    EXPECT_EQ(dbt.substr(512, memo.size() + 2), memo + "\x1A\x1A");
}

TEST_F(DbfTest, WritesVersionThreeWithoutMemoFile) {
    DbfFile::create(path, {{"CODE", FieldType::Character, 4, 0}});
    std::string dbf = readBytes(path);
    EXPECT_EQ(uint8_t(dbf[0]), 0x03);
    EXPECT_EQ(dbf.size(), size_t(32 + 32 + 1 + 1));
    EXPECT_EQ(dbf.back(), 0x1A);
    EXPECT_FALSE(std::filesystem::exists(dbtPath()));
}

TEST_F(DbfTest, ChangedMemoIsAppendedAndUnchangedMemoKeepsItsBlocks) {
    auto table = makeTable();
    fillSample(*table);
    table->update(1, {{Notes, kLongMemo}, {Name, "改名"}});
    EXPECT_EQ(readBytes(dbtPath()).size(), 3 * 512u);
    table->update(1, {{Notes, "短"}});
    std::string dbt = readBytes(dbtPath());
    EXPECT_EQ(dbt.size(), 4 * 512u);
    EXPECT_EQ(le32(dbt, 0), 4u);
    EXPECT_EQ(readBytes(path).substr(kHeaderLength + kRecordLength - 10, 10), "         3");
    EXPECT_EQ(table->value(1, Notes), Value("短"));
    EXPECT_EQ(table->value(1, Name), Value("改名"));
    table->update(1, {{Notes, Value()}});
    EXPECT_TRUE(table->value(1, Notes).isNull());
    EXPECT_EQ(readBytes(dbtPath()).size(), 4 * 512u);
}

struct RoundTrip {
    const char* name;
    int field;
    Value written;
    Value read;
};

TEST_F(DbfTest, ValuesRoundTripThroughTheFile) {
    const RoundTrip cases[] = {
        {"chinese_text", Name, "成果名称", "成果名称"},
        {"leading_blanks_kept", Name, "  lead", "  lead"},
        {"trailing_blanks_trimmed", Name, "trail   ", "trail"},
        {"full_width_fits_exactly", Name, "一二三四五六七八九十", "一二三四五六七八九十"},
        {"empty_text_is_null", Name, "", Value()},
        {"blank_text_is_null", Name, "   ", Value()},
        {"number_as_text", Name, 12.5, "12.5"},
        {"number_rounded", Amount, 3.456, 3.46},
        {"negative_number", Amount, -1234.5, -1234.5},
        {"number_from_text", Amount, " 7 ", 7},
        {"tiny_negative_is_zero", Amount, -0.001, 0},
        {"widest_number", Amount, 999999999.99, 999999999.99},
        {"null_number", Amount, Value(), Value()},
        {"empty_number_is_null", Amount, "", Value()},
        {"date", Day, Date{2004, 5, 1}, Date{2004, 5, 1}},
        {"date_from_text", Day, "2004.5.1", Date{2004, 5, 1}},
        {"null_date", Day, Value(), Value()},
        {"empty_date_is_null", Day, "", Value()},
        {"true", Flag, true, true},
        {"false_from_text", Flag, "F", false},
        {"null_flag", Flag, Value(), Value()},
        {"long_memo_with_crlf", Notes, kLongMemo, kLongMemo},
        {"memo_of_exactly_one_block", Notes, std::string(510, 'm'), std::string(510, 'm')},
        {"empty_memo_is_null", Notes, "", Value()},
    };
    {
        auto table = makeTable();
        for (const auto& c : cases) {
            table->append({{c.field, c.written}});
        }
    }
    auto table = DbfFile::open(path);
    ASSERT_EQ(table->recordCount(), std::size(cases));
    for (uint32_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        EXPECT_EQ(table->value(i + 1, c.field), c.read) << c.name;
        for (int other = 0; other < static_cast<int>(table->fields().size()); ++other) {
            if (other != c.field) {
                EXPECT_TRUE(table->value(i + 1, other).isNull()) << c.name << " field " << other;
            }
        }
    }
}

TEST_F(DbfTest, NumbersAndDatesAreStoredInTheirFieldForm) {
    auto table = makeTable();
    table->append({{Amount, -0.001}, {Day, "2004-12-31"}});
    table->append({{Amount, 2.675}});  // 2.67499999... in binary
    std::string dbf = readBytes(path);
    EXPECT_EQ(dbf.substr(kHeaderLength + 31, 12), "        0.00");
    EXPECT_EQ(dbf.substr(kHeaderLength + 43, 8), "20041231");
    EXPECT_EQ(dbf.substr(kHeaderLength + kRecordLength + 31, 12), "        2.67");
    EXPECT_EQ(dbf.substr(kHeaderLength + kRecordLength + 43, 8), "        ");
}

struct Refusal {
    const char* name;
    int field;
    Value value;
    const char* fragment;
};

TEST_F(DbfTest, RefusedValuesNameTableAndFieldAndWriteNothing) {
    const Refusal cases[] = {
        {"text_too_wide", Name, std::string(21, 'a'), "在 GBK 中占 21 字节"},
        {"chinese_too_wide", Name, "一二三四五六七八九十一", "在 GBK 中占 22 字节"},
        {"character_would_straddle_the_end", Key, "abcdefghi中", "在 GBK 中占 11 字节"},
        {"outside_gbk", Name, "emoji 😀", "GBK 不能表示"},
        {"korean_outside_gbk", Name, "한국어", "GBK 不能表示"},
        {"number_too_wide", Amount, 1e10, "超出了字段的宽度"},
        {"number_too_wide_after_rounding", Amount, 999999999.999, "超出了字段的宽度"},
        {"negative_too_wide", Amount, -100000000.0, "超出了字段的宽度"},
        {"not_a_number", Amount, "12a", "不是数字"},
        {"date_in_number", Amount, Date{2004, 5, 1}, "不是数字"},
        {"not_finite", Amount, std::numeric_limits<double>::infinity(), "不是有限值"},
        {"impossible_date", Day, "2004-02-30", "不是日期"},
        {"number_in_date", Day, 20040501, "不是日期"},
        {"not_a_flag", Flag, "X", "不是 T 或 F"},
        {"memo_with_end_mark", Notes,
         "a\x1A"
         "b",
         "U+001A"},
        {"memo_outside_gbk", Notes, "😀", "GBK 不能表示"},
    };
    auto table = makeTable();
    fillSample(*table);
    std::string dbf = readBytes(path), dbt = readBytes(dbtPath());
    for (const auto& c : cases) {
        for (bool asUpdate : {false, true}) {
            // The valid memo alongside must not reach the memo file either.
            std::vector<std::pair<int, Value>> values = {{Notes, "valid memo"}, {c.field, c.value}};
            try {
                asUpdate ? table->update(1, values) : void(table->append(values));
                ADD_FAILURE() << c.name << " was accepted";
            } catch (const ValueError& e) {
                std::string message = e.what();
                EXPECT_NE(message.find("hvel"), std::string::npos) << message;
                EXPECT_NE(message.find(table->fields()[c.field].name), std::string::npos)
                    << message;
                EXPECT_NE(message.find(c.fragment), std::string::npos) << message;
            }
            EXPECT_EQ(readBytes(path), dbf) << c.name;
            EXPECT_EQ(readBytes(dbtPath()), dbt) << c.name;
            EXPECT_EQ(table->recordCount(), 2u);
        }
    }
}

TEST_F(DbfTest, ReadsValuesOtherProgramsWriteLeniently) {
    auto table = makeTable();
    table->append({{Key, "x"}});
    table.reset();
    std::string dbf = readBytes(path);
    size_t record = kHeaderLength;
    dbf.replace(record + 11, 20, "ab\xD6" + std::string(17, ' '));  // lone lead byte at the end
    dbf.replace(record + 31, 12, "************");
    dbf.replace(record + 43, 8, "00000000");
    dbf[record + 51] = '?';
    writeBytes(path, dbf);
    table = DbfFile::open(path);
    EXPECT_EQ(table->value(1, Name), Value("ab\xEF\xBF\xBD"));
    EXPECT_TRUE(table->value(1, Amount).isNull());
    EXPECT_TRUE(table->value(1, Day).isNull());
    EXPECT_TRUE(table->value(1, Flag).isNull());
}

// A page writes back every field it shows; one holding a byte that is not GBK (shown as
// U+FFFD, which GBK cannot hold) must not stop the save of the others.
TEST_F(DbfTest, AValueReadBackUnchangedKeepsItsStoredBytes) {
    makeTable()->append({{Key, "x"}, {Notes, "备注"}});
    std::string dbf = readBytes(path);
    const std::string unreadable = "ab\xD6" + std::string(17, ' ');
    dbf.replace(kHeaderLength + 11, 20, unreadable);
    writeBytes(path, dbf);
    auto table = DbfFile::open(path, LockMode::Exclusive);
    const Value shown = table->value(1, Name);
    ASSERT_EQ(shown, Value("ab\xEF\xBF\xBD"));
    const std::string dbt = readBytes(dbtPath());
    table->update(1, {{Name, shown}, {Key, "y"}, {Notes, "备注"}, {Amount, Value()}});
    EXPECT_EQ(table->value(1, Key), Value("y"));
    EXPECT_EQ(readBytes(path).substr(kHeaderLength + 11, 20), unreadable);
    EXPECT_EQ(readBytes(dbtPath()), dbt);
    // Given twice, a field takes the last value.
    table->update(1, {{Name, "z"}, {Name, shown}});
    EXPECT_EQ(readBytes(path).substr(kHeaderLength + 11, 20), unreadable);
    EXPECT_THROW(table->update(1, {{Name, shown}, {Name, "改"}, {Name, "😀"}}), ValueError);
}

void replaceAll(const std::string& file, const std::string& from, const std::string& to) {
    std::string bytes = readBytes(file);
    for (size_t at; (at = bytes.find(from)) != std::string::npos;) {
        bytes.replace(at, from.size(), to);
    }
    writeBytes(file, bytes);
}

// XXXX in a text field and YYYY in a memo become bytes that are not GBK.
void makeUndecodable(const std::string& dbf, const std::string& dbt) {
    replaceAll(dbf, "XXXX", "ab\xFF ");
    replaceAll(dbt, "YYYY", "\xFE\xFE!!");
}

using Places = std::vector<std::pair<uint32_t, int>>;

// Bytes that are not GBK are found where they are stored, in a text field or a memo of a live
// record; a deleted record's do not count.
TEST_F(DbfTest, FindsTheFieldsWhoseBytesAreNotGbk) {
    {
        auto table = makeTable();
        table->append({{Key, "1"}, {Name, "中文"}, {Notes, "备注"}});
        table->append({{Key, "2"}, {Name, "XXXX"}});
        table->append({{Key, "3"}, {Notes, "YYYY"}});
        table->append({{Key, "4"}, {Name, "XXXX"}});
        table->setDeleted(4, true);
    }
    makeUndecodable(path, dbtPath());
    auto table = DbfFile::open(path);
    EXPECT_EQ(table->undecodableFields(), (Places{{2, Name}, {3, Notes}}));
}

// The pack's reading finds them as well and names them in the packed file; a write leaves
// them to be read again.
TEST_F(DbfTest, PackFindsTheFieldsWhoseBytesAreNotGbk) {
    {
        auto table = makeTable();
        table->append({{Key, "1"}, {Name, "XXXX"}});
        table->append({{Key, "2"}});
        table->append({{Key, "3"}, {Notes, "YYYY"}});
        table->append({{Key, "4"}, {Name, "XXXX"}});
        table->setDeleted(1, true);
    }
    makeUndecodable(path, dbtPath());
    auto table = DbfFile::open(path, LockMode::Exclusive);
    table->pack();
    const Places packed{{2, Notes}, {3, Name}};
    EXPECT_EQ(table->index().undecodable(), std::optional<Places>(packed));
    EXPECT_EQ(table->undecodableFields(), packed);
    table->update(1, {{Key, "22"}});
    EXPECT_EQ(table->index().undecodable(), std::nullopt);
    EXPECT_EQ(table->undecodableFields(), packed);
}

TEST_F(DbfTest, ReadsLanguageBytesThatMeanGbk) {
    {
        auto table = makeTable();
        table->append({{Name, "中文"}});
    }
    for (unsigned char language : {0x7A, 0x4D, 0x00}) {
        std::string dbf = readBytes(path);
        dbf[29] = static_cast<char>(language);
        writeBytes(path, dbf);
        EXPECT_EQ(DbfFile::open(path)->value(1, "item_3"), Value("中文")) << int(language);
    }
}

TEST_F(DbfTest, ReadsPaddedHeadersAndRecords) {
    // Header "0D 00" and two bytes of padding after the last field, as some writers do.
    {
        auto table = makeTable();
        table->append({{Key, "k1"}, {Flag, true}});
        table->append({{Key, "k2"}, {Notes, "memo"}});
    }
    std::string dbf = readBytes(path);
    std::string header = dbf.substr(0, kHeaderLength) + '\0';
    header[8] = static_cast<char>(kHeaderLength + 1);
    header[10] = static_cast<char>(kRecordLength + 2);
    std::string out = header;
    for (int i = 0; i < 2; ++i) {
        out += dbf.substr(kHeaderLength + i * kRecordLength, kRecordLength) + "--";
    }
    writeBytes(path, out + '\x1A');
    auto table = DbfFile::open(path);
    ASSERT_EQ(table->recordCount(), 2u);
    EXPECT_EQ(table->value(1, Key), Value("k1"));
    EXPECT_EQ(table->value(1, Flag), Value(true));
    EXPECT_EQ(table->value(2, Key), Value("k2"));
    EXPECT_EQ(table->value(2, Notes), Value("memo"));
    // Padding is not what the fields take: the table is read, never written.
    EXPECT_NE(table->damage().find("记录长度 64"), std::string::npos) << table->damage();
}

TEST_F(DbfTest, ReadsIntegerFieldsButDoesNotWriteThem) {
    DbfFile::create(path,
                    {{"CODE", FieldType::Character, 4, 0}, {"N", FieldType::Character, 4, 0}});
    std::string dbf = readBytes(path);
    dbf[64 + 11] = 'I';
    writeBytes(path, dbf);
    auto table = DbfFile::open(path, LockMode::Exclusive);
    EXPECT_EQ(table->fields()[1].type, FieldType::Integer);
    table->append({{0, "a"}});
    EXPECT_EQ(table->value(1, 1), Value(0));
    EXPECT_THROW(table->update(1, {{1, 5}}), ValueError);
    table.reset();
    dbf = readBytes(path);
    dbf.replace(97 + 1 + 4, 4, std::string("\xFE\xFF\xFF\xFF", 4));  // header 32 + 2 * 32 + 1
    writeBytes(path, dbf);
    EXPECT_EQ(DbfFile::open(path)->value(1, 1), Value(-2));
}

TEST_F(DbfTest, ReadsDbaseFourMemosAndAppendsInTheirForm) {
    {
        auto table = makeTable();
        table->append({{Key, "k"}});
    }
    // Turn the table into a dBase IV one: version 8B, a memo file of 64-byte blocks whose
    // memos start with FF FF 08 00 and a length that counts those 8 bytes.
    std::string dbf = readBytes(path);
    dbf[0] = static_cast<char>(0x8B);
    dbf.replace(kHeaderLength + kRecordLength - 10, 10, "         1");
    writeBytes(path, dbf);
    std::string dbt(64, '\0');
    dbt[0] = 2;
    dbt[20] = 64;
    std::string memo = *GbkCodec::encode("四号备注");
    dbt += std::string("\xFF\xFF\x08\x00", 4) + char(memo.size() + 8) + std::string(3, '\0') + memo;
    dbt.resize(128, '\0');
    writeBytes(dbtPath(), dbt);

    auto table = DbfFile::open(path, LockMode::Exclusive);
    EXPECT_EQ(table->value(1, Notes), Value("四号备注"));
    table->append({{Notes, kLongMemo}});
    EXPECT_EQ(table->value(2, Notes), Value(kLongMemo));
    dbt = readBytes(dbtPath());
    EXPECT_EQ(dbt.substr(128, 4), std::string("\xFF\xFF\x08\x00", 4));
    EXPECT_EQ(le32(dbt, 132), GbkCodec::encode(kLongMemo)->size() + 8);
    EXPECT_EQ(dbt.size() % 64, 0u);
    EXPECT_EQ(le32(dbt, 0), dbt.size() / 64);
}

TEST_F(DbfTest, FindsTheMemoFileWhateverItsCase) {
    {
        auto table = makeTable();
        table->append({{Notes, "memo"}});
    }
    std::filesystem::rename(dbtPath(), dir.file("hvel.dbt"));
    auto table = DbfFile::open(path);
    EXPECT_EQ(table->value(1, Notes), Value("memo"));
    EXPECT_EQ(table->memoPath(), dir.file("hvel.dbt"));
}

TEST_F(DbfTest, NamesFieldsWithoutRegardToCase) {
    auto table = makeTable();
    EXPECT_EQ(table->fieldIndex("item_45"), Amount);
    EXPECT_EQ(table->fieldIndex("Flag"), Flag);
    EXPECT_EQ(table->fieldIndex("ITEM_9"), -1);
    table->append({{Key, "k"}});
    EXPECT_EQ(table->value(1, "item_4"), Value("k"));
    EXPECT_THROW(table->value(1, "nothing"), EngineError);
    EXPECT_THROW(table->value(2, Key), EngineError);
    EXPECT_THROW(table->value(0, Key), EngineError);
}

TEST_F(DbfTest, RefusesFieldListsTheFormatCannotHold) {
    const std::vector<std::vector<FieldDef>> lists = {
        {},
        {{"NAMETOOLONG", FieldType::Character, 1, 0}},
        {{"名称太长了啊", FieldType::Character, 1, 0}},
        {{"A B", FieldType::Character, 1, 0}},
        {{"A", FieldType::Character, 1, 0}, {"a", FieldType::Character, 1, 0}},
        {{"A", FieldType::Character, 0, 0}},
        {{"A", FieldType::Character, 255, 0}},
        {{"A", FieldType::Numeric, 21, 0}},
        {{"A", FieldType::Numeric, 5, 4}},
        {{"A", FieldType::Date, 9, 0}},
        {{"A", FieldType::Integer, 4, 0}},
    };
    for (const auto& fields : lists) {
        EXPECT_THROW(DbfFile::create(path, fields), ValueError)
            << (fields.empty() ? "no fields" : fields.back().name);
        EXPECT_FALSE(std::filesystem::exists(path));
    }
}

TEST_F(DbfTest, IdentityFollowsTheFileOnDisk) {
    EXPECT_EQ(DbfFile::identityOf(path), DbfFile::Identity{});
    auto table = makeTable();
    EXPECT_EQ(table->identity(), DbfFile::identityOf(path));
    auto before = table->identity();
    table->append({{Key, "k"}});
    EXPECT_NE(table->identity(), before);
    EXPECT_EQ(table->identity(), DbfFile::identityOf(path));
}

// --- Locking ---------------------------------------------------------------------------

TEST_F(DbfTest, ExclusiveOpenShutsOutEveryOtherOpen) {
    DbfFile::create(path, sampleFields());
    {
        auto exclusive = DbfFile::open(path, LockMode::Exclusive);
        for (LockMode mode : {LockMode::Shared, LockMode::Exclusive}) {
            try {
                DbfFile::open(path, mode);
                ADD_FAILURE() << "second open succeeded";
            } catch (const EngineError& e) {
                EXPECT_NE(std::string(e.what()).find("正被其他用户或程序使用"), std::string::npos)
                    << e.what();
                EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
            }
        }
    }
    {
        auto shared1 = DbfFile::open(path);
        auto shared2 = DbfFile::open(path);
        EXPECT_FALSE(shared1->isExclusive());
        EXPECT_THROW(DbfFile::open(path, LockMode::Exclusive), EngineError);
    }
    EXPECT_TRUE(DbfFile::open(path, LockMode::Exclusive)->isExclusive());
}

TEST_F(DbfTest, MissingFilesAreEngineErrorsNamingThem) {
    try {
        DbfFile::open(path);
        ADD_FAILURE();
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos);
    }
    makeTable().reset();
    std::filesystem::remove(dbtPath());
    try {
        DbfFile::open(path);
        ADD_FAILURE();
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("备注文件"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
}

TEST_F(DbfTest, AFolderWhoseEntriesCannotBeMadeDurableIsAnErrorNamingIt) {
    EXPECT_NO_THROW(syncDirectory(directoryOf(path)));
    const std::string missing = directoryOf(path) + "/不在的文件夹";
    try {
        syncDirectory(missing);
        ADD_FAILURE();
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
    }
}

// --- Transactions ----------------------------------------------------------------------

TEST_F(DbfTest, RollbackRestoresBothFilesExactly) {
    auto table = makeTable();
    fillSample(*table);
    std::string dbf = readBytes(path), dbt = readBytes(dbtPath());
    table->beginTransaction();
    table->append({{Key, "2004000003"}, {Notes, kLongMemo}});
    table->update(1, {{Name, "改"}, {Notes, "新备注"}, {Amount, 1}});
    table->setDeleted(1, true);
    table->setDeleted(2, false);
    table->append({{Key, "2004000004"}});
    EXPECT_EQ(table->recordCount(), 4u);
    table->rollbackTransaction();
    EXPECT_FALSE(table->inTransaction());
    EXPECT_EQ(table->recordCount(), 2u);
    EXPECT_EQ(readBytes(path), dbf);
    EXPECT_EQ(readBytes(dbtPath()), dbt);
    EXPECT_EQ(table->value(1, Name), Value("中文"));
    EXPECT_EQ(table->value(1, Notes), Value(kLongMemo));
    // Writing goes on from the restored state.
    EXPECT_EQ(table->append({{Notes, "after"}}), 3u);
    EXPECT_EQ(table->value(3, Notes), Value("after"));
}

TEST_F(DbfTest, TransactionsNest) {
    auto table = makeTable();
    table->append({{Key, "a"}});
    table->beginTransaction();
    table->update(1, {{Key, "b"}});
    table->beginTransaction();
    table->update(1, {{Name, "inner"}});
    table->append({{Key, "c"}});
    table->rollbackTransaction();
    EXPECT_TRUE(table->inTransaction());
    EXPECT_EQ(table->recordCount(), 1u);
    EXPECT_EQ(table->value(1, Key), Value("b"));
    EXPECT_TRUE(table->value(1, Name).isNull());
    table->beginTransaction();
    table->append({{Key, "d"}});
    table->commitTransaction();
    table->rollbackTransaction();  // the outer one takes the committed inner one with it
    EXPECT_EQ(table->recordCount(), 1u);
    EXPECT_EQ(table->value(1, Key), Value("a"));

    table->beginTransaction();
    table->append({{Key, "e"}});
    table->commitTransaction();
    table.reset();
    table = DbfFile::open(path);
    EXPECT_EQ(table->recordCount(), 2u);
    EXPECT_EQ(table->value(2, Key), Value("e"));
    EXPECT_THROW(table->commitTransaction(), EngineError);
}

TEST_F(DbfTest, ClosingInsideATransactionRollsBack) {
    auto table = makeTable();
    table->append({{Key, "a"}});
    std::string dbf = readBytes(path);
    table->beginTransaction();
    table->append({{Key, "b"}, {Notes, "memo"}});
    table.reset();
    EXPECT_EQ(readBytes(path), dbf);
}

// --- Pack ------------------------------------------------------------------------------

TEST_F(DbfTest, PackRemovesDeletedRowsAndCompactsTheMemoFile) {
    auto table = makeTable();
    for (int i = 1; i <= 6; ++i) {
        table->append({{Key, "k" + std::to_string(i)}, {Notes, i % 2 ? kLongMemo : "短备注"}});
    }
    table->update(1, {{Notes, "rewritten"}});  // leaves two dead blocks behind
    table->setDeleted(2, true);
    table->setDeleted(5, true);
    size_t dbtBefore = readBytes(dbtPath()).size();
    table->pack();
    EXPECT_EQ(table->recordCount(), 4u);
    const char* keys[] = {"k1", "k3", "k4", "k6"};
    const std::string memos[] = {"rewritten", kLongMemo, "短备注", "短备注"};
    for (uint32_t r = 1; r <= 4; ++r) {
        EXPECT_EQ(table->value(r, Key), Value(keys[r - 1]));
        EXPECT_EQ(table->value(r, Notes), Value(memos[r - 1]));
        EXPECT_FALSE(table->isDeleted(r));
    }
    // 1 header block + 1 + 2 + 1 + 1 memo blocks.
    std::string dbt = readBytes(dbtPath());
    EXPECT_EQ(dbt.size(), 6 * 512u);
    EXPECT_LT(dbt.size(), dbtBefore);
    EXPECT_EQ(le32(dbt, 0), 6u);
    std::string dbf = readBytes(path);
    EXPECT_EQ(le32(dbf, 4), 4u);
    EXPECT_EQ(dbf.size(), size_t(kHeaderLength + 4 * kRecordLength + 1));
    EXPECT_EQ(table->identity(), DbfFile::identityOf(path));
    // The packed table stays open, exclusive and writable; no leftovers are beside it.
    EXPECT_THROW(DbfFile::open(path), EngineError);
    EXPECT_EQ(table->append({{Notes, "more"}}), 5u);
    table.reset();
    auto reopened = DbfFile::open(path);
    EXPECT_EQ(reopened->value(5, Notes), Value("more"));
    EXPECT_EQ(reopened->value(2, Notes), Value(kLongMemo));
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++files;
    }
    EXPECT_EQ(files, 2);
}

TEST_F(DbfTest, PackNeedsAnExclusiveOpenAndNoTransaction) {
    auto table = makeTable(LockMode::Shared);
    table->append({{Key, "a"}});
    table->setDeleted(1, true);
    EXPECT_THROW(table->pack(), EngineError);
    table.reset();
    table = DbfFile::open(path, LockMode::Exclusive);
    table->beginTransaction();
    EXPECT_THROW(table->pack(), EngineError);
    table->rollbackTransaction();
    table->pack();
    EXPECT_EQ(table->recordCount(), 0u);
}

TEST_F(DbfTest, PacksATableWithoutMemo) {
    DbfFile::create(path, {{"CODE", FieldType::Character, 4, 0}});
    auto table = DbfFile::open(path, LockMode::Exclusive);
    table->append({{0, "a"}});
    table->append({{0, "b"}});
    table->setDeleted(1, true);
    table->pack();
    EXPECT_EQ(table->recordCount(), 1u);
    EXPECT_EQ(table->value(1, 0), Value("b"));
    EXPECT_EQ(readBytes(path).size(), size_t(32 + 32 + 1 + 5 + 1));
}

// Slice by slice, the runs of live records are copied as they are, end to end.
TEST_F(DbfTest, PacksATableWithoutMemoOverSeveralSlices) {
    DbfFile::create(path, {{"CODE", FieldType::Character, 9, 0}});
    constexpr uint32_t kPerSlice = 1024 * 1024 / 10, kRecords = 3 * kPerSlice + 7;
    const std::set<uint32_t> deleted{1, kPerSlice, kPerSlice + 1, 2 * kPerSlice + 3, kRecords};
    std::string dbf = readBytes(path).substr(0, 32 + 32 + 1);
    std::string live;
    for (uint32_t r = 1; r <= kRecords; ++r) {
        char code[10];
        std::snprintf(code, sizeof code, "%9u", r);
        const std::string record = (deleted.contains(r) ? "*" : " ") + std::string(code, 9);
        dbf += record;
        if (!deleted.contains(r)) {
            live += record;
        }
    }
    std::memcpy(dbf.data() + 4, &kRecords, 4);
    writeBytes(path, dbf + '\x1a');
    auto table = DbfFile::open(path, LockMode::Exclusive);
    table->pack();
    const std::string packed = readBytes(path);
    EXPECT_EQ(le32(packed, 4), kRecords - deleted.size());
    EXPECT_EQ(packed.substr(8, 32 + 32 + 1 - 8), dbf.substr(8, 32 + 32 + 1 - 8));
    EXPECT_EQ(packed.substr(32 + 32 + 1), live + '\x1a');
}

TEST_F(DbfTest, PackLeavesACompactTableAsItIs) {
    auto table = makeTable();
    for (int i = 1; i <= 4; ++i) {
        table->append({{Key, "k" + std::to_string(i)}, {Notes, i % 2 ? kLongMemo : "短"}});
    }
    table->append({{Key, "k5"}});
    const std::string dbf = readBytes(path), dbt = readBytes(dbtPath());
    const auto identity = table->identity();
    table->pack();
    EXPECT_EQ(readBytes(path), dbf);
    EXPECT_EQ(readBytes(dbtPath()), dbt);
    EXPECT_EQ(DbfFile::identityOf(path), identity);  // not even rewritten with the same bytes
    EXPECT_EQ(table->value(3, Notes), Value(kLongMemo));
}

// A large table is read in slices of consecutive records, several at once; what is found in
// them must count as a reading in file order would count it. The table has four slices (the
// last one short) and one one-block memo in each slice, on the records kMemoRecords names.
struct SlicedCase {
    const char* name;
    std::function<void(std::string& dbf, std::string& dbt)> change;
    bool indexFirst;          // the deletion marks are learnt before the pack
    uint32_t recordsAfter;    // 0: the pack is refused as damaged
    size_t memoBlocksAfter;   // with the header block
    std::string damageNames;  // the record the refusal names
    bool untouched;
};

void PrintTo(const SlicedCase& c, std::ostream* out) {
    *out << c.name;
}

constexpr uint32_t kPerSlice = (1024 * 1024) / kRecordLength;
constexpr uint32_t kSlicedRecords = 3 * kPerSlice + 100;
constexpr uint32_t kMemoRecords[] = {10, kPerSlice + 10, 2 * kPerSlice + 10, 3 * kPerSlice + 10};

size_t recordAt(uint32_t recno) {
    return kHeaderLength + size_t(recno - 1) * kRecordLength;
}

void pointTo(std::string& dbf, uint32_t recno, const std::string& pointer) {
    const size_t at = recordAt(recno) + kRecordLength - 10;  // ITEM_13 is the last field
    dbf.replace(at, 10, std::string(10 - pointer.size(), ' ') + pointer);
}

// Whatever form the old memo blocks have, the packed memo file holds each live record's memo
// in record order, end to end, as an append stores it (blocks already in that form are copied
// as they are, the others stored afresh). Each case gives the memo file's blocks after its
// head block and each record's pointer and deletion mark; a deleted record after them makes
// the pack rewrite the files.
struct MemoLayoutCase {
    const char* name;
    std::vector<std::string> blocks;                    // written one after another as given
    std::vector<std::pair<std::string, bool>> records;  // pointer ("" for none), deleted
    std::vector<std::string> memosAfter;                // of the live records, in order
};

void PrintTo(const MemoLayoutCase& c, std::ostream* out) {
    *out << c.name;
}

// text padded with pad to whole blocks.
std::string inBlocks(const std::string& text, char pad = '\0') {
    return text + std::string((512 - text.size() % 512) % 512, pad);
}

// memo (UTF-8) as an append stores it.
std::string stored(const std::string& memo) {
    return inBlocks(*GbkCodec::encode(memo) + "\x1A\x1A");
}

class MemoLayoutTest : public DbfTest, public ::testing::WithParamInterface<MemoLayoutCase> {};

TEST_P(MemoLayoutTest, PackStoresEachLiveMemoAsAnAppendDoes) {
    const MemoLayoutCase& c = GetParam();
    {
        auto table = makeTable();
        for (size_t r = 1; r <= c.records.size() + 1; ++r) {
            table->append({{Key, "k" + std::to_string(r)}});
        }
        table->setDeleted(static_cast<uint32_t>(c.records.size() + 1), true);
    }
    std::string dbf = readBytes(path);
    for (size_t r = 1; r <= c.records.size(); ++r) {
        pointTo(dbf, static_cast<uint32_t>(r), c.records[r - 1].first);
        if (c.records[r - 1].second) {
            dbf[recordAt(static_cast<uint32_t>(r))] = '*';
        }
    }
    std::string head(512, '\0');
    head[16] = 3;
    std::string dbt = head;
    for (const std::string& block : c.blocks) {
        dbt += block;
    }
    const uint32_t next = static_cast<uint32_t>((dbt.size() + 511) / 512);
    std::memcpy(dbt.data(), &next, 4);
    writeBytes(path, dbf);
    writeBytes(dbtPath(), dbt);

    auto table = DbfFile::open(path, LockMode::Exclusive);
    table->pack();
    ASSERT_EQ(table->recordCount(), c.memosAfter.size());
    std::string expected = head;
    for (uint32_t r = 1; r <= c.memosAfter.size(); ++r) {
        const std::string& memo = c.memosAfter[r - 1];
        EXPECT_EQ(table->value(r, Notes), memo.empty() ? Value() : Value(memo)) << r;
        if (!memo.empty()) {
            expected += stored(memo);
        }
    }
    const uint32_t blocksAfter = static_cast<uint32_t>(expected.size() / 512);
    std::memcpy(expected.data(), &blocksAfter, 4);
    EXPECT_EQ(readBytes(dbtPath()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Pack, MemoLayoutTest,
    ::testing::Values(MemoLayoutCase{"as_stored_around_a_deleted_record",
                                     {stored("one"), stored("two"), stored(kLongMemo),
                                      stored("four")},
                                     {{"1", false}, {"2", true}, {"3", false}, {"5", false}},
                                     {"one", kLongMemo, "four"}},
                      MemoLayoutCase{"one_end_mark_and_bytes_after_it",
                                     {inBlocks("abc\x1A", 'g'), stored("next")},
                                     {{"1", false}, {"2", false}},
                                     {"abc", "next"}},
                      MemoLayoutCase{"blanks_after_the_end_marks",
                                     {inBlocks("abc\x1A\x1A", ' '), stored("next")},
                                     {{"1", false}, {"2", false}},
                                     {"abc", "next"}},
                      MemoLayoutCase{"two_records_on_one_memo",
                                     {stored("shared")},
                                     {{"1", false}, {"1", false}},
                                     {"shared", "shared"}},
                      MemoLayoutCase{"memos_not_in_record_order",
                                     {stored("second"), stored("first")},
                                     {{"2", false}, {"1", false}},
                                     {"first", "second"}},
                      MemoLayoutCase{"last_memo_without_end_mark",
                                     {stored("one"), "tail   "},
                                     {{"1", false}, {"2", false}},
                                     {"one", "tail"}},
                      MemoLayoutCase{"empty_memo_and_no_memo",
                                     {inBlocks("\x1A\x1A"), stored("after")},
                                     {{"1", false}, {"", false}, {"2", false}},
                                     {"", "", "after"}}),
    [](const auto& info) { return std::string(info.param.name); });

class SlicedTableTest : public DbfTest, public ::testing::WithParamInterface<SlicedCase> {};

TEST_P(SlicedTableTest, CountsWhatItFindsAsInFileOrder) {
    const SlicedCase& c = GetParam();
    makeTable()->append({{Key, "k"}});
    std::string dbf = readBytes(path);
    const std::string record = dbf.substr(kHeaderLength, kRecordLength);
    dbf.resize(kHeaderLength);
    for (uint32_t r = 0; r < kSlicedRecords; ++r) {
        dbf += record;
    }
    dbf += '\x1a';
    std::memcpy(dbf.data() + 4, &kSlicedRecords, 4);
    std::string dbt(512, '\0');
    for (size_t i = 0; i < std::size(kMemoRecords); ++i) {
        const std::string memo = "memo " + std::to_string(i) + "\x1a\x1a";
        dbt += memo + std::string(512 - memo.size(), '\0');
        pointTo(dbf, kMemoRecords[i], std::to_string(i + 1));
    }
    const uint32_t nextBlock = 5;
    std::memcpy(dbt.data(), &nextBlock, 4);
    c.change(dbf, dbt);
    writeBytes(path, dbf);
    writeBytes(dbtPath(), dbt);

    auto table = DbfFile::open(path, LockMode::Exclusive);
    const auto identity = table->identity();
    if (c.indexFirst) {
        EXPECT_EQ(table->index().liveRecords().size(), c.recordsAfter);
    }
    if (c.recordsAfter == 0) {
        try {
            table->pack();
            ADD_FAILURE() << "packed";
        } catch (const EngineError& e) {
            EXPECT_NE(std::string(e.what()).find(c.damageNames), std::string::npos) << e.what();
        }
        // What the pack had written beside the table before it found the damage is gone.
        EXPECT_EQ(readBytes(path), dbf);
        EXPECT_EQ(readBytes(dbtPath()), dbt);
        int files = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            ++files;
        }
        EXPECT_EQ(files, 2);
        return;
    }
    table->pack();
    EXPECT_EQ(table->recordCount(), c.recordsAfter);
    EXPECT_EQ(readBytes(dbtPath()).size(), c.memoBlocksAfter * 512);
    if (c.untouched) {
        EXPECT_EQ(readBytes(path), dbf);
        EXPECT_EQ(DbfFile::identityOf(path), identity);  // not even rewritten
    }
    for (uint32_t i = 0; i < 3; ++i) {  // the memos before the change stand where they stood
        EXPECT_EQ(table->value(kMemoRecords[i], Notes), Value("memo " + std::to_string(i)));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Slices, SlicedTableTest,
    ::testing::Values(
        SlicedCase{"compact", [](std::string&, std::string&) {}, false, kSlicedRecords, 5, "",
                   true},
        SlicedCase{"compact_known", [](std::string&, std::string&) {}, true, kSlicedRecords, 5, "",
                   true},
        SlicedCase{"deleted_in_the_last_slice",
                   [](std::string& dbf, std::string&) { dbf[recordAt(3 * kPerSlice + 50)] = '*'; },
                   false, kSlicedRecords - 1, 5, "", false},
        SlicedCase{"deleted_in_the_last_slice_known",
                   [](std::string& dbf, std::string&) { dbf[recordAt(3 * kPerSlice + 50)] = '*'; },
                   true, kSlicedRecords - 1, 5, "", false},
        SlicedCase{"unused_memo_block_in_the_last_slice",
                   [](std::string& dbf, std::string& dbt) {
                       // the last memo moves one block on, leaving block 4 unused
                       dbt.insert(4 * 512, std::string(512, 'x'));
                       const uint32_t next = 6;
                       std::memcpy(dbt.data(), &next, 4);
                       pointTo(dbf, kMemoRecords[3], "5");
                   },
                   false, kSlicedRecords, 5, "", false},
        SlicedCase{"pointers_out_of_the_memo_file_in_two_slices",
                   [](std::string& dbf, std::string&) {
                       pointTo(dbf, 3 * kPerSlice + 20, "888");
                       pointTo(dbf, kPerSlice + 20, "999");
                   },
                   false, 0, 0, "第 " + std::to_string(kPerSlice + 20) + " 条记录", false},
        // The deleted record starts the writing; the pointer in the last slice stops it.
        SlicedCase{"deleted_in_the_first_slice_pointer_out_in_the_last",
                   [](std::string& dbf, std::string&) {
                       dbf[recordAt(5)] = '*';
                       pointTo(dbf, 3 * kPerSlice + 20, "888");
                   },
                   false, 0, 0, "第 " + std::to_string(3 * kPerSlice + 20) + " 条记录", false}),
    [](const auto& info) { return std::string(info.param.name); });

// A pack (and create) writes the new table file as T.packtmp and the new memo file as
// M.packnew, renames T.packtmp to T.packnew, renames T aside to T.packold, renames M.packnew to
// M and T.packnew to T, and removes T.packold. Each case leaves the files of one moment of that
// sequence; opening must find one whole table and nothing beside it.
struct PackMoment {
    const char* name;
    bool newTable, newMemo;  // which version T and M hold (T missing: tableThere false)
    bool tableThere;
    bool partTable, nextTable, nextMemo, oldTable;  // T.packtmp, T.packnew, M.packnew, T.packold
    bool packedExpected;
};

void PrintTo(const PackMoment& moment, std::ostream* out) {
    *out << moment.name;
}

class InterruptedPackTest : public DbfTest, public ::testing::WithParamInterface<PackMoment> {};

TEST_P(InterruptedPackTest, OpeningFindsOneWholeTable) {
    const PackMoment& m = GetParam();
    // The old table and, made in another directory, the packed one.
    auto table = makeTable();
    for (int i = 1; i <= 4; ++i) {
        table->append({{Key, "k" + std::to_string(i)}, {Notes, "备注" + std::to_string(i)}});
    }
    table->setDeleted(1, true);
    table->setDeleted(3, true);
    table.reset();
    const std::string oldDbf = readBytes(path), oldDbt = readBytes(dbtPath());
    TempDir other;
    writeBytes(other.file("hvel.DBF"), oldDbf);
    writeBytes(other.file("hvel.DBT"), oldDbt);
    DbfFile::open(other.file("hvel.DBF"), LockMode::Exclusive)->pack();
    const std::string newDbf = readBytes(other.file("hvel.DBF"));
    const std::string newDbt = readBytes(other.file("hvel.DBT"));

    std::filesystem::remove(path);
    if (m.tableThere)
        writeBytes(path, m.newTable ? newDbf : oldDbf);
    writeBytes(dbtPath(), m.newMemo ? newDbt : oldDbt);
    if (m.partTable)
        writeBytes(path + ".packtmp", newDbf.substr(0, 100));
    if (m.nextTable)
        writeBytes(path + ".packnew", newDbf);
    if (m.nextMemo)
        writeBytes(dbtPath() + ".packnew", newDbt);
    if (m.oldTable)
        writeBytes(path + ".packold", oldDbf);

    // A hidden table is still found by its name.
    EXPECT_EQ(Database(dir.path()).tablePath("HVEL"), path);
    table = DbfFile::open(path);
    std::vector<std::string> keys, memos;
    for (uint32_t r = 1; r <= table->recordCount(); ++r) {
        if (!table->isDeleted(r)) {
            keys.push_back(table->value(r, Key).asText());
            memos.push_back(table->value(r, Notes).asText());
        }
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"k2", "k4"}));
    EXPECT_EQ(memos, (std::vector<std::string>{"备注2", "备注4"}));
    EXPECT_EQ(table->recordCount(), m.packedExpected ? 2u : 4u);
    EXPECT_EQ(readBytes(path), m.packedExpected ? newDbf : oldDbf);
    EXPECT_EQ(readBytes(dbtPath()), m.packedExpected ? newDbt : oldDbt);
    for (const char* leftover : {".packtmp", ".packnew", ".packold"}) {
        EXPECT_FALSE(std::filesystem::exists(path + leftover)) << leftover;
        EXPECT_FALSE(std::filesystem::exists(dbtPath() + leftover)) << leftover;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Moments, InterruptedPackTest,
    ::testing::Values(
        PackMoment{"writing_the_table_file", false, false, true, true, false, false, false, false},
        PackMoment{"new_files_written", false, false, true, true, false, true, false, false},
        PackMoment{"new_table_file_named", false, false, true, false, true, true, false, false},
        PackMoment{"table_hidden", false, false, false, false, true, true, true, true},
        PackMoment{"memo_file_switched", false, true, false, false, true, false, true, true},
        PackMoment{"table_file_switched", true, true, true, false, false, false, true, true},
        PackMoment{"switch_done", true, true, true, false, false, false, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DbfTest, ATableHiddenByAPackStillRunningIsBusy) {
    makeTable().reset();
    std::filesystem::rename(path, path + ".packold");
    std::filesystem::copy_file(path + ".packold", path + ".packnew");
    PosixFile writer(path + ".packnew", LockMode::Exclusive);
    EXPECT_THROW(DbfFile::open(path), BusyError);
    EXPECT_FALSE(std::filesystem::exists(path));
}

// --- Damaged files ---------------------------------------------------------------------

// What a damaged file allows: nothing (the rows cannot be found), reading only, or everything
// (a fault that readers and writers can live with).
enum class Allows { Nothing, Reading, Everything };

struct Damage {
    const char* name;
    std::function<void(std::string& dbf, std::string& dbt)> mutate;
    Allows allows;
    const char* fragment = nullptr;  // in the error on open, or in the refusals of writes
    uint32_t records = 0;            // records seen when the file opens
    bool readFails = false;          // reading some field of some record fails cleanly
};

void setLe16(std::string& bytes, size_t at, uint16_t value) {
    std::memcpy(&bytes[at], &value, 2);
}
void setLe32(std::string& bytes, size_t at, uint32_t value) {
    std::memcpy(&bytes[at], &value, 4);
}

void PrintTo(const Damage& damage, std::ostream* out) {
    *out << damage.name;
}

class DamagedFileTest : public DbfTest, public ::testing::WithParamInterface<Damage> {
protected:
    // Every way of writing the table, each refused with its damage when it is damaged.
    void expectEveryWriteRefused(DbfFile& table, const Damage& damage) {
        const std::vector<std::pair<const char*, std::function<void()>>> writes = {
            {"append",
             [&] {
                 table.append({{Key, "new"}});
             }},
            {"update",
             [&] {
                 table.update(1, {{Name, "changed"}});
             }},
            {"delete", [&] { table.setDeleted(1, true); }},
            {"pack", [&] { table.pack(); }},
        };
        for (const auto& [name, write] : writes) {
            if (table.recordCount() == 0 && std::string_view(name) != "append" &&
                std::string_view(name) != "pack") {
                continue;
            }
            try {
                write();
                ADD_FAILURE() << name << " was allowed";
            } catch (const EngineError& e) {
                const std::string message = e.what();
                EXPECT_NE(message.find(path), std::string::npos) << name << ": " << message;
                EXPECT_NE(message.find(damage.fragment), std::string::npos)
                    << name << ": " << message;
                EXPECT_NE(message.find("不修改也不整理"), std::string::npos) << message;
            }
        }
        EXPECT_NE(table.damage().find(damage.fragment), std::string::npos) << table.damage();
    }
};

TEST_P(DamagedFileTest, IsReadWhereItCanBeAndNeverWritten) {
    const Damage& damage = GetParam();
    {
        auto table = makeTable();
        table->append({{Key, "k1"}, {Notes, kLongMemo}});
        table->append({{Key, "k2"}, {Notes, "短"}});
    }
    std::string dbf = readBytes(path), dbt = readBytes(dbtPath());
    damage.mutate(dbf, dbt);
    writeBytes(path, dbf);
    writeBytes(dbtPath(), dbt);
    if (damage.allows == Allows::Nothing) {
        try {
            DbfFile::open(path, LockMode::Exclusive);
            ADD_FAILURE() << "opened";
        } catch (const EngineError& e) {
            std::string message = e.what();
            EXPECT_NE(message.find(path), std::string::npos) << message;
            EXPECT_NE(message.find(damage.fragment), std::string::npos) << message;
        }
    } else {
        auto table = DbfFile::open(path, LockMode::Exclusive);
        EXPECT_EQ(table->recordCount(), damage.records);
        bool failed = false;
        for (uint32_t r = 1; r <= table->recordCount(); ++r) {
            for (int i = 0; i < static_cast<int>(table->fields().size()); ++i) {
                try {
                    table->value(r, i);
                } catch (const EngineError& e) {
                    failed = true;
                    EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
                }
            }
        }
        EXPECT_EQ(failed, damage.readFails);
        if (damage.allows == Allows::Reading) {
            expectEveryWriteRefused(*table, damage);
        } else {
            EXPECT_TRUE(table->damage().empty()) << table->damage();
            table->append({{Key, "k3"}, {Notes, "新"}});
            EXPECT_EQ(table->value(damage.records + 1, Notes), Value("新"));
            return;
        }
    }
    EXPECT_EQ(readBytes(path), dbf);
    EXPECT_EQ(readBytes(dbtPath()), dbt);
}

// The sample: header 225 bytes (6 fields), records of 62 bytes from offset 225, the memo
// pointer of record r at 225 + 62 (r - 1) + 52; memos at blocks 1 (two blocks) and 3.
constexpr size_t kRecord2 = kHeaderLength + kRecordLength;
constexpr size_t kMemoPointer = kHeaderLength + 52;

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedFileTest,
    ::testing::Values(
        // Cut at each region of the table file.
        Damage{"empty", [](auto& f, auto&) { f.clear(); }, Allows::Nothing, "文件太短"},
        Damage{"cut_in_the_header", [](auto& f, auto&) { f.resize(31); }, Allows::Nothing,
               "文件太短"},
        Damage{"cut_in_the_field_descriptors", [](auto& f, auto&) { f.resize(100); },
               Allows::Nothing, "超出了文件的长度"},
        Damage{"cut_before_the_records", [](auto& f, auto&) { f.resize(kHeaderLength); },
               Allows::Reading, "文件被截断了", 0},
        Damage{"cut_in_the_first_record", [](auto& f, auto&) { f.resize(kHeaderLength + 5); },
               Allows::Reading, "只有 0 条完整的记录", 0},
        Damage{"cut_in_the_second_record", [](auto& f, auto&) { f.resize(kRecord2 + 5); },
               Allows::Reading, "只有 1 条完整的记录", 1},
        Damage{"end_mark_missing", [](auto& f, auto&) { f.pop_back(); }, Allows::Everything,
               nullptr, 2},
        // Each field of the header wrong in turn.
        Damage{"version_of_another_format", [](auto& f, auto&) { f[0] = 0x30; }, Allows::Nothing,
               "版本字节 0x30"},
        Damage{"version_without_memo", [](auto& f, auto&) { f[0] = 0x03; }, Allows::Reading,
               "版本字节 0x03", 2},
        Damage{"date_of_last_update", [](auto& f, auto&) { f.replace(1, 3, "\xFF\xFF\xFF"); },
               Allows::Everything, nullptr, 2},
        Damage{"count_past_the_end", [](auto& f, auto&) { setLe32(f, 4, 1000000000); },
               Allows::Reading, "记录数是 1000000000", 2},
        Damage{"count_short_of_the_records", [](auto& f, auto&) { setLe32(f, 4, 1); },
               Allows::Reading, "其后却还有 1 条记录", 1},
        Damage{"header_length_too_small", [](auto& f, auto&) { setLe16(f, 8, 40); },
               Allows::Nothing, "文件头长度 40 太小"},
        Damage{"header_length_one_field_short",
               [](auto& f, auto&) { setLe16(f, 8, kHeaderLength - 32); }, Allows::Reading,
               "结束标记 0x0D", 2},
        Damage{"header_length_32_too_large",
               [](auto& f, auto&) { setLe16(f, 8, kHeaderLength + 32); }, Allows::Reading,
               "文件头长度 257", 1},
        Damage{"header_length_past_the_end", [](auto& f, auto&) { setLe16(f, 8, 60000); },
               Allows::Nothing, "超出了文件的长度"},
        Damage{"record_length_zero", [](auto& f, auto&) { setLe16(f, 10, 0); }, Allows::Nothing,
               "记录长度 0 太小"},
        Damage{"record_length_short_by_one",
               [](auto& f, auto&) { setLe16(f, 10, kRecordLength - 1); }, Allows::Nothing,
               "超出了记录长度 61"},
        Damage{"record_length_doubled", [](auto& f, auto&) { setLe16(f, 10, 2 * kRecordLength); },
               Allows::Reading, "记录长度 124 与各字段宽度之和加 1（62）不符", 1},
        Damage{"index_flag", [](auto& f, auto&) { f[28] = 1; }, Allows::Everything, nullptr, 2},
        Damage{"language_byte", [](auto& f, auto&) { f[29] = 0x57; }, Allows::Everything, nullptr,
               2},
        // Each part of a field descriptor, and the end of the descriptors.
        Damage{"name_not_ended", [](auto& f, auto&) { f.replace(32, 11, "ABCDEFGHIJK"); },
               Allows::Nothing, "11 个字节内没有结束"},
        Damage{"name_empty", [](auto& f, auto&) { f[32] = 0; }, Allows::Nothing, "名字是空的"},
        Damage{"name_used_twice", [](auto& f, auto&) { f.replace(64, 7, "item_4\0", 7); },
               Allows::Nothing, "用了两次"},
        Damage{"unknown_type", [](auto& f, auto&) { f[32 + 11] = 'X'; }, Allows::Nothing,
               "类型 0x58 不认识"},
        Damage{"text_width_zero", [](auto& f, auto&) { f[32 + 16] = 0; }, Allows::Nothing,
               "宽度 0"},
        Damage{"date_width", [](auto& f, auto&) { f[128 + 16] = 9; }, Allows::Nothing, "宽度 9"},
        Damage{"memo_width", [](auto& f, auto&) { f[192 + 16] = 4; }, Allows::Nothing, "宽度 4"},
        Damage{"decimals_too_many", [](auto& f, auto&) { f[96 + 17] = 12; }, Allows::Nothing,
               "小数"},
        Damage{"terminator_overwritten", [](auto& f, auto&) { f[kHeaderLength - 1] = ' '; },
               Allows::Reading, "结束标记 0x0D", 2},
        // The memo file: cut at each region, pointers and lengths outside it.
        Damage{"memo_file_cut_in_its_header", [](auto&, auto& m) { m.resize(2); }, Allows::Nothing,
               "备注文件太短"},
        Damage{"memo_file_cut_in_the_first_memo", [](auto&, auto& m) { m.resize(512 + 100); },
               Allows::Reading, "第 2 条记录的备注字段 ITEM_13 指向", 2, true},
        Damage{"memo_file_missing_its_last_memo", [](auto&, auto& m) { m.resize(3 * 512); },
               Allows::Reading, "第 2 条记录的备注字段 ITEM_13 指向", 2, true},
        Damage{"memo_pointer_past_the_memo_file",
               [](auto& f, auto&) { f.replace(kMemoPointer, 10, "       999"); }, Allows::Reading,
               "第 1 条记录的备注字段 ITEM_13 指向", 2, true},
        Damage{"memo_pointer_huge",
               [](auto& f, auto&) { f.replace(kMemoPointer, 10, "9999999999"); }, Allows::Reading,
               "不在备注文件之内", 2, true},
        Damage{"memo_pointer_not_digits",
               [](auto& f, auto&) { f.replace(kMemoPointer, 10, "   12ab   "); }, Allows::Reading,
               "不在备注文件之内", 2, true},
        Damage{"memo_pointer_to_the_header",
               [](auto& f, auto&) { f.replace(kMemoPointer, 10, "         0"); }, Allows::Reading,
               "不在备注文件之内", 2, true},
        Damage{"memo_end_mark_missing",
               [](auto&, auto& m) {
                   m.resize(3 * 512 + 2);
                   std::replace(m.begin() + 512, m.end(), '\x1A', 'y');
               },
               Allows::Everything, nullptr, 2},
        Damage{"dbase4_memo_length_past_the_end",
               [](auto& f, auto& m) {
                   f[0] = static_cast<char>(0x8B);
                   m[20] = 0;
                   m[21] = 2;  // 512-byte blocks
                   m.replace(512, 8, std::string("\xFF\xFF\x08\x00\xFF\xFF\x00\x00", 8));
               },
               Allows::Reading, "的长度 65535 超出了备注文件", 2, true},
        Damage{"dbase4_memo_bad_block_size",
               [](auto& f, auto& m) {
                   f[0] = static_cast<char>(0x8B);
                   m[20] = 3;
               },
               Allows::Nothing, "块大小 3"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace store
