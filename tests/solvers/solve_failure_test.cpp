// The failures of first-order solves: the kind the solve context returns,
// and the one sentence each entry point says for each kind and stage.

#include "solvers/solve_failure.hpp"

#include <gtest/gtest.h>

#include <limits>

#include "solvers/solve_context.hpp"
#include "support/frame_builder.hpp"
#include "system/dof_numbering.hpp"

namespace velk {
namespace {

using test_support::FrameBuilder;

SolveFailure at(SolveFailureKind kind, ActiveSetStage stage) {
  SolveFailure failure = SolveFailure::of(kind);
  failure.stage = stage;
  return failure;
}

TEST(SolveFailure, EachEntryPointWordsEachStageOnce) {
  struct Case {
    FirstOrderSolve solve;
    ActiveSetStage stage;
    const char* sentence;
  };
  const Case cases[] = {
      {FirstOrderSolve::Analysis, ActiveSetStage::Iteration,
       "Reduced stiffness matrix is singular or near-singular"},
      {FirstOrderSolve::Analysis, ActiveSetStage::Reactivation,
       "Reduced stiffness matrix is singular after reactivation pass."},
      {FirstOrderSolve::Analysis, ActiveSetStage::Finalization,
       "Reduced stiffness matrix is singular or near-singular in finalization."},
      {FirstOrderSolve::SecondOrderStart, ActiveSetStage::Iteration,
       "Reduced stiffness matrix is singular in predictor."},
      {FirstOrderSolve::SecondOrderStart, ActiveSetStage::Finalization,
       "Predictor finalization solve failed (singular)."},
      {FirstOrderSolve::SecondOrderFinalization, ActiveSetStage::Finalization,
       "Reduced stiffness singular in finalization."},
  };
  for (const Case& c : cases) {
    // A solution that is not finite reads like a singular system.
    for (const SolveFailureKind kind : {SolveFailureKind::Singular, SolveFailureKind::NonFinite})
      EXPECT_EQ(failure_message(at(kind, c.stage), c.solve, 20), c.sentence);
  }
}

TEST(SolveFailure, TheIterationLimitNamesTheLimit) {
  const SolveFailure limit = SolveFailure::of(SolveFailureKind::IterationLimit);
  EXPECT_EQ(failure_message(limit, FirstOrderSolve::Analysis, 7),
            "Active-set iteration did not converge within 7 iterations");
  EXPECT_EQ(failure_message(limit, FirstOrderSolve::SecondOrderStart, 20),
            "First-order predictor did not converge within 20 iterations");
}

TEST(SolveFailure, TheModelsOwnMessagePassesUnchanged) {
  const SolveFailure failure = SolveFailure::model("Rigid member 3 has no length");
  for (const FirstOrderSolve solve : {FirstOrderSolve::Analysis, FirstOrderSolve::SecondOrderStart,
                                      FirstOrderSolve::SecondOrderFinalization})
    EXPECT_EQ(failure_message(failure, solve, 20), "Rigid member 3 has no length");
}

TEST(SolveFailure, AnUnbracedBayIsSingularAndAnUndefinedLoadNonFinite) {
  FrameBuilder unbraced = test_support::braced_bay();
  unbraced.model.member_sets.front().members.resize(3);  // the diagonals gone
  {
    SolveContext context(unbraced.model);
    Eigen::VectorXd f = Eigen::VectorXd::Zero(dof_count(unbraced.model.member_sets));
    f(global_dof(3, dof::UX)) = 1.0;
    Eigen::VectorXd u;
    const auto solved = context.first_order_displacements(f, {}, u);
    ASSERT_FALSE(solved.has_value());
    EXPECT_EQ(solved.error().kind, SolveFailureKind::Singular);
  }
  const FrameBuilder braced = test_support::braced_bay();
  SolveContext context(braced.model);
  Eigen::VectorXd f = Eigen::VectorXd::Zero(dof_count(braced.model.member_sets));
  f(global_dof(3, dof::UX)) = std::numeric_limits<double>::quiet_NaN();
  Eigen::VectorXd u;
  const auto solved = context.first_order_displacements(f, {}, u);
  ASSERT_FALSE(solved.has_value());
  EXPECT_EQ(solved.error().kind, SolveFailureKind::NonFinite);
}

TEST(SolveFailure, AGapInTheNumberingStopsTheContextBeforeAnythingIsSized) {
  FrameBuilder b = test_support::braced_bay();
  // Nodes 1 to 4 and then one far beyond: 5 is the gap.
  b.model.member_sets.front().members.back().end_node.id = 4'000'000'000u;
  SolveContext context(b.model);
  EXPECT_EQ(context.validate().error(),
            "Node ID 5 is missing. Node IDs must be consecutive starting from 1.");
  const auto t = context.transform();
  ASSERT_FALSE(t.has_value());
  EXPECT_EQ(t.error(), "Node ID 5 is missing. Node IDs must be consecutive starting from 1.");
}

}  // namespace
}  // namespace velk
