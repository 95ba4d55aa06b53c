#include "member/member_geometry.hpp"

#include <cmath>

#include "base/fault.hpp"
#include "document/record_schema.hpp"

namespace velk {

namespace {

constexpr double min_direction_length = 1e-12;
// |x . Y| above this counts as a vertical member.
constexpr double vertical_cosine = 0.999999;

Vector3 position(const Node& node) { return {node.x, node.y, node.z}; }

}  // namespace

std::string_view member_type_name(MemberType type) { return json::canonical_spelling(type); }

double member_length(const Member& member) {
  return (position(member.end_node) - position(member.start_node)).norm();
}

Matrix3 rotation_matrix(const Member& member) {
  const Vector3 d = position(member.end_node) - position(member.start_node);
  const double length = d.norm();
  if (length < min_member_length) {
    throw Fault("Start and end nodes are the same or too close to define a direction.");
  }
  const Vector3 x = d / length;

  const Vector3 reference = std::abs(x.y()) > vertical_cosine ? Vector3::UnitZ() : Vector3::UnitY();
  Vector3 z = x.cross(reference);
  if (z.norm() < min_direction_length) {
    z = x.cross(Vector3::UnitX());
    if (z.norm() < min_direction_length) throw Fault("Cannot define a valid local_z axis.");
  }
  z.normalize();
  Vector3 y = z.cross(x).normalized();

  const double theta = member.rotation_angle;
  if (theta != 0.0 && !std::isnan(theta)) {
    // Turn y towards z about local x.
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    const Vector3 y_turned = c * y + s * z;
    const Vector3 z_turned = c * z - s * y;
    y = y_turned;
    z = z_turned;
  }

  Matrix3 lambda;
  lambda.row(0) = x.transpose();
  lambda.row(1) = y.transpose();
  lambda.row(2) = z.transpose();
  return lambda;
}

Matrix12 transformation_matrix(const Member& member) {
  const Matrix3 lambda = rotation_matrix(member);
  Matrix12 lambda12 = Matrix12::Zero();
  for (int b = 0; b < 4; ++b) lambda12.block<3, 3>(3 * b, 3 * b) = lambda;
  return lambda12;
}

Matrix12 local_to_global(const Matrix12& k_local, const Matrix3& lambda) {
  Matrix12 k_global;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      k_global.block<3, 3>(3 * i, 3 * j).noalias() =
          lambda.transpose() * k_local.block<3, 3>(3 * i, 3 * j) * lambda;
    }
  }
  return k_global;
}

Vector12 local_to_global(const Vector12& f_local, const Matrix3& lambda) {
  Vector12 f_global;
  for (int i = 0; i < 4; ++i)
    f_global.segment<3>(3 * i).noalias() = lambda.transpose() * f_local.segment<3>(3 * i);
  return f_global;
}

Vector12 global_to_local(const Vector12& u_global, const Matrix3& lambda) {
  Vector12 u_local;
  for (int i = 0; i < 4; ++i) u_local.segment<3>(3 * i).noalias() = lambda * u_global.segment<3>(3 * i);
  return u_local;
}

}  // namespace velk
