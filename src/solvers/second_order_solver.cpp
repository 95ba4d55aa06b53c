#include "solvers/second_order_solver.hpp"

#include <Eigen/Sparse>
#include <Eigen/SparseCholesky>
#include <Eigen/SparseLU>
#include <algorithm>
#include <cmath>
#include <string_view>
#include <utility>
#include <vector>

#include "base/log.hpp"
#include "base/message_format.hpp"
#include "member/lookup_tables.hpp"
#include "numerics/factorization.hpp"
#include "solvers/linear_solver.hpp"
#include "solvers/solve_context.hpp"
#include "system/constraints.hpp"
#include "system/reduced_system.hpp"

namespace velk {
namespace {

constexpr std::string_view log_target = log::model_target;

// The relative residual a Newton pass must reach when the tolerance asks for
// nothing tighter (and when it is zero, negative or not a number).
constexpr double default_residual_tolerance = 1e-6;
// Where rounding keeps the residual above a tolerance tighter than it can
// reach, a pass has still converged once an iteration changes q by less
// than this share of q itself and the residual is below the default bound.
constexpr double stagnation_increment = 1e-10;
// Smallest norm a change or residual is taken relative to.
constexpr double norm_floor = 1.0;
// Steps at multiplier 1 are 2^exponent: 4 for a load case, 8 for a combination.
constexpr std::uint32_t load_case_step_exponent = 2;
constexpr std::uint32_t combination_step_exponent = 3;
constexpr std::uint32_t largest_multiplier = 16;
constexpr int active_set_passes = 8;
// Levenberg-Marquardt shifts of a singular tangent, in units of its largest diagonal entry.
constexpr double damping_factors[] = {1e-6, 1e-5, 1e-4, 1e-3};
// The line search halves the step down to 2^-11 and asks for a decrease of
// the residual by this share of the step length.
constexpr double alpha_min = 0.00048828125;
constexpr double sufficient_decrease = 0.01;
// A tangent this close to the last one factored is solved with its factors.
constexpr double reuse_tolerance = 1e-4;

// How a Newton pass ended.
enum class PassOutcome { Converged, TangentSingular, LineSearchFailed, IterationLimit };

// Why the load stepping starts over with more steps.
enum class Refinement { TangentSingular, LineSearch, NewtonLimit, ActiveSetLimit };

// q = (T^T T)^-1 T^T u: the reduced coordinates that reproduce u best.
// T^T T is the identity on retained columns and couples only the columns of
// masters whose slaves follow them, so it is factored sparse.
class Projection {
 public:
  explicit Projection(const ConstraintTransform& t) : t_(t) {}
  Projection(const Projection&) = delete;
  Projection& operator=(const Projection&) = delete;

  // Factors G = T^T T: by Cholesky, or by LU when G is not positive definite.
  Result<void> build() {
    if (t_.identity || t_.reduced_size == 0) return {};
    std::vector<Eigen::Triplet<double>> terms;
    for (Eigen::Index w = 0; w < t_.full_size; ++w) {
      const auto row = t_.row(w);
      for (const TransformEntry& a : row) {
        for (const TransformEntry& b : row) terms.emplace_back(a.column, b.column, a.weight * b.weight);
      }
    }
    Eigen::SparseMatrix<double> g(t_.reduced_size, t_.reduced_size);
    g.setFromTriplets(terms.begin(), terms.end());  // sums repeated entries
    g.makeCompressed();
    if (llt_.emplace(g).info() == Eigen::Success) return {};
    llt_.reset();
    auto& lu = lu_.emplace();
    lu.analyzePattern(g);
    lu.factorize(g);
    if (lu.info() != Eigen::Success) {
      return std::unexpected("SᵀS is singular; check rigid MPC topology (cycles/duplicates).");
    }
    return {};
  }

  Eigen::VectorXd project(const Eigen::VectorXd& u) const {
    if (!llt_ && !lu_) return t_.identity ? u : Eigen::VectorXd(Eigen::VectorXd::Zero(t_.reduced_size));
    Eigen::VectorXd t_u = Eigen::VectorXd::Zero(t_.reduced_size);
    for (Eigen::Index w = 0; w < t_.full_size; ++w) {
      for (const TransformEntry& entry : t_.row(w)) t_u(entry.column) += entry.weight * u(w);
    }
    if (llt_) return llt_->solve(t_u);
    return lu_->solve(t_u);
  }

