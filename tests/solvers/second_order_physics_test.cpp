// Second-order results against closed-form solutions of columns and frames.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "solvers/solver_entries.hpp"
#include "support/model_parts.hpp"

namespace velk {
namespace {

using test_support::column_model;
using test_support::kColumnI;
using test_support::kE;
using test_support::load_case;
using test_support::point_load;

constexpr double kLength = 4.0;
constexpr int kMembers = 8;
constexpr double kLateral = 1e3;
const double kEI = kE * kColumnI;
const double kColumnBuckling = std::numbers::pi * std::numbers::pi * kEI / (4.0 * kLength * kLength);

// The column under an axial load (compression positive) and the lateral tip
// load H along X.
VELK loaded_column(double compression) {
  VELK model = column_model(kMembers, kLength);
  const std::uint32_t tip = kMembers + 1;
  model.load_cases.push_back(load_case(
      1, "LC1", {point_load(tip, 1, compression, {0, 0, -1}), point_load(tip, 1, kLateral, {1, 0, 0})}));
  return model;
}

Results solved(VELK model, bool second_order) {
  auto results = second_order ? solve_load_case_second_order(model, 1, 20) : solve_load_case_linear(model, 1);
  EXPECT_TRUE(results.has_value()) << results.error();
  return results ? *results : Results{};
}

TEST(SecondOrderColumn, TipDeflectionAndBaseMomentMatchTheClosedForm) {
  for (const double ratio : {0.1, 0.2, 0.4, 0.6}) {
    SCOPED_TRACE(ratio);
    const double p = ratio * kColumnBuckling;
    const double k = std::sqrt(p / kEI);
    const double kl = k * kLength;
    const Results results = solved(loaded_column(p), true);

    const double expected = kLateral * (std::tan(kl) - kl) / (k * p);
    const double tip = results.displacement_nodes.at(kMembers + 1).dx;
    EXPECT_NEAR(tip, expected, 0.01 * expected);

    // The base moment carries the P-Delta share: H L tan(kL) / (kL).
    const ReactionNodeResult& base = results.reaction_nodes.at(1);
    const double base_moment = kLateral * kLength * std::tan(kl) / kl;
    EXPECT_NEAR(std::abs(base.nodal_forces.my), base_moment, 0.01 * base_moment);
    EXPECT_NEAR(std::abs(results.member_results.at(1).start_node_forces.my), base_moment, 0.01 * base_moment);
    // The reactions balance the loads in force.
    EXPECT_NEAR(base.nodal_forces.fx, -kLateral, 1e-6 * p);
    EXPECT_NEAR(base.nodal_forces.fz, p, 1e-6 * p);
    EXPECT_NEAR(base.nodal_forces.fy, 0.0, 1e-6 * p);
  }
}

TEST(SecondOrderColumn, TensionStiffensAndZeroAxialLoadIsFirstOrder) {
  const double first_order = kLateral * std::pow(kLength, 3) / (3.0 * kEI);

  // Without axial load the second-order solve is the first-order one.
  const Results linear = solved(loaded_column(0.0), false);
  const Results unloaded = solved(loaded_column(0.0), true);
  EXPECT_NEAR(linear.displacement_nodes.at(kMembers + 1).dx, first_order, 1e-9 * first_order);
  EXPECT_NEAR(unloaded.displacement_nodes.at(kMembers + 1).dx, first_order, 1e-9 * first_order);
  EXPECT_NEAR(unloaded.reaction_nodes.at(1).nodal_forces.my, linear.reaction_nodes.at(1).nodal_forces.my,
              1e-9 * kLateral * kLength);

  // A tensile force T straightens the column: H (kL - tanh kL) / (k T).
  const double t = 0.4 * kColumnBuckling;
  const double k = std::sqrt(t / kEI);
  const double kl = k * kLength;
  const Results pulled = solved(loaded_column(-t), true);
  const double tip = pulled.displacement_nodes.at(kMembers + 1).dx;
  const double expected = kLateral * (kl - std::tanh(kl)) / (k * t);
  EXPECT_LT(tip, first_order);
  EXPECT_NEAR(tip, expected, 0.01 * expected);
}

// Two columns of height h, fixed at their feet, joined by a beam so stiff
// that the column tops cannot turn; gravity V on each top and a sway load H.
TEST(SecondOrderFrame, PortalSwayIsAmplifiedByTheGravityLoad) {
  constexpr double h = 3.0;
  constexpr double span = 5.0;
  using test_support::make_member;
  using test_support::make_node;
  VELK model = test_support::model_with(
      {make_member(1, make_node(1, 0, 0, 0, 1), make_node(2, 0, 0, h)),
       make_member(2, make_node(2, 0, 0, h), make_node(3, span, 0, h), MemberType::Normal, 2),
       make_member(3, make_node(4, span, 0, 0, 1), make_node(3, span, 0, h))});
  model.sections[0].i_y = kColumnI;
  model.sections[0].i_z = kColumnI;
  Section beam = test_support::beam_section(2);
  beam.i_y = beam.i_z = 1e4 * kColumnI;
  beam.area = 100.0;
  model.sections.push_back(beam);
  model.nodal_supports.push_back(test_support::fixed_support(1));
  model.settings.analysis_options.tolerance = 1e-9;

  // A fixed-guided column buckles in sway at pi^2 EI / h^2.
  const double v = 0.3 * std::numbers::pi * std::numbers::pi * kEI / (h * h);
  const double sway = 1e3;
  model.load_cases.push_back(load_case(
      1, "Sway",
      {point_load(2, 1, v, {0, 0, -1}), point_load(3, 1, v, {0, 0, -1}), point_load(2, 1, sway, {1, 0, 0})}));

  const Results linear = solved(model, false);
  const Results second = solved(model, true);
  const double first_order = linear.displacement_nodes.at(2).dx;
  const double second_order = second.displacement_nodes.at(2).dx;
  EXPECT_NEAR(first_order, (sway / 2.0) * std::pow(h, 3) / (12.0 * kEI), 0.01 * first_order);

  // Each column is two back-to-back cantilevers of h / 2 carrying H / 2.
  const double k = std::sqrt(v / kEI);
  const double half = k * h / 2.0;
  const double expected = sway * (std::tan(half) - half) / (k * v);
  EXPECT_NEAR(second_order, expected, 0.02 * expected);
  EXPECT_GT(second_order / first_order, 1.3);

  // Horizontal and vertical equilibrium of the whole frame.
  const NodeForces& left = second.reaction_nodes.at(1).nodal_forces;
  const NodeForces& right = second.reaction_nodes.at(4).nodal_forces;
  EXPECT_NEAR(left.fx + right.fx, -sway, 1e-6 * v);
  EXPECT_NEAR(left.fz + right.fz, 2.0 * v, 1e-6 * v);
}

}  // namespace
}  // namespace velk
