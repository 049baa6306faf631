#include "fields/value_text.h"

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "fields/value_fields.h"
#include "ui/dialog.h"
#include "ui/headless/headless_platform.h"

namespace config {
namespace {

uint32_t Bits(float v) { return std::bit_cast<uint32_t>(v); }

// Whose quotient by the smallest step is exactly 0.4f, a hair above the real 0.4.
const float kQuotientExactlyPoint4 = 0x1.4f8b58p-15f;

TEST(ShowValueText, DocumentedExamples) {
  EXPECT_EQ(ShowValueText(1.23445f), "1.235     ");
  EXPECT_EQ(ShowValueText(-1.23445f), "-1.235    ");
  EXPECT_EQ(ShowValueText(12.3439f), "12.34     ");
  EXPECT_EQ(ShowValueText(0.25f), "0.2500    ");
  EXPECT_EQ(ShowValueText(0.0f), "0         ");
  EXPECT_EQ(ShowValueText(1234567.0f), "1235000   ");
  EXPECT_EQ(ShowValueText(2.0f), "2.000     ");
  EXPECT_EQ(ShowValueText(-3.0f), "-3.000    ");
  EXPECT_EQ(ShowValueText(249.99609375f), "250.0     ");
}

TEST(ShowValueText, RoundsAwayFromZeroFromFourTenthsOnBothSides) {
  EXPECT_EQ(ShowValueText(1.23439f), "1.234     ");
  EXPECT_EQ(ShowValueText(1.23441f), "1.235     ");  // 0.5 would round this down
  EXPECT_EQ(ShowValueText(-1.23439f), "-1.234    ");
  EXPECT_EQ(ShowValueText(-1.23441f), "-1.235    ");
  EXPECT_EQ(ShowValueText(1234.39f), "1234      ");
  EXPECT_EQ(ShowValueText(1234.41f), "1235      ");
  EXPECT_EQ(ShowValueText(-1234.41f), "-1235     ");
  EXPECT_EQ(ShowValueText(1.2349f), "1.235     ");
  EXPECT_EQ(ShowValueText(-1.2349f), "-1.235    ");
  ASSERT_EQ(kQuotientExactlyPoint4 / 0.0001f, 0.4f);
  EXPECT_EQ(ShowValueText(kQuotientExactlyPoint4), "0.0001    ");
  EXPECT_EQ(ShowValueText(-kQuotientExactlyPoint4), "-0.0001   ");  // -0.4f is below -0.4
}

TEST(ShowValueText, MagnitudeClassBoundaries) {
  EXPECT_EQ(ShowValueText(1e6f), "1000000   ");
  EXPECT_EQ(ShowValueText(999999.0f), "1000000   ");  // step 100: 9999.99 rounds up
  EXPECT_EQ(ShowValueText(123456.0f), "123500    ");
  EXPECT_EQ(ShowValueText(100000.0f), "100000    ");
  EXPECT_EQ(ShowValueText(12345.0f), "12350     ");
  EXPECT_EQ(ShowValueText(10000.0f), "10000     ");
  EXPECT_EQ(ShowValueText(9999.0f), "9999      ");
  EXPECT_EQ(ShowValueText(1000.0f), "1000      ");
  EXPECT_EQ(ShowValueText(999.9f), "999.9     ");
  EXPECT_EQ(ShowValueText(100.0f), "100.0     ");
  EXPECT_EQ(ShowValueText(99.99f), "99.99     ");
  EXPECT_EQ(ShowValueText(10.0f), "10.00     ");
  EXPECT_EQ(ShowValueText(9.9996f), "10.000    ");  // the class is chosen before rounding
  EXPECT_EQ(ShowValueText(1.0f), "1.000     ");
  EXPECT_EQ(ShowValueText(0.99995f), "1.0000    ");
  EXPECT_EQ(ShowValueText(-0.5f), "-0.5000   ");
  EXPECT_EQ(ShowValueText(0.00005f), "0.0001    ");
  EXPECT_EQ(ShowValueText(0.00003f), "0.0000    ");
  EXPECT_EQ(ShowValueText(std::numeric_limits<float>::denorm_min()), "0.0000    ");
}

TEST(ShowValueText, WidthIsAMinimumNotALimit) {
  EXPECT_EQ(ShowValueText(1234567890.0f), "1234568000");
  EXPECT_EQ(ShowValueText(-1234567890.0f), "-1234568000");
  EXPECT_EQ(ShowValueText(-123456.0f), "-123500   ");
}

TEST(ShowValueText, LargeValuesAreTheExactProductOfStepAndQuotient) {
  // Rounding the product to single precision would show 1000001024.
  EXPECT_EQ(ShowValueText(1000001024.0f), "1000001000");
  EXPECT_EQ(ShowValueText(std::numeric_limits<float>::max()), "340282343469402359241130679742758912000");
  EXPECT_EQ(ShowValueText(std::numeric_limits<float>::lowest()), "-340282343469402359241130679742758912000");
}

TEST(ShowValueText, NonFiniteAndNegativeZero) {
  EXPECT_EQ(ShowValueText(std::numeric_limits<float>::infinity()), "inf       ");
  EXPECT_EQ(ShowValueText(-std::numeric_limits<float>::infinity()), "-inf      ");
  EXPECT_EQ(ShowValueText(std::numeric_limits<float>::quiet_NaN()), "nan       ");
  EXPECT_EQ(ShowValueText(-std::numeric_limits<float>::quiet_NaN()), "nan       ");
  EXPECT_EQ(ShowValueText(std::numeric_limits<float>::signaling_NaN()), "nan       ");
  // The sign survives rounding to zero, as the fixed formats print it.
  EXPECT_EQ(ShowValueText(-0.0f), "-0        ");
  EXPECT_EQ(ShowValueText(-0.00001f), "-0.0000   ");
}

TEST(ReadValueText, NumberForms) {
  EXPECT_EQ(Bits(ReadValueText("2.5")), Bits(2.5f));
  EXPECT_EQ(Bits(ReadValueText("-3")), Bits(-3.0f));
  EXPECT_EQ(Bits(ReadValueText("+7")), Bits(7.0f));
  EXPECT_EQ(Bits(ReadValueText(".5")), Bits(0.5f));
  EXPECT_EQ(Bits(ReadValueText("5.")), Bits(5.0f));
  EXPECT_EQ(Bits(ReadValueText("-.25")), Bits(-0.25f));
  EXPECT_EQ(Bits(ReadValueText("007")), Bits(7.0f));
  EXPECT_EQ(Bits(ReadValueText("1e3")), Bits(1000.0f));
  EXPECT_EQ(Bits(ReadValueText("1E3")), Bits(1000.0f));
  EXPECT_EQ(Bits(ReadValueText("1e+3")), Bits(1000.0f));
  EXPECT_EQ(Bits(ReadValueText("2.5e-1")), Bits(0.25f));
  EXPECT_EQ(Bits(ReadValueText("5.e1")), Bits(50.0f));
  EXPECT_EQ(Bits(ReadValueText(".5e1")), Bits(5.0f));
  EXPECT_EQ(Bits(ReadValueText("1e007")), Bits(1e7f));
  EXPECT_EQ(Bits(ReadValueText(" \t\n\v\f\r-4")), Bits(-4.0f));
  EXPECT_EQ(Bits(ReadValueText("-0")), Bits(-0.0f));
  EXPECT_EQ(Bits(ReadValueText("0.25        ")), Bits(0.25f));  // a shown value reads back
}

TEST(ReadValueText, StopsAtTheFirstCharacterThatDoesNotFit) {
  EXPECT_EQ(Bits(ReadValueText("12abc")), Bits(12.0f));
  EXPECT_EQ(Bits(ReadValueText("1.5.6")), Bits(1.5f));
  EXPECT_EQ(Bits(ReadValueText("1 2")), Bits(1.0f));
  EXPECT_EQ(Bits(ReadValueText("1e")), Bits(1.0f));
  EXPECT_EQ(Bits(ReadValueText("1e+")), Bits(1.0f));
  EXPECT_EQ(Bits(ReadValueText("1e-x")), Bits(1.0f));
  EXPECT_EQ(Bits(ReadValueText("1e 5")), Bits(1.0f));
  EXPECT_EQ(Bits(ReadValueText("2.5E")), Bits(2.5f));
  EXPECT_EQ(Bits(ReadValueText("1e2e3")), Bits(100.0f));
  EXPECT_EQ(Bits(ReadValueText("1e2.5")), Bits(100.0f));
  EXPECT_EQ(Bits(ReadValueText("0x10")), Bits(0.0f));  // no hexadecimal
  EXPECT_EQ(Bits(ReadValueText("1p3")), Bits(1.0f));
  EXPECT_EQ(Bits(ReadValueText("3 кПа")), Bits(3.0f));
}

// A Russian technician writes a decimal comma; it reads as the point it stands for, in the text
// and in every value field. Only one separator counts, whichever comes first.
TEST(ReadValueText, ADecimalCommaIsADecimalPoint) {
  const std::pair<const char*, float> cases[] = {
      {"1,5", 1.5f},        {"0,5", 0.5f},     {",5", 0.5f},       {"-,5", -0.5f},
      {"-0,25", -0.25f},    {"5,", 5.0f},      {"0,1", 0.1f},      {"1,5e1", 15.0f},
      {" +2,5E-1", 0.25f},  {"1,5,6", 1.5f},   {"1.5,6", 1.5f},    {"1,5.6", 1.5f},
      {"12,34 кПа", 12.34f}, {"249,99609", 249.99609f},
  };
  for (const auto& [text, value] : cases) {
    EXPECT_EQ(Bits(ReadValueText(text)), Bits(value)) << text;
  }
  ui::ScopedHeadlessPlatform platform;
  ui::DialogTemplate tpl;
  tpl.controls.push_back({1, ui::ControlKind::Edit, "", {0, 0, 40, 12}, ui::kStyleNone, 12});
  ui::Dialog dialog(nullptr, tpl);
  TEditValue field(dialog, 1);
  field.SetText("0,5");
  EXPECT_EQ(Bits(field.ReadValue()), Bits(0.5f));
  EXPECT_EQ(Bits(field.Value()), Bits(0.5f));
}

TEST(ReadValueText, TextWithoutANumberIsPositiveZero) {
  for (const char* text : {"", "   ", ".", "-", "+", "-.", "+.e1", "e5", "E", "--1", "+-1", "- 1", ". 5",
                           "abc", "inf", "-infinity", "nan", "NAN(1)", "\xC2\xA0" "1", "\xA0" "1", ",", "-,", ",e1"}) {
    EXPECT_EQ(Bits(ReadValueText(text)), Bits(0.0f)) << text;
  }
}

TEST(ReadValueText, RoundsToTheNearestFloat) {
  EXPECT_EQ(Bits(ReadValueText("0.1")), Bits(0.1f));
  EXPECT_EQ(Bits(ReadValueText("249.99609")), Bits(249.99609f));
  EXPECT_EQ(Bits(ReadValueText("16777217")), Bits(16777216.0f));  // tie: to even
  EXPECT_EQ(Bits(ReadValueText("16777219")), Bits(16777220.0f));
  EXPECT_EQ(Bits(ReadValueText("16777217.000000001")), Bits(16777218.0f));
  EXPECT_EQ(Bits(ReadValueText("3.4028235e38")), Bits(std::numeric_limits<float>::max()));
  EXPECT_EQ(Bits(ReadValueText("1e-45")), Bits(std::numeric_limits<float>::denorm_min()));
  EXPECT_EQ(Bits(ReadValueText("8e-46")), Bits(std::numeric_limits<float>::denorm_min()));
  EXPECT_EQ(Bits(ReadValueText("1.17549435e-38")), Bits(std::numeric_limits<float>::min()));
}

TEST(ReadValueText, BeyondTheFloatRange) {
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(Bits(ReadValueText("1e39")), Bits(inf));
  EXPECT_EQ(Bits(ReadValueText("-1e39")), Bits(-inf));
  EXPECT_EQ(Bits(ReadValueText("3.4028236e38")), Bits(inf));  // above the midpoint past the maximum
  EXPECT_EQ(Bits(ReadValueText("1e308")), Bits(inf));
  EXPECT_EQ(Bits(ReadValueText("1e99999999999999999999999")), Bits(inf));
  EXPECT_EQ(Bits(ReadValueText("7e-46")), Bits(0.0f));
  EXPECT_EQ(Bits(ReadValueText("1e-50")), Bits(0.0f));
  EXPECT_EQ(Bits(ReadValueText("-1e-50")), Bits(-0.0f));
  EXPECT_EQ(Bits(ReadValueText("1e-99999999999999999999999")), Bits(0.0f));
  EXPECT_EQ(Bits(ReadValueText("0e99999999999999999999999")), Bits(0.0f));
  EXPECT_EQ(Bits(ReadValueText("0.0001e4")), Bits(1.0f));
}

TEST(ReadValueText, AnyBytesAreSafe) {
  EXPECT_EQ(Bits(ReadValueText(std::string("12\0" "34", 5))), Bits(12.0f));
  EXPECT_EQ(Bits(ReadValueText(std::string("\0" "5", 2))), Bits(0.0f));
  EXPECT_EQ(Bits(ReadValueText(std::string("1e\0" "5", 4))), Bits(1.0f));
  EXPECT_EQ(Bits(ReadValueText("\xFF" "12")), Bits(0.0f));
  EXPECT_EQ(Bits(ReadValueText("1\xFF")), Bits(1.0f));
  EXPECT_EQ(Bits(ReadValueText("\xD0")), Bits(0.0f));
  EXPECT_EQ(Bits(ReadValueText("-\x80")), Bits(0.0f));
  EXPECT_EQ(Bits(ReadValueText(std::string_view())), Bits(0.0f));
}

TEST(ReadValueText, VeryLongDigitStrings) {
  const std::string million(1'000'000, '9');
  EXPECT_EQ(Bits(ReadValueText(million)), Bits(std::numeric_limits<float>::infinity()));
  EXPECT_EQ(Bits(ReadValueText("0." + million)), Bits(1.0f));
  EXPECT_EQ(Bits(ReadValueText("0." + million + "e-999995")), Bits(0.0f));
  EXPECT_EQ(Bits(ReadValueText("-0." + std::string(1'000'000, '0') + "1")), Bits(-0.0f));
  EXPECT_EQ(Bits(ReadValueText(std::string(1'000'000, '0') + "1.5")), Bits(1.5f));
  EXPECT_EQ(Bits(ReadValueText("1." + std::string(1'000'000, '0') + "x")), Bits(1.0f));
  EXPECT_EQ(Bits(ReadValueText("1e" + std::string(1'000'000, '0') + "1")), Bits(10.0f));
  EXPECT_EQ(Bits(ReadValueText(std::string(1'000'000, ' ') + "2")), Bits(2.0f));
  EXPECT_EQ(Bits(ReadValueText("1" + std::string(1'000'000, '0') + "e-1000000")), Bits(1.0f));
  // Halfway between 1 and the next float: ties go to even, and any later nonzero digit,
  // however far out, goes up.
  const std::string halfway = "1.000000059604644775390625";
  EXPECT_EQ(Bits(ReadValueText(halfway)), Bits(1.0f));
  EXPECT_EQ(Bits(ReadValueText(halfway + std::string(1'000'000, '0'))), Bits(1.0f));
  EXPECT_EQ(Bits(ReadValueText(halfway + std::string(1'000'000, '0') + "1")), Bits(std::nextafter(1.0f, 2.0f)));
  EXPECT_EQ(Bits(ReadValueText("1.0000000596046447753906249" + million)), Bits(1.0f));
}

// Restores the C locale however the test ends.
struct ScopedLocale {
  explicit ScopedLocale(const char* name) : active(std::setlocale(LC_ALL, name) != nullptr) {}
  ~ScopedLocale() { std::setlocale(LC_ALL, "C"); }
  bool active;
};

TEST(ValueText, IgnoresARussianProcessLocale) {
  ScopedLocale russian("ru_RU.UTF-8");
  if (!russian.active) GTEST_SKIP() << "locale ru_RU.UTF-8 is not installed";
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  EXPECT_EQ(ShowValueText(0.25f), "0.2500    ");
  EXPECT_EQ(ShowValueText(-1234.41f), "-1235     ");
  EXPECT_EQ(ReadValueText("1,5"), 1.5f);
  EXPECT_EQ(ReadValueText("2.5"), 2.5f);
  EXPECT_EQ(ReadValueText("\xC2\xA0" "2.5"), 0.0f);  // a no-break space is not a C-locale blank
}

}  // namespace
TEST(LeadingInteger, OfTheFirstCharacters) {
  EXPECT_EQ(config::LeadingInteger("63", 3), 63);
  EXPECT_EQ(config::LeadingInteger("12556", 3), 125);
  EXPECT_EQ(config::LeadingInteger("12556", 8), 12556);
  EXPECT_EQ(config::LeadingInteger("16777215", 8), 16777215);
  EXPECT_EQ(config::LeadingInteger("  7", 2), 0);
  EXPECT_EQ(config::LeadingInteger(" \t7", 3), 7);
  EXPECT_EQ(config::LeadingInteger("-5", 2), -5);
  EXPECT_EQ(config::LeadingInteger("+9x", 3), 9);
  EXPECT_EQ(config::LeadingInteger("4,5", 3), 4);
  EXPECT_EQ(config::LeadingInteger("", 3), 0);
  EXPECT_EQ(config::LeadingInteger("-", 3), 0);
  EXPECT_EQ(config::LeadingInteger("abc", 3), 0);
  EXPECT_EQ(config::LeadingInteger("двести", 3), 0);
  // Characters, not bytes: the two Cyrillic letters use up the count.
  EXPECT_EQ(config::LeadingInteger("дв12", 3), 0);
  EXPECT_EQ(config::LeadingInteger("\xFF\xFE"
                                 "12",
                                 4),
            0);
  EXPECT_EQ(config::LeadingInteger("5\xC3", 3), 5);
  EXPECT_EQ(config::LeadingInteger(std::string(200, '9'), 200),
            config::LeadingInteger(std::string(200, '9'), 150));
}

}  // namespace config
