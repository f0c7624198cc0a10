// The rollback journal on its own: what a unit that did not end leaves behind is rolled back
// by the next open when the files are provably as the unit could have left them; otherwise it
// is set aside, told of once, and the files stay as they are.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "DbfFile.h"
#include "Errors.h"
#include "FileIo.h"
#include "Journal.h"
#include "Notices.h"
#include "StoreTestSupport.h"

namespace fs = std::filesystem;

namespace store {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;

const std::string kFirst = std::string(3000, 'a') + std::string(3000, 'b');
const std::string kSecond = "second file";

// The files of folder that belong to a journal (under its names, as parts or set aside).
std::vector<std::string> journalFiles(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (const std::string name = entry.path().filename().string();
            name.starts_with(Journal::kFileName)) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The notice the store gave since the last call; "" when none.
std::string notice() {
    const std::vector<std::string> notices = takeNotices();
    EXPECT_LE(notices.size(), 1u);
    return notices.empty() ? "" : notices.front();
}

// The journal of folder has been set aside, its first file holding journal, and told of once
// with why.
void expectSetAside(const fs::path& folder, const std::string& why,
                    const std::optional<std::string>& journal) {
    const std::string told = notice();
    EXPECT_NE(told.find(why), std::string::npos) << told;
    EXPECT_NE(told.find(folder.string()), std::string::npos) << told;
    const std::vector<std::string> files = journalFiles(folder);
    ASSERT_FALSE(files.empty());
    for (const std::string& name : files) {
        EXPECT_NE(name.find(".set-aside-"), std::string::npos) << name;
    }
    if (journal) {
        const std::string prefix = std::string(Journal::kFileName) + ".set-aside-";
        const auto aside = std::find_if(files.begin(), files.end(), [&](const std::string& name) {
            return name.starts_with(prefix);
        });
        ASSERT_NE(aside, files.end());
        EXPECT_NE(told.find("改名为 " + *aside), std::string::npos) << told;
        EXPECT_EQ(readBytes((folder / *aside).string()), *journal);
    }
}

// Edits the bytes of the file named name in folder, keeping the file itself.
void edit(const fs::path& folder, const std::string& name,
          const std::function<void(std::string&)>& change) {
    const std::string path = (folder / name).string();
    std::string bytes = readBytes(path);
    change(bytes);
    writeBytes(path, bytes);
}

class JournalTest : public ::testing::Test {
protected:
    void SetUp() override {
        takeNotices();
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

    // The files as a crash leaves them after writeOuts write-outs of a unit, each overwriting
    // what the one before wrote: the files written, the journal on disk, no one holding it.
    void crash(int writeOuts) {
        {
            Journal journal(dir.path().string());
            for (int i = 0; i < writeOuts; ++i) {
                change(static_cast<char>('x' + i));
                journal.writeOut(members());
            }
        }
        first.reset();
        second.reset();
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
    EXPECT_TRUE(journalFiles(dir.path()).empty());
}

TEST_F(JournalTest, CommitWritesEveryFileAndRemovesTheJournal) {
    Journal journal(dir.path().string());
    change('x');
    journal.writeOut(members());
    EXPECT_EQ(journalFiles(dir.path()), std::vector<std::string>{Journal::kFileName});
    change('y');
    journal.commit(members());
    std::string expected = kFirst.substr(0, 4000);
    expected.replace(10, 20, std::string(20, 'y'));
    EXPECT_EQ(readBytes(dir.file("a.dbf")), expected);
    EXPECT_EQ(readBytes(dir.file("b.dbt")), "sec" + std::string(100, 'y'));
    EXPECT_TRUE(journalFiles(dir.path()).empty());
}

TEST_F(JournalTest, RollbackAfterWritingOutPutsBackEveryFile) {
    Journal journal(dir.path().string());
    for (char mark : {'x', 'y', 'z'}) {
        change(mark);
        journal.writeOut(members());
    }
    change('w');
    journal.rollback(members());
    EXPECT_EQ(readBytes(dir.file("a.dbf")), kFirst);
    EXPECT_EQ(readBytes(dir.file("b.dbt")), kSecond);
    EXPECT_EQ(first->size(), kFirst.size());
    EXPECT_FALSE(first->hasHeldChanges());
    EXPECT_TRUE(journalFiles(dir.path()).empty());
}

// How the journal of a unit that did not end may be found, and what the next open makes of it.
struct Leftover {
    const char* name;
    int writeOuts;  // of the unit that crashed
    std::function<void(const fs::path& folder)> leave;
    // What the notice gives as the reason for setting the journal aside; nullptr when the
    // unit is rolled back (or, with no write-out, nothing is left to do) without a word.
    const char* told;
};

void PrintTo(const Leftover& leftover, std::ostream* out) {
    *out << leftover.name;
}

class JournalLeftoverTest : public JournalTest, public ::testing::WithParamInterface<Leftover> {};

TEST_P(JournalLeftoverTest, IsRolledBackOnlyWhenItCanBeTaken) {
    const Leftover& leftover = GetParam();
    crash(leftover.writeOuts);
    leftover.leave(dir.path());
    const std::string foundFirst = readBytes(dir.file("a.dbf"));
    const std::string foundSecond = readBytes(dir.file("b.dbt"));
    const std::optional<std::string> journal =
        fs::exists(journalPath()) ? std::optional(readBytes(journalPath())) : std::nullopt;
    const bool rolledBack = leftover.told == nullptr && leftover.writeOuts > 0;

    EXPECT_EQ(Journal::recover(dir.path().string()), rolledBack);
    if (leftover.told) {
        EXPECT_EQ(readBytes(dir.file("a.dbf")), foundFirst);
        EXPECT_EQ(readBytes(dir.file("b.dbt")), foundSecond);
        expectSetAside(dir.path(), leftover.told, journal);
    } else {
        EXPECT_EQ(readBytes(dir.file("a.dbf")), kFirst);
        EXPECT_EQ(readBytes(dir.file("b.dbt")), kSecond);
        EXPECT_TRUE(journalFiles(dir.path()).empty());
        EXPECT_EQ(notice(), "");
    }
    // Told once: the next open has nothing to do.
    const std::vector<std::string> kept = journalFiles(dir.path());
    EXPECT_FALSE(Journal::recover(dir.path().string()));
    EXPECT_EQ(notice(), "");
    EXPECT_EQ(journalFiles(dir.path()), kept);
}

const std::string kLater = std::string(Journal::kFileName) + ".2";

INSTANTIATE_TEST_SUITE_P(
    Cases, JournalLeftoverTest,
    ::testing::Values(
        Leftover{"whole", 2, [](const fs::path&) {}, nullptr},
        Leftover{"three_write_outs", 3, [](const fs::path&) {}, nullptr},
        // A later write-out cut off before it took its name: its files were not written yet.
        Leftover{"later_write_out_unfinished", 1,
                 [](const fs::path& f) {
                     writeBytes((f / (kLater + ".part")).string(), std::string(300, '\x07'));
                 },
                 nullptr},
        // The first write-out cut off: no byte of the files had changed.
        Leftover{"first_write_out_unfinished", 0,
                 [](const fs::path& f) {
                     writeBytes((f / "velmora.journal.part").string(), "Velmora journal2");
                 },
                 nullptr},
        Leftover{"empty", 2,
                 [](const fs::path& f) { writeBytes((f / "velmora.journal").string(), ""); },
                 "它是空的"},
        Leftover{
            "header_damaged", 2,
            [](const fs::path& f) { edit(f, "velmora.journal", [](auto& j) { j[20] ^= 0x55; }); },
            "它已损坏（velmora.journal 第 0 字节起"},
        Leftover{"not_a_journal", 2,
                 [](const fs::path& f) {
                     writeBytes((f / "velmora.journal").string(), "some other file");
                 },
                 "它已损坏"},
        Leftover{"written_by_an_earlier_version", 2,
                 [](const fs::path& f) {
                     edit(f, "velmora.journal",
                          [](auto& j) { j.replace(0, 16, "Velmora journal\n"); });
                 },
                 "旧版本"},
        Leftover{"record_damaged", 2,
                 [](const fs::path& f) {
                     edit(f, "velmora.journal", [](auto& j) { j[j.size() / 2] ^= 0x01; });
                 },
                 "它已损坏（velmora.journal 第"},
        Leftover{"bytes_after_its_end", 2,
                 [](const fs::path& f) {
                     edit(f, "velmora.journal", [](auto& j) { j += std::string(40, '\x07'); });
                 },
                 "它已损坏"},
        Leftover{
            "later_write_out_damaged", 2,
            [](const fs::path& f) { edit(f, kLater, [](auto& j) { j[j.size() - 3] ^= 0x01; }); },
            "它已损坏（velmora.journal.2 第"},
        Leftover{"later_write_out_missing", 3, [](const fs::path& f) { fs::remove(f / kLater); },
                 "它缺了一部分（没有 velmora.journal.2）"},
        Leftover{"later_write_outs_without_the_first", 3,
                 [](const fs::path& f) { fs::remove(f / Journal::kFileName); }, "没有开头"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(JournalTest, AJournalInUseIsLeftAlone) {
    crash(2);
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
    crash(2);
    const std::string crashedFirst = readBytes(dir.file("a.dbf"));
    PosixFile reader(dir.file("b.dbt"), LockMode::Shared);
    try {
        Journal::recover(dir.path().string());
        ADD_FAILURE() << "rolled back under a reader";
    } catch (const BusyError& e) {
        EXPECT_NE(std::string(e.what()).find("b.dbt"), std::string::npos) << e.what();
    }
    EXPECT_EQ(readBytes(dir.file("a.dbf")), crashedFirst);
    EXPECT_TRUE(fs::exists(journalPath()));
}

// ---- the journal over table files that may not be the ones its unit wrote ----------------

const std::vector<std::string> kTableFiles = {"a.dbf", "a.dbt", "b.dbf"};

// A data folder of two tables (one with memos) in which a unit of writes was cut off after it
// wrote out: records changed, appended and deleted, a memo replaced. Copies of the tables
// before and after the unit, and from a time before that, lie beside it.
class JournalCheck : public ::testing::Test {
public:
    void SetUp() override {
        takeNotices();
        fs::create_directories(data);
        DbfFile::create(file("a.dbf"), {{"KEY", FieldType::Character, 10, 0},
                                        {"NAME", FieldType::Character, 200, 0},
                                        {"NOTE", FieldType::Memo, 10, 0}});
        DbfFile::create(file("b.dbf"), {{"KEY", FieldType::Character, 10, 0},
                                        {"NAME", FieldType::Character, 200, 0}});
        fill("a.dbf", 1, 30);
        fill("b.dbf", 1, 30);
        copyTables(data, earlier);
        fill("a.dbf", 31, 40);
        copyTables(data, before);
        crashInAUnit();
        copyTables(data, after);
        journal = readBytes(file(Journal::kFileName));
    }

    std::string file(const std::string& name) const { return (data / name).string(); }

    static std::string tableBytes(const fs::path& folder, const std::string& name) {
        return readBytes((folder / name).string());
    }

    // Writes bytes into the table file name of the data folder, the file itself kept.
    void writeInPlace(const std::string& name, const std::string& bytes) {
        writeBytes(file(name), bytes);
    }

    // Puts the table files of folder in place of the data folder's as a restore does: new
    // files that take the old names.
    void restoreFrom(const fs::path& folder) {
        for (const std::string& name : kTableFiles) {
            fs::copy_file(folder / name, data / (name + ".restoring"));
            fs::rename(data / (name + ".restoring"), data / name);
        }
    }

    // The copy of table file a.dbf after the unit, with more records appended.
    std::string largerTable() {
        const fs::path grown = root.path() / "grown";
        copyTables(after, grown);
        auto table = DbfFile::open((grown / "a.dbf").string());
        for (int i = 0; i < 100; ++i) {
            table->append({{0, Value("L" + std::to_string(i))}, {1, Value("后来的记录")}});
        }
        table->flush();
        return tableBytes(grown, "a.dbf");
    }

    TempDir root;
    const fs::path data = root.path() / "data";
    const fs::path earlier = root.path() / "earlier";
    const fs::path before = root.path() / "before";
    const fs::path after = root.path() / "after";
    std::string journal;
    fs::path recoverIn = data;  // the folder whose next open finds the journal

private:
    void fill(const std::string& name, int from, int to) {
        auto table = DbfFile::open(file(name));
        for (int i = from; i <= to; ++i) {
            std::vector<std::pair<int, Value>> values = {{0, Value("K" + std::to_string(i))},
                                                         {1, Value("记录 " + std::to_string(i))}};
            if (table->fields().size() > 2 && i % 3 == 0) {
                values.emplace_back(2, Value(std::string(300 + i, 'n')));
            }
            table->append(values);
        }
        table->flush();
    }

    static void copyTables(const fs::path& from, const fs::path& to) {
        fs::create_directories(to);
        for (const std::string& name : kTableFiles) {
            fs::copy_file(from / name, to / name, fs::copy_options::overwrite_existing);
        }
    }

    // The unit writes out as the database does, and the process dies before it ends.
    void crashInAUnit() {
        auto a = DbfFile::open(file("a.dbf"));
        auto b = DbfFile::open(file("b.dbf"));
        a->holdWrites(true);
        b->holdWrites(true);
        a->update(1, {{1, Value("改过的名称")}, {2, Value(std::string(700, 'm'))}});
        a->update(20, {{1, Value("第二十条")}});
        a->append({{0, Value("K41")}, {1, Value("新的记录")}});
        b->setDeleted(2, true);
        b->append({{0, Value("K31")}});
        std::vector<Journal::Member> members = a->journalMembers();
        for (const Journal::Member& member : b->journalMembers()) {
            members.push_back(member);
        }
        Journal unit(data.string());
        unit.writeOut(members);
    }
};

struct CheckCase {
    const char* name;
    std::function<void(JournalCheck&)> meet;  // what happened to the folder after the crash
    // Why the journal is set aside, as the notice says; nullptr: it is rolled back.
    const char* told;
};

void PrintTo(const CheckCase& c, std::ostream* out) {
    *out << c.name;
}

class JournalCheckTest : public JournalCheck, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(JournalCheckTest, AppliesTheJournalOnlyToTheFilesItWasWrittenFor) {
    const CheckCase& c = GetParam();
    ASSERT_NE(tableBytes(before, "a.dbf"), tableBytes(after, "a.dbf"));
    ASSERT_NE(tableBytes(before, "a.dbt"), tableBytes(after, "a.dbt"));
    ASSERT_NE(tableBytes(before, "b.dbf"), tableBytes(after, "b.dbf"));
    c.meet(*this);
    std::map<std::string, std::string> found;
    for (const std::string& name : kTableFiles) {
        if (fs::exists(recoverIn / name)) {
            found[name] = tableBytes(recoverIn, name);
        }
    }

    EXPECT_EQ(Journal::recover(recoverIn.string()), c.told == nullptr);
    for (const auto& [name, bytes] : found) {
        EXPECT_EQ(tableBytes(recoverIn, name), c.told ? bytes : tableBytes(before, name)) << name;
    }
    if (c.told) {
        expectSetAside(recoverIn, c.told, journal);
    } else {
        EXPECT_TRUE(journalFiles(recoverIn).empty());
        EXPECT_EQ(notice(), "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JournalCheckTest,
    ::testing::Values(
        CheckCase{"writes_all_on_disk", [](JournalCheck&) {}, nullptr},
        CheckCase{"writes_partly_on_disk",
                  [](JournalCheck& t) {
                      t.writeInPlace("b.dbf", JournalCheck::tableBytes(t.before, "b.dbf"));
                  },
                  nullptr},
        // A write of the table file cut off 4096 bytes in: the rest as before, the record
        // appended after the end there.
        CheckCase{"write_cut_off_within_a_file",
                  [](JournalCheck& t) {
                      const std::string old = JournalCheck::tableBytes(t.before, "a.dbf");
                      std::string bytes = JournalCheck::tableBytes(t.after, "a.dbf");
                      bytes.replace(4096, old.size() - 4096, old.substr(4096));
                      t.writeInPlace("a.dbf", bytes);
                  },
                  nullptr},
        CheckCase{"writes_not_on_disk",
                  [](JournalCheck& t) {
                      for (const std::string& name : kTableFiles) {
                          t.writeInPlace(name, JournalCheck::tableBytes(t.before, name));
                      }
                  },
                  nullptr},
        CheckCase{"copy_made_before_the_unit_restored",
                  [](JournalCheck& t) { t.restoreFrom(t.before); },
                  "a.dbf 已不是那次写入的那个文件"},
        CheckCase{"copy_made_after_the_unit_restored",
                  [](JournalCheck& t) { t.restoreFrom(t.after); },
                  "a.dbf 已不是那次写入的那个文件"},
        // The folder copied elsewhere with the journal in it, as after a crash.
        CheckCase{"journal_in_another_folder",
                  [](JournalCheck& t) {
                      t.recoverIn = t.root.path() / "elsewhere";
                      fs::create_directories(t.recoverIn);
                      for (const std::string& name : kTableFiles) {
                          fs::copy_file(t.data / name, t.recoverIn / name);
                      }
                      fs::copy_file(t.data / Journal::kFileName, t.recoverIn / Journal::kFileName);
                  },
                  "它是在别的数据目录中写下的"},
        CheckCase{"larger_table_written_over_it",
                  [](JournalCheck& t) { t.writeInPlace("a.dbf", t.largerTable()); },
                  "数据表文件 a.dbf 现在有"},
        CheckCase{"smaller_table_written_over_it",
                  [](JournalCheck& t) {
                      t.writeInPlace("a.dbf", JournalCheck::tableBytes(t.earlier, "a.dbf"));
                  },
                  "数据表文件 a.dbf 现在有"},
        CheckCase{"record_changed_after_the_crash",
                  [](JournalCheck& t) {
                      std::string bytes = JournalCheck::tableBytes(t.after, "a.dbf");
                      bytes[bytes.find("K20")] = 'X';
                      t.writeInPlace("a.dbf", bytes);
                  },
                  "a.dbf 第 4096 字节起的内容既不是那次写入之前的，也不是那次写入写下的"},
        CheckCase{"table_gone", [](JournalCheck& t) { fs::remove(t.data / "b.dbf"); },
                  "数据表文件 b.dbf 已经不在了"},
        CheckCase{"journal_record_damaged",
                  [](JournalCheck& t) {
                      edit(t.data, Journal::kFileName, [](auto& j) { j[j.size() / 3] ^= 0x10; });
                      t.journal = readBytes(t.file(Journal::kFileName));
                  },
                  "它已损坏"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace store
