// The program over realistic data (10,000 and 100,000 records), each measurement beside a
// baseline of the same run:
//   Start          a fresh process from its first line to the main window shown (offscreen):
//                  pack, datasets, windows; peak memory at that moment; over several runs.
//                  StartDeleted the same over a data folder with every twentieth record
//                  deleted (with its child rows), which the start purges. Each beside copying
//                  the data folder's files with each copy and the folder synced to disk.
//   FirstGridClick the first click in the record list of a fresh process, right after its
//                  start, beside the first reads of the native tables that a click makes (the
//                  record with its memos, its persons), through their indexes, in a fresh
//                  process after the list the main window shows.
//   TypeSwitch     changing the type selector (the list, the marks, the numbering, the lock),
//                  beside the native indexed query of the same rows.
//   YearTyping     typing a year into the year box, one run of the list per keystroke, beside
//                  the native indexed queries of the same four lists.
//   GridClick      a click in the record list (marks and lock of the clicked record), beside
//                  the same reads of the native tables.
// The ratios (program / baseline) are printed after the runs; the start prints its parts.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#include "Application.h"
#include "BenchSupport.h"
#include "ProgramWindows.h"
#include "RealisticData.h"
#include "Unit1.h"
#include "UnitDM.h"
#include "ui_Unit1.h"

namespace fs = std::filesystem;
using benchdata::DataFolder;

