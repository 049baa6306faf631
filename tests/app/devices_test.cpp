// Every device on the loop and behind the gateway: one table of loop set-ups, each met by scan,
// by identify and read reaching one device (by address, tag or sub-device), over the pty test
// transmitter and the HART-IP test server.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/devices_window.h"
#include "app/main_window.h"
#include "app/menu.h"
#include "app/read_command.h"
#include "app/scan_command.h"
#include "data/data_file.h"
#include "hart/serial_link.h"
#include "hart/reply_data.h"
#include "record/packed_text.h"
#include "tests/support/stream_capture.h"
#include "tests/support/gateway_model.h"
#include "tests/support/hart_ip_server.h"
#include "tests/support/probe_dialog.h"
#include "tests/support/test_transmitter.h"
#include "ui/headless/headless_platform.h"

namespace {

using Capture = testhart::StreamCapture;

hart::TransmitterModel Device(std::uint8_t revision, std::uint8_t address, std::uint32_t id,
                              const char* tag = "", const char* longTag = "") {
  hart::TransmitterModel m = testhart::TestModel(revision);
  m.pollingAddress = address;
  m.deviceId = id;
  m.pressure = static_cast<float>(id % 1000) + 0.5f;
  packed::EncodeFromEntry(tag, 8, m.tag);
  std::fill(m.longTag.begin(), m.longTag.end(), std::uint8_t{' '});
  for (std::size_t i = 0; longTag[i] != 0; ++i)
    m.longTag[i] = static_cast<std::uint8_t>(longTag[i]);
  return m;
}

std::vector<std::uint32_t> IdsIn(const std::string& path) {
  ui::ScopedHeadlessPlatform platform;
  TDane db;
  EXPECT_TRUE(datafile::ReadDatabaseFile(path, db));
  std::vector<std::uint32_t> ids;
  for (std::size_t i = 0; i < db.Count(); ++i) ids.push_back(db.At(i).deviceId);
  return ids;
}

struct Loop {
  const char* name;
  std::vector<hart::TransmitterModel> devices;  // on the pty line; none: the test gateway
  int from, to;
  std::vector<std::uint32_t> scanned;  // device ids, in the order found
  std::vector<const char*> reach;      // the option that reaches one device
  std::uint32_t reached;
};

// clang-format off
const Loop kLoops[] = {
    {"PointToPoint", {Device(5, 0, 0x000101, "PT-1")}, 0, 1, {0x000101}, {"--tag", "PT-1"},
     0x000101},
    {"Multidrop3And7", {Device(5, 3, 0x000103, "PT-3"), Device(6, 7, 0x000107, "PT-7")}, 3, 7,
     {0x000103, 0x000107}, {"--address", "7"}, 0x000107},
    {"Hart7At40", {Device(7, 40, 0x000140, "", "PRESSURE AT FORTY")}, 40, 41, {0x000140},
     {"--tag", "PRESSURE AT FORTY"}, 0x000140},
    {"GatewayOfThree", {}, 0, 63, {0x000105, 0x000206, 0x000307}, {"--sub", "3"}, 0x000307},
};
// clang-format on

class Devices : public ::testing::TestWithParam<Loop> {
 protected:
  void SetUp() override {
    const Loop& loop = GetParam();
    if (loop.devices.empty()) {
      server_ = std::make_unique<testhart::HartIpServer>(testhart::HartIpServer::Transport::Udp,
                                                         gateway_.Function());
      link_ = {"--hart-ip", server_->Address()};
    } else {
      pty_.SetModel(loop.devices[0]);
      for (std::size_t i = 1; i < loop.devices.size(); ++i) pty_.AddDevice(loop.devices[i]);
      link_ = {"--port", pty_.Device()};
    }
  }
  // argv of kestrel7 with the command, the link and `more`.
  std::vector<const char*> Argv(const char* command, std::vector<const char*> more) {
    std::vector<const char*> argv{"kestrel7", command, link_[0].c_str(), link_[1].c_str()};
    argv.insert(argv.end(), more.begin(), more.end());
    return argv;
  }

