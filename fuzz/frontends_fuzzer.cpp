// A model document through the front ends a user reaches it by: the model
// check, the member diagrams at a station count taken from the input, the
// analysis summary and the HTML report. A message or an output, never a
// crash, a leak, undefined behaviour, a hang or an allocation of the size a
// hostile station count asks for.
//
// The input is an optional first line "#STATIONS" (any text after the '#',
// parsed as the command line parses it) and then the document; an input
// that starts with '{' is a document with the default stations, so the
// examples seed it as they are.

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/fault.hpp"
#include "inspection/inspection.hpp"
#include "report/html_report.hpp"

namespace {

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "front ends: %s\n", what.c_str());
  std::abort();
}

// A station count as text: a whole number, or anything else (which then
// stands for a hostile number the front ends must refuse).
int stations_of(std::string_view text) {
  long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return -1;
  if (value > 1'000'000'000L) return 1'000'000'000;
  if (value < -1'000'000'000L) return -1'000'000'000;
  return static_cast<int>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  int stations = velk::default_diagram_stations;
  if (input.starts_with('#')) {
    const std::size_t end = input.find('\n');
    stations = stations_of(input.substr(1, end == std::string_view::npos ? std::string_view::npos : end - 1));
    input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
  }
  // A count the diagrams take is taken as asked, and the diagrams of a
  // larger model at a hundred thousand stations are gigabytes: above the
  // fuzzer's memory limit, not a fault. Accepted counts go in at most as
  // 1001 (the envelope's largest), refused ones as they are.
  if (stations > 1001 && stations <= velk::max_diagram_stations) stations = 1001;
  try {
    const auto findings = velk::check_model(input);
    for (const velk::Finding& f : findings) {
      if (f.message.empty()) fail("a finding without a message");
    }
    if (velk::findings_to_json(findings).empty()) fail("empty findings JSON");

    const auto diagrams = velk::member_diagrams_json(input, stations);
    if (!diagrams && diagrams.error().empty()) fail("an empty diagrams message");
    // Only a count the diagrams accept may reach the writers.
    if (diagrams && (stations < 2 || stations > velk::max_diagram_stations))
      fail("a station count let through");

    const auto inspected = velk::inspect_model(input);
    if (!inspected) {
      if (inspected.error().empty()) fail("an empty inspection message");
      return 0;
    }
    if (!inspected->analysis_error) {
      (void)velk::analysis_summary(*inspected);
      (void)velk::diagrams_to_csv(*inspected, 3);
    }
    if (velk::report::report_html(*inspected).empty()) fail("an empty report");
  } catch (const velk::Fault&) {
    // The engine's internal fault: reported at the boundary, not a crash.
  }
  return 0;
}
