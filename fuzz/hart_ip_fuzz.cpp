// What the HART-IP link receives: any bytes read as a TCP stream and as one datagram, each message
// judged as the link judges it, a session answer read, and a pass-through frame scanned as the
// reply to a request.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "hart/frame.h"
#include "hart/hart_ip_message.h"
#include "hart/serial_link.h"

namespace {

using hart::hartip::Parsed;

void Check(bool holds) {
  if (!holds) std::abort();
}

// A complete message is what its header says it is, and its header reads back to its bytes.
void CheckComplete(const Parsed& parsed, std::span<const std::uint8_t> at) {
  Check(parsed.size >= hart::hartip::kHeaderSize && parsed.size <= hart::hartip::kMaxMessageSize);
  Check(parsed.size == parsed.header.byteCount && parsed.size <= at.size());
  Check(parsed.whole.data() == at.data() && parsed.whole.size() == parsed.size);
  Check(parsed.body.data() == at.data() + hart::hartip::kHeaderSize &&
        parsed.body.size() == parsed.size - hart::hartip::kHeaderSize);
  const auto header = hart::hartip::EncodeHeader(parsed.header);
  Check(std::equal(header.begin(), header.end(), at.begin()));
}

void Judge(const Parsed& parsed, std::uint16_t sequence, std::span<const std::uint8_t> request) {
  for (std::uint8_t id : {hart::hartip::kSessionInitiate, hart::hartip::kPassThrough}) {
    const auto verdict = hart::hartip::Judge(parsed.header, id, sequence);
    hart::hartip::ClosesSession(parsed.header, parsed.body);
    if (verdict != hart::hartip::Verdict::Answer) continue;
    Check(parsed.header.sequence == sequence && parsed.header.id == id);
    if (id == hart::hartip::kSessionInitiate) {
      hart::hartip::JudgeSessionStatus(parsed.header.status);
      Check(!hart::hartip::RefusalText(parsed.header.status, "127.0.0.1:5094").empty());
      if (const auto p = hart::hartip::ReadInitiateBody(parsed.body)) Check(parsed.body.size() >= 5);
    } else {
      const hart::ReplyScan scan = hart::ScanReply(parsed.body, request);
      if (scan.state == hart::ReplyScan::State::Complete) {
        Check(scan.preambles + scan.length <= parsed.body.size());
        Check(scan.length <= hart::kFrameSize - hart::kReplyOffset);
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  // The first byte chooses the request awaited, the next two its sequence number.
  std::array<std::uint8_t, 16> request{};
  const std::size_t requestLength =
      data[0] % 2 == 0
          ? static_cast<std::size_t>(hart::WriteShortFrame(request, data[0] >> 4, 0))
          : static_cast<std::size_t>(hart::WriteLongFrame(request, {0x26, 0xE1, 0x0A1B2C}, 3, {}));
  const auto awaited = std::span<const std::uint8_t>(request.data(), requestLength);
  const auto sequence = static_cast<std::uint16_t>(data[1] << 8 | data[2]);
  const std::span<const std::uint8_t> bytes(data + 3, size - 3);

  const Parsed datagram = hart::hartip::ParseDatagram(bytes);
  if (datagram.state == Parsed::State::Complete) {
    CheckComplete(datagram, bytes);
    Check(datagram.size == bytes.size());
    Judge(datagram, sequence, awaited);
  }

  std::size_t at = 0;
  for (;;) {
    const auto rest = bytes.subspan(at);
    const Parsed parsed = hart::hartip::ParseStream(rest);
    if (parsed.state != Parsed::State::Complete) break;
    CheckComplete(parsed, rest);
    Judge(parsed, sequence, awaited);
    at += parsed.size;
  }
  return 0;
}
