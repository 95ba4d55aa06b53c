#pragma once
// The logging facade: records with a level and a target, handed to one sink.
// The maximum level starts switched off and no sink is installed, so nothing
// is produced unless the host sets the facade up. A record is formatted only
// when its level is admitted.

#include <functional>
#include <string>
#include <string_view>

#include "base/message_format.hpp"

namespace velk::log {

// Ordered from most to least severe; `Off` admits nothing.
enum class Level { Off = 0, Error = 1, Warning = 2, Info = 3, Debug = 4 };

struct Record {
  Level level;
  std::string_view target;
  std::string_view message;
};

using Sink = std::function<void(const Record&)>;

void set_max_level(Level level);
Level max_level();
// Installs the sink that receives admitted records; an empty function removes it.
void set_sink(Sink sink);

inline bool enabled(Level level) { return level != Level::Off && level <= max_level(); }

// Hands a finished record to the sink (if any). Callers check `enabled` first.
void emit(Level level, std::string_view target, std::string_view message);

// Formats `pattern` with `args` (see format_message) and emits it, but only
// when `level` is admitted; otherwise nothing is built.
template <class... Args>
void write(Level level, std::string_view target, std::string_view pattern, const Args&... args) {
  if (!enabled(level)) return;
  const std::string message = format_message(pattern, args...);
  emit(level, target, message);
}

template <class... Args>
void info(std::string_view target, std::string_view pattern, const Args&... args) {
  write(Level::Info, target, pattern, args...);
}
template <class... Args>
void warning(std::string_view target, std::string_view pattern, const Args&... args) {
  write(Level::Warning, target, pattern, args...);
}
template <class... Args>
void debug(std::string_view target, std::string_view pattern, const Args&... args) {
  write(Level::Debug, target, pattern, args...);
}

inline constexpr std::string_view analysis_target = "velk_calculations::analysis";
inline constexpr std::string_view results_target = "velk_calculations::functions::results";
inline constexpr std::string_view model_target = "velk_calculations::models::velk::velk";
inline constexpr std::string_view diagnostics_target = "velk::diagnostics";

}  // namespace velk::log
