#include "stability/stability.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "base/message_format.hpp"
#include "document/record_schema.hpp"
#include "eigenproblems/pencil_eigensolver.hpp"
#include "member/hinge_and_release_operations.hpp"
#include "member/member_geometry.hpp"
#include "numerics/factorization.hpp"
#include "results/results.hpp"
#include "solvers/combinations.hpp"
#include "solvers/linear_solver.hpp"
#include "solvers/mechanism_search.hpp"
#include "solvers/solve_context.hpp"
#include "stability/buckling_stiffness.hpp"
#include "system/global_stiffness.hpp"
#include "system/load_assembler.hpp"
#include "system/model_validation.hpp"

namespace velk {
namespace {

using namespace dof;

// The members' local DOFs of bending in the local x-z plane (uz, ry: what
// I_y resists) and in the local x-y plane (uy, rz: I_z).
constexpr int bending_y_dofs[] = {UZ, RY, END + UZ, END + RY};
constexpr int bending_z_dofs[] = {UY, RZ, END + UY, END + RZ};

// Within this fraction of the largest translation, the first one in node
// order sets the sign of a mode, so rounding cannot flip it.
constexpr double sign_tie_fraction = 1e-9;

std::string case_message(ResultType identity, std::string_view kind, const std::string& message) {
  if (identity.is_combination()) return format_message("Combo {} {} error: {}", identity.id, kind, message);
  return format_message("LC {} {} error: {}", identity.id, kind, message);
}

// The first-order solution of one case, as the linear analysis finds it.
struct FirstOrderState {
  Eigen::VectorXd u;
  ActiveMap active;
};

// One member as every mode of a case sees it.
struct MemberState {
  const Member* member = nullptr;
  double axial_force = 0.0;  // base units
  bool compressed = false;   // carries a destabilising geometric stiffness
  double e_i_y = 0.0;        // E I_y
  double e_i_z = 0.0;        // E I_z
  double length = 0.0;
  Matrix3 lambda;
  std::optional<Matrix12> k_local;  // condensed at released ends; Normal members only
};

// Everything of one analysis call.
class StabilitySolver {
 public:
  StabilitySolver(VELK& model, const UnitFactors& factors, const StabilityOptions& options)
      : model_(model),
        factors_(factors),
        options_(options),
        context_(model),
        tables_(build_lookup_tables(model)) {}

  Result<CaseStability> solve(ResultType identity);

 private:
  Result<FirstOrderState> first_order_state(ResultType identity, const std::string& name);
  std::string singular_message(ResultType identity, const std::string& message) const;
  std::vector<MemberState> member_states(const FirstOrderState& state);
  BucklingMode mode_of(double factor, const Eigen::VectorXd& u_mode,
                       const std::vector<MemberState>& members) const;