namespace {

using benchdata::kLarge;
using benchdata::kSmall;

// The newest year of the generated keys: the year the main window opens on.
std::string newestYear() {
    return std::to_string(DataFolder::kFirstYear + DataFolder::kYears - 1);
}

long peakMemoryKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

// ---- the start, in a child process ----------------------------------------------------

// Runs the program's start over programDir and reports its parts on standard output.
int startChild(int argc, char** argv, const char* programDir) {
    using Clock = std::chrono::steady_clock;
    auto ms = [](Clock::duration d) {
        return std::chrono::duration<double, std::milli>(d).count();
    };
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    VelmoraApplication app(argc, argv);
    const auto begin = Clock::now();
    ProgramWindows program(programDir);
    const size_t packErrors = program.dataModule().PackTables().size();
    const auto packed = Clock::now();
    const size_t openErrors = program.dataModule().OpenDatasets().size();
    const auto opened = Clock::now();
    TMainForm& mainForm = program.createWindows();
    const auto created = Clock::now();
    mainForm.show();
    QCoreApplication::processEvents();
    const auto shown = Clock::now();
    const long peak = peakMemoryKb();
    store::Query& list = DM->Qryhvel;
    list.setRecNo(list.recordCount() / 2 + 1);
    const auto clicking = Clock::now();
    mainForm.DBGrid1CellClick();
    const auto clicked = Clock::now();
    std::printf("pack %f datasets %f windows %f show %f peak %ld click %f errors %zu\n",
                ms(packed - begin), ms(opened - packed), ms(created - opened), ms(shown - created),
                peak, ms(clicked - clicking), packErrors + openErrors);
    std::fflush(stdout);
    return 0;
}

// The rows clicked in turn: spread over the list.
int clickedRow(int64_t click, int rows) {
    return static_cast<int>((click * 7919) % rows);
}

struct StartReport {
    double seconds = 0;
    std::map<std::string, double> parts;
};

// Starts this program in start mode over programDir; the time runs from the fork to the
// report of the shown main window.
StartReport runStart(const fs::path& programDir) {
    const benchdata::ChildRun run = benchdata::runSelf({"--start", programDir.string()});
    StartReport report;
    report.seconds = run.seconds;
    std::istringstream words(run.line);
    std::string name;
    double value = 0;
    while (words >> name >> value) {
        report.parts[name] = value;
    }
    if (report.parts.empty() || report.parts["errors"] != 0) {
        throw std::runtime_error("the start failed: " + run.line);
    }
    return report;
}

// A program folder whose data folder is a copy of the generated one, made once per run.
const fs::path& programFolder(int records) {
    static std::map<int, fs::path> folders;
    if (auto it = folders.find(records); it != folders.end()) {
        return it->second;
    }
    const DataFolder& data = benchdata::realisticData(records);
    const fs::path program = data.root / "program";
    benchdata::copyFolder(data.dir(), program / "data", false);
    return folders.emplace(records, program).first->second;
}

// The generated data with every twentieth record deleted, made once per run.
const fs::path& deletedFolder(int records) {
    static std::map<int, fs::path> folders;
    if (auto it = folders.find(records); it != folders.end()) {
        return it->second;
    }
    const DataFolder& data = benchdata::realisticData(records);
    return folders.emplace(records, benchdata::withDeletedRecords(data)).first->second;
}

// The parts of the start, averaged, by record count.
std::map<int, std::map<std::string, double>> startParts;

// Starts over the folder until the starts have nothing left to write: the first numbers the
// list; the next, once the files have settled, keeps the indexes that later starts read.
void settle(const fs::path& program) {
    runStart(program);
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    runStart(program);
}

void BM_Start(benchmark::State& state) {
    const fs::path& program = programFolder(static_cast<int>(state.range(0)));
    settle(program);
    std::map<std::string, double>& sums = startParts[static_cast<int>(state.range(0))];
    sums.clear();
    for (auto _ : state) {
        const StartReport report = runStart(program);
        state.SetIterationTime(report.seconds);
        for (const auto& [name, value] : report.parts) {
            sums[name] += value;
        }
    }
    const double runs = static_cast<double>(state.iterations());
    for (auto& [name, sum] : sums) {
        sum /= runs;
    }
    state.counters["pack_ms"] = sums["pack"];
    state.counters["datasets_ms"] = sums["datasets"];
    state.counters["windows_ms"] = sums["windows"];
    state.counters["show_ms"] = sums["show"];
    state.counters["peak_MB"] = sums["peak"] / 1024;
}

// Each start over a fresh copy of the folder with deleted records, synced to disk as a user's
// data is, so that the start does not wait for the copy's writes; the copy is not timed.
void BM_StartDeleted(benchmark::State& state) {
    const int records = static_cast<int>(state.range(0));
    const fs::path program = benchdata::realisticData(records).root / "program-deleted";
    double packMs = 0;
    for (auto _ : state) {
        benchdata::copyFolder(deletedFolder(records), program / "data", true);
        const StartReport report = runStart(program);
        state.SetIterationTime(report.seconds);
        packMs += report.parts.at("pack");
    }
    state.counters["pack_ms"] = packMs / static_cast<double>(state.iterations());
    fs::remove_all(program);
}

// The first click of each start; the start is not timed.
void BM_FirstGridClick(benchmark::State& state) {
    const fs::path& program = programFolder(static_cast<int>(state.range(0)));
    settle(program);
    for (auto _ : state) {
        state.SetIterationTime(runStart(program).parts.at("click") / 1000);
    }
}

// What a click reads of the native tables: the clicked record with its memos, whose fields
// the marks test, and its completing persons.
size_t nativeClick(benchdata::NativeTables& native, const DataFolder& data, int64_t click) {
    const int perYear = data.records / DataFolder::kYears;
    const std::string key =
        DataFolder::key(data.records - perYear + clickedRow(click, perYear), data.records);
    return native.recordRow(key) + native.childRows("cgwcr", key);
}

// The same as the first click of a fresh process, after the list a start shows; opening the
// connection and that list are not timed.
int nativeClickChild(int records, int64_t click) {
    const DataFolder& data = benchdata::realisticData(records);
    benchdata::NativeTables native(data);
    native.listRows(1, newestYear());  // the list the main window shows before the click
    const auto begin = std::chrono::steady_clock::now();
    const size_t rows = nativeClick(native, data, click);
    const auto end = std::chrono::steady_clock::now();
    std::printf("%f %zu\n", std::chrono::duration<double, std::milli>(end - begin).count(), rows);
    return 0;
}

void BM_Native_FirstGridClick(benchmark::State& state) {
    const std::string records = std::to_string(state.range(0));
    int64_t click = 0;
    for (auto _ : state) {
        const benchdata::ChildRun run =
            benchdata::runSelf({"--native-click", records, std::to_string(++click)});
        state.SetIterationTime(std::stod(run.line) / 1000);
    }
}

void copyDataFolderSynced(benchmark::State& state, const fs::path& source) {
    const DataFolder& data = benchdata::realisticData(static_cast<int>(state.range(0)));
    const fs::path copy = data.root / "copy";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(copy);
        state.ResumeTiming();
        benchdata::copyFolder(source, copy, true);
    }
    fs::remove_all(copy);
}

void BM_CopyDataFolderSynced(benchmark::State& state) {
    copyDataFolderSynced(state, benchdata::realisticData(static_cast<int>(state.range(0))).dir());
}

void BM_CopyDeletedFolderSynced(benchmark::State& state) {
    copyDataFolderSynced(state, deletedFolder(static_cast<int>(state.range(0))));
}

// ---- the main window, in this process ---------------------------------------------------

// The data module and the main window over a copy of the data, started once per run.
struct Program {
    std::unique_ptr<TDM> dataModule;
    std::unique_ptr<TMainForm> mainForm;
    Ui::TMainForm* ui = nullptr;
};

std::map<int, Program>& programs() {
    static std::map<int, Program> started;
    return started;
}

// The windows go before the application object.
void closePrograms() {
    MainForm = nullptr;
    DM = nullptr;
    programs().clear();
}

Program& program(int records) {
    if (auto it = programs().find(records); it != programs().end()) {
        MainForm = it->second.mainForm.get();
        DM = it->second.dataModule.get();
        return it->second;
    }
    const fs::path& folder = programFolder(records);
    Program& started = programs()[records];
    started.dataModule = std::make_unique<TDM>(folder);
    DM = started.dataModule.get();
    started.dataModule->DataModuleCreate();
    started.mainForm = std::make_unique<TMainForm>();
    MainForm = started.mainForm.get();
    started.mainForm->show();
    started.ui = started.mainForm->form();
    return started;
}

