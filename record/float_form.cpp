#include "record/float_form.h"

#include <array>
#include <cmath>
#include <limits>

namespace floatform {
namespace {

constexpr int kBias = 127;
constexpr std::uint16_t kSign = 0x8000;
constexpr std::uint16_t kFraction = 0x7FFF;
constexpr std::uint8_t kInfiniteExponent = 255;
constexpr float kFractionScale = 32768.0f;

}  // namespace

void WireToForm(std::span<std::uint8_t, 4> bytes) {
  const std::uint8_t b0 = bytes[0];
  const std::uint8_t b1 = bytes[1];
  bytes[0] = static_cast<std::uint8_t>(b0 << 1 | b1 >> 7);
  bytes[1] = static_cast<std::uint8_t>((b0 & 0x80) | (b1 & 0x7F));
}

float FormToValue(std::span<const std::uint8_t, 3> bytes) {
  const int e = bytes[0];
  const std::uint16_t w = static_cast<std::uint16_t>(bytes[1] << 8 | bytes[2]);
  if (e == 0 && w == 0) return 0.0f;
  const bool negative = w > kFraction;
  if (e == kInfiniteExponent) {
    constexpr float inf = std::numeric_limits<float>::infinity();
    return negative ? -inf : inf;
  }
  // Single-precision rounding after each step, so that values agree bit for bit.
  const double m = std::ldexp(1.0, e - kBias);
  const float fraction = static_cast<float>((w & kFraction) * 0x1p-15);
  const float scaled = static_cast<float>(m * fraction);
  const float value = static_cast<float>(m + scaled);
  return negative ? -value : value;
}

FloatForm ValueToForm(float x) {
  if (x == 0.0f) return {0, 0};
  // Inputs the doubling searches cannot handle: NaN gives E 255, W 0x4000 (a quiet NaN on the
  // wire, though the form reads back as infinity); an infinity gives E 255 with its sign;
  // denormals give zero. Every finite normal float ends with E between 1 and 254.
  if (std::isnan(x)) return {kInfiniteExponent, 0x4000};
  const std::uint16_t sign = std::signbit(x) ? kSign : 0;
  if (std::isinf(x)) return {kInfiniteExponent, sign};
  const float a = std::fabs(x);
  if (a < std::numeric_limits<float>::min()) return {0, 0};

  int e = kBias;
  double p = 1.0;
  if (a >= 1.0f) {
    while (p * 2.0 <= a) {
      p *= 2.0;
      ++e;
    }
  } else {
    const double inverse = 1.0 / a;
    double c = 1.0;
    while (inverse > c) {
      c *= 2.0;
      --e;
    }
    p = 1.0 / c;
  }
  const float pf = static_cast<float>(p);
  const float f = (a - pf) / pf * kFractionScale;
  const auto fraction = static_cast<std::uint16_t>(static_cast<int>(f));
  return {static_cast<std::uint8_t>(e), static_cast<std::uint16_t>(fraction | sign)};
}

void FormToWire(FloatForm f, std::uint8_t* out, int& runningLength) {
  const int high = f.w >> 8;
  out[0] = static_cast<std::uint8_t>((f.e >> 1) | (high & 0x80));
  out[1] = static_cast<std::uint8_t>(((f.e & 1) << 7) | (high & 0x7F));
  out[2] = static_cast<std::uint8_t>(f.w & 0xFF);
  out[3] = 0;
  runningLength += 4;
}

float WireToValue(std::span<const std::uint8_t, 4> bytes) {
  std::array<std::uint8_t, 4> form{bytes[0], bytes[1], bytes[2], bytes[3]};
  WireToForm(form);
  return FormToValue(std::span<const std::uint8_t, 3>(form.data(), 3));
}

void AppendFloat(float x, std::uint8_t* out, int& runningLength) {
  FormToWire(ValueToForm(x), out, runningLength);
}

}  // namespace floatform
