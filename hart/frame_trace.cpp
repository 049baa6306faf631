#include "hart/frame_trace.h"

namespace hart {

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
  std::fprintf(out_, "%lld TX %s preambles=%d p1=%d p2=%d long=%d\n", static_cast<long long>(ms),
               Hex(bytes).c_str(), preambles, linkParam1, linkParam2, frameIsLong);
  std::fflush(out_);
}

void FrameTrace::Outcome(std::int64_t ms, const char* event) {
  Flush();
  pending_ = std::to_string(ms) + " RX " + event;
}

void FrameTrace::ReplyBytes(std::span<const std::uint8_t> bytes, int preambles) {
  if (pending_.empty()) return;
  if (!bytes.empty()) {
    pending_ += ' ';
    pending_ += Hex(bytes);
  }
  if (preambles >= 0) pending_ += " preambles=" + std::to_string(preambles);
}

void FrameTrace::Flush() {
  if (pending_.empty()) return;
  std::fprintf(out_, "%s\n", pending_.c_str());
  std::fflush(out_);
  pending_.clear();
}

void FrameTrace::HartIpHeader(std::int64_t ms, const char* direction,
                              std::span<const std::uint8_t> header,
                              std::span<const std::uint8_t> data) {
  Flush();
  if (header.size() < 8) {
    std::fprintf(out_, "%lld HART-IP %s unreadable %s\n", static_cast<long long>(ms), direction,
                 Hex(header).c_str());
  } else {
    std::fprintf(out_, "%lld HART-IP %s version=%u type=%u id=%u status=%u seq=%u length=%u%s%s\n",
                 static_cast<long long>(ms), direction, header[0], header[1], header[2], header[3],
                 static_cast<unsigned>(header[4] << 8 | header[5]),
                 static_cast<unsigned>(header[6] << 8 | header[7]), data.empty() ? "" : " data=",
                 Hex(data).c_str());
  }
  std::fflush(out_);
}

}  // namespace hart