 private:
  const ConstraintTransform& t_;
  std::optional<Eigen::SimplicialLLT<Eigen::SparseMatrix<double>>> llt_;
  std::optional<Eigen::SparseLU<Eigen::SparseMatrix<double>, Eigen::COLAMDOrdering<int>>> lu_;
};

// The bound on the relative residual |K_r(u) q - F_r| / max(|F_r|, 1) at
// which a Newton pass has converged: the analysis tolerance, never looser
// than the default.
double residual_tolerance(double tolerance) {
  return tolerance > 0.0 ? std::min(tolerance, default_residual_tolerance) : default_residual_tolerance;
}

class SecondOrderSolver {
 public:
  SecondOrderSolver(const VELK& model, SolveContext& context, ReducedStiffness& k_reduced,
                    const Eigen::VectorXd& f, const ConstraintTransform& t, const Projection& projection,
                    bool is_combination, std::uint32_t iteration_limit, SecondOrderTrace& trace)
      : model_(model),
        tables_(build_lookup_tables(model)),
        context_(context),
        k_reduced_(k_reduced),
        f_(f),
        t_(t),
        projection_(projection),
        options_(model.settings.analysis_options),
        step_exponent_(is_combination ? combination_step_exponent : load_case_step_exponent),
        iteration_limit_(iteration_limit),
        residual_tolerance_(residual_tolerance(options_.tolerance)),
        decision_tol_(0.5 * options_.axial_slack),
        trace_(trace),
        lu_(context.tangent_factorization()) {}

  // Start values: the warm start projected onto the reduced coordinates, or zero.
  void start(const std::optional<Eigen::VectorXd>& u0, std::optional<ActiveMap> initial_active) {
    active_ = initial_active ? std::move(*initial_active) : initial_active_map(model_);
    if (u0) {
      q_ = projection_.project(*u0);
    } else {
      q_ = Eigen::VectorXd::Zero(t_.reduced_size);
    }
    expand_solution(t_, q_, u_);
  }

  // The first-order solution of the whole load with its own active-set
  // iteration and finalization; its map becomes the map of the solve.
  Result<void> predict() {
    trace_.predictor_ran = true;
    // Unlike a first-order analysis, the start may switch members back on
    // while it iterates, solves again until nothing moves and has no
    // reactivation pass of its own.
    const ActiveSetRules rules{
        .reactivate = true,
        .repeat_unchanged_solve = true,
        .reactivation_pass = false,
    };
    ActiveMap active = initial_active_map(model_);
    if (auto iterated = iterate_active_set(model_, tables_, context_, f_, rules, active, u_); !iterated) {
      return std::unexpected(
          failure_message(iterated.error(), FirstOrderSolve::SecondOrderStart, options_.iteration_limit()));
    }
    active_ = std::move(active);
    q_ = projection_.project(u_);
    expand_solution(t_, q_, u_);
    return {};
  }

  // Load stepping, refined until every step converges or the multiplier is
  // used up.
  Result<void> step_through() {
    std::uint32_t m = 1;
    for (;;) {
      const std::uint32_t n_steps = m << step_exponent_;
      std::optional<Refinement> refinement;
      std::uint32_t k = 1;
      for (; k <= n_steps; ++k) {
        const double load_factor = static_cast<double>(k) / static_cast<double>(n_steps);
        f_step_ = load_factor * f_;
        residual_at_q_.reset();
        q_saved_ = q_;
        u_saved_ = u_;
        auto settled = settle_step();
        if (!settled) return std::unexpected(std::move(settled.error()));
        if (*settled) {
          refinement = *settled;
          break;
        }
      }
      if (!refinement) {
        trace_.load_steps = n_steps;
        return {};
      }
      if (*refinement == Refinement::NewtonLimit || *refinement == Refinement::ActiveSetLimit) {
        q_ = q_saved_;
        u_ = u_saved_;
        assembly_at_q_.reset();
      }
      if (m >= largest_multiplier) return std::unexpected(refinement_error(*refinement, k, n_steps));
      m *= 2;
      ++trace_.refinements;
      log_refinement(*refinement, k, n_steps, m);
    }
  }

  // Switches off members beyond the full slack; if any, the displacements
  // become the first-order solution of the whole load with the new map.
  Result<bool> finalize() {
    auto finalized = finalization_pass(model_, tables_, context_, f_, active_, u_);
    if (!finalized) {
      return std::unexpected(failure_message(finalized.error(), FirstOrderSolve::SecondOrderFinalization,
                                             options_.iteration_limit()));
    }
    return *finalized;
  }

