// How value fields write and read numbers. Both directions ignore the process locale: a Russian
// desktop still shows a decimal point, and reads a point or a comma.
#pragma once

#include <string>
#include <string_view>

namespace config {

// Rounds v to the step of its magnitude class (with the 0.4 threshold) and writes it fixed-point
// with the class's decimals, left-aligned and padded with blanks to 10 characters.
// Non-finite values show as "inf", "-inf" and "nan", padded the same way.
std::string ShowValueText(float v);

// Reads the leading decimal number of the text: blanks, optional sign, digits with an optional
// point or comma (both mean the decimal point), optional exponent. Anything after that is
// ignored; text without a number reads as 0.
// The result is the nearest float; beyond the float range it is an infinity or a zero.
float ReadValueText(std::string_view text);

// The leading integer of the first `count` characters (not bytes): blanks, an optional sign,
// digits; anything else ends it and no digits give 0. Digits beyond a hundred billion are not
// counted.
long LeadingInteger(std::string_view text, std::size_t count);

}  // namespace config
