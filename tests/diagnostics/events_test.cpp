// The solvers' debug events: one compact JSON record per kind, nothing built below the debug level.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "base/log.hpp"
#include "diagnostics/diagnostics.hpp"
#include "support/log_capture.hpp"

namespace velk {
namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

class DiagnosticEvents : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const log::Level level : capture.levels) EXPECT_EQ(level, log::Level::Debug);
    for (const std::string& target : capture.targets) EXPECT_EQ(target, "velk::diagnostics");
  }
  test_support::LogCapture capture{log::Level::Off};
  std::vector<std::string>& texts = capture.lines;
};

TEST_F(DiagnosticEvents, EveryKindIsOneCompactJsonRecord) {
  log::set_max_level(log::Level::Debug);
  const struct {
    DiagnosticEvent event;
    const char* text;
  } table[] = {
      {IterationEvent{"linear", 3, std::nullopt, 0.25, true},
       R"({"type":"Iteration","phase":"linear","iteration":3,"residual":null,"relative_du":0.25,)"
       R"("changed_active_set":true})"},
      {ActiveDecisionEvent{7, "Tension", -1.5, true, false, "n < -tol → OFF", 0.1, 1.0},
       R"({"type":"ActiveDecision","member_id":7,"member_kind":"Tension","axial_force":-1.5,"was_active":true,)"
       R"("now_active":false,"reason":"n < -tol → OFF","tol":0.1,"reactivation_buffer":1.0})"},
      {ActiveDecisionEvent{8, "Compression", 2.0, false, false, "n > +tol → OFF", 0.0, infinity},
       R"({"type":"ActiveDecision","member_id":8,"member_kind":"Compression","axial_force":2.0,)"
       R"("was_active":false,"now_active":false,"reason":"n > +tol → OFF","tol":0.0,"reactivation_buffer":null})"},
      {RigidEdgeEvent{1, 2, 0.5, -0.0, 1e-7},
       R"({"type":"RigidEdge","master":1,"slave":2,"rx":0.5,"ry":-0.0,"rz":1e-7})"},
      {LineSearchEvent{0.5, 10.0, 2.5}, R"({"type":"LineSearch","alpha":0.5,"residual_before":10.0,)"
                                        R"("residual_after":2.5})"},
      {ConstraintEvent{4, "RX", true, "ExactRetained", std::nullopt, 21},
       R"({"type":"Constraint","node_id":4,"dof":"RX","retained_in_reduced":true,"method":"ExactRetained",)"
       R"("penalty_alpha":null,"pivot_index":21})"},
      {ConstraintEvent{4, "UX", false, "Penalty", 2.1e14, std::nullopt},
       R"({"type":"Constraint","node_id":4,"dof":"UX","retained_in_reduced":false,"method":"Penalty",)"
       R"("penalty_alpha":210000000000000.0,"pivot_index":null})"},
      {MatrixDiagEvent{"reduced", 12, 0.0, 1e20, 1, 2},
       R"({"type":"MatrixDiag","location":"reduced","n":12,"min_diag":0.0,"max_diag":1e20,"zero_rows":1,)"
       R"("near_zero_rows":2})"},
      {StepEvent{2, 8, 0.25, 1}, R"({"type":"Step","step_index":2,"steps_total":8,"lambda":0.25,)"
                                 R"("substep_multiplier":1})"},
      {SubstepRefinedEvent{1, 2, "line search stalled"},
       R"({"type":"SubstepRefined","old_multiplier":1,"new_multiplier":2,"reason":"line search stalled"})"},
      {ActiveMapSummaryEvent{3, 1, 0, 2},
       R"({"type":"ActiveMapSummary","ties_on":3,"ties_off":1,"struts_on":0,"struts_off":2})"},
  };
  for (const auto& row : table) {
    texts.clear();
    emit_event(row.event);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], row.text);
  }
}

TEST_F(DiagnosticEvents, NothingBelowDebug) {
  log::set_max_level(log::Level::Info);
  emit_event(ActiveMapSummaryEvent{1, 0, 0, 0});
  log::set_max_level(log::Level::Off);
  emit_event(ConstraintEvent{1, "UX", false, "Penalty", 1000.0, std::nullopt});
  EXPECT_TRUE(texts.empty());
}

}  // namespace
}  // namespace velk
