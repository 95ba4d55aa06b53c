#include "dynamics/modal_analysis.hpp"

#include <cmath>
#include <numbers>
#include <unordered_map>

#include "base/message_format.hpp"
#include "member/lookup_tables.hpp"
#include "member/member_dofs.hpp"
#include "member/member_geometry.hpp"
#include "numerics/factorization.hpp"
#include "solvers/mechanism.hpp"
#include "solvers/solve_context.hpp"
#include "solvers/solve_failure.hpp"
#include "system/dof_numbering.hpp"
#include "system/model_validation.hpp"

namespace velk {
namespace {

using Sparse = Eigen::SparseMatrix<double>;

// Translations within this share of the largest count as equally large:
// the first of them in node order sets the sign of a symmetric mode.
constexpr double equal_translation = 1e-9;
// A mode whose translations are all below this share of its largest
// rotation (metres per radian) is a pure twist, scaled by the rotation.
constexpr double translation_share_of_rotation = 1e-9;

Result<void> check_densities(const VELK& model) {
  for (const Material& material : model.materials) {
    if (!(std::isfinite(material.density) && material.density >= 0.0)) {
      return std::unexpected(format_message(
          "Material {} \"{}\" has a density of {} kg/m3: a density must be finite and not negative.",
          material.id, material.name, material.density));
    }
  }
  return {};
}

const LoadCase* find_mass_case(const VELK& model, const std::string& name) {
  for (const LoadCase& load_case : model.load_cases) {
    if (load_case.name == name) return &load_case;
  }
  return nullptr;
}

// The largest |entry| of the nodes' translations (or rotations), first in
// node order among those equally large.
Eigen::Index largest_entry(const Eigen::VectorXd& u, int first_local_dof) {
  double largest = 0.0;
  for (Eigen::Index w = 0; w < u.size(); ++w) {
    const int k = static_cast<int>(w % dof::PER_NODE);
    if (k >= first_local_dof && k < first_local_dof + 3) largest = std::max(largest, std::abs(u[w]));
  }
  for (Eigen::Index w = 0; w < u.size(); ++w) {
    const int k = static_cast<int>(w % dof::PER_NODE);
    if (k >= first_local_dof && k < first_local_dof + 3 &&
        std::abs(u[w]) >= (1.0 - equal_translation) * largest)
      return w;
  }
  return -1;
}

// The singular stiffness's sentence, with the motions it does not resist.
std::string singular_stiffness_message(const Sparse& k_reduced, const ConstraintTransform& t) {
  std::string message =
      failure_message(SolveFailure::of(SolveFailureKind::Singular), FirstOrderSolve::Analysis, 0);
  for (const Mechanism& mechanism : mechanisms_of(k_reduced, t))
    message += ". " + mechanism_message(mechanism);
  return message;
}

}  // namespace

Result<ModelMasses> model_masses(const VELK& model, const ModalOptions& options) {
  if (auto densities = check_densities(model); !densities)
    return std::unexpected(std::move(densities.error()));
  const LoadCase* mass_case = nullptr;
  if (options.mass_case) {
    mass_case = find_mass_case(model, *options.mass_case);
    if (mass_case == nullptr)
      return std::unexpected(
          format_message("The mass case \"{}\" names no load case of the model.", *options.mass_case));
  }
  const LookupTables tables = build_lookup_tables(model);
  const Eigen::Index size = static_cast<Eigen::Index>(dof_count(model.member_sets));
  std::vector<const Member*> members;
  std::unordered_map<std::uint32_t, std::size_t> first_with_id;
  for (const MemberSet& set : model.member_sets) {
    for (const Member& member : set.members) {
      first_with_id.try_emplace(member.id, members.size());
      members.push_back(&member);
    }
  }
  ModelMasses masses;
  std::vector<std::vector<LineMass>> line_masses(members.size());
  if (mass_case != nullptr) {
    for (const NodalLoad& load : mass_case->nodal_loads) {
      const double mass = std::abs(load.magnitude) *
                          std::hypot(load.direction[0], load.direction[1], load.direction[2]) /
                          standard_gravity;
      if (!std::isfinite(mass)) {
        return std::unexpected(
            format_message("Load case \"{}\": the load on node {} gives a mass that is not finite.",
                           mass_case->name, load.node));
      }
      if (mass == 0.0) continue;
      for (int k = dof::UX; k <= dof::UZ; ++k)
        masses.nodal.emplace_back(checked_dof(load.node, k, size), mass);
    }
    for (const DistributedLoad& load : mass_case->distributed_loads) {
      const auto found = first_with_id.find(load.member);
      if (found == first_with_id.end()) continue;  // as the load vector skips it
      std::vector<LineMass> pieces = line_masses_of(load);
      for (const LineMass& piece : pieces) {
        if (!std::isfinite(piece.mu_a) || !std::isfinite(piece.mu_b)) {
          return std::unexpected(format_message(
              "Load case \"{}\": the distributed load on member {} gives a mass that is not finite.",
              mass_case->name, load.member));
        }
      }
      const Member& member = *members[found->second];
      if (member.member_type == MemberType::Rigid) {
        // A rigid member has no shapes of its own: its line mass goes to its
        // two nodes as the linear shapes share it.
        const Matrix12 lumped = lumped_line_mass(member_length(member), pieces);
        for (int k = dof::UX; k <= dof::UZ; ++k) {
          masses.nodal.emplace_back(checked_dof(member.start_node.id, k, size), lumped(k, k));
          masses.nodal.emplace_back(checked_dof(member.end_node.id, k, size),
                                    lumped(dof::END + k, dof::END + k));
        }
        continue;
      }
      auto& list = line_masses[found->second];
      list.insert(list.end(), pieces.begin(), pieces.end());
    }
  }
  masses.members.reserve(members.size());
  for (std::size_t i = 0; i < members.size(); ++i) {
    auto m = member_mass_matrix(*members[i], tables, options.mass, line_masses[i]);
    if (!m) return std::unexpected(std::move(m.error()));
    masses.members.push_back(std::move(*m));
  }
  return masses;
}

Result<ModalAnalysis> modal_analysis(const VELK& model, const ModalOptions& options) {
  SolveContext context(model);
  auto t = context.transform();
  if (!t) return std::unexpected(std::move(t.error()));
  const ConstraintTransform& transform = **t;
  auto stiffness = context.reduced_stiffness();
  if (!stiffness) return std::unexpected(std::move(stiffness.error()));
  ReducedStiffness& k_system = **stiffness;
  // Every member counts: a modal analysis has no load to switch a tension-
  // or compression-only member off.
  if (auto assembled = k_system.assemble(ActiveMap{}); !assembled)
    return std::unexpected(std::move(assembled.error()));
  Eigen::VectorXd f_reduced = Eigen::VectorXd::Zero(k_system.size());
  k_system.apply_restraints(f_reduced);

  auto masses = model_masses(model, options);
  if (!masses) return std::unexpected(std::move(masses.error()));
  auto m_reduced = k_system.assemble_companion(
      [&](std::size_t index, const Member&) -> Result<std::optional<Matrix12>> {
        return masses->members[index];
      },
      masses->nodal);
  if (!m_reduced) return std::unexpected(std::move(m_reduced.error()));
  Sparse& m = *m_reduced;
  k_system.restrain_companion(m);

  const Sparse& k = k_system.matrix();
  ReducedFactorization factors(ReducedFactorization::default_dense_limit, first_order_zero_pivot_ratio);
  if (!factors.factor(k)) return std::unexpected(singular_stiffness_message(k, transform));

  double largest_mass = 0.0;
  for (Eigen::Index i = 0; i < m.nonZeros(); ++i)
    largest_mass = std::max(largest_mass, std::abs(m.valuePtr()[i]));
  if (!(largest_mass > 0.0)) {
    return std::unexpected(
        std::string("The model has no mass: its materials have no density, no load case is taken as masses, "
                    "or the supports "
                    "hold all of it."));
  }

  // r_d: every node moved by 1 along d, in the reduced unknowns (a slave
  // follows its master's translation).
  std::array<Eigen::VectorXd, 3> r;
  ModalAnalysis analysis;
  analysis.mass = options.mass;
  for (int d = 0; d < 3; ++d) {
    r[d] = Eigen::VectorXd::Zero(k.rows());
    for (const auto& [w, p] : transform.retained) {
      if (w % dof::PER_NODE == d) r[d][p] = 1.0;
    }
    analysis.total_mass[d] = r[d].dot(m * r[d]);
  }

  PencilRequest request = options.solver;
  request.count = options.modes;
  request.side = PencilSide::Positive;
  auto pairs = lowest_pencil_eigenpairs(k, factors, m, request);
  if (!pairs) return std::unexpected(std::move(pairs.error()));
  analysis.solver_attempts = pairs->attempts;

  Directions cumulative{};
  for (std::size_t i = 0; i < pairs->values.size(); ++i) {
    Eigen::VectorXd phi = pairs->vectors.col(static_cast<Eigen::Index>(i));
    Eigen::VectorXd u = expand_solution(transform, phi);
    Eigen::Index largest = largest_entry(u, dof::UX);
    const Eigen::Index turning = largest_entry(u, dof::RX);
    const bool twist = largest < 0 || (turning >= 0 && std::abs(u[largest]) <= translation_share_of_rotation *
                                                                                   std::abs(u[turning]));
    if (twist) largest = turning;
    const double scale = largest >= 0 && u[largest] != 0.0 ? 1.0 / u[largest] : 1.0;
    phi *= scale;
    u *= scale;
    if (largest >= 0) u[largest] = 1.0;  // exactly, not 1 - 1 ulp

    Mode mode;
    mode.omega = std::sqrt(pairs->values[i]);
    mode.frequency = mode.omega / (2.0 * std::numbers::pi);
    mode.period = 1.0 / mode.frequency;
    mode.shape = std::move(u);
    mode.twist = twist;
    const Eigen::VectorXd m_phi = m * phi;
    const double modal_mass = phi.dot(m_phi);
    for (int d = 0; d < 3; ++d) {
      const double l = m_phi.dot(r[d]);  // phi^T M r_d
      mode.participation[d] = l / modal_mass;
      mode.effective_mass[d] = l * l / modal_mass;
      cumulative[d] += mode.effective_mass[d];
      const double total = analysis.total_mass[d];
      mode.effective_mass_ratio[d] = total > 0.0 ? mode.effective_mass[d] / total : std::nan("");
      mode.cumulative_mass_ratio[d] = total > 0.0 ? cumulative[d] / total : std::nan("");
    }
    analysis.modes.push_back(std::move(mode));
  }
  return analysis;
}

Result<ModalAnalysis> modal_analysis_of_document(const VELK& model, const ModalOptions& options) {
  if (auto counted = check_member_count(model, options.member_limit); !counted)
    return std::unexpected(std::move(counted.error()));
  VELK normalized = model;
  normalize_units(normalized, unit_factors(normalized.settings.unit_settings));
  return modal_analysis(normalized, options);
}

}  // namespace velk
