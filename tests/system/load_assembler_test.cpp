// The load vector: nodal and member loads, static equivalence, rigid releases, propped-cantilever reactions.
#include "system/load_assembler.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "base/fault.hpp"
#include "support/dense_system.hpp"
#include "support/model_parts.hpp"
#include "system/global_stiffness.hpp"
#include "system/support_utils.hpp"

namespace velk {
namespace {

using namespace dof;
using test_support::assemble_global_stiffness;
using test_support::make_member;
using test_support::make_node;
using test_support::model_with;
using test_support::restrained_dofs;

DistributedLoad distributed(std::uint32_t member, double w1, double w2, double a, double b, Vec3 direction,
                            std::uint32_t load_case = 1) {
  return DistributedLoad{member, load_case, w1, direction, a, b, w2};
}

VELK with_case(VELK model, LoadCase load_case) {
  load_case.id = 1;
  model.load_cases.push_back(std::move(load_case));
  return model;
}

TEST(LoadVector, NodalLoadsAndMoments) {
  const VELK frame = model_with({make_member(1, make_node(1, 0, 0, 0), make_node(2, 1, 0, 0)),
                                 make_member(2, make_node(2, 1, 0, 0), make_node(3, 2, 0, 0))});
  LoadCase load_case;
  NodalLoad load;
  load.node = 3;
  load.magnitude = 10;
  load.direction = {0, -1, 0};
  load_case.nodal_loads = {load, load};
  NodalMoment moment;
  moment.node = 1;
  moment.magnitude = 4;
  moment.direction = {0.5, 0, 0};
  load_case.nodal_moments = {moment};
  const Eigen::VectorXd f = assemble_load_vector(with_case(frame, load_case), 1);
  EXPECT_EQ(f.size(), 18);
  EXPECT_EQ(f(13), -20.0);
  EXPECT_EQ(f(RX), 2.0);
  EXPECT_EQ((f.array() != 0.0).count(), 2);
  EXPECT_TRUE(assemble_load_vector(with_case(frame, load_case), 2).isZero(0.0));

  // A zero component adds nothing, even with an infinite magnitude; a load
  // on a node no member uses is a fault.
  load.node = 2;
  load.magnitude = std::numeric_limits<double>::infinity();
  load.direction = {0, 0, 1};
  load_case.nodal_loads = {load};
  EXPECT_EQ(assemble_load_vector(with_case(frame, load_case), 1)(6 + UX), 0.0);
  load.node = 4;
  load_case.nodal_loads = {load};
  EXPECT_THROW(assemble_load_vector(with_case(frame, load_case), 1), Fault);
  load.node = 0;
  load_case.nodal_loads = {load};
  EXPECT_THROW(assemble_load_vector(with_case(frame, load_case), 1), Fault);
}

TEST(LoadVector, DistributedLoadsOnAMemberAlongX) {
  const VELK beam = model_with({make_member(1, make_node(1, 0, 0, 0), make_node(2, 4, 0, 0))});
  LoadCase load_case;
  load_case.distributed_loads = {distributed(1, 2, 2, 0, 1, {0, -1, 0})};
  Eigen::VectorXd f = assemble_load_vector(with_case(beam, load_case), 1);
  EXPECT_DOUBLE_EQ(f(UY), -4);
  EXPECT_DOUBLE_EQ(f(RZ), -(2.0 * 16 / 12));
  EXPECT_DOUBLE_EQ(f(6 + UY), -4);
  EXPECT_DOUBLE_EQ(f(6 + RZ), 2.0 * 16 / 12);
  EXPECT_EQ((f.array() != 0.0).count(), 4);

  // +Z: moments about global Y of -M1 at the start and -M2 at the end.
  load_case.distributed_loads = {distributed(1, 2, 2, 0, 1, {0, 0, 1})};
  f = assemble_load_vector(with_case(beam, load_case), 1);
  EXPECT_DOUBLE_EQ(f(UZ), 4);
  EXPECT_DOUBLE_EQ(f(RY), -(2.0 * 16 / 12));
  EXPECT_DOUBLE_EQ(f(6 + RY), 2.0 * 16 / 12);
  EXPECT_EQ(f(RX), 0.0);

  // Another case's load listed here, a load on an unknown member and an
  // empty stretch add nothing.
  load_case.distributed_loads = {distributed(1, 2, 2, 0, 1, {0, 0, 1}, 5),
                                 distributed(9, 2, 2, 0, 1, {0, 0, 1}),
                                 distributed(1, 1e9, 1e9, 0.5, 0.5, {0, 0, 1})};
  EXPECT_TRUE(assemble_load_vector(with_case(beam, load_case), 1).isZero(0.0));
}

// A distributed load on any member, in any direction, with any shape puts a
// statically equivalent set of nodal loads on the member's nodes: their
// resultant is the total load and their moment about the start node is that
// of the load.
struct EquivalenceCase {
  const char* name;
  Vector3 end;
  double rotation_angle;
  MemberType type;
  Vec3 direction;
  double w1, w2, a, b;
};

class StaticEquivalence : public ::testing::TestWithParam<EquivalenceCase> {};

TEST_P(StaticEquivalence, ResultantAndMomentMatchTheLoad) {
  const EquivalenceCase& c = GetParam();
  Member member =
      make_member(1, make_node(1, 0, 0, 0), make_node(2, c.end.x(), c.end.y(), c.end.z()), c.type);
  member.rotation_angle = c.rotation_angle;
  LoadCase load_case;
  load_case.distributed_loads = {distributed(1, c.w1, c.w2, c.a, c.b, c.direction)};
  const Eigen::VectorXd f = assemble_load_vector(with_case(model_with({member}), load_case), 1);

  const double length = c.end.norm();
  const double total = 0.5 * (c.w1 + c.w2) * (c.b - c.a) * length;
  // Centroid of the trapezoid, as a fraction of the member.
  const double centroid = c.a + (c.b - c.a) * (c.w1 + 2 * c.w2) / (3 * (c.w1 + c.w2));
  const Vector3 d(c.direction[0], c.direction[1], c.direction[2]);
  const Vector3 resultant = f.segment<3>(UX) + f.segment<3>(6 + UX);
  const Vector3 moment = f.segment<3>(RX) + f.segment<3>(6 + RX) + c.end.cross(Vector3(f.segment<3>(6 + UX)));
  const double scale = std::abs(total) * d.norm() * length;
  EXPECT_LT((resultant - total * d).norm(), 1e-12 * scale);
  EXPECT_LT((moment - (centroid * c.end).cross(total * d)).norm(), 1e-12 * scale);
  if (c.type != MemberType::Normal) {
    EXPECT_TRUE(f.segment<3>(RX).isZero(0.0));
    EXPECT_TRUE(f.segment<3>(6 + RX).isZero(0.0));
  }
}

INSTANTIATE_TEST_SUITE_P(
    OrientationsAndShapes, StaticEquivalence,
    ::testing::Values(
        EquivalenceCase{"ColumnHorizontalLoad", {0, 3, 0}, 0.0, MemberType::Normal, {1, 0, 0}, 2, 2, 0, 1},
        EquivalenceCase{"ColumnLoadZ", {0, 3, 0}, 0.0, MemberType::Normal, {0, 0, -1}, 5, 1, 0.2, 0.9},
        EquivalenceCase{"AlongZLoadX", {0, 0, 2}, 0.0, MemberType::Normal, {1, 0, 0}, 1, 4, 0, 1},
        EquivalenceCase{"InclinedGravity", {3, 4, 0}, 0.0, MemberType::Normal, {0, -1, 0}, 3, 3, 0, 1},
        EquivalenceCase{
            "SkewTurnedPartial", {2, -1, 3}, 0.7, MemberType::Normal, {0.3, -1, 0.2}, 1, 6, 0.1, 0.6},
        EquivalenceCase{"AxialLoad", {2, 0, 0}, 0.0, MemberType::Normal, {1, 0, 0}, 0, 3, 0, 1},
        EquivalenceCase{"TrussSkew", {2, 2, 1}, 0.0, MemberType::Truss, {0, -1, 0.5}, 2, 1, 0.25, 1},
        EquivalenceCase{"TensionColumnWind", {0, 4, 0}, 0.0, MemberType::Tension, {1, 0, 0}, 1, 1, 0, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LoadVector, HorizontalLoadOnAColumnGivesEndMomentsAboutZ) {
  // Column along +Y loaded along +X: moments about Z, negative at the foot.
  LoadCase load_case;
  load_case.distributed_loads = {distributed(1, 2, 2, 0, 1, {1, 0, 0})};
  const Eigen::VectorXd f = assemble_load_vector(
      with_case(model_with({make_member(1, make_node(1, 0, 0, 0), make_node(2, 0, 4, 0))}), load_case), 1);
  EXPECT_DOUBLE_EQ(f(UX), 4);
  EXPECT_DOUBLE_EQ(f(6 + UX), 4);
  EXPECT_DOUBLE_EQ(f(RZ), -(2.0 * 16 / 12));
  EXPECT_DOUBLE_EQ(f(6 + RZ), 2.0 * 16 / 12);
  EXPECT_EQ(f(RX), 0.0);
  EXPECT_EQ(f(RY), 0.0);
}

// Under RigidMember a rigid member's load is condensed at its releases like a
// beam's; under LinearMpc it has no stiffness and keeps the fixed-end loads.
TEST(LoadVector, RigidMemberReleasesFollowTheStrategy) {
  const double q = 3.0;
  const double l = 2.0;
  VELK model = model_with({make_member(1, make_node(1, 0, 0, 0), make_node(2, l, 0, 0), MemberType::Rigid)});
  MemberHinge pin = test_support::hinge(1);
  pin.rotational_release_mz = 0.0;
  model.memberhinges = std::vector<MemberHinge>{pin};
  model.member_sets[0].members[0].end_hinge = 1;
  LoadCase load_case;
  load_case.distributed_loads = {distributed(1, q, q, 0, 1, {0, 1, 0})};
  model = with_case(model, load_case);
  model.settings.analysis_options.rigid_strategy = RigidStrategy::RigidMember;
  Eigen::VectorXd f = assemble_load_vector(model, 1);
  EXPECT_NEAR(f(RZ), q * l * l / 8, 1e-12);
  EXPECT_NEAR(f(6 + RZ), 0.0, 1e-12);
  EXPECT_NEAR(f(UY), 5 * q * l / 8, 1e-12);
  model.settings.analysis_options.rigid_strategy = RigidStrategy::LinearMpc;
  f = assemble_load_vector(model, 1);
  EXPECT_DOUBLE_EQ(f(RZ), q * l * l / 12);
  EXPECT_DOUBLE_EQ(f(6 + RZ), -q * l * l / 12);
}

// A propped cantilever: fixed at node 1, the moment released at the member's
// end over node 2, which is held in translation. Under a uniform load the
// fixed end takes 5qL/8 and qL^2/8, the prop 3qL/8 and no moment; the same
// as the unreleased member on a roller.
struct ProppedCase {
  const char* name;
  Vector3 axis;
  Vec3 load;
  bool released;  // moment released in the member rather than free at the node
};

class ProppedCantilever : public ::testing::TestWithParam<ProppedCase> {};

TEST_P(ProppedCantilever, TextbookReactions) {
  const ProppedCase& c = GetParam();
  const double l = 5.0;
  const double q = 1.2e4;
  const Vector3 d(c.load[0], c.load[1], c.load[2]);
  const Vector3 bending_axis = c.axis.cross(d);  // the moment axis at the supports
  const Vector3 tip = l * c.axis;
  Member member = make_member(1, make_node(1, 0, 0, 0, 1), make_node(2, tip.x(), tip.y(), tip.z(), 2));
  VELK model = model_with({member});
  model.nodal_supports.push_back(test_support::fixed_support(1));
  NodalSupport prop = test_support::fixed_support(2);
  if (c.released) {
    MemberHinge pin = test_support::hinge(1);
    pin.rotational_release_my = 0.0;
    pin.rotational_release_mz = 0.0;
    model.memberhinges = std::vector<MemberHinge>{pin};
    model.member_sets[0].members[0].end_hinge = 1;
  } else {
    for (const char* axis : {"X", "Y", "Z"})
      prop.rotation_conditions[axis] = test_support::condition(ConditionType::Free);
  }
  model.nodal_supports.push_back(prop);
  LoadCase load_case;
  load_case.distributed_loads = {distributed(1, q, q, 0, 1, c.load)};
  model = with_case(model, load_case);

  const std::vector<std::int64_t> held = restrained_dofs(model.member_sets, model.nodal_supports);
  std::vector<std::int64_t> solved = held;
  if (!c.released) {
    // Only the rotation about the bending axis carries stiffness; hold the twist.
    for (int k = 0; k < 3; ++k) {
      if (std::abs(bending_axis(k)) < 0.5) solved.push_back(6 + RX + k);
    }
  }
  const test_support::Solution s = test_support::solve_restrained(*assemble_global_stiffness(model, {}),
                                                                  assemble_load_vector(model, 1), solved);
  const double qL = q * l;
  EXPECT_NEAR(s.reactions.segment<3>(UX).dot(d), -5 * qL / 8, 1e-9 * qL);
  EXPECT_NEAR(s.reactions.segment<3>(6 + UX).dot(d), -3 * qL / 8, 1e-9 * qL);
  EXPECT_NEAR(s.reactions.segment<3>(RX).dot(bending_axis), -qL * l / 8, 1e-9 * qL * l);
  EXPECT_NEAR(s.reactions.segment<3>(6 + RX).norm(), 0.0, 1e-9 * qL * l);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProppedCantilever,
    ::testing::Values(ProppedCase{"ReleasedAlongXLoadY", Vector3::UnitX(), {0, -1, 0}, true},
                      ProppedCase{"ReleasedAlongXLoadZ", Vector3::UnitX(), {0, 0, 1}, true},
                      ProppedCase{"ReleasedColumnLoadX", Vector3::UnitY(), {1, 0, 0}, true},
                      ProppedCase{"ReleasedAlongZLoadY", Vector3::UnitZ(), {0, -1, 0}, true},
                      ProppedCase{"RollerAlongXLoadY", Vector3::UnitX(), {0, -1, 0}, false},
                      ProppedCase{"RollerColumnLoadZ", Vector3::UnitY(), {0, 0, 1}, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velk
