#include "tests/support/fault_link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "hart/frame.h"
#include "hart/reply_data.h"
#include "hart/serial_link.h"
#include "hart/simulated_link.h"
#include "tests/support/identified_record.h"
#include "tests/support/probe_dialog.h"
#include "ui/headless/headless_platform.h"

namespace {

using testhart::Fault;
using testhart::FaultLink;
using testhart::FaultRates;
using Bytes = ProbeDialog::Bytes;

// A record unlike the canned transmitter, so that the simulated link's mirroring shows.
TDaneIPPC Record() {
  TDaneIPPC r = IdentifiedRecord();
  r.deviceId = 0x0A0B0C;
  r.damping = 0.75f;
  r.unitCode = 7;
  return r;
}

Bytes LongRequest(const TDaneIPPC& r, std::uint8_t command, const Bytes& data = {}) {
  Bytes frame{0x82,
              static_cast<std::uint8_t>(r.manufacturerId & 0x3F),
              r.deviceType,
              static_cast<std::uint8_t>(r.deviceId >> 16),
              static_cast<std::uint8_t>(r.deviceId >> 8),
              static_cast<std::uint8_t>(r.deviceId),
              command,
              static_cast<std::uint8_t>(data.size())};
  frame.insert(frame.end(), data.begin(), data.end());
  frame.push_back(hart::Checksum(frame));
  return frame;
}

// The frame at the start of a reply area, checksum included.
Bytes FrameIn(const Bytes& area) {
  const std::size_t length = 8 + area[7] + 1;
  return Bytes(area.begin(),
               area.begin() + static_cast<std::ptrdiff_t>(std::min(length, area.size())));
}

const Bytes kDampingData{0x40, 0x20, 0x00, 0x00};  // 2.5

TSerialPortSettings Over(hart::Link& link) {
  TSerialPortSettings settings;
  settings.link = &link;
  return settings;
}

class FaultLinkTest : public ::testing::Test {
 protected:
  ui::ScopedHeadlessPlatform platform;
  TDaneIPPC record = Record();
  hart::SimulatedLink simulated;
};

// What each fault makes of one exchange, over many draws: the event, when it comes, and a reply
// that a line link would have let through (its checks of address, command, byte count and
// checksum all pass) or none at all.
TEST_F(FaultLinkTest, EachFaultReachesTheDialogAsALineLinkWouldDeliverIt) {
  // The untouched exchange, for comparison.
  Bytes good;
  {
    FaultLink link(simulated, 1, {});
    ProbeDialog dialog(Over(link), &record);
    dialog.Create();
    dialog.SendRaw(LongRequest(record, 34, kDampingData));
    platform->Advance(400);
    ASSERT_EQ(dialog.Events(), std::vector<unsigned>{kEvReply});
    good = FrameIn(dialog.outcomes[0].reply);
    EXPECT_EQ(hart::ResponseCode(good), 0);
  }
  const struct {
    Fault fault;
    std::vector<unsigned> events;   // any of these
    std::int64_t earliest, latest;  // ms after the request
    bool reply;                     // a frame arrives
    bool transmitterTookIt;         // the write reached the transmitter
  } cases[] = {
      {Fault::None, {kEvReply}, 400, 400, true, true},
      {Fault::LostRequest, {kEvNoAnswer}, 400, 400, false, false},
      {Fault::LostReply, {kEvNoAnswer}, 800, 800, false, true},
      {Fault::Late, {kEvReply}, 401, 400 + FaultLink::kMaxLateMs, true, true},
      {Fault::LineDamage,
       {kEvNoAnswer, kEvReply, kEvStatusError, kEvLineBusy},
       400,
       400,
       false,
       true},
      {Fault::ContentDamage, {kEvReply}, 400, 400, true, true},
      {Fault::Busy, {kEvLineBusy}, 400, 400, true, true},
      // A warning reaches the dialog as a reply with its data; a delayed response is asked
      // again, and the reply to that is the one that reaches it.
      {Fault::ResponseCode, {kEvStatusError, kEvNoAnswer, kEvReply}, 400, 900, true, true},
      // With 0x10, command 48 is read on the way, under the same fault.
      {Fault::DeviceStatus, {kEvReply}, 400, 800, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testhart::FaultName(c.fault));
    int answered = 0;
    int differing = 0;
    for (std::uint64_t seed = 1; seed <= 40; ++seed) {
      hart::SimulatedLink transmitter;
      FaultLink link(transmitter, seed, {});
      link.Force(c.fault);
      ProbeDialog dialog(Over(link), &record);
      dialog.Create();
      const std::int64_t start = platform->NowMs();
      const Bytes request = LongRequest(record, 34, kDampingData);
      dialog.SendRaw(request);
      platform->Advance(400 + FaultLink::kMaxLateMs + 1000);
      ASSERT_EQ(dialog.outcomes.size(), 1u);
      const ProbeDialog::Outcome& o = dialog.outcomes[0];
      EXPECT_NE(std::find(c.events.begin(), c.events.end(), o.event), c.events.end()) << o.event;
      EXPECT_GE(o.at - start, c.earliest);
      EXPECT_LE(o.at - start, c.latest);
      const bool askedMore = c.fault == Fault::DeviceStatus && o.at - start > 400;
      EXPECT_EQ(link.Counts()[static_cast<std::size_t>(c.fault)], askedMore ? 2u : 1u);
      EXPECT_EQ(transmitter.Model().damping == 2.5f, c.transmitterTookIt);
      if (o.event == kEvNoAnswer) {
        EXPECT_TRUE(
            std::all_of(o.reply.begin(), o.reply.end(), [](std::uint8_t b) { return b == 0; }));
        continue;
      }
      ++answered;
      const Bytes frame = FrameIn(o.reply);
      EXPECT_EQ(hart::ScanReply(frame, request).state, hart::ReplyScan::State::Complete);
      EXPECT_EQ(hart::OutcomeOf(frame), o.event);
      if (c.fault == Fault::None || c.fault == Fault::Late) {
        EXPECT_EQ(frame, good);
      }
      if (c.fault == Fault::Busy) {
        EXPECT_EQ(frame[7], 2);
      }
      if (c.fault == Fault::ResponseCode) {
        EXPECT_NE(hart::ResponseCode(frame), 0);
      }
      if (c.fault == Fault::DeviceStatus) {
        EXPECT_NE(frame[9], 0);
        EXPECT_EQ(Bytes(frame.begin() + 10, frame.end() - 1),
                  Bytes(good.begin() + 10, good.end() - 1));
      }
      if (frame != good) ++differing;
    }
    EXPECT_EQ(answered > 0, c.reply);
    const bool spoiled = c.fault != Fault::None && c.fault != Fault::Late && c.reply;
    EXPECT_EQ(differing > 0, spoiled) << differing;
  }
}

// A new request replaces one still due; a dialog that goes gets nothing more, and leaves no
// relay, no waiting and no timer behind.
TEST_F(FaultLinkTest, ANewRequestReplacesOneStillDueAndForgettingEndsEverything) {
  FaultLink link(simulated, 7, {});
  {
    ProbeDialog dialog(Over(link), &record);
    dialog.Create();
    link.Force(Fault::Late);
    dialog.SendRaw(LongRequest(record, 1));
    platform->Advance(401);
    ASSERT_TRUE(dialog.outcomes.empty());
    EXPECT_EQ(link.Waiting(), std::vector<const THartProtokol*>{&dialog});
    link.Force(Fault::None);
    dialog.SendRaw(LongRequest(record, 34, kDampingData));
    platform->Advance(400 + FaultLink::kMaxLateMs);
    ASSERT_EQ(dialog.outcomes.size(), 1u);
    EXPECT_EQ(FrameIn(dialog.outcomes[0].reply)[6], 34);

    link.Force(Fault::Late);
    dialog.SendRaw(LongRequest(record, 1));
    platform->Advance(401);
    EXPECT_EQ(link.Relays(), 1u);
    dialog.EndDialog(ui::kIdCancel);
    EXPECT_EQ(link.Relays(), 0u);
    EXPECT_TRUE(link.Waiting().empty());
    platform->Advance(FaultLink::kMaxLateMs);
    EXPECT_EQ(dialog.outcomes.size(), 1u);
  }
  EXPECT_TRUE(platform->Timers().empty());
  EXPECT_TRUE(platform->Windows().empty());
}

// The rates decide how often each fault comes, and the seed decides which requests: the same
// seed gives the same run.
TEST_F(FaultLinkTest, RatesDecideHowOftenAndTheSeedRepeatsTheRun) {
  FaultRates rates;
  rates[Fault::Busy] = 0.2;
  rates[Fault::LostReply] = 0.1;
  rates[Fault::DeviceStatus] = 0.1;
  EXPECT_DOUBLE_EQ(rates.Total(), 0.4);
  const auto run = [&](std::uint64_t seed) {
    FaultLink link(simulated, seed, rates);
    ProbeDialog dialog(Over(link), &record);
    dialog.Create();
    for (int i = 0; i < 1000; ++i) {
      dialog.SendRaw(LongRequest(record, 1));
      // Room for command 48, which a status bit may ask for on the way.
      platform->Advance(2000);
    }
    EXPECT_EQ(dialog.outcomes.size(), 1000u);
    const auto& counts = link.Counts();
    EXPECT_NEAR(counts[static_cast<std::size_t>(Fault::Busy)], 200, 50);
    EXPECT_NEAR(counts[static_cast<std::size_t>(Fault::LostReply)], 100, 40);
    EXPECT_NEAR(counts[static_cast<std::size_t>(Fault::DeviceStatus)], 100, 40);
    EXPECT_EQ(counts[static_cast<std::size_t>(Fault::Late)], 0u);
    return dialog.Events();
  };
  const std::vector<unsigned> first = run(11);
  EXPECT_EQ(run(11), first);
  EXPECT_NE(run(12), first);

  std::mt19937_64 random(3);
  const FaultRates drawn = FaultRates::Drawn(random, 0.1);
  EXPECT_EQ(drawn.chance[0], 0.0);
  for (double chance : drawn.chance) EXPECT_LE(chance, 0.1);
  EXPECT_GT(drawn.Total(), 0.0);
}

}  // namespace
