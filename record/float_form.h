// The three-byte float: biased exponent E, then W = sign bit and 15 fraction bits. It is an
// IEEE single with the sign moved behind the exponent and the lowest mantissa byte dropped;
// every float of a HART reply is taken apart into it and every request float built from it.
#pragma once

#include <cstdint>
#include <span>

namespace floatform {

struct FloatForm {
  std::uint8_t e;
  std::uint16_t w;
};

// Received IEEE single (big-endian) to E, high byte of W, low byte of W; byte 3 is left as
// it was and means nothing afterwards.
void WireToForm(std::span<std::uint8_t, 4> bytes);

// E = byte 0, W = byte 1 * 256 + byte 2. E = 255 gives an infinity.
float FormToValue(std::span<const std::uint8_t, 3> bytes);

FloatForm ValueToForm(float x);

// Four bytes of IEEE single, the last one 0; the caller's request length grows by 4.
void FormToWire(FloatForm f, std::uint8_t* out, int& runningLength);

float WireToValue(std::span<const std::uint8_t, 4> bytes);
void AppendFloat(float x, std::uint8_t* out, int& runningLength);

}  // namespace floatform
