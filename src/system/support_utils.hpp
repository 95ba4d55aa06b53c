#pragma once
// Nodal supports: spring stiffness on the diagonal of the global stiffness,
// the restraint rule, and the degrees of freedom that carry nothing at all.

#include <Eigen/Dense>
#include <cstdint>
#include <expected>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/result.hpp"
#include "document/velk.hpp"
#include "system/dof_numbering.hpp"

namespace velk {

using SupportTable = std::unordered_map<std::uint32_t, const NodalSupport*>;

// Supports by id; a later duplicate id replaces an earlier one.
SupportTable build_support_table(const std::vector<NodalSupport>& nodal_supports);

// The node's support, or nullptr when it names none or one not in the table.
const NodalSupport* find_support(const Node& node, const SupportTable& supports);

// The condition of local DOF k (0..2 displacement X, Y, Z; 3..5 rotation
// X, Y, Z), looked up by the capital axis key and then by the small one.
const SupportCondition* find_condition(const NodalSupport& support, int local_dof);

// The stiffness of a Spring condition of local DOF k, or "Support {} {} {}
// is Spring but stiffness is missing." / "Support {} {} {} Spring stiffness
// must be positive.".
Result<double> spring_stiffness(const NodalSupport& support, int local_dof,
                                const SupportCondition& condition);

// A supported DOF is held at zero displacement when its condition is Fixed
// or absent.
bool is_restrained(const NodalSupport& support, int local_dof);

// Calls visit(global DOF, stiffness) for every Spring axis of the supports
// of member nodes, each node once in walk order, displacement axes X, Y, Z
// then rotation axes; fails with the message of the first spring without a
// positive stiffness. `size` bounds the DOF indices (6 N).
template <class Visit>
Result<void> for_each_support_spring(const std::vector<MemberSet>& member_sets, const SupportTable& supports,
                                     std::int64_t size, Visit&& visit) {
  Result<void> outcome;
  for_each_node_once(member_sets, [&](const Node& node) {
    if (!outcome) return;
    const NodalSupport* support = find_support(node, supports);
    if (support == nullptr) return;
    for (int local = 0; local < 6; ++local) {
      const SupportCondition* condition = find_condition(*support, local);
      if (condition == nullptr || condition->condition_type != ConditionType::Spring) continue;
      const Result<double> stiffness = spring_stiffness(*support, local, *condition);
      if (!stiffness) {
        outcome = std::unexpected(stiffness.error());
        return;
      }
      visit(checked_dof(node.id, local, size), *stiffness);
    }
  });
  return outcome;
}

// DOFs without stiffness from any member, without a fixed or sprung support
// condition and without a nodal load or moment in any load case.
std::set<std::int64_t> find_dangling_dofs(const VELK& model);

}  // namespace velk
