#pragma once
// Rigid members as master-slave links: the slave node's six degrees of
// freedom follow the master's by rigid-body kinematics,
// u_s = u_m + theta_m x r, theta_s = theta_m, with r the offset from master to
// slave.

#include <Eigen/Dense>
#include <cstdint>
#include <expected>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/result.hpp"
#include "document/velk.hpp"

namespace velk {

struct RigidLink {
  Eigen::Vector3d offset;  // slave minus master coordinates, global axes
  std::uint32_t master = 0;
  std::uint32_t slave = 0;
};

struct SlaveEntry {
  std::uint32_t master = 0;
  Eigen::Vector3d offset;
};

// Each node is the slave of at most one link.
using SlaveMap = std::unordered_map<std::uint32_t, SlaveEntry>;

struct RigidLinkGraph {
  std::vector<RigidLink> links;  // member order
  SlaveMap slave_map;
};

// One link per Rigid member (start node master, end node slave), checked for
// zero length, a node slave twice, cycles and runaway chains.
Result<RigidLinkGraph> build_rigid_links(const std::vector<MemberSet>& member_sets);

// Stable sort by depth (steps from the master up to a node that is no slave),
// so a master that is itself a slave has its rows complete before they are used.
void order_rigid_links(std::vector<RigidLink>& links, const SlaveMap& slave_map);

// Reverses every link whose slave is anchored and whose master is not, so the
// anchored node stays in the system, unless the master already follows
// another link. A node is anchored when its `nodal_support` names a support
// of the model or when it ends a member that is not Rigid.
void orient_rigid_links(std::vector<RigidLink>& links, const VELK& model);

// The links of the model built, ordered and oriented, as the constraint
// builder uses them.
Result<std::vector<RigidLink>> oriented_rigid_links(const VELK& model);

}  // namespace velk
