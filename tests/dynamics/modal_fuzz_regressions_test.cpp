// The kept fuzz inputs and the examples through the modal analysis, with
// the checks of its fuzz target, under every option the target gives them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/modal_input_checks.hpp"

namespace velk {
namespace {

std::string contents(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

TEST(ModalFuzzRegressions, EveryKeptInputAndExampleIsHandledUnderEveryOption) {
  int replayed = 0;
  for (const char* dir : {VELK_FUZZ_REGRESSIONS_DIR, VELK_EXAMPLES_DIR}) {
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      if (!entry.is_regular_file() || entry.path().extension() != ".json") continue;
      const std::string input = contents(entry.path());
      const std::string name = entry.path().filename().string();
      EXPECT_EQ(test_support::modal_failure(input).value_or(""), "") << name;
      for (const char* header : {"#1,0,0\n", "#7,1,1\n", "#3,0,2\n", "#40,1,0\n"})
        EXPECT_EQ(test_support::modal_failure(header + input).value_or(""), "") << header << name;
      ++replayed;
    }
  }
  EXPECT_GT(replayed, 3);
}

TEST(ModalFuzzRegressions, TheOptionsLineIsReadWithinTheFrontEndsLimits) {
  const auto input = test_support::modal_input("#99999,1,2\n{}");
  EXPECT_EQ(input.modes, 40);
  EXPECT_EQ(input.mass, 1);
  EXPECT_EQ(input.mass_case, 2);
  EXPECT_EQ(input.document, "{}");
  const auto odd = test_support::modal_input("#-4,x");
  EXPECT_EQ(odd.modes, 1);
  EXPECT_EQ(odd.mass, 0);
  EXPECT_EQ(odd.document, "");
}

}  // namespace
}  // namespace velk
