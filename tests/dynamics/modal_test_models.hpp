#pragma once
// Models of the modal tests: straight members divided into equal parts, in
// any direction and in the document units asked for, with supports given
// axis by axis.

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "document/velk.hpp"
#include "dynamics/modal_analysis.hpp"

namespace velk::test_support {

// The section and material of the closed forms, in base units. The weak
// axis is local z: the lowest bending modes are in the local x-y plane.
inline constexpr double beam_length = 10.0;
inline constexpr double beam_area = 0.01;
inline constexpr double beam_i_weak = 1e-5;
inline constexpr double beam_i_strong = 1e-2;
inline constexpr double beam_torsion = 1e-2;
inline constexpr double beam_e = 2.1e11;
inline constexpr double beam_g = 8.1e10;
inline constexpr double beam_density = 7850.0;

// Document units and the factors from them to base units.
struct DocumentUnits {
  std::string_view name;
  LengthUnit length;
  ForceUnit force;
  PressureUnit pressure;
  DensityUnit density;
  double l;  // metres per length unit
  double p;  // pascals per pressure unit
  double d;  // kg/m3 per density unit
};
inline constexpr DocumentUnits base_units{
    "m_N", LengthUnit::M, ForceUnit::N, PressureUnit::Pa, DensityUnit::KgPerM3, 1.0, 1.0, 1.0};
inline constexpr DocumentUnits m_kn{
    "m_kN", LengthUnit::M, ForceUnit::KN, PressureUnit::GPa, DensityUnit::KgPerM3, 1.0, 1e9, 1.0};
inline constexpr DocumentUnits mm_n{
    "mm_N", LengthUnit::Mm, ForceUnit::N, PressureUnit::MPa, DensityUnit::KgPerMm3, 1e-3, 1e6, 1e9};

// A support from six letters for UX UY UZ RX RY RZ: 'F' fixed, '.' free.
inline NodalSupport support_of(std::uint32_t id, std::string_view axes) {
  NodalSupport support;
  support.id = id;
  static constexpr const char* names[] = {"X", "Y", "Z"};
  for (int k = 0; k < 6; ++k) {
    const SupportCondition condition{axes[k] == 'F' ? ConditionType::Fixed : ConditionType::Free, {}};
    (k < 3 ? support.displacement_conditions : support.rotation_conditions)[names[k % 3]] = condition;
  }
  return support;
}

// A model in the given units with one material and one section of the
// closed forms (density and areas converted to those units).
inline VELK empty_model(const DocumentUnits& units, double density = beam_density) {
  VELK model;
  AnalysisOptions& options = model.settings.analysis_options;
  options.solver = "direct";
  options.tolerance = 1e-9;
  options.order = AnalysisOrder::Linear;
  options.rigid_strategy = RigidStrategy::LinearMpc;
  options.axial_slack = 0.0;
  model.settings.general_info = {"modes", "velk", "1"};
  UnitSettings& u = model.settings.unit_settings;
  u.length_unit = units.length;
  u.force_unit = units.force;
  u.pressure_unit = units.pressure;
  u.density_unit = units.density;
  model.materials.push_back(
      Material{1, "steel", beam_e / units.p, beam_g / units.p, density / units.d, 3.55e8 / units.p});
  const double l2 = units.l * units.l, l4 = l2 * l2;
  model.sections.push_back(Section{
      1, "beam", 1, {}, {}, beam_i_strong / l4, beam_i_weak / l4, beam_torsion / l4, beam_area / l2, {}});
  model.member_sets.push_back(MemberSet{1, {}, {}, {}, {}});
  return model;
}

// Members first_member ... from node `first_node` at `start` along the unit
// direction, `parts` of them over `length` (base units), each node getting
// the support of its position: start, inner or end (nullopt: none).
struct LineSupports {
  std::optional<std::uint32_t> start, inner, end;
};
inline void add_line(VELK& model, const DocumentUnits& units, std::uint32_t first_node,
                     std::uint32_t first_member, std::array<double, 3> start, std::array<double, 3> direction,
                     double length, int parts, LineSupports supports, MemberType type = MemberType::Normal,
                     double rotation_angle = 0.0) {
  const auto node = [&](int i) {
    Node n;
    n.id = first_node + static_cast<std::uint32_t>(i);
    const double s = length * i / parts;
    n.x = (start[0] + s * direction[0]) / units.l;
    n.y = (start[1] + s * direction[1]) / units.l;
    n.z = (start[2] + s * direction[2]) / units.l;
    n.nodal_support = i == 0 ? supports.start : i == parts ? supports.end : supports.inner;
    return n;
  };
  for (int i = 0; i < parts; ++i) {
    Member m;
    m.id = first_member + static_cast<std::uint32_t>(i);
    m.start_node = node(i);
    m.end_node = node(i + 1);
    m.section = 1;
    m.member_type = type;
    m.rotation_angle = rotation_angle;
    model.member_sets[0].members.push_back(m);
  }
}

inline double relative_difference(double a, double b) { return std::abs(a - b) / std::abs(b); }

}  // namespace velk::test_support
