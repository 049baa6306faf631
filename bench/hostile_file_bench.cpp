// Reading hostile data files: time, and peak memory beyond what the kept records need.
// Run: build/bench/bench/hostile_file_bench (scripts/bench builds it in Release).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <istream>
#include <streambuf>
#include <string>

#include "data/data_file.h"

namespace {

// A stream that makes its content on the fly: `prefix`, then `fill` repeated `count` times.
class GeneratedBuffer : public std::streambuf {
 public:
  GeneratedBuffer(std::string prefix, char fill, std::uint64_t count, std::string line = {})
      : prefix_(std::move(prefix)), fill_(fill), remaining_(count), line_(std::move(line)) {
    block_.assign(1 << 16, fill_);
    setg(prefix_.data(), prefix_.data(), prefix_.data() + prefix_.size());
  }

 protected:
  int_type underflow() override {
    if (remaining_ == 0) return traits_type::eof();
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, block_.size()));
    remaining_ -= n;
    // With `line` set, every megabyte ends in a line feed.
    block_[n - 1] = !line_.empty() && remaining_ % (1u << 20) == 0 ? '\n' : fill_;
    setg(block_.data(), block_.data(), block_.data() + n);
    return traits_type::to_int_type(block_[0]);
  }

 private:
  std::string prefix_;
  char fill_;
  std::uint64_t remaining_;
  std::string line_;
  std::string block_;
};

long PeakKb() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == "VmHWM:") {
      status >> value;
      return value;
    }
    status.ignore(1 << 20, '\n');
  }
  return 0;
}

void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

template <class MakeBuffer>
void Read(benchmark::State& state, MakeBuffer make) {
  std::size_t kept = 0;
  bool damaged = false;
  long growth = 0;
  for (auto _ : state) {
    ResetPeak();
    const long before = PeakKb();
    auto buffer = make();
    std::istream in(&buffer);
    TDane db;
    const datafile::ReadResult result = datafile::ReadDatabase(in, db);
    kept = db.Count();
    damaged = result.damaged;
    growth = PeakKb() - before;
    benchmark::DoNotOptimize(db);
  }
  state.counters["kept_records"] = static_cast<double>(kept);
  state.counters["damaged"] = damaged ? 1 : 0;
  state.counters["peak_growth_kB"] = static_cast<double>(growth);
}

const std::string kRecord =
    "0 254 63 1 5 5 3 1 1 5 250 0 12 250 63 12556.00000 249.99609 0.00000 0.00000\n"
    "0.00000 249.99609 0.00000 24.99951\n"
    "44 -12 -106 4 -63 78 -126 -40 20 64 125 49 -61 8 32 -126 8 32 -126 8 32 -126 8 32 \n"
    "65 12 113 -49 61 32 \n"
    "35 36 -16 -46 8 32 -126 8 32 -126 8 32 \n"
    "31 8 100 7 12 2026 11234\n";

void CountOf4294967295(benchmark::State& state) {
  Read(state, [] { return GeneratedBuffer("4294967295\n" + kRecord + kRecord, ' ', 0); });
}

void LinesOfAMillionDigits(benchmark::State& state) {
  // The count, then 64 lines of a million digits each (a line is one number).
  Read(state, [] { return GeneratedBuffer("3\n", '7', 64ull << 20, "lines"); });
}

void GigabyteOfSpaces(benchmark::State& state) {
  Read(state, [] { return GeneratedBuffer("", ' ', 1ull << 30); });
}

void TenThousandGoodRecords(benchmark::State& state) {
  std::string text = "10000\n";
  for (int i = 0; i < 10000; ++i) text += kRecord;
  Read(state, [&] { return GeneratedBuffer(text, ' ', 0); });
}

}  // namespace

BENCHMARK(CountOf4294967295)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(LinesOfAMillionDigits)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(GigabyteOfSpaces)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(TenThousandGoodRecords)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_MAIN();
