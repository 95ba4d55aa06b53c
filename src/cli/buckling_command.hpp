#pragma once
// `velk buckling`: the elastic critical load factors, buckling modes and
// buckling lengths of every case and combination; and the critical factor
// that `velk analyse --buckling` adds to each case of its summary.

#include <string>

#include "cli/arguments.hpp"
#include "inspection/inspection.hpp"

namespace velk::cli {

extern const char* const buckling_help;

// velk buckling MODEL.json [--modes N] [--json]
int buckling(const Arguments& args);

// The summary of `velk analyse` with alpha_cr,1 and the verdict added to
// each case, or the stability analysis' message.
Result<std::string> summary_with_buckling(const InspectedModel& inspected);

}  // namespace velk::cli
