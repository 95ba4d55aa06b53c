#include "system/dof_numbering.hpp"

#include <algorithm>

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

}  // namespace velk
