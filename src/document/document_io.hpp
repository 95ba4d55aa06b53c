#pragma once
// Reading a model document from JSON text and writing it back.

#include <expected>
#include <string>
#include <string_view>

#include "base/result.hpp"
#include "document/velk.hpp"

namespace velk {

// Reads a whole model document. On failure the message is the JSON reader's,
// ending with " at line L column C".
Result<VELK> read_velk(std::string_view text);

// Writes the model as compact JSON: fields in record order, absent optional
// values as null, maps in key order, doubles in shortest round-trip form.
std::string write_velk(const VELK& model);

}  // namespace velk
