#include "calib/trend_series.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "fields/catalogues.h"

namespace calib {
namespace {

constexpr std::uint64_t kMaxTimeMs = (std::uint64_t{1} << 45) - 1;
// The ring grows in steps of this many samples until it reaches its capacity, so that a short
// session holds little and a long one never more than the capacity.
constexpr std::size_t kGrowthStep = 4096;

TrendSample MakeSample(std::int64_t atMs, TrendSample::Kind kind) {
  TrendSample s{};
  s.timeMs = static_cast<std::uint64_t>(std::clamp<std::int64_t>(atMs, 0, kMaxTimeMs));
  s.kind = kind;
  return s;
}

double Pow10(int exponent) { return std::pow(10.0, exponent); }

// Rounding to whole steps forgives what binary fractions add: 101.2 / 0.2 is 506, not 505.99...
double Floor(double steps) { return std::floor(steps + 1e-9); }
double Ceil(double steps) { return std::ceil(steps - 1e-9); }

// Steps of 1, 2 and 5 times a power of ten, from the first at or above `raw` upwards.
template <class Accept>
AxisScale FirstNiceStep(double raw, Accept accept) {
  int exponent = static_cast<int>(std::floor(std::log10(raw)));
  for (int guard = 0; guard < 40; ++exponent, ++guard) {
    for (const double mantissa : {1.0, 2.0, 5.0}) {
      const double step = mantissa * Pow10(exponent);
      if (step < raw * (1.0 - 1e-9)) continue;
      AxisScale scale;
      scale.step = step;
      scale.decimals = std::max(0, -exponent);
      if (accept(scale)) return scale;
    }
  }
  return AxisScale{};
}

// A flat range gets a width of its own: a hundredth of its value either side, or 1.
void Widen(double& min, double& max) {
  if (max > min) return;
  const double half = min != 0.0 ? std::abs(min) * 0.01 : 1.0;
  min -= half;
  max += half;
}

bool Usable(double min, double max) {
  return std::isfinite(min) && std::isfinite(max) && min <= max;
}

}  // namespace

PvReading TrendSample::ToReading() const {
  PvReading r;
  r.atMs = static_cast<std::int64_t>(timeMs);
  r.ok = kind == kReading;
  r.pv = pv;
  r.current = current;
  r.unitCode = static_cast<std::uint8_t>(unitCode);
  if (hasStatus) r.deviceStatus = static_cast<std::uint8_t>(status);
  return r;
}

TrendSeries::TrendSeries(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1)) {}

void TrendSeries::Push(const TrendSample& sample) {
  if (size_ < capacity_) {
    if (samples_.size() == samples_.capacity()) {
      samples_.reserve(std::min(capacity_, samples_.size() + kGrowthStep));
    }
    samples_.push_back(sample);
    if (sample.kind == TrendSample::kReading) lastReading_ = size_;
    ++size_;
    return;
  }
  const std::size_t slot = head_;
  samples_[slot] = sample;
  head_ = (head_ + 1) % capacity_;
  if (sample.kind == TrendSample::kReading) {
    lastReading_ = slot;
  } else if (lastReading_ == slot) {
    lastReading_.reset();
  }
}

void TrendSeries::Add(const PvReading& reading) {
  TrendSample s = MakeSample(reading.atMs, reading.ok ? TrendSample::kReading : TrendSample::kFailure);
  s.pv = reading.ok ? reading.pv : std::nanf("");
  s.current = reading.ok ? reading.current : std::nanf("");
  s.unitCode = reading.unitCode;
  s.hasStatus = reading.deviceStatus.has_value();
  s.status = reading.deviceStatus.value_or(0);
  Push(s);
  ++readings_;
  if (!reading.ok) ++failures_;
}

void TrendSeries::AddBreak(std::int64_t atMs) {
  // A break after a break, or at the start, says nothing new.
  if (size_ == 0 || At(size_ - 1).kind == TrendSample::kBreak) return;
  TrendSample s = MakeSample(atMs, TrendSample::kBreak);
  s.pv = std::nanf("");
  s.current = std::nanf("");
  Push(s);
}

void TrendSeries::Clear() {
  samples_.clear();
  samples_.shrink_to_fit();
  head_ = 0;
  size_ = 0;
  readings_ = 0;
  failures_ = 0;
  lastReading_.reset();
}

const TrendSample& TrendSeries::At(std::size_t i) const {
  return samples_[size_ < capacity_ ? i : (head_ + i) % capacity_];
}

