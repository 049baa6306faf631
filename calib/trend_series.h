// What the trend window keeps and how it scales it: a ring of readings of fixed capacity, the
// statistics of a span of time, and axis scales with 1-2-5 tick steps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "calib/pv_reading.h"

namespace calib {

// One entry of the ring, packed into 16 bytes: a reading, a failed reading (a gap in the curve)
// or a break (the curve does not join across a pause).
struct TrendSample {
  enum Kind : std::uint8_t { kReading = 0, kFailure = 1, kBreak = 2 };

  std::uint64_t timeMs : 45;  // epoch milliseconds: 45 bits last past the year 3000
  std::uint64_t kind : 2;
  std::uint64_t hasStatus : 1;
  std::uint64_t unitCode : 8;
  std::uint64_t status : 8;
  float pv;
  float current;

  PvReading ToReading() const;
};
static_assert(sizeof(TrendSample) == 16);

class TrendSeries {
 public:
  // A day at the default period of 400 ms; a longer session loses its oldest samples.
  static constexpr std::size_t kCapacity = 24 * 3600 * 1000 / 400;

  explicit TrendSeries(std::size_t capacity = kCapacity);

  void Add(const PvReading& reading);
  void AddBreak(std::int64_t atMs);
  // Empties the ring and the counters.
  void Clear();

  std::size_t Size() const { return size_; }
  std::size_t Capacity() const { return capacity_; }
  // Oldest first.
  const TrendSample& At(std::size_t i) const;
  // The index of the first sample at or after `ms` (Size() when there is none).
  std::size_t FirstAtOrAfter(std::int64_t ms) const;
  std::optional<TrendSample> LastReading() const;

  // Since the last Clear, samples the ring has dropped included.
  std::int64_t Readings() const { return readings_; }
  std::int64_t Failures() const { return failures_; }
  // The heap the ring holds.
  std::size_t StorageBytes() const { return samples_.capacity() * sizeof(TrendSample); }

 private:
  void Push(const TrendSample& sample);

  std::size_t capacity_;
  std::vector<TrendSample> samples_;
  std::size_t head_ = 0;  // the oldest sample once the ring is full
  std::size_t size_ = 0;
  std::int64_t readings_ = 0;
  std::int64_t failures_ = 0;
  std::optional<std::size_t> lastReading_;  // physical index
};

// A pressure from one unit of the catalogue to another; unchanged when either unit is unknown.
float ConvertPressure(float value, std::uint8_t fromUnit, std::uint8_t toUnit);

enum class Channel { Pv, Current };

// A reading's value on a channel, the primary variable in `pvUnit`; empty unless a reading.
std::optional<double> ChannelValue(const TrendSample& sample, Channel channel, std::uint8_t pvUnit);

struct SpanStats {
  std::int64_t readings = 0;
  std::int64_t failures = 0;
  double min = 0.0;
  double max = 0.0;
  double sum = 0.0;
  double Mean() const { return readings > 0 ? sum / static_cast<double>(readings) : 0.0; }
};

// Over the samples with fromMs <= time <= toMs.
SpanStats StatsOver(const TrendSeries& series, Channel channel, std::uint8_t pvUnit,
                    std::int64_t fromMs, std::int64_t toMs);

// An axis from `low` to `high` in equal steps of 1, 2 or 5 times a power of ten.
struct AxisScale {
  double low = 0.0;
  double high = 1.0;
  double step = 1.0;
  int decimals = 0;  // what a tick label needs to tell the steps apart
  int Intervals() const;
  double Tick(int i) const;
};

// The tightest 1-2-5 scale over [min, max] with at most `maxIntervals` steps; a flat or empty
// range is widened around its value first.
AxisScale NiceScale(double min, double max, int maxIntervals);
// A 1-2-5 scale over [min, max] with exactly `intervals` steps, the data centred in it: the
// second axis of a chart, so that its ticks fall on the first axis's grid lines.
AxisScale NiceScaleIntervals(double min, double max, int intervals);
// A tick value with the scale's decimals and a decimal point, whatever the locale.
std::string TickText(double value, int decimals);
// A value in six significant digits, as printf's %g writes it in the C locale.
std::string ValueText(double value);

// A number of seconds as an operator types it: a decimal point or comma, blanks around it, and
// nothing else; empty when the text is not such a number.
std::optional<double> ParseSeconds(std::string_view text);

// A step for time ticks: 1, 2, 5, 10, 15 or 30 seconds or minutes, or 1, 2, 3, 6, 12 or 24
// hours, the smallest that gives at most `maxIntervals` steps over `spanMs`.
std::int64_t NiceTimeStepMs(std::int64_t spanMs, int maxIntervals);

}  // namespace calib
