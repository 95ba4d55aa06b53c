#pragma once
// Whole models for end-to-end tests, built as records, analysed through the
// driver as JSON text and read back; and the global equilibrium check that
// every solved case must pass.

#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <array>
#include <cmath>
#include <map>
#include <string>

#include "analysis/driver.hpp"
#include "document/document_io.hpp"
#include "document/units.hpp"
#include "results/equilibrium.hpp"
#include "support/model_parts.hpp"

namespace velk::test_support {

class FrameBuilder {
 public:
  FrameBuilder() {
    AnalysisOptions& options = model.settings.analysis_options;
    options.solver = "direct";
    options.tolerance = 1e-9;
    options.order = AnalysisOrder::Linear;
    options.rigid_strategy = RigidStrategy::LinearMpc;
    options.axial_slack = 0.0;
    model.settings.general_info = {"test", "velk", "1"};
    model.materials.push_back(structural_steel());
    model.member_sets.push_back(MemberSet{1, {}, {}, {}, {}});
  }

  // A section of the steel material; returns its id.
  std::uint32_t section(double area, double i_y, double i_z, double j) {
    const auto id = static_cast<std::uint32_t>(model.sections.size() + 1);
    std::string name = "S";  // appended, not "S" + ...: GCC 12 warns wrongly on that (-Wrestrict)
    name += std::to_string(id);
    model.sections.push_back(Section{id, std::move(name), 1, {}, {}, i_y, i_z, j, area, {}});
    return id;
  }

  void node(std::uint32_t id, double x, double y, double z,
            std::optional<std::uint32_t> support = std::nullopt) {
    nodes[id] = Node{id, x, y, z, support};
  }

  Member& member(std::uint32_t id, std::uint32_t start, std::uint32_t end, std::uint32_t section_id,
                 MemberType type = MemberType::Normal) {
    Member m;
    m.id = id;
    m.start_node = nodes.at(start);
    m.end_node = nodes.at(end);
    if (type != MemberType::Rigid) m.section = section_id;
    m.member_type = type;
    model.member_sets[0].members.push_back(m);
    return model.member_sets[0].members.back();
  }

  // A support with the same condition on the given axes ("XYZ" for all
  // three), displacement and rotation separately; other axes unmentioned.
  NodalSupport& support(std::uint32_t id, ConditionType displacement, std::string_view displacement_axes,
                        ConditionType rotation, std::string_view rotation_axes) {
    NodalSupport s;
    s.id = id;
    for (const char axis : displacement_axes)
      s.displacement_conditions[std::string(1, axis)] = {displacement, {}};
    for (const char axis : rotation_axes) s.rotation_conditions[std::string(1, axis)] = {rotation, {}};
    model.nodal_supports.push_back(s);
    return model.nodal_supports.back();
  }

  LoadCase& load_case(std::uint32_t id, std::string name) {
    model.load_cases.push_back(LoadCase{id, std::move(name), {}, {}, {}, {}, {}});
    return model.load_cases.back();
  }

  static void force(LoadCase& c, std::uint32_t node, double magnitude, Vec3 direction) {
    c.nodal_loads.push_back(NodalLoad{static_cast<std::uint32_t>(c.nodal_loads.size() + 1), node, c.id,
                                      magnitude, direction, "point"});
  }
  static void moment(LoadCase& c, std::uint32_t node, double magnitude, Vec3 direction) {
    c.nodal_moments.push_back(NodalMoment{static_cast<std::uint32_t>(c.nodal_moments.size() + 1), node, c.id,
                                          magnitude, direction, "moment"});
  }
  static void line_load(LoadCase& c, std::uint32_t member, double q1, double q2, Vec3 direction,
                        double a = 0.0, double b = 1.0) {
    c.distributed_loads.push_back(DistributedLoad{member, c.id, q1, direction, a, b, q2});
  }

  std::string text() const { return write_velk(model); }

  // Analyses the model; the analysed model read back, or a test failure.
  VELK analyse() const {
    const auto written = calculate_from_json(text());
    EXPECT_TRUE(written.has_value()) << (written ? "" : written.error());
    if (!written) return {};
    auto reread = read_velk(*written);
    EXPECT_TRUE(reread.has_value()) << (reread ? "" : reread.error());
    return reread ? std::move(*reread) : VELK{};
  }

  VELK model;
  std::map<std::uint32_t, Node> nodes;
};

// A pin-jointed bay 4 m wide and 3 m high (columns and beam as trusses, held
// in its plane) with two tension-only diagonals, members 4 (1 -> 4) and
// 5 (2 -> 3); a sway load puts one in tension and the other slack.
inline FrameBuilder braced_bay(double axial_slack = 0.0) {
  FrameBuilder b;
  b.model.settings.analysis_options.axial_slack = axial_slack;
  const auto s = b.section(0.01, 2e-5, 3e-5, 1e-5);
  b.support(1, ConditionType::Fixed, "XYZ", ConditionType::Free, "XYZ");
  NodalSupport& in_plane = b.support(2, ConditionType::Free, "XY", ConditionType::Free, "XYZ");
  in_plane.displacement_conditions["Z"] = {ConditionType::Fixed, {}};
  b.node(1, 0, 0, 0, 1);
  b.node(2, 4, 0, 0, 1);
  b.node(3, 0, 3, 0, 2);
  b.node(4, 4, 3, 0, 2);
  b.member(1, 1, 3, s, MemberType::Truss);
  b.member(2, 2, 4, s, MemberType::Truss);
  b.member(3, 3, 4, s, MemberType::Truss);
  b.member(4, 1, 4, s, MemberType::Tension);
  b.member(5, 2, 3, s, MemberType::Tension);
  return b;
}

// Sum of the reactions and every applied load (nodal forces and moments and
// distributed loads, factored), in force and in moment about the origin, for
// one solved case of an analysed model; base units.
struct Resultant {
  Eigen::Vector3d force = Eigen::Vector3d::Zero();
  Eigen::Vector3d moment = Eigen::Vector3d::Zero();
  double scale = 0.0;  // the largest single contribution, to judge rounding against
};

inline Resultant equilibrium_residual(const VELK& analysed, const Results& results) {
  const EquilibriumBalance balance =
      equilibrium_balance(analysed, results.result_type, results,
                          unit_factors(analysed.settings.unit_settings), BalanceUnits::Base);
  return Resultant{balance.residual.head<3>(), balance.residual.tail<3>(), balance.scale};
}

// Every solved case of the analysed model is in equilibrium.
inline void expect_equilibrium(const VELK& analysed, double relative = 1e-9) {
  ASSERT_TRUE(analysed.results.has_value());
  for (const auto* group : {&analysed.results->loadcases, &analysed.results->loadcombinations}) {
    for (const auto& [name, results] : *group) {
      const Resultant r = equilibrium_residual(analysed, results);
      const double bound = relative * std::max(r.scale, 1.0);
      EXPECT_LE(r.force.cwiseAbs().maxCoeff(), bound) << name << " force residual " << r.force.transpose();
      EXPECT_LE(r.moment.cwiseAbs().maxCoeff(), bound) << name << " moment residual " << r.moment.transpose();
    }
  }
}

}  // namespace velk::test_support
