// kestrel7 read on the virtual clock: with the built-in simulated transmitter, and with a link
// that answers as a transmitter would.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/read_command.h"
#include "tests/support/stream_capture.h"
#include "tests/support/fake_link.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// 2026-12-07 14:00:00 in the tests' time zone, three hours east of UTC.
constexpr std::int64_t kEpochMs = 1796641200000;
const std::string kHeader = "Время,Давление,Единица,Ток [мА],Статус\n";

using Capture = testhart::StreamCapture;

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::optional<ReadArgs> Parse(std::vector<const char*> argv, std::string& error) {
  argv.insert(argv.begin(), "kestrel7");
  return ParseReadArgs(static_cast<int>(argv.size()), argv.data(), error);
}

// A transmitter behind the fake link: it identifies itself, answers each reading from a script
// and, at the end of the script, has Ctrl+C pressed.
class ScriptedTransmitter : public hart::Link {
 public:
  struct Read {
    float pv;
    float current;
    std::uint8_t responseCode;
  };
  ScriptedTransmitter(std::vector<Read> script, std::vector<Bytes>& requests)
      : script_(std::move(script)), requests_(requests) {
    // Manufacturer 38, device type 200, identifier 0x0A1B2C, 6 preambles; unit kPa.
    fake_.Answer(0, {254, 38, 200, 6, 5, 2, 3, 4, 1, 0x0A, 0x1B, 0x2C});
    fake_.Answer(15, {0, 0, 12, 0x43, 0xC8, 0, 0, 0, 0, 0, 0, 0x3F, 0, 0, 0, 0, 38});
    fake_.Answer(14, Bytes(16, 0));
    fake_.Answer(12, Bytes(24, 0));
    fake_.Answer(13, Bytes(21, 0));
    fake_.Answer(16, Bytes(3, 0));
  }

  void Transmit(THartProtokol& dialog) override {
    const auto request = dialog.Request();
    if (request.size() > 6 && request[0] == hart::kLongDelimiter && request[6] == 3) {
      requests_.emplace_back(request.begin(), request.end());
      if (next_ == script_.size()) std::raise(SIGINT);
      const Read r = script_[std::min(next_, script_.size() - 1)];
      ++next_;
      fake_.Answer(3, ReplyData({WireFloat(r.current), {12}, WireFloat(r.pv)}), r.responseCode);
    }
    fake_.Transmit(dialog);
  }
  void Forget(THartProtokol& dialog) override { fake_.Forget(dialog); }

 private:
  FakeLink fake_;
  std::vector<Read> script_;
  std::size_t next_ = 0;
  std::vector<Bytes>& requests_;
};

struct ReadCommand : ::testing::Test {
  Capture out;
  Capture err;
  ReadSeams seams;

  void SetUp() override {
    setenv("TZ", "MSK-3", 1);
    tzset();
    seams.wallClockMs = [] { return kEpochMs; };
  }
  void TearDown() override {
    unsetenv("TZ");
    tzset();
  }
  int Run(std::vector<const char*> argv) {
    std::string error;
    const std::optional<ReadArgs> args = Parse(std::move(argv), error);
    EXPECT_TRUE(args) << error;
    return args ? RunRead(*args, out.file, err.file, seams) : -1;
  }
};

