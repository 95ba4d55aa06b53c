#include "cli/report_command.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "inspection/inspection.hpp"
#include "inspection/modal_inspection.hpp"
#include "report/html_report.hpp"
#include "report/modal_report.hpp"
#include "report/scene.hpp"

namespace velk::cli {

const char* const report_help =
    "Usage: velk report FILE.json [-o REPORT.html] [--modes N]\n"
    "\n"
    "Writes one self-contained HTML page (inline SVG and CSS, no scripts, printable on A4, a page per\n"
    "case): the findings of the model check, the model with pictures of the structure in four views,\n"
    "and per load case and combination the loads, the deformed shape, the My and Mz diagrams, the\n"
    "axial forces and the tables of reactions with the equilibrium residual, largest displacements,\n"
    "span extremes and member end forces; after the cases, per limit state of the combinations, their\n"
    "envelope (Mz, My and N with both curves, governing values per member and reactions, each with the\n"
    "combination that gives it). FILE.json is a model (analysed first) or a results document. A model\n"
    "that cannot be analysed gets a page with the model and the message, and the exit status 1.\n"
    "\n"
    "  -o, --output REPORT.html   write the page there instead of to standard output\n"
    "  --modes N                  end the page with the N lowest natural modes (velk modes), their\n"
    "                             table and pictures of the first mode shapes\n"
    "  --max-members N            the most members the model may have, 1 to 1000000 (default 100)\n"
    "  -h, --help                 show this help\n";

Result<std::optional<std::string>> write_report(const std::string& file,
                                                const std::optional<std::string>& output,
                                                std::optional<int> modes, const MemberLimit& limit) {
  const Result<std::string> text = read_model_file(file);
  if (!text) return std::unexpected(text.error());
  const Result<InspectedModel> inspected = inspect_model(*text, limit);
  if (!inspected) return std::unexpected(inspected.error());
  std::optional<std::string> failure = inspected->analysis_error;
  std::string modal_section;
  if (modes) {
    ModalOptions options;
    options.modes = *modes;
    options.member_limit = limit;
    const Result<InspectedModes> found = inspect_modes(*text, options);
    if (found) {
      modal_section =
          report::modes_section(report::build_scene(inspected->model, inspected->factors.length), *found);
    } else {
      modal_section = report::modes_failure_section(found.error());
      if (!failure) failure = found.error();
    }
  }
  const std::string page = report::report_html(*inspected, modal_section);

  std::FILE* out = output ? std::fopen(output->c_str(), "wb") : stdout;
  const std::string target = output ? "'" + *output + "'" : "standard output";
  if (out == nullptr) return std::unexpected("cannot write " + target + ": " + std::strerror(errno));
  const bool written = std::fwrite(page.data(), 1, page.size(), out) == page.size();
  const bool closed = output ? std::fclose(out) == 0 : std::fflush(out) == 0;
  if (!written || !closed) return std::unexpected("cannot write " + target + ": " + std::strerror(errno));
  return failure;
}

}  // namespace velk::cli
