#include "results/reactions.hpp"

#include <algorithm>
#include <unordered_set>

#include "member/member_dofs.hpp"
#include "results/node_vectors.hpp"
#include "system/load_assembler.hpp"
#include "system/rigid_links.hpp"
#include "system/support_utils.hpp"

namespace velk {
namespace {

// Calls visit(node, support) for every member node whose support is in the
// table, each node once, in node-walk order.
template <class Visit>
void for_each_supported_node(const VELK& model, const SupportTable& supports, Visit&& visit) {
  std::unordered_set<std::uint32_t> seen;
  for (const MemberSet& set : model.member_sets) {
    for (const Member& member : set.members) {
      for (const Node* node : {&member.start_node, &member.end_node}) {
        if (!seen.insert(node->id).second) continue;
        if (const NodalSupport* support = find_support(*node, supports)) visit(*node, *support);
      }
    }
  }
}

// The node's entry of the balance, zero when it has none yet.
Vector6& at(NodalBalance& balance, std::uint32_t node_id) {
  return balance.try_emplace(node_id, Vector6::Zero()).first->second;
}

// Depth of a node in the oriented link forest: the steps up to its root.
std::size_t oriented_depth(std::uint32_t node,
                           const std::unordered_map<std::uint32_t, std::uint32_t>& master_of) {
  std::size_t depth = 0;
  for (auto it = master_of.find(node); it != master_of.end() && depth <= master_of.size();
       it = master_of.find(it->second)) {
    ++depth;
  }
  return depth;
}

}  // namespace

Result<Eigen::VectorXd> compute_spring_forces(const VELK& model, const Eigen::VectorXd& u) {
  // The same walk and checks as the spring assembly.
  Eigen::VectorXd springs = Eigen::VectorXd::Zero(u.size());
  auto walked =
      for_each_support_spring(model.member_sets, build_support_table(model.nodal_supports), u.size(),
                              [&](std::int64_t d, double stiffness) { springs(d) += stiffness * u(d); });
  if (!walked) return std::unexpected(std::move(walked.error()));
  return springs;
}

Result<NodalBalance> compute_nodal_balance(const VELK& model, const MemberResults& members,
                                           const ActiveMap& active, ResultType identity) {
  NodalBalance balance;
  for (const MemberSet& set : model.member_sets) {
    for (const Member& member : set.members) {
      if (member.member_type == MemberType::Rigid) continue;
      if (is_switched_off(member, active)) continue;
      const auto result = members.find(member.id);
      if (result == members.end()) continue;
      at(balance, member.start_node.id) += force_vector(result->second.start_node_forces);
      at(balance, member.end_node.id) += force_vector(result->second.end_node_forces);
    }
  }
  // The loads applied at a node are what the members and the support
  // together hold against.
  for (const auto& [load_case, factor] : factored_load_cases(model, identity)) {
    for (const NodalLoad& load : load_case->nodal_loads) {
      Vector6& b = at(balance, load.node);
      for (int k = 0; k < 3; ++k) b(dof::UX + k) -= load.magnitude * load.direction[k] * factor;
    }
    for (const NodalMoment& moment : load_case->nodal_moments) {
      Vector6& b = at(balance, moment.node);
      for (int k = 0; k < 3; ++k) b(dof::RX + k) -= moment.magnitude * moment.direction[k] * factor;
    }
  }

  // Carry each slave's balance to its master, deepest slaves first so that a
  // chain delivers everything to its root, along the links as the
  // constraints orient them (towards the supported node).
  auto links = oriented_rigid_links(model);
  if (!links) return std::unexpected(std::move(links.error()));
  std::unordered_map<std::uint32_t, std::uint32_t> master_of;
  for (const RigidLink& link : *links) master_of[link.slave] = link.master;
  std::vector<std::pair<std::size_t, const RigidLink*>> by_depth;
  for (const RigidLink& link : *links) by_depth.emplace_back(oriented_depth(link.slave, master_of), &link);
  std::stable_sort(by_depth.begin(), by_depth.end(),
                   [](const auto& a, const auto& b) { return a.first > b.first; });
  for (const auto& [depth, link] : by_depth) {
    const auto slave = balance.find(link->slave);
    if (slave == balance.end()) continue;
    const Vector6 s = slave->second;
    balance.erase(slave);
    if ((s.array() == 0.0).all()) continue;
    Vector6& m = at(balance, link->master);
    const double rx = link->offset.x(), ry = link->offset.y(), rz = link->offset.z();
    m(0) += s(0);
    m(1) += s(1);
    m(2) += s(2);
    // The slave's moments plus the moment of its forces about the master: r x f.
    m(3) += s(3) + (ry * s(2) - rz * s(1));
    m(4) += s(4) + (rz * s(0) - rx * s(2));
    m(5) += s(5) + (rx * s(1) - ry * s(0));
  }
  return balance;
}

Eigen::VectorXd compute_reactions(const VELK& model, const NodalBalance& balance,
                                  const Eigen::VectorXd& springs) {
  Eigen::VectorXd r = Eigen::VectorXd::Zero(springs.size());
  const SupportTable supports = build_support_table(model.nodal_supports);
  for_each_supported_node(model, supports, [&](const Node& node, const NodalSupport& support) {
    const auto it = balance.find(node.id);
    const Vector6 b = it == balance.end() ? Vector6::Zero() : it->second;
    for (int k = 0; k < dof::PER_NODE; ++k) {
      const double held = b(k);
      const Eigen::Index d = checked_dof(node.id, k, r.size());
      const SupportCondition* condition = find_condition(support, k);
      if (condition == nullptr) {
        r(d) = held;
        continue;
      }
      switch (condition->condition_type) {
        case ConditionType::Fixed:
          r(d) = held;
          break;
        case ConditionType::Free:
          r(d) = 0.0;
          break;
        case ConditionType::Spring:
          r(d) = -springs(d);
          break;  // the spring pulls back against u
        case ConditionType::PositiveOnly:
          r(d) = std::max(held, 0.0);
          break;
        case ConditionType::NegativeOnly:
          r(d) = std::min(held, 0.0);
          break;
      }
    }
  });
  return r;
}

std::map<std::uint32_t, ReactionNodeResult> collect_reaction_nodes(const VELK& model,
                                                                   const Eigen::VectorXd& r) {
  std::map<std::uint32_t, ReactionNodeResult> records;
  std::unordered_map<std::uint32_t, NodeLocation> first_location;
  for (const MemberSet& set : model.member_sets) {
    for (const Member& member : set.members) {
      for (const Node* node : {&member.start_node, &member.end_node}) {
        first_location.try_emplace(node->id, NodeLocation{node->x, node->y, node->z});
        if (!node->nodal_support) continue;
        const Eigen::Index d = checked_node_dofs(node->id, r.size());
        ReactionNodeResult record;
        record.nodal_forces = node_forces(r.segment<6>(d));
        record.location = first_location.at(node->id);
        record.support_id = *node->nodal_support;
        records.insert_or_assign(node->id, record);
      }
    }
  }
  return records;
}

}  // namespace velk
