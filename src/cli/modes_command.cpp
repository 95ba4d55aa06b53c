#include "cli/modes_command.hpp"

#include <string>

#include "dynamics/modal_analysis.hpp"
#include "inspection/inspection.hpp"
#include "inspection/modal_inspection.hpp"

namespace velk::cli {

const char* const modes_help =
    "Usage: velk modes MODEL.json [--modes N] [--mass consistent|lumped] [--mass-case NAME] [--json]\n"
    "\n"
    "Natural frequencies and mode shapes of the model, from the densities of its members (every\n"
    "member active, supports, springs and rigid links as in the analysis): per mode the frequency,\n"
    "the period and the effective mass ratios along X, Y and Z with their cumulative sums, and the\n"
    "total mass that the supports do not hold, in kilograms.\n"
    "\n"
    "  --modes N          the N lowest modes (default 6, at most 1000)\n"
    "  --mass KIND        consistent (default) or lumped: half of each member's mass on the\n"
    "                     translations of each end node\n"
    "  --mass-case NAME   add the loads of the load case NAME as masses (forces / 9.80665)\n"
    "  --json             print the modes with their shapes as JSON\n"
    "  --max-members N    the most members the model may have, 1 to 1000000 (default 100)\n"
    "  -h, --help         show this help\n";

int modes_command(const Arguments& args) {
  ModalOptions options;
  if (const auto text = args.value("--modes")) {
    const auto value = whole_number_option("--modes", *text, 1, max_mode_count);
    if (!value) return fail(value.error());
    options.modes = static_cast<int>(*value);
  }
  if (const auto text = args.value("--mass")) {
    const auto kind = parse_mass_kind(*text);
    if (!kind) return fail("--mass must be consistent or lumped, not '" + one_line(*text) + "'");
    options.mass = *kind;
  }
  options.mass_case = args.value("--mass-case");
  const auto limit = member_limit(args);
  if (!limit) return fail(limit.error());
  options.member_limit = *limit;
  const auto text = read_model_file(*args.file);
  if (!text) return fail(text.error());
  const auto modes = inspect_modes(*text, options);
  if (!modes) return fail(modes.error());
  if (args.flag("--json")) return print(modes_to_json(*modes) + "\n");
  return print(modes_table(*modes));
}

}  // namespace velk::cli
