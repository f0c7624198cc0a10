// Units of writes across kill -9. The program's writes of several rows run in a child process
// (tests/store/crash/unit_writer.cpp) that is killed just before each change it makes to a
// file, and at random times; opening the data folder afterwards must give the tables as they
// were before the unit or as they are after it, read by the store and by python3-dbfread.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "DbfFile.h"
#include "Journal.h"
#include "StoreTestSupport.h"
#include "TableText.h"

namespace fs = std::filesystem;

namespace store {
namespace {

using Row = std::map<std::string, std::string>;

// The tables the operations write.
const std::vector<std::string> kTables = {"hvel.DBF", "cgwcr.DBF",   "cgwcdw.DBF",
                                          "zlqk.DBF", "jdwyhmd.DBF", "cgwcrNew.dbf"};
constexpr int kRandomKills = 8;

void append(const fs::path& table, const std::vector<Row>& rows) {
    auto file = DbfFile::open(table.string());
    for (const Row& row : rows) {
        std::vector<std::pair<int, Value>> values;
        for (const auto& [name, value] : row) {
            values.emplace_back(file->fieldIndex(name), Value(value));
        }
        file->append(values);
    }
    file->flush();
}

Row child(const char* key, Row fields) {
    fields["ITEM_4"] = key;
    fields["ITEM_DQDM"] = ".";
    return fields;
}

// A program folder with the delivered tables and four records: 2004000001 complete in its
// overview, with two co-completing units, patents and committee members and three persons;
// list numbers out of order; three known persons; the registering unit. Nothing is deleted,
// so that the data module's pack has nothing to do; startup_pack gets deleted rows of its own.
void prepare(const fs::path& program, bool withDeletedRows) {
    fs::create_directories(program);
    fs::copy(VELMORA_DATA_DIR, program / "data", fs::copy_options::recursive);
    const fs::path data = program / "data";
    // What the overview page requires of an applied-technology record to save it.
    const Row overview = {{"ITEM_3", "水稻育种"}, {"ITEM_8", "2003.05   至2004.02"},
                          {"ITEM_1", "1"},        {"ITEM_14", "水稻;育种"},
                          {"ITEM_16", "1"},       {"ITEM_33", "2"},
                          {"ITEM_123", "A"},      {"ITEM_125_1", "1"},
                          {"ITEM_201", "2"},      {"ITEM_2", "3"},
                          {"ITEM_125", "03;"},    {"ITEM_13", "公告"},
                          {"ITEM_13_1", "说明"},  {"ITEM_9", "第一完成单位"},
                          {"ITEM_CGLB", "1"},     {"NO", "3"}};
    append(data / "hvel.DBF",
           {child("2004000001", overview),
            child("2004000002", {{"ITEM_3", "乙"}, {"ITEM_CGLB", "1"}, {"NO", "1"}}),
            child("2004000003", {{"ITEM_3", "丙"}, {"ITEM_CGLB", "1"}, {"NO", "7"}}),
            child("2006000004", {{"ITEM_3", "丁"}, {"ITEM_CGLB", "1"}, {"NO", "1"}})});
    append(data / "cgwcr.DBF", {child("2004000001", {{"ITEM_187", "1"}, {"ITEM_180", "甲"}}),
                                child("2004000001", {{"ITEM_187", "2"}, {"ITEM_180", "乙"}}),
                                child("2004000001", {{"ITEM_187", "3"}, {"ITEM_180", "丙"}}),
                                child("2004000002", {{"ITEM_187", "1"}, {"ITEM_180", "丁"}})});
    for (const char* table : {"cgwcdw.DBF", "zlqk.DBF", "jdwyhmd.DBF"}) {
        append(data / table,
               {child("2004000001", {}), child("2004000001", {}), child("2004000002", {})});
    }
    append(data / "cgwcrNew.dbf", {{{"ITEM_180", "张三"}, {"ITEM_185", "一所"}},
                                   {{"ITEM_180", "李四"}, {"ITEM_185", "二所"}},
                                   {{"ITEM_180", "王五"}, {"ITEM_185", "三所"}}});
    append(data / "unit.dbf", {{{"unitcode", "9990001000"}, {"unitlevel", "1"}}});
    if (withDeletedRows) {
        for (const char* table : {"hvel.DBF", "cgwcr.DBF"}) {
            auto file = DbfFile::open((data / table).string());
            file->setDeleted(2, true);
            file->flush();
        }
    }
}

// The live rows of every table, each table as its text form, read by the store (which first
// rolls back what a killed unit left).
std::map<std::string, std::string> state(const fs::path& data) {
    std::map<std::string, std::string> tables;
    for (const std::string& table : kTables) {
        tables[table] = formatTableText(*DbfFile::open((data / table).string()));
    }
    return tables;
}

struct WriterRun {
    bool killed = false;
    int changes = 0;
    long long micros = 0;
};

// Runs the child on program; with killAfter, kills it that long after it says "ready".
WriterRun runWriter(const fs::path& program, const std::string& operation, int stop,
                    std::optional<std::chrono::microseconds> killAfter = std::nullopt) {
    int out[2];
    if (::pipe(out) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const std::string stopText = std::to_string(stop);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        ::execl(UNIT_WRITER_PATH, UNIT_WRITER_PATH, program.c_str(), operation.c_str(),
                stopText.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    FILE* lines = ::fdopen(out[0], "r");
    WriterRun run;
    char line[256];
    while (std::fgets(line, sizeof line, lines)) {
        if (killAfter && std::string(line) == "ready\n") {
            std::this_thread::sleep_for(*killAfter);
            ::kill(pid, SIGKILL);
        }
        std::sscanf(line, "changes %d micros %lld", &run.changes, &run.micros);
    }
    std::fclose(lines);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    if (!run.killed && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
        throw std::runtime_error("unit_writer " + operation + " " + stopText + " failed");
    }
    return run;
}

int runPython(const std::vector<std::string>& arguments) {
    std::string command = "/usr/bin/python3 " CRASH_CHECK_PATH;
    for (const std::string& argument : arguments) {
        command += " '" + argument + "'";
    }
    return std::system(command.c_str());
}

std::string tableList() {
    std::string list;
    for (const std::string& table : kTables) {
        list += (list.empty() ? "" : ",") + table;
    }
    return list;
}

class UnitCrashTest : public ::testing::TestWithParam<const char*> {};

TEST_P(UnitCrashTest, LeavesTheTablesAsBeforeOrAfterTheUnit) {
    const std::string operation = GetParam();
    const bool pack = operation == "startup_pack";
    test::TempDir root;
    auto fresh = [&](const std::string& name) {
        const fs::path program = root.path() / name;
        prepare(program, pack);
        return program;
    };
    const fs::path beforeProgram = fresh("before");
    runWriter(beforeProgram, operation, -1);
    const fs::path afterProgram = fresh("after");
    const WriterRun whole = runWriter(afterProgram, operation, 0);
    ASSERT_FALSE(whole.killed);
    ASSERT_GT(whole.changes, 0);
    // The python reader sees the two states as the store leaves them: read them first.
    const auto before = state(beforeProgram / "data");
    const auto after = state(afterProgram / "data");
    if (!pack) {
        ASSERT_NE(before, after) << operation << " changed nothing";
    }

    std::map<std::string, int> outcomes;
    std::vector<std::string> killed;
    auto judge = [&](const fs::path& program, const std::string& how) {
        const fs::path data = program / "data";
        if (pack) {
            // Before any program opens them, every other reader finds each table whole with
            // its own memo file, or not at all for a moment.
            EXPECT_EQ(
                runPython({"--missing-allowed", tableList(), (beforeProgram / "data").string(),
                           (afterProgram / "data").string(), data.string()}),
                0)
                << how;
        }
        const auto now = state(data);
        const std::string verdict = now == before ? "before" : now == after ? "after" : "neither";
        EXPECT_NE(verdict, "neither") << how;
        EXPECT_FALSE(fs::exists(data / Journal::kFileName)) << how;
        ++outcomes[how.substr(0, how.find(' ')) + " " + verdict];
        killed.push_back(data.string());
    };

    // Just before each change to a file; before the last change the journal is still there,
    // and the store's tool rolls it back too.
    for (int stop = 1; stop <= whole.changes; ++stop) {
        const fs::path program = fresh("stop" + std::to_string(stop));
        ASSERT_TRUE(runWriter(program, operation, stop).killed) << stop;
        if (!pack && stop == whole.changes) {
            ASSERT_TRUE(fs::exists(program / "data" / Journal::kFileName));
            const std::string hvel = (program / "data" / "hvel.DBF").string();
            const std::string command = std::string(DBFTOOL_PATH) + " dump '" + hvel + "'";
            std::string dumped;
            FILE* pipe = ::popen(command.c_str(), "r");
            char buffer[4096];
            while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) {
                dumped.append(buffer, n);
            }
            EXPECT_EQ(::pclose(pipe), 0);
            EXPECT_EQ(dumped, before.at("hvel.DBF"));
        }
        judge(program, "every-change kill before change " + std::to_string(stop));
    }
    // At random times within the operation (a kill after its end finds the state after).
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<long long> delay(0, whole.micros * 3 / 2 + 1);
    for (int i = 0; i < kRandomKills; ++i) {
        const fs::path program = fresh("random" + std::to_string(i));
        const auto wait = std::chrono::microseconds(delay(random));
        runWriter(program, operation, 0, wait);
        judge(program, "random kill after " + std::to_string(wait.count()) + " us");
    }

    std::vector<std::string> arguments = {tableList(), (beforeProgram / "data").string(),
                                          (afterProgram / "data").string()};
    arguments.insert(arguments.end(), killed.begin(), killed.end());
    EXPECT_EQ(runPython(arguments), 0);

    std::string summary = operation + ": " + std::to_string(whole.changes) + " changes;";
    for (const auto& [outcome, count] : outcomes) {
        summary += " " + outcome + " " + std::to_string(count) + ";";
    }
    std::cout << summary << "\n";
    RecordProperty("outcomes", summary);
}

INSTANTIATE_TEST_SUITE_P(Operations, UnitCrashTest,
                         ::testing::Values("rekey", "renumber", "delete_record", "person_add",
                                           "person_delete", "memo_save", "startup_pack"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace store
