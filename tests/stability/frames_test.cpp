// Frames against closed forms: sway portals with pinned and fixed bases
// against the characteristic equations of the slope-deflection method, a
// column under its own weight against Greenhill, and the engine's own
// second-order analysis against the amplification 1 / (1 - 1 / alpha_cr).

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>

#include "stability/stability_models.hpp"

namespace velk {
namespace {

using namespace test_support;

// The root of g between a and b, where g changes sign, by bisection.
double root(const std::function<double(double)>& g, double a, double b) {
  for (int i = 0; i < 200; ++i) {
    const double m = 0.5 * (a + b);
    if ((g(a) < 0.0) == (g(m) < 0.0)) {
      a = m;
    } else {
      b = m;
    }
  }
  return 0.5 * (a + b);
}

constexpr double portal_height = 4.0;
constexpr double portal_span = 6.0;
constexpr double portal_load = 2e5;

// P_cr of each column of a sway portal: u = h sqrt(P / E I_c) solves, with
// the beam restraining each column top by 6 E I_b / span in the sway mode,
//   fixed bases:  tan u = -u (I_c span) / (6 I_b h),  pi/2 < u < pi;
//   pinned bases: u tan u = 6 I_b h / (I_c span),      0 < u < pi/2.
double portal_critical_load(bool fixed_bases) {
  const double h = portal_height;
  double u = 0.0;
  if (fixed_bases) {
    const double c = portal_column_i * portal_span / (6.0 * portal_beam_i * h);
    u = root([c](double x) { return std::sin(x) + c * x * std::cos(x); }, std::numbers::pi / 2,
             std::numbers::pi);
  } else {
    const double rho = 6.0 * portal_beam_i * h / (portal_column_i * portal_span);
    u = root([rho](double x) { return x * std::sin(x) - rho * std::cos(x); }, 0.0, std::numbers::pi / 2);
  }
  return u * u * steel_e * portal_column_i / (h * h);
}

class SwayPortal : public ::testing::TestWithParam<bool> {};

TEST_P(SwayPortal, FirstFactorIsTheSlopeDeflectionRoot) {
  const bool fixed_bases = GetParam();
  const PortalModel portal = portal_frame(portal_height, portal_span, 8, fixed_bases, portal_load);
  const StabilityAnalysis analysis = stability_of(portal.builder.model, 2);
  ASSERT_EQ(analysis.loadcases.size(), 1u);
  const CaseStability& result = analysis.loadcases[0];
  ASSERT_FALSE(result.critical_factors.empty());
  EXPECT_NEAR(result.critical_factors[0] * portal_load / portal_critical_load(fixed_bases), 1.0, 1e-4);

  // A sway mode: both tops move the same way by the same amount.
  const BucklingMode& mode = result.modes[0];
  EXPECT_NEAR(mode.shape.at(portal.left_top).dx, mode.shape.at(portal.right_top).dx, 1e-6);
  EXPECT_NEAR(std::abs(mode.shape.at(portal.left_top).dx), 1.0, 1e-3);
  // The columns carry the mode's compression; the beam carries none and
  // gets no buckling length, but shares the bending energy.
  double beam_share = 0.0;
  for (const MemberBuckling& m : mode.members) {
    const bool beam = m.member > 16;
    if (beam) {
      beam_share += m.energy_share;
      EXPECT_FALSE(m.critical_force.has_value()) << m.member;
      EXPECT_FALSE(m.bending_axis.has_value()) << m.member;
    } else {
      EXPECT_NEAR(m.axial_force, -portal_load, 1e-6 * portal_load) << m.member;
      ASSERT_TRUE(m.critical_force.has_value()) << m.member;
      EXPECT_NEAR(*m.critical_force / portal_critical_load(fixed_bases), 1.0, 1e-4);
    }
  }
  EXPECT_GT(beam_share, 0.05);
  EXPECT_LT(beam_share, 0.95);
}

INSTANTIATE_TEST_SUITE_P(Stability, SwayPortal, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "fixed_bases" : "pinned_bases");
                         });

