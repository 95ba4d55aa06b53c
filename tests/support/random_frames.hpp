#pragma once
// Random but always stable 3D frames for the property tests: a random tree of
// beams clamped at node 1, extra members of every kind between its nodes,
// rigid stubs to load points, pinned and sprung supports, and three load
// cases with two combinations. Everything is drawn from one seed.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "document/velk.hpp"
#include "support/model_parts.hpp"

namespace velk::test_support {

// Draws from a 64-bit Mersenne twister with its own arithmetic, so that a
// seed gives the same model with every standard library.
class Draw {
 public:
  explicit Draw(std::uint64_t seed) : engine_(seed) {}

  double uniform(double low, double high) {
    return low + (high - low) * static_cast<double>(engine_() >> 11) * 0x1.0p-53;
  }
  // 0 <= result < count
  std::size_t below(std::size_t count) { return static_cast<std::size_t>(uniform(0.0, 1.0) * count); }
  bool chance(double p) { return uniform(0.0, 1.0) < p; }
  Vec3 direction() {
    for (;;) {
      const double x = uniform(-1, 1), y = uniform(-1, 1), z = uniform(-1, 1);
      const double n = std::sqrt(x * x + y * y + z * z);
      if (n > 0.2 && n <= 1.0) return {x / n, y / n, z / n};
    }
  }
  template <typename T>
  void shuffle(std::vector<T>& items) {
    for (std::size_t i = items.size(); i > 1; --i) std::swap(items[i - 1], items[below(i)]);
  }

