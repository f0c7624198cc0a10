// The export of chosen records into a package, without windows: the files written, the child
// rows that leave with the records, the export marks, the questions and what a failure leaves.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

#include "DataModuleFixture.h"
#include "ExchangeTextFile.h"
#include "ExportData.h"
#include "FakeArchiver.h"
#include "PackageExport.h"
#include "ScratchFolder.h"
#include "SqlText.h"

namespace fs = std::filesystem;

namespace testsupport {
namespace {

const std::vector<std::string> kPackageFiles = {
    "HVEL.TXT", "CGWCDW.TXT", "CGWCR.TXT", "JDWYHMD.TXT", "ZLQK.TXT", "UNIT.TXT", "EXPERT.TXT"};

// Answers as told and notes what was asked; "every record" chooses every row as the dialog's
// "全部" does.
class ScriptedQuestions final : public exchange::ExportQuestions {
public:
    bool replacePackage() override {
        asked.push_back("replace");
        return replace;
    }
    std::vector<int> chosenRows() override { return rows; }
    bool chooseEveryRecord() override {
        asked.push_back("every");
        if (every) {
            SetDataSetFilter(DM->T_temp_out, {});
            rows.clear();
            for (int row = 0; row < DM->T_temp_out.recordCount(); ++row) {
                rows.push_back(row);
            }
        }
        return every;
    }
    void busy(bool writing) override { busyStates.push_back(writing); }

    bool replace = true;
    bool every = true;
    std::vector<int> rows;
    std::vector<std::string> asked;
    std::vector<bool> busyStates;
};

// The export data (ExportData.h) with two more records and persons that belong to no exported
// record; every export mark reset.
class PackageExportTest : public DataModuleTest {
protected:
    void SetUp() override {
        const ExportData data = appendExportData(m_program);
        // A record without child rows, one without a region with a person without one, a
        // person of another region under a key that is exported and a person of no record.
        append("hvel.DBF", {record("2023000009", "1"),
                            {{"ITEM_4", "2022000001"}, {"ITEM_CGLB", "1"}, {"ITEM_3", "无地区"}}});
        append("cgwcr.DBF", {{{"ITEM_4", "2022000001"}, {"ITEM_180", "无地区的人"}},
                             {{"ITEM_4", "2025000001"}, {"ITEM_DQDM", "A01"}, {"ITEM_180", "外地"}},
                             {{"ITEM_4", "2019000001"}, {"ITEM_DQDM", "."}, {"ITEM_180", "无主"}}});
        startData(data.records, data.persons);
        m_export = std::make_unique<exchange::PackageExport>(*DM);
        m_export->reset();
    }

    void TearDown() override {
        m_export.reset();
        DataModuleTest::TearDown();
    }

    // The records of a year, as the dialog's year list filters them.
    void chooseYear(const char* year) {
        SetDataSetFilter(DM->T_temp_out,
                         QStringLiteral("item_4='%1*'").arg(QString::fromUtf8(year)));
    }

    fs::path folder() const { return fs::path(m_dir.path().toStdString()) / ""; }

    std::set<std::string> folderNames() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder())) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    std::map<std::string, std::string> marks() const {
        std::map<std::string, std::string> byKey;
        for (auto& row : rows("hvel.DBF")) {
            byKey[row["ITEM_4"]] = row["ITEM_SJDC"];
        }
        return byKey;
    }

    static QString column(const QString& line, int index) {
        return line.split(QLatin1Char('\t')).value(index);
    }

    FakeArchiver m_archiver;
    ScriptedQuestions m_questions;
    QTemporaryDir m_dir;
    std::unique_ptr<exchange::PackageExport> m_export;
};

