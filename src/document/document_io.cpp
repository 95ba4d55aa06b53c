#include "document/document_io.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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

std::string os_error_text(int error) {
  char buffer[256];
  // The GNU variant returns the text, which may or may not live in `buffer`.
  return std::string(strerror_r(error, buffer, sizeof buffer));
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool is_valid_utf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = p + text.size();
  while (p != end) {
    const unsigned char lead = *p;
    if (lead < 0x80) {
      ++p;
      continue;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (static_cast<std::size_t>(end - p) < length) return false;
    if (p[1] < low || p[1] > high) return false;
    for (std::size_t i = 2; i < length; ++i) {
      if (p[i] < 0x80 || p[i] > 0xBF) return false;
    }
    p += length;
  }
  return true;
}

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

Result<std::string> read_text_file(const std::string& path) {
  if (path.find('\0') != std::string::npos) {
    return std::unexpected("file name contained an unexpected NUL byte");
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::unexpected(os_error_text(errno));

  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count == 0) break;
    if (count < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      return std::unexpected(os_error_text(error));
    }
    text.append(buffer, static_cast<std::size_t>(count));
  }
  ::close(fd);

  if (!is_valid_utf8(text)) return std::unexpected("stream did not contain valid UTF-8");
  return text;
}

}  // namespace velk
