#pragma once
// `velk report FILE.json [-o REPORT.html]`: the HTML report of a model or of
// an analysed document.

#include <expected>
#include <optional>
#include <string>

#include "base/result.hpp"
#include "system/model_validation.hpp"

namespace velk::cli {

extern const char* const report_help;

// Reads the file, analyses it when it carries no results, and writes the
// page to `output` or, without one, to standard output. Fails with the
// message of an unreadable file, of a text that is no model document or of
// an output that cannot be written; a model that cannot be analysed still
// gets its page (the model and the message) and the engine's message is
// returned beside it.
// With `modes`, the page ends with that many natural modes (a modal
// analysis that fails shows its message there and is returned the same way).
Result<std::optional<std::string>> write_report(const std::string& file,
                                                const std::optional<std::string>& output,
                                                std::optional<int> modes = std::nullopt,
                                                const MemberLimit& limit = {});

}  // namespace velk::cli
