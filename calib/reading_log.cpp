#include "calib/reading_log.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <ctime>

#include "calib/trend_series.h"
#include "fields/catalogues.h"
#include "ui/safe_file.h"

namespace calib {
namespace {

std::string Padded(int value, int width) {
  std::array<char, 16> buffer{};
  const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  std::string text(buffer.data(), written.ptr);
  if (static_cast<int>(text.size()) < width) text.insert(0, static_cast<std::size_t>(width) - text.size(), '0');
  return text;
}

// The shortest text that reads back as the same float.
std::string FloatText(float value) {
  std::array<char, 32> buffer{};
  const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return std::string(buffer.data(), written.ptr);
}

std::string HexByte(std::uint8_t value) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  return std::string{'0', 'x', kDigits[value >> 4], kDigits[value & 0xF]};
}

// A field as CSV writes it: quoted when it holds a comma, a quote or a line break.
std::string Field(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

LocalTime ToLocalTime(std::int64_t epochMs) {
  std::int64_t seconds = epochMs / 1000;
  int millis = static_cast<int>(epochMs % 1000);
  if (millis < 0) {
    millis += 1000;
    --seconds;
  }
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm local{};
  localtime_r(&t, &local);
  return LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                   local.tm_min,         local.tm_sec,     millis};
}

std::string IsoLocalTime(std::int64_t epochMs) {
  const LocalTime t = ToLocalTime(epochMs);
  return Padded(t.year, 4) + "-" + Padded(t.month, 2) + "-" + Padded(t.day, 2) + "T" +
         Padded(t.hour, 2) + ":" + Padded(t.minute, 2) + ":" + Padded(t.second, 2) + "." +
         Padded(t.millisecond, 3);
}

std::string DateText(std::int64_t epochMs) {
  const LocalTime t = ToLocalTime(epochMs);
  return Padded(t.day, 2) + "." + Padded(t.month, 2) + "." + Padded(t.year, 4);
}

std::string ClockText(std::int64_t epochMs, bool withSeconds) {
  const LocalTime t = ToLocalTime(epochMs);
  std::string text = Padded(t.hour, 2);
  text += ':';
  text += Padded(t.minute, 2);
  if (withSeconds) {
    text += ':';
    text += Padded(t.second, 2);
  }
  return text;
}

ReadingLog::ReadingLog(std::FILE* out, bool owned, std::string name)
    : out_(out), owned_(owned), name_(std::move(name)) {}

ReadingLog::~ReadingLog() {
  if (owned_) std::fclose(out_);
}

std::unique_ptr<ReadingLog> ReadingLog::Create(const std::string& path, std::string& error) {
  if (path.empty()) {
    error = "Не указано имя файла CSV.";
    return nullptr;
  }
  std::string reason;
  std::FILE* file = ui::OpenForWriting(path, reason);
  if (file == nullptr) {
    error = "Не удалось создать файл CSV: " + path + "\n" + reason;
    return nullptr;
  }
  std::unique_ptr<ReadingLog> log(new ReadingLog(file, true, path));
  if (!log->Put(kHeader, error)) return nullptr;
  return log;
}

std::unique_ptr<ReadingLog> ReadingLog::OnStream(std::FILE* out, std::string name,
                                                 std::string& error) {
  std::unique_ptr<ReadingLog> log(new ReadingLog(out, false, std::move(name)));
  if (!log->Put(kHeader, error)) return nullptr;
  return log;
}

bool ReadingLog::Put(const std::string& text, std::string& error) {
  errno = 0;
  const bool written = std::fwrite(text.data(), 1, text.size(), out_) == text.size();
  // Each line goes to the system at once: a crash loses at most the line being written.
  if (written && std::fflush(out_) == 0) return true;
  error = "Не удалось записать в файл CSV: " + name_ + "\n" + ui::FileErrorText(errno);
  return false;
}

bool ReadingLog::Write(const PvReading& reading, std::string& error) {
  return Put(Line(reading), error);
}

std::string ReadingLog::Line(const PvReading& reading) {
  std::string line = IsoLocalTime(reading.atMs) + ",";
  if (reading.ok) {
    line += FloatText(reading.pv) + "," +
            Field(config::UnitByIndex(config::UnitIndexOfCode(reading.unitCode)).name) + "," +
            FloatText(reading.current);
  } else {
    line += ",,";
  }
  line += ",";
  if (reading.deviceStatus) line += HexByte(*reading.deviceStatus);
  return line + "\n";
}

void ReadingSummary::Range::Add(double v, std::int64_t countBefore) {
  if (countBefore == 0) {
    min = max = v;
  } else {
    min = std::min(min, v);
    max = std::max(max, v);
  }
  sum += v;
}

void ReadingSummary::Add(const PvReading& reading) {
  if (!reading.ok) {
    ++failures_;
    return;
  }
  // The first reading's unit holds for the whole run.
  if (readings_ == 0) unitCode_ = reading.unitCode;
  pv_.Add(ConvertPressure(reading.pv, reading.unitCode, unitCode_), readings_);
  current_.Add(reading.current, readings_);
  ++readings_;
}

std::string ReadingSummary::Line() const {
  std::string line = "Показаний: " + std::to_string(readings_ + failures_) +
                     ", сбоев: " + std::to_string(failures_);
  if (readings_ == 0) return line + "\n";
  const auto range = [this](const Range& r) {
    return "мин " + ValueText(r.min) + ", макс " + ValueText(r.max) + ", среднее " +
           ValueText(r.sum / static_cast<double>(readings_));
  };
  line += "; давление " + std::string(config::UnitByIndex(config::UnitIndexOfCode(unitCode_)).name) +
          ": " + range(pv_) + "; ток [мА]: " + range(current_);
  return line + "\n";
}

}  // namespace calib
