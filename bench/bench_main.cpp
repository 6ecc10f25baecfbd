// Runs every registered benchmark, then prints the ratio table of ratio_report.h and the
// instruction counts of instruction_counts.h.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "bench_support.h"
#include "instruction_counts.h"
#include "ratio_report.h"

namespace framedec::bench {
namespace {

struct Ratio {
    std::string numerator, denominator, note;
    RatioClock clock;
};

struct Times {
    double processor, wall;  // seconds
    double Of(RatioClock clock) const { return clock == RatioClock::Processor ? processor : wall; }
};

std::vector<Ratio>& Ratios() {
    static std::vector<Ratio> ratios;
    return ratios;
}

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            // Repeated runs report aggregates; the median is the figure used for ratios.
            std::string name = run.benchmark_name();
            if (run.run_type == Run::RT_Aggregate) {
                if (run.aggregate_name != "median") continue;
                name = run.run_name.str();
            }
            for (const char* suffix : {"/process_time", "/real_time"}) {
                if (const auto at = name.find(suffix); at != std::string::npos) name.erase(at, std::string(suffix).size());
            }
            const double unit = benchmark::GetTimeUnitMultiplier(run.time_unit);
            seconds_[name] = {run.GetAdjustedCPUTime() / unit, run.GetAdjustedRealTime() / unit};
            const auto slash = name.find('/');
            if (slash != std::string::npos) images_.insert(name.substr(slash + 1));
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        if (Ratios().empty()) return;
        std::printf("\n%-45s %-10s %-9s %12s %12s %8s\n", "ratio", "image", "clock", "numerator", "denominator", "ratio");
        for (const Ratio& r : Ratios()) {
            for (const std::string& image : images_) {
                const auto n = seconds_.find(r.numerator + "/" + image);
                const auto d = seconds_.find(r.denominator + "/" + image);
                if (n == seconds_.end() || d == seconds_.end()) continue;
                const std::string label = r.numerator + " / " + r.denominator;
                const double numerator = n->second.Of(r.clock), denominator = d->second.Of(r.clock);
                std::printf("%-45s %-10s %-9s %10.1fus %10.1fus %8.3f  %s\n", label.c_str(), image.c_str(),
                            r.clock == RatioClock::Processor ? "processor" : "wall", numerator * 1e6, denominator * 1e6,
                            numerator / denominator, r.note.c_str());
            }
        }
    }

  private:
    std::map<std::string, Times> seconds_;
    std::set<std::string> images_;
};

}  // namespace

void AddRatio(const std::string& numerator, const std::string& denominator, const std::string& note,
              RatioClock clock) {
    Ratios().push_back({numerator, denominator, note, clock});
}

}  // namespace framedec::bench

// Besides Google Benchmark's flags: --instruction_counts=false leaves out the instruction counts
// (a run under callgrind of about a minute), printed after the timings otherwise.
int main(int argc, char** argv) {
    using namespace framedec::bench;
    bool instructionCounts = true;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind(kInstructionCountRunFlag, 0) == 0) return RunInstructionCounts();
        if (arg == "--instruction_counts=false") {
            instructionCounts = false;
        } else if (arg != "--instruction_counts=true") {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    if (instructionCounts) {
        std::error_code error;
        const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
        PrintInstructionCounts(error ? std::string(argv[0]) : self.string(), FRAMEDEC_BENCH_WORK_DIR);
    }
    return 0;
}
