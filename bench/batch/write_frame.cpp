// Prints the 100-member frame of the benchmarks as a model document, for the
// batch benchmark, which runs it through the Python module.

#include <cstdio>

#include "bench_models.hpp"
#include "document/document_io.hpp"

int main() {
  const std::string text = velk::write_velk(velk::bench::frame_model());
  std::fwrite(text.data(), 1, text.size(), stdout);
  return std::ferror(stdout) ? 1 : 0;
}
