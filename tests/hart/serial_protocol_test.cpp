// What goes on the line and how the serial link treats what comes back: the address byte of a
// secondary master, the bounds on preambles and on the reply time-out, communication errors,
// busy transmitters, the device status and the port lock. The tests against the pseudo-terminal
// transmitter run the headless platform in real time; each wait ends as soon as its outcome is in.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "hart/device_status.h"
#include "hart/komendy.h"
#include "hart/serial_link.h"
#include "tests/support/model_answerer.h"
#include "tests/support/probe_dialog.h"
#include "tests/support/fake_link.h"
#include "tests/support/test_transmitter.h"
#include "tests/support/trace_capture.h"
#include "ui/headless/headless_platform.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Events = std::vector<unsigned>;
using Lines = std::vector<std::string>;

std::string Hex(const Bytes& bytes) { return hart::FrameTrace::Hex(bytes); }

Bytes WithChecksum(Bytes frame) {
  frame.push_back(hart::Checksum(frame));
  return frame;
}

using Probe = QuietProbe;
using testhart::RecordOf;

TEST(SecondaryMaster, MasterAndBurstBitsAreClearInEveryRequest) {
  struct Case {
    std::uint8_t given;
    std::uint8_t sent;
  };
  // 0x99 would read as a primary master's request in burst mode; 0x3F is the simulated one's.
  for (const Case c : {Case{0x99, 0x19}, Case{0x3F, 0x3F}, Case{0xC0, 0x00}, Case{0x26, 0x26}}) {
    std::uint8_t out[16];
    ASSERT_EQ(hart::WriteLongFrame(out, {c.given, 1, 12556}, 3, {}), 9);
    EXPECT_EQ(Bytes(out, out + 9), WithChecksum({0x82, c.sent, 0x01, 0x00, 0x31, 0x0C, 3, 0}))
        << int{c.given};
  }
  std::uint8_t poll[5];
  ASSERT_EQ(hart::WriteShortFrame(poll, 0x83, 0), 5);
  EXPECT_EQ(Bytes(poll, poll + 5), WithChecksum({0x02, 0x03, 0x00, 0x00}));

  // A dialog addressing a record of manufacturer 0x99.
  ui::ScopedHeadlessPlatform platform;
  TraceCapture capture;
  TSerialPortSettings settings;
  settings.trace = &capture.trace;
  Probe probe(settings);
  ASSERT_TRUE(probe.CreateModeless());
  TDaneIPPC record;
  record.manufacturerId = 0x99;
  record.deviceType = 1;
  record.deviceId = 12556;
  record.preambles = 5;
  probe.RequestCommand(record, 3, 3);
  const Bytes sent = WithChecksum({0x82, 0x19, 0x01, 0x00, 0x31, 0x0C, 3, 0});
  EXPECT_EQ(Bytes(probe.Request().begin(), probe.Request().end()), sent);
  EXPECT_EQ(capture.Lines(), Lines{"TX " + Hex(sent) + " preambles=5 p1=3 p2=26 long=1"});
}

