#include "solvers/mechanism.hpp"

#include <cstdio>

#include "diagnostics/message_format.hpp"

namespace velk {
namespace {

// Three decimals, the way an engineer reads a direction; a component that
// rounds to zero is written without a sign.
std::string direction_component(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  if (std::string_view(text) == "-0.000") return "0.000";
  return text;
}

}  // namespace

std::string mechanism_message(const Mechanism& mechanism) {
  return format_message("Mechanism: node {} {} ({}, {}, {}) without resistance", mechanism.node,
                        mechanism.rotation ? "turns about" : "moves along",
                        direction_component(mechanism.direction[0]), direction_component(mechanism.direction[1]),
                        direction_component(mechanism.direction[2]));
}

std::expected<std::vector<Mechanism>, std::string> find_mechanisms(const VELK&) {
  return std::vector<Mechanism>{};
}

}  // namespace velk
