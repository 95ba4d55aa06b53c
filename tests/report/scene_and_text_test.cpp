// The report's scene (nodes, supports, released ends) and text (values as printed, SVG text and paths).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "report/scene.hpp"
#include "report/svg_canvas.hpp"
#include "support/frame_builder.hpp"

namespace velk::report {
namespace {

struct SupportCase {
  const char* name;
  // (axis key, condition) of displacement_conditions and rotation_conditions.
  std::vector<std::pair<std::string, ConditionType>> displacement;
  std::vector<std::pair<std::string, ConditionType>> rotation;
  SupportKind kind;
};

class SupportKindTest : public ::testing::TestWithParam<SupportCase> {};

TEST_P(SupportKindTest, DrawnByWhatItHolds) {
  const SupportCase& c = GetParam();
  NodalSupport support;
  support.id = 1;
  for (const auto& [axis, type] : c.displacement)
    support.displacement_conditions[axis] = {
        type, type == ConditionType::Spring ? std::optional(1e6) : std::nullopt};
  for (const auto& [axis, type] : c.rotation) support.rotation_conditions[axis] = {type, {}};
  EXPECT_EQ(support_kind(support), c.kind) << c.name;
}

using CT = ConditionType;
INSTANTIATE_TEST_SUITE_P(
    Conditions, SupportKindTest,
    ::testing::Values(
        // Axes a support does not mention are held.
        SupportCase{"nothing mentioned", {}, {}, SupportKind::Fixed},
        SupportCase{"all fixed",
                    {{"X", CT::Fixed}, {"Y", CT::Fixed}, {"Z", CT::Fixed}},
                    {{"X", CT::Fixed}, {"Y", CT::Fixed}, {"Z", CT::Fixed}},
                    SupportKind::Fixed},
        SupportCase{"rotations free",
                    {{"X", CT::Fixed}},
                    {{"X", CT::Free}, {"Y", CT::Free}, {"Z", CT::Free}},
                    SupportKind::Pinned},
        SupportCase{"one rotation free", {}, {{"Z", CT::Free}}, SupportKind::Pinned},
        SupportCase{"sliding in X", {{"X", CT::Free}}, {{"Z", CT::Free}}, SupportKind::Roller},
        SupportCase{"small key", {{"x", CT::Free}}, {}, SupportKind::Roller},
        SupportCase{"spring", {{"Y", CT::Spring}}, {{"Z", CT::Free}}, SupportKind::Spring},
        SupportCase{"one-sided", {{"Y", CT::PositiveOnly}}, {}, SupportKind::OneSided},
        SupportCase{"one-sided before spring",
                    {{"X", CT::Spring}, {"Y", CT::NegativeOnly}},
                    {},
                    SupportKind::OneSided}));

TEST(Scene, NodesOnceInDocumentUnitsWithSupportsAndReleasedEnds) {
  test_support::FrameBuilder b;
  const auto s = b.section(0.01, 1e-5, 1e-5, 1e-5);
  b.support(1, ConditionType::Fixed, "XYZ", ConditionType::Fixed, "XYZ");
  b.node(1, 0, 0, 0, 1);
  b.node(2, 0, 3, 0);
  b.node(3, 4, 3, 0);
  b.member(1, 1, 2, s).end_hinge = 7;
  b.member(2, 2, 3, s).start_hinge = 8;  // a hinge that does not exist: a rigid end
  MemberHinge pin;
  pin.id = 7;
  pin.rotational_release_mz = 0.0;
  b.model.memberhinges = std::vector<MemberHinge>{pin};
  const Scene scene = build_scene(b.model, 0.001);  // the document in mm
  ASSERT_EQ(scene.nodes.size(), 3u);
  EXPECT_TRUE(scene.nodes.at(3).position.isApprox(Vector3(4000, 3000, 0)));
  EXPECT_EQ(scene.nodes.at(1).support, SupportKind::Fixed);
  EXPECT_FALSE(scene.nodes.at(2).support.has_value());
  EXPECT_DOUBLE_EQ(scene.extent, 4000.0);
  ASSERT_EQ(scene.members.size(), 2u);
  EXPECT_FALSE(scene.members[0].start_released);
  EXPECT_TRUE(scene.members[0].end_released);
  EXPECT_FALSE(scene.members[1].start_released);
  EXPECT_DOUBLE_EQ(scene.members[1].length, 4000.0);
  EXPECT_EQ(scene.member(2), &scene.members[1]);
  EXPECT_EQ(scene.member(9), nullptr);
}

TEST(Scene, MemberWithoutDirectionIsKeptAndDrawnWithoutAxes) {
  test_support::FrameBuilder b;
  b.node(1, 1, 1, 1);
  b.node(2, 1, 1, 1);
  b.member(1, 1, 2, b.section(1, 1, 1, 1));
  const Scene scene = build_scene(b.model, 1.0);
  ASSERT_EQ(scene.members.size(), 1u);
  EXPECT_FALSE(scene.members[0].has_direction);
}

TEST(Text, ValuesAsTheReportPrintsThem) {
  const std::pair<double, const char*> cases[] = {{0.0, "0"},
                                                  {-0.0, "0"},
                                                  {12.5, "12.5"},
                                                  {1234.5678, "1235"},
                                                  {0.0123456, "0.01235"},
                                                  {-0.5, "-0.5"},
                                                  {100.0, "100"},
                                                  {999999.0, "999999"},
                                                  {1e-5, "1e-05"},
                                                  {-2.5e-7, "-2.5e-07"},
                                                  {2.5e7, "2.5e+07"},
                                                  {0.001, "0.001"},
                                                  {std::numeric_limits<double>::quiet_NaN(), "-"},
                                                  {std::numeric_limits<double>::infinity(), "-"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(format_value(value), text) << value;

  const std::pair<double, const char*> coordinates[] = {
      {12.34, "12.3"}, {5.0, "5"}, {-0.04, "0"}, {-3.26, "-3.3"}, {0.05, "0.1"}, {1e300, "1000000000"}};
  for (const auto& [value, text] : coordinates) {
    std::string out;
    append_coordinate(out, value);
    EXPECT_EQ(out, text) << value;
  }
  EXPECT_EQ(escaped("<a href='x'>&\"</a>"), "&lt;a href=&#39;x&#39;&gt;&amp;&quot;&lt;/a&gt;");
}

TEST(Text, CanvasWritesEscapedTextAndCompactPaths) {
  SvgCanvas canvas(100, 50.5, "view", " data-x=\"1\"");
  PathData d;
  d.move_to(1, 2.25);
  d.line_to(-3, 4);
  d.close();
  canvas.path(d, "member", " data-member=\"3\"");
  canvas.text(5, 6, "M < 3 & \"x\"", "value", "middle");
  EXPECT_EQ(canvas.finish(),
            "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"view\" viewBox=\"0 0 100 50.5\" data-x=\"1\">"
            "<path class=\"member\" d=\"M1 2.3L-3 4Z\" data-member=\"3\"/>"
            "<text class=\"value\" x=\"5\" y=\"6\" text-anchor=\"middle\">M &lt; 3 &amp; "
            "&quot;x&quot;</text></svg>");
}

}  // namespace
}  // namespace velk::report
