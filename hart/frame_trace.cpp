#include "hart/frame_trace.h"

#include "hart/device_status.h"

namespace hart {
namespace {

std::string HexByte(std::uint8_t b) { return FrameTrace::Hex(std::span(&b, 1)); }

}  // namespace

std::string FrameTrace::Hex(std::span<const std::uint8_t> bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (std::uint8_t b : bytes) {
    if (!out.empty()) out.push_back(' ');
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0xF]);
  }
  return out;
}

void FrameTrace::Request(std::int64_t ms, std::span<const std::uint8_t> bytes, int preambles,
                         int linkParam1, int linkParam2, int frameIsLong) {
  Flush();
  Write(std::to_string(ms) + " TX " + Hex(bytes) + " preambles=" + std::to_string(preambles) +
        " p1=" + std::to_string(linkParam1) + " p2=" + std::to_string(linkParam2) +
        " long=" + std::to_string(frameIsLong));
}

void FrameTrace::Outcome(std::int64_t ms, const char* event) {
  Flush();
  pendingMs_ = ms;
  pending_ = std::to_string(ms) + " RX " + event;
}

void FrameTrace::ReplyBytes(std::span<const std::uint8_t> bytes, int preambles) {
  const std::optional<std::uint8_t> status = DeviceStatusOf(bytes);
  if (!pending_.empty()) {
    if (!bytes.empty()) {
      pending_ += ' ';
      pending_ += Hex(bytes);
    }
    if (preambles >= 0) pending_ += " preambles=" + std::to_string(preambles);
    if (status && *status != 0) {
      pending_ += '\n' + std::to_string(pendingMs_) + " RX device-status " + HexByte(*status) +
                  ": " + DeviceStatusText(*status);
    }
  }
  if (status) {
    lastStatus_ = *status;
    // A bursting transmitter says so in the address of its every reply too.
    constexpr std::uint8_t kBurstBit = 0x40;
    if ((bytes[1] & kBurstBit) != 0) condition_.burstMode = true;
    Tell();
  }
}

void FrameTrace::Tell() {
  if (listener_) listener_(lastStatus_);
}

void FrameTrace::Burst(std::int64_t ms, std::span<const std::uint8_t> frame, int preambles) {
  Attempt(ms, "burst", frame, preambles);
  if (!condition_.burstMode) {
    condition_.burstMode = true;
    Tell();
  }
}

void FrameTrace::MoreStatus(std::int64_t ms, const std::string& text) {
  Note(ms, "more-status", text.empty() ? "-" : text);
  condition_.moreStatus = text;
  Tell();
}

void FrameTrace::Note(std::int64_t ms, const char* what, const std::string& text) {
  Flush();
  Write(std::to_string(ms) + " RX " + what + " " + text);
}

void FrameTrace::Attempt(std::int64_t ms, const char* what, std::span<const std::uint8_t> bytes,
                         int preambles) {
  Flush();
  std::string line = std::to_string(ms) + " RX " + what;
  if (!bytes.empty()) line += ' ' + Hex(bytes);
  Write(line + " preambles=" + std::to_string(preambles));
}

void FrameTrace::Flush() {
  if (pending_.empty()) return;
  Write(pending_);
  pending_.clear();
}

void FrameTrace::Write(const std::string& line) {
  if (out_ == nullptr) return;
  std::fprintf(out_, "%s\n", line.c_str());
  std::fflush(out_);
}

void FrameTrace::HartIpHeader(std::int64_t ms, const char* direction,
                              std::span<const std::uint8_t> header,
                              std::span<const std::uint8_t> data) {
  Flush();
  const std::string head = std::to_string(ms) + " HART-IP " + direction;
  if (header.size() < 8) {
    Write(head + " unreadable " + Hex(header));
    return;
  }
  char fields[96];
  std::snprintf(fields, sizeof fields, " version=%u type=%u id=%u status=%u seq=%u length=%u",
                header[0], header[1], header[2], header[3],
                static_cast<unsigned>(header[4] << 8 | header[5]),
                static_cast<unsigned>(header[6] << 8 | header[7]));
  Write(head + fields + (data.empty() ? "" : " data=" + Hex(data)));
}

void FrameTrace::HartIpNote(std::int64_t ms, const std::string& text) {
  Flush();
  Write(std::to_string(ms) + " HART-IP " + text);
}

}  // namespace hart
