#pragma once
// The records of the logging facade, captured while a capture lives: the
// facade admits records up to the given level and sends them here, and is
// switched off again when the capture goes.

#include <string>
#include <string_view>
#include <vector>

#include "base/log.hpp"

namespace velk::test_support {

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

  // The messages that contain `text`, in order.
  std::vector<std::string> containing(std::string_view text) const {
    std::vector<std::string> found;
    for (const std::string& line : lines) {
      if (line.find(text) != std::string::npos) found.push_back(line);
    }
    return found;
  }

  // The messages written to `target`, in order.
  std::vector<std::string> of_target(std::string_view target) const {
    std::vector<std::string> found;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (targets[i] == target) found.push_back(lines[i]);
    }
    return found;
  }

  std::vector<std::string> lines;
  std::vector<std::string> targets;
  std::vector<log::Level> levels;
};

}  // namespace velk::test_support
