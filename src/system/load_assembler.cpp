#include "system/load_assembler.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <unordered_map>

#include "base/result.hpp"
#include "member/distributed_load.hpp"
#include "member/hinge_and_release_operations.hpp"
#include "member/member_geometry.hpp"
#include "member/member_stiffness.hpp"
#include "member/rigid_member.hpp"
#include "system/dof_numbering.hpp"

namespace velk {

namespace {

using namespace dof;

// The local stiffness the member's releases are condensed with, when the
// member has one in the assembly.
std::optional<Matrix12> condensation_stiffness(const VELK& model, const Member& member,
                                               const LookupTables& tables) {
  switch (member.member_type) {
    case MemberType::Normal:
      // Without a section the assembly reports the member; the load stays as it is.
      if (!member.section) return std::nullopt;
      return local_stiffness_matrix(member, tables);
    case MemberType::Rigid: {
      if (model.settings.analysis_options.rigid_strategy != RigidStrategy::RigidMember) return std::nullopt;
      const Result<Matrix12> k_local = rigid_member_local_stiffness(model, member, tables);
      if (!k_local) return std::nullopt;
      return *k_local;
    }
    default:
      return std::nullopt;
  }
}

template <class Load>
void add_nodal(Eigen::VectorXd& f, const Load& load, int first_local_dof) {
  for (int k = 0; k < 3; ++k) {
    if (load.direction[k] == 0.0) continue;
    f(checked_dof(load.node, first_local_dof + k, f.size())) += load.direction[k] * load.magnitude;
  }
}

}  // namespace

const LoadCase* find_load_case(const VELK& model, std::uint32_t load_case_id) {
  const auto it = std::find_if(model.load_cases.begin(), model.load_cases.end(),
                               [&](const LoadCase& c) { return c.id == load_case_id; });
  return it == model.load_cases.end() ? nullptr : &*it;
}

const LoadCombination* find_combination(const VELK& model, std::uint32_t combination_id) {
  const auto it = std::find_if(model.load_combinations.begin(), model.load_combinations.end(),
                               [&](const LoadCombination& c) { return c.id == combination_id; });
  return it == model.load_combinations.end() ? nullptr : &*it;
}

std::vector<std::pair<const LoadCase*, double>> factored_load_cases(const VELK& model, ResultType identity) {
  std::vector<std::pair<const LoadCase*, double>> cases;
  if (!identity.is_combination()) {
    if (const LoadCase* load_case = find_load_case(model, identity.id)) cases.emplace_back(load_case, 1.0);
    return cases;
  }
  const LoadCombination* combination = find_combination(model, identity.id);
  if (combination == nullptr) return cases;
  for (const auto& [case_id, factor] : combination->load_cases_factors) {
    if (const LoadCase* load_case = find_load_case(model, case_id)) cases.emplace_back(load_case, factor);
  }
  return cases;
}

Vector12 distributed_load_nodal_vector(const VELK& model, const Member& member, const DistributedLoad& load,
                                       const LookupTables& tables) {
  Vector12 p_local = equivalent_load_vector(member, load);
  if (!is_axial_only(member.member_type)) {
    const ReleasePattern pattern = member_release_pattern(member, tables.hinges);
    if (has_releases(pattern)) {
      // A release pattern the stiffness cannot condense stops the assembly;
      // until then the load stays that of the fixed member.
      if (const std::optional<Matrix12> k_local = condensation_stiffness(model, member, tables)) {
        if (Result<Vector12> condensed = condense_end_load_vector(*k_local, pattern, p_local)) {
          p_local = *condensed;
        }
      }
    }
  }
  return local_to_global(p_local, rotation_matrix(member));
}

Eigen::VectorXd assemble_load_vector(const VELK& model, std::uint32_t load_case_id) {
  Eigen::VectorXd f = Eigen::VectorXd::Zero(dof_count(model.member_sets));
  const auto load_case = std::ranges::find(model.load_cases, load_case_id, &LoadCase::id);
  if (load_case == model.load_cases.end()) return f;

  for (const NodalLoad& load : load_case->nodal_loads) add_nodal(f, load, UX);
  for (const NodalMoment& moment : load_case->nodal_moments) add_nodal(f, moment, RX);

  std::optional<LookupTables> tables;
  // The loaded member by id, the first in document order, found without a
  // search through every member for every load.
  std::unordered_map<std::uint32_t, const Member*> members;
  if (!load_case->distributed_loads.empty()) {
    for (const MemberSet& set : model.member_sets) {
      for (const Member& member : set.members) members.try_emplace(member.id, &member);
    }
  }
  for (const DistributedLoad& load : load_case->distributed_loads) {
    if (load.load_case != load_case_id) continue;
    const auto found = members.find(load.member);
    if (found == members.end()) continue;
    const Member* member = found->second;
    if (std::abs(load.end_frac - load.start_frac) < min_loaded_fraction) continue;
    if (!tables) tables = build_lookup_tables(model);
    const Vector12 p_global = distributed_load_nodal_vector(model, *member, load, *tables);
    const std::int64_t a = checked_node_dofs(member->start_node.id, f.size());
    const std::int64_t b = checked_node_dofs(member->end_node.id, f.size());
    f.segment<6>(a) += p_global.head<6>();
    f.segment<6>(b) += p_global.tail<6>();
  }
  return f;
}

}  // namespace velk
