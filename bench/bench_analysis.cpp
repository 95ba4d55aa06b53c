// A whole first-order analysis through calculate_from_json: generated 3D
// frames of 10 to 100 members with braces, rigid stubs, four load cases and
// three combinations.

#include <benchmark/benchmark.h>

#include "analysis/driver.hpp"
#include "bench_models.hpp"
#include "document/document_io.hpp"

namespace {

void BM_AnalyseFrameLinear(benchmark::State& state) {
  const std::string text =
      velk::write_velk(velk::bench::frame_model({.members = static_cast<int>(state.range(0)), .rigid_stubs = 4}));
  for (auto _ : state) {
    auto written = velk::calculate_from_json(text);
    if (!written) {
      state.SkipWithError(written.error().c_str());
      break;
    }
    benchmark::DoNotOptimize(written->data());
  }
  state.counters["members"] = static_cast<double>(state.range(0));
  state.counters["per_member"] =
      benchmark::Counter(static_cast<double>(state.range(0)), benchmark::Counter::kIsIterationInvariantRate |
                                                                  benchmark::Counter::kInvert);
}
BENCHMARK(BM_AnalyseFrameLinear)->Arg(10)->Arg(25)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace
