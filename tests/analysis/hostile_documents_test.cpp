// Documents built to break the engine: each is answered by a message or a
// result that reads back, never by a crash, a fault or non-finite output.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <variant>

#include "base/fault.hpp"
#include "support/frame_builder.hpp"

namespace velk {
namespace {

using test_support::FrameBuilder;

constexpr ConditionType Fixed = ConditionType::Fixed;

// A portal frame 4 m wide and 3 m high, fixed at both feet, with a sway load,
// a line load on the beam and a combination of the two cases.
FrameBuilder portal() {
  FrameBuilder b;
  const auto s = b.section(0.01, 2e-5, 3e-5, 1e-5);
  b.support(1, Fixed, "XYZ", Fixed, "XYZ");
  b.node(1, 0, 0, 0, 1);
  b.node(2, 0, 0, 3);
  b.node(3, 4, 0, 3);
  b.node(4, 4, 0, 0, 1);
  b.member(1, 1, 2, s);
  b.member(2, 2, 3, s);
  b.member(3, 3, 4, s);
  FrameBuilder::force(b.load_case(1, "Sway"), 2, 1e3, {1, 0, 0});
  FrameBuilder::line_load(b.load_case(2, "Beam"), 2, -2e3, -2e3, {0, 0, 1});
  b.model.load_combinations.push_back(LoadCombination{1, "ULS", {{1, 1.5}, {2, 1.35}}, {}, "ULS", {}});
  return b;
}

// What the analysis of a text gave: the written result, the message, or the
// fault's text.
struct Outcome {
  enum class Kind { Result, Message, Fault } kind;
  std::string text;
};

Outcome analyse(std::string_view document) {
  try {
    auto result = calculate_from_json(document);
    if (result) return {Outcome::Kind::Result, std::move(*result)};
    return {Outcome::Kind::Message, std::move(result.error())};
  } catch (const Fault& fault) {
    return {Outcome::Kind::Fault, fault.what()};
  }
}

// The message a hostile document must be answered with.
std::string message_of(std::string_view document) {
  const Outcome outcome = analyse(document);
  EXPECT_EQ(outcome.kind, Outcome::Kind::Message) << outcome.text.substr(0, 400);
  return outcome.kind == Outcome::Kind::Message ? outcome.text : std::string();
}

// A result that reads back: a number that is not finite would be written as
// null and not read again.
VELK result_of(std::string_view document) {
  const Outcome outcome = analyse(document);
  EXPECT_EQ(outcome.kind, Outcome::Kind::Result) << outcome.text.substr(0, 400);
  if (outcome.kind != Outcome::Kind::Result) return {};
  auto reread = read_velk(outcome.text);
  EXPECT_TRUE(reread.has_value()) << reread.error();
  return reread ? std::move(*reread) : VELK{};
}

std::string replaced_all(std::string text, std::string_view what, std::string_view with) {
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size())) {
    text.replace(at, what.size(), with);
  }
  return text;
}

std::string replaced_once(std::string text, std::string_view what, std::string_view with) {
  const auto at = text.find(what);
  EXPECT_NE(at, std::string::npos) << what;
  if (at != std::string::npos) text.replace(at, what.size(), with);
  return text;
}

bool starts_with(const std::string& text, std::string_view prefix) { return text.starts_with(prefix); }

TEST(HostileDocuments, EveryTruncationOfAModelIsABadJsonMessage) {
  const std::string text = portal().text();
  ASSERT_EQ(analyse(text).kind, Outcome::Kind::Result);
  for (std::size_t length = 0; length < text.size(); ++length) {
    const std::string message = message_of(std::string_view(text).substr(0, length));
    ASSERT_TRUE(starts_with(message, "Bad JSON input: ")) << length << ": " << message;
    ASSERT_NE(message.find(" at line 1 column "), std::string::npos) << message;
  }
}

