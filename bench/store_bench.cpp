// The table store over realistic data (10,000 and 100,000 records with their child rows),
// each measurement beside a baseline of the same run:
//   Pack         the 18 tables the start packs, a twentieth of the records deleted (with
//                their child rows), beside copying the live bytes (the packed files) with
//                each copy and the folder synced to disk, and beside copying the files as
//                they are, unsynced; PackMain the same for the main table alone;
//   ListQuery    the record list of one type and the newest year, reading the list's four
//                visible columns of every row, beside the native indexed query;
//   ChildRows    a record's completing persons through the filtered table, every field of
//                every row, beside the native indexed lookup (records taken in turn);
//   First...     the first list or lookup of a fresh process after the start's pack of its
//                tables, beside the first of a fresh process on its native connection;
//   Renumber     numbering that list, edit and post per row in one unit of writes, beside the
//                same updates inside one native transaction.
// The ratios (store / baseline) are printed after the runs.
//
//   store --data-folder N   prints the data folder of N records (generated when missing).
#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "BenchSupport.h"
#include "Database.h"
#include "Dataset.h"
#include "DbfFile.h"
#include "RealisticData.h"

namespace fs = std::filesystem;
using benchdata::DataFolder;
using namespace store;

namespace {

using benchdata::kLarge;
using benchdata::kSmall;

// The table files the start packs, in its order.
constexpr std::array<const char*, 18> kPackedTables = {
    "hvel.DBF",        "hveltemp.DBF",   "cgwcr.DBF",      "cgwcrtemp.DBF", "jdwyhmd.DBF",
    "jdwyhmdtemp.DBF", "cgwcdw.DBF",     "cgwcdwtemp.DBF", "zlqk.DBF",      "zlqktemp.DBF",
    "cgwcrNew.dbf",    "ZTFLH.dbf",      "XKFL.dbf",       "LSBW.dbf",      "DFJHZDXX.DBF",
    "unit.dbf",        "unitexpert.dbf", "gxjs.dbf"};

std::string newestYear() {
    return std::to_string(DataFolder::kFirstYear + DataFolder::kYears - 1);
}

std::string listSql(int type) {
    return "select * from hvel where item_cglb='" + std::to_string(type) + "' and item_4 like '" +
           newestYear() + "%'";
}

// The record clicked in turn: spread over the newest year.
std::string recordKey(const DataFolder& data, int64_t turn) {
    const int perYear = data.records / DataFolder::kYears;
    return DataFolder::key(data.records - perYear + static_cast<int>((turn * 7919) % perYear),
                           data.records);
}

// Packs the tables of the folder in the start's order, as the start does.
void packTables(Database& db, const std::vector<std::string>& files) {
    Table table(db);
    for (const std::string& file : files) {
        table.setTableName(file);
        table.setExclusive(true);
        table.open();
        table.pack();
        table.close();
    }
}

const std::vector<std::string> kAllPacked(kPackedTables.begin(), kPackedTables.end());
const std::vector<std::string> kMainTable{"hvel.DBF"};

// A copy of the data with every twentieth record deleted, with its child rows, as a user
// deletes records (benchdata::withDeletedRecords); and that copy packed, whose files hold the
// live bytes that a pack writes. Made once per run.
const fs::path& deletedFolder(const DataFolder& data) {
    static std::map<int, fs::path> folders;
    if (auto it = folders.find(data.records); it != folders.end()) {
        return it->second;
    }
    return folders.emplace(data.records, benchdata::withDeletedRecords(data)).first->second;
}

const fs::path& packedFolder(const DataFolder& data) {
    static std::map<int, fs::path> folders;
    if (auto it = folders.find(data.records); it != folders.end()) {
        return it->second;
    }
    const fs::path folder = data.root / "packed";
    benchdata::copyFolder(deletedFolder(data), folder, false);
    Database db(folder);
    packTables(db, kAllPacked);
    return folders.emplace(data.records, folder).first->second;
}

void pack(benchmark::State& state, const std::vector<std::string>& files) {
    const DataFolder& data = benchdata::realisticData(static_cast<int>(state.range(0)));
    const fs::path& source = deletedFolder(data);
    const fs::path work = data.root / "pack";
    for (auto _ : state) {
        state.PauseTiming();
        // On disk, as a user's data is: the pack does not wait for the copy's writes.
        benchdata::copyFolder(source, work, true);
        state.ResumeTiming();
        Database db(work);
        packTables(db, files);
    }
    fs::remove_all(work);
}

void BM_Store_Pack(benchmark::State& state) {
    pack(state, kAllPacked);
}

void BM_Store_PackMain(benchmark::State& state) {
    pack(state, kMainTable);
}

// Copies the files of the tables named (and their memo files) from one folder into an empty
// one; with sync, each copy and then the folder are synced to disk.
void copyTables(const fs::path& from, const fs::path& to, const std::vector<std::string>& files,
                bool sync) {
    fs::remove_all(to);
    fs::create_directories(to);
    for (const auto& entry : fs::directory_iterator(from)) {
        const std::string name = entry.path().filename().string();
        const std::string stem = entry.path().stem().string();
        const std::string extension = entry.path().extension().string();
        for (const std::string& table : files) {
            if (fs::path(table).stem().string() == stem && extension.size() == 4) {
                benchdata::copyFile(entry.path(), to / name, sync);
            }
        }
    }
    if (sync) {
        benchdata::syncFolder(to);
    }
}

void copyFiles(benchmark::State& state, const fs::path& source,
               const std::vector<std::string>& files, bool sync) {
    const DataFolder& data = benchdata::realisticData(static_cast<int>(state.range(0)));
    const fs::path work = data.root / "copy";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(work);
        state.ResumeTiming();
        copyTables(source, work, files, sync);
    }
    fs::remove_all(work);
}

