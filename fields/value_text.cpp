#include "fields/value_text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>

#include "ui/utf8.h"

namespace config {
namespace {

constexpr std::size_t kFieldWidth = 10;
constexpr double kRoundingThreshold = 0.4;

struct MagnitudeClass {
  double lowerBound;  // of abs(v)
  float step;
  int decimals;
};

// Searched in order; the last class takes 0 < abs(v) < 1. Zero and the largest values share the
// first class's step.
constexpr std::array<MagnitudeClass, 8> kClasses{{
    {1'000'000.0, 1000.0f, 0},
    {100'000.0, 100.0f, 0},
    {10'000.0, 10.0f, 0},
    {1'000.0, 1.0f, 0},
    {100.0, 0.1f, 1},
    {10.0, 0.01f, 2},
    {1.0, 0.001f, 3},
    {0.0, 0.0001f, 4},
}};

const MagnitudeClass& ClassOf(float v) {
  if (v == 0.0f) return kClasses.front();
  const double magnitude = std::fabs(static_cast<double>(v));
  for (const MagnitudeClass& c : kClasses) {
    if (magnitude >= c.lowerBound) return c;
  }
  return kClasses.back();
}

std::string Padded(std::string text) {
  if (text.size() < kFieldWidth) text.append(kFieldWidth - text.size(), ' ');
  return text;
}

// The threshold is compared in double, as a real number: a fractional part of exactly -0.4f lies
// below -0.4 and so rounds away from zero, like +0.4f does.
float RoundToStep(float q) {
  const double f = static_cast<double>(q - std::trunc(q));
  if (f >= 0.0) return f < kRoundingThreshold ? std::floor(q) : std::ceil(q);
  return f < -kRoundingThreshold ? std::floor(q) : std::ceil(q);
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Far more significant digits than any float midpoint needs; the rest only decide whether the
// number lies above the kept digits, which one extra nonzero digit preserves.
constexpr std::size_t kKeptDigits = 800;
// Decimal exponents beyond this already put every value far outside the float range.
constexpr int64_t kExponentLimit = 1'000'000'000;

}  // namespace

std::string ShowValueText(float v) {
  if (std::isnan(v)) return Padded("nan");
  if (std::isinf(v)) return Padded(v < 0.0f ? "-inf" : "inf");

  const MagnitudeClass& c = ClassOf(v);
  const float q = RoundToStep(v / c.step);
  // Both factors are floats, so their product is exact in double: no second rounding before the
  // decimals are written, and no overflow for the largest floats.
  const double shown = static_cast<double>(c.step) * static_cast<double>(q);

  std::array<char, 64> buffer{};
  const std::to_chars_result written =
      std::to_chars(buffer.data(), buffer.data() + buffer.size(), shown, std::chars_format::fixed, c.decimals);
  if (written.ec != std::errc{}) return Padded("nan");
  return Padded(std::string(buffer.data(), written.ptr));
}

float ReadValueText(std::string_view text) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && IsBlank(text[i])) ++i;

  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }

  // The number is kept as significant digits times a power of ten.
  std::string digits;
  bool droppedNonzero = false;
  int64_t scale = 0;
  bool sawDigit = false;

  for (; i < n && IsDigit(text[i]); ++i) {
    sawDigit = true;
    if (digits.empty() && text[i] == '0') continue;
    if (digits.size() < kKeptDigits) {
      digits.push_back(text[i]);
    } else {
      droppedNonzero |= text[i] != '0';
      ++scale;
    }
  }
  // A decimal comma, as a Russian desktop writes it, is a decimal point.
  if (i < n && (text[i] == '.' || text[i] == ',')) {
    for (++i; i < n && IsDigit(text[i]); ++i) {
      sawDigit = true;
      if (digits.empty() && text[i] == '0') {
        --scale;
      } else if (digits.size() < kKeptDigits) {
        digits.push_back(text[i]);
        --scale;
      } else {
        droppedNonzero |= text[i] != '0';
      }
    }
  }
  if (!sawDigit) return 0.0f;

  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    bool negativeExponent = false;
    if (j < n && (text[j] == '+' || text[j] == '-')) {
      negativeExponent = text[j] == '-';
      ++j;
    }
    if (j < n && IsDigit(text[j])) {
      int64_t exponent = 0;
      for (; j < n && IsDigit(text[j]); ++j) {
        if (exponent < kExponentLimit) exponent = exponent * 10 + (text[j] - '0');
      }
      scale += negativeExponent ? -exponent : exponent;
    }
  }

  const float zero = negative ? -0.0f : 0.0f;
  if (digits.empty()) return zero;
  if (droppedNonzero) {
    digits.push_back('1');
    --scale;
  }

  // Order of magnitude: the value lies in [10^(magnitude-1), 10^magnitude).
  const int64_t magnitude = static_cast<int64_t>(digits.size()) + scale;
  const float infinity = negative ? -std::numeric_limits<float>::infinity()
                                  : std::numeric_limits<float>::infinity();
  if (magnitude > 100) return infinity;
  if (magnitude < -100) return zero;

  digits.push_back('e');
  std::array<char, 24> exponentText{};
  const auto written =
      std::to_chars(exponentText.data(), exponentText.data() + exponentText.size(), scale);
  digits.append(exponentText.data(), written.ptr);

  float value = 0.0f;
  const std::errc ec = std::from_chars(digits.data(), digits.data() + digits.size(), value).ec;
  if (ec == std::errc::result_out_of_range) return magnitude > 0 ? infinity : zero;
  if (ec != std::errc{}) return zero;
  return negative ? -value : value;
}

long LeadingInteger(std::string_view text, std::size_t count) {
  const std::string head = ui::utf8::Left(text, count);
  std::size_t i = 0;
  while (i < head.size() && (head[i] == ' ' || head[i] == '\t')) ++i;
  bool negative = false;
  if (i < head.size() && (head[i] == '+' || head[i] == '-')) {
    negative = head[i] == '-';
    ++i;
  }
  constexpr long kSaturation = 100'000'000'000L;
  long value = 0;
  for (; i < head.size() && IsDigit(head[i]); ++i) {
    if (value < kSaturation) value = value * 10 + (head[i] - '0');
  }
  return negative ? -value : value;
}

}  // namespace config
