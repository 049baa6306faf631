// HART-IP on the loopback interface, against the tests' server, by UDP and by TCP, in real time:
// - one request through an open session, the network's own cost;
// - identification (six exchanges and the session) as the program runs it, its time beyond the
//   exchanges themselves (measured alone, one by one, after it) and the 500 ms close of the
//   dialog;
// - continuous reading: the period between requests as the server sees them.
// Run: build/bench/bench/hart_ip_bench (scripts/bench builds it in Release).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "calib/read_pv_dialog.h"
#include "hart/hart_ip_link.h"
#include "hart/hart_ip_message.h"
#include "hart/identification_dialog.h"
#include "hart/komendy.h"
#include "hart/simulated_link.h"
#include "tests/support/hart_ip_server.h"
#include "tests/support/model_answerer.h"
#include "ui/headless/headless_platform.h"

namespace {

using testhart::HartIpServer;
using testhart::ModelAnswerer;
using Clock = std::chrono::steady_clock;

constexpr std::int64_t kLimitMs = 10000;
constexpr int kIdentificationExchanges = 6;

HartIpServer::Transport TransportOf(const benchmark::State& state) {
  return state.range(0) == 0 ? HartIpServer::Transport::Udp : HartIpServer::Transport::Tcp;
}

hart::HartIpOptions Options(const benchmark::State& state) {
  hart::HartIpOptions options;
  options.tcp = state.range(0) == 1;
  return options;
}

ui::DialogTemplate ProbeTemplate() {
  ui::DialogTemplate tpl;
  tpl.resourceId = 900;
  tpl.rect = {0, 0, 100, 50};
  return tpl;
}

class Probe : public TKomendy {
 public:
  explicit Probe(const TSerialPortSettings& settings)
      : TKomendy(nullptr, ProbeTemplate(), settings, nullptr) {}
  int replies = 0;

