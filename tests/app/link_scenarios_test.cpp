// The link scenarios, one table over every link: the serial link against the pseudo-terminal test
// transmitter, and the HART-IP link by UDP and by TCP against the test server, the transmitter
// model behind both. Each row is one scenario (identification, a unit change with its read-backs,
// continuous reading, one request) with what the peer does to it; a row for the line alone (echo,
// noise, burst frames, another master) runs over the serial link only. The headless platform runs
// in real time; every wait ends as soon as its condition holds.
#include <gtest/gtest.h>

#include <bit>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "calib/read_pv_dialog.h"
#include "config/units_dialog.h"
#include "hart/hart_ip_link.h"
#include "hart/identification_dialog.h"
#include "hart/serial_link.h"
#include "record/float_form.h"
#include "tests/support/fixture_records.h"
#include "tests/support/hart_ip_server.h"
#include "tests/support/model_answerer.h"
#include "tests/support/probe_dialog.h"
#include "tests/support/test_transmitter.h"
#include "tests/support/trace_capture.h"
#include "ui/headless/headless_platform.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using testhart::HartIpServer;
using testhart::TestTransmitter;
using Line = TestTransmitter::Behaviour;
using Server = HartIpServer::Behaviour;

enum class LinkKind { Serial, Udp, Tcp };
// The links a row runs over.
constexpr int kSerial = 1;
constexpr int kHartIp = 6;
constexpr int kEvery = kSerial | kHartIp;
enum class Scenario { Identify, UnitChange, Reading, Request };

constexpr std::int64_t kLimitMs = 5000;
constexpr std::uint8_t kBar = 7;
constexpr int kBarIndex = 7;

// What a float becomes in the dialogs: the three bytes the record keeps.
float Received(float value) {
  const auto bits = std::bit_cast<std::uint32_t>(value);
  const std::array<std::uint8_t, 4> wire{static_cast<std::uint8_t>(bits >> 24),
                                         static_cast<std::uint8_t>(bits >> 16),
                                         static_cast<std::uint8_t>(bits >> 8),
                                         static_cast<std::uint8_t>(bits)};
  return floatform::WireToValue(wire);
}

// The test model with floats whose low bytes are not zero and 0xFF bytes in its data.
hart::TransmitterModel Awkward(std::uint8_t revision) {
  hart::TransmitterModel m = testhart::TestModel(revision);
  m.upperRange = 101.325f;
  m.lowerRange = -12.3456f;
  m.pressure = 77.7771f;
  m.sensorSerial = 0xFFFFFF;
  m.message.fill(0xFF);
  m.tag = {0xFF, 0xFF, 0xFF, 0x51, 0x23, 0x45};
  return m;
}

// The transmitter behind a link, and what it heard.
class Peer {
 public:
  explicit Peer(LinkKind kind) {
    std::string error;
    if (kind == LinkKind::Serial) {
      line_ = std::make_unique<TestTransmitter>();
      serial_ = hart::SerialLink::Open(line_->Device(), {}, error);
    } else {
      server_ = std::make_unique<HartIpServer>(
          kind == LinkKind::Udp ? HartIpServer::Transport::Udp : HartIpServer::Transport::Tcp,
          answerer_.Function());
      hart::HartIpOptions options;
      options.tcp = kind == LinkKind::Tcp;
      options.replyTimeoutMs = 100;
      options.retryPauseMs = 200;
      hartIp_ = hart::HartIpLink::Open(server_->Address(), options, error);
    }
    EXPECT_TRUE(serial_ || hartIp_) << error;
  }
  hart::Link& Link() { return serial_ ? static_cast<hart::Link&>(*serial_) : *hartIp_; }
  testhart::ModelAnswerer& Model() { return line_ ? line_->Answerer() : answerer_; }
  TestTransmitter* Line() { return line_.get(); }
  HartIpServer* Server() { return server_.get(); }
  std::vector<Bytes> Frames() const { return line_ ? line_->Requests() : server_->Frames(); }
  std::vector<int> Commands() const {
    std::vector<int> commands;
    for (const Bytes& f : Frames()) commands.push_back(f[0] == hart::kLongDelimiter ? f[6] : f[2]);
    return commands;
  }

