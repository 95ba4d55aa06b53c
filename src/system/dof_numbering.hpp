#pragma once
// The nodes that the global degree-of-freedom numbering (member/member_dofs.hpp)
// counts: the start and end nodes of members, with ids 1..N without gaps
// (checked by check_node_ids, system/model_validation.hpp).

#include <cstdint>
#include <unordered_set>
#include <vector>

#include "document/velk.hpp"
#include "member/member_dofs.hpp"

namespace velk {

// Largest start or end node id of any member; 0 without members.
std::uint32_t largest_node_id(const std::vector<MemberSet>& member_sets);

// 6 N.
std::int64_t dof_count(const std::vector<MemberSet>& member_sets);

// Calls visit(node) for every member's start node and then end node, member
// sets in model order and members in set order, each node id once.
template <class Visit>
void for_each_node_once(const std::vector<MemberSet>& member_sets, Visit&& visit) {
  std::unordered_set<std::uint32_t> seen;
  for (const MemberSet& set : member_sets) {
    for (const Member& member : set.members) {
      for (const Node* node : {&member.start_node, &member.end_node}) {
        if (seen.insert(node->id).second) visit(*node);
      }
    }
  }
}

}  // namespace velk
