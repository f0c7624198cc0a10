#pragma once

#include <benchmark/benchmark.h>

#include <iostream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "TimesReporter.h"

namespace benchdata {

// The record counts every benchmark runs at.
constexpr int kSmall = 10'000;
constexpr int kLarge = 100'000;

// Both record counts, timed in real time.
inline void atBothSizes(benchmark::internal::Benchmark* benchmark) {
    benchmark->Arg(kSmall)->Arg(kLarge)->UseRealTime();
}

// Keeps the runs' times and prints the ratios of measurements to their baselines.
class RatioReporter : public TimesReporter {
public:
    // The time of name/argument, whether it was measured in real or in manual time, with a
    // fixed count of iterations or not; 0 when it did not run.
    double time(const std::string& name, int argument) const {
        const std::string prefix = name + "/" + std::to_string(argument) + "/";
        for (const auto& [run, time] : times) {
            const std::string rest =
                run.substr(0, prefix.size()) == prefix ? run.substr(prefix.size()) : "";
            if (rest.ends_with("real_time") || rest.ends_with("manual_time")) {
                return time;
            }
        }
        return 0;
    }

    // Prints measured / baseline for each pair and argument that both ran.
    void printRatios(const std::vector<std::pair<std::string, std::string>>& pairs,
                     const std::vector<int>& arguments) const {
        std::cout << "\nratio (measured / baseline)\n";
        for (const auto& [measured, baseline] : pairs) {
            for (int argument : arguments) {
                const double a = time(measured, argument);
                const double b = time(baseline, argument);
                if (a > 0 && b > 0) {
                    std::cout << "  " << measured << " / " << baseline << " at " << argument << ": "
                              << a / b << "\n";
                }
            }
        }
    }
};

}  // namespace benchdata