  testhart::TestTransmitter pty_;
  testhart::GatewayModel gateway_;
  std::unique_ptr<testhart::HartIpServer> server_;
  std::vector<std::string> link_;
  std::string file_ = ::testing::TempDir() + "devices_test.pom";
};

TEST_P(Devices, ScanListsEveryDeviceAndStoresEachIdentified) {
  const Loop& loop = GetParam();
  const std::string from = std::to_string(loop.from);
  const std::string to = std::to_string(loop.to);
  std::vector<const char*> more{"-o", file_.c_str()};
  if (!loop.devices.empty()) more.insert(more.end(), {"--from", from.c_str(), "--to", to.c_str()});
  auto argv = Argv("scan", more);
  Capture out, err;
  ASSERT_EQ(RunScan(static_cast<int>(argv.size()), argv.data(), out.file, err.file), 0)
      << err.Text();
  EXPECT_EQ(IdsIn(file_), loop.scanned);
  const std::string lines = out.Text();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'),
            static_cast<std::ptrdiff_t>(loop.scanned.size()))
      << lines;
  for (const hart::TransmitterModel& m : loop.devices) {
    EXPECT_NE(lines.find("адрес " + std::to_string(m.pollingAddress) + ": HART " +
                         std::to_string(m.universalRevision)),
              std::string::npos)
        << lines;
  }
  // One poll at each silent address, none repeated; and one more by each identification.
  const auto requests = pty_.Requests();
  const auto polls = std::count_if(requests.begin(), requests.end(), [](const auto& r) {
    return r.size() > 2 && r[0] == hart::kShortDelimiter && r[2] == 0;
  });
  if (!loop.devices.empty()) {
    EXPECT_EQ(polls, loop.to - loop.from + 1 + static_cast<int>(loop.scanned.size()));
  } else {
    EXPECT_NE(lines.find("прибор 3 (карта 1, канал 0): HART 7"), std::string::npos) << lines;
    EXPECT_NE(lines.find("длинный тег «PT-307 STEAM HEADER PRESSURE»"), std::string::npos);
  }
  EXPECT_NE(
      err.Text().find("из " + std::to_string(loop.devices.empty() ? 3 : loop.to - loop.from + 1)),
      std::string::npos);
}

// A gateway is listed whole: scan refuses --sub before anything is sent.
TEST_P(Devices, ScanByAddressOrTagFindsOneDeviceAndRefusesSub) {
  const Loop& loop = GetParam();
  auto argv = Argv("scan", loop.reach);
  Capture out, err;
  const int status = RunScan(static_cast<int>(argv.size()), argv.data(), out.file, err.file);
  if (loop.devices.empty()) {
    EXPECT_EQ(status, kExitUsage);
    EXPECT_TRUE(server_->Messages().empty());
    return;
  }
  ASSERT_EQ(status, 0);
  const std::string lines = out.Text();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1) << lines;
  EXPECT_NE(lines.find("номер " + std::to_string(loop.reached)), std::string::npos) << lines;
}

TEST_P(Devices, IdentifyReachesTheOneDeviceAsked) {
  const Loop& loop = GetParam();
  auto more = loop.reach;
  more.insert(more.end(), {"-o", file_.c_str()});
  auto argv = Argv("identify", more);
  const CommandLine args = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
  ASSERT_EQ(args.command, CommandLine::Command::Identify) << args.error;
  Capture out, err;
  ASSERT_EQ(RunIdentify(args, out.file, err.file), 0) << err.Text();
  EXPECT_EQ(IdsIn(file_), std::vector<std::uint32_t>{loop.reached});
}

TEST_P(Devices, ReadReadsTheOneDeviceAsked) {
  const Loop& loop = GetParam();
  auto more = loop.reach;
  more.insert(more.end(), {"--count", "1"});
  auto argv = Argv("read", more);
  Capture out, err;
  ASSERT_EQ(RunRead(static_cast<int>(argv.size()), argv.data(), out.file, err.file), 0)
      << err.Text();
  EXPECT_NE(out.Text().find(std::to_string(loop.reached % 1000) + ".5"), std::string::npos)
      << out.Text();
}

