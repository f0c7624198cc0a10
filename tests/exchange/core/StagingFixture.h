#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "DataModuleFixture.h"
#include "FakeArchiver.h"
#include "FixedHost.h"
#include "ImportMerge.h"
#include "PackageFiles.h"
#include "PackageImport.h"

namespace testsupport {

// Notes every step of a reading and a merge, and answers the same-name check from a queue
// (yes, drop, when it is empty).
class RecordedSteps final : public exchange::ReadingProgress,
                            public exchange::DuplicateQuestions,
                            public exchange::MergeProgress {
public:
    void readingStarts() override { steps.push_back("reading"); }
    void readingFile(int table) override { steps.push_back("file " + std::to_string(table)); }
    void readingEnds() override { steps.push_back("read"); }

    bool dropDuplicate(const QString& name) override {
        asked.push_back(name.toStdString());
        const bool drop = answers.empty() || answers.front();
        if (!answers.empty()) {
            answers.pop_front();
        }
        return drop;
    }
    void stagedRecordDropped() override { steps.push_back("dropped"); }

    void mergeStarts(int stagedRecords) override {
        steps.push_back("merge " + std::to_string(stagedRecords));
    }
    void recordDone() override { steps.push_back("done"); }
    void recordFailed(const QString& error) override { failures.push_back(error.toStdString()); }
    void liveRecordsStored() override { steps.push_back("stored"); }
    void mergeEnds(bool everyRecordStored) override {
        steps.push_back(everyRecordStored ? "end, all stored" : "end, some staged");
    }

    std::vector<std::string> steps;
    std::vector<std::string> asked;
    std::deque<bool> answers;
    std::vector<std::string> failures;
};

// The data module over a program folder, with the import and the merge over its staging
// tables, emptied; packages are folders of text files that a stand-in archiver "unpacks".
class StagingTest : public DataModuleTest {
protected:
    void open(const std::vector<Row>& records = {}, const std::vector<Row>& persons = {}) {
        startData(records, persons);
        m_import = std::make_unique<exchange::PackageImport>(*DM);
        m_merge = std::make_unique<exchange::ImportMerge>(*DM, *m_import);
        m_import->clear();
        std::filesystem::create_directories(m_contents);
        m_archiver.contents = m_contents;
    }

    void TearDown() override {
        m_merge.reset();
        m_import.reset();
        DataModuleTest::TearDown();
    }

    // A package with the given main records and child rows, all six files present.
    void writePackage(const std::vector<Row>& records, const std::vector<Row>& persons = {},
                      const std::vector<Row>& patents = {}) {
        testsupport::writePackage(m_contents, DM->database(), records, persons, patents);
    }

    // Unpacks the package and reads it.
    exchange::PackageReading importPackage() {
        m_import->unpack(m_program.path() / "dovaqy.arj");
        return m_import->read(m_steps, m_host);
    }

    // Rows put straight into a staging table.
    void stage(const std::string& table, const std::vector<Row>& rows) {
        insertRows(DM->database(), table, rows);
        DM->T_temp_in.refresh();
    }

    // Stages records with their persons and patents, as a read package would.
    void stageRecords(const std::vector<Row>& records, const std::vector<Row>& persons = {},
                      const std::vector<Row>& patents = {}) {
        stage("hveltemp", records);
        stage("cgwcrtemp", persons);
        stage("zlqktemp", patents);
    }

    Row liveRecord(const std::string& name) const {
        return findRow(m_program.file("hvel.DBF"), "ITEM_3", name);
    }

    FakeArchiver m_archiver;
    FixedHost m_host;
    RecordedSteps m_steps;
    std::filesystem::path m_contents = m_program.path() / "contents";
    std::unique_ptr<exchange::PackageImport> m_import;
    std::unique_ptr<exchange::ImportMerge> m_merge;
};

}  // namespace testsupport
