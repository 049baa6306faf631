// TDaneIPPC: everything known about one transmitter, held and copied by value.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace record_defaults {

// Packed-text fields start out as spaces: every four spaces pack to 82 08 20.
template <std::size_t N>
constexpr std::array<std::uint8_t, N> PackedSpaces() {
  static_assert(N % 3 == 0);
  std::array<std::uint8_t, N> bytes{};
  for (std::size_t i = 0; i < N; i += 3) {
    bytes[i] = 0x82;
    bytes[i + 1] = 0x08;
    bytes[i + 2] = 0x20;
  }
  return bytes;
}

inline constexpr std::size_t kCharacterisationSize = 117;
inline constexpr std::size_t kCurrentPairAt = 44;
inline constexpr std::size_t kAlternatingRunAt = 92;
inline constexpr std::size_t kAlternatingRunSize = 15;

constexpr std::array<float, kCharacterisationSize> Characterisation() {
  std::array<float, kCharacterisationSize> values{};
  values[kCurrentPairAt] = 4.0f;
  values[kCurrentPairAt + 1] = 20.0f;
  for (std::size_t i = 0; i < kAlternatingRunSize; ++i)
    values[kAlternatingRunAt + i] = i % 2 == 0 ? 4.0f : 20.0f;
  return values;
}

}  // namespace record_defaults

struct TDaneIPPC {
  std::array<std::uint8_t, 24> message = record_defaults::PackedSpaces<24>();
  std::uint8_t pollingAddress = 0;
  std::uint8_t expansionCode = 0;
  std::uint8_t manufacturerId = 0;
  std::uint8_t deviceType = 0;
  std::uint8_t preambles = 0;
  std::uint8_t universalRevision = 0;
  std::uint8_t specificRevision = 0;
  std::uint8_t softwareRevision = 0;
  std::uint8_t hardwareRevision = 0;
  std::uint8_t deviceFlags = 0;
  std::uint8_t alarmCode = 0;
  std::uint8_t transferFunction = 0;
  std::uint8_t unitCode = 0;
  std::uint8_t writeProtect = 0;
  std::uint8_t distributorCode = 0;
  std::int32_t deviceId = 0;
  std::int32_t sensorSerial = 0;
  float upperRange = 0.0f;
  float lowerRange = 0.0f;
  float upperSensorLimit = 0.0f;
  float lowerSensorLimit = 0.0f;
  float minimumSpan = 0.0f;
  float damping = 0.0f;
  // Runs of 6, 12, 3, 3, 6, 12, 2 zeros; the pair 4, 20 (44..45); 1 zero; three runs of
  // 15 zeros; 15 values alternating 4, 20 starting with 4 (92..106); two runs of 5 zeros.
  // Nothing reads or changes it and the data file leaves it out; it only travels with copies.
  std::array<float, record_defaults::kCharacterisationSize> characterisation =
      record_defaults::Characterisation();
  std::array<std::uint8_t, 6> tag = record_defaults::PackedSpaces<6>();
  std::array<std::uint8_t, 12> descriptor = record_defaults::PackedSpaces<12>();
  std::uint8_t dateDay = 0;
  std::uint8_t dateMonth = 0;
  std::uint8_t dateYear = 0;  // years since 1900
  std::int32_t recordYear = 0;
  std::uint8_t recordDay = 0;
  std::uint8_t recordMonth = 0;
  std::uint32_t assemblyNumber = 0;

  bool operator==(const TDaneIPPC&) const = default;
};

// Only the low 8 bits of the code count; never empty.
std::string ModelName(int deviceType);

// "d-m-yyyy", without leading zeros; day and month read as signed bytes (a day byte of 200 shows
// as -56, as the report prints it), the year as years since 1900.
std::string DateText(std::uint8_t day, std::uint8_t month, std::uint8_t year);
