// A link for dialog tests: it answers each request with the slave reply frame a transmitter would
// send (long form, or short form to a short request), built from data the test chose, written
// into the dialog's reply area, then raises 302, or 320 for a non-zero response code (311 for
// busy). The answer comes after 400 ms of the headless clock, or at once on Deliver().
// Declare it after the platform and before the dialog: the dialog forgets itself on its way out.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <span>
#include <utility>
#include <vector>

#include "hart/frame.h"
#include "hart/protokol.h"
#include "ui/window.h"

class FakeLink : public hart::Link, private ui::Window {
 public:
  static constexpr int kAnswerTimerId = 1;
  static constexpr int kAnswerDelayMs = 400;
  static constexpr std::uint8_t kBusy = 32;
  // What the reply area holds past the frame, as an earlier, longer reply would leave it.
  static constexpr std::uint8_t kStale = 0xEE;

  FakeLink() : ui::Window(nullptr) { Create(); }

  // The answer to `command` from now on. A command without one gets its request data back.
  void Answer(std::uint8_t command, std::vector<std::uint8_t> data,
              std::uint8_t responseCode = 0) {
    answers_[command] = Scripted{std::move(data), responseCode};
  }

  // Answers the waiting request now.
  void Deliver() {
    KillTimer(kAnswerTimerId);
    THartProtokol* dialog = std::exchange(dialog_, nullptr);
    if (dialog == nullptr) return;
    const std::vector<std::uint8_t>& request = requests_.back();
    const bool shortRequest = request[0] == hart::kShortDelimiter;
    const std::uint8_t command = request[shortRequest ? 2 : 6];
    Scripted answer;
    if (auto it = answers_.find(command); it != answers_.end()) {
      answer = it->second;
    } else if (!shortRequest) {
      answer.data.assign(request.begin() + 8, request.begin() + 8 + request[7]);
    }
    if (shortRequest) {
      lastReply_ = {0x06, request[1], command};
    } else {
      lastReply_ = {0x86, request[1], request[2], request[3], request[4], request[5], command};
    }
    lastReply_.push_back(static_cast<std::uint8_t>(2 + answer.data.size()));
    lastReply_.push_back(answer.responseCode);
    lastReply_.push_back(0);  // device status
    lastReply_.insert(lastReply_.end(), answer.data.begin(), answer.data.end());
    lastReply_.push_back(hart::Checksum(lastReply_));

    const std::span<std::uint8_t> area = dialog->Reply();
    std::fill(area.begin(), area.end(), kStale);
    std::copy_n(lastReply_.begin(), std::min(lastReply_.size(), area.size()), area.begin());
    const unsigned event = answer.responseCode == 0       ? kEvReply
                           : answer.responseCode == kBusy ? kEvLineBusy
                                                          : kEvStatusError;
    if (likeARealLink) {
      dialog->NoteReceived(static_cast<int>(lastReply_.size()), THartProtokol::kNoPreambles);
    }
    dialog->SendMessage(event);
  }

  // Tells the dialog what it received, as the real links do, so that the engine classes the
  // response code: a warning's reply then reaches the dialog as a reply with its caution.
  bool likeARealLink = false;

  bool Waiting() const { return dialog_ != nullptr; }
  // Every request as it left a dialog, oldest first.
  const std::vector<std::vector<std::uint8_t>>& Requests() const { return requests_; }
  const std::vector<std::uint8_t>& LastReply() const { return lastReply_; }

  void Transmit(THartProtokol& dialog) override {
    dialog_ = &dialog;
    const auto request = dialog.Request();
    requests_.emplace_back(request.begin(), request.end());
    SetTimer(kAnswerTimerId, kAnswerDelayMs);
  }

  void Forget(THartProtokol& dialog) override {
    if (dialog_ != &dialog) return;
    dialog_ = nullptr;
    KillTimer(kAnswerTimerId);
  }

 private:
  struct Scripted {
    std::vector<std::uint8_t> data;
    std::uint8_t responseCode = 0;
  };

  void OnTimer(int id) override {
    if (id == kAnswerTimerId) Deliver();
  }

  std::map<std::uint8_t, Scripted> answers_;
  std::vector<std::vector<std::uint8_t>> requests_;
  std::vector<std::uint8_t> lastReply_;
  THartProtokol* dialog_ = nullptr;
};

// The four bytes of a float as a transmitter sends it: IEEE single, most significant first.
inline std::vector<std::uint8_t> WireFloat(float value) {
  const auto bits = std::bit_cast<std::uint32_t>(value);
  return {static_cast<std::uint8_t>(bits >> 24), static_cast<std::uint8_t>(bits >> 16),
          static_cast<std::uint8_t>(bits >> 8), static_cast<std::uint8_t>(bits)};
}

// Reply data assembled from bytes and floats, in order.
inline std::vector<std::uint8_t> ReplyData(std::initializer_list<std::vector<std::uint8_t>> parts) {
  std::vector<std::uint8_t> out;
  for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}
