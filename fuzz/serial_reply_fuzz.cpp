// What a real link receives: the reply scanner on any bytes, and the readers the dialogs use on
// whatever it accepts.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>

#include "hart/frame.h"
#include "hart/reply_data.h"
#include "hart/serial_link.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // The first two bytes choose the request the bytes are taken to answer.
  std::array<std::uint8_t, 16> request{};
  std::size_t requestLength = 0;
  switch (data[0] % 3) {
    case 0:
      requestLength = static_cast<std::size_t>(hart::WriteShortFrame(request, data[1] & 0x0F, 0));
      break;
    case 1:
      requestLength = static_cast<std::size_t>(
          hart::WriteLongFrame(request, {63, 1, 12556}, data[1], {}));
      break;
    default:
      requestLength = static_cast<std::size_t>(hart::WriteLongFrame(request, {}, 11, {}));
      break;
  }
  const std::span<const std::uint8_t> received(data + 2, size - 2);
  const hart::ReplyScan scan =
      hart::ScanReply(received, std::span<const std::uint8_t>(request.data(), requestLength));
  if (scan.state != hart::ReplyScan::State::Complete) return 0;
  if (scan.preambles + scan.length > received.size() || scan.length > 71) std::abort();
  const auto frame = received.subspan(scan.preambles, scan.length);
  if (hart::Checksum(frame.first(frame.size() - 1)) != frame.back()) std::abort();

  std::array<std::uint8_t, 71> reply{};
  std::copy(frame.begin(), frame.end(), reply.begin());
  hart::ResponseCode(reply);
  for (int command = 0; command < 256; ++command) {
    const std::size_t need = hart::ReplyDataSize(static_cast<std::uint8_t>(command));
    if (!hart::ReplyHolds(reply, need)) continue;
    std::array<std::uint8_t, 71> copy = reply;
    for (std::size_t at = 0; at + 4 <= need; ++at) {
      hart::DataFloat(copy, at);
      copy = reply;
    }
    for (std::size_t at = 0; at + 3 <= need; ++at) hart::DataUnsigned24(reply, at);
    for (std::size_t at = 0; at < need; ++at) hart::DataByte(reply, at);
    hart::DataBytes(reply, 0, need);
  }
  return 0;
}
