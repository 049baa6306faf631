// UTF-8 helpers: text in memory is UTF-8, while limits and packed text count code points.
#pragma once

#include <string>
#include <string_view>

namespace ui::utf8 {

// Invalid or truncated sequences decode as U+FFFD, one per offending byte.
std::u32string Decode(std::string_view text);
std::string Encode(std::u32string_view codePoints);
std::string Encode(char32_t codePoint);

std::size_t Length(std::string_view text);
// The first `count` code points of the text (all of it when shorter).
std::string Left(std::string_view text, std::size_t count);
// Latin a-z, Cyrillic а-я and ё to capitals; everything else unchanged.
std::string ToUpper(std::string_view text);

}  // namespace ui::utf8