  const Eigen::VectorXd& displacements() const { return u_; }
  const ActiveMap& active() const { return active_; }

 private:
  // Active-set passes of the current step: nothing when the step is done,
  // else the reason to refine.
  Result<std::optional<Refinement>> settle_step() {
    for (int pass = 1; pass <= active_set_passes; ++pass) {
      auto outcome = newton_pass();
      if (!outcome) return std::unexpected(std::move(outcome.error()));
      switch (*outcome) {
        case PassOutcome::TangentSingular:
          return Refinement::TangentSingular;
        case PassOutcome::LineSearchFailed:
          return Refinement::LineSearch;
        case PassOutcome::IterationLimit:
          return Refinement::NewtonLimit;
        case PassOutcome::Converged:
          break;
      }
      if (!decide_active_set(model_, tables_, u_, active_, decision_tol_, true)) return std::nullopt;
      assembly_at_q_.reset();  // assembled with the members switched before
      log::debug(log_target, "  post-convergence reactivation → repeating current substep");
    }
    return Refinement::ActiveSetLimit;
  }

  // Damped Newton iteration on the current step load, from the current q.
  Result<PassOutcome> newton_pass() {
    for (std::uint32_t i = 1; i <= iteration_limit_; ++i) {
      ++trace_.newton_iterations;
      auto r0 = residual_at_current();
      if (!r0) return std::unexpected(std::move(r0.error()));
      if (*r0 < residual_tolerance_) return PassOutcome::Converged;

      if (!tangent_direction()) return PassOutcome::TangentSingular;
      auto accepted = line_search(*r0);
      if (!accepted) return std::unexpected(std::move(accepted.error()));
      if (!*accepted) return PassOutcome::LineSearchFailed;

      const double change = (q_trial_ - q_).norm();
      std::swap(q_, q_trial_);
      std::swap(u_, u_trial_);
      // The accepted trial was the last system assembled.
      assembly_at_q_ = k_reduced_.assemblies();
      residual_at_q_ = trial_residual_;
      const bool changed = decide_active_set(model_, tables_, u_, active_, decision_tol_, false);
      if (changed) assembly_at_q_.reset();
      // The residual of the accepted state decides; the size of the last
      // change only once rounding stops the residual from falling further.
      if (!changed && trial_residual_ < default_residual_tolerance &&
          change <= stagnation_increment * q_.norm())
        return PassOutcome::Converged;
    }
    return PassOutcome::IterationLimit;
  }

  // Solves K_r dq = -R for the system last assembled at q, damping a
  // singular K_r; false when every damped matrix is singular as well. A
  // direction that is not finite counts as singular.
  bool tangent_direction() {
    if (tangent_close_to_factored()) {
      lu_.solve(residual_, direction_);
      if (direction_.allFinite()) {
        direction_ = -direction_;
        return true;
      }
    }
    factored_values_.clear();
    if (solve_direction(k_reduced_.matrix())) {
      const auto& k = k_reduced_.matrix();
      factored_values_.assign(k.valuePtr(), k.valuePtr() + k.nonZeros());
    } else {
      const double d = std::max(k_reduced_.largest_diagonal(), norm_floor);
      bool regular = false;
      for (const double damping : damping_factors) {
        k_damped_ = k_reduced_.matrix();
        for (Eigen::Index i = 0; i < k_damped_.rows(); ++i) k_damped_.coeffRef(i, i) += damping * d;
        if (solve_direction(k_damped_)) {
          regular = true;
          break;
        }
      }
      if (!regular) return false;
    }
    direction_ = -direction_;
    return true;
  }

  // Whether the tangent at q differs from the one last factored by less than
  // reuse_tolerance in every entry, relative to the geometric mean of the
  // two diagonal entries it couples: its factors then still give a descent
  // direction, and the iteration converges to the same state.
  bool tangent_close_to_factored() const {
    const auto& k = k_reduced_.matrix();
    if (factored_values_.size() != static_cast<std::size_t>(k.nonZeros())) return false;
    const double* values = k.valuePtr();
    const int* outer = k.outerIndexPtr();
    const int* inner = k.innerIndexPtr();
    diagonal_.resize(static_cast<std::size_t>(k.cols()));
    for (Eigen::Index col = 0; col < k.cols(); ++col) {
      double d = 0.0;
      for (int p = outer[col]; p < outer[col + 1]; ++p) {
        if (inner[p] == col) d = std::abs(factored_values_[static_cast<std::size_t>(p)]);
      }
      diagonal_[static_cast<std::size_t>(col)] = d;
    }
    for (Eigen::Index col = 0; col < k.cols(); ++col) {
      for (int p = outer[col]; p < outer[col + 1]; ++p) {
        const double change = std::abs(values[p] - factored_values_[static_cast<std::size_t>(p)]);
        const double scale = std::sqrt(diagonal_[static_cast<std::size_t>(col)] *
                                       diagonal_[static_cast<std::size_t>(inner[p])]);
        if (!(change <= reuse_tolerance * scale)) return false;
      }
    }
    return true;
  }

