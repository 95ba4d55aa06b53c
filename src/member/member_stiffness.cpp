#include "member/member_stiffness.hpp"

#include <cstdint>
#include <string>

#include "base/fault.hpp"
#include "base/message_format.hpp"
#include "member/hinge_and_release_operations.hpp"
#include "member/member_geometry.hpp"

namespace velk {

namespace {

using namespace dof;

std::uint32_t required_section_id(const Member& member) {
  if (!member.section) {
    throw Fault(format_message("Member {} ({}) missing section id required to compute axial force.",
                               member.id, member_type_name(member.member_type)));
  }
  return *member.section;
}

struct Elastic {
  const Section* section;
  const Material* material;
};

std::optional<Elastic> find_elastic(const Member& member, const LookupTables& tables) {
  const Section* section = find_in(tables.sections, required_section_id(member));
  if (section == nullptr) return std::nullopt;
  const Material* material = find_in(tables.materials, section->material);
  if (material == nullptr) return std::nullopt;
  return Elastic{section, material};
}

// Only the axial components are needed: x . u at each end.
double axial_elongation(const Matrix3& lambda, const Vector12& u_global) {
  return lambda.row(0).dot(u_global.segment<3>(END + UX)) - lambda.row(0).dot(u_global.segment<3>(UX));
}

Matrix12 axial_bar_matrix(double k_axial) {
  Matrix12 k = Matrix12::Zero();
  k(UX, UX) = k_axial;
  k(END + UX, END + UX) = k_axial;
  set_symmetric(k, UX, END + UX, -k_axial);
  return k;
}

// Axial stiffness E A / L, in series with a truss member's end springs.
double axial_stiffness(const Member& member, double ea, double length, const HingeTable& hinges) {
  if (member.member_type == MemberType::Truss) {
    const double end_flexibility = truss_end_flexibility(member, hinges);
    if (end_flexibility > 0.0) return 1.0 / (length / ea + end_flexibility);
  }
  return ea / length;
}

}  // namespace

std::optional<Matrix12> local_stiffness_matrix(const Member& member, const LookupTables& tables) {
  const std::optional<Elastic> elastic = find_elastic(member, tables);
  if (!elastic) return std::nullopt;
  const double e = elastic->material->e_mod;
  const double g = elastic->material->g_mod;
  const Section& s = *elastic->section;
  const double l = member_length(member);
  const double l2 = l * l;
  const double l3 = l2 * l;

  Matrix12 k = Matrix12::Zero();
  // Axial.
  const double ea_l = e * s.area / l;  // E A / L
  k(UX, UX) = ea_l;
  k(END + UX, END + UX) = ea_l;
  set_symmetric(k, UX, END + UX, -ea_l);

  // Bending in the local x-y plane (uy, rz) about local z.
  const double z12 = 12.0 * e * s.i_z / l3;  // 12 E Iz / L^3
  const double z6 = 6.0 * e * s.i_z / l2;    // 6 E Iz / L^2
  const double z4 = 4.0 * e * s.i_z / l;     // 4 E Iz / L
  const double z2 = 2.0 * e * s.i_z / l;     // 2 E Iz / L
  k(UY, UY) = z12;
  k(END + UY, END + UY) = z12;
  set_symmetric(k, UY, END + UY, -z12);
  set_symmetric(k, UY, RZ, z6);
  set_symmetric(k, UY, END + RZ, z6);
  set_symmetric(k, RZ, END + UY, -z6);
  set_symmetric(k, END + UY, END + RZ, -z6);
  k(RZ, RZ) = z4;
  k(END + RZ, END + RZ) = z4;
  set_symmetric(k, RZ, END + RZ, z2);

  // Bending in the local x-z plane (uz, ry) about local y.
  const double y12 = 12.0 * e * s.i_y / l3;  // 12 E Iy / L^3
  const double y6 = 6.0 * e * s.i_y / l2;    // 6 E Iy / L^2
  const double y4 = 4.0 * e * s.i_y / l;     // 4 E Iy / L
  const double y2 = 2.0 * e * s.i_y / l;     // 2 E Iy / L
  k(UZ, UZ) = y12;
  k(END + UZ, END + UZ) = y12;
  set_symmetric(k, UZ, END + UZ, -y12);
  set_symmetric(k, UZ, RY, -y6);
  set_symmetric(k, UZ, END + RY, -y6);
  set_symmetric(k, RY, END + UZ, y6);
  set_symmetric(k, END + UZ, END + RY, y6);
  k(RY, RY) = y4;
  k(END + RY, END + RY) = y4;
  set_symmetric(k, RY, END + RY, y2);

  // Torsion.
  const double gj_l = g * s.j / l;  // G J / L
  k(RX, RX) = gj_l;
  k(END + RX, END + RX) = gj_l;
  set_symmetric(k, RX, END + RX, -gj_l);
  return k;
}

std::optional<double> truss_axial_stiffness(const Member& member, const LookupTables& tables) {
  const std::optional<Elastic> elastic = find_elastic(member, tables);
  if (!elastic) return std::nullopt;
  const double length = member_length(member);
  if (length * length == 0.0) return std::nullopt;
  return axial_stiffness(member, elastic->material->e_mod * elastic->section->area, length, tables.hinges);
}

std::optional<Matrix12> truss_global_stiffness(const Member& member, const LookupTables& tables) {
  const std::optional<double> k_axial = truss_axial_stiffness(member, tables);
  if (!k_axial) return std::nullopt;
  return local_to_global(axial_bar_matrix(*k_axial), rotation_matrix(member));
}

Vector12 member_displacements(const Member& member, const Eigen::VectorXd& u) {
  Vector12 u_global;
  u_global.head<6>() = u.segment<6>(checked_node_dofs(member.start_node.id, u.size()));
  u_global.tail<6>() = u.segment<6>(checked_node_dofs(member.end_node.id, u.size()));
  return u_global;
}

double member_axial_force(const Member& member, const Eigen::VectorXd& u, const LookupTables& tables) {
  return member_axial_force(member, u, axial_force_basis(member, tables));
}

AxialForceBasis axial_force_basis(const Member& member, const LookupTables& tables) {
  const std::uint32_t section_id = required_section_id(member);
  const Section* section = find_in(tables.sections, section_id);
  if (section == nullptr) {
    throw Fault(format_message("Missing section data: member_id={}, section_id={}", member.id, section_id));
  }
  const Material* material = find_in(tables.materials, section->material);
  if (material == nullptr) {
    throw Fault(format_message("Missing material for section: member_id={}, material_id={}", member.id,
                               section->material));
  }
  return {rotation_matrix(member),
          axial_stiffness(member, material->e_mod * section->area, member_length(member), tables.hinges)};
}

double member_axial_force(const Member& member, const Eigen::VectorXd& u, const AxialForceBasis& basis) {
  return basis.k_axial * axial_elongation(basis.lambda, member_displacements(member, u));
}

}  // namespace velk