TEST(ReadArguments, TakesWhatIdentifyTakesAndSaysWhatIsWrongInRussian) {
  std::string error;
  auto args = Parse({"read", "--port", "/dev/ttyUSB0", "--no-rts", "--period", "1,5", "--count",
                     "20", "--csv", "log.csv", "--trace", "-"},
                    error);
  ASSERT_TRUE(args) << error;
  EXPECT_EQ(args->port, "/dev/ttyUSB0");
  EXPECT_FALSE(args->switchRts);
  EXPECT_EQ(args->periodMs, 1500);
  EXPECT_EQ(args->count, 20);
  EXPECT_EQ(args->durationMs, std::nullopt);
  EXPECT_EQ(args->csv, "log.csv");
  EXPECT_EQ(args->trace, "-");
  args = Parse({"--csv", "x.csv", "read", "--duration", "0.5"}, error);
  ASSERT_TRUE(args) << error;
  EXPECT_EQ(args->durationMs, 500);
  EXPECT_EQ(args->periodMs, 400);
  EXPECT_TRUE(args->port.empty());
  EXPECT_TRUE(args->hartIp.empty());
  args = Parse({"read", "--hart-ip", "10.0.0.5:20004", "--tcp", "--count", "2"}, error);
  ASSERT_TRUE(args) << error;
  EXPECT_EQ(args->hartIp, "10.0.0.5:20004");
  EXPECT_TRUE(args->tcp);
  EXPECT_TRUE(args->port.empty());

  const std::vector<std::pair<std::vector<const char*>, std::string>> wrong{
      {{"read", "--period", "0.2"}, "--period: период от 0.4 до 60 с, а не 0.2"},
      {{"read", "--period", "61"}, "--period: период от 0.4 до 60 с, а не 61"},
      {{"read", "--count", "0"}, "--count: нужно целое число показаний больше нуля, а не 0"},
      {{"read", "--count", "5x"}, "--count: нужно целое число показаний больше нуля, а не 5x"},
      {{"read", "--duration", "-3"}, "--duration: нужно число секунд больше нуля, а не -3"},
      {{"read", "--count", "3", "--duration", "1"},
       "--count и --duration вместе не задаются: одно из двух"},
      {{"read", "--no-rts"}, "--no-rts относится к --port"},
      {{"read", "--period"}, "после --period нужно число секунд"},
      {{"read", "--csv"}, "после --csv нужно имя файла"},
      {{"read", "--csv", ""}, "после --csv нужно имя файла"},
      {{"read", "--hart-ip"}, "после --hart-ip нужно адрес узла HART-IP"},
      {{"read", "--tcp"}, "--tcp относится к --hart-ip"},
      {{"read", "--psk-file", "k7.key"}, "--psk-file относится к --hart-ip"},
      {{"read", "--port", "/dev/ttyS0", "--tcp"}, "--tcp относится к --hart-ip"},
      {{"read", "--hart-ip", "h", "--port", "/dev/ttyS0"},
       "--port и --hart-ip не указывают вместе: преобразователь на одной связи"},
      {{"read", "--port", ""}, "после --port нужно имя последовательного порта"},
      {{"read", "--port", "--count", "3"}, "после --port нужно имя последовательного порта"},
      {{"read", "--udp"}, "непонятный аргумент: --udp"},
      {{"read", "read"}, "непонятный аргумент: read"},
  };
  for (const auto& [argv, message] : wrong) {
    error.clear();
    EXPECT_FALSE(Parse(argv, error)) << message;
    EXPECT_EQ(error, message);
  }

  const auto isRead = [](std::vector<const char*> argv) {
    argv.insert(argv.begin(), "kestrel7");
    return IsReadCommand(static_cast<int>(argv.size()), argv.data());
  };
  EXPECT_TRUE(isRead({"read"}));
  EXPECT_TRUE(isRead({"--port", "/dev/ttyS0", "read", "--count", "2"}));
  EXPECT_TRUE(isRead({"--hart-ip", "10.0.0.5", "--tcp", "read"}));
  EXPECT_FALSE(isRead({"identify"}));
  EXPECT_FALSE(isRead({"show", "read"}));  // a data file named "read"
  EXPECT_FALSE(isRead({"--trace", "read"}));
  EXPECT_FALSE(isRead({}));

  // Its help, asked for, is no error; the program's help names it.
  Capture help;
  const char* asked[] = {"kestrel7", "read", "--count", "3", "-h"};
  EXPECT_EQ(RunRead(5, asked, help.file, stderr), 0);
  EXPECT_EQ(help.Text(), ReadUsage());
  EXPECT_NE(HelpText().find("  kestrel7 read [СВЯЗЬ] [--period С] [--count N | --duration С]\n"),
            std::string::npos);
}

