#pragma once
// What must hold for any input text, shared by the fuzz targets and by the
// test that replays the inputs they once failed on. Each check returns a
// description of what went wrong, or nothing when the input was handled.

#include <optional>
#include <string>
#include <string_view>

#include "analysis/driver.hpp"
#include "base/fault.hpp"
#include "document/document_io.hpp"

namespace velk::test_support {

// A reading failure names where it happened: " at line L column C".
inline bool names_position(std::string_view message) {
  const auto line = message.rfind(" at line ");
  return line != std::string_view::npos && message.find(" column ", line) != std::string_view::npos;
}

// Any bytes: either the reader's message, or a document whose written text
// reads again and writes to the same text.
inline std::optional<std::string> document_round_trip_failure(std::string_view bytes) {
  const auto model = read_velk(bytes);
  if (!model) {
    if (!names_position(model.error())) return "reading message without position: " + model.error();
    return std::nullopt;
  }
  const std::string first = write_velk(*model);
  const auto again = read_velk(first);
  if (!again) return "the written document does not read again: " + again.error() + "\n" + first;
  const std::string second = write_velk(*again);
  if (second != first) return "the document reads back differently:\n" + first + "\n" + second;
  return std::nullopt;
}

// Any bytes through the whole analysis: a message, the engine's fault, or a
// result document that reads again (a non-finite number in it would be
// written as null, which does not read back where a number is required).
inline std::optional<std::string> analysis_failure(std::string_view bytes) {
  std::expected<std::string, std::string> result;
  try {
    result = calculate_from_json(bytes);
  } catch (const Fault&) {
    return std::nullopt;
  }
  if (!result) {
    if (result.error().empty()) return "an empty message";
    return std::nullopt;
  }
  const auto written = read_velk(*result);
  if (!written) return "the result does not read again: " + written.error() + "\n" + *result;
  return std::nullopt;
}

}  // namespace velk::test_support
