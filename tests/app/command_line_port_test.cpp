// The command line with a HART modem: what it makes of a port name a script left empty, and
// identification through the pseudo-terminal transmitter in real time.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/main_window.h"
#include "tests/support/test_transmitter.h"

namespace {

std::string ReadAll(std::FILE* file) {
  std::rewind(file);
  std::string text;
  char buffer[512];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
  return text;
}

TEST(CommandLinePort, AnEmptyOrMissingPortNameIsAUsageError) {
  const std::vector<std::vector<const char*>> cases{
      {"kestrel7", "identify", "--port", "", "-o", "a.pom"},
      {"kestrel7", "--port", ""},
      {"kestrel7", "identify", "--port"},
      {"kestrel7", "identify", "--port", "--no-rts"},
  };
  for (const auto& argv : cases) {
    const CommandLine args = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(args.command, CommandLine::Command::Error) << argv.size();
    EXPECT_EQ(args.error, "после --port нужно имя последовательного порта") << argv.size();

    std::FILE* err = std::tmpfile();
    EXPECT_EQ(RunUsageError(args, err), 2);
    EXPECT_EQ(ReadAll(err), "kestrel7: после --port нужно имя последовательного порта\n\n" +
                                HelpText());
    std::fclose(err);
  }
}

TEST(CommandLinePort, IdentifyPollsAtOnceAndPrintsTheDeviceStatusAndTheTransmitter) {
  testhart::TestTransmitter transmitter;
  // Cold start is said once, to the first request, with more status that command 48 says; the
  // transmitter bursts.
  transmitter.SetBehaviour(testhart::TestTransmitter::Behaviour::DeviceStatus, 1, 0x70);
  hart::TransmitterModel model = transmitter.Model();
  model.specificStatus = {0, 0x12, 0, 0, 0, 0};
  transmitter.SetModel(model);
  transmitter.SetBurst(100);
  const char* argv[] = {"kestrel7", "identify", "--port", transmitter.Device().c_str()};
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RunIdentify(ParseCommandLine(4, argv), out, err), 0);
  const auto took = std::chrono::steady_clock::now() - start;

  // Less than the About box alone stands on the desktop before identification starts.
  EXPECT_LT(took, std::chrono::milliseconds(TMyWindow::kSplashShownMs));
  EXPECT_EQ(transmitter.Requests().size(), 7u);
  const std::string printed = ReadAll(out);
  EXPECT_EQ(printed.rfind("Запись 1\n", 0), 0u) << printed;
  // Burst mode, the device status and what command 48 said, then the line that names the
  // transmitter.
  const std::string end =
      "Преобразователь в пакетном режиме\n"
      "Статус прибора: конфигурация изменена, холодный старт, есть дополнительный статус\n"
      "Дополнительный статус: специфический статус 00 12 00 00 00 00\n"
      "HART 5, изготовитель 0x0026, тип 0x00C8, номер 662316, адрес 0\n";
  ASSERT_GE(printed.size(), end.size());
  EXPECT_EQ(printed.substr(printed.size() - end.size()), end) << printed;
  EXPECT_EQ(ReadAll(err), "");
  std::fclose(out);
  std::fclose(err);
}

}  // namespace
