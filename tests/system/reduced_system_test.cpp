// The sparse reduced stiffness against the dense reduction with restraints, and its assembly messages.
#include "system/reduced_system.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "member/lookup_tables.hpp"
#include "support/dense_system.hpp"
#include "support/model_parts.hpp"
#include "system/global_stiffness.hpp"
#include "system/load_assembler.hpp"

namespace velk {
namespace {

using test_support::apply_restraints;
using test_support::assemble_global_stiffness;
using test_support::fixed_support;
using test_support::make_member;
using test_support::make_node;
using test_support::model_with;
using test_support::reduce_system;

// A random frame of beams, braces and tension ties with rigid chains, fixed
// supports, a spring support and a support on a rigid slave.
VELK random_frame(std::mt19937& random, RigidStrategy strategy) {
  std::uniform_real_distribution<double> coordinate(-5.0, 5.0);
  std::vector<Node> nodes;
  const int beams = 5 + static_cast<int>(random() % 6);
  for (int i = 0; i <= beams; ++i) {
    std::optional<std::uint32_t> support;
    if (i == 0) support = 1;
    if (i == beams) support = 2;
    nodes.push_back(make_node(static_cast<std::uint32_t>(i + 1), coordinate(random), coordinate(random),
                              coordinate(random), support));
  }
  std::vector<Member> members;
  for (int i = 0; i < beams; ++i) {
    members.push_back(make_member(static_cast<std::uint32_t>(i + 1), nodes[i], nodes[i + 1]));
  }
  members.push_back(make_member(50, nodes[0], nodes[2], MemberType::Truss));
  members.push_back(make_member(51, nodes[1], nodes[3], MemberType::Tension));
  auto next = static_cast<std::uint32_t>(beams + 2);
  Node master = nodes[static_cast<std::size_t>(random() % nodes.size())];
  for (int link = 0; link < 2; ++link) {
    Node slave = make_node(next++, coordinate(random), coordinate(random), coordinate(random));
    if (link == 1) slave.nodal_support = 3;
    members.push_back(make_member(60 + static_cast<std::uint32_t>(link), master, slave, MemberType::Rigid));
    master = slave;
  }
  VELK model = model_with(members);
  model.settings.analysis_options.rigid_strategy = strategy;
  NodalSupport spring = fixed_support(2);
  spring.displacement_conditions["Y"] = {ConditionType::Spring, 3e6};
  spring.rotation_conditions["Z"] = {ConditionType::Spring, 2e5};
  NodalSupport slave_support = fixed_support(3);
  slave_support.rotation_conditions.clear();
  slave_support.rotation_conditions["x"] = {ConditionType::Free, {}};
  model.nodal_supports = {fixed_support(1), spring, slave_support};
  return model;
}

TEST(ReducedStiffness, EqualsTheDenseReductionWithRestraints) {
  std::mt19937 random(11);
  for (int trial = 0; trial < 24; ++trial) {
    const RigidStrategy strategy = trial % 2 == 0 ? RigidStrategy::LinearMpc : RigidStrategy::RigidMember;
    const VELK model = random_frame(random, strategy);
    const auto t = build_constraint_transform(model);
    ASSERT_TRUE(t.has_value()) << t.error();
    const ActiveMap active{{51, trial % 3 != 0}};
    Eigen::VectorXd f = Eigen::VectorXd::Random(t->full_size) * 1e3;
    const Eigen::VectorXd u = Eigen::VectorXd::Random(t->full_size) * 1e-2;
    for (const Eigen::VectorXd* state : {static_cast<const Eigen::VectorXd*>(nullptr), &u}) {
      auto k =
          state ? assemble_global_stiffness(model, active, *state) : assemble_global_stiffness(model, active);
      ASSERT_TRUE(k.has_value()) << k.error();
      Eigen::MatrixXd k_dense;
      Eigen::VectorXd f_dense;
      reduce_system(*k, f, *t, k_dense, f_dense);
      apply_restraints(model, *t, k_dense, f_dense);

      ReducedStiffness reduced(model, *t);
      ASSERT_TRUE(reduced.assemble(active, state).has_value());
      Eigen::VectorXd f_sparse;
      reduced.reduce_load(f, f_sparse);
      reduced.apply_restraints(f_sparse);
      const Eigen::MatrixXd k_sparse = reduced.matrix();
      const double scale = k_dense.cwiseAbs().maxCoeff();
      EXPECT_LE((k_sparse - k_dense).cwiseAbs().maxCoeff(), 1e-12 * scale) << trial;
      EXPECT_LE((f_sparse - f_dense).cwiseAbs().maxCoeff(), 1e-12 * f_dense.cwiseAbs().maxCoeff()) << trial;
    }
  }
}

// A companion matrix of the elastic member matrices is K_r without its
// springs, and nodal terms go through T as a diagonal of the full matrix
// does; restraining it clears exactly what the supports fix exactly.
TEST(ReducedStiffness, CompanionMatricesShareThePatternAndTheReduction) {
  std::mt19937 random(5);
  for (int trial = 0; trial < 8; ++trial) {
    const RigidStrategy strategy = trial % 2 == 0 ? RigidStrategy::LinearMpc : RigidStrategy::RigidMember;
    VELK model = random_frame(random, strategy);
    for (NodalSupport& support : model.nodal_supports) {
      for (auto* conditions : {&support.displacement_conditions, &support.rotation_conditions}) {
        for (auto& [axis, condition] : *conditions) {
          if (condition.condition_type == ConditionType::Spring) condition = {ConditionType::Fixed, {}};
        }
      }
    }
    const auto t = build_constraint_transform(model);
    ASSERT_TRUE(t.has_value()) << t.error();
    ReducedStiffness reduced(model, *t);
    ASSERT_TRUE(reduced.assemble({}).has_value());
    const LookupTables tables = build_lookup_tables(model);
    const auto elastic = reduced.assemble_companion([&](std::size_t, const Member& member) {
      return member_global_stiffness(model, member, tables, {});
    });
    ASSERT_TRUE(elastic.has_value()) << elastic.error();
    const Eigen::MatrixXd k_r = reduced.matrix();
    EXPECT_LE((Eigen::MatrixXd(*elastic) - k_r).cwiseAbs().maxCoeff(), 1e-12 * k_r.cwiseAbs().maxCoeff());

    // A mass of 3 on one DOF of every node, the last node's on a rigid slave.
    std::vector<std::pair<Eigen::Index, double>> nodal;
    Eigen::MatrixXd full = Eigen::MatrixXd::Zero(t->full_size, t->full_size);
    for (Eigen::Index d = trial % 6; d < t->full_size; d += 6) {
      nodal.emplace_back(d, 3.0);
      full(d, d) = 3.0;
    }
    const auto masses = reduced.assemble_companion(
        [](std::size_t, const Member&) -> Result<std::optional<Matrix12>> { return std::nullopt; }, nodal);
    ASSERT_TRUE(masses.has_value());
    Eigen::MatrixXd reduced_dense;
    Eigen::VectorXd unused;
    reduce_system(full, Eigen::VectorXd::Zero(t->full_size), *t, reduced_dense, unused);
    EXPECT_LE((Eigen::MatrixXd(*masses) - reduced_dense).cwiseAbs().maxCoeff(), 1e-12);

    // Restrained, its rows and columns are those K_r keeps free of the
    // supports' exact restraints: where restraining K_r leaves a unit
    // diagonal alone in its column, the companion has nothing.
    Eigen::SparseMatrix<double> restrained = *elastic;
    reduced.restrain_companion(restrained);
    Eigen::VectorXd f_r;
    reduced.reduce_load(Eigen::VectorXd::Zero(t->full_size), f_r);
    reduced.apply_restraints(f_r);
    const Eigen::MatrixXd k_fixed = reduced.matrix();
    const Eigen::MatrixXd a_fixed = restrained;
    const Eigen::MatrixXd a_free = *elastic;
    std::vector<bool> fixed(static_cast<std::size_t>(k_fixed.cols()));
    for (Eigen::Index c = 0; c < k_fixed.cols(); ++c)
      fixed[c] = k_fixed(c, c) == 1.0 && k_fixed.col(c).cwiseAbs().sum() == 1.0;
    for (Eigen::Index c = 0; c < k_fixed.cols(); ++c) {
      for (Eigen::Index r = 0; r < k_fixed.rows(); ++r)
        EXPECT_EQ(a_fixed(r, c), fixed[r] || fixed[c] ? 0.0 : a_free(r, c))
            << trial << ": " << r << ", " << c;
    }
    EXPECT_GT(std::count(fixed.begin(), fixed.end(), true), 0);
  }
}

// The node numbering is checked where a solve or a mechanism search begins
// (tests/analysis), before anything is sized by it.
TEST(ReducedStiffness, ReportsTheAssemblyMessages) {
  VELK model = model_with({make_member(1, make_node(1, 0, 0, 0, 1), make_node(2, 1, 0, 0))});
  NodalSupport spring = fixed_support(1);
  spring.displacement_conditions["Y"] = {ConditionType::Spring, std::nullopt};
  model.nodal_supports = {spring};
  auto t = build_constraint_transform(model);
  ASSERT_TRUE(t.has_value());
  ReducedStiffness missing(model, *t);
  EXPECT_EQ(missing.assemble({}).error(), "Support 1 displacement Y is Spring but stiffness is missing.");
}

}  // namespace
}  // namespace velk
