#pragma once
// Load cases with their nodal and distributed loads, combinations of load
// cases, and the imperfection records carried with them.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velk {

using Vec3 = std::array<double, 3>;

enum class LimitState { SLS, ULS, FLS, ALS };

struct NodalLoad {
  std::uint32_t id = 0;
  std::uint32_t node = 0;
  std::uint32_t load_case = 0;
  double magnitude = 0.0;
  Vec3 direction{};  // global components, used as given
  std::string load_type;
};

// Same fields as a nodal load; the magnitude is a moment about `direction`.
struct NodalMoment {
  std::uint32_t id = 0;
  std::uint32_t node = 0;
  std::uint32_t load_case = 0;
  double magnitude = 0.0;
  Vec3 direction{};
  std::string load_type;
};

struct DistributedLoad {
  std::uint32_t member = 0;
  std::uint32_t load_case = 0;
  double magnitude = 0.0;  // intensity at start_frac
  Vec3 direction{};
  double start_frac = 0.0;
  double end_frac = 0.0;
  double end_magnitude = 0.0;  // intensity at end_frac
};

struct RotationImperfection {
  std::vector<std::uint64_t> memberset_ids;
  double magnitude = 0.0;
  Vec3 axis{};
};

struct TranslationImperfection {
  std::vector<std::uint64_t> memberset_ids;
  double magnitude = 0.0;
  Vec3 axis{};
};

struct LoadCase {
  std::uint32_t id = 0;
  std::string name;
  std::vector<NodalLoad> nodal_loads;
  std::vector<NodalMoment> nodal_moments;
  std::vector<DistributedLoad> distributed_loads;
  std::vector<RotationImperfection> rotation_imperfections;
  std::vector<TranslationImperfection> translation_imperfections;
};

struct LoadCombination {
  std::uint32_t id = 0;
  std::string name;
  // Factor per load case id. Written in ascending id order, which is one of
  // the orders a reader must accept.
  std::map<std::uint32_t, double> load_cases_factors;
  std::optional<std::string> situation;
  std::string check;
  std::optional<LimitState> limit_state;
};

struct ImperfectionCase {
  std::uint32_t imperfection_case_id = 0;
  std::vector<std::uint32_t> load_combinations;
  std::vector<RotationImperfection> rotation_imperfections;
  std::vector<TranslationImperfection> translation_imperfections;
};

}  // namespace velk
