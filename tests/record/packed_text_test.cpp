#include "record/packed_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ui/utf8.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Encode(std::string_view text, std::size_t n) {
  Bytes out(n * 3 / 4, 0xEE);
  packed::EncodeFromEntry(text, n, out);
  return out;
}

std::string Utf8(std::u32string_view codePoints) { return ui::utf8::Encode(codePoints); }

TEST(PackedText, FourCharactersPackIntoThreeBytesFirstHighest) {
  EXPECT_EQ(Encode("    ", 4), (Bytes{0x82, 0x08, 0x20}));
  EXPECT_EQ(Encode("ABCD", 4), (Bytes{0x04, 0x20, 0xC4}));
  EXPECT_EQ(packed::DecodeRaw(Bytes{0x04, 0x20, 0xC4}, 4), "ABCD");
  // Latin A, B, C stand for Cyrillic А, В, С; D has no Cyrillic partner.
  EXPECT_EQ(packed::DecodeForDisplay(Bytes{0x04, 0x20, 0xC4}, 4), Utf8(U"\u0410\u0412\u0421D"));
}

TEST(PackedText, RawDecodingCoversTheWholeSixBitAlphabet) {
  EXPECT_EQ(packed::DecodeRaw(Bytes{0x00, 0x00, 0x00}, 4), "@@@@");
  EXPECT_EQ(packed::DecodeRaw(Bytes{0xFF, 0xFF, 0xFF}, 4), "????");
  // Codes 0x1F, 0x20, 0x3F, 0x01: both sides of the 0x20 boundary and both ends.
  EXPECT_EQ(packed::DecodeRaw(Bytes{0x7E, 0x0F, 0xC1}, 4), "_ ?A");
  EXPECT_EQ(packed::DecodeRaw(Bytes{0x04, 0x20, 0xC4, 0x82, 0x08, 0x20}, 8), "ABCD    ");
  EXPECT_EQ(packed::DecodeRaw(Bytes{0x04, 0x20, 0xC4, 0x82, 0x08, 0x20}, 4), "ABCD");
  EXPECT_EQ(packed::DecodeRaw(Bytes{0x04, 0x20, 0xC4}, 0), "");
}

TEST(PackedText, CannedTransmitterTextsDecodeRaw) {
  EXPECT_EQ(packed::DecodeRaw(Bytes{0x41, 0x0C, 0x71, 0xCF, 0x3D, 0x20}, 8), "PP11334 ");
  const Bytes message{0x2C, 0xF4, 0x96, 0x04, 0xC1, 0x4E, 0x82, 0xD8, 0x14, 0x40, 0x7D, 0x31,
                      0xC3, 0x08, 0x20, 0x82, 0x08, 0x20, 0x82, 0x08, 0x20, 0x82, 0x08, 0x20};
  EXPECT_EQ(packed::DecodeRaw(message, 32), "KORVALEN - TPG4100" + std::string(14, ' '));
  const Bytes descriptor{0x23, 0x24, 0xF0, 0xD2, 0x08, 0x20,
                         0x82, 0x08, 0x20, 0x82, 0x08, 0x20};
  EXPECT_EQ(packed::DecodeRaw(descriptor, 16), "H2S04" + std::string(11, ' '));
}

TEST(PackedText, ShortEntryIsPaddedAndLongEntryCutInCodePoints) {
  EXPECT_EQ(Encode("AB123", 8), Encode("AB123   ", 8));
  EXPECT_EQ(packed::DecodeRaw(Encode("AB123", 8), 8), "AB123   ");
  EXPECT_EQ(Encode("", 8), (Bytes{0x82, 0x08, 0x20, 0x82, 0x08, 0x20}));
  EXPECT_EQ(packed::DecodeRaw(Encode("ABCDEFGHIJ", 8), 8), "ABCDEFGH");
  // Each Ж is two bytes of UTF-8 but one character of the field.
  EXPECT_EQ(packed::DecodeRaw(Encode("ЖЖЖЖЖЖЖЖЖЖ", 8), 8), "########");
  EXPECT_EQ(packed::DecodeForDisplay(Encode("ЖЖЖЖЖЖЖЖЖЖ", 8), 8), "ЖЖЖЖЖЖЖЖ");
}

TEST(PackedText, HardAndSoftSignShareOneCodeThatReadsBackAsSoftSign) {
  const Bytes stored = Encode("ЪЬ", 8);
  EXPECT_EQ(packed::DecodeRaw(stored, 8), "<<      ");
  EXPECT_EQ(packed::DecodeForDisplay(stored, 8), "ЬЬ      ");
}

TEST(PackedText, EveryCyrillicCapitalSurvivesEntryAndDisplay) {
  std::u32string all;
  for (char32_t cp = U'А'; cp <= U'Я'; ++cp) all.push_back(cp);
  ASSERT_EQ(all.size(), 32u);
  std::u32string expected = all;
  expected[U'Ъ' - U'А'] = U'Ь';
  EXPECT_EQ(packed::DecodeForDisplay(Encode(Utf8(all), 32), 32), Utf8(expected));

  // Each capital alone, so that no two of them can collide unnoticed.
  for (char32_t cp : all) {
    const char32_t back = cp == U'Ъ' ? U'Ь' : cp;
    EXPECT_EQ(packed::DecodeForDisplay(Encode(Utf8(std::u32string(1, cp)), 4), 4),
              Utf8(std::u32string(1, back)) + "   ")
        << static_cast<std::uint32_t>(cp);
  }
}

