// Console output plus each benchmark's time per iteration, kept for the ratios a benchmark
// binary prints after its run: with repetitions the median stands for the benchmark. Manually
// timed benchmarks report their manual (wall) time, the others their CPU time, since the machine
// may be shared and wall time is the noisier measure there.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class MedianReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (r.run_type == Run::RT_Aggregate && !median) {
                continue;
            }
            const std::string name = r.run_name.str();
            const double t = name.find("manual_time") != std::string::npos ? r.GetAdjustedRealTime()
                                                                           : r.GetAdjustedCPUTime();
            (median ? medians_ : last_)[name] = t;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // The time of a benchmark by its full name (with "/manual_time" where it has one), 0 when
    // it did not run.
    double time(const std::string& name) const {
        if (auto it = medians_.find(name); it != medians_.end()) {
            return it->second;
        }
        auto it = last_.find(name);
        return it == last_.end() ? 0 : it->second;
    }

private:
    std::map<std::string, double> last_;
    std::map<std::string, double> medians_;
};
