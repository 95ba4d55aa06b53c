#pragma once
// The models of the stability tests: Euler columns in any orientation and
// with any end conditions, and sway portal frames, built as records in base
// units, and their conversion into a document's units.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "document/units.hpp"
#include "stability/stability.hpp"
#include "support/frame_builder.hpp"

namespace velk::test_support {

// A column's end conditions, bottom first.
enum class ColumnEnds { PinnedPinned, FixedFree, FixedPinned, FixedFixed };

// The effective length factor of the closed form: pi over the root of the
// characteristic equation (tan u = u for the fixed-pinned column).
inline double effective_length_factor(ColumnEnds ends) {
  switch (ends) {
    case ColumnEnds::PinnedPinned:
      return 1.0;
    case ColumnEnds::FixedFree:
      return 2.0;
    case ColumnEnds::FixedPinned:
      return std::numbers::pi / 4.493409457909064;
    case ColumnEnds::FixedFixed:
      return 0.5;
  }
  return 1.0;
}

inline const char* ends_name(ColumnEnds ends) {
  switch (ends) {
    case ColumnEnds::PinnedPinned:
      return "pinned_pinned";
    case ColumnEnds::FixedFree:
      return "fixed_free";
    case ColumnEnds::FixedPinned:
      return "fixed_pinned";
    case ColumnEnds::FixedFixed:
      return "fixed_fixed";
  }
  return "";
}

// Section of the columns: I_y the weak axis, I_z = 1.5 I_y.
inline constexpr double column_area = 5e-3;
inline constexpr double column_i_y = 2e-5;
inline constexpr double column_i_z = 3e-5;
inline constexpr double column_j = 1e-5;
inline constexpr double column_load = 1e5;  // N, along the column towards its bottom

struct ColumnModel {
  FrameBuilder builder;
  std::uint32_t top = 0;
  double length = 0.0;
};

// A column from the origin along `axis` (a unit vector; a global axis unless
// the ends are fixed-free), divided into `members`, carrying column_load at
// its top in load case 1. Supports in global axes: the bottom holds the
// translations (and the twist about the axis, or every rotation when
// fixed), the top the translations across the axis (and its rotations when
// fixed).
inline ColumnModel euler_column(Eigen::Vector3d axis, int members, double length, ColumnEnds ends,
                                double rotation_angle = 0.0) {
  ColumnModel c;
  c.length = length;
  FrameBuilder& b = c.builder;
  const std::uint32_t section = b.section(column_area, column_i_y, column_i_z, column_j);
  const bool fixed_bottom = ends != ColumnEnds::PinnedPinned;
  int along = 0;
  axis.cwiseAbs().maxCoeff(&along);
  const std::string axis_name(1, "XYZ"[along]);
  std::string across;
  for (int i = 0; i < 3; ++i) {
    if (i != along) across += "XYZ"[i];
  }
  NodalSupport& bottom = b.support(1, ConditionType::Fixed, "XYZ", ConditionType::Fixed, "XYZ");
  if (!fixed_bottom) {
    for (const char a : across) bottom.rotation_conditions[std::string(1, a)] = {ConditionType::Free, {}};
  }
  if (ends != ColumnEnds::FixedFree) {
    const ConditionType top_rotations =
        ends == ColumnEnds::FixedFixed ? ConditionType::Fixed : ConditionType::Free;
    NodalSupport& top = b.support(2, ConditionType::Fixed, across, top_rotations, "XYZ");
    top.displacement_conditions[axis_name] = {ConditionType::Free, {}};
  }
  const auto top_support =
      ends == ColumnEnds::FixedFree ? std::optional<std::uint32_t>() : std::optional<std::uint32_t>(2);
  for (int i = 0; i <= members; ++i) {
    const Eigen::Vector3d p = axis * (length * i / members);
    const auto id = static_cast<std::uint32_t>(i + 1);
    b.node(id, p.x(), p.y(), p.z(),
           i == 0 ? std::optional<std::uint32_t>(1) : (i == members ? top_support : std::nullopt));
  }
  for (int i = 1; i <= members; ++i) {
    const auto id = static_cast<std::uint32_t>(i);
    b.member(id, id, id + 1, section).rotation_angle = rotation_angle;
  }
  c.top = static_cast<std::uint32_t>(members + 1);
  LoadCase& lc = b.load_case(1, "P");
  FrameBuilder::force(lc, c.top, column_load, {-axis.x(), -axis.y(), -axis.z()});
  return c;
}

// A portal frame in the X-Z plane: columns of height h at x = 0 and x = span,
// a beam between their tops, each divided into `members`; every node is held
// out of its plane (UY, RX, RZ), the bases pinned or fixed. Load case 1
// puts `load` downwards on each column top, load case 2 `sway` along +X at
// the left top. Columns and beam have equal I_y and I_z.
struct PortalModel {
  FrameBuilder builder;
  std::uint32_t left_top = 0;
  std::uint32_t right_top = 0;
};

inline constexpr double portal_column_i = 8e-5;
inline constexpr double portal_beam_i = 1.2e-4;
inline constexpr double portal_area = 5.0;

inline PortalModel portal_frame(double h, double span, int members, bool fixed_bases, double load,
                                double sway = 0.0) {
  PortalModel p;
  FrameBuilder& b = p.builder;
  // Areas large enough that the members' shortening, which the closed forms
  // leave out, changes the critical loads by less than 1e-5.
  const std::uint32_t column = b.section(portal_area, portal_column_i, portal_column_i, 1e-5);
  const std::uint32_t beam = b.section(portal_area, portal_beam_i, portal_beam_i, 1e-5);
  NodalSupport& base =
      b.support(1, ConditionType::Fixed, "XYZ", ConditionType::Fixed, fixed_bases ? "XYZ" : "XZ");
  if (!fixed_bases) base.rotation_conditions["Y"] = {ConditionType::Free, {}};
  NodalSupport& in_plane = b.support(2, ConditionType::Fixed, "Y", ConditionType::Fixed, "XZ");
  in_plane.displacement_conditions["X"] = {ConditionType::Free, {}};
  in_plane.displacement_conditions["Z"] = {ConditionType::Free, {}};
  in_plane.rotation_conditions["Y"] = {ConditionType::Free, {}};
  std::uint32_t next = 1;
  const auto add_node = [&](double x, double z, std::uint32_t support) {
    b.node(next, x, 0.0, z, support);
    return next++;
  };
  std::uint32_t member = 1;
  const auto add_line = [&](std::uint32_t from, double x0, double z0, double x1, double z1,
                            std::uint32_t section, std::optional<std::uint32_t> last) {
    std::uint32_t previous = from;
    for (int i = 1; i <= members; ++i) {
      const double t = static_cast<double>(i) / members;
      const std::uint32_t node =
          (i == members && last) ? *last : add_node(x0 + t * (x1 - x0), z0 + t * (z1 - z0), 2);
      b.member(member++, previous, node, section);
      previous = node;
    }
    return previous;
  };
  const std::uint32_t left_base = add_node(0.0, 0.0, 1);
  p.left_top = add_line(left_base, 0.0, 0.0, 0.0, h, column, std::nullopt);
  const std::uint32_t right_base = add_node(span, 0.0, 1);
  p.right_top = add_line(right_base, span, 0.0, span, h, column, std::nullopt);
  add_line(p.left_top, 0.0, h, span, h, beam, p.right_top);
  LoadCase& vertical = b.load_case(1, "vertical");
  FrameBuilder::force(vertical, p.left_top, load, {0, 0, -1});
  FrameBuilder::force(vertical, p.right_top, load, {0, 0, -1});
  if (sway != 0.0) {
    LoadCase& lateral = b.load_case(2, "sway");
    FrameBuilder::force(lateral, p.left_top, sway, {1, 0, 0});
  }
  return p;
}

// The model's records turned from base units into the given document units
// (what normalize_units turns back): geometry, sections, materials, nodal
// and distributed loads.
inline void to_document_units(VELK& model, LengthUnit length, ForceUnit force, PressureUnit pressure) {
  model.settings.unit_settings.length_unit = length;
  model.settings.unit_settings.force_unit = force;
  model.settings.unit_settings.pressure_unit = pressure;
  const UnitFactors f = unit_factors(model.settings.unit_settings);
  for (MemberSet& set : model.member_sets) {
    for (Member& member : set.members) {
      for (Node* node : {&member.start_node, &member.end_node}) {
        node->x /= f.length;
        node->y /= f.length;
        node->z /= f.length;
      }
    }
  }
  for (Section& section : model.sections) {
    section.area /= f.length * f.length;
    section.i_y /= std::pow(f.length, 4);
    section.i_z /= std::pow(f.length, 4);
    section.j /= std::pow(f.length, 4);
  }
  for (Material& material : model.materials) {
    material.e_mod /= f.pressure;
    material.g_mod /= f.pressure;
  }
  for (LoadCase& load_case : model.load_cases) {
    for (NodalLoad& load : load_case.nodal_loads) load.magnitude /= f.force;
    for (DistributedLoad& load : load_case.distributed_loads) {
      load.magnitude /= f.force / f.length;
      load.end_magnitude /= f.force / f.length;
    }
  }
}

// The stability of a model as read from a document, or a test failure.
inline StabilityAnalysis stability_of(const VELK& model, int modes = default_buckling_modes,
                                      Eigen::Index dense_limit = -1) {
  StabilityOptions options;
  options.modes = modes;
  if (dense_limit >= 0) options.dense_limit = dense_limit;
  Result<StabilityAnalysis> analysis = analyse_document_stability(model, options);
  EXPECT_TRUE(analysis.has_value()) << (analysis ? "" : analysis.error());
  return analysis ? std::move(*analysis) : StabilityAnalysis{};
}

}  // namespace velk::test_support
