#include "record/float_form.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

using Bytes = std::array<std::uint8_t, 4>;

std::uint32_t Bits(float x) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &x, sizeof bits);
  return bits;
}

float FromBits(std::uint32_t bits) {
  float x = 0;
  std::memcpy(&x, &bits, sizeof x);
  return x;
}

Bytes Wire(float x) {
  Bytes out{0xEE, 0xEE, 0xEE, 0xEE};
  int length = 0;
  floatform::AppendFloat(x, out.data(), length);
  EXPECT_EQ(length, 4);
  return out;
}

float Received(Bytes wire) { return floatform::WireToValue(wire); }

float FormValue(std::uint8_t e, std::uint16_t w) {
  const std::array<std::uint8_t, 3> form{e, static_cast<std::uint8_t>(w >> 8),
                                         static_cast<std::uint8_t>(w)};
  return floatform::FormToValue(form);
}

void ExpectForm(float x, std::uint8_t e, std::uint16_t w) {
  const floatform::FloatForm form = floatform::ValueToForm(x);
  EXPECT_EQ(form.e, e) << "x = " << x;
  EXPECT_EQ(form.w, w) << "x = " << x;
}

TEST(FloatForm, SimpleValuesTakeApartIntoExponentAndSignedFraction) {
  ExpectForm(1.0f, 127, 0);
  ExpectForm(-1.0f, 127, 0x8000);
  ExpectForm(-0.75f, 126, 0xC000);
  ExpectForm(1.5f, 127, 0x4000);
  ExpectForm(2.0f, 128, 0);
  ExpectForm(3.0f, 128, 0x4000);
  ExpectForm(0.0f, 0, 0);
  ExpectForm(-0.0f, 0, 0);
}

TEST(FloatForm, ExactPowerOfTwoBelowOneTakesItselfAsP) {
  ExpectForm(0.25f, 125, 0);
  ExpectForm(0.5f, 126, 0);
  ExpectForm(std::ldexp(1.0f, -100), 27, 0);
  // Just below a power of two the search must settle one step lower, with a full fraction.
  ExpectForm(std::nextafter(0.25f, 0.0f), 124, 0x7FFF);
  ExpectForm(std::nextafter(1.0f, 0.0f), 126, 0x7FFF);
  ExpectForm(std::nextafter(2.0f, 0.0f), 127, 0x7FFF);
}

TEST(FloatForm, FractionBelowResolutionIsTruncatedTowardZero) {
  ExpectForm(1.00001f, 127, 0);
  ExpectForm(1.0f + 0x1p-15f, 127, 1);
  ExpectForm(std::nextafter(1.0f + 0x1p-15f, 0.0f), 127, 0);
  ExpectForm(-std::nextafter(1.0f + 0x1p-15f, 0.0f), 127, 0x8000);
  ExpectForm(-1.99999f, 127, 0xFFFF);
}

