#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <vector>

#include "hart/frame.h"
#include "hart/identity.h"
#include "hart/transmitter_model.h"
#include "tests/support/dialog_checks.h"
#include "tests/support/fake_link.h"

namespace {

// A long request to the simulated transmitter's own address.
Bytes Long(std::uint8_t command, Bytes data = {}) {
  Bytes frame{0x82, 0x3F, 0xC8, 0x00, 0x31, 0x0C, command,
              static_cast<std::uint8_t>(data.size())};
  frame.insert(frame.end(), data.begin(), data.end());
  return WithChecksum(frame);
}

// The data bytes of a long reply, status bytes apart.
Bytes Data(const Bytes& reply) { return Bytes(reply.begin() + 10, reply.end() - 1); }

TEST(TransmitterModel, TheSimulatedTransmitterAnswersIdentificationWithTheCannedFrames) {
  struct Case {
    Bytes request;
    Bytes reply;
  };
  const Case cases[] = {
      {{0x02, 0x00, 0x00, 0x00, 0x02},
       {0x06, 0x00, 0x00, 0x0E, 0x00, 0x00, 0xFE, 0x3F, 0xC8, 0x05,
        0x05, 0x03, 0x01, 0x01, 0x05, 0x00, 0x31, 0x0C, 0x3A}},
      {Long(15), {0x86, 0x3F, 0xC8, 0x00, 0x31, 0x0C, 0x0F, 0x13, 0x00, 0x00,
                  0xFA, 0x00, 0x0C, 0x43, 0x79, 0xFF, 0x00, 0x00, 0x00, 0x00,
                  0x00, 0x00, 0x00, 0x00, 0x00, 0xFA, 0x3F, 0xA6}},
      {Long(14), {0x86, 0x3F, 0xC8, 0x00, 0x31, 0x0C, 0x0E, 0x12, 0x00, 0x00,
                  0x00, 0x00, 0x00, 0x0C, 0x43, 0x79, 0xFF, 0x00, 0x00, 0x00,
                  0x00, 0x00, 0x41, 0xC7, 0xFF, 0x00, 0xE0}},
      {Long(12), {0x86, 0x3F, 0xC8, 0x00, 0x31, 0x0C, 0x0C, 0x1A, 0x00, 0x00, 0x2C, 0xF4,
                  0x96, 0x04, 0xC1, 0x4E, 0x82, 0xD8, 0x14, 0x40, 0x7D, 0x31, 0xC3, 0x08,
                  0x20, 0x82, 0x08, 0x20, 0x82, 0x08, 0x20, 0x82, 0x08, 0x20, 0x9C}},
      {Long(13), {0x86, 0x3F, 0xC8, 0x00, 0x31, 0x0C, 0x0D, 0x17, 0x00, 0x00, 0x41,
                  0x0C, 0x71, 0xCF, 0x3D, 0x20, 0x23, 0x24, 0xF0, 0xD2, 0x08, 0x20,
                  0x82, 0x08, 0x20, 0x82, 0x08, 0x20, 0x1F, 0x08, 0x64, 0xC6}},
      {Long(16),
       {0x86, 0x3F, 0xC8, 0x00, 0x31, 0x0C, 0x10, 0x05, 0x00, 0x00, 0x00, 0x2B, 0xE2, 0x90}},
  };
  hart::TransmitterModel model;
  for (const Case& c : cases) {
    EXPECT_EQ(hart::Answer(model, c.request), c.reply) << int(c.request[c.request[0] == 2 ? 2 : 6]);
  }
  // Reads change nothing: asked again, it says the same.
  for (const Case& c : cases) EXPECT_EQ(hart::Answer(model, c.request), c.reply);
}

TEST(TransmitterModel, WritesAreConfirmedWithWhatTheyTookAndReadBackAsConverted) {
  hart::TransmitterModel model;
  const Bytes damping = WireFloat(1.5f);
  EXPECT_EQ(Data(hart::Answer(model, Long(34, damping))), damping);
  EXPECT_EQ(model.damping, 1.5f);

  // kPa to Pa: all it holds in pressure units follows, as the unit change computes it.
  EXPECT_EQ(Data(hart::Answer(model, Long(44, {11}))), Bytes{11});
  EXPECT_EQ(model.unit, 11);
  EXPECT_DOUBLE_EQ(hart::UnitRatio(12, 11), 1000.0);
  EXPECT_EQ(model.upperLimit, 249996.09375f);
  const Bytes limits = Data(hart::Answer(model, Long(14)));
  EXPECT_EQ(Bytes(limits.begin() + 3, limits.begin() + 8),
            (Bytes{11, 0x48, 0x74, 0x23, 0x06}));  // unit, then 249996.09375 in full
  // A code outside the catalogue converts as pascals.
  hart::Answer(model, Long(44, {20}));
  EXPECT_EQ(model.upperLimit, 249996.09375f);

  // The range ends are set to the pressure applied, and the reply says the end set.
  EXPECT_EQ(Data(hart::Answer(model, Long(36))), WireFloat(125.0f));
  EXPECT_EQ(Data(hart::Answer(model, Long(37))), WireFloat(5.0f));
  EXPECT_EQ(model.upperRange, 125.0f);
  EXPECT_EQ(model.lowerRange, 5.0f);

  // A calibrated point reads its own value; without one the pressure given is confirmed.
  EXPECT_EQ(Data(hart::Answer(model, Long(68, {0, 12, 0x3F, 0xC0, 0, 0}))),
            (Bytes{0, 12, 0x43, 0x7A, 0x00, 0x00}));
  model.endPointReading.reset();
  EXPECT_EQ(Data(hart::Answer(model, Long(68, {0, 12, 0x3F, 0xC0, 0, 0}))),
            (Bytes{0, 12, 0x3F, 0xC0, 0, 0}));

  // The search by tag finds it without its identity; a write cut short is refused.
  EXPECT_EQ(Data(hart::Answer(model, WithChecksum({0x82, 0, 0, 0, 0, 0, 11, 6, 1, 2, 3, 4, 5, 6}))),
            Bytes(12, 0));
  const Bytes shortWrite = hart::Answer(model, Long(34, {0x3F}));
  EXPECT_EQ(shortWrite[8], hart::kTooFewDataBytes);
  EXPECT_EQ(shortWrite[7], 2);
}

// On a line, what a transmitter refuses, it refuses with HART's response code and keeps what it
// held.
TEST(TransmitterModel, OnALineRefusesWhatARealTransmitterRefuses) {
  constexpr hart::AnswerRules kLine{.answersEverything = false, .anonymousByTag = false};
  const auto f = [](float v) {
    const auto bits = std::bit_cast<std::uint32_t>(v);
    return Bytes{static_cast<std::uint8_t>(bits >> 24), static_cast<std::uint8_t>(bits >> 16),
                 static_cast<std::uint8_t>(bits >> 8), static_cast<std::uint8_t>(bits)};
  };
  const auto range = [&](std::uint8_t unit, float upper, float lower) {
    Bytes data{unit};
    for (float v : {upper, lower}) {
      const Bytes b = f(v);
      data.insert(data.end(), b.begin(), b.end());
    }
    return data;
  };
  const struct {
    std::uint8_t command;
    Bytes data;
    std::uint8_t code;
  } cases[] = {
      {34, f(-0.5f), 4},  {34, f(60.5f), 3},   {34, f(60.0f), 0},
      {35, range(12, 260.0f, 0.0f), 11},       {35, range(12, -1.0f, -2.0f), 12},
      {35, range(12, 100.0f, 250.5f), 9},      {35, range(12, 100.0f, -1.0f), 10},
      {35, range(12, 100.0f, 80.0f), 29},      {35, range(12, 100.0f, 75.0f), 0},
      // Range ends in another unit are judged in the transmitter's own.
      {35, range(237, 0.2f, 0.0f), 0},         {35, range(237, 0.26f, 0.0f), 11},
      {45, f(4.01f), 9},  {46, f(20.0f), 9},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << int{c.command} << " " << c.data.size());
    hart::TransmitterModel model;
    const hart::TransmitterModel before = model;
    const Bytes reply = hart::Answer(model, Long(c.command, c.data), kLine);
    // The simulated transmitter takes whatever it is sent, as the dialogs' own tests want.
    hart::TransmitterModel lenient;
    EXPECT_EQ(hart::Answer(lenient, Long(c.command, c.data))[8], 0);
    ASSERT_GT(reply.size(), 9u);
    EXPECT_EQ(reply[8], c.code);
    if (c.code != 0) {
      EXPECT_EQ(model.damping, before.damping);
      EXPECT_EQ(model.upperRange, before.upperRange);
      EXPECT_EQ(model.lowerRange, before.lowerRange);
    }
  }
  // In fixed-current mode the trim is taken.
  hart::TransmitterModel model;
  hart::Answer(model, Long(40, f(4.0f)), kLine);
  EXPECT_EQ(hart::Answer(model, Long(45, f(4.01f)), kLine)[8], 0);
}

