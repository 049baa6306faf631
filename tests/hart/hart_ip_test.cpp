// The HART-IP link against a server of our own on the loopback interface, over UDP and over TCP.
// These tests run the headless platform in real time: the server answers on its own thread, so
// the event loop waits for it on the wall clock, and each wait ends as soon as its condition
// holds. Time-outs are cut short so that the failure paths take a fraction of a second.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <future>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "hart/hart_ip_key.h"
#include "hart/hart_ip_link.h"
#include "hart/hart_ip_message.h"
#include "hart/komendy.h"
#include "tests/support/probe_dialog.h"
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
namespace hartip = hart::hartip;

// Real milliseconds; every wait below ends long before, as soon as what it waits for happened.
constexpr std::int64_t kLimitMs = 5000;
constexpr int kTimeoutMs = 100;
constexpr int kRetryPauseMs = 150;

std::string Hex(const Bytes& bytes) { return hart::FrameTrace::Hex(bytes); }

Bytes WithChecksum(Bytes frame) {
  frame.push_back(hart::Checksum(frame));
  return frame;
}

// The test transmitter, at the address of the record the requests are built from.
hart::TransmitterModel RecordsTransmitter() {
  hart::TransmitterModel model = testhart::TestModel();
  model.deviceType = UnlikeDefaultsRecord().deviceType;
  return model;
}

TEST(HartIpMessage, HeaderBothWaysAndWhatDoesNotFit) {
  EXPECT_EQ(hartip::Encode(hartip::kRequest, hartip::kPassThrough, 0x1234, Bytes{0x82, 0x01}),
            (Bytes{1, 0, 3, 0, 0x12, 0x34, 0, 10, 0x82, 0x01}));
  EXPECT_EQ(hartip::Encode(hartip::kNak, hartip::kKeepAlive, 0xFFFE, {}, 9),
            (Bytes{1, 15, 2, 9, 0xFF, 0xFE, 0, 8}));
  const Bytes raw{1, 15, 3, 9, 0xAB, 0xCD, 0x01, 0x02};
  const hartip::Header header = hartip::DecodeHeader(std::span<const std::uint8_t, 8>(raw.data(), 8));
  EXPECT_EQ(header, (hartip::Header{1, 15, 3, 9, 0xABCD, 0x0102}));
  const auto encoded = hartip::EncodeHeader(header);
  EXPECT_EQ(Bytes(encoded.begin(), encoded.end()), raw);

  using State = hartip::Parsed::State;
  const Bytes keepAlive{1, 1, 2, 0, 0, 7, 0, 8};
  const Bytes twelve{1, 1, 3, 0, 0, 7, 0, 12, 0x86, 1, 2, 3};
  struct Case {
    const char* what;
    Bytes bytes;
    State stream;
    State datagram;
  };
  const Case cases[] = {
      {"nothing", {}, State::Incomplete, State::Unfit},
      {"seven bytes", {1, 1, 2, 0, 0, 7, 0}, State::Incomplete, State::Unfit},
      {"a header alone", keepAlive, State::Complete, State::Complete},
      {"a body", twelve, State::Complete, State::Complete},
      {"a body short of its count", {1, 1, 3, 0, 0, 7, 0, 12, 0x86}, State::Incomplete, State::Unfit},
      {"a byte past its count", {1, 1, 2, 0, 0, 7, 0, 8, 0}, State::Complete, State::Unfit},
      {"version 2", {2, 1, 2, 0, 0, 7, 0, 8}, State::Unfit, State::Unfit},
      {"version 0", {0, 1, 2, 0, 0, 7, 0, 8}, State::Unfit, State::Unfit},
      {"a count short of the header", {1, 1, 2, 0, 0, 7, 0, 7}, State::Unfit, State::Unfit},
      {"a count past any message", {1, 1, 3, 0, 0, 7, 0x04, 0x01}, State::Unfit, State::Unfit},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(hartip::ParseStream(c.bytes).state, c.stream) << c.what;
    EXPECT_EQ(hartip::ParseDatagram(c.bytes).state, c.datagram) << c.what;
  }
  Bytes stream = twelve;
  stream.insert(stream.end(), keepAlive.begin(), keepAlive.end());
  const hartip::Parsed first = hartip::ParseStream(stream);
  ASSERT_EQ(first.state, State::Complete);
  EXPECT_EQ(first.size, 12u);
  EXPECT_EQ(Bytes(first.body.begin(), first.body.end()), (Bytes{0x86, 1, 2, 3}));
  EXPECT_EQ(Bytes(first.whole.begin(), first.whole.end()), twelve);
  EXPECT_EQ(hartip::ParseStream(std::span(stream).subspan(12)).header.id, hartip::kKeepAlive);

  const auto body = hartip::InitiateBody({hartip::kSecondaryMaster, 60000});
  EXPECT_EQ(Bytes(body.begin(), body.end()), (Bytes{0, 0, 0, 0xEA, 0x60}));
  const auto read = hartip::ReadInitiateBody(Bytes{1, 0x12, 0x34, 0x56, 0x78});
  ASSERT_TRUE(read);
  EXPECT_EQ(read->masterType, 1);
  EXPECT_EQ(read->inactivityMs, 0x12345678u);
  EXPECT_FALSE(hartip::ReadInitiateBody(Bytes{0, 0, 0, 0xEA}));
}

