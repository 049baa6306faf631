// What a record held before a dialog stored values it was only about to send. A dialog that
// stores at Send gives the record back when the transmitter refuses the values or never hears
// them, and lets it go when the reply comes.
#pragma once

#include <optional>

#include "record/record.h"

class KeptRecord {
 public:
  // Keeps `record` as it stands. A write sent again before its reply keeps what the record held
  // before the first: neither reached the transmitter.
  void Keep(TDaneIPPC& record) {
    if (kept_ && where_ == &record) return;
    kept_ = record;
    where_ = &record;
  }

  // The reply came: the values stay.
  void Drop() { kept_.reset(); }

  // The write failed: the record is as it was before Send. True when it was given back, so that
  // whatever showed the record meanwhile is shown it again.
  bool GiveBack() {
    const bool held = kept_.has_value();
    if (held) *where_ = *kept_;
    kept_.reset();
    return held;
  }

 private:
  std::optional<TDaneIPPC> kept_;
  TDaneIPPC* where_ = nullptr;
};
