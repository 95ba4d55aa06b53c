#include "results/equilibrium.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>

namespace velk {
namespace {

// Where the balance places nodes and members.
struct Geometry {
  struct Span {
    Vector3 start;
    Vector3 end;
    double length = 0.0;
  };
  std::unordered_map<std::uint32_t, Vector3> nodes;
  std::unordered_map<std::uint32_t, Span> members;  // the first member of each id
};

// Positions in the balance's length unit: coordinates divided by `length_unit`.
Geometry place(const VELK& model, double length_unit) {
  Geometry geometry;
  const auto at = [&](const Node& node) {
    const Vector3 position = Vector3(node.x, node.y, node.z) / length_unit;
    return geometry.nodes.try_emplace(node.id, position).first->second;
  };
  for (const MemberSet& set : model.member_sets) {
    for (const Member& member : set.members) {
      const Vector3 start = at(member.start_node);
      const Vector3 end = at(member.end_node);
      geometry.members.try_emplace(member.id, Geometry::Span{start, end, (end - start).norm()});
    }
  }
  return geometry;
}

// Adds a force at `at` to a resultant: the force, and its moment about the origin.
void add_force(Vector6& total, const Vector3& at, const Vector3& force) {
  total.head<3>() += force;
  total.tail<3>() += at.cross(force);
}

}  // namespace

EquilibriumBalance equilibrium_balance(const VELK& model, ResultType identity, const Results& results,
                                       const UnitFactors& factors, BalanceUnits units) {
  const bool document = units == BalanceUnits::Document;
  // The model's loads are in newtons and metres, the results in the
  // document's units: one of the two is converted.
  const double length_unit = document ? factors.length : 1.0;
  const double force_unit = document ? factors.force : 1.0;
  const double moment_unit = document ? factors.force * factors.length : 1.0;
  const double reaction_force = document ? 1.0 : factors.force;
  const double reaction_moment = document ? 1.0 : factors.force * factors.length;

  const Geometry geometry = place(model, length_unit);
  EquilibriumBalance balance;
  const auto judge = [&](const Vector3& force, const Vector3& moment) {
    balance.scale = std::max({balance.scale, force.norm(), moment.norm()});
  };
  for (const auto& [id, reaction] : results.reaction_nodes) {
    const auto node = geometry.nodes.find(id);
    const Vector3 at = node == geometry.nodes.end() ? Vector3(Vector3::Zero()) : node->second;
    const NodeForces& f = reaction.nodal_forces;
    const Vector3 force = Vector3(f.fx, f.fy, f.fz) * reaction_force;
    const Vector3 moment = Vector3(f.mx, f.my, f.mz) * reaction_moment;
    add_force(balance.reactions, at, force);
    balance.reactions.tail<3>() += moment;
    judge(force, at.cross(force));
    judge(force, moment);
  }
  for (const auto& [load_case, factor] : factored_load_cases(model, identity)) {
    for (const NodalLoad& load : load_case->nodal_loads) {
      const auto node = geometry.nodes.find(load.node);
      if (node == geometry.nodes.end()) continue;
      const Vector3 direction(load.direction[0], load.direction[1], load.direction[2]);
      const Vector3 force = factor * load.magnitude / force_unit * direction;
      add_force(balance.loads, node->second, force);
      judge(force, node->second.cross(force));
    }
    for (const NodalMoment& load : load_case->nodal_moments) {
      if (!geometry.nodes.contains(load.node)) continue;
      const Vector3 direction(load.direction[0], load.direction[1], load.direction[2]);
      const Vector3 moment = factor * load.magnitude / moment_unit * direction;
      balance.loads.tail<3>() += moment;
      judge(Vector3::Zero(), moment);
    }
    for (const DistributedLoad& load : load_case->distributed_loads) {
      if (load.load_case != load_case->id) continue;
      const auto member = geometry.members.find(load.member);
      if (member == geometry.members.end() || std::fabs(load.end_frac - load.start_frac) < 1e-14) continue;
      const Geometry::Span& span = member->second;
      // q(s) linear from w1 at s1 to w2 at s2 along the member (s from the
      // start node, intensities per length unit):
      //   F = d int q ds = d (w1 + w2) a / 2,
      //   M = int (p0 + s e) x d q ds = p0 x F + (e x d) int s q ds,
      //   int s q ds = a (s1 (w1 + w2) / 2 + a (w1 + 2 w2) / 6),  a = s2 - s1.
      const double to_balance = factor * length_unit / force_unit;
      const double w1 = load.magnitude * to_balance;
      const double w2 = load.end_magnitude * to_balance;
      const double s1 = load.start_frac * span.length;
      const double a = (load.end_frac - load.start_frac) * span.length;
      const Vector3 d(load.direction[0], load.direction[1], load.direction[2]);
      const Vector3 e =
          span.length > 0.0 ? Vector3((span.end - span.start) / span.length) : Vector3(Vector3::Zero());
      const Vector3 force = d * (w1 + w2) * a / 2.0;
      const double first_moment = a * (s1 * (w1 + w2) / 2.0 + a * (w1 + 2.0 * w2) / 6.0);
      const Vector3 moment = span.start.cross(force) + e.cross(d) * first_moment;
      balance.loads.head<3>() += force;
      balance.loads.tail<3>() += moment;
      judge(force, moment);
    }
  }
  balance.residual = balance.reactions + balance.loads;
  return balance;
}

}  // namespace velk
