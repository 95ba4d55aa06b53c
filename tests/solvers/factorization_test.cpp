// The factorisation of the reduced stiffness: dense and sparse paths agree,
// and an exactly zero pivot is singular on both.

#include "numerics/factorization.hpp"

#include <gtest/gtest.h>

#include "support/frame_models.hpp"
#include "system/constraints.hpp"
#include "system/load_assembler.hpp"
#include "system/reduced_system.hpp"

namespace velk {
namespace {

// The restrained reduced system of a generated frame.
struct Restrained {
  Eigen::SparseMatrix<double> k_reduced;
  Eigen::VectorXd f_reduced;
};

Restrained restrained_frame(int members, RigidStrategy strategy, std::uint32_t load_case) {
  VELK model = test_support::frame_model({.members = members, .rigid_stubs = 3});
  model.settings.analysis_options.rigid_strategy = strategy;
  const ConstraintTransform t = *build_constraint_transform(model);
  ReducedStiffness k_reduced(model, t);
  EXPECT_TRUE(k_reduced.assemble({}).has_value());
  Restrained out;
  k_reduced.reduce_load(assemble_load_vector(model, load_case), out.f_reduced);
  k_reduced.apply_restraints(out.f_reduced);
  out.k_reduced = k_reduced.matrix();
  return out;
}

TEST(ReducedFactorization, DenseAndSparsePathsGiveTheSameDisplacements) {
  for (const int members : {10, 25, 60, 100}) {
    for (const RigidStrategy strategy : {RigidStrategy::LinearMpc, RigidStrategy::RigidMember}) {
      for (const std::uint32_t load_case : {1u, 2u, 4u}) {
        const Restrained system = restrained_frame(members, strategy, load_case);
        ReducedFactorization dense(1'000'000);
        ReducedFactorization sparse(0);
        ASSERT_TRUE(dense.factor(system.k_reduced));
        ASSERT_TRUE(sparse.factor(system.k_reduced));
        const Eigen::VectorXd q_dense = dense.solve(system.f_reduced);
        const Eigen::VectorXd q_sparse = sparse.solve(system.f_reduced);
        // Stiff rigid members (up to 1e8 times the steel) make the system
        // ill-conditioned, and the two pivot orders round differently.
        const double relative = strategy == RigidStrategy::LinearMpc ? 1e-12 : 1e-6;
        EXPECT_LE((q_dense - q_sparse).norm(), relative * q_dense.norm())
            << members << " members, strategy " << static_cast<int>(strategy) << ", case " << load_case;
      }
    }
  }
}

TEST(ReducedFactorization, AnExactlyZeroPivotIsSingularOnBothPaths) {
  Restrained system = restrained_frame(40, RigidStrategy::LinearMpc, 1);
  // A column and row of nothing: no pivot can be found for it.
  const Eigen::Index empty = system.k_reduced.rows() / 2;
  for (Eigen::Index col = 0; col < system.k_reduced.outerSize(); ++col) {
    for (Eigen::SparseMatrix<double>::InnerIterator entry(system.k_reduced, col); entry; ++entry) {
      if (entry.row() == empty || entry.col() == empty) entry.valueRef() = 0.0;
    }
  }
  ReducedFactorization dense(1'000'000);
  ReducedFactorization sparse(0);
  EXPECT_FALSE(dense.factor(system.k_reduced));
  EXPECT_FALSE(sparse.factor(system.k_reduced));
}

}  // namespace
}  // namespace velk
