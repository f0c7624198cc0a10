// The tools that print and write one record, over realistic data of 1,000 and 100,000
// records: each run a fresh process, from its start to its end, as a user runs it.
//   FormPdf   formpdf DATA_DIR ITEM_4 OUT.pdf, every page of the record's family;
//   FormDocs  formdocs DATA_DIR ITEM_4 OUT_DIR, every document of the record.
// Each over a copy of the data folder that has settled and been opened once, so that the
// indexes a start keeps beside the tables are there, as in any folder in use; the record is
// the one in the middle of the folder. Printed after the runs: each tool at 100,000 records
// beside the same at 1,000.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <thread>

#include "BenchSupport.h"
#include "RealisticData.h"

namespace fs = std::filesystem;
using benchdata::DataFolder;

namespace {

constexpr int kFew = 1'000;
constexpr int kMany = 100'000;

struct ToolFolder {
    fs::path data;
    fs::path out;
    std::string key;
};

// The copy of the data folder of this many records the tools run over, made once per run.
const ToolFolder& toolFolder(int records) {
    static std::map<int, ToolFolder> folders;
    if (auto it = folders.find(records); it != folders.end()) {
        return it->second;
    }
    const DataFolder& data = benchdata::realisticData(records);
    ToolFolder folder{benchdata::scratchCopy(data, "tools"), data.root / "tools-out",
                      DataFolder::key(records / 2, records)};
    fs::create_directories(folder.out);
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    benchdata::runToEnd(FORMDOCS_PATH, {folder.data.string(), folder.key, folder.out.string()});
    return folders.emplace(records, folder).first->second;
}

void runTool(benchmark::State& state, const std::string& tool, const std::string& output) {
    const ToolFolder& folder = toolFolder(static_cast<int>(state.range(0)));
    const std::string out = (folder.out / output).string();
    for (auto _ : state) {
        state.SetIterationTime(benchdata::runToEnd(tool, {folder.data.string(), folder.key, out}));
    }
}

void BM_FormPdf(benchmark::State& state) {
    runTool(state, FORMPDF_PATH, "form.pdf");
}

void BM_FormDocs(benchmark::State& state) {
    runTool(state, FORMDOCS_PATH, "");
}

BENCHMARK(BM_FormPdf)
    ->Arg(kFew)
    ->Arg(kMany)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(9);
BENCHMARK(BM_FormDocs)
    ->Arg(kFew)
    ->Arg(kMany)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(9);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    benchmark::Initialize(&argc, argv);
    benchdata::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::cout << "\nratio (at " << kMany << " records / at " << kFew << ")\n";
    for (const char* name : {"BM_FormPdf", "BM_FormDocs"}) {
        const double many = reporter.time(name, kMany), few = reporter.time(name, kFew);
        if (many > 0 && few > 0) {
            std::cout << "  " << name << ": " << many / few << "\n";
        }
    }
    for (int records : {kFew, kMany}) {
        std::error_code ignored;
        fs::remove_all(benchdata::realisticData(records).root / "tools", ignored);
        fs::remove_all(benchdata::realisticData(records).root / "tools-out", ignored);
    }
    return 0;
}
