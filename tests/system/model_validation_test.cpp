// The shared model validation: the member-count limit and the node
// numbering, with the engine's and the model check's sentences.

#include "system/model_validation.hpp"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace velk {
namespace {

// One member set of members between the given node ids, numbered 1, 2, ...
VELK model_of(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& ends) {
  VELK model;
  MemberSet set;
  std::uint32_t id = 0;
  for (const auto& [a, b] : ends) {
    Member member;
    member.id = ++id;
    member.start_node.id = a;
    member.end_node.id = b;
    set.members.push_back(member);
  }
  model.member_sets.push_back(set);
  return model;
}

TEST(ModelValidation, TheMemberCountLimitAllowsAHundredMembers) {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> ends;
  for (std::uint32_t i = 1; i <= max_member_count; ++i) ends.emplace_back(i, i + 1);
  VELK model = model_of(ends);
  EXPECT_EQ(member_count(model), 100u);
  EXPECT_TRUE(check_member_count(model).has_value());
  // The count runs over every member set.
  model.member_sets.push_back(model_of({{1, 2}}).member_sets.front());
  EXPECT_EQ(member_count(model), 101u);
  EXPECT_EQ(check_member_count(model).error(), "Number of members (101) exceeds allowed maximum of 100");
}

TEST(ModelValidation, ConsecutiveIdsFromOneAreTheNumbering) {
  const VELK model = model_of({{2, 1}, {2, 3}, {3, 4}});
  const NodeNumbering numbering = node_numbering(model.member_sets);
  EXPECT_EQ(numbering.node_count, 4u);
  EXPECT_FALSE(numbering.first_missing);
  EXPECT_TRUE(numbering.outside.empty());
  EXPECT_TRUE(check_node_ids(model.member_sets).has_value());
}

TEST(ModelValidation, AGapIsNamedByTheSolversAndEachIdBeyondItByTheCheck) {
  // Ids 1, 2, 5, 9: 3 is the first missing, 5 and 9 lie outside 1..4.
  const VELK model = model_of({{1, 2}, {2, 5}, {9, 5}});
  const NodeNumbering numbering = node_numbering(model.member_sets);
  EXPECT_EQ(numbering.first_missing, 3u);
  ASSERT_EQ(numbering.outside.size(), 2u);
  EXPECT_EQ(numbering.outside[0].node, 5u);
  EXPECT_EQ(numbering.outside[0].member, 2u);  // the first member that uses it
  EXPECT_EQ(numbering.outside[1].node, 9u);
  EXPECT_EQ(numbering.outside[1].member, 3u);
  EXPECT_EQ(check_node_ids(model.member_sets).error(),
            "Node ID 3 is missing. Node IDs must be consecutive starting from 1.");
  EXPECT_EQ(misnumbered_node_message(numbering, numbering.outside[0]),
            "Node id 5 is outside 1..4: the 4 nodes must be numbered from 1 without gaps");
}

TEST(ModelValidation, NodeZeroIsOutsideForTheCheckAndPassedOverByTheSolvers) {
  const VELK model = model_of({{0, 1}, {1, 2}});
  const NodeNumbering numbering = node_numbering(model.member_sets);
  EXPECT_EQ(numbering.node_count, 3u);
  ASSERT_EQ(numbering.outside.size(), 1u);
  EXPECT_EQ(numbering.outside[0].node, 0u);
  EXPECT_TRUE(check_node_ids(model.member_sets).has_value());
}

}  // namespace
}  // namespace velk
