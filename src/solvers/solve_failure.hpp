#pragma once
// Why a first-order solve or its active-set iteration gave no displacements.
// The solves return the kind of failure and where in the iteration it met;
// the entry points turn it into their sentence, worded once here.

#include <cstdint>
#include <expected>
#include <string>

namespace velk {

enum class SolveFailureKind {
  Singular,        // a pivot of the reduced stiffness is exactly zero
  NonFinite,       // the solution is not finite (overflowing or undefined input)
  IterationLimit,  // the active set did not settle within the iteration limit
  Model,           // the model's own message (rigid links, assembly), in `message`
};

// The part of the active-set iteration a failure met.
enum class ActiveSetStage { Iteration, Reactivation, Finalization };

struct SolveFailure {
  SolveFailureKind kind = SolveFailureKind::Singular;
  ActiveSetStage stage = ActiveSetStage::Iteration;
  std::string message;  // the model's message; empty for the other kinds

  static SolveFailure of(SolveFailureKind kind) { return SolveFailure{kind, ActiveSetStage::Iteration, {}}; }
  static SolveFailure model(std::string text) {
    return SolveFailure{SolveFailureKind::Model, ActiveSetStage::Iteration, std::move(text)};
  }
};

template <class T>
using SolveResult = std::expected<T, SolveFailure>;

// The first-order solve a failure belongs to: the analysis of a load case or
// combination, the start of a second-order solve, and the finalization pass
// that ends a second-order solve. Each words the failures its own way.
enum class FirstOrderSolve { Analysis, SecondOrderStart, SecondOrderFinalization };

// The sentence of the failure; `iteration_limit` fills the one of the
// iteration limit. A singular and a non-finite solution read alike.
std::string failure_message(const SolveFailure& failure, FirstOrderSolve solve,
                            std::uint32_t iteration_limit);

}  // namespace velk
