#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

namespace corvane_bench {
void RegisterProcessAudioBenchmarks();
void RegisterSessionMemoryBenchmarks();
extern const char* const kSessionMemoryChildFlag;
int RunSessionMemoryChild(const char* oversampled);
void PrintTargets(const std::map<std::string, double>& ns);
}  // namespace corvane_bench

namespace {

/** Prints as usual and keeps each benchmark's per-sample figure (the median when repeated) for
 * the targets table, under the benchmark's name; any other counter under "name#counter". */
class TargetsReporter : public benchmark::ConsoleReporter {
 public:
  // Colours only for a terminal, as the library's own reporter does.
  TargetsReporter() : ConsoleReporter(isatty(1) ? OO_ColorTabular : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type != Run::RT_Iteration && !median) continue;
      const std::string name = run.run_name.str();
      if (!median && mMedians.count(name)) continue;
      for (const auto& [counter, value] : run.counters) {
        if (counter == "ns_per_sample_per_channel" || counter == "ns_per_sample")
          mNs[name] = value.value * 1e9;
        else
          mNs[name + "#" + counter] = value.value;
      }
      if (median) mMedians.insert(name);
    }
  }
  const std::map<std::string, double>& Figures() const { return mNs; }

 private:
  std::map<std::string, double> mNs;
  std::set<std::string> mMedians;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], corvane_bench::kSessionMemoryChildFlag) == 0)
    return corvane_bench::RunSessionMemoryChild(argv[2]);
  corvane_bench::RegisterProcessAudioBenchmarks();
  corvane_bench::RegisterSessionMemoryBenchmarks();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TargetsReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  corvane_bench::PrintTargets(reporter.Figures());
  benchmark::Shutdown();
  return 0;
}
