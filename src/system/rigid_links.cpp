#include "system/rigid_links.hpp"

#include <algorithm>
#include <unordered_set>

#include "base/message_format.hpp"

namespace velk {
namespace {

// A rigid member shorter than this (squared) has no direction.
constexpr double zero_length_squared = 1e-24;
// Walking up a chain of rigid links, more steps than this are taken for a
// loop: no model has a chain of 100000 links.
constexpr std::size_t chain_walk_limit = 100001;

Eigen::Vector3d position(const Node& node) { return {node.x, node.y, node.z}; }

std::size_t depth_of(std::uint32_t master, const SlaveMap& slave_map) {
  std::size_t depth = 0;
  for (auto it = slave_map.find(master); it != slave_map.end() && depth < chain_walk_limit;
       it = slave_map.find(it->second.master)) {
    ++depth;
  }
  return depth;
}

}  // namespace

Result<RigidLinkGraph> build_rigid_links(const std::vector<MemberSet>& member_sets) {
  RigidLinkGraph graph;
  for (const MemberSet& set : member_sets) {
    for (const Member& member : set.members) {
      if (member.member_type != MemberType::Rigid) continue;
      const std::uint32_t master = member.start_node.id;
      const std::uint32_t slave = member.end_node.id;
      const Eigen::Vector3d offset = position(member.end_node) - position(member.start_node);
      if (offset.squaredNorm() < zero_length_squared) {
        return std::unexpected(format_message("Rigid member {} has zero length.", member.id));
      }
      if (graph.slave_map.contains(slave)) {
        return std::unexpected(format_message("Node {} is slave in multiple rigid links.", slave));
      }
      // Walk up from the master: reaching the new slave would close a loop.
      std::size_t steps = 0;
      for (auto it = graph.slave_map.find(master); it != graph.slave_map.end();
           it = graph.slave_map.find(it->second.master)) {
        if (it->second.master == slave) {
          return std::unexpected(format_message("Rigid cycle detected involving node {}.", slave));
        }
        if (++steps >= chain_walk_limit) return std::unexpected("Rigid chain too long (suspected loop).");
      }
      graph.slave_map.emplace(slave, SlaveEntry{master, offset});
      graph.links.push_back(RigidLink{offset, master, slave});
    }
  }
  return graph;
}

void order_rigid_links(std::vector<RigidLink>& links, const SlaveMap& slave_map) {
  std::vector<std::pair<std::size_t, RigidLink>> by_depth;
  by_depth.reserve(links.size());
  for (const RigidLink& link : links) by_depth.emplace_back(depth_of(link.master, slave_map), link);
  std::stable_sort(by_depth.begin(), by_depth.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (std::size_t i = 0; i < links.size(); ++i) links[i] = by_depth[i].second;
}

void orient_rigid_links(std::vector<RigidLink>& links, const VELK& model) {
  std::unordered_set<std::uint32_t> support_ids;
  for (const NodalSupport& support : model.nodal_supports) support_ids.insert(support.id);
  std::unordered_set<std::uint32_t> anchored;
  for (const MemberSet& set : model.member_sets) {
    for (const Member& member : set.members) {
      for (const Node* node : {&member.start_node, &member.end_node}) {
        if (member.member_type != MemberType::Rigid ||
            (node->nodal_support && support_ids.contains(*node->nodal_support))) {
          anchored.insert(node->id);
        }
      }
    }
  }
  // A node may follow only one master: a link is not turned when its master
  // already follows another link, or the master would become a slave twice
  // and its rows of T would add up two masters' motions.
  std::unordered_set<std::uint32_t> slaves;
  for (const RigidLink& link : links) slaves.insert(link.slave);
  for (RigidLink& link : links) {
    if (anchored.contains(link.slave) && !anchored.contains(link.master) && !slaves.contains(link.master)) {
      slaves.erase(link.slave);
      slaves.insert(link.master);
      std::swap(link.master, link.slave);
      link.offset = -link.offset;
    }
  }
}

Result<std::vector<RigidLink>> oriented_rigid_links(const VELK& model) {
  auto graph = build_rigid_links(model.member_sets);
  if (!graph) return std::unexpected(std::move(graph.error()));
  order_rigid_links(graph->links, graph->slave_map);
  orient_rigid_links(graph->links, model);
  return std::move(graph->links);
}

}  // namespace velk