TEST(HostileDocuments, DeepNestingEndsTheReadWithoutRecursing) {
  constexpr std::size_t depth = 1'000'000;
  const std::string open(depth, '['), close(depth, ']');
  // As the whole document, the first misfit is the type of the innermost
  // value the root's array form reaches.
  EXPECT_EQ(message_of(open + close),
            "Bad JSON input: invalid type: sequence, expected u32 at line 1 column 4");
  EXPECT_EQ(message_of(open), "Bad JSON input: invalid type: sequence, expected u32 at line 1 column 4");

  // As the value of a key the reader would skip, and as free check details.
  const std::string text = portal().text();
  const std::string skipped =
      message_of(replaced_once(text, "\"weight\":", "\"comment\":" + open + close + ","));
  EXPECT_TRUE(starts_with(skipped, "Bad JSON input: recursion limit exceeded at line 1 column ")) << skipped;
  const std::string details = message_of(replaced_once(
      text, "\"results\":null",
      "\"results\":{\"loadcases\":{},\"loadcombinations\":{},\"unity_checks_overview\":{\"c\":{"
      "\"check_id\":\"c\",\"aggregated_ok\":true,\"children\":[{\"check_id\":\"c\",\"ok\":true,\"details\":" +
          open + close + "}]}}}"));
  EXPECT_TRUE(starts_with(details, "Bad JSON input: recursion limit exceeded at line 1 column ")) << details;
}

TEST(HostileDocuments, FiftyMegabyteStrings) {
  const std::string big(50u << 20, 'x');
  const std::string text = portal().text();

  // Carried text survives the analysis whole.
  const VELK carried =
      result_of(replaced_once(text, "\"project_name\":\"test\"", "\"project_name\":\"" + big + "\""));
  EXPECT_EQ(carried.settings.general_info.project_name.size(), big.size());

  // Where a number belongs, and without its closing quote.
  const std::string as_number = message_of(replaced_once(text, "\"X\":0.0", "\"X\":\"" + big + "\""));
  EXPECT_TRUE(starts_with(as_number, "Bad JSON input: invalid type: string ")) << as_number.substr(0, 200);
  const std::string unterminated =
      message_of(replaced_once(text, "\"project_name\":\"test\"", "\"project_name\":\"" + big));
  EXPECT_TRUE(starts_with(unterminated, "Bad JSON input: ")) << unterminated.substr(0, 200);
}

TEST(HostileDocuments, NumbersAtTheEdgesOfDoubles) {
  const std::string text = portal().text();

  // Beyond the range of a double: a reading message.
  for (const std::string_view huge : {"1e400", "-1e400", "1e999999999999"}) {
    const std::string message =
        message_of(replaced_once(text, "\"magnitude\":1000.0", "\"magnitude\":" + std::string(huge)));
    EXPECT_TRUE(starts_with(message, "Bad JSON input: ")) << huge << ": " << message;
  }
  // Underflow to zero and negative zero are plain numbers.
  const VELK tiny = result_of(replaced_once(text, "\"magnitude\":1000.0", "\"magnitude\":1e-400"));
  ASSERT_TRUE(tiny.results.has_value());
  EXPECT_EQ(tiny.results->loadcases.at("Sway").displacement_nodes.at(2).dx, 0.0);
  const VELK negative_zero = result_of(replaced_once(text, "\"magnitude\":1000.0", "\"magnitude\":-0"));
  ASSERT_TRUE(negative_zero.results.has_value());
  EXPECT_EQ(negative_zero.results->loadcases.at("Sway").displacement_nodes.at(2).dx, 0.0);

  // Coordinates near the largest double: the member length overflows, its
  // axis is no direction and no local z axis can be found, an engine fault.
  for (const std::string_view far : {"1e200", "1e308", "1.7976931348623157e308", "-1.7976931348623157e308"}) {
    const Outcome outcome =
        analyse(replaced_all(text, "\"id\":3,\"X\":4.0", "\"id\":3,\"X\":" + std::string(far)));
    EXPECT_EQ(outcome.kind, Outcome::Kind::Fault) << far;
    EXPECT_EQ(outcome.text, "Cannot define a valid local_z axis.") << far;
  }
  // Lengths that still have a square: the stiffness underflows, and the
  // analysis either says so or writes finite numbers.
  for (const std::string_view far : {"1e100", "1e150", "-1e154"}) {
    const Outcome outcome =
        analyse(replaced_all(text, "\"id\":3,\"X\":4.0", "\"id\":3,\"X\":" + std::string(far)));
    ASSERT_NE(outcome.kind, Outcome::Kind::Fault) << far << ": " << outcome.text;
    if (outcome.kind == Outcome::Kind::Result) {
      const auto reread = read_velk(outcome.text);
      EXPECT_TRUE(reread.has_value()) << far << ": " << reread.error();
    }
  }
}

