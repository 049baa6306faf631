#include "journal/journal.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <unordered_set>

namespace journal {

namespace {

namespace fs = std::filesystem;

const std::string kGenesis(64, '0');
// Two programs writing at once wait for each other this long before an append gives up.
constexpr int kBusyTimeoutMs = 5000;

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS entries("
    " seq INTEGER PRIMARY KEY AUTOINCREMENT, time_utc TEXT NOT NULL, time_local TEXT NOT NULL,"
    " manufacturer INTEGER NOT NULL, device_type INTEGER NOT NULL, device_id INTEGER NOT NULL,"
    " tag TEXT NOT NULL, link TEXT NOT NULL, command INTEGER NOT NULL, field TEXT NOT NULL,"
    " value_before TEXT NOT NULL, value_sent TEXT NOT NULL, value_read TEXT NOT NULL,"
    " outcome TEXT NOT NULL, as_found TEXT NOT NULL, as_left TEXT NOT NULL,"
    " prev_hash TEXT NOT NULL, hash TEXT NOT NULL);"
    "CREATE INDEX IF NOT EXISTS entries_device ON entries(device_id, seq);"
    "CREATE INDEX IF NOT EXISTS entries_tag ON entries(tag, seq);";

const char* const kColumns =
    "seq, time_utc, time_local, manufacturer, device_type, device_id, tag, link, command, field,"
    " value_before, value_sent, value_read, outcome, as_found, as_left, prev_hash, hash";

std::string Hex(const unsigned char* bytes, unsigned size) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(size * 2);
  for (unsigned i = 0; i < size; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  return out;
}

// Each field with its length ahead of it, so that no two entries serialise alike.
void Put(std::string& out, const std::string& field) {
  const auto n = static_cast<std::uint32_t>(field.size());
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((n >> shift) & 0xFF);
  out += field;
}

std::string Text(sqlite3_stmt* st, int column) {
  const unsigned char* text = sqlite3_column_text(st, column);
  return text == nullptr ? std::string()
                         : std::string(reinterpret_cast<const char*>(text),
                                       static_cast<std::size_t>(sqlite3_column_bytes(st, column)));
}

Entry Row(sqlite3_stmt* st) {
  Entry e;
  e.seq = sqlite3_column_int64(st, 0);
  e.timeUtc = Text(st, 1);
  e.timeLocal = Text(st, 2);
  e.manufacturer = sqlite3_column_int(st, 3);
  e.deviceType = sqlite3_column_int(st, 4);
  e.deviceId = sqlite3_column_int64(st, 5);
  e.tag = Text(st, 6);
  e.link = Text(st, 7);
  e.command = sqlite3_column_int(st, 8);
  e.field = Text(st, 9);
  e.before = Text(st, 10);
  e.sent = Text(st, 11);
  e.readBack = Text(st, 12);
  e.outcome = Text(st, 13);
  e.asFound = Text(st, 14);
  e.asLeft = Text(st, 15);
  e.prevHash = Text(st, 16);
  e.hash = Text(st, 17);
  return e;
}

void Bind(sqlite3_stmt* st, int at, const std::string& text) {
  sqlite3_bind_text(st, at, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

bool Exec(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// The first column of the first row of `sql`, or the error code.
int SingleText(sqlite3* db, const char* sql, std::string& out) {
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
  if (rc == SQLITE_OK) {
    rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) {
      out = Text(st, 0);
      rc = SQLITE_OK;
    } else if (rc == SQLITE_DONE) {
      rc = SQLITE_OK;
    }
  }
  sqlite3_finalize(st);
  return rc;
}

bool Damaged(int rc) {
  rc &= 0xFF;
  return rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB;
}

void TimeTexts(std::string& utc, std::string& local,
               std::chrono::system_clock::time_point now = std::chrono::system_clock::now()) {
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch())
                      .count() % 1000;
  std::tm u{};
  std::tm l{};
  gmtime_r(&t, &u);
  localtime_r(&t, &l);
  char buf[64];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &u);
  char withMs[80];
  std::snprintf(withMs, sizeof withMs, "%s.%03dZ", buf, static_cast<int>(ms));
  utc = withMs;
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S %z", &l);
  local = buf;
}

// Where a damaged journal goes: beside it, named by the time it was found, never over a file.
std::string AsideName(const std::string& path) {
  std::string utc;
  std::string local;
  TimeTexts(utc, local);
  std::string stamp;
  for (char c : utc.substr(0, 19)) {
    if (c != '-' && c != ':') stamp += c == 'T' ? '-' : c;
  }
  const fs::path p(path);
  for (int n = 1;; ++n) {
    std::string name = p.stem().string();
    name.append("-damaged-").append(stamp);
    if (n > 1) name.append("-").append(std::to_string(n));
    const fs::path candidate = p.parent_path() / (name + p.extension().string());
    std::error_code ec;
    if (!fs::exists(candidate, ec)) return candidate.string();
  }
}

std::string Reason(sqlite3* db, int rc) {
  if (db != nullptr && sqlite3_errcode(db) == rc) return sqlite3_errmsg(db);
  return sqlite3_errstr(rc);
}

// The anchor's text: "<seq> <hash>\n". One that is not such a text counts as none: a crash may
// leave it so, and one removed says no more.
struct Anchor {
  bool read = false;
  std::int64_t seq = 0;
  std::string hash;
};

Anchor ReadAnchor(const std::string& path) {
  Anchor a;
  std::FILE* f = std::fopen(path.c_str(), "re");
  if (f == nullptr) return a;
  char text[128] = {};
  const std::size_t n = std::fread(text, 1, sizeof text - 1, f);
  std::fclose(f);
  long long seq = 0;
  char hash[65] = {};
  int used = 0;
  if (std::sscanf(text, "%lld %64[0-9a-f]\n%n", &seq, hash, &used) == 2 &&
      static_cast<std::size_t>(used) == n && std::strlen(hash) == 64 && seq > 0) {
    a.read = true;
    a.seq = seq;
    a.hash = hash;
  }
  return a;
}

// Written whole beside it and renamed over it, so that a reader sees the old anchor or the new.
// Not synced: the entry itself is, and an anchor a crash leaves behind the journal is taken as
// it is, so the append keeps its time.
void WriteAnchor(const std::string& path, std::int64_t seq, const std::string& hash) {
  const std::string temporary = path + ".tmp";
  const int fd = ::open(temporary.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0) return;
  const std::string text = std::to_string(seq) + " " + hash + "\n";
  const bool written = ::fchmod(fd, 0600) == 0 &&
                       ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) ::unlink(temporary.c_str());
}

}  // namespace

std::string HashOf(const Entry& e) {
  std::string data;
  data.reserve(256);
  Put(data, e.prevHash);
  for (const std::string* field : {&e.timeUtc, &e.timeLocal}) Put(data, *field);
  for (std::int64_t n : {std::int64_t{e.manufacturer}, std::int64_t{e.deviceType}, e.deviceId}) {
    Put(data, std::to_string(n));
  }
  Put(data, e.tag);
  Put(data, e.link);
  Put(data, std::to_string(e.command));
  for (const std::string* field :
       {&e.field, &e.before, &e.sent, &e.readBack, &e.outcome, &e.asFound, &e.asLeft}) {
    Put(data, *field);
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned size = 0;
  EVP_Digest(data.data(), data.size(), digest, &size, EVP_sha256(), nullptr);
  return Hex(digest, size);
}

std::string DefaultPath() {
  const char* data = std::getenv("XDG_DATA_HOME");
  fs::path base;
  if (data != nullptr && data[0] == '/') {
    base = data;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') return {};
    base = fs::path(home) / ".local" / "share";
  }
  return (base / "kestrel7" / "journal.sqlite").string();
}

Journal::Journal(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}

Journal::~Journal() {
  sqlite3_finalize(last_);
  sqlite3_finalize(insert_);
  sqlite3_close_v2(db_);
}

std::unique_ptr<Journal> Journal::Open(const std::string& path, std::string& warning) {
  const std::string cannot = "Журнал изменений недоступен (" + path + "): ";
  const std::string tail = "; изменения записываются в прибор, но не в журнал.";
  std::error_code ec;
  const fs::path folder = fs::path(path).parent_path();
  if (!folder.empty() && !fs::exists(folder, ec)) {
    fs::create_directories(folder, ec);
    if (ec) {
      warning = cannot + ec.message() + tail;
      return nullptr;
    }
    ::chmod(folder.c_str(), 0700);
  }
  // Created by us with its mode, before SQLite makes it with the process's umask.
  const int fd = ::open(path.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) {
    warning = cannot + std::strerror(errno) + tail;
    return nullptr;
  }
  ::close(fd);

  std::string setAside;
  for (int attempt = 0; attempt < 2; ++attempt) {
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX,
                             nullptr);
    std::string mode;
    std::string check;
    if (rc == SQLITE_OK) {
      sqlite3_busy_timeout(db, kBusyTimeoutMs);
      rc = SingleText(db, "PRAGMA journal_mode=WAL", mode);
    }
    if (rc == SQLITE_OK) rc = SingleText(db, "PRAGMA quick_check", check);
    if (rc == SQLITE_OK && check != "ok") rc = SQLITE_CORRUPT;
    // A commit is on the disk before Append says it is done.
    if (rc == SQLITE_OK && !Exec(db, "PRAGMA synchronous=FULL")) rc = sqlite3_errcode(db);
    if (rc == SQLITE_OK && !Exec(db, kSchema)) rc = sqlite3_errcode(db);
    auto journal = rc == SQLITE_OK ? std::unique_ptr<Journal>(new Journal(db, path)) : nullptr;
    if (journal) {
      const std::string last = std::string("SELECT hash FROM entries ORDER BY seq DESC LIMIT 1");
      const std::string insert =
          std::string("INSERT INTO entries(") + (kColumns + 5) +
          ") VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";
      rc = sqlite3_prepare_v2(db, last.c_str(), -1, &journal->last_, nullptr);
      // A table of another shape under our name is as damaged as a broken file.
      if (rc == SQLITE_OK) rc = sqlite3_prepare_v2(db, insert.c_str(), -1, &journal->insert_, nullptr);
      if (rc == SQLITE_ERROR) rc = SQLITE_CORRUPT;
      if (rc == SQLITE_OK) {
        if (!setAside.empty()) {
          warning = "Журнал изменений был повреждён; он сохранён как " + setAside +
                    ", начат новый журнал " + path + ".";
        }
        return journal;
      }
      db = nullptr;  // the journal closes it
    }
    const std::string reason = Reason(db, rc);
    journal.reset();
    sqlite3_close_v2(db);
    if (!Damaged(rc) || attempt > 0) {
      warning = cannot + reason + tail;
      return nullptr;
    }
    setAside = AsideName(path);
    fs::rename(path, setAside, ec);
    if (ec) {
      warning = "Журнал изменений повреждён (" + path + ") и не может быть отложен: " +
                ec.message() + tail;
      return nullptr;
    }
    // The anchor belongs to the journal set aside; the new one begins without.
    for (const char* suffix : {"-wal", "-shm", ".head"}) {
      std::error_code ignored;
      if (fs::exists(path + suffix, ignored)) fs::rename(path + suffix, setAside + suffix, ignored);
    }
    const int fresh = ::open(path.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
    if (fresh >= 0) ::close(fresh);
  }
  return nullptr;
}

bool Journal::Append(Entry& entry, std::string& error) {
  if (entry.timeUtc.empty()) {
    TimeTexts(entry.timeUtc, entry.timeLocal, clock_ ? clock_() : std::chrono::system_clock::now());
  }
  // Taken before the last hash is read, so that two programs cannot both chain to it.
  if (!Exec(db_, "BEGIN IMMEDIATE")) {
    error = sqlite3_errmsg(db_);
    return false;
  }
  entry.prevHash = kGenesis;
  sqlite3_reset(last_);
  int rc = sqlite3_step(last_);
  if (rc == SQLITE_ROW) entry.prevHash = Text(last_, 0);
  sqlite3_reset(last_);
  entry.hash = HashOf(entry);
  if (rc == SQLITE_ROW || rc == SQLITE_DONE) {
    sqlite3_stmt* st = insert_;
    sqlite3_reset(st);
    Bind(st, 1, entry.timeUtc);
    Bind(st, 2, entry.timeLocal);
    sqlite3_bind_int(st, 3, entry.manufacturer);
    sqlite3_bind_int(st, 4, entry.deviceType);
    sqlite3_bind_int64(st, 5, entry.deviceId);
    Bind(st, 6, entry.tag);
    Bind(st, 7, entry.link);
    sqlite3_bind_int(st, 8, entry.command);
    Bind(st, 9, entry.field);
    Bind(st, 10, entry.before);
    Bind(st, 11, entry.sent);
    Bind(st, 12, entry.readBack);
    Bind(st, 13, entry.outcome);
    Bind(st, 14, entry.asFound);
    Bind(st, 15, entry.asLeft);
    Bind(st, 16, entry.prevHash);
    Bind(st, 17, entry.hash);
    rc = sqlite3_step(st);
    sqlite3_reset(st);
  }
  if (rc == SQLITE_DONE && Exec(db_, "COMMIT")) {
    entry.seq = sqlite3_last_insert_rowid(db_);
    AdvanceAnchor(entry);
    return true;
  }
  error = sqlite3_errmsg(db_);
  Exec(db_, "ROLLBACK");
  return false;
}

// The entry is stored whatever becomes of the anchor: a failure to write it only leaves the old
// one, which the next append tries again.
void Journal::AdvanceAnchor(const Entry& entry) {
  const std::string folderPath = fs::path(path_).parent_path().string();
  const int folder = ::open(folderPath.empty() ? "." : folderPath.c_str(),
                            O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return;
  // Two programs appending at once move the anchor one after the other, never back.
  ::flock(folder, LOCK_EX);
  const Anchor anchor = ReadAnchor(AnchorPath());
  bool advance = !anchor.read;
  if (anchor.read && anchor.seq < entry.seq) {
    // Only from the entry it names, unchanged: an anchor the journal has fallen behind is the
    // evidence that entries were removed from the end, and is kept.
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, "SELECT hash FROM entries WHERE seq = ?", -1, &st, nullptr) ==
        SQLITE_OK) {
      sqlite3_bind_int64(st, 1, anchor.seq);
      advance = sqlite3_step(st) == SQLITE_ROW && Text(st, 0) == anchor.hash;
    }
    sqlite3_finalize(st);
  }
  if (advance) WriteAnchor(AnchorPath(), entry.seq, entry.hash);
  ::close(folder);  // and the lock with it
}

std::vector<Entry> Journal::List(const Filter& filter) const {
  std::string sql = std::string("SELECT ") + kColumns + " FROM entries WHERE 1";
  if (filter.deviceId) sql += " AND device_id = ?1";
  if (filter.tag) sql += " AND tag = ?2";
  if (!filter.sinceUtc.empty()) sql += " AND time_utc >= ?3";
  sql += filter.newestFirst ? " ORDER BY seq DESC" : " ORDER BY seq";
  std::vector<Entry> out;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return out;
  if (filter.deviceId) sqlite3_bind_int64(st, 1, *filter.deviceId);
  if (filter.tag) Bind(st, 2, *filter.tag);
  if (!filter.sinceUtc.empty()) Bind(st, 3, filter.sinceUtc);
  while (sqlite3_step(st) == SQLITE_ROW) out.push_back(Row(st));
  sqlite3_finalize(st);
  return out;
}

std::vector<Problem> Journal::Verify() const {
  std::vector<Problem> problems;
  std::unordered_set<std::string> hashes;
  sqlite3_stmt* st = nullptr;
  const std::string sql = std::string("SELECT ") + kColumns + " FROM entries ORDER BY seq";
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
    problems.push_back({0, std::string("журнал не читается: ") + sqlite3_errmsg(db_)});
    return problems;
  }
  std::vector<Entry> entries;
  while (sqlite3_step(st) == SQLITE_ROW) entries.push_back(Row(st));
  sqlite3_finalize(st);
  for (const Entry& e : entries) hashes.insert(e.hash);

