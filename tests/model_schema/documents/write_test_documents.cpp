// Writes the model documents that the C++ tests build in memory into the
// folder given as the only argument, one file each, so that they can be
// checked against the JSON Schema of the document.

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "document/document_io.hpp"
#include "support/document_text.hpp"
#include "support/model_text.hpp"
#include "support/random_frames.hpp"

namespace {

bool write(const std::filesystem::path& folder, std::string_view name, std::string_view text) {
  std::ofstream out(folder / name, std::ios::binary);
  out << text;
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: write_test_documents <folder>\n";
    return 2;
  }
  const std::filesystem::path folder(argv[1]);
  std::filesystem::create_directories(folder);

  using velk::test_support::ModelText;
  ModelText row;
  row.members = 3;
  row.load_case_ids = {1, 2};
  row.combination_ids = {1};
  row.unit_settings = R"({"lengthUnit":"mm","forceUnit":"kN","pressureUnit":"MPa"})";
  ModelText second_order = row;
  second_order.order = "Nonlinear";
  second_order.rigid_strategy = "rigid_member";
  second_order.max_iterations = "50";

  bool ok = write(folder, "minimal_document.json", velk::test_support::minimal_document);
  ok = write(folder, "minimal_document_written.json", velk::test_support::minimal_document_written) && ok;
  ok = write(folder, "full_document_written.json", velk::test_support::full_document_written) && ok;
  ok = write(folder, "model_text_row.json", row.text()) && ok;
  ok = write(folder, "model_text_second_order.json", second_order.text()) && ok;
  // The random frames of the property tests, with and without one-sided
  // members, rigid links and second order among them.
  for (std::uint64_t seed = 1; seed <= 6; ++seed) {
    velk::test_support::RandomFrameOptions options;
    options.members = static_cast<int>(5 + 7 * seed);
    options.one_sided = seed % 2 == 0;
    const std::string name = "random_frame_" + std::to_string(seed) + ".json";
    ok = write(folder, name, velk::write_velk(velk::test_support::random_frame(seed, options))) && ok;
  }
  if (!ok) {
    std::cerr << "write_test_documents: cannot write into " << folder << "\n";
    return 1;
  }
  return 0;
}
