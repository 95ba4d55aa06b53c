// The rules that tell the active-set iteration of a first-order analysis
// from the one that starts a second-order solve, each setting against the
// other on one generated frame.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/result.hpp"
#include "member/lookup_tables.hpp"
#include "solvers/linear_solver.hpp"
#include "solvers/solve_context.hpp"
#include "support/frame_models.hpp"
#include "support/log_capture.hpp"
#include "system/load_assembler.hpp"

namespace velk {
namespace {

constexpr ActiveSetRules first_order_rules{
    .reactivate = true, .repeat_unchanged_solve = false, .reactivation_pass = true};

struct Iterated {
  SolveResult<void> outcome;
  ActiveMap active;
  Eigen::VectorXd u;
  std::vector<std::string> lines;
  std::size_t factorizations = 0;
};

Iterated iterate(const VELK& model, const ActiveSetRules& rules, ActiveMap active,
                 std::uint32_t load_case = 1) {
  SolveContext context(model);
  const LookupTables tables = build_lookup_tables(model);
  const Eigen::VectorXd f = assemble_load_vector(model, load_case);
  Iterated out;
  out.active = std::move(active);
  test_support::LogCapture log(log::Level::Debug);
  out.outcome = iterate_active_set(model, tables, context, f, rules, out.active, out.u);
  out.lines = log.lines;
  out.factorizations = context.factorizations();
  return out;
}

VELK tension_braced(VELK model) {
  for (Member& brace : model.member_sets[2].members) brace.member_type = MemberType::Tension;
  return model;
}

bool is_summary(const std::string& line) { return line.starts_with(R"({"type":"ActiveMapSummary")"); }

TEST(ActiveSetRules, RepeatingTheUnchangedSolveOnlyReplaysItsRestraintEvents) {
  // No member is switchable, so the first pass changes nothing while u has
  // moved from zero: the next pass only confirms it.
  const VELK model = test_support::frame_model({.members = 40, .rigid_stubs = 2});
  ActiveSetRules repeating = first_order_rules;
  repeating.repeat_unchanged_solve = true;
  const Iterated once = iterate(model, first_order_rules, {});
  const Iterated twice = iterate(model, repeating, {});
  ASSERT_TRUE(once.outcome.has_value()) << once.outcome.error().message;
  ASSERT_TRUE(twice.outcome.has_value()) << twice.outcome.error().message;
  EXPECT_EQ(once.u, twice.u);
  EXPECT_EQ(once.factorizations, 1u);
  EXPECT_EQ(twice.factorizations, 1u);

  const auto first_summary = std::ranges::find_if(once.lines, is_summary);
  const std::vector<std::string> solve_events(once.lines.begin(), first_summary);
  ASSERT_FALSE(solve_events.empty());
  for (const std::string& line : solve_events)
    EXPECT_TRUE(line.starts_with(R"({"type":"Constraint")")) << line;
  const std::string summary =
      R"({"type":"ActiveMapSummary","ties_on":0,"ties_off":0,"struts_on":0,"struts_off":0})";
  // Decision steps of the two passes and of the reactivation pass.
  std::vector<std::string> expected = solve_events;
  expected.insert(expected.end(), {summary, summary, summary});
  EXPECT_EQ(once.lines, expected);
  expected = solve_events;
  expected.push_back(summary);
  expected.insert(expected.end(), solve_events.begin(), solve_events.end());
  expected.insert(expected.end(), {summary, summary});
  EXPECT_EQ(twice.lines, expected);

  VELK limited = model;
  for (const std::uint32_t limit : {1u, 2u}) {
    limited.settings.analysis_options.max_iterations = limit;
    for (const ActiveSetRules& rules : {first_order_rules, repeating}) {
      // One pass cannot confirm its own solution; the second can, solved or not.
      const Iterated out = iterate(limited, rules, {});
      if (limit == 1) {
        ASSERT_FALSE(out.outcome.has_value());
        EXPECT_EQ(out.outcome.error().kind, SolveFailureKind::IterationLimit);
      } else {
        EXPECT_TRUE(out.outcome.has_value());
        EXPECT_EQ(out.u, once.u);
      }
    }
  }
}

TEST(ActiveSetRules, ATieSwitchedOffInTensionComesBackInTheIterationOrInTheReactivationPass) {
  const VELK model = tension_braced(test_support::frame_model({.members = 40, .rigid_stubs = 2}));
  constexpr std::uint32_t wind = 2;
  // Under the wind both ties are in tension; tie 22 starts switched off.
  const ActiveMap seed{{22, false}, {23, true}};
  const ActiveMap both_on{{22, true}, {23, true}};
  const Iterated all_on = iterate(model, first_order_rules, both_on, wind);
  ASSERT_TRUE(all_on.outcome.has_value());

  const auto switched_on = [](const Iterated& out) {
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < out.lines.size(); ++i) {
      if (out.lines[i].find(R"("member_id":22,)") != std::string::npos &&
          out.lines[i].find(R"("reason":"n ≥ reactivate_buffer → ON")") != std::string::npos)
        at.push_back(i);
    }
    return at;
  };
  const auto summaries_before = [](const Iterated& out, std::size_t line) {
    return std::count_if(out.lines.begin(), out.lines.begin() + static_cast<std::ptrdiff_t>(line),
                         is_summary);
  };

  // Reactivating while iterating: at the first decision step.
  const Iterated iterating = iterate(model, first_order_rules, seed, wind);
  ASSERT_TRUE(iterating.outcome.has_value());
  ASSERT_EQ(switched_on(iterating).size(), 1u);
  EXPECT_EQ(summaries_before(iterating, switched_on(iterating)[0]), 0);
  EXPECT_EQ(iterating.active, both_on);
  EXPECT_EQ(iterating.u, all_on.u);

  // Only switching off while iterating: the tie comes back in the
  // reactivation pass, after the decision steps of the converged iteration.
  ActiveSetRules off_only = first_order_rules;
  off_only.reactivate = false;
  const Iterated passing = iterate(model, off_only, seed, wind);
  ASSERT_TRUE(passing.outcome.has_value());
  ASSERT_EQ(switched_on(passing).size(), 1u);
  EXPECT_EQ(summaries_before(passing, switched_on(passing)[0]), 2);
  EXPECT_EQ(passing.active, both_on);
  EXPECT_EQ(passing.u, all_on.u);

  // Without a reactivation pass it stays off, and the frame is softer: the
  // work of the wind, f^T K^-1 f, grows.
  off_only.reactivation_pass = false;
  const Iterated kept = iterate(model, off_only, seed, wind);
  ASSERT_TRUE(kept.outcome.has_value());
  EXPECT_TRUE(switched_on(kept).empty());
  EXPECT_EQ(kept.active, seed);
  const Eigen::VectorXd f = assemble_load_vector(model, wind);
  EXPECT_GT(f.dot(kept.u), 1.01 * f.dot(all_on.u));
}

}  // namespace
}  // namespace velk
