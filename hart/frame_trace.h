// The frame trace: one line per request that leaves and one per outcome event.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

namespace hart {

class FrameTrace {
 public:
  // Writes to `out`, which the caller keeps open (a file, or standard error).
  explicit FrameTrace(std::FILE* out) : out_(out) {}
  FrameTrace(const FrameTrace&) = delete;
  FrameTrace& operator=(const FrameTrace&) = delete;
  ~FrameTrace() { Flush(); }

  void Request(std::int64_t ms, std::span<const std::uint8_t> bytes, int preambles, int linkParam1,
               int linkParam2, int frameIsLong);
  // The outcome line stays open until the next line, so that the reply bytes can follow it.
  void Outcome(std::int64_t ms, const char* event);
  // `preambles`, when known (a real link), follows the bytes as on a request line.
  void ReplyBytes(std::span<const std::uint8_t> bytes, int preambles = -1);
  void Flush();

  // HART-IP: a message's header on a line of its own ("TX" out, "RX" in), ahead of the frame it
  // carries; `data` follows it (the body of a message whose frame has no line of its own).
  // Fewer than 8 bytes are shown as they came.
  void HartIpHeader(std::int64_t ms, const char* direction, std::span<const std::uint8_t> header,
                    std::span<const std::uint8_t> data = {});

  static std::string Hex(std::span<const std::uint8_t> bytes);

 private:
  std::FILE* out_;
  std::string pending_;
};

}  // namespace hart