  std::string expected = kGenesis;
  std::int64_t previousSeq = 0;
  for (const Entry& e : entries) {
    const std::string n = std::to_string(e.seq);
    if (HashOf(e) != e.hash) {
      problems.push_back({e.seq, "запись " + n + " изменена после записи"});
    } else if (e.prevHash != expected) {
      if (hashes.count(e.prevHash) != 0) {
        problems.push_back({e.seq, "запись " + n + " стоит не на своём месте: порядок изменён"});
      } else if (e.seq > previousSeq + 1) {
        const std::string gap = e.seq == previousSeq + 2
                                    ? "запись " + std::to_string(previousSeq + 1) + " удалена"
                                    : "записи " + std::to_string(previousSeq + 1) + "–" +
                                          std::to_string(e.seq - 1) + " удалены";
        problems.push_back({e.seq, gap});
      } else {
        problems.push_back({e.seq, "запись перед записью " + n + " удалена или подменена"});
      }
    }
    expected = e.hash;
    previousSeq = e.seq;
  }

  const Anchor anchor = ReadAnchor(AnchorPath());
  if (anchor.read && previousSeq < anchor.seq) {
    const std::string named = " (по метке " + AnchorPath() + " последняя запись " +
                              std::to_string(anchor.seq) + ")";
    problems.push_back({previousSeq + 1, previousSeq == 0 ? "все записи удалены" + named
                                                          : "записи после " +
                                                                std::to_string(previousSeq) +
                                                                " удалены" + named});
  } else if (anchor.read) {
    const auto at = std::find_if(entries.begin(), entries.end(),
                                 [&](const Entry& e) { return e.seq == anchor.seq; });
    // One missing from the middle the chain has named already.
    if (at != entries.end() && at->hash != anchor.hash) {
      problems.push_back({anchor.seq, "запись " + std::to_string(anchor.seq) +
                                          " не совпадает с меткой конца журнала " + AnchorPath()});
    }
  }
  return problems;
}

