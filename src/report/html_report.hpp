#pragma once
// The report of a model as one self-contained HTML page: inline SVG and CSS,
// nothing fetched, no scripts, printable on A4 with each case on a page of
// its own. It shows the findings of the model check first, then the model
// (title, units, counts, options, pictures of the structure in four views),
// then per load case and combination the loads, the deformed shape, the
// moment diagrams, the axial forces and the tables of reactions with the
// equilibrium residual, largest displacements, span extremes and member
// end forces; after the cases, one envelope per limit state of the
// combinations (of all combinations when none names a limit state). A model
// that could not be analysed gives the model and the engine's message.

#include <expected>
#include <string>
#include <string_view>

#include "base/result.hpp"
#include "inspection/inspection.hpp"

namespace velk::report {

std::string report_html(const InspectedModel& inspected);

// The same with further sections of the page (already HTML) after the cases.
std::string report_html(const InspectedModel& inspected, std::string_view further_sections);

// Reads, checks and analyses the text as the other front ends do, then
// writes the report; fails with their message when the text is no model
// document.
Result<std::string> report_html_from_json(std::string_view json_text, const MemberLimit& limit = {});

}  // namespace velk::report
