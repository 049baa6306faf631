#include "record/record.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "record/packed_text.h"

namespace {

std::uint32_t Bits(float x) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &x, sizeof bits);
  return bits;
}

TEST(Record, IsAPlainValueType) {
  EXPECT_TRUE(std::is_trivially_copyable_v<TDaneIPPC>);
  EXPECT_FALSE(std::is_polymorphic_v<TDaneIPPC>);
}

TEST(Record, NewRecordShowsBlankTextsZerosAndNoModel) {
  const TDaneIPPC r;
  EXPECT_EQ(packed::DecodeForDisplay(r.message, 32), std::string(32, ' '));
  EXPECT_EQ(packed::DecodeForDisplay(r.tag, 8), std::string(8, ' '));
  EXPECT_EQ(packed::DecodeForDisplay(r.descriptor, 16), std::string(16, ' '));
  EXPECT_EQ(DateText(r.dateDay, r.dateMonth, r.dateYear), "0-0-1900");
  EXPECT_EQ(ModelName(r.deviceType), "Отсутствие Информации.");

  const std::vector<int> integers{
      r.pollingAddress,   r.expansionCode,   r.manufacturerId,   r.deviceType,
      r.preambles,        r.universalRevision, r.specificRevision, r.softwareRevision,
      r.hardwareRevision, r.deviceFlags,     r.alarmCode,        r.transferFunction,
      r.unitCode,         r.writeProtect,    r.distributorCode,  r.deviceId,
      r.sensorSerial,     r.recordYear,      r.recordDay,        r.recordMonth,
      static_cast<int>(r.assemblyNumber)};
  for (std::size_t i = 0; i < integers.size(); ++i) EXPECT_EQ(integers[i], 0) << "field " << i;
  for (float x : {r.upperRange, r.lowerRange, r.upperSensorLimit, r.lowerSensorLimit,
                  r.minimumSpan, r.damping})
    EXPECT_EQ(Bits(x), 0u);
}

TEST(Record, CharacterisationBlockHasItsDefaultLayout) {
  // (run length, values) in the order the block is laid out.
  const std::vector<std::pair<std::size_t, std::vector<float>>> runs{
      {6, {0}},  {12, {0}}, {3, {0}},  {3, {0}},  {6, {0}},      {12, {0}}, {2, {0}},
      {2, {4, 20}}, {1, {0}}, {15, {0}}, {15, {0}}, {15, {0}}, {15, {4, 20}}, {5, {0}}, {5, {0}}};
  std::vector<float> expected;
  for (const auto& [length, pattern] : runs)
    for (std::size_t i = 0; i < length; ++i) expected.push_back(pattern[i % pattern.size()]);
  ASSERT_EQ(expected.size(), 117u);

  const TDaneIPPC r;
  ASSERT_EQ(r.characterisation.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(Bits(r.characterisation[i]), Bits(expected[i])) << "index " << i;
}

TEST(Record, CopyTakesTheCharacterisationAlong) {
  TDaneIPPC original;
  original.characterisation[116] = 1.5f;
  original.assemblyNumber = 11234;
  const TDaneIPPC copy = original;
  EXPECT_EQ(Bits(copy.characterisation[116]), Bits(1.5f));
  EXPECT_EQ(copy.assemblyNumber, 11234u);
  EXPECT_EQ(copy, original);
}

TEST(Record, ModelTableLooksAtTheLowEightBits) {
  EXPECT_EQ(ModelName(1), "TPG-4100");
  EXPECT_EQ(ModelName(2), "TDG-4100");
  EXPECT_EQ(ModelName(3), "TDG-4300");
  for (int code : {0, 4, 200, 255, 256, -1})
    EXPECT_EQ(ModelName(code), "Отсутствие Информации.") << code;
  EXPECT_EQ(ModelName(257), "TPG-4100");
  EXPECT_EQ(ModelName(0x1203), "TDG-4300");
}

TEST(Record, DateTextHasNoLeadingZerosAndCountsYearsFrom1900) {
  EXPECT_EQ(DateText(31, 8, 100), "31-8-2000");
  EXPECT_EQ(DateText(1, 1, 0), "1-1-1900");
  EXPECT_EQ(DateText(9, 12, 99), "9-12-1999");
  EXPECT_EQ(DateText(5, 10, 255), "5-10-2155");
}

}  // namespace
