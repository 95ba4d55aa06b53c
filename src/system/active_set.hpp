#pragma once
// The active set of a solve: which Tension and Compression members carry
// load in the current state.

#include <cstdint>
#include <unordered_map>

#include "document/structure_records.hpp"
#include "member/member_dofs.hpp"

namespace velk {

// Tension and Compression members by id: true when active. An id that is
// absent counts as active.
using ActiveMap = std::unordered_map<std::uint32_t, bool>;

inline bool is_active(const ActiveMap& active, std::uint32_t member_id) {
  const auto it = active.find(member_id);
  return it == active.end() || it->second;
}

// A Tension or Compression member that the active set has switched off.
inline bool is_switched_off(const Member& member, const ActiveMap& active) {
  return is_one_way(member.member_type) && !is_active(active, member.id);
}

// Inactive Tension and Compression members keep this share of their stiffness.
inline constexpr double inactive_stiffness_factor = 1e-10;

}  // namespace velk
