// The built-in simulated transmitter as a link: each request is answered 400 ms after it, by the
// dialog's own reply timer, with the reply the transmitter model gives, written at byte 100 of
// the dialog's frame as a received reply is.
#pragma once

#include <cstdint>
#include <vector>

#include "hart/link.h"
#include "hart/transmitter_model.h"
#include "record/record.h"

namespace hart {

class SimulatedLink : public Link {
 public:
  SimulatedLink() = default;
  SimulatedLink(const SimulatedLink&) = delete;
  SimulatedLink& operator=(const SimulatedLink&) = delete;

  void Transmit(THartProtokol& dialog) override;
  void Forget(THartProtokol& dialog) override;
  void ReplyDue(THartProtokol& dialog) override;

  const TransmitterModel& Model() const { return model_; }

 private:
  // The model mirrors the record the dialog addresses (the canned transmitter where none).
  void Mirror(const THartProtokol& dialog, bool writes);

  TransmitterModel model_;
  const THartProtokol* mirroring_ = nullptr;
  const TDaneIPPC* record_ = nullptr;
  TDaneIPPC mirrored_;

  THartProtokol* waiting_ = nullptr;
  std::vector<std::uint8_t> request_;
};

// The model of the transmitter a record describes, with what no record holds (the sensor, the
// loop) as the simulated transmitter has it.
TransmitterModel ModelOf(const TDaneIPPC& record);

}  // namespace hart
