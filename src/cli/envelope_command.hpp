#pragma once
// `velk envelope FILE.json [--limit-state ULS|SLS|FLS|ALS] [--combinations
// NAME,...] [--with-cases] [--stations N] [--json | --csv]`: the design
// values over the combinations of a model or of an analysed document.

#include "cli/arguments.hpp"

namespace velk::cli {

extern const char* const envelope_help;

// Prints the envelope (a summary, JSON or CSV); every failure is one line on
// standard error and exit status 2.
int envelope_command(const Arguments& args);

}  // namespace velk::cli
