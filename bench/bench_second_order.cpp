// A whole analysis through calculate_from_json, first order against second
// order on the same model: the generated 100-member frame's whole document
// (four load cases, three combinations) and its dead load case alone (0, 1),
// and the 24-member plane frame's whole document (2).

#include <benchmark/benchmark.h>

#include <string>

#include "analysis/driver.hpp"
#include "document/document_io.hpp"
#include "solvers/solve_context.hpp"
#include "solvers/solver_entries.hpp"
#include "support/allocation_counter.hpp"
#include "support/frame_models.hpp"

namespace {

void analyse(benchmark::State& state, velk::AnalysisOrder order) {
  const bool plane = state.range(0) == 2;
  velk::VELK model = plane ? velk::test_support::plane_frame_model() : velk::test_support::frame_model();
  model.settings.analysis_options.order = order;
  const bool one_case = state.range(0) == 1;
  if (one_case) {
    model.load_cases.resize(1);
    model.load_combinations.clear();
  }
  const std::string text = velk::write_velk(model);
  std::size_t allocations = 0;
  for (auto _ : state) {
    const std::size_t before = velk::test_support::allocations();
    auto written = velk::calculate_from_json(text);
    allocations = velk::test_support::allocations() - before;
    if (!written) {
      state.SkipWithError(written.error().c_str());
      break;
    }
    benchmark::DoNotOptimize(written->data());
  }
  state.counters["allocations"] = static_cast<double>(allocations);
  // Tangents factored in one call, read from the call's solve context.
  std::size_t tangents = 0;
  velk::SolverEntries counting;
  const auto count = [&tangents](const velk::SolveContext& context) {
    tangents = context.tangent_factorizations();
  };
  counting.load_case_second_order = [&](velk::VELK& m, std::uint32_t id, std::uint32_t limit,
                                        velk::SolveContext& context) {
    auto results = velk::solve_load_case_second_order(m, id, limit, context);
    count(context);
    return results;
  };
  counting.combination_second_order = [&](velk::VELK& m, std::uint32_t id, std::uint32_t limit,
                                          velk::SolveContext& context) {
    auto results = velk::solve_combination_second_order(m, id, limit, context);
    count(context);
    return results;
  };
  if (velk::analyse_document(text, counting)) state.counters["tangents"] = static_cast<double>(tangents);
  state.SetLabel(plane      ? "24-member plane frame, 2 cases + 2 combinations"
                 : one_case ? "dead load case"
                            : "4 cases + 3 combinations");
}

void BM_FrameFirstOrder(benchmark::State& state) { analyse(state, velk::AnalysisOrder::Linear); }
BENCHMARK(BM_FrameFirstOrder)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_FrameSecondOrder(benchmark::State& state) { analyse(state, velk::AnalysisOrder::Nonlinear); }
BENCHMARK(BM_FrameSecondOrder)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace
