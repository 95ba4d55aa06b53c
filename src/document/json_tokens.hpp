#pragma once
// First pass of reading: the document's JSON syntax, checked by RapidJSON's
// iterative (non-recursive) SAX reader, turned into a flat list of tokens that
// remember where each one ends. The typed reader then walks the tokens, so a
// type error that comes before a syntax error in the text is the one reported.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velk::json {

// Containers nested deeper than this end the read.
inline constexpr int max_nesting_depth = 128;

enum class TokenKind : std::uint8_t {
  Null,
  True,
  False,
  Number,  // text holds the number's spelling as written
  String,  // text holds the decoded string
  Key,     // text holds the decoded key
  StartObject,
  EndObject,
  StartArray,
  EndArray,
};

struct Token {
  TokenKind kind;
  std::size_t text_begin = 0;  // into TokenStream::text
  std::size_t text_size = 0;
  std::size_t end_offset = 0;  // bytes of the document up to and including this token
};

struct SyntaxError {
  std::string message;
  std::size_t offset = 0;  // bytes of the document up to and including the offending character
};

struct TokenStream {
  std::vector<Token> tokens;
  std::string text;  // string contents and number spellings of all tokens
  // Set when the document is not well-formed JSON; every token before it is valid.
  std::optional<SyntaxError> error;

  std::string_view text_of(const Token& token) const {
    return std::string_view(text).substr(token.text_begin, token.text_size);
  }
};

TokenStream tokenize(std::string_view document);

// " at line L column C": L counted from 1, C the bytes of line L up to `offset`.
std::string position_suffix(std::string_view document, std::size_t offset);

}  // namespace velk::json
