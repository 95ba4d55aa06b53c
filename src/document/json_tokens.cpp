#include "document/json_tokens.hpp"

#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <cstring>

#include "base/message_format.hpp"

namespace velk::json {
namespace {

using rapidjson::SizeType;

// Whether the bytes hold the three-byte form of a surrogate (ED A0..BF ..).
bool holds_surrogate(std::string_view bytes) {
  for (std::size_t at = bytes.find('\xED'); at != std::string_view::npos; at = bytes.find('\xED', at + 1)) {
    if (at + 1 < bytes.size() && static_cast<unsigned char>(bytes[at + 1]) >= 0xA0) return true;
  }
  return false;
}

// Receives RapidJSON's events and appends one token per event. RapidJSON calls
// the container events before it takes the bracket and every other event after
// the token, which is what `end_offset` accounts for.
class TokenCollector : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, TokenCollector> {
 public:
  TokenCollector(TokenStream& out, const rapidjson::MemoryStream& stream, bool has_unicode_escapes)
      : out_(out), stream_(stream), has_unicode_escapes_(has_unicode_escapes) {}

  bool Null() { return push(TokenKind::Null); }
  bool Bool(bool value) { return push(value ? TokenKind::True : TokenKind::False); }
  bool RawNumber(const char* text, SizeType length, bool) {
    return push_text(TokenKind::Number, text, length);
  }
  bool String(const char* text, SizeType length, bool) { return push_text(TokenKind::String, text, length); }
  bool Key(const char* text, SizeType length, bool) { return push_text(TokenKind::Key, text, length); }
  bool StartObject() { return open(TokenKind::StartObject); }
  bool StartArray() { return open(TokenKind::StartArray); }
  bool EndObject(SizeType) { return close(TokenKind::EndObject); }
  bool EndArray(SizeType) { return close(TokenKind::EndArray); }

  // The reason the collector stopped the parse, when it did.
  std::optional<SyntaxError> stop;

 private:
  bool push(TokenKind kind) {
    out_.tokens.push_back(Token{kind, 0, 0, stream_.Tell()});
    return true;
  }

  bool push_text(TokenKind kind, const char* text, SizeType length) {
    // A \uDC00-style escape without its partner decodes to a surrogate code
    // point, which has no UTF-8 form; RapidJSON lets a lone low surrogate
    // through. Only an escape can produce one: the text itself is UTF-8.
    if (has_unicode_escapes_ && holds_surrogate(std::string_view(text, length))) {
      stop = SyntaxError{"invalid escape", stream_.Tell()};
      return false;
    }
    const std::size_t begin = out_.text.size();
    out_.text.append(text, length);
    out_.tokens.push_back(Token{kind, begin, length, stream_.Tell()});
    return true;
  }

  bool open(TokenKind kind) {
    if (++depth_ > max_nesting_depth) {
      stop = SyntaxError{"recursion limit exceeded", stream_.Tell() + 1};
      return false;
    }
    out_.tokens.push_back(Token{kind, 0, 0, stream_.Tell() + 1});
    return true;
  }

  bool close(TokenKind kind) {
    --depth_;
    out_.tokens.push_back(Token{kind, 0, 0, stream_.Tell() + 1});
    return true;
  }

  TokenStream& out_;
  const rapidjson::MemoryStream& stream_;
  bool has_unicode_escapes_;
  int depth_ = 0;
};

// The message for one of RapidJSON's error codes. `at_end` tells whether the
// document ended where the error was found.
std::string syntax_message(rapidjson::ParseErrorCode code, bool at_end, unsigned char offending) {
  using namespace rapidjson;
  switch (code) {
    case kParseErrorDocumentEmpty:
    case kParseErrorValueInvalid:
    case kParseErrorNumberMissFraction:
    case kParseErrorNumberMissExponent:
      if (at_end) return "EOF while parsing a value";
      if (code == kParseErrorValueInvalid || code == kParseErrorDocumentEmpty) return "expected value";
      return "invalid number";
    case kParseErrorDocumentRootNotSingular:
      return "trailing characters";
    case kParseErrorObjectMissName:
      return at_end ? "EOF while parsing an object" : "key must be a string";
    case kParseErrorObjectMissColon:
      return at_end ? "EOF while parsing an object" : "expected `:`";
    case kParseErrorObjectMissCommaOrCurlyBracket:
      return at_end ? "EOF while parsing an object" : "expected `,` or `}`";
    case kParseErrorArrayMissCommaOrSquareBracket:
      return at_end ? "EOF while parsing a list" : "expected `,` or `]`";
    case kParseErrorStringUnicodeEscapeInvalidHex:
    case kParseErrorStringUnicodeSurrogateInvalid:
    case kParseErrorStringEscapeInvalid:
    case kParseErrorStringMissQuotationMark:
    case kParseErrorStringInvalidEncoding:
      if (at_end) return "EOF while parsing a string";
      // RapidJSON reports a raw control character as a bad escape.
      if (offending < 0x20) return "control character (\\u0000-\\u001F) found while parsing a string";
      if (code == kParseErrorStringInvalidEncoding) return "invalid unicode code point";
      return "invalid escape";
    case kParseErrorNumberTooBig:
      return "number out of range";
    default:
      return at_end ? "EOF while parsing a value" : "expected value";
  }
}

}  // namespace

TokenStream tokenize(std::string_view document) {
  TokenStream out;
  out.tokens.reserve(document.size() / 6 + 16);
  out.text.reserve(document.size() / 2 + 16);

  rapidjson::MemoryStream stream(document.data(), document.size());
  TokenCollector collector(out, stream, document.find("\\u") != std::string_view::npos);
  rapidjson::Reader reader;
  constexpr unsigned flags = rapidjson::kParseIterativeFlag | rapidjson::kParseNumbersAsStringsFlag;
  const rapidjson::ParseResult result = reader.Parse<flags>(stream, collector);

  if (result.IsError()) {
    if (result.Code() == rapidjson::kParseErrorTermination && collector.stop) {
      out.error = std::move(collector.stop);
      return out;
    }
    const std::size_t at = std::min(result.Offset(), document.size());
    const bool at_end = at >= document.size();
    const unsigned char offending = at_end ? 0 : static_cast<unsigned char>(document[at]);
    out.error = SyntaxError{syntax_message(result.Code(), at_end, offending), at_end ? at : at + 1};
  } else if (stream.Tell() < document.size()) {
    // RapidJSON stops at a NUL byte as if the document ended there.
    out.error = SyntaxError{"trailing characters", stream.Tell() + 1};
  }
  return out;
}

std::string position_suffix(std::string_view document, std::size_t offset) {
  offset = std::min(offset, document.size());
  const std::string_view before = document.substr(0, offset);
  const std::size_t line = static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n')) + 1;
  const std::size_t last_newline = before.rfind('\n');
  const std::size_t column = last_newline == std::string_view::npos ? offset : offset - last_newline - 1;
  return format_message(" at line {} column {}", line, column);
}

}  // namespace velk::json
