// The trend window over long sessions at the default period, on the headless platform's virtual
// clock: the heap it holds after each stretch (the ring stops growing once full, the CSV goes to
// a file), and what drawing a full view costs.
// Run: build/bench/bench/trend_memory_bench (scripts/bench builds it in Release).
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "calib/trend_window.h"
#include "hart/frame.h"
#include "ui/headless/headless_platform.h"

namespace {

// Every byte the program holds on the heap, as malloc sized it.
std::atomic<long long> liveHeap{0};

void* Allocate(std::size_t n) {
  void* p = std::malloc(n == 0 ? 1 : n);
  if (p == nullptr) throw std::bad_alloc();
  liveHeap += static_cast<long long>(malloc_usable_size(p));
  return p;
}

void Release(void* p) noexcept {
  if (p == nullptr) return;
  liveHeap -= static_cast<long long>(malloc_usable_size(p));
  std::free(p);
}

}  // namespace

void* operator new(std::size_t n) { return Allocate(n); }
void* operator new[](std::size_t n) { return Allocate(n); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }

namespace {

constexpr std::int64_t kHourMs = 3600 * 1000;

// A transmitter that answers command 3 after 400 ms with a pressure drifting around 150 kPa, and
// with a status error once in 500 readings.
class DriftingTransmitter : public hart::Link, private ui::Window {
 public:
  DriftingTransmitter() : ui::Window(nullptr) { Create(); }

  void Transmit(THartProtokol& dialog) override {
    dialog_ = &dialog;
    SetTimer(1, 400);
  }
  void Forget(THartProtokol& dialog) override {
    if (dialog_ != &dialog) return;
    dialog_ = nullptr;
    KillTimer(1);
  }

 private:
  void OnTimer(int) override {
    KillTimer(1);
    THartProtokol* dialog = dialog_;
    dialog_ = nullptr;
    if (dialog == nullptr) return;
    ++count_;
    const float pv = 150.0f + 5.0f * static_cast<float>(std::sin(count_ / 900.0));
    const float current = 4.0f + pv * 16.0f / 1107.0f;
    const std::uint8_t code = count_ % 500 == 0 ? 0x10 : 0;
    const auto request = dialog->Request();
    std::vector<std::uint8_t> reply{0x86, request[1], request[2], request[3], request[4],
                                    request[5], 3, 11, code, 0};
    Put(reply, current);
    reply.push_back(12);
    Put(reply, pv);
    reply.push_back(hart::Checksum(reply));
    std::copy(reply.begin(), reply.end(), dialog->Reply().begin());
    dialog->SendMessage(code == 0 ? kEvReply : kEvStatusError);
  }
  static void Put(std::vector<std::uint8_t>& out, float v) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &v, 4);
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(bits >> shift));
  }

  THartProtokol* dialog_ = nullptr;
  long count_ = 0;
};

TDaneIPPC Record() {
  TDaneIPPC r;
  r.manufacturerId = 38;
  r.deviceType = 200;
  r.deviceId = 0x0A1B2C;
  r.preambles = 5;
  r.unitCode = 12;
  return r;
}

void Session(benchmark::State& state) {
  const int hours = static_cast<int>(state.range(0));
  for (auto _ : state) {
    const long long start = liveHeap;
    ui::ScopedHeadlessPlatform platform;
    DriftingTransmitter link;
    TDane db;
    db.Append(Record());
    bool changed = false;
    int selection = 0;
    TSerialPortSettings settings;
    settings.link = &link;
    TWykres trend(nullptr, db, changed, selection, settings, nullptr);
    trend.SetWallClock(1796641200000);
    std::string error;
    std::FILE* devNull = std::fopen("/dev/null", "w");
    trend.StartLog(calib::ReadingLog::OnStream(devNull, "/dev/null", error), error);
    trend.CreateModeless();
    const long long opened = liveHeap;
    std::vector<long long> after;
    for (int h = 1; h <= hours; ++h) {
      platform->Advance(kHourMs);
      after.push_back(liveHeap - start);
    }
    state.counters["readings"] = static_cast<double>(trend.Series().Readings());
    state.counters["held_samples"] = static_cast<double>(trend.Series().Size());
    state.counters["ring_MB"] = static_cast<double>(trend.Series().StorageBytes()) / 1e6;
    state.counters["heap_at_open_kB"] = static_cast<double>(opened - start) / 1e3;
    for (const int h : {1, 6, 12, 24, 36, 48}) {
      if (h <= hours) {
        state.counters["heap_" + std::to_string(h) + "h_MB"] = static_cast<double>(after[h - 1]) / 1e6;
      }
    }
    // One full repaint of the last ten minutes, recorded as the headless platform draws.
    std::vector<ui::DrawOp> ops;
    ui::RecordingContext dc(ops, trend.ClientRect());
    const auto paintStart = std::chrono::steady_clock::now();
    trend.SendMessage(ui::kMsgPaint, 0, reinterpret_cast<ui::LParam>(static_cast<ui::DeviceContext*>(&dc)));
    state.counters["paint_ms"] = std::chrono::duration<double, std::milli>(
                                     std::chrono::steady_clock::now() - paintStart)
                                     .count();
    trend.EndDialog(ui::kIdCancel);
    std::fclose(devNull);
  }
}

}  // namespace

BENCHMARK(Session)->Arg(24)->Arg(48)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK_MAIN();
