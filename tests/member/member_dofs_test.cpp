// The global DOF index of a node and its bounds fault, one DOF and a node's six.
#include "member/member_dofs.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

#include "base/fault.hpp"
#include "support/expect_fault.hpp"

namespace velk {
namespace {

struct DofCase {
  const char* name;
  std::uint32_t node;
  int local;
  std::int64_t size;
  std::optional<std::int64_t> index;  // nothing: out of bounds
};

class CheckedDof : public ::testing::TestWithParam<DofCase> {};

TEST_P(CheckedDof, IsSixPerNodeFromOneOrTheBoundsFault) {
  const DofCase& c = GetParam();
  if (c.index) {
    EXPECT_EQ(checked_dof(c.node, c.local, c.size), *c.index);
    EXPECT_EQ(global_dof(c.node, c.local), *c.index);
    return;
  }
  EXPECT_FAULT(checked_dof(c.node, c.local, c.size), "Matrix index out of bounds.");
}

INSTANTIATE_TEST_SUITE_P(Boundaries, CheckedDof,
                         ::testing::Values(DofCase{"first", 1, dof::UX, 12, 0},
                                           DofCase{"first_rotation", 1, dof::RX, 12, 3},
                                           DofCase{"last", 2, dof::RZ, 12, 11},
                                           DofCase{"second_node_uy", 2, dof::UY, 12, 7},
                                           DofCase{"large_id", 100001, dof::RY, 600006, 600004},
                                           DofCase{"one_past_the_end", 3, dof::UX, 12, std::nullopt},
                                           DofCase{"node_zero", 0, dof::RZ, 12, std::nullopt},
                                           DofCase{"short_vector", 2, dof::RZ, 11, std::nullopt},
                                           DofCase{"empty", 1, dof::UX, 0, std::nullopt}),
                         [](const auto& info) { return info.param.name; });

struct NodeCase {
  const char* name;
  std::uint32_t node;
  std::int64_t size;
  bool in_range;
};

class NodeDofs : public ::testing::TestWithParam<NodeCase> {};

// A node's six DOFs are in range together or not at all: a vector that
// ends inside a node's block has none of that node.
TEST_P(NodeDofs, AllSixOrAFault) {
  const NodeCase& c = GetParam();
  EXPECT_EQ(node_in_range(c.node, c.size), c.in_range);
  if (c.in_range) {
    EXPECT_EQ(checked_node_dofs(c.node, c.size), 6 * (static_cast<std::int64_t>(c.node) - 1));
    return;
  }
  EXPECT_FAULT(checked_node_dofs(c.node, c.size), "Matrix index out of bounds.");
}

INSTANTIATE_TEST_SUITE_P(Boundaries, NodeDofs,
                         ::testing::Values(NodeCase{"first", 1, 6, true}, NodeCase{"last", 2, 12, true},
                                           NodeCase{"block_cut_short", 2, 11, false},
                                           NodeCase{"block_begins_at_end", 3, 12, false},
                                           NodeCase{"node_zero", 0, 12, false},
                                           NodeCase{"empty", 1, 0, false}),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace velk
