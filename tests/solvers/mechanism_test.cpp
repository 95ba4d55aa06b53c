// Mechanisms are errors wherever they point; stable but ill-conditioned
// structures keep solving with their closed-form answers.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "base/log.hpp"
#include "numerics/factorization.hpp"
#include "solvers/mechanism_search.hpp"
#include "solvers/solve_context.hpp"
#include "support/frame_builder.hpp"
#include "support/frame_models.hpp"
#include "support/log_capture.hpp"
#include "system/load_assembler.hpp"

namespace velk {
namespace {

using test_support::FrameBuilder;

// A point turned by `angle` about the global Y axis, then by `tilt` about X.
std::array<double, 3> turned(double angle, double x, double y, double z, double tilt = 0.0) {
  const double c = std::cos(angle), s = std::sin(angle);
  const double xr = c * x + s * z, zr = -s * x + c * z;
  const double ct = std::cos(tilt), st = std::sin(tilt);
  return {xr, ct * y - st * zr, st * y + ct * zr};
}

struct Turn {
  double angle = 0.0;  // about Y
  double tilt = 0.0;   // then about X
};

void turned_node(FrameBuilder& b, Turn turn, std::uint32_t id, double x, double y, double z,
                 std::optional<std::uint32_t> support = std::nullopt) {
  const auto p = turned(turn.angle, x, y, z, turn.tilt);
  b.node(id, p[0], p[1], p[2], support);
}

// Pinned: every translation held, every rotation free.
void pinned_support(FrameBuilder& b, std::uint32_t id) {
  b.support(id, ConditionType::Fixed, "XYZ", ConditionType::Free, "XYZ");
}

void fixed_support(FrameBuilder& b, std::uint32_t id) {
  b.support(id, ConditionType::Fixed, "XYZ", ConditionType::Fixed, "XYZ");
}

// A hinge free about both bending axes.
MemberHinge bending_pin(std::uint32_t id) {
  MemberHinge hinge;
  hinge.id = id;
  hinge.hinge_type = "pinned";
  hinge.rotational_release_my = 0.0;
  hinge.rotational_release_mz = 0.0;
  return hinge;
}

// A square truss bay standing in the X-Y plane turned about Y (no
// diagonal), its top held out of its plane by two struts: it sways.
FrameBuilder truss_bay(Turn angle) {
  FrameBuilder b;
  const auto s = b.section(0.01, 2e-5, 3e-5, 1e-5);
  pinned_support(b, 1);
  turned_node(b, angle, 1, 0, 0, 0, 1);
  turned_node(b, angle, 2, 4, 0, 0, 1);
  turned_node(b, angle, 3, 0, 3, 0);
  turned_node(b, angle, 4, 4, 3, 0);
  turned_node(b, angle, 5, 0, 3, 2, 1);
  turned_node(b, angle, 6, 4, 3, 2, 1);
  b.member(1, 1, 3, s, MemberType::Truss);
  b.member(2, 2, 4, s, MemberType::Truss);
  b.member(3, 3, 4, s, MemberType::Truss);
  b.member(4, 3, 5, s, MemberType::Truss);
  b.member(5, 4, 6, s, MemberType::Truss);
  FrameBuilder::force(b.load_case(1, "LC 1"), 3, 1e3, {1, 0, 0});
  return b;
}

// A portal frame of beams turned about Y (and tilted), every member end
// hinged about both bending axes; the node rotations are held so that only
// the sway in the frame's plane is left, the top held out of plane by
// struts.
FrameBuilder hinged_portal(Turn angle) {
  FrameBuilder b;
  const auto s = b.section(0.01, 2e-5, 3e-5, 1e-5);
  fixed_support(b, 1);  // the member-end hinges make it a pin
  b.support(2, ConditionType::Free, "XYZ", ConditionType::Fixed, "XYZ");
  b.model.memberhinges = std::vector<MemberHinge>{bending_pin(1)};
  turned_node(b, angle, 1, 0, 0, 0, 1);
  turned_node(b, angle, 2, 0, 3, 0, 2);
  turned_node(b, angle, 3, 5, 3, 0, 2);
  turned_node(b, angle, 4, 5, 0, 0, 1);
  turned_node(b, angle, 5, 0, 3, 2, 1);
  turned_node(b, angle, 6, 5, 3, 2, 1);
  for (const auto& [id, from, to] : {std::tuple{1u, 1u, 2u}, {2u, 2u, 3u}, {3u, 3u, 4u}}) {
    Member& m = b.member(id, from, to, s);
    m.start_hinge = 1;
    m.end_hinge = 1;
  }
  b.member(4, 2, 5, s, MemberType::Truss);
  b.member(5, 3, 6, s, MemberType::Truss);
  FrameBuilder::force(b.load_case(1, "LC 1"), 2, 1e3, {0, -1, 0});
  return b;
}

// A straight run of beams along a turned direction, hinged about both
// bending axes at the supports and on both sides of the node at mid-run,
// whose rotation is held: three hinges in a line, so it folds there.
FrameBuilder hinge_chain(Turn angle, int members = 6) {
  FrameBuilder b;
  const auto s = b.section(0.01, 2e-5, 3e-5, 1e-5);
  fixed_support(b, 1);
  b.support(2, ConditionType::Free, "XYZ", ConditionType::Fixed, "XYZ");
  b.model.memberhinges = std::vector<MemberHinge>{bending_pin(1)};
  const auto middle = static_cast<std::uint32_t>(members / 2 + 1);
  for (int i = 0; i <= members; ++i) {
    const auto id = static_cast<std::uint32_t>(i + 1);
    const bool end = i == 0 || i == members;
    const auto p = turned(angle.angle, 1.5 * i, 0.0, 0.0, angle.tilt);
    b.node(id, p[0], p[1], p[2],
           end ? std::optional<std::uint32_t>(1)
               : (id == middle ? std::optional<std::uint32_t>(2) : std::nullopt));
  }
  for (int i = 0; i < members; ++i) {
    const auto id = static_cast<std::uint32_t>(i + 1);
    Member& m = b.member(id, id, id + 1, s);
    if (id + 1 == middle || i == members - 1) m.end_hinge = 1;
    if (id == middle || i == 0) m.start_hinge = 1;
  }
  FrameBuilder::force(b.load_case(1, "LC 1"), middle, 1e3, {0, -1, 0});
  return b;
}

constexpr double column_i = 8.0e-5;  // about both bending axes, m^4

// A steel column of height `height` fixed at its base, with a rigid arm of
// length `arm` at its top pointing at `heading` in plan, P downwards at the
// arm's tip; under RigidMember the arm's stiffness is `rigid_factor` times
// that of its section.
FrameBuilder column_with_rigid_arm(double heading, double rigid_factor, double p = 10e3, double height = 3.0,
                                   double arm = 1.5) {
  FrameBuilder b;
  b.model.settings.analysis_options.rigid_strategy = RigidStrategy::RigidMember;
  const auto column = b.section(0.01, column_i, column_i, 1.6e-4);
  // The stiffest material of the model sets the rigid factor: 1e4 times its
  // modulus over the steel of the arm's section.
  b.model.materials.push_back(
      Material{2, "stiffest", test_support::steel_e * rigid_factor / 1e4, 8.1e10, 0.0, 0.0});
  b.model.sections.push_back(Section{2, "arm", 1, {}, {}, column_i, column_i, 1.6e-4, 0.01, {}});
  fixed_support(b, 1);
  b.node(1, 0, 0, 0, 1);
  b.node(2, 0, height, 0);
  b.node(3, arm * std::cos(heading), height, arm * std::sin(heading));
  b.member(1, 1, 2, column);
  b.member(2, 2, 3, 0, MemberType::Rigid).section = 2;
  FrameBuilder::force(b.load_case(1, "LC 1"), 3, p, {0, -1, 0});
  return b;
}

// A steel portal frame on bases fixed but for X, where a spring of
// `spring` N/m at one base is the only restraint; F along X at its top.
FrameBuilder portal_on_soft_spring(double spring, double f = 1.0) {
  FrameBuilder b;
  const auto s = b.section(5.4e-3, 8.4e-5, 6.0e-6, 2.0e-7);
  NodalSupport& soft = b.support(1, ConditionType::Fixed, "YZ", ConditionType::Fixed, "XYZ");
  soft.displacement_conditions["X"] = {ConditionType::Spring, spring};
  NodalSupport& free = b.support(2, ConditionType::Fixed, "YZ", ConditionType::Fixed, "XYZ");
  free.displacement_conditions["X"] = {ConditionType::Free, {}};
  b.node(1, 0, 0, 0, 1);
  b.node(2, 0, 4, 0);
  b.node(3, 6, 4, 0);
  b.node(4, 6, 0, 0, 2);
  b.member(1, 1, 2, s);
  b.member(2, 2, 3, s);
  b.member(3, 3, 4, s);
  FrameBuilder::force(b.load_case(1, "LC 1"), 2, f, {1, 0, 0});
  return b;
}

// The braced bay with its one tension-only diagonal pushed into compression:
// switched off, it keeps 1e-10 of its stiffness and is the only tie of the
// top against sway.
FrameBuilder bay_held_by_a_slack_tie() {
  FrameBuilder b = test_support::braced_bay();
  auto& members = b.model.member_sets[0].members;
  members.erase(members.begin() + 3);  // member 4, the diagonal that would be in tension
  FrameBuilder::force(b.load_case(1, "LC 1"), 3, 1e3, {1, 0, 0});
  return b;
}

// A cantilever of `members` slender beams in a straight line, P at its tip.
FrameBuilder slender_chain(int members, double p = 10.0) {
  FrameBuilder b;
  const auto s = b.section(1e-4, 1e-9, 1e-9, 2e-9);
  fixed_support(b, 1);
  for (int i = 0; i <= members; ++i)
    b.node(static_cast<std::uint32_t>(i + 1), 0.5 * i, 0, 0,
           i == 0 ? std::optional<std::uint32_t>(1) : std::nullopt);
  for (int i = 0; i < members; ++i)
    b.member(static_cast<std::uint32_t>(i + 1), static_cast<std::uint32_t>(i + 1),
             static_cast<std::uint32_t>(i + 2), s);
  FrameBuilder::force(b.load_case(1, "LC 1"), static_cast<std::uint32_t>(members + 1), p, {0, -1, 0});
  return b;
}

// The smallest |pivot| / |own diagonal| of the model's restrained first-order
// stiffness, factored without any zero-pivot rule, densely and sparsely.
std::array<double, 2> pivot_ratios_without_rule(const VELK& model, const ActiveMap& active = {}) {
  SolveContext context(model);
  auto stiffness = context.reduced_stiffness();
  EXPECT_TRUE(stiffness.has_value());
  EXPECT_TRUE((*stiffness)->assemble(active).has_value());
  Eigen::VectorXd f = Eigen::VectorXd::Zero((*stiffness)->size());
  (*stiffness)->apply_restraints(f);
  ReducedFactorization dense(1'000'000, 0.0);
  ReducedFactorization sparse(0, 0.0);
  dense.factor((*stiffness)->matrix());
  sparse.factor((*stiffness)->matrix());
  return {dense.smallest_pivot_ratio(), sparse.smallest_pivot_ratio()};
}

std::string analysis_error(const FrameBuilder& b) {
  const auto written = calculate_from_json(b.text());
  return written ? "" : written.error();
}

const Results& load_case_one(const VELK& analysed) { return analysed.results->loadcases.at("LC 1"); }

// Mechanisms turned away from the global axes.
struct TurnedMechanism {
  const char* shape;
  Turn turn;
};

FrameBuilder build(const TurnedMechanism& m) {
  const std::string_view shape = m.shape;
  if (shape == "truss bay") return truss_bay(m.turn);
  if (shape == "hinged portal") return hinged_portal(m.turn);
  return hinge_chain(m.turn);
}

class TurnedMechanisms : public ::testing::TestWithParam<TurnedMechanism> {};

TEST_P(TurnedMechanisms, AreSingularLikeTheirAxisAlignedTwins) {
  FrameBuilder b = build(GetParam());
  EXPECT_EQ(analysis_error(b), "LC 1 linear error: Reduced stiffness matrix is singular or near-singular");
  b.model.settings.analysis_options.order = AnalysisOrder::Nonlinear;
  EXPECT_EQ(analysis_error(b), "LC 1 second-order error: Reduced stiffness matrix is singular in predictor.");
  const auto found = find_mechanisms(b.model);
  ASSERT_TRUE(found.has_value()) << found.error();
  EXPECT_FALSE(found->empty());
}

// What is left of a pivot of a mechanism is rounding noise, far below the
// rule's ratio; the sparse and the dense path see the same.
TEST_P(TurnedMechanisms, LeaveOnlyRoundingNoiseOfAPivot) {
  const FrameBuilder b = build(GetParam());
  for (const double ratio : pivot_ratios_without_rule(b.model))
    EXPECT_LT(ratio, first_order_zero_pivot_ratio / 10) << GetParam().shape;
}

std::vector<TurnedMechanism> turned_mechanisms() {
  std::vector<TurnedMechanism> all;
  for (const char* shape : {"truss bay", "hinged portal", "hinge chain"}) {
    for (const double tilt : {0.0, 0.4}) {
      for (const double angle : {0.0, 0.3, 0.7, std::numbers::pi / 4, 1.0, 1.3})
        all.push_back({shape, {angle, tilt}});
    }
  }
  return all;
}

INSTANTIATE_TEST_SUITE_P(ShapesAndAngles, TurnedMechanisms, ::testing::ValuesIn(turned_mechanisms()));

TEST(Mechanisms, TheWarningNamesTheNodeAndItsDirection) {
  const FrameBuilder b = truss_bay({0.3, 0.0});
  const auto found = find_mechanisms(b.model);
  ASSERT_TRUE(found.has_value()) << found.error();
  ASSERT_EQ(found->size(), 1u);
  // The bay sways along its own turned X axis, its top nodes together.
  EXPECT_EQ(mechanism_message(found->front()),
            "Mechanism: node 3 moves along (0.955, 0.000, -0.296) without resistance");

  test_support::LogCapture capture(log::Level::Warning);
  EXPECT_EQ(analysis_error(b), "LC 1 linear error: Reduced stiffness matrix is singular or near-singular");
  ASSERT_EQ(capture.lines.size(), 1u);
  EXPECT_EQ(capture.lines[0], "Mechanism: node 3 moves along (0.955, 0.000, -0.296) without resistance");
  EXPECT_EQ(capture.targets[0], "velk_calculations::analysis");
  EXPECT_EQ(capture.levels[0], log::Level::Warning);
}

TEST(Mechanisms, EachIndependentMotionIsNamed) {
  // Two bays side by side, neither braced: each sways on its own.
  FrameBuilder b = truss_bay({0.0, 0.0});
  const auto s = b.model.sections.front().id;
  b.node(7, 8, 0, 0, 1);
  b.node(8, 8, 3, 0);
  b.node(9, 8, 3, 2, 1);
  b.member(6, 7, 8, s, MemberType::Truss);
  b.member(7, 8, 9, s, MemberType::Truss);
  const auto found = find_mechanisms(b.model);
  ASSERT_TRUE(found.has_value()) << found.error();
  std::vector<std::string> messages;
  for (const Mechanism& m : *found) messages.push_back(mechanism_message(m));
  EXPECT_EQ(messages, (std::vector<std::string>{
                          "Mechanism: node 3 moves along (1.000, 0.000, 0.000) without resistance",
                          "Mechanism: node 8 moves along (1.000, 0.000, 0.000) without resistance"}));
}

TEST(Mechanisms, AStableStructureHasNone) {
  const auto found = find_mechanisms(portal_on_soft_spring(1e-2).model);
  ASSERT_TRUE(found.has_value()) << found.error();
  EXPECT_TRUE(found->empty());
}

// The numbering is checked where the search begins, as where a solve begins:
// a gap is named rather than searched as a node nothing holds.
TEST(Mechanisms, AGapInTheNodeIdsIsNamed) {
  FrameBuilder b = truss_bay({0.0, 0.0});
  const auto s = b.model.sections.front().id;
  b.node(8, 8, 3, 0);
  b.member(6, 3, 8, s, MemberType::Truss);
  const auto found = find_mechanisms(b.model);
  ASSERT_FALSE(found.has_value());
  EXPECT_EQ(found.error(), "Node ID 7 is missing. Node IDs must be consecutive starting from 1.");
}

TEST(Mechanisms, ATwistNobodyResistsIsATurn) {
  // A beam pinned at both ends with its twist released at both ends too.
  FrameBuilder b;
  const auto s = b.section(0.01, 2e-5, 3e-5, 1e-5);
  b.support(1, ConditionType::Fixed, "XYZ", ConditionType::Free, "XYZ");
  b.node(1, 0, 0, 0, 1);
  b.node(2, 3, 0, 4, 1);
  b.member(1, 1, 2, s);
  const auto found = find_mechanisms(b.model);
  ASSERT_TRUE(found.has_value()) << found.error();
  ASSERT_FALSE(found->empty());
  EXPECT_EQ(mechanism_message(found->front()),
            "Mechanism: node 1 turns about (0.600, 0.000, 0.800) without resistance");
}

// Stable but ill-conditioned structures: their pivots keep digits well above
// the rule's ratio, and they solve to their closed forms.
TEST(IllConditioned, PivotsStayFarAboveTheRule) {
  std::vector<std::pair<std::string, std::array<double, 2>>> measured;
  for (const double factor : {1e4, 1e6, 1e8}) {
    for (const double heading : {0.0, 0.3, 0.7, 1.0, 2.5})
      measured.emplace_back("rigid arm",
                            pivot_ratios_without_rule(column_with_rigid_arm(heading, factor).model));
  }
  measured.emplace_back("soft spring", pivot_ratios_without_rule(portal_on_soft_spring(1e-2).model));
  measured.emplace_back("slack tie",
                        pivot_ratios_without_rule(bay_held_by_a_slack_tie().model, {{5, false}}));
  measured.emplace_back("slender chain", pivot_ratios_without_rule(slender_chain(100).model));
  for (const auto& [name, ratios] : measured) {
    for (const double ratio : ratios) EXPECT_GT(ratio, 10 * first_order_zero_pivot_ratio) << name;
  }
}

TEST(IllConditioned, ARigidArmTurnsItsColumnTopByPaHOverEI) {
  const double p = 10e3, a = 1.5, h = 3.0;
  for (const double factor : {1e4, 1e6, 1e8}) {
    for (const double heading : {0.0, 0.3, 0.7, 1.0, 2.5}) {
      const VELK out = column_with_rigid_arm(heading, factor, p, h, a).analyse();
      ASSERT_TRUE(out.results.has_value());
      // A rigid factor of 1e8 costs about ten of the sixteen digits.
      test_support::expect_equilibrium(out, 1e-5);
      // The arm's moment P a about the horizontal normal to it.
      const double theta = p * a * h / (test_support::steel_e * column_i);
      const NodeDisplacement& top = load_case_one(out).displacement_nodes.at(2);
      EXPECT_NEAR(top.rx, theta * std::sin(heading), 1e-5 * theta) << factor << " " << heading;
      EXPECT_NEAR(top.rz, -theta * std::cos(heading), 1e-5 * theta) << factor << " " << heading;
    }
  }
}

TEST(IllConditioned, ASoftSpringLetsTheFrameMoveByFOverK) {
  const double f = 1.0, k = 1e-2;
  const VELK out = portal_on_soft_spring(k, f).analyse();
  ASSERT_TRUE(out.results.has_value());
  // The spring is 1e-9 of the frame's own stiffness: nine digits go.
  test_support::expect_equilibrium(out, 1e-7);
  EXPECT_NEAR(load_case_one(out).displacement_nodes.at(1).dx, f / k, 1e-7 * f / k);
}

TEST(IllConditioned, ASwitchedOffTieStillHoldsItsNode) {
  const double h = 1e3;
  const VELK out = bay_held_by_a_slack_tie().analyse();
  ASSERT_TRUE(out.results.has_value());
  // No equilibrium check: a switched-off member reports no force, though
  // here its remnant of stiffness is what carries the load.
  // The diagonal (length 5, at cos 0.8 to the sway) keeps 1e-10 of E A / L.
  const double k_tie = inactive_stiffness_factor * test_support::steel_e * 0.01 / 5.0;
  EXPECT_NEAR(load_case_one(out).displacement_nodes.at(3).dx, h / (0.64 * k_tie), 1e-6 * h / (0.64 * k_tie));
}

TEST(IllConditioned, AChainOfAHundredSlenderBeamsBendsByPL3Over3EI) {
  const double p = 10.0, l = 50.0;
  const VELK out = slender_chain(100, p).analyse();
  ASSERT_TRUE(out.results.has_value());
  test_support::expect_equilibrium(out);
  const double tip = p * l * l * l / (3 * test_support::steel_e * 1e-9);
  EXPECT_NEAR(load_case_one(out).displacement_nodes.at(101).dy, -tip, 1e-6 * tip);
}

// Beyond the dense search's size the search works on the sparse
// factorisation (and a large system that Cholesky factors has no
// mechanism): a sound building has none; a node hung from two roof nodes by
// truss braces in the X-Z plane moves freely along Y, and is named with that
// direction as the dense search names it.
class LargeMechanisms : public ::testing::TestWithParam<test_support::BuildingOptions> {};

TEST_P(LargeMechanisms, ALargeModelIsSearchedOnTheSparseFactorisation) {
  const test_support::BuildingOptions shape = GetParam();
  VELK model = test_support::building_model(shape);
  {
    SolveContext context(model);
    auto stiffness = context.reduced_stiffness();
    ASSERT_TRUE(stiffness.has_value());
    ASSERT_GT((*stiffness)->size(), dense_mechanism_search_limit);
  }
  const auto sound = find_mechanisms(model);
  ASSERT_TRUE(sound.has_value()) << sound.error();
  EXPECT_TRUE(sound->empty());

  const auto nodes =
      static_cast<std::uint32_t>((shape.bays_x + 1) * (shape.bays_y + 1) * (shape.storeys + 1));
  const Member& left = model.member_sets[0].members.back();  // a column up to the roof
  Node a = left.end_node;
  Node b = a;
  for (const Member& column : model.member_sets[0].members) {
    if (column.end_node.z == a.z && column.end_node.y == a.y && column.end_node.x == a.x - 6.0)
      b = column.end_node;
  }
  ASSERT_NE(a.id, b.id);
  Node hung;
  hung.id = nodes + 1;
  hung.x = a.x - 3.0;
  hung.y = a.y;
  hung.z = a.z + 3.0;
  std::uint32_t id = 100000;
  for (const Node& end : {a, b}) {
    Member brace;
    brace.id = id++;
    brace.start_node = end;
    brace.end_node = hung;
    brace.section = 3;
    brace.member_type = MemberType::Truss;
    model.member_sets[2].members.push_back(brace);
  }
  const auto found = find_mechanisms(model);
  ASSERT_TRUE(found.has_value()) << found.error();
  ASSERT_FALSE(found->empty());
  bool along_y = false;
  for (const Mechanism& m : *found) {
    EXPECT_EQ(m.node, hung.id) << mechanism_message(m);
    if (!m.rotation && mechanism_message(m) == format_message("Mechanism: node {} moves along (0.000, 1.000, "
                                                              "0.000) without resistance",
                                                              hung.id))
      along_y = true;
  }
  EXPECT_TRUE(along_y);
}

// 1,200 unknowns and 3,456 (a system the analysis factors by Cholesky).
INSTANTIATE_TEST_SUITE_P(Buildings, LargeMechanisms,
                         ::testing::Values(test_support::BuildingOptions{8, 4, 4},
                                           test_support::BuildingOptions{16, 5, 5}));

}  // namespace
}  // namespace velk
