// The link chosen in «Связь», kept in link.conf for the next start and read back by the window
// and the command line; a damaged file gives one warning and the simulated transmitter.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/command_line.h"
#include "hart/hart_ip_key.h"
#include "app/main_window.h"
#include "app/menu.h"
#include "tests/support/fake_link.h"
#include "ui/headless/headless_platform.h"

namespace {

namespace fs = std::filesystem;

struct LinkChoiceTest : ::testing::Test {
  fs::path folder = fs::temp_directory_path() /
                    ("k7_link_" + std::to_string(::getpid()) + "_" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
  fs::path conf = folder / "kestrel7" / "link.conf";
  void SetUp() override {
    fs::remove_all(folder);
    fs::create_directories(conf.parent_path());
    ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
  }
  void TearDown() override { fs::remove_all(folder); }
  void Write(const std::string& text) { std::ofstream(conf, std::ios::binary) << text; }
};

LinkChoice Serial(std::string port, bool rts) {
  LinkChoice c;
  c.kind = LinkChoice::Kind::Serial;
  c.port = std::move(port);
  c.switchRts = rts;
  return c;
}

LinkChoice HartIp(std::string host, int port, bool tcp) {
  LinkChoice c;
  c.kind = LinkChoice::Kind::HartIp;
  c.host = std::move(host);
  c.ipPort = port;
  c.tcp = tcp;
  return c;
}

TEST_F(LinkChoiceTest, FileContentsGiveTheLinkOrOneWarningAndTheSimulatedTransmitter) {
  LinkChoice withAddress = Serial("/dev/ttyACM0", true);
  withAddress.address = 3;
  LinkChoice withKey = HartIp("gw", kHartIpDefaultPort, false);
  withKey.pskFile = "/etc/k7.psk";
  const struct {
    std::string text;
    LinkChoice expected;
    bool warned;
  } cases[] = {
      {"link=serial\nport=/dev/ttyUSB0\nrts=off\n", Serial("/dev/ttyUSB0", false), false},
      {"# kept\r\nlink = hart-ip\r\nhost=10.0.0.5\r\nip-port=20004\r\ntransport=tcp\r\n",
       HartIp("10.0.0.5", 20004, true), false},
      {"link=hart-ip\nhost=gw\npsk-file=/etc/k7.psk\n", withKey, false},
      {"link=serial\nport=/dev/ttyACM0\naddress=3\ncolour=blue\n", withAddress, false},
      {"link=simulated\n", LinkChoice{}, false},
      {"link=modem\n", LinkChoice{}, true},
      {"link=serial\n", LinkChoice{}, true},
      {"link=serial\nport=ttyUSB0\n", LinkChoice{}, true},
      {"link=hart-ip\nhost=h\nip-port=70000\n", LinkChoice{}, true},
      {"link=serial\nport=/dev/ttyS0\nrts=maybe\n", LinkChoice{}, true},
      {"link=serial\nport=/dev/ttyS0\naddress=64\n", LinkChoice{}, true},
      {"port=/dev/ttyUSB0\n", LinkChoice{}, true},
      {std::string("link=simulated\n\0\x01\xff", 18), LinkChoice{}, true},
      {"just words", LinkChoice{}, true},
      {"link=simulated\n# " + std::string(kLinkConfMaxBytes, 'x') + "\n", LinkChoice{}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 60));
    Write(c.text);
    std::string warning;
    EXPECT_EQ(ReadLinkConf(conf.string(), warning), c.expected);
    EXPECT_EQ(warning.empty(), !c.warned) << warning;
    // What is kept reads back as it was.
    EXPECT_EQ(ParseLinkConf(LinkConfText(c.expected), warning), c.expected);
    // The command line without a link option takes the file's link; with one, its own.
    const CommandLine none = ParseCommandLine(2, std::array{"kestrel7", "identify"}.data());
    EXPECT_EQ(ChosenLink(none, warning), c.expected);
    const char* const given[] = {"kestrel7", "identify", "--hart-ip", "gw:7", "--tcp"};
    EXPECT_EQ(ChosenLink(ParseCommandLine(5, given), warning).host, "gw:7");
    EXPECT_TRUE(warning.empty());
    const char* const simulated[] = {"kestrel7", "identify", "--simulated"};
    EXPECT_EQ(ChosenLink(ParseCommandLine(3, simulated), warning), LinkChoice{});
  }
  // A folder, a pipe or an unreadable file in its place: a warning, never a hang.
  fs::remove(conf);
  ASSERT_EQ(::mkfifo(conf.c_str(), 0600), 0);
  std::string warning;
  EXPECT_EQ(ReadLinkConf(conf.string(), warning), LinkChoice{});
  EXPECT_NE(warning.find("не понят"), std::string::npos);
  fs::remove(conf);
  EXPECT_EQ(ReadLinkConf(conf.string(), warning), LinkChoice{});
  EXPECT_TRUE(warning.empty()) << "a missing file is no fault";
}

// The ports offered: USB adapters with their maker and product from sysfs, and only the ttyS
// that have a UART behind them.
TEST_F(LinkChoiceTest, SerialPortsAreTheOnesTheSystemHasWithTheAdaptersNames) {
  const fs::path dev = folder / "dev";
  const fs::path sys = folder / "sys";
  const fs::path usb = sys / "devices" / "usb1" / "1-1";
  fs::create_directories(usb / "1-1:1.0" / "ttyUSB0");
  std::ofstream(usb / "manufacturer") << "FTDI\n";
  std::ofstream(usb / "product") << "FT232R USB UART\n";
  fs::create_directories(sys / "class" / "tty" / "ttyUSB0");
  fs::create_directory_symlink(usb / "1-1:1.0", sys / "class" / "tty" / "ttyUSB0" / "device");
  for (const char* name : {"ttyS0", "ttyS1"}) fs::create_directories(sys / "class" / "tty" / name);
  std::ofstream(sys / "class" / "tty" / "ttyS0" / "type") << "4\n";
  std::ofstream(sys / "class" / "tty" / "ttyS1" / "type") << "0\n";
  fs::create_directories(dev);
  for (const char* name : {"ttyS1", "ttyS0", "ttyACM0", "ttyUSB0", "tty0", "null"}) {
    std::ofstream(dev / name).put('\0');
  }
  const std::vector<SerialPortInfo> ports = ListSerialPorts(dev.string(), sys.string());
  std::vector<std::pair<std::string, std::string>> seen;
  for (const SerialPortInfo& port : ports) seen.emplace_back(port.device, port.description);
  EXPECT_EQ(seen, (std::vector<std::pair<std::string, std::string>>{
                      {(dev / "ttyACM0").string(), ""},
                      {(dev / "ttyUSB0").string(), "FTDI FT232R USB UART"},
                      {(dev / "ttyS0").string(), ""}}));
}

// «Связь» from the toolbar: the link opened is the one every later request takes, and it is
// kept; a link that cannot be opened is said and the link in use stays.
TEST_F(LinkChoiceTest, ChosenInTheWindowAppliedAndKeptRefusedOpeningKeepsThePrevious) {
  ui::ScopedHeadlessPlatform platform;
  FakeLink* opened = nullptr;
  std::vector<LinkChoice> asked;
  std::string refusal;
  TMyWindow window;
  window.SetLinkConfPath(conf.string());
  window.SetSerialPorts([] { return std::vector<SerialPortInfo>{{"/dev/ttyUSB0", "FTDI"}}; });
  window.SetLinkOpener([&](const LinkChoice& c, std::string& error) -> std::unique_ptr<hart::Link> {
    asked.push_back(c);
    if (!refusal.empty()) {
      error = refusal;
      return nullptr;
    }
    auto link = std::make_unique<FakeLink>();
    opened = link.get();
    return link;
  });
  window.Create();
  platform->Advance(10'000);
  ASSERT_EQ(window.Database().Count(), 1u);
  platform->ClearMessageBoxes();

  // HART-IP fields → the refusal (nothing opened or kept) or the key file kept: the key typed, then
  // kept while its field is empty, then none without an identity; a kept key is never shown.
  const std::string key = "00112233445566778899AABBCCDDEEFF", file = HartIpKeyPath();
  const std::vector<std::array<std::string, 6>> rows = {
      {"64", "", "", "", "Адрес опроса должен быть числом от 0 до 63: 64.", ""},
      {"", "0", "", "", "Номер подчинённого прибора шлюза должен быть числом от 1 до 65535: 0.", ""},
      {"", "", "K7-0001", "0011", hart::CheckHartIpKey("K7-0001", "0011"), ""},
      {"5", "2", "K7-0001", key, "", file},
      {"5", "2", "K7-0001", "", "", file},
      {"5", "2", "", "", "", ""}};
  const std::array ids = {TLinkDialog::kAddress, TLinkDialog::kSub, TLinkDialog::kIdentity,
                          TLinkDialog::kKey};
  std::size_t applied = 0;
  std::string warning;
  for (const auto& row : rows) {
    platform->OnModal(TLinkDialog::kResourceId, [&](ui::Dialog& d) {
      ASSERT_EQ(d.Item(TLinkDialog::kPort)->Text(), "/dev/ttyUSB0");
      EXPECT_EQ(d.Item(TLinkDialog::kIdentity)->Text(), window.CurrentLink().pskFile.empty() ? "" : "K7-0001");
      EXPECT_EQ(d.Item(TLinkDialog::kKey)->Text(), "");
      d.Item(TLinkDialog::kHartIp)->UserClick();
      ASSERT_TRUE(d.Item(TLinkDialog::kHost)->UserType("10.0.0.5:20004"));
      d.Item(TLinkDialog::kTransport)->UserSelect(1);
      for (int i = 0; i < 4; ++i) ASSERT_TRUE(d.Item(ids[i])->UserType(row[i]));
      d.Item(ui::kIdOk)->UserClick();
      if (d.Ended()) return;
      EXPECT_EQ(platform->MessageBoxes().back().text, row[4]);
      d.Item(ui::kIdCancel)->UserClick();
    });
    ASSERT_TRUE(platform->PressShortcut(window, "Ctrl+L"));
    EXPECT_EQ(asked.size(), applied += row[4].empty()) << row[4];
    EXPECT_EQ(window.CurrentLink().pskFile, row[5]);
    EXPECT_EQ(ReadLinkConf(conf.string(), warning), window.CurrentLink());
    EXPECT_EQ(LinkConfText(window.CurrentLink()).find("DDEEFF"), std::string::npos);
  }
  EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(hart::LoadHartIpKey(file, warning)->key, hart::KeyFromHex(key));
  const LinkChoice chosen = window.CurrentLink();
  EXPECT_EQ(LinkConfText(chosen),
            "link=hart-ip\nhost=10.0.0.5\nip-port=20004\ntransport=tcp\naddress=5\nsub=2\n");
  EXPECT_EQ(window.StatusLine(), "HART-IP 10.0.0.5:20004 TCP");
  // The next request goes to the link chosen.
  platform->OnModal(310, [](ui::Dialog&) {});
  window.SendMessage(ui::kMsgCommand, ui::MakeWParam(kCmdIdentify, 0));
  ASSERT_NE(opened, nullptr);
  EXPECT_EQ(opened->Requests().size(), 1u);

  // A busy port: said, the dialog stays open, and the link and the file stay as they were.
  refusal = "Последовательный порт /dev/ttyUSB0 занят другой программой.";
  platform->OnModal(TLinkDialog::kResourceId, [&](ui::Dialog& d) {
    d.Item(TLinkDialog::kSerial)->UserClick();
    d.Item(ui::kIdOk)->UserClick();
    EXPECT_FALSE(d.Ended());
    d.Item(ui::kIdCancel)->UserClick();
  });
  ASSERT_TRUE(platform->PressShortcut(window, "Ctrl+L"));
  EXPECT_EQ(LinkConfText(asked.back()), "link=serial\nport=/dev/ttyUSB0\nrts=on\naddress=5\n");
  ASSERT_FALSE(platform->MessageBoxes().empty());
  EXPECT_EQ(platform->MessageBoxes().back().text, refusal + "\nСвязь не изменена.");
  EXPECT_EQ(window.CurrentLink(), chosen);
  EXPECT_EQ(ReadLinkConf(conf.string(), warning), chosen);

  window.Destroy();
}

}  // namespace
