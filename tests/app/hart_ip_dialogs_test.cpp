// The dialogs over HART-IP, against the test server on the loopback interface, by UDP and by TCP,
// with the transmitter model behind it: identification of a HART 5 and a HART 7 transmitter, a
// unit change with its read-backs, continuous reading, and what reaches each when the server
// fails. The headless platform runs in real time; replies are not held to the dialogs' pace
// except where the pace is what is checked.
#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/command_line.h"
#include "app/read_command.h"
#include "calib/read_pv_dialog.h"
#include "config/units_dialog.h"
#include "data/data_file.h"
#include "hart/hart_ip_link.h"
#include "hart/hart_ip_message.h"
#include "hart/identification_dialog.h"
#include "hart/simulated_link.h"
#include "record/record.h"
#include "tests/support/fixture_records.h"
#include "tests/support/hart_ip_server.h"
#include "tests/support/model_answerer.h"
#include "tests/support/trace_capture.h"
#include "ui/headless/headless_platform.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using testhart::HartIpServer;
using testhart::ModelAnswerer;
using Transport = HartIpServer::Transport;
using Behaviour = HartIpServer::Behaviour;

constexpr std::int64_t kLimitMs = 5000;

Bytes WithChecksum(Bytes frame) {
  frame.push_back(hart::Checksum(frame));
  return frame;
}

#define EXPECT_SAME_FLOAT(a, b) \
  EXPECT_EQ(std::bit_cast<std::uint32_t>(a), std::bit_cast<std::uint32_t>(b))

TDaneIPPC IdentifiedOverTheNetwork() {
  TDaneIPPC r = UnlikeDefaultsRecord();
  r.manufacturerId = 42;
  r.deviceType = 7;
  r.deviceId = 0x123456;
  r.preambles = 6;
  r.pollingAddress = 0;
  return r;
}

// The transmitter that record describes, measuring 2.5 bar at 12.75 mA.
hart::TransmitterModel NetworkTransmitter() {
  hart::TransmitterModel model = hart::ModelOf(IdentifiedOverTheNetwork());
  model.pressure = 2.5f;
  model.loopCurrent = 12.75f;
  return model;
}

std::string PrintTransport(const ::testing::TestParamInfo<Transport>& info) {
  return info.param == Transport::Udp ? "Udp" : "Tcp";
}

class HartIpDialogs : public ::testing::TestWithParam<Transport> {
 protected:
  HartIpDialogs() : server(GetParam(), transmitter.Function()) {
    platform->SetRealTime(true);
    hart::HartIpOptions options;
    options.tcp = GetParam() == Transport::Tcp;
    options.replyTimeoutMs = 100;
    options.retryPauseMs = 200;
    std::string error;
    link = hart::HartIpLink::Open(server.Address(), options, error);
    settings = {{}, &capture.trace, link.get()};
    db.Append(IdentifiedOverTheNetwork());
  }
  void Click(ui::Dialog& dialog, int id) { ASSERT_TRUE(dialog.Item(id)->UserClick()); }
  std::vector<std::string> Boxes() {
    std::vector<std::string> texts;
    for (const auto& box : platform->MessageBoxes()) texts.push_back(box.text);
    return texts;
  }

  ui::ScopedHeadlessPlatform platform;
  ModelAnswerer transmitter{NetworkTransmitter()};
  HartIpServer server;
  TraceCapture capture;
  std::unique_ptr<hart::HartIpLink> link;
  TSerialPortSettings settings;
  TDane db;
  bool changed = false;
  int memory = 0;
};

INSTANTIATE_TEST_SUITE_P(BothTransports, HartIpDialogs,
                         ::testing::Values(Transport::Udp, Transport::Tcp), PrintTransport);

