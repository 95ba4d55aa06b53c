// The second-order answer is the equilibrium K(u) u = F itself: the fixed
// point of a plain iteration, the same for a load case and for the same
// load as a combination of factor 1, and closer to the limit as the
// tolerance is tightened.

#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <cctype>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "solvers/linear_solver.hpp"
#include "solvers/second_order_solver.hpp"
#include "solvers/solve_context.hpp"
#include "solvers/solver_entries.hpp"
#include "support/frame_models.hpp"
#include "support/model_parts.hpp"
#include "system/load_assembler.hpp"

namespace velk {
namespace {

using test_support::fixed_support;
using test_support::make_member;
using test_support::make_node;
using test_support::point_load;

constexpr std::uint32_t kApex = 1;
constexpr std::uint32_t kLimit = 20;

// Four slender legs from the fixed corners (+-1.2, +-0.9, 0) m to the apex
// at 1 m height, loaded at the apex by (100, -200, -100) N: rods of A =
// 36 mm^2, I = 492 mm^4, J = 1000 mm^4, E = 200 GPa, G = 79.3 GPa.
VELK pyramid(double tolerance) {
  VELK model;
  Material material = test_support::steel(1, 2e11);
  material.g_mod = 7.93e10;
  model.materials.push_back(material);
  Section rod;
  rod.id = 1;
  rod.material = 1;
  rod.area = 36e-6;
  rod.i_y = 492e-12;
  rod.i_z = 492e-12;
  rod.j = 1000e-12;
  model.sections.push_back(rod);
  model.nodal_supports.push_back(fixed_support(1));
  MemberSet legs;
  legs.id = 1;
  const Node apex = make_node(kApex, 0.0, 0.0, 1.0);
  const double corners[4][2] = {{1.2, 0.9}, {-1.2, 0.9}, {-1.2, -0.9}, {1.2, -0.9}};
  for (std::uint32_t k = 0; k < 4; ++k) {
    legs.members.push_back(make_member(k + 1, make_node(k + 2, corners[k][0], corners[k][1], 0.0, 1), apex));
  }
  model.member_sets.push_back(legs);
  model.load_cases.push_back(test_support::load_case(
      1, "LC1",
      {point_load(kApex, 1, 100.0, {1, 0, 0}), point_load(kApex, 1, 200.0, {0, -1, 0}),
       point_load(kApex, 1, 100.0, {0, 0, -1})}));
  model.settings.analysis_options.order = AnalysisOrder::Nonlinear;
  model.settings.analysis_options.tolerance = tolerance;
  return model;
}

// The column of 4 m in eight members at `ratio` of its Euler load
// pi^2 E I / (2 L)^2, with a lateral tip load of 1 kN.
VELK compressed_column(double ratio) {
  VELK model = test_support::column_model(8, 4.0);
  const double euler = std::numbers::pi * std::numbers::pi * test_support::kE * test_support::kColumnI / 64.0;
  model.load_cases.push_back(test_support::load_case(
      1, "LC1", {point_load(9, 1, ratio * euler, {0, 0, -1}), point_load(9, 1, 1e3, {1, 0, 0})}));
  model.settings.analysis_options.order = AnalysisOrder::Nonlinear;
  model.settings.analysis_options.tolerance = 1e-6;
  return model;
}

// u = K(u)^-1 F by plain substitution, each system solved dense, until the
// change is 1e-12 of u: the equilibrium the Newton passes must find.
Eigen::VectorXd fixed_point(const VELK& model) {
  SolveContext context(model);
  const ConstraintTransform& t = **context.transform();
  ReducedStiffness& k = **context.reduced_stiffness();
  const ActiveMap active = initial_active_map(model);
  const Eigen::VectorXd f = assemble_load_vector(model, 1);
  Eigen::VectorXd u = Eigen::VectorXd::Zero(t.full_size);
  Eigen::VectorXd f_reduced;
  for (int i = 0; i < 200; ++i) {
    EXPECT_TRUE(k.assemble(active, &u).has_value());
    k.reduce_load(f, f_reduced);
    k.apply_restraints(f_reduced);
    const Eigen::VectorXd q = Eigen::MatrixXd(k.matrix()).partialPivLu().solve(f_reduced);
    Eigen::VectorXd next;
    expand_solution(t, q, next);
    const double change = (next - u).norm();
    u = next;
    if (change <= 1e-12 * u.norm()) return u;
  }
  ADD_FAILURE() << "the substitution did not settle";
  return u;
}

Eigen::VectorXd node_vector(const Results& results) {
  Eigen::VectorXd v(6 * static_cast<Eigen::Index>(results.displacement_nodes.size()));
  Eigen::Index i = 0;
  for (const auto& [node, d] : results.displacement_nodes) {
    for (const double value : {d.dx, d.dy, d.dz, d.rx, d.ry, d.rz}) v(i++) = value;
  }
  return v;
}

double apex_rx(const Results& results) { return results.displacement_nodes.at(kApex).rx; }

struct Solved {
  Results results;
  SecondOrderTrace trace;
};

Solved solve_case(VELK model) {
  SolveContext context(model);
  Solved solved;
  auto results =
      second_order_solve(model, context, assemble_load_vector(model, 1), "LC1", ResultType::load_case(1),
                         kLimit, std::nullopt, std::nullopt, &solved.trace);
  EXPECT_TRUE(results.has_value()) << results.error();
  if (results) solved.results = *results;
  return solved;
}

TEST(SecondOrderConvergence, PyramidReachesTheFixedPointAndTighterToleranceComesCloser) {
  const Eigen::VectorXd u_star = fixed_point(pyramid(1e-6));
  const double rx_star = u_star(3);  // RX of the apex, node 1
  VELK linear = pyramid(1e-6);
  const double rx_linear = solve_load_case_linear(linear, 1)->displacement_nodes.at(kApex).rx;
  const double increment = rx_star - rx_linear;
  ASSERT_GT(increment, 0.03 * rx_linear);  // a second-order effect of a few per cent

  const Solved loose = solve_case(pyramid(1e-6));
  const Solved tight = solve_case(pyramid(1e-10));
  const double loose_error = std::abs(apex_rx(loose.results) - rx_star);
  const double tight_error = std::abs(apex_rx(tight.results) - rx_star);
  EXPECT_LT(loose_error, 1e-3 * increment);
  EXPECT_LT(tight_error, 1e-7 * increment);
  EXPECT_LE(tight_error, loose_error);
  // Converging further costs iterations, a few per step.
  EXPECT_GT(tight.trace.newton_iterations, loose.trace.newton_iterations);
  EXPECT_LE(tight.trace.newton_iterations, 10 * tight.trace.load_steps);
  EXPECT_EQ(tight.trace.refinements, 0u);
}

// Rounding keeps the residual of a tolerance tighter than a double can hold
// above it; the passes still end once q stops moving.
TEST(SecondOrderConvergence, ToleranceBelowRoundingEndsWhenTheStateStopsMoving) {
  const Eigen::VectorXd u_star = fixed_point(pyramid(1e-6));
  const Solved solved = solve_case(pyramid(1e-30));
  EXPECT_EQ(solved.trace.refinements, 0u);
  EXPECT_NEAR(apex_rx(solved.results), u_star(3), 1e-10 * std::abs(u_star(3)));
}

// A load case and the same load as a combination of factor 1 (stepped in
// eight steps instead of four, warm-started from the case or from its own
// first-order start) reach the same state, to a small share of what the
// second order adds.
class CaseAgainstCombination : public testing::TestWithParam<std::string> {};

VELK model_named(const std::string& name) {
  if (name == "pyramid") return pyramid(1e-6);
  if (name == "column at 30 %") return compressed_column(0.3);
  if (name == "column at 70 %") return compressed_column(0.7);
  VELK model = name == "plane frame" ? test_support::plane_frame_model() : test_support::frame_model();
  model.settings.analysis_options.order = AnalysisOrder::Nonlinear;
  return model;
}

TEST_P(CaseAgainstCombination, SameEquilibriumHoweverTheLoadIsStepped) {
  VELK model = model_named(GetParam());
  model.load_combinations.clear();
  std::vector<std::uint32_t> case_ids;
  for (const LoadCase& lc : model.load_cases) case_ids.push_back(lc.id);
  for (const std::uint32_t id : case_ids) {
    SCOPED_TRACE(id);
    LoadCombination alone;
    alone.id = 1000 + id;
    alone.name = "alone " + std::to_string(id);
    alone.load_cases_factors = {{id, 1.0}};
    model.load_combinations.push_back(alone);

    VELK cold = model;  // no stored case: the combination starts from its own first-order solve
    auto first = solve_load_case_linear(cold, id);
    ASSERT_TRUE(first.has_value()) << first.error();
    cold.results.reset();
    auto combined_cold = solve_combination_second_order(cold, alone.id, kLimit);
    ASSERT_TRUE(combined_cold.has_value()) << combined_cold.error();

    auto as_case = solve_load_case_second_order(model, id, kLimit);
    ASSERT_TRUE(as_case.has_value()) << as_case.error();
    auto combined = solve_combination_second_order(model, alone.id, kLimit);  // warm start from the case
    ASSERT_TRUE(combined.has_value()) << combined.error();

    const Eigen::VectorXd u_case = node_vector(*as_case);
    const double second_order_share = (u_case - node_vector(*first)).norm();
    EXPECT_LT((node_vector(*combined) - u_case).norm(), 1e-3 * second_order_share + 1e-12 * u_case.norm());
    EXPECT_LT((node_vector(*combined_cold) - u_case).norm(),
              1e-3 * second_order_share + 1e-12 * u_case.norm());
  }
}

INSTANTIATE_TEST_SUITE_P(SecondOrderModels, CaseAgainstCombination,
                         testing::Values("pyramid", "column at 30 %", "column at 70 %", "plane frame",
                                         "space frame"),
                         [](const testing::TestParamInfo<std::string>& info) {
                           std::string name;
                           for (const char c : info.param)
                             name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

}  // namespace
}  // namespace velk
