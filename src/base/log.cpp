#include "base/log.hpp"

#include <atomic>
#include <mutex>
#include <utility>

namespace velk::log {
namespace {

// The facade's state is the only process-wide state of the engine.
std::atomic<Level> g_max_level{Level::Off};
std::mutex g_sink_mutex;
Sink g_sink;

}  // namespace

void set_max_level(Level level) { g_max_level.store(level, std::memory_order_relaxed); }

Level max_level() { return g_max_level.load(std::memory_order_relaxed); }

void set_sink(Sink sink) {
  const std::lock_guard lock(g_sink_mutex);
  g_sink = std::move(sink);
}

void emit(Level level, std::string_view target, std::string_view message) {
  const std::lock_guard lock(g_sink_mutex);
  if (g_sink) g_sink(Record{level, target, message});
}

}  // namespace velk::log
