#pragma once
// Natural frequencies and mode shapes: K phi = omega^2 M phi on the reduced
// system of the first-order analysis (rigid links, supports and springs as
// there, every member active), M from the members' densities and, when
// asked, from the loads of one load case taken as masses.

#include <Eigen/Dense>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "base/result.hpp"
#include "document/units.hpp"
#include "document/velk.hpp"
#include "dynamics/member_mass.hpp"
#include "eigenproblems/pencil_eigensolver.hpp"
#include "system/model_validation.hpp"

namespace velk {

// The modes a caller asks for unless it says otherwise, and the most it may.
inline constexpr int default_mode_count = 6;
inline constexpr int max_mode_count = 1000;

struct ModalOptions {
  int modes = default_mode_count;
  MassKind mass = MassKind::Consistent;
  // The load case (by name) whose nodal and distributed loads, divided by
  // g, are added as masses.
  std::optional<std::string> mass_case;
  // How the eigensolver works (its count is `modes`): the defaults, but for
  // tests that show what its checks catch.
  PencilRequest solver;
  // The most members of a document's model (modal_analysis_of_document).
  MemberLimit member_limit;
};

// Per global direction X, Y, Z.
using Directions = std::array<double, 3>;

struct Mode {
  double omega = 0.0;      // rad/s
  double frequency = 0.0;  // Hz
  double period = 0.0;     // s
  // Every node's six displacements (6 N, in metres and radians), scaled so
  // that the largest translation is +1; a mode without translations has
  // its largest rotation +1 instead.
  Eigen::VectorXd shape;
  bool twist = false;                 // no translation: the shape is scaled by its largest rotation
  Directions participation{};         // phi^T M r_d / (phi^T M phi) of the shape above
  Directions effective_mass{};        // (phi^T M r_d)^2 / (phi^T M phi), kg
  Directions effective_mass_ratio{};  // to the total mass; NaN where that is zero
  Directions cumulative_mass_ratio{};
};

struct ModalAnalysis {
  MassKind mass = MassKind::Consistent;
  // r_d^T M r_d: the mass that moves along d, the supports holding the rest (kg).
  Directions total_mass{};
  std::vector<Mode> modes;  // lowest frequency first
  int solver_attempts = 0;  // Lanczos attempts (0: solved densely)
};

// The modal analysis of a model in base units. Fails with a message: the
// model validation's, the assembly's and the rigid links', a density that
// is negative or not finite, a mass case that names no load case, a model
// without mass, a singular stiffness (with the mechanisms found), the
// eigensolver's.
Result<ModalAnalysis> modal_analysis(const VELK& model, const ModalOptions& options);

// The same for a model as read from its document: checks the member count
// and normalises a copy to base units first.
Result<ModalAnalysis> modal_analysis_of_document(const VELK& model, const ModalOptions& options);

// The global mass matrix terms of the options as the analysis assembles
// them, for checks: the member matrices (walk order) and the nodal terms.
struct ModelMasses {
  std::vector<std::optional<Matrix12>> members;
  std::vector<std::pair<Eigen::Index, double>> nodal;  // global DOF, kg
};
Result<ModelMasses> model_masses(const VELK& model, const ModalOptions& options);

}  // namespace velk
