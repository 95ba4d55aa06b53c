#include "cli/envelope_command.hpp"

#include <string>
#include <vector>

#include "inspection/inspection.hpp"

namespace velk::cli {

const char* const envelope_help =
    "Usage: velk envelope FILE.json [--limit-state ULS|SLS|FLS|ALS] [--combinations NAME,...]\n"
    "                     [--with-cases] [--stations N] [--json | --csv]\n"
    "\n"
    "Prints the envelope of the load combinations: per member and for each of N, Vy, Vz, T, My, Mz, ux, uy,\n"
    "uz, rx the largest and smallest value over the combinations at N equally spaced stations and the exact\n"
    "span extremes, each with its position and the combination that gives it; per node the displacements\n"
    "and per supported node the reactions likewise. Local axes of the members and the document's units,\n"
    "as in 'velk diagrams'. The combinations are taken as solved, first or second order, never\n"
    "superposed. FILE.json is a model (analysed first) or a results document. Without --json or --csv a\n"
    "summary per member. Ties go to the combination listed first.\n"
    "\n"
    "  --limit-state LS       only the combinations of the limit state LS (ULS, SLS, FLS or ALS)\n"
    "  --combinations A,B     only the combinations named (with --limit-state: those of that limit state)\n"
    "  --with-cases           the load cases join the set, before the combinations\n"
    "  --stations N           stations per member, from 2 to 1001 (default 11)\n"
    "  --json                 the whole envelope as JSON\n"
    "  --csv                  one CSV row per member, component and station\n"
    "  --max-members N        the most members the model may have, 1 to 1000000 (default 100)\n"
    "  -h, --help             show this help\n";

namespace {

// "A,B,C" as names; an empty name is a mistake, not a name.
Result<std::vector<std::string>> combination_names(const std::string& text) {
  std::vector<std::string> names;
  std::size_t from = 0;
  for (;;) {
    const std::size_t comma = text.find(',', from);
    names.push_back(text.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
    if (names.back().empty()) {
      return std::unexpected("--combinations must be combination names separated by commas, not '" +
                             one_line(text) + "'");
    }
    if (comma == std::string::npos) return names;
    from = comma + 1;
  }
}

}  // namespace

int envelope_command(const Arguments& args) {
  if (args.flag("--json") && args.flag("--csv"))
    return fail("'velk envelope' takes --json or --csv, not both");
  int stations = default_envelope_stations;
  if (const auto text = args.value("--stations")) {
    const auto value = whole_number_option("--stations", *text, 2, max_envelope_stations);
    if (!value) return fail(value.error());
    stations = static_cast<int>(*value);
  }
  EnvelopeSelection selection;
  selection.with_cases = args.flag("--with-cases");
  if (const auto text = args.value("--limit-state")) {
    const auto state = parse_limit_state("--limit-state", *text);
    if (!state) return fail(state.error());
    selection.limit_state = *state;
  }
  if (const auto text = args.value("--combinations")) {
    auto names = combination_names(*text);
    if (!names) return fail(names.error());
    selection.combinations = std::move(*names);
  }

  const auto limit = member_limit(args);
  if (!limit) return fail(limit.error());
  const auto text = read_model_file(*args.file);
  if (!text) return fail(text.error());
  const auto inspected = inspect_model(*text, *limit, ModelCheck::Skip);
  if (!inspected) return fail(inspected.error());
  const auto envelope = inspected_envelope(*inspected, selection, stations);
  if (!envelope) return fail(envelope.error());
  if (args.flag("--json")) return print(envelope_to_json(*inspected, *envelope) + "\n");
  if (args.flag("--csv")) return print(envelope_to_csv(*envelope));
  return print(envelope_summary(*inspected, *envelope));
}

}  // namespace velk::cli
