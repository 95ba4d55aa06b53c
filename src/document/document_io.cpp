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
  // About what the model and its results take, so the text grows rarely.
  std::size_t records = 0;
  for (const MemberSet& set : model.member_sets) records += set.members.size();
  std::size_t results = 0;
  if (model.results) results = model.results->loadcases.size() + model.results->loadcombinations.size();
  std::string out;
  out.reserve(4096 + records * (512 + 640 * results));
  json::write_value(out, model);
  return out;
}

}  // namespace velk