std::string CsvOf(const std::vector<Entry>& entries) {
  auto quoted = [](const std::string& s) {
    if (s.find_first_of(",\"\n\r") == std::string::npos) return s;
    std::string out = "\"";
    for (char c : s) {
      if (c == '"') out += '"';
      out += c;
    }
    return out + "\"";
  };
  std::string out =
      "номер,время UTC,местное время,изготовитель,тип,номер прибора,тег,связь,команда,поле,"
      "было,послано,прочитано,результат,до калибровки,после калибровки,хеш\n";
  for (const Entry& e : entries) {
    const std::string cells[] = {std::to_string(e.seq),
                                 e.timeUtc,
                                 e.timeLocal,
                                 std::to_string(e.manufacturer),
                                 std::to_string(e.deviceType),
                                 std::to_string(e.deviceId),
                                 e.tag,
                                 e.link,
                                 std::to_string(e.command),
                                 e.field,
                                 e.before,
                                 e.sent,
                                 e.readBack,
                                 e.outcome,
                                 e.asFound,
                                 e.asLeft,
                                 e.hash};
    bool first = true;
    for (const std::string& cell : cells) {
      if (!first) out += ',';
      first = false;
      out += quoted(cell);
    }
    out += '\n';
  }
  return out;
}

std::optional<std::string> SinceUtc(const std::string& localDate) {
  std::tm t{};
  int matched = 0;
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  char extra = 0;
  matched = std::sscanf(localDate.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s,
                        &extra);
  // The length says which form it is, so that trailing text is not taken for a date.
  const std::size_t length = localDate.size();
  if (!((matched == 3 && length == 10) || (matched == 5 && length == 16) ||
        (matched == 6 && length == 19))) {
    return std::nullopt;
  }
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60 || y < 1970) {
    return std::nullopt;
  }
  t.tm_year = y - 1900;
  t.tm_mon = mo - 1;
  t.tm_mday = d;
  t.tm_hour = h;
  t.tm_min = mi;
  t.tm_sec = s;
  t.tm_isdst = -1;
  const std::time_t when = std::mktime(&t);
  if (when == static_cast<std::time_t>(-1)) return std::nullopt;
  std::tm u{};
  gmtime_r(&when, &u);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &u);
  return std::string(buf);
}

}  // namespace journal
