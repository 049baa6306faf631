// The change journal: every write sent to a transmitter and every calibration step, one row each
// in an SQLite database beside the data files, chained by SHA-256 so that an entry changed,
// removed or moved after the fact is found.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace journal {

struct Entry {
  std::int64_t seq = 0;  // the order of the chain; given by Append
  std::string timeUtc;    // "2026-12-07T14:30:05.123Z"; Append gives the clock's when empty
  std::string timeLocal;  // "2026-12-07 17:30:05 +0300"
  int manufacturer = 0;
  int deviceType = 0;
  std::int64_t deviceId = 0;
  std::string tag;
  std::string link;
  int command = 0;
  std::string field;
  std::string before;
  std::string sent;
  std::string readBack;
  std::string outcome;
  std::string asFound;  // calibrations only
  std::string asLeft;
  std::string prevHash;  // hex; the previous entry's hash, or 64 zeros for the first
  std::string hash;      // hex SHA-256 over prevHash and every field above but seq
};

struct Filter {
  std::optional<std::int64_t> deviceId;
  std::optional<std::string> tag;
  std::string sinceUtc;  // entries at or after, compared as the UTC text
  bool newestFirst = false;
};

// An entry the chain does not vouch for, in Russian, naming it by its number.
struct Problem {
  std::int64_t seq = 0;
  std::string text;
};

class Journal {
 public:
  // Opens the journal at `path`, creating it (mode 0600, its folder 0700) when there is none.
  // Null when it cannot be opened; `warning` says why in Russian. A damaged file is never
  // written over: it is renamed aside, a new journal begun, and `warning` names the old one.
  static std::unique_ptr<Journal> Open(const std::string& path, std::string& warning);
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // One transaction: links the entry to the last one, stores it and gives it seq and hashes.
  // False, with the reason in `error`, when it could not be stored.
  bool Append(Entry& entry, std::string& error);
  std::vector<Entry> List(const Filter& filter) const;
  // Walks the whole chain, and holds its end against the anchor; empty when every entry is as it
  // was written.
  std::vector<Problem> Verify() const;
  const std::string& Path() const { return path_; }
  // Where the times of entries come from: the system's clock, unless a run keeps its own.
  void SetClock(std::function<std::chrono::system_clock::time_point()> clock) {
    clock_ = std::move(clock);
  }
  // The anchor beside the database: the last entry's number and hash as Append left them, so
  // that entries removed from the end, which leave the chain whole, are found too.
  std::string AnchorPath() const { return path_ + ".head"; }

 private:
  Journal(sqlite3* db, std::string path);
  void AdvanceAnchor(const Entry& entry);
  sqlite3* db_;
  std::string path_;
  sqlite3_stmt* last_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
  std::function<std::chrono::system_clock::time_point()> clock_;
};

// $XDG_DATA_HOME/kestrel7/journal.sqlite, or ~/.local/share/kestrel7/journal.sqlite; empty
// when neither variable is set.
std::string DefaultPath();
// The entry's hash, as Append computes it and Verify checks it.
std::string HashOf(const Entry& entry);
// A header line and one line per entry, fields quoted where they need it.
std::string CsvOf(const std::vector<Entry>& entries);
// "YYYY-MM-DD[ HH:MM[:SS]]" in local time as the UTC text entries are compared by; nullopt when
// it is not such a date.
std::optional<std::string> SinceUtc(const std::string& localDate);

}  // namespace journal
