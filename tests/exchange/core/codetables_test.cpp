// The code-table update without windows: packages read into the open table, table files
// copied over the data directory's, and every way a choice can go wrong leaving the table as
// it was.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "Archiver.h"
#include "CodeTables.h"
#include "DataModuleFixture.h"
#include "FakeArchiver.h"
#include "FixedHost.h"
#include "GbkCodec.h"
#include "ScratchFolder.h"
#include "Text.h"

namespace fs = std::filesystem;

namespace testsupport {
namespace {

using Rows = std::vector<std::vector<std::string>>;

struct Target {
    const char* name;
    std::function<store::Table&()> table;
    const exchange::CodeTable* code;
    const char* lines;   // a package's text (UTF-8 here, GBK in the file)
    Rows rows;           // the rows it gives
    const char* fields;  // the table's fields, for a replacement table file
};

void PrintTo(const Target& t, std::ostream* os) {
    *os << t.name;
}

const Target kTargets[] = {
    {"Dfjhzdxx",
     []() -> store::Table& { return DM->TblDFJHZDXX; },
     &exchange::kDfjhzdxx,
     "01\t01\t国家计划\r\n01\t02\t省计划\r\n",
     {{"01", "01", "国家计划"}, {"01", "02", "省计划"}},
     "item_126 C(2)\titem_41_ C(2)\txxmc C(60)"},
    {"Ztflh",
     []() -> store::Table& { return DM->Tztflh2; },
     &exchange::kZtflh,
     "1\tA\t马列主义\r\n2\t\"A\t1\"\t马克思著作\r\n",
     {{"1", "A", "马列主义"}, {"2", "A\t1", "马克思著作"}},
     "jb C(1)\txxdm C(12)\txxmc C(100)"},
    {"Xkfl",
     []() -> store::Table& { return DM->Txkfl2; },
     &exchange::kXkfl,
     "1\t110\t数学  \r\n",
     {{"1", "110", "数学"}},
     "jb C(1)\txxdm C(10)\txxmc C(60)"},
    {"Lsbw",
     []() -> store::Table& { return DM->tblLsbw; },
     &exchange::kLsbw,
     "001\t外交部\r\n002\t国防部\r\n",
     {{"001", "外交部"}, {"002", "国防部"}},
     "Bwdm C(3)\tBwmc C(60)"},
};

// Answers the file dialog with a path, empty for a cancel.
class ChosenFile final : public exchange::TableFileChoice {
public:
    QString chooseTableFile() override { return QString::fromStdString(path.string()); }
    fs::path path;
};

class CodeTablesTest : public DataModuleTest {
protected:
    void SetUp() override { startData({}); }

