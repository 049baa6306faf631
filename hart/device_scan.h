// A scan: identification repeated over the polling addresses of a loop, or over the sub-devices
// a HART-IP gateway lists, noting each device that answers with its tag and long tag. A silent
// address costs one attempt; where anything was heard the usual attempts go on.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "hart/gateway.h"
#include "hart/identity.h"
#include "hart/protokol.h"
#include "hart/reach.h"

namespace hart {
class ReachLink;
}

struct FoundDevice {
  std::uint8_t pollingAddress = 0;
  // Found by the search for its tag (commands 11, 21): its polling address is not known.
  bool byTag = false;
  // Behind a gateway: what its command 84 said.
  std::optional<hart::gateway::SubDevice> sub;
  hart::Identity identity;
  std::string tag;      // command 13, as the panel shows it
  std::string longTag;  // command 20, HART 6 and 7
  // Not empty: the gateway could not reach it, and why; it is left out of the list.
  std::string leftOut;

  // How the device is reached again: its polling address, or its index behind the gateway.
  hart::Reach ReachOf() const;
};

// "40  HART 7  изготовитель 0x6011  тип 0xE4A7  номер 0x0A1B2C  PT-101  LT-206 TANK LEVEL"
std::string FoundLine(const FoundDevice& device);

class TDeviceScan : public THartProtokol {
 public:
  // A gateway behind the link (a `hart::ReachLink` that says so) is scanned by its
  // sub-devices, anything else by the polling addresses from..to.
  TDeviceScan(ui::Window* parent, ui::DialogTemplate tpl, const TSerialPortSettings& settings,
              int from = 0, int to = hart::kLastPollingAddress);
  static ui::DialogTemplate QuietTemplate();

  // Step `done` of `total` is over; total is 0 until a gateway has said how many it has.
  std::function<void(int done, int total)> onProgress;
  std::function<void()> onFinished;

  void Begin();
  // Ends the scan once the request under way is over, keeping what was found.
  void Stop() { stopping_ = true; }
  bool Running() const { return running_; }
  const std::vector<FoundDevice>& Found() const { return found_; }

 protected:
  ui::LResult EvReply() override;
  ui::LResult EvNoAnswer() override;
  ui::LResult EvLineBusy() override;
  ui::LResult EvStatusError() override;

 private:
  enum class Step { Gateway, Poll, Tag, LongTag };
  void Next();
  void PollCurrent();
  void Finish();
  void Progress();
  // What came to the step's request; `heard` false when nothing usable did.
  void Take(bool heard);

  hart::ReachLink* gateway_ = nullptr;
  int from_;
  int to_;
  int at_ = 0;  // the address, or the index into the gateway's list
  int total_ = 0;
  Step step_ = Step::Poll;
  bool byTag_ = false;
  bool running_ = false;
  bool stopping_ = false;
  std::vector<FoundDevice> found_;
};