TEST(HartIpMessage, OnlyTheResponseOfTheAwaitedRequestAnswersIt) {
  using V = hartip::Verdict;
  // Awaited: the pass-through request sent under sequence number 7.
  struct Case {
    const char* what;
    hartip::Header header;
    Bytes body;
    V verdict;
    bool closes;
  };
  const Case cases[] = {
      {"the response", {1, 1, 3, 0, 7, 20}, {}, V::Answer, false},
      {"the response with a status", {1, 1, 3, 6, 7, 8}, {}, V::Answer, false},
      {"another sequence number", {1, 1, 3, 0, 6, 20}, {}, V::Unrelated, false},
      {"another message id", {1, 1, 2, 0, 7, 8}, {}, V::Unrelated, false},
      {"a NAK", {1, 15, 3, 0, 7, 8}, {}, V::Refusal, false},
      {"an error", {1, 3, 3, 0, 7, 9}, {2}, V::Refusal, false},
      {"an error: session closed", {1, 3, 3, 0, 7, 9}, {0}, V::Refusal, true},
      {"an error for another request", {1, 3, 3, 0, 8, 9}, {0}, V::Unrelated, true},
      {"a publication", {1, 2, 3, 0, 7, 20}, {}, V::Unrelated, false},
      {"the server's Session Close", {1, 0, 1, 0, 7, 8}, {}, V::Unrelated, true},
      {"the server's keep-alive", {1, 0, 2, 0, 7, 8}, {}, V::Unrelated, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(hartip::Judge(c.header, hartip::kPassThrough, 7), c.verdict) << c.what;
    EXPECT_EQ(hartip::ClosesSession(c.header, c.body), c.closes) << c.what;
  }
}

TEST(HartIpMessage, EachSessionStatusOpensOrIsSaidInRussian) {
  using Status = hartip::SessionStatus;
  const std::string server = "10.1.2.3:5094";
  const std::string kKeyNeeded =
      "\nОн настроен на защищённый сеанс (HART-IP версии 2): нужен ключ HART-IP (--psk-file).";
  struct Case {
    std::uint8_t status;
    Status judged;
    std::string text;
  };
  const Case cases[] = {
      {0, Status::Open, ""},
      {8, Status::Open, ""},
      {16, Status::Open, ""},
      {2, Status::Refused, "Узел HART-IP 10.1.2.3:5094 не принимает первичного мастера."},
      {5, Status::Refused, "Узел HART-IP 10.1.2.3:5094 не понял запрос сеанса: мало байтов данных."},
      {6, Status::Refused, "Узел HART-IP 10.1.2.3:5094 отказал в сеансе: ошибка устройства."},
      {14, Status::Refused,
       "Узел HART-IP 10.1.2.3:5094 не поддерживает версию 1 протокола HART-IP." + kKeyNeeded},
      {9, Status::Refused, "Узел HART-IP 10.1.2.3:5094 не открыл сеанс без ключа." + kKeyNeeded},
      {15, Status::Refused,
       "Узел HART-IP 10.1.2.3:5094: все сеансы заняты.\nЗакрой связь с ним в другой программе или "
       "подожди."},
      {1, Status::Refused, "Узел HART-IP 10.1.2.3:5094 отказал в сеансе (статус 1)."},
      {255, Status::Refused, "Узел HART-IP 10.1.2.3:5094 отказал в сеансе (статус 255)."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(hartip::JudgeSessionStatus(c.status), c.judged) << int{c.status};
    if (c.judged == Status::Refused) {
      EXPECT_EQ(hartip::RefusalText(c.status, server), c.text);
    }
  }
}

TEST(HartIpAddress, HostAndPortAsTheOperatorWritesThem) {
  struct Case {
    const char* text;
    const char* host;  // null: not an address
    std::uint16_t port;
  };
  const Case cases[] = {
      {"10.0.0.5", "10.0.0.5", 5094},
      {"10.0.0.5:20004", "10.0.0.5", 20004},
      {"gateway.plant:1", "gateway.plant", 1},
      {"localhost:65535", "localhost", 65535},
      {"[::1]:5095", "::1", 5095},
      {"[fe80::1]", "fe80::1", 5094},
      {"fe80::1", "fe80::1", 5094},
      {"", nullptr, 0},
      {":5094", nullptr, 0},
      {"host:", nullptr, 0},
      {"host:0", nullptr, 0},
      {"host:65536", nullptr, 0},
      {"host:12a", nullptr, 0},
      {"host:-1", nullptr, 0},
      {"[::1", nullptr, 0},
      {"[::1]5094", nullptr, 0},
      {"[]:5094", nullptr, 0},
      {"two words", nullptr, 0},
  };
  for (const Case& c : cases) {
    const auto parsed = hart::ParseHartIpAddress(c.text);
    if (c.host == nullptr) {
      EXPECT_FALSE(parsed) << c.text;
      continue;
    }
    ASSERT_TRUE(parsed) << c.text;
    EXPECT_EQ(parsed->host, c.host) << c.text;
    EXPECT_EQ(parsed->port, c.port) << c.text;
  }

  std::string error;
  EXPECT_EQ(hart::HartIpLink::Open("host:0", {}, error), nullptr);
  EXPECT_EQ(error,
            "Неверный адрес узла HART-IP: host:0\nНужно УЗЕЛ или УЗЕЛ:ПОРТ, порт от 1 до 65535.");
  const auto v6 = hart::HartIpLink::Open("[::1]", {}, error);
  ASSERT_NE(v6, nullptr);
  EXPECT_EQ(v6->Server(), "[::1]:5094");
  EXPECT_TRUE(error.empty());
  // Numbers and localhost need no resolver; a name waits for the first request.
  EXPECT_TRUE(hart::ResolveLiteral("LocalHost", 5094));
  EXPECT_TRUE(hart::ResolveLiteral("::1", 5094));
  EXPECT_FALSE(hart::ResolveLiteral("gateway.plant", 5094));
}

using Probe = QuietProbe;

std::string PrintTransport(const ::testing::TestParamInfo<Transport>& info) {
  return info.param == Transport::Udp ? "Udp" : "Tcp";
}

class HartIp : public ::testing::TestWithParam<Transport> {
 protected:
  HartIp()
      : server(GetParam(), [this](const Bytes& request) {
          Bytes reply = transmitter.Answer(request);
          if (!reply.empty() && spoil > 0) {
            --spoil;
            reply.back() ^= 0x55;
          }
          return reply;
        }) {
    platform->SetRealTime(true);
  }

  hart::HartIpOptions Options() const {
    hart::HartIpOptions options;
    options.tcp = GetParam() == Transport::Tcp;
    options.replyTimeoutMs = kTimeoutMs;
    options.retryPauseMs = kRetryPauseMs;
    return options;
  }
  std::unique_ptr<hart::HartIpLink> Open(const hart::HartIpOptions& options,
                                         const std::string& address = "") {
    std::string error;
    auto link = hart::HartIpLink::Open(address.empty() ? server.Address() : address, options, error);
    EXPECT_NE(link, nullptr) << error;
    return link;
  }
  TSerialPortSettings Settings(hart::Link* link) { return {{}, &capture.trace, link}; }
  // One request of command 3, run until its event.
  void Run(Probe& probe, int attempts = 3) {
    probe.events.clear();
    probe.RequestCommand(record, 3, attempts);
    platform->RunUntil([&] { return !probe.events.empty(); }, kLimitMs);
  }
  // From the primary master, as the session was opened, and answered to it.
  Bytes Request3() const {
    return WithChecksum({0x82, 0xA6, 0x03, 0x0A, 0x1B, 0x2C, 3, 0});
  }
  Bytes Reply3() const {
    return WithChecksum({0x86, 0xA6, 0x03, 0x0A, 0x1B, 0x2C, 3, 11, 0, 0, 0x41, 0x08, 0x00, 0x00,
                         12, 0x42, 0xF6, 0x80, 0x00});
  }
  std::vector<std::string> Boxes() {
    std::vector<std::string> texts;
    for (const auto& box : platform->MessageBoxes()) texts.push_back(box.text);
    return texts;
  }

  ui::ScopedHeadlessPlatform platform;
  const TDaneIPPC record = UnlikeDefaultsRecord();
  ModelAnswerer transmitter{RecordsTransmitter()};
  std::atomic<int> spoil{0};
  HartIpServer server;
  TraceCapture capture;
};

INSTANTIATE_TEST_SUITE_P(BothTransports, HartIp, ::testing::Values(Transport::Udp, Transport::Tcp),
                         PrintTransport);

TEST_P(HartIp, ARequestGoesThroughASessionAndTheReplyComesBackAsItCame) {
  auto link = Open(Options());
  Probe probe(Settings(link.get()));
  ASSERT_TRUE(probe.CreateModeless());
  const std::int64_t start = platform->NowMs();
  Run(probe);
  // Handed on as soon as it came, not held to the simulated transmitter's pace.
  EXPECT_LT(platform->NowMs() - start, THartProtokol::kReplyDelayMs / 2);
  EXPECT_EQ(probe.events, (std::vector<unsigned>{kEvReply}));
  const Bytes reply = Reply3();
  const auto area = probe.Reply();
  EXPECT_EQ(Bytes(area.begin(), area.begin() + static_cast<std::ptrdiff_t>(reply.size())), reply);
  EXPECT_TRUE(std::all_of(area.begin() + static_cast<std::ptrdiff_t>(reply.size()), area.end(),
                          [](std::uint8_t b) { return b == 0; }));
  EXPECT_TRUE(link->SessionOpen());

  // A session as the primary master with a minute's inactivity timer, then the frame as it was
  // built, without preambles, under the next sequence number.
  auto messages = server.Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].id, hartip::kSessionInitiate);
  EXPECT_EQ(messages[0].type, hartip::kRequest);
  EXPECT_EQ(messages[0].version, 1);
  EXPECT_EQ(messages[0].body, (Bytes{1, 0, 0, 0xEA, 0x60}));
  EXPECT_EQ(messages[1].id, hartip::kPassThrough);
  EXPECT_EQ(messages[1].body, Request3());
  EXPECT_EQ(messages[1].sequence, messages[0].sequence + 1);

  const auto lines = capture.Lines();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "HART-IP TX version=1 type=0 id=0 status=0 seq=1 length=13 data=01 00 00 EA 60");
  EXPECT_EQ(lines[1], "HART-IP RX version=1 type=1 id=0 status=0 seq=1 length=13 data=01 00 00 EA 60");
  EXPECT_EQ(lines[2], "HART-IP TX version=1 type=0 id=3 status=0 seq=2 length=17");
  EXPECT_EQ(lines[3], "TX " + Hex(Request3()) + " preambles=0 p1=3 p2=26 long=1");
  EXPECT_EQ(lines[4], "HART-IP RX version=1 type=1 id=3 status=0 seq=2 length=28");
  EXPECT_EQ(lines[5], "RX reply " + Hex(reply) + " preambles=0");

  // The session stays: a poll of address 7 in a short frame, then a long frame addressed as a
  // HART 7 device is (expanded device type 0xE4A7 without its top two bits), each with the
  // primary master bit. HART 7's command 6 carries the loop current mode after the address.
  hart::TransmitterModel hart7 = testhart::TestModel(7);
  hart7.pollingAddress = 7;
  transmitter.SetModel(hart7);
  server.Clear();
  probe.events.clear();
  probe.RequestPoll(record, 7, 3);
  platform->RunUntil([&] { return !probe.events.empty(); }, kLimitMs);
  EXPECT_EQ(probe.events, (std::vector<unsigned>{kEvReply}));
  EXPECT_EQ(probe.Reply()[0], 0x06);
  EXPECT_EQ(probe.Reply()[1], 0x87);
  EXPECT_EQ(probe.Reply()[17], 0x2C);
  const Bytes data{5, 1};
  probe.events.clear();
  probe.IssueLong({0x24, 0xA7, 0x0A1B2C}, 6, data, 5, 3);
  probe.StartReplyTimer();
  platform->RunUntil([&] { return !probe.events.empty(); }, kLimitMs);
  EXPECT_EQ(probe.events, (std::vector<unsigned>{kEvReply}));
  messages = server.Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].body, WithChecksum({0x02, 0x87, 0, 0}));
  EXPECT_EQ(messages[1].body, WithChecksum({0x82, 0xA4, 0xA7, 0x0A, 0x1B, 0x2C, 6, 2, 5, 1}));
  EXPECT_EQ(messages[1].sequence, messages[0].sequence + 1);
  EXPECT_EQ(probe.Reply()[1], 0xA4);
  EXPECT_EQ(probe.Reply()[10], 5);
  EXPECT_EQ(transmitter.Model().pollingAddress, 5);
  EXPECT_TRUE(platform->MessageBoxes().empty());
}