 private:
  std::mt19937_64 engine_;
};

struct RandomFrameOptions {
  int members = 10;        // 1 to 100 in all
  bool one_sided = true;   // Tension and Compression members among the extra members
  bool isotropic = false;  // only what a rigid rotation leaves unchanged: round sections,
                           // supports and hinges alike on every axis
};

inline VELK random_frame(std::uint64_t seed, const RandomFrameOptions& options) {
  Draw draw(seed);
  VELK model;
  AnalysisOptions& analysis = model.settings.analysis_options;
  analysis.solver = "direct";
  analysis.tolerance = 1e-9;
  analysis.order = AnalysisOrder::Linear;
  analysis.rigid_strategy = draw.chance(0.7) ? RigidStrategy::LinearMpc : RigidStrategy::RigidMember;
  model.settings.general_info = {"random frame", "velk", std::to_string(seed)};

  model.materials.push_back(structural_steel());
  model.materials.push_back(Material{2, "timber", 1.1e10, 6.9e8, 450.0, 2.4e7});
  const auto section = [&](std::uint32_t id, std::uint32_t material, double area, double i_y, double i_z,
                           double j) {
    if (options.isotropic) i_z = i_y;
    model.sections.push_back(Section{id, "S" + std::to_string(id), material, {}, {}, i_y, i_z, j, area, {}});
  };
  section(1, 1, 5.4e-3, 8.4e-5, 6.0e-6, 2.0e-7);
  section(2, 1, 7.0e-4, 2.2e-7, 2.2e-7, 4.4e-7);
  section(3, 2, 2.4e-2, 1.2e-4, 4.5e-5, 1.1e-4);

  const auto all_axes = [](ConditionType displacement, ConditionType rotation, std::optional<double> k = {}) {
    NodalSupport s;
    for (const char* axis : {"X", "Y", "Z"}) {
      s.displacement_conditions[axis] = {displacement,
                                         displacement == ConditionType::Spring ? k : std::nullopt};
      s.rotation_conditions[axis] = {rotation, {}};
    }
    return s;
  };
  model.nodal_supports.push_back(all_axes(ConditionType::Fixed, ConditionType::Fixed));
  model.nodal_supports.push_back(all_axes(ConditionType::Fixed, ConditionType::Free));
  model.nodal_supports.push_back(all_axes(ConditionType::Spring, ConditionType::Free, 5e6));
  if (!options.isotropic) {
    // Held vertically only, and a rotational spring about one axis.
    model.nodal_supports[2].displacement_conditions["X"] = {ConditionType::Free, {}};
    model.nodal_supports[2].rotation_conditions["Y"] = {ConditionType::Spring, 2e6};
  }
  for (std::uint32_t id = 1; id <= 3; ++id) model.nodal_supports[id - 1].id = id;

  MemberHinge pin{1, "pin", {}, {}, {}, {}, 0.0, 0.0, {}, {}, {}, {}, {}, {}};
  MemberHinge semi{2, "semi-rigid", {}, {}, {}, {}, 4e5, 4e5, {}, {}, {}, {}, {}, {}};
  if (!options.isotropic) {
    pin.rotational_release_mz.reset();
    semi.rotational_release_my = 1e6;
  }
  model.memberhinges = std::vector<MemberHinge>{pin, semi};

  // The tree: every node after the first hangs from an earlier one by a beam.
  const int total = std::clamp(options.members, 1, 100);
  const int stubs = total >= 10 ? 1 + static_cast<int>(draw.below(2)) : 0;
  const int tree = std::max(1, (total - stubs) * 3 / 5);
  const int extra = total - stubs - tree;

  std::vector<Node> nodes;
  nodes.push_back(Node{1, draw.uniform(-5, 5), draw.uniform(-5, 5), draw.uniform(-5, 5), 1});
  std::vector<Member> members;
  std::set<std::pair<std::uint32_t, std::uint32_t>> joined;
  const auto add = [&](const Node& a, const Node& b, MemberType type) -> Member& {
    Member m;
    m.id = static_cast<std::uint32_t>(members.size() + 1);
    m.start_node = a;
    m.end_node = b;
    if (type != MemberType::Rigid) m.section = 1 + static_cast<std::uint32_t>(draw.below(3));
    m.rotation_angle = draw.chance(0.5) ? draw.uniform(-std::numbers::pi, std::numbers::pi) : 0.0;
    m.classification = "random";
    m.member_type = type;
    joined.emplace(std::min(a.id, b.id), std::max(a.id, b.id));
    members.push_back(m);
    return members.back();
  };
  for (int i = 0; i < tree; ++i) {
    const Node& parent = nodes[draw.below(nodes.size())];
    const Vec3 d = draw.direction();
    const double length = draw.uniform(1.0, 4.0);
    Node child{static_cast<std::uint32_t>(nodes.size() + 1),
               parent.x + length * d[0],
               parent.y + length * d[1],
               parent.z + length * d[2],
               {}};
    if (draw.chance(0.15)) child.nodal_support = 1 + static_cast<std::uint32_t>(draw.below(3));
    // The slender tube is left to the extra members: chains of it would make
    // the frame so soft that rounding shows in the results.
    add(parent, child, MemberType::Normal).section = draw.chance(0.5) ? 1 : 3;
    nodes.push_back(child);
  }
  // Extra members between nodes not yet joined and not too close.
  for (int i = 0, attempts = 0; i < extra && attempts < 50 * total; ++attempts) {
    const Node& a = nodes[draw.below(nodes.size())];
    const Node& b = nodes[draw.below(nodes.size())];
    const double dx = b.x - a.x, dy = b.y - a.y, dz = b.z - a.z;
    if (a.id == b.id || joined.contains({std::min(a.id, b.id), std::max(a.id, b.id)}) ||
        dx * dx + dy * dy + dz * dz < 0.25)
      continue;
    const double kind = draw.uniform(0, 1);
    if (kind < 0.35) {
      Member& beam = add(a, b, MemberType::Normal);
      if (draw.chance(0.5)) (draw.chance(0.5) ? beam.start_hinge : beam.end_hinge) = 1 + draw.below(2);
    } else if (kind < 0.7 || !options.one_sided) {
      add(a, b, MemberType::Truss);
    } else {
      add(a, b, draw.chance(0.5) ? MemberType::Tension : MemberType::Compression);
    }
    ++i;
  }
  // Rigid stubs to load points, each its own new node.
  std::vector<std::uint32_t> load_points;
  for (int s = 0; s < stubs; ++s) {
    const Node& base = nodes[1 + draw.below(nodes.size() - 1)];
    const Vec3 d = draw.direction();
    Node point{static_cast<std::uint32_t>(nodes.size() + 1),
               base.x + 0.6 * d[0],
               base.y + 0.6 * d[1],
               base.z + 0.6 * d[2],
               {}};
    add(base, point, MemberType::Rigid);
    nodes.push_back(point);
    load_points.push_back(point.id);
  }

  // Members in up to three sets, in random order.
  draw.shuffle(members);
  const std::size_t sets = 1 + draw.below(3);
  for (std::size_t s = 0; s < sets; ++s)
    model.member_sets.push_back(MemberSet{static_cast<std::uint32_t>(s + 1), {}, {}, {}, {}});
  for (const Member& m : members) model.member_sets[draw.below(sets)].members.push_back(m);

  std::vector<std::uint32_t> loadable;  // members that take line loads
  for (const Member& m : members)
    if (m.member_type == MemberType::Normal || m.member_type == MemberType::Truss) loadable.push_back(m.id);
  for (std::uint32_t c = 1; c <= 3; ++c) {
    LoadCase lc{c, "LC" + std::to_string(c), {}, {}, {}, {}, {}};
    std::uint32_t load_id = 1;
    const std::size_t forces = 1 + draw.below(4);
    for (std::size_t i = 0; i < forces; ++i) {
      const std::uint32_t node = (!load_points.empty() && draw.chance(0.3))
                                     ? load_points[draw.below(load_points.size())]
                                     : nodes[draw.below(nodes.size())].id;
      lc.nodal_loads.push_back(
          NodalLoad{load_id++, node, c, draw.uniform(-2e4, 2e4), draw.direction(), "point"});
    }
    if (draw.chance(0.6)) {
      lc.nodal_moments.push_back(NodalMoment{load_id++, nodes[draw.below(nodes.size())].id, c,
                                             draw.uniform(-5e3, 5e3), draw.direction(), "moment"});
    }
    const std::size_t lines = draw.below(4);
    for (std::size_t i = 0; i < lines; ++i) {
      const double a = draw.chance(0.5) ? 0.0 : draw.uniform(0.0, 0.6);
      const double b = draw.chance(0.5) ? 1.0 : draw.uniform(a + 0.1, 1.0);
      lc.distributed_loads.push_back(DistributedLoad{loadable[draw.below(loadable.size())], c,
                                                     draw.uniform(-8e3, 8e3), draw.direction(), a, b,
                                                     draw.uniform(-8e3, 8e3)});
    }
    model.load_cases.push_back(lc);
  }
  model.load_combinations.push_back(LoadCombination{
      1, "ULS", {{1, 1.35}, {2, draw.uniform(0.5, 1.5)}, {3, draw.uniform(-1, 1)}}, {}, "ULS", {}});
  model.load_combinations.push_back(
      LoadCombination{2, "SLS", {{2, 1.0}, {3, draw.uniform(0, 2)}}, {}, "SLS", {}});
  return model;
}

}  // namespace velk::test_support