std::size_t TrendSeries::FirstAtOrAfter(std::int64_t ms) const {
  std::size_t lo = 0;
  std::size_t hi = size_;
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    if (static_cast<std::int64_t>(At(mid).timeMs) < ms) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

std::optional<TrendSample> TrendSeries::LastReading() const {
  if (!lastReading_) return std::nullopt;
  return samples_[*lastReading_];
}

float ConvertPressure(float value, std::uint8_t fromUnit, std::uint8_t toUnit) {
  if (fromUnit == toUnit) return value;
  const int from = config::UnitIndexOfCode(fromUnit);
  const int to = config::UnitIndexOfCode(toUnit);
  if (from == 0 || to == 0) return value;
  return static_cast<float>(value / config::UnitByIndex(from).factor * config::UnitByIndex(to).factor);
}

std::optional<double> ChannelValue(const TrendSample& sample, Channel channel, std::uint8_t pvUnit) {
  if (sample.kind != TrendSample::kReading) return std::nullopt;
  if (channel == Channel::Current) return sample.current;
  return ConvertPressure(sample.pv, static_cast<std::uint8_t>(sample.unitCode), pvUnit);
}

SpanStats StatsOver(const TrendSeries& series, Channel channel, std::uint8_t pvUnit,
                    std::int64_t fromMs, std::int64_t toMs) {
  SpanStats stats;
  for (std::size_t i = series.FirstAtOrAfter(fromMs); i < series.Size(); ++i) {
    const TrendSample& s = series.At(i);
    if (static_cast<std::int64_t>(s.timeMs) > toMs) break;
    if (s.kind == TrendSample::kFailure) ++stats.failures;
    const std::optional<double> v = ChannelValue(s, channel, pvUnit);
    if (!v || !std::isfinite(*v)) continue;
    if (stats.readings == 0) {
      stats.min = *v;
      stats.max = *v;
    } else {
      stats.min = std::min(stats.min, *v);
      stats.max = std::max(stats.max, *v);
    }
    stats.sum += *v;
    ++stats.readings;
  }
  return stats;
}

int AxisScale::Intervals() const {
  return std::max(1, static_cast<int>(std::lround((high - low) / step)));
}

double AxisScale::Tick(int i) const {
  const double value = low + i * step;
  // No "-0.00" where a tick sits on zero.
  return std::abs(value) < step * 1e-9 ? 0.0 : value;
}

AxisScale NiceScale(double min, double max, int maxIntervals) {
  if (!Usable(min, max)) min = max = 0.0;
  Widen(min, max);
  maxIntervals = std::max(maxIntervals, 1);
  AxisScale result = FirstNiceStep((max - min) / maxIntervals, [&](AxisScale& s) {
    s.low = Floor(min / s.step) * s.step;
    s.high = Ceil(max / s.step) * s.step;
    return s.Intervals() <= maxIntervals;
  });
  return result;
}

AxisScale NiceScaleIntervals(double min, double max, int intervals) {
  if (!Usable(min, max)) min = max = 0.0;
  Widen(min, max);
  intervals = std::max(intervals, 1);
  return FirstNiceStep((max - min) / intervals, [&](AxisScale& s) {
    const double first = Floor(min / s.step);
    const double used = Ceil(max / s.step) - first;
    if (used > intervals) return false;
    const double spare = intervals - used;
    s.low = (first - std::floor(spare / 2.0)) * s.step;
    s.high = s.low + intervals * s.step;
    return true;
  });
}

std::string TickText(double value, int decimals) {
  std::array<char, 64> buffer{};
  const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                     std::chars_format::fixed, std::clamp(decimals, 0, 12));
  std::string text(buffer.data(), written.ptr);
  // A value that rounds to zero is written without a sign.
  if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
  return text;
}

std::string ValueText(double value) {
  std::array<char, 64> buffer{};
  const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                     std::chars_format::general, 6);
  return std::string(buffer.data(), written.ptr);
}

std::optional<double> ParseSeconds(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (text.empty() || text.size() > 32) return std::nullopt;
  std::string number(text);
  std::replace(number.begin(), number.end(), ',', '.');
  // Plain decimals only: no sign, exponent, infinity or hexadecimal.
  if (number.find_first_not_of("0123456789.") != std::string::npos) return std::nullopt;
  double value = 0.0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value,
                                            std::chars_format::fixed);
  if (error != std::errc() || end != number.data() + number.size()) return std::nullopt;
  return value;
}

std::int64_t NiceTimeStepMs(std::int64_t spanMs, int maxIntervals) {
  constexpr std::int64_t kS = 1000;
  constexpr std::int64_t kMin = 60 * kS;
  constexpr std::int64_t kH = 60 * kMin;
  constexpr std::array<std::int64_t, 18> kSteps{
      kS,       2 * kS,    5 * kS,     10 * kS, 15 * kS, 30 * kS,
      kMin,     2 * kMin,  5 * kMin,   10 * kMin, 15 * kMin, 30 * kMin,
      kH,       2 * kH,    3 * kH,     6 * kH,  12 * kH, 24 * kH};
  maxIntervals = std::max(maxIntervals, 1);
  for (const std::int64_t step : kSteps) {
    if (spanMs <= step * maxIntervals) return step;
  }
  return kSteps.back();
}

}  // namespace calib