TEST_P(HartIp, EachFailureEndsInItsEventAfterItsAttempts) {
  auto link = Open(Options());
  Probe probe(Settings(link.get()));
  ASSERT_TRUE(probe.CreateModeless());
  Run(probe);
  ASSERT_EQ(probe.events, (std::vector<unsigned>{kEvReply}));

  struct Case {
    const char* what;
    Behaviour behaviour;
    int count;
    int spoilt;
    std::uint8_t responseCode;
    unsigned event;
    std::size_t frames;     // pass-through requests the server saw
    std::size_t initiates;  // sessions it was asked for
  };
  const Case cases[] = {
      {"an answer", Behaviour::Answer, -1, 0, 0, kEvReply, 1, 0},
      {"busy: no second attempt", Behaviour::Answer, -1, 0, 32, kEvLineBusy, 1, 0},
      {"a response code", Behaviour::Answer, -1, 0, 9, kEvStatusError, 1, 0},
      {"another sequence number each time", Behaviour::WrongSequence, -1, 0, 0, kEvNoAnswer, 3, 0},
      {"another sequence number once", Behaviour::WrongSequence, 1, 0, 0, kEvReply, 2, 0},
      {"a NAK each time", Behaviour::Nak, -1, 0, 0, kEvNoAnswer, 3, 0},
      {"a NAK once", Behaviour::Nak, 1, 0, 0, kEvReply, 2, 0},
      {"an error message each time", Behaviour::Error, -1, 0, 0, kEvNoAnswer, 3, 0},
      {"a header of version 2 once", Behaviour::Unfit, 1, 0, 0, kEvReply, 2,
       GetParam() == Transport::Tcp ? 1u : 0u},
      {"a damaged frame once", Behaviour::Answer, -1, 1, 0, kEvReply, 2, 0},
      {"a damaged frame each time", Behaviour::Answer, -1, 3, 0, kEvNoAnswer, 3, 0},
      {"the session dropped", Behaviour::DropSession, 1, 0, 0, kEvReply, 2, 1},
  };
  for (const Case& c : cases) {
    server.Clear();
    server.SetBehaviour(c.behaviour, c.count);
    spoil = c.spoilt;
    transmitter.SetRefusal(c.responseCode);
    Run(probe);
    EXPECT_EQ(probe.events, (std::vector<unsigned>{c.event})) << c.what;
    EXPECT_EQ(server.Frames().size(), c.frames) << c.what;
    EXPECT_EQ(server.Messages(hartip::kSessionInitiate).size(), c.initiates) << c.what;
    for (const Bytes& frame : server.Frames()) EXPECT_EQ(frame, Request3()) << c.what;
    if (c.event == kEvReply) {
      EXPECT_EQ(probe.Reply()[hart::kReplyData + 4], 12) << c.what;
    }
    if (c.event == kEvStatusError) {
      EXPECT_EQ(probe.Reply()[hart::kReplyResponseCode], c.responseCode);
      EXPECT_EQ(capture.Lines().back(),
                "RX status " + Hex(WithChecksum({0x86, 0xA6, 0x03, 0x0A, 0x1B, 0x2C, 3, 2, 9, 0})) +
                    " preambles=0");
    }
    server.SetBehaviour(Behaviour::Answer);
  }
  // None of these says more than the dialog's own message would.
  EXPECT_TRUE(platform->MessageBoxes().empty());
  EXPECT_EQ(capture.Count("HART-IP RX version=2 "), 1u);
  EXPECT_EQ(capture.Count("HART-IP RX version=1 type=15 id=3 "), 4u);
}

