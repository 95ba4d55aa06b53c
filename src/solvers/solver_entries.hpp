#pragma once
// The four solver entries the analysis driver dispatches to. Each solves one
// load case or combination of the (unit-normalised) model, stores its results
// record in the model's results bundle and returns a copy of it, or returns
// the solver's message.

#include <cstdint>
#include <expected>
#include <string>

#include "base/result.hpp"
#include "document/velk.hpp"

namespace velk {

class SolveContext;

// `context` carries what the solves of one analysis call share; the entries
// without it make their own.
Result<Results> solve_load_case_linear(VELK& model, std::uint32_t load_case_id, SolveContext& context);
Result<Results> solve_combination_linear(VELK& model, std::uint32_t combination_id, SolveContext& context);
Result<Results> solve_load_case_second_order(VELK& model, std::uint32_t load_case_id,
                                             std::uint32_t max_iterations, SolveContext& context);
Result<Results> solve_combination_second_order(VELK& model, std::uint32_t combination_id,
                                               std::uint32_t max_iterations, SolveContext& context);
Result<Results> solve_load_case_linear(VELK& model, std::uint32_t load_case_id);
Result<Results> solve_load_case_second_order(VELK& model, std::uint32_t load_case_id,
                                             std::uint32_t max_iterations);
Result<Results> solve_combination_linear(VELK& model, std::uint32_t combination_id);
Result<Results> solve_combination_second_order(VELK& model, std::uint32_t combination_id,
                                               std::uint32_t max_iterations);

}  // namespace velk
