// Transmitters of HART 5, 6 and 7 on a line: identification and a write with its read-back, over
// the serial link to the pseudo-terminal test transmitter, in real time.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "config/units_dialog.h"
#include "hart/identification_dialog.h"
#include "hart/serial_link.h"
#include "tests/support/dialog_checks.h"
#include "tests/support/test_transmitter.h"
#include "ui/headless/headless_platform.h"

namespace {

using testhart::TestTransmitter;

// Real milliseconds; each wait ends as soon as what it waits for has happened.
constexpr std::int64_t kLimitMs = 5000;
constexpr int kBarIndex = 7;
constexpr std::uint8_t kBar = 7;

class HartRevisions : public ::testing::Test {
 protected:
  void SetUp() override { platform->SetRealTime(true); }

  // The serial link to the transmitter; declared after it and before the dialogs that use it.
  static std::unique_ptr<hart::SerialLink> Open(const TestTransmitter& transmitter,
                                                TSerialPortSettings& settings) {
    std::string error;
    auto link = hart::SerialLink::Open(transmitter.Device(), {}, error);
    EXPECT_NE(link, nullptr) << error;
    settings.link = link.get();
    return link;
  }

  ui::ScopedHeadlessPlatform platform;
};

TEST_F(HartRevisions, EachIsIdentifiedAndTakesAUnitChangeReadBack) {
  struct Case {
    std::uint8_t revision;
    std::uint8_t preamblesSaid;
    int preambles;  // what the record keeps and the requests carry
    std::uint8_t addressFirst;
    std::uint8_t addressSecond;
    std::string line;
  };
  const Case cases[] = {
      {5, 6, 6, 38, 200, "HART 5, изготовитель 0x0026, тип 0x00C8, номер 662316, адрес 0"},
      {6, 0, 5, 0x21, 0x23, "HART 6, изготовитель 0x00E1, тип 0xE123, номер 662316, адрес 0"},
      {7, 255, 20, 0x24, 0xA7, "HART 7, изготовитель 0x6011, тип 0xE4A7, номер 662316, адрес 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.revision));
    TestTransmitter transmitter;
    hart::TransmitterModel model = testhart::TestModel(c.revision);
    model.requestPreambles = c.preamblesSaid;
    transmitter.SetModel(model);
    TSerialPortSettings settings;
    const auto link = Open(transmitter, settings);
    ASSERT_NE(link, nullptr);

    TDaneIPPC record;
    THartKom0 identification(nullptr, settings, nullptr, record, 0, nullptr);
    ASSERT_TRUE(identification.CreateModeless());
    // Done once the store step has stamped the record; the closing delay is nothing to wait for.
    platform->RunUntil([&] { return record.recordYear != 0 || identification.Ended(); }, kLimitMs);
    EXPECT_NE(record.recordYear, 0);
    EXPECT_TRUE(platform->MessageBoxes().empty());
    ASSERT_TRUE(identification.IdentityHeard().has_value());
    EXPECT_EQ(hart::IdentityLine(*identification.IdentityHeard()), c.line);
    EXPECT_EQ(record.universalRevision, c.revision);
    EXPECT_EQ(record.manufacturerId, c.addressFirst);
    EXPECT_EQ(record.deviceType, c.addressSecond);
    EXPECT_EQ(record.deviceId, 0x0A1B2C);
    EXPECT_EQ(record.preambles, c.preambles);
    EXPECT_EQ(record.hardwareRevision, 4);
    EXPECT_EQ(record.assemblyNumber, 4242u);
    // Every read after command 0 reached it at the address command 0 gave.
    ASSERT_EQ(transmitter.Requests().size(), 6u);
    EXPECT_EQ(transmitter.Requests()[5],
              WithChecksum({0x82, c.addressFirst, c.addressSecond, 0x0A, 0x1B, 0x2C, 16, 0}));
    EXPECT_EQ(transmitter.RequestPreambles().back(), c.preambles);

    // A unit change, addressed from the identified record, confirmed and read back.
    transmitter.ClearRequests();
    TDane db;
    db.Append(record);
    bool changed = false;
    int memory = 0;
    platform->OnModal(TUnits::kResourceId, [&](ui::Dialog& d) {
      auto& units = static_cast<TUnits&>(d);
      ASSERT_TRUE(d.Item(TUnits::kUnitComboId)->UserSelect(kBarIndex));
      ASSERT_TRUE(d.Item(TLista::kSendButtonId)->UserClick());
      platform->RunUntil([&] { return units.AwaitedCommand() == 0; }, kLimitMs);
      EXPECT_EQ(units.AwaitedCommand(), 0);
    });
    TUnits units(nullptr, db, changed, memory, settings, nullptr);
    units.Execute();
    EXPECT_TRUE(platform->MessageBoxes().empty());
    const auto requests = transmitter.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0], WithChecksum({0x82, c.addressFirst, c.addressSecond, 0x0A, 0x1B, 0x2C,
                                         44, 1, kBar}));
    EXPECT_EQ(transmitter.Model().unit, kBar);
    EXPECT_EQ(db.At(0).unitCode, kBar);
    EXPECT_NEAR(db.At(0).upperRange, 4.0f, 1e-3);  // 400 kPa read back in bars
  }
}

TEST_F(HartRevisions, ACommandZeroReplyTooShortForItsLayoutIsRefused) {
  const std::vector<std::pair<std::uint8_t, int>> cases{{5, 11}, {7, 17}};
  for (auto [revision, kept] : cases) {
    SCOPED_TRACE(int(revision));
    TestTransmitter transmitter;
    transmitter.SetModel(testhart::TestModel(revision));
    transmitter.SetBehaviour(TestTransmitter::Behaviour::Truncated, 1, kept);
    TSerialPortSettings settings;
    const auto link = Open(transmitter, settings);
    ASSERT_NE(link, nullptr);
    platform->ClearMessageBoxes();
    TDaneIPPC record;
    THartKom0 identification(nullptr, settings, nullptr, record, 0, nullptr);
    ASSERT_TRUE(identification.CreateModeless());
    platform->RunUntil([&] { return !platform->MessageBoxes().empty(); }, kLimitMs);
    // It closes itself, with nothing more asked of the transmitter.
    EXPECT_TRUE(platform->TimerRunning(identification, THartProtokol::kCloseTimerId));
    EXPECT_FALSE(link->Waiting());
    EXPECT_EQ(transmitter.Requests().size(), 1u);
    ASSERT_EQ(platform->MessageBoxes().size(), 1u);
    EXPECT_EQ(platform->MessageBoxes()[0].text,
              "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!");
    EXPECT_FALSE(identification.IdentityHeard().has_value());
    EXPECT_EQ(record.deviceId, 0);
    EXPECT_EQ(record.recordYear, 0);
  }
}

}  // namespace
