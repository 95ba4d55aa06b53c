#pragma once
// Models for the solver tests: a vertical cantilever column in several
// members, a portal frame, and loads placed on their nodes.

#include <Eigen/Dense>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/log.hpp"
#include "document/velk.hpp"
#include "member/member_fixtures.hpp"

namespace velk::testing {

// Bending stiffness of the column section about both axes.
inline constexpr double kColumnI = kIz;

inline NodalLoad point_load(std::uint32_t node, std::uint32_t load_case, double magnitude, Vec3 direction) {
  NodalLoad load;
  load.id = node;
  load.node = node;
  load.load_case = load_case;
  load.magnitude = magnitude;
  load.direction = direction;
  return load;
}

inline LoadCase load_case(std::uint32_t id, std::string name, std::vector<NodalLoad> loads = {}) {
  LoadCase lc;
  lc.id = id;
  lc.name = std::move(name);
  lc.nodal_loads = std::move(loads);
  return lc;
}

// A column along +Z from the fixed node 1 at the origin to the tip node
// `members` + 1, with equal bending stiffness about both section axes.
inline VELK column_model(int members, double length) {
  std::vector<Member> list;
  for (int i = 0; i < members; ++i) {
    const auto id = static_cast<std::uint32_t>(i + 1);
    const double z0 = length * i / members;
    const double z1 = length * (i + 1) / members;
    list.push_back(
        make_member(id, make_node(id, 0, 0, z0, i == 0 ? std::optional<std::uint32_t>(1) : std::nullopt),
                    make_node(id + 1, 0, 0, z1)));
  }
  VELK model = model_with(std::move(list));
  model.sections[0].i_y = kColumnI;
  model.sections[0].i_z = kColumnI;
  model.nodal_supports.push_back(fixed_support(1));
  model.settings.analysis_options.order = AnalysisOrder::Nonlinear;
  model.settings.analysis_options.tolerance = 1e-9;
  return model;
}

// Captures the log records written while it lives, debug records included.
class LogCapture {
 public:
  LogCapture() {
    log::set_max_level(log::Level::Debug);
    log::set_sink([this](const log::Record& record) { lines.emplace_back(record.message); });
  }
  ~LogCapture() {
    log::set_sink({});
    log::set_max_level(log::Level::Off);
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<std::string> containing(std::string_view text) const {
    std::vector<std::string> found;
    for (const std::string& line : lines) {
      if (line.find(text) != std::string::npos) found.push_back(line);
    }
    return found;
  }

  std::vector<std::string> lines;
};

}  // namespace velk::testing