TEST_P(HartIp, AServerThatFallsSilentIsSaidOnceAndNothingWaitsLonger) {
  auto link = Open(Options());
  Probe probe(Settings(link.get()));
  ASSERT_TRUE(probe.CreateModeless());
  Run(probe);
  ASSERT_EQ(probe.events, (std::vector<unsigned>{kEvReply}));

  // Silence to the request: each later attempt opens the session anew, and as no session can be
  // had the server is said not to answer. The three attempts take their three time-outs.
  server.Clear();
  server.SetBehaviour(Behaviour::Silent);
  const std::int64_t start = platform->NowMs();
  Run(probe);
  const std::int64_t took = platform->NowMs() - start;
  EXPECT_EQ(probe.events, (std::vector<unsigned>{kEvNoAnswer}));
  EXPECT_GE(took, 3 * kTimeoutMs);
  EXPECT_LT(took, 3 * kTimeoutMs + 200);
  EXPECT_EQ(server.Frames().size(), 1u);
  EXPECT_EQ(server.Messages(hartip::kSessionInitiate).size(), 2u);
  EXPECT_EQ(Boxes(), (std::vector<std::string>{"Узел HART-IP " + server.Address() + " не отвечает."}));
  EXPECT_EQ(platform->MessageBoxes()[0].flags, ui::kMbOk | ui::kMbIconStop);
  EXPECT_EQ(platform->MessageBoxes()[0].caption, "");

  // For a while every request fails at once without a word on the network.
  server.Clear();
  Run(probe);
  EXPECT_EQ(probe.events, (std::vector<unsigned>{kEvNoAnswer}));
  EXPECT_TRUE(server.Messages().empty());
  // Then it is tried again; said once is enough.
  platform->Advance(kRetryPauseMs);
  Run(probe, 1);
  EXPECT_EQ(probe.events, (std::vector<unsigned>{kEvNoAnswer}));
  EXPECT_EQ(server.Messages(hartip::kSessionInitiate).size(), 1u);
  EXPECT_EQ(platform->MessageBoxes().size(), 1u);
  // Back: the session opens and the request goes through.
  server.SetBehaviour(Behaviour::Answer);
  platform->Advance(kRetryPauseMs);
  Run(probe);
  EXPECT_EQ(probe.events, (std::vector<unsigned>{kEvReply}));
  EXPECT_EQ(platform->MessageBoxes().size(), 1u);
}

