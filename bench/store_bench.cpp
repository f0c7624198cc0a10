// The table store beside native SQLite on generated tables of the main table's shape.
//
// Each measurement is paired with a baseline doing the same work in the same run:
//   pack       open the table exclusively and pack it (a tenth of the rows deleted)
//              beside copying its two files;
//   query      the record-list query, reading the four visible columns of every row, beside
//              the same select on a native SQLite table;
//   renumber   edit and post NO over every row of that list, beside one UPDATE ... WHERE
//              rowid=? per row on the native table (both without syncing to disk).
// The ratios (store / baseline) are printed after the runs.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <strings.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <sstream>

#include "Database.h"
#include "Dataset.h"
#include "DbfFile.h"
#include "TableText.h"
#include "TimesReporter.h"

namespace fs = std::filesystem;
using namespace store;

namespace {

const char* const kListSql = "select * from hvel where item_cglb='1' and item_4 like '2004%'";
const char* const kColumns[] = {"NO", "ITEM_120", "ITEM_3", "ITEM_9"};

std::vector<FieldDef> mainTableFields() {
    std::ifstream source(VELMORA_SOURCE_DIR "/data/hvel.DBF.txt");
    std::stringstream text;
    text << source.rdbuf();
    return parseTableText(text.str(), "hvel.DBF.txt").fields;
}

// The value of field for generated row i: every text field partly filled, a year spread
// over ten years, the three types, a memo on every tenth row.
Value generated(const FieldDef& field, int i) {
    if (field.name == "ITEM_4") {
        char key[16];
        std::snprintf(key, sizeof key, "%04d%06d", 2000 + i % 10, i);
        return Value(std::string(key));
    }
    if (field.name == "ITEM_CGLB") {
        return Value(std::to_string(1 + i % 3));
    }
    if (field.name == "ITEM_DQDM") {
        return Value(".");
    }
    switch (field.type) {
        case FieldType::Character: {
            std::string text = "成果" + std::to_string(i) + field.name;
            while (static_cast<int>(text.size()) > field.length) {
                text.pop_back();
            }
            return field.length >= 10 ? Value(text) : Value(std::string(1, char('1' + i % 9)));
        }
        case FieldType::Numeric:
        case FieldType::Float:
            return field.decimals > 0 ? Value(i * 0.25) : Value(i % 1000);
        case FieldType::Date:
            return Value(Date{2004, 1 + i % 12, 1 + i % 28});
        case FieldType::Memo:
            return i % 10 == 0 ? Value("第一行\r\n第二行：" + std::string(300, 'x')) : Value();
        default:
            return Value();
    }
}

struct Fixture {
    fs::path dir;
    fs::path dbf() const { return dir / "hvel.DBF"; }
    fs::path dbt() const { return dir / "hvel.DBT"; }
    fs::path native() const { return dir / "native.sqlite"; }
};

// One generated directory per row count, kept for the whole run.
const Fixture& fixture(int rows) {
    static std::map<int, Fixture> fixtures;
    auto it = fixtures.find(rows);
    if (it != fixtures.end()) {
        return it->second;
    }
    Fixture f;
    f.dir = fs::temp_directory_path() / ("velmora_bench_" + std::to_string(rows));
    fs::remove_all(f.dir);
    fs::create_directories(f.dir);
    const std::vector<FieldDef> fields = mainTableFields();
    DbfFile::create(f.dbf().string(), fields);

    sqlite3* db = nullptr;
    sqlite3_open(f.native().c_str(), &db);
    std::string create = "create table hvel(";
    std::string insert = "insert into hvel values(";
    for (size_t c = 0; c < fields.size(); ++c) {
        create += (c ? "," : "") + fields[c].name;
        insert += c ? ",?" : "?";
    }
    sqlite3_exec(db, (create + ")").c_str(), nullptr, nullptr, nullptr);
    sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, (insert + ")").c_str(), -1, &stmt, nullptr);

    auto file = DbfFile::open(f.dbf().string());
    std::vector<std::pair<int, Value>> values;
    for (int i = 0; i < rows; ++i) {
        values.clear();
        for (size_t c = 0; c < fields.size(); ++c) {
            Value v = generated(fields[c], i);
            const std::string text = v.asText();
            if (v.isNull()) {
                sqlite3_bind_null(stmt, static_cast<int>(c) + 1);
            } else {
                sqlite3_bind_text(stmt, static_cast<int>(c) + 1, text.c_str(), -1,
                                  SQLITE_TRANSIENT);
            }
            values.emplace_back(static_cast<int>(c), std::move(v));
        }
        file->append(values);
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
    }
    file->flush();
    sqlite3_finalize(stmt);
    sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return fixtures.emplace(rows, std::move(f)).first->second;
}

void BM_Store_Pack(benchmark::State& state) {
    const Fixture& f = fixture(static_cast<int>(state.range(0)));
    const fs::path work = f.dir / "pack";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(work);
        fs::create_directories(work);
        fs::copy_file(f.dbf(), work / "hvel.DBF");
        fs::copy_file(f.dbt(), work / "hvel.DBT");
        {
            auto file = DbfFile::open((work / "hvel.DBF").string());
            for (uint32_t r = 1; r <= file->recordCount(); r += 10) {
                file->setDeleted(r, true);
            }
        }
        state.ResumeTiming();
        Database db(work);
        Table table(db, "hvel");
        table.setExclusive(true);
        table.open();
        table.pack();
        table.close();
    }
}

