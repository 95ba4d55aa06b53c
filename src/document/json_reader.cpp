#include "document/json_reader.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "base/message_format.hpp"

namespace velk::json {

// ---- numbers ----

bool parse_number(std::string_view spelling, Number& out) {
  const bool negative = !spelling.empty() && spelling.front() == '-';
  const bool integral = spelling.find_first_of(".eE") == std::string_view::npos;
  if (integral) {
    const std::string_view digits = negative ? spelling.substr(1) : spelling;
    std::uint64_t magnitude = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
    if (error == std::errc{} && end == digits.data() + digits.size()) {
      if (!negative) {
        out.kind = Number::Kind::Unsigned;
        out.unsigned_value = magnitude;
        return true;
      }
      constexpr std::uint64_t most_negative = std::uint64_t{1} << 63;
      if (magnitude != 0 && magnitude <= most_negative) {
        out.kind = Number::Kind::Negative;
        out.negative_value = magnitude == most_negative ? std::numeric_limits<std::int64_t>::min()
                                                        : -static_cast<std::int64_t>(magnitude);
        return true;
      }
      // -0 and integers beyond 64 bits are doubles.
    }
  }
  out.kind = Number::Kind::Float;
  const auto [end, error] =
      std::from_chars(spelling.data(), spelling.data() + spelling.size(), out.float_value);
  if (error == std::errc::result_out_of_range) {
    // Underflow reads as the nearest subnormal or zero; overflow is an error.
    const std::string copy(spelling);
    out.float_value = std::strtod(copy.c_str(), nullptr);
    return std::isfinite(out.float_value);
  }
  return error == std::errc{} && end == spelling.data() + spelling.size();
}

namespace {

// Rust-style debug spelling of a string inside a message.
void append_quoted(std::string& out, std::string_view text) {
  out.push_back('"');
  for (const char c : text) {
    switch (c) {
      case '"':
        out.append("\\\"");
        break;
      case '\\':
        out.append("\\\\");
        break;
      case '\n':
        out.append("\\n");
        break;
      case '\r':
        out.append("\\r");
        break;
      case '\t':
        out.append("\\t");
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
          static constexpr char hex[] = "0123456789abcdef";
          out.append("\\u{");
          if (static_cast<unsigned char>(c) >= 0x10) out.push_back(hex[static_cast<unsigned char>(c) >> 4]);
          out.push_back(hex[static_cast<unsigned char>(c) & 0xf]);
          out.push_back('}');
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
}

std::string describe_number(const Number& number) {
  switch (number.kind) {
    case Number::Kind::Unsigned:
      return format_message("integer `{}`", number.unsigned_value);
    case Number::Kind::Negative:
      return format_message("integer `{}`", number.negative_value);
    case Number::Kind::Float:
      break;
  }
  std::string digits = plain_decimal(number.float_value);
  if (digits.find('.') == std::string::npos) digits.append(".0");
  return format_message("floating point `{}`", digits);
}

// Reads the number under `token`; records "number out of range" when it does
// not fit a double.
bool number_of(Reader& reader, const Token& token, Number& out) {
  if (!parse_number(reader.text_of(token), out)) return reader.fail(token, "number out of range");
  return true;
}

template <class Unsigned>
bool read_unsigned(Reader& reader, Unsigned& out, std::string_view wanted) {
  const Token* token = reader.next();
  if (token == nullptr) return false;
  if (token->kind != TokenKind::Number) return reader.fail_type(*token, wanted);
  Number number;
  if (!number_of(reader, *token, number)) return false;
  switch (number.kind) {
    case Number::Kind::Unsigned:
      if (number.unsigned_value > std::numeric_limits<Unsigned>::max()) {
        return reader.fail(*token, format_message("invalid value: integer `{}`, expected {}",
                                                  number.unsigned_value, wanted));
      }
      out = static_cast<Unsigned>(number.unsigned_value);
      return true;
    case Number::Kind::Negative:
      return reader.fail(
          *token, format_message("invalid value: integer `{}`, expected {}", number.negative_value, wanted));
    case Number::Kind::Float:
      break;
  }
  return reader.fail(*token,
                     format_message("invalid type: {}, expected {}", describe_number(number), wanted));
}

double as_double(const Number& number) {
  switch (number.kind) {
    case Number::Kind::Unsigned:
      return static_cast<double>(number.unsigned_value);
    case Number::Kind::Negative:
      return static_cast<double>(number.negative_value);
    case Number::Kind::Float:
      break;
  }
  return number.float_value;
}

bool read_json_value(Reader& reader, const Token& token, JsonValue& out) {
  switch (token.kind) {
    case TokenKind::Null:
      out.value = nullptr;
      return true;
    case TokenKind::True:
      out.value = true;
      return true;
    case TokenKind::False:
      out.value = false;
      return true;
    case TokenKind::String:
      out.value = std::string(reader.text_of(token));
      return true;
    case TokenKind::Number: {
      Number number;
      if (!number_of(reader, token, number)) return false;
      switch (number.kind) {
        case Number::Kind::Unsigned:
          out.value = number.unsigned_value;
          break;
        case Number::Kind::Negative:
          out.value = number.negative_value;
          break;
        case Number::Kind::Float:
          out.value = number.float_value;
          break;
      }
      return true;
    }
    case TokenKind::StartArray: {
      JsonValue::Array array;
      for (;;) {
        const Token* element = reader.next();
        if (element == nullptr) return false;
        if (element->kind == TokenKind::EndArray) break;
        if (!read_json_value(reader, *element, array.emplace_back())) return false;
      }
      out.value = std::move(array);
      return true;
    }
    case TokenKind::StartObject: {
      // Nesting is bounded by the tokenizer, so recursion here is too.
      std::map<std::string, JsonValue> members;
      for (;;) {
        const Token* key = reader.next();
        if (key == nullptr) return false;
        if (key->kind == TokenKind::EndObject) break;
        const Token* value_token = reader.next();
        if (value_token == nullptr) return false;
        JsonValue value;
        if (!read_json_value(reader, *value_token, value)) return false;
        members.insert_or_assign(std::string(reader.text_of(*key)), std::move(value));
      }
      JsonValue::Object object;
      object.reserve(members.size());
      for (auto& member : members) object.emplace_back(member.first, std::move(member.second));
      out.value = std::move(object);
      return true;
    }
    default:
      return reader.fail(token, "expected value");
  }
}

}  // namespace

// ---- the reader ----

const Token* Reader::next() {
  const Token* token = peek();
  if (token != nullptr) {
    ++position_;
  } else if (!error_) {
    error_ = stream_.error;  // the tokens end where the syntax error is
    if (!error_) error_ = SyntaxError{"EOF while parsing a value", document_.size()};
  }
  return token;
}

const Token* Reader::peek() {
  if (error_ || position_ >= stream_.tokens.size()) return nullptr;
  return &stream_.tokens[position_];
}

bool Reader::fail(const Token& token, std::string message) {
  if (!error_) error_ = SyntaxError{std::move(message), token.end_offset};
  return false;
}

bool Reader::fail_type(const Token& token, std::string_view wanted) {
  Number number;
  if (token.kind == TokenKind::Number && !parse_number(text_of(token), number)) {
    return fail(token, "number out of range");
  }
  return fail(token, format_message("invalid type: {}, expected {}", describe_token(*this, token), wanted));
}

bool Reader::skip_value() {
  int depth = 0;
  do {
    const Token* token = next();
    if (token == nullptr) return false;
    switch (token->kind) {
      case TokenKind::StartObject:
      case TokenKind::StartArray:
        ++depth;
        break;
      case TokenKind::EndObject:
      case TokenKind::EndArray:
        --depth;
        break;
      default:
        break;
    }
  } while (depth > 0);
  return true;
}

bool Reader::finish() {
  if (error_) return false;
  if (position_ < stream_.tokens.size()) {
    return fail(stream_.tokens[position_], "trailing characters");
  }
  if (stream_.error) {
    error_ = stream_.error;
    return false;
  }
  return true;
}

std::string Reader::error_message() const {
  if (!error_) return {};
  return error_->message + position_suffix(document_, error_->offset);
}

std::string describe_token(const Reader& reader, const Token& token) {
  switch (token.kind) {
    case TokenKind::Null:
      return "null";
    case TokenKind::True:
      return "boolean `true`";
    case TokenKind::False:
      return "boolean `false`";
    case TokenKind::Number: {
      Number number;
      if (!parse_number(reader.text_of(token), number)) return "floating point `inf`";
      return describe_number(number);
    }
    case TokenKind::String:
    case TokenKind::Key: {
      std::string out = "string ";
      append_quoted(out, reader.text_of(token));
      return out;
    }
    case TokenKind::StartObject:
      return "map";
    case TokenKind::StartArray:
      return "sequence";
    default:
      return "end of container";
  }
}

std::string unknown_variant_message(std::string_view spelling, const std::string_view* accepted,
                                    std::size_t count) {
  std::string out = format_message("unknown variant `{}`, expected ", spelling);
  if (count == 1) return format_message("{}`{}`", out, accepted[0]);
  if (count == 2) return format_message("{}`{}` or `{}`", out, accepted[0], accepted[1]);
  out.append("one of ");
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) out.append(", ");
    out.append("`").append(accepted[i]).append("`");
  }
  return out;
}

// ---- primitive values ----

bool read_value(Reader& reader, std::uint32_t& out) { return read_unsigned(reader, out, "u32"); }

bool read_value(Reader& reader, std::uint64_t& out) { return read_unsigned(reader, out, "u64"); }

bool read_value(Reader& reader, double& out) {
  const Token* token = reader.next();
  if (token == nullptr) return false;
  if (token->kind != TokenKind::Number) return reader.fail_type(*token, "f64");
  Number number;
  if (!number_of(reader, *token, number)) return false;
  out = as_double(number);
  return true;
}

bool read_value(Reader& reader, bool& out) {
  const Token* token = reader.next();
  if (token == nullptr) return false;
  if (token->kind != TokenKind::True && token->kind != TokenKind::False)
    return reader.fail_type(*token, "a boolean");
  out = token->kind == TokenKind::True;
  return true;
}

bool read_value(Reader& reader, std::string& out) {
  const Token* token = reader.next();
  if (token == nullptr) return false;
  if (token->kind != TokenKind::String) return reader.fail_type(*token, "a string");
  out.assign(reader.text_of(*token));
  return true;
}

bool read_value(Reader& reader, Vec3& out) {
  constexpr std::string_view wanted = "a tuple of size 3";
  const Token* token = reader.next();
  if (token == nullptr) return false;
  if (token->kind != TokenKind::StartArray) return reader.fail_type(*token, wanted);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const Token* element = reader.peek();
    if (element == nullptr) return reader.next() != nullptr;
    if (element->kind == TokenKind::EndArray) {
      return reader.fail(*element, format_message("invalid length {}, expected {}", i, wanted));
    }
    if (!read_value(reader, out[i])) return false;
  }
  const Token* end = reader.next();
  if (end == nullptr) return false;
  if (end->kind != TokenKind::EndArray) return reader.fail(*end, "trailing characters");
  return true;
}