TEST_P(HartIpDialogs, IdentificationKeepsWhatTheTransmitterSaid) {
  TDaneIPPC record;
  THartKom0 dialog(nullptr, settings, nullptr, record, 0, nullptr);
  EXPECT_EQ(dialog.Execute(), 0);
  EXPECT_TRUE(platform->MessageBoxes().empty());

  const TDaneIPPC expected = UnlikeDefaultsRecord();
  EXPECT_EQ(record.manufacturerId, 42);
  EXPECT_EQ(record.deviceType, 7);
  EXPECT_EQ(record.deviceId, 0x123456);
  EXPECT_EQ(record.preambles, 6);
  EXPECT_EQ(record.specificRevision, 2);
  EXPECT_EQ(record.softwareRevision, 4);
  EXPECT_EQ(record.hardwareRevision, 3);
  EXPECT_EQ(record.unitCode, 7);
  EXPECT_EQ(record.transferFunction, 1);
  EXPECT_SAME_FLOAT(record.upperRange, 16.0f);
  EXPECT_SAME_FLOAT(record.lowerRange, -0.5f);
  EXPECT_SAME_FLOAT(record.damping, 1.5f);
  EXPECT_SAME_FLOAT(record.upperSensorLimit, 40.0f);
  EXPECT_SAME_FLOAT(record.lowerSensorLimit, -1.0f);
  EXPECT_SAME_FLOAT(record.minimumSpan, 0.5f);
  EXPECT_EQ(record.sensorSerial, 123456);
  EXPECT_EQ(record.message, expected.message);
  EXPECT_EQ(record.tag, expected.tag);
  EXPECT_EQ(record.descriptor, expected.descriptor);
  EXPECT_EQ(DateText(record.dateDay, record.dateMonth, record.dateYear), "14-3-2021");
  EXPECT_EQ(record.assemblyNumber, 654321u);

  // One session; command 0 to address 0, then the reads addressed as command 0 said.
  EXPECT_EQ(server.Messages(hart::hartip::kSessionInitiate).size(), 1u);
  const auto frames = server.Frames();
  ASSERT_EQ(frames.size(), 6u);
  EXPECT_EQ(frames[0], (Bytes{0x02, 0x80, 0x00, 0x00, 0x82}));
  const Bytes commands{15, 14, 12, 13, 16};
  for (std::size_t i = 0; i < commands.size(); ++i) {
    EXPECT_EQ(frames[i + 1], WithChecksum({0x82, 42 | 0x80, 7, 0x12, 0x34, 0x56, commands[i], 0}));
  }
  // Each frame behind its HART-IP header, both ways.
  EXPECT_EQ(capture.Count("HART-IP TX version=1 type=0 id=3 "), 6u);
  EXPECT_EQ(capture.Count("HART-IP RX version=1 type=1 id=3 status=0 "), 6u);
  EXPECT_EQ(capture.Count("RX reply "), 6u);
}

