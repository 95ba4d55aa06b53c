#pragma once
// `velk modes MODEL.json [--modes N] [--mass consistent|lumped]
// [--mass-case NAME] [--json]`: natural frequencies and mode shapes.

#include "cli/arguments.hpp"

namespace velk::cli {

extern const char* const modes_help;

// Prints the table of the modes, or their JSON; exit status 2 with one line
// for an unreadable file, a bad option or a model that cannot be analysed.
int modes_command(const Arguments& args);

}  // namespace velk::cli
