// The serial port as the command line opens it, and the headless platform's real time that the
// link tests run on; the link's scenarios are rows of link_scenarios_test.cpp.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "hart/serial_link.h"
#include "tests/support/test_transmitter.h"
#include "ui/headless/headless_platform.h"

namespace {

using testhart::TestTransmitter;

// Real milliseconds; every wait below ends long before, as soon as what it waits for happened.
constexpr std::int64_t kLimitMs = 5000;

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
