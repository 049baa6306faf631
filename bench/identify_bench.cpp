// `kestrel7 identify --port` against a transmitter that answers at once but, as on a real loop,
// takes a character time (11 bits at 1200 baud) for every byte each way. What is measured beyond
// the line time of the six exchanges is the program's own: timers, decoding, start and end.
// The same against a transmitter in burst mode (a burst frame 300 ms after the last and after each
// reply, a request that comes while it talks lost): its time against the quiet one's.
// Run: build/bench/bench/identify_bench (scripts/bench builds it in Release).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "app/command_line.h"
#include "hart/serial_link.h"
#include "tests/support/test_transmitter.h"

namespace {

// Characters on the line by the trace: every byte of a request line (its preambles are among
// them) and of a reply line, and the preambles counted ahead of a reply.
int LineCharacters(const std::string& tracePath, int& exchanges) {
  std::ifstream trace(tracePath);
  int characters = 0;
  exchanges = 0;
  for (std::string line; std::getline(trace, line);) {
    std::istringstream words(line);
    std::string word;
    words >> word >> word;  // the time, then TX or RX
    const bool request = word == "TX";
    if (request) ++exchanges;
    while (words >> word) {
      if (word.size() == 2 && std::isxdigit(static_cast<unsigned char>(word[0])) &&
          std::isxdigit(static_cast<unsigned char>(word[1]))) {
        ++characters;
      } else if (!request && word.rfind("preambles=", 0) == 0) {
        characters += std::stoi(word.substr(10));
      }
    }
  }
  return characters;
}

// The mean time of the quiet transmitter's runs, for the bursting one's to be measured against.
double quietMeanMs = 0;

void IdentifyOverThePacedLine(benchmark::State& state) {
  const bool bursting = state.range(0) != 0;
  testhart::TestTransmitter transmitter;
  transmitter.SetPaced(true);
  if (bursting) transmitter.SetBurst(300, true);
  const std::string tracePath = "/tmp/k7_identify_bench.trace";
  const char* argv[] = {"kestrel7", "identify", "--port", transmitter.Device().c_str(),
                        "--trace",  tracePath.c_str()};
  const CommandLine args = ParseCommandLine(6, argv);
  std::FILE* out = std::fopen("/dev/null", "w");
  double lineMs = 0;
  double worstOverMs = 0;
  double totalMs = 0;
  int runs = 0;
  int exchanges = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const int status = RunIdentify(args, out, stderr);
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    if (status != 0) {
      state.SkipWithError("identification failed");
      break;
    }
    state.SetIterationTime(took.count() / 1000.0);
    lineMs = LineCharacters(tracePath, exchanges) * hart::SerialLink::kCharacterMs;
    worstOverMs = std::max(worstOverMs, took.count() - lineMs);
    totalMs += took.count();
    ++runs;
  }
  std::fclose(out);
  std::remove(tracePath.c_str());
  state.counters["exchanges"] = exchanges;
  state.counters["line_ms"] = lineMs;
  const double meanMs = runs > 0 ? totalMs / runs : 0;
  if (bursting) {
    // The burst frames are on the line too: the time against the quiet transmitter's is what
    // counts here.
    state.counters["times_quiet"] = quietMeanMs > 0 ? meanMs / quietMeanMs : 0;
  } else {
    quietMeanMs = meanMs;
    // The most any run took beyond the line time.
    state.counters["worst_over_line_ms"] = worstOverMs;
  }
}
BENCHMARK(IdentifyOverThePacedLine)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(10);

}  // namespace

BENCHMARK_MAIN();
