#pragma once
// The global balance of a solved case: the sum of the support reactions, the
// resultant of the applied loads (nodal forces and moments, distributed
// loads, with a combination's factors) and their sum, the residual, which is
// zero up to rounding for a first-order solution. Forces and moments about
// the global origin, in the document's units.

#include <Eigen/Dense>

#include "document/units.hpp"
#include "document/velk.hpp"
#include "report/scene.hpp"
#include "results/results.hpp"

namespace velk::report {

using Vector6 = Eigen::Matrix<double, 6, 1>;  // fx, fy, fz, mx, my, mz

struct Balance {
  Vector6 reactions = Vector6::Zero();
  Vector6 loads = Vector6::Zero();
  Vector6 residual = Vector6::Zero();  // reactions + loads
};

// `model` holds its loads in base units, `results` is in the document's
// units and the scene's positions in the document's length unit.
Balance case_balance(const VELK& model, const Scene& scene, ResultType identity, const Results& results,
                     const UnitFactors& factors);

}  // namespace velk::report
