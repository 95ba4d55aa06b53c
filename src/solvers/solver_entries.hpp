#pragma once
// The four solver entries the analysis driver dispatches to. Each solves one
// load case or combination of the (unit-normalised) model, stores its results
// record in the model's results bundle and returns a copy of it, or returns
// the solver's message.

#include <cstdint>
#include <expected>
#include <string>

#include "document/velk.hpp"

namespace velk {

class SolveContext;

// `context` carries what the solves of one analysis call share; the entries
// without it make their own.
std::expected<Results, std::string> solve_load_case_linear(VELK& model, std::uint32_t load_case_id,
                                                           SolveContext& context);
std::expected<Results, std::string> solve_combination_linear(VELK& model, std::uint32_t combination_id,
                                                             SolveContext& context);
std::expected<Results, std::string> solve_load_case_second_order(VELK& model, std::uint32_t load_case_id,
                                                                 std::uint32_t max_iterations,
                                                                 SolveContext& context);
std::expected<Results, std::string> solve_combination_second_order(VELK& model, std::uint32_t combination_id,
                                                                   std::uint32_t max_iterations,
                                                                   SolveContext& context);
std::expected<Results, std::string> solve_load_case_linear(VELK& model, std::uint32_t load_case_id);
std::expected<Results, std::string> solve_load_case_second_order(VELK& model, std::uint32_t load_case_id,
                                                                 std::uint32_t max_iterations);
std::expected<Results, std::string> solve_combination_linear(VELK& model, std::uint32_t combination_id);
std::expected<Results, std::string> solve_combination_second_order(VELK& model, std::uint32_t combination_id,
                                                                   std::uint32_t max_iterations);

}  // namespace velk
