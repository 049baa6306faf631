// The frame trace: one line per request that leaves and one per outcome event, and under a reply
// whose device status has bits set, a line that names them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>

#include "hart/device_status.h"

namespace hart {

class FrameTrace {
 public:
  // Hears the device status of every reply the trace is shown, 0 included.
  using DeviceStatusListener = std::function<void(std::uint8_t status)>;

  // Writes to `out`, which the caller keeps open (a file, or standard error); with none it writes
  // nothing and only tells the listener.
  explicit FrameTrace(std::FILE* out) : out_(out) {}
  FrameTrace(const FrameTrace&) = delete;
  FrameTrace& operator=(const FrameTrace&) = delete;
  ~FrameTrace() { Flush(); }

  void SetDeviceStatusListener(DeviceStatusListener listener) { listener_ = std::move(listener); }

  // Hears every exchange a dialog completes: its request, the outcome event the dialog hears
  // (302 reply, 303 no answer, 311 line busy, 320 status), the reply area, and what the response
  // code means (an error's or a warning's; empty for none).
  using ExchangeListener =
      std::function<void(std::span<const std::uint8_t> request, unsigned event,
                         std::span<const std::uint8_t> reply, const std::string& meaning)>;
  void SetExchangeListener(ExchangeListener listener) { exchangeListener_ = std::move(listener); }
  void Exchanged(std::span<const std::uint8_t> request, unsigned event,
                 std::span<const std::uint8_t> reply, const std::string& meaning) const {
    if (exchangeListener_) exchangeListener_(request, event, reply, meaning);
  }
  const DeviceStatusListener& CurrentDeviceStatusListener() const { return listener_; }

  // What the replies and the line said beyond the status byte; the listener hears the last
  // device status again whenever it changes.
  const DeviceCondition& Condition() const { return condition_; }
  // A burst frame the link skipped, on a line of its own ("RX burst").
  void Burst(std::int64_t ms, std::span<const std::uint8_t> frame, int preambles);
  // What command 48 said, in words ("RX more-status").
  void MoreStatus(std::int64_t ms, const std::string& text);
  // A line of the engine's own about the reply just traced: "RX <what> <text>".
  void Note(std::int64_t ms, const char* what, const std::string& text);

  void Request(std::int64_t ms, std::span<const std::uint8_t> bytes, int preambles, int linkParam1,
               int linkParam2, int frameIsLong);
  // The outcome line stays open until the next line, so that the reply bytes can follow it.
  void Outcome(std::int64_t ms, const char* event);
  // The reply frame, delimiter first. `preambles`, when known (a real link), follows the bytes as
  // on a request line.
  void ReplyBytes(std::span<const std::uint8_t> bytes, int preambles = -1);
  // An attempt that brought no reply to hand on (a damaged frame, one the link answers itself):
  // its line at once, with what came.
  void Attempt(std::int64_t ms, const char* what, std::span<const std::uint8_t> bytes,
               int preambles);
  void Flush();

  // HART-IP: a message's header on a line of its own ("TX" out, "RX" in), ahead of the frame it
  // carries; `data` follows it (the body of a message whose frame has no line of its own).
  // Fewer than 8 bytes are shown as they came.
  void HartIpHeader(std::int64_t ms, const char* direction, std::span<const std::uint8_t> header,
                    std::span<const std::uint8_t> data = {});

  // HART-IP: what the link did of its own accord, in words ("HART-IP " and the text).
  void HartIpNote(std::int64_t ms, const std::string& text);

  static std::string Hex(std::span<const std::uint8_t> bytes);

 private:
  void Write(const std::string& line);

  std::FILE* out_;
  void Tell();

  DeviceStatusListener listener_;
  ExchangeListener exchangeListener_;
  DeviceCondition condition_;
  std::uint8_t lastStatus_ = 0;
  std::int64_t pendingMs_ = 0;
  std::string pending_;
};

}  // namespace hart
