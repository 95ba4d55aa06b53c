// Reducing the assembled system with the constraint transformation: the
// compressed rows of T against the dense products T^T K T and T^T F.

#include <benchmark/benchmark.h>

#include "support/dense_system.hpp"
#include "support/frame_models.hpp"
#include "system/constraints.hpp"
#include "system/global_stiffness.hpp"
#include "system/load_assembler.hpp"

namespace {

struct ReductionInput {
  velk::VELK model;
  velk::ConstraintTransform t;
  Eigen::MatrixXd k;
  Eigen::VectorXd f;
};

ReductionInput reduction_input() {
  ReductionInput input{velk::test_support::frame_model(), {}, {}, {}};
  input.t = *velk::build_constraint_transform(input.model);
  input.k = *velk::test_support::assemble_global_stiffness(input.model, {});
  input.f = velk::assemble_load_vector(input.model, 1);
  return input;
}

void BM_ReduceCompressedRows(benchmark::State& state) {
  const ReductionInput input = reduction_input();
  Eigen::MatrixXd k_reduced;
  Eigen::VectorXd f_reduced;
  for (auto _ : state) {
    velk::test_support::reduce_system(input.k, input.f, input.t, k_reduced, f_reduced);
    benchmark::DoNotOptimize(k_reduced.data());
  }
  state.counters["full"] = static_cast<double>(input.t.full_size);
  state.counters["reduced"] = static_cast<double>(input.t.reduced_size);
}
BENCHMARK(BM_ReduceCompressedRows)->Unit(benchmark::kMicrosecond);

void BM_ReduceDenseProducts(benchmark::State& state) {
  const ReductionInput input = reduction_input();
  const Eigen::MatrixXd t = velk::test_support::dense_transform(input.t);
  Eigen::MatrixXd k_reduced;
  Eigen::VectorXd f_reduced;
  for (auto _ : state) {
    const Eigen::MatrixXd t_k = t.transpose() * input.k;
    k_reduced = t_k * t;
    f_reduced = t.transpose() * input.f;
    benchmark::DoNotOptimize(k_reduced.data());
  }
}
BENCHMARK(BM_ReduceDenseProducts)->Unit(benchmark::kMicrosecond);

void BM_BuildConstraintTransform(benchmark::State& state) {
  const velk::VELK model = velk::test_support::frame_model();
  for (auto _ : state) {
    auto t = velk::build_constraint_transform(model);
    benchmark::DoNotOptimize(t);
  }
}
BENCHMARK(BM_BuildConstraintTransform)->Unit(benchmark::kMicrosecond);

}  // namespace
