#include "document/document_io.hpp"

#include "document/json_reader.hpp"
#include "document/json_tokens.hpp"
#include "document/json_writer.hpp"

namespace velk {

Result<VELK> read_velk(std::string_view text) {
  const json::TokenStream tokens = json::tokenize(text);
  json::Reader reader(text, tokens);
  VELK model;
  if (!json::read_value(reader, model) || !reader.finish()) return std::unexpected(reader.error_message());
  return model;
}

namespace {

// Bytes reserved for the written text: the settings and tables, each member
// record, and each member's record in every stored case.
constexpr std::size_t text_reserve_base = 4096;
constexpr std::size_t text_reserve_per_member = 512;
constexpr std::size_t text_reserve_per_member_result = 640;

}  // namespace

std::string write_velk(const VELK& model) {
  // About what the model and its results take, so the text grows rarely.
  std::size_t records = 0;
  for (const MemberSet& set : model.member_sets) records += set.members.size();
  std::size_t results = 0;
  if (model.results) results = model.results->loadcases.size() + model.results->loadcombinations.size();
  std::string out;
  out.reserve(text_reserve_base +
              records * (text_reserve_per_member + text_reserve_per_member_result * results));
  json::write_value(out, model);
  return out;
}

}  // namespace velk
