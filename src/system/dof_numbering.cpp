#include "system/dof_numbering.hpp"

#include <algorithm>
#include <set>

#include "base/message_format.hpp"
#include "member/member_dofs.hpp"

namespace velk {

std::uint32_t largest_node_id(const std::vector<MemberSet>& member_sets) {
  std::uint32_t largest = 0;
  for (const MemberSet& set : member_sets) {
    for (const Member& member : set.members) {
      largest = std::max({largest, member.start_node.id, member.end_node.id});
    }
  }
  return largest;
}

std::int64_t dof_count(const std::vector<MemberSet>& member_sets) {
  return dof::PER_NODE * static_cast<std::int64_t>(largest_node_id(member_sets));
}

Result<void> check_node_ids(const std::vector<MemberSet>& member_sets) {
  std::set<std::uint32_t> used;
  for (const MemberSet& set : member_sets) {
    for (const Member& member : set.members) {
      used.insert(member.start_node.id);
      used.insert(member.end_node.id);
    }
  }
  // Walking the used ids upwards, the first one that skips ahead marks the gap.
  std::uint32_t expected_id = 1;
  for (const std::uint32_t id : used) {
    if (id == 0) continue;
    if (id != expected_id) {
      return std::unexpected(format_message(
          "Node ID {} is missing. Node IDs must be consecutive starting from 1.", expected_id));
    }
    ++expected_id;
  }
  return {};
}

}  // namespace velk