// The common case behind a gateway: a HART 7 transmitter. It is addressed by its expanded device
// type without the top two bits, and asks for more preambles than a request may carry.
TEST_P(HartIpDialogs, AHart7TransmitterIsIdentifiedAndTakesAUnitChangeByItsLongAddress) {
  hart::TransmitterModel hart7 = testhart::TestModel(7);
  hart7.requestPreambles = 25;
  transmitter.SetModel(hart7);
  TDaneIPPC record;
  THartKom0 identification(nullptr, settings, nullptr, record, 0, nullptr);
  ASSERT_TRUE(identification.CreateModeless());
  // Done once the store step has stamped the record; the closing delay is nothing to wait for.
  platform->RunUntil([&] { return record.recordYear != 0 || identification.Ended(); }, kLimitMs);
  EXPECT_TRUE(platform->MessageBoxes().empty());
  ASSERT_TRUE(identification.IdentityHeard().has_value());
  EXPECT_EQ(hart::IdentityLine(*identification.IdentityHeard()),
            "HART 7, изготовитель 0x6011, тип 0xE4A7, номер 662316, адрес 0");
  EXPECT_EQ(record.universalRevision, 7);
  EXPECT_EQ(record.manufacturerId, 0x24);
  EXPECT_EQ(record.deviceType, 0xA7);
  EXPECT_EQ(record.deviceId, 0x0A1B2C);
  EXPECT_EQ(record.preambles, 20);
  EXPECT_EQ(record.hardwareRevision, 4);
  EXPECT_EQ(record.assemblyNumber, 4242u);
  const Bytes address{0x24, 0xA7, 0x0A, 0x1B, 0x2C};
  auto frames = server.Frames();
  ASSERT_EQ(frames.size(), 6u);
  EXPECT_EQ(frames[0], (Bytes{0x02, 0x80, 0x00, 0x00, 0x82}));
  const Bytes commands{15, 14, 12, 13, 16};
  for (std::size_t i = 0; i < commands.size(); ++i) {
    EXPECT_EQ(frames[i + 1], WithChecksum({0x82, 0xA4, 0xA7, 0x0A, 0x1B, 0x2C, commands[i], 0}));
  }

  // A unit change from the identified record: written, confirmed and read back, every frame to
  // the long address.
  server.Clear();
  TDane identified;
  identified.Append(record);
  constexpr int kBarIndex = 7;
  constexpr std::uint8_t kBar = 7;
  platform->OnModal(TUnits::kResourceId, [&](ui::Dialog& d) {
    auto& units = static_cast<TUnits&>(d);
    ASSERT_TRUE(d.Item(TUnits::kUnitComboId)->UserSelect(kBarIndex));
    Click(d, TLista::kSendButtonId);
    platform->RunUntil([&] { return units.AwaitedCommand() == 0; }, kLimitMs);
    EXPECT_EQ(units.AwaitedCommand(), 0);
  });
  TUnits units(nullptr, identified, changed, memory, settings, nullptr);
  units.Execute();
  EXPECT_TRUE(platform->MessageBoxes().empty());
  frames = server.Frames();
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0], WithChecksum({0x82, 0xA4, 0xA7, 0x0A, 0x1B, 0x2C, 44, 1, kBar}));
  EXPECT_EQ(frames[1], WithChecksum({0x82, 0xA4, 0xA7, 0x0A, 0x1B, 0x2C, 14, 0}));
  EXPECT_EQ(frames[2], WithChecksum({0x82, 0xA4, 0xA7, 0x0A, 0x1B, 0x2C, 15, 0}));
  EXPECT_EQ(transmitter.Model().unit, kBar);
  EXPECT_EQ(identified.At(0).unitCode, kBar);
  // 400 and 600 kPa read back in bars.
  EXPECT_NEAR(identified.At(0).upperRange, 4.0f, 1e-3);
  EXPECT_NEAR(identified.At(0).upperSensorLimit, 6.0f, 1e-3);
}

TEST_P(HartIpDialogs, UnitChangeTakesTheConfirmedUnitAndTheValuesReadBack) {
  constexpr int kKpaIndex = 12;
  platform->OnModal(TUnits::kResourceId, [&](ui::Dialog& d) {
    auto& units = static_cast<TUnits&>(d);
    ASSERT_TRUE(d.Item(TUnits::kUnitComboId)->UserSelect(kKpaIndex));
    Click(d, TLista::kSendButtonId);
    platform->RunUntil([&] { return units.AwaitedCommand() == 0; }, kLimitMs);
    EXPECT_EQ(units.AwaitedCommand(), 0);
    EXPECT_EQ(d.Item(TUnits::kUnitFieldId)->Text(), "[кПа]");
  });
  TUnits dialog(nullptr, db, changed, memory, settings, nullptr);
  dialog.Execute();
  EXPECT_TRUE(platform->MessageBoxes().empty());

  const auto frames = server.Frames();
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0], WithChecksum({0x82, 42 | 0x80, 7, 0x12, 0x34, 0x56, 44, 1, 12}));
  EXPECT_EQ(frames[1], WithChecksum({0x82, 42 | 0x80, 7, 0x12, 0x34, 0x56, 14, 0}));
  EXPECT_EQ(frames[2], WithChecksum({0x82, 42 | 0x80, 7, 0x12, 0x34, 0x56, 15, 0}));
  const TDaneIPPC& record = db.At(0);
  EXPECT_TRUE(changed);
  EXPECT_EQ(record.unitCode, 12);
  EXPECT_SAME_FLOAT(record.upperSensorLimit, 4000.0f);
  EXPECT_SAME_FLOAT(record.lowerSensorLimit, -100.0f);
  EXPECT_SAME_FLOAT(record.minimumSpan, 50.0f);
  EXPECT_SAME_FLOAT(record.upperRange, 1600.0f);
  EXPECT_SAME_FLOAT(record.lowerRange, -50.0f);
  EXPECT_EQ(transmitter.Model().unit, 12);
}

