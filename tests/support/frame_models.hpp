#pragma once
// Generated 3D frames for the benchmarks, the tests and the fuzz seeds:
// columns on a square grid, beams in both directions on every floor,
// diagonal truss braces in the outer bays, rigid stubs to eccentric load
// points, and the members cut off at a given count; and braced buildings by
// storeys and bays, from a hundred to tens of thousands of members.

#include <algorithm>
#include <cstdint>
#include <unordered_map>

#include "document/velk.hpp"
#include "support/model_parts.hpp"

namespace velk::test_support {

// The steel (S355), the sections of the generated frames (1 HEA200 columns,
// 2 IPE300 beams, 3 CHS60 braces) and the fixed support 1 of their feet.
inline void add_steel_frame_parts(VELK& model) {
  model.materials.push_back(structural_steel("S355"));
  model.sections.push_back(Section{1, "HEA200", 1, 0.19, 0.2, 3.692e-5, 1.336e-5, 2.1e-7, 5.383e-3, {}});
  model.sections.push_back(Section{2, "IPE300", 1, 0.3, 0.15, 8.356e-5, 6.04e-6, 2.01e-7, 5.381e-3, {}});
  model.sections.push_back(Section{3, "CHS60", 1, 0.06, 0.06, 2.2e-7, 2.2e-7, 4.4e-7, 7.0e-4, {}});
  model.nodal_supports.push_back(fixed_support(1));
}

struct FrameOptions {
  int members = 100;    // in all, rigid stubs included
  int rigid_stubs = 4;  // Rigid members from top-floor nodes to load points
};

// The three member sets of the generated frames: 1 columns, 2 beams,
// 3 braces.
struct FrameSets {
  MemberSet columns{1, 3.5, 3.5, "columns", {}};
  MemberSet beams{2, 6.0, 6.0, "beams", {}};
  MemberSet braces{3, {}, {}, "braces", {}};
};

// A member of a generated frame in `set`, numbered after the last one.
inline void add_frame_member(MemberSet& set, std::uint32_t& id, Node a, Node b, std::uint32_t section,
                             MemberType type) {
  Member m;
  m.id = id++;
  m.start_node = a;
  m.end_node = b;
  m.section = section;
  m.classification = set.classification.value_or("");
  m.weight = 42.3;
  m.member_type = type;
  set.members.push_back(m);
}

inline VELK frame_model(const FrameOptions& options = {}) {
  VELK model;
  model.settings.analysis_options.tolerance = 1e-6;
  model.settings.general_info = {"Benchmark frame", "velk", "1"};
  add_steel_frame_parts(model);

  // Enough grid for the members asked for: about 5 members per node.
  int grid = 2;
  while (grid * grid * 5 * 3 < options.members * 2) ++grid;
  const int levels = 2 + options.members / (grid * grid);  // more than needed; members stop at the count
  const auto node = [&](int i, int k, int level) {
    Node n;
    n.id = static_cast<std::uint32_t>(1 + i + grid * k + grid * grid * level);
    n.x = 6.0 * i;
    n.y = 5.0 * k;
    n.z = 3.5 * level;
    if (level == 0) n.nodal_support = 1;
    return n;
  };

  FrameSets sets;
  auto& [columns, beams, braces] = sets;
  std::uint32_t id = 1;
  std::uint32_t top_level = 0;
  const auto add = [&](MemberSet& set, Node a, Node b, std::uint32_t section, MemberType type) {
    if (static_cast<int>(id) > options.members - options.rigid_stubs) return;
    add_frame_member(set, id, a, b, section, type);
    top_level = std::max<std::uint32_t>(top_level, static_cast<std::uint32_t>(b.z / 3.5 + 0.5));
  };
  for (int level = 0; level + 1 < levels; ++level) {
    for (int i = 0; i < grid; ++i)
      for (int k = 0; k < grid; ++k)
        add(columns, node(i, k, level), node(i, k, level + 1), 1, MemberType::Normal);
    for (int i = 0; i < grid; ++i) {
      for (int k = 0; k < grid; ++k) {
        if (i + 1 < grid) add(beams, node(i, k, level + 1), node(i + 1, k, level + 1), 2, MemberType::Normal);
        if (k + 1 < grid) add(beams, node(i, k, level + 1), node(i, k + 1, level + 1), 2, MemberType::Normal);
      }
    }
    add(braces, node(0, 0, level), node(1, 0, level + 1), 3, MemberType::Truss);
    add(braces, node(0, 0, level), node(0, 1, level + 1), 3, MemberType::Truss);
  }
  // Columns that were cut off leave nodes without members: renumber densely.
  model.member_sets = {columns, beams, braces};
  std::unordered_map<std::uint32_t, std::uint32_t> renumbered;
  for (MemberSet& set : model.member_sets) {
    for (Member& m : set.members) {
      for (Node* n : {&m.start_node, &m.end_node}) {
        const auto [it, fresh] = renumbered.emplace(n->id, static_cast<std::uint32_t>(renumbered.size() + 1));
        n->id = it->second;
      }
    }
  }
  // Rigid stubs from the last nodes to eccentric load points.
  MemberSet stubs{4, {}, {}, "stubs", {}};
  std::uint32_t next_node = static_cast<std::uint32_t>(renumbered.size() + 1);
  const auto& last_columns = model.member_sets[0].members;
  for (int s = 0; s < options.rigid_stubs && s < static_cast<int>(last_columns.size()); ++s) {
    const Node& top = last_columns[last_columns.size() - 1 - static_cast<std::size_t>(s)].end_node;
    Node point = top;
    point.id = next_node++;
    point.x += 0.4;
    point.y += 0.25;
    Member m;
    m.id = 1000 + static_cast<std::uint32_t>(s);
    m.start_node = top;
    m.end_node = point;
    m.member_type = MemberType::Rigid;
    stubs.members.push_back(m);
  }
  model.member_sets.push_back(stubs);

  LoadCase dead{1, "Dead", {}, {}, {}, {}, {}};
  LoadCase wind{2, "Wind", {}, {}, {}, {}, {}};
  LoadCase live{3, "Live", {}, {}, {}, {}, {}};
  LoadCase point{4, "Point", {}, {}, {}, {}, {}};
  for (const Member& beam : model.member_sets[1].members) {
    dead.distributed_loads.push_back(DistributedLoad{beam.id, 1, -12.5e3, {0, 0, 1}, 0.0, 1.0, -12.5e3});
    live.distributed_loads.push_back(DistributedLoad{beam.id, 3, -5e3, {0, 0, 1}, 0.2, 0.8, -8e3});
  }
  std::uint32_t load_id = 1;
  for (const Member& column : model.member_sets[0].members) {
    if (column.end_node.x == 0.0) {
      wind.nodal_loads.push_back(NodalLoad{load_id++, column.end_node.id, 2, 3.75e3, {1, 0, 0}, "wind"});
    }
  }
  for (const Member& stub : stubs.members) {
    point.nodal_loads.push_back(NodalLoad{load_id++, stub.end_node.id, 4, -20e3, {0, 0, 1}, "point"});
    point.nodal_moments.push_back(NodalMoment{load_id++, stub.end_node.id, 4, 1e3, {0, 1, 0}, "moment"});
  }
  model.load_cases = {dead, wind, live, point};
  model.load_combinations = {
      LoadCombination{1, "ULS 1", {{1, 1.35}, {3, 1.5}}, "persistent", "ULS", LimitState::ULS},
      LoadCombination{2, "ULS 2", {{1, 1.35}, {2, 1.5}, {3, 1.05}}, "persistent", "ULS", LimitState::ULS},
      LoadCombination{3, "SLS", {{1, 1.0}, {2, 1.0}, {3, 1.0}, {4, 1.0}}, {}, "SLS", LimitState::SLS},
  };
  return model;
}

// A braced building: `storeys` of 3.5 m on a plan of `bays_x` bays of 6 m
// by `bays_y` bays of 5 m, fixed column bases, beams both ways on every
// floor, and in the first bay of each of the four faces a cross of two
// truss braces per storey. Load cases: 1 Dead (12.5 kN/m down on every
// beam), 2 Live (5 kN/m down on the middle 60 % of every beam), 3 Wind X
// (3.75 kN along +X at every node of the face x = 0 above the base), 4
// Wind Y (3 kN along +Y at every node of the face y = 0 above the base);
// combinations 1 "ULS 1" 1.35 Dead + 1.5 Live, 2 "ULS 2" 1.35 Dead + 1.5
// Wind X + 1.05 Live, 3 "SLS" Dead + Live + Wind Y. Nodes are numbered
// floor by floor, members columns first, then beams, then braces.
struct BuildingOptions {
  int storeys = 3;
  int bays_x = 2;
  int bays_y = 2;
};

inline constexpr double building_storey_height = 3.5;
inline constexpr double building_bay_x = 6.0;
inline constexpr double building_bay_y = 5.0;
inline constexpr double building_wind_x = 3.75e3;
inline constexpr double building_wind_y = 3e3;

// The members of a building: columns, beams and braces of every storey.
inline int building_members(const BuildingOptions& o) {
  const int columns = (o.bays_x + 1) * (o.bays_y + 1);
  const int beams = o.bays_x * (o.bays_y + 1) + o.bays_y * (o.bays_x + 1);
  return o.storeys * (columns + beams + 8);
}

// The building of about `members` members (at least as many): square in
// plan, about twice as many storeys as bays.
inline BuildingOptions building_of_about(int members) {
  BuildingOptions o{1, 1, 1};
  while (building_members(BuildingOptions{2 * o.bays_x, o.bays_x, o.bays_x}) < members) {
    ++o.bays_x;
  }
  o.bays_y = o.bays_x;
  const int per_storey = building_members(BuildingOptions{1, o.bays_x, o.bays_y});
  o.storeys = std::max(1, (members + per_storey - 1) / per_storey);
  return o;
}

inline VELK building_model(const BuildingOptions& o) {
  VELK model;
  model.settings.analysis_options.tolerance = 1e-6;
  model.settings.general_info = {"Braced building", "velk", "1"};
  add_steel_frame_parts(model);
  // Columns and braces are graded by the storeys they carry: those of a
  // storey have the stiffness of HEA200 and CHS60 times six times the
  // number of storeys from it to the roof, so that every storey stands about
  // as far from buckling under the floors above it as the top one: the
  // elastic critical load factor of the ultimate combinations is then about
  // 3.4 at every height, a building for which second order matters.
  const auto column_section = [](int level) { return static_cast<std::uint32_t>(1000 + level); };
  const auto brace_section = [](int level) { return static_cast<std::uint32_t>(2000 + level); };
  const auto graded = [](Section section, std::uint32_t id, int times) {
    section.id = id;
    section.name += " x" + std::to_string(times);
    section.area *= times;
    section.i_y *= times;
    section.i_z *= times;
    section.j *= times;
    return section;
  };
  const Section hea200 = model.sections[0];
  const Section chs60 = model.sections[2];
  for (int level = 0; level < o.storeys; ++level) {
    model.sections.push_back(graded(hea200, column_section(level), 6 * (o.storeys - level)));
    model.sections.push_back(graded(chs60, brace_section(level), 6 * (o.storeys - level)));
  }

  const int per_floor = (o.bays_x + 1) * (o.bays_y + 1);
  const auto node = [&](int i, int k, int level) {
    Node n;
    n.id = static_cast<std::uint32_t>(1 + i + (o.bays_x + 1) * k + per_floor * level);
    n.x = building_bay_x * i;
    n.y = building_bay_y * k;
    n.z = building_storey_height * level;
    if (level == 0) n.nodal_support = 1;
    return n;
  };
  FrameSets sets;
  auto& [columns, beams, braces] = sets;
  std::uint32_t id = 1;
  for (int level = 0; level < o.storeys; ++level) {
    for (int k = 0; k <= o.bays_y; ++k)
      for (int i = 0; i <= o.bays_x; ++i)
        add_frame_member(columns, id, node(i, k, level), node(i, k, level + 1), column_section(level),
                         MemberType::Normal);
  }
  for (int level = 1; level <= o.storeys; ++level) {
    for (int k = 0; k <= o.bays_y; ++k) {
      for (int i = 0; i <= o.bays_x; ++i) {
        if (i < o.bays_x)
          add_frame_member(beams, id, node(i, k, level), node(i + 1, k, level), 2, MemberType::Normal);
        if (k < o.bays_y)
          add_frame_member(beams, id, node(i, k, level), node(i, k + 1, level), 2, MemberType::Normal);
      }
    }
  }
  for (int level = 0; level < o.storeys; ++level) {
    // Faces y = 0 and y = max in their first bay along X, faces x = 0 and
    // x = max in their first bay along Y; a cross in each.
    for (const int k : {0, o.bays_y}) {
      add_frame_member(braces, id, node(0, k, level), node(1, k, level + 1), brace_section(level),
                       MemberType::Truss);
      add_frame_member(braces, id, node(1, k, level), node(0, k, level + 1), brace_section(level),
                       MemberType::Truss);
    }
    for (const int i : {0, o.bays_x}) {
      add_frame_member(braces, id, node(i, 0, level), node(i, 1, level + 1), brace_section(level),
                       MemberType::Truss);
      add_frame_member(braces, id, node(i, 1, level), node(i, 0, level + 1), brace_section(level),
                       MemberType::Truss);
    }
  }
  model.member_sets = {columns, beams, braces};

  LoadCase dead{1, "Dead", {}, {}, {}, {}, {}};
  LoadCase live{2, "Live", {}, {}, {}, {}, {}};
  LoadCase wind_x{3, "Wind X", {}, {}, {}, {}, {}};
  LoadCase wind_y{4, "Wind Y", {}, {}, {}, {}, {}};
  for (const Member& beam : model.member_sets[1].members) {
    dead.distributed_loads.push_back(DistributedLoad{beam.id, 1, -12.5e3, {0, 0, 1}, 0.0, 1.0, -12.5e3});
    live.distributed_loads.push_back(DistributedLoad{beam.id, 2, -5e3, {0, 0, 1}, 0.2, 0.8, -5e3});
  }
  std::uint32_t load_id = 1;
  for (int level = 1; level <= o.storeys; ++level) {
    for (int k = 0; k <= o.bays_y; ++k)
      wind_x.nodal_loads.push_back(
          NodalLoad{load_id++, node(0, k, level).id, 3, building_wind_x, {1, 0, 0}, "wind"});
    for (int i = 0; i <= o.bays_x; ++i)
      wind_y.nodal_loads.push_back(
          NodalLoad{load_id++, node(i, 0, level).id, 4, building_wind_y, {0, 1, 0}, "wind"});
  }
  model.load_cases = {dead, live, wind_x, wind_y};
  model.load_combinations = {
      LoadCombination{1, "ULS 1", {{1, 1.35}, {2, 1.5}}, "persistent", "ULS", LimitState::ULS},
      LoadCombination{2, "ULS 2", {{1, 1.35}, {3, 1.5}, {2, 1.05}}, "persistent", "ULS", LimitState::ULS},
      LoadCombination{3, "SLS", {{1, 1.0}, {2, 1.0}, {4, 1.0}}, {}, "SLS", LimitState::SLS},
  };
  return model;
}

// A plane frame of 24 members: two bays of 6 m, three storeys of 3.5 m,
// fixed column bases, each beam split at midspan, one truss brace per
// storey; dead and wind load cases and two combinations.
inline VELK plane_frame_model() {
  VELK model;
  model.settings.analysis_options.tolerance = 1e-6;
  model.settings.general_info = {"Plane benchmark frame", "velk", "1"};
  add_steel_frame_parts(model);

  // Five nodes per floor along X (column, midspan, column, midspan, column),
  // three at the bases.
  const auto node = [](int i, int level) {
    Node n;
    n.id = static_cast<std::uint32_t>(level == 0 ? 1 + i / 2 : 4 + 5 * (level - 1) + i);
    n.x = 3.0 * i;
    n.z = 3.5 * level;
    if (level == 0) n.nodal_support = 1;
    return n;
  };
  FrameSets sets;
  auto& [columns, beams, braces] = sets;
  std::uint32_t id = 1;
  const auto add = [&](MemberSet& set, Node a, Node b, std::uint32_t section, MemberType type) {
    add_frame_member(set, id, a, b, section, type);
  };
  for (int level = 0; level < 3; ++level) {
    for (const int i : {0, 2, 4}) add(columns, node(i, level), node(i, level + 1), 1, MemberType::Normal);
    for (int i = 0; i < 4; ++i) add(beams, node(i, level + 1), node(i + 1, level + 1), 2, MemberType::Normal);
    add(braces, node(0, level), node(2, level + 1), 3, MemberType::Truss);
  }
  model.member_sets = {columns, beams, braces};

  LoadCase dead{1, "Dead", {}, {}, {}, {}, {}};
  LoadCase wind{2, "Wind", {}, {}, {}, {}, {}};
  for (const Member& beam : model.member_sets[1].members)
    dead.distributed_loads.push_back(DistributedLoad{beam.id, 1, -25e3, {0, 0, 1}, 0.0, 1.0, -25e3});
  std::uint32_t load_id = 1;
  for (int level = 1; level <= 3; ++level)
    wind.nodal_loads.push_back(NodalLoad{load_id++, node(0, level).id, 2, 8e3, {1, 0, 0}, "wind"});
  model.load_cases = {dead, wind};
  model.load_combinations = {
      LoadCombination{1, "ULS", {{1, 1.35}, {2, 1.5}}, "persistent", "ULS", LimitState::ULS},
      LoadCombination{2, "SLS", {{1, 1.0}, {2, 1.0}}, {}, "SLS", LimitState::SLS},
  };
  return model;
}

}  // namespace velk::test_support