INSTANTIATE_TEST_SUITE_P(Loops, Devices, ::testing::ValuesIn(kLoops),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// Ctrl+C once the first device of the multidrop loop is being read: the walk ends there, and
// that device alone is identified and written.
TEST(DevicesScan, CtrlCKeepsWhatWasFound) {
  testhart::TestTransmitter pty;
  pty.SetModel(Device(5, 3, 0x000103, "PT-3"));
  pty.AddDevice(Device(6, 7, 0x000107));
  ScanArgs args;
  args.port = pty.Device();
  args.from = 3;
  args.output = ::testing::TempDir() + "devices_ctrl_c.pom";
  ScanSeams seams;
  seams.interrupted = [&] { return pty.Requests().size() > 1; };
  Capture out, err;
  EXPECT_EQ(RunScan(args, out.file, err.file, seams), 0);
  EXPECT_NE(err.Text().find("Поиск прерван: найдено приборов 1, записей 1."), std::string::npos)
      << err.Text();
  EXPECT_EQ(IdsIn(args.output), std::vector<std::uint32_t>{0x000103});
}

// Only identification's (or a scan's) poll becomes the search by tag: the address dialog's
// search of the addresses still polls each address it names.
TEST(DevicesReach, OnlyTheSearchingPollBecomesTheTagSearch) {
  testhart::TestTransmitter pty;
  pty.SetModel(Device(5, 3, 0x000103, "PT-3"));
  ui::ScopedHeadlessPlatform platform;
  platform->SetRealTime(true);
  std::string error;
  auto serial = hart::SerialLink::Open(pty.Device(), {}, error);
  ASSERT_TRUE(serial) << error;
  hart::ReachLink link(*serial, *hart::ReachByTag("PT-3", error), false);
  TSerialPortSettings settings;
  settings.link = &link;
  ProbeDialog probe(settings);
  ASSERT_TRUE(probe.CreateModeless());
  for (const bool searching : {false, true}) {
    probe.searchesReach = searching;
    probe.SendRaw({0x02, 0x03, 0x00, 0x00, 0x01});
    platform->RunUntil([&] { return probe.outcomes.size() == (searching ? 2u : 1u); }, 5000);
  }
  const auto requests = pty.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0], (std::vector<std::uint8_t>{0x02, 0x03, 0x00, 0x00, 0x01}));
  EXPECT_EQ(requests[1][6], 11);  // the search by tag
  EXPECT_EQ(probe.Events(), (std::vector<unsigned>{kEvReply, kEvReply}));
  probe.Destroy();
}

// Wrong numbers and tags are refused before anything is opened or sent.
TEST(DevicesUsage, BadAddressTagOrRangeIsAUsageError) {
  const std::string longTag(33, 'A');
  const std::vector<std::vector<const char*>> cases{
      {"kestrel7", "identify", "--address", "64"},
      {"kestrel7", "--tag", longTag.c_str()},
      {"kestrel7", "identify", "--tag", "PT-1", "--address", "3"},
      {"kestrel7", "identify", "--sub", "2"},
  };
  for (const auto& argv : cases) {
    const CommandLine args = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(args.command, CommandLine::Command::Error) << argv[2];
  }
  std::string error;
  const std::vector<const char*> scan{"kestrel7", "scan", "--from", "70"};
  EXPECT_FALSE(ParseScanArgs(static_cast<int>(scan.size()), scan.data(), error));
  EXPECT_NE(error.find("от 0 до 63"), std::string::npos);
}

struct GatewayPeer {
  testhart::GatewayModel gateway;
  testhart::HartIpServer server{testhart::HartIpServer::Transport::Udp, gateway.Function()};
  std::string address = server.Address();
};

TEST(DevicesGateway, AnIndexTheGatewayRefusesExitsWithUsageAndReachesNoSubDevice) {
  GatewayPeer peer;
  const std::vector<const char*> argv{"kestrel7",           "identify", "--hart-ip",
                                      peer.address.c_str(), "--sub",    "9"};
  const CommandLine args = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
  Capture out, err;
  EXPECT_EQ(RunIdentify(args, out.file, err.file), kExitUsage);
  EXPECT_NE(err.Text().find("шлюз не знает подчинённого прибора 9 (ответ 84: код 2)"),
            std::string::npos)
      << err.Text();
  for (const auto& frame : peer.server.Frames()) {
    EXPECT_FALSE(frame.size() > 6 && frame[0] == 0x82 && frame[6] == 77);
  }
}

TEST(DevicesGateway, AReplyFromAnotherSubDeviceIsNotTaken) {
  GatewayPeer peer;
  peer.gateway.Misroute(true);
  const std::vector<const char*> argv{"kestrel7", "identify", "--hart-ip", peer.address.c_str(),
                                      "--sub", "1"};
  const CommandLine args = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
  Capture out, err;
  EXPECT_EQ(RunIdentify(args, out.file, err.file), 1);
  EXPECT_EQ(out.Text().find("номер"), std::string::npos) << out.Text();
}