TEST_F(PackageExportTest, WritesTheChosenRecordsTheUnitsAndTheLeadersAndPacksThem) {
    chooseYear("2025");
    m_questions.rows = {0};
    ASSERT_TRUE(m_export->exportInto(folder(), m_questions));

    EXPECT_TRUE(m_questions.asked.empty());
    ASSERT_EQ(m_archiver.packCalls, 1);
    EXPECT_EQ(m_archiver.packedIn, folder());
    EXPECT_EQ(m_archiver.archive, "dovaqy.arj");
    EXPECT_EQ(m_archiver.packed, kPackageFiles);

    const QStringList main = m_archiver.lines["HVEL.TXT"];
    ASSERT_EQ(main.size(), 1);
    const int fields = DM->T_temp_out.fieldCount();
    EXPECT_EQ(main[0].split(QLatin1Char('\t')).size(), fields);
    EXPECT_EQ(column(main[0], DM->T_temp_out.fieldIndex("ITEM_4")), QStringLiteral("2025000001"));
    EXPECT_EQ(column(main[0], DM->T_temp_out.fieldIndex("ITEM_SJDC")), QStringLiteral("0"));
    EXPECT_EQ(column(main[0], fields - 3), QString());  // NO is never exported
    const QStringList units = m_archiver.lines["UNIT.TXT"];
    ASSERT_EQ(units.size(), 2);
    EXPECT_TRUE(units[0].endsWith(QStringLiteral("\t\"方向\"一\"\""))) << units[0].toStdString();
    EXPECT_EQ(m_archiver.lines["EXPERT.TXT"],
              QStringList{QStringLiteral("9990001000\t1\t李四\t\t\t\t01")});

    // Only the package is left; the record table is unfiltered again; the exported record,
    // and only it, carries the export mark.
    EXPECT_EQ(folderNames(), std::set<std::string>{"dovaqy.arj"});
    EXPECT_EQ(DM->T_temp_out.filter(), "");
    EXPECT_EQ(marks(), (std::map<std::string, std::string>{{"2025000001", "1"},
                                                           {"2025000002", "0"},
                                                           {"2024000001", "0"},
                                                           {"abc0000001", "0"},
                                                           {"2023000009", "0"},
                                                           {"2022000001", "0"}}));
    EXPECT_EQ(m_questions.busyStates, (std::vector<bool>{true, false}));
}

// The child files hold exactly the rows of the exported records, matched by key and region:
// neither the rows of the records left out, nor rows of the same key from another region, nor
// rows of no record.
struct ChildRowsCase {
    const char* name;
    const char* year;       // the year chosen; null for every record
    std::vector<int> rows;  // the rows chosen; empty for the whole range
    // Per child file, the key and region ("ITEM_4/ITEM_DQDM") of each line, in order.
    std::map<std::string, std::vector<std::string>> lines;
};

void PrintTo(const ChildRowsCase& c, std::ostream* out) {
    *out << c.name;
}

class ChildRowsTest : public PackageExportTest,
                      public ::testing::WithParamInterface<ChildRowsCase> {};

