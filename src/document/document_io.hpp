#pragma once
// Reading a model document from JSON text and writing it back, and reading
// the text from a file.

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

// Reads a whole file as UTF-8 text. Failures carry the operating system's
// description ("No such file or directory"), or say that the bytes are not
// UTF-8 or that the path holds a NUL byte.
Result<std::string> read_text_file(const std::string& path);

}  // namespace velk