void BM_Copy_Files(benchmark::State& state) {
    const DataFolder& data = benchdata::realisticData(static_cast<int>(state.range(0)));
    copyFiles(state, deletedFolder(data), kAllPacked, false);
}

void BM_Copy_LiveBytesSynced(benchmark::State& state) {
    const DataFolder& data = benchdata::realisticData(static_cast<int>(state.range(0)));
    copyFiles(state, packedFolder(data), kAllPacked, true);
}

void BM_Copy_MainLiveBytesSynced(benchmark::State& state) {
    const DataFolder& data = benchdata::realisticData(static_cast<int>(state.range(0)));
    copyFiles(state, packedFolder(data), kMainTable, true);
}

// The list of type 1 or 2 (taking turns), read as the grid reads it.
size_t readList(Database& db, int type) {
    Query list(db);
    list.setSql(listSql(type));
    list.open();
    size_t bytes = 0;
    for (list.first(); !list.eof(); list.next()) {
        for (const char* column : {"NO", "ITEM_120", "ITEM_3", "ITEM_9"}) {
            bytes += list.field(column).asText().size();
        }
    }
    return bytes;
}

// Each measurement of the same question is taken after a first, unmeasured one: what comes
// once per run (building an index, filling a cache) is measured by the First benchmarks.
void BM_Store_ListQuery(benchmark::State& state) {
    const DataFolder& data = benchdata::realisticData(static_cast<int>(state.range(0)));
    Database db(data.dir());
    readList(db, 2);
    int type = 0;
    for (auto _ : state) {
        type = type % 2 + 1;
        benchmark::DoNotOptimize(readList(db, type));
    }
}

void BM_Native_ListQuery(benchmark::State& state) {
    benchdata::NativeTables native(benchdata::realisticData(static_cast<int>(state.range(0))));
    native.listRows(2, newestYear());
    int type = 0;
    for (auto _ : state) {
        type = type % 2 + 1;
        benchmark::DoNotOptimize(native.listRows(type, newestYear()));
    }
}

