#pragma once
// The nodes that the global degree-of-freedom numbering (member/member_dofs.hpp)
// counts: the start and end nodes of members, with ids 1..N without gaps.

#include <cstdint>
#include <expected>
#include <string>
#include <unordered_set>
#include <vector>

#include "base/result.hpp"
#include "document/velk.hpp"
#include "member/member_dofs.hpp"

namespace velk {

// Largest start or end node id of any member; 0 without members.
std::uint32_t largest_node_id(const std::vector<MemberSet>& member_sets);

// 6 N.
std::int64_t dof_count(const std::vector<MemberSet>& member_sets);

// The first id in 1..N that no member uses, as the message "Node ID {} is
// missing. Node IDs must be consecutive starting from 1.".
Result<void> check_node_ids(const std::vector<MemberSet>& member_sets);

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
