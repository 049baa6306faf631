// HART-IP from the command line and the pace of continuous reading over it, against the test
// server on the loopback interface; the dialogs' scenarios over it are rows of
// link_scenarios_test.cpp.
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
  // One request may leave a few milliseconds late on a loaded machine and the next on time.
  for (std::size_t i = 2; i < frames.size(); ++i) {
    const std::int64_t period = frames[i].atMs - frames[i - 1].atMs;
    EXPECT_GE(period, THartProtokol::kReplyDelayMs - 25) << i;
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
  constexpr const char* kNotForFiles =
      "СВЯЗЬ (--port, --hart-ip, --simulated, --address…) относится к окну программы и к "
      "командам identify, read, scan, compare и apply";
  const Case cases[] = {
      {{"kestrel7", "--hart-ip"}, "после --hart-ip нужно адрес узла HART-IP"},
      {{"kestrel7", "--tcp"}, "--tcp относится к --hart-ip"},
      {{"kestrel7", "--port", "/dev/ttyS0", "--tcp"}, "--tcp относится к --hart-ip"},
      {{"kestrel7", "--hart-ip", "h", "--port", "/dev/ttyS0"},
       "--port и --hart-ip не указывают вместе: преобразователь на одной связи"},
      {{"kestrel7", "show", "a.pom", "--hart-ip", "h"}, kNotForFiles},
      {{"kestrel7", "report", "a.pom", "--tcp"}, kNotForFiles},
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
