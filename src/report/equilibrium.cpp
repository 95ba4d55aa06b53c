#include "report/equilibrium.hpp"

namespace velk::report {
namespace {

void add_force(Vector6& total, const Vector3& at, const Vector3& force) {
  total.head<3>() += force;
  total.tail<3>() += at.cross(force);
}

}  // namespace

Balance case_balance(const VELK& model, const Scene& scene, ResultType identity, const Results& results,
                     const UnitFactors& factors) {
  Balance balance;
  for (const auto& [id, reaction] : results.reaction_nodes) {
    const auto node = scene.nodes.find(id);
    const Vector3 at = node == scene.nodes.end() ? Vector3(Vector3::Zero()) : node->second.position;
    const NodeForces& f = reaction.nodal_forces;
    add_force(balance.reactions, at, Vector3(f.fx, f.fy, f.fz));
    balance.reactions.tail<3>() += Vector3(f.mx, f.my, f.mz);
  }
  // Loads are in newtons and metres; positions already in the document's unit.
  const double force_unit = factors.force;
  const double moment_unit = factors.force * factors.length;
  for (const auto& [load_case, factor] : factored_load_cases(model, identity)) {
    for (const NodalLoad& load : load_case->nodal_loads) {
      const auto node = scene.nodes.find(load.node);
      if (node == scene.nodes.end()) continue;
      const Vector3 direction(load.direction[0], load.direction[1], load.direction[2]);
      add_force(balance.loads, node->second.position, factor * load.magnitude / force_unit * direction);
    }
    for (const NodalMoment& load : load_case->nodal_moments) {
      if (!scene.nodes.contains(load.node)) continue;
      const Vector3 direction(load.direction[0], load.direction[1], load.direction[2]);
      balance.loads.tail<3>() += factor * load.magnitude / moment_unit * direction;
    }
    for (const DistributedLoad& load : load_case->distributed_loads) {
      if (load.load_case != load_case->id) continue;
      const SceneMember* member = scene.member(load.member);
      if (member == nullptr || std::fabs(load.end_frac - load.start_frac) < 1e-14) continue;
      // q(s) linear from w1 at s1 to w2 at s2 along the member (s from the
      // start node, document length unit, intensities per document unit):
      //   F = d int q ds = d (w1 + w2) a / 2,
      //   M = int (p0 + s e) x d q ds = p0 x F + (e x d) int s q ds,
      //   int s q ds = a (s1 (w1 + w2) / 2 + a (w1 + 2 w2) / 6),  a = s2 - s1.
      const double to_document = factor * factors.length / force_unit;
      const double w1 = load.magnitude * to_document;
      const double w2 = load.end_magnitude * to_document;
      const double s1 = load.start_frac * member->length;
      const double a = (load.end_frac - load.start_frac) * member->length;
      const Vector3 d(load.direction[0], load.direction[1], load.direction[2]);
      const Vector3 e = member->length > 0.0 ? Vector3((member->end - member->start) / member->length)
                                             : Vector3(Vector3::Zero());
      const Vector3 force = d * (w1 + w2) * a / 2.0;
      const double first_moment = a * (s1 * (w1 + w2) / 2.0 + a * (w1 + 2.0 * w2) / 6.0);
      balance.loads.head<3>() += force;
      balance.loads.tail<3>() += member->start.cross(force) + e.cross(d) * first_moment;
    }
  }
  balance.residual = balance.reactions + balance.loads;
  return balance;
}

}  // namespace velk::report
