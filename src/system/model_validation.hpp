#pragma once
// The checks of a model that every entry shares, each with its one wording:
// the member-count limit of an analysis and the numbering of the nodes. The
// solvers run them before anything is sized by the model (the largest node
// id sets the length of every vector, so a gap below a huge id is reported
// before 6 N entries are allocated), and the model check of `velk check`
// reports from the same checks.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <vector>

#include "base/result.hpp"
#include "document/velk.hpp"

namespace velk {

// The largest number of members a model may have.
inline constexpr std::size_t max_member_count = 100;

// The members of every member set.
std::size_t member_count(const VELK& model);

// Fails with "Number of members (<count>) exceeds allowed maximum of 100"
// beyond max_member_count.
Result<void> check_member_count(const VELK& model);

// The most members a front end lets a model have (`velk --max-members`,
// `max_members=` of velk_tools), and the option that raises it.
struct MemberLimit {
  std::size_t max = max_member_count;
  std::string option;  // as the front end spells it; empty: the module's own wording
};

// The most members a front end may be asked to take.
inline constexpr std::size_t max_member_limit = 1000000;

// Fails beyond limit.max with "Number of members (<count>) exceeds allowed
// maximum of <max>; raise the limit with <option>", or with the module's own
// message when the limit names no option.
Result<void> check_member_count(const VELK& model, const MemberLimit& limit);

// A node id that breaks the numbering rule (ids 1..N without gaps, N the
// number of distinct ids), with the first member that uses it.
struct MisnumberedNode {
  std::uint32_t node = 0;
  std::uint32_t member = 0;
};

// How the members number their nodes.
struct NodeNumbering {
  std::size_t node_count = 0;  // distinct ids, 0 included
  // The first id in 1..N that no member uses, ids 0 left aside: the gap the
  // solvers report.
  std::optional<std::uint32_t> first_missing;
  // Every id outside 1..node_count, ascending, 0 included.
  std::vector<MisnumberedNode> outside;
};

NodeNumbering node_numbering(const std::vector<MemberSet>& member_sets);

// The solvers' check: the first gap as "Node ID {} is missing. Node IDs must
// be consecutive starting from 1.".
Result<void> check_node_ids(const std::vector<MemberSet>& member_sets);

// The model check's finding of one misnumbered node: "Node id {} is outside
// 1..{}: the {} nodes must be numbered from 1 without gaps".
std::string misnumbered_node_message(const NodeNumbering& numbering, const MisnumberedNode& node);

}  // namespace velk