// The simulated transmitter's 152.23 kPa and 6.2 mA come as its reply carries them, every bit of
// each IEEE 754 single, written in the fewest digits that give the float back.
TEST_F(ReadCommand, SimulatedTransmitterPrintsEachReadingThenTheSummary) {
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Run({"read", "--count", "3"}), 0);
  // Identification and three readings: three and a half seconds of the virtual clock.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(out.Text(), kHeader +
                            "2026-12-07T14:00:00.400,152.23,[кПа],6.2,0x00\n"
                            "2026-12-07T14:00:00.800,152.23,[кПа],6.2,0x00\n"
                            "2026-12-07T14:00:01.200,152.23,[кПа],6.2,0x00\n");
  // The summary goes to the error stream, so that the CSV on standard output stays clean.
  EXPECT_EQ(err.Text(),
            "Показаний: 3, сбоев: 0; давление [кПа]: мин 152.23, макс 152.23, среднее 152.23; "
            "ток [мА]: мин 6.2, макс 6.2, среднее 6.2\n");
}

TEST_F(ReadCommand, DurationToAFileOnTheVirtualClock) {
  const std::string path = ::testing::TempDir() + "k7_read.csv";
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Run({"read", "--duration", "600", "--period", "0,5", "--csv", path.c_str()}), 0);
  // Ten minutes of readings take no ten minutes.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  const std::string csv = FileText(path);
  ASSERT_EQ(csv.rfind(kHeader + "2026-12-07T14:00:00.400,152.23,[кПа],6.2,0x00\n"
                                "2026-12-07T14:00:00.900,152.23,[кПа],6.2,0x00\n", 0),
            0u);
  EXPECT_NE(csv.find("\n2026-12-07T14:09:59.900,152.23,[кПа],6.2,0x00\n"),
            std::string::npos);
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 1200);
  EXPECT_EQ(out.Text().rfind("Показаний: 1200, сбоев: 0;", 0), 0u);
  EXPECT_EQ(err.Text(), "");
  std::remove(path.c_str());
}

TEST_F(ReadCommand, ARealTransmittersReadingsFailuresAndCtrlC) {
  std::vector<Bytes> requests;
  seams.makeLink = [&requests]() -> std::unique_ptr<hart::Link> {
    return std::make_unique<ScriptedTransmitter>(
        // Floats with low bytes the three-byte rule would drop, and command 3's warning 8 (update
        // failure), which still carries the reading.
        std::vector<ScriptedTransmitter::Read>{{101.325f, 12.3456f, 0},
                                               {102.0f, 8.5f, 0},
                                               {0.0f, 0.0f, 0x10},
                                               {103.5f, 9.0f, 8},
                                               {104.0f, 9.5f, 0}},
        requests);
  };
  ASSERT_EQ(Run({"read", "--period", "1"}), 0);
  EXPECT_EQ(out.Text(), kHeader +
                            "2026-12-07T14:00:00.400,101.325,[кПа],12.3456,0x00\n"
                            "2026-12-07T14:00:01.400,102,[кПа],8.5,0x00\n"
                            "2026-12-07T14:00:02.400,,,,0x00\n"
                            "2026-12-07T14:00:03.400,103.5,[кПа],9,0x00\n"
                            "2026-12-07T14:00:04.400,104,[кПа],9.5,0x00\n");
  EXPECT_EQ(err.Text(),
            "Показаний: 5, сбоев: 1; давление [кПа]: мин 101.325, макс 104, среднее 102.706; "
            "ток [мА]: мин 8.5, макс 12.3456, среднее 9.8364\n");
  // Addressed as the transmitter identified itself, with its preambles.
  ASSERT_EQ(requests.size(), 6u);
  EXPECT_EQ(requests[0], (Bytes{0x82, 38, 200, 0x0A, 0x1B, 0x2C, 3, 0,
                                static_cast<std::uint8_t>(0x82 ^ 38 ^ 200 ^ 0x0A ^ 0x1B ^ 0x2C ^ 3)}));
}

