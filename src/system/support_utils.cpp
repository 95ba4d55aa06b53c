#include "system/support_utils.hpp"

#include <array>
#include <string_view>

#include "base/fault.hpp"
#include "base/message_format.hpp"
#include "member/member_dofs.hpp"
#include "system/dof_numbering.hpp"

namespace velk {

namespace {

constexpr std::array<std::string_view, 3> axis_keys = {"X", "Y", "Z"};
constexpr std::array<std::string_view, 3> small_axis_keys = {"x", "y", "z"};

bool is_rotation(int local_dof) { return local_dof >= dof::RX; }

std::string_view condition_group_name(int local_dof) {
  return is_rotation(local_dof) ? "rotation" : "displacement";
}

std::string_view axis_key(int local_dof) { return axis_keys[local_dof % 3]; }

}  // namespace

// The spring stiffness of a Spring condition, or the message why it has none.
Result<double> spring_stiffness(const NodalSupport& support, int local_dof,
                                const SupportCondition& condition) {
  if (!condition.stiffness) {
    return std::unexpected(format_message("Support {} {} {} is Spring but stiffness is missing.", support.id,
                                          condition_group_name(local_dof), axis_key(local_dof)));
  }
  if (!(*condition.stiffness > 0.0)) {
    return std::unexpected(format_message("Support {} {} {} Spring stiffness must be positive.", support.id,
                                          condition_group_name(local_dof), axis_key(local_dof)));
  }
  return *condition.stiffness;
}

SupportTable build_support_table(const std::vector<NodalSupport>& nodal_supports) {
  SupportTable table;
  table.reserve(nodal_supports.size());
  for (const NodalSupport& support : nodal_supports) table[support.id] = &support;
  return table;
}

const NodalSupport* find_support(const Node& node, const SupportTable& supports) {
  if (!node.nodal_support) return nullptr;
  const auto it = supports.find(*node.nodal_support);
  return it == supports.end() ? nullptr : it->second;
}

const SupportCondition* find_condition(const NodalSupport& support, int local_dof) {
  const auto& conditions =
      is_rotation(local_dof) ? support.rotation_conditions : support.displacement_conditions;
  for (const std::string_view key : {axis_keys[local_dof % 3], small_axis_keys[local_dof % 3]}) {
    const auto it = conditions.find(std::string(key));
    if (it != conditions.end()) return &it->second;
  }
  return nullptr;
}

bool is_restrained(const NodalSupport& support, int local_dof) {
  const SupportCondition* condition = find_condition(support, local_dof);
  return condition == nullptr || condition->condition_type == ConditionType::Fixed;
}

std::set<std::int64_t> find_dangling_dofs(const VELK& model) {
  const std::int64_t ndof = dof_count(model.member_sets);
  std::vector<bool> has_stiffness(ndof, false);
  std::vector<bool> restrained(ndof, false);
  std::vector<bool> loaded(ndof, false);
  // Flags that would fall outside the numbering (node id 0, a load on a node
  // no member uses) are dropped: such a DOF does not exist.
  const auto mark = [ndof](std::vector<bool>& flags, std::uint32_t node_id, int local_dof) {
    if (node_in_range(node_id, ndof)) flags[global_dof(node_id, local_dof)] = true;
  };

  const SupportTable supports = build_support_table(model.nodal_supports);
  for (const MemberSet& set : model.member_sets) {
    for (const Member& member : set.members) {
      const int stiff_dofs = member.member_type == MemberType::Normal  ? 6
                             : member.member_type == MemberType::Rigid ? 0
                                                                       : 3;  // translations only
      for (const Node* node : {&member.start_node, &member.end_node}) {
        for (int local = 0; local < stiff_dofs; ++local) mark(has_stiffness, node->id, local);
        const NodalSupport* support = find_support(*node, supports);
        if (support == nullptr) continue;
        for (int local = 0; local < dof::PER_NODE; ++local) {
          const SupportCondition* condition = find_condition(*support, local);
          if (condition == nullptr) continue;
          const bool sprung = condition->stiffness && *condition->stiffness > 0.0;
          if (condition->condition_type == ConditionType::Fixed || sprung) mark(restrained, node->id, local);
        }
      }
    }
  }

  for (const LoadCase& load_case : model.load_cases) {
    for (const NodalLoad& load : load_case.nodal_loads) {
      if (load.magnitude == 0.0) continue;
      for (int k = 0; k < 3; ++k) {
        if (load.direction[k] != 0.0) mark(loaded, load.node, dof::UX + k);
      }
    }
    for (const NodalMoment& moment : load_case.nodal_moments) {
      if (moment.magnitude == 0.0) continue;
      for (int k = 0; k < 3; ++k) {
        if (moment.direction[k] != 0.0) mark(loaded, moment.node, dof::RX + k);
      }
    }
  }

  std::set<std::int64_t> dangling;
  for (std::int64_t i = 0; i < ndof; ++i) {
    if (!has_stiffness[i] && !restrained[i] && !loaded[i]) dangling.insert(dangling.end(), i);
  }
  return dangling;
}

}  // namespace velk
