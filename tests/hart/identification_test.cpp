#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "record/packed_text.h"
#include "hart/identification_dialog.h"
#include "tests/support/dialog_checks.h"
#include "tests/support/fake_link.h"
#include "tests/support/identified_record.h"
#include "ui/headless/headless_platform.h"
#include "ui/utf8.h"

namespace {

// Stands in for the main window: counts message 313 and keeps the record as it was then.
class MainProbe : public ui::Window {
 public:
  explicit MainProbe(const TDaneIPPC& record) : ui::Window(nullptr), record_(record) {}
  int identified = 0;
  std::vector<std::int64_t> identifiedAt;
  TDaneIPPC atIdentified;

 protected:
  ui::LResult HandleMessage(unsigned message, ui::WParam, ui::LParam) override {
    if (message == kMsgIdentified) {
      ++identified;
      identifiedAt.push_back(ui::ThePlatform().NowMs());
      atIdentified = record_;
    }
    return 0;
  }

 private:
  const TDaneIPPC& record_;
};

std::string Text(ui::Window& dialog, int id) { return dialog.Item(id)->Text(); }

// The shared identified record, stamped with the day the platform gives.
TDaneIPPC IdentifiedOn(ui::Date today) {
  TDaneIPPC r = IdentifiedRecord();
  r.recordYear = today.year;
  r.recordDay = static_cast<std::uint8_t>(today.day);
  r.recordMonth = static_cast<std::uint8_t>(today.month);
  return r;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

Bytes ParseHex(const std::string& hex) {
  Bytes bytes;
  std::istringstream in(hex);
  for (std::string pair; in >> pair;) {
    unsigned value = 0;
    std::from_chars(pair.data(), pair.data() + pair.size(), value, 16);
    bytes.push_back(static_cast<std::uint8_t>(value));
  }
  return bytes;
}

TEST(Identification, SimulatedTransmitterFromFirstPollToClose) {
  ui::ScopedHeadlessPlatform platform;
  const ui::Date today{14, 3, 2025};
  platform->SetToday(today);
  TDaneIPPC record;
  record.pollingAddress = 9;  // set-up starts from address 0 whatever the record said
  MainProbe main(record);
  THartKom0 dialog(nullptr, {}, &main, record, 0, nullptr);

  std::vector<Bytes> requests;
  std::vector<std::int64_t> requestTimes;
  int result = -1;
  std::int64_t closedAt = -1;
  platform->OnModal(THartKom0::kResourceId, [&](ui::Dialog&) {
    EXPECT_EQ(Text(dialog, THartKom0::kAddress), "0");
    EXPECT_FALSE(dialog.Item(THartKom0::kAddress)->Enabled());
    EXPECT_EQ(Text(dialog, THartKom0::kProgress), " Ожидай!!! ");
    EXPECT_EQ(dialog.preambleCount, 5);
    EXPECT_EQ(dialog.linkParam1, 3);
    EXPECT_EQ(dialog.linkParam2, 26);
    Bytes last;
    while (!dialog.Ended() && platform->NowMs() < 10'000) {
      if (Sent(dialog) != last) {
        last = Sent(dialog);
        requests.push_back(last);
        requestTimes.push_back(platform->NowMs());
        if (requests.size() > 1) {
          EXPECT_EQ(dialog.preambleCount, 5);
          EXPECT_EQ(dialog.linkParam1, 3);
          EXPECT_EQ(dialog.frameIsLong, 1);
        }
      }
      if (dialog.sequenceStep == 0 && requests.size() > 1 && closedAt < 0) {
        // The store step has run; only the close timer is left.
        EXPECT_EQ(main.identified, 1);
        EXPECT_FALSE(platform->TimerRunning(dialog, THartProtokol::kReplyTimerId));
        EXPECT_TRUE(platform->TimerRunning(dialog, THartProtokol::kCloseTimerId));
      }
      platform->Advance(100);
    }
    closedAt = platform->NowMs();
  });
  result = dialog.Execute();

  EXPECT_EQ(result, 0);
  EXPECT_EQ(closedAt, 2900);
  EXPECT_EQ(requestTimes, (std::vector<std::int64_t>{0, 400, 800, 1200, 1600, 2000}));
  ASSERT_EQ(requests.size(), 6u);
  EXPECT_EQ(requests[0], (Bytes{0x02, 0x00, 0x00, 0x00, 0x02}));
  // Addressed with what command 0 returned: device type 200, though the record will say 1.
  EXPECT_EQ(requests[1], (Bytes{0x82, 0x3F, 0xC8, 0x00, 0x31, 0x0C, 0x0F, 0x00, 0x47}));
  EXPECT_EQ(requests[2], (Bytes{0x82, 0x3F, 0xC8, 0x00, 0x31, 0x0C, 0x0E, 0x00, 0x46}));
  EXPECT_EQ(requests[3], (Bytes{0x82, 0x3F, 0xC8, 0x00, 0x31, 0x0C, 0x0C, 0x00, 0x44}));
  EXPECT_EQ(requests[4], (Bytes{0x82, 0x3F, 0xC8, 0x00, 0x31, 0x0C, 0x0D, 0x00, 0x45}));
  EXPECT_EQ(requests[5], (Bytes{0x82, 0x3F, 0xC8, 0x00, 0x31, 0x0C, 0x10, 0x00, 0x58}));

  EXPECT_EQ(main.identified, 1);
  EXPECT_EQ(main.identifiedAt, (std::vector<std::int64_t>{2400}));
  EXPECT_EQ(main.atIdentified, IdentifiedOn(today));
  EXPECT_EQ(record, IdentifiedOn(today));
  EXPECT_EQ(std::bit_cast<std::uint32_t>(record.upperRange), 0x4379FF00u);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(record.upperSensorLimit), 0x4379FF00u);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(record.minimumSpan), 0x41C7FF00u);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(record.lowerRange), 0u);
  EXPECT_EQ(packed::DecodeRaw(record.tag, 8), "PP11334 ");
  EXPECT_EQ(packed::DecodeRaw(record.descriptor, 16), "H2S04           ");
  EXPECT_EQ(packed::DecodeRaw(record.message, 32), "KORVALEN - TPG4100              ");
  EXPECT_EQ(ModelName(record.deviceType), "TPG-4100");

  // What the operator would see in the fields, had they been shown.
  EXPECT_EQ(Text(dialog, THartKom0::kProgress), " Есть Ответ! Ожидай!");
  EXPECT_EQ(Text(dialog, THartKom0::kAddress), "0");
  EXPECT_EQ(Text(dialog, THartKom0::kExpansionCode), "254");
  EXPECT_EQ(Text(dialog, THartKom0::kDeviceType), "200");
  EXPECT_EQ(Text(dialog, THartKom0::kPreambles), "5");
  EXPECT_EQ(Text(dialog, THartKom0::kFlags), "5");
  EXPECT_EQ(Text(dialog, THartKom0::kDeviceId), "12556");
  EXPECT_EQ(Text(dialog, THartKom0::kAlarmCode), "250");
  EXPECT_EQ(Text(dialog, THartKom0::kTransferFunction), "Линейная");
  EXPECT_EQ(Text(dialog, THartKom0::kUnit), "[кПа]");
  EXPECT_EQ(Text(dialog, THartKom0::kUpperRange), "250.0     ");
  EXPECT_EQ(Text(dialog, THartKom0::kLowerRange), "0         ");
  EXPECT_EQ(Text(dialog, THartKom0::kDamping), "0         ");
  EXPECT_EQ(Text(dialog, THartKom0::kWriteProtect), "250");
  EXPECT_EQ(Text(dialog, THartKom0::kDistributor), "63");
  EXPECT_EQ(Text(dialog, THartKom0::kSensorSerial), "0");
  EXPECT_EQ(Text(dialog, THartKom0::kUpperSensorLimit), "250.0     ");
  EXPECT_EQ(Text(dialog, THartKom0::kMinimumSpan), "25.00     ");
  EXPECT_EQ(Text(dialog, THartKom0::kTag), packed::DecodeForDisplay(record.tag, 8));
  EXPECT_EQ(Text(dialog, THartKom0::kDescriptor), packed::DecodeForDisplay(record.descriptor, 16));
  EXPECT_EQ(ui::utf8::Length(Text(dialog, THartKom0::kMessage)), 32u);
  EXPECT_EQ(Text(dialog, THartKom0::kDateDay), "31");
  EXPECT_EQ(Text(dialog, THartKom0::kDateMonth), "8");
  EXPECT_EQ(Text(dialog, THartKom0::kDateYear), "2000");
  EXPECT_EQ(Text(dialog, THartKom0::kAssemblyNumber), "11234");
  EXPECT_EQ(Text(dialog, THartKom0::kSpareValue1), "");

  // Closed: no further event reaches it.
  platform->Advance(5000);
  EXPECT_EQ(main.identified, 1);
}