TEST_P(HartIp, ARefusedSessionIsSaidWithItsStatus) {
  struct Case {
    std::uint8_t status;
    std::string says;
  };
  const Case cases[] = {
      {15, ": все сеансы заняты.\nЗакрой связь с ним в другой программе или подожди."},
      {14, " не поддерживает версию 1 протокола HART-IP.\nОн настроен на защищённый сеанс (HART-IP "
           "версии 2): нужен ключ HART-IP (--psk-file)."},
      {2, " не принимает первичного мастера."},
  };
  for (const Case& c : cases) {
    platform->ClearMessageBoxes();
    server.Clear();
    server.SetBehaviour(Behaviour::RefuseSession, -1, c.status);
    auto link = Open(Options());
    Probe probe(Settings(link.get()));
    ASSERT_TRUE(probe.CreateModeless());
    Run(probe);
    EXPECT_EQ(probe.events, (std::vector<unsigned>{kEvNoAnswer}));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"Узел HART-IP " + server.Address() + c.says}));
    // Refused is final: no second attempt, and nothing was passed through.
    EXPECT_EQ(server.Messages().size(), 1u);
    EXPECT_FALSE(link->SessionOpen());
  }
}

TEST_P(HartIp, NothingListeningIsARefusedConnection) {
  std::string address;
  {
    HartIpServer gone(GetParam(), transmitter.Function());
    address = gone.Address();
  }
  auto link = Open(Options(), address);
  Probe probe(Settings(link.get()));
  ASSERT_TRUE(probe.CreateModeless());
  Run(probe);
  EXPECT_EQ(probe.events, (std::vector<unsigned>{kEvNoAnswer}));
  EXPECT_EQ(Boxes(), (std::vector<std::string>{"Узел HART-IP " + address + " отказал в соединении."}));
}