bool read_value(Reader& reader, JsonValue& out) {
  const Token* token = reader.next();
  if (token == nullptr) return false;
  return read_json_value(reader, *token, out);
}

bool read_value(Reader& reader, ResultType& out) {
  const auto& variants = result_type_variants;
  const auto kind_of = [&](const Token& token, ResultType::Kind& kind) {
    const std::string_view spelling = reader.text_of(token);
    if (spelling == variants[0]) {
      kind = ResultType::Kind::Loadcase;
    } else if (spelling == variants[1]) {
      kind = ResultType::Kind::Loadcombination;
    } else {
      return reader.fail(token, unknown_variant_message(spelling, variants.data(), variants.size()));
    }
    return true;
  };
  const Token* token = reader.next();
  if (token == nullptr) return false;
  if (token->kind == TokenKind::String) {
    // Both variants carry an id, so the bare name is never enough.
    ResultType::Kind kind{};
    if (!kind_of(*token, kind)) return false;
    return reader.fail(*token, "invalid type: unit variant, expected newtype variant");
  }
  if (token->kind != TokenKind::StartObject) return reader.fail(*token, "expected value");
  const Token* key = reader.next();
  if (key == nullptr) return false;
  if (key->kind != TokenKind::Key) return reader.fail(*key, "expected value");
  if (!kind_of(*key, out.kind) || !read_value(reader, out.id)) return false;
  const Token* end = reader.next();
  if (end == nullptr) return false;
  if (end->kind != TokenKind::EndObject) return reader.fail(*end, "expected value");
  return true;
}

