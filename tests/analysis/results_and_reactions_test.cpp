// Member results, reactions and the active-set iteration through whole
// analyses: support conditions, rigid chains, loads on axial members,
// releases, and the iteration's messages and decisions.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/log.hpp"
#include "solvers/combinations.hpp"
#include "solvers/solver_entries.hpp"
#include "support/frame_builder.hpp"
#include "support/log_capture.hpp"

namespace velk {
namespace {

using test_support::expect_equilibrium;
using test_support::FrameBuilder;

constexpr ConditionType F = ConditionType::Fixed;
constexpr ConditionType Free = ConditionType::Free;

FrameBuilder column_on(ConditionType vertical) {
  FrameBuilder b;
  const auto s = b.section(0.01, 2e-5, 3e-5, 1e-5);
  NodalSupport& support = b.support(1, F, "XZ", F, "XYZ");
  support.displacement_conditions["Y"] = {vertical, {}};
  b.support(2, F, "XYZ", F, "XYZ");
  b.node(1, 0, 0, 0, 1);
  b.node(2, 4, 0, 0, 2);
  b.node(3, 2, 0, 0);
  b.member(1, 1, 3, s);
  b.member(2, 3, 2, s);
  return b;
}

TEST(Reactions, OneSidedAxesAreFreeInTheSolve) {
  // A beam on two supports under a load at mid-span: with the left end's
  // vertical axis one-sided, the solve leaves it free (a guided end) and the
  // fixed right end takes all the shear; the one-sided axis reports nothing.
  for (const ConditionType one_sided : {ConditionType::PositiveOnly, ConditionType::NegativeOnly}) {
    FrameBuilder b = column_on(one_sided);
    FrameBuilder::force(b.load_case(1, "down"), 3, 10e3, {0, -1, 0});
    const VELK out = b.analyse();
    expect_equilibrium(out);
    const Results& res = out.results->loadcases.at("down");
    EXPECT_NEAR(res.reaction_nodes.at(1).nodal_forces.fy, 0.0, 1e-6);
    EXPECT_NEAR(res.reaction_nodes.at(2).nodal_forces.fy, 10e3, 1e-6);
    EXPECT_NEAR(res.reaction_nodes.at(2).nodal_forces.mz, -3 * 10e3 * 4 / 8, 1e-6);  // guided end: 3PL/8
  }
  // Held both ways, the two ends share it.
  FrameBuilder b = column_on(ConditionType::Fixed);
  FrameBuilder::force(b.load_case(1, "down"), 3, 10e3, {0, -1, 0});
  const VELK fixed = b.analyse();
  expect_equilibrium(fixed);
  EXPECT_NEAR(fixed.results->loadcases.at("down").reaction_nodes.at(1).nodal_forces.fy, 5000.0, 1e-6);
}

TEST(Reactions, RecordsFollowTheSupportsTheNodesName) {
  FrameBuilder b = column_on(ConditionType::Fixed);
  b.node(4, 2, 3, 0, 9);  // names a support that does not exist
  b.member(3, 3, 4, 1);
  FrameBuilder::force(b.load_case(1, "down"), 3, 10e3, {0, -1, 0});
  FrameBuilder::force(b.model.load_cases[0], 4, 1e3, {1, 0, 0});
  // A support with no node at all, and one more record: summary counts them.
  b.support(3, F, "XYZ", F, "XYZ");
  const VELK out = b.analyse();
  const Results& res = out.results->loadcases.at("down");
  const ReactionNodeResult& ghost = res.reaction_nodes.at(4);
  EXPECT_EQ(ghost.support_id, 9u);
  EXPECT_EQ(ghost.nodal_forces.fx, 0.0);
  EXPECT_EQ(ghost.location.y, 3.0);
  EXPECT_EQ(res.reaction_nodes.size(), 3u);
  EXPECT_EQ(res.summary.total_reaction_forces, 3u);
  EXPECT_EQ(res.summary.total_displacements, 3u);
  EXPECT_EQ(res.summary.total_member_forces, 3u);
  EXPECT_FALSE(res.unity_checks.has_value());
}

TEST(Reactions, RigidChainDeliversItsFarLoadToTheSupportedRoot) {
  // Support at node 1, links 1 -> 2 -> 3 listed from the far end, load at node 3.
  for (const RigidStrategy strategy : {RigidStrategy::LinearMpc, RigidStrategy::RigidMember}) {
    FrameBuilder b;
    const auto s = b.section(0.01, 2e-5, 3e-5, 1e-5);
    b.model.settings.analysis_options.rigid_strategy = strategy;
    b.support(1, F, "XYZ", F, "XYZ");
    b.node(1, 0, 0, 0, 1);
    b.node(2, 1, 0, 0);
    b.node(3, 1, 0, 2);
    b.node(4, 0, 3, 0);
    b.member(1, 1, 4, s);
    b.member(3, 2, 3, 0, MemberType::Rigid);
    b.member(2, 1, 2, 0, MemberType::Rigid);
    const double p = 1e3;
    FrameBuilder::force(b.load_case(1, "far"), 3, p, {0, -1, 0});
    const VELK out = b.analyse();
    expect_equilibrium(out, 1e-7);
    const NodeForces& root = out.results->loadcases.at("far").reaction_nodes.at(1).nodal_forces;
    EXPECT_NEAR(root.fy, p, 1e-6 * p);
    // r x F for r = (1, 0, 2), F = (0, -p, 0) is (2p, 0, -p); the support answers it.
    EXPECT_NEAR(root.mx, -2 * p, 1e-6 * p);
    EXPECT_NEAR(root.mz, p, 1e-6 * p);
  }
}

TEST(MemberResults, LoadsOnAxialMembersReachTheSupports) {
  // A truss tie on two pinned supports carrying its own transverse load.
  FrameBuilder b;
  const auto s = b.section(0.01, 2e-5, 3e-5, 1e-5);
  b.support(1, F, "XYZ", Free, "XYZ");
  b.node(1, 0, 0, 0, 1);
  b.node(2, 6, 0, 0, 1);
  for (const MemberType type : {MemberType::Truss, MemberType::Tension}) {
    FrameBuilder c = b;
    c.member(1, 1, 2, s, type);
    FrameBuilder::line_load(c.load_case(1, "self"), 1, 2e3, 2e3, {0, -1, 0});
    const VELK out = c.analyse();
    expect_equilibrium(out);
    const Results& res = out.results->loadcases.at("self");
    EXPECT_NEAR(res.reaction_nodes.at(1).nodal_forces.fy, 6e3, 1e-6);
    EXPECT_NEAR(res.reaction_nodes.at(2).nodal_forces.fy, 6e3, 1e-6);
    // The member hands half its load to each node: -(-q L / 2) on the y axis.
    EXPECT_NEAR(res.member_results.at(1).start_node_forces.fy, 6e3, 1e-6);
    EXPECT_EQ(res.member_results.at(1).maximums.mz, 0.0);
  }
}

TEST(MemberResults, ReleasedEndsCarryNoMomentAndSpringsTheirShare) {
  // A beam fixed at both ends with a moment release (hinge value 0, or a
  // negative one) at the right end behaves as a propped cantilever: qL^2/8.
  for (const double release : {0.0, -5.0}) {
    FrameBuilder b;
    const auto s = b.section(0.01, 2e-5, 3e-5, 1e-5);
    b.support(1, F, "XYZ", F, "XYZ");
    b.node(1, 0, 0, 0, 1);
    b.node(2, 5, 0, 0, 1);
    MemberHinge pin;
    pin.id = 4;
    pin.hinge_type = "pin";
    pin.rotational_release_mz = release;
    b.model.memberhinges = std::vector<MemberHinge>{pin};
    b.member(1, 1, 2, s).end_hinge = 4;
    const double q = 8e3, l = 5.0;
    FrameBuilder::line_load(b.load_case(1, "q"), 1, q, q, {0, -1, 0});
    const VELK out = b.analyse();
    expect_equilibrium(out);
    const Results& res = out.results->loadcases.at("q");
    EXPECT_NEAR(res.member_results.at(1).start_node_forces.mz, q * l * l / 8, 1e-6);
    EXPECT_NEAR(res.member_results.at(1).end_node_forces.mz, 0.0, 1e-6);
    EXPECT_NEAR(res.reaction_nodes.at(2).nodal_forces.fy, 3 * q * l / 8, 1e-6);
  }
}

TEST(ActiveSet, SlackDiagonalIsSwitchedOffWithItsDecisionEvents) {
  FrameBuilder b = test_support::braced_bay(0.2);
  FrameBuilder::force(b.load_case(1, "sway"), 3, 10e3, {1, 0, 0});
  test_support::LogCapture capture(log::Level::Debug);
  const VELK out = b.analyse();
  const std::vector<std::string> events = capture.of_target(log::diagnostics_target);
  ASSERT_TRUE(out.results.has_value());
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events[0].rfind(R"({"type":"ActiveDecision","member_id":5,"member_kind":"Tension",)", 0), 0u)
      << events[0];
  EXPECT_NE(events[0].find(R"("was_active":true,"now_active":false,"reason":"n < -tol → OFF",)"
                           R"("tol":0.1,"reactivation_buffer":1.0})"),
            std::string::npos)
      << events[0];
  EXPECT_EQ(events[1],
            R"({"type":"ActiveMapSummary","ties_on":1,"ties_off":1,"struts_on":0,"struts_off":0})");
}

TEST(ActiveSet, IterationMessages) {
  FrameBuilder b;
  const auto s = b.section(0.01, 2e-5, 3e-5, 1e-5);
  b.support(1, F, "XYZ", F, "XYZ");
  b.node(1, 0, 0, 0, 1);
  b.node(2, 2, 0, 0);
  b.member(1, 1, 2, s);
  FrameBuilder::force(b.load_case(3, "tip"), 2, 1e3, {0, -1, 0});

  FrameBuilder none = b;
  none.model.settings.analysis_options.max_iterations = 0;
  EXPECT_EQ(calculate_from_json(none.text()).error(),
            "LC 3 linear error: Active-set iteration did not converge within 0 iterations");

  // One pass is not enough to confirm a solution that is larger than the tolerance.
  FrameBuilder one = b;
  one.model.settings.analysis_options.max_iterations = 1;
  EXPECT_EQ(calculate_from_json(one.text()).error(),
            "LC 3 linear error: Active-set iteration did not converge within 1 iterations");
  one.model.settings.analysis_options.tolerance = 1.0;
  EXPECT_TRUE(calculate_from_json(one.text()).has_value());

  // A free cantilever tip rotation about X with no torsion stiffness is singular.
  FrameBuilder loose = b;
  loose.model.sections[0].j = 0.0;
  EXPECT_EQ(calculate_from_json(loose.text()).error(),
            "LC 3 linear error: Reduced stiffness matrix is singular or near-singular");

  // Stiffness beyond the range of doubles gives no finite solution: that is
  // reported as singular, not written out as nulls.
  FrameBuilder overflowing = b;
  overflowing.model.materials[0].e_mod = 1e308;
  overflowing.model.sections[0].area = 1e10;
  EXPECT_EQ(calculate_from_json(overflowing.text()).error(),
            "LC 3 linear error: Reduced stiffness matrix is singular or near-singular");

  // Two cases of one name collide in the results bundle.
  FrameBuilder twice = b;
  twice.load_case(4, "tip");
  EXPECT_EQ(calculate_from_json(twice.text()).error(), "LC 4 linear error: Duplicate load case name `tip`");
  twice.model.load_cases.pop_back();
  twice.model.load_combinations.push_back(LoadCombination{1, "tip", {{3, 1.0}}, {}, "c", {}});
  EXPECT_TRUE(calculate_from_json(twice.text()).has_value());  // a combination may share a case's name

  // Solving an analysed document again finds its own results.
  const auto first = calculate_from_json(b.text());
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(calculate_from_json(*first).error(), "LC 3 linear error: Duplicate load case name `tip`");

  VELK model = b.model;
  EXPECT_EQ(solve_load_case_linear(model, 99).error(), "LoadCase 99 not found.");
  EXPECT_EQ(solve_combination_linear(model, 98).error(), "LoadCombination 98 not found.");
}

TEST(Combinations, WarmStartScalesOnlyResultsTheDocumentCarried) {
  // In a millimetre document a carried dx of 2.0 is 2 mm; a result computed
  // in this analysis is in metres already.
  FrameBuilder b;
  const auto s = b.section(0.01, 2e-5, 3e-5, 1e-5);
  b.node(1, 0, 0, 0);
  b.node(2, 1, 0, 0);
  b.member(1, 1, 2, s);
  b.load_case(1, "carried");
  b.load_case(2, "computed");
  b.model.settings.unit_settings.length_unit = LengthUnit::Mm;
  b.model.load_combinations.push_back(LoadCombination{5, "both", {{1, 1.0}, {2, 2.0}}, {}, "c", {}});
  VELK model = b.model;
  model.results.emplace();
  Results carried;
  carried.displacement_nodes[2] = NodeDisplacement{2.0, 0, 0, 0.5, 0, 0};
  Results computed = carried;
  computed.computed_in_base_units = true;
  model.results->loadcases["carried"] = carried;
  model.results->loadcases["computed"] = computed;
  const auto u = warm_start(model, 5);
  ASSERT_TRUE(u.has_value());
  EXPECT_DOUBLE_EQ((*u)(6), 2.0 * 0.001 + 2.0 * 2.0);  // translations
  EXPECT_DOUBLE_EQ((*u)(9), 0.5 + 2.0 * 0.5);          // rotations are never scaled
  model.results->loadcases.erase("computed");
  EXPECT_FALSE(warm_start(model, 5).has_value());  // a case without results: no warm start
}

}  // namespace
}  // namespace velk
