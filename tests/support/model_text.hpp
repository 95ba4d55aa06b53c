#pragma once
// Model documents as JSON text for the driver tests: a row of members along X
// with optional load cases, combinations and carried results.

#include <string>
#include <vector>

namespace velk::test_support {

struct ModelText {
  int members = 1;
  std::vector<int> load_case_ids;
  std::vector<int> combination_ids;
  bool solve_loadcases = true;
  std::string order = "LINEAR";
  std::string rigid_strategy = "LinearMpc";
  std::string max_iterations = "null";
  std::string tolerance = "0.001";
  std::string unit_settings = "{}";
  std::string results = "null";
  double spacing = 1000.0;

  std::string text() const {
    std::string out = "{\"member_sets\":[{\"id\":1,\"members\":[";
    for (int i = 1; i <= members; ++i) {
      if (i > 1) out += ",";
      out += "{\"id\":" + std::to_string(i) + ",\"start_node\":" + node(i) + ",\"end_node\":" + node(i + 1) +
             ",\"section\":1,\"rotation_angle\":0.0,\"classification\":\"beam\",\"weight\":0.0," +
             "\"member_type\":\"Normal\"}";
    }
    out += "]}],\"load_cases\":[";
    for (std::size_t i = 0; i < load_case_ids.size(); ++i) {
      const std::string id = std::to_string(load_case_ids[i]);
      if (i > 0) out += ",";
      out += "{\"id\":" + id + ",\"name\":\"LC" + id +
             "\",\"nodal_loads\":[],\"nodal_moments\":[],\"distributed_loads\":[],"
             "\"rotation_imperfections\":[],\"translation_imperfections\":[]}";
    }
    out += "],\"load_combinations\":[";
    for (std::size_t i = 0; i < combination_ids.size(); ++i) {
      const std::string id = std::to_string(combination_ids[i]);
      if (i > 0) out += ",";
      out += "{\"id\":" + id + ",\"name\":\"CO" + id + "\",\"load_cases_factors\":{},\"check\":\"ULS\"}";
    }
    out += "],\"imperfection_cases\":[],\"settings\":{\"id\":1,\"analysis_options\":{\"id\":1,";
    out += std::string("\"solve_loadcases\":") + (solve_loadcases ? "true" : "false");
    out += ",\"solver\":\"direct\",\"tolerance\":" + tolerance + ",\"max_iterations\":" + max_iterations +
           ",\"dimensionality\":\"3D\",\"order\":\"" + order + "\",\"rigid_strategy\":\"" + rigid_strategy +
           "\",\"axial_slack\":0.0},";
    out += "\"general_info\":{\"project_name\":\"p\",\"author\":\"a\",\"version\":\"1\"},";
    out += "\"unit_settings\":" + unit_settings + "},";
    out += "\"results\":" + results + ",";
    out +=
        "\"materials\":[{\"id\":1,\"name\":\"Steel\",\"e_mod\":210000.0,\"g_mod\":81000.0,"
        "\"density\":7850.0,\"yield_stress\":355.0}],";
    out +=
        "\"sections\":[{\"id\":1,\"name\":\"S\",\"material\":1,\"i_y\":1.0,\"i_z\":1.0,\"j\":1.0,"
        "\"area\":100.0}],";
    out += "\"nodal_supports\":[]}";
    return out;
  }

 private:
  std::string node(int id) const {
    return "{\"id\":" + std::to_string(id) + ",\"X\":" + std::to_string(spacing * (id - 1)) +
           ",\"Y\":0.0,\"Z\":0.0}";
  }
};

}  // namespace velk::test_support