TEST_P(HartIp, KeptAliveWhileQuietOpenedAnewAfterALongSilenceAndClosedAtTheEnd) {
  // The server keeps a session only a second however long it was asked for: its word counts.
  server.SetInactivityLimit(1000);
  auto link = Open(Options());
  {
    Probe probe(Settings(link.get()));
    ASSERT_TRUE(probe.CreateModeless());
    Run(probe);
    ASSERT_EQ(probe.events, (std::vector<unsigned>{kEvReply}));
    EXPECT_EQ(link->InactivityMs(), 1000u);
    EXPECT_EQ(server.Messages(hartip::kSessionInitiate)[0].body, (Bytes{1, 0, 0, 0xEA, 0x60}));
    server.Clear();
    platform->Advance(1100);
    const auto keepAlives = server.Messages(hartip::kKeepAlive);
    EXPECT_GE(keepAlives.size(), 2u);
    EXPECT_LE(keepAlives.size(), 3u);
    for (std::size_t i = 1; i < keepAlives.size(); ++i) {
      EXPECT_GE(keepAlives[i].atMs - keepAlives[i - 1].atMs, 450);
    }
    EXPECT_EQ(server.Messages().size(), keepAlives.size());
    EXPECT_EQ(server.OpenSessions(), 1u);
    Run(probe);
    EXPECT_EQ(probe.events, (std::vector<unsigned>{kEvReply}));
    EXPECT_TRUE(server.Messages(hartip::kSessionInitiate).empty());
  }
  // With no dialog nothing keeps the session alive: the next request opens a new one.
  server.Clear();
  platform->SetRealTime(false);
  platform->Advance(1100);
  platform->SetRealTime(true);
  {
    Probe probe(Settings(link.get()));
    ASSERT_TRUE(probe.CreateModeless());
    Run(probe);
    EXPECT_EQ(probe.events, (std::vector<unsigned>{kEvReply}));
    const auto messages = server.Messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].id, hartip::kSessionClose);
    EXPECT_EQ(messages[1].id, hartip::kSessionInitiate);
    EXPECT_EQ(messages[2].id, hartip::kPassThrough);
  }
  server.Clear();
  link.reset();
  platform->Advance(50);
  const auto messages = server.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].id, hartip::kSessionClose);
  EXPECT_EQ(messages[0].type, hartip::kRequest);
  EXPECT_EQ(server.OpenSessions(), 0u);
}

TEST_P(HartIp, AHostilePeerCostsBoundedWorkAndIsSaidOnce) {
  struct Case {
    const char* what;
    Behaviour behaviour;
    const char* traced;  // the link's note in the trace
    bool said;           // the operator is told, once
  };
  const Case cases[] = {
      // Thousands of publications ahead of each reply: the session is given up and opened anew.
      {"a flood", Behaviour::Flood,
       "HART-IP more than 1000 unasked messages in a second: session closed", true},
      // Without the bound, a keep-alive every millisecond.
      {"a 1 ms inactivity timer", Behaviour::TinyTimer,
       "HART-IP inactivity timer 1 ms taken as 1000 ms", false},
  };
  for (const Case& c : cases) {
    // A datagram flood is mostly lost in the host's own queue: only a stream is sure to carry it.
    if (c.behaviour == Behaviour::Flood && GetParam() == Transport::Udp) continue;
    platform->ClearMessageBoxes();
    server.SetBehaviour(c.behaviour, 1);
    auto link = Open(Options());
    Probe probe(Settings(link.get()));
    ASSERT_TRUE(probe.CreateModeless());
    Run(probe);
    EXPECT_EQ(probe.events, (std::vector<unsigned>{kEvReply})) << c.what;
    EXPECT_EQ(capture.Count(c.traced), 1u) << c.what;
    const std::string flood = "Узел HART-IP " + server.Address() +
                              " шлёт сообщения без запроса чаще, чем шлёт любой шлюз.\nСеанс с "
                              "ним закрыт.";
    EXPECT_EQ(Boxes(), c.said ? std::vector<std::string>{flood} : std::vector<std::string>{})
        << c.what;
    server.Clear();
    platform->Advance(300);
    EXPECT_TRUE(server.Messages(hartip::kKeepAlive).empty()) << c.what;
  }
}

TEST_P(HartIp, AForgottenDialogHearsNothingAndTheNextRequestIsAnsweredForItself) {
  // Replies come late, so that each is still to come when the test acts.
  server.SetReplyDelay(100);
  hart::HartIpOptions options = Options();
  options.replyTimeoutMs = 1000;
  auto link = Open(options);
  Probe first(Settings(link.get()));
  ASSERT_TRUE(first.CreateModeless());
  first.RequestCommand(record, 3, 3);
  platform->RunUntil([&] { return server.Frames().size() == 1; }, kLimitMs);
  first.EndDialog(0);
  platform->Advance(120);
  EXPECT_TRUE(first.events.empty());

  // A request replaced by another before its answer: one event, for the later one.
  Probe second(Settings(link.get()));
  ASSERT_TRUE(second.CreateModeless());
  second.RequestCommand(record, 3, 3);
  platform->RunUntil([&] { return server.Frames().size() == 2; }, kLimitMs);
  second.RequestCommand(record, 13, 3);
  platform->RunUntil([&] { return !second.events.empty(); }, kLimitMs);
  platform->Advance(120);
  EXPECT_EQ(server.Frames().size(), 3u);
  EXPECT_EQ(second.events, (std::vector<unsigned>{kEvReply}));
  EXPECT_EQ(second.Reply()[6], 13);
  EXPECT_EQ(second.Reply()[hart::kReplyData + 20], transmitter.Model().year);
}