  // direction_ = K^-1 R; false when K has a zero pivot or the solution is not finite.
  bool solve_direction(const Eigen::SparseMatrix<double>& k) {
    ++trace_.tangent_factorizations;
    if (!context_.factor_tangent(k)) return false;
    lu_.solve(residual_, direction_);
    return direction_.allFinite();
  }

  // Backtracking along the direction from q; the accepted trial is left in
  // q_trial_ and u_trial_. False when no acceptable trial exists.
  Result<bool> line_search(double r0) {
    const auto bound = [r0](double alpha) { return (1.0 - sufficient_decrease * alpha) * r0; };
    double alpha = 1.0;
    auto r_t = trial(alpha);
    if (!r_t) return std::unexpected(std::move(r_t.error()));
    while (alpha > alpha_min && *r_t > bound(alpha)) {
      alpha /= 2.0;
      r_t = trial(alpha);
      if (!r_t) return std::unexpected(std::move(r_t.error()));
    }
    if (*r_t > r0 && alpha <= alpha_min) {
      // Worse than where it started even at the shortest step: try the
      // other way.
      r_t = trial(-alpha);
      if (!r_t) return std::unexpected(std::move(r_t.error()));
      return *r_t <= bound(alpha);
    }
    return true;
  }

  // r at q + alpha dq.
  Result<double> trial(double alpha) {
    q_trial_ = q_ + alpha * direction_;
    expand_solution(t_, q_trial_, u_trial_);
    auto r = residual_at(q_trial_, u_trial_);
    if (r) trial_residual_ = *r;
    return r;
  }

  // r at q_. The system last assembled at q_ with the current active map
  // serves again as it is: the assembly would give the same matrix and the
  // same restraint factors, so only their events are emitted again, and a
  // new step load is reduced and restrained on its own.
  Result<double> residual_at_current() {
    if (assembly_at_q_ != k_reduced_.assemblies()) {
      auto r = residual_at(q_, u_);
      if (r) {
        assembly_at_q_ = k_reduced_.assemblies();
        residual_at_q_ = *r;
      }
      return r;
    }
    if (!residual_at_q_) {
      k_reduced_.reduce_load(f_step_, f_reduced_);
      k_reduced_.restrain_load(f_reduced_);
      residual_.noalias() = k_reduced_.matrix() * q_;
      residual_ -= f_reduced_;
      residual_at_q_ = residual_.norm() / std::max(f_reduced_.norm(), norm_floor);
    }
    k_reduced_.replay_restraint_events(alphas_);
    return *residual_at_q_;
  }

  // Assembles the reduced system at u = T q (geometric stiffness of u) with
  // the step load; R = K_r q - F_r is left in residual_. Returns
  // |R| / max(|F_r|, 1).
  Result<double> residual_at(const Eigen::VectorXd& q, const Eigen::VectorXd& u) {
    if (auto assembled = k_reduced_.assemble(active_, &u); !assembled) {
      return std::unexpected(std::move(assembled.error()));
    }
    k_reduced_.reduce_load(f_step_, f_reduced_);
    k_reduced_.apply_restraints(f_reduced_, alphas_);
    residual_.noalias() = k_reduced_.matrix() * q;
    residual_ -= f_reduced_;
    return residual_.norm() / std::max(f_reduced_.norm(), norm_floor);
  }

  void log_refinement(Refinement refinement, std::uint32_t k, std::uint32_t n_steps, std::uint32_t m) const {
    const std::uint32_t new_steps = m << step_exponent_;
    switch (refinement) {
      case Refinement::TangentSingular:
        log::debug(log_target, "  tangent singular ⇒ substep multiplier -> {}", m);
        break;
      case Refinement::LineSearch:
        log::debug(log_target, "  line-search failed at αmin → substep multiplier -> {}", m);
        break;
      case Refinement::NewtonLimit:
        log::debug(log_target, "  step {}/{} failed ⇒ refining substeps to {}", k, n_steps, new_steps);
        break;
      case Refinement::ActiveSetLimit:
        log::debug(log_target, "  step {}/{}: active-set outer loop hit limit ⇒ refining substeps to {}", k,
                   n_steps, new_steps);
        break;
    }
  }

