// What a case brings to the buckling problem: reversed loads, combination
// factors, switched-off members, rigid links, springs and releases; the
// Lanczos factors against a dense solve; the verdicts and the messages.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "analysis/driver.hpp"
#include "stability/stability_models.hpp"
#include "support/expect_fault.hpp"

namespace velk {
namespace {

using namespace test_support;

constexpr double column_height = 4.0;

double cantilever_weak_load() {
  return std::pow(std::numbers::pi / (2.0 * column_height), 2) * steel_e *
         column_i_y;  // pi^2 E I_y / (2 L)^2
}

LoadCombination combination(std::uint32_t id, std::string name, std::map<std::uint32_t, double> factors) {
  LoadCombination c;
  c.id = id;
  c.name = std::move(name);
  c.load_cases_factors = std::move(factors);
  return c;
}

TEST(LoadReversal, TensionGivesNoCriticalFactorButAReversedOne) {
  ColumnModel column = euler_column({0, 0, 1}, 16, column_height, ColumnEnds::FixedFree);
  VELK& model = column.builder.model;
  model.load_combinations.push_back(combination(1, "uplift", {{1, -1.0}}));
  model.load_combinations.push_back(combination(2, "factored", {{1, 1.35}}));
  const StabilityAnalysis analysis = stability_of(model);
  ASSERT_EQ(analysis.loadcases.size(), 1u);
  ASSERT_EQ(analysis.loadcombinations.size(), 2u);
  const CaseStability& down = analysis.loadcases[0];
  const CaseStability& uplift = analysis.loadcombinations[0];
  const CaseStability& factored = analysis.loadcombinations[1];

  EXPECT_FALSE(down.reversed_factor.has_value());
  EXPECT_TRUE(uplift.critical_factors.empty());
  EXPECT_TRUE(uplift.modes.empty());
  EXPECT_EQ(uplift.message, std::optional<std::string>("no member is in compression"));
  EXPECT_EQ(uplift.verdict, "first order sufficient (α_cr ≥ 10)");
  ASSERT_TRUE(uplift.reversed_factor.has_value());
  EXPECT_NEAR(*uplift.reversed_factor / down.critical_factors[0], 1.0, 1e-9);
  // A combination buckles at the factor of its own factored loads.
  EXPECT_NEAR(factored.critical_factors[0] * 1.35 / down.critical_factors[0], 1.0, 1e-9);
  EXPECT_NEAR(down.critical_factors[0] * column_load / cantilever_weak_load(), 1.0, 1e-4);
}

// A pin-jointed bay held by tension-only diagonals: under the sway load one
// goes slack and is switched off, and the frame buckles as if it were not
// there; a compressed diagonal would make it buckle sooner.
TEST(SwitchedOffMembers, ContributeNothing) {
  const auto bay = [](bool with_slack_diagonal) {
    PortalModel portal = portal_frame(3.0, 4.0, 4, false, 2e5, 5e4);
    FrameBuilder& b = portal.builder;
    const std::uint32_t left_base = 1;
    const std::uint32_t right_base = 6;
    b.member(100, left_base, portal.right_top, 1, MemberType::Tension);
    if (with_slack_diagonal) b.member(101, right_base, portal.left_top, 1, MemberType::Tension);
    b.model.load_combinations.push_back(combination(1, "vertical and sway", {{1, 1.0}, {2, 1.0}}));
    return portal;
  };
  const PortalModel with = bay(true);
  const PortalModel without = bay(false);
  ASSERT_EQ(with.builder.nodes.at(6).x, 4.0);  // node 6 is the right base
  const StabilityAnalysis a = stability_of(with.builder.model, 2);
  const StabilityAnalysis b = stability_of(without.builder.model, 2);
  ASSERT_EQ(a.loadcombinations.size(), 1u);
  ASSERT_EQ(b.loadcombinations.size(), 1u);
  const CaseStability& slack = a.loadcombinations[0];
  ASSERT_FALSE(slack.critical_factors.empty());
  EXPECT_NEAR(slack.critical_factors[0] / b.loadcombinations[0].critical_factors[0], 1.0, 1e-6);
  const auto member = [&](std::uint32_t id) {
    for (const MemberBuckling& m : slack.modes[0].members) {
      if (m.member == id) return m;
    }
    ADD_FAILURE() << "member " << id << " missing";
    return MemberBuckling{};
  };
  EXPECT_EQ(member(101).axial_force, 0.0);
  EXPECT_FALSE(member(101).critical_force.has_value());
  EXPECT_GT(member(100).axial_force, 0.0);
  EXPECT_FALSE(member(100).critical_force.has_value());
}

// A horizontal bracket at the top of a cantilever carries the load there
// with an eccentricity: the column bends to first order, yet buckles at its
// Euler load under either strategy for rigid members (which, as in the
// second-order solver, carry no geometric stiffness of their own).
class RigidBracket : public ::testing::TestWithParam<RigidStrategy> {};

TEST_P(RigidBracket, TransfersTheLoadAndLeavesTheEulerLoad) {
  ColumnModel column = euler_column({0, 0, 1}, 16, column_height, ColumnEnds::FixedFree);
  FrameBuilder& b = column.builder;
  b.model.settings.analysis_options.rigid_strategy = GetParam();
  const std::uint32_t bracket = column.top + 1;
  b.node(bracket, 0.5, 0.0, column_height);
  b.member(50, column.top, bracket, 1, MemberType::Rigid);
  LoadCase& lc = b.model.load_cases[0];
  lc.nodal_loads.clear();
  FrameBuilder::force(lc, bracket, column_load, {0, 0, -1});
  const StabilityAnalysis analysis = stability_of(b.model, 1);
  ASSERT_EQ(analysis.loadcases.size(), 1u);
  const CaseStability& result = analysis.loadcases[0];
  ASSERT_FALSE(result.critical_factors.empty());
  EXPECT_NEAR(result.critical_factors[0] * column_load / cantilever_weak_load(), 1.0, 1e-4);
  // Rigid members are left out of the member list; the bracket node moves with the mode.
  for (const MemberBuckling& m : result.modes[0].members) EXPECT_NE(m.member, 50u);
  EXPECT_TRUE(result.modes[0].shape.contains(bracket));
}

INSTANTIATE_TEST_SUITE_P(Stability, RigidBracket,
                         ::testing::Values(RigidStrategy::LinearMpc, RigidStrategy::RigidMember),
                         [](const ::testing::TestParamInfo<RigidStrategy>& info) {
                           return std::string(info.param == RigidStrategy::LinearMpc ? "linear_mpc"
                                                                                     : "rigid_member");
                         });

// A cantilever on rotational springs c at its base: u tan u = c L / (E I),
// P_cr = u^2 E I / L^2, for each bending axis.
TEST(Springs, CantileverOnRotationalSprings) {
  ColumnModel column = euler_column({0, 0, 1}, 16, column_height, ColumnEnds::FixedFree);
  const double c = steel_e * column_i_y / column_height;
  NodalSupport& base = column.builder.model.nodal_supports[0];
  base.rotation_conditions["X"] = {ConditionType::Spring, c};
  base.rotation_conditions["Y"] = {ConditionType::Spring, c};
  const auto critical = [&](double i) {
    const double rho = c * column_height / (steel_e * i);
    double a = 0.0;
    double b = std::numbers::pi / 2;
    for (int k = 0; k < 200; ++k) {
      const double m = 0.5 * (a + b);
      (m * std::tan(m) < rho ? a : b) = m;
    }
    return a * a * steel_e * i / (column_height * column_height);
  };
  const StabilityAnalysis analysis = stability_of(column.builder.model, 2);
  ASSERT_EQ(analysis.loadcases.size(), 1u);
  const CaseStability& result = analysis.loadcases[0];
  ASSERT_EQ(result.critical_factors.size(), 2u);
  EXPECT_NEAR(result.critical_factors[0] * column_load / critical(column_i_y), 1.0, 1e-4);
  EXPECT_NEAR(result.critical_factors[1] * column_load / critical(column_i_z), 1.0, 1e-4);
}

// A column between fixed supports with its bending released at both ends
// by member hinges is a pinned column: pi^2 E I / L^2.
TEST(Releases, HingedEndsMakeAPinnedColumn) {
  ColumnModel column = euler_column({0, 0, 1}, 16, column_height, ColumnEnds::FixedFixed);
  VELK& model = column.builder.model;
  MemberHinge pin;
  pin.id = 1;
  pin.rotational_release_my = 0.0;
  pin.rotational_release_mz = 0.0;
  model.memberhinges = std::vector<MemberHinge>{pin};
  std::vector<Member>& members = model.member_sets[0].members;
  members.front().start_hinge = 1;
  members.back().end_hinge = 1;
  const StabilityAnalysis analysis = stability_of(model, 2);
  ASSERT_EQ(analysis.loadcases.size(), 1u);
  const CaseStability& result = analysis.loadcases[0];
  ASSERT_EQ(result.critical_factors.size(), 2u);
  const double euler = std::pow(std::numbers::pi / column_height, 2) * steel_e;
  EXPECT_NEAR(result.critical_factors[0] * column_load / (euler * column_i_y), 1.0, 1e-4);
  EXPECT_NEAR(result.critical_factors[1] * column_load / (euler * column_i_z), 1.0, 1e-4);
  // The released end members bend in the mode and take their share.
  EXPECT_GT(result.modes[0].members.front().energy_share, 0.0);
}

// The Lanczos factors (both sides) against a dense solve of the same pencil.
struct DenseCase {
  const char* name;
  std::function<VELK()> model;
};

std::ostream& operator<<(std::ostream& out, const DenseCase& c) { return out << c.name; }

class DenseAgreement : public ::testing::TestWithParam<DenseCase> {};

TEST_P(DenseAgreement, FactorsAgreeTo1e8) {
  const VELK model = GetParam().model();
  constexpr int modes = 6;
  const StabilityAnalysis lanczos = stability_of(model, modes, 0);
  const StabilityAnalysis dense = stability_of(model, modes, 100000);
  using Cases = std::vector<CaseStability> StabilityAnalysis::*;
  for (const Cases group : {&StabilityAnalysis::loadcases, &StabilityAnalysis::loadcombinations}) {
    ASSERT_EQ((lanczos.*group).size(), (dense.*group).size());
    for (std::size_t c = 0; c < (lanczos.*group).size(); ++c) {
      const CaseStability& l = (lanczos.*group)[c];
      const CaseStability& d = (dense.*group)[c];
      ASSERT_EQ(l.critical_factors.size(), d.critical_factors.size()) << l.name;
      for (std::size_t i = 0; i < l.critical_factors.size(); ++i)
        EXPECT_NEAR(l.critical_factors[i] / d.critical_factors[i], 1.0, 1e-8) << l.name << " mode " << i;
      ASSERT_EQ(l.reversed_factor.has_value(), d.reversed_factor.has_value()) << l.name;
      if (l.reversed_factor) {
        EXPECT_NEAR(*l.reversed_factor / *d.reversed_factor, 1.0, 1e-8) << l.name;
      }
    }
  }
}

VELK portal_with_combinations(bool fixed) {
  PortalModel portal = portal_frame(4.0, 6.0, 6, fixed, 2e5, 3e4);
  portal.builder.model.load_combinations.push_back(combination(1, "both", {{1, 1.0}, {2, 1.5}}));
  portal.builder.model.load_combinations.push_back(combination(2, "reversed", {{1, -1.0}, {2, 1.0}}));
  return portal.builder.model;
}

INSTANTIATE_TEST_SUITE_P(
    Stability, DenseAgreement,
    ::testing::Values(
        DenseCase{"cantilever",
                  [] {
                    return euler_column({0, 0, 1}, 20, 4.0, ColumnEnds::FixedFree).builder.model;
                  }},
        DenseCase{"inclined_turned",
                  [] {
                    return euler_column({1, 2, 2}, 12, 4.0, ColumnEnds::FixedFree, 0.4).builder.model;
                  }},
        DenseCase{"pinned_portal", [] { return portal_with_combinations(false); }},
        DenseCase{"fixed_portal", [] { return portal_with_combinations(true); }}),
    [](const ::testing::TestParamInfo<DenseCase>& info) { return std::string(info.param.name); });

TEST(Verdict, ThresholdsOfTheFirstFactor) {
  EXPECT_EQ(stability_verdict(std::numeric_limits<double>::infinity()), "first order sufficient (α_cr ≥ 10)");
  EXPECT_EQ(stability_verdict(10.0), "first order sufficient (α_cr ≥ 10)");
  EXPECT_EQ(stability_verdict(9.999), "second order needed (3 ≤ α_cr < 10)");
  EXPECT_EQ(stability_verdict(3.0), "second order needed (3 ≤ α_cr < 10)");
  EXPECT_EQ(stability_verdict(2.999), "second order needed, amplification not allowed (α_cr < 3)");
  EXPECT_EQ(stability_verdict(0.5), "second order needed, amplification not allowed (α_cr < 3)");
}

TEST(Messages, AMechanismGivesTheAnalysisMessageAndTheMechanism) {
  ColumnModel column = euler_column({0, 0, 1}, 4, column_height, ColumnEnds::FixedFree);
  for (auto& [axis, condition] : column.builder.model.nodal_supports[0].rotation_conditions)
    condition = {ConditionType::Free, {}};
  const Result<StabilityAnalysis> analysis = analyse_document_stability(column.builder.model, {});
  ASSERT_FALSE(analysis.has_value());
  EXPECT_TRUE(analysis.error().starts_with(
      "LC 1 linear error: Reduced stiffness matrix is singular or near-singular; Mechanism: node "))
      << analysis.error();
  // The analysis says the same first.
  VELK analysed = column.builder.model;
  const Result<void> linear = analyse_model(analysed);
  ASSERT_FALSE(linear.has_value());
  EXPECT_TRUE(analysis.error().starts_with(linear.error() + "; ")) << linear.error();
}

TEST(Messages, BadModelsGiveTheAnalysisMessage) {
  ColumnModel gap = euler_column({0, 0, 1}, 4, column_height, ColumnEnds::FixedFree);
  gap.builder.model.member_sets[0].members[3].end_node.id = 9;
  VELK analysed = gap.builder.model;
  const Result<void> linear = analyse_model(analysed);
  ASSERT_FALSE(linear.has_value());
  const Result<StabilityAnalysis> analysis = analyse_document_stability(gap.builder.model, {});
  ASSERT_FALSE(analysis.has_value());
  EXPECT_EQ(analysis.error(), linear.error());
  EXPECT_EQ(analysis.error(),
            "LC 1 linear error: Node ID 5 is missing. Node IDs must be consecutive starting from 1.");

  ColumnModel big = euler_column({0, 0, 1}, 101, column_height, ColumnEnds::FixedFree);
  const Result<StabilityAnalysis> too_many = analyse_document_stability(big.builder.model, {});
  ASSERT_FALSE(too_many.has_value());
  EXPECT_EQ(too_many.error(), "Number of members (101) exceeds allowed maximum of 100");
}

TEST(Messages, CasesLeftUnsolvedAreLeftOut) {
  ColumnModel column = euler_column({0, 0, 1}, 4, column_height, ColumnEnds::FixedFree);
  column.builder.model.settings.analysis_options.solve_loadcases = false;
  column.builder.model.load_combinations.push_back(combination(1, "factored", {{1, 1.5}}));
  const StabilityAnalysis analysis = stability_of(column.builder.model, 1);
  EXPECT_TRUE(analysis.loadcases.empty());
  ASSERT_EQ(analysis.loadcombinations.size(), 1u);
  EXPECT_EQ(analysis.loadcombinations[0].name, "factored");
}

// The axial forces are those of the engine's own first-order analysis of
// the case, which balances its loads.
TEST(FirstOrderState, AxialForcesAreTheAnalysisForces) {
  PortalModel portal = portal_frame(4.0, 6.0, 4, true, 2e5, 4e4);
  portal.builder.model.load_combinations.push_back(combination(1, "both", {{1, 1.0}, {2, 1.0}}));
  const VELK analysed = portal.builder.analyse();
  expect_equilibrium(analysed);
  const StabilityAnalysis analysis = stability_of(portal.builder.model, 1);
  ASSERT_EQ(analysis.loadcombinations.size(), 1u);
  const Results& results = analysed.results->loadcombinations.at("both");
  int checked = 0;
  for (const MemberBuckling& m : analysis.loadcombinations[0].modes.at(0).members) {
    const Member* member = nullptr;
    for (const Member& candidate : analysed.member_sets[0].members) {
      if (candidate.id == m.member) member = &candidate;
    }
    ASSERT_NE(member, nullptr);
    const Eigen::Vector3d axis =
        Eigen::Vector3d(member->end_node.x - member->start_node.x, member->end_node.y - member->start_node.y,
                        member->end_node.z - member->start_node.z)
            .normalized();
    const NodeForces& end = results.member_results.at(m.member).end_node_forces;
    const double n = axis.dot(Eigen::Vector3d(end.fx, end.fy, end.fz));
    EXPECT_NEAR(m.axial_force, n, 1e-6 * 2e5) << m.member;
    ++checked;
  }
  EXPECT_EQ(checked, 12);
}

}  // namespace
}  // namespace velk

namespace velk {
namespace {

// A tension-only member whose section is not in the model stops the
// analysis with the engine's fault, and the stability analysis alike.
TEST(MissingSectionData, OneWayMemberWithoutItsSectionFaultsAsTheAnalysis) {
  test_support::ColumnModel column =
      test_support::euler_column({0, 0, 1}, 4, 4.0, test_support::ColumnEnds::FixedFree);
  test_support::FrameBuilder& b = column.builder;
  b.node(6, 1.0, 0.0, 0.0, 1);
  b.member(9, 6, column.top, 99, MemberType::Tension);
  VELK analysed = b.model;
  EXPECT_FAULT(static_cast<void>(analyse_model(analysed)),
               "Missing section data: member_id=9, section_id=99");
  EXPECT_FAULT(static_cast<void>(analyse_document_stability(b.model, {})),
               "Missing section data: member_id=9, section_id=99");
}

}  // namespace
}  // namespace velk