void BM_Copy_Files(benchmark::State& state) {
    const Fixture& f = fixture(static_cast<int>(state.range(0)));
    const fs::path work = f.dir / "copy";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(work);
        fs::create_directories(work);
        state.ResumeTiming();
        fs::copy_file(f.dbf(), work / "hvel.DBF");
        fs::copy_file(f.dbt(), work / "hvel.DBT");
    }
}

void BM_Store_Query(benchmark::State& state) {
    const Fixture& f = fixture(static_cast<int>(state.range(0)));
    Database db(f.dir);
    size_t bytes = 0;
    for (auto _ : state) {
        Query list(db);
        list.setSql(kListSql);
        list.open();
        for (list.first(); !list.eof(); list.next()) {
            for (const char* column : kColumns) {
                bytes += list.field(column).asText().size();
            }
        }
    }
    benchmark::DoNotOptimize(bytes);
}

void BM_Native_Query(benchmark::State& state) {
    const Fixture& f = fixture(static_cast<int>(state.range(0)));
    sqlite3* db = nullptr;
    sqlite3_open(f.native().c_str(), &db);
    size_t bytes = 0;
    for (auto _ : state) {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, kListSql, -1, &stmt, nullptr);
        const int columns = sqlite3_column_count(stmt);
        std::vector<int> wanted;
        for (int c = 0; c < columns; ++c) {
            for (const char* column : kColumns) {
                if (strcasecmp(sqlite3_column_name(stmt, c), column) == 0) {
                    wanted.push_back(c);
                }
            }
        }
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int c : wanted) {
                const unsigned char* text = sqlite3_column_text(stmt, c);
                bytes += text ? std::string(reinterpret_cast<const char*>(text)).size() : 0;
            }
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    benchmark::DoNotOptimize(bytes);
}

void BM_Store_Renumber(benchmark::State& state) {
    const Fixture& f = fixture(static_cast<int>(state.range(0)));
    Database db(f.dir);
    Query list(db);
    list.setSql(kListSql);
    list.open();
    for (auto _ : state) {
        list.disableControls();
        list.first();
        const int count = list.recordCount();
        for (int i = 1; i <= count; ++i) {
            list.edit();
            list.field("NO").set(Value(std::to_string(i)));
            list.post();
            list.next();
        }
        list.enableControls();
    }
}

void BM_Native_Renumber(benchmark::State& state) {
    const Fixture& f = fixture(static_cast<int>(state.range(0)));
    sqlite3* db = nullptr;
    sqlite3_open(f.native().c_str(), &db);
    sqlite3_exec(db, "pragma synchronous=off", nullptr, nullptr, nullptr);
    std::vector<sqlite3_int64> rowids;
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(db, "select rowid from hvel where item_cglb='1' and item_4 like '2004%'", -1,
                       &select, nullptr);
    while (sqlite3_step(select) == SQLITE_ROW) {
        rowids.push_back(sqlite3_column_int64(select, 0));
    }
    sqlite3_finalize(select);
    sqlite3_stmt* update = nullptr;
    sqlite3_prepare_v2(db, "update hvel set no=? where rowid=?", -1, &update, nullptr);
    for (auto _ : state) {
        int i = 0;
        for (sqlite3_int64 rowid : rowids) {
            const std::string no = std::to_string(++i);
            sqlite3_bind_text(update, 1, no.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int64(update, 2, rowid);
            sqlite3_step(update);
            sqlite3_reset(update);
        }
    }
    sqlite3_finalize(update);
    sqlite3_close(db);
}

constexpr int kSmall = 10'000;
constexpr int kLarge = 100'000;

BENCHMARK(BM_Store_Pack)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Copy_Files)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Store_Query)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Native_Query)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Store_Renumber)
    ->Arg(kSmall)
    ->Arg(kLarge)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Native_Renumber)
    ->Arg(kSmall)
    ->Arg(kLarge)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    TimesReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const std::pair<const char*, const char*> pairs[] = {
        {"BM_Store_Pack", "BM_Copy_Files"},
        {"BM_Store_Query", "BM_Native_Query"},
        {"BM_Store_Renumber", "BM_Native_Renumber"}};
    std::cout << "\nratio (store / baseline)\n";
    for (auto [store, baseline] : pairs) {
        for (int rows : {kSmall, kLarge}) {
            const std::string suffix = "/" + std::to_string(rows) + "/real_time";
            auto a = reporter.times.find(store + suffix);
            auto b = reporter.times.find(baseline + suffix);
            if (a != reporter.times.end() && b != reporter.times.end() && b->second > 0) {
                std::cout << "  " << store << " / " << baseline << " at " << rows
                          << " rows: " << a->second / b->second << "\n";
            }
        }
    }
    for (int rows : {kSmall, kLarge}) {
        fs::remove_all(fs::temp_directory_path() / ("velmora_bench_" + std::to_string(rows)));
    }
    return 0;
}
