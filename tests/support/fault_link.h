// A bad line between the dialogs and another link: requests the transmitter never hears, replies
// lost, late, damaged on the line (so that a line link's checks refuse them, and the dialog hears
// no answer) or damaged in content (a frame that passes every check), busy, any response code,
// device status bits. Each request draws one fault, or none, from a seeded generator at the
// chosen rates, so that a run repeats exactly.
//
// The inner link answers a relay, a hidden dialog standing in for the real one, so that the reply
// can be spoiled before the dialog sees it. The dialog then hears of it through its own reply
// timer, as from the simulated transmitter, never from inside the inner link.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <vector>

#include "hart/link.h"

class THartProtokol;

namespace testhart {

enum class Fault {
  None,
  LostRequest,    // the transmitter never hears it: no answer
  LostReply,      // the transmitter carries it out, its reply is lost: no answer
  Late,           // the reply comes up to kMaxLateMs late
  LineDamage,     // bits flipped on the line: a line link hears no answer
  ContentDamage,  // a well-formed frame with a shorter, longer or garbled data part
  Busy,           // response code 32, no data
  ResponseCode,   // any other response code, with or without data; or a communication error
  DeviceStatus,   // device status bits set in an otherwise good reply
};
inline constexpr std::size_t kFaultKinds = 9;
const char* FaultName(Fault fault);

// The chance of each fault per request; the rest go through untouched.
struct FaultRates {
  std::array<double, kFaultKinds> chance{};  // by Fault; chance[None] is not used

  double& operator[](Fault fault) { return chance[static_cast<std::size_t>(fault)]; }
  double Total() const;
  // Rates a seed chooses: each fault is absent or up to `ceiling`.
  static FaultRates Drawn(std::mt19937_64& random, double ceiling);
};

class FaultLink : public hart::Link {
 public:
  static constexpr int kMaxLateMs = 5000;
  // How long a request nobody answers keeps the dialog waiting, as a line link's time-out.
  static constexpr int kNoAnswerMs = 400;

  FaultLink(hart::Link& inner, std::uint64_t seed, FaultRates rates);
  ~FaultLink() override;
  FaultLink(const FaultLink&) = delete;
  FaultLink& operator=(const FaultLink&) = delete;

  void Transmit(THartProtokol& dialog) override;
  void Forget(THartProtokol& dialog) override;
  void ReplyDue(THartProtokol& dialog) override;

  // Every request from now on suffers `fault` (none: drawn at the rates again).
  void Force(std::optional<Fault> fault) { forced_ = fault; }
  void SetRates(const FaultRates& rates) { rates_ = rates; }
  const FaultRates& Rates() const { return rates_; }

  // Told of every request as it goes (the fault it drew) and every event as it is delivered.
  struct Observer {
    std::function<void(const THartProtokol&, Fault, std::span<const std::uint8_t> request)> sent;
    std::function<void(const THartProtokol&, unsigned event, std::span<const std::uint8_t> reply)>
        delivered;
  };
  void Observe(Observer observer) { observer_ = std::move(observer); }

  // Requests by the fault they drew.
  const std::array<std::uint64_t, kFaultKinds>& Counts() const { return counts_; }
  // The dialogs that still have an event to come from this link, and the relays alive.
  std::vector<const THartProtokol*> Waiting() const;
  std::size_t Relays() const { return exchanges_.size(); }

 private:
  class Relay;
  enum class State { Idle, AtInner, Due };
  struct Exchange {
    THartProtokol* dialog = nullptr;
    std::unique_ptr<Relay> relay;
    State state = State::Idle;
    Fault fault = Fault::None;
    unsigned event = 0;
    std::vector<std::uint8_t> reply;
  };

  Exchange* Find(const THartProtokol& dialog);
  Fault Draw();
  // The inner link's answer reached the relay; spoil it as drawn and have the dialog's timer
  // deliver it.
  void Received(Relay& relay, unsigned event);
  void Spoil(Exchange& exchange, unsigned event, std::vector<std::uint8_t> frame);
  void Due(Exchange& exchange, unsigned event, std::vector<std::uint8_t> frame, int delayMs);
  int Uniform(int low, int high);

  hart::Link& inner_;
  std::mt19937_64 random_;
  FaultRates rates_;
  std::optional<Fault> forced_;
  Observer observer_;
  std::array<std::uint64_t, kFaultKinds> counts_{};
  std::vector<Exchange> exchanges_;
};

}  // namespace testhart
