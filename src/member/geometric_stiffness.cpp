#include "member/geometric_stiffness.hpp"

#include "member/member_geometry.hpp"

namespace velk {

namespace {

using namespace dof;

// +-P/L between the two ends of one translation.
void add_string_pair(Matrix12& kg, int translation, double p_l) {
  kg(translation, translation) = p_l;
  kg(END + translation, END + translation) = p_l;
  set_symmetric(kg, translation, END + translation, -p_l);
}

}  // namespace

Matrix12 beam_geometric_stiffness(double length, double axial_force) {
  const double p = axial_force;
  const double l = length;
  Matrix12 kg = Matrix12::Zero();
  add_string_pair(kg, UX, p / l);  // P / L

  const double t = 6.0 * p / (5.0 * l);  // 6 P / (5 L)
  const double c = p / 10.0;             // P / 10
  const double r = 2.0 * p * l / 15.0;   // 2 P L / 15
  const double o = -p * l / 30.0;        // -P L / 30

  // Local x-y plane (uy, rz).
  add_string_pair(kg, UY, t);
  set_symmetric(kg, UY, RZ, c);
  set_symmetric(kg, UY, END + RZ, c);
  set_symmetric(kg, RZ, END + UY, -c);
  set_symmetric(kg, END + UY, END + RZ, -c);
  kg(RZ, RZ) = r;
  kg(END + RZ, END + RZ) = r;
  set_symmetric(kg, RZ, END + RZ, o);

  // Local x-z plane (uz, ry).
  add_string_pair(kg, UZ, t);
  set_symmetric(kg, UZ, RY, -c);
  set_symmetric(kg, UZ, END + RY, -c);
  set_symmetric(kg, RY, END + UZ, c);
  set_symmetric(kg, END + UZ, END + RY, c);
  kg(RY, RY) = r;
  kg(END + RY, END + RY) = r;
  set_symmetric(kg, RY, END + RY, o);
  return kg;
}

Matrix12 beam_geometric_stiffness_global(double length, double axial_force, const Matrix3& lambda) {
  const double p = axial_force;
  const double l = length;
  const double t = 6.0 * p / (5.0 * l);  // 6 P / (5 L)
  const double c = p / 10.0;             // P / 10
  const double r = 2.0 * p * l / 15.0;   // 2 P L / 15
  const double o = -p * l / 30.0;        // -P L / 30
  // Local blocks by (start translations, start rotations, end translations,
  // end rotations): translations diag(P/L, t, t), rotations diag(0, r, r),
  // rotations of opposite ends diag(0, o, o), translation against rotation
  // the skew matrix a with a(y, z) = c, a(z, y) = -c, and their signs.
  const auto to_global = [&](const Matrix3& local) -> Matrix3 { return lambda.transpose() * local * lambda; };
  const Matrix3 translations = to_global(Vector3(p / l, t, t).asDiagonal());
  const Matrix3 rotations = to_global(Vector3(0.0, r, r).asDiagonal());
  const Matrix3 opposite_rotations = to_global(Vector3(0.0, o, o).asDiagonal());
  Matrix3 a = Matrix3::Zero();
  a(UY, UZ) = c;
  a(UZ, UY) = -c;
  const Matrix3 skew = to_global(a);

  Matrix12 kg;
  const auto block = [&kg](int i, int j) { return kg.block<3, 3>(3 * i, 3 * j); };
  enum { TS, RS, TE, RE };  // the four 3x3 blocks of a member's DOFs
  block(TS, TS) = translations;
  block(TS, RS) = skew;
  block(TS, TE) = -translations;
  block(TS, RE) = skew;
  block(RS, TS) = skew.transpose();
  block(RS, RS) = rotations;
  block(RS, TE) = skew;
  block(RS, RE) = opposite_rotations;
  block(TE, TS) = -translations;
  block(TE, RS) = skew.transpose();
  block(TE, TE) = translations;
  block(TE, RE) = -skew;
  block(RE, TS) = skew.transpose();
  block(RE, RS) = opposite_rotations;
  block(RE, TE) = -skew.transpose();
  block(RE, RE) = rotations;
  return kg;
}

Matrix12 string_geometric_stiffness(double length, double axial_force) {
  const double p_l = axial_force / length;  // P / L
  Matrix12 kg = Matrix12::Zero();
  add_string_pair(kg, UX, p_l);
  add_string_pair(kg, UY, p_l);
  add_string_pair(kg, UZ, p_l);
  return kg;
}

Matrix12 geometric_stiffness_matrix(const Member& member, double axial_force) {
  const double length = member_length(member);
  if (is_axial_only(member.member_type)) return string_geometric_stiffness(length, axial_force);
  return beam_geometric_stiffness(length, axial_force);
}

}  // namespace velk
