// The command line program `velk`: analyse a model, check it, or print the
// diagrams along its members. Every failure ends with one line on standard
// error and exit status 2; `velk check` exits with 1 when it finds problems.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/driver.hpp"
#include "base/fault.hpp"
#include "base/message_format.hpp"
#include "cli/arguments.hpp"
#include "cli/buckling_command.hpp"
#include "cli/envelope_command.hpp"
#include "cli/modes_command.hpp"
#include "cli/report_command.hpp"
#include "document/document_io.hpp"
#include "dynamics/modal_analysis.hpp"
#include "inspection/inspection.hpp"

namespace {

using velk::cli::Arguments;
using velk::cli::exit_clean;
using velk::cli::exit_failure;
using velk::cli::exit_findings;
using velk::cli::fail;
using velk::cli::one_line;
using velk::cli::print;
using velk::cli::write_all;

constexpr const char* usage_text =
    "Usage: velk COMMAND [OPTIONS] FILE\n"
    "\n"
    "Commands:\n"
    "  analyse MODEL.json [-o OUT.json] [--buckling]\n"
    "                                          analyse the model and print a summary per load case\n"
    "                                          and combination; -o writes the results document\n"
    "  check MODEL.json [--json]               check the model without solving it\n"
    "  diagrams FILE.json [--stations N] [--csv]\n"
    "                                          internal forces and displacements along every member\n"
    "  report FILE.json [-o REPORT.html] [--modes N]\n"
    "                                          the model, its deformed shape and diagrams in one HTML page\n"
    "  envelope FILE.json [--limit-state LS] [--combinations A,B] [--with-cases]\n"
    "           [--stations N] [--json | --csv]\n"
    "                                          design values over the combinations, with the governing one\n"
    "  buckling MODEL.json [--modes N] [--json]\n"
    "                                          critical load factors, buckling modes and buckling lengths\n"
    "  modes MODEL.json [--modes N] [--mass consistent|lumped] [--mass-case NAME] [--json]\n"
    "                                          natural frequencies, mode shapes and effective masses\n"
    "\n"
    "Every command takes --max-members N: the most members the model may have (default 100).\n"
    "Run 'velk COMMAND --help' for the options of a command.\n";

constexpr const char* analyse_help =
    "Usage: velk analyse MODEL.json [-o OUT.json] [--buckling]\n"
    "\n"
    "Analyses the model (as calculate_from_file does) and prints per load case and combination the\n"
    "largest displacement, the reactions with the equilibrium residual, the member with the largest\n"
    "span moment and the switched-off tension/compression members, in the document's units.\n"
    "\n"
    "  -o, --output OUT.json   also write the results document to OUT.json\n"
    "  --buckling              add the elastic critical load factor alpha_cr,1 with its verdict to each "
    "case\n"
    "  --max-members N         the most members the model may have, 1 to 1000000 (default 100)\n"
    "  -h, --help              show this help\n";

constexpr const char* check_help =
    "Usage: velk check MODEL.json [--json]\n"
    "\n"
    "Reads and checks the model without solving it and prints every finding with where it is.\n"
    "Exit status 0 when nothing is wrong, 1 when something is, 2 when the file cannot be read.\n"
    "\n"
    "  --json            print the findings as a JSON list of objects with severity, message and where\n"
    "  --max-members N   the most members the model may have, 1 to 1000000 (default 100)\n"
    "  -h, --help        show this help\n";

constexpr const char* diagrams_help =
    "Usage: velk diagrams FILE.json [--stations N] [--csv]\n"
    "\n"
    "Prints the internal forces (N, Vy, Vz, T, My, Mz) and displacements (ux, uy, uz, rx) along every\n"
    "member of every load case and combination, in local axes and the document's units, at N equally\n"
    "spaced stations, with the exact span extremes, as JSON. FILE.json is a model (analysed first) or\n"
    "a results document.\n"
    "\n"
    "  --stations N      number of stations per member, at least 2 (default 11)\n"
    "  --csv             one CSV row per member, case and station instead of JSON\n"
    "  --max-members N   the most members the model may have, 1 to 1000000 (default 100)\n"
    "  -h, --help        show this help\n";

int analyse(const Arguments& args) {
  const auto limit = velk::cli::member_limit(args);
  if (!limit) return fail(limit.error());
  const auto text = velk::read_model_file(*args.file);
  if (!text) return fail(text.error());
  const auto document = velk::analyse_document(*text, velk::SolverEntries{}, *limit);
  if (!document) return fail(document.error());
  if (const auto output = args.value("--output")) {
    std::FILE* file = std::fopen(output->c_str(), "wb");
    if (file == nullptr) return fail("cannot write '" + *output + "': " + std::strerror(errno));
    const bool written = write_all(file, *document);
    if (std::fclose(file) != 0 || !written)
      return fail("cannot write '" + *output + "': " + std::strerror(errno));
  }
  const auto inspected = velk::inspect_model(*document, *limit, velk::ModelCheck::Skip);
  if (!inspected) return fail(inspected.error());
  if (args.flag("--buckling")) {
    const auto summary = velk::cli::summary_with_buckling(*inspected);
    if (!summary) return fail(summary.error());
    return print(*summary);
  }
  return print(velk::analysis_summary(*inspected));
}

int check(const Arguments& args) {
  const auto limit = velk::cli::member_limit(args);
  if (!limit) return fail(limit.error());
  const auto text = velk::read_model_file(*args.file);
  if (!text) return fail(text.error());
  const std::vector<velk::Finding> findings = velk::check_model(*text, *limit);
  // A text that is no model document cannot be checked further: its one
  // finding is printed, and it ends like every unreadable document.
  const bool unreadable = !velk::read_velk(*text).has_value();
  std::string out;
  if (args.flag("--json")) {
    out = velk::findings_to_json(findings) + "\n";
  } else if (findings.empty()) {
    out = "No problems found.\n";
  } else {
    for (const velk::Finding& f : findings)
      out += f.severity + ": " + f.where + ": " + one_line(f.message) + "\n";
  }
  const int printed = print(out);
  if (printed != exit_clean) return printed;
  if (unreadable) {
    return fail("cannot check '" + *args.file + "': " + findings.front().message + " at " +
                findings.front().where);
  }
  return findings.empty() ? exit_clean : exit_findings;
}

int diagrams(const Arguments& args) {
  int stations = velk::default_diagram_stations;
  if (const auto text = args.value("--stations")) {
    const auto value = velk::cli::whole_number_option("--stations", *text, 2, velk::max_diagram_stations);
    if (!value) return fail(value.error());
    stations = static_cast<int>(*value);
  }
  const auto limit = velk::cli::member_limit(args);
  if (!limit) return fail(limit.error());
  const auto text = velk::read_model_file(*args.file);
  if (!text) return fail(text.error());
  auto inspected = velk::inspect_model(*text, *limit, velk::ModelCheck::Skip);
  if (!inspected) return fail(inspected.error());
  if (inspected->analysis_error) return fail(*inspected->analysis_error);
  if (args.flag("--csv")) return print(velk::diagrams_to_csv(*inspected, stations));
  return print(velk::diagrams_to_json(*inspected, stations) + "\n");
}

// The HTML report (cli/report_command.cpp); exit status 1 when the page
// shows a model that could not be analysed.
int report(const Arguments& args) {
  std::optional<int> modes;
  if (const auto text = args.value("--modes")) {
    const auto value = velk::cli::whole_number_option("--modes", *text, 1, velk::max_mode_count);
    if (!value) return fail(value.error());
    modes = static_cast<int>(*value);
  }
  const auto limit = velk::cli::member_limit(args);
  if (!limit) return fail(limit.error());
  const auto written = velk::cli::write_report(*args.file, args.value("--output"), modes, *limit);
  if (!written) return fail(written.error());
  if (*written) {
    std::fprintf(stderr, "velk: the model could not be analysed: %s\n", one_line(**written).c_str());
    return exit_findings;
  }
  return exit_clean;
}

int run(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::fputs(usage_text, stderr);
    return exit_failure;
  }
  const std::string_view command = args.front();
  if (command == "-h" || command == "--help" || command == "help") return print(usage_text);
  args.erase(args.begin());

