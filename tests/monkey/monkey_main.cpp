// k7_monkey: runs the monkey over one seed, or over seed after seed for a time.
//   k7_monkey [--seed S] [--steps N] [--seconds T] [--trace-from M] [--warm-up W]
//             [--memory-every E] [--faults CEILING] [--strict]
// --strict stops at the known faults too, instead of noting them.
// With --seconds it goes on with seeds S, S+1, ... (N steps each) until T seconds have passed,
// and stops at the first failure. The exit status is 1 on a failure.
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/monkey/live_allocations.h"
#include "tests/monkey/monkey.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif

namespace {

// Only what is safe in a signal handler: write(2) and digits by hand.
void WriteNumber(std::uint64_t n) {
  char digits[24];
  int i = sizeof digits;
  do {
    digits[--i] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n != 0);
  (void)!::write(2, digits + i, sizeof digits - static_cast<std::size_t>(i));
}

void SayWhere() {
  static const char kSeed[] = "\nmonkey: died at seed ";
  static const char kStep[] = ", step ";
  static const char kReplay[] = "; replay with --seed and --steps up to that step\n";
  (void)!::write(2, kSeed, sizeof kSeed - 1);
  WriteNumber(monkey::CurrentSeed());
  (void)!::write(2, kStep, sizeof kStep - 1);
  WriteNumber(monkey::CurrentStep());
  (void)!::write(2, kReplay, sizeof kReplay - 1);
}

#if !defined(__SANITIZE_ADDRESS__)
void OnSignal(int signal) {
  SayWhere();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}
#endif

std::uint64_t Number(const char* text) { return std::strtoull(text, nullptr, 10); }

}  // namespace

int main(int argc, char** argv) {
  monkey::Options options;
  options.steps = 100000;
  double seconds = 0;
  int i = 1;
  for (; i < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--strict") {
      options.strict = true;
      --i;
      continue;
    }
    if (i + 1 == argc) break;
    const char* value = argv[i + 1];
    if (option == "--seed") {
      options.seed = Number(value);
    } else if (option == "--steps") {
      options.steps = Number(value);
    } else if (option == "--seconds") {
      seconds = std::strtod(value, nullptr);
    } else if (option == "--trace-from") {
      options.traceFrom = Number(value);
    } else if (option == "--warm-up") {
      options.warmUp = Number(value);
    } else if (option == "--memory-every") {
      options.memoryEvery = Number(value);
    } else if (option == "--faults") {
      options.faultCeiling = std::strtod(value, nullptr);
    } else {
      std::fprintf(stderr, "k7_monkey: unknown option %s\n", option.c_str());
      return 2;
    }
  }
  if (i < argc) {
    std::fprintf(stderr, "k7_monkey: %s wants a value\n", argv[i]);
    return 2;
  }
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizers catch the signals themselves, report, and then call this.
  __sanitizer_set_death_callback(SayWhere);
#else
  for (int s : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL}) std::signal(s, OnSignal);
#endif
  options.liveAllocations = monkey::CountLiveAllocations;
  options.keepFolderOnFailure = true;

  const auto start = std::chrono::steady_clock::now();
  const auto elapsed = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  std::uint64_t seeds = 0;
  std::uint64_t steps = 0;
  std::uint64_t requests = 0;
  std::uint64_t faults = 0;
  std::uint64_t saves = 0;
  do {
    monkey::Monkey run(options);
    const monkey::Result result = run.Run();
    std::fputs(monkey::Report(options, result).c_str(), stdout);
    std::fflush(stdout);
    ++seeds;
    steps += result.steps;
    saves += result.filesWritten;
    for (std::size_t i = 0; i < testhart::kFaultKinds; ++i) {
      requests += result.faults[i];
      if (i != 0) faults += result.faults[i];
    }
    if (result.failed) return 1;
    ++options.seed;
  } while (elapsed() < seconds);
  std::printf(
      "all: %llu seeds, %llu steps, %llu requests, %llu faults, %llu saves checked, %.0f s\n",
      static_cast<unsigned long long>(seeds), static_cast<unsigned long long>(steps),
      static_cast<unsigned long long>(requests), static_cast<unsigned long long>(faults),
      static_cast<unsigned long long>(saves), elapsed());
  return 0;
}