  VELK& model_;
  const UnitFactors& factors_;
  const StabilityOptions& options_;
  SolveContext context_;
  LookupTables tables_;
  std::vector<std::optional<AxialForceBasis>> bases_;  // per member in walk order
  // K of each case, factored along the pivots of the case before.
  ReducedFactorization k_factors_{ReducedFactorization::default_dense_limit, first_order_zero_pivot_ratio};
};

std::string StabilitySolver::singular_message(ResultType identity, const std::string& message) const {
  std::string text = case_message(identity, "linear", message);
  if (const auto mechanisms = find_mechanisms(model_)) {
    for (const Mechanism& mechanism : *mechanisms) text += "; " + mechanism_message(mechanism);
  }
  return text;
}

Result<FirstOrderState> StabilitySolver::first_order_state(ResultType identity, const std::string& name) {
  if (auto valid = context_.validate(); !valid)
    return std::unexpected(case_message(identity, "linear", valid.error()));
  Eigen::VectorXd f;
  FirstOrderState state;
  if (identity.is_combination()) {
    auto combined = combined_load_vector(model_, identity.id);
    if (!combined) return std::unexpected(case_message(identity, "linear", combined.error()));
    f = std::move(*combined);
    if (const std::optional<Eigen::VectorXd> start = warm_start(model_, identity.id)) {
      state.active = initial_activity(model_, *start);
    } else {
      state.active = initial_active_map(model_);
    }
  } else {
    f = assemble_load_vector(model_, identity.id);
    state.active = initial_active_map(model_);
  }
  // The rules of the first-order analysis of a case (active_set_solve).
  const ActiveSetRules rules{
      .reactivate = !identity.is_combination(),
      .repeat_unchanged_solve = false,
      .reactivation_pass = true,
  };
  if (auto iterated = iterate_active_set(model_, tables_, context_, f, rules, state.active, state.u);
      !iterated) {
    const std::string message = failure_message(iterated.error(), FirstOrderSolve::Analysis,
                                                model_.settings.analysis_options.iteration_limit());
    const SolveFailureKind kind = iterated.error().kind;
    if (kind == SolveFailureKind::Singular || kind == SolveFailureKind::NonFinite)
      return std::unexpected(singular_message(identity, message));
    return std::unexpected(case_message(identity, "linear", message));
  }
  // Stored as the analysis stores it: the combinations start from it.
  if (auto stored = store_results(model_, name, identity, state.u, state.active); !stored)
    return std::unexpected(case_message(identity, "linear", stored.error()));
  return state;
}

std::vector<MemberState> StabilitySolver::member_states(const FirstOrderState& state) {
  const double threshold = geometric_threshold(model_.settings.analysis_options);
  std::vector<MemberState> members;
  std::size_t index = 0;
  for (const MemberSet& set : model_.member_sets) {
    for (const Member& member : set.members) {
      std::optional<AxialForceBasis>& basis = bases_[index++];
      if (member.member_type == MemberType::Rigid) continue;
      MemberState m;
      m.member = &member;
      m.length = member_length(member);
      if (!basis) basis = axial_force_basis(member, tables_);
      m.lambda = basis->lambda;
      if (!is_switched_off(member, state.active)) {
        m.axial_force = member_axial_force(member, state.u, *basis);
        m.compressed = m.axial_force <= -threshold;
      }
      const Section* section = member.section ? find_in(tables_.sections, *member.section) : nullptr;
      const Material* material = section ? find_in(tables_.materials, section->material) : nullptr;
      if (section && material) {
        m.e_i_y = material->e_mod * section->i_y;
        m.e_i_z = material->e_mod * section->i_z;
      }
      if (member.member_type == MemberType::Normal) {
        if (const std::optional<Matrix12> k_local = local_stiffness_matrix(member, tables_)) {
          const ReleasePattern pattern = member_release_pattern(member, tables_.hinges);
          if (const Result<Matrix12> released = apply_end_releases_to_local_beam_k(*k_local, pattern))
            m.k_local = *released;
        }
      }
      members.push_back(std::move(m));
    }
  }
  std::ranges::sort(members, {}, [](const MemberState& m) { return m.member->id; });
  return members;
}

// 1/2 v^T k v over the given DOFs; k is positive semi-definite there, so a
// negative sum is rounding of a member that does not bend, and counts as 0.
double plane_energy(const Matrix12& k, const Vector12& v, const int (&dofs)[4]) {
  double energy = 0.0;
  for (const int i : dofs) {
    for (const int j : dofs) energy += v(i) * k(i, j) * v(j);
  }
  return std::max(0.5 * energy, 0.0);
}

BucklingMode StabilitySolver::mode_of(double factor, const Eigen::VectorXd& u_mode,
                                      const std::vector<MemberState>& members) const {
  BucklingMode mode;
  mode.factor = factor;

  // Every node's displacements, translations in the document's length unit.
  for (const MemberSet& set : model_.member_sets) {
    for (const Member& member : set.members) {
      for (const Node* node : {&member.start_node, &member.end_node}) {
        const Eigen::Index at = global_dof(node->id, UX);
        mode.shape[node->id] = NodeDisplacement{u_mode(at + UX) / factors_.length,
                                                u_mode(at + UY) / factors_.length,
                                                u_mode(at + UZ) / factors_.length,
                                                u_mode(at + RX),
                                                u_mode(at + RY),
                                                u_mode(at + RZ)};
      }
    }
  }
  const auto largest = [&](auto component) {
    double value = 0.0;
    for (const auto& [id, d] : mode.shape) value = std::max(value, std::abs(component(d)));
    return value;
  };
  const auto translation = [](const NodeDisplacement& d) {
    return std::max({std::abs(d.dx), std::abs(d.dy), std::abs(d.dz)});
  };
  const auto rotation = [](const NodeDisplacement& d) {
    return std::max({std::abs(d.rx), std::abs(d.ry), std::abs(d.rz)});
  };
  // The largest translation sets the scale; a mode of rotations alone is
  // scaled by its largest rotation.
  const bool by_translation = largest(translation) > 0.0;
  const double peak = by_translation ? largest(translation) : largest(rotation);
  double scale = 1.0;
  if (peak > 0.0) {
    for (const auto& [id, d] : mode.shape) {
      const double values[] = {d.dx, d.dy, d.dz, d.rx, d.ry, d.rz};
      const int from = by_translation ? 0 : 3;
      const auto first = std::find_if(values + from, values + from + 3, [&](double v) {
        return std::abs(v) >= (1.0 - sign_tie_fraction) * peak;
      });
      if (first != values + from + 3) {
        scale = 1.0 / *first;
        break;
      }
    }
  }
  for (auto& [id, d] : mode.shape) {
    d = NodeDisplacement{d.dx * scale, d.dy * scale, d.dz * scale, d.rx * scale, d.ry * scale, d.rz * scale};
  }

  // The members' bending strain energy in the mode, in each local plane.
  std::vector<std::pair<double, double>> energies(members.size(), {0.0, 0.0});
  double total = 0.0;
  for (std::size_t i = 0; i < members.size(); ++i) {
    const MemberState& m = members[i];
    if (!m.k_local) continue;
    const Vector12 v_global = member_displacements(*m.member, u_mode);
    Vector12 v;
    for (int block = 0; block < 4; ++block)
      v.segment<3>(3 * block) = m.lambda * v_global.segment<3>(3 * block);
    energies[i] = {plane_energy(*m.k_local, v, bending_y_dofs), plane_energy(*m.k_local, v, bending_z_dofs)};
    total += energies[i].first + energies[i].second;
  }

  for (std::size_t i = 0; i < members.size(); ++i) {
    const MemberState& m = members[i];
    MemberBuckling b;
    b.member = m.member->id;
    b.axial_force = m.axial_force / factors_.force;
    const auto [e_y, e_z] = energies[i];
    if (total > 0.0) b.energy_share = (e_y + e_z) / total;
    if (m.compressed) {
      const double n_cr = factor * std::abs(m.axial_force);
      b.critical_force = n_cr / factors_.force;
      const double l_y = std::numbers::pi * std::sqrt(m.e_i_y / n_cr);  // pi sqrt(E I_y / N_cr)
      const double l_z = std::numbers::pi * std::sqrt(m.e_i_z / n_cr);  // pi sqrt(E I_z / N_cr)
      b.length_y = l_y / factors_.length;
      b.length_z = l_z / factors_.length;
      b.factor_y = l_y / m.length;
      b.factor_z = l_z / m.length;
      if (e_y + e_z > 0.0) b.bending_axis = e_y >= e_z ? "y" : "z";
    }
    mode.members.push_back(std::move(b));
  }
  return mode;
}

Result<CaseStability> StabilitySolver::solve(ResultType identity) {
  CaseStability out;
  out.identity = identity;
  if (identity.is_combination()) {
    out.name = find_combination(model_, identity.id)->name;
  } else {
    const LoadCase* load_case = find_load_case(model_, identity.id);
    if (load_case == nullptr)
      return std::unexpected(
          case_message(identity, "linear", format_message("LoadCase {} not found.", identity.id)));
    out.name = load_case->name;
  }
  Result<FirstOrderState> state = first_order_state(identity, out.name);
  if (!state) return std::unexpected(std::move(state.error()));
  if (bases_.empty()) bases_.resize(member_count(model_));

  const Result<const ConstraintTransform*> t = context_.transform();
  if (!t) return std::unexpected(case_message(identity, "linear", t.error()));
  Result<ReducedStiffness*> stiffness = context_.reduced_stiffness();
  if (!stiffness) return std::unexpected(case_message(identity, "linear", stiffness.error()));
  ReducedStiffness& reduced = **stiffness;

  // K: the restrained first-order stiffness of the final active set.
  if (auto assembled = reduced.assemble(state->active); !assembled)
    return std::unexpected(case_message(identity, "linear", assembled.error()));
  Eigen::VectorXd f_reduced = Eigen::VectorXd::Zero(reduced.size());
  reduced.apply_restraints(f_reduced);
  const Eigen::SparseMatrix<double> k = reduced.matrix();
  ReducedFactorization& k_factors = k_factors_;
  if (!k_factors.factor(k))
    return std::unexpected(
        singular_message(identity, "Reduced stiffness matrix is singular or near-singular"));

  // A = -K_G of every active member's axial force.
  const std::vector<MemberState> members = member_states(*state);
  const bool compressed = std::ranges::any_of(members, &MemberState::compressed);
  const double threshold = geometric_threshold(model_.settings.analysis_options);
  const bool stretched =
      std::ranges::any_of(members, [&](const MemberState& m) { return m.axial_force >= threshold; });
  Result<Eigen::SparseMatrix<double>> a = reduced.assemble_companion(
      [&](std::size_t index, const Member& member) -> Result<std::optional<Matrix12>> {
        Result<std::optional<Matrix12>> kg =
            buckling_geometric_stiffness(model_, member, tables_, state->active, state->u, bases_[index]);
        if (!kg || !*kg) return kg;
        return std::optional<Matrix12>(-**kg);
      });
  if (!a) return std::unexpected(case_message(identity, "linear", a.error()));
  reduced.restrain_companion(*a);

  PencilRequest request{.count = std::clamp(options_.modes, 1, max_buckling_modes),
                        .side = PencilSide::Positive};
  request.dense_limit = options_.dense_limit.value_or(buckling_dense_limit);
  PencilRequest reversed_request = request;
  reversed_request.count = 1;
  reversed_request.side = PencilSide::Negative;
  // The reversed factor is one eigenvalue, small beside the spread of the
  // spectrum on its side: a wider basis converges in fewer solves.
  reversed_request.lanczos_vectors = 40;
  if (compressed) {
    const Result<PencilEigenpairs> pairs = lowest_pencil_eigenpairs(k, k_factors, *a, request);
    if (!pairs) return std::unexpected(case_message(identity, "buckling", pairs.error()));
    for (std::size_t i = 0; i < pairs->values.size(); ++i) {
      const Eigen::VectorXd u_mode = expand_solution(**t, pairs->vectors.col(static_cast<Eigen::Index>(i)));
      out.critical_factors.push_back(pairs->values[i]);
      out.modes.push_back(mode_of(pairs->values[i], u_mode, members));
    }
  } else {
    out.message = no_compression_message;
  }
  if (stretched) {
    const Result<PencilEigenpairs> reversed = lowest_pencil_eigenpairs(k, k_factors, *a, reversed_request);
    if (!reversed) return std::unexpected(case_message(identity, "buckling", reversed.error()));
    if (!reversed->values.empty()) out.reversed_factor = std::abs(reversed->values.front());
  }
  out.verdict = stability_verdict(out.critical_factors.empty() ? std::numeric_limits<double>::infinity()
                                                               : out.critical_factors.front());
  return out;
}

}  // namespace

std::string_view stability_verdict(double critical_factor) {
  if (critical_factor >= first_order_factor_limit) return "first order sufficient (α_cr ≥ 10)";
  if (critical_factor >= amplification_factor_limit) return "second order needed (3 ≤ α_cr < 10)";
  return "second order needed, amplification not allowed (α_cr < 3)";
}

Result<StabilityAnalysis> analyse_stability(const VELK& model, const UnitFactors& factors,
                                            const StabilityOptions& options) {
  VELK work = model;
  work.results.reset();
  StabilityAnalysis analysis;
  analysis.length_unit = std::string(json::canonical_spelling(work.settings.unit_settings.length_unit));
  analysis.force_unit = std::string(json::canonical_spelling(work.settings.unit_settings.force_unit));

  StabilitySolver solver(work, factors, options);
  if (work.settings.analysis_options.solve_loadcases) {
    for (const LoadCase& load_case : model.load_cases) {
      Result<CaseStability> solved = solver.solve(ResultType::load_case(load_case.id));
      if (!solved) return std::unexpected(std::move(solved.error()));
      analysis.loadcases.push_back(std::move(*solved));
    }
  }
  for (const LoadCombination& combination : model.load_combinations) {
    Result<CaseStability> solved = solver.solve(ResultType::combination(combination.id));
    if (!solved) return std::unexpected(std::move(solved.error()));
    analysis.loadcombinations.push_back(std::move(*solved));
  }
  return analysis;
}

Result<StabilityAnalysis> analyse_document_stability(const VELK& document_model,
                                                     const StabilityOptions& options,
                                                     const MemberLimit& limit) {
  if (auto counted = check_member_count(document_model, limit); !counted)
    return std::unexpected(counted.error());
  VELK model = document_model;
  const UnitFactors factors = unit_factors(model.settings.unit_settings);
  normalize_units(model, factors);
  return analyse_stability(model, factors, options);
}

}  // namespace velk