TEST_P(HartIpDialogs, ContinuousReadingSendsTheNextRequestOnEveryReply) {
  platform->OnModal(TReadPV::kResourceId, [&](ui::Dialog& d) {
    auto& read = static_cast<TReadPV&>(d);
    Click(d, TReadPV::kContinuousId);
    Click(d, TLista::kSendButtonId);
    platform->RunUntil([&] { return server.Frames().size() >= 4; }, kLimitMs);
    ASSERT_GE(server.Frames().size(), 4u);
    EXPECT_SAME_FLOAT(read.Pressure(), 2.5f);
    EXPECT_SAME_FLOAT(read.LoopCurrent(), 12.75f);
    // Cleared: the reading under way ends in its reply, and nothing follows it.
    Click(d, TReadPV::kContinuousId);
    platform->Advance(30);
    platform->RunUntil([&] { return capture.Count("RX reply") == capture.Count("TX 82"); },
                       kLimitMs);
    const std::size_t sent = server.Frames().size();
    platform->Advance(50);
    EXPECT_EQ(server.Frames().size(), sent);
    Click(d, ui::kIdCancel);
  });
  TReadPV dialog(nullptr, db, changed, memory, settings, nullptr);
  dialog.Execute();
  for (const Bytes& frame : server.Frames()) {
    EXPECT_EQ(frame, WithChecksum({0x82, 42 | 0x80, 7, 0x12, 0x34, 0x56, 3, 0}));
  }
  EXPECT_TRUE(platform->MessageBoxes().empty());
}

TEST_P(HartIpDialogs, EachDialogHearsOfAFailingServerAsOfAFailingLine) {
  // Identification: sessions refused. Said once, then every address polled fails at once, and
  // identification gives up with its own message; nothing is stored.
  server.SetBehaviour(Behaviour::RefuseSession, -1, 15);
  {
    TDaneIPPC record = UnlikeDefaultsRecord();
    THartKom0 dialog(nullptr, settings, nullptr, record, 0, nullptr);
    dialog.Execute();
    EXPECT_EQ(Boxes(), (std::vector<std::string>{
                           "Узел HART-IP " + server.Address() +
                               ": все сеансы заняты.\nЗакрой связь с ним в другой программе или "
                               "подожди.",
                           "Отсутствие ответа.\nПроверь, подключен ли преобразователь!!!"}));
    EXPECT_EQ(server.Messages().size(), 1u);
    EXPECT_EQ(record.deviceId, UnlikeDefaultsRecord().deviceId);
    EXPECT_EQ(record.pollingAddress, THartKom0::kLastPollingAddress);
  }

  // A unit change answered with a NAK each time: no answer, said as the dialog says it.
  server.SetBehaviour(Behaviour::Nak);
  platform->Advance(200);
  platform->ClearMessageBoxes();
  platform->OnModal(TUnits::kResourceId, [&](ui::Dialog& d) {
    auto& units = static_cast<TUnits&>(d);
    ASSERT_TRUE(d.Item(TUnits::kUnitComboId)->UserSelect(12));
    Click(d, TLista::kSendButtonId);
    platform->RunUntil([&] { return units.AwaitedCommand() == 0; }, kLimitMs);
  });
  {
    TUnits dialog(nullptr, db, changed, memory, settings, nullptr);
    dialog.Execute();
  }
  EXPECT_EQ(Boxes(), (std::vector<std::string>{
                         "Отсутствие ответа.\nВыбери следующий преобразователь!!!"}));
  EXPECT_EQ(server.Frames().size(), 3u);
  EXPECT_EQ(db.At(0).unitCode, 7);

  // Reading a busy transmitter: the base's message, as on the line.
  server.SetBehaviour(Behaviour::Answer);
  platform->ClearMessageBoxes();
  transmitter.SetRefusal(32);
  platform->OnModal(TReadPV::kResourceId, [&](ui::Dialog& d) {
    Click(d, TLista::kSendButtonId);
    platform->RunUntil([&] { return !platform->MessageBoxes().empty(); }, kLimitMs);
    Click(d, ui::kIdCancel);
  });
  {
    TReadPV dialog(nullptr, db, changed, memory, settings, nullptr);
    dialog.Execute();
  }
  EXPECT_EQ(Boxes(), (std::vector<std::string>{
                         "Передача или нагрузка на линии.\nПередача не возможна!!!"}));
  EXPECT_EQ(server.Frames().size(), 4u);
}