// The substitution pinned by its codes: a round trip alone cannot tell two swapped entries apart.
TEST(PackedText, EachCyrillicCapitalTravelsAsItsOwnSixBitCharacter) {
  const std::pair<const char*, char> table[] = {
      {"А", 'A'}, {"Б", '!'}, {"В", 'B'}, {"Г", '"'}, {"Д", ']'},  {"Е", 'E'}, {"Ж", '#'},
      {"З", '>'}, {"И", '%'}, {"Й", '&'}, {"К", 'K'}, {"Л", '\''}, {"М", 'M'}, {"Н", 'H'},
      {"О", 'O'}, {"П", '('}, {"Р", 'P'}, {"С", 'C'}, {"Т", 'T'},  {"У", ')'}, {"Ф", ','},
      {"Х", 'X'}, {"Ц", '^'}, {"Ч", ':'}, {"Ш", ';'}, {"Щ", '_'},  {"Ъ", '<'}, {"Ы", '='},
      {"Ь", '<'}, {"Э", '$'}, {"Ю", '['}, {"Я", '\\'},
  };
  ASSERT_EQ(std::size(table), 32u);
  for (const auto& [capital, code] : table) {
    const std::string sent = std::string(1, code) + "   ";
    EXPECT_EQ(packed::DecodeRaw(Encode(capital, 4), 4), sent) << capital;
    // The six-bit character, packed by hand, shows as its capital (Ъ's code as Ь).
    const std::uint32_t v = (code & 0x3Fu) << 18 | 0x20u << 12 | 0x20u << 6 | 0x20u;
    const Bytes bytes{static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
                      static_cast<std::uint8_t>(v)};
    const std::string shown = std::string_view(capital) == "Ъ" ? "Ь" : capital;
    EXPECT_EQ(packed::DecodeForDisplay(bytes, 4), shown + "   ") << capital;
  }
}

TEST(PackedText, CharactersWithoutCyrillicPartnerPassUnchanged) {
  const std::string plain = "DFGIJLNQRSUVWYZ0123456789*+-./?@";
  ASSERT_EQ(plain.size(), 32u);
  const Bytes stored = Encode(plain, 32);
  EXPECT_EQ(packed::DecodeRaw(stored, 32), plain);
  EXPECT_EQ(packed::DecodeForDisplay(stored, 32), plain);
}

TEST(PackedText, CharactersOutsideTheAlphabetFoldOntoTheirLowSixBits) {
  EXPECT_EQ(packed::DecodeRaw(Encode("a", 4), 4), "!   ");       // 0x61
  EXPECT_EQ(packed::DecodeRaw(Encode("~", 4), 4), ">   ");       // 0x7E
  EXPECT_EQ(packed::DecodeRaw(Encode("а", 4), 4), "0   ");       // U+0430, lower-case а
  EXPECT_EQ(packed::DecodeRaw(Encode("Ё", 4), 4), "A   ");       // U+0401, no entry
  EXPECT_EQ(packed::DecodeRaw(Encode("\xFF", 4), 4), "=   ");     // U+FFFD
  EXPECT_EQ(packed::DecodeRaw(Encode("\t", 4), 4), "I   ");      // 0x09
  EXPECT_EQ(packed::DecodeRaw(Encode(std::string(1, '\0'), 4), 4), "@   ");
}

TEST(PackedText, MalformedUtf8EntryIsHandled) {
  for (const std::string text : {"\xC3", "\xE2\x82", "\xF0\x9F\x98", "\xED\xA0\x80", "\xC0\xAF",
                                 "AB\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80", "\xF4\x90\x80\x80"}) {
    const Bytes stored = Encode(text, 8);
    EXPECT_EQ(stored.size(), 6u);
    EXPECT_EQ(packed::DecodeRaw(stored, 8).size(), 8u);
  }
  // One replacement character per offending byte, each a character of the field.
  EXPECT_EQ(packed::DecodeRaw(Encode(std::string(100, '\xFF'), 8), 8), "========");
  EXPECT_EQ(packed::DecodeRaw(Encode("\xC3Ж", 8), 8), "=#      ");
}

TEST(PackedText, BuffersShorterThanTheFieldAreNeitherOverrunNorOverread) {
  const Bytes full = Encode("ABCDEFGH", 8);
  Bytes part(4, 0xEE);
  packed::EncodeFromEntry("ABCDEFGH", 8, part);
  EXPECT_EQ(part, Bytes(full.begin(), full.begin() + 4));

  Bytes none;
  packed::EncodeFromEntry("ABCDEFGH", 8, none);
  Bytes six(6, 0xEE);
  packed::EncodeFromEntry("AB", std::numeric_limits<std::size_t>::max(), six);
  EXPECT_EQ(packed::DecodeRaw(six, 8), "AB      ");

  // Only characters whose six bits are all present come out.
  EXPECT_EQ(packed::DecodeRaw(Bytes(full.begin(), full.begin() + 4), 8), "ABCDE");
  EXPECT_EQ(packed::DecodeRaw(Bytes(full.begin(), full.begin() + 2), 8), "AB");
  EXPECT_EQ(packed::DecodeRaw(Bytes(full.begin(), full.begin() + 1), 8), "A");
  EXPECT_EQ(packed::DecodeRaw(Bytes{}, 8), "");
  EXPECT_EQ(packed::DecodeForDisplay(Bytes(full.begin(), full.begin() + 4), 8), "АВСDЕ");
}

}  // namespace
