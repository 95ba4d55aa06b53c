// Prints a generated frame as a model document: without arguments the
// 100-member frame of the benchmarks (for the batch benchmark, which runs it
// through the Python module); with MEMBERS the braced building of about that
// many members; with STOREYS BAYS_X BAYS_Y that building. The sizes of a
// building go to standard error.

#include <charconv>
#include <cstdio>
#include <string_view>

#include "document/document_io.hpp"
#include "support/frame_models.hpp"

namespace {

bool whole_number(std::string_view text, int low, int high, int& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && value >= low && value <= high;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace velk::test_support;
  velk::VELK model;
  if (argc == 1) {
    model = frame_model();
  } else {
    BuildingOptions building;
    int members = 0;
    const bool by_count = argc == 2 && whole_number(argv[1], 1, 2000000, members);
    const bool by_shape = argc == 4 && whole_number(argv[1], 1, 1000, building.storeys) &&
                          whole_number(argv[2], 1, 1000, building.bays_x) &&
                          whole_number(argv[3], 1, 1000, building.bays_y);
    if (!by_count && !by_shape) {
      std::fputs("usage: write_bench_frame [MEMBERS | STOREYS BAYS_X BAYS_Y]\n", stderr);
      return 2;
    }
    if (by_count) building = building_of_about(members);
    model = building_model(building);
    std::fprintf(stderr, "%d storeys, %d x %d bays, %d members\n", building.storeys, building.bays_x,
                 building.bays_y, building_members(building));
  }
  const std::string text = velk::write_velk(model);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return std::ferror(stdout) ? 1 : 0;
}