TEST(HartIpReading, ContinuousReadingKeepsItsPeriod) {
  ui::ScopedHeadlessPlatform platform;
  platform->SetRealTime(true);
  ModelAnswerer transmitter(NetworkTransmitter());
  HartIpServer server(Transport::Udp, transmitter.Function());
  std::string error;
  auto link = hart::HartIpLink::Open(server.Address(), {}, error);
  TDane db;
  db.Append(IdentifiedOverTheNetwork());
  bool changed = false;
  int memory = 0;
  platform->OnModal(TReadPV::kResourceId, [&](ui::Dialog& d) {
    ASSERT_TRUE(d.Item(TReadPV::kContinuousId)->UserClick());
    ASSERT_TRUE(d.Item(TLista::kSendButtonId)->UserClick());
    platform->RunUntil([&] { return server.Frames().size() >= 4; }, kLimitMs);
    ASSERT_TRUE(d.Item(TReadPV::kContinuousId)->UserClick());
    ASSERT_TRUE(d.Item(ui::kIdCancel)->UserClick());
  });
  TReadPV dialog(nullptr, db, changed, memory, {{}, nullptr, link.get()}, nullptr);
  dialog.Execute();
  const auto frames = server.Messages(hart::hartip::kPassThrough);
  ASSERT_GE(frames.size(), 4u);
  // The first request opened the session within its 400 ms: the period shows from the second on.
  for (std::size_t i = 2; i < frames.size(); ++i) {
    const std::int64_t period = frames[i].atMs - frames[i - 1].atMs;
    EXPECT_GE(period, THartProtokol::kReplyDelayMs - 1) << i;
    EXPECT_LT(period, THartProtokol::kReplyDelayMs + 50) << i;
  }
}

TEST(HartIpCommandLine, OptionsAndWhatIsWrongWithThem) {
  const char* identify[] = {"kestrel7", "identify", "--hart-ip", "10.0.0.5:20004", "--tcp",
                            "-o", "a.pom"};
  CommandLine args = ParseCommandLine(7, identify);
  EXPECT_EQ(args.command, CommandLine::Command::Identify);
  EXPECT_EQ(args.hartIp, "10.0.0.5:20004");
  EXPECT_TRUE(args.tcp);
  EXPECT_EQ(args.output, "a.pom");
  const char* desktop[] = {"kestrel7", "--hart-ip", "gateway.plant"};
  args = ParseCommandLine(3, desktop);
  EXPECT_EQ(args.command, CommandLine::Command::Desktop);
  EXPECT_FALSE(args.tcp);

  struct Case {
    std::vector<const char*> argv;
    const char* error;
  };
  const Case cases[] = {
      {{"kestrel7", "--hart-ip"}, "после --hart-ip нужно адрес узла HART-IP"},
      {{"kestrel7", "--tcp"}, "--tcp относится к --hart-ip"},
      {{"kestrel7", "--port", "/dev/ttyS0", "--tcp"}, "--tcp относится к --hart-ip"},
      {{"kestrel7", "--hart-ip", "h", "--port", "/dev/ttyS0"},
       "--port и --hart-ip не указывают вместе: преобразователь на одной связи"},
      {{"kestrel7", "show", "a.pom", "--hart-ip", "h"},
       "--hart-ip и --tcp относятся к окну программы и к команде identify"},
      {{"kestrel7", "report", "a.pom", "--tcp"},
       "--hart-ip и --tcp относятся к окну программы и к команде identify"},
  };
  for (const Case& c : cases) {
    const CommandLine wrong = ParseCommandLine(static_cast<int>(c.argv.size()), c.argv.data());
    EXPECT_EQ(wrong.command, CommandLine::Command::Error) << c.error;
    EXPECT_EQ(wrong.error, c.error);
  }
  EXPECT_NE(HelpText().find("--hart-ip УЗЕЛ[:ПОРТ]"), std::string::npos);
  EXPECT_NE(HelpText().find("--tcp"), std::string::npos);

  std::string error;
  args.hartIp = "127.0.0.1:5094";
  args.tcp = true;
  EXPECT_NE(OpenHartIpLink(args, error), nullptr);

  // An address that is none: identification stops at once, saying why, and writes nothing.
  const std::string output = ::testing::TempDir() + "k7_hart_ip_never_written.pom";
  const char* bad[] = {"kestrel7", "identify", "--hart-ip", "10.0.0.5:99999", "-o", output.c_str()};
  std::FILE* err = std::tmpfile();
  EXPECT_EQ(RunIdentify(ParseCommandLine(6, bad), stdout, err), 1);
  std::rewind(err);
  char text[256] = {};
  EXPECT_EQ(std::fread(text, 1, sizeof text - 1, err) > 0, true);
  EXPECT_STREQ(text,
               "Неверный адрес узла HART-IP: 10.0.0.5:99999\n"
               "Нужно УЗЕЛ или УЗЕЛ:ПОРТ, порт от 1 до 65535.\n");
  std::fclose(err);
  EXPECT_FALSE(std::ifstream(output).good());
}