TEST(HostileDocuments, NodeIdsAtTheEndsOfTheirRange) {
  // Node 0 owns no degrees of freedom: its place in the stiffness matrix is
  // outside it, an engine fault, and so is a load on a node no member uses.
  FrameBuilder zero = portal();
  for (Member& m : zero.model.member_sets[0].members) {
    if (m.start_node.id == 4) m.start_node.id = 0;
    if (m.end_node.id == 4) m.end_node.id = 0;
  }
  const Outcome with_zero = analyse(zero.text());
  EXPECT_EQ(with_zero.kind, Outcome::Kind::Fault);
  EXPECT_EQ(with_zero.text, "Matrix index out of bounds.");
  FrameBuilder stray_load = portal();
  FrameBuilder::force(stray_load.model.load_cases[0], 99, 1e3, {1, 0, 0});
  const Outcome stray = analyse(stray_load.text());
  EXPECT_EQ(stray.kind, Outcome::Kind::Fault);
  EXPECT_EQ(stray.text, "Matrix index out of bounds.");

  // One past the largest u32 is not an id at all.
  const std::string beyond = message_of(replaced_once(portal().text(), "\"id\":4,", "\"id\":4294967296,"));
  EXPECT_TRUE(starts_with(beyond, "Bad JSON input: invalid value: integer `4294967296`")) << beyond;
}

TEST(HostileDocuments, LargestNodeIdLeavesEveryIdBelowItMissing) {
  FrameBuilder largest = portal();
  for (Member& m : largest.model.member_sets[0].members) {
    if (m.start_node.id == 4) m.start_node.id = 4294967295u;
    if (m.end_node.id == 4) m.end_node.id = 4294967295u;
  }
  EXPECT_EQ(message_of(largest.text()),
            "LC 1 linear error: Node ID 4 is missing. Node IDs must be consecutive starting from 1.");
}