// Each action is measured after it ran once unmeasured: the first run of a session reads
// what later ones find indexed.
void BM_TypeSwitch(benchmark::State& state) {
    Program& p = program(static_cast<int>(state.range(0)));
    p.ui->ComboBox1->setCurrentIndex(1);
    p.ui->ComboBox1->setCurrentIndex(0);
    int type = 0;
    for (auto _ : state) {
        type = 1 - type;
        p.ui->ComboBox1->setCurrentIndex(type);
    }
    p.ui->ComboBox1->setCurrentIndex(0);
}

void BM_Native_TypeSwitch(benchmark::State& state) {
    benchdata::NativeTables native(benchdata::realisticData(static_cast<int>(state.range(0))));
    native.listRows(2, newestYear());
    int type = 0;
    for (auto _ : state) {
        type = 1 - type;
        benchmark::DoNotOptimize(native.listRows(type + 1, newestYear()));
    }
}

void BM_YearTyping(benchmark::State& state) {
    Program& p = program(static_cast<int>(state.range(0)));
    QLineEdit* edit = p.ui->cbYear->lineEdit();
    auto typeYear = [edit] {
        edit->selectAll();
        QTest::keyClicks(edit, QString::fromStdString(newestYear()));
    };
    typeYear();
    for (auto _ : state) {
        typeYear();
    }
}

void BM_Native_YearTyping(benchmark::State& state) {
    benchdata::NativeTables native(benchdata::realisticData(static_cast<int>(state.range(0))));
    const std::string year = newestYear();
    auto typeYear = [&] {
        for (size_t typed = 1; typed <= year.size(); ++typed) {
            benchmark::DoNotOptimize(native.listRows(1, year.substr(0, typed)));
        }
    };
    typeYear();
    for (auto _ : state) {
        typeYear();
    }
}

void BM_GridClick(benchmark::State& state) {
    program(static_cast<int>(state.range(0)));
    store::Query& list = DM->Qryhvel;
    const int rows = list.recordCount();
    MainForm->DBGrid1CellClick();
    int64_t click = 0;
    for (auto _ : state) {
        list.setRecNo(clickedRow(++click, rows) + 1);
        MainForm->DBGrid1CellClick();
    }
}

void BM_Native_GridClick(benchmark::State& state) {
    const DataFolder& data = benchdata::realisticData(static_cast<int>(state.range(0)));
    benchdata::NativeTables native(data);
    nativeClick(native, data, 0);
    int64_t click = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(nativeClick(native, data, ++click));
    }
}

// Five runs each (after the first start of a folder, which writes what later starts read).
BENCHMARK(BM_Start)
    ->Arg(kSmall)
    ->Arg(kLarge)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK(BM_CopyDataFolderSynced)
    ->Apply(benchdata::atBothSizes)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_StartDeleted)
    ->Arg(kSmall)
    ->Arg(kLarge)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK(BM_CopyDeletedFolderSynced)
    ->Apply(benchdata::atBothSizes)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_FirstGridClick)
    ->Arg(kSmall)
    ->Arg(kLarge)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK(BM_Native_FirstGridClick)
    ->Arg(kSmall)
    ->Arg(kLarge)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK(BM_TypeSwitch)->Apply(benchdata::atBothSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Native_TypeSwitch)->Apply(benchdata::atBothSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_YearTyping)->Apply(benchdata::atBothSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Native_YearTyping)->Apply(benchdata::atBothSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GridClick)->Apply(benchdata::atBothSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Native_GridClick)->Apply(benchdata::atBothSizes)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--start") == 0) {
        return startChild(argc, argv, argv[2]);
    }
    if (argc == 4 && std::strcmp(argv[1], "--native-click") == 0) {
        return nativeClickChild(std::atoi(argv[2]), std::atoll(argv[3]));
    }
    benchmark::Initialize(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    VelmoraApplication app(argc, argv);
    benchdata::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios({{"BM_Start", "BM_CopyDataFolderSynced"},
                          {"BM_StartDeleted", "BM_CopyDeletedFolderSynced"},
                          {"BM_FirstGridClick", "BM_Native_FirstGridClick"},
                          {"BM_TypeSwitch", "BM_Native_TypeSwitch"},
                          {"BM_YearTyping", "BM_Native_YearTyping"},
                          {"BM_GridClick", "BM_Native_GridClick"}},
                         {kSmall, kLarge});
    for (const auto& [records, parts] : startParts) {
        std::cout << "  start at " << records << ": the pack with nothing to purge "
                  << parts.at("pack") << " ms, the datasets " << parts.at("datasets")
                  << " ms, the windows " << parts.at("windows") << " ms, showing the main window "
                  << parts.at("show") << " ms; peak memory " << parts.at("peak") / 1024
                  << " MB at the main window\n";
    }
    closePrograms();
    return 0;
}