TEST(Greenhill, ColumnUnderItsOwnWeightBucklesAtQLCubedOf7837EI) {
  constexpr int members = 40;
  constexpr double length = 8.0;
  constexpr double q = 2e3;  // N/m along the column, downwards
  ColumnModel column = euler_column({0, 0, 1}, members, length, ColumnEnds::FixedFree);
  LoadCase& weight = column.builder.model.load_cases[0];
  weight.nodal_loads.clear();
  for (std::uint32_t m = 1; m <= members; ++m) FrameBuilder::line_load(weight, m, q, q, {0, 0, -1});
  const StabilityAnalysis analysis = stability_of(column.builder.model, 1);
  ASSERT_EQ(analysis.loadcases.size(), 1u);
  ASSERT_FALSE(analysis.loadcases[0].critical_factors.empty());
  // q_cr L^3 = 7.8373 E I
  const double q_cr = 7.8373 * steel_e * column_i_y / std::pow(length, 3);
  EXPECT_NEAR(analysis.loadcases[0].critical_factors[0] * q / q_cr, 1.0, 2e-3);
  // The bottom member carries nearly the whole weight, the top one little.
  const BucklingMode& mode = analysis.loadcases[0].modes[0];
  EXPECT_NEAR(mode.members.front().axial_force, -q * length * (1.0 - 0.5 / members), 1e-6 * q * length);
  EXPECT_NEAR(mode.members.back().axial_force, -q * length * 0.5 / members, 1e-6 * q * length);
}

// A fixed-base portal under vertical loads at a fraction f of its critical
// load and a small sway load: the second-order sway is the first-order one
// amplified by about 1 / (1 - f); beyond the critical load the second-order
// solve finds no equilibrium that sways with the load.
class SecondOrderConsistency : public ::testing::TestWithParam<double> {};

TEST_P(SecondOrderConsistency, SwayAmplification) {
  const double f = GetParam();
  constexpr double sway = 1e3;
  const double p_cr = portal_critical_load(true);
  PortalModel portal = portal_frame(portal_height, portal_span, 8, true, f * p_cr, sway);
  LoadCombination both;
  both.id = 1;
  both.name = "vertical and sway";
  both.load_cases_factors = {{1, 1.0}, {2, 1.0}};
  portal.builder.model.load_combinations.push_back(both);

  const StabilityAnalysis analysis = stability_of(portal.builder.model, 1);
  ASSERT_EQ(analysis.loadcombinations.size(), 1u);
  const double alpha = analysis.loadcombinations[0].critical_factors.at(0);
  EXPECT_NEAR(alpha * f, 1.0, 1e-3);  // the sway load changes the columns' forces a little

  const VELK first = portal.builder.analyse();
  expect_equilibrium(first);
  const double u1 = first.results->loadcombinations.at(both.name).displacement_nodes.at(portal.left_top).dx;
  ASSERT_GT(u1, 0.0);

  portal.builder.model.settings.analysis_options.order = AnalysisOrder::Nonlinear;
  const auto second = calculate_from_json(portal.builder.text());
  if (f < 1.0) {
    ASSERT_TRUE(second.has_value()) << second.error();
    const VELK read = *read_velk(*second);
    const double u2 = read.results->loadcombinations.at(both.name).displacement_nodes.at(portal.left_top).dx;
    EXPECT_NEAR((u2 / u1) * (1.0 - 1.0 / alpha), 1.0, 0.03) << "amplification " << u2 / u1;
  } else if (second) {
    const VELK read = *read_velk(*second);
    const double u2 = read.results->loadcombinations.at(both.name).displacement_nodes.at(portal.left_top).dx;
    EXPECT_LT(u2, 0.0) << "a stable answer beyond the critical load";
  }
}

INSTANTIATE_TEST_SUITE_P(Stability, SecondOrderConsistency, ::testing::Values(0.2, 0.5, 0.7, 1.25),
                         [](const ::testing::TestParamInfo<double>& info) {
                           return "f_" + std::to_string(static_cast<int>(info.param * 100));
                         });

}  // namespace
}  // namespace velk
