// The export over realistic data (10,000 and 100,000 records), each measurement beside a
// baseline of the same run:
//   ExportYear    "导出" in the export window for the newest year's records (a tenth of them):
//                 the main file, the child rows of those records, the unit and its experts,
//                 up to the packing (the archiver is a stand-in that packs nothing), beside
//                 copying the files it wrote;
//   ExportEvery   the same for every record.
// The window is opened and the range chosen before each measured run, so that every run starts
// with the export marks reset. The ratios (export / copy) are printed after the runs.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <filesystem>
#include <map>
#include <memory>

#include "Application.h"
#include "Archiver.h"
#include "BenchSupport.h"
#include "Dialogs.h"
#include "RealisticData.h"
#include "Unit1.h"
#include "UnitDM.h"
#include "Unitout.h"
#include "ui_Unitout.h"

namespace fs = std::filesystem;
using benchdata::DataFolder;

namespace {

using benchdata::kLarge;
using benchdata::kSmall;

// Packs nothing: counts the bytes of the files it is given and, when told to, keeps a copy of
// them for the baseline.
class CountingArchiver : public exchange::Archiver {
public:
    void pack(const fs::path& folder, const std::string&,
              const std::vector<std::string>& files) override {
        bytes = 0;
        for (const std::string& file : files) {
            bytes += fs::file_size(folder / file);
            if (!keepIn.empty()) {
                benchdata::copyFile(folder / file, keepIn / file, false);
            }
        }
    }
    void extract(const fs::path&, const fs::path&, const std::vector<std::string>&) override {}

    fs::path keepIn;
    uintmax_t bytes = 0;
};

// The export window over a copy of the data, made once per record count, and the files of one
// export of each range, kept for the baselines.
struct Export {
    std::unique_ptr<TDM> dataModule;
    std::unique_ptr<TMainForm> mainForm;
    std::unique_ptr<TFormout> window;
    fs::path folder;                   // the export folder
    std::map<bool, fs::path> written;  // by range (true: every record)
    std::map<bool, uintmax_t> bytes;   // what an export of the range writes
};

widgets::ScriptedDialogs& dialogs() {
    static widgets::ScriptedDialogs scripted;
    return scripted;
}

CountingArchiver& archiver() {
    static CountingArchiver counting;
    return counting;
}

std::map<int, Export>& exports() {
    static std::map<int, Export> started;
    return started;
}

// The window shown and the range chosen, the export marks reset, as a user starts an export.
void chooseRange(Export& e, bool every) {
    TFormout& window = *e.window;
    window.FormShow();
    window.form()->Edit1->setText(QString::fromStdString(e.folder.string()));
    if (every) {
        window.RadioButton5Click();
    } else {
        window.RadioButton7Click();
        window.form()->ComboBox2->setCurrentIndex(0);  // the newest year
        window.ComboBox2Change();
    }
}

Export& started(int records) {
    if (auto it = exports().find(records); it != exports().end()) {
        MainForm = it->second.mainForm.get();
        DM = it->second.dataModule.get();
        return it->second;
    }
    const DataFolder& data = benchdata::realisticData(records);
    const fs::path program = data.root / "export-program";
    benchdata::copyFolder(data.dir(), program / "data", false);
    Export& e = exports()[records];
    e.dataModule = std::make_unique<TDM>(program);
    DM = e.dataModule.get();
    e.dataModule->DataModuleCreate();
    e.mainForm = std::make_unique<TMainForm>();
    MainForm = e.mainForm.get();
    e.window = std::make_unique<TFormout>(*e.mainForm, e.mainForm.get());
    e.folder = data.root / "export-out";
    fs::create_directories(e.folder);
    dialogs();
    exchange::Archiver::install(&archiver());
    // One unmeasured export of each range: it reads what later ones find indexed, and its
    // files are the baseline's.
    for (const bool every : {false, true}) {
        e.written[every] = data.root / (every ? "export-every" : "export-year");
        benchdata::copyFolder(e.folder, e.written[every], false);
        archiver().keepIn = e.written[every];
        chooseRange(e, every);
        e.window->Button2Click();
        e.bytes[every] = archiver().bytes;
    }
    archiver().keepIn.clear();
    return e;
}

void runExport(benchmark::State& state, bool every) {
    Export& e = started(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        chooseRange(e, every);
        state.ResumeTiming();
        e.window->Button2Click();
    }
    state.counters["MB"] = static_cast<double>(e.bytes[every]) / 1e6;
}

void runCopy(benchmark::State& state, bool every) {
    Export& e = started(static_cast<int>(state.range(0)));
    const fs::path copy = e.folder.parent_path() / "export-copy";
    for (auto _ : state) {
        benchdata::copyFolder(e.written[every], copy, false);
    }
    fs::remove_all(copy);
    state.counters["MB"] = static_cast<double>(e.bytes[every]) / 1e6;
}

void BM_ExportYear(benchmark::State& state) {
    runExport(state, false);
}

void BM_CopyYearFiles(benchmark::State& state) {
    runCopy(state, false);
}

void BM_ExportEvery(benchmark::State& state) {
    runExport(state, true);
}

void BM_CopyEveryFiles(benchmark::State& state) {
    runCopy(state, true);
}

BENCHMARK(BM_ExportYear)->Apply(benchdata::atBothSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyYearFiles)->Apply(benchdata::atBothSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportEvery)->Apply(benchdata::atBothSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyEveryFiles)->Apply(benchdata::atBothSizes)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    VelmoraApplication app(argc, argv);
    benchdata::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios(
        {{"BM_ExportYear", "BM_CopyYearFiles"}, {"BM_ExportEvery", "BM_CopyEveryFiles"}},
        {kSmall, kLarge});
    exchange::Archiver::install(nullptr);
    // The windows go before the application object.
    MainForm = nullptr;
    DM = nullptr;
    exports().clear();
    return 0;
}
