#include "support/unicode.hpp"

#include <unicode/bytestream.h>
#include <unicode/casemap.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <new>

#include "support/internal_failure.hpp"

namespace morvane {
namespace {

bool is_ascii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

void check(UErrorCode status, const char* what) {
  if (status == U_MEMORY_ALLOCATION_ERROR) throw std::bad_alloc();
  if (U_FAILURE(status)) throw InternalFailure(std::string(what) + ": " + u_errorName(status));
}

// ICU takes at most INT32_MAX bytes at a time: longer texts are mapped in pieces cut at
// a code point boundary (casing context does not reach across a gigabyte).
template <class Map>
void map_case(std::string_view text, std::string& out, Map map) {
  constexpr std::size_t kPiece = std::size_t{1} << 30;
  while (!text.empty()) {
    std::size_t n = std::min(text.size(), kPiece);
    while (n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    icu::StringByteSink<std::string> sink(&out);
    UErrorCode status = U_ZERO_ERROR;
    map(icu::StringPiece(text.data(), static_cast<int32_t>(n)), sink, status);
    check(status, "case mapping failed");
    text.remove_prefix(n);
  }
}

template <char From, char To>
std::string ascii_case(std::string_view text) {
  std::string out(text.size(), '\0');
  std::transform(text.begin(), text.end(), out.begin(),
                 [](char c) { return (c >= From && c <= To) ? static_cast<char>(c ^ 0x20) : c; });
  return out;
}

}  // namespace

std::string to_lower(std::string_view text) {
  if (is_ascii(text)) return ascii_case<'A', 'Z'>(text);
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  map_case(text, out, [](icu::StringPiece piece, icu::ByteSink& sink, UErrorCode& status) {
    icu::CaseMap::utf8ToLower("", 0, piece, sink, nullptr, status);
  });
  return out;
}

std::string to_upper(std::string_view text) {
  if (is_ascii(text)) return ascii_case<'a', 'z'>(text);
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  map_case(text, out, [](icu::StringPiece piece, icu::ByteSink& sink, UErrorCode& status) {
    icu::CaseMap::utf8ToUpper("", 0, piece, sink, nullptr, status);
  });
  return out;
}

bool is_white_space(char32_t c) {
  if (c < 0x80) return c == ' ' || (c >= 0x09 && c <= 0x0D);
  return u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_WHITE_SPACE);
}

Decoded decode_utf8(std::string_view text, std::size_t pos) {
  // A code point is at most 4 bytes: decode from a window, so any text size works.
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data()) + pos;
  const auto length = static_cast<int32_t>(std::min<std::size_t>(text.size() - pos, 4));
  int32_t i = 0;
  UChar32 c;
  U8_NEXT(bytes, i, length, c);
  if (c < 0) return {0xFFFD, 1};
  return {static_cast<char32_t>(c), static_cast<std::size_t>(i)};
}

std::string_view trim_white_space(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size()) {
    const Decoded d = decode_utf8(text, begin);
    if (!is_white_space(d.code_point)) break;
    begin += d.length;
  }
  std::size_t end = text.size();
  while (end > begin) {
    // Step back to the start of the last code point.
    std::size_t start = end - 1;
    while (start > begin && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80 && end - start < 4) {
      --start;
    }
    const Decoded d = decode_utf8(text, start);
    if (start + d.length != end || !is_white_space(d.code_point)) break;
    end = start;
  }
  return text.substr(begin, end - begin);
}

}  // namespace morvane
