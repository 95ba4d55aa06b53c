// Any bytes as a model document: a reading message, or a round trip through
// the writer that is stable.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "support/input_checks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (const auto failure = velk::test_support::document_round_trip_failure(bytes)) {
    std::fprintf(stderr, "document round trip: %s\n", failure->c_str());
    std::abort();
  }
  return 0;
}
