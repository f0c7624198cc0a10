#pragma once

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <map>
#include <stdexcept>
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

// What a run of this program in a process of its own wrote first: its first line of standard
// output, and the seconds from the start of the process to that line.
struct ChildRun {
    std::string line;
    double seconds = 0;
};

// Runs this program again with arguments until it writes its first line, then waits for it
// to end. Throws when it writes no line.
inline ChildRun runSelf(const std::vector<std::string>& arguments) {
    std::vector<char*> argv{const_cast<char*>("bench")};
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const auto begin = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        ::execv("/proc/self/exe", argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    ChildRun run;
    char buffer[512];
    ssize_t got = 0;
    while (run.line.find('\n') == std::string::npos &&
           (got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        run.line.append(buffer, static_cast<size_t>(got));
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (run.line.find('\n') == std::string::npos) {
        throw std::runtime_error("the child process wrote no line: " + run.line);
    }
    run.line.resize(run.line.find('\n'));
    return run;
}

// Runs program with arguments in a process of its own, its output discarded, and waits for it
// to end; returns the seconds it took. Throws when it fails.
inline double runToEnd(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const auto begin = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error(program + " failed");
    }
    return seconds;
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
