#pragma once
// The global balance of a solved case: the sum of the support reactions, the
// resultant of the applied loads (nodal forces and moments, distributed
// loads, with a combination's factors) and their sum, the residual, which is
// zero up to rounding for a first-order solution. Forces, and moments about
// the global origin on the undeformed geometry.

#include <Eigen/Dense>

#include "document/units.hpp"
#include "document/velk.hpp"
#include "results/results.hpp"

namespace velk {

using Vector6 = Eigen::Matrix<double, 6, 1>;  // fx, fy, fz, mx, my, mz

struct EquilibriumBalance {
  Vector6 reactions = Vector6::Zero();
  Vector6 loads = Vector6::Zero();
  Vector6 residual = Vector6::Zero();  // reactions + loads
  // The largest force or moment of a single reaction or load, against which
  // the rounding in the residual is judged.
  double scale = 0.0;
};

// The units a balance is summed in: newtons and metres, or the document's.
enum class BalanceUnits { Base, Document };

// The balance of `results`, the solution of the case `identity` of `model`.
// The model holds its geometry and loads in base units, the results are in
// the document's units (`factors`). Nodes are placed at the coordinates they
// first have in member walk order; a reaction at a node that no member
// reaches counts at the origin, a load there not at all.
EquilibriumBalance equilibrium_balance(const VELK& model, ResultType identity, const Results& results,
                                       const UnitFactors& factors, BalanceUnits units);

}  // namespace velk
