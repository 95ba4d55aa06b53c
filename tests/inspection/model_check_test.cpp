// The model check: each broken model of the table gives exactly its finding.

#include <gtest/gtest.h>

#include <functional>

#include "inspection/inspection.hpp"
#include "support/frame_builder.hpp"

namespace velk {
namespace {

using test_support::FrameBuilder;

// Two beams 1 -> 2 -> 3 along X on pinned supports, one load case with a
// nodal and a distributed load, one combination.
FrameBuilder sound_model() {
  FrameBuilder b;
  const auto s = b.section(0.01, 5e-5, 8e-5, 2e-5);
  b.support(1, ConditionType::Fixed, "XYZ", ConditionType::Fixed, "X");
  b.support(2, ConditionType::Fixed, "YZ", ConditionType::Free, "XYZ");
  b.node(1, 0, 0, 0, 1);
  b.node(2, 3, 0, 0);
  b.node(3, 6, 0, 0, 2);
  b.member(1, 1, 2, s);
  b.member(2, 2, 3, s);
  LoadCase& c = b.load_case(1, "Dead");
  FrameBuilder::force(c, 2, 1e3, {0, -1, 0});
  FrameBuilder::line_load(c, 1, 2e3, 2e3, {0, -1, 0});
  b.model.load_combinations.push_back(LoadCombination{1, "ULS", {{1, 1.35}}, {}, "ULS", {}});
  return b;
}

struct BrokenModel {
  const char* name;
  std::function<void(FrameBuilder&)> damage;
  const char* message;
  const char* where;
};

void PrintTo(const BrokenModel& c, std::ostream* os) { *os << c.name; }

class ModelCheck : public ::testing::TestWithParam<BrokenModel> {};

TEST_P(ModelCheck, FindsExactlyTheProblem) {
  FrameBuilder b = sound_model();
  GetParam().damage(b);
  const std::vector<Finding> findings = check_model(b.text());
  ASSERT_EQ(findings.size(), 1u) << (findings.empty() ? "" : findings[0].message);
  EXPECT_EQ(findings[0].severity, "error");
  EXPECT_EQ(findings[0].message, GetParam().message);
  EXPECT_EQ(findings[0].where, GetParam().where);
}

Member& member(FrameBuilder& b, int i) { return b.model.member_sets[0].members[static_cast<std::size_t>(i)]; }

INSTANTIATE_TEST_SUITE_P(
    Table, ModelCheck,
    ::testing::Values(
        BrokenModel{"node_id_gap", [](FrameBuilder& b) { member(b, 1).end_node.id = 7; },
                    "Node id 7 is outside 1..3: the 3 nodes must be numbered from 1 without gaps",
                    "node 7 (member 2)"},
        BrokenModel{"missing_section", [](FrameBuilder& b) { member(b, 0).section = 9; },
                    "Member 1 names section 9, which the model does not have", "member 1"},
        BrokenModel{"missing_material",
                    [](FrameBuilder& b) {
                      b.model.sections.push_back(b.model.sections[0]);
                      b.model.sections[1].id = 2;
                      b.model.sections[1].material = 4;
                      member(b, 0).section = 2;
                    },
                    "Member 1 uses section 2, whose material 4 the model does not have", "member 1"},
        BrokenModel{"missing_hinge", [](FrameBuilder& b) { member(b, 1).end_hinge = 3; },
                    "Member 2 names end hinge 3, which the model does not have", "member 2"},
        BrokenModel{"missing_support", [](FrameBuilder& b) { member(b, 1).end_node.nodal_support = 5; },
                    "Node 3 of member 2 names support 5, which the model does not have", "member 2"},
        BrokenModel{"coinciding_ends",
                    [](FrameBuilder& b) {
                      member(b, 1).end_node.x = 3;
                      member(b, 1).end_node.id = 2;
                      b.model.load_cases[0].nodal_loads.clear();
                    },
                    "Member 2 starts and ends at the same point: node 2 at (3, 0, 0) and node 2 at (3, 0, 0)",
                    "member 2"},
        BrokenModel{"node_moved", [](FrameBuilder& b) { member(b, 1).start_node.y = 0.5; },
                    "Node 2 has the coordinates (3, 0, 0) in member 1 and (3, 0.5, 0) in member 2", "node 2"},
        BrokenModel{"spring_without_stiffness",
                    [](FrameBuilder& b) {
                      b.model.nodal_supports[1].displacement_conditions["Y"] = {ConditionType::Spring, 0.0};
                    },
                    "Support 2 has a spring on displacement Y without a positive stiffness", "support 2"},
        BrokenModel{"load_on_missing_node",
                    [](FrameBuilder& b) { b.model.load_cases[0].nodal_loads[0].node = 12; },
                    "Nodal load 1 of load case 1 acts on node 12, which no member uses",
                    "load case 1 \"Dead\", nodal load 1"},
        BrokenModel{"load_on_missing_member",
                    [](FrameBuilder& b) { b.model.load_cases[0].distributed_loads[0].member = 8; },
                    "Distributed load 1 of load case 1 acts on member 8, which the model does not have",
                    "load case 1 \"Dead\", distributed load 1"},
        BrokenModel{
            "load_stretch_backwards",
            [](FrameBuilder& b) {
              b.model.load_cases[0].distributed_loads[0].start_frac = 0.8;
              b.model.load_cases[0].distributed_loads[0].end_frac = 0.2;
            },
            "Distributed load 1 of load case 1 runs from fraction 0.8 to 0.2 of member 1: fractions must "
            "rise within 0..1",
            "load case 1 \"Dead\", distributed load 1"},
        BrokenModel{
            "load_beyond_member_end",
            [](FrameBuilder& b) { b.model.load_cases[0].distributed_loads[0].end_frac = 1.5; },
            "Distributed load 1 of load case 1 runs from fraction 0 to 1.5 of member 1: fractions must "
            "rise within 0..1",
            "load case 1 \"Dead\", distributed load 1"},
        BrokenModel{"combination_of_missing_case",
                    [](FrameBuilder& b) { b.model.load_combinations[0].load_cases_factors[4] = 1.5; },
                    "Load combination 1 names load case 4, which the model does not have",
                    "load combination 1 \"ULS\""},
        BrokenModel{"duplicate_case_name", [](FrameBuilder& b) { b.load_case(2, "Dead"); },
                    "Load case name \"Dead\" is used by load case 1 and load case 2", "load case 2 \"Dead\""},
        BrokenModel{"too_many_members",
                    [](FrameBuilder& b) {
                      const std::uint32_t s = *member(b, 0).section;
                      for (std::uint32_t i = 3; i <= 101; ++i) b.member(i, 1, 2, s);
                    },
                    "Number of members (101) exceeds allowed maximum of 100", "model"}),
    [](const ::testing::TestParamInfo<BrokenModel>& info) { return std::string(info.param.name); });

TEST(ModelCheck, SoundModelHasNoFindings) { EXPECT_TRUE(check_model(sound_model().text()).empty()); }

TEST(ModelCheck, ReaderErrorsCarryLineAndColumn) {
  const std::vector<Finding> findings = check_model("{\n  \"member_sets\": [,]\n}");
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].where.substr(0, 5), "line ");
  EXPECT_NE(findings[0].where.find(", column "), std::string::npos);
  EXPECT_EQ(findings[0].message.find(" at line "), std::string::npos);
}

TEST(ModelCheck, FindingsAsJson) {
  const std::vector<Finding> findings{{"error", "Node \"7\"\n", "node 7"}, {"warning", "w", ""}};
  EXPECT_EQ(findings_to_json(findings),
            "[{\"severity\":\"error\",\"message\":\"Node \\\"7\\\"\\n\",\"where\":\"node 7\"},"
            "{\"severity\":\"warning\",\"message\":\"w\",\"where\":\"\"}]");
  EXPECT_EQ(findings_to_json({}), "[]");
}

}  // namespace
}  // namespace velk
