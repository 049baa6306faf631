// A command dialog without controls for the engine and link tests: it notes every outcome event
// with its time and the reply area as it stood, then behaves as the command dialog base does,
// and it can send a request given byte for byte.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

#include "hart/komendy.h"
#include "ui/platform.h"

class ProbeDialog : public TKomendy {
 public:
  using Bytes = std::vector<std::uint8_t>;
  struct Outcome {
    unsigned event;
    std::int64_t at;
    Bytes reply;
  };

  // `addressed`: the record whose transmitter the requests go to, for a simulated link to mirror.
  explicit ProbeDialog(const TSerialPortSettings& settings = {},
                       const TDaneIPPC* addressed = nullptr)
      : TKomendy(nullptr, BuildTemplate(), settings, nullptr), addressed_(addressed) {}

  static ui::DialogTemplate BuildTemplate() {
    ui::DialogTemplate tpl;
    tpl.resourceId = 900;
    tpl.rect = {0, 0, 100, 50};
    return tpl;
  }

  const TDaneIPPC* AddressedRecord() const override { return addressed_; }

  void SendRaw(const Bytes& request) {
    std::copy(request.begin(), request.end(), frame.begin());
    requestLength = static_cast<int>(request.size());
    frameIsLong = request.front() == hart::kLongDelimiter ? 1 : 0;
    StartReplyTimer();
  }

  Bytes Sent() const { return Bytes(Request().begin(), Request().end()); }
  Bytes Sent(std::size_t from, std::size_t to) const {
    return Bytes(Request().begin() + static_cast<std::ptrdiff_t>(from),
                 Request().begin() + static_cast<std::ptrdiff_t>(to));
  }

  std::vector<unsigned> Events() const {
    std::vector<unsigned> out;
    for (const Outcome& o : outcomes) out.push_back(o.event);
    return out;
  }
  std::vector<std::int64_t> TimesOf(unsigned event) const {
    std::vector<std::int64_t> out;
    for (const Outcome& o : outcomes) {
      if (o.event == event) out.push_back(o.at);
    }
    return out;
  }

  std::vector<Outcome> outcomes;

 protected:
  ui::LResult EvReply() override {
    Note(kEvReply);
    return TKomendy::EvReply();
  }
  ui::LResult EvNoAnswer() override {
    Note(kEvNoAnswer);
    return TKomendy::EvNoAnswer();
  }
  ui::LResult EvLineBusy() override {
    Note(kEvLineBusy);
    return TKomendy::EvLineBusy();
  }
  ui::LResult EvStatusError() override {
    Note(kEvStatusError);
    return TKomendy::EvStatusError();
  }

 private:
  void Note(unsigned event) {
    outcomes.push_back({event, ui::ThePlatform().NowMs(), Bytes(Reply().begin(), Reply().end())});
  }

  const TDaneIPPC* addressed_;
};

// A command dialog for the link tests that records the outcome events instead of showing the
// base's messages; `during` runs inside each hook.
class QuietProbe : public TKomendy {
 public:
  explicit QuietProbe(const TSerialPortSettings& settings)
      : TKomendy(nullptr, ProbeDialog::BuildTemplate(), settings, nullptr) {}
  std::vector<unsigned> events;
  std::function<void()> during;
  using THartProtokol::IssueLong;

 protected:
  ui::LResult EvReply() override { return Note(kEvReply); }
  ui::LResult EvNoAnswer() override { return Note(kEvNoAnswer); }
  ui::LResult EvLineBusy() override { return Note(kEvLineBusy); }
  ui::LResult EvStatusError() override { return Note(kEvStatusError); }

 private:
  ui::LResult Note(unsigned event) {
    events.push_back(event);
    if (during) during();
    return 0;
  }
};
