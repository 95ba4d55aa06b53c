// Any bytes through the modal analysis, with the number of modes, the mass
// option and the mass case taken from the input: modes, a message or the
// engine's fault, and never a crash, a leak, undefined behaviour or a hang.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "support/modal_input_checks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (const auto failure = velk::test_support::modal_failure(bytes)) {
    std::fprintf(stderr, "modes: %s\n", failure->c_str());
    std::abort();
  }
  return 0;
}
