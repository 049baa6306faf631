#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "hart/frame.h"
#include "hart/komendy.h"
#include "tests/support/probe_dialog.h"
#include "ui/headless/headless_platform.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

using Probe = ProbeDialog;

// The base's message boxes, without the quiet defaults of the command dialogs.
class BareEngine : public THartProtokol {
 public:
  BareEngine() : THartProtokol(nullptr, ProbeDialog::BuildTemplate(), {}, nullptr) {}
};

TDaneIPPC SimulatedRecord() {
  TDaneIPPC record;
  record.manufacturerId = 63;
  record.deviceType = 1;
  record.deviceId = 12556;
  record.preambles = 5;
  return record;
}

TEST(Frames, ShortAndLongFramesWithTheirChecksums) {
  std::uint8_t out[32];
  ASSERT_EQ(hart::WriteShortFrame(out, 3, 0), 5);
  EXPECT_EQ(Bytes(out, out + 5), (Bytes{0x02, 0x03, 0x00, 0x00, 0x01}));

  // The checksum of this one happens to equal its delimiter.
  ASSERT_EQ(hart::WriteLongFrame(out, {63, 1, 12556}, 3, {}), 9);
  EXPECT_EQ(Bytes(out, out + 9), (Bytes{0x82, 0x3F, 0x01, 0x00, 0x31, 0x0C, 0x03, 0x00, 0x82}));

  // Only the low 24 bits of the identifier travel.
  hart::WriteLongFrame(out, {0, 0, 0xAB123456}, 1, {});
  EXPECT_EQ(Bytes(out + 3, out + 6), (Bytes{0x12, 0x34, 0x56}));
}

TEST(Builders, EveryShapeByteForByte) {
  ui::ScopedHeadlessPlatform platform;
  Probe dialog;
  dialog.CreateModeless();
  TDaneIPPC record = SimulatedRecord();

  dialog.RequestPoll(record, 0, 1);
  EXPECT_EQ(dialog.Sent(), (Bytes{0x02, 0x00, 0x00, 0x00, 0x02}));
  EXPECT_EQ(dialog.linkParam1, 1);
  EXPECT_EQ(dialog.frameIsLong, 0);
  EXPECT_EQ(dialog.preambleCount, 5);

  dialog.RequestPollingAddress(record, 5, 3);
  EXPECT_EQ(dialog.Sent(),
            (Bytes{0x82, 0x3F, 0x01, 0x00, 0x31, 0x0C, 0x06, 0x01, 0x05, 0x83}));
  EXPECT_EQ(dialog.frameIsLong, 1);
  EXPECT_EQ(dialog.linkParam2, 26);

  dialog.RequestPreambles(record, 7, 3);
  EXPECT_EQ(dialog.Sent()[6], 0x3B);
  EXPECT_EQ(dialog.requestLength, 10);

  dialog.RequestFloat(record, 40, 4.0f, 3);
  const Bytes f = dialog.Sent();
  ASSERT_EQ(f.size(), 13u);
  EXPECT_EQ(Bytes(f.begin() + 6, f.begin() + 12), (Bytes{40, 0x04, 0x40, 0x80, 0x00, 0x00}));

  dialog.RequestFloat(record, 46, 249.99609375f, 3);
  EXPECT_EQ(dialog.Sent(8, 12),
            (Bytes{0x43, 0x79, 0xFF, 0x00}));

  dialog.RequestTwoBytesFloat(record, 37, 1, 12, 0.0f, 3);
  EXPECT_EQ(dialog.requestLength, 15);
  EXPECT_EQ(dialog.Sent(7, 14),
            (Bytes{0x06, 1, 12, 0, 0, 0, 0}));

  record.tag = {0x41, 0x0C, 0x71, 0xCF, 0x3D, 0x20};
  record.preambles = 9;
  dialog.RequestFindByTag(record, 3);
  EXPECT_EQ(dialog.Sent(), (Bytes{0x82, 0, 0, 0, 0, 0, 0x0B, 0x06, 0x41, 0x0C, 0x71, 0xCF, 0x3D,
                                  0x20, 0x82 ^ 0x0B ^ 0x06 ^ 0x41 ^ 0x0C ^ 0x71 ^ 0xCF ^ 0x3D ^ 0x20}));
  EXPECT_EQ(dialog.preambleCount, 9);

  dialog.RequestWriteMessage(record, 3);
  EXPECT_EQ(dialog.requestLength, 33);
  EXPECT_EQ(dialog.Sent()[7], 0x18);

  record.dateDay = 31;
  record.dateMonth = 8;
  record.dateYear = 100;
  dialog.RequestWriteTagDescriptorDate(record, 3);
  ASSERT_EQ(dialog.requestLength, 30);
  EXPECT_EQ(dialog.Sent(26, 29), (Bytes{31, 8, 100}));

  record.assemblyNumber = 11234;
  dialog.RequestWriteAssemblyNumber(record, 3);
  EXPECT_EQ(dialog.Sent(6, 11),
            (Bytes{0x13, 0x03, 0x00, 0x2B, 0xE2}));

  dialog.BuildRange(63, 1, 5, 12556, 35, 12, 249.99609375f, 0.0f, 3);
  EXPECT_EQ(dialog.requestLength, 18);
  EXPECT_EQ(dialog.Sent(7, 17),
            (Bytes{0x09, 12, 0x43, 0x79, 0xFF, 0x00, 0, 0, 0, 0}));
  const Bytes range = dialog.Sent();
  EXPECT_EQ(hart::Checksum(std::span(range).first(range.size() - 1)), range.back());
}

