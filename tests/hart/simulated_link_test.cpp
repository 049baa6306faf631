#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hart/reply_data.h"
#include "hart/serial_link.h"
#include "hart/simulated_link.h"
#include "tests/support/dialog_checks.h"
#include "tests/support/fake_link.h"
#include "tests/support/identified_record.h"
#include "tests/support/probe_dialog.h"
#include "tests/support/test_transmitter.h"
#include "ui/headless/headless_platform.h"

namespace {

// The record's transmitter, not the canned one, so that the mirroring of the record shows.
TDaneIPPC Record() {
  TDaneIPPC r = IdentifiedRecord();
  r.pollingAddress = 2;
  r.unitCode = 7;
  r.upperRange = 2.5f;
  r.lowerRange = -0.5f;
  r.upperSensorLimit = 10.0f;
  r.lowerSensorLimit = -1.0f;
  r.minimumSpan = 0.5f;
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
      {Long(34, WireFloat(1.5f)), Long(15)},
      {Long(35, ReplyData({{7}, WireFloat(3.0f), WireFloat(-1.0f)})), Long(15)},
      {Long(47, {1}), Long(15)},
      {Long(6, {3}), WithChecksum({0x02, 0x03, 0x00, 0x00})},
      {Long(59, {9})},
      {Long(17, Bytes(24, 0x82)), Long(12)},
      {Long(18, ReplyData({Bytes(18, 0x41), {1, 2, 99}})), Long(13)},
      {Long(19, {0xAB, 0xCD, 0xEF}), Long(16)},
      {Long(40, WireFloat(12.0f)), Long(3)},
      {Long(36), Long(15)},
      {Long(37), Long(15)},
      {Long(43), Long(1)},
      {Long(67, ReplyData({{0, 7}, WireFloat(1.5f)})),
       Long(68, ReplyData({{0, 7}, WireFloat(9.0f)}))},
      {WithChecksum({0x02, 0x02, 0x00, 0x00}), Long(1), Long(3), Long(13), Long(14), Long(16)},
  };

  testhart::TestTransmitter transmitter;
  transmitter.SetMasterBit(false);
  std::string error;
  const std::unique_ptr<hart::SerialLink> serial =
      hart::SerialLink::Open(transmitter.Device(), {}, error);
  ASSERT_NE(serial, nullptr) << error;
  hart::SimulatedLink simulated;
  ProbeDialog overSerial({{}, nullptr, serial.get()}, &record);
  ProbeDialog overSimulated({{}, nullptr, &simulated}, &record);
  ASSERT_TRUE(overSerial.CreateModeless());
  ASSERT_TRUE(overSimulated.CreateModeless());

  for (const std::vector<Bytes>& exchange : exchanges) {
    transmitter.SetModel(hart::ModelOf(record));
    for (const Bytes& request : exchange) {
      overSimulated.outcomes.clear();
      overSerial.outcomes.clear();
      platform->SetRealTime(false);
      overSimulated.SendRaw(request);
      platform->Advance(400);
      platform->SetRealTime(true);
      overSerial.SendRaw(request);
      platform->RunUntil([&] { return !overSerial.outcomes.empty(); }, 5000);
      const std::string sent = hart::FrameTrace::Hex(request);
      ASSERT_EQ(overSimulated.Events(), std::vector<unsigned>{kEvReply}) << sent;
      ASSERT_EQ(overSerial.Events(), std::vector<unsigned>{kEvReply}) << sent;
      EXPECT_EQ(overSimulated.outcomes[0].reply, overSerial.outcomes[0].reply) << sent;
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
