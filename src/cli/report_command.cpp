#include "cli/report_command.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>

#include "inspection/inspection.hpp"
#include "report/html_report.hpp"

namespace velk::cli {
namespace {

constexpr std::string_view report_help =
    "usage: velk report FILE.json [-o REPORT.html]\n"
    "\n"
    "Writes one self-contained HTML page (inline SVG and CSS, no scripts, printable\n"
    "on A4) with the model, its check findings, pictures of the structure, and per\n"
    "load case and combination the loads, the deformed shape, the My and Mz\n"
    "diagrams, the axial forces and the tables of reactions, displacements, span\n"
    "extremes and member end forces. FILE is a model (analysed first) or a document\n"
    "that calculate_from_json returned. Without -o the page goes to standard output.\n"
    "\n"
    "Exit status: 0 written; 1 written, but the model could not be analysed (the\n"
    "page shows the model and the message); 2 bad usage, unreadable file or no\n"
    "model document.\n";

int usage_error(std::string_view message) {
  std::cerr << "velk report: " << message << " (see velk report --help)\n";
  return 2;
}

}  // namespace

int run_report_command(std::span<const std::string_view> arguments) {
  std::optional<std::string> input;
  std::optional<std::string> output;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    if (argument == "-h" || argument == "--help") {
      std::cout << report_help;
      return 0;
    }
    if (argument == "-o" || argument == "--output") {
      if (i + 1 == arguments.size())
        return usage_error("option '" + std::string(argument) + "' needs a file name");
      if (output) return usage_error("more than one output file");
      output = std::string(arguments[++i]);
    } else if (argument.size() > 1 && argument.front() == '-') {
      return usage_error("unknown option '" + std::string(argument) + "'");
    } else if (input) {
      return usage_error("more than one model file");
    } else {
      input = std::string(argument);
    }
  }
  if (!input) return usage_error("no model file given");

  const std::expected<std::string, std::string> text = read_model_file(*input);
  if (!text) {
    std::cerr << text.error() << '\n';
    return 2;
  }
  const std::expected<InspectedModel, std::string> inspected = inspect_model(*text);
  if (!inspected) {
    std::cerr << inspected.error() << '\n';
    return 2;
  }
  const std::string page = report::report_html(*inspected);
  if (output) {
    std::ofstream file(*output, std::ios::binary | std::ios::trunc);
    if (file) file.write(page.data(), static_cast<std::streamsize>(page.size()));
    if (file) file.close();
    if (!file) {
      std::cerr << "Cannot write '" << *output << "': " << std::strerror(errno) << '\n';
      return 2;
    }
  } else {
    std::cout.write(page.data(), static_cast<std::streamsize>(page.size()));
    std::cout.flush();
  }
  if (inspected->analysis_error) {
    std::cerr << *inspected->analysis_error << '\n';
    return 1;
  }
  return 0;
}

}  // namespace velk::cli
