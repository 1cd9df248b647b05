#pragma once
// Every benchmark here reports a ratio against a reference measured in the
// same run (the machine is shared, so absolute times say little). This
// reporter prints as Google Benchmark does and keeps each benchmark's best
// time, by the name of its function.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>

namespace bexora::bench {

class BestTimeReporter : public benchmark::ConsoleReporter {
public:
    enum class Clock { Cpu, Wall };
    explicit BestTimeReporter(Clock clock = Clock::Cpu)
        : ConsoleReporter(isatty(1) ? OO_Defaults : OO_Tabular), m_clock(clock) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
            double t = m_clock == Clock::Cpu ? run.GetAdjustedCPUTime() : run.GetAdjustedRealTime();
            auto [it, fresh] = m_best.emplace(run.run_name.function_name, t);
            if (!fresh && t < it->second) it->second = t;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    // Best time per iteration in the benchmark's own unit; 0 when it did not run.
    double Best(const std::string& function) const {
        auto it = m_best.find(function);
        return it == m_best.end() ? 0 : it->second;
    }

private:
    Clock m_clock;
    std::map<std::string, double> m_best;
};

// "ratio LABEL = A/B", or a note when one side did not run.
inline void PrintRatio(const char* label, double a, double b) {
    if (a > 0 && b > 0)
        std::printf("ratio %s = %.2f\n", label, a / b);
    else
        std::printf("ratio %s = n/a (run both benchmarks)\n", label);
}

}  // namespace bexora::bench
