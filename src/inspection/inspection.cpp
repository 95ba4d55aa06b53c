#include "inspection/inspection.hpp"

#include <sys/stat.h>

#include <algorithm>

#include "analysis/driver.hpp"
#include "base/fault.hpp"
#include "base/message_format.hpp"
#include "document/document_io.hpp"
#include "document/record_schema.hpp"
#include "system/dof_numbering.hpp"

namespace velk {

bool carries_results(const VELK& model) {
  return model.results && (!model.results->loadcases.empty() || !model.results->loadcombinations.empty());
}

namespace {

bool all_zero(const NodeForces& f) {
  return f.fx == 0.0 && f.fy == 0.0 && f.fz == 0.0 && f.mx == 0.0 && f.my == 0.0 && f.mz == 0.0;
}

}  // namespace

Eigen::VectorXd stored_displacements(const VELK& model, const Results& results, const UnitFactors& factors) {
  Eigen::VectorXd u = Eigen::VectorXd::Zero(dof_count(model.member_sets));
  for (const auto& [node, d] : results.displacement_nodes) {
    if (!node_in_range(node, u.size())) continue;
    u.segment<6>(global_dof(node, dof::UX)) << d.dx * factors.length, d.dy * factors.length,
        d.dz * factors.length, d.rx, d.ry, d.rz;
  }
  return u;
}

ActiveMap stored_active_map(const VELK& model, const Results& results) {
  ActiveMap active;
  for (const MemberSet& set : model.member_sets) {
    for (const Member& member : set.members) {
      if (!is_one_way(member.member_type)) continue;
      const auto found = results.member_results.find(member.id);
      active[member.id] = found == results.member_results.end() ||
                          !all_zero(found->second.start_node_forces) ||
                          !all_zero(found->second.end_node_forces);
    }
  }
  return active;
}

namespace {

CaseInspection inspect_case(const VELK& model, const Results& results, const UnitFactors& factors) {
  CaseInspection inspection;
  inspection.name = results.name;
  inspection.identity = results.result_type;
  inspection.results = results;
  RecoveryOptions options;
  options.second_order = model.settings.analysis_options.order == AnalysisOrder::Nonlinear;
  inspection.diagrams =
      build_member_diagrams(model, inspection.identity, stored_displacements(model, results, factors),
                            stored_active_map(model, results), options);
  for (auto& [id, diagram] : inspection.diagrams) diagram_to_document_units(diagram, factors);
  return inspection;
}

// The stored results of the named cases, in the order the model lists them.
template <class Case>
void inspect_cases(const VELK& model, const std::vector<Case>& cases,
                   const std::map<std::string, Results>& stored, const UnitFactors& factors,
                   std::vector<CaseInspection>& out) {
  for (const Case& c : cases) {
    const auto found = stored.find(c.name);
    if (found == stored.end()) continue;
    if (std::any_of(out.begin(), out.end(), [&](const CaseInspection& i) { return i.name == c.name; }))
      continue;
    out.push_back(inspect_case(model, found->second, factors));
  }
}

}  // namespace

Result<InspectedModel> inspect_model(std::string_view json_text, const MemberLimit& limit, ModelCheck check) {
  auto parsed = read_velk(json_text);
  if (!parsed) return std::unexpected(format_message("Bad JSON input: {}", parsed.error()));

  InspectedModel inspected;
  if (check == ModelCheck::Run) inspected.findings = check_model(*parsed, limit);
  const UnitSettings& units = parsed->settings.unit_settings;
  inspected.length_unit = std::string(json::canonical_spelling(units.length_unit));
  inspected.force_unit = std::string(json::canonical_spelling(units.force_unit));
  inspected.factors = unit_factors(units);

  inspected.results_carried_in = carries_results(*parsed);
  if (inspected.results_carried_in) {
    inspected.model = std::move(*parsed);
  } else {
    // Analysed on a copy: a model that fails keeps the records it was read with.
    inspected.model = *parsed;
    Result<void> analysed;
    try {
      analysed = analyse_model(inspected.model, SolverEntries{}, limit);
    } catch (const Fault& fault) {
      analysed = std::unexpected(std::string(fault.what()));
    }
    if (!analysed) {
      inspected.model = std::move(*parsed);
      inspected.analysis_error = analysed.error();
      return inspected;
    }
  }

  try {
    if (inspected.model.results) {
      inspect_cases(inspected.model, inspected.model.load_cases, inspected.model.results->loadcases,
                    inspected.factors, inspected.loadcases);
      inspect_cases(inspected.model, inspected.model.load_combinations,
                    inspected.model.results->loadcombinations, inspected.factors, inspected.loadcombinations);
    }
  } catch (const Fault& fault) {
    inspected.loadcases.clear();
    inspected.loadcombinations.clear();
    inspected.analysis_error = fault.what();
  }
  return inspected;
}

Result<std::string> member_diagrams_json(std::string_view json_text, int stations, const MemberLimit& limit) {
  if (stations < 2) return std::unexpected(format_message("stations must be at least 2, not {}", stations));
  if (stations > max_diagram_stations) {
    return std::unexpected(
        format_message("stations must be at most {}, not {}", max_diagram_stations, stations));
  }
  auto inspected = inspect_model(json_text, limit, ModelCheck::Skip);
  if (!inspected) return std::unexpected(std::move(inspected.error()));
  if (inspected->analysis_error) return std::unexpected(*inspected->analysis_error);
  return diagrams_to_json(*inspected, stations);
}

Result<std::string> read_model_file(const std::string& path) {
  const auto failure = [&](std::string_view reason) {
    return std::unexpected(format_message("Cannot read '{}': {}", path, reason));
  };
  struct stat status {};
  if (path.find('\0') == std::string::npos && ::stat(path.c_str(), &status) == 0) {
    if (S_ISDIR(status.st_mode)) return failure("it is a directory");
    if (!S_ISREG(status.st_mode)) return failure("it is not a regular file");
    if (S_ISREG(status.st_mode) && static_cast<std::uintmax_t>(status.st_size) > max_model_file_bytes) {
      return failure(format_message("the file has {} bytes, more than the {} a model may have",
                                    static_cast<std::uintmax_t>(status.st_size), max_model_file_bytes));
    }
  }
  auto text = read_text_file(path);
  if (!text) return failure(text.error());
  if (text->size() > max_model_file_bytes) {
    return failure(
        format_message("the file has more than the {} bytes a model may have", max_model_file_bytes));
  }
  return text;
}

}  // namespace velk
