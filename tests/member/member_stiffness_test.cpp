// Member stiffness (beam, truss, rigid, geometric), rigid-body motions, axial force, and their faults.
#include "member/member_stiffness.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "base/fault.hpp"
#include "member/geometric_stiffness.hpp"
#include "member/member_geometry.hpp"
#include "member/rigid_member.hpp"
#include "support/expect_fault.hpp"
#include "support/model_parts.hpp"

namespace velk {
namespace {

using namespace dof;
using test_support::kA;
using test_support::kE;
using test_support::kG;
using test_support::kIy;
using test_support::kIz;
using test_support::kJ;
using test_support::make_member;
using test_support::make_node;
using test_support::model_with;

// Global displacements of a rigid-body motion: translation t plus rotation w
// about the origin, at both ends of the member.
Vector12 rigid_motion(const Member& member, const Vector3& t, const Vector3& w) {
  Vector12 u;
  const Node* nodes[2] = {&member.start_node, &member.end_node};
  for (int end = 0; end < 2; ++end) {
    const Vector3 r(nodes[end]->x, nodes[end]->y, nodes[end]->z);
    u.segment<3>(END * end + UX) = t + w.cross(r);
    u.segment<3>(END * end + RX) = w;
  }
  return u;
}

TEST(LocalStiffness, BeamEntriesAndSymmetry) {
  const VELK model = model_with({make_member(1, make_node(1, 0, 0, 0), make_node(2, 2, 0, 0))});
  const LookupTables tables = build_lookup_tables(model);
  const Matrix12 k = *local_stiffness_matrix(model.member_sets[0].members[0], tables);
  const double l = 2.0;
  EXPECT_DOUBLE_EQ(k(UX, UX), kE * kA / l);
  EXPECT_DOUBLE_EQ(k(UX, END + UX), -kE * kA / l);
  EXPECT_DOUBLE_EQ(k(UY, UY), 12 * kE * kIz / 8);
  EXPECT_DOUBLE_EQ(k(UY, RZ), 6 * kE * kIz / 4);
  EXPECT_DOUBLE_EQ(k(UZ, RY), -6 * kE * kIy / 4);
  EXPECT_DOUBLE_EQ(k(RY, END + UZ), 6 * kE * kIy / 4);
  EXPECT_DOUBLE_EQ(k(RZ, END + RZ), 2 * kE * kIz / l);
  EXPECT_DOUBLE_EQ(k(RY, RY), 4 * kE * kIy / l);
  EXPECT_DOUBLE_EQ(k(RX, RX), 4e5);
  EXPECT_DOUBLE_EQ(k(RX, END + RX), -kG * kJ / l);
  EXPECT_EQ(k, k.transpose());
  EXPECT_EQ((k.array() != 0.0).count(), 40);
}

// Rigid-body motions of any member strain nothing: no end forces, no axial force.
TEST(LocalStiffness, RigidBodyMotionsAreForceFree) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> coordinate(-5.0, 5.0);
  for (int trial = 0; trial < 50; ++trial) {
    Member member = make_member(1, make_node(1, coordinate(rng), coordinate(rng), coordinate(rng)),
                                make_node(2, coordinate(rng), coordinate(rng), coordinate(rng)));
    member.rotation_angle = coordinate(rng);
    const VELK model = model_with({member});
    const LookupTables tables = build_lookup_tables(model);
    const Matrix12 k_global =
        local_to_global(*local_stiffness_matrix(member, tables), rotation_matrix(member));
    const Vector12 u = rigid_motion(member, Vector3::Random() * 1e-3, Vector3::Random() * 1e-3);
    EXPECT_LT((k_global * u).norm(), 1e-9 * k_global.norm() * u.norm());
    Eigen::VectorXd u_full(12);
    u_full << u;
    EXPECT_NEAR(member_axial_force(member, u_full, tables), 0.0, 1e-7 * kE * kA * u.norm());
  }
}

TEST(LocalStiffness, MissingDataIsAbsentOrFatal) {
  VELK model = model_with({make_member(4, make_node(1, 0, 0, 0), make_node(2, 2, 0, 0))});
  Member member = model.member_sets[0].members[0];
  const LookupTables tables = build_lookup_tables(model);
  member.section = 9;
  EXPECT_FALSE(local_stiffness_matrix(member, tables));
  EXPECT_FALSE(truss_global_stiffness(member, tables));
  member.section = std::nullopt;
  EXPECT_FAULT(local_stiffness_matrix(member, tables),
               "Member 4 (Normal) missing section id required to compute axial force.");
  member.member_type = MemberType::Compression;
  EXPECT_FAULT(truss_global_stiffness(member, tables),
               "Member 4 (Compression) missing section id required to compute axial force.");
  model.materials.clear();
  EXPECT_FALSE(local_stiffness_matrix(model.member_sets[0].members[0], build_lookup_tables(model)));
}

TEST(TrussStiffness, VerticalMemberOnlyCarriesAxialY) {
  const VELK model =
      model_with({make_member(1, make_node(1, 0, 0, 0), make_node(2, 0, 4, 0), MemberType::Truss)});
  const Matrix12 k = *truss_global_stiffness(model.member_sets[0].members[0], build_lookup_tables(model));
  const double ea_l = kE * kA / 4;
  EXPECT_DOUBLE_EQ(k(UY, UY), ea_l);
  EXPECT_DOUBLE_EQ(k(END + UY, END + UY), ea_l);
  EXPECT_DOUBLE_EQ(k(UY, END + UY), -ea_l);
  EXPECT_DOUBLE_EQ(k(END + UY, UY), -ea_l);
  EXPECT_EQ((k.array().abs() > 1e-6 * ea_l).count(), 4);
}

TEST(AxialForce, StretchGivesTensionAndFaultsNameTheMissingData) {
  const Member member = make_member(3, make_node(1, 1, 1, 1), make_node(2, 4, 5, 1));  // L = 5
  VELK model = model_with({member});
  LookupTables tables = build_lookup_tables(model);
  const double delta = 1e-3;
  Eigen::VectorXd u = Eigen::VectorXd::Zero(12);
  u.segment<3>(END + UX) = Vector3(3, 4, 0) / 5 * delta;
  EXPECT_NEAR(member_axial_force(member, u, tables), kE * kA * delta / 5, 1e-6);
  u.segment<3>(END + UX) *= -1;
  EXPECT_NEAR(member_axial_force(member, u, tables), -kE * kA * delta / 5, 1e-6);

  EXPECT_FAULT(member_axial_force(member, Eigen::VectorXd::Zero(11), tables), "Matrix index out of bounds.");
  Member no_section = member;
  no_section.section = std::nullopt;
  EXPECT_FAULT(member_axial_force(no_section, u, tables),
               "Member 3 (Normal) missing section id required to compute axial force.");
  Member other_section = member;
  other_section.section = 8;
  EXPECT_FAULT(member_axial_force(other_section, u, tables),
               "Missing section data: member_id=3, section_id=8");
  model.sections[0].material = 5;
  tables = build_lookup_tables(model);
  EXPECT_FAULT(member_axial_force(member, u, tables),
               "Missing material for section: member_id=3, material_id=5");
}

// Axial end springs of a Truss member act in series with E A / L, both in its
// stiffness and in its axial force; transverse springs and free entries
// change nothing, and Tension members ignore hinges.
TEST(TrussHingeSprings, AxialSpringsActInSeries) {
  Member truss = make_member(1, make_node(1, 0, 0, 0), make_node(2, 0, 0, 3), MemberType::Truss);
  truss.start_hinge = 1;
  truss.end_hinge = 2;
  VELK model = model_with({truss});
  MemberHinge start = test_support::hinge(1);
  MemberHinge end = test_support::hinge(2);
  start.translational_release_vx = 2e8;
  start.translational_release_vy = 1000.0;
  start.rotational_release_mz = 0.0;
  end.translational_release_vx = 5e8;
  end.translational_release_vz = 0.0;
  model.memberhinges = std::vector<MemberHinge>{start, end};
  const LookupTables tables = build_lookup_tables(model);

  const double ea_l = kE * kA / 3;
  const double k_axial = 1.0 / (1.0 / ea_l + 1.0 / 2e8 + 1.0 / 5e8);
  EXPECT_DOUBLE_EQ(*truss_axial_stiffness(truss, tables), k_axial);
  const Matrix12 k = *truss_global_stiffness(truss, tables);
  EXPECT_DOUBLE_EQ(k(UZ, UZ), k_axial);
  EXPECT_DOUBLE_EQ(k(UZ, END + UZ), -k_axial);
  EXPECT_NEAR(k(UX, UX), 0.0, 1e-20 * k_axial);
  EXPECT_NEAR(k(UY, UY), 0.0, 1e-20 * k_axial);

  Eigen::VectorXd u = Eigen::VectorXd::Zero(12);
  u(END + UZ) = 1e-3;
  EXPECT_DOUBLE_EQ(member_axial_force(truss, u, tables), k_axial * 1e-3);

  Member tension = truss;
  tension.member_type = MemberType::Tension;
  EXPECT_DOUBLE_EQ(*truss_axial_stiffness(tension, tables), ea_l);

  // Free axial entries and transverse springs alone leave E A / L.
  model.memberhinges->at(0).translational_release_vx = 0.0;
  model.memberhinges->at(1).translational_release_vx = std::nullopt;
  EXPECT_DOUBLE_EQ(*truss_axial_stiffness(truss, build_lookup_tables(model)), ea_l);
}

TEST(RigidMember, EffectiveSectionAndFailures) {
  Member rigid =
      make_member(5, make_node(2, 1, 0, 0), make_node(3, 1, 1, 0), MemberType::Rigid, std::nullopt);
  VELK model = model_with(
      {make_member(1, make_node(1, 0, 0, 0), make_node(2, 1, 0, 0), MemberType::Normal, 2), rigid});
  model.sections.push_back(test_support::beam_section(2));
  EXPECT_EQ(*rigid_effective_section(model, rigid), 2u);  // the sectioned neighbour
  model.member_sets[0].members[0].section = std::nullopt;
  EXPECT_EQ(*rigid_effective_section(model, rigid), 1u);  // the model's first section
  rigid.section = 7;
  EXPECT_EQ(*rigid_effective_section(model, rigid), 7u);
  EXPECT_EQ(rigid_member_local_stiffness(model, rigid, build_lookup_tables(model)).error(),
            "Rigid member 5 failed to build local K.");
  rigid.section = std::nullopt;
  model.sections.clear();
  EXPECT_EQ(rigid_effective_section(model, rigid).error(),
            "RigidMember needs at least one section in the model or a section on rigid member 5.");
}

TEST(RigidMember, FactorScalesTheBeamMatrix) {
  struct Case {
    std::vector<double> moduli;  // materials 1, 2, ...; the section uses material 1
    double factor;
  };
  const double inf = std::numeric_limits<double>::infinity();
  for (const Case& c : {Case{{2.1e11}, 1e4}, Case{{}, 1e4}, Case{{1.0, 2.1e11}, 1e8}, Case{{inf, 1.0}, 1.0},
                        Case{{7e10, 2.1e11}, 2.1e15 / 7e10}, Case{{0.0}, 1e8}}) {
    VELK model = model_with({});
    model.materials.clear();
    for (std::size_t i = 0; i < c.moduli.size(); ++i) {
      model.materials.push_back(test_support::steel(static_cast<std::uint32_t>(i + 1), c.moduli[i]));
    }
    EXPECT_DOUBLE_EQ(rigid_factor(model, 1), c.factor) << c.moduli.size();
  }
  const Member rigid = make_member(5, make_node(1, 0, 0, 0), make_node(2, 2, 0, 0), MemberType::Rigid);
  const VELK model = model_with({rigid});
  const LookupTables tables = build_lookup_tables(model);
  const Matrix12 beam = *local_stiffness_matrix(rigid, tables);
  EXPECT_TRUE(rigid_member_local_stiffness(model, rigid, tables)->isApprox(1e4 * beam, 1e-15));
}

// The consistent geometric stiffness: odd in P, zero at P = 0, the entries of
// both bending planes with the elastic sign pattern; the string matrix has no
// rotational terms. Neither resists a rigid translation.
TEST(GeometricStiffness, BeamAndStringMatrices) {
  const double l = 2.5;
  const double p = -3e4;
  const Matrix12 kg = beam_geometric_stiffness(l, p);
  EXPECT_TRUE(beam_geometric_stiffness(l, 0.0).isZero(0.0));
  EXPECT_EQ(beam_geometric_stiffness(l, -p), -kg);
  EXPECT_EQ(kg, kg.transpose());
  EXPECT_DOUBLE_EQ(kg(UX, UX), p / l);
  EXPECT_DOUBLE_EQ(kg(UX, END + UX), -p / l);
  EXPECT_DOUBLE_EQ(kg(UY, UY), 6 * p / (5 * l));
  EXPECT_DOUBLE_EQ(kg(UZ, END + UZ), -6 * p / (5 * l));
  EXPECT_DOUBLE_EQ(kg(UY, RZ), p / 10);
  EXPECT_DOUBLE_EQ(kg(UY, END + RZ), p / 10);
  EXPECT_DOUBLE_EQ(kg(END + UY, END + RZ), -p / 10);
  EXPECT_DOUBLE_EQ(kg(UZ, RY), -p / 10);
  EXPECT_DOUBLE_EQ(kg(RY, END + UZ), p / 10);
  EXPECT_DOUBLE_EQ(kg(RZ, RZ), 2 * p * l / 15);
  EXPECT_DOUBLE_EQ(kg(RY, END + RY), -p * l / 30);
  EXPECT_TRUE(kg.row(RX).isZero(0.0));
  EXPECT_TRUE(kg.col(END + RX).isZero(0.0));

  const Matrix12 ks = string_geometric_stiffness(l, p);
  EXPECT_DOUBLE_EQ(ks(UZ, UZ), p / l);
  EXPECT_DOUBLE_EQ(ks(UY, END + UY), -p / l);
  EXPECT_TRUE((ks.bottomRightCorner<3, 3>().isZero(0.0)));
  EXPECT_EQ((ks.array() != 0.0).count(), 12);

  Vector12 translation = Vector12::Zero();
  translation << 1, 2, 3, 0, 0, 0, 1, 2, 3, 0, 0, 0;
  EXPECT_LT((kg * translation).norm(), 1e-9 * std::abs(p));
  EXPECT_LT((ks * translation).norm(), 1e-9 * std::abs(p));

  const Member truss = make_member(1, make_node(1, 0, 0, 0), make_node(2, 0, l, 0), MemberType::Tension);
  EXPECT_EQ(geometric_stiffness_matrix(truss, p), ks);
  Member beam = truss;
  beam.member_type = MemberType::Rigid;
  EXPECT_EQ(geometric_stiffness_matrix(beam, p), kg);
}

// The basis a solve keeps per member gives the axial force of every
// displacement state bit for bit, for members in any orientation.
TEST(AxialForce, KeptBasisGivesTheSameForceBitForBit) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> coordinate(-5.0, 5.0);
  for (int trial = 0; trial < 50; ++trial) {
    Member member = make_member(1, make_node(1, coordinate(random), coordinate(random), coordinate(random)),
                                make_node(2, coordinate(random), coordinate(random), coordinate(random)),
                                trial % 2 == 0 ? MemberType::Normal : MemberType::Truss);
    member.rotation_angle = coordinate(random);
    const VELK model = model_with({member});
    const LookupTables tables = build_lookup_tables(model);
    const AxialForceBasis basis = axial_force_basis(member, tables);
    Eigen::VectorXd u(12);
    for (Eigen::Index i = 0; i < u.size(); ++i) u(i) = 1e-3 * coordinate(random);
    EXPECT_EQ(member_axial_force(member, u, basis), member_axial_force(member, u, tables));
  }
  Member no_section = make_member(3, make_node(1, 0, 0, 0), make_node(2, 1, 0, 0));
  no_section.section = std::nullopt;
  const VELK model = model_with({no_section});
  EXPECT_FAULT(axial_force_basis(no_section, build_lookup_tables(model)),
               "Member 3 (Normal) missing section id required to compute axial force.");
}

