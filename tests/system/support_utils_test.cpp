// Supports: springs on the diagonal, the restraint rule, dangling rotations of truss-only nodes, messages.
#include "system/support_utils.hpp"

#include <gtest/gtest.h>

#include "support/dense_system.hpp"
#include "support/model_parts.hpp"
#include "system/global_stiffness.hpp"

namespace velk {
namespace {

using test_support::add_support_springs;
using test_support::assemble_global_stiffness;
using test_support::condition;
using test_support::make_member;
using test_support::make_node;
using test_support::model_with;
using test_support::restrained_dofs;

// Two members meeting at node 2, which carries support 1.
VELK two_members(MemberType type = MemberType::Normal) {
  VELK model = model_with({make_member(1, make_node(1, 0, 0, 0), make_node(2, 2, 0, 0, 1), type),
                           make_member(2, make_node(2, 2, 0, 0, 1), make_node(3, 4, 1, 0), type)});
  NodalSupport support;
  support.id = 1;
  model.nodal_supports.push_back(support);
  return model;
}

TEST(SupportSprings, AddedOnceOnTheDiagonal) {
  VELK model = two_members();
  NodalSupport& support = model.nodal_supports[0];
  support.displacement_conditions["x"] = condition(ConditionType::Spring, 5e6);  // small key honoured
  support.rotation_conditions["Z"] = condition(ConditionType::Spring, 7e3);
  support.displacement_conditions["Y"] = condition(ConditionType::PositiveOnly, 1e9);
  const Eigen::MatrixXd without = *assemble_global_stiffness(model_with(model.member_sets[0].members), {});
  const Eigen::MatrixXd with = *assemble_global_stiffness(model, {});
  Eigen::MatrixXd springs = Eigen::MatrixXd::Zero(18, 18);
  springs(6 + 0, 6 + 0) = 5e6;
  springs(6 + 5, 6 + 5) = 7e3;
  EXPECT_TRUE((with - without).isApprox(springs, 1e-9));

  // A support on a node that no member uses changes nothing.
  Eigen::MatrixXd k = Eigen::MatrixXd::Zero(18, 18);
  VELK unused = model_with({make_member(1, make_node(1, 0, 0, 0), make_node(2, 1, 0, 0))});
  ASSERT_TRUE(add_support_springs(unused.member_sets, model.nodal_supports, k));
  EXPECT_TRUE(k.isZero(0.0));
}

TEST(SupportSprings, Messages) {
  struct Case {
    bool rotation;
    const char* axis;
    std::optional<double> stiffness;
    const char* message;
  };
  for (const Case& c :
       {Case{false, "X", 0.0, "Support 1 displacement X Spring stiffness must be positive."},
        Case{false, "y", -3.0, "Support 1 displacement Y Spring stiffness must be positive."},
        Case{true, "Z", std::nullopt, "Support 1 rotation Z is Spring but stiffness is missing."}}) {
    VELK model = two_members();
    auto& conditions = c.rotation ? model.nodal_supports[0].rotation_conditions
                                  : model.nodal_supports[0].displacement_conditions;
    conditions[c.axis] = condition(ConditionType::Spring, c.stiffness);
    Eigen::MatrixXd k = Eigen::MatrixXd::Zero(18, 18);
    EXPECT_EQ(add_support_springs(model.member_sets, model.nodal_supports, k).error(), c.message);
    EXPECT_EQ(assemble_global_stiffness(model, {}).error(), c.message);
  }
}

TEST(RestraintRule, FixedAndAbsentAxesAreRestrained) {
  VELK model = two_members();
  NodalSupport& support = model.nodal_supports[0];
  support.displacement_conditions["Z"] = condition(ConditionType::Free);
  EXPECT_EQ(restrained_dofs(model.member_sets, model.nodal_supports),
            (std::vector<std::int64_t>{6, 7, 9, 10, 11}));
  support.displacement_conditions["x"] = condition(ConditionType::PositiveOnly);
  support.rotation_conditions["Y"] = condition(ConditionType::Spring, 1.0);
  support.rotation_conditions["Z"] = condition(ConditionType::Fixed);
  EXPECT_EQ(restrained_dofs(model.member_sets, model.nodal_supports), (std::vector<std::int64_t>{7, 9, 11}));
  EXPECT_FALSE(is_restrained(support, 0));
  EXPECT_TRUE(is_restrained(support, 1));
}

TEST(DanglingDofs, RotationsOfATrussOnlyNode) {
  VELK model = two_members(MemberType::Truss);
  EXPECT_EQ(find_dangling_dofs(model), (std::set<std::int64_t>{3, 4, 5, 9, 10, 11, 15, 16, 17}));

  // A fixed or sprung rotation, or a nodal moment in any load case, keeps a DOF.
  model.nodal_supports[0].rotation_conditions["X"] = condition(ConditionType::Fixed);
  model.nodal_supports[0].rotation_conditions["y"] = condition(ConditionType::NegativeOnly, 2.0);
  model.nodal_supports[0].rotation_conditions["Z"] = condition(ConditionType::Free);
  LoadCase other_case;
  other_case.id = 9;
  NodalMoment moment;
  moment.node = 3;
  moment.magnitude = 1.0;
  moment.direction = {0, 0, 2};
  other_case.nodal_moments.push_back(moment);
  moment.node = 1;
  moment.magnitude = 0.0;
  other_case.nodal_moments.push_back(moment);
  model.load_cases.push_back(other_case);
  EXPECT_EQ(find_dangling_dofs(model), (std::set<std::int64_t>{3, 4, 5, 11, 15, 16}));

  // Beams leave nothing dangling; rigid members stiffen nothing.
  EXPECT_TRUE(find_dangling_dofs(two_members()).empty());
  EXPECT_EQ(find_dangling_dofs(two_members(MemberType::Rigid)).size(), 18u);
}

}  // namespace
}  // namespace velk
