#include "ui/utf8.h"

namespace ui::utf8 {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Length of a valid sequence starting at `i`, or 0 when the bytes there are not one.
std::size_t SequenceAt(std::string_view s, std::size_t i, char32_t& out) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    out = b0;
    return 1;
  }
  std::size_t n = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    n = 2; cp = b0 & 0x1F; min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    n = 3; cp = b0 & 0x0F; min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    n = 4; cp = b0 & 0x07; min = 0x10000;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  out = cp;
  return n;
}

}  // namespace

std::u32string Decode(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    const std::size_t n = SequenceAt(text, i, cp);
    if (n == 0) {
      out.push_back(kReplacement);
      ++i;
    } else {
      out.push_back(cp);
      i += n;
    }
  }
  return out;
}

std::string Encode(char32_t cp) {
  std::string out;
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
  return out;
}

std::string Encode(std::u32string_view codePoints) {
  std::string out;
  out.reserve(codePoints.size());
  for (char32_t cp : codePoints) out += Encode(cp);
  return out;
}

std::size_t Length(std::string_view text) { return Decode(text).size(); }

std::string Left(std::string_view text, std::size_t count) {
  std::size_t i = 0;
  for (std::size_t taken = 0; taken < count && i < text.size(); ++taken) {
    char32_t cp = 0;
    const std::size_t n = SequenceAt(text, i, cp);
    i += n == 0 ? 1 : n;
  }
  return std::string(text.substr(0, i));
}

std::string ToUpper(std::string_view text) {
  std::u32string cps = Decode(text);
  for (char32_t& cp : cps) {
    if (cp >= U'a' && cp <= U'z') cp -= 0x20;
    else if (cp >= U'а' && cp <= U'я') cp -= 0x20;
    else if (cp == U'ё') cp = U'Ё';
  }
  return Encode(cps);
}

}  // namespace ui::utf8
