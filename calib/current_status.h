// The status messages of the loop current commands (40, 45, 46), which the fixed current and
// the current calibration dialogs share.
#pragma once

#include <cstdint>

namespace calib {

struct StatusMessage {
  const char* text;
  const char* caption;
};

// The message for a non-zero response code; codes without a text of their own get the general
// status message under `otherCaption`, the one place where the two dialogs differ.
StatusMessage CurrentStatus(std::uint8_t responseCode, const char* otherCaption);

}  // namespace calib