// A record of a sub-device opened from a data file: its first request has the gateway listed,
// and goes inside 77 to the sub-device's card and channel.
TEST(DevicesGateway, ARecordOfASubDeviceIsReachedInANewSession) {
  GatewayPeer peer;
  ui::ScopedHeadlessPlatform platform;
  platform->SetRealTime(true);
  std::string error;
  auto inner = OpenHartIpLink(peer.address, false, error);
  hart::ReachLink link(*inner, hart::Reach{}, true);
  TSerialPortSettings settings;
  settings.link = &link;
  ProbeDialog probe(settings);
  ASSERT_TRUE(probe.CreateModeless());
  std::vector<std::uint8_t> pressure(20);
  const hart::LongAddress sub = peer.gateway.Summary(2).Address();
  pressure.resize(static_cast<std::size_t>(hart::WriteLongFrame(pressure, sub, 1, {})));
  probe.SendRaw(pressure);
  platform->RunUntil([&] { return !probe.outcomes.empty(); }, 10000);
  ASSERT_EQ(probe.Events(), std::vector<unsigned>{kEvReply});
  // From the sub-device itself (identifier 0x000206), its own pressure.
  EXPECT_EQ(probe.outcomes[0].reply[5], 0x06);
  EXPECT_FLOAT_EQ(hart::DataFloat(probe.outcomes[0].reply, 1), 0x206 % 1000 + 0.5f);
  probe.Destroy();
}

TEST(DevicesGateway, ASubDeviceThe77RefusesIsLeftOutWithItsReason) {
  GatewayPeer peer;
  peer.gateway.Refuse77(2, 9);
  const std::vector<const char*> argv{"kestrel7", "scan", "--hart-ip", peer.address.c_str()};
  Capture out, err;
  EXPECT_EQ(RunScan(static_cast<int>(argv.size()), argv.data(), out.file, err.file), 0);
  const std::string lines = out.Text();
  EXPECT_NE(lines.find("прибор 1 "), std::string::npos) << lines;
  EXPECT_NE(lines.find("прибор 3 "), std::string::npos) << lines;
  EXPECT_EQ(lines.find("прибор 2 "), std::string::npos) << lines;
  EXPECT_NE(err.Text().find("прибор 2 (карта 0, канал 1): пропущен, прибор на канале не отвечает"),
            std::string::npos)
      << err.Text();
}

}  // namespace


namespace {

TEST(DevicesWindow, FindsTheMultidropLoopAndAddsEachAsARecord) {
  testhart::TestTransmitter pty;
  pty.SetModel(Device(5, 0, 0x000100));
  pty.AddDevice(Device(6, 2, 0x000102));
  ui::ScopedHeadlessPlatform platform;
  platform->SetRealTime(true);
  std::string error;
  auto link = hart::SerialLink::Open(pty.Device(), {}, error);
  ASSERT_TRUE(link) << error;
  TMyWindow window(nullptr, link.get());
  window.Create();
  window.KillTimer(TMyWindow::kStartTimerId);
  std::vector<std::string> listed;
  std::string shownWhileSecond;  // the panel while the second device is identified
  platform->OnModal(310, [&](ui::Dialog& identifying) {
    if (window.Database().Count() == 1) shownWhileSecond = window.Panel()->Item(732)->Text();
    platform->RunUntil([&] { return identifying.Ended(); }, 20000);
  });
  platform->OnModal(TDevicesWindow::kResourceId, [&](ui::Dialog& dialog) {
    auto& devices = dynamic_cast<TDevicesWindow&>(dialog);
    platform->RunUntil([&] { return devices.Found().size() == 2; }, 20000);
    devices.SendMessage(ui::kMsgCommand, ui::MakeWParam(TDevicesWindow::kStop, ui::kNotifyClicked));
    platform->RunUntil([&] { return !devices.Running(); }, 5000);
    for (const FoundDevice& d : devices.Listed()) listed.push_back(FoundLine(d));
    // Added twice, each device is still one record.
    for (int time = 0; time < 2; ++time) {
      devices.SendMessage(ui::kMsgCommand,
                          ui::MakeWParam(TDevicesWindow::kAddAll, ui::kNotifyClicked));
    }
    dialog.EndDialog(ui::kIdCancel);
  });
  window.SendMessage(ui::kMsgCommand, ui::MakeWParam(kCmdFindDevices, 0));
  ASSERT_EQ(listed.size(), 2u);
  ASSERT_EQ(window.Database().Count(), 2u);
  EXPECT_EQ(window.Database().At(0).deviceId, 0x000100);
  EXPECT_EQ(window.Database().At(1).deviceId, 0x000102);
  EXPECT_EQ(shownWhileSecond, std::to_string(0x000100));
  window.Destroy();
}

}  // namespace
