// A whole analysis of the generated 100-member frame through
// calculate_from_json, first order against second order on the same model:
// the whole document (four load cases, three combinations), and its dead
// load case alone.

#include <benchmark/benchmark.h>

#include <string>

#include "allocation_counter.hpp"
#include "analysis/driver.hpp"
#include "bench_models.hpp"
#include "document/document_io.hpp"

namespace {

void analyse(benchmark::State& state, velk::AnalysisOrder order) {
  velk::VELK model = velk::bench::frame_model();
  model.settings.analysis_options.order = order;
  const bool one_case = state.range(0) == 1;
  if (one_case) {
    model.load_cases.resize(1);
    model.load_combinations.clear();
  }
  const std::string text = velk::write_velk(model);
  std::size_t allocations = 0;
  for (auto _ : state) {
    const std::size_t before = velk::bench::allocations();
    auto written = velk::calculate_from_json(text);
    allocations = velk::bench::allocations() - before;
    if (!written) {
      state.SkipWithError(written.error().c_str());
      break;
    }
    benchmark::DoNotOptimize(written->data());
  }
  state.counters["allocations"] = static_cast<double>(allocations);
  state.SetLabel(one_case ? "dead load case" : "4 cases + 3 combinations");
}

void BM_FrameFirstOrder(benchmark::State& state) { analyse(state, velk::AnalysisOrder::Linear); }
BENCHMARK(BM_FrameFirstOrder)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_FrameSecondOrder(benchmark::State& state) { analyse(state, velk::AnalysisOrder::Nonlinear); }
BENCHMARK(BM_FrameSecondOrder)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