TEST(Engine, ReplyArrivesFourHundredMillisecondsAfterTheLastRequest) {
  ui::ScopedHeadlessPlatform platform;
  Probe dialog;
  dialog.CreateModeless();
  dialog.RequestCommand(SimulatedRecord(), 3, 3);
  platform->Advance(399);
  EXPECT_TRUE(dialog.TimesOf(kEvReply).empty());
  platform->Advance(1);
  EXPECT_EQ(dialog.TimesOf(kEvReply), (std::vector<std::int64_t>{400}));

  // A second request within 400 ms re-arms the same timer: one reply, 400 ms after it.
  dialog.RequestCommand(SimulatedRecord(), 3, 3);
  platform->Advance(250);
  dialog.RequestCommand(SimulatedRecord(), 3, 3);
  platform->Advance(1000);
  EXPECT_EQ(dialog.TimesOf(kEvReply), (std::vector<std::int64_t>{400, 1050}));

  // The builders that leave the timer to their caller send nothing by themselves.
  dialog.BuildCommand(63, 1, 5, 12556, 1, 3);
  platform->Advance(1000);
  EXPECT_EQ(dialog.TimesOf(kEvReply).size(), 2u);
  dialog.SendMessage(ui::kMsgCommand, ui::MakeWParam(kCmdStartReplyTimer, 0));
  platform->Advance(400);
  EXPECT_EQ(dialog.TimesOf(kEvReply).size(), 3u);
}

TEST(Engine, NoReplyReachesADialogThatHasClosed) {
  ui::ScopedHeadlessPlatform platform;
  Probe dialog;
  dialog.CreateModeless();
  dialog.RequestCommand(SimulatedRecord(), 3, 3);
  platform->Advance(200);
  dialog.CloseWindow();
  platform->Advance(1000);
  EXPECT_TRUE(dialog.TimesOf(kEvReply).empty());
  EXPECT_FALSE(platform->TimerRunning(dialog, THartProtokol::kReplyTimerId));
}

TEST(Engine, FailureEventsShowTheBaseMessagesAndCommandDialogsStayQuietOnNoAnswer) {
  ui::ScopedHeadlessPlatform platform;
  BareEngine bare;
  bare.CreateModeless();
  bare.SendMessage(kEvNoAnswer);
  bare.SendMessage(kEvLineBusy);
  bare.SendMessage(kEvStatusError);
  const auto& boxes = platform->MessageBoxes();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0].text, "Ошибки передачи.\nОтсутствие связи!!!");
  EXPECT_EQ(boxes[1].text, "Передача или нагрузка на линии.\nПередача не возможна!!!");
  EXPECT_EQ(boxes[2].text, "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!");
  for (const auto& box : boxes) {
    EXPECT_EQ(box.caption, "");
    EXPECT_EQ(box.flags, ui::kMbOk | ui::kMbIconStop);
  }

  Probe quiet;
  quiet.CreateModeless();
  quiet.SendMessage(kEvNoAnswer);
  EXPECT_EQ(boxes.size(), 3u);
  quiet.SendMessage(kEvLineBusy);
  EXPECT_EQ(boxes.size(), 4u);
}

TEST(Engine, PortNameTakesTheLastChosenPort) {
  ui::ScopedHeadlessPlatform platform;
  EXPECT_EQ(Probe().portName, "");
  TSerialPortSettings settings;
  settings.portFlags = {1, 0, 1, 0};
  EXPECT_EQ(Probe(settings).portName, "COM3");
}

TEST(Trace, OneLinePerRequestAndPerOutcome) {
  ui::ScopedHeadlessPlatform platform;
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* memory = open_memstream(&text, &size);
  {
    hart::FrameTrace trace(memory);
    TSerialPortSettings settings;
    settings.trace = &trace;
    Probe dialog(settings);
    dialog.CreateModeless();
    platform->Advance(1600);
    dialog.RequestPoll(SimulatedRecord(), 0, 3);
    platform->Advance(400);
    dialog.SendMessage(kEvNoAnswer);
  }
  std::fclose(memory);
  EXPECT_EQ(std::string(text, size),
            "1600 TX 02 00 00 00 02 preambles=5 p1=3 p2=26 long=0\n"
            "2000 RX reply 06 00 00 0E 00 00 FE 3F C8 05 05 03 01 01 05 00 31 0C 3A\n"
            "2000 RX no-answer\n");
  std::free(text);
}

// A transmitter that answers every request, 400 ms after it, with a delayed response running.
class StillRunning : public hart::Link {
 public:
  int requests = 0;
  void Transmit(THartProtokol& dialog) override {
    ++requests;
    waiting_ = &dialog;
    dialog.ArmReplyTimer();
  }
  void Forget(THartProtokol& dialog) override {
    if (waiting_ == &dialog) waiting_ = nullptr;
  }
  void ReplyDue(THartProtokol& dialog) override {
    if (waiting_ != &dialog) return;
    Bytes reply{0x86, 0x3F, 0x01, 0x00, 0x31, 0x0C, 3, 2, 34, 0};
    reply.push_back(hart::Checksum(reply));
    std::copy(reply.begin(), reply.end(), dialog.Reply().begin());
    dialog.NoteReceived(static_cast<int>(reply.size()), THartProtokol::kNoPreambles);
    dialog.SendMessage(kEvStatusError);
  }

 private:
  THartProtokol* waiting_ = nullptr;
};

TEST(Engine, ADelayedResponseIsAskedAgainForAMinuteThenFailsWithItsMeaning) {
  ui::ScopedHeadlessPlatform platform;
  StillRunning link;
  Probe probe({{}, nullptr, &link});
  ASSERT_TRUE(probe.CreateModeless());
  probe.RequestCommand(SimulatedRecord(), 3, 3);
  platform->Advance(THartProtokol::kDelayedLimitMs - 1000);
  EXPECT_TRUE(probe.outcomes.empty());
  EXPECT_GT(link.requests, 100);
  platform->Advance(2000);
  EXPECT_EQ(probe.Events(), std::vector<unsigned>{kEvStatusError});
  ASSERT_EQ(platform->MessageBoxes().size(), 1u);
  EXPECT_EQ(platform->MessageBoxes()[0].text,
            "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!\n"
            "Преобразователь не закончил команду за 60 с (отложенный ответ).");
}

}  // namespace
