// One reading of the primary variable and the loop current (command 3), as the trend window, its
// log and the command line keep it.
#pragma once

#include <cstdint>
#include <optional>

namespace calib {

struct PvReading {
  // When the outcome came: milliseconds since the epoch by the computer's clock.
  std::int64_t atMs = 0;
  // False when the transaction failed: no answer, line busy or a status error.
  bool ok = false;
  float pv = 0.0f;
  std::uint8_t unitCode = 0;  // as the reply gives it
  float current = 0.0f;       // mA
  // The second status byte, whenever a reply came (a status error has one too).
  std::optional<std::uint8_t> deviceStatus;
};

}  // namespace calib