TEST(HartIpCommandLine, IdentifyWritesTheDataFileOfTheTransmitterOverTheNetwork) {
  ModelAnswerer transmitter(NetworkTransmitter());
  HartIpServer server(Transport::Udp, transmitter.Function());
  const std::string output = ::testing::TempDir() + "k7_hart_ip_identified.pom";
  std::remove(output.c_str());
  const std::string address = server.Address();
  const char* argv[] = {"kestrel7", "identify", "--hart-ip", address.c_str(), "-o", output.c_str()};
  EXPECT_EQ(RunIdentify(ParseCommandLine(6, argv), stdout, stderr), 0);

  TDane db;
  ASSERT_TRUE(datafile::ReadDatabaseFile(output, db));
  ASSERT_EQ(db.Count(), 1u);
  EXPECT_EQ(db.At(0).manufacturerId, 42);
  EXPECT_EQ(db.At(0).deviceId, 0x123456);
  EXPECT_EQ(db.At(0).assemblyNumber, 654321u);
  // The session was closed when the program ended.
  for (int i = 0; i < 100 && server.OpenSessions() != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(server.OpenSessions(), 0u);
  const auto messages = server.Messages();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back().id, hart::hartip::kSessionClose);
  std::remove(output.c_str());
}

// kestrel7 read --hart-ip ... --tcp: the readings of the transmitter that identified itself over
// the network, addressed as it said, with the summary after them.
TEST(HartIpCommandLine, ReadPrintsTheReadingsOfTheTransmitterOverTheNetwork) {
  ModelAnswerer transmitter(NetworkTransmitter());
  HartIpServer server(Transport::Tcp, transmitter.Function());
  const std::string address = server.Address();
  const char* argv[] = {"kestrel7", "read", "--hart-ip", address.c_str(), "--tcp", "--count", "2"};
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  EXPECT_EQ(RunRead(7, argv, out, err), 0);
  const auto text = [](std::FILE* file) {
    std::rewind(file);
    std::string all;
    char buffer[1024];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, file)) all.append(buffer, n);
    std::fclose(file);
    return all;
  };
  const std::string csv = text(out);
  EXPECT_EQ(text(err),
            "Показаний: 2, сбоев: 0; давление [Bar]: мин 2.5, макс 2.5, среднее 2.5; "
            "ток [мА]: мин 12.75, макс 12.75, среднее 12.75\n");
  // Timed by the computer's clock: only the values are the test's.
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = csv.find('\n', at)) != std::string::npos; at = end + 1) {
    lines.push_back(csv.substr(at, end - at));
  }
  ASSERT_EQ(lines.size(), 3u) << csv;
  EXPECT_EQ(lines[0], "Время,Давление,Единица,Ток [мА],Статус");
  for (std::size_t i = 1; i < lines.size(); ++i) {
    EXPECT_TRUE(lines[i].ends_with(",2.5,[Bar],12.75,0x00")) << lines[i];
  }
  std::vector<Bytes> reads;
  for (const Bytes& frame : server.Frames()) {
    if (frame.size() > 6 && frame[0] == hart::kLongDelimiter && frame[6] == 3) reads.push_back(frame);
  }
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[0], WithChecksum({0x82, 42 | 0x80, 7, 0x12, 0x34, 0x56, 3, 0}));
}

}  // namespace