TEST(TransmitterModel, OnALineItAnswersOnlyItsOwnAddressAndCommands) {
  const hart::AnswerRules line{.answersEverything = false, .anonymousByTag = false};
  hart::TransmitterModel model;
  const Bytes pollFive{0x02, 0x05, 0x00, 0x00, 0x07};
  // The simulated transmitter answers every address and command.
  EXPECT_FALSE(hart::Answer(model, pollFive).empty());
  EXPECT_EQ(hart::Answer(model, Long(200))[8], 0);

  EXPECT_TRUE(hart::Answer(model, pollFive, line).empty());
  EXPECT_TRUE(hart::Answer(model, WithChecksum({0x82, 0x3F, 0x01, 0x00, 0x31, 0x0C, 15, 0}), line)
                  .empty());
  EXPECT_EQ(hart::Answer(model, Long(200), line)[8], hart::kCommandNotImplemented);
  // By its own tag it says who it is; by another tag nothing.
  const Bytes found =
      hart::Answer(model, WithChecksum({0x82, 0, 0, 0, 0, 0, 11, 6, 0x41, 0x0C, 0x71, 0xCF, 0x3D,
                                        0x20}),
                   line);
  ASSERT_EQ(found.size(), 23u);
  EXPECT_EQ(Bytes(found.begin() + 10, found.begin() + 13), (Bytes{0xFE, 0x3F, 0xC8}));
  const Bytes otherTag = WithChecksum({0x82, 0, 0, 0, 0, 0, 11, 6, 1, 2, 3, 4, 5, 6});
  EXPECT_TRUE(hart::Answer(model, otherTag, line).empty());
}

