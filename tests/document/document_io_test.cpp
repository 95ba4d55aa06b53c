// The document reader and writer: byte-for-byte round trips, defaults, layouts, exact reader messages.
#include "document/document_io.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "document/json_reader.hpp"
#include "document/json_writer.hpp"
#include "support/document_text.hpp"

namespace velk {
namespace {

using test_support::full_document_written;
using test_support::minimal_document;
using test_support::minimal_document_written;

// Reads `text` as one value of type T; "ok" or the reader's message.
template <class T>
std::string read_message(std::string_view text, T* out = nullptr) {
  const json::TokenStream tokens = json::tokenize(text);
  json::Reader reader(text, tokens);
  T value{};
  if (json::read_value(reader, value) && reader.finish()) {
    if (out != nullptr) *out = std::move(value);
    return "ok";
  }
  return reader.error_message();
}

template <class T>
std::string written(const T& value) {
  std::string out;
  json::write_value(out, value);
  return out;
}

std::string replaced(std::string_view text, std::string_view from, std::string_view to) {
  std::string out(text);
  const std::size_t at = out.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  out.replace(at, from.size(), to);
  return out;
}

TEST(DocumentRoundTrip, FullModelWritesBackByteForByte) {
  const auto model = read_velk(full_document_written);
  ASSERT_TRUE(model.has_value()) << model.error();
  EXPECT_EQ(write_velk(*model), full_document_written);

  // Spot checks that values landed in the right fields.
  const Member& tie = model->member_sets[0].members[1];
  EXPECT_EQ(tie.member_type, MemberType::Tension);
  EXPECT_EQ(tie.end_node.y, -1e-7);
  EXPECT_EQ(tie.end_node.nodal_support, 2u);
  EXPECT_EQ(model->load_cases[0].name, "Dead \"G\"\n");
  EXPECT_EQ(model->load_cases[0].rotation_imperfections[0].memberset_ids[1],
            std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(model->load_combinations[0].load_cases_factors.at(2), 1.5);
  EXPECT_EQ(model->settings.analysis_options.order, AnalysisOrder::Nonlinear);
  EXPECT_EQ(model->settings.unit_settings.pressure_unit, PressureUnit::GPa);
  EXPECT_EQ(model->settings.general_info.project_name, "Hall \x01");
  const Results& dead = model->results->loadcases.at("Dead");
  EXPECT_EQ(dead.result_type.kind, ResultType::Kind::Loadcase);
  EXPECT_TRUE(std::signbit(dead.displacement_nodes.at(2).dy));
  EXPECT_EQ(dead.displacement_nodes.at(10).rz, 1.5e-7);
  EXPECT_EQ(model->nodal_supports[0].rotation_conditions.at("y").condition_type, ConditionType::NegativeOnly);
}

TEST(DocumentRoundTrip, MinimalModelComesBackWithDefaultsAndNulls) {
  const auto model = read_velk(minimal_document);
  ASSERT_TRUE(model.has_value()) << model.error();
  EXPECT_EQ(write_velk(*model), minimal_document_written);
  EXPECT_EQ(model->settings.analysis_options.iteration_limit(), 20u);
  EXPECT_FALSE(model->results.has_value());
  // The written text is itself a document that reads to the same text.
  const auto again = read_velk(write_velk(*model));
  ASSERT_TRUE(again.has_value()) << again.error();
  EXPECT_EQ(write_velk(*again), minimal_document_written);
}

TEST(DocumentRoundTrip, InputSpellingsAreNormalised) {
  // Unknown keys vanish, null and absent optionals agree, integers become
  // doubles, alternative spellings and the object form of an enumeration
  // come back canonical, maps come back sorted.
  std::string text = replaced(minimal_document, R"("member_sets":[])",
                              R"("member_sets":[{"id":1,"members":[{"id":7,"comment":[1,{"x":null}],)"
                              R"("start_node":[1,0,0,0,null],"end_node":{"id":2,"X":1,"Y":2,"Z":3},)"
                              R"("rotation_angle":0,"classification":"c","weight":1,)"
                              R"("member_type":{"Truss":null}}]}])");
  text = replaced(text, R"("order":"LINEAR")", R"("order":"Nonlinear")");
  text = replaced(text, R"("rigid_strategy":"LinearMpc")", R"("rigid_strategy":"rigid_member")");
  text =
      replaced(text, R"("unit_settings":{})", R"("unit_settings":{"forceUnit":"kn","pressureUnit":"mpa"})");
  text = replaced(text, R"("nodal_supports":[])",
                  R"("nodal_supports":[{"id":1,"displacement_conditions":{"z":{"condition_type":"Fixed"},)"
                  R"("x":{"condition_type":"Spring","stiffness":5}},"rotation_conditions":{}}])");
  const auto model = read_velk(text);
  ASSERT_TRUE(model.has_value()) << model.error();
  const std::string out = write_velk(*model);
  EXPECT_NE(
      out.find(R"("members":[{"id":7,"start_node":{"id":1,"X":0.0,"Y":0.0,"Z":0.0,"nodal_support":null},)"
               R"("end_node":{"id":2,"X":1.0,"Y":2.0,"Z":3.0,"nodal_support":null},"section":null,)"
               R"("rotation_angle":0.0,"start_hinge":null,"end_hinge":null,"classification":"c",)"
               R"("weight":1.0,"chi":null,"reference_member":null,"reference_node":null,)"
               R"("member_type":"Truss"}])"),
      std::string::npos)
      << out;
  EXPECT_NE(out.find(R"("order":"NONLINEAR","rigid_strategy":"RigidMember")"), std::string::npos);
  EXPECT_NE(out.find(R"("unit_settings":{"system":"metric","lengthUnit":"m","forceUnit":"kN",)"
                     R"("densityUnit":"kg/m3","pressureUnit":"MPa"})"),
            std::string::npos);
  EXPECT_NE(out.find(R"("displacement_conditions":{"x":{"condition_type":"Spring","stiffness":5.0},)"
                     R"("z":{"condition_type":"Fixed","stiffness":null}})"),
            std::string::npos);
  EXPECT_EQ(out.find("comment"), std::string::npos);
}

TEST(DocumentWriter, DoublesUseShortestRoundTripLayout) {
  const struct {
    double value;
    const char* text;
  } table[] = {
      {1.0, "1.0"},
      {0.1, "0.1"},
      {123.456, "123.456"},
      {-2.5, "-2.5"},
      {1e15, "1000000000000000.0"},
      {1234567890123456.0, "1234567890123456.0"},
      {1e16, "1e16"},
      {1.5e16, "1.5e16"},
      {1.5e-7, "1.5e-7"},
      {1e-6, "1e-6"},
      {0.00001, "0.00001"},
      {0.0001, "0.0001"},
      {0.3333333333333333, "0.3333333333333333"},
      {123456789012345680000.0, "1.2345678901234568e20"},
      {0.0, "0.0"},
      {-0.0, "-0.0"},
      {5e-324, "5e-324"},
      {std::numeric_limits<double>::max(), "1.7976931348623157e308"},
      {std::numeric_limits<double>::infinity(), "null"},
      {-std::numeric_limits<double>::infinity(), "null"},
      {std::numeric_limits<double>::quiet_NaN(), "null"},
  };
  for (const auto& row : table) {
    EXPECT_EQ(written(row.value), row.text) << row.text;
    if (std::isfinite(row.value)) {
      // Every finite spelling reads back to the very same double.
      double back = 0.0;
      ASSERT_EQ(read_message(written(row.value), &back), "ok");
      EXPECT_EQ(std::signbit(back), std::signbit(row.value));
      EXPECT_EQ(back, row.value) << row.text;
    }
  }
}

TEST(DocumentWriter, StringsAreEscapedAndIntegersDecimal) {
  EXPECT_EQ(written(std::string("a\"b\\c\b\f\n\r\t\x01\x1f\x7f\xc3\xa5/")),
            "\"a\\\"b\\\\c\\b\\f\\n\\r\\t\\u0001\\u001f\x7f\xc3\xa5/\"");
  EXPECT_EQ(written(std::uint32_t{4294967295}), "4294967295");
  EXPECT_EQ(written(std::uint64_t{18446744073709551615ull}), "18446744073709551615");

  std::map<std::uint32_t, NodeDisplacement> nodes;
  ASSERT_EQ(read_message(R"({"10":[0,0,0,0,0,0],"2":[0,0,0,0,0,0],"1":[0,0,0,0,0,0]})", &nodes), "ok");
  const std::string out = written(nodes);
  EXPECT_LT(out.find("\"1\""), out.find("\"2\""));
  EXPECT_LT(out.find("\"2\""), out.find("\"10\""));
}

TEST(DocumentWriter, FreeJsonDetailsKeepStructureWithSortedKeys) {
  JsonValue details;
  ASSERT_EQ(read_message(R"({"b":[1,-2,2.50,1e2,-0,18446744073709551616,{"z":null,"y":"\u00e5"}],)"
                         R"("a":{"x":true,"x":false},"":[]})",
                         &details),
            "ok");
  // A repeated key keeps its last value; keys come out in byte order.
  EXPECT_EQ(written(details),
            R"({"":[],"a":{"x":false},"b":[1,-2,2.5,100.0,-0.0,1.8446744073709552e19,{"y":"å","z":null}]})");
}

struct MessageCase {
  const char* name;
  std::string (*read)(std::string_view);
  const char* text;
  const char* message;
};

template <class T>
std::string read_as(std::string_view text) {
  return read_message<T>(text);
}

class ReaderMessage : public ::testing::TestWithParam<MessageCase> {};

TEST_P(ReaderMessage, IsExactWithLineAndColumn) {
  const MessageCase& c = GetParam();
  EXPECT_EQ(c.read(c.text), c.message) << c.text;
}

// Records, values and what the reader says of them.
const MessageCase message_cases[] = {
    {"missing_field", read_as<Node>, R"({"id":1,"X":0,"Y":0})", "missing field `Z` at line 1 column 20"},
    {"duplicate_field", read_as<Node>, R"({"id":1,"id":2})", "duplicate field `id` at line 1 column 12"},
    {"duplicate_on_line_3", read_as<Node>, "{\n  \"id\": 1,\n  \"id\": 2\n}",
     "duplicate field `id` at line 3 column 6"},
    {"string_for_u32", read_as<Node>, R"({"id":"1"})",
     "invalid type: string \"1\", expected u32 at line 1 column 9"},
    {"negative_u32", read_as<Node>, R"({"id":-1})",
     "invalid value: integer `-1`, expected u32 at line 1 column 8"},
    {"u32_too_large", read_as<Node>, R"({"id":4294967296})",
     "invalid value: integer `4294967296`, expected u32 at line 1 column 16"},
    {"float_for_u32", read_as<Node>, R"({"id":1.0})",
     "invalid type: floating point `1.0`, expected u32 at line 1 column 9"},
    {"exponent_for_u32", read_as<Node>, R"({"id":1e2})",
     "invalid type: floating point `100.0`, expected u32 at line 1 column 9"},
    {"minus_zero_for_u32", read_as<Node>, R"({"id":-0})",
     "invalid type: floating point `-0.0`, expected u32 at line 1 column 8"},
    {"bool_for_u32", read_as<Node>, R"({"id":true})",
     "invalid type: boolean `true`, expected u32 at line 1 column 10"},
    {"null_for_u32", read_as<Node>, R"({"id":null})", "invalid type: null, expected u32 at line 1 column 10"},
    {"map_for_u32", read_as<Node>, R"({"id":{}})", "invalid type: map, expected u32 at line 1 column 7"},
    {"sequence_for_u32", read_as<Node>, R"({"id":[]})",
     "invalid type: sequence, expected u32 at line 1 column 7"},
    {"string_for_f64", read_as<Node>, R"({"id":1,"X":"a"})",
     "invalid type: string \"a\", expected f64 at line 1 column 15"},
    {"string_for_record", read_as<Node>, R"("x")",
     "invalid type: string \"x\", expected struct Node at line 1 column 3"},
    {"short_array_record", read_as<Node>, "[1,0,0,0]",
     "invalid length 4, expected struct Node with 5 elements at line 1 column 9"},
    {"long_array_record", read_as<Node>, "[1,0,0,0,null,5]", "trailing characters at line 1 column 15"},
    {"array_record", read_as<Node>, "[1,0,0,0,null]", "ok"},
    {"skipped_unknown_key", read_as<Node>, R"({"id":1,"X":1,"Y":2,"Z":3,"comment":[{"a":[1,2]},"x"]})", "ok"},
    {"syntax_inside_skipped_key", read_as<Node>, R"({"id":1,"X":0,"Y":0,"Z":0,"skip":[1,}])",
     "expected value at line 1 column 37"},
    {"type_error_before_syntax_error", read_as<Node>, R"({"id":"x", ]})",
     "invalid type: string \"x\", expected u32 at line 1 column 9"},
    {"syntax_error_before_type_error", read_as<Node>, R"({"id" 1,"X":"a"})",
     "expected `:` at line 1 column 7"},
    {"unknown_variant", read_as<MemberType>, R"("truss")",
     "unknown variant `truss`, expected one of `Normal`, `Truss`, `Tension`, `Compression`, `Rigid` at line "
     "1 "
     "column 7"},
    {"unknown_variant_two", read_as<DensityUnit>, R"("kg/m^3")",
     "unknown variant `kg/m^3`, expected `kg/m3` or `kg/mm3` at line 1 column 8"},
    {"unknown_variant_in_object_form", read_as<LimitState>, R"({"uls":null})",
     "unknown variant `uls`, expected one of `SLS`, `ULS`, `FLS`, `ALS` at line 1 column 6"},
    {"length_unit_capitals", read_as<LengthUnit>, R"("MM")",
     "unknown variant `MM`, expected one of `mm`, `cm`, `m` at line 1 column 4"},
    {"variant_object_with_value", read_as<MemberType>, R"({"Truss":1})",
     "invalid type: integer `1`, expected unit at line 1 column 10"},
    {"variant_object_with_extra_key", read_as<MemberType>, R"({"Truss":null,"Rigid":null})",
     "expected value at line 1 column 21"},
    {"number_for_variant", read_as<MemberType>, "5", "expected value at line 1 column 1"},
    {"tuple_too_short", read_as<Vec3>, "[1,2]",
     "invalid length 2, expected a tuple of size 3 at line 1 column 5"},
    {"tuple_too_long", read_as<Vec3>, "[1,2,3,4]", "trailing characters at line 1 column 8"},
    {"map_for_tuple", read_as<Vec3>, "{}",
     "invalid type: map, expected a tuple of size 3 at line 1 column 1"},
    {"word_key", read_as<std::map<std::uint32_t, double>>, R"({"one":1})",
     "invalid value: expected key to be a number in quotes at line 1 column 6"},
    {"negative_key", read_as<std::map<std::uint32_t, double>>, R"({"-1":1})",
     "invalid value: integer `-1`, expected u32 at line 1 column 5"},
    {"digits_then_letters_key", read_as<std::map<std::uint32_t, double>>, R"({"12a":1})",
     "invalid value: expected key to be a number in quotes at line 1 column 6"},
    {"repeated_key_last_wins", read_as<std::map<std::uint32_t, double>>, R"({"1":1,"1":2})", "ok"},
    {"bare_result_type", read_as<ResultType>, R"("Loadcase")",
     "invalid type: unit variant, expected newtype variant at line 1 column 10"},
    {"result_type_object", read_as<ResultType>, R"({"Loadcombination":3})", "ok"},
    {"map_for_sequence", read_as<std::vector<std::uint64_t>>, "{}",
     "invalid type: map, expected a sequence at line 1 column 1"},
    {"u64_above_range", read_as<std::vector<std::uint64_t>>, "[18446744073709551616]",
     "invalid type: floating point `18446744073709552000.0`, expected u64 at line 1 column 21"},
    {"u32_list_above_range", read_as<ImperfectionCase>,
     R"({"imperfection_case_id":1,"load_combinations":[4294967296]})",
     "invalid value: integer `4294967296`, expected u32 at line 1 column 57"},
    {"number_for_boolean", read_as<bool>, "1",
     "invalid type: integer `1`, expected a boolean at line 1 column 1"},
    {"float_for_string", read_as<std::string>, "1.5",
     "invalid type: floating point `1.5`, expected a string at line 1 column 3"},
    {"big_float_shown_plain", read_as<std::string>, "1e20",
     "invalid type: floating point `100000000000000000000.0`, expected a string at line 1 column 4"},
    {"small_float_shown_plain", read_as<std::string>, "-1.5e-7",
     "invalid type: floating point `-0.00000015`, expected a string at line 1 column 7"},
    {"negative_integer_for_string", read_as<std::string>, "-5",
     "invalid type: integer `-5`, expected a string at line 1 column 2"},
    {"sequence_for_map", read_as<std::map<std::string, SupportCondition>>, "[]",
     "invalid type: sequence, expected a map at line 1 column 1"},
    {"null_for_optional", read_as<Node>, R"({"id":1,"X":0,"Y":0,"Z":0,"nodal_support":null})", "ok"},
};

INSTANTIATE_TEST_SUITE_P(Records, ReaderMessage, ::testing::ValuesIn(message_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// Syntax errors, read as a free JSON value so that only the syntax matters.
const MessageCase syntax_cases[] = {
    {"empty", read_as<JsonValue>, "", "EOF while parsing a value at line 1 column 0"},
    {"blank", read_as<JsonValue>, "  \n ", "EOF while parsing a value at line 2 column 1"},
    {"open_object", read_as<JsonValue>, R"({"a":1)", "EOF while parsing an object at line 1 column 6"},
    {"open_list", read_as<JsonValue>, "[1,2", "EOF while parsing a list at line 1 column 4"},
    {"open_string", read_as<JsonValue>, R"(["abc)", "EOF while parsing a string at line 1 column 5"},
    {"open_literal", read_as<JsonValue>, "[tru", "EOF while parsing a value at line 1 column 4"},
    {"trailing_comma", read_as<JsonValue>, "[1,]", "expected value at line 1 column 4"},
    {"bad_literal", read_as<JsonValue>, "[x]", "expected value at line 1 column 2"},
    {"missing_colon", read_as<JsonValue>, R"({"a" 1})", "expected `:` at line 1 column 6"},
    {"missing_comma_object", read_as<JsonValue>, R"({"a":1 "b":2})",
     "expected `,` or `}` at line 1 column 8"},
    {"missing_comma_list", read_as<JsonValue>, "[1 2]", "expected `,` or `]` at line 1 column 4"},
    {"number_key", read_as<JsonValue>, "{1:2}", "key must be a string at line 1 column 2"},
    {"trailing", read_as<JsonValue>, "{} x", "trailing characters at line 1 column 4"},
    {"trailing_after_nul", read_as<JsonValue>, std::string_view("{}\0", 3).data(), "ok"},
    {"fraction_without_digits", read_as<JsonValue>, "[1.]", "invalid number at line 1 column 4"},
    {"exponent_too_large", read_as<JsonValue>, "[1e400]", "number out of range at line 1 column 2"},
    {"tiny_exponent_is_zero", read_as<JsonValue>, "[1e-400]", "ok"},
    {"bad_escape", read_as<JsonValue>, R"(["a\x"])", "invalid escape at line 1 column 4"},
    {"lone_surrogate", read_as<JsonValue>, R"(["\udc00"])", "invalid escape at line 1 column 9"},
    {"control_character", read_as<JsonValue>, "[\"a\x01\"]",
     "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 4"},
};

INSTANTIATE_TEST_SUITE_P(Syntax, ReaderMessage, ::testing::ValuesIn(syntax_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReaderSyntax, NestingIsLimitedWithoutRecursion) {
  const std::string deepest_allowed = std::string(128, '[') + std::string(128, ']');
  EXPECT_EQ(read_message<JsonValue>(deepest_allowed), "ok");
  const std::string too_deep = std::string(129, '[') + std::string(129, ']');
  EXPECT_EQ(read_message<JsonValue>(too_deep), "recursion limit exceeded at line 1 column 129");
  // A million levels is a message, not a stack overflow.
  const std::string hostile(1'000'000, '[');
  EXPECT_EQ(read_message<JsonValue>(hostile), "recursion limit exceeded at line 1 column 129");
  EXPECT_EQ(read_velk(std::string(1'000'000, '{')).error(), "key must be a string at line 1 column 2");
}

TEST(ReaderSyntax, EmbeddedNulIsNotTheEnd) {
  EXPECT_EQ(read_message<JsonValue>(std::string_view("{}\0x", 4)), "trailing characters at line 1 column 3");
  EXPECT_EQ(read_message<JsonValue>(std::string_view("[\"a\0\"]", 6)),
            "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 4");
}

TEST(ReaderSyntax, EveryTruncationOfAModelIsAMessage) {
  const std::string_view text = full_document_written;
  for (std::size_t length = 0; length < text.size(); ++length) {
    const auto model = read_velk(text.substr(0, length));
    ASSERT_FALSE(model.has_value()) << length;
    ASSERT_NE(model.error().find(" at line 1 column "), std::string::npos) << model.error();
  }
}

TEST(ReaderDocument, RootMessagesNameTheRootFields) {
  EXPECT_EQ(read_velk("{}").error(), "missing field `member_sets` at line 1 column 2");
  EXPECT_EQ(read_velk("[]").error(),
            "invalid length 0, expected struct VELK with 11 elements at line 1 column 2");
  std::string no_end_magnitude = replaced(
      minimal_document, R"("load_cases":[])",
      R"("load_cases":[{"id":1,"name":"a","nodal_loads":[],"nodal_moments":[],"distributed_loads":[{"member":1,)"
      R"("load_case":1,"magnitude":1,"direction":[0,0,1],"start_frac":0,"end_frac":1}],)"
      R"("rotation_imperfections":[],"translation_imperfections":[]}])");
  EXPECT_EQ(read_velk(no_end_magnitude).error(), "missing field `end_magnitude` at line 1 column 196");
  const std::string id_as_float =
      replaced(minimal_document, R"("member_sets":[])", R"("member_sets":[{"id":1,"members":[{"id":1.0}]}])");
  EXPECT_EQ(read_velk(id_as_float).error(),
            "invalid type: floating point `1.0`, expected u32 at line 1 column 44");
}

}  // namespace
}  // namespace velk