TEST(DeviceStatus, EachBitHasItsWordsAndEveryReplyItsStatus) {
  struct Case {
    std::uint8_t status;
    const char* text;
  };
  for (const Case c : {
           Case{0x00, ""},
           Case{0x80, "неисправность"},
           Case{0x40, "конфигурация изменена"},
           Case{0x20, "холодный старт"},
           Case{0x10, "есть дополнительный статус"},
           Case{0x08, "ток зафиксирован"},
           Case{0x04, "ток в насыщении"},
           Case{0x02, "непервичная переменная вне пределов"},
           Case{0x01, "первичная переменная вне пределов"},
           Case{0xA1, "неисправность, холодный старт, первичная переменная вне пределов"},
       }) {
    EXPECT_EQ(hart::DeviceStatusText(c.status), c.text) << int{c.status};
  }

  const Bytes shortReply = WithChecksum({0x06, 0x80, 0, 2, 0, 0x24});
  const Bytes longReply = WithChecksum({0x86, 0xA6, 200, 0x0A, 0x1B, 0x2C, 3, 2, 0, 0x40});
  EXPECT_EQ(hart::DeviceStatusOf(shortReply), std::optional<std::uint8_t>(0x24));
  EXPECT_EQ(hart::DeviceStatusOf(longReply), std::optional<std::uint8_t>(0x40));
  EXPECT_EQ(hart::DeviceStatusOf(Bytes(longReply.begin(), longReply.begin() + 9)), std::nullopt);
  EXPECT_EQ(hart::DeviceStatusOf(WithChecksum({0x82, 0x26, 200, 0x0A, 0x1B, 0x2C, 3, 2, 0, 1})),
            std::nullopt);  // a request
  EXPECT_EQ(hart::DeviceStatusOf({}), std::nullopt);

  // A trace with no file writes nothing and still tells whoever listens.
  hart::FrameTrace silent(nullptr);
  std::vector<std::uint8_t> heard;
  silent.SetDeviceStatusListener([&](std::uint8_t status) { heard.push_back(status); });
  silent.Outcome(0, "reply");
  silent.ReplyBytes(shortReply);
  silent.Outcome(10, "status");
  silent.ReplyBytes(longReply, 7);
  silent.Flush();
  EXPECT_EQ(heard, (std::vector<std::uint8_t>{0x24, 0x40}));
}

TEST(FrameTrace, TheOutcomeLineIsWrittenBeforeTheHookShowsAnything) {
  ui::ScopedHeadlessPlatform platform;
  FakeLink link;
  TraceCapture capture;
  TSerialPortSettings settings;
  settings.trace = &capture.trace;
  settings.link = &link;
  Probe probe(settings);
  ASSERT_TRUE(probe.CreateModeless());
  Lines seen;
  probe.during = [&] { seen = capture.Lines(); };

  TDaneIPPC record;
  record.manufacturerId = 0x26;
  record.preambles = 5;
  link.Answer(3, {}, 9);
  probe.RequestCommand(record, 3, 3);
  platform->Advance(FakeLink::kAnswerDelayMs);
  EXPECT_EQ(probe.events, Events{kEvStatusError});
  EXPECT_EQ(seen, Lines{"RX status"});
}