TEST_F(ReadCommand, NotOneReadingIsAFailureAndAShortDurationStillReadsOnce) {
  struct Case {
    std::vector<const char*> argv;
    std::vector<ScriptedTransmitter::Read> script;
    int status;
    const char* summary;
  };
  const Case cases[] = {
      {{"read", "--count", "2"}, {{0, 0, 0x10}, {0, 0, 0x10}}, 1, "Показаний: 2, сбоев: 2\n"},
      {{"read", "--duration", "0.1", "--period", "2"}, {{5, 4, 0}}, 0, "Показаний: 1, сбоев: 0;"},
  };
  for (const Case& c : cases) {
    std::vector<Bytes> requests;
    seams.makeLink = [&]() -> std::unique_ptr<hart::Link> {
      return std::make_unique<ScriptedTransmitter>(c.script, requests);
    };
    Capture csv;
    Capture summary;
    std::string error;
    const std::optional<ReadArgs> args = Parse(c.argv, error);
    ASSERT_TRUE(args) << error;
    EXPECT_EQ(RunRead(*args, csv.file, summary.file, seams), c.status) << c.summary;
    EXPECT_EQ(summary.Text().rfind(c.summary, 0), 0u) << summary.Text();
  }
}

TEST_F(ReadCommand, FilesAndPortsThatFailAreToldAndNothingIsRead) {
  const std::string dir = ::testing::TempDir() + "k7-no-such-dir/";
  const std::string csv = dir + "x.csv";
  EXPECT_EQ(Run({"read", "--count", "1", "--csv", csv.c_str()}), 1);
  EXPECT_EQ(err.Text(), "Не удалось создать файл CSV: " + csv + "\nНет такого каталога.\n");
  EXPECT_EQ(out.Text(), "");

  Capture portErr;
  const char* argv[] = {"kestrel7", "read", "--port", "/dev/k7-no-such-port", "--count", "1"};
  EXPECT_EQ(RunRead(6, argv, out.file, portErr.file), 1);
  EXPECT_EQ(portErr.Text(), "Последовательный порт /dev/k7-no-such-port не найден.\n");
  EXPECT_EQ(out.Text(), "");

  // A key others may read is refused before anything goes out.
  const std::string key = ::testing::TempDir() + "k7_read.key";
  std::FILE* keyFile = std::fopen(key.c_str(), "w");
  std::fputs("identity=K7-0001\nkey=3CA1075E9912F00D426BC81E7730AB54\n", keyFile);
  std::fclose(keyFile);
  chmod(key.c_str(), 0644);
  Capture keyErr;
  const char* secured[] = {"kestrel7", "read", "--hart-ip", "127.0.0.1:9", "--psk-file", key.c_str()};
  EXPECT_EQ(RunRead(6, secured, out.file, keyErr.file), 1);
  EXPECT_EQ(keyErr.Text(), "Файл ключа HART-IP " + key +
                               " доступен не только владельцу (права 0644): ключ не принят.\nНужны "
                               "права 0600: chmod 600 " + key + "\n");
  EXPECT_EQ(out.Text(), "");
  std::remove(key.c_str());

  Capture usageErr;
  const char* bad[] = {"kestrel7", "read", "--count", "-1"};
  EXPECT_EQ(RunRead(4, bad, out.file, usageErr.file), 2);
  EXPECT_EQ(usageErr.Text().rfind("kestrel7: --count: нужно целое число показаний больше нуля, а не -1\n\n"
                                  "Использование:\n  kestrel7 read ",
                                  0),
            0u);
}

}  // namespace
