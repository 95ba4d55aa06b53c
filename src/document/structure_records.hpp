#pragma once
// Records that describe the structure itself: nodes, members, member sets,
// sections, materials, section outlines, hinges and supports.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velk {

enum class MemberType { Normal, Truss, Tension, Compression, Rigid };

enum class ConditionType { Fixed, Free, Spring, PositiveOnly, NegativeOnly };

struct Node {
  std::uint32_t id = 0;
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
  std::optional<std::uint32_t> nodal_support;
};

struct Member {
  std::uint32_t id = 0;
  Node start_node;
  Node end_node;
  std::optional<std::uint32_t> section;
  double rotation_angle = 0.0;  // radians, about the member axis
  std::optional<std::uint32_t> start_hinge;
  std::optional<std::uint32_t> end_hinge;
  std::string classification;
  double weight = 0.0;
  std::optional<double> chi;
  std::optional<std::uint32_t> reference_member;
  std::optional<std::uint32_t> reference_node;
  MemberType member_type = MemberType::Normal;
};

struct MemberSet {
  std::uint32_t id = 0;
  std::optional<double> l_y;
  std::optional<double> l_z;
  std::optional<std::string> classification;
  std::vector<Member> members;
};

struct Section {
  std::uint32_t id = 0;
  std::string name;
  std::uint32_t material = 0;
  std::optional<double> h;
  std::optional<double> b;
  double i_y = 0.0;
  double i_z = 0.0;
  double j = 0.0;
  double area = 0.0;
  std::optional<std::uint32_t> shape_path;
};

struct Material {
  std::uint32_t id = 0;
  std::string name;
  double e_mod = 0.0;
  double g_mod = 0.0;
  double density = 0.0;
  double yield_stress = 0.0;
};

struct ShapeCommand {
  std::string command;
  std::optional<double> y;
  std::optional<double> z;
  std::optional<double> r;
  std::optional<double> control_y1;
  std::optional<double> control_z1;
  std::optional<double> control_y2;
  std::optional<double> control_z2;
};

struct ShapePath {
  std::uint32_t id = 0;
  std::string name;
  std::vector<ShapeCommand> shape_commands;
};

struct MemberHinge {
  std::uint32_t id = 0;
  std::string hinge_type;
  std::optional<double> translational_release_vx;
  std::optional<double> translational_release_vy;
  std::optional<double> translational_release_vz;
  std::optional<double> rotational_release_mx;
  std::optional<double> rotational_release_my;
  std::optional<double> rotational_release_mz;
  std::optional<double> max_tension_vx;
  std::optional<double> max_tension_vy;
  std::optional<double> max_tension_vz;
  std::optional<double> max_moment_mx;
  std::optional<double> max_moment_my;
  std::optional<double> max_moment_mz;
};

struct SupportCondition {
  ConditionType condition_type = ConditionType::Free;
  std::optional<double> stiffness;
};

struct NodalSupport {
  std::uint32_t id = 0;
  std::optional<std::string> classification;
  // Keyed by axis name ("X", "Y", "Z"; small letters are accepted too).
  std::map<std::string, SupportCondition> displacement_conditions;
  std::map<std::string, SupportCondition> rotation_conditions;
};

}  // namespace velk
