// The steps every second-order iteration repeats (assembling the tangent,
// reducing and restraining the load, factoring, solving, expanding) allocate
// nothing once the first iterations have sized their storage.

#include <gtest/gtest.h>

#include "solvers/solve_context.hpp"
#include "support/allocation_counter.hpp"
#include "support/frame_models.hpp"
#include "system/load_assembler.hpp"

namespace velk {
namespace {

TEST(Iterations, AllocateNothingAfterStorageIsSized) {
  if (!test_support::allocations_counted()) GTEST_SKIP() << "allocations are not counted in this build";
  const VELK model = test_support::frame_model({.members = 40, .rigid_stubs = 2});
  SolveContext context(model);
  const ConstraintTransform& t = **context.transform();
  ReducedStiffness& k_reduced = **context.reduced_stiffness();
  ReducedFactorization& lu = context.tangent_factorization();
  const Eigen::VectorXd f = assemble_load_vector(model, 1);
  Eigen::VectorXd u;
  ASSERT_TRUE(context.first_order_displacements(f, {}, u).has_value());

  Eigen::VectorXd f_step(f.size());
  Eigen::VectorXd f_reduced;
  Eigen::VectorXd q;
  std::vector<double> alphas;
  const ActiveMap active;
  const auto iterate = [&](double load_factor) {
    f_step = load_factor * f;
    ASSERT_TRUE(k_reduced.assemble(active, &u).has_value());
    k_reduced.reduce_load(f_step, f_reduced);
    k_reduced.apply_restraints(f_reduced, alphas);
    ASSERT_TRUE(lu.factor(k_reduced.matrix()));
    lu.solve(f_reduced, q);
    expand_solution(t, q, u);
  };
  iterate(1.0);  // sizes the tangent's factorisation
  iterate(1.1);  // its first refactorisation sizes the supernodes
  const std::size_t before = test_support::allocations();
  for (const double load_factor : {1.2, 1.3, 1.4, 1.5}) iterate(load_factor);
  EXPECT_EQ(test_support::allocations() - before, 0u);
  EXPECT_TRUE(lu.refactored());
}

}  // namespace
}  // namespace velk
