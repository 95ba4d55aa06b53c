#pragma once
// The records of the logging facade, captured while a capture lives.

#include <string>
#include <vector>

#include "base/log.hpp"

namespace velk::testing {

class LogCapture {
 public:
  explicit LogCapture(log::Level level = log::Level::Info) {
    log::set_sink([this](const log::Record& record) {
      lines.push_back(std::string(record.message));
      targets.push_back(std::string(record.target));
      levels.push_back(record.level);
    });
    log::set_max_level(level);
  }
  ~LogCapture() {
    log::set_max_level(log::Level::Off);
    log::set_sink({});
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<std::string> lines;
  std::vector<std::string> targets;
  std::vector<log::Level> levels;
};

}  // namespace velk::testing
