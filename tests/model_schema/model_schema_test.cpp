// The JSON Schema from the record tables: references, required fields, array forms, units, enumerations.
#include "model_schema/model_schema.hpp"

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <regex>
#include <string>
#include <vector>

namespace velk {
namespace {

const rapidjson::Document& schema() {
  static const rapidjson::Document document = [] {
    rapidjson::Document parsed;
    parsed.Parse(model_json_schema().c_str());
    return parsed;
  }();
  return document;
}

const rapidjson::Value& definition(const char* name) { return schema()["$defs"][name]; }

// anyOf[0] of a record is its object form, anyOf[1] its array form.
const rapidjson::Value& object_form(const char* record) { return definition(record)["anyOf"][0]; }
const rapidjson::Value& array_form(const char* record) { return definition(record)["anyOf"][1]; }

std::vector<std::string> strings(const rapidjson::Value& array) {
  std::vector<std::string> out;
  for (const auto& value : array.GetArray()) out.emplace_back(value.GetString());
  return out;
}

TEST(ModelSchema, IsDraft202012JsonReferringToTheRootRecord) {
  ASSERT_FALSE(schema().HasParseError());
  EXPECT_STREQ(schema()["$schema"].GetString(), "https://json-schema.org/draft/2020-12/schema");
  EXPECT_STREQ(schema()["$ref"].GetString(), "#/$defs/VELK");
  EXPECT_EQ(model_json_schema(), model_json_schema());
  EXPECT_EQ(model_json_schema().back(), '\n');
}

TEST(ModelSchema, EveryReferenceResolvesAndEveryDefinitionIsDescribed) {
  std::vector<std::string> references;
  const auto walk = [&](const auto& self, const rapidjson::Value& value) -> void {
    if (value.IsObject()) {
      for (const auto& member : value.GetObject()) {
        if (std::string(member.name.GetString()) == "$ref") references.emplace_back(member.value.GetString());
        self(self, member.value);
      }
    } else if (value.IsArray()) {
      for (const auto& element : value.GetArray()) self(self, element);
    }
  };
  walk(walk, schema());
  ASSERT_FALSE(references.empty());
  for (const std::string& reference : references) {
    ASSERT_EQ(reference.rfind("#/$defs/", 0), 0u) << reference;
    EXPECT_TRUE(schema()["$defs"].HasMember(reference.substr(8).c_str())) << reference;
  }
  for (const auto& def : schema()["$defs"].GetObject()) {
    ASSERT_TRUE(def.value.HasMember("description")) << def.name.GetString();
    EXPECT_GT(def.value["description"].GetStringLength(), 10u) << def.name.GetString();
  }
  // The records of the document, results included.
  for (const char* record : {"VELK",
                             "MemberSet",
                             "Member",
                             "Node",
                             "Section",
                             "Material",
                             "ShapePath",
                             "ShapeCommand",
                             "MemberHinge",
                             "NodalSupport",
                             "SupportCondition",
                             "LoadCase",
                             "NodalLoad",
                             "NodalMoment",
                             "DistributedLoad",
                             "LoadCombination",
                             "ImperfectionCase",
                             "RotationImperfection",
                             "TranslationImperfection",
                             "Settings",
                             "AnalysisOptions",
                             "GeneralInfo",
                             "UnitSettings",
                             "ResultsBundle",
                             "Results",
                             "ResultType",
                             "NodeDisplacement",
                             "ReactionNodeResult",
                             "NodeForces",
                             "NodeLocation",
                             "MemberResult",
                             "ResultsSummary",
                             "UnityCheck",
                             "UnityCheckOverview",
                             "GoverningKey"}) {
    EXPECT_TRUE(schema()["$defs"].HasMember(record)) << record;
  }
}

TEST(ModelSchema, RequiredFieldsAreThoseThatAreNeitherOptionalNorDefaulted) {
  EXPECT_EQ(strings(object_form("Member")["required"]),
            (std::vector<std::string>{"id", "start_node", "end_node", "rotation_angle", "classification",
                                      "weight", "member_type"}));
  EXPECT_EQ(strings(object_form("VELK")["required"]),
            (std::vector<std::string>{"member_sets", "load_cases", "load_combinations", "imperfection_cases",
                                      "settings", "materials", "sections", "nodal_supports"}));
  EXPECT_EQ(strings(object_form("DistributedLoad")["required"]),
            (std::vector<std::string>{"member", "load_case", "magnitude", "direction", "start_frac",
                                      "end_frac", "end_magnitude"}));
  EXPECT_TRUE(object_form("UnitSettings")["required"].Empty());
  EXPECT_TRUE(object_form("GoverningKey")["required"].Empty());
  // Optional values may be null.
  const auto& section = object_form("Member")["properties"]["section"];
  EXPECT_STREQ(section["anyOf"][0]["$ref"].GetString(), "#/$defs/u32");
  EXPECT_STREQ(section["anyOf"][1]["type"].GetString(), "null");
}

TEST(ModelSchema, ArrayFormHoldsTheFieldsInOrderAndMayDropTrailingDefaults) {
  EXPECT_EQ(array_form("Node")["minItems"].GetUint(), 5u);
  EXPECT_EQ(array_form("Node")["maxItems"].GetUint(), 5u);
  EXPECT_STREQ(array_form("Node")["prefixItems"][1]["description"].GetString(),
               object_form("Node")["properties"]["X"]["description"].GetString());
  EXPECT_EQ(array_form("Member")["prefixItems"].Size(), 13u);
  EXPECT_EQ(array_form("UnitSettings")["minItems"].GetUint(), 0u);
  EXPECT_EQ(array_form("UnitSettings")["maxItems"].GetUint(), 5u);
}

TEST(ModelSchema, UnitDefaultsAreTheCanonicalSpellings) {
  const auto& properties = object_form("UnitSettings")["properties"];
  EXPECT_STREQ(properties["system"]["default"].GetString(), "metric");
  EXPECT_STREQ(properties["lengthUnit"]["default"].GetString(), "m");
  EXPECT_STREQ(properties["forceUnit"]["default"].GetString(), "N");
  EXPECT_STREQ(properties["densityUnit"]["default"].GetString(), "kg/m3");
  EXPECT_STREQ(properties["pressureUnit"]["default"].GetString(), "Pa");
}

TEST(ModelSchema, EnumerationsListAcceptedAndCanonicalSpellings) {
  const auto& order = definition("AnalysisOrder");
  EXPECT_EQ(strings(order["anyOf"][0]["enum"]),
            (std::vector<std::string>{"LINEAR", "Linear", "linear", "NONLINEAR", "Nonlinear", "nonlinear"}));
  EXPECT_EQ(strings(order["examples"]), (std::vector<std::string>{"LINEAR", "NONLINEAR"}));
  EXPECT_NE(std::string(order["description"].GetString()).find("written as \"LINEAR\", \"NONLINEAR\""),
            std::string::npos);
  // The object form: the spelling as the only key, null as its value.
  const auto& object = definition("MemberType")["anyOf"][1];
  EXPECT_EQ(object["maxProperties"].GetUint(), 1u);
  EXPECT_STREQ(object["additionalProperties"]["type"].GetString(), "null");
  EXPECT_EQ(strings(definition("PressureUnit")["examples"]),
            (std::vector<std::string>{"Pa", "kPa", "MPa", "GPa"}));
  EXPECT_EQ(strings(definition("ConditionType")["anyOf"][0]["enum"]),
            (std::vector<std::string>{"Fixed", "Free", "Spring", "PositiveOnly", "NegativeOnly"}));
}

TEST(ModelSchema, IntegerRangesVectorsAndMapKeys) {
  EXPECT_EQ(definition("u32")["maximum"].GetUint64(), 4294967295u);
  EXPECT_EQ(definition("u64")["maximum"].GetUint64(), 18446744073709551615u);
  EXPECT_EQ(definition("Vec3")["minItems"].GetUint(), 3u);
  EXPECT_EQ(definition("Vec3")["maxItems"].GetUint(), 3u);
  const auto& displacements = object_form("Results")["properties"]["displacement_nodes"];
  EXPECT_STREQ(displacements["propertyNames"]["$ref"].GetString(), "#/$defs/u32_key");
  EXPECT_STREQ(displacements["additionalProperties"]["$ref"].GetString(), "#/$defs/NodeDisplacement");
  const auto& factors = object_form("LoadCombination")["properties"]["load_cases_factors"];
  EXPECT_STREQ(factors["propertyNames"]["$ref"].GetString(), "#/$defs/u32_key");
  // String-keyed maps take any key.
  EXPECT_FALSE(
      object_form("NodalSupport")["properties"]["displacement_conditions"].HasMember("propertyNames"));
}

struct KeyCase {
  const char* key;
  bool accepted;
};

class U32KeyPattern : public ::testing::TestWithParam<KeyCase> {};

// The reader takes a key as a u32 exactly when it is the digits of an integer
// from 0 to 4294967295; the pattern must agree at every boundary.
TEST_P(U32KeyPattern, AgreesWithTheReader) {
  const std::regex pattern(u32_key_pattern);
  EXPECT_EQ(std::regex_search(GetParam().key, pattern), GetParam().accepted) << GetParam().key;
}

INSTANTIATE_TEST_SUITE_P(
    Keys, U32KeyPattern,
    ::testing::Values(KeyCase{"0", true}, KeyCase{"7", true}, KeyCase{"10", true}, KeyCase{"999999999", true},
                      KeyCase{"1000000000", true}, KeyCase{"3999999999", true}, KeyCase{"4199999999", true},
                      KeyCase{"4289999999", true}, KeyCase{"4294967295", true}, KeyCase{"4294967289", true},
                      KeyCase{"4294966999", true}, KeyCase{"4294967296", false}, KeyCase{"4294967300", false},
                      KeyCase{"4295000000", false}, KeyCase{"5000000000", false},
                      KeyCase{"9999999999", false}, KeyCase{"10000000000", false}, KeyCase{"01", false},
                      KeyCase{"00", false}, KeyCase{"-1", false}, KeyCase{"-0", false}, KeyCase{"1.0", false},
                      KeyCase{"1e3", false}, KeyCase{"+1", false}, KeyCase{"", false}, KeyCase{"x1", false},
                      KeyCase{"1 ", false}));

}  // namespace
}  // namespace velk