TEST(Identification, TraceShowsEveryRequestAndTheReplyBytes) {
  ui::ScopedHeadlessPlatform platform;
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* memory = open_memstream(&text, &size);
  {
    hart::FrameTrace trace(memory);
    TSerialPortSettings settings;
    settings.trace = &trace;
    TDaneIPPC record;
    THartKom0 dialog(nullptr, settings, nullptr, record, 0, nullptr);
    EXPECT_EQ(dialog.Execute(), 0);
    EXPECT_EQ(platform->NowMs(), 2900);
  }
  std::fclose(memory);
  const std::vector<std::string> lines = Lines(std::string(text, size));
  std::free(text);

  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines[0], "0 TX 02 00 00 00 02 preambles=5 p1=3 p2=26 long=0");
  EXPECT_EQ(lines[1], "400 RX reply 06 00 00 0E 00 00 FE 3F C8 05 05 03 01 01 05 00 31 0C 3A");
  EXPECT_EQ(lines[2], "400 TX 82 3F C8 00 31 0C 0F 00 47 preambles=5 p1=3 p2=26 long=1");
  EXPECT_EQ(lines[3],
            "800 RX reply 86 3F C8 00 31 0C 0F 13 00 00 FA 00 0C 43 79 FF 00 00 00 00 00 00 00 00 "
            "00 FA 3F A6");
  EXPECT_EQ(lines[11], "2400 RX reply 86 3F C8 00 31 0C 10 05 00 00 00 2B E2 90");

  // Every reply frame as received: its length, its command echo and its checksum.
  const std::vector<std::pair<std::size_t, std::uint8_t>> expected{{19, 0},  {28, 15}, {27, 14},
                                                                   {35, 12}, {32, 13}, {14, 16}};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const std::string& line = lines[2 * i + 1];
    const std::string prefix = std::to_string(400 * (i + 1)) + " RX reply ";
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
    const Bytes reply = ParseHex(line.substr(prefix.size()));
    ASSERT_EQ(reply.size(), expected[i].first) << line;
    EXPECT_EQ(reply[i == 0 ? 2 : 6], expected[i].second) << line;
    EXPECT_EQ(hart::Checksum(std::span(reply).first(reply.size() - 1)), reply.back()) << line;
  }
}

