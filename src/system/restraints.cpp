#include "system/restraints.hpp"

#include <cmath>
#include <unordered_set>

#include "member/member_dofs.hpp"
#include "system/dof_numbering.hpp"
#include "system/support_utils.hpp"

namespace velk {
namespace {

// A row counts as one-hot when the other entries' squares sum to at most
// this share of the pivot's square (0.05 squared).
constexpr double one_hot_tolerance = 0.05;
constexpr double one_hot_share = one_hot_tolerance * one_hot_tolerance;

}  // namespace

std::vector<Restraint> plan_restraints(const VELK& model, const ConstraintTransform& t) {
  const SupportTable supports = build_support_table(model.nodal_supports);
  std::vector<Restraint> plan;
  std::unordered_set<Eigen::Index> handled;
  for (const MemberSet& set : model.member_sets) {
    for (const Member& member : set.members) {
      for (const Node* node : {&member.start_node, &member.end_node}) {
        const NodalSupport* support = find_support(*node, supports);
        if (support == nullptr) continue;
        for (int k = 0; k < dof::PER_NODE; ++k) {
          const SupportCondition* condition = find_condition(*support, k);
          if (condition != nullptr && condition->condition_type != ConditionType::Fixed) continue;
          const Eigen::Index d = global_dof(node->id, k);
          if (!handled.insert(d).second) continue;
          Restraint restraint{node->id, k, Restraint::Method::Penalty, 0, d};
          if (const auto it = t.retained.find(d); it != t.retained.end()) {
            restraint.method = Restraint::Method::ExactRetained;
            restraint.column = it->second;
          } else {
            // The pivot is the largest entry, the first one on ties.
            const std::span<const TransformEntry> v = t.row(d);
            const TransformEntry* pivot = nullptr;
            for (const TransformEntry& entry : v) {
              if (pivot == nullptr || std::fabs(entry.weight) > std::fabs(pivot->weight)) pivot = &entry;
            }
            if (pivot != nullptr && pivot->weight != 0.0) {
              double others = 0.0;
              for (const TransformEntry& entry : v) {
                if (&entry != pivot) others += entry.weight * entry.weight;
              }
              if (others <= one_hot_share * pivot->weight * pivot->weight) {
                restraint.method = Restraint::Method::ExactOneHot;
                restraint.column = pivot->column;
              }
            }
          }
          plan.push_back(restraint);
        }
      }
    }
  }
  return plan;
}

}  // namespace velk