hart::HartIpKey Key(const char* identity, Bytes bytes) {
  hart::HartIpKey key;
  key.identity = identity;
  key.key = std::move(bytes);
  return key;
}

TEST_P(HartIp, ASecuredSessionTakesTheServersKeyAndNeverLess) {
  const Bytes slot{0x3C, 0xA1, 0x07, 0x5E, 0x99, 0x12, 0xF0, 0x0D,
                   0x42, 0x6B, 0xC8, 0x1E, 0x77, 0x30, 0xAB, 0x54};
  Bytes wrong = slot;
  wrong.back() ^= 1;
  const bool tcp = GetParam() == Transport::Tcp;
  struct Case {
    const char* what;
    int provisioned;  // for version 2, with the key slot K7-0001 = slot; 2: and a certificate
    std::optional<hart::HartIpKey> key;
    std::string says;  // the operator is told; empty: the reply came
  };
  const std::string refused = " не принял ключ HART-IP (идентификатор ";
  const Case cases[] = {
      {"the right key", 1, Key("K7-0001", slot), ""},
      {"a wrong key", 1, Key("K7-0001", wrong), refused + "K7-0001): защищённый сеанс не открыт."},
      {"a wrong identity", 1, Key("K7-0002", slot),
       refused + "K7-0002): защищённый сеанс не открыт."},
      {"no key to a server of version 2", 1, std::nullopt,
       " не открыл сеанс без ключа.\nОн настроен на защищённый сеанс (HART-IP версии 2): нужен "
       "ключ HART-IP (--psk-file)."},
      // TLS 1.3 lets the server prove itself with a certificate instead; never taken. Over DTLS
      // 1.2 the client offers no cipher suite that a certificate could serve.
      {"a certificate", 2, Key("K7-0009", slot),
       tcp ? " предъявил сертификат вместо общего ключа: такой сеанс не поддерживается."
           : refused + "K7-0009): защищённый сеанс не открыт."},
      {"a key to a server of version 1", 0, Key("K7-0001", slot),
       " отвечает только по версии 1 протокола HART-IP, без защиты: с ключом сеанс с ним не "
       "открыт."},
  };
  for (const Case& c : cases) {
    platform->ClearMessageBoxes();
    HartIpServer secured(GetParam(), transmitter.Function());
    if (c.provisioned) secured.SetKey("K7-0001", slot);
    if (c.provisioned == 2) secured.SetCertificate();
    hart::HartIpOptions options = Options();
    // A datagram of the handshake that fails its check is dropped unanswered: the time-out ends it.
    options.replyTimeoutMs = 400;
    options.key = c.key;
    auto link = Open(options, secured.Address());
    Probe probe(Settings(link.get()));
    ASSERT_TRUE(probe.CreateModeless());
    Run(probe);
    if (!c.says.empty()) {
      EXPECT_EQ(probe.events, (std::vector<unsigned>{kEvNoAnswer})) << c.what;
      EXPECT_EQ(Boxes(), (std::vector<std::string>{"Узел HART-IP " + secured.Address() + c.says}));
      EXPECT_TRUE(secured.Frames().empty()) << c.what;
      continue;
    }

    // Twice through one session, every message of version 2, the key never in the trace.
    Run(probe);
    EXPECT_EQ(probe.events, (std::vector<unsigned>{kEvReply})) << c.what;
    EXPECT_EQ(secured.Frames(), (std::vector<Bytes>{Request3(), Request3()}));
    EXPECT_EQ(secured.Messages(hartip::kSessionInitiate).size(), 1u);
    for (const auto& m : secured.Messages()) EXPECT_EQ(m.version, 2) << c.what;
    EXPECT_EQ(capture.Count(tcp ? "HART-IP TLS 1.3 PSK, identity K7-0001 (TLS_AES_128_GCM_SHA256)"
                                : "HART-IP DTLS 1.2 PSK, identity K7-0001 (PSK-AES128-GCM-SHA256)"),
              1u);
    for (const std::string& line : capture.Lines()) {
      EXPECT_EQ(line.find(Hex(Bytes(slot.begin(), slot.begin() + 4))), std::string::npos) << line;
    }
  }
}

