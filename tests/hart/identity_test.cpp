// Command 0 in each universal revision's layout, as identification reads it into the record.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hart/identification_dialog.h"
#include "hart/identity.h"
#include "tests/support/dialog_checks.h"
#include "ui/headless/headless_platform.h"

namespace {

// A short-frame reply to command 0 from `address` (master bit set, as to a primary master).
Bytes Command0Reply(std::uint8_t address, const Bytes& data) {
  Bytes frame{0x06, static_cast<std::uint8_t>(0x80 | address), 0x00,
              static_cast<std::uint8_t>(data.size() + 2), 0x00, 0x00};
  frame.insert(frame.end(), data.begin(), data.end());
  return WithChecksum(frame);
}

struct Layout {
  const char* what;
  std::uint8_t address;
  Bytes data;
  // The record after the store step.
  std::uint8_t manufacturerId;
  std::uint8_t deviceType;
  std::uint8_t preambles;
  std::uint8_t universalRevision;
  std::uint8_t hardwareRevision;
  std::int32_t deviceId;
  // What only the identity keeps.
  std::uint16_t manufacturer;
  std::uint16_t expandedType;
  std::uint8_t signalling;
  std::uint8_t responsePreambles;
  std::uint16_t configurationChanges;
  std::uint8_t extendedStatus;
  std::string line;
};

const std::vector<Layout>& Layouts() {
  static const std::vector<Layout> layouts{
      {"the simulated transmitter, HART 5, named the first model",
       0,
       {0xFE, 0x3F, 0xC8, 0x05, 0x05, 0x03, 0x01, 0x01, 0x05, 0x00, 0x31, 0x0C},
       63, 1, 5, 5, 1, 12556,
       0x003F, 0x00C8, 0, 0, 0, 0,
       "HART 5, изготовитель 0x003F, тип 0x00C8, номер 12556, адрес 0"},
      {"HART 5: manufacturer byte with its top bits set, preambles above 20, hardware byte whole",
       3,
       {0xFE, 0xA6, 0xC8, 0x15, 0x05, 0x02, 0x03, 0x0C, 0x01, 0x0A, 0x1B, 0x2C},
       0x26, 200, 20, 5, 12, 0x0A1B2C,
       0x00A6, 0x00C8, 0, 0, 0, 0,
       "HART 5, изготовитель 0x00A6, тип 0x00C8, номер 662316, адрес 3"},
      {"HART 6: expanded device type, preambles below 5, packed hardware revision",
       0,
       {0xFE, 0xE1, 0x23, 0x04, 0x06, 0x01, 0x02, 0x29, 0x0C, 0x00, 0x01, 0x02,
        0x08, 0x04, 0x01, 0x02, 0x01},
       0x21, 0x23, 5, 6, 5, 258,
       0x00E1, 0xE123, 1, 8, 0x0102, 0x01,
       "HART 6, изготовитель 0x00E1, тип 0xE123, номер 258, адрес 0"},
      {"HART 7: the manufacturer's own code, no preambles asked for",
       0,
       {0xFE, 0xF9, 0xFD, 0x00, 0x07, 0x01, 0x01, 0x10, 0x00, 0x00, 0x00, 0x01,
        0x05, 0x0C, 0x00, 0x07, 0x00, 0x00, 0xF9, 0x00, 0x00, 0x01},
       0x39, 0xFD, 5, 7, 2, 1,
       0x00F9, 0xF9FD, 0, 5, 7, 0,
       "HART 7, изготовитель 0x00F9, тип 0xF9FD, номер 1, адрес 0"},
      {"HART 7 stopping after the manufacturer's code, 255 preambles asked for",
       2,
       {0xFE, 0xE4, 0xA7, 0xFF, 0x07, 0x02, 0x03, 0x1A, 0x05, 0x01, 0xE2, 0x40,
        0x06, 0x08, 0x12, 0x34, 0x03, 0x60, 0x11},
       0x24, 0xA7, 20, 7, 3, 123456,
       0x6011, 0xE4A7, 2, 6, 0x1234, 0x03,
       "HART 7, изготовитель 0x6011, тип 0xE4A7, номер 123456, адрес 2"},
      {"a revision above 7 read as 7",
       1,
       {0xFE, 0xE4, 0xA7, 0x08, 0x09, 0x02, 0x03, 0x1A, 0x05, 0x00, 0x00, 0x09,
        0x06, 0x08, 0x00, 0x01, 0x00, 0x60, 0x11},
       0x24, 0xA7, 8, 9, 3, 9,
       0x6011, 0xE4A7, 2, 6, 1, 0,
       "HART 9, изготовитель 0x6011, тип 0xE4A7, номер 9, адрес 1"},
  };
  return layouts;
}

TEST(Command0Layouts, EachRevisionIsReadIntoTheRecordAndThePrintedLine) {
  for (const Layout& c : Layouts()) {
    SCOPED_TRACE(c.what);
    ui::ScopedHeadlessPlatform platform;
    TDaneIPPC record;
    THartKom0 dialog(nullptr, {}, nullptr, record, 0, nullptr);
    ASSERT_TRUE(dialog.DecodeReceived(0, Command0Reply(c.address, c.data)));
    dialog.SendMessage(ui::kMsgCommand, ui::MakeWParam(THartKom0::kCmdStore, ui::kNotifyClicked));

    EXPECT_EQ(record.expansionCode, 254);
    EXPECT_EQ(record.manufacturerId, c.manufacturerId);
    EXPECT_EQ(record.deviceType, c.deviceType);
    EXPECT_EQ(record.preambles, c.preambles);
    EXPECT_EQ(record.universalRevision, c.universalRevision);
    EXPECT_EQ(record.specificRevision, c.data[5]);
    EXPECT_EQ(record.softwareRevision, c.data[6]);
    EXPECT_EQ(record.hardwareRevision, c.hardwareRevision);
    EXPECT_EQ(record.deviceFlags, c.data[8]);
    EXPECT_EQ(record.deviceId, c.deviceId);

    ASSERT_TRUE(dialog.IdentityHeard().has_value());
    const hart::Identity& id = *dialog.IdentityHeard();
    EXPECT_EQ(id.manufacturer, c.manufacturer);
    EXPECT_EQ(id.deviceType, c.expandedType);
    EXPECT_EQ(id.address.manufacturer, c.manufacturerId);
    EXPECT_EQ(id.address.deviceType, c.data[2]);
    EXPECT_EQ(id.address.deviceId, static_cast<std::uint32_t>(c.deviceId));
    EXPECT_EQ(id.requestPreambles, c.data[3]);
    EXPECT_EQ(id.signalling, c.signalling);
    EXPECT_EQ(id.responsePreambles, c.responsePreambles);
    EXPECT_EQ(id.configurationChanges, c.configurationChanges);
    EXPECT_EQ(id.extendedStatus, c.extendedStatus);
    EXPECT_EQ(id.pollingAddress, c.address);
    EXPECT_EQ(hart::IdentityLine(id), c.line);
  }
}

TEST(Command0Layouts, AReplyTooShortForItsLayoutIsNeverRead) {
  const Bytes canned{0xFE, 0x3F, 0xC8, 0x05, 0x05, 0x03, 0x01, 0x01, 0x05, 0x00, 0x31, 0x0C};
  const Bytes hart6{0xFE, 0xE1, 0x23, 0x05, 0x06, 0x01, 0x02, 0x29, 0x0C, 0x00, 0x01, 0x02,
                    0x08, 0x04, 0x01, 0x02, 0x01};
  const Bytes hart7{0xFE, 0xF9, 0xFD, 0x05, 0x07, 0x01, 0x01, 0x10, 0x00, 0x00, 0x00, 0x01,
                    0x05, 0x0C, 0x00, 0x07, 0x00, 0x00, 0xF9};
  const auto cut = [](const Bytes& data, std::size_t n) { return Bytes(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n)); };
  const std::vector<std::pair<const char*, Bytes>> cases{
      {"no data at all", Command0Reply(0, {})},
      {"HART 5 one byte short", Command0Reply(0, cut(canned, 11))},
      {"HART 6 with HART 5's twelve bytes", Command0Reply(0, cut(hart6, 12))},
      {"HART 6 one byte short", Command0Reply(0, cut(hart6, 16))},
      {"HART 7 without the manufacturer's code", Command0Reply(0, cut(hart7, 17))},
      {"HART 7 one byte short", Command0Reply(0, cut(hart7, 18))},
  };
  for (const auto& [what, reply] : cases) {
    SCOPED_TRACE(what);
    EXPECT_FALSE(hart::ReadIdentity(reply).has_value());
    ui::ScopedHeadlessPlatform platform;
    TDaneIPPC record;
    THartKom0 dialog(nullptr, {}, nullptr, record, 0, nullptr);
    // Cleared, as a poll leaves them.
    for (int id = THartKom0::kExpansionCode; id <= THartKom0::kDeviceId; ++id) {
      dialog.Item(id)->SetText("");
    }
    EXPECT_FALSE(dialog.DecodeReceived(0, reply));
    EXPECT_FALSE(dialog.IdentityHeard().has_value());
    for (int id = THartKom0::kExpansionCode; id <= THartKom0::kDeviceId; ++id) {
      EXPECT_EQ(dialog.Item(id)->Text(), "") << id;
    }
  }
  // Whole, each is read.
  EXPECT_TRUE(hart::ReadIdentity(Command0Reply(0, canned)).has_value());
  EXPECT_TRUE(hart::ReadIdentity(Command0Reply(0, hart6)).has_value());
  EXPECT_TRUE(hart::ReadIdentity(Command0Reply(0, hart7)).has_value());
}

TEST(Command0Layouts, PreamblesAreBoundedToWhatHartAllows) {
  const std::vector<std::pair<int, int>> cases{{0, 5}, {3, 5}, {5, 5}, {7, 7},
                                               {20, 20}, {21, 20}, {255, 20}};
  for (auto [said, bounded] : cases) {
    EXPECT_EQ(hart::BoundedPreambles(static_cast<std::uint8_t>(said)), bounded) << said;
  }
}

}  // namespace