// What the hunt makes of the line's bytes: the reply to a poll of address 0 or to command 3,
// whatever comes ahead of it, and nothing that is not it.
TEST(ReplyScan, TheHuntTakesTheReplyAndPassesOverTheRest) {
  using State = hart::ReplyScan::State;
  const Bytes poll = WithChecksum({0x02, 0x00, 0x00, 0x00});
  const Bytes read = WithChecksum({0x82, 0x26, 200, 0x0A, 0x1B, 0x2C, 3, 0});
  const Bytes pollReply = WithChecksum({0x06, 0x00, 0x00, 0x02, 0x00, 0x00});
  const Bytes readReply = WithChecksum({0x86, 0x66, 200, 0x0A, 0x1B, 0x2C, 3, 3, 0, 0, 0x11});
  const Bytes burst = WithChecksum({0x81, 0x66, 200, 0x0A, 0x1B, 0x2C, 3, 3, 0, 0, 0x11});
  const auto join = [](std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  const Bytes ff{0xFF, 0xFF, 0xFF};
  struct Case {
    const char* what;
    const Bytes& request;
    Bytes received;
    State state;
    std::size_t at;  // of the reply's delimiter
  };
  const Case cases[] = {
      {"the reply", poll, join({ff, pollReply}), State::Complete, 3},
      {"the request heard back first", read, join({ff, read, ff, readReply}), State::Complete, 15},
      {"noise first", read, join({{0x86, 0x06, 0x55}, ff, readReply}), State::Complete, 6},
      {"a burst frame first", read, join({ff, burst, ff, readReply}), State::Complete, 18},
      {"a burst frame alone", read, join({ff, burst}), State::Incomplete, 0},
      {"a reply to the other master", read,
       join({WithChecksum({0x86, 0xA6, 200, 0x0A, 0x1B, 0x2C, 3, 2, 0, 0})}), State::Incomplete, 0},
      {"a reply from address 48", poll, join({WithChecksum({0x06, 0x30, 0x00, 0x02, 0x00, 0x00})}),
       State::Incomplete, 0},
      {"a reply cut short", read, join({ff, Bytes(readReply.begin(), readReply.end() - 1)}),
       State::Incomplete, 0},
      {"a bad checksum", read, join({ff, Bytes(readReply.begin(), readReply.end() - 1), {0}}),
       State::Damaged, 0},
  };
  for (const Case& c : cases) {
    const hart::ReplyScan scan = hart::ScanReply(c.received, c.request, true);
    EXPECT_EQ(scan.state, c.state) << c.what;
    if (c.state == State::Complete) {
      EXPECT_EQ(scan.preambles, c.at) << c.what;
    }
  }
  EXPECT_EQ(hart::ScanReply(join({ff, burst, ff, readReply}), read).bursts.size(), 1u);
}

using Behaviour = testhart::TestTransmitter::Behaviour;

constexpr std::int64_t kLimitMs = 5000;
// Five preambles and a long frame without data, at 1200 baud.
constexpr double kRequestLineMs = 14 * hart::SerialLink::kCharacterMs;

class SerialProtocol : public ::testing::Test {
 protected:
  void SetUp() override {
    platform->SetRealTime(true);
    std::string error;
    link = hart::SerialLink::Open(transmitter.Device(), {}, error);
    ASSERT_NE(link, nullptr) << error;
    settings.link = link.get();
    settings.trace = &capture.trace;
    probe.emplace(settings);
    ASSERT_TRUE(probe->CreateModeless());
  }

  // Command 3 with `attempts`, run until its outcome event.
  Events Exchange(int attempts) {
    transmitter.ClearRequests();
    probe->events.clear();
    probe->RequestCommand(record, 3, attempts);
    platform->RunUntil([&] { return !probe->events.empty(); }, kLimitMs);
    return probe->events;
  }

  // The transmitter's reply to command 3, with the status bytes given and data as in `data`.
  static Bytes Reply3(std::uint8_t code, std::uint8_t status, const Bytes& data = {}) {
    Bytes frame{0x86, 0x26, 200, 0x0A, 0x1B, 0x2C, 3, static_cast<std::uint8_t>(2 + data.size()),
                code, status};
    frame.insert(frame.end(), data.begin(), data.end());
    return WithChecksum(frame);
  }

  ui::ScopedHeadlessPlatform platform;
  testhart::TestTransmitter transmitter;
  TraceCapture capture;
  std::unique_ptr<hart::SerialLink> link;
  TSerialPortSettings settings;
  TDaneIPPC record = RecordOf(transmitter.Model());
  std::optional<Probe> probe;
};

TEST_F(SerialProtocol, ACommunicationErrorIsAFailedAttemptAndTriedAgain) {
  transmitter.SetBehaviour(Behaviour::CommError, 1, 0x08);  // it saw a checksum error
  EXPECT_EQ(Exchange(3), Events{kEvReply});
  EXPECT_EQ(transmitter.Requests().size(), 2u);
  EXPECT_EQ(capture.LinesStarting("RX comm-error"),
            Lines{"RX comm-error " + Hex(Reply3(0x88, 0)) + " preambles=7"});

  transmitter.SetBehaviour(Behaviour::CommError, -1, 0x08);
  EXPECT_EQ(Exchange(3), Events{kEvNoAnswer});
  EXPECT_EQ(transmitter.Requests().size(), 3u);
  EXPECT_EQ(capture.Lines().back(), "RX no-answer");
}

TEST_F(SerialProtocol, BusyIsTriedAgainAfterAPauseUntilTheAttemptsRunOut) {
  // Each attempt holds the line for its request; this transmitter's busy answer takes no time.
  auto takes = [](int attempts) {
    return attempts * kRequestLineMs + (attempts - 1) * hart::SerialLink::kBusyPauseMs;
  };
  transmitter.SetBehaviour(Behaviour::Busy, 1);
  std::int64_t start = platform->NowMs();
  EXPECT_EQ(Exchange(3), Events{kEvReply});
  EXPECT_EQ(transmitter.Requests().size(), 2u);
  EXPECT_GE(static_cast<double>(platform->NowMs() - start), takes(2));

  transmitter.SetBehaviour(Behaviour::Busy);
  start = platform->NowMs();
  EXPECT_EQ(Exchange(3), Events{kEvLineBusy});
  EXPECT_EQ(transmitter.Requests().size(), 3u);
  EXPECT_GE(static_cast<double>(platform->NowMs() - start), takes(3));
  const std::string busy = Hex(Reply3(32, 0)) + " preambles=7";
  EXPECT_EQ(capture.LinesStarting("RX busy"), Lines(3, "RX busy " + busy));
  EXPECT_EQ(capture.Lines().back(), "RX line-busy " + busy);
}

TEST_F(SerialProtocol, AReplyAsLateAsASlaveMayStartIsTakenOnTheFirstAttempt) {
  for (const int lateMs : {257, 260}) {
    transmitter.SetBehaviour(Behaviour::Late, -1, lateMs);
    EXPECT_EQ(Exchange(3), Events{kEvReply}) << lateMs;
    EXPECT_EQ(transmitter.Requests().size(), 1u) << lateMs;
  }
}

TEST_F(SerialProtocol, PreamblesStayWithinWhatHartAllows) {
  struct Case {
    std::uint8_t asked;
    int sent;
  };
  for (const Case c : {Case{0, 5}, Case{7, 7}, Case{255, 20}}) {
    record.preambles = c.asked;
    EXPECT_EQ(Exchange(1), Events{kEvReply}) << int{c.asked};
    EXPECT_EQ(transmitter.RequestPreambles(), std::vector<int>{c.sent}) << int{c.asked};
    const std::string tx = capture.LinesStarting("TX").back();
    EXPECT_EQ(tx.substr(tx.find(" preambles=")), " preambles=" + std::to_string(c.sent) +
                                                     " p1=1 p2=26 long=1");
  }
}

TEST_F(SerialProtocol, DeviceStatusBitsAreNamedUnderTheReplyAndHeardByTheListener) {
  std::vector<std::uint8_t> heard;
  capture.trace.SetDeviceStatusListener([&](std::uint8_t status) { heard.push_back(status); });
  transmitter.SetBehaviour(Behaviour::DeviceStatus, 1, 0x24);
  EXPECT_EQ(Exchange(3), Events{kEvReply});
  EXPECT_EQ(Exchange(3), Events{kEvReply});
  EXPECT_EQ(heard, (std::vector<std::uint8_t>{0x24, 0x00}));

  const Lines lines = capture.Lines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[1].rfind("RX reply 86 26 C8 0A 1B 2C 03 0B 00 24 ", 0), 0u) << lines[1];
  EXPECT_EQ(lines[2], "RX device-status 24: холодный старт, ток в насыщении");
  EXPECT_EQ(lines[3].rfind("TX "), 0u);
  EXPECT_EQ(lines[4].rfind("RX reply "), 0u);
}

TEST(SerialPortLock, ASecondOpenerIsRefusedUntilTheFirstLetsGo) {
  // Root passes TIOCEXCL; the lock stops it all the same.
  testhart::TestTransmitter transmitter;
  std::string error;
  auto first = hart::SerialLink::Open(transmitter.Device(), {}, error);
  ASSERT_NE(first, nullptr) << error;
  EXPECT_EQ(hart::SerialLink::Open(transmitter.Device(), {}, error), nullptr);
  EXPECT_EQ(error, "Последовательный порт " + transmitter.Device() + " занят другой программой.");
  first.reset();
  EXPECT_NE(hart::SerialLink::Open(transmitter.Device(), {}, error), nullptr) << error;
}

}  // namespace
