// The elastic stability on the report's case pages: alpha_cr with its
// verdict and the first buckling mode, or why a case has none.

#include <gtest/gtest.h>

#include <string>

#include "report/html_report.hpp"
#include "support/frame_builder.hpp"

namespace velk {
namespace {

using namespace test_support;

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

// A cantilever column of four members carrying `load` downwards at its top,
// and a combination that lifts it.
FrameBuilder column(double load) {
  FrameBuilder b;
  const std::uint32_t s = b.section(5e-3, 2e-5, 3e-5, 1e-5);
  b.support(1, ConditionType::Fixed, "XYZ", ConditionType::Fixed, "XYZ");
  for (std::uint32_t i = 1; i <= 5; ++i)
    b.node(i, 0.0, 0.0, 1.0 * (i - 1), i == 1 ? std::optional<std::uint32_t>(1) : std::nullopt);
  for (std::uint32_t i = 1; i <= 4; ++i) b.member(i, i, i + 1, s);
  LoadCase& lc = b.load_case(1, "Axial");
  FrameBuilder::force(lc, 5, load, {0, 0, -1});
  LoadCombination uplift;
  uplift.id = 1;
  uplift.name = "Uplift";
  uplift.load_cases_factors = {{1, -1.0}};
  b.model.load_combinations.push_back(uplift);
  return b;
}

TEST(StabilityReport, CriticalFactorVerdictAndFirstMode) {
  const Result<std::string> page = report::report_html_from_json(column(1e5).text());
  ASSERT_TRUE(page.has_value()) << page.error();
  EXPECT_EQ(count(*page, "<div class=\"stability\">"), 2u);
  // The axial case buckles (pi^2 E I_y / (2 L)^2 = 647.7 kN, 6.477 times the load).
  EXPECT_NE(page->find(
                "\u03b1_cr = 6.477 <span class=\"verdict\">second order needed (3 \u2264 \u03b1_cr &lt; 10)"),
            std::string::npos);
  EXPECT_EQ(count(*page, "class=\"view buckling\""), 1u);
  EXPECT_EQ(count(*page, "class=\"mode "), 4u);
  // The uplift puts nothing in compression and says so.
  EXPECT_NE(
      page->find("No critical load factor: no member is in compression. <span class=\"verdict\">first order "
                 "sufficient (\u03b1_cr \u2265 10)</span>; under reversed loads at 6.477"),
      std::string::npos);
}

}  // namespace
}  // namespace velk