 protected:
  ui::LResult EvReply() override {
    ++replies;
    return 0;
  }
};

TDaneIPPC Record() {
  TDaneIPPC r;
  r.manufacturerId = 42;
  r.deviceType = 7;
  r.deviceId = 0x123456;
  r.preambles = 6;
  r.unitCode = 7;
  return r;
}

// The transmitter that record describes, as the tests' transmitters answer.
hart::TransmitterModel Transmitter() { return hart::ModelOf(Record()); }

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// One request of command 3 through an open session.
void BM_HartIpExchange(benchmark::State& state) {
  ui::ScopedHeadlessPlatform platform;
  platform->SetRealTime(true);
  ModelAnswerer transmitter(Transmitter());
  HartIpServer server(TransportOf(state), transmitter.Function());
  std::string error;
  auto link = hart::HartIpLink::Open(server.Address(), Options(state), error);
  Probe probe({{}, nullptr, link.get()});
  probe.CreateModeless();
  const TDaneIPPC record = Record();
  probe.RequestCommand(record, 3, 3);  // opens the session
  platform->RunUntil([&] { return probe.replies == 1; }, kLimitMs);
  for (auto _ : state) {
    const int before = probe.replies;
    const auto start = Clock::now();
    probe.RequestCommand(record, 3, 3);
    platform->RunUntil([&] { return probe.replies > before; }, kLimitMs);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
  }
  state.counters["replies"] = probe.replies;
}
BENCHMARK(BM_HartIpExchange)->Arg(0)->Arg(1)->ArgName("tcp")->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Identification with a session to open, as the program runs it; beyond the fixed 500 ms close
// of the dialog, its time is compared with that of its exchanges, each sent alone through the
// session it opened. Secured: version 2 with a key, the TLS (DTLS) handshake in what lies beyond.
void BM_HartIpIdentification(benchmark::State& state) {
  ui::ScopedHeadlessPlatform platform;
  platform->SetRealTime(true);
  ModelAnswerer transmitter(Transmitter());
  HartIpServer server(TransportOf(state), transmitter.Function());
  const bool secured = state.range(1) != 0;
  hart::HartIpKey key;
  key.identity = "K7-BENCH";
  key.key.assign(16, 0x5A);
  if (secured) server.SetKey(key.identity, key.key);
  double worst = 0;
  double total = 0;
  double exchangesTotal = 0;
  int runs = 0;
  for (auto _ : state) {
    std::string error;
    hart::HartIpOptions options = Options(state);
    if (secured) options.key = key;
    auto link = hart::HartIpLink::Open(server.Address(), options, error);
    TDaneIPPC record;
    server.Clear();
    const auto start = Clock::now();
    {
      THartKom0 dialog(nullptr, {{}, nullptr, link.get()}, nullptr, record, 0, nullptr);
      dialog.Execute();
    }
    const double ms = Ms(Clock::now() - start);
    state.SetIterationTime(ms / 1000.0);
    if (record.deviceId != 0x123456) state.SkipWithError("not identified");
    // The same frames again, each alone through the open session: the exchanges themselves.
    const auto frames = server.Frames();
    Probe probe({{}, nullptr, link.get()});
    probe.CreateModeless();
    const auto exchangesStart = Clock::now();
    for (const auto& frame : frames) {
      const int before = probe.replies;
      std::copy(frame.begin(), frame.end(), probe.frame.begin());
      probe.requestLength = static_cast<int>(frame.size());
      probe.linkParam1 = 3;
      probe.StartReplyTimer();
      platform->RunUntil([&] { return probe.replies > before; }, kLimitMs);
    }
    const double exchanges = Ms(Clock::now() - exchangesStart);
    const double beyond = ms - exchanges - THartProtokol::kCloseDelayMs;
    worst = std::max(worst, beyond);
    total += beyond;
    exchangesTotal += exchanges;
    ++runs;
  }
  state.counters["exchanges_ms_mean"] = exchangesTotal / std::max(runs, 1);
  state.counters["beyond_exchanges_ms_mean"] = total / std::max(runs, 1);
  state.counters["beyond_exchanges_ms_worst"] = worst;
}
BENCHMARK(BM_HartIpIdentification)
    ->Args({0, 0})->Args({1, 0})->Args({0, 1})->Args({1, 1})
    ->ArgNames({"tcp", "secured"})->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// Continuous reading for a dozen readings: the period between requests at the server.
void BM_HartIpContinuousReading(benchmark::State& state) {
  ui::ScopedHeadlessPlatform platform;
  platform->SetRealTime(true);
  ModelAnswerer transmitter(Transmitter());
  HartIpServer server(TransportOf(state), transmitter.Function());
  std::string error;
  auto link = hart::HartIpLink::Open(server.Address(), Options(state), error);
  constexpr std::size_t kReadings = 12;
  double shortest = 1e9;
  double longest = 0;
  double total = 0;
  int periods = 0;
  for (auto _ : state) {
    server.Clear();
    TDane db;
    db.Append(Record());
    bool changed = false;
    int memory = 0;
    platform->OnModal(TReadPV::kResourceId, [&](ui::Dialog& d) {
      d.Item(TReadPV::kContinuousId)->UserClick();
      d.Item(TLista::kSendButtonId)->UserClick();
      platform->RunUntil([&] { return server.Frames().size() >= kReadings; }, kLimitMs);
      d.Item(TReadPV::kContinuousId)->UserClick();
      d.Item(ui::kIdCancel)->UserClick();
    });
    const auto start = Clock::now();
    {
      TReadPV dialog(nullptr, db, changed, memory, {{}, nullptr, link.get()}, nullptr);
      dialog.Execute();
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    const auto frames = server.Messages(hart::hartip::kPassThrough);
    // From the second on: the first request of a run may open the session within its period.
    for (std::size_t i = 2; i < frames.size(); ++i) {
      const double period = static_cast<double>(frames[i].atMs - frames[i - 1].atMs);
      shortest = std::min(shortest, period);
      longest = std::max(longest, period);
      total += period;
      ++periods;
    }
  }
  state.counters["period_ms_mean"] = total / std::max(periods, 1);
  state.counters["period_ms_min"] = shortest;
  state.counters["period_ms_max"] = longest;
}
BENCHMARK(BM_HartIpContinuousReading)->Arg(0)->Arg(1)->ArgName("tcp")->UseManualTime()
    ->Iterations(2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