TEST(HartIpKeyFile, OnlyTheUsersOwnUnreadableFileWithAKeyIsTaken) {
  const std::string path = ::testing::TempDir() + "k7_hart_ip.key";
  const std::string good = "# gateway 1\nidentity=K7-0001\nkey=3C A1 07 5E 99 12 F0 0D 42 6B C8 1E 77 30 AB 54\n";
  const std::string file = "Файл ключа HART-IP " + path;
  const std::string lines = "identity=ИДЕНТИФИКАТОР и key=КЛЮЧ.";
  const std::vector<std::tuple<mode_t, std::string, std::string>> cases{
      {0600, good, ""},
      {0640, good, file + " доступен не только владельцу (права 0640): ключ не принят.\nНужны права "
                          "0600: chmod 600 " + path},
      {0600, "identity=K7-0001\n", file + ": нужны строки " + lines},
      {0600, "identity=K7-0001\nkey=3CA1075E\n",
       file + ": Ключ HART-IP — от 16 до 64 байтов шестнадцатеричными цифрами, по две на байт."},
      {0600, good + "password=3CA1075E\n", file + ": непонятная строка 4.\nНужны строки " + lines},
  };
  for (const auto& [mode, text, expected] : cases) {
    std::remove(path.c_str());
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fputs(text.c_str(), f);
    std::fclose(f);
    ::chmod(path.c_str(), mode);
    std::string error;
    auto key = hart::LoadHartIpKey(path, error);
    EXPECT_EQ(error, expected);
    if (!key) continue;
    // Saved again, it is read back the same and readable by its owner alone.
    ::chmod(path.c_str(), 0644);
    ASSERT_TRUE(hart::SaveHartIpKey(path, *key, error)) << error;
    const auto again = hart::LoadHartIpKey(path, error);
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(again->identity, "K7-0001");
    EXPECT_EQ(Hex(again->key), "3C A1 07 5E 99 12 F0 0D 42 6B C8 1E 77 30 AB 54");
  }
  std::remove(path.c_str());
}

// A window that notes when its timer fires.
class TimerProbe : public ui::Window {
 public:
  TimerProbe() : ui::Window(nullptr) {}
  int fired = 0;

 protected:
  void OnTimer(int) override { ++fired; }
};

TEST(HartIpName, IsLookedUpOffTheWindowsThreadAndAFailureIsSaid) {
  ui::ScopedHeadlessPlatform platform;
  platform->SetRealTime(true);
  ModelAnswerer transmitter(RecordsTransmitter());
  HartIpServer server(Transport::Udp, transmitter.Function());
  const TDaneIPPC record = UnlikeDefaultsRecord();

  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<int> lookups{0};
  hart::HartIpOptions options;
  options.replyTimeoutMs = kTimeoutMs;
  options.resolver = [&, released](const std::string& host, std::uint16_t port, bool tcp) {
    ++lookups;
    released.wait();
    hart::ResolvedAddress found;
    if (host == "gateway.plant" && port == 20004 && !tcp) {
      found = *hart::ResolveLiteral("127.0.0.1", server.Port());
    } else {
      found.error = "Узел HART-IP " + host + " не найден.";
    }
    return found;
  };
  std::string error;
  auto link = hart::HartIpLink::Open("gateway.plant:20004", options, error);
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(lookups, 0);

  // While the name is being looked up the window's timers go on.
  Probe probe({{}, nullptr, link.get()});
  ASSERT_TRUE(probe.CreateModeless());
  TimerProbe window;
  window.Create();
  window.SetTimer(1, 10);
  probe.RequestCommand(record, 3, 3);
  platform->RunUntil([&] { return window.fired >= 5; }, kLimitMs);
  EXPECT_GE(window.fired, 5);
  EXPECT_EQ(lookups, 1);
  EXPECT_TRUE(probe.events.empty());
  EXPECT_TRUE(server.Messages().empty());
  release.set_value();
  platform->RunUntil([&] { return !probe.events.empty(); }, kLimitMs);
  EXPECT_EQ(probe.events, (std::vector<unsigned>{kEvReply}));
  EXPECT_EQ(server.Frames().size(), 1u);
  // Found once: the next request needs no lookup.
  probe.events.clear();
  probe.RequestCommand(record, 3, 3);
  platform->RunUntil([&] { return !probe.events.empty(); }, kLimitMs);
  EXPECT_EQ(probe.events, (std::vector<unsigned>{kEvReply}));
  EXPECT_EQ(lookups, 1);

  // A name that leads nowhere, and one whose lookup takes too long.
  options.resolveTimeoutMs = 100;
  for (const char* name : {"nowhere.plant", "slow.plant"}) {
    std::promise<void> slow;
    if (std::string(name) == "slow.plant") {
      options.resolver = [released = slow.get_future().share()](const std::string&, std::uint16_t,
                                                                 bool) {
        released.wait();
        return hart::ResolvedAddress{};
      };
    }
    platform->ClearMessageBoxes();
    auto unknown = hart::HartIpLink::Open(name, options, error);
    Probe asking({{}, nullptr, unknown.get()});
    ASSERT_TRUE(asking.CreateModeless());
    asking.RequestCommand(record, 3, 3);
    platform->RunUntil([&] { return !asking.events.empty(); }, kLimitMs);
    EXPECT_EQ(asking.events, (std::vector<unsigned>{kEvNoAnswer})) << name;
    ASSERT_EQ(platform->MessageBoxes().size(), 1u) << name;
    EXPECT_EQ(platform->MessageBoxes()[0].text, "Узел HART-IP " + std::string(name) + " не найден.");
    if (std::string(name) == "slow.plant") slow.set_value();
  }
}

}  // namespace
