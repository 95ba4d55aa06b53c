#pragma once
// Small models built as records: one steel material, one section with
// distinct bending stiffnesses, helpers to place members, supports and
// nodal loads, and a vertical cantilever column in several members.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "document/velk.hpp"

namespace velk::test_support {

inline constexpr double kE = 2.1e11;
inline constexpr double kG = 8e10;
inline constexpr double kA = 0.01;
inline constexpr double kIy = 2e-5;
inline constexpr double kIz = 3e-5;
inline constexpr double kJ = 1e-5;

inline Node make_node(std::uint32_t id, double x, double y, double z,
                      std::optional<std::uint32_t> support = std::nullopt) {
  Node node;
  node.id = id;
  node.x = x;
  node.y = y;
  node.z = z;
  node.nodal_support = support;
  return node;
}

inline Member make_member(std::uint32_t id, const Node& start, const Node& end,
                          MemberType type = MemberType::Normal, std::optional<std::uint32_t> section = 1) {
  Member member;
  member.id = id;
  member.start_node = start;
  member.end_node = end;
  member.member_type = type;
  member.section = section;
  return member;
}

inline Material steel(std::uint32_t id = 1, double e = kE) {
  Material material;
  material.id = id;
  material.name = "steel";
  material.e_mod = e;
  material.g_mod = kG;
  return material;
}

// Structural steel as the end-to-end models use it: E 210 GPa, G 81 GPa,
// 7850 kg/m3, yield stress 355 MPa; `name` S355 in the generated frames.
inline constexpr double steel_e = 2.1e11;
inline constexpr double steel_g = 8.1e10;

inline Material structural_steel(std::string name = "steel") {
  return Material{1, std::move(name), steel_e, steel_g, 7850.0, 3.55e8};
}

inline Section beam_section(std::uint32_t id = 1, std::uint32_t material = 1) {
  Section section;
  section.id = id;
  section.material = material;
  section.area = kA;
  section.i_y = kIy;
  section.i_z = kIz;
  section.j = kJ;
  return section;
}

// A model with the steel material and beam section, and the given members in
// one member set.
inline VELK model_with(std::vector<Member> members) {
  VELK model;
  model.materials.push_back(steel());
  model.sections.push_back(beam_section());
  MemberSet set;
  set.id = 1;
  set.members = std::move(members);
  model.member_sets.push_back(std::move(set));
  return model;
}

inline SupportCondition condition(ConditionType type, std::optional<double> stiffness = std::nullopt) {
  return SupportCondition{type, stiffness};
}

// A support holding all six DOFs.
inline NodalSupport fixed_support(std::uint32_t id) {
  NodalSupport support;
  support.id = id;
  for (const char* axis : {"X", "Y", "Z"}) {
    support.displacement_conditions[axis] = condition(ConditionType::Fixed);
    support.rotation_conditions[axis] = condition(ConditionType::Fixed);
  }
  return support;
}

inline MemberHinge hinge(std::uint32_t id) {
  MemberHinge h;
  h.id = id;
  return h;
}

// Bending stiffness of the column section about both axes.
inline constexpr double kColumnI = kIz;

inline NodalLoad point_load(std::uint32_t node, std::uint32_t load_case, double magnitude, Vec3 direction) {
  NodalLoad load;
  load.id = node;
  load.node = node;
  load.load_case = load_case;
  load.magnitude = magnitude;
  load.direction = direction;
  return load;
}

inline LoadCase load_case(std::uint32_t id, std::string name, std::vector<NodalLoad> loads = {}) {
  LoadCase lc;
  lc.id = id;
  lc.name = std::move(name);
  lc.nodal_loads = std::move(loads);
  return lc;
}

// A column along +Z from the fixed node 1 at the origin to the tip node
// `members` + 1, with equal bending stiffness about both section axes.
inline VELK column_model(int members, double length) {
  std::vector<Member> list;
  for (int i = 0; i < members; ++i) {
    const auto id = static_cast<std::uint32_t>(i + 1);
    const double z0 = length * i / members;
    const double z1 = length * (i + 1) / members;
    list.push_back(
        make_member(id, make_node(id, 0, 0, z0, i == 0 ? std::optional<std::uint32_t>(1) : std::nullopt),
                    make_node(id + 1, 0, 0, z1)));
  }
  VELK model = model_with(std::move(list));
  model.sections[0].i_y = kColumnI;
  model.sections[0].i_z = kColumnI;
  model.nodal_supports.push_back(fixed_support(1));
  model.settings.analysis_options.order = AnalysisOrder::Nonlinear;
  model.settings.analysis_options.tolerance = 1e-9;
  return model;
}

}  // namespace velk::test_support
