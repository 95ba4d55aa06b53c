// Global stiffness assembly: messages, active map, cantilever and Euler-column closed forms, block scatter.
#include "system/global_stiffness.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "base/fault.hpp"
#include "member/geometric_stiffness.hpp"
#include "member/hinge_and_release_operations.hpp"
#include "member/member_geometry.hpp"
#include "member/member_stiffness.hpp"
#include "support/dense_system.hpp"
#include "support/expect_fault.hpp"
#include "support/model_parts.hpp"
#include "system/load_assembler.hpp"
#include "system/support_utils.hpp"

namespace velk {
namespace {

using namespace dof;
using test_support::add_member_matrix;
using test_support::assemble_global_stiffness;
using test_support::geometric_global_stiffness;
using test_support::kA;
using test_support::kE;
using test_support::kIy;
using test_support::kIz;
using test_support::make_member;
using test_support::make_node;
using test_support::model_with;
using test_support::restrained_dofs;

NodalLoad nodal_load(std::uint32_t node, double magnitude, Vec3 direction) {
  NodalLoad load;
  load.node = node;
  load.load_case = 1;
  load.magnitude = magnitude;
  load.direction = direction;
  return load;
}

Eigen::MatrixXd assembled(const VELK& model, const ActiveMap& active = {}) {
  std::expected<Eigen::MatrixXd, std::string> k = assemble_global_stiffness(model, active);
  EXPECT_TRUE(k) << k.error();
  return k ? *k : Eigen::MatrixXd();
}

TEST(GlobalStiffness, Messages) {
  const auto error_of = [](const VELK& model) {
    const std::expected<Eigen::MatrixXd, std::string> k = assemble_global_stiffness(model, {});
    return k ? std::string("no error") : k.error();
  };
  VELK gap = model_with({make_member(1, make_node(1, 0, 0, 0), make_node(2, 1, 0, 0)),
                         make_member(2, make_node(2, 1, 0, 0), make_node(4, 2, 0, 0))});
  EXPECT_EQ(error_of(gap), "Node ID 3 is missing. Node IDs must be consecutive starting from 1.");

  const Member beam = make_member(6, make_node(1, 0, 0, 0), make_node(2, 1, 0, 0));
  Member unsectioned = beam;
  unsectioned.section = std::nullopt;
  EXPECT_EQ(error_of(model_with({unsectioned})), "Member 6 (Normal) is missing a section id.");
  Member unknown_section = beam;
  unknown_section.section = 3;
  EXPECT_EQ(error_of(model_with({unknown_section})), "Member 6 failed to build local stiffness.");
  unknown_section.member_type = MemberType::Truss;
  EXPECT_EQ(error_of(model_with({unknown_section})), "Member 6 (Truss) failed to build truss stiffness.");
  unknown_section.member_type = MemberType::Tension;  // left out silently
  EXPECT_TRUE(assembled(model_with({unknown_section})).isZero(0.0));

  VELK rigid =
      model_with({make_member(6, make_node(1, 0, 0, 0), make_node(2, 1, 0, 0), MemberType::Rigid, 4)});
  rigid.settings.analysis_options.rigid_strategy = RigidStrategy::RigidMember;
  EXPECT_EQ(error_of(rigid), "Rigid member 6 failed to build local K.");
  rigid.member_sets[0].members[0].section = std::nullopt;
  rigid.sections.clear();
  EXPECT_EQ(error_of(rigid),
            "RigidMember needs at least one section in the model or a section on rigid member 6.");

  VELK torsion_free = model_with({beam});
  MemberHinge mx = test_support::hinge(1);
  mx.rotational_release_mx = 0.0;
  torsion_free.memberhinges = std::vector<MemberHinge>{mx};
  torsion_free.member_sets[0].members[0].start_hinge = 1;
  torsion_free.member_sets[0].members[0].end_hinge = 1;
  EXPECT_EQ(error_of(torsion_free),
            "apply_end_releases_to_local_beam_k: interface block is singular (check release pattern)");

  VELK node_zero = model_with({make_member(1, make_node(0, 0, 0, 0), make_node(1, 1, 0, 0))});
  EXPECT_THROW(assemble_global_stiffness(node_zero, {}), Fault);
  EXPECT_EQ(assembled(model_with({})).size(), 0);
}

TEST(GlobalStiffness, MemberTypesAndActiveMap) {
  const Node n1 = make_node(1, 0, 0, 0);
  const Node n2 = make_node(2, 3, 4, 0);
  const VELK truss = model_with({make_member(1, n1, n2, MemberType::Truss)});
  const Eigen::MatrixXd k_truss = assembled(truss);
  EXPECT_NEAR(k_truss(UX, UX), kE * kA / 5 * 0.36, 1e-6);
  EXPECT_NEAR(k_truss(UX, 6 + UY), -kE * kA / 5 * 0.48, 1e-6);

  VELK tension = model_with({make_member(1, n1, n2, MemberType::Tension)});
  EXPECT_TRUE(assembled(tension, {{1, false}}).isApprox(1e-10 * k_truss, 1e-15));
  EXPECT_TRUE(assembled(tension, {{2, false}}).isApprox(k_truss, 1e-15));
  tension.member_sets[0].members[0].member_type = MemberType::Compression;
  EXPECT_TRUE(assembled(tension, {}).isApprox(k_truss, 1e-15));

  // Two members between the same nodes add up.
  const VELK doubled =
      model_with({make_member(1, n1, n2, MemberType::Truss), make_member(2, n1, n2, MemberType::Truss)});
  EXPECT_TRUE(assembled(doubled).isApprox(2 * k_truss, 1e-15));

  // Rigid members: nothing under LinearMpc, the scaled beam under RigidMember.
  VELK rigid = model_with({make_member(1, n1, n2, MemberType::Rigid)});
  EXPECT_TRUE(assembled(rigid).isZero(0.0));
  rigid.settings.analysis_options.rigid_strategy = RigidStrategy::RigidMember;
  const VELK beam = model_with({make_member(1, n1, n2)});
  EXPECT_TRUE(assembled(rigid).isApprox(1e4 * assembled(beam), 1e-14));

  // The dimensionality setting changes nothing.
  VELK planar = beam;
  planar.settings.analysis_options.dimensionality = Dimensionality::TwoD;
  EXPECT_EQ(assembled(planar), assembled(beam));
}

// A truss member's axial spring is in series with the bar, not a support: a
// bar pulled at its free end stretches by P (L / (E A) + 1 / k), and its
// transverse DOFs get no stiffness from a transverse hinge spring.
TEST(GlobalStiffness, TrussHingeSpringsAreInSeriesNotGrounded) {
  VELK model =
      model_with({make_member(1, make_node(1, 0, 0, 0, 1), make_node(2, 0, 0, 2), MemberType::Truss)});
  model.nodal_supports.push_back(test_support::fixed_support(1));
  MemberHinge spring = test_support::hinge(1);
  spring.translational_release_vx = 4e8;
  spring.translational_release_vy = 1000.0;
  model.memberhinges = std::vector<MemberHinge>{spring};
  model.member_sets[0].members[0].end_hinge = 1;
  const Eigen::MatrixXd k = assembled(model);
  EXPECT_EQ(k(6 + UX, 6 + UX), 0.0);
  EXPECT_EQ(k(6 + UY, 6 + UY), 0.0);

  const double p = 1e5;
  Eigen::VectorXd f = Eigen::VectorXd::Zero(12);
  f(6 + UZ) = p;
  // Hold everything but the axial DOF of the free end.
  std::vector<std::int64_t> held = restrained_dofs(model.member_sets, model.nodal_supports);
  for (const int d : {UX, UY, RX, RY, RZ}) held.push_back(6 + d);
  const test_support::Solution s = test_support::solve_restrained(k, f, held);
  EXPECT_NEAR(s.u(6 + UZ), p * (2 / (kE * kA) + 1 / 4e8), 1e-15);
  EXPECT_NEAR(s.reactions(UZ), -p, 1e-6);
}

// A cantilever with a tip load perpendicular to its axis deflects P L^3 / (3 E I)
// with I the second moment of the plane it bends in.
struct CantileverCase {
  const char* name;
  Vector3 axis;      // member direction
  Vector3 load;      // tip load direction
  double i_bending;  // I of the bending plane
};

class Cantilever : public ::testing::TestWithParam<CantileverCase> {};

TEST_P(Cantilever, TipDeflection) {
  const CantileverCase& c = GetParam();
  const double l = 3.0;
  const double p = 2e4;
  const Vector3 tip = c.axis * l;
  VELK model =
      model_with({make_member(1, make_node(1, 0, 0, 0, 1), make_node(2, tip.x(), tip.y(), tip.z()))});
  model.nodal_supports.push_back(test_support::fixed_support(1));
  LoadCase load_case;
  load_case.id = 1;
  load_case.nodal_loads.push_back(nodal_load(2, p, {c.load.x(), c.load.y(), c.load.z()}));
  model.load_cases.push_back(load_case);

  const test_support::Solution s =
      test_support::solve_restrained(assembled(model), assemble_load_vector(model, 1),
                                     restrained_dofs(model.member_sets, model.nodal_supports));
  const Vector3 tip_displacement = s.u.segment<3>(6 + UX);
  const double expected = p * l * l * l / (3 * kE * c.i_bending);
  EXPECT_NEAR(tip_displacement.dot(c.load), expected, 1e-9 * expected);
  EXPECT_NEAR((tip_displacement - tip_displacement.dot(c.load) * c.load).norm(), 0.0, 1e-9 * expected);
  // Tip rotation P L^2 / (2 E I) about axis x load.
  EXPECT_NEAR(s.u.segment<3>(6 + RX).dot(c.axis.cross(c.load)), p * l * l / (2 * kE * c.i_bending),
              1e-9 * expected);
  // The support takes the load back: -P and the moment P L.
  EXPECT_NEAR(s.reactions.segment<3>(UX).dot(c.load), -p, 1e-6 * p);
  EXPECT_NEAR(s.reactions.segment<3>(RX).dot(c.axis.cross(c.load)), -p * l, 1e-6 * p * l);
}

INSTANTIATE_TEST_SUITE_P(
    Orientations, Cantilever,
    ::testing::Values(CantileverCase{"AlongXLoadY", Vector3::UnitX(), Vector3::UnitY(), kIz},
                      CantileverCase{"AlongXLoadZ", Vector3::UnitX(), Vector3::UnitZ(), kIy},
                      CantileverCase{"VerticalLoadZ", Vector3::UnitY(), Vector3::UnitZ(), kIz},
                      CantileverCase{"VerticalLoadX", Vector3::UnitY(), Vector3::UnitX(), kIy},
                      CantileverCase{"DownwardLoadX", -Vector3::UnitY(), Vector3::UnitX(), kIy},
                      CantileverCase{"AlongZLoadY", Vector3::UnitZ(), -Vector3::UnitY(), kIz},
                      CantileverCase{"AlongZLoadX", Vector3::UnitZ(), Vector3::UnitX(), kIy}),
    [](const auto& info) { return std::string(info.param.name); });

// The lateral stiffness of a cantilever column of 8 members, made from the
// elastic and geometric stiffness of a uniform axial compression P, vanishes
// at the Euler load pi^2 E I / (4 L^2) of its bending plane.
class EulerColumn : public ::testing::TestWithParam<int> {};

TEST_P(EulerColumn, LateralStiffnessVanishesAtTheEulerLoad) {
  const int lateral = GetParam();  // global UX bends about local y (I_y), UZ about local z (I_z)
  const double i_bending = lateral == UX ? kIy : kIz;
  const double height = 6.0;
  const int segments = 8;
  std::vector<Member> members;
  for (int i = 0; i < segments; ++i) {
    const auto id = static_cast<std::uint32_t>(i + 1);
    members.push_back(make_member(id, make_node(id, 0, height * i / segments, 0),
                                  make_node(id + 1, 0, height * (i + 1) / segments, 0)));
  }
  members[0].start_node.nodal_support = 1;
  VELK model = model_with(members);
  model.nodal_supports.push_back(test_support::fixed_support(1));
  const std::vector<std::int64_t> held = restrained_dofs(model.member_sets, model.nodal_supports);
  const Eigen::Index ndof = 6 * (segments + 1);
  const Eigen::Index top = 6 * segments + lateral;

  const auto lateral_stiffness = [&](double p) {
    // A uniform shortening that puts the compression P in every member.
    Eigen::VectorXd u = Eigen::VectorXd::Zero(ndof);
    for (int n = 0; n <= segments; ++n) u(6 * n + UY) = -p * (height * n / segments) / (kE * kA);
    return 1.0 / test_support::flexibility(*assemble_global_stiffness(model, {}, u), held, top);
  };

  const double euler = std::numbers::pi * std::numbers::pi * kE * i_bending / (4 * height * height);
  EXPECT_NEAR(lateral_stiffness(0.0), 3 * kE * i_bending / (height * height * height),
              1e-6 * kE * i_bending / (height * height * height));
  double below = 0.5 * euler;
  double above = 1.5 * euler;
  ASSERT_GT(lateral_stiffness(below), 0.0);
  ASSERT_LT(lateral_stiffness(above), 0.0);
  for (int step = 0; step < 60; ++step) {
    const double mid = 0.5 * (below + above);
    (lateral_stiffness(mid) > 0.0 ? below : above) = mid;
  }
  EXPECT_NEAR(below, euler, 0.005 * euler);
}

INSTANTIATE_TEST_SUITE_P(BendingPlanes, EulerColumn, ::testing::Values(UX, UZ));

TEST(GeometricStiffness, AxialSlackThreshold) {
  VELK model = model_with({make_member(1, make_node(1, 0, 0, 0), make_node(2, 2, 0, 0))});
  Eigen::VectorXd u = Eigen::VectorXd::Zero(12);
  const double n_small = 0.08;
  u(6 + UX) = n_small * 2 / (kE * kA);
  model.settings.analysis_options.axial_slack = 0.2;  // threshold 0.1
  EXPECT_TRUE(geometric_global_stiffness(model, {}, u)->isZero(0.0));
  model.settings.analysis_options.axial_slack = 0.0;  // threshold 1e-6
  const Eigen::MatrixXd kg = *geometric_global_stiffness(model, {}, u);
  EXPECT_NEAR(kg(UY, UY), 6 * n_small / (5 * 2.0), 1e-12);
  EXPECT_TRUE((assemble_global_stiffness(model, {}, u)->isApprox(assembled(model) + kg, 1e-15)));

  // A pinned member without axial force adds nothing and raises no condensation error.
  MemberHinge pin = test_support::hinge(1);
  pin.rotational_release_mz = 0.0;
  model.memberhinges = std::vector<MemberHinge>{pin};
  model.member_sets[0].members[0].end_hinge = 1;
  EXPECT_TRUE(geometric_global_stiffness(model, {}, Eigen::VectorXd::Zero(12))->isZero(0.0));
  // With a force its released rotation takes nothing.
  const Eigen::MatrixXd kg_pinned = *geometric_global_stiffness(model, {}, u);
  EXPECT_NEAR(kg_pinned.row(6 + RZ).norm(), 0.0, 1e-15);
  EXPECT_GT(kg_pinned(RZ, RZ), 0.0);

  // A released twist has no geometric term to condense against on its own:
  // the member's whole tangent K + K_G is condensed instead.
  model.memberhinges->front().rotational_release_mz.reset();
  model.memberhinges->front().rotational_release_mx = 0.0;
  const auto with_twist_release = assemble_global_stiffness(model, {}, u);
  ASSERT_TRUE(with_twist_release.has_value()) << with_twist_release.error();
  const Member& member = model.member_sets[0].members[0];
  const LookupTables tables = build_lookup_tables(model);
  const Matrix12 k_local = *local_stiffness_matrix(member, tables);
  const Matrix12 tangent = *release_and_transform(
      member, Matrix12(k_local + geometric_stiffness_matrix(member, n_small)), tables.hinges);
  EXPECT_TRUE(with_twist_release->isApprox(tangent, 1e-12));

  // Inactive tension members and rigid members carry none.
  model.member_sets[0].members[0].member_type = MemberType::Tension;
  EXPECT_TRUE(geometric_global_stiffness(model, {{1, false}}, u)->isZero(0.0));
  EXPECT_NEAR((*geometric_global_stiffness(model, {}, u))(UY, UY), n_small / 2.0, 1e-12);
  model.member_sets[0].members[0].member_type = MemberType::Rigid;
  EXPECT_TRUE(geometric_global_stiffness(model, {}, u)->isZero(0.0));
}

TEST(AddMemberMatrix, ScattersBlocksAndChecksBounds) {
  Eigen::MatrixXd k = Eigen::MatrixXd::Zero(18, 18);
  Matrix12 m;
  for (int r = 0; r < 12; ++r) {
    for (int c = 0; c < 12; ++c) m(r, c) = 100 * r + c;
  }
  add_member_matrix(k, m, 3, 1);
  EXPECT_EQ(k(12, 12), m(0, 0));
  EXPECT_EQ(k(12 + 2, 1), m(2, 6 + 1));
  EXPECT_EQ(k(5, 17), m(6 + 5, 5));
  EXPECT_EQ(k(0, 0), m(6, 6));
  EXPECT_TRUE((k.block<6, 6>(6, 0).isZero(0.0)));
  EXPECT_FAULT(add_member_matrix(k, m, 1, 4), "Matrix index out of bounds.");
}

}  // namespace
}  // namespace velk