 private:
  testhart::ModelAnswerer answerer_;
  std::unique_ptr<TestTransmitter> line_;
  std::unique_ptr<HartIpServer> server_;
  std::unique_ptr<hart::SerialLink> serial_;
  std::unique_ptr<hart::HartIpLink> hartIp_;
};

// What a scenario left behind, for the row's checks.
struct Outcome {
  Peer& peer;
  TraceCapture& capture;
  ui::HeadlessPlatform& platform;
  TDaneIPPC record;
  std::vector<unsigned> events;
  std::vector<std::string> Boxes() const {
    std::vector<std::string> texts;
    for (const auto& box : platform.MessageBoxes()) texts.push_back(box.text);
    return texts;
  }
};

struct Row {
  const char* name;
  Scenario scenario;
  int links;
  std::function<void(Peer&)> arrange;
  // Identification or the unit change: the record holds what the transmitter said.
  bool stored;
  std::vector<int> commands = {};  // the commands the transmitter heard, in order; empty: unchecked
  std::vector<std::string> boxes = {};
  std::vector<std::string> traced = {};  // prefixes of trace lines that must be there
  std::function<void(Outcome&)> check = nullptr;
};

const std::string kStatusNotZero =
    "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!";
// Addresses in the trace are left unchecked over every link: HART-IP may ask as the primary master.
const std::vector<int> kIdentification{0, 15, 14, 12, 13, 16};

void Model(Peer& p, const hart::TransmitterModel& m) { p.Model().SetModel(m); }