TEST_P(ChildRowsTest, OnlyTheExportedRecordsRowsLeave) {
    const ChildRowsCase& c = GetParam();
    if (c.year != nullptr) {
        chooseYear(c.year);
    }
    m_questions.rows = c.rows;
    if (c.rows.empty()) {
        for (int row = 0; row < DM->T_temp_out.recordCount(); ++row) {
            m_questions.rows.push_back(row);
        }
    }
    ASSERT_TRUE(m_export->exportInto(folder(), m_questions));
    for (const char* file : {"CGWCR.TXT", "CGWCDW.TXT", "JDWYHMD.TXT", "ZLQK.TXT"}) {
        SCOPED_TRACE(file);
        std::vector<std::string> keys;
        for (const QString& line : m_archiver.lines[file]) {
            keys.push_back((column(line, 0) + QLatin1Char('/') + column(line, 1)).toStdString());
        }
        const auto expected = c.lines.find(file);
        EXPECT_EQ(keys, expected == c.lines.end() ? std::vector<std::string>() : expected->second);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, ChildRowsTest,
    ::testing::Values(
        ChildRowsCase{"OneRecord",
                      "2025",
                      {0},
                      {{"CGWCR.TXT", {"2025000001/."}}, {"CGWCDW.TXT", {"2025000001/."}}}},
        ChildRowsCase{"AYear",
                      "2025",
                      {},
                      {{"CGWCR.TXT", {"2025000001/.", "2025000002/."}},
                       {"CGWCDW.TXT", {"2025000001/."}},
                       {"ZLQK.TXT", {"2025000002/."}}}},
        ChildRowsCase{
            "EveryRecord",
            nullptr,
            {},
            {{"CGWCR.TXT",
              {"2022000001/", "2025000001/.", "2025000002/.", "2024000001/.", "abc0000001/."}},
             {"CGWCDW.TXT", {"2025000001/.", "2024000001/."}},
             {"JDWYHMD.TXT", {"2024000001/."}},
             {"ZLQK.TXT", {"2025000002/."}}}},
        ChildRowsCase{"ARecordWithoutChildRows", "2023", {}, {}},
        ChildRowsCase{"ARecordWithoutRegion", "2022", {}, {{"CGWCR.TXT", {"2022000001/"}}}}),
    [](const auto& info) { return std::string(info.param.name); });

// The questions before anything is written: an existing package is replaced only on yes (its
// name in any case), and with no record chosen every record is exported only on yes.
struct QuestionCase {
    const char* name;
    const char* existing;  // the package already in the folder; null for none
    bool chosen;           // a record is chosen
    bool answer;
    std::vector<std::string> asked;
    int records;  // the records packed; 0 when nothing is packed
};

void PrintTo(const QuestionCase& c, std::ostream* out) {
    *out << c.name;
}

class ExportQuestionTest : public PackageExportTest,
                           public ::testing::WithParamInterface<QuestionCase> {};

TEST_P(ExportQuestionTest, AskedBeforeAnythingIsWritten) {
    const QuestionCase& c = GetParam();
    if (c.existing != nullptr) {
        std::ofstream(folder() / c.existing) << "old package";
    }
    if (c.chosen) {
        m_questions.rows = {0, 1};
    }
    m_questions.replace = c.answer;
    m_questions.every = c.answer;
    EXPECT_EQ(m_export->exportInto(folder(), m_questions), c.records > 0);
    EXPECT_EQ(m_questions.asked, c.asked);

    const std::string package = c.existing != nullptr ? c.existing : "dovaqy.arj";
    if (c.records == 0) {
        EXPECT_EQ(m_archiver.packCalls, 0);
        EXPECT_TRUE(m_questions.busyStates.empty());
        EXPECT_EQ(folderNames(), c.existing != nullptr ? std::set<std::string>{c.existing}
                                                       : std::set<std::string>{});
        for (const auto& [key, mark] : marks()) {
            EXPECT_EQ(mark, "0") << key;
        }
        return;
    }
    EXPECT_EQ(m_archiver.lines["HVEL.TXT"].size(), c.records);
    // The old package gave way to the new one (arj would have added to it).
    EXPECT_EQ(folderNames(), std::set<std::string>{"dovaqy.arj"});
    EXPECT_EQ(readFile(folder() / "dovaqy.arj"), "packed");
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ExportQuestionTest,
    ::testing::Values(
        QuestionCase{"NoQuestion", nullptr, true, false, {}, 2},
        QuestionCase{"KeepThePackage", "dovaqy.arj", true, false, {"replace"}, 0},
        QuestionCase{"ReplaceThePackage", "dovaqy.arj", true, true, {"replace"}, 2},
        QuestionCase{"ReplaceItInOtherCase", "DOVAQY.ARJ", true, true, {"replace"}, 2},
        QuestionCase{"KeepItInOtherCase", "DOVAQY.ARJ", true, false, {"replace"}, 0},
        QuestionCase{"NothingChosenAndNo", nullptr, false, false, {"every"}, 0},
        QuestionCase{"NothingChosenAndYes", nullptr, false, true, {"every"}, 6},
        QuestionCase{"BothQuestions", "dovaqy.arj", false, true, {"replace", "every"}, 6}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PackageExportTest, AFailedPackKeepsTheOldPackageAndSetsNoMark) {
    std::ofstream(folder() / "dovaqy.arj") << "old package";
    m_questions.rows = {0, 1, 2};
    m_archiver.error = "arj: the package could not be made";
    EXPECT_THROW(m_export->exportInto(folder(), m_questions), exchange::ArchiverError);
    EXPECT_EQ(readFile(folder() / "dovaqy.arj"), "old package");
    for (const auto& [key, mark] : marks()) {
        EXPECT_EQ(mark, "0") << key;
    }
    EXPECT_EQ(m_questions.busyStates, (std::vector<bool>{true, false}));

    // The record and child files left behind are removed on request, once.
    m_export->removeLeftovers();
    EXPECT_EQ(folderNames(), (std::set<std::string>{"dovaqy.arj", "UNIT.TXT", "EXPERT.TXT"}));
    std::ofstream(folder() / "HVEL.TXT") << "another";
    m_export->removeLeftovers();
    EXPECT_TRUE(folderNames().count("HVEL.TXT"));
}

TEST_F(PackageExportTest, AFolderThatCannotBeWrittenStopsBeforePacking) {
    m_questions.rows = {0};
    EXPECT_THROW(m_export->exportInto(folder() / "gone" / "", m_questions),
                 exchange::ExchangeIoError);
    EXPECT_EQ(m_archiver.packCalls, 0);
    EXPECT_EQ(m_questions.busyStates, (std::vector<bool>{true, false}));
    for (const auto& [key, mark] : marks()) {
        EXPECT_EQ(mark, "0") << key;
    }
}

}  // namespace
}  // namespace testsupport