TEST(Identification, NoAnswerWhilePollingMovesOnAndGivesUpAfterAddressFifteen) {
  ui::ScopedHeadlessPlatform platform;
  TDaneIPPC record;
  MainProbe main(record);
  THartKom0 dialog(nullptr, {}, &main, record, 0, nullptr);
  ASSERT_TRUE(dialog.CreateModeless());

  // A link that did not hear the transmitter raises 303 instead of the reply.
  auto noAnswer = [&] {
    dialog.KillTimer(THartProtokol::kReplyTimerId);
    dialog.SendMessage(kEvNoAnswer);
  };
  for (int i = 0; i < 4; ++i) noAnswer();
  EXPECT_EQ(record.pollingAddress, 4);
  EXPECT_EQ(Text(dialog, THartKom0::kAddress), "4");
  dialog.Item(THartKom0::kScratch)->SetText("left over");
  dialog.Item(THartKom0::kTag)->SetText("left over");
  noAnswer();
  EXPECT_EQ(record.pollingAddress, 5);
  EXPECT_EQ(Text(dialog, THartKom0::kAddress), "5");
  EXPECT_EQ(Text(dialog, THartKom0::kProgress), " Отсутствие Ответа! Ожидай!");
  EXPECT_EQ(Sent(dialog), (Bytes{0x02, 0x05, 0x00, 0x00, 0x07}));
  EXPECT_EQ(dialog.sequenceStep, 0);
  EXPECT_EQ(Text(dialog, THartKom0::kScratch), "");
  EXPECT_EQ(Text(dialog, THartKom0::kTag), "");
  EXPECT_TRUE(platform->TimerRunning(dialog, THartProtokol::kReplyTimerId));
  EXPECT_TRUE(platform->MessageBoxes().empty());

  for (int i = 0; i < 10; ++i) noAnswer();
  EXPECT_EQ(record.pollingAddress, 15);
  EXPECT_EQ(Sent(dialog), (Bytes{0x02, 0x0F, 0x00, 0x00, 0x0D}));
  EXPECT_TRUE(platform->MessageBoxes().empty());

  noAnswer();
  EXPECT_EQ(record.pollingAddress, 15);
  EXPECT_EQ(Text(dialog, THartKom0::kAddress), "15");
  ASSERT_EQ(platform->MessageBoxes().size(), 1u);
  const ui::MessageBoxRecord& box = platform->MessageBoxes()[0];
  EXPECT_EQ(box.text, "Отсутствие ответа.\nПроверь, подключен ли преобразователь!!!");
  EXPECT_EQ(box.caption, "");
  EXPECT_EQ(box.flags & ui::kMbIconMask, ui::kMbIconStop);
  platform->Advance(499);
  EXPECT_FALSE(dialog.Ended());
  platform->Advance(1);
  EXPECT_TRUE(dialog.Ended());
  EXPECT_EQ(dialog.Result(), 0);
  EXPECT_EQ(main.identified, 0);
}

