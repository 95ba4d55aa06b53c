#pragma once
// Structured diagnostic events: what the solvers decide (members switched on
// or off, how each support restraint was imposed, ...), written as one
// compact JSON object per debug log record. With debug logging off nothing is
// built: every text field is a view of a literal, so constructing an event
// allocates nothing, and `emit_event` returns before serialising.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <variant>

#include "base/record_schema.hpp"

namespace velk {

struct IterationEvent {
  std::string_view phase;
  std::size_t iteration = 0;
  std::optional<double> residual;
  std::optional<double> relative_du;
  bool changed_active_set = false;
};

struct ActiveDecisionEvent {
  std::uint32_t member_id = 0;
  std::string_view member_kind;  // "Tension", "Compression" or "Other"
  double axial_force = 0.0;
  bool was_active = false;
  bool now_active = false;
  std::string_view reason;
  double tol = 0.0;
  double reactivation_buffer = 0.0;  // infinite when reactivation is not allowed
};

struct RigidEdgeEvent {
  std::uint32_t master = 0;
  std::uint32_t slave = 0;
  double rx = 0.0;
  double ry = 0.0;
  double rz = 0.0;
};

struct LineSearchEvent {
  double alpha = 0.0;
  double residual_before = 0.0;
  double residual_after = 0.0;
};

struct ConstraintEvent {
  std::uint32_t node_id = 0;
  std::string_view dof;  // "UX" ... "RZ" or "UNKNOWN"
  bool retained_in_reduced = false;
  std::string_view method;  // "ExactRetained", "ExactOneHot" or "Penalty"
  std::optional<double> penalty_alpha;
  std::optional<std::size_t> pivot_index;
};

struct MatrixDiagEvent {
  std::string_view location;
  std::size_t n = 0;
  double min_diag = 0.0;
  double max_diag = 0.0;
  std::size_t zero_rows = 0;
  std::size_t near_zero_rows = 0;
};

struct StepEvent {
  std::size_t step_index = 0;
  std::size_t steps_total = 0;
  double load_factor = 0.0;  // the share of the whole load the step has reached
  std::size_t substep_multiplier = 0;
};

struct SubstepRefinedEvent {
  std::size_t old_multiplier = 0;
  std::size_t new_multiplier = 0;
  std::string_view reason;
};

struct ActiveMapSummaryEvent {
  std::size_t ties_on = 0;
  std::size_t ties_off = 0;
  std::size_t struts_on = 0;
  std::size_t struts_off = 0;
};

using DiagnosticEvent =
    std::variant<IterationEvent, ActiveDecisionEvent, RigidEdgeEvent, LineSearchEvent, ConstraintEvent,
                 MatrixDiagEvent, StepEvent, SubstepRefinedEvent, ActiveMapSummaryEvent>;

// The event as one compact JSON object: "type" with the kind's name first,
// then the kind's fields in order; non-finite floats and absent values as null.
std::string serialize_event(const DiagnosticEvent& event);

// Hands the event to the logging facade as one debug record with the target
// "velk::diagnostics", but only when debug records are admitted.
void emit_event(const DiagnosticEvent& event);

}  // namespace velk

namespace velk::json {

template <>
struct Schema<IterationEvent> {
  static constexpr std::string_view name = "Iteration";
  static constexpr auto fields = std::make_tuple(
      field("phase", &IterationEvent::phase), field("iteration", &IterationEvent::iteration),
      field("residual", &IterationEvent::residual), field("relative_du", &IterationEvent::relative_du),
      field("changed_active_set", &IterationEvent::changed_active_set));
};

template <>
struct Schema<ActiveDecisionEvent> {
  static constexpr std::string_view name = "ActiveDecision";
  static constexpr auto fields =
      std::make_tuple(field("member_id", &ActiveDecisionEvent::member_id),
                      field("member_kind", &ActiveDecisionEvent::member_kind),
                      field("axial_force", &ActiveDecisionEvent::axial_force),
                      field("was_active", &ActiveDecisionEvent::was_active),
                      field("now_active", &ActiveDecisionEvent::now_active),
                      field("reason", &ActiveDecisionEvent::reason), field("tol", &ActiveDecisionEvent::tol),
                      field("reactivation_buffer", &ActiveDecisionEvent::reactivation_buffer));
};

template <>
struct Schema<RigidEdgeEvent> {
  static constexpr std::string_view name = "RigidEdge";
  static constexpr auto fields = std::make_tuple(
      field("master", &RigidEdgeEvent::master), field("slave", &RigidEdgeEvent::slave),
      field("rx", &RigidEdgeEvent::rx), field("ry", &RigidEdgeEvent::ry), field("rz", &RigidEdgeEvent::rz));
};

template <>
struct Schema<LineSearchEvent> {
  static constexpr std::string_view name = "LineSearch";
  static constexpr auto fields = std::make_tuple(field("alpha", &LineSearchEvent::alpha),
                                                 field("residual_before", &LineSearchEvent::residual_before),
                                                 field("residual_after", &LineSearchEvent::residual_after));
};

template <>
struct Schema<ConstraintEvent> {
  static constexpr std::string_view name = "Constraint";
  static constexpr auto fields = std::make_tuple(
      field("node_id", &ConstraintEvent::node_id), field("dof", &ConstraintEvent::dof),
      field("retained_in_reduced", &ConstraintEvent::retained_in_reduced),
      field("method", &ConstraintEvent::method), field("penalty_alpha", &ConstraintEvent::penalty_alpha),
      field("pivot_index", &ConstraintEvent::pivot_index));
};

template <>
struct Schema<MatrixDiagEvent> {
  static constexpr std::string_view name = "MatrixDiag";
  static constexpr auto fields = std::make_tuple(
      field("location", &MatrixDiagEvent::location), field("n", &MatrixDiagEvent::n),
      field("min_diag", &MatrixDiagEvent::min_diag), field("max_diag", &MatrixDiagEvent::max_diag),
      field("zero_rows", &MatrixDiagEvent::zero_rows),
      field("near_zero_rows", &MatrixDiagEvent::near_zero_rows));
};

template <>
struct Schema<StepEvent> {
  static constexpr std::string_view name = "Step";
  static constexpr auto fields = std::make_tuple(
      field("step_index", &StepEvent::step_index), field("steps_total", &StepEvent::steps_total),
      field("lambda", &StepEvent::load_factor), field("substep_multiplier", &StepEvent::substep_multiplier));
};

template <>
struct Schema<SubstepRefinedEvent> {
  static constexpr std::string_view name = "SubstepRefined";
  static constexpr auto fields =
      std::make_tuple(field("old_multiplier", &SubstepRefinedEvent::old_multiplier),
                      field("new_multiplier", &SubstepRefinedEvent::new_multiplier),
                      field("reason", &SubstepRefinedEvent::reason));
};

template <>
struct Schema<ActiveMapSummaryEvent> {
  static constexpr std::string_view name = "ActiveMapSummary";
  static constexpr auto fields = std::make_tuple(field("ties_on", &ActiveMapSummaryEvent::ties_on),
                                                 field("ties_off", &ActiveMapSummaryEvent::ties_off),
                                                 field("struts_on", &ActiveMapSummaryEvent::struts_on),
                                                 field("struts_off", &ActiveMapSummaryEvent::struts_off));
};

}  // namespace velk::json
