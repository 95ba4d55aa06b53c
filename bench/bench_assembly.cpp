// One global stiffness assembly of a generated 100-member 3D frame: member
// matrices by type, end releases, scatter into the dense K and the support
// springs; with the geometric stiffness of a displacement state; and the load
// vector of a load case with distributed loads.

#include <benchmark/benchmark.h>

#include <Eigen/Dense>

#include "support/dense_system.hpp"
#include "support/frame_models.hpp"
#include "system/global_stiffness.hpp"
#include "system/load_assembler.hpp"

namespace {

velk::VELK assembly_frame() { return velk::test_support::frame_model({.members = 100, .rigid_stubs = 0}); }

void BM_AssembleGlobalStiffness(benchmark::State& state) {
  const velk::VELK model = assembly_frame();
  const velk::ActiveMap active;
  for (auto _ : state) {
    std::expected<Eigen::MatrixXd, std::string> k =
        velk::test_support::assemble_global_stiffness(model, active);
    benchmark::DoNotOptimize(k->data());
  }
  state.counters["ndof"] =
      static_cast<double>(velk::test_support::assemble_global_stiffness(model, active)->rows());
}
BENCHMARK(BM_AssembleGlobalStiffness)->Unit(benchmark::kMicrosecond);

void BM_AssembleWithGeometricStiffness(benchmark::State& state) {
  const velk::VELK model = assembly_frame();
  const velk::ActiveMap active;
  const Eigen::Index ndof = velk::test_support::assemble_global_stiffness(model, active)->rows();
  // A small arbitrary displacement state; every member carries some axial force.
  const Eigen::VectorXd u = 1e-4 * Eigen::VectorXd::LinSpaced(ndof, -1.0, 1.0).array().sin();
  for (auto _ : state) {
    std::expected<Eigen::MatrixXd, std::string> k =
        velk::test_support::assemble_global_stiffness(model, active, u);
    benchmark::DoNotOptimize(k->data());
  }
}
BENCHMARK(BM_AssembleWithGeometricStiffness)->Unit(benchmark::kMicrosecond);

void BM_AssembleLoadVector(benchmark::State& state) {
  const velk::VELK model = assembly_frame();
  for (auto _ : state) {
    Eigen::VectorXd f = velk::assemble_load_vector(model, 3);
    benchmark::DoNotOptimize(f.data());
  }
}
BENCHMARK(BM_AssembleLoadVector)->Unit(benchmark::kMicrosecond);

}  // namespace
