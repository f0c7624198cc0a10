// The table store over realistic data (10,000 and 100,000 records with their child rows),
// each measurement beside a baseline of the same run:
//   Pack         the 18 tables the start packs, a hundredth of the records deleted (with
//                their child rows), beside copying the same files, with and without syncing
//                each copy to disk;
//   ListQuery    the record list of one type and the newest year, reading the list's four
//                visible columns of every row, beside the native indexed query;
//   ChildRows    a record's completing persons through the filtered table, every field of
//                every row, beside the native indexed lookup (records taken in turn);
//                FirstChildRows is the first of them in a fresh database or connection;
//   Renumber     numbering that list, edit and post per row in one unit of writes, beside the
//                same updates inside one native transaction.
// The ratios (store / baseline) are printed after the runs.
#include <benchmark/benchmark.h>

#include <array>
#include <filesystem>
#include <string>

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

constexpr const char* kRecordTables[] = {"hvel", "cgwcr", "cgwcdw", "jdwyhmd", "zlqk"};

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

// A copy of the data with every hundredth record deleted, with its child rows, as a user
// deletes records; made once per run.
const fs::path& withDeletedRecords(const DataFolder& data) {
    static std::map<int, fs::path> folders;
    if (auto it = folders.find(data.records); it != folders.end()) {
        return it->second;
    }
    const fs::path folder = benchdata::scratchCopy(data, "deleted");
    Database db(folder);
    for (const char* table : kRecordTables) {
        db.run(std::string("delete from ") + table + " where substr(item_4, 9, 2) = '00'");
    }
    return folders.emplace(data.records, folder).first->second;
}

void BM_Store_Pack(benchmark::State& state) {
    const DataFolder& data = benchdata::realisticData(static_cast<int>(state.range(0)));
    const fs::path& source = withDeletedRecords(data);
    const fs::path work = data.root / "pack";
    for (auto _ : state) {
        state.PauseTiming();
        benchdata::copyFolder(source, work, false);
        state.ResumeTiming();
        Database db(work);
        Table table(db);
        for (const char* file : kPackedTables) {
            table.setTableName(file);
            table.setExclusive(true);
            table.open();
            table.pack();
            table.close();
        }
    }
    fs::remove_all(work);
}

void copyPackedTables(const fs::path& from, const fs::path& to, bool sync) {
    fs::remove_all(to);
    fs::create_directories(to);
    for (const auto& entry : fs::directory_iterator(from)) {
        const std::string name = entry.path().filename().string();
        const std::string stem = entry.path().stem().string();
        for (const char* table : kPackedTables) {
            if (fs::path(table).stem().string() == stem) {
                benchdata::copyFile(entry.path(), to / name, sync);
            }
        }
    }
}

void copyFiles(benchmark::State& state, bool sync) {
    const DataFolder& data = benchdata::realisticData(static_cast<int>(state.range(0)));
    const fs::path& source = withDeletedRecords(data);
    const fs::path work = data.root / "copy";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(work);
        state.ResumeTiming();
        copyPackedTables(source, work, sync);
    }
    fs::remove_all(work);
}

void BM_Copy_Files(benchmark::State& state) {
    copyFiles(state, false);
}

void BM_Copy_FilesSynced(benchmark::State& state) {
    copyFiles(state, true);
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

// The first lookup of a run: the store reads the persons table once to index it, the native
// database opens its connection.
void BM_Store_FirstChildRows(benchmark::State& state) {
    const DataFolder& data = benchdata::realisticData(static_cast<int>(state.range(0)));
    int64_t turn = 0;
    for (auto _ : state) {
        Database db(data.dir());
        Table persons(db, "cgwcr");
        benchmark::DoNotOptimize(readPersons(persons, recordKey(data, ++turn)));
    }
}

void BM_Native_FirstChildRows(benchmark::State& state) {
    const DataFolder& data = benchdata::realisticData(static_cast<int>(state.range(0)));
    int64_t turn = 0;
    for (auto _ : state) {
        benchdata::NativeTables native(data);
        benchmark::DoNotOptimize(native.childRows("cgwcr", recordKey(data, ++turn)));
    }
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

BENCHMARK(BM_Store_Pack)->Apply(benchdata::atBothSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Copy_Files)->Apply(benchdata::atBothSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Copy_FilesSynced)->Apply(benchdata::atBothSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Store_ListQuery)->Apply(benchdata::atBothSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Native_ListQuery)->Apply(benchdata::atBothSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Store_ChildRows)->Apply(benchdata::atBothSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Native_ChildRows)->Apply(benchdata::atBothSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Store_FirstChildRows)->Apply(benchdata::atBothSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Native_FirstChildRows)->Apply(benchdata::atBothSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Store_Renumber)->Apply(benchdata::atBothSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Native_Renumber)->Apply(benchdata::atBothSizes)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchdata::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios({{"BM_Store_Pack", "BM_Copy_Files"},
                          {"BM_Store_Pack", "BM_Copy_FilesSynced"},
                          {"BM_Store_ListQuery", "BM_Native_ListQuery"},
                          {"BM_Store_ChildRows", "BM_Native_ChildRows"},
                          {"BM_Store_FirstChildRows", "BM_Native_FirstChildRows"},
                          {"BM_Store_Renumber", "BM_Native_Renumber"}},
                         {kSmall, kLarge});
    return 0;
}