    fs::path folder() const { return fs::path(m_dir.path().toStdString()); }
    static Rows rowsOf(store::Dataset& table) { return datasetRows(table); }
    static void writeBytes(const fs::path& path, std::string_view bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static fs::path dataFile(const exchange::CodeTable& code) {
        return DM->database().tablePath(fs::path(code.tableFile).stem().string());
    }
    // Packs text as the table's text file into folder/packageFile with the real arj.
    fs::path packWithArj(const Target& t, const std::string& packageFile) {
        writeBytes(folder() / t.code->textFile, *store::GbkCodec::encode(t.lines));
        exchange::ArjArchiver().pack(folder(), packageFile, {t.code->textFile});
        fs::remove(folder() / t.code->textFile);
        return folder() / packageFile;
    }
    // Writes a table file of the given fields and rows at path.
    static void writeTableFile(const fs::path& path, const std::string& fields, const Rows& rows) {
        std::string text = fields + "\n";
        for (const auto& row : rows) {
            for (size_t i = 0; i < row.size(); ++i) {
                text += i ? "\t" : "";
                for (char c : row[i]) {
                    text += c == '\t' ? std::string("\\t") : std::string(1, c);
                }
            }
            text += "\n";
        }
        store::writeTable(store::parseTableText(text, "replacement"), path.string());
    }

    QTemporaryDir m_dir;
    FixedHost m_host;
    ChosenFile m_choice;
};

class CodeTableTargets : public CodeTablesTest, public ::testing::WithParamInterface<Target> {};

TEST_P(CodeTableTargets, PackageReplacesTheRows) {
    const Target& t = GetParam();
    const fs::path package = packWithArj(t, t.code->packageName);
    EXPECT_EQ(exchange::UpdateFromPackage(*t.code, t.table(), package, m_host),
              (exchange::CodeTableUpdate{exchange::CodeTableResult::Updated, {}}));
    EXPECT_EQ(rowsOf(t.table()), t.rows);
    // The package's folder is only read: the text file was unpacked elsewhere and is gone.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder()), fs::directory_iterator()), 1);
}

TEST_P(CodeTableTargets, TableFileReplacesTheDataFile) {
    const Target& t = GetParam();
    m_choice.path = folder() / t.code->tableFile;
    writeTableFile(m_choice.path, t.fields, t.rows);
    EXPECT_EQ(exchange::UpdateFromTableFile(*DM, *t.code, t.table(), m_choice).result,
              exchange::CodeTableResult::Updated);
    const fs::path target = dataFile(*t.code);
    EXPECT_EQ(readFile(target), readFile(m_choice.path));
    ASSERT_TRUE(t.table().active());
    EXPECT_EQ(rowsOf(t.table()), t.rows);
    EXPECT_FALSE(fs::exists(target.parent_path() / ("." + target.filename().string() + ".new")));
}

// A table file of the right name but other fields would leave the program reading fields
// that are not there: it is refused before anything is replaced; so is a file of another name.
TEST_P(CodeTableTargets, TableFilesThatCannotReplaceTheTableChangeNothing) {
    const Target& t = GetParam();
    const fs::path target = dataFile(*t.code);
    const std::string old = readFile(target);
    const Rows before = rowsOf(t.table());
    m_choice.path = folder() / t.code->tableFile;
    store::writeTable(store::parseTableText("a C(5)\tb N(3)\nx\t1\n", "other"),
                      m_choice.path.string());
    const exchange::CodeTableUpdate otherFields =
        exchange::UpdateFromTableFile(*DM, *t.code, t.table(), m_choice);
    EXPECT_EQ(otherFields.result, exchange::CodeTableResult::Refused);
    EXPECT_TRUE(
        otherFields.detail.starts_with("“" + std::string(t.code->tableFile) + "”的字段应依次为"))
        << otherFields.detail;
    EXPECT_TRUE(otherFields.detail.ends_with("（文字型），而它的字段是a、b。"))
        << otherFields.detail;

    fs::rename(m_choice.path, folder() / "OTHER.DBF");
    m_choice.path = folder() / "OTHER.DBF";
    EXPECT_EQ(exchange::UpdateFromTableFile(*DM, *t.code, t.table(), m_choice).result,
              exchange::CodeTableResult::WrongName);
    EXPECT_EQ(readFile(target), old);
    ASSERT_TRUE(t.table().active());
    EXPECT_EQ(rowsOf(t.table()), before);
}

INSTANTIATE_TEST_SUITE_P(Tables, CodeTableTargets, ::testing::ValuesIn(kTargets),
                         [](const auto& info) { return std::string(info.param.name); });

// Every package that cannot replace the rows leaves them as they were and says why; an empty
// text file empties the table.
struct PackageCase {
    const char* name;
    const char* error;  // the archiver fails with it
    std::map<std::string, std::string> files;
    exchange::CodeTableUpdate update;
    bool keepsRows;
};

void PrintTo(const PackageCase& c, std::ostream* os) {
    *os << c.name;
}

class CodeTablePackageTest : public CodeTablesTest,
                             public ::testing::WithParamInterface<PackageCase> {};

TEST_P(CodeTablePackageTest, ReplacesTheRowsOrKeepsThem) {
    const PackageCase& c = GetParam();
    const Rows before = rowsOf(DM->TblDFJHZDXX);
    ASSERT_FALSE(before.empty());
    FakeArchiver archiver;
    archiver.error = c.error;
    archiver.contents = folder() / "contents";
    fs::create_directories(archiver.contents);
    for (const auto& [name, bytes] : c.files) {
        writeBytes(archiver.contents / name, bytes);
    }
    EXPECT_EQ(exchange::UpdateFromPackage(exchange::kDfjhzdxx, DM->TblDFJHZDXX,
                                          folder() / "DFJHXX.ARJ", m_host),
              c.update);
    EXPECT_EQ(archiver.extracted, std::vector<std::string>{"DFJHXX.ARJ"});
    EXPECT_EQ(DM->TblDFJHZDXX.state(), store::Dataset::State::Browse);
    EXPECT_EQ(rowsOf(DM->TblDFJHZDXX), c.keepsRows ? before : Rows{});
}

using exchange::CodeTableResult;

INSTANTIATE_TEST_SUITE_P(
    Packages, CodeTablePackageTest,
    ::testing::Values(
        // Names from the archive match without regard to case.
        PackageCase{
            "EmptyTextFile", "", {{"dfjhxx.txt", ""}}, {CodeTableResult::Updated, {}}, false},
        PackageCase{"ArchiverFails",
                    "解压“DFJHXX.ARJ”失败（arj的退出状态为7）。",
                    {},
                    {CodeTableResult::ArchiverFailed, "解压“DFJHXX.ARJ”失败（arj的退出状态为7）。"},
                    true},
        PackageCase{
            "NoTextFile", "", {{"OTHER.TXT", "x"}}, {CodeTableResult::NoTextFile, {}}, true},
        PackageCase{"MoreColumns",
                    "",
                    {{"DFJHXX.TXT", "01\t01\tok\r\n01\t02\tname\textra\r\n"}},
                    {CodeTableResult::Refused, "“DFJHXX.TXT”中有1条记录的列数不是代码表的3列。"},
                    true},
        PackageCase{"FewerColumns",
                    "",
                    {{"DFJHXX.TXT", "01\t01\r\n"}},
                    {CodeTableResult::Refused, "“DFJHXX.TXT”中有1条记录的列数不是代码表的3列。"},
                    true},
        PackageCase{"ValueTooWide",
                    "",
                    {{"DFJHXX.TXT", "01\t01\tok\r\n01\t0123\ttoo wide\r\n"}},
                    {CodeTableResult::Refused,
                     "“DFJHXX.TXT”第2行有表中字段存不下的值（文字过长，或数字、日期的写法不对）。"},
                    true}),
    [](const auto& info) { return std::string(info.param.name); });

// A package that arj cannot unpack, made by arj and then cut short.
TEST_F(CodeTablesTest, ADamagedPackageKeepsTheRows) {
    const Rows before = rowsOf(DM->TblDFJHZDXX);
    const fs::path package = packWithArj(kTargets[0], "DFJHXX.ARJ");
    const std::string bytes = readFile(package);
    writeBytes(package, bytes.substr(0, bytes.size() - 10));
    const exchange::CodeTableUpdate update =
        exchange::UpdateFromPackage(exchange::kDfjhzdxx, DM->TblDFJHZDXX, package, m_host);
    EXPECT_EQ(update.result, CodeTableResult::Refused);
    EXPECT_TRUE(update.detail.starts_with("“DFJHXX.ARJ”不完整")) << update.detail;
    EXPECT_EQ(rowsOf(DM->TblDFJHZDXX), before);
    EXPECT_FALSE(fs::exists(folder() / "DFJHXX.TXT"));
}

TEST_F(CodeTablesTest, AFileThatIsNoTableOrNoChoiceKeepsTheOldOne) {
    const fs::path target = dataFile(exchange::kDfjhzdxx);
    const std::string old = readFile(target);
    const Rows before = rowsOf(DM->TblDFJHZDXX);
    fs::create_directories(folder() / "sub");
    m_choice.path = folder() / "sub" / "dfjhzdxx.dbf";
    writeBytes(m_choice.path, "this is not a table");
    EXPECT_EQ(exchange::UpdateFromTableFile(*DM, exchange::kDfjhzdxx, DM->TblDFJHZDXX, m_choice),
              (exchange::CodeTableUpdate{CodeTableResult::Refused,
                                         "“dfjhzdxx.dbf”不是可以读取的表文件。"}));
    m_choice.path.clear();
    EXPECT_EQ(
        exchange::UpdateFromTableFile(*DM, exchange::kDfjhzdxx, DM->TblDFJHZDXX, m_choice).result,
        CodeTableResult::Cancelled);
    EXPECT_EQ(readFile(target), old);
    EXPECT_FALSE(fs::exists(target.parent_path() / ("." + target.filename().string() + ".new")));
    ASSERT_TRUE(DM->TblDFJHZDXX.active());
    EXPECT_EQ(rowsOf(DM->TblDFJHZDXX), before);
}

TEST_F(CodeTablesTest, TheTreeTableOnTheSameFileSeesTheNewRows) {
    ASSERT_TRUE(store::text::equalsIgnoringCase(DM->Table1.tableName(), "xkfl"));
    DM->Table1.open();
    m_choice.path = folder() / "XKFL.DBF";
    writeTableFile(m_choice.path, "jb C(1)\txxdm C(10)\txxmc C(60)", {{"1", "999", "新学科"}});
    EXPECT_EQ(exchange::UpdateFromTableFile(*DM, exchange::kXkfl, DM->Txkfl2, m_choice).result,
              CodeTableResult::Updated);
    ASSERT_TRUE(DM->Table1.active());
    EXPECT_EQ(rowsOf(DM->Table1), (Rows{{"1", "999", "新学科"}}));
}

}  // namespace
}  // namespace testsupport
