// Rigid links and the constraint transformation: graph faults, chain order, slave restraints, strategies.
#include "system/constraints.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/log.hpp"
#include "support/dense_system.hpp"
#include "support/log_capture.hpp"
#include "support/model_parts.hpp"
#include "system/rigid_links.hpp"

namespace velk {
namespace {

using test_support::apply_restraints;
using test_support::dense_transform;
using test_support::fixed_support;
using test_support::make_member;
using test_support::make_node;
using test_support::model_with;
using test_support::penalty_constraint;
using test_support::reduce_system;

Eigen::Index dof_of(std::uint32_t node, int local) {
  return 6 * (static_cast<Eigen::Index>(node) - 1) + local;
}

// Captures the diagnostic events emitted while it lives.
struct EventCapture {
  test_support::LogCapture capture{log::Level::Debug};
  std::vector<std::string>& texts = capture.lines;
};

TEST(RigidLinks, GraphFaultsHaveTheirMessages) {
  const auto a = make_node(1, 0, 0, 0), b = make_node(2, 1, 0, 0), c = make_node(3, 0, 1, 0);
  using MT = MemberType;
  EXPECT_EQ(build_rigid_links(
                model_with({make_member(1, a, b, MT::Rigid), make_member(2, c, b, MT::Rigid)}).member_sets)
                .error(),
            "Node 2 is slave in multiple rigid links.");
  EXPECT_EQ(build_rigid_links(
                model_with({make_member(1, a, b, MT::Rigid), make_member(2, b, a, MT::Rigid)}).member_sets)
                .error(),
            "Rigid cycle detected involving node 1.");
  EXPECT_EQ(
      build_rigid_links(model_with({make_member(5, a, make_node(2, 0, 0, 1e-13), MT::Rigid)}).member_sets)
          .error(),
      "Rigid member 5 has zero length.");
  // A member just longer than the threshold is a link.
  const auto graph =
      build_rigid_links(model_with({make_member(5, a, make_node(2, 0, 0, 2e-12), MT::Rigid)}).member_sets);
  ASSERT_TRUE(graph.has_value());
  EXPECT_EQ(graph->links.size(), 1u);
}

TEST(RigidLinks, ChainEnteredBackwardsIsAppliedMastersFirst) {
  // Chain 1 -> 2 -> 3 -> 4 listed from the far end: node 4 still follows node 1.
  const auto n1 = make_node(1, 0, 0, 0), n2 = make_node(2, 1, 0, 0), n3 = make_node(3, 1, 2, 0),
             n4 = make_node(4, 1, 2, 3);
  VELK model =
      model_with({make_member(3, n3, n4, MemberType::Rigid), make_member(2, n2, n3, MemberType::Rigid),
                  make_member(1, n1, n2, MemberType::Rigid), make_member(9, n1, make_node(5, -1, 0, 0))});
  auto graph = build_rigid_links(model.member_sets);
  ASSERT_TRUE(graph.has_value());
  order_rigid_links(graph->links, graph->slave_map);
  ASSERT_EQ(graph->links.size(), 3u);
  EXPECT_EQ(graph->links[0].slave, 2u);
  EXPECT_EQ(graph->links[1].slave, 3u);
  EXPECT_EQ(graph->links[2].slave, 4u);

  const auto t = build_constraint_transform(model);
  ASSERT_TRUE(t.has_value()) << t.error();
  const Eigen::MatrixXd dense = dense_transform(*t);
  // A unit load along X at node 4 reaches node 1 as the same force plus the
  // moment r x F with r = (1, 2, 3): (0, 3, -2).
  Eigen::VectorXd f = Eigen::VectorXd::Zero(t->full_size);
  f(dof_of(4, 0)) = 1.0;
  const Eigen::VectorXd f_reduced = dense.transpose() * f;
  const auto column = [&](int local) { return t->retained.at(dof_of(1, local)); };
  EXPECT_DOUBLE_EQ(f_reduced(column(0)), 1.0);
  EXPECT_DOUBLE_EQ(f_reduced(column(4)), 3.0);
  EXPECT_DOUBLE_EQ(f_reduced(column(5)), -2.0);
  EXPECT_DOUBLE_EQ(f_reduced.cwiseAbs().sum(), 6.0);
}

TEST(RigidLinks, LinkTurnsTowardsTheNodeThatNamesASupport) {
  // Node 2 names support 5; node 1 names none and has no other member. The
  // link must be reversed so the supported node 2 is the master, whatever
  // the support records happen to be numbered.
  VELK model =
      model_with({make_member(1, make_node(1, 0, 0, 0), make_node(2, 2, 0, 0, 5), MemberType::Rigid)});
  model.nodal_supports = {fixed_support(1), fixed_support(5)};
  auto links = oriented_rigid_links(model);
  ASSERT_TRUE(links.has_value());
  ASSERT_EQ(links->size(), 1u);
  EXPECT_EQ((*links)[0].master, 2u);
  EXPECT_EQ((*links)[0].slave, 1u);
  EXPECT_EQ((*links)[0].offset, Eigen::Vector3d(-2, 0, 0));

  // A free-floating start node with a beam at the end node: the beam node leads.
  VELK framed = model_with({make_member(1, make_node(1, 0, 0, 0), make_node(2, 0, 0, 1), MemberType::Rigid),
                            make_member(2, make_node(2, 0, 0, 1), make_node(3, 4, 0, 1, 1))});
  framed.nodal_supports = {fixed_support(1)};
  links = oriented_rigid_links(framed);
  ASSERT_TRUE(links.has_value());
  EXPECT_EQ((*links)[0].master, 2u);
}

TEST(RigidLinks, NoNodeIsTurnedIntoASlaveTwice) {
  // Chain 1 -> 2 -> 3 of free-floating nodes with a support only at node 3:
  // turning 2 -> 3 would make node 2 the slave of both 1 and 3.
  VELK model =
      model_with({make_member(1, make_node(1, 0, 0, 0), make_node(2, 1, 0, 0), MemberType::Rigid),
                  make_member(2, make_node(2, 1, 0, 0), make_node(3, 1, 1, 0, 1), MemberType::Rigid)});
  model.nodal_supports = {fixed_support(1)};
  const auto links = oriented_rigid_links(model);
  ASSERT_TRUE(links.has_value());
  EXPECT_EQ((*links)[1].master, 2u);
  EXPECT_EQ((*links)[1].slave, 3u);
  // Every row of T then follows one master: the slave rows are one rigid body's.
  const auto t = build_constraint_transform(model);
  ASSERT_TRUE(t.has_value());
  const Eigen::MatrixXd dense = dense_transform(*t);
  EXPECT_EQ(dense.row(dof_of(2, 0)), dense.row(dof_of(1, 0)));
  EXPECT_EQ(dense.row(dof_of(3, 3)), dense.row(dof_of(1, 3)));
}

TEST(ConstraintTransform, PlainFrameIsOneColumnPerDofInWalkOrder) {
  VELK model = model_with({make_member(1, make_node(2, 0, 0, 3), make_node(1, 0, 0, 0, 1)),
                           make_member(2, make_node(2, 0, 0, 3), make_node(3, 4, 0, 3, 1))});
  model.nodal_supports = {fixed_support(1)};
  const auto t = build_constraint_transform(model);
  ASSERT_TRUE(t.has_value());
  EXPECT_EQ(t->reduced_size, 18);
  EXPECT_EQ(t->retained.at(dof_of(2, 0)), 0);  // node 2 is walked first
  EXPECT_EQ(t->retained.at(dof_of(1, 5)), 11);
  EXPECT_EQ(t->retained.at(dof_of(3, 0)), 12);
  const Eigen::MatrixXd dense = dense_transform(*t);
  EXPECT_EQ(dense.colwise().sum(), Eigen::RowVectorXd::Ones(18));
  EXPECT_EQ(dense.rowwise().sum(), Eigen::VectorXd::Ones(18));

  // Every fixed DOF is restrained exactly on its own column; rotations say so.
  EventCapture events;
  Eigen::MatrixXd k_reduced = Eigen::MatrixXd::Constant(18, 18, 2.0);
  Eigen::VectorXd f_reduced = Eigen::VectorXd::Constant(18, 3.0);
  apply_restraints(model, *t, k_reduced, f_reduced);
  ASSERT_EQ(events.texts.size(), 6u);  // three rotations at each of nodes 1 and 3
  EXPECT_EQ(
      events.texts[0],
      R"({"type":"Constraint","node_id":1,"dof":"RX","retained_in_reduced":true,"method":"ExactRetained",)"
      R"("penalty_alpha":null,"pivot_index":9})");
  for (Eigen::Index p = 6; p < 18; ++p) {
    EXPECT_EQ(k_reduced(p, p), 1.0);
    EXPECT_EQ(k_reduced.row(p).sum(), 1.0);
    EXPECT_EQ(f_reduced(p), 0.0);
  }
  EXPECT_EQ(k_reduced(0, 1), 2.0);
}

TEST(ConstraintTransform, RigidMemberStrategyKeepsEveryDof) {
  // Truss-only node 1 keeps its rotations under RigidMember, and its fixed
  // rotations are restrained exactly.
  VELK model = model_with({make_member(1, make_node(1, 0, 0, 0, 1), make_node(2, 1, 0, 0), MemberType::Truss),
                           make_member(2, make_node(2, 1, 0, 0), make_node(3, 1, 1, 0), MemberType::Rigid)});
  model.nodal_supports = {fixed_support(1)};
  model.settings.analysis_options.rigid_strategy = RigidStrategy::RigidMember;
  const auto t = build_constraint_transform(model);
  ASSERT_TRUE(t.has_value());
  EXPECT_TRUE(t->identity);
  EXPECT_EQ(dense_transform(*t), Eigen::MatrixXd::Identity(18, 18));
  EventCapture events;
  Eigen::MatrixXd k_reduced = Eigen::MatrixXd::Identity(18, 18);
  Eigen::VectorXd f_reduced = Eigen::VectorXd::Ones(18);
  apply_restraints(model, *t, k_reduced, f_reduced);
  ASSERT_EQ(events.texts.size(), 3u);
  for (const std::string& text : events.texts) EXPECT_NE(text.find("\"ExactRetained\""), std::string::npos);
  EXPECT_EQ(f_reduced.head(6), Eigen::VectorXd::Zero(6));
}

// A fixed support on the slave end of a rigid link offset by (1, 0, rz): its
// UX row is the master's UX row plus rz times its RY row.
std::vector<std::string> slave_restraint_events(double rz, Eigen::MatrixXd* k_out = nullptr) {
  NodalSupport support;
  support.id = 1;
  support.displacement_conditions["X"] = {ConditionType::Fixed, std::nullopt};
  for (const char* free_axis : {"Y", "Z"})
    support.displacement_conditions[free_axis] = {ConditionType::Free, {}};
  for (const char* free_axis : {"X", "Y", "Z"})
    support.rotation_conditions[free_axis] = {ConditionType::Free, {}};
  VELK model =
      model_with({make_member(1, make_node(1, 0, 0, 0), make_node(2, 1, 0, rz, 1), MemberType::Rigid),
                  make_member(2, make_node(1, 0, 0, 0), make_node(3, -3, 0, 0))});
  model.nodal_supports = {support};
  const auto t = build_constraint_transform(model);
  EXPECT_TRUE(t.has_value());
  // The supported node 2 is anchored but so is node 1 (it ends a beam): node 2 stays the slave.
  EXPECT_FALSE(t->retained.contains(dof_of(2, 0)));
  EventCapture events;
  Eigen::MatrixXd k_reduced = Eigen::MatrixXd::Identity(t->reduced_size, t->reduced_size) * 4.0;
  Eigen::VectorXd f_reduced = Eigen::VectorXd::Ones(t->reduced_size);
  apply_restraints(model, *t, k_reduced, f_reduced);
  if (k_out != nullptr) *k_out = k_reduced;
  return events.texts;
}

TEST(ConstraintTransform, SlaveRestraintIsOneHotUpToTheThresholdThenPenalty) {
  // rz^2 = 0.0025 is still one-hot: the master's UX column is fixed, and a
  // translation emits no event.
  Eigen::MatrixXd k_reduced;
  EXPECT_TRUE(slave_restraint_events(0.05, &k_reduced).empty());
  EXPECT_EQ(k_reduced(0, 0), 1.0);

  const auto events = slave_restraint_events(0.0501, &k_reduced);
  ASSERT_EQ(events.size(), 1u);
  // alpha = 1000 times the largest diagonal entry (4).
  EXPECT_EQ(events[0],
            R"({"type":"Constraint","node_id":2,"dof":"UX","retained_in_reduced":false,"method":"Penalty",)"
            R"("penalty_alpha":4000.0,"pivot_index":null})");
  // v = (1 at UX of node 1, 0.0501 at RY of node 1), normalised.
  const double norm_squared = 1.0 + 0.0501 * 0.0501;
  EXPECT_DOUBLE_EQ(k_reduced(0, 0), 4.0 + 4000.0 / norm_squared);
  EXPECT_DOUBLE_EQ(k_reduced(0, 4), 4000.0 * 0.0501 / norm_squared);
  EXPECT_DOUBLE_EQ(k_reduced(4, 0), k_reduced(0, 4));
}

TEST(ConstraintTransform, DanglingRotationsAreEliminatedAndMeetAZeroRow) {
  // Node 1 is held by trusses only and its support names no rotation axes:
  // its rotations carry nothing, are dropped, and their restraint adds no
  // penalty but still reports alpha.
  NodalSupport pinned;
  pinned.id = 1;
  for (const char* axis : {"X", "Y", "Z"}) pinned.displacement_conditions[axis] = {ConditionType::Fixed, {}};
  VELK model =
      model_with({make_member(1, make_node(1, 0, 0, 0, 1), make_node(2, 1, 0, 0, 1), MemberType::Truss),
                  make_member(2, make_node(2, 1, 0, 0, 1), make_node(3, 1, 1, 0))});
  model.nodal_supports = {pinned};
  const auto t = build_constraint_transform(model);
  ASSERT_TRUE(t.has_value());
  EXPECT_FALSE(t->retained.contains(dof_of(1, 3)));
  EXPECT_TRUE(t->row(dof_of(1, 3)).empty());
  EXPECT_TRUE(t->retained.contains(dof_of(2, 3)));  // node 2 has a beam

  EventCapture events;
  Eigen::MatrixXd k_reduced = Eigen::MatrixXd::Identity(t->reduced_size, t->reduced_size) * 2.5;
  Eigen::VectorXd f_reduced = Eigen::VectorXd::Zero(t->reduced_size);
  apply_restraints(model, *t, k_reduced, f_reduced);
  ASSERT_EQ(events.texts.size(), 6u);  // node 1's rotations by penalty, node 2's exactly
  EXPECT_EQ(events.texts[0],
            R"({"type":"Constraint","node_id":1,"dof":"RX","retained_in_reduced":false,"method":"Penalty",)"
            R"("penalty_alpha":2500.0,"pivot_index":null})");
  EXPECT_EQ(k_reduced.topLeftCorner(3, 3), Eigen::MatrixXd::Identity(3, 3));

  Eigen::MatrixXd empty(0, 0);
  EXPECT_EQ(penalty_constraint(empty, {}), 1000.0);
}

TEST(ConstraintTransform, ReductionEqualsTheDenseProduct) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> coordinate(-5.0, 5.0);
  for (int trial = 0; trial < 20; ++trial) {
    // A random frame of beams with rigid chains hanging off some of its nodes.
    std::vector<Member> members;
    std::vector<Node> nodes;
    const int beams = 4 + trial % 5;
    for (int i = 0; i <= beams; ++i) {
      nodes.push_back(make_node(static_cast<std::uint32_t>(i + 1), coordinate(random), coordinate(random),
                                coordinate(random), i == 0 ? std::optional<std::uint32_t>(1) : std::nullopt));
    }
    for (int i = 0; i < beams; ++i)
      members.push_back(make_member(static_cast<std::uint32_t>(i + 1), nodes[i], nodes[i + 1]));
    auto next_id = static_cast<std::uint32_t>(beams + 2);
    for (int chain = 0; chain < 2; ++chain) {
      Node master = nodes[static_cast<std::size_t>(random() % nodes.size())];
      for (int link = 0; link < 3; ++link) {
        const Node slave = make_node(next_id++, coordinate(random), coordinate(random), coordinate(random));
        members.push_back(make_member(next_id + 100, master, slave, MemberType::Rigid));
        master = slave;
      }
    }
    VELK model = model_with(members);
    model.nodal_supports = {fixed_support(1)};
    const auto t = build_constraint_transform(model);
    ASSERT_TRUE(t.has_value()) << t.error();
    const Eigen::Index size = t->full_size;
    Eigen::MatrixXd k = Eigen::MatrixXd::Random(size, size);
    k = (k + k.transpose()).eval();
    const Eigen::VectorXd f = Eigen::VectorXd::Random(size);
    Eigen::MatrixXd k_reduced;
    Eigen::VectorXd f_reduced;
    reduce_system(k, f, *t, k_reduced, f_reduced);
    const Eigen::MatrixXd dense = dense_transform(*t);
    const Eigen::MatrixXd expected_k = dense.transpose() * k * dense;
    const Eigen::VectorXd expected_f = dense.transpose() * f;
    EXPECT_LE((k_reduced - expected_k).cwiseAbs().maxCoeff(), 1e-12 * expected_k.cwiseAbs().maxCoeff());
    EXPECT_LE((f_reduced - expected_f).cwiseAbs().maxCoeff(), 1e-12 * expected_f.cwiseAbs().maxCoeff());
    const Eigen::VectorXd q = Eigen::VectorXd::Random(t->reduced_size);
    EXPECT_LE((expand_solution(*t, q) - dense * q).cwiseAbs().maxCoeff(),
              1e-12 * (dense * q).cwiseAbs().maxCoeff());
  }
}

TEST(ConstraintTransform, DofNames) {
  EXPECT_EQ(dof_name(0), "UX");
  EXPECT_EQ(dof_name(5), "RZ");
  EXPECT_EQ(dof_name(6), "UNKNOWN");
  EXPECT_EQ(dof_name(-1), "UNKNOWN");
}

}  // namespace
}  // namespace velk
