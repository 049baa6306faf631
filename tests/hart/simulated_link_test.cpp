#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hart/komendy.h"
#include "hart/reply_data.h"
#include "hart/serial_link.h"
#include "hart/simulated_link.h"
#include "tests/support/identified_record.h"
#include "tests/support/test_transmitter.h"
#include "ui/headless/headless_platform.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

ui::DialogTemplate ProbeTemplate() {
  ui::DialogTemplate tpl;
  tpl.resourceId = 900;
  tpl.rect = {0, 0, 100, 50};
  return tpl;
}

// Sends raw requests to the transmitter of `record` and keeps the reply area of each event.
class Probe : public TKomendy {
 public:
  Probe(const TSerialPortSettings& settings, const TDaneIPPC& record)
      : TKomendy(nullptr, ProbeTemplate(), settings, nullptr), record_(record) {}
  const TDaneIPPC* AddressedRecord() const override { return &record_; }

  void Send(const Bytes& request) {
    std::copy(request.begin(), request.end(), frame.begin());
    requestLength = static_cast<int>(request.size());
    frameIsLong = request[0] == hart::kLongDelimiter ? 1 : 0;
    replies.clear();
    StartReplyTimer();
  }
  std::vector<Bytes> replies;

 protected:
  ui::LResult EvReply() override { return Keep(); }
  ui::LResult EvStatusError() override { return Keep(); }

 private:
  ui::LResult Keep() {
    replies.emplace_back(Reply().begin(), Reply().end());
    return 0;
  }
  const TDaneIPPC& record_;
};

Bytes WithChecksum(Bytes frame) {
  frame.push_back(hart::Checksum(frame));
  return frame;
}

Bytes Wire(float value) {
  const auto bits = std::bit_cast<std::uint32_t>(value);
  return {static_cast<std::uint8_t>(bits >> 24), static_cast<std::uint8_t>(bits >> 16),
          static_cast<std::uint8_t>(bits >> 8), 0};
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// The record's transmitter, not the canned one, so that the mirroring of the record shows.
TDaneIPPC Record() {
  TDaneIPPC r = IdentifiedRecord();
  r.pollingAddress = 2;
  r.unitCode = 7;
  r.upperRange = 2.5f;
  r.lowerRange = -0.5f;
  r.upperSensorLimit = 10.0f;
  r.damping = 0.25f;
  r.assemblyNumber = 0x123456;
  return r;
}

TEST(SimulatedLink, AnswersAsTheSerialTestTransmitterDoesWritesAndReadBacks) {
  ui::ScopedHeadlessPlatform platform;
  const TDaneIPPC record = Record();
  const auto Long = [&](std::uint8_t command, const Bytes& data = {}) {
    Bytes frame{0x82, record.manufacturerId, record.deviceType, 0x00, 0x31, 0x0C, command,
                static_cast<std::uint8_t>(data.size())};
    frame.insert(frame.end(), data.begin(), data.end());
    return WithChecksum(frame);
  };
  // Each exchange is a write (or a read alone) and what reads it back; a write starts from the
  // record on either side.
  const std::vector<std::vector<Bytes>> exchanges{
      {Long(44, {12}), Long(14), Long(15)},
      {Long(34, Wire(1.5f)), Long(15)},
      {Long(35, Cat({{7}, Wire(3.0f), Wire(-1.0f)})), Long(15)},
      {Long(47, {1}), Long(15)},
      {Long(6, {3}), WithChecksum({0x02, 0x03, 0x00, 0x00})},
      {Long(59, {9})},
      {Long(17, Bytes(24, 0x82)), Long(12)},
      {Long(18, Cat({Bytes(18, 0x41), {1, 2, 99}})), Long(13)},
      {Long(19, {0xAB, 0xCD, 0xEF}), Long(16)},
      {Long(40, Wire(12.0f)), Long(3)},
      {Long(36), Long(15)},
      {Long(37), Long(15)},
      {Long(43), Long(1)},
      {Long(67, Cat({{0, 7}, Wire(1.5f)})), Long(68, Cat({{0, 7}, Wire(9.0f)}))},
      {WithChecksum({0x02, 0x02, 0x00, 0x00}), Long(1), Long(3), Long(13), Long(14), Long(16)},
  };

  testhart::TestTransmitter transmitter;
  transmitter.SetMasterBit(false);
  std::string error;
  const std::unique_ptr<hart::SerialLink> serial =
      hart::SerialLink::Open(transmitter.Device(), {}, error);
  ASSERT_NE(serial, nullptr) << error;
  hart::SimulatedLink simulated;
  Probe overSerial({{}, nullptr, serial.get()}, record);
  Probe overSimulated({{}, nullptr, &simulated}, record);
  ASSERT_TRUE(overSerial.CreateModeless());
  ASSERT_TRUE(overSimulated.CreateModeless());

  for (const std::vector<Bytes>& exchange : exchanges) {
    transmitter.SetModel(hart::ModelOf(record));
    for (const Bytes& request : exchange) {
      platform->SetRealTime(false);
      overSimulated.Send(request);
      platform->Advance(400);
      platform->SetRealTime(true);
      overSerial.Send(request);
      platform->RunUntil([&] { return !overSerial.replies.empty(); }, 5000);
      ASSERT_EQ(overSerial.replies.size(), 1u) << hart::FrameTrace::Hex(request);
      ASSERT_EQ(overSimulated.replies.size(), 1u) << hart::FrameTrace::Hex(request);
      EXPECT_EQ(hart::ResponseCode(overSimulated.replies[0]), 0) << hart::FrameTrace::Hex(request);
      EXPECT_EQ(overSimulated.replies[0], overSerial.replies[0]) << hart::FrameTrace::Hex(request);
    }
  }
}

TEST(ReadBack, TheHeldValueStandsWhereTheWireAgreesWithIt) {
  struct Case {
    float held;
    float received;
    float kept;
  };
  const float tenth = 0.1f;                                         // 3D CC CC CD
  const float tenthOnTheWire = std::bit_cast<float>(0x3DCCCC00u);   // its lowest byte dropped
  const float stepAbove = std::bit_cast<float>(0x3DCCCD00u);        // the next the wire carries
  const Case cases[] = {
      {tenth, tenthOnTheWire, tenth},
      {tenth, stepAbove, stepAbove},
      {249996.09375f, std::bit_cast<float>(0x48742300u), 249996.09375f},
      {0.0f, 0.0f, 0.0f},
      {2.5f, 0.5f, 0.5f},
      {-3.0f, -3.0f, -3.0f},
      {-3.0f, 3.0f, 3.0f},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(std::bit_cast<std::uint32_t>(hart::ReadBack(c.held, c.received)),
              std::bit_cast<std::uint32_t>(c.kept))
        << c.held << " " << c.received;
  }
  // Numbers of three bytes: the low 24 bits agree, or the transmitter's number is taken.
  EXPECT_EQ(hart::ReadBack(std::uint32_t{16777216}, std::uint32_t{0}), 16777216u);
  EXPECT_EQ(hart::ReadBack(std::uint32_t{16777216}, std::uint32_t{5}), 5u);
}

}  // namespace