TEST(FloatForm, ValuesGoOutAsIeeeSinglesWithLowestByteZero) {
  EXPECT_EQ(Wire(1.0f), (Bytes{0x3F, 0x80, 0x00, 0x00}));
  EXPECT_EQ(Wire(-1.0f), (Bytes{0xBF, 0x80, 0x00, 0x00}));
  EXPECT_EQ(Wire(-0.75f), (Bytes{0xBF, 0x40, 0x00, 0x00}));
  EXPECT_EQ(Wire(0.25f), (Bytes{0x3E, 0x80, 0x00, 0x00}));
  EXPECT_EQ(Wire(0.0f), (Bytes{0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(Wire(1.00001f), (Bytes{0x3F, 0x80, 0x00, 0x00}));
  EXPECT_EQ(Wire(249.99609375f), (Bytes{0x43, 0x79, 0xFF, 0x00}));
  EXPECT_EQ(Wire(249.999f), (Bytes{0x43, 0x79, 0xFF, 0x00}));
}

TEST(FloatForm, FormToWireWritesFourBytesAndAddsFour) {
  std::array<std::uint8_t, 6> out{0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  int length = 7;
  floatform::FormToWire({126, 0xC000}, out.data() + 1, length);
  EXPECT_EQ(length, 11);
  EXPECT_EQ(out, (std::array<std::uint8_t, 6>{0xEE, 0xBF, 0x40, 0x00, 0x00, 0xEE}));
}

TEST(FloatForm, WireToFormMovesSignBehindExponentAndKeepsLastByte) {
  Bytes b{0x43, 0x79, 0xFF, 0xAB};
  floatform::WireToForm(b);
  EXPECT_EQ(b, (Bytes{0x86, 0x79, 0xFF, 0xAB}));
  b = {0xC3, 0x79, 0xFF, 0x00};
  floatform::WireToForm(b);
  EXPECT_EQ(b, (Bytes{0x86, 0xF9, 0xFF, 0x00}));
  b = {0xBF, 0x80, 0x00, 0x00};
  floatform::WireToForm(b);
  EXPECT_EQ(b, (Bytes{0x7F, 0x80, 0x00, 0x00}));
  b = {0x3F, 0x00, 0x12, 0x34};  // exponent's low bit 0, top fraction bits clear
  floatform::WireToForm(b);
  EXPECT_EQ(b, (Bytes{0x7E, 0x00, 0x12, 0x34}));
}

TEST(FloatForm, ReceivedFloatsDecodeExactly) {
  EXPECT_EQ(Bits(Received({0x43, 0x79, 0xFF, 0x00})), Bits(249.99609375f));
  EXPECT_EQ(Bits(Received({0x41, 0xC7, 0xFF, 0x00})), Bits(24.99951171875f));
  EXPECT_EQ(Bits(Received({0xBF, 0x80, 0x00, 0x00})), Bits(-1.0f));
  EXPECT_EQ(Bits(Received({0xBF, 0x40, 0x00, 0x00})), Bits(-0.75f));
  EXPECT_EQ(Bits(Received({0x3E, 0x80, 0x00, 0x00})), Bits(0.25f));
  EXPECT_EQ(Bits(Received({0x00, 0x00, 0x00, 0x00})), Bits(0.0f));
  EXPECT_EQ(Bits(Received({0x00, 0x00, 0x00, 0xFF})), Bits(0.0f));
}

TEST(FloatForm, LowestReceivedByteNeverChangesTheValue) {
  for (const Bytes base : {Bytes{0x43, 0x79, 0xFF, 0}, Bytes{0xC1, 0xC7, 0xFF, 0},
                           Bytes{0x00, 0x00, 0x00, 0}, Bytes{0x3F, 0x80, 0x01, 0}}) {
    const std::uint32_t expected = Bits(Received(base));
    for (int last = 1; last < 256; ++last) {
      Bytes b = base;
      b[3] = static_cast<std::uint8_t>(last);
      EXPECT_EQ(Bits(Received(b)), expected) << "last byte " << last;
    }
  }
}

// Out and back keeps an IEEE single with its lowest mantissa byte cleared, over the whole
// normal range of both signs.
TEST(FloatForm, RoundTripDropsOnlyTheLowestMantissaByte) {
  for (std::uint32_t sign : {0u, 0x80000000u}) {
    for (std::uint32_t exponent = 1; exponent <= 254; ++exponent) {
      for (std::uint32_t mantissa : {0x000000u, 0x000001u, 0x0000FFu, 0x000100u, 0x123456u,
                                     0x400000u, 0x7FFF00u, 0x7FFFFFu}) {
        const std::uint32_t bits = sign | exponent << 23 | mantissa;
        const float x = FromBits(bits);
        EXPECT_EQ(Bits(Received(Wire(x))), bits & 0xFFFFFF00u) << std::hex << bits;
      }
    }
  }
}

TEST(FloatForm, ExtremeExponents) {
  constexpr float inf = std::numeric_limits<float>::infinity();
  constexpr float max = std::numeric_limits<float>::max();
  constexpr float min = std::numeric_limits<float>::min();
  EXPECT_EQ(Bits(FormValue(255, 0)), Bits(inf));
  EXPECT_EQ(Bits(FormValue(255, 0x7FFF)), Bits(inf));
  EXPECT_EQ(Bits(FormValue(255, 0x8000)), Bits(-inf));
  EXPECT_EQ(Bits(FormValue(254, 0x7FFF)), Bits(max) & 0xFFFFFF00u);
  // E = 0 is zero only together with W = 0; otherwise it reads as if normalised.
  EXPECT_EQ(Bits(FormValue(0, 0x8000)), Bits(-0x1p-127f));
  EXPECT_EQ(Bits(FormValue(0, 0x4000)), Bits(0x1.8p-127f));
  EXPECT_EQ(Bits(FormValue(0, 1)), Bits(0x1.0002p-127f));
  EXPECT_EQ(Bits(FormValue(1, 0)), Bits(min));

  ExpectForm(max, 254, 0x7FFF);
  ExpectForm(-max, 254, 0xFFFF);
  ExpectForm(min, 1, 0);
  EXPECT_EQ(Wire(max), (Bytes{0x7F, 0x7F, 0xFF, 0x00}));
}

TEST(FloatForm, NonFiniteAndDenormalInputsStayWithinTheForm) {
  constexpr float inf = std::numeric_limits<float>::infinity();
  constexpr float denormMin = std::numeric_limits<float>::denorm_min();
  EXPECT_EQ(Wire(inf), (Bytes{0x7F, 0x80, 0x00, 0x00}));
  EXPECT_EQ(Wire(-inf), (Bytes{0xFF, 0x80, 0x00, 0x00}));
  EXPECT_EQ(Bits(Received(Wire(inf))), Bits(inf));
  EXPECT_EQ(Bits(Received(Wire(-inf))), Bits(-inf));
  EXPECT_EQ(Wire(std::numeric_limits<float>::quiet_NaN()), (Bytes{0x7F, 0xC0, 0x00, 0x00}));
  EXPECT_EQ(Wire(-std::numeric_limits<float>::quiet_NaN()), (Bytes{0x7F, 0xC0, 0x00, 0x00}));
  EXPECT_EQ(Wire(std::numeric_limits<float>::signaling_NaN()), (Bytes{0x7F, 0xC0, 0x00, 0x00}));
  // Denormals of either sign become a true zero, not the E = 0 value with a sign bit.
  ExpectForm(denormMin, 0, 0);
  ExpectForm(-denormMin, 0, 0);
  ExpectForm(std::numeric_limits<float>::min() / 2, 0, 0);
  ExpectForm(-std::nextafter(std::numeric_limits<float>::min(), 0.0f), 0, 0);
}

}  // namespace
