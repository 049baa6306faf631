// A HART-IP gateway for the tests: an I/O system (itself a HART 7 device at polling address 0)
// with three sub-devices, HART 5, 6 and 7, on two I/O cards, each the transmitter model behind
// its own model answerer. It answers 0 and 20 for itself, 74, 84 and 77, and passes what 77
// carries to the sub-device on the card and channel named. Its answer function goes to the
// HART-IP test server as any transmitter's does.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "hart/gateway.h"
#include "tests/support/model_answerer.h"

namespace testhart {

class GatewayModel {
 public:
  struct Slot {
    hart::gateway::SubDevice summary;
    std::unique_ptr<ModelAnswerer> device;
  };

  GatewayModel();
  GatewayModel(const GatewayModel&) = delete;
  GatewayModel& operator=(const GatewayModel&) = delete;

  std::vector<std::uint8_t> Answer(const std::vector<std::uint8_t>& request);
  std::function<std::vector<std::uint8_t>(const std::vector<std::uint8_t>&)> Function() {
    return [this](const std::vector<std::uint8_t>& r) { return Answer(r); };
  }

  // 77 to sub-device `index` (1..3) is answered with `code` alone; 0: passed on again.
  void Refuse77(std::uint16_t index, std::uint8_t code);
  // 77 is answered by the next sub-device along instead of the one addressed: a gateway that
  // mixes up its channels.
  void Misroute(bool on);
  const hart::gateway::SubDevice& Summary(std::uint16_t index) const;

 private:
  std::vector<std::uint8_t> Reply(std::uint8_t command, std::uint8_t code,
                                  const std::vector<std::uint8_t>& data) const;

  mutable std::mutex mutex_;
  hart::TransmitterModel own_;
  ModelAnswerer ownAnswerer_;
  std::vector<Slot> slots_;
  std::map<std::uint16_t, std::uint8_t> refusals_;
  bool misroute_ = false;
};

}  // namespace testhart
