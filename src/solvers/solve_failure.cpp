#include "solvers/solve_failure.hpp"

#include "base/message_format.hpp"

namespace velk {
namespace {

constexpr const char* analysis_limit_message = "Active-set iteration did not converge within {} iterations";
constexpr const char* start_limit_message = "First-order predictor did not converge within {} iterations";

// The sentence of a singular or non-finite system.
std::string singular_message(FirstOrderSolve solve, ActiveSetStage stage) {
  switch (solve) {
    case FirstOrderSolve::Analysis:
      switch (stage) {
        case ActiveSetStage::Iteration:
          return "Reduced stiffness matrix is singular or near-singular";
        case ActiveSetStage::Reactivation:
          return "Reduced stiffness matrix is singular after reactivation pass.";
        case ActiveSetStage::Finalization:
          return "Reduced stiffness matrix is singular or near-singular in finalization.";
      }
      break;
    case FirstOrderSolve::SecondOrderStart:
      // The start has no reactivation pass of its own.
      if (stage == ActiveSetStage::Finalization) return "Predictor finalization solve failed (singular).";
      return "Reduced stiffness matrix is singular in predictor.";
    case FirstOrderSolve::SecondOrderFinalization:
      return "Reduced stiffness singular in finalization.";
  }
  return "Reduced stiffness matrix is singular or near-singular";
}

}  // namespace

std::string failure_message(const SolveFailure& failure, FirstOrderSolve solve,
                            std::uint32_t iteration_limit) {
  switch (failure.kind) {
    case SolveFailureKind::Singular:
    case SolveFailureKind::NonFinite:
      return singular_message(solve, failure.stage);
    case SolveFailureKind::IterationLimit:
      return format_message(
          solve == FirstOrderSolve::SecondOrderStart ? start_limit_message : analysis_limit_message,
          iteration_limit);
    case SolveFailureKind::Model:
      break;
  }
  return failure.message;
}

}  // namespace velk