  const velk::cli::Command commands[] = {
      {"analyse", {{"--buckling"}, {"--output", "--max-members"}}, analyse_help, analyse},
      {"check", {{"--json"}, {"--max-members"}}, check_help, check},
      {"diagrams", {{"--csv"}, {"--stations", "--max-members"}}, diagrams_help, diagrams},
      {"report", {{}, {"--output", "--modes", "--max-members"}}, velk::cli::report_help, report},
      {"envelope",
       {{"--with-cases", "--json", "--csv"},
        {"--limit-state", "--combinations", "--stations", "--max-members"}},
       velk::cli::envelope_help,
       velk::cli::envelope_command},
      {"buckling", {{"--json"}, {"--modes", "--max-members"}}, velk::cli::buckling_help, velk::cli::buckling},
      {"modes",
       {{"--json"}, {"--modes", "--mass", "--mass-case", "--max-members"}},
       velk::cli::modes_help,
       velk::cli::modes_command},
  };
  for (const velk::cli::Command& c : commands) {
    if (c.name != command) continue;
    Arguments parsed;
    if (const auto error = velk::cli::parse_arguments(c.name, args, c.options, parsed)) return fail(*error);
    if (parsed.help) return print(c.help);
    return c.run(parsed);
  }
  return fail("unknown command '" + std::string(command) + "' (see 'velk --help')");
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const velk::Fault& fault) {
    return fail(fault.what());
  } catch (const std::bad_alloc&) {
    return fail("out of memory");
  } catch (const std::exception& error) {
    return fail(std::string("internal fault: ") + error.what());
  } catch (...) {
    return fail("internal fault");
  }
}
