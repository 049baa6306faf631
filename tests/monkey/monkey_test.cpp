#include "tests/monkey/monkey.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "journal/journal.h"
#include "tests/monkey/live_allocations.h"
#include "ui/headless/headless_platform.h"

namespace {

monkey::Options Short(std::uint64_t seed, std::uint64_t steps) {
  monkey::Options options;
  options.seed = seed;
  options.steps = steps;
  options.log = nullptr;
  return options;
}

monkey::Result RunMonkey(const monkey::Options& options) {
  monkey::Monkey run(options);
  return run.Run();
}

// A short run over a bad line finds nothing new, and the same seed runs the same steps.
TEST(Monkey, ShortRunsFindNothingAndRepeatExactly) {
  for (std::uint64_t seed : {2u}) {
    const monkey::Options options = Short(seed, 500);
    const monkey::Result first = RunMonkey(options);
    EXPECT_FALSE(first.failed) << monkey::Report(options, first);
    EXPECT_EQ(first.steps, 500u);
    EXPECT_GT(first.dialogs, 5u);
    EXPECT_GT(first.fileDialogs, 5u);
    std::uint64_t requests = 0;
    for (std::uint64_t n : first.faults) requests += n;
    EXPECT_GT(requests, 30u);
    const monkey::Result again = RunMonkey(options);
    EXPECT_EQ(again.digest, first.digest);
    EXPECT_EQ(again.faults, first.faults);
    EXPECT_EQ(again.actions, first.actions);
  }
  EXPECT_NE(RunMonkey(Short(2, 200)).digest, RunMonkey(Short(3, 200)).digest);
}

// The first open modal dialog with a usable edit, if any.
ui::Control* ModalEdit(ui::HeadlessPlatform& platform) {
  for (ui::Window* window : platform.Windows()) {
    auto* dialog = dynamic_cast<ui::Dialog*>(window);
    if (dialog == nullptr || !dialog->IsModal() || dialog->Ended()) continue;
    for (const auto& control : dialog->Controls()) {
      if (control->Kind() == ui::ControlKind::Edit && control->Visible() && control->Enabled() &&
          !control->ReadOnly()) {
        return control.get();
      }
    }
  }
  return nullptr;
}

// Each check catches the fault it stands for, at the step where it happens, and the run stops
// there; the same seed and step count run into it again.
TEST(Monkey, EachCheckStopsTheRunAtItsFault) {
  ui::Window stranger(nullptr);  // never created: not a window of the program
  std::vector<std::unique_ptr<char[]>> hoard;
  const struct {
    const char* name;
    std::function<bool(monkey::Monkey&)> breakIt;  // true once it broke something
    std::string expected;
    // The journal is verified as the run ends, past where so short a warm-up stops it first.
    bool memoryChecked = true;
  } cases[] = {
      {"panel",
       [](monkey::Monkey& m) {
         TMonitorHart* panel = m.Window() != nullptr ? m.Window()->Panel() : nullptr;
         if (panel == nullptr || !panel->IsCreated()) return false;
         panel->Item(732)->SetText("-1");
         return true;
       },
       "the data panel shows \"-1\""},
      {"document",
       [](monkey::Monkey& m) {
         if (m.Window() == nullptr || m.Window()->Database().Count() == 0) return false;
         m.Window()->DataFile().ChangedFlag() = false;
         m.Window()->Database().At(0).sensorSerial ^= 1;  // not on the panel
         return true;
       },
       "the changed flag is clear"},
      {"files",
       [](monkey::Monkey&) {
         std::ofstream("good2.pom", std::ios::app) << " ";
         return true;
       },
       "the file \"good2.pom\" changed though the monkey saved nothing there"},
      {"timers",
       [&](monkey::Monkey& m) {
         m.Platform().SetTimer(stranger, THartProtokol::kReplyTimerId, 400);
         return true;
       },
       "timer 100 runs for a window that no longer exists"},
      {"closing",
       [](monkey::Monkey& m) {
         // Nothing satisfies the range: a dialog that checks its fields before it closes stays.
         if (ui::Control* edit = ModalEdit(m.Platform()))
           edit->SetValidator(ui::RangeValidator{5, 4});
         return false;
       },
       "stays open"},
      {"journal",
       [](monkey::Monkey& m) {
         if (m.Journal() == nullptr || m.Journal()->List({}).empty()) return false;
         sqlite3* db = nullptr;
         sqlite3_open(m.Journal()->Path().c_str(), &db);
         const char* edit = "UPDATE entries SET value_sent = value_sent || ' ' WHERE seq = 1";
         const bool edited = sqlite3_exec(db, edit, nullptr, nullptr, nullptr) == SQLITE_OK;
         sqlite3_close(db);
         return edited;
       },
       "the journal does not verify: запись 1 изменена", false},
      {"memory",
       [&](monkey::Monkey&) {
         hoard.push_back(std::make_unique<char[]>(64));
         return false;  // a slow leak, from the start
       },
       "memory grew"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    monkey::Options options = Short(5, 3000);
    if (c.memoryChecked) options.liveAllocations = monkey::CountLiveAllocations;
    options.memoryBin = 100;
    options.warmUp = 100;
    options.memoryEvery = 200;
    std::uint64_t brokeAt = 0;
    options.sabotage = [&](monkey::Monkey& m, std::uint64_t step) {
      if (brokeAt == 0 && step >= 60 && c.breakIt(m)) brokeAt = step;
    };
    const monkey::Result result = RunMonkey(options);
    hoard.clear();
    ASSERT_TRUE(result.failed);
    EXPECT_NE(result.failure.find(c.expected), std::string::npos) << result.failure;
    // A file or a timer stays broken and is caught at once (the step after, where the sabotage
    // came after that step's checks); what the step itself does may mend the panel or the flag
    // for a while, so those are caught then or later.
    const std::string name = c.name;
    if (name == "files" || name == "timers") {
      EXPECT_GE(result.failedStep, brokeAt);
      EXPECT_LE(result.failedStep, brokeAt + 1);
    } else if (name == "panel" || name == "document") {
      EXPECT_GE(result.failedStep, brokeAt);
    }
    // The report names seed and step; those steps again end in the same failure.
    EXPECT_NE(monkey::Report(options, result)
                  .find("--seed 5 --steps " + std::to_string(result.failedStep)),
              std::string::npos);
    options.steps = result.failedStep;
    brokeAt = 0;
    const monkey::Result again = RunMonkey(options);
    hoard.clear();
    EXPECT_EQ(again.failedStep, result.failedStep);
    // Memory counts the test's own allocations too; the rest says exactly the same.
    EXPECT_EQ(again.failure.substr(0, 17), result.failure.substr(0, 17));
  }
}

}  // namespace
