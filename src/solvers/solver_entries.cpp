#include "solvers/solver_entries.hpp"

namespace velk {

// The solvers are not part of this build yet: every entry answers with a
// message instead of a result, so no analysis is ever faked.
namespace {
constexpr const char* kFirstOrderUnavailable = "first-order analysis is not available in this build";
constexpr const char* kSecondOrderUnavailable = "second-order analysis is not available in this build";
}  // namespace

std::expected<Results, std::string> solve_load_case_linear(VELK&, std::uint32_t) {
  return std::unexpected(kFirstOrderUnavailable);
}

std::expected<Results, std::string> solve_load_case_second_order(VELK&, std::uint32_t, std::uint32_t) {
  return std::unexpected(kSecondOrderUnavailable);
}

std::expected<Results, std::string> solve_combination_linear(VELK&, std::uint32_t) {
  return std::unexpected(kFirstOrderUnavailable);
}

std::expected<Results, std::string> solve_combination_second_order(VELK&, std::uint32_t, std::uint32_t) {
  return std::unexpected(kSecondOrderUnavailable);
}

}  // namespace velk
