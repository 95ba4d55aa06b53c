#pragma once
// The root record of a model document.

#include <optional>
#include <vector>

#include "document/load_records.hpp"
#include "document/results_records.hpp"
#include "document/settings_records.hpp"
#include "document/structure_records.hpp"

namespace velk {

struct VELK {
  std::vector<MemberSet> member_sets;
  std::vector<LoadCase> load_cases;
  std::vector<LoadCombination> load_combinations;
  std::vector<ImperfectionCase> imperfection_cases;
  Settings settings;
  std::optional<ResultsBundle> results;
  std::optional<std::vector<MemberHinge>> memberhinges;
  std::vector<Material> materials;
  std::vector<Section> sections;
  std::vector<NodalSupport> nodal_supports;
  std::optional<std::vector<ShapePath>> shape_paths;
};

}  // namespace velk
