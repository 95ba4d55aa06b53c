#include "cli/buckling_command.hpp"

#include "inspection/buckling_output.hpp"

namespace velk::cli {

const char* const buckling_help =
    "Usage: velk buckling MODEL.json [--modes N] [--json]\n"
    "\n"
    "Solves the linear buckling problem of every load case and combination on its first-order axial\n"
    "forces and prints per case the elastic critical load factors alpha_cr (the factor on the case's\n"
    "loads at which the frame buckles), the verdict of EN 1993-1-1 5.2.1 on the first one, the factor\n"
    "at which the reversed loads would buckle it, and the members in compression that take the largest\n"
    "part in the first mode with their critical force N_cr and buckling lengths, in the document's\n"
    "units. MODEL.json is a model or a results document.\n"
    "\n"
    "  --modes N         number of modes per case, 1 to 100 (default 4)\n"
    "  --json            the factors, mode shapes and every member's N, N_cr, buckling lengths, bending "
    "axis\n"
    "                    and share of the mode's bending energy as JSON\n"
    "  --max-members N   the most members the model may have, 1 to 1000000 (default 100)\n"
    "  -h, --help        show this help\n";

int buckling(const Arguments& args) {
  int modes = default_buckling_modes;
  if (const auto text = args.value("--modes")) {
    const auto value = whole_number_option("--modes", *text, 1, max_buckling_modes);
    if (!value) return fail(value.error());
    modes = static_cast<int>(*value);
  }
  const auto limit = member_limit(args);
  if (!limit) return fail(limit.error());
  const auto text = read_model_file(*args.file);
  if (!text) return fail(text.error());
  const auto analysis = inspect_stability(*text, modes, *limit);
  if (!analysis) return fail(analysis.error());
  if (args.flag("--json")) return print(stability_to_json(*analysis) + "\n");
  return print(buckling_summary(*analysis));
}

Result<std::string> summary_with_buckling(const InspectedModel& inspected) {
  if (inspected.analysis_error) return analysis_summary(inspected);
  const Result<StabilityAnalysis> stability =
      analyse_stability(inspected.model, inspected.factors, StabilityOptions{.modes = 1, .dense_limit = {}});
  if (!stability) return std::unexpected(stability.error());
  return analysis_summary(inspected, [&](const CaseInspection& c) {
    for (const auto* cases : {&stability->loadcases, &stability->loadcombinations}) {
      for (const CaseStability& s : *cases) {
        if (s.identity.kind == c.identity.kind && s.identity.id == c.identity.id)
          return critical_factor_line(s);
      }
    }
    return std::string();
  });
}

}  // namespace velk::cli