TEST(Identification, NoAnswerWhileReadingKeepsWhatWasDecodedAndDoesNotTellTheMainWindow) {
  ui::ScopedHeadlessPlatform platform;
  TDaneIPPC record;
  MainProbe main(record);
  THartKom0 dialog(nullptr, {}, &main, record, 0, nullptr);
  ASSERT_TRUE(dialog.CreateModeless());
  platform->Advance(800);
  ASSERT_EQ(dialog.sequenceStep, 14);

  dialog.SendMessage(kEvNoAnswer);
  ASSERT_EQ(platform->MessageBoxes().size(), 1u);
  EXPECT_EQ(platform->MessageBoxes()[0].text,
            "Отсутствие ответа.\nПроверь, подключен ли преобразователь!!!");
  EXPECT_EQ(platform->MessageBoxes()[0].flags & ui::kMbIconMask, ui::kMbIconStop);
  // The pending reply of the simulated link no longer moves the sequence on.
  EXPECT_FALSE(platform->TimerRunning(dialog, THartProtokol::kReplyTimerId));
  platform->Advance(500);
  EXPECT_TRUE(dialog.Ended());
  EXPECT_EQ(main.identified, 0);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(record.upperRange), 0x4379FF00u);
  EXPECT_EQ(record.upperSensorLimit, 0.0f);
  EXPECT_EQ(record.deviceId, 0);
  EXPECT_EQ(record.deviceType, 0);
  EXPECT_EQ(record.recordYear, 0);
}

