#pragma once
// The front ends' view of a model: from JSON text (a model, analysed first
// when it carries no results, or a document that calculate_from_json
// returned) to the model with its results and member diagrams in the
// document's units, and the findings of the model check. The command line
// `velk` and the module `velk_tools` share it.

#include <Eigen/Dense>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.hpp"
#include "diagrams/member_diagrams.hpp"
#include "document/units.hpp"
#include "document/velk.hpp"
#include "envelopes/envelope.hpp"
#include "results/results.hpp"
#include "system/active_set.hpp"
#include "system/model_validation.hpp"

namespace velk {

// One problem of a model: "error" or "warning", its text, and where it is
// ("line 3, column 14", "member 7", "load case 2 \"Snow\"", ...).
struct Finding {
  std::string severity;
  std::string message;
  std::string where;
};

// The results and diagrams of one load case or combination.
struct CaseInspection {
  std::string name;
  ResultType identity;
  Results results;          // in the document's units
  MemberDiagrams diagrams;  // in the document's units
};

struct InspectedModel {
  // The records as the analysed document holds them: geometry, sections,
  // materials and loads in base units (metres, newtons, pascals), results
  // in the document's units. `factors` turns document units into base units.
  VELK model;
  UnitFactors factors;
  std::string length_unit;  // "mm", "cm" or "m"
  std::string force_unit;   // "N" or "kN"
  // Document order of the model's load cases and combinations; those without
  // results (not solved) are left out.
  std::vector<CaseInspection> loadcases;
  std::vector<CaseInspection> loadcombinations;
  std::vector<Finding> findings;  // none with ModelCheck::Skip
  // Set when the model could not be analysed: the engine's message. The
  // model is then the one read from the text, and there are no cases.
  std::optional<std::string> analysis_error;
  // True when the results came with the input instead of being computed.
  bool results_carried_in = false;
};

// Whether the document carries results of any case or combination: its
// model is then in base units already and is not analysed again.
bool carries_results(const VELK& model);

// Whether inspect_model runs the model check for the findings (which only
// the report shows): its mechanism search factors the stiffness once more.
enum class ModelCheck { Run, Skip };

// Reads, checks and (when it carries no results) analyses the model, which
// may have as many members as `limit` allows. Fails only when the text is
// not a model document ("Bad JSON input: ...").
Result<InspectedModel> inspect_model(std::string_view json_text, const MemberLimit& limit = {},
                                     ModelCheck check = ModelCheck::Run);

// Every finding of the model check, a model beyond `limit` among them; a
// text that is no model document gives the reader's finding with its line
// and column.
std::vector<Finding> check_model(std::string_view json_text, const MemberLimit& limit = {});
// The same for a model as read from its document.
std::vector<Finding> check_model(const VELK& model, const MemberLimit& limit = {});

// The findings as a JSON list of objects with "severity", "message", "where".
std::string findings_to_json(const std::vector<Finding>& findings);

// The diagrams of every case and combination at `stations` equally spaced
// positions (at least 2), as JSON: {"length_unit", "force_unit",
// "loadcases": {CASE: {MEMBER: {"length", "x", components..., "extremes"}}},
// "loadcombinations": {...}}. Fails with the engine's message when the model
// cannot be read or analysed, or when stations < 2.
Result<std::string> member_diagrams_json(std::string_view json_text, int stations,
                                         const MemberLimit& limit = {});
std::string diagrams_to_json(const InspectedModel& inspected, int stations);

// The stations a member's diagram is read at unless the caller asks for
// others (the help texts and the docstring of velk_tools say 11 too).
inline constexpr int default_diagram_stations = 11;

// The most stations a member's diagram is read at.
inline constexpr int max_diagram_stations = 100000;

// The same as CSV, one row per member, case and station.
std::string diagrams_to_csv(const InspectedModel& inspected, int stations);

// The text summary of `velk analyse`: per case and combination the largest
// displacement, the reactions with the equilibrium residual, the governing
// member by span moment, switched-off members, and the units.
std::string analysis_summary(const InspectedModel& inspected);

// The same with the lines a front end adds at the end of each case (each
// ending in a newline; none when `notes` is empty).
using CaseNotes = std::function<std::string(const CaseInspection&)>;
std::string analysis_summary(const InspectedModel& inspected, const CaseNotes& notes);

// The displacement vector (base units) and the active map of a stored
// results record of the model: Tension and Compression members whose end
// forces are all zero count as switched off.
Eigen::VectorXd stored_displacements(const VELK& model, const Results& results, const UnitFactors& factors);
ActiveMap stored_active_map(const VELK& model, const Results& results);

// Envelopes of an inspected model (envelopes/envelope.hpp), in the
// document's units: the set the selection chooses, each of its cases taken
// from the inspected results. Fails with the engine's message when the model
// could not be analysed, with the selection's message, and with "Load case
// '<name>' has no results" or "Load combination '<name>' has no results"
// for a chosen case the document does not solve or carry.
Result<Envelope> inspected_envelope(const InspectedModel& inspected, const EnvelopeSelection& selection,
                                    int stations);
// {"length_unit", "force_unit", "set": [NAMES], "members": {MEMBER: {"length",
// "x", "max", "max_case", "min", "min_case", "extremes"}}, "nodes": {NODE:
// {COMPONENT: {"max", "max_case", "min", "min_case"}}}, "reactions": {...}}.
std::string envelope_to_json(const InspectedModel& inspected, const Envelope& envelope);
// One row per member, component and station.
std::string envelope_to_csv(const Envelope& envelope);
// Per member the governing maximum and minimum of the forces and of the
// transverse displacements, with positions and cases; nodes and reactions.
std::string envelope_summary(const InspectedModel& inspected, const Envelope& envelope);
// From the document's text to the JSON of its envelope; stations from 2 to
// max_envelope_stations.
Result<std::string> envelope_json(std::string_view json_text, const EnvelopeSelection& selection,
                                  int stations, const MemberLimit& limit = {});

// The largest file a front end reads.
inline constexpr std::size_t max_model_file_bytes = std::size_t{64} << 20;

// Reads a model file for a front end: the operating system's message, a
// directory, a file larger than max_model_file_bytes or not UTF-8 give
// "Cannot read '<path>': <reason>".
Result<std::string> read_model_file(const std::string& path);

}  // namespace velk
