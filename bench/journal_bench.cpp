// The change journal on this machine's disk: one entry appended (its transaction synced), one
// transmitter's entries listed out of 100,000, and the whole chain of 100,000 verified.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "journal/journal.h"

namespace {

namespace fs = std::filesystem;

constexpr int kEntries = 100000;
constexpr int kTransmitters = 200;

// A folder beside the build, on the disk the journal would be on, not in memory.
std::string Folder(const char* name) {
  const fs::path dir = fs::current_path() / name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  return (dir / "kestrel7" / "journal.sqlite").string();
}

journal::Entry Sample(int i) {
  journal::Entry e;
  e.manufacturer = 38;
  e.deviceType = 3;
  e.deviceId = 1000 + i % kTransmitters;
  e.tag = "PT-" + std::to_string(i % kTransmitters);
  e.link = "порт /dev/ttyUSB0";
  e.command = 35;
  e.field = "Диапазон";
  e.before = "верхний 16, нижний -0.5 [Bar]";
  e.sent = "верхний 20, нижний 0 [Bar]";
  e.readBack = e.sent;
  e.outcome = "выполнено";
  e.timeUtc = "2026-12-07T14:30:05.123Z";
  e.timeLocal = "2026-12-07 17:30:05 +0300";
  return e;
}

// 100,000 chained entries written in one transaction, as many days of appends would leave them.
std::unique_ptr<journal::Journal> Filled(const char* name) {
  const std::string path = Folder(name);
  std::string warning;
  journal::Journal::Open(path, warning).reset();
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO entries(time_utc, time_local, manufacturer, device_type,"
                     " device_id, tag, link, command, field, value_before, value_sent, value_read,"
                     " outcome, as_found, as_left, prev_hash, hash)"
                     " VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                     -1, &st, nullptr);
  std::string prev(64, '0');
  for (int i = 0; i < kEntries; ++i) {
    journal::Entry e = Sample(i);
    e.prevHash = prev;
    e.hash = journal::HashOf(e);
    prev = e.hash;
    int at = 1;
    for (const std::string* s : {&e.timeUtc, &e.timeLocal}) {
      sqlite3_bind_text(st, at++, s->c_str(), -1, SQLITE_TRANSIENT);
    }
    sqlite3_bind_int(st, at++, e.manufacturer);
    sqlite3_bind_int(st, at++, e.deviceType);
    sqlite3_bind_int64(st, at++, e.deviceId);
    sqlite3_bind_text(st, at++, e.tag.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, at++, e.link.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(st, at++, e.command);
    for (const std::string* s : {&e.field, &e.before, &e.sent, &e.readBack, &e.outcome,
                                 &e.asFound, &e.asLeft, &e.prevHash, &e.hash}) {
      sqlite3_bind_text(st, at++, s->c_str(), -1, SQLITE_TRANSIENT);
    }
    sqlite3_step(st);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return journal::Journal::Open(path, warning);
}

void BM_AppendSynced(benchmark::State& state) {
  std::string warning;
  auto journal = journal::Journal::Open(Folder("journal_bench_append"), warning);
  int i = 0;
  for (auto _ : state) {
    journal::Entry e = Sample(i++);
    e.timeUtc.clear();
    if (!journal->Append(e, warning)) state.SkipWithError(warning.c_str());
  }
}
BENCHMARK(BM_AppendSynced)->Unit(benchmark::kMillisecond)->Iterations(500);

void BM_ListOneTransmitterOf100000(benchmark::State& state) {
  auto journal = Filled("journal_bench_list");
  journal::Filter filter;
  filter.deviceId = 1000 + 17;
  filter.newestFirst = true;
  for (auto _ : state) {
    const auto entries = journal->List(filter);
    if (entries.size() != kEntries / kTransmitters) state.SkipWithError("wrong count");
    benchmark::DoNotOptimize(entries.data());
  }
}
BENCHMARK(BM_ListOneTransmitterOf100000)->Unit(benchmark::kMillisecond);

void BM_Verify100000(benchmark::State& state) {
  auto journal = Filled("journal_bench_verify");
  for (auto _ : state) {
    if (!journal->Verify().empty()) state.SkipWithError("the chain does not hold");
  }
}
BENCHMARK(BM_Verify100000)->Unit(benchmark::kMillisecond)->Iterations(3);

// What every start of the program pays: opening, with the quick check of the file.
void BM_Open100000(benchmark::State& state) {
  const std::string path = Filled("journal_bench_open")->Path();
  std::string warning;
  for (auto _ : state) {
    if (!journal::Journal::Open(path, warning)) state.SkipWithError(warning.c_str());
  }
}
BENCHMARK(BM_Open100000)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
