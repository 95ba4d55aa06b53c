#pragma once
// The analysis driver behind the module functions: parse the model, check its
// size, normalise its units, solve every load case and combination, convert
// the new results back to the document's units and write the whole model.

#include <cstdint>
#include <expected>
#include <functional>
#include <string>
#include <string_view>

#include "base/result.hpp"
#include "document/document_io.hpp"
#include "document/velk.hpp"
#include "solvers/solve_context.hpp"
#include "solvers/solver_entries.hpp"
#include "system/model_validation.hpp"

namespace velk {

// The solver entries the driver dispatches to; the defaults are the engine's
// own. Each stores its results record in the model's bundle and returns a
// copy of it, or returns the solver's message.
struct SolverEntries {
  using CaseEntry = std::function<Result<Results>(VELK&, std::uint32_t, SolveContext&)>;
  using IterativeEntry = std::function<Result<Results>(VELK&, std::uint32_t, std::uint32_t, SolveContext&)>;

  CaseEntry load_case_linear = [](VELK& model, std::uint32_t id, SolveContext& context) {
    return solve_load_case_linear(model, id, context);
  };
  IterativeEntry load_case_second_order = [](VELK& model, std::uint32_t id, std::uint32_t max_iterations,
                                             SolveContext& context) {
    return solve_load_case_second_order(model, id, max_iterations, context);
  };
  CaseEntry combination_linear = [](VELK& model, std::uint32_t id, SolveContext& context) {
    return solve_combination_linear(model, id, context);
  };
  IterativeEntry combination_second_order = [](VELK& model, std::uint32_t id, std::uint32_t max_iterations,
                                               SolveContext& context) {
    return solve_combination_second_order(model, id, max_iterations, context);
  };
};

// The analysis of a parsed model, the one entry of every front end: checks
// the member count, normalises the units, solves every load case (unless the
// options say not to) and then every combination, in document order, and
// converts the new results back to the document's units. The model then
// holds its records in base units and its results in the document's units,
// as the written document does. Fails with the first solver's message as
// "LC <id> linear error: ...", "Combo <id> second-order error: ..." and so
// on; the model is then part way through.
Result<void> analyse_model(VELK& model, const SolverEntries& entries);
Result<void> analyse_model(VELK& model);
// The same for a front end, with its member limit.
Result<void> analyse_model(VELK& model, const SolverEntries& entries, const MemberLimit& limit);

// Parses the document ("Bad JSON input: ..."), analyses the model with the
// given solver entries and writes it.
Result<std::string> analyse_document(std::string_view json_data, const SolverEntries& entries);
Result<std::string> analyse_document(std::string_view json_data, const SolverEntries& entries,
                                     const MemberLimit& limit);

// Runs the analysis with the engine's own solvers.
Result<std::string> calculate_from_json(std::string_view json_data);

// Reads the file and analyses it; a reading failure is reported as
// "Failed to read JSON file '<path>': <description>".
Result<std::string> calculate_from_file(const std::string& path);

// Reads a model file and writes it back without normalising or analysing it.
// Failures carry the reading or parsing message alone.
Result<std::string> load_velk_from_file(const std::string& path);

}  // namespace velk
