#include "member/member_dofs.hpp"

#include "base/fault.hpp"

namespace velk {

std::int64_t checked_dof(std::uint32_t node_id, int local_dof, std::int64_t size) {
  const std::int64_t index = global_dof(node_id, local_dof);
  if (index < 0 || index >= size) throw Fault("Matrix index out of bounds.");
  return index;
}

std::int64_t checked_node_dofs(std::uint32_t node_id, std::int64_t size) {
  if (!node_in_range(node_id, size)) throw Fault("Matrix index out of bounds.");
  return global_dof(node_id, dof::UX);
}

}  // namespace velk