  static std::string refinement_error(Refinement refinement, std::uint32_t k, std::uint32_t n_steps) {
    switch (refinement) {
      case Refinement::TangentSingular:
        return "Second-order: tangent singular even after LM damping + max substepping";
      case Refinement::LineSearch:
        return "Second-order: non-descent at αmin; flip-left failed; max substepping reached";
      case Refinement::NewtonLimit:
        return format_message("Second-order: step {}/{} did not converge and max substepping reached", k,
                              n_steps);
      case Refinement::ActiveSetLimit:
        break;
    }
    return format_message(
        "Second-order: step {}/{} active-set outer loop did not converge; max substepping reached", k,
        n_steps);
  }

  const VELK& model_;
  const LookupTables tables_;
  SolveContext& context_;
  // The pattern of the reduced stiffness is the analysis's; every assembly
  // only refills its values.
  ReducedStiffness& k_reduced_;
  const Eigen::VectorXd& f_;
  const ConstraintTransform& t_;
  const Projection& projection_;
  const AnalysisOptions& options_;
  const std::uint32_t step_exponent_;
  const std::uint32_t iteration_limit_;
  const double residual_tolerance_;
  const double decision_tol_;
  SecondOrderTrace& trace_;

  ActiveMap active_;
  Eigen::VectorXd q_;
  Eigen::VectorXd u_;
  Eigen::VectorXd q_saved_;
  Eigen::VectorXd u_saved_;
  Eigen::VectorXd f_step_;
  Eigen::SparseMatrix<double> k_damped_;
  ReducedFactorization& lu_;
  Eigen::VectorXd f_reduced_;
  std::vector<double> alphas_;
  Eigen::VectorXd residual_;
  Eigen::VectorXd direction_;
  Eigen::VectorXd q_trial_;
  Eigen::VectorXd u_trial_;
  double trial_residual_ = 0.0;
  // The values of the tangent whose factors lu_ holds, when it was not damped.
  std::vector<double> factored_values_;
  mutable std::vector<double> diagonal_;
  // The assembly of k_reduced_ (and alphas_) that holds the restrained
  // system at q_ with active_; the system is still there while nobody
  // (a trial, the first-order start or finalization, another solve) has
  // assembled since. residual_at_q_ is its relative residual under f_step_.
  std::optional<std::uint64_t> assembly_at_q_;
  std::optional<double> residual_at_q_;
};

}  // namespace

Result<Results> second_order_solve(VELK& model, SolveContext& context, const Eigen::VectorXd& f,
                                   const std::string& name, ResultType identity,
                                   std::uint32_t iteration_limit, const std::optional<Eigen::VectorXd>& u0,
                                   std::optional<ActiveMap> initial_active, SecondOrderTrace* trace) {
  SecondOrderTrace local_trace;
  SecondOrderTrace& record = trace != nullptr ? *trace : local_trace;
  record = SecondOrderTrace{};

  auto t = context.transform();
  if (!t) return std::unexpected(std::move(t.error()));
  Projection projection(**t);
  if (auto built = projection.build(); !built) return std::unexpected(std::move(built.error()));
  auto k_reduced = context.reduced_stiffness();
  if (!k_reduced) return std::unexpected(std::move(k_reduced.error()));

  SecondOrderSolver solver(model, context, **k_reduced, f, **t, projection, identity.is_combination(),
                           iteration_limit, record);
  solver.start(u0, std::move(initial_active));
  if (!u0) {
    if (auto predicted = solver.predict(); !predicted) return std::unexpected(std::move(predicted.error()));
  }
  if (auto stepped = solver.step_through(); !stepped) return std::unexpected(std::move(stepped.error()));
  auto finalized = solver.finalize();
  if (!finalized) return std::unexpected(std::move(finalized.error()));
  record.finalized_first_order = *finalized;

  // A displacement state in equilibrium with K + K_G gives its end forces
  // with the geometric stiffness; the first-order state of the finalization
  // with the elastic stiffness alone.
  const RecoveryOptions recovery{.second_order = !*finalized};
  return store_results(model, name, identity, solver.displacements(), solver.active(), recovery);
}

}  // namespace velk
