// Member diagrams of the 100-member frame: every member of every load case
// and combination built as piecewise polynomials, read at 21 stations with
// its exact span extremes. The analysis itself is BM_AnalyseFrameLinear/100.

#include <benchmark/benchmark.h>

#include "analysis/driver.hpp"
#include "diagrams/member_diagrams.hpp"
#include "document/document_io.hpp"
#include "inspection/inspection.hpp"
#include "support/frame_models.hpp"

namespace {

struct SolvedCase {
  velk::ResultType identity;
  Eigen::VectorXd u;
  velk::ActiveMap active;
};

struct SolvedFrame {
  velk::VELK model;
  std::vector<SolvedCase> cases;
};

SolvedFrame solved_frame(int members) {
  SolvedFrame frame;
  const auto written =
      velk::calculate_from_json(velk::write_velk(velk::test_support::frame_model({.members = members})));
  if (!written) return frame;
  frame.model = *velk::read_velk(*written);
  const velk::UnitFactors factors = velk::unit_factors(frame.model.settings.unit_settings);
  for (const auto* group : {&frame.model.results->loadcases, &frame.model.results->loadcombinations}) {
    for (const auto& [name, results] : *group) {
      frame.cases.push_back(SolvedCase{results.result_type,
                                       velk::stored_displacements(frame.model, results, factors),
                                       velk::stored_active_map(frame.model, results)});
    }
  }
  return frame;
}

// All cases: what `velk diagrams --stations 21` computes after the analysis.
void BM_MemberDiagrams(benchmark::State& state) {
  const SolvedFrame frame = solved_frame(static_cast<int>(state.range(0)));
  if (frame.cases.empty()) {
    state.SkipWithError("the frame did not solve");
    return;
  }
  const int stations = static_cast<int>(state.range(1));
  for (auto _ : state) {
    for (const SolvedCase& c : frame.cases) {
      const velk::MemberDiagrams diagrams =
          velk::build_member_diagrams(frame.model, c.identity, c.u, c.active);
      for (const auto& [id, diagram] : diagrams) {
        const velk::SampledDiagram sampled = velk::sample_diagram(diagram, stations);
        benchmark::DoNotOptimize(sampled.values[0].data());
      }
    }
  }
  state.counters["cases"] = static_cast<double>(frame.cases.size());
}
BENCHMARK(BM_MemberDiagrams)->Args({100, 21})->Unit(benchmark::kMillisecond);

// The whole front end on the model text: analysis, reading back, diagrams
// of every case (unsampled).
void BM_InspectModel(benchmark::State& state) {
  const std::string text = velk::write_velk(velk::test_support::frame_model({.members = 100}));
  for (auto _ : state) {
    auto inspected = velk::inspect_model(text);
    benchmark::DoNotOptimize(inspected.has_value());
  }
}
BENCHMARK(BM_InspectModel)->Unit(benchmark::kMillisecond);

}  // namespace
