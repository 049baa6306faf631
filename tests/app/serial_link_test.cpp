// The serial link against a HART slave of our own on a pseudo-terminal. These tests run the
// headless platform in real time: the slave answers on its own thread, so the event loop waits
// for it on the wall clock, and each wait ends as soon as its condition holds.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "calib/read_pv_dialog.h"
#include "config/units_dialog.h"
#include "record/float_form.h"
#include "hart/identification_dialog.h"
#include "hart/komendy.h"
#include "hart/serial_link.h"
#include "tests/support/model_answerer.h"
#include "tests/support/probe_dialog.h"
#include "tests/support/test_transmitter.h"
#include "tests/support/trace_capture.h"
#include "ui/headless/headless_platform.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using testhart::TestTransmitter;
using hart::TransmitterModel;

// Real milliseconds; every wait below ends long before, as soon as what it waits for happened.
constexpr std::int64_t kLimitMs = 5000;
// 41 characters of 11 bits at 1200 baud: the least a secondary master waits for a reply.
constexpr std::int64_t kReplyTimeoutMs = 375;

std::string Hex(const Bytes& bytes) { return hart::FrameTrace::Hex(bytes); }

Bytes WithChecksum(Bytes frame) {
  frame.push_back(hart::Checksum(frame));
  return frame;
}

// What a float becomes on its way in: the lowest byte of the IEEE form is dropped.
float Received(float value) {
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
  const std::array<std::uint8_t, 4> wire{static_cast<std::uint8_t>(bits >> 24),
                                         static_cast<std::uint8_t>(bits >> 16),
                                         static_cast<std::uint8_t>(bits >> 8),
                                         static_cast<std::uint8_t>(bits)};
  return floatform::WireToValue(wire);
}

#define EXPECT_SAME_FLOAT(a, b) \
  EXPECT_EQ(std::bit_cast<std::uint32_t>(a), std::bit_cast<std::uint32_t>(b))

using Probe = QuietProbe;
using testhart::RecordOf;

class OverTheSerialLink : public ::testing::Test {
 protected:
  void SetUp() override {
    platform->SetRealTime(true);
    std::string error;
    link = hart::SerialLink::Open(transmitter.Device(), {}, error);
    ASSERT_NE(link, nullptr) << error;
    settings.link = link.get();
    settings.trace = &capture.trace;
  }

  void Click(ui::Dialog& dialog, int id) { ASSERT_TRUE(dialog.Item(id)->UserClick()); }

  ui::ScopedHeadlessPlatform platform;
  TestTransmitter transmitter;
  TraceCapture capture;
  std::unique_ptr<hart::SerialLink> link;
  TSerialPortSettings settings;
};