TEST(HostileDocuments, DuplicatedIdsEverywhere) {
  FrameBuilder b = portal();
  VELK& m = b.model;
  // A second material, section, support and hinge under the ids in use: the
  // later one replaces the earlier in every lookup.
  m.materials.push_back(Material{1, "soft", 1e9, 1e9, 1.0, 1.0});
  m.sections.push_back(Section{1, "again", 1, {}, {}, 1e-6, 1e-6, 1e-6, 1e-4, {}});
  m.nodal_supports.push_back(m.nodal_supports[0]);
  m.memberhinges =
      std::vector<MemberHinge>{MemberHinge{1, "pin", {}, {}, {}, {}, 0.0, {}, {}, {}, {}, {}, {}, {}},
                               MemberHinge{1, "pin", {}, {}, {}, {}, {}, 0.0, {}, {}, {}, {}, {}, {}}};
  m.member_sets[0].members[1].end_hinge = 1;
  // Members and member sets under one id, a node repeated with other
  // coordinates, and loads under one id.
  m.member_sets.push_back(MemberSet{1, {}, {}, {}, {m.member_sets[0].members[1]}});
  m.member_sets[1].members[0].end_node.y = 1.0;
  m.load_cases[0].nodal_loads.push_back(m.load_cases[0].nodal_loads[0]);
  const VELK analysed = result_of(b.text());
  ASSERT_TRUE(analysed.results.has_value());
  EXPECT_EQ(analysed.results->loadcases.size(), 2u);
  EXPECT_EQ(analysed.results->loadcombinations.size(), 1u);

  // Load cases and combinations are found by id, first match, and stored by
  // name: a second one under the same id is solved as the first and clashes
  // with it, and so does a second one under the same name.
  FrameBuilder case_ids = portal();
  case_ids.model.load_cases[1].id = 1;
  EXPECT_EQ(message_of(case_ids.text()), "LC 1 linear error: Duplicate load case name `Sway`");
  FrameBuilder case_names = portal();
  case_names.model.load_cases[1].name = "Sway";
  EXPECT_EQ(message_of(case_names.text()), "LC 2 linear error: Duplicate load case name `Sway`");
  FrameBuilder combination_ids = portal();
  combination_ids.model.load_combinations.push_back(combination_ids.model.load_combinations[0]);
  combination_ids.model.load_combinations[1].name = "SLS";
  EXPECT_EQ(message_of(combination_ids.text()),
            "Combo 1 linear error: Duplicate load combination name `ULS`");
  FrameBuilder combination_names = portal();
  combination_names.model.load_combinations.push_back(combination_names.model.load_combinations[0]);
  combination_names.model.load_combinations[1].id = 2;
  EXPECT_EQ(message_of(combination_names.text()),
            "Combo 2 linear error: Duplicate load combination name `ULS`");

  // A key twice in one record.
  const std::string twice = message_of(replaced_once(portal().text(), "\"X\":0.0", "\"X\":0.0,\"X\":0.0"));
  EXPECT_TRUE(starts_with(twice, "Bad JSON input: duplicate field `X` at line 1 column ")) << twice;
}

TEST(HostileDocuments, MissingReferences) {
  // A beam whose section, or whose section's material, is not in the model.
  FrameBuilder no_section = portal();
  no_section.model.member_sets[0].members[1].section = 9;
  EXPECT_EQ(message_of(no_section.text()), "LC 1 linear error: Member 2 failed to build local stiffness.");
  FrameBuilder no_material = portal();
  no_material.model.sections[0].material = 9;
  EXPECT_EQ(message_of(no_material.text()), "LC 1 linear error: Member 1 failed to build local stiffness.");
  FrameBuilder no_section_id = portal();
  no_section_id.model.member_sets[0].members[1].section.reset();
  EXPECT_EQ(message_of(no_section_id.text()),
            "LC 1 linear error: Member 2 (Normal) is missing a section id.");

  // A support that is not in the model holds nothing: the frame is a
  // mechanism.
  FrameBuilder no_support = portal();
  no_support.model.nodal_supports[0].id = 9;
  EXPECT_TRUE(starts_with(message_of(no_support.text()), "LC 1 linear error: ")) << "unknown support";

  // A hinge id that is not in the model counts as no hinge at all.
  FrameBuilder no_hinge = portal();
  no_hinge.model.member_sets[0].members[1].start_hinge = 9;
  no_hinge.model.member_sets[0].members[1].end_hinge = 4294967295u;
  const VELK with_unknown_hinges = result_of(no_hinge.text());
  const VELK plain = portal().analyse();
  ASSERT_TRUE(with_unknown_hinges.results.has_value());
  VELK unknown_results, plain_results;
  unknown_results.results = with_unknown_hinges.results;
  plain_results.results = plain.results;
  EXPECT_EQ(write_velk(unknown_results), write_velk(plain_results));

  // A line load on a member that does not exist adds nothing.
  FrameBuilder stray_line = portal();
  FrameBuilder::line_load(stray_line.model.load_cases[1], 99, -1e3, -1e3, {0, 0, 1});
  const VELK with_stray_line = result_of(stray_line.text());
  ASSERT_TRUE(with_stray_line.results.has_value());
  EXPECT_EQ(with_stray_line.results->loadcases.at("Beam").displacement_nodes.at(2).dz,
            plain.results->loadcases.at("Beam").displacement_nodes.at(2).dz);
}

}  // namespace
}  // namespace velk
