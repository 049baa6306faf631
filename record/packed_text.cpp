#include "record/packed_text.h"

#include <algorithm>
#include <array>

#include "ui/utf8.h"

namespace packed {
namespace {

constexpr char32_t kFirstCyrillic = U'А';
constexpr char32_t kLastCyrillic = U'Я';

// Six-bit character of each capital А..Я, in alphabet order. Ъ and Ь share '<'.
constexpr std::array<char, 32> kCyrillicToPacked = {
    'A', '!', 'B', '"', ']', 'E', '#', '>',   // А Б В Г Д Е Ж З
    '%', '&', 'K', '\'', 'M', 'H', 'O', '(',  // И Й К Л М Н О П
    'P', 'C', 'T', ')', ',', 'X', '^', ':',   // Р С Т У Ф Х Ц Ч
    ';', '_', '<', '=', '<', '$', '[', '\\',  // Ш Щ Ъ Ы Ь Э Ю Я
};

// The reverse direction; later entries win, so '<' reads back as Ь.
constexpr std::array<char32_t, 64> MakePackedToCyrillic() {
  std::array<char32_t, 64> table{};
  for (std::size_t i = 0; i < kCyrillicToPacked.size(); ++i)
    table[static_cast<unsigned char>(kCyrillicToPacked[i]) - 0x20] =
        kFirstCyrillic + static_cast<char32_t>(i);
  return table;
}
constexpr std::array<char32_t, 64> kPackedToCyrillic = MakePackedToCyrillic();

constexpr std::uint8_t kSpace = 0x20;

char ToAscii(std::uint32_t code) {
  return static_cast<char>(code < 0x20 ? code + 0x40 : code);
}

std::uint8_t ToCode(char32_t cp) {
  if (cp >= kFirstCyrillic && cp <= kLastCyrillic)
    cp = static_cast<unsigned char>(kCyrillicToPacked[cp - kFirstCyrillic]);
  return static_cast<std::uint8_t>(cp & 0x3F);
}

}  // namespace

std::string DecodeRaw(std::span<const std::uint8_t> bytes, std::size_t n) {
  // Each character needs six whole bits of the input: 4 per 3 bytes, 1 or 2 from a tail.
  const std::size_t available = bytes.size() / 3 * 4 + bytes.size() % 3 * 4 / 3;
  const std::size_t count = std::min(n, available);
  std::string text;
  text.reserve(count);
  for (std::size_t group = 0; text.size() < count; group += 3) {
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < 3; ++k)
      v = v << 8 | (group + k < bytes.size() ? bytes[group + k] : 0u);
    for (int shift = 18; shift >= 0 && text.size() < count; shift -= 6)
      text.push_back(ToAscii((v >> shift) & 0x3F));
  }
  return text;
}

std::string DecodeForDisplay(std::span<const std::uint8_t> bytes, std::size_t n) {
  std::u32string text;
  for (char c : DecodeRaw(bytes, n)) {
    const char32_t cyrillic = kPackedToCyrillic[static_cast<unsigned char>(c) - 0x20];
    text.push_back(cyrillic != 0 ? cyrillic : static_cast<char32_t>(c));
  }
  return ui::utf8::Encode(text);
}

void EncodeFromEntry(std::string_view utf8Text, std::size_t n, std::span<std::uint8_t> out) {
  // 3n/4, written so that no n can overflow it.
  const std::size_t length = std::min(n / 4 * 3 + n % 4 * 3 / 4, out.size());
  const std::size_t used = std::min(n, (length + 2) / 3 * 4);
  const std::u32string entry = ui::utf8::Decode(ui::utf8::Left(utf8Text, used));
  const auto code = [&entry](std::size_t i) -> std::uint32_t {
    return i < entry.size() ? ToCode(entry[i]) : kSpace;
  };
  for (std::size_t group = 0; group * 3 < length; ++group) {
    const std::size_t first = group * 4;
    const std::uint32_t v = code(first) << 18 | code(first + 1) << 12 | code(first + 2) << 6 |
                            code(first + 3);
    for (std::size_t k = 0; k < 3 && group * 3 + k < length; ++k)
      out[group * 3 + k] = static_cast<std::uint8_t>(v >> (16 - 8 * k));
  }
}

}  // namespace packed
