// Load stepping, refinement, warm starts and the active set of the
// second-order solver.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "solvers/combinations.hpp"
#include "solvers/second_order_solver.hpp"
#include "solvers/solve_context.hpp"
#include "solvers/solver_entries.hpp"
#include "support/log_capture.hpp"
#include "support/model_parts.hpp"
#include "system/load_assembler.hpp"

namespace velk {
namespace {

using test_support::column_model;
using test_support::load_case;
using test_support::LogCapture;
using test_support::point_load;

constexpr std::uint32_t kTip = 9;

// The 8-member column of 4 m, optionally compressed, with a lateral tip load.
VELK loaded_column(double compression, double lateral) {
  VELK model = column_model(8, 4.0);
  std::vector<NodalLoad> loads{point_load(kTip, 1, lateral, {1, 0, 0})};
  if (compression != 0.0) loads.push_back(point_load(kTip, 1, compression, {0, 0, -1}));
  model.load_cases.push_back(load_case(1, "LC1", std::move(loads)));
  return model;
}

LoadCombination combination_of(std::uint32_t id, std::map<std::uint32_t, double> factors) {
  LoadCombination combination;
  combination.id = id;
  combination.name = "CO" + std::to_string(id);
  combination.load_cases_factors = std::move(factors);
  return combination;
}

// The norm of all node displacements of a results record.
double displacement_norm(const Results& results) {
  double sum = 0.0;
  for (const auto& [node, d] : results.displacement_nodes) {
    sum += d.dx * d.dx + d.dy * d.dy + d.dz * d.dz + d.rx * d.rx + d.ry * d.ry + d.rz * d.rz;
  }
  return std::sqrt(sum);
}

TEST(SecondOrderStepping, ZeroLoadConvergesInTheFirstIterationOfEveryStep) {
  VELK model = column_model(8, 4.0);
  model.load_cases.push_back(load_case(1, "Empty"));
  model.load_combinations.push_back(combination_of(1, {}));
  model.settings.analysis_options.tolerance = 0.0;  // the residual bound is still 1e-6

  SolveContext context(model);
  SecondOrderTrace trace;
  auto results = second_order_solve(model, context, assemble_load_vector(model, 1), "Empty",
                                    ResultType::load_case(1), 20, std::nullopt, std::nullopt, &trace);
  ASSERT_TRUE(results.has_value()) << results.error();
  EXPECT_EQ(trace.load_steps, 4u);
  EXPECT_EQ(trace.newton_iterations, 4u);
  EXPECT_EQ(trace.refinements, 0u);
  EXPECT_TRUE(trace.predictor_ran);
  EXPECT_EQ(displacement_norm(*results), 0.0);

  // A combination steps eight times; its empty warm start skips the predictor.
  const std::optional<Eigen::VectorXd> start = warm_start(model, 1);
  ASSERT_TRUE(start.has_value());
  results = second_order_solve(model, context, *combined_load_vector(model, 1), "CO1",
                               ResultType::combination(1), 20, start, std::nullopt, &trace);
  ASSERT_TRUE(results.has_value()) << results.error();
  EXPECT_EQ(trace.load_steps, 8u);
  EXPECT_EQ(trace.newton_iterations, 8u);
  EXPECT_FALSE(trace.predictor_ran);
}

// Once the tangent changes little between iterations and steps, its
// factors serve again: fewer factorisations than Newton directions, and the
// same state as factoring every tangent (the tip deflection of the
// compressed column to 1e-8).
TEST(SecondOrderNewton, TangentThatChangedLittleIsSolvedWithTheFactorsItHad) {
  VELK model = loaded_column(2e5, 1e3);
  SolveContext context(model);
  SecondOrderTrace trace;
  auto results = second_order_solve(model, context, assemble_load_vector(model, 1), "LC1",
                                    ResultType::load_case(1), 20, std::nullopt, std::nullopt, &trace);
  ASSERT_TRUE(results.has_value()) << results.error();
  EXPECT_EQ(trace.refinements, 0u);
  // Every iteration but those that converge on the residual alone solves for a direction.
  EXPECT_GT(trace.tangent_factorizations, 0u);
  EXPECT_LT(trace.tangent_factorizations, trace.newton_iterations - trace.load_steps);
  // Factoring every tangent gave this tip deflection.
  const double factored_every_time = 0.0042524546410384967;
  EXPECT_NEAR(results->displacement_nodes.at(kTip).dx, factored_every_time, 1e-8 * factored_every_time);
}

TEST(SecondOrderStepping, NewtonLimitDoublesTheStepsFourTimesThenFails) {
  // One Newton iteration cannot settle the first step from the predictor.
  {
    VELK model = loaded_column(2e5, 1e3);
    LogCapture log(log::Level::Debug);
    auto results = solve_load_case_second_order(model, 1, 1);
    ASSERT_FALSE(results.has_value());
    EXPECT_EQ(results.error(), "Second-order: step 1/64 did not converge and max substepping reached");
    EXPECT_EQ(
        log.containing("refining substeps"),
        (std::vector<std::string>{
            "  step 1/4 failed ⇒ refining substeps to 8", "  step 1/8 failed ⇒ refining substeps to 16",
            "  step 1/16 failed ⇒ refining substeps to 32", "  step 1/32 failed ⇒ refining substeps to 64"}));
    EXPECT_FALSE(model.results.has_value() && model.results->loadcases.contains("LC1"));
  }
  // A combination starts from eight steps. Without a stored load case it
  // runs the predictor and fails the same way.
  {
    VELK model = loaded_column(2e5, 1e3);
    model.load_combinations.push_back(combination_of(4, {{1, 1.5}}));
    LogCapture log(log::Level::Debug);
    auto results = solve_combination_second_order(model, 4, 1);
    ASSERT_FALSE(results.has_value());
    EXPECT_EQ(results.error(), "Second-order: step 1/128 did not converge and max substepping reached");
    EXPECT_EQ(log.containing("refining substeps"),
              (std::vector<std::string>{"  step 1/8 failed ⇒ refining substeps to 16",
                                        "  step 1/16 failed ⇒ refining substeps to 32",
                                        "  step 1/32 failed ⇒ refining substeps to 64",
                                        "  step 1/64 failed ⇒ refining substeps to 128"}));
  }
}

TEST(SecondOrderStepping, WarmStartedCombinationSkipsThePredictor) {
  VELK model = loaded_column(3e5, 1e3);
  model.load_combinations.push_back(combination_of(1, {{1, 1.0}}));
  model.load_combinations.push_back(combination_of(2, {{1, 1.0}, {7, 2.0}}));  // case 7 does not exist

  // Before the load case is stored, nothing warms the combination up.
  ASSERT_FALSE(warm_start(model, 1).has_value());
  SecondOrderTrace cold;
  const Eigen::VectorXd f = *combined_load_vector(model, 1);
  SolveContext context(model);
  auto cold_results = second_order_solve(model, context, f, "CO1", ResultType::combination(1), 20,
                                         std::nullopt, std::nullopt, &cold);
  ASSERT_TRUE(cold_results.has_value()) << cold_results.error();
  EXPECT_TRUE(cold.predictor_ran);
  EXPECT_EQ(cold.load_steps, 8u);
  model.results->loadcombinations.clear();

  auto lc = solve_load_case_second_order(model, 1, 20);
  ASSERT_TRUE(lc.has_value()) << lc.error();
  const std::optional<Eigen::VectorXd> start = warm_start(model, 1);
  ASSERT_TRUE(start.has_value());
  SecondOrderTrace warm;
  auto warm_results = second_order_solve(model, context, f, "CO1", ResultType::combination(1), 20, start,
                                         initial_activity(model, *start), &warm);
  ASSERT_TRUE(warm_results.has_value()) << warm_results.error();
  EXPECT_FALSE(warm.predictor_ran);
  EXPECT_EQ(warm.load_steps, 8u);
  // Both starts reach the equilibrium of the load case (to the increment
  // bound of the Newton passes).
  const double tip = lc->displacement_nodes.at(kTip).dx;
  EXPECT_NEAR(warm_results->displacement_nodes.at(kTip).dx, tip, 1e-4 * tip);
  EXPECT_NEAR(cold_results->displacement_nodes.at(kTip).dx, tip, 1e-4 * tip);

  // The entries: a combination naming a missing case runs cold, and an
  // unknown id is reported.
  auto entry = solve_combination_second_order(model, 2, 20);
  ASSERT_TRUE(entry.has_value()) << entry.error();
  EXPECT_NEAR(entry->displacement_nodes.at(kTip).dx, tip, 1e-4 * tip);
  EXPECT_EQ(solve_combination_second_order(model, 3, 20).error(), "LoadCombination 3 not found.");
  EXPECT_EQ(solve_load_case_second_order(model, 3, 20).error(), "LoadCase 3 not found.");
}

// Two collinear truss members between fixed ends: nothing holds the middle
// node across the line, so every tangent has exactly zero rows there.
TEST(SecondOrderNewton, SingularTangentIsDampedInsteadOfFailing) {
  using test_support::make_member;
  using test_support::make_node;
  VELK model = test_support::model_with(
      {make_member(1, make_node(1, 0, 0, 0, 1), make_node(2, 1, 0, 0), MemberType::Truss),
       make_member(2, make_node(2, 1, 0, 0), make_node(3, 2, 0, 0, 1), MemberType::Truss)});
  model.nodal_supports.push_back(test_support::fixed_support(1));
  model.settings.analysis_options.tolerance = 1e-9;
  constexpr double p = 1e5;
  model.load_cases.push_back(load_case(1, "LC1", {point_load(2, 1, p, {1, 0, 0})}));
  model.load_combinations.push_back(combination_of(1, {{1, 1.0}}));

  // The first-order start of a load case meets the zero pivot.
  EXPECT_EQ(solve_load_case_second_order(model, 1, 20).error(),
            "Reduced stiffness matrix is singular in predictor.");

  // Warm-started from a carried result, the combination has no predictor;
  // its Newton iterations shift the diagonal and find the axial answer.
  Results carried;
  carried.name = "LC1";
  model.results.emplace();
  model.results->loadcases.emplace("LC1", carried);
  auto results = solve_combination_second_order(model, 1, 20);
  ASSERT_TRUE(results.has_value()) << results.error();
  const double expected = p * 1.0 / (2.0 * test_support::kE * test_support::kA);
  EXPECT_NEAR(results->displacement_nodes.at(2).dx, expected, 1e-6 * expected);
  EXPECT_EQ(results->displacement_nodes.at(2).dy, 0.0);
  EXPECT_NEAR(results->reaction_nodes.at(1).nodal_forces.fx + results->reaction_nodes.at(3).nodal_forces.fx,
              -p, 1e-6 * p);
}

// A column braced at its top by a horizontal tie; the combination starts
// from a carried result that squeezes the column far beyond its buckling
// load. The first Newton step, taken with that state's geometric stiffness,
// throws the top the wrong way and compresses the tie, which is switched off
// (no reactivation inside Newton); once the pass has converged with the tie
// stretched again, the post-convergence pass switches it back on and the
// step is repeated.
TEST(SecondOrderActiveSet, SlackTieComesBackOnlyAfterTheNewtonPassConverged) {
  using test_support::make_member;
  using test_support::make_node;
  VELK model = test_support::model_with(
      {make_member(1, make_node(1, 0, 0, 0, 1), make_node(2, 0, 0, 4)),
       make_member(2, make_node(2, 0, 0, 4), make_node(3, -2, 0, 4, 1), MemberType::Tension, 2)});
  model.sections[0].i_y = model.sections[0].i_z = test_support::kColumnI;
  Section tie = test_support::beam_section(2);
  tie.area = 2.9e-6;
  model.sections.push_back(tie);
  model.nodal_supports.push_back(test_support::fixed_support(1));
  model.settings.analysis_options.tolerance = 1e-9;
  model.settings.analysis_options.axial_slack = 1.0;
  model.load_cases.push_back(
      load_case(1, "LC1", {point_load(2, 1, 1e5, {0, 0, -1}), point_load(2, 1, 1e4, {1, 0, 0})}));
  model.load_combinations.push_back(combination_of(1, {{1, 1.0}}));
  Results carried;
  carried.name = "LC1";
  carried.displacement_nodes[2] = NodeDisplacement{1e-3, 0.0, -0.04, 0.0, 0.0, 0.0};
  model.results.emplace();
  model.results->loadcases.emplace("LC1", carried);

  LogCapture log(log::Level::Debug);
  auto results = solve_combination_second_order(model, 1, 20);
  ASSERT_TRUE(results.has_value()) << results.error();

  const auto decisions = log.containing(R"("type":"ActiveDecision")");
  ASSERT_EQ(decisions.size(), 2u);
  EXPECT_NE(decisions[0].find(R"("now_active":false,"reason":"n < -tol → OFF","tol":0.5,)"
                              R"("reactivation_buffer":null})"),
            std::string::npos)
      << decisions[0];
  EXPECT_NE(decisions[1].find(R"("now_active":true,"reason":"n ≥ reactivate_buffer → ON","tol":0.5,)"
                              R"("reactivation_buffer":5.0})"),
            std::string::npos)
      << decisions[1];
  const auto at = [&](const std::string& line) {
    return std::find(log.lines.begin(), log.lines.end(), line) - log.lines.begin();
  };
  ASSERT_EQ(log.containing("post-convergence reactivation").size(), 1u);
  EXPECT_EQ(at("  post-convergence reactivation → repeating current substep"), at(decisions[1]) + 2)
      << "the summary of the post-convergence decision comes between";

  // The tie ends active and in tension, sharing the lateral load.
  const MemberResult& tie_result = results->member_results.at(2);
  EXPECT_GT(tie_result.start_node_forces.fx, 0.0);
  EXPECT_GT(results->displacement_nodes.at(2).dx, 0.0);
  EXPECT_LT(results->displacement_nodes.at(2).dx,
            1e4 / (3.0 * test_support::kE * test_support::kColumnI / 64.0));
}

}  // namespace
}  // namespace velk
