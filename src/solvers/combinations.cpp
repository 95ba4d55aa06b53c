#include "solvers/combinations.hpp"

#include <algorithm>
#include <cmath>

#include "base/message_format.hpp"
#include "document/units.hpp"
#include "member/lookup_tables.hpp"
#include "member/member_stiffness.hpp"
#include "system/dof_numbering.hpp"
#include "system/load_assembler.hpp"

namespace velk {

Result<Eigen::VectorXd> combined_load_vector(const VELK& model, std::uint32_t combination_id) {
  const LoadCombination* combination = find_combination(model, combination_id);
  if (combination == nullptr)
    return std::unexpected(format_message("LoadCombination {} not found.", combination_id));
  Eigen::VectorXd f = Eigen::VectorXd::Zero(dof_count(model.member_sets));
  for (const auto& [case_id, factor] : combination->load_cases_factors) {
    f += factor * assemble_load_vector(model, case_id);
  }
  return f;
}

std::optional<Eigen::VectorXd> warm_start(const VELK& model, std::uint32_t combination_id) {
  const LoadCombination* combination = find_combination(model, combination_id);
  if (combination == nullptr) return std::nullopt;
  const double length_factor = unit_factors(model.settings.unit_settings).length;
  const Eigen::Index size = dof_count(model.member_sets);
  Eigen::VectorXd u = Eigen::VectorXd::Zero(size);
  for (const auto& [case_id, factor] : combination->load_cases_factors) {
    const LoadCase* load_case = find_load_case(model, case_id);
    if (load_case == nullptr) return std::nullopt;
    if (!model.results || model.results->loadcases.empty()) return std::nullopt;
    const auto stored = model.results->loadcases.find(load_case->name);
    if (stored == model.results->loadcases.end()) return std::nullopt;
    // Results the document carried are in its length unit; results of this
    // analysis are in metres already.
    const double translation_factor = stored->second.computed_in_base_units ? 1.0 : length_factor;
    for (const auto& [node, d] : stored->second.displacement_nodes) {
      if (!node_in_range(node, size)) continue;  // a node this model does not have
      const Eigen::Index row = global_dof(node, dof::UX);
      const double values[6] = {
          d.dx * translation_factor, d.dy * translation_factor, d.dz * translation_factor, d.rx, d.ry, d.rz};
      for (int k = 0; k < 6; ++k) u(row + k) += factor * values[k];
    }
  }
  return u;
}

ActiveMap initial_activity(const VELK& model, const Eigen::VectorXd& u) {
  const LookupTables tables = build_lookup_tables(model);
  const double threshold = model.settings.analysis_options.switching_tolerance();
  ActiveMap active;
  for (const MemberSet& set : model.member_sets) {
    for (const Member& member : set.members) {
      if (!is_one_way(member.member_type)) continue;
      const double n = member_axial_force(member, u, tables);
      // A NaN force fails both comparisons: the member starts inactive.
      active[member.id] = member.member_type == MemberType::Tension ? n >= -threshold : n <= threshold;
    }
  }
  return active;
}

}  // namespace velk