bool read_map_key(Reader& reader, const Token& key, std::uint32_t& out) {
  const std::string_view text = reader.text_of(key);
  constexpr const char* not_a_number = "invalid value: expected key to be a number in quotes";
  if (text.empty() || !((text.front() >= '0' && text.front() <= '9') || text.front() == '-')) {
    return reader.fail(key, not_a_number);
  }
  // The longest prefix that is a JSON number must be the whole key.
  std::size_t end = text.front() == '-' ? 1 : 0;
  const auto digits_from = [&](std::size_t at) {
    std::size_t i = at;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    return i;
  };
  const std::size_t integer_end = digits_from(end);
  if (integer_end == end || (text[end] == '0' && integer_end > end + 1))
    return reader.fail(key, "invalid number");
  end = integer_end;
  if (end < text.size() && text[end] == '.') {
    const std::size_t fraction_end = digits_from(end + 1);
    if (fraction_end == end + 1) return reader.fail(key, "invalid number");
    end = fraction_end;
  }
  if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
    std::size_t at = end + 1;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    const std::size_t exponent_end = digits_from(at);
    if (exponent_end == at) return reader.fail(key, "invalid number");
    end = exponent_end;
  }
  if (end != text.size()) return reader.fail(key, not_a_number);

  Number number;
  if (!number_of(reader, key, number)) return false;
  switch (number.kind) {
    case Number::Kind::Unsigned:
      if (number.unsigned_value <= std::numeric_limits<std::uint32_t>::max()) {
        out = static_cast<std::uint32_t>(number.unsigned_value);
        return true;
      }
      return reader.fail(key,
                         format_message("invalid value: integer `{}`, expected u32", number.unsigned_value));
    case Number::Kind::Negative:
      return reader.fail(key,
                         format_message("invalid value: integer `{}`, expected u32", number.negative_value));
    case Number::Kind::Float:
      break;
  }
  return reader.fail(key, format_message("invalid type: {}, expected u32", describe_number(number)));
}

}  // namespace velk::json
