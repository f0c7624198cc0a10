// The import of a package into the staging tables without windows: unpacking, reading with
// the staged counts, packages that lack files or cannot be read, dropping staged records and
// emptying the staging tables.
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "ArjCrafting.h"
#include "ScratchFolder.h"
#include "StagingFixture.h"

namespace fs = std::filesystem;

namespace testsupport {
namespace {

using exchange::StagedCounts;

class PackageImportTest : public StagingTest {};

TEST_F(PackageImportTest, ReadsEveryFileOfThePackageIntoStagingAndCountsByType) {
    open();
    writePackage(
        {staged("2023000001", "甲"), staged("2023000002", "乙"), staged("2023000003", "丙", "3"),
         staged("2023000004", "丁", "2"), staged("2023000005", "戊", "2")},
        {stagedPerson("2023000001", "张三")}, {stagedPatent("2023000001", "ZL1")});
    const exchange::PackageReading reading = importPackage();

    EXPECT_TRUE(reading.complete);
    EXPECT_TRUE(reading.missing.isEmpty());
    ASSERT_EQ(reading.read.size(), 6u);
    EXPECT_EQ(reading.read[0].first, QStringLiteral("HVEL.TXT"));
    EXPECT_EQ(reading.read[0].second, (exchange::ExchangeReadCounts{5, 0, 0}));
    EXPECT_EQ(m_steps.steps, (std::vector<std::string>{"reading", "file 0", "file 1", "file 2",
                                                       "file 3", "file 4", "file 5", "read"}));
    EXPECT_EQ(column("hveltemp.DBF", "ITEM_3"),
              (std::vector<std::string>{"甲", "乙", "丙", "丁", "戊"}));
    EXPECT_EQ(column("cgwcrtemp.DBF", "ITEM_180"), std::vector<std::string>{"张三"});
    EXPECT_EQ(column("zlqktemp.DBF", "PATENT_NO"), std::vector<std::string>{"ZL1"});
    EXPECT_EQ(m_import->counts(), (StagedCounts{5, 2, 2, 1}));
    // The staging table is back on the staged records; the unpacked files are gone.
    EXPECT_EQ(DM->T_temp_in.recordCount(), 5);
    EXPECT_FALSE(m_import->hasUnpacked());
    EXPECT_FALSE(fs::exists(m_archiver.unpackedInto));
}

// Five of the six files suffice; with fewer nothing is read and the files stay unpacked for a
// later try.
struct FilesCase {
    const char* name;
    std::vector<std::string> removed;
    bool withoutUnitTable;
    bool complete;
    QStringList missing;
};

void PrintTo(const FilesCase& c, std::ostream* os) {
    *os << c.name;
}

class PackageFilesTest : public StagingTest, public ::testing::WithParamInterface<FilesCase> {};

TEST_P(PackageFilesTest, FiveFilesAreEnough) {
    const FilesCase& c = GetParam();
    if (c.withoutUnitTable) {
        for (const char* file : {"UNITtemp.dbf", "UNITtemp.dbt"}) {
            fs::remove(m_program.file(file));
        }
    }
    open();
    writePackage({staged("2023000001", "甲")}, {stagedPerson("2023000001", "张三")});
    for (const std::string& file : c.removed) {
        fs::remove(m_contents / file);
    }
    const exchange::PackageReading reading = importPackage();
    EXPECT_EQ(reading.complete, c.complete);
    EXPECT_EQ(reading.missing, c.missing);
    EXPECT_EQ(rows("hveltemp.DBF").size(), c.complete ? 1u : 0u);
    EXPECT_EQ(m_import->hasUnpacked(), !c.complete);
    if (!c.complete) {
        EXPECT_TRUE(m_steps.steps.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Packages, PackageFilesTest,
    ::testing::Values(
        FilesCase{"AllSix", {}, false, true, {}},
        FilesCase{"WithoutPatents", {"ZLQK.TXT"}, false, true, {QStringLiteral("ZLQK.TXT")}},
        FilesCase{"WithoutTheUnitFile", {"UNIT.TXT"}, false, true, {QStringLiteral("unit.TXT")}},
        FilesCase{"TwoMissing", {"ZLQK.TXT", "CGWCR.TXT"}, false, false, {}},
        // An installation without the unit file's staging table skips the file.
        FilesCase{"WithoutTheUnitStagingTable", {}, true, true, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PackageImportTest, NothingIsReadBeforeAPackageIsUnpacked) {
    open();
    EXPECT_FALSE(m_import->hasUnpacked());
    EXPECT_FALSE(m_import->read(m_steps, m_host).complete);
    EXPECT_TRUE(m_steps.steps.empty());
}

// A file whose records cannot be stored: the error names the file and the line, nothing is
// staged, the staging table is back on the staged records and the unpacked files are gone.
struct DamagedFileCase {
    const char* name;
    const char* file;
    std::string line;  // GBK bytes of the file's one record
    const char* detail;
};

void PrintTo(const DamagedFileCase& c, std::ostream* os) {
    *os << c.name;
}

class DamagedFileTest : public StagingTest,
                        public ::testing::WithParamInterface<DamagedFileCase> {};

TEST_P(DamagedFileTest, StagesNothingAndSaysWhatIsWrong) {
    const DamagedFileCase& c = GetParam();
    open();
    writePackage({staged("2023000001", "甲")}, {stagedPerson("2023000001", "张三")});
    std::ofstream(m_contents / c.file, std::ios::binary) << c.line;
    try {
        importPackage();
        ADD_FAILURE() << "read";
    } catch (const exchange::ExchangeFormatError& e) {
        EXPECT_TRUE(std::string(e.what()).starts_with(c.detail)) << e.what();
    }
    EXPECT_TRUE(rows("hveltemp.DBF").empty());
    EXPECT_TRUE(rows("cgwcrtemp.DBF").empty());
    EXPECT_EQ(m_steps.steps.back(), "read");
    EXPECT_TRUE(store::text::equalsIgnoringCase(DM->T_temp_in.tableName(), "HVELtemp.dbf"));
    EXPECT_FALSE(m_import->hasUnpacked());
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedFileTest,
    ::testing::Values(
        // A person's sequence number that is not a number.
        DamagedFileCase{"NotANumber", "CGWCR.TXT", "2023000001\tA01\tabc\tzhang\r\n",
                        "“CGWCR.TXT”第1行"},
        DamagedFileCase{"TooWideForItsField", "CGWCR.TXT",
                        "2023000001\tA01TOOLONG\t1\tx\t\t\t\t\t\t\t0\r\n", "“CGWCR.TXT”第1行"},
        DamagedFileCase{"NotGbk", "ZLQK.TXT", "2023000001\tA01\t1\t\xff\xff\t\t\t\r\n",
                        "“ZLQK.TXT”第1行，字段"}),
    [](const auto& info) { return std::string(info.param.name); });

// Records of fewer or more columns than their table are read by the format's rules and
// counted per file.
TEST_F(PackageImportTest, MalformedRecordsAreCounted) {
    open();
    writePackage({staged("2023000001", "完好的")},
                 {stagedPerson("2023000001", "张三"), stagedPerson("2023000002", "李四")});
    appendMalformedRecords(m_contents);
    const exchange::PackageReading reading = importPackage();
    ASSERT_EQ(reading.read.size(), 6u);
    EXPECT_EQ(reading.read[0].second, (exchange::ExchangeReadCounts{2, 1, 0}));
    EXPECT_EQ(reading.read[2].second, (exchange::ExchangeReadCounts{3, 0, 1}));
    EXPECT_EQ(rows("hveltemp.DBF").size(), 2u);
}

TEST_F(PackageImportTest, ImportingTwiceStagesBothPackages) {
    open();
    writePackage({staged("2023000001", "甲")});
    importPackage();
    writePackage({staged("2023000002", "乙", "2")});
    importPackage();
    EXPECT_EQ(column("hveltemp.DBF", "ITEM_3"), (std::vector<std::string>{"甲", "乙"}));
    EXPECT_EQ(m_import->counts(), (StagedCounts{2, 1, 1, 0}));
}

TEST_F(PackageImportTest, ClearingEmptiesEveryStagingTable) {
    open();
    stage("hveltemp", {staged("2023000001", "甲")});
    stage("cgwcrtemp", {stagedPerson("2023000001", "张三")});
    stage("UNITtemp", {{{"unitcode", "1234567890"}}});
    m_import->clear();
    EXPECT_TRUE(rows("hveltemp.DBF").empty());
    EXPECT_TRUE(rows("cgwcrtemp.DBF").empty());
    EXPECT_TRUE(rows("UNITtemp.dbf").empty());
    EXPECT_TRUE(DM->T_temp_in.active());
}

TEST_F(PackageImportTest, DeletingAStagedRecordTakesItsStagedChildRows) {
    open();
    stage("hveltemp", {staged("2023000001", "甲"), staged("2023000002", "乙")});
    stage("cgwcrtemp", {stagedPerson("2023000001", "张三"), stagedPerson("2023000002", "李四"),
                        stagedPerson("2019000001", "无主")});
    DM->T_temp_in.first();
    m_import->deleteStagedRecord();
    EXPECT_EQ(column("hveltemp.DBF", "ITEM_3"), std::vector<std::string>{"乙"});
    EXPECT_EQ(column("cgwcrtemp.DBF", "ITEM_180"), (std::vector<std::string>{"李四", "无主"}));
    // With the last one go the staged rows of no staged record too.
    m_import->deleteStagedRecord();
    EXPECT_TRUE(rows("hveltemp.DBF").empty());
    EXPECT_TRUE(rows("cgwcrtemp.DBF").empty());
    EXPECT_EQ(m_import->counts(), StagedCounts{});
}

// Packages may carry child rows of records they do not hold (other installations export every
// child row of the installation): the persons of a dropped record must not join a record of
// the next package with the same key, whether the record went at the same-name check (true)
// or was deleted (false).
class DroppedPackageTest : public StagingTest, public ::testing::WithParamInterface<bool> {};

TEST_P(DroppedPackageTest, ChildRowsDoNotJoinTheNextPackage) {
    open({record("2024000001", "1", {{"ITEM_3", "已有的"}})});
    writePackage({staged("2023000001", "已有的")},
                 {stagedPerson("2023000001", "张三"), stagedPerson("2023000002", "李四")},
                 {stagedPatent("2023000001", "ZL1")});
    importPackage();
    if (GetParam()) {
        EXPECT_EQ(m_merge->removeDuplicates(m_steps), std::nullopt);
    } else {
        DM->T_temp_in.first();
        m_import->deleteStagedRecord();
    }
    EXPECT_TRUE(rows("hveltemp.DBF").empty());
    EXPECT_TRUE(rows("cgwcrtemp.DBF").empty());
    EXPECT_TRUE(rows("zlqktemp.DBF").empty());

    // Another record of the sending installation: 李四 of the first package is its person too.
    writePackage({staged("2023000002", "新的", "2")}, {stagedPerson("2023000002", "王五")});
    importPackage();
    m_merge->storeAll(false, m_steps, m_host);
    const std::string key = liveRecord("新的")["ITEM_4"];
    EXPECT_EQ(column("cgwcr.DBF", "ITEM_180"), std::vector<std::string>{"王五"});
    EXPECT_EQ(column("cgwcr.DBF", "ITEM_4"), std::vector<std::string>{key});
    EXPECT_TRUE(rows("zlqk.DBF").empty());
}

INSTANTIATE_TEST_SUITE_P(Ways, DroppedPackageTest, ::testing::Values(true, false),
                         [](const auto& info) {
                             return std::string(info.param ? "DuplicateCheck" : "Delete");
                         });

// Packages that Debian's arj makes and unpacks, sound or damaged or hostile: a refused one
// leaves nothing unpacked and its package's folder as it was.
struct ArjPackageCase {
    const char* name;
    std::function<std::string(const std::string&)> fromSound;
    const char* refusal;  // null: the package is read
};

void PrintTo(const ArjPackageCase& c, std::ostream* os) {
    *os << c.name;
}

class ArjPackageTest : public StagingTest, public ::testing::WithParamInterface<ArjPackageCase> {};

TEST_P(ArjPackageTest, IsReadOrRefusedWithWhatIsWrong) {
    const ArjPackageCase& c = GetParam();
    open();
    writePackage({staged("2023000001", "甲")}, {stagedPerson("2023000001", "张三")});
    exchange::ArjArchiver arj;
    arj.pack(m_contents, "sound.arj",
             {"HVEL.TXT", "CGWCDW.TXT", "CGWCR.TXT", "JDWYHMD.TXT", "ZLQK.TXT", "UNIT.TXT"});
    const ScratchFolder packages;
    const fs::path package = packages.path() / "dovaqy.arj";
    std::ofstream(package, std::ios::binary) << c.fromSound(readFile(m_contents / "sound.arj"));
    exchange::Archiver::install(&arj);
    try {
        m_import->unpack(package);
        EXPECT_EQ(c.refusal, nullptr);
        m_import->read(m_steps, m_host);
    } catch (const exchange::ArchiveFormatError& e) {
        ASSERT_NE(c.refusal, nullptr) << e.what();
        EXPECT_TRUE(std::string(e.what()).starts_with(c.refusal)) << e.what();
        EXPECT_FALSE(m_import->hasUnpacked());
    }
    exchange::Archiver::install(&m_archiver);

    EXPECT_EQ(column("hveltemp.DBF", "ITEM_3"),
              c.refusal ? std::vector<std::string>{} : std::vector<std::string>{"甲"});
    // The package's folder is only read.
    EXPECT_EQ(std::distance(fs::directory_iterator(packages.path()), fs::directory_iterator()), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Packages, ArjPackageTest,
    ::testing::Values(
        ArjPackageCase{"Sound", [](const std::string& sound) { return sound; }, nullptr},
        ArjPackageCase{"Truncated",
                       [](const std::string& sound) { return sound.substr(0, sound.size() / 2); },
                       "“dovaqy.arj”不完整，文件在第"},
        ArjPackageCase{"NotAnArchive",
                       [](const std::string&) { return std::string("HVEL\tnot packed\r\n"); },
                       "“dovaqy.arj”不是ARJ压缩文件。"},
        ArjPackageCase{"DamagedData",
                       [](const std::string& sound) { return damageMember(sound, "HVEL.TXT"); },
                       "“dovaqy.arj”已损坏，无法完整解压。"},
        // Debian's arj would never end on this name.
        ArjPackageCase{"MemberLeavingTheFolder",
                       [](const std::string& sound) {
                           return renameMembers(sound, {{"ZLQK.TXT", "..\\ZLQK.TXT"}});
                       },
                       "“dovaqy.arj”中的文件名“..\\ZLQK.TXT”含有路径或反斜杠，不予解压。"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace testsupport
