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

namespace velk::test_support {

inline constexpr double steel_e = 2.1e11;
inline constexpr double steel_g = 8.1e10;

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
    model.materials.push_back(Material{1, "steel", steel_e, steel_g, 7850.0, 3.55e8});
    model.member_sets.push_back(MemberSet{1, {}, {}, {}, {}});
  }

  // A section of the steel material; returns its id.
  std::uint32_t section(double area, double i_y, double i_z, double j) {
    const auto id = static_cast<std::uint32_t>(model.sections.size() + 1);
    model.sections.push_back(Section{id, "S" + std::to_string(id), 1, {}, {}, i_y, i_z, j, area, {}});
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
  const UnitFactors units = unit_factors(analysed.settings.unit_settings);
  Resultant sum;
  const auto add = [&](const Eigen::Vector3d& at, const Eigen::Vector3d& force,
                       const Eigen::Vector3d& moment) {
    sum.force += force;
    sum.moment += at.cross(force) + moment;
    sum.scale = std::max({sum.scale, force.norm(), moment.norm(), at.cross(force).norm()});
  };
  std::map<std::uint32_t, Eigen::Vector3d> positions;
  std::map<std::uint32_t, const Member*> members;
  for (const MemberSet& set : analysed.member_sets) {
    for (const Member& m : set.members) {
      positions.try_emplace(m.start_node.id, m.start_node.x, m.start_node.y, m.start_node.z);
      positions.try_emplace(m.end_node.id, m.end_node.x, m.end_node.y, m.end_node.z);
      members.try_emplace(m.id, &m);
    }
  }
  for (const auto& [node, reaction] : results.reaction_nodes) {
    const NodeForces& f = reaction.nodal_forces;
    add(positions.at(node), Eigen::Vector3d(f.fx, f.fy, f.fz) * units.force,
        Eigen::Vector3d(f.mx, f.my, f.mz) * units.force * units.length);
  }
  // The loads of the written model are in base units already.
  std::vector<std::pair<const LoadCase*, double>> cases;
  const auto find_case = [&](std::uint32_t id) -> const LoadCase* {
    for (const LoadCase& c : analysed.load_cases) {
      if (c.id == id) return &c;
    }
    return nullptr;
  };
  if (results.result_type.kind == ResultType::Kind::Loadcase) {
    cases.emplace_back(find_case(results.result_type.id), 1.0);
  } else {
    for (const LoadCombination& combination : analysed.load_combinations) {
      if (combination.id != results.result_type.id) continue;
      for (const auto& [id, factor] : combination.load_cases_factors)
        cases.emplace_back(find_case(id), factor);
      break;
    }
  }
  for (const auto& [c, factor] : cases) {
    if (c == nullptr) continue;
    for (const NodalLoad& load : c->nodal_loads) {
      const Eigen::Vector3d d(load.direction[0], load.direction[1], load.direction[2]);
      add(positions.at(load.node), factor * load.magnitude * d, Eigen::Vector3d::Zero());
    }
    for (const NodalMoment& load : c->nodal_moments) {
      const Eigen::Vector3d d(load.direction[0], load.direction[1], load.direction[2]);
      add(Eigen::Vector3d::Zero(), Eigen::Vector3d::Zero(), factor * load.magnitude * d);
    }
    for (const DistributedLoad& load : c->distributed_loads) {
      if (load.load_case != c->id) continue;
      const Member& m = *members.at(load.member);
      const Eigen::Vector3d xs = positions.at(m.start_node.id);
      const Eigen::Vector3d delta = positions.at(m.end_node.id) - xs;
      const double length = delta.norm();
      const double a = load.start_frac, b = load.end_frac, q1 = load.magnitude, q2 = load.end_magnitude;
      if (std::abs(b - a) < 1e-14) continue;
      // Resultant L * int q and its first moment L * int q xi over [a, b].
      const double total = length * (b - a) * (q1 + q2) / 2.0;
      const double first = length * (b - a) / 6.0 * (q1 * (2 * a + b) + q2 * (a + 2 * b));
      const Eigen::Vector3d d(load.direction[0], load.direction[1], load.direction[2]);
      const Eigen::Vector3d centroid_moment_arm = xs * total + delta * first;  // int q x L
      sum.force += factor * total * d;
      sum.moment += factor * centroid_moment_arm.cross(d);
      sum.scale =
          std::max({sum.scale, std::abs(factor * total) * d.norm(), centroid_moment_arm.norm() * d.norm()});
    }
  }
  return sum;
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
