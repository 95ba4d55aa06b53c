// Real buildings: the generated braced buildings of about 100 to 50,000
// members (four load cases, three combinations), analysed end to end from
// the document's text to the written results document, first and second
// order, and the phases whose cost grows with the size: reading, the
// pattern of the reduced stiffness, the factorisation, a refined solve and
// writing.

#include <benchmark/benchmark.h>

#include "analysis/driver.hpp"
#include "document/document_io.hpp"
#include "numerics/factorization.hpp"
#include "numerics/sparse_lu.hpp"
#include "numerics/supernodal_cholesky.hpp"
#include "solvers/mechanism.hpp"
#include "solvers/solve_context.hpp"
#include "support/frame_models.hpp"
#include "system/model_validation.hpp"

namespace {

using velk::test_support::building_members;
using velk::test_support::building_model;
using velk::test_support::building_of_about;

struct Building {
  velk::VELK model;
  std::string text;
  std::size_t members = 0;
};

Building building(int about, velk::AnalysisOrder order = velk::AnalysisOrder::Linear) {
  const auto shape = building_of_about(about);
  Building b;
  b.model = building_model(shape);
  b.model.settings.analysis_options.order = order;
  b.text = velk::write_velk(b.model);
  b.members = static_cast<std::size_t>(building_members(shape));
  return b;
}

void per_member(benchmark::State& state, std::size_t members) {
  state.counters["members"] = static_cast<double>(members);
  state.counters["per_member"] =
      benchmark::Counter(static_cast<double>(members),
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void analyse_end_to_end(benchmark::State& state, velk::AnalysisOrder order) {
  const Building b = building(static_cast<int>(state.range(0)), order);
  const velk::MemberLimit limit{b.members, "--max-members"};
  for (auto _ : state) {
    auto written = velk::analyse_document(b.text, velk::SolverEntries{}, limit);
    if (!written) {
      state.SkipWithError(written.error().c_str());
      break;
    }
    benchmark::DoNotOptimize(written->data());
  }
  per_member(state, b.members);
}

void BM_BuildingLinear(benchmark::State& state) { analyse_end_to_end(state, velk::AnalysisOrder::Linear); }
BENCHMARK(BM_BuildingLinear)->Arg(100)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);

void BM_BuildingSecondOrder(benchmark::State& state) {
  analyse_end_to_end(state, velk::AnalysisOrder::Nonlinear);
}
BENCHMARK(BM_BuildingSecondOrder)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_BuildingRead(benchmark::State& state) {
  const Building b = building(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(velk::read_velk(b.text));
  per_member(state, b.members);
}
BENCHMARK(BM_BuildingRead)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);

// The transformation and the pattern of the reduced stiffness, built anew.
void BM_BuildingReducedPattern(benchmark::State& state) {
  const Building b = building(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    velk::SolveContext context(b.model);
    auto stiffness = context.reduced_stiffness();
    if (!stiffness) {
      state.SkipWithError(stiffness.error().c_str());
      break;
    }
    benchmark::DoNotOptimize(*stiffness);
  }
  per_member(state, b.members);
}
BENCHMARK(BM_BuildingReducedPattern)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);

// The building's stiffness assembled and restrained in the context, with a
// load of `value` at every unknown restrained alike into f; null, and the
// benchmark skipped, when the building cannot be assembled.
const Eigen::SparseMatrix<double>* restrained_stiffness(benchmark::State& state, velk::SolveContext& context,
                                                        double value, Eigen::VectorXd& f) {
  auto stiffness = context.reduced_stiffness();
  if (!stiffness || !(*stiffness)->assemble(velk::ActiveMap{})) {
    state.SkipWithError("the building cannot be assembled");
    return nullptr;
  }
  f = Eigen::VectorXd::Constant((*stiffness)->size(), value);
  (*stiffness)->apply_restraints(f);
  return &(*stiffness)->matrix();
}

// The factorisation of the restrained stiffness, ordering included: the
// engine's sparse LU (second argument 0) against the supernodal Cholesky
// that large systems take (1).
void BM_BuildingFactor(benchmark::State& state) {
  const Building b = building(static_cast<int>(state.range(0)));
  const bool cholesky = state.range(1) == 1;
  velk::SolveContext context(b.model);
  Eigen::VectorXd f;
  const Eigen::SparseMatrix<double>* restrained = restrained_stiffness(state, context, 0.0, f);
  if (restrained == nullptr) return;
  const Eigen::SparseMatrix<double>& k = *restrained;
  std::size_t nonzeros = 0;
  for (auto _ : state) {
    bool factored = false;
    if (cholesky) {
      velk::SupernodalCholesky llt(velk::first_order_zero_pivot_ratio);
      factored = llt.factor(k);
      nonzeros = llt.factor_nonzeros();
    } else {
      velk::SparseLu lu(velk::first_order_zero_pivot_ratio);
      factored = lu.factor(k);
      nonzeros = lu.factor_nonzeros();
    }
    if (!factored) {
      state.SkipWithError("singular, or no Cholesky on this machine");
      break;
    }
  }
  per_member(state, b.members);
  state.counters["unknowns"] = static_cast<double>(k.rows());
  state.counters["factor_nonzeros"] = static_cast<double>(nonzeros);
}
BENCHMARK(BM_BuildingFactor)
    ->Args({1000, 0})
    ->Args({1000, 1})
    ->Args({10000, 0})
    ->Args({10000, 1})
    ->Args({50000, 1})
    ->Unit(benchmark::kMillisecond);

// One refined solve on the factors of a large building (a case's share of
// the analysis once the factors are there): two triangular sweeps each way
// and the residual in extended precision.
void BM_BuildingSolve(benchmark::State& state) {
  const Building b = building(static_cast<int>(state.range(0)));
  velk::SolveContext context(b.model);
  Eigen::VectorXd f;
  const Eigen::SparseMatrix<double>* k = restrained_stiffness(state, context, 1.0, f);
  if (k == nullptr) return;
  velk::ReducedFactorization factors(velk::ReducedFactorization::default_dense_limit,
                                     velk::first_order_zero_pivot_ratio);
  if (!factors.factor(*k)) {
    state.SkipWithError("singular");
    return;
  }
  Eigen::VectorXd q;
  for (auto _ : state) {
    factors.solve(f, q);
    benchmark::DoNotOptimize(q.data());
  }
  per_member(state, b.members);
}
BENCHMARK(BM_BuildingSolve)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);

// The mechanism search of `velk check` on a sound building: one
// factorisation that goes through.
void BM_BuildingMechanismSearch(benchmark::State& state) {
  const Building b = building(static_cast<int>(state.range(0)));
  velk::SolveContext context(b.model);
  auto t = context.transform();
  Eigen::VectorXd f;
  const Eigen::SparseMatrix<double>* k = t ? restrained_stiffness(state, context, 0.0, f) : nullptr;
  if (k == nullptr) {
    if (!t) state.SkipWithError("the building cannot be assembled");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(velk::mechanisms_of(*k, **t));
  per_member(state, b.members);
}
BENCHMARK(BM_BuildingMechanismSearch)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