TEST_F(OverTheSerialLink, IdentificationKeepsWhatTheTransmitterSaidItsDeviceTypeIncluded) {
  TransmitterModel model = testhart::TestModel();
  model.requestPreambles = 6;
  model.tag = {0x51, 0x23, 0x45, 0x67, 0x89, 0xAB};
  model.descriptor = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  model.message.fill(0x42);
  transmitter.SetModel(model);

  TDaneIPPC record;
  THartKom0 dialog(nullptr, settings, nullptr, record, 0, nullptr);
  EXPECT_EQ(dialog.Execute(), 0);
  EXPECT_TRUE(platform->MessageBoxes().empty());

  EXPECT_EQ(record.manufacturerId, 38);
  EXPECT_EQ(record.deviceType, 200);
  EXPECT_EQ(ModelName(record.deviceType), "Отсутствие Информации.");
  EXPECT_EQ(record.deviceId, 0x0A1B2C);
  EXPECT_EQ(record.preambles, 6);
  EXPECT_EQ(record.softwareRevision, 3);
  EXPECT_EQ(record.hardwareRevision, 4);
  EXPECT_EQ(record.unitCode, 12);
  EXPECT_SAME_FLOAT(record.upperRange, 400.0f);
  EXPECT_SAME_FLOAT(record.lowerRange, -50.0f);
  EXPECT_SAME_FLOAT(record.damping, 0.5f);
  EXPECT_SAME_FLOAT(record.upperSensorLimit, 600.0f);
  EXPECT_SAME_FLOAT(record.lowerSensorLimit, -100.0f);
  EXPECT_SAME_FLOAT(record.minimumSpan, 20.0f);
  EXPECT_EQ(record.sensorSerial, 777'001);
  EXPECT_EQ(record.distributorCode, 38);
  EXPECT_EQ(record.tag, model.tag);
  EXPECT_EQ(record.descriptor, model.descriptor);
  EXPECT_EQ(record.message, model.message);
  EXPECT_EQ(DateText(record.dateDay, record.dateMonth, record.dateYear), "14-3-2021");
  EXPECT_EQ(record.assemblyNumber, 4242u);

  // Command 0 at address 0, then the reads addressed as command 0 said, with its preambles.
  const auto requests = transmitter.Requests();
  ASSERT_EQ(requests.size(), 6u);
  EXPECT_EQ(requests[0], (Bytes{0x02, 0x00, 0x00, 0x00, 0x02}));
  const Bytes commands{15, 14, 12, 13, 16};
  for (std::size_t i = 0; i < commands.size(); ++i) {
    EXPECT_EQ(requests[i + 1], WithChecksum({0x82, 38, 200, 0x0A, 0x1B, 0x2C, commands[i], 0}));
  }
  EXPECT_EQ(transmitter.RequestPreambles(), (std::vector<int>{5, 6, 6, 6, 6, 6}));

  // The trace shows the bytes as they went and came, preambles counted.
  const auto lines = capture.Lines();
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines[0], "TX FF FF FF FF FF 02 00 00 00 02 preambles=5 p1=3 p2=26 long=0");
  const Bytes reply0 = WithChecksum(
      {0x06, 0x80, 0x00, 0x0E, 0x00, 0x00, 254, 38, 200, 6, 5, 2, 3, 4, 1, 0x0A, 0x1B, 0x2C});
  EXPECT_EQ(lines[1], "RX reply " + Hex(reply0) + " preambles=7");
  EXPECT_EQ(lines[2], "TX FF FF FF FF FF FF " +
                          Hex(WithChecksum({0x82, 38, 200, 0x0A, 0x1B, 0x2C, 15, 0})) +
                          " preambles=6 p1=3 p2=26 long=1");
  EXPECT_EQ(lines[11].rfind("RX reply 86 A6 C8 0A 1B 2C 10 05 00 00 00 10 92 ", 0), 0u)
      << lines[11];
}

TEST_F(OverTheSerialLink, IdentificationTakesAStatusThatCarriesTheIdentityAndStopsOnOneThatDoesNot) {
  TDaneIPPC record;
  transmitter.SetBehaviour(TestTransmitter::Behaviour::Warning, 1, 8);
  {
    THartKom0 dialog(nullptr, settings, nullptr, record, 0, nullptr);
    ASSERT_TRUE(dialog.CreateModeless());
    platform->RunUntil([&] { return transmitter.Requests().size() == 2; }, kLimitMs);
    ASSERT_EQ(transmitter.Requests().size(), 2u);
    EXPECT_EQ(transmitter.Requests()[1][6], 15);
    EXPECT_EQ(dialog.Item(THartKom0::kDeviceType)->Text(), "200");
    EXPECT_EQ(dialog.Item(THartKom0::kProgress)->Text(), " Есть Ответ! Ожидай!");
  }
  EXPECT_TRUE(platform->MessageBoxes().empty());

  // An error instead: the base's status message, and the dialog closes itself with nothing stored.
  transmitter.ClearRequests();
  transmitter.SetBehaviour(TestTransmitter::Behaviour::ResponseCode, -1, 9);
  THartKom0 dialog(nullptr, settings, nullptr, record, 0, nullptr);
  ASSERT_TRUE(dialog.CreateModeless());
  platform->RunUntil([&] { return dialog.Ended(); }, kLimitMs);
  EXPECT_TRUE(dialog.Ended());
  EXPECT_EQ(transmitter.Requests().size(), 1u);
  ASSERT_EQ(platform->MessageBoxes().size(), 1u);
  EXPECT_EQ(platform->MessageBoxes()[0].text,
            "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!");
  EXPECT_EQ(record.deviceId, 0);
}

TEST_F(OverTheSerialLink, UnitChangeTakesTheConfirmedUnitAndTheValuesReadBack) {
  // Values that stay whole on the wire in bars, so that what the dialog works out and what it
  // reads back are one and the same.
  TransmitterModel model = transmitter.Model();
  model.minimumSpan = 25.0f;
  transmitter.SetModel(model);
  TDane db;
  db.Append(RecordOf(transmitter.Model()));
  bool changed = false;
  int memory = 0;
  constexpr int kBarIndex = 7;
  platform->OnModal(TUnits::kResourceId, [&](ui::Dialog& d) {
    auto& units = static_cast<TUnits&>(d);
    ASSERT_TRUE(d.Item(TUnits::kUnitComboId)->UserSelect(kBarIndex));
    Click(d, TLista::kSendButtonId);
    platform->RunUntil([&] { return units.AwaitedCommand() == 0; }, kLimitMs);
    EXPECT_EQ(units.AwaitedCommand(), 0);
    EXPECT_EQ(d.Item(TUnits::kUnitFieldId)->Text(), "[Bar]");
  });
  TUnits dialog(nullptr, db, changed, memory, settings, nullptr);
  dialog.Execute();
  EXPECT_TRUE(platform->MessageBoxes().empty());

  const auto requests = transmitter.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0], WithChecksum({0x82, 38, 200, 0x0A, 0x1B, 0x2C, 44, 1, 7}));
  EXPECT_EQ(requests[1][6], 14);
  EXPECT_EQ(requests[2][6], 15);

  // The transmitter converted what it holds; the record holds what it read back.
  model = transmitter.Model();
  EXPECT_EQ(model.unit, 7);
  EXPECT_NEAR(model.upperRange, 4.0f, 1e-6);
  const TDaneIPPC& record = db.At(0);
  EXPECT_TRUE(changed);
  EXPECT_EQ(record.unitCode, 7);
  EXPECT_SAME_FLOAT(record.upperSensorLimit, Received(model.upperLimit));
  EXPECT_SAME_FLOAT(record.lowerSensorLimit, Received(model.lowerLimit));
  EXPECT_SAME_FLOAT(record.minimumSpan, Received(model.minimumSpan));
  EXPECT_SAME_FLOAT(record.upperRange, Received(model.upperRange));
  EXPECT_SAME_FLOAT(record.lowerRange, Received(model.lowerRange));
}

TEST_F(OverTheSerialLink, ContinuousReadingSendsTheNextRequestOnEveryReply) {
  TDane db;
  db.Append(RecordOf(transmitter.Model()));
  bool changed = false;
  int memory = 0;
  platform->OnModal(TReadPV::kResourceId, [&](ui::Dialog& d) {
    auto& read = static_cast<TReadPV&>(d);
    Click(d, TReadPV::kContinuousId);
    Click(d, TLista::kSendButtonId);
    platform->RunUntil([&] { return transmitter.Requests().size() >= 4; }, kLimitMs);
    ASSERT_GE(transmitter.Requests().size(), 4u);
    EXPECT_SAME_FLOAT(read.Pressure(), 123.25f);
    EXPECT_SAME_FLOAT(read.LoopCurrent(), 8.5f);

    // Cleared: the reading under way still ends in its reply, and nothing follows it.
    Click(d, TReadPV::kContinuousId);
    platform->RunUntil([&] { return !link->Waiting(); }, kLimitMs);
    const std::size_t sent = transmitter.Requests().size();
    platform->Advance(100);
    EXPECT_EQ(transmitter.Requests().size(), sent);
    Click(d, ui::kIdCancel);
  });
  TReadPV dialog(nullptr, db, changed, memory, settings, nullptr);
  dialog.Execute();

  // Request, reply, request, reply...: each request after the first left on the reply before it.
  const auto lines = capture.Lines();
  const std::string request =
      "TX FF FF FF FF FF " + Hex(WithChecksum({0x82, 38, 200, 0x0A, 0x1B, 0x2C, 3, 0})) +
      " preambles=5 p1=3 p2=26 long=1";
  // Loop current 8.5, unit code 12, pressure 123.25.
  const std::string reply = "RX reply 86 A6 C8 0A 1B 2C 03 0B 00 00 41 08 00 00 0C 42 F6 80 00 ";
  ASSERT_EQ(lines.size(), 2 * transmitter.Requests().size());
  for (std::size_t i = 0; i < lines.size(); i += 2) {
    EXPECT_EQ(lines[i], request);
    EXPECT_EQ(lines[i + 1].rfind(reply, 0), 0u) << lines[i + 1];
  }
  EXPECT_TRUE(platform->MessageBoxes().empty());
}

TEST_F(OverTheSerialLink, FailuresAfterTheirAttemptsEachWithItsEvent) {
  const TDaneIPPC record = RecordOf(transmitter.Model());
  Probe probe(settings);
  ASSERT_TRUE(probe.CreateModeless());
  auto run = [&](int attempts) {
    transmitter.ClearRequests();
    probe.events.clear();
    probe.RequestCommand(record, 3, attempts);
    platform->RunUntil([&] { return !probe.events.empty(); }, kLimitMs);
  };
  const std::string request = Hex(WithChecksum({0x82, 38, 200, 0x0A, 0x1B, 0x2C, 3, 0}));

  // Silence: linkParam1 attempts, each given up on 41 characters after the request.
  transmitter.SetBehaviour(TestTransmitter::Behaviour::Silent);
  std::int64_t start = platform->NowMs();
  run(3);
  EXPECT_EQ(probe.events, (std::vector<unsigned>{kEvNoAnswer}));
  EXPECT_EQ(transmitter.Requests().size(), 3u);
  EXPECT_GE(platform->NowMs() - start, 3 * kReplyTimeoutMs);
  EXPECT_EQ(capture.Lines().back(), "RX no-answer");
  run(1);
  EXPECT_EQ(probe.events, (std::vector<unsigned>{kEvNoAnswer}));
  EXPECT_EQ(transmitter.Requests().size(), 1u);

  // A bad checksum is no reply: tried again, then no answer; the trace shows what came.
  transmitter.SetBehaviour(TestTransmitter::Behaviour::BadChecksum);
  std::size_t damagedBefore = capture.Count("RX damaged");
  run(3);
  EXPECT_EQ(probe.events, (std::vector<unsigned>{kEvNoAnswer}));
  EXPECT_EQ(transmitter.Requests().size(), 3u);
  EXPECT_EQ(capture.Count("RX damaged 86 A6 C8 0A 1B 2C 03 0B 00 00 ") - damagedBefore, 3u);
  // Spoilt once: the second attempt's reply is the one taken.
  transmitter.SetBehaviour(TestTransmitter::Behaviour::BadChecksum, 1);
  run(3);
  EXPECT_EQ(probe.events, (std::vector<unsigned>{kEvReply}));
  EXPECT_EQ(transmitter.Requests().size(), 2u);
  EXPECT_SAME_FLOAT(floatform::WireToValue(std::span<const std::uint8_t, 4>(
                        probe.Reply().data() + hart::kReplyData + 5, 4)),
                    123.25f);

  // Busy every time: the line-busy event once the attempts have run out.
  transmitter.SetBehaviour(TestTransmitter::Behaviour::Busy);
  run(3);
  EXPECT_EQ(probe.events, (std::vector<unsigned>{kEvLineBusy}));
  EXPECT_EQ(transmitter.Requests().size(), 3u);

  // Any other response code: the status event, the reply in the reply area and nothing after it.
  transmitter.SetBehaviour(TestTransmitter::Behaviour::ResponseCode, -1, 9);
  run(3);
  EXPECT_EQ(probe.events, (std::vector<unsigned>{kEvStatusError}));
  EXPECT_EQ(transmitter.Requests().size(), 1u);
  const Bytes status = WithChecksum({0x86, 0xA6, 200, 0x0A, 0x1B, 0x2C, 3, 2, 9, 0});
  const auto reply = probe.Reply();
  EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 11), status);
  EXPECT_TRUE(std::all_of(reply.begin() + 11, reply.end(), [](std::uint8_t b) { return b == 0; }));
  const auto lines = capture.Lines();
  EXPECT_EQ(lines[lines.size() - 2],
            "TX FF FF FF FF FF " + request + " preambles=5 p1=3 p2=26 long=1");
  EXPECT_EQ(lines.back(), "RX status " + Hex(status) + " preambles=7");
}

TEST_F(OverTheSerialLink, UnpluggedPortIsReportedOnceAndEachRequestGoesUnanswered) {
  const TDaneIPPC record = RecordOf(transmitter.Model());
  Probe probe(settings);
  ASSERT_TRUE(probe.CreateModeless());
  transmitter.Unplug();
  for (std::size_t n = 1; n <= 2; ++n) {
    probe.RequestCommand(record, 3, 3);
    platform->RunUntil([&] { return probe.events.size() == n; }, kLimitMs);
    EXPECT_EQ(probe.events, std::vector<unsigned>(n, kEvNoAnswer));
  }
  ASSERT_EQ(platform->MessageBoxes().size(), 1u);
  EXPECT_EQ(platform->MessageBoxes()[0].text,
            "Последовательный порт " + transmitter.Device() + " отключён.");
  EXPECT_EQ(platform->MessageBoxes()[0].caption, "");
  EXPECT_EQ(platform->MessageBoxes()[0].flags, ui::kMbOk | ui::kMbIconStop);
}

TEST(ReplyScan, OnlyTheWholeUndamagedReplyToThisRequestCounts) {
  using State = hart::ReplyScan::State;
  const Bytes request = WithChecksum({0x82, 38, 200, 0x0A, 0x1B, 0x2C, 3, 0});
  auto reply = [](std::uint8_t address, std::uint8_t id, std::uint8_t command, std::uint8_t count) {
    Bytes frame{0xFF, 0xFF, 0xFF, 0x86, address, 200, 0x0A, 0x1B, id, command, count, 0, 0};
    frame.resize(frame.size() + count - 2, 0x11);
    frame.push_back(hart::Checksum(std::span(frame).subspan(3)));
    return frame;
  };
  auto scan = [&](const Bytes& received) { return hart::ScanReply(received, request).state; };

  const Bytes good = reply(0x26, 0x2C, 3, 4);
  const hart::ReplyScan whole = hart::ScanReply(good, request);
  EXPECT_EQ(whole.state, State::Complete);
  EXPECT_EQ(whole.preambles, 3u);
  EXPECT_EQ(whole.length, 13u);
  for (std::size_t n = 0; n < good.size(); ++n) {
    EXPECT_EQ(scan(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n))),
              State::Incomplete)
        << n;
  }
  EXPECT_EQ(scan(reply(0xE6, 0x2C, 3, 4)), State::Complete);  // master and burst bits
  EXPECT_EQ(scan(reply(0x27, 0x2C, 3, 4)), State::Damaged);   // another manufacturer
  EXPECT_EQ(scan(reply(0x26, 0x2D, 3, 4)), State::Damaged);   // another device
  EXPECT_EQ(scan(reply(0x26, 0x2C, 1, 4)), State::Damaged);   // another command
  EXPECT_EQ(scan(reply(0x26, 0x2C, 3, 1)), State::Damaged);   // no room for the status
  EXPECT_EQ(scan(reply(0x26, 0x2C, 3, 63)), State::Damaged);  // longer than the reply area
  EXPECT_EQ(scan(Bytes(good.begin(), good.end() - 1)), State::Incomplete);
  Bytes spoilt = good;
  spoilt.back() ^= 1;
  EXPECT_EQ(scan(spoilt), State::Damaged);
  Bytes masters = good;
  masters[3] = 0x82;  // a master's delimiter: the request heard back
  EXPECT_EQ(scan(masters), State::Damaged);
  EXPECT_EQ(scan(Bytes(41, 0xFF)), State::Damaged);
  EXPECT_EQ(scan(Bytes(40, 0xFF)), State::Incomplete);

  // Whoever answers the all-zero address answers it.
  const Bytes findByTag = WithChecksum({0x82, 0, 0, 0, 0, 0, 3, 0});
  EXPECT_EQ(hart::ScanReply(good, findByTag).state, State::Complete);

  // Short frames: the polling address is the low four bits.
  const Bytes poll = WithChecksum({0x02, 5, 0, 0});
  EXPECT_EQ(hart::ScanReply(WithChecksum({0x06, 0x85, 0, 2, 0, 0}), poll).state, State::Complete);
  EXPECT_EQ(hart::ScanReply(WithChecksum({0x06, 0x06, 0, 2, 0, 0}), poll).state, State::Damaged);
  EXPECT_EQ(hart::ScanReply(WithChecksum({0x86, 0x05, 0, 2, 0, 0}), poll).state, State::Damaged);
}

TEST(SerialPort, OpeningAndTheCommandLineSayWhyNot) {
  std::string error;
  EXPECT_EQ(hart::SerialLink::Open("/dev/k7-no-such-port", {}, error), nullptr);
  EXPECT_EQ(error, "Последовательный порт /dev/k7-no-such-port не найден.");

  const std::string file = ::testing::TempDir() + "k7_not_a_port";
  std::ofstream(file) << "x";
  EXPECT_EQ(hart::SerialLink::Open(file, {}, error), nullptr);
  EXPECT_EQ(error, "Устройство " + file + " не является последовательным портом.");
  if (::geteuid() != 0) {
    ::chmod(file.c_str(), 0);
    EXPECT_EQ(hart::SerialLink::Open(file, {}, error), nullptr);
    EXPECT_EQ(error, "Нет доступа к последовательному порту " + file + ".");
  }
  std::remove(file.c_str());
  // A pseudo-terminal keeps no parity, which is no reason to refuse it, the second time too.
  {
    TestTransmitter transmitter;
    for (int i = 0; i < 2; ++i) {
      EXPECT_NE(hart::SerialLink::Open(transmitter.Device(), {}, error), nullptr) << error;
    }
  }

  const char* identify[] = {"kestrel7", "identify", "--port", "/dev/ttyUSB0",
                            "--no-rts", "-o",       "a.pom"};
  CommandLine args = ParseCommandLine(7, identify);
  EXPECT_EQ(args.command, CommandLine::Command::Identify);
  EXPECT_EQ(args.port, "/dev/ttyUSB0");
  EXPECT_FALSE(args.switchRts);
  EXPECT_EQ(args.output, "a.pom");
  const char* desktop[] = {"kestrel7", "--port", "/dev/ttyS0"};
  args = ParseCommandLine(3, desktop);
  EXPECT_EQ(args.command, CommandLine::Command::Desktop);
  EXPECT_TRUE(args.switchRts);
  const char* noDevice[] = {"kestrel7", "--port"};
  EXPECT_EQ(ParseCommandLine(2, noDevice).error, "после --port нужно имя последовательного порта");
  const char* rtsAlone[] = {"kestrel7", "--no-rts"};
  EXPECT_EQ(ParseCommandLine(2, rtsAlone).command, CommandLine::Command::Error);
  const char* show[] = {"kestrel7", "show", "a.pom", "--port", "/dev/ttyS0"};
  EXPECT_EQ(ParseCommandLine(5, show).command, CommandLine::Command::Error);
  EXPECT_NE(HelpText().find("--port ПОРТ"), std::string::npos);
  EXPECT_NE(HelpText().find("--no-rts"), std::string::npos);

  // Identification stops at once, saying why, and writes nothing.
  const std::string output = ::testing::TempDir() + "k7_never_written.pom";
  const char* missing[] = {"kestrel7", "identify", "--port", "/dev/k7-no-such-port", "-o",
                           output.c_str()};
  std::FILE* err = std::tmpfile();
  EXPECT_EQ(RunIdentify(ParseCommandLine(6, missing), stdout, err), 1);
  std::rewind(err);
  char text[256] = {};
  EXPECT_NE(std::fgets(text, sizeof text, err), nullptr);
  EXPECT_STREQ(text, "Последовательный порт /dev/k7-no-such-port не найден.\n");
  std::fclose(err);
  EXPECT_FALSE(std::ifstream(output).good());
}

// A window that notes when its timer fires.
class TimerProbe : public ui::Window {
 public:
  TimerProbe() : ui::Window(nullptr) {}
  std::vector<std::int64_t> fired;

 protected:
  void OnTimer(int) override { fired.push_back(ui::ThePlatform().NowMs()); }
};

TEST(HeadlessRealTime, TimersKeepTheWallClockAndTheVirtualClockGoesOnFromIt) {
  ui::ScopedHeadlessPlatform platform;
  platform->Advance(1000);
  platform->SetRealTime(true);
  const std::int64_t start = platform->NowMs();
  EXPECT_GE(start, 1000);
  TimerProbe window;
  window.Create();
  window.SetTimer(1, 20);
  platform->RunUntil([&] { return window.fired.size() == 2; }, kLimitMs);
  ASSERT_EQ(window.fired.size(), 2u);
  EXPECT_GE(window.fired[0], start + 20);
  EXPECT_GE(window.fired[1], window.fired[0] + 20);
  EXPECT_LT(platform->NowMs() - start, 1000);  // it returned once done, not at the limit

  platform->SetRealTime(false);
  const std::int64_t reached = platform->NowMs();
  EXPECT_GE(reached, window.fired[1]);
  platform->Advance(400);
  EXPECT_EQ(platform->NowMs(), reached + 400);
  // Twenty periods fit in 400 ms; one more when a loaded machine let the wall clock pass the
  // next due time before real time was switched off.
  EXPECT_GE(window.fired.size(), 2u + 20u);
  EXPECT_LE(window.fired.size(), 2u + 21u);
}

}  // namespace
