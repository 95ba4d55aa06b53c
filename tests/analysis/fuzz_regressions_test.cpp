// Replays the inputs the fuzz targets once failed on: each must now be handled
// by the reader and by the whole analysis as any input must be.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/input_checks.hpp"

namespace velk {
namespace {

TEST(FuzzRegressions, EveryKeptInputIsHandled) {
  int replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(VELK_FUZZ_REGRESSIONS_DIR)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    const std::string input = bytes.str();
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(test_support::document_round_trip_failure(input).value_or(""), "") << name;
    EXPECT_EQ(test_support::analysis_failure(input).value_or(""), "") << name;
    ++replayed;
  }
  EXPECT_GT(replayed, 0);
}

}  // namespace
}  // namespace velk
