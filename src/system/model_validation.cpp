#include "system/model_validation.hpp"

#include <map>

#include "base/message_format.hpp"

namespace velk {

std::size_t member_count(const VELK& model) {
  std::size_t count = 0;
  for (const MemberSet& set : model.member_sets) count += set.members.size();
  return count;
}

Result<void> check_member_count(const VELK& model) {
  const std::size_t count = member_count(model);
  if (count <= max_member_count) return {};
  return std::unexpected(
      format_message("Number of members ({}) exceeds allowed maximum of {}", count, max_member_count));
}

Result<void> check_member_count(const VELK& model, const MemberLimit& limit) {
  const std::size_t count = member_count(model);
  if (count <= limit.max) return {};
  if (limit.option.empty()) {
    return std::unexpected(
        format_message("Number of members ({}) exceeds allowed maximum of {}", count, limit.max));
  }
  return std::unexpected(
      format_message("Number of members ({}) exceeds allowed maximum of {}; raise the limit with {}", count,
                     limit.max, limit.option));
}

NodeNumbering node_numbering(const std::vector<MemberSet>& member_sets) {
  // Each id with the first member that uses it, ascending.
  std::map<std::uint32_t, std::uint32_t> first_member;
  for (const MemberSet& set : member_sets) {
    for (const Member& member : set.members) {
      first_member.try_emplace(member.start_node.id, member.id);
      first_member.try_emplace(member.end_node.id, member.id);
    }
  }
  NodeNumbering numbering;
  numbering.node_count = first_member.size();
  // Walking the used ids upwards, the first one that skips ahead marks the gap.
  std::uint32_t expected_id = 1;
  for (const auto& [id, member] : first_member) {
    if (id == 0 || id > numbering.node_count) numbering.outside.push_back(MisnumberedNode{id, member});
    if (id == 0 || numbering.first_missing) continue;
    if (id != expected_id) {
      numbering.first_missing = expected_id;
    } else {
      ++expected_id;
    }
  }
  return numbering;
}

Result<void> check_node_ids(const std::vector<MemberSet>& member_sets) {
  const NodeNumbering numbering = node_numbering(member_sets);
  if (!numbering.first_missing) return {};
  return std::unexpected(format_message(
      "Node ID {} is missing. Node IDs must be consecutive starting from 1.", *numbering.first_missing));
}

std::string misnumbered_node_message(const NodeNumbering& numbering, const MisnumberedNode& node) {
  return format_message("Node id {} is outside 1..{}: the {} nodes must be numbered from 1 without gaps",
                        node.node, numbering.node_count, numbering.node_count);
}

}  // namespace velk