TEST(Identification, CancelAtAnyTimeEndsWithoutTellingTheMainWindow) {
  ui::ScopedHeadlessPlatform platform;
  TDaneIPPC record;
  MainProbe main(record);
  THartKom0 dialog(nullptr, {}, &main, record, 0, nullptr);
  platform->OnModal(THartKom0::kResourceId, [&](ui::Dialog&) {
    platform->Advance(1300);
    EXPECT_EQ(dialog.sequenceStep, 12);
    EXPECT_TRUE(dialog.Item(ui::kIdCancel)->UserClick());
  });
  EXPECT_EQ(dialog.Execute(), ui::kIdCancel);
  EXPECT_FALSE(platform->TimerRunning(dialog, THartProtokol::kReplyTimerId));
  platform->Advance(10'000);
  EXPECT_EQ(dialog.sequenceStep, 12);
  EXPECT_EQ(main.identified, 0);
  // The replies decoded before Cancel stay in the record.
  EXPECT_EQ(std::bit_cast<std::uint32_t>(record.minimumSpan), 0x41C7FF00u);
  EXPECT_EQ(record.tag, TDaneIPPC{}.tag);
  EXPECT_EQ(record.deviceId, 0);
}

TEST(Identification, DuplicateWarningAndStoreCommand) {
  ui::ScopedHeadlessPlatform platform;
  TDaneIPPC record;
  MainProbe main(record);
  THartKom0 dialog(nullptr, {}, &main, record, 0, nullptr);
  ASSERT_TRUE(dialog.CreateModeless());

  dialog.SendMessage(kMsgDuplicateWarning);
  ASSERT_EQ(platform->MessageBoxes().size(), 1u);
  EXPECT_EQ(platform->MessageBoxes()[0].text, "Дублирование в Базе Данных запрещено!!!");
  EXPECT_EQ(platform->MessageBoxes()[0].caption, "Внимание Базы Данных");
  EXPECT_EQ(platform->MessageBoxes()[0].flags & ui::kMbIconMask, ui::kMbIconExclamation);
  EXPECT_FALSE(dialog.Ended());

  // Command 312 stores whatever the fields show; unknown names give the look-ups' defaults.
  platform->Advance(400);
  dialog.Item(THartKom0::kDeviceId)->SetText(" 16777215xyz");
  dialog.Item(THartKom0::kPreambles)->SetText("12345");
  dialog.Item(THartKom0::kManufacturer)->SetText("абв");
  dialog.Item(THartKom0::kDamping)->SetText("1.2345678");
  dialog.Item(THartKom0::kTransferFunction)->SetText("Квадратная");
  dialog.Item(THartKom0::kUnit)->SetText("[МПа]");
  dialog.SendMessage(ui::kMsgCommand, ui::MakeWParam(THartKom0::kCmdStore, ui::kNotifyClicked));
  EXPECT_EQ(main.identified, 1);
  EXPECT_EQ(record.deviceId, 1677721);  // eight characters, the leading blank among them
  EXPECT_EQ(record.preambles, 12);
  EXPECT_EQ(record.manufacturerId, 0);
  EXPECT_EQ(record.damping, 1.23456f);
  EXPECT_EQ(record.transferFunction, 100);
  EXPECT_EQ(record.unitCode, 237);
  EXPECT_EQ(record.deviceType, 1);
}

TEST(Identification, ManualEntryTakesTypedValuesWithinTheirRanges) {
  ui::ScopedHeadlessPlatform platform;
  TDaneIPPC record;
  record.pollingAddress = 2;
  MainProbe main(record);
  THartKom0 dialog(nullptr, {}, &main, record, 1, nullptr);
  ASSERT_TRUE(dialog.CreateModeless());

  // Nothing is polled until the operator asks; the address field stays usable.
  EXPECT_EQ(dialog.requestLength, 0);
  EXPECT_FALSE(platform->TimerRunning(dialog, THartProtokol::kReplyTimerId));
  EXPECT_TRUE(dialog.Item(THartKom0::kAddress)->Enabled());
  EXPECT_EQ(Text(dialog, THartKom0::kAddress), "2");
  EXPECT_EQ(Text(dialog, THartKom0::kProgress), "Номер датчика ");
  auto range = [&](int id) {
    const auto& v = dialog.Item(id)->Validator();
    return v ? std::pair<long, long>{v->min, v->max} : std::pair<long, long>{-1, -1};
  };
  EXPECT_EQ(range(THartKom0::kAddress), (std::pair<long, long>{0, 15}));
  EXPECT_EQ(range(THartKom0::kExpansionCode), (std::pair<long, long>{0, 255}));
  EXPECT_EQ(range(THartKom0::kManufacturer), (std::pair<long, long>{1, 63}));
  EXPECT_EQ(range(THartKom0::kDeviceType), (std::pair<long, long>{0, 255}));
  EXPECT_EQ(range(THartKom0::kPreambles), (std::pair<long, long>{3, 20}));
  for (int id = THartKom0::kUniversalRevision; id <= THartKom0::kFlags; ++id) {
    EXPECT_EQ(range(id), (std::pair<long, long>{0, 255})) << id;
  }
  EXPECT_EQ(range(THartKom0::kDeviceId), (std::pair<long, long>{0, 16777215}));
  EXPECT_EQ(range(THartKom0::kSensorSerial), (std::pair<long, long>{0, 16777215}));
  EXPECT_EQ(range(THartKom0::kAlarmCode), (std::pair<long, long>{-1, -1}));

  // An out-of-range value is refused with the validator's message and nothing is stored.
  ASSERT_TRUE(dialog.Item(THartKom0::kManufacturer)->UserType("64"));
  ASSERT_TRUE(dialog.Item(THartKom0::kPreambles)->UserType("7"));
  ASSERT_TRUE(dialog.Item(THartKom0::kDeviceId)->UserType("4660"));
  ASSERT_TRUE(dialog.Item(THartKom0::kAddress)->UserType("3"));
  EXPECT_TRUE(dialog.Item(THartKom0::kCmdStore)->UserClick());
  EXPECT_EQ(main.identified, 0);
  ASSERT_EQ(platform->MessageBoxes().size(), 1u);
  EXPECT_EQ(platform->MessageBoxes()[0].text, "Value is not in the range 1 to 63.");
  EXPECT_EQ(record.manufacturerId, 0);

  ASSERT_TRUE(dialog.Item(THartKom0::kManufacturer)->UserType("38"));
  EXPECT_TRUE(dialog.Item(THartKom0::kCmdStore)->UserClick());
  EXPECT_EQ(main.identified, 1);
  EXPECT_EQ(record.manufacturerId, 38);
  EXPECT_EQ(record.preambles, 7);
  EXPECT_EQ(record.deviceId, 4660);
  EXPECT_EQ(record.pollingAddress, 3);
  EXPECT_EQ(record.deviceType, 1);

  // Polling starts from the typed address.
  EXPECT_TRUE(dialog.Item(THartKom0::kCmdStartPolling)->UserClick());
  EXPECT_EQ(Sent(dialog), (Bytes{0x02, 0x03, 0x00, 0x00, 0x01}));
  EXPECT_EQ(Text(dialog, THartKom0::kManufacturer), "");

  // Cancel closes even with fields that would not validate.
  dialog.Item(ui::kIdCancel)->UserClick();
  EXPECT_TRUE(dialog.Ended());
  EXPECT_EQ(dialog.Result(), ui::kIdCancel);
}

// A HART 7 transmitter's replies to identification, each with all the data its command carries.
void ScriptHart7(FakeLink& link, std::uint8_t preambles) {
  link.Answer(0, {0xFE, 0xF9, 0xFD, preambles, 0x07, 0x01, 0x01, 0x10, 0x00, 0x00, 0x00, 0x01,
                  0x05, 0x0C, 0x00, 0x07, 0x00, 0x00, 0xF9, 0x00, 0x00, 0x01});
  link.Answer(15, ReplyData({{0, 0, 12}, WireFloat(100.0f), WireFloat(-10.0f), WireFloat(1.0f),
                             {0, 0}}));
  link.Answer(14, ReplyData({{0, 0, 7, 12}, WireFloat(200.0f), WireFloat(-20.0f),
                             WireFloat(5.0f)}));
  link.Answer(12, Bytes(24, 0x11));
  link.Answer(13, Bytes(21, 0x07));
  link.Answer(16, {0x00, 0x00, 0x2A});
}

TEST(Identification, AReplyTooShortForItsDataEndsItAndStoresNothing) {
  struct Case {
    const char* what;
    std::uint8_t command;
    std::size_t keep;  // data bytes the reply carries
    std::size_t requests;
  };
  const Case cases[] = {
      {"command 0 without HART 5's twelve bytes", 0, 11, 1},
      {"command 0 of HART 7 without the manufacturer's code", 0, 17, 1},
      {"command 14 one byte short", 14, 15, 3},
      {"command 16 with nothing but its status", 16, 0, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ui::ScopedHeadlessPlatform platform;
    FakeLink link;
    ScriptHart7(link, 5);
    Bytes data;
    if (c.command == 0) {
      data = {0xFE, 0xF9, 0xFD, 0x05, 0x07, 0x01, 0x01, 0x10, 0x00, 0x00, 0x00, 0x01,
              0x05, 0x0C, 0x00, 0x07, 0x00, 0x00, 0xF9};
    } else {
      data = Bytes(c.command == 14 ? 16 : 3, 0x01);
    }
    data.resize(c.keep);
    link.Answer(c.command, data);
    TSerialPortSettings settings;
    settings.link = &link;
    TDaneIPPC record;
    MainProbe main(record);
    THartKom0 dialog(nullptr, settings, &main, record, 0, nullptr);
    ASSERT_TRUE(dialog.CreateModeless());
    platform->Advance(5000);

    EXPECT_TRUE(dialog.Ended());
    EXPECT_EQ(link.Requests().size(), c.requests);
    EXPECT_EQ(main.identified, 0);
    ASSERT_EQ(platform->MessageBoxes().size(), 1u);
    EXPECT_EQ(platform->MessageBoxes()[0].text,
              "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!");
    // Nothing of the short reply reached the record or a field.
    EXPECT_EQ(record.deviceId, 0);
    EXPECT_EQ(record.recordYear, 0);
    if (c.command == 0) {
      EXPECT_FALSE(dialog.IdentityHeard().has_value());
      EXPECT_EQ(Text(dialog, THartKom0::kDeviceId), "");
      EXPECT_EQ(Text(dialog, THartKom0::kProgress), " Ожидай!!! ");
    }
    if (c.command == 14) {
      EXPECT_EQ(record.upperSensorLimit, 0.0f);
      EXPECT_EQ(Text(dialog, THartKom0::kSensorSerial), "");
    }
    if (c.command == 16) {
      EXPECT_EQ(record.assemblyNumber, 0u);
    }
  }
}

TEST(Identification, HartSevenIsAddressedByItsExpandedTypeWithThePreamblesBounded) {
  const std::vector<std::pair<std::uint8_t, int>> cases{{0, 5}, {255, 20}, {9, 9}};
  for (auto [said, bounded] : cases) {
    SCOPED_TRACE(int(said));
    ui::ScopedHeadlessPlatform platform;
    FakeLink link;
    ScriptHart7(link, said);
    TSerialPortSettings settings;
    settings.link = &link;
    TDaneIPPC record;
    MainProbe main(record);
    THartKom0 dialog(nullptr, settings, &main, record, 0, nullptr);
    ASSERT_TRUE(dialog.CreateModeless());
    std::vector<int> preambles;
    for (std::size_t sent = 1; !dialog.Ended() && platform->NowMs() < 5000;) {
      platform->Advance(100);
      if (link.Requests().size() > sent) {
        sent = link.Requests().size();
        preambles.push_back(dialog.preambleCount);
      }
    }
    EXPECT_EQ(main.identified, 1);
    EXPECT_TRUE(platform->MessageBoxes().empty());
    EXPECT_EQ(preambles, std::vector<int>(5, bounded));
    const Bytes commands{15, 14, 12, 13, 16};
    ASSERT_EQ(link.Requests().size(), 6u);
    for (std::size_t i = 0; i < commands.size(); ++i) {
      EXPECT_EQ(link.Requests()[i + 1], WithChecksum({0x82, 0x39, 0xFD, 0, 0, 1, commands[i], 0}));
    }
    EXPECT_EQ(record.preambles, bounded);
    EXPECT_EQ(record.manufacturerId, 0x39);
    EXPECT_EQ(record.deviceType, 0xFD);
    EXPECT_EQ(record.universalRevision, 7);
    EXPECT_EQ(record.deviceId, 1);
    EXPECT_EQ(record.assemblyNumber, 42u);
    EXPECT_EQ(record.upperRange, 100.0f);
  }
}

TEST(Identification, TemplateControlsAndLayout) {
  const ui::DialogTemplate tpl = THartKom0::BuildTemplate(false);
  EXPECT_EQ(tpl.resourceId, 310);
  EXPECT_EQ(tpl.caption, "Идентификация измерительного преобразователя");

  std::vector<int> visible;
  for (const auto& c : tpl.controls) {
    if ((c.style & ui::kStyleHidden) == 0) visible.push_back(c.id);
  }
  EXPECT_EQ(visible, (std::vector<int>{317, 329, 343, 330, 339, 2}));

  auto find = [&](int id) -> const ui::ControlTemplate& { return FindControl(tpl, id); };
  const std::vector<std::pair<int, int>> limits{
      {343, 4}, {344, 4}, {345, 4},  {346, 3},  {347, 3}, {348, 4}, {352, 4}, {353, 10}, {354, 4},
      {360, 4}, {361, 4}, {362, 10}, {370, 30}, {379, 3}, {380, 3}, {381, 5}, {382, 9}};
  for (auto [id, limit] : limits) {
    EXPECT_EQ(find(id).kind, ui::ControlKind::Edit) << id;
    EXPECT_EQ(find(id).textLimit, limit) << id;
  }
  EXPECT_EQ(find(317).kind, ui::ControlKind::GroupBox);
  EXPECT_EQ(find(2).text, "Отмена");
  EXPECT_EQ(find(343).text, "0");
  EXPECT_EQ(find(344).text, "254");
  EXPECT_EQ(find(346).text, "200");
  EXPECT_EQ(find(311).text, "Identyfikacja");
  EXPECT_NE(find(311).style & ui::kStyleDisabled, 0u);
  EXPECT_EQ(find(312).text, "Dodaj");
  EXPECT_NE(find(312).style & ui::kStyleColored, 0u);
  EXPECT_EQ(find(315).text, "Wpisz ID");
  int hiddenLabels = 0;
  for (const auto& c : tpl.controls) {
    const bool label = (c.id >= 320 && c.id <= 342) || (c.id >= 368 && c.id <= 375);
    if (label && c.kind == ui::ControlKind::Static && (c.style & ui::kStyleHidden) != 0) {
      ++hiddenLabels;
    }
  }
  EXPECT_EQ(hiddenLabels, 27);

  // Ids are unique; every control lies inside the dialog of its mode and none overlap, the
  // group box apart, which frames the upper part.
  const ui::DialogTemplate manual = THartKom0::BuildTemplate(true);
  const ui::Rect visibleArea{0, 0, tpl.rect.width, tpl.rect.height};
  const ui::Rect manualArea{0, 0, manual.rect.width, manual.rect.height};
  for (std::size_t i = 0; i < tpl.controls.size(); ++i) {
    const auto& a = tpl.controls[i];
    const bool shown = (a.style & ui::kStyleHidden) == 0;
    EXPECT_TRUE(Inside(a.rect, shown ? visibleArea : manualArea)) << a.id;
    if (a.kind == ui::ControlKind::Static && ui::utf8::Length(a.text) > 0) {
      EXPECT_GE(a.rect.width * 2, static_cast<int>(ui::utf8::Length(a.text) * 9)) << a.id;
    }
    for (std::size_t j = i + 1; j < tpl.controls.size(); ++j) {
      const auto& b = tpl.controls[j];
      EXPECT_NE(a.id, b.id);
      if (a.kind == ui::ControlKind::GroupBox || b.kind == ui::ControlKind::GroupBox) continue;
      EXPECT_FALSE(Overlap(a.rect, b.rect)) << a.id << " " << b.id;
    }
  }
  for (int id : {329, 343, 330, 339}) EXPECT_TRUE(Inside(find(id).rect, find(317).rect)) << id;
  // The longest progress text fits its label.
  EXPECT_GE(find(339).rect.width * 2,
            static_cast<int>(ui::utf8::Length(" Отсутствие Ответа! Ожидай!") * 9));
}

}  // namespace