TEST(TransmitterModel, CommandZeroSaysItsIdentityInItsRevisionsLayout) {
  hart::TransmitterModel model;
  model.manufacturer = 0xE4;
  model.deviceType = 0xA7;
  model.deviceId = 0x01E240;
  model.requestPreambles = 6;
  model.hardwareRevision = 3;
  model.signalling = 2;
  model.responsePreambles = 8;
  model.deviceVariables = 4;
  model.configurationChanges = 0x1234;
  model.extendedStatus = 0x03;
  model.manufacturerCode = 0x6011;
  model.distributor = 0x26;
  const Bytes poll{0x02, 0x00, 0x00, 0x00, 0x02};
  const Bytes common{0xFE, 0xE4, 0xA7, 0x06};
  const Bytes id{0x01, 0xE2, 0x40};
  struct Case {
    std::uint8_t revision;
    Bytes data;
  };
  const Case cases[] = {
      // HART 5 says the hardware byte whole.
      {5, ReplyData({common, {5, 3, 1, 3, 5}, id})},
      {6, ReplyData({common, {6, 3, 1, 0x1A, 5}, id, {8, 4, 0x12, 0x34, 0x03}})},
      {7, ReplyData({common, {7, 3, 1, 0x1A, 5}, id, {8, 4, 0x12, 0x34, 0x03},
                     {0x60, 0x11, 0x00, 0x26, 0x01}})},
  };
  for (const Case& c : cases) {
    model.universalRevision = c.revision;
    const Bytes reply = hart::Answer(model, poll);
    EXPECT_EQ(Bytes(reply.begin() + 6, reply.end() - 1), c.data) << int(c.revision);
    // Read back as identification reads it, it is the transmitter the model is.
    const auto identity = hart::ReadIdentity(reply);
    ASSERT_TRUE(identity.has_value()) << int(c.revision);
    EXPECT_EQ(identity->address.manufacturer, 0x24);
    EXPECT_EQ(identity->address.deviceType, 0xA7);
    EXPECT_EQ(identity->hardwareRevision, 3);
    EXPECT_EQ(identity->manufacturer, c.revision == 7 ? 0x6011 : 0xE4);
  }
  // Addressed by what command 0 said, the top two bits of its first byte cleared.
  EXPECT_EQ(hart::Answer(model, WithChecksum({0x82, 0x24, 0xA7, 0x01, 0xE2, 0x40, 16, 0}),
                         {.answersEverything = false})[1],
            0x24);
}

}  // namespace
