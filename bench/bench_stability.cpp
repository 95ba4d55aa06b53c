// The stability analysis of the 100-member benchmark frame (four load cases
// and three combinations, four modes each) against the first-order analysis
// of the same model in the same run.

#include <benchmark/benchmark.h>

#include <chrono>

#include "analysis/driver.hpp"
#include "stability/stability.hpp"
#include "support/frame_models.hpp"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void BM_StabilityFrame(benchmark::State& state) {
  const velk::VELK model =
      velk::test_support::frame_model({.members = static_cast<int>(state.range(0)), .rigid_stubs = 4});
  for (auto _ : state) {
    auto analysis = velk::analyse_document_stability(model, {.modes = 4, .dense_limit = {}});
    if (!analysis) {
      state.SkipWithError(analysis.error().c_str());
      break;
    }
    benchmark::DoNotOptimize(analysis->loadcombinations.data());
  }
  state.counters["members"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_StabilityFrame)->Arg(25)->Arg(100)->Unit(benchmark::kMillisecond);

// Each iteration runs the linear analysis of the parsed model and then its
// stability analysis; `ratio` is the time of the second over the first.
void BM_StabilityAgainstLinear(benchmark::State& state) {
  const velk::VELK model = velk::test_support::frame_model({.members = 100, .rigid_stubs = 4});
  double linear = 0.0;
  double stability = 0.0;
  for (auto _ : state) {
    velk::VELK analysed = model;
    const Clock::time_point start = Clock::now();
    const velk::Result<void> solved = velk::analyse_model(analysed);
    linear += seconds_since(start);
    const Clock::time_point middle = Clock::now();
    auto analysis = velk::analyse_document_stability(model, {.modes = 4, .dense_limit = {}});
    stability += seconds_since(middle);
    if (!solved || !analysis) {
      state.SkipWithError(solved ? analysis.error().c_str() : solved.error().c_str());
      break;
    }
    benchmark::DoNotOptimize(analysis->loadcases.data());
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["linear_ms"] = 1e3 * linear / n;
  state.counters["stability_ms"] = 1e3 * stability / n;
  state.counters["ratio"] = linear > 0.0 ? stability / linear : 0.0;
}
BENCHMARK(BM_StabilityAgainstLinear)->Unit(benchmark::kMillisecond);

}  // namespace