// Every field of a record's persons through the persons table filtered to the record.
size_t readPersons(Table& persons, const std::string& key) {
    persons.close();
    persons.setFilter("item_4='" + key + "' and item_dqdm='.'");
    persons.open();
    size_t bytes = 0;
    for (persons.first(); !persons.eof(); persons.next()) {
        for (int field = 0; field < persons.fieldCount(); ++field) {
            bytes += persons.field(field).asText().size();
        }
    }
    return bytes;
}

void BM_Store_ChildRows(benchmark::State& state) {
    const DataFolder& data = benchdata::realisticData(static_cast<int>(state.range(0)));
    Database db(data.dir());
    Table persons(db, "cgwcr");
    readPersons(persons, recordKey(data, 0));
    int64_t turn = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(readPersons(persons, recordKey(data, ++turn)));
    }
}

void BM_Native_ChildRows(benchmark::State& state) {
    const DataFolder& data = benchdata::realisticData(static_cast<int>(state.range(0)));
    benchdata::NativeTables native(data);
    native.childRows("cgwcr", recordKey(data, 0));
    int64_t turn = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(native.childRows("cgwcr", recordKey(data, ++turn)));
    }
}

// The first list or lookup of a fresh process, timed alone, each in a process of its own
// ("store --first"): the store's after a fresh database packed the tables and opened the main
// and the persons table as the start does (with the program's key fields, over a folder whose
// kept indexes were written), the native one right after opening its connection. The first
// list is the one a start shows; the first lookup comes after it, in both.
int firstChild(const std::string& engine, const std::string& question, int records, int64_t turn,
               const fs::path& folder) {
    using Clock = std::chrono::steady_clock;
    const DataFolder& data = benchdata::realisticData(records);
    const int type = static_cast<int>(turn % 2 + 1);
    size_t read = 0;
    Clock::time_point begin, end;
    if (engine == "store") {
        Database db(folder);
        db.setKeyFields({"item_4"});
        packTables(db, kAllPacked);
        // The tables that the start opens, unfiltered; the list it shows.
        Query all(db);
        all.setSql("select * from hvel");
        all.open();
        Table persons(db, "cgwcr");
        persons.open();
        if (question != "list") {
            readList(db, type);
        }
        begin = Clock::now();
        read =
            question == "list" ? readList(db, type) : readPersons(persons, recordKey(data, turn));
        end = Clock::now();
    } else {
        benchdata::NativeTables native(data);
        if (question != "list") {
            native.listRows(type, newestYear());  // the list a start shows
        }
        begin = Clock::now();
        read = question == "list" ? native.listRows(type, newestYear())
                                  : native.childRows("cgwcr", recordKey(data, turn));
        end = Clock::now();
    }
    std::printf("%f %zu\n", std::chrono::duration<double, std::milli>(end - begin).count(), read);
    return 0;
}

void firstInChild(benchmark::State& state, const std::string& engine, const std::string& question) {
    const DataFolder& data = benchdata::realisticData(static_cast<int>(state.range(0)));
    fs::path work;
    if (engine == "store") {
        // Settled, then packed once: the kept indexes that a start finds are there.
        work = benchdata::scratchCopy(data, "first");
        std::this_thread::sleep_for(std::chrono::milliseconds(2100));
        Database db(work);
        db.setKeyFields({"item_4"});
        packTables(db, kAllPacked);
    }
    int64_t turn = 0;
    for (auto _ : state) {
        const benchdata::ChildRun run =
            benchdata::runSelf({"--first", engine, question, std::to_string(data.records),
                                std::to_string(++turn), work.string()});
        state.SetIterationTime(std::stod(run.line) / 1000);
    }
    if (!work.empty()) {
        fs::remove_all(work);
    }
}

void BM_Store_FirstChildRows(benchmark::State& state) {
    firstInChild(state, "store", "child");
}

void BM_Native_FirstChildRows(benchmark::State& state) {
    firstInChild(state, "native", "child");
}

void BM_Store_FirstListQuery(benchmark::State& state) {
    firstInChild(state, "store", "list");
}

void BM_Native_FirstListQuery(benchmark::State& state) {
    firstInChild(state, "native", "list");
}

void BM_Store_Renumber(benchmark::State& state) {
    const DataFolder& data = benchdata::realisticData(static_cast<int>(state.range(0)));
    const fs::path work = benchdata::scratchCopy(data, "renumber");
    Database db(work);
    Query list(db);
    list.setSql(listSql(1));
    list.open();
    int64_t start = 0;
    for (auto _ : state) {
        ++start;  // other numbers each time, so that every row is written
        Database::Transaction unit(db);
        list.disableControls();
        list.first();
        const int count = list.recordCount();
        for (int i = 1; i <= count; ++i) {
            list.edit();
            list.field("NO").set(Value(std::to_string(start + i)));
            list.post();
            list.next();
        }
        list.enableControls();
        unit.commit();
    }
    list.close();
    fs::remove_all(work);
}

void BM_Native_Renumber(benchmark::State& state) {
    benchdata::NativeTables native(benchdata::realisticData(static_cast<int>(state.range(0))));
    const std::vector<long long> rowids = native.listRowids(1, newestYear());
    long long start = 0;
    for (auto _ : state) {
        native.renumber(rowids, ++start);
    }
}

BENCHMARK(BM_Store_Pack)
    ->Apply(benchdata::atBothSizes)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_Copy_LiveBytesSynced)
    ->Apply(benchdata::atBothSizes)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_Copy_Files)
    ->Apply(benchdata::atBothSizes)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_Store_PackMain)
    ->Apply(benchdata::atBothSizes)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_Copy_MainLiveBytesSynced)
    ->Apply(benchdata::atBothSizes)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_Store_ListQuery)->Apply(benchdata::atBothSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Native_ListQuery)->Apply(benchdata::atBothSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Store_ChildRows)->Apply(benchdata::atBothSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Native_ChildRows)->Apply(benchdata::atBothSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Store_FirstListQuery)
    ->Arg(kSmall)
    ->Arg(kLarge)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(20);
BENCHMARK(BM_Native_FirstListQuery)
    ->Arg(kSmall)
    ->Arg(kLarge)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(20);
BENCHMARK(BM_Store_FirstChildRows)
    ->Arg(kSmall)
    ->Arg(kLarge)
    ->Unit(benchmark::kMicrosecond)
    ->UseManualTime()
    ->Iterations(20);
BENCHMARK(BM_Native_FirstChildRows)
    ->Arg(kSmall)
    ->Arg(kLarge)
    ->Unit(benchmark::kMicrosecond)
    ->UseManualTime()
    ->Iterations(20);
BENCHMARK(BM_Store_Renumber)->Apply(benchdata::atBothSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Native_Renumber)->Apply(benchdata::atBothSizes)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 7 && std::string(argv[1]) == "--first") {
        return firstChild(argv[2], argv[3], std::stoi(argv[4]), std::stoll(argv[5]), argv[6]);
    }
    if (argc == 3 && std::string(argv[1]) == "--data-folder") {
        std::cout << benchdata::realisticData(std::stoi(argv[2])).dir().string() << "\n";
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchdata::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios({{"BM_Store_Pack", "BM_Copy_LiveBytesSynced"},
                          {"BM_Store_Pack", "BM_Copy_Files"},
                          {"BM_Store_PackMain", "BM_Copy_MainLiveBytesSynced"},
                          {"BM_Store_ListQuery", "BM_Native_ListQuery"},
                          {"BM_Store_FirstListQuery", "BM_Native_FirstListQuery"},
                          {"BM_Store_ChildRows", "BM_Native_ChildRows"},
                          {"BM_Store_FirstChildRows", "BM_Native_FirstChildRows"},
                          {"BM_Store_Renumber", "BM_Native_Renumber"}},
                         {kSmall, kLarge});
    return 0;
}
