// The monkey: a seeded random operator at the real main window on the headless platform, over a
// simulated transmitter behind a bad line. It picks menu commands, toolbar buttons and shortcut
// keys, presses buttons, types into fields, picks from lists, drop-downs and tabs, answers every
// box and file dialog (with good, missing, damaged and unwritable files of a folder of its own),
// and lets the clock run. After every step it checks what must always hold; the first thing that
// does not stops the run with its step, and the same seed runs the same steps again. The
// program's writes go to a change journal of the run's own, timed by its clock: «Журнал
// изменений» shows it, its CSV export must hold the entries shown, «Сравнить с прибором» must
// leave the database as it was, and the journal must verify when the run ends.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/fault_link.h"

class TMyWindow;
namespace ui {
class HeadlessPlatform;
}
namespace journal {
class Journal;
}

namespace monkey {

struct LiveAllocations {
  std::int64_t count = 0;
  std::int64_t bytes = 0;
};

enum class Action {
  Start,
  Menu,
  Toolbar,
  Shortcut,
  Clock,
  CloseMain,
  Panel,
  About,
  Paint,
  Colours,
  RightClick,
  Click,
  Type,
  Select,
  Spin,
  Enter,
  Escape,
  CloseBox,
  BlockedToolbar,
  Closing,
};
inline constexpr std::size_t kActionKinds = 20;
const char* ActionName(Action action);

class Monkey;

struct Options {
  std::uint64_t seed = 1;
  std::uint64_t steps = 10000;
  // Every step from this one on is written to `log`, for a replay.
  std::uint64_t traceFrom = std::numeric_limits<std::uint64_t>::max();
  std::FILE* log = stderr;
  // Counts what is allocated and not yet freed, where the executable can; without it memory is
  // not checked.
  std::function<LiveAllocations()> liveAllocations;
  // Memory at the quietest moment of the `memoryBin` steps before `warmUp` is the baseline;
  // every `memoryEvery` steps the quietest moment of the bin before is held against it.
  std::uint64_t warmUp = 10000;
  std::uint64_t memoryEvery = 100000;
  std::uint64_t memoryBin = 1000;
  // The highest fault rate a seed may choose; below 0, the seed chooses it too.
  double faultCeiling = -1;
  // A failed run leaves its folder as the failure found it (the report names it).
  bool keepFolderOnFailure = false;
  // Known faults (see KnownFaults()) stop the run too, instead of being noted.
  bool strict = false;
  // The monkey's own tests break something on purpose here, before a step.
  std::function<void(Monkey&, std::uint64_t step)> sabotage;
};

// A fault the monkey found in code not mended yet, with the disabled regression test that shows
// it. A run that meets one notes it and goes on, so that it can find others; the check it broke
// rests until it holds again.
struct KnownFault {
  const char* name;
  const char* test;
  const char* what;
};
const std::vector<KnownFault>& KnownFaults();

struct KnownHit {
  std::uint64_t count = 0;
  std::uint64_t firstStep = 0;
  std::string first;  // what the check said the first time
};

struct Result {
  bool failed = false;
  std::uint64_t failedStep = 0;
  std::string failure;
  std::uint64_t steps = 0;
  std::array<std::uint64_t, kActionKinds> actions{};
  std::array<std::uint64_t, testhart::kFaultKinds> faults{};
  testhart::FaultRates rates;
  std::uint64_t dialogs = 0;  // modal dialogs opened
  std::map<int, std::uint64_t> dialogsById;
  std::uint64_t boxes = 0;  // message boxes answered
  std::uint64_t fileDialogs = 0;
  std::uint64_t filesWritten = 0;   // saves checked against the database saved
  std::uint64_t closedByForce = 0;  // dialogs that needed the closing routine
  LiveAllocations baseline;         // memory at the warm-up point
  LiveAllocations latest;           // at the last comparison
  std::uint64_t comparisons = 0;
  std::uint64_t digest = 0;  // of what the run saw: equal digests, equal runs
  std::map<std::string, KnownHit> known;
  std::string keptFolder;  // where a failed run left its files, if it kept them
};

// Where a crash reports from: the seed and the step under way.
std::uint64_t CurrentSeed();
std::uint64_t CurrentStep();

class Monkey {
 public:
  explicit Monkey(Options options);
  ~Monkey();
  Monkey(const Monkey&) = delete;
  Monkey& operator=(const Monkey&) = delete;

  Result Run();

  // For sabotage in the monkey's own tests.
  TMyWindow* Window();
  ui::HeadlessPlatform& Platform();
  testhart::FaultLink& Faults();
  // The run's change journal, in a folder of its own.
  journal::Journal* Journal();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

// Formats a result as the report of a run.
std::string Report(const Options& options, const Result& result);

}  // namespace monkey
