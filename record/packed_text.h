// HART packed ASCII: four six-bit characters in three bytes, first character highest.
// Russian capitals travel as Latin look-alikes or as punctuation of the six-bit alphabet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace packed {

// n characters of the six-bit alphabet (ASCII 0x20..0x5F), trailing spaces kept. A span
// shorter than 3n/4 bytes yields only the characters whose six bits it holds completely.
std::string DecodeRaw(std::span<const std::uint8_t> bytes, std::size_t n);

// DecodeRaw, then the substitution back to Cyrillic capitals; UTF-8.
std::string DecodeForDisplay(std::span<const std::uint8_t> bytes, std::size_t n);

// Packs the first n code points of the entry, padded with spaces, into 3n/4 bytes (no more
// than `out` holds). Code points outside the alphabet fold onto their low six bits.
void EncodeFromEntry(std::string_view utf8Text, std::size_t n, std::span<std::uint8_t> out);

}  // namespace packed
