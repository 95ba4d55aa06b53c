// Every example and every input a fuzz target once failed on, through the
// stability analysis: a message or the engine's fault, or factors that are
// positive and ascending, the same whether Lanczos or a dense solve finds
// them, mode shapes with their largest translation +1, and energy shares
// that sum to 1.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <numeric>

#include "base/fault.hpp"
#include "document/document_io.hpp"
#include "stability/stability.hpp"

namespace velk {
namespace {

std::vector<std::filesystem::path> documents() {
  std::vector<std::filesystem::path> paths;
  for (const char* folder : {VELK_EXAMPLES_DIR, VELK_FUZZ_REGRESSIONS_DIR}) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (entry.path().extension() == ".json") paths.push_back(entry.path());
    }
  }
  std::ranges::sort(paths);
  return paths;
}

void expect_sound(const CaseStability& c, const std::string& where) {
  for (std::size_t i = 0; i < c.critical_factors.size(); ++i) {
    EXPECT_GT(c.critical_factors[i], 0.0) << where;
    if (i > 0) {
      EXPECT_GE(c.critical_factors[i], c.critical_factors[i - 1]) << where;
    }
  }
  ASSERT_EQ(c.modes.size(), c.critical_factors.size()) << where;
  for (const BucklingMode& mode : c.modes) {
    // Translations equal to rounding are equally the largest: the first of
    // them in node order is +1.
    double largest = 0.0;
    double largest_positive = 0.0;
    for (const auto& [id, d] : mode.shape) {
      for (const double v : {d.dx, d.dy, d.dz}) {
        largest = std::max(largest, std::abs(v));
        largest_positive = std::max(largest_positive, v);
      }
    }
    if (largest != 0.0) {
      EXPECT_NEAR(largest, 1.0, 1e-9) << where;
      EXPECT_NEAR(largest_positive, 1.0, 1e-9) << where;
    }
    double shares = 0.0;
    for (const MemberBuckling& m : mode.members) {
      EXPECT_GE(m.energy_share, 0.0) << where << " member " << m.member;
      shares += m.energy_share;
    }
    if (shares != 0.0) {
      EXPECT_NEAR(shares, 1.0, 1e-9) << where;
    }
  }
}

TEST(Documents, ExamplesAndFuzzRegressions) {
  const std::vector<std::filesystem::path> paths = documents();
  ASSERT_GE(paths.size(), 6u);
  for (const std::filesystem::path& path : paths) {
    const auto text = read_text_file(path.string());
    if (!text) continue;  // not UTF-8 text: no model either
    const auto model = read_velk(*text);
    if (!model) continue;
    try {
      const auto lanczos = analyse_document_stability(*model, {.modes = 4, .dense_limit = 0});
      const auto dense = analyse_document_stability(*model, {.modes = 4, .dense_limit = 100000});
      ASSERT_EQ(lanczos.has_value(), dense.has_value()) << path;
      if (!lanczos) {
        EXPECT_FALSE(lanczos.error().empty()) << path;
        continue;
      }
      ASSERT_EQ(lanczos->loadcombinations.size(), dense->loadcombinations.size()) << path;
      for (const auto& [l_cases, d_cases] :
           {std::pair{&lanczos->loadcases, &dense->loadcases},
            std::pair{&lanczos->loadcombinations, &dense->loadcombinations}}) {
        ASSERT_EQ(l_cases->size(), d_cases->size()) << path;
        for (std::size_t i = 0; i < l_cases->size(); ++i) {
          const std::string where = path.filename().string() + " " + (*l_cases)[i].name;
          expect_sound((*l_cases)[i], where);
          expect_sound((*d_cases)[i], where);
          ASSERT_EQ((*l_cases)[i].critical_factors.size(), (*d_cases)[i].critical_factors.size()) << where;
          for (std::size_t m = 0; m < (*l_cases)[i].critical_factors.size(); ++m) {
            EXPECT_NEAR((*l_cases)[i].critical_factors[m] / (*d_cases)[i].critical_factors[m], 1.0, 1e-8)
                << where << " mode " << m;
          }
        }
      }
    } catch (const Fault&) {
    }
  }
}

}  // namespace
}  // namespace velk