// The string matrix is P / L times the identity on each end's translations,
// so rotating it into any axes leaves it as it is: the global matrix of an
// axial member is the local one.
TEST(GeometricStiffness, StringMatrixIsTheSameInEveryAxes) {
  std::mt19937 random(11);
  std::uniform_real_distribution<double> coordinate(-5.0, 5.0);
  const double p = 4.2e5;
  for (int trial = 0; trial < 20; ++trial) {
    Member member = make_member(1, make_node(1, coordinate(random), coordinate(random), coordinate(random)),
                                make_node(2, coordinate(random), coordinate(random), coordinate(random)),
                                MemberType::Truss);
    member.rotation_angle = coordinate(random);
    const Matrix12 ks = string_geometric_stiffness(member_length(member), p);
    EXPECT_LT((local_to_global(ks, rotation_matrix(member)) - ks).cwiseAbs().maxCoeff(),
              1e-14 * p / member_length(member));
    // The beam matrix turned block by block equals the full rotation.
    const Matrix3 lambda = rotation_matrix(member);
    const double l = member_length(member);
    const Matrix12 kg = local_to_global(beam_geometric_stiffness(l, p), lambda);
    EXPECT_LT((beam_geometric_stiffness_global(l, p, lambda) - kg).cwiseAbs().maxCoeff(),
              1e-13 * kg.cwiseAbs().maxCoeff());
  }
}

}  // namespace
}  // namespace velk
