// The HTML report page: self-contained, every member drawn, balanced sums, escaping, failed and empty models.
#include "report/html_report.hpp"

#include <gtest/gtest.h>

#include <regex>

#include "document/units.hpp"
#include "report/scene.hpp"
#include "results/equilibrium.hpp"
#include "support/frame_builder.hpp"

namespace velk::report {
namespace {

// A portal frame in m and kN: fixed and pinned column bases, a pinned beam
// end, a tension-only brace, a truss brace and a rigid stub; a line load on
// the beam, a sway force and a moment, and a combination of both cases.
test_support::FrameBuilder portal(std::string project_name = "Portal") {
  test_support::FrameBuilder b;
  b.model.settings.general_info.project_name = std::move(project_name);
  b.model.settings.unit_settings.force_unit = ForceUnit::KN;
  const auto beam = b.section(0.005, 2e-5, 4e-5, 2e-7);
  const auto brace = b.section(0.001, 1e-7, 1e-7, 1e-7);
  b.support(1, ConditionType::Fixed, "XYZ", ConditionType::Fixed, "XYZ");
  b.support(2, ConditionType::Fixed, "XYZ", ConditionType::Free, "XYZ");
  b.node(1, 0, 0, 0, 1);
  b.node(2, 0, 4, 0);
  b.node(3, 6, 4, 0);
  b.node(4, 6, 0, 0, 2);
  b.node(5, 6.5, 4, 0.5);
  b.member(1, 1, 2, beam);
  b.member(2, 2, 3, beam).end_hinge = 1;
  b.member(3, 4, 3, beam);
  b.member(4, 1, 3, brace, MemberType::Tension);
  b.member(5, 4, 2, brace, MemberType::Truss);
  b.member(6, 3, 5, 0, MemberType::Rigid);
  MemberHinge pin;
  pin.id = 1;
  pin.rotational_release_mz = 0.0;
  b.model.memberhinges = std::vector<MemberHinge>{pin};
  LoadCase& dead = b.load_case(1, "Dead");
  test_support::FrameBuilder::line_load(dead, 2, -10.0, -10.0, {0, 1, 0});
  LoadCase& wind = b.load_case(2, "Wind");
  test_support::FrameBuilder::force(wind, 2, 5.0, {1, 0, 0});
  test_support::FrameBuilder::moment(wind, 5, 2.0, {0, 0, 1});
  b.model.load_combinations.push_back(LoadCombination{1, "ULS", {{1, 1.35}, {2, 1.5}}, {}, "ULS", {}});
  return b;
}

// What the front end hands over: the analysed document with its results
// (diagrams are the subject of other tests).
InspectedModel inspected(const VELK& analysed) {
  InspectedModel im;
  im.model = analysed;
  im.factors = unit_factors(analysed.settings.unit_settings);
  im.length_unit = "m";
  im.force_unit = analysed.settings.unit_settings.force_unit == ForceUnit::KN ? "kN" : "N";
  if (!analysed.results) return im;
  for (const LoadCase& c : analysed.load_cases)
    im.loadcases.push_back({c.name, ResultType::load_case(c.id), analysed.results->loadcases.at(c.name), {}});
  for (const LoadCombination& c : analysed.load_combinations)
    im.loadcombinations.push_back(
        {c.name, ResultType::combination(c.id), analysed.results->loadcombinations.at(c.name), {}});
  return im;
}

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

std::vector<std::string> pictures(const std::string& page) {
  std::vector<std::string> out;
  for (std::size_t at = page.find("<svg"); at != std::string::npos; at = page.find("<svg", at + 1))
    out.push_back(page.substr(at, page.find("</svg>", at) - at));
  return out;
}

TEST(Report, SelfContainedPageWithEveryMemberInEveryPicture) {
  const VELK analysed = portal().analyse();
  const std::string page = report_html(inspected(analysed));
  EXPECT_TRUE(page.starts_with("<!DOCTYPE html>"));
  EXPECT_NE(page.find("Content-Security-Policy\" content=\"default-src 'none'"), std::string::npos);
  // Nothing to fetch and nothing to run.
  for (const char* forbidden : {"<script", "src=", "href=", "url(", "@import", "https:"})
    EXPECT_EQ(page.find(forbidden), std::string::npos) << forbidden;
  EXPECT_EQ(count(page, "http://"), count(page, "http://www.w3.org/2000/svg"));

  const auto svgs = pictures(page);
  // Four views of the structure; per case five pictures and its first buckling
  // mode; three of the envelope of the one combination (which names no limit state).
  ASSERT_EQ(svgs.size(), 4u + 6u * 3u + 3u);
  for (const std::string& svg : svgs) {
    EXPECT_NE(svg.find("data-members=\"6\""), std::string::npos);
    EXPECT_EQ(count(svg, "<path class=\"member "), 6u) << svg.substr(0, 120);
    for (int id = 1; id <= 6; ++id)
      EXPECT_GE(count(svg, "data-member=\"" + std::to_string(id) + "\""), 1u) << "member " << id;
  }
  EXPECT_EQ(count(page, "<section class=\"case\""), 3u);
  EXPECT_EQ(count(page, "class=\"deformed "), 3u * 6u);
  // Members by type, supports by kind, the released beam end.
  EXPECT_EQ(count(svgs[0], "t-tension"), 1u);
  EXPECT_EQ(count(svgs[0], "t-truss"), 1u);
  EXPECT_EQ(count(svgs[0], "t-rigid"), 1u);
  EXPECT_EQ(count(svgs[0], "class=\"sup fixed\""), 1u);
  EXPECT_EQ(count(svgs[0], "class=\"sup pinned\""), 1u);
  EXPECT_EQ(count(svgs[0], "class=\"release\""), 1u);
  // The combination's title spells out its factors.
  EXPECT_NE(page.find("Combination \u201cULS\u201d = 1.35 \u00d7 Dead + 1.5 \u00d7 Wind"), std::string::npos);
  EXPECT_NE(page.find("Members</th><td>6 (3 normal, 1 truss, 1 tension, 1 rigid)"), std::string::npos);
  EXPECT_NE(page.find("Supports</th><td>2 supported nodes (1 fixed, 1 pinned)"), std::string::npos);
}

TEST(Report, EveryAnalysedCaseBalancesInTheReportsOwnSums) {
  const VELK analysed = portal().analyse();
  const InspectedModel im = inspected(analysed);
  for (const auto* group : {&im.loadcases, &im.loadcombinations}) {
    for (const CaseInspection& c : *group) {
      const EquilibriumBalance balance =
          equilibrium_balance(im.model, c.identity, c.results, im.factors, BalanceUnits::Document);
      EXPECT_GT(balance.loads.norm(), 1.0) << c.name;
      EXPECT_LT(balance.residual.norm(), 1e-8 * balance.loads.norm())
          << c.name << ": " << balance.residual.transpose();
    }
  }
  // And the residual row is on the page, in the case's units.
  const std::string page = report_html(im);
  EXPECT_EQ(count(page, "<tr class=\"sum\"><td class=\"l\">Residual</td>"), 3u);
  EXPECT_NE(page.find("<th>Fx kN</th>"), std::string::npos);
  EXPECT_NE(page.find("<th>Mz kNm</th>"), std::string::npos);
}

TEST(Report, TextOfTheDocumentIsEscaped) {
  test_support::FrameBuilder b = portal("Hall <A&B> \"north\"");
  b.model.load_cases[0].name = "Dead <script>";
  const std::string page = report_html(inspected(b.analyse()));
  EXPECT_NE(page.find("<title>Hall &lt;A&amp;B&gt; &quot;north&quot;</title>"), std::string::npos);
  EXPECT_NE(page.find("data-case=\"Dead &lt;script&gt;\""), std::string::npos);
  EXPECT_EQ(page.find("<A&B>"), std::string::npos);
  EXPECT_EQ(page.find("<script"), std::string::npos);
}

TEST(Report, ModelThatCannotBeAnalysedShowsTheModelAndTheMessage) {
  InspectedModel im = inspected(portal().model);
  im.analysis_error = "Support 1 displacement X is Spring but stiffness is missing.";
  im.findings = {{"error", "springs need a positive stiffness", "support 1"},
                 {"warning", "a <strange> load", "load case 2 \"Wind\""}};
  const std::string page = report_html(im);
  const std::size_t findings = page.find("class=\"findings\"");
  const std::size_t error = page.find("The model could not be analysed: " + *im.analysis_error);
  const std::size_t model = page.find("<h2>Model</h2>");
  ASSERT_NE(findings, std::string::npos);
  ASSERT_NE(error, std::string::npos);
  ASSERT_NE(model, std::string::npos);
  EXPECT_LT(findings, model);  // the findings come first
  EXPECT_LT(error, model);
  EXPECT_NE(
      page.find("<li class=\"warning\">warning: a &lt;strange&gt; load (load case 2 &quot;Wind&quot;)</li>"),
      std::string::npos);
  EXPECT_EQ(pictures(page).size(), 4u);  // the structure, no cases
  EXPECT_EQ(count(page, "<section class=\"case\""), 0u);
  EXPECT_NE(page.find("data-cases=\"0\""), std::string::npos);
}

TEST(Report, EmptyModelStillGivesAPage) {
  InspectedModel im;
  im.length_unit = "m";
  im.force_unit = "N";
  const std::string page = report_html(im);
  EXPECT_NE(page.find("<h1>Structural analysis report</h1>"), std::string::npos);
  EXPECT_NE(page.find("data-members=\"0\""), std::string::npos);
}

TEST(Report, OneEnvelopePerLimitStateAfterTheCases) {
  test_support::FrameBuilder b = portal();
  b.model.load_combinations.front().limit_state = LimitState::ULS;
  b.model.load_combinations.push_back(
      LoadCombination{2, "ULS wind", {{1, 1.0}, {2, 1.5}}, {}, "ULS", LimitState::ULS});
  b.model.load_combinations.push_back(
      LoadCombination{3, "SLS", {{1, 1.0}, {2, 1.0}}, {}, "SLS", LimitState::SLS});
  b.model.load_combinations.push_back(LoadCombination{4, "unclassed", {{2, 9.0}}, {}, "-", {}});
  const auto page = report_html_from_json(b.text());
  ASSERT_TRUE(page.has_value()) << page.error();
  EXPECT_EQ(count(*page, "<section class=\"envelope\""), 2u);
  const std::size_t uls = page->find("<section class=\"envelope\" data-limit-state=\"ULS\">");
  const std::size_t sls = page->find("<section class=\"envelope\" data-limit-state=\"SLS\">");
  ASSERT_NE(uls, std::string::npos);
  ASSERT_NE(sls, std::string::npos);
  EXPECT_LT(page->rfind("<section class=\"case\""), uls);
  EXPECT_LT(uls, sls);
  const std::string uls_section = page->substr(uls, sls - uls);
  EXPECT_NE(uls_section.find("over [1] \u201cULS\u201d, [2] \u201cULS wind\u201d, each as solved"),
            std::string::npos);
  EXPECT_EQ(uls_section.find("unclassed"), std::string::npos);
  for (const char* view : {"view envelope-mz", "view envelope-my", "view envelope-n"})
    EXPECT_EQ(count(uls_section, view), 1u) << view;
  // Both curves on every member with a diagram (not the rigid stub).
  EXPECT_EQ(count(uls_section, "class=\"envelope max\""), 3u * 5u);
  EXPECT_EQ(count(uls_section, "class=\"envelope min\""), 3u * 5u);
  // One row per such member and per support, under the header.
  const std::size_t members_table = uls_section.find("<table class=\"envelope-extremes\">");
  const std::size_t reactions_table = uls_section.find("<table class=\"envelope-reactions\">");
  ASSERT_NE(members_table, std::string::npos);
  ASSERT_NE(reactions_table, std::string::npos);
  EXPECT_EQ(count(uls_section.substr(members_table, reactions_table - members_table), "<tr>"), 1u + 5u);
  EXPECT_EQ(count(uls_section.substr(reactions_table), "<tr>"), 1u + 2u);
  // The cells name the combination that governs each value.
  EXPECT_NE(uls_section.find(" [2]\nmin "), std::string::npos);
  EXPECT_NE(uls_section.find(" [1]</td>"), std::string::npos);
}

}  // namespace
}  // namespace velk::report
