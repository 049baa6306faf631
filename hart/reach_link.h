// A link around another that reaches one device the way its `hart::Reach` says, so that every
// dialog, identification, reading and scan reaches it alike:
// - by tag: the identification's poll goes out as command 11 (short tag) or 21 (long tag) to the
//   broadcast address, and whoever answers is the device;
// - at one polling address: identification polls that address alone (it asks the link);
// - behind a HART-IP gateway: before the first request the gateway is asked who it is (command
//   0), whether it is an I/O system (74) and which sub-devices it has (84, one index after
//   another). From then on every request addressed to a sub-device's long address goes to the
//   gateway wrapped in command 77 with the sub-device's card and channel, and the sub-device's
//   own reply comes out of 77's reply before the dialog hears of it. A request to a device that
//   is not the gateway (a record opened from a data file) has the gateway asked the same first,
//   once. The sub-devices listed are remembered for the session, so a record identified through
//   the gateway keeps its card and channel whichever dialog talks to it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hart/frame.h"
#include "hart/gateway.h"
#include "hart/link.h"
#include "hart/reach.h"

namespace hart {

class ReachLink : public Link {
 public:
  // `gateway`: the inner link reaches a HART-IP device, which may be an I/O system with
  // sub-devices; it is asked for them before the first request when the reach is a sub-device,
  // or after Rediscover().
  ReachLink(std::unique_ptr<Link> inner, Reach reach, bool gateway);
  // Around a link that someone else keeps.
  ReachLink(Link& inner, Reach reach, bool gateway);
  ReachLink(const ReachLink&) = delete;
  ReachLink& operator=(const ReachLink&) = delete;

  void Transmit(THartProtokol& dialog) override;
  void Forget(THartProtokol& dialog) override;
  void ReplyDue(THartProtokol& dialog) override;
  unsigned Arrived(THartProtokol& dialog, unsigned event) override;
  const Reach* Reaching() const override { return reach_.Fixed() ? &reach_ : nullptr; }

  const Reach& CurrentReach() const { return reach_; }
  void SetReach(Reach reach) { reach_ = std::move(reach); }
  bool Gateway() const { return gateway_; }

  // The gateway is asked for its sub-devices anew before the next request.
  void Rediscover();
  bool Discovered() const { return discovered_; }
  // What command 84 listed, by index.
  const std::vector<gateway::SubDevice>& SubDevices() const { return subDevices_; }
  // Indexes that 84 refused, with the reason.
  const std::vector<std::pair<std::uint16_t, std::string>>& Refused() const { return refused_; }
  // The sub-device at a long address, when the gateway listed one there.
  const gateway::SubDevice* SubDeviceAt(const LongAddress& address) const;
  // Why the last request got no answer from the gateway's side (77 refused, the reach's index not
  // listed); empty when it did not.
  const std::string& Refusal() const { return refusal_; }
  // The reach's sub-device index was refused or not listed by the gateway.
  bool IndexRefused() const { return indexRefused_; }

 private:
  enum class Step { None, Identify, Capabilities, Summary };
  struct Held {
    std::vector<std::uint8_t> request;
    int preambles = 0;
    int param1 = 0;
    int param2 = 0;
    std::uint8_t isLong = 0;
  };

  void Send(THartProtokol& dialog);
  void Discover(THartProtokol& dialog, Step step);
  // The next step of the discovery, from the reply that came; false once it is over.
  bool DiscoveryReply(THartProtokol& dialog, unsigned event);
  void EndDiscovery(THartProtokol& dialog);
  unsigned Unwrap(THartProtokol& dialog, unsigned event);

  std::unique_ptr<Link> owned_;
  Link* inner_;
  Reach reach_;
  bool gateway_;

  bool discovered_ = false;
  LongAddress gatewayAddress_;
  bool gatewayKnown_ = false;
  THartProtokol* learning_ = nullptr;
  std::vector<gateway::SubDevice> subDevices_;
  std::vector<std::pair<std::uint16_t, std::string>> refused_;
  std::uint16_t nextIndex_ = 0;
  std::uint16_t lastIndex_ = 0;
  THartProtokol* discovering_ = nullptr;
  Step step_ = Step::None;
  Held held_;

  THartProtokol* wrapped_ = nullptr;
  std::vector<std::uint8_t> wrappedFrame_;  // the request inside 77, a long frame
  std::string refusal_;
  bool indexRefused_ = false;
};

// The bytes of a tag as commands 11 (six packed bytes) and 21 (32 ISO Latin-1 bytes, blank
// padded) carry it.
std::vector<std::uint8_t> ShortTagBytes(const std::string& utf8Tag);
std::vector<std::uint8_t> LongTagBytes(const std::string& utf8Tag);

}  // namespace hart
