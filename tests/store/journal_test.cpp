// The rollback journal on its own: what a unit that did not end leaves behind is rolled back
// by the next open, however the journal was left.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "Errors.h"
#include "FileIo.h"
#include "Journal.h"
#include "StoreTestSupport.h"

namespace store {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;

const std::string kFirst = std::string(3000, 'a') + std::string(3000, 'b');
const std::string kSecond = "second file";

class JournalTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeBytes(dir.file("a.dbf"), kFirst);
        writeBytes(dir.file("b.dbt"), kSecond);
        first = std::make_unique<BufferedFile>(
            std::make_unique<PosixFile>(dir.file("a.dbf"), LockMode::Shared));
        second = std::make_unique<BufferedFile>(
            std::make_unique<PosixFile>(dir.file("b.dbt"), LockMode::Shared));
        first->setHolding(true);
        second->setHolding(true);
    }

    std::vector<Journal::Member> members() {
        return {{"a.dbf", first.get()}, {"b.dbt", second.get()}};
    }

    // Changes in both files: bytes overwritten, the first cut short, the second grown.
    void change(char mark) {
        first->writeAt(10, std::string(20, mark).data(), 20);
        first->writeAt(5990, std::string(20, mark).data(), 20);
        first->truncate(4000);
        second->writeAt(3, std::string(100, mark).data(), 100);
    }

    // The files as a crash leaves them: the unit written out, its journal on disk, no one
    // holding it.
    void crashAfterWritingOut() {
        {
            Journal journal(dir.path().string());
            change('x');
            journal.writeOut(members());
            change('y');  // overwrites bytes saved already, and more
            journal.writeOut(members());
        }
        first.reset();
        second.reset();
        ASSERT_TRUE(std::filesystem::exists(journalPath()));
        ASSERT_NE(readBytes(dir.file("a.dbf")), kFirst);
    }

    std::string journalPath() const { return dir.file(Journal::kFileName); }

    TempDir dir;
    std::unique_ptr<BufferedFile> first, second;
};

TEST_F(JournalTest, NothingReachesTheFilesBeforeTheUnitIsWrittenOut) {
    change('x');
    EXPECT_EQ(readBytes(dir.file("a.dbf")), kFirst);
    EXPECT_EQ(readBytes(dir.file("b.dbt")), kSecond);
    std::string seen(30, '\0');
    first->readAt(0, seen.data(), seen.size());
    EXPECT_EQ(seen, std::string(10, 'a') + std::string(20, 'x'));
    EXPECT_EQ(first->size(), 4000u);
    EXPECT_FALSE(std::filesystem::exists(journalPath()));
}

TEST_F(JournalTest, CommitWritesEveryFileAndRemovesTheJournal) {
    Journal journal(dir.path().string());
    change('x');
    journal.writeOut(members());
    change('y');
    journal.commit(members());
    std::string expected = kFirst.substr(0, 4000);
    expected.replace(10, 20, std::string(20, 'y'));
    EXPECT_EQ(readBytes(dir.file("a.dbf")), expected);
    EXPECT_EQ(readBytes(dir.file("b.dbt")), "sec" + std::string(100, 'y'));
    EXPECT_FALSE(std::filesystem::exists(journalPath()));
}

TEST_F(JournalTest, RollbackAfterWritingOutPutsBackEveryFile) {
    Journal journal(dir.path().string());
    change('x');
    journal.writeOut(members());
    change('y');
    journal.rollback(members());
    EXPECT_EQ(readBytes(dir.file("a.dbf")), kFirst);
    EXPECT_EQ(readBytes(dir.file("b.dbt")), kSecond);
    EXPECT_EQ(first->size(), kFirst.size());
    EXPECT_FALSE(first->hasHeldChanges());
    EXPECT_FALSE(std::filesystem::exists(journalPath()));
}

// How the journal of a unit that did not end may be found, and what the next open makes of it.
struct Leftover {
    const char* name;
    std::function<void(std::string& journal)> mutate;
    bool rolledBack;  // the files are as before the unit; otherwise as the crash left them
};

void PrintTo(const Leftover& leftover, std::ostream* out) {
    *out << leftover.name;
}

class JournalRecoveryTest : public JournalTest, public ::testing::WithParamInterface<Leftover> {};

TEST_P(JournalRecoveryTest, TheNextOpenRollsBackWhatTheJournalHolds) {
    const Leftover& leftover = GetParam();
    crashAfterWritingOut();
    const std::string crashedFirst = readBytes(dir.file("a.dbf"));
    std::string journal = readBytes(journalPath());
    leftover.mutate(journal);
    writeBytes(journalPath(), journal);
    EXPECT_EQ(Journal::recover(dir.path().string()), leftover.rolledBack);
    EXPECT_EQ(readBytes(dir.file("a.dbf")), leftover.rolledBack ? kFirst : crashedFirst);
    if (leftover.rolledBack) {
        EXPECT_EQ(readBytes(dir.file("b.dbt")), kSecond);
    }
    EXPECT_FALSE(std::filesystem::exists(journalPath()));
    EXPECT_FALSE(Journal::recover(dir.path().string()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JournalRecoveryTest,
    ::testing::Values(Leftover{"whole", [](std::string&) {}, true},
                      // A later write-out torn by a power cut: its files were not written yet.
                      Leftover{"torn_record_after_it",
                               [](std::string& j) { j += std::string(40, '\x07'); }, true},
                      Leftover{"torn_record_head", [](std::string& j) { j += "I\x01"; }, true},
                      // The first write-out torn: no byte of the files had changed.
                      Leftover{"header_torn", [](std::string& j) { j[20] ^= 0x55; }, false},
                      Leftover{"empty", [](std::string& j) { j.clear(); }, false},
                      Leftover{"not_a_journal", [](std::string& j) { j = "some other file"; },
                               false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(JournalTest, AJournalInUseIsLeftAlone) {
    crashAfterWritingOut();
    const std::string crashedFirst = readBytes(dir.file("a.dbf"));
    {
        PosixFile writer(journalPath(), LockMode::Exclusive);
        EXPECT_FALSE(Journal::recover(dir.path().string()));
        EXPECT_EQ(readBytes(dir.file("a.dbf")), crashedFirst);
    }
    EXPECT_TRUE(Journal::recover(dir.path().string()));
    EXPECT_EQ(readBytes(dir.file("a.dbf")), kFirst);
}

TEST_F(JournalTest, AFileInUseStopsTheRollbackBeforeAnyByteIsWritten) {
    crashAfterWritingOut();
    const std::string crashedFirst = readBytes(dir.file("a.dbf"));
    PosixFile reader(dir.file("b.dbt"), LockMode::Shared);
    try {
        Journal::recover(dir.path().string());
        ADD_FAILURE() << "rolled back under a reader";
    } catch (const BusyError& e) {
        EXPECT_NE(std::string(e.what()).find("b.dbt"), std::string::npos) << e.what();
    }
    EXPECT_EQ(readBytes(dir.file("a.dbf")), crashedFirst);
    EXPECT_TRUE(std::filesystem::exists(journalPath()));
}

}  // namespace
}  // namespace store