const Row kRows[] = {
    {"Identified", Scenario::Identify, kEvery, [](Peer& p) { Model(p, Awkward(5)); }, true,
     kIdentification},
    // Addressed by its expanded device type without the top two bits; more preambles asked
    // for than a request may carry; more status, which command 48 says once.
    {"IdentifiedHart7WithMoreStatus", Scenario::Identify, kEvery,
     [](Peer& p) {
       hart::TransmitterModel m = Awkward(7);
       m.requestPreambles = 25;
       m.deviceStatus = 0x10;
       m.extendedStatus = 0x05;
       m.specificStatus = {0, 0x12, 0, 0, 0, 0x80};
       Model(p, m);
     },
     true, {0, 48, 15, 14, 12, 13, 16}, {},
     {"RX more-status требуется обслуживание, критический сбой питания; специфический статус 00 "
      "12 00 00 00 80"}},
    {"IdentifiedThroughDelayedResponses", Scenario::Identify, kEvery,
     [](Peer& p) { p.Model().Script(15, {33, 34, 34}); }, true, {0, 15, 15, 15, 15, 14, 12, 13, 16},
     {}, {}, [](Outcome& r) { EXPECT_EQ(r.capture.Count("RX delayed 86 "), 3u); }},
    {"IdentifiedPastAWarningAndCommandsNotImplemented", Scenario::Identify, kEvery,
     [](Peer& p) {
       p.Model().Script(15, {8});
       p.Model().Script(14, {64});
       p.Model().Script(16, {64});
     },
     true, kIdentification, {"Код ответа 8: Предупреждение: значения не обновлены."},
     {"RX caution Код ответа 8"},
     [](Outcome& r) {
       // The reads it could not do leave the record as it was.
       EXPECT_EQ(r.record.assemblyNumber, UnlikeDefaultsRecord().assemblyNumber);
       EXPECT_EQ(r.record.sensorSerial, UnlikeDefaultsRecord().sensorSerial);
       EXPECT_EQ(r.record.upperSensorLimit, UnlikeDefaultsRecord().upperSensorLimit);
     }},
    {"IdentificationStopsOnAnError", Scenario::Identify, kEvery,
     [](Peer& p) { p.Model().Script(0, {16}); }, false, {0},
     {kStatusNotZero + "\nКод ответа 16: Доступ ограничен."}},
    {"IdentifiedThroughEchoAndNoise", Scenario::Identify, kSerial,
     [](Peer& p) {
       p.Line()->SetEcho(true);
       p.Line()->SetBehaviour(Line::Noise, -1, 12);
     },
     true, kIdentification, {}, {"TX FF FF FF FF FF 02 00 00 00 02 preambles=5 p1=3 p2=26 long=0"},
     [](Outcome& r) {
       // The reply's own preambles are counted, not the echo or the noise ahead of them.
       const auto replies = r.capture.LinesStarting("RX reply ");
       ASSERT_FALSE(replies.empty());
       EXPECT_TRUE(replies[0].ends_with(" preambles=7")) << replies[0];
     }},
    {"IdentifiedPastRepliesToTheOtherMasterAndShortBursts", Scenario::Identify, kSerial,
     [](Peer& p) {
       p.Line()->SetBehaviour(Line::OtherMaster);
       p.Line()->SetBurst(150, false);
     },
     true, kIdentification, {}, {"RX burst 01 40 03 0B 00 00 ", "RX burst 01 C0 03 0B 00 00 "}},
    {"IdentifiedWhileBurstingLongFrames", Scenario::Identify, kSerial,
     [](Peer& p) { p.Line()->SetBurst(150, true); }, true, kIdentification, {},
     {"RX burst 81 66 C8 0A 1B 2C 03 0B 00 00 "},
     [](Outcome& r) { EXPECT_TRUE(r.capture.trace.Condition().burstMode); }},
    // Over the line this is sixteen addresses polled three times each: too slow to be a row.
    {"NoTransmitter", Scenario::Identify, kHartIp,
     [](Peer& p) {
       if (p.Server() != nullptr) p.Server()->SetBehaviour(Server::RefuseSession, -1, 15);
       if (p.Line() != nullptr) p.Line()->SetBehaviour(Line::Silent);
     },
     false, {}, {},
     {},
     [](Outcome& r) {
       ASSERT_FALSE(r.Boxes().empty());
       EXPECT_EQ(r.Boxes().back(), "Отсутствие ответа.\nПроверь, подключен ли преобразователь!!!");
       EXPECT_EQ(r.record.pollingAddress, THartKom0::kLastPollingAddress);
     }},
    {"UnitChanged", Scenario::UnitChange, kEvery, [](Peer& p) { Model(p, Awkward(5)); }, true,
     {44, 14, 15}},
    {"UnitChangeWriteProtected", Scenario::UnitChange, kEvery,
     [](Peer& p) { p.Model().Script(44, {7}); }, false, {44},
     {kStatusNotZero + "\nКод ответа 7: Преобразователь защищён от записи."}},
    // Over the line, silence is a row of its own below.
    {"UnitChangeUnanswered", Scenario::UnitChange, kHartIp,
     [](Peer& p) {
       p.Server()->SetBehaviour(Server::Nak);
     },
     false, {44, 44, 44}, {"Отсутствие ответа.\nВыбери следующий преобразователь!!!"}},
    {"ReadContinuously", Scenario::Reading, kEvery, [](Peer& p) { Model(p, Awkward(5)); }, true},
    {"ReadABusyTransmitter", Scenario::Reading, kEvery, [](Peer& p) { p.Model().SetRefusal(32); },
     false, {}, {"Передача или нагрузка на линии.\nПередача не возможна!!!"}},
    {"RequestAnswered", Scenario::Request, kEvery, nullptr, true, {3}, {}, {},
     [](Outcome& r) { EXPECT_EQ(r.events, std::vector<unsigned>{kEvReply}); }},
    {"RequestWithAStatus", Scenario::Request, kEvery, [](Peer& p) { p.Model().SetRefusal(9); },
     false, {3}, {}, {"RX status 86 "},
     [](Outcome& r) { EXPECT_EQ(r.events, std::vector<unsigned>{kEvStatusError}); }},
    {"RequestUnansweredAfterItsAttempts", Scenario::Request, kSerial,
     [](Peer& p) { p.Line()->SetBehaviour(Line::Silent); }, false, {3, 3, 3}, {}, {},
     [](Outcome& r) { EXPECT_EQ(r.events, std::vector<unsigned>{kEvNoAnswer}); }},
    {"RequestDamagedEachTime", Scenario::Request, kSerial,
     [](Peer& p) { p.Line()->SetBehaviour(Line::BadChecksum); }, false, {3, 3, 3}, {},
     {"RX damaged 86 26 C8 0A 1B 2C 03 0B 00 00 "},
     [](Outcome& r) {
       EXPECT_EQ(r.events, std::vector<unsigned>{kEvNoAnswer});
       EXPECT_EQ(r.capture.Count("RX damaged"), 3u);
     }},
    {"RequestDamagedOnce", Scenario::Request, kSerial,
     [](Peer& p) { p.Line()->SetBehaviour(Line::BadChecksum, 1); }, true, {3, 3}, {}, {},
     [](Outcome& r) { EXPECT_EQ(r.events, std::vector<unsigned>{kEvReply}); }},
    {"RequestBusyEachTime", Scenario::Request, kSerial,
     [](Peer& p) { p.Line()->SetBehaviour(Line::Busy); }, false, {3, 3, 3}, {}, {},
     [](Outcome& r) { EXPECT_EQ(r.events, std::vector<unsigned>{kEvLineBusy}); }},
    {"RequestOverAnUnpluggedPort", Scenario::Request, kSerial, [](Peer& p) { p.Line()->Unplug(); },
     false, {}, {}, {},
     [](Outcome& r) {
       EXPECT_EQ(r.events, std::vector<unsigned>{kEvNoAnswer});
       ASSERT_EQ(r.Boxes().size(), 1u);
       EXPECT_EQ(r.Boxes()[0], "Последовательный порт " + r.peer.Line()->Device() + " отключён.");
     }},
};

