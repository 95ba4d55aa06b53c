#pragma once
// The elastic stability of every load case and combination: the critical
// load factors alpha of the linear buckling problem
//
//   (K + alpha K_G(N)) phi = 0
//
// on the reduced system, K the first-order stiffness and K_G the geometric
// stiffness of the axial forces N of the case's first-order solution; the
// buckling modes, and per member its critical force and buckling lengths.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.hpp"
#include "document/units.hpp"
#include "document/velk.hpp"
#include "system/model_validation.hpp"

namespace velk {

// Modes reported unless the caller asks for another count, and the most a
// caller may ask for.
inline constexpr int default_buckling_modes = 4;
inline constexpr int max_buckling_modes = 100;

// The thresholds of the verdict: at or above the first, first-order
// analysis is enough; below the second, amplifying first-order results is
// no longer allowed either.
inline constexpr double first_order_factor_limit = 10.0;
inline constexpr double amplification_factor_limit = 3.0;

inline constexpr const char* no_compression_message = "no member is in compression";

// The verdict on the lowest critical factor (infinite when there is none).
std::string_view stability_verdict(double critical_factor);

// One member in one mode, in the document's units. The critical force, the
// buckling lengths and their factors are there for a member in compression;
// the bending axis for one that also bends in the mode.
struct MemberBuckling {
  std::uint32_t member = 0;
  double axial_force = 0.0;                 // N of the first-order state, tension positive
  std::optional<double> critical_force;     // N_cr = alpha |N|
  std::optional<double> length_y;           // L_cr,y = pi sqrt(E I_y / N_cr)
  std::optional<double> length_z;           // L_cr,z = pi sqrt(E I_z / N_cr)
  std::optional<double> factor_y;           // k_y = L_cr,y / L
  std::optional<double> factor_z;           // k_z = L_cr,z / L
  std::optional<std::string> bending_axis;  // "y": more bending energy in the local x-z plane
  double energy_share = 0.0;                // of the mode's bending strain energy
};

struct BucklingMode {
  double factor = 0.0;
  // Every node's global displacements, scaled so that the largest
  // translation is +1 (rotations in radians per document length unit).
  std::map<std::uint32_t, NodeDisplacement> shape;
  std::vector<MemberBuckling> members;  // ascending member id; Rigid members left out
};

struct CaseStability {
  std::string name;
  ResultType identity;
  std::vector<double> critical_factors;   // smallest positive alpha first
  std::optional<double> reversed_factor;  // |alpha| of the negative alpha nearest zero
  std::string verdict;
  std::optional<std::string> message;  // no_compression_message when nothing destabilises
  std::vector<BucklingMode> modes;     // one per critical factor
};

struct StabilityAnalysis {
  std::string length_unit;               // "mm", "cm" or "m"
  std::string force_unit;                // "N" or "kN"
  std::vector<CaseStability> loadcases;  // document order; only when solve_loadcases
  std::vector<CaseStability> loadcombinations;
};

// Systems up to this many unknowns are solved by a dense eigensolve: a few
// milliseconds, less than a Lanczos iteration takes on the clustered or
// widely spread spectra that frames of equal columns or nearly unbraced
// parts have.
inline constexpr std::ptrdiff_t buckling_dense_limit = 240;

struct StabilityOptions {
  int modes = default_buckling_modes;
  // Systems up to this many unknowns are solved by a dense eigensolve
  // instead of Lanczos; nullopt: buckling_dense_limit.
  std::optional<std::ptrdiff_t> dense_limit;
};

// The stability of a model in base units (as analyse_model leaves it; its
// stored results are ignored), reported in the units `factors` converts
// from. The first case that cannot be solved ends the analysis with the
// analysis' own message ("LC 1 linear error: ..."), followed for a singular
// stiffness by the mechanisms the model check finds; a failed eigensolve
// with "LC 1 buckling error: ...".
Result<StabilityAnalysis> analyse_stability(const VELK& model, const UnitFactors& factors,
                                            const StabilityOptions& options);

// The same for a model as read from its document: the member count is
// checked (against the front end's `limit`) and the units normalised first.
Result<StabilityAnalysis> analyse_document_stability(const VELK& document_model,
                                                     const StabilityOptions& options,
                                                     const MemberLimit& limit = {});

// {"length_unit", "force_unit", "loadcases": {NAME: CASE}, "loadcombinations": {...}}.
std::string stability_to_json(const StabilityAnalysis& analysis);

}  // namespace velk
