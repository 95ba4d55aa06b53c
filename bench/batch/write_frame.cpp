// Prints the 100-member frame of the benchmarks as a model document, for the
// batch benchmark, which runs it through the Python module.

#include <cstdio>

#include "document/document_io.hpp"
#include "support/frame_models.hpp"

int main() {
  const std::string text = velk::write_velk(velk::test_support::frame_model());
  std::fwrite(text.data(), 1, text.size(), stdout);
  return std::ferror(stdout) ? 1 : 0;
}
