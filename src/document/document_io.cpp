#include "document/document_io.hpp"

#include "document/json_reader.hpp"
#include "document/json_tokens.hpp"
#include "document/json_writer.hpp"

namespace velk {

std::expected<VELK, std::string> read_velk(std::string_view text) {
  const json::TokenStream tokens = json::tokenize(text);
  json::Reader reader(text, tokens);
  VELK model;
  if (!json::read_value(reader, model) || !reader.finish()) return std::unexpected(reader.error_message());
  return model;
}

std::string write_velk(const VELK& model) {
  std::string out;
  out.reserve(128);
  json::write_value(out, model);
  return out;
}

}  // namespace velk
