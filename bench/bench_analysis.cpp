// A whole first-order analysis through calculate_from_json: generated 3D
// frames of 10 to 100 members with braces, rigid stubs, four load cases and
// three combinations.

#include <benchmark/benchmark.h>

#include "analysis/driver.hpp"
#include "document/document_io.hpp"
#include "document/units.hpp"
#include "numerics/factorization.hpp"
#include "results/results.hpp"
#include "support/frame_models.hpp"
#include "system/constraints.hpp"
#include "system/load_assembler.hpp"
#include "system/reduced_system.hpp"

namespace {

void BM_AnalyseFrameLinear(benchmark::State& state) {
  const std::string text = velk::write_velk(
      velk::test_support::frame_model({.members = static_cast<int>(state.range(0)), .rigid_stubs = 4}));
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
      benchmark::Counter(static_cast<double>(state.range(0)),
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_AnalyseFrameLinear)->Arg(10)->Arg(25)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond);

// ---- the phases of one analysis of the 100-member frame ----

namespace phases {

struct Frame {
  velk::VELK model = velk::test_support::frame_model();
  std::string text = velk::write_velk(model);
  velk::ConstraintTransform t = *velk::build_constraint_transform(model);
  Eigen::VectorXd f = velk::assemble_load_vector(model, 1);
};

const Frame& frame() {
  static const Frame shared;
  return shared;
}

void BM_PhaseRead(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(velk::read_velk(frame().text));
}
BENCHMARK(BM_PhaseRead)->Unit(benchmark::kMicrosecond);

void BM_PhaseNormalise(benchmark::State& state) {
  velk::VELK model = frame().model;
  model.settings.unit_settings.length_unit = velk::LengthUnit::Mm;
  const velk::UnitFactors factors = velk::unit_factors(model.settings.unit_settings);
  for (auto _ : state) velk::normalize_units(model, factors);
}
BENCHMARK(BM_PhaseNormalise)->Unit(benchmark::kMicrosecond);

void BM_PhaseConstraintTransform(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(velk::build_constraint_transform(frame().model));
}
BENCHMARK(BM_PhaseConstraintTransform)->Unit(benchmark::kMicrosecond);

void BM_PhaseReducedPattern(benchmark::State& state) {
  for (auto _ : state) {
    velk::ReducedStiffness k_reduced(frame().model, frame().t);
    benchmark::DoNotOptimize(k_reduced.size());
  }
}
BENCHMARK(BM_PhaseReducedPattern)->Unit(benchmark::kMicrosecond);

void BM_PhaseAssembleAndRestrain(benchmark::State& state) {
  velk::ReducedStiffness k_reduced(frame().model, frame().t);
  Eigen::VectorXd f_reduced;
  for (auto _ : state) {
    benchmark::DoNotOptimize(k_reduced.assemble({}));
    k_reduced.reduce_load(frame().f, f_reduced);
    benchmark::DoNotOptimize(k_reduced.apply_restraints(f_reduced));
  }
}
BENCHMARK(BM_PhaseAssembleAndRestrain)->Unit(benchmark::kMicrosecond);

// Assembles the frame's reduced system with the first load case and imposes the restraints.
void restrain(velk::ReducedStiffness& k_reduced, Eigen::VectorXd& f_reduced) {
  (void)k_reduced.assemble({});
  k_reduced.reduce_load(frame().f, f_reduced);
  k_reduced.apply_restraints(f_reduced);
}

void BM_PhaseFactor(benchmark::State& state) {
  velk::ReducedStiffness k_reduced(frame().model, frame().t);
  Eigen::VectorXd f_reduced;
  restrain(k_reduced, f_reduced);
  // 0: a fresh factorisation (ordering and graph search included) every
  // time; 1: refactoring along the pivots of the one before.
  const bool fresh = state.range(0) == 0;
  velk::ReducedFactorization lu;
  for (auto _ : state) {
    if (fresh) {
      state.PauseTiming();
      lu = velk::ReducedFactorization();
      state.ResumeTiming();
    }
    benchmark::DoNotOptimize(lu.factor(k_reduced.matrix()));
  }
  state.counters["n"] = static_cast<double>(k_reduced.size());
  state.counters["nonzeros"] = static_cast<double>(k_reduced.matrix().nonZeros());
  state.counters["factor_nonzeros"] = static_cast<double>(lu.sparse_factor_nonzeros());
}
BENCHMARK(BM_PhaseFactor)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_PhaseSolveAndExpand(benchmark::State& state) {
  velk::ReducedStiffness k_reduced(frame().model, frame().t);
  Eigen::VectorXd f_reduced;
  restrain(k_reduced, f_reduced);
  velk::ReducedFactorization lu;
  lu.factor(k_reduced.matrix());
  for (auto _ : state) benchmark::DoNotOptimize(velk::expand_solution(frame().t, lu.solve(f_reduced)));
}
BENCHMARK(BM_PhaseSolveAndExpand)->Unit(benchmark::kMicrosecond);

void BM_PhaseResults(benchmark::State& state) {
  velk::VELK model = frame().model;
  const Eigen::VectorXd u = Eigen::VectorXd::Random(frame().t.full_size) * 1e-3;
  for (auto _ : state) {
    model.results.reset();
    benchmark::DoNotOptimize(velk::store_results(model, "case", velk::ResultType::load_case(1), u, {}));
  }
}
BENCHMARK(BM_PhaseResults)->Unit(benchmark::kMicrosecond);

void BM_PhaseWrite(benchmark::State& state) {
  velk::VELK model = frame().model;
  const Eigen::VectorXd u = Eigen::VectorXd::Random(frame().t.full_size) * 1e-3;
  for (const char* name : {"a", "b", "c", "d"})
    (void)velk::store_results(model, name, velk::ResultType::load_case(1), u, {});
  for (const char* name : {"e", "f", "g"})
    (void)velk::store_results(model, name, velk::ResultType::combination(1), u, {});
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string text = velk::write_velk(model);
    bytes = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_PhaseWrite)->Unit(benchmark::kMicrosecond);

}  // namespace phases

}  // namespace
