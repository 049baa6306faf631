// The readings as CSV: one line per reading, written and flushed as it comes, so that a crash
// loses at most the line being written. UTF-8, a header in Russian, decimal points in every
// locale.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "calib/pv_reading.h"

namespace calib {

struct LocalTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// Milliseconds since the epoch in the computer's time zone.
LocalTime ToLocalTime(std::int64_t epochMs);
// "2026-12-07T14:05:30.400": ISO 8601 local time with milliseconds.
std::string IsoLocalTime(std::int64_t epochMs);
// "07.12.2026".
std::string DateText(std::int64_t epochMs);
// "14:05" or, with seconds, "14:05:30".
std::string ClockText(std::int64_t epochMs, bool withSeconds);

// The time is local without a zone offset, as a spreadsheet reads it; the status is written
// 0x4F, so that no spreadsheet takes it for a number; no byte-order mark, so that a file and
// standard output hold the same text.
class ReadingLog {
 public:
  static constexpr const char* kHeader = "Время,Давление,Единица,Ток [мА],Статус\n";

  // Creates (or empties) the file and writes the header: null when it cannot, with the reason in
  // Russian in `error`.
  static std::unique_ptr<ReadingLog> Create(const std::string& path, std::string& error);
  // Writes to a stream it does not own (standard output), header first.
  static std::unique_ptr<ReadingLog> OnStream(std::FILE* out, std::string name, std::string& error);
  ~ReadingLog();
  ReadingLog(const ReadingLog&) = delete;
  ReadingLog& operator=(const ReadingLog&) = delete;

  // The reading's line; false (with the reason in Russian in `error`) when it could not be
  // written.
  bool Write(const PvReading& reading, std::string& error);

  const std::string& Name() const { return name_; }

  // One line, with its line feed. A failed reading leaves the values empty.
  static std::string Line(const PvReading& reading);

 private:
  ReadingLog(std::FILE* out, bool owned, std::string name);
  bool Put(const std::string& text, std::string& error);

  std::FILE* out_;
  bool owned_;
  std::string name_;
};

// What a run of readings came to: counts, and the range and mean of each value.
class ReadingSummary {
 public:
  void Add(const PvReading& reading);
  std::int64_t Readings() const { return readings_; }
  std::int64_t Failures() const { return failures_; }
  // "Показаний: 25, сбоев: 0; давление [кПа]: мин …, макс …, среднее …; ток [мА]: …"
  std::string Line() const;

 private:
  struct Range {
    double min = 0.0;
    double max = 0.0;
    double sum = 0.0;
    void Add(double v, std::int64_t countBefore);
  };
  std::int64_t readings_ = 0;
  std::int64_t failures_ = 0;
  std::uint8_t unitCode_ = 0;
  Range pv_;
  Range current_;
};

}  // namespace calib
