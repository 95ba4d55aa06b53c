#pragma once
// `velk report FILE.json [-o REPORT.html]`: the HTML report of a model or of
// an analysed document.

#include <span>
#include <string_view>

namespace velk::cli {

// `arguments` are those after the word "report". Exit status: 0 when the
// report is written, 1 when it is written but the model could not be
// analysed (the report then shows the model and the message), 2 for a usage
// error, an unreadable file, a text that is no model document or an output
// that cannot be written, each with a one-line message on standard error.
int run_report_command(std::span<const std::string_view> arguments);

}  // namespace velk::cli