using Param = std::tuple<LinkKind, std::size_t>;

std::string Name(const ::testing::TestParamInfo<Param>& info) {
  const char* links[] = {"Serial", "Udp", "Tcp"};
  return std::string(links[static_cast<int>(std::get<0>(info.param))]) + "_" +
         kRows[std::get<1>(info.param)].name;
}

class LinkScenarios : public ::testing::TestWithParam<Param> {
 protected:
  LinkScenarios() : peer(std::get<0>(GetParam())) {
    platform->SetRealTime(true);
    settings = {{}, &capture.trace, &peer.Link()};
  }

  void Click(ui::Dialog& d, int id) { ASSERT_TRUE(d.Item(id)->UserClick()); }

  void Identify(Outcome& run) {
    run.record = UnlikeDefaultsRecord();
    run.record.recordYear = 0;  // the store step stamps it
    THartKom0 dialog(nullptr, settings, nullptr, run.record, 0, nullptr);
    ASSERT_TRUE(dialog.CreateModeless());
    // Done once the store step has stamped the record; the closing delay is nothing to wait for.
    platform->RunUntil([&] { return run.record.recordYear != 0 || dialog.Ended(); }, 20'000);
  }

  void UnitChange(Outcome& run, const hart::TransmitterModel& was) {
    TDane db;
    db.Append(testhart::RecordOf(was));
    bool changed = false;
    int memory = 0;
    platform->OnModal(TUnits::kResourceId, [&](ui::Dialog& d) {
      auto& units = static_cast<TUnits&>(d);
      ASSERT_TRUE(d.Item(TUnits::kUnitComboId)->UserSelect(kBarIndex));
      Click(d, TLista::kSendButtonId);
      platform->RunUntil([&] { return units.AwaitedCommand() == 0; }, kLimitMs);
    });
    TUnits dialog(nullptr, db, changed, memory, settings, nullptr);
    dialog.Execute();
    run.record = db.At(0);
  }

  void Reading(const hart::TransmitterModel& was) {
    TDane db;
    db.Append(testhart::RecordOf(was));
    bool changed = false;
    int memory = 0;
    platform->OnModal(TReadPV::kResourceId, [&](ui::Dialog& d) {
      auto& read = static_cast<TReadPV&>(d);
      Click(d, TReadPV::kContinuousId);
      Click(d, TLista::kSendButtonId);
      platform->RunUntil(
          [&] { return peer.Frames().size() >= 4 || !platform->MessageBoxes().empty(); },
          kLimitMs);
      if (platform->MessageBoxes().empty()) {
        EXPECT_GE(peer.Frames().size(), 4u);
        EXPECT_EQ(read.Pressure(), Received(was.pressure));
        EXPECT_EQ(read.LoopCurrent(), Received(was.loopCurrent));
      }
      // Cleared: the reading under way still ends in its reply, and nothing follows it.
      Click(d, TReadPV::kContinuousId);
      platform->Advance(30);
      platform->RunUntil([&] { return capture.Count("RX ") >= capture.Count("TX "); }, kLimitMs);
      const std::size_t sent = peer.Frames().size();
      platform->Advance(100);
      EXPECT_EQ(peer.Frames().size(), sent);
      Click(d, ui::kIdCancel);
    });
    TReadPV dialog(nullptr, db, changed, memory, settings, nullptr);
    dialog.Execute();
  }

  void Request(Outcome& run, const hart::TransmitterModel& was) {
    QuietProbe probe(settings);
    ASSERT_TRUE(probe.CreateModeless());
    probe.RequestCommand(testhart::RecordOf(was), 3, 3);
    platform->RunUntil([&] { return !probe.events.empty(); }, kLimitMs);
    run.events = probe.events;
    if (run.events == std::vector<unsigned>{kEvReply}) {
      EXPECT_EQ(floatform::WireToValue(std::span<const std::uint8_t, 4>(
                    probe.Reply().data() + hart::kReplyData + 5, 4)),
                Received(was.pressure));
    }
  }

  ui::ScopedHeadlessPlatform platform;
  Peer peer;
  TraceCapture capture;
  TSerialPortSettings settings;
};

TEST_P(LinkScenarios, Runs) {
  const Row& row = kRows[std::get<1>(GetParam())];
  if (row.arrange) row.arrange(peer);
  const hart::TransmitterModel was = peer.Model().Model();
  Outcome run{peer, capture, *platform, {}, {}};
  switch (row.scenario) {
    case Scenario::Identify: Identify(run); break;
    case Scenario::UnitChange: UnitChange(run, was); break;
    case Scenario::Reading: Reading(was); break;
    case Scenario::Request: Request(run, was); break;
  }
  if (!row.commands.empty()) {
    EXPECT_EQ(peer.Commands(), row.commands);
  }
  if (row.check == nullptr || !row.boxes.empty()) {
    EXPECT_EQ(run.Boxes(), row.boxes);
  }
  for (const std::string& line : row.traced) EXPECT_GE(capture.Count(line), 1u) << line;

  const TDaneIPPC& r = run.record;
  if (row.scenario == Scenario::Identify && row.stored) {
    EXPECT_EQ(r.manufacturerId, was.manufacturer & 0x3F);
    EXPECT_EQ(r.deviceType, was.deviceType);
    EXPECT_EQ(r.deviceId, static_cast<std::int32_t>(was.deviceId));
    EXPECT_EQ(r.preambles, hart::BoundedPreambles(was.requestPreambles));
    EXPECT_EQ(r.upperRange, Received(was.upperRange));
    EXPECT_EQ(r.lowerRange, Received(was.lowerRange));
    EXPECT_EQ(r.damping, was.damping);
    EXPECT_EQ(r.unitCode, was.unit);
    EXPECT_EQ(r.message, was.message);
    EXPECT_EQ(r.tag, was.tag);
    if (row.check == nullptr) {
      EXPECT_EQ(r.upperSensorLimit, Received(was.upperLimit));
      EXPECT_EQ(static_cast<std::uint32_t>(r.sensorSerial), was.sensorSerial);
      EXPECT_EQ(r.assemblyNumber, was.assemblyNumber);
    }
  } else if (row.scenario == Scenario::Identify) {
    EXPECT_EQ(r.deviceId, UnlikeDefaultsRecord().deviceId);
  }
  if (row.scenario == Scenario::UnitChange) {
    const hart::TransmitterModel now = peer.Model().Model();
    EXPECT_EQ(r.unitCode, row.stored ? kBar : was.unit);
    EXPECT_EQ(now.unit, row.stored ? kBar : was.unit);
    // What the transmitter converted, read back.
    if (row.stored) {
      EXPECT_NEAR(r.upperRange, now.upperRange, 1e-4);
    }
  }
  if (row.check) row.check(run);
}

// Each row over the links it is for.
std::vector<Param> RowsOverTheirLinks() {
  std::vector<Param> out;
  for (const LinkKind kind : {LinkKind::Serial, LinkKind::Udp, LinkKind::Tcp}) {
    for (std::size_t i = 0; i < std::size(kRows); ++i) {
      if ((kRows[i].links & (1 << static_cast<int>(kind))) != 0) out.emplace_back(kind, i);
    }
  }
  return out;
}

INSTANTIATE_TEST_SUITE_P(EveryLink, LinkScenarios, ::testing::ValuesIn(RowsOverTheirLinks()),
                         Name);

}  // namespace
