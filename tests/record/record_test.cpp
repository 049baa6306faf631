#include "record/record.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "record/packed_text.h"
#include "tests/support/fixture_records.h"
#include "tests/support/identified_record.h"

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
  EXPECT_EQ(DateText(200, 255, 128), "-56--1-2028");  // day and month signed, the year not
}

// What the test fixtures promise: no field that a request, the file or a display takes from the
// dialog's record can be mistaken for a default, the identified record or the bystander.
TEST(Record, FixtureRecordsDifferFieldByField) {
  struct Field {
    const char* name;
    std::function<bool(const TDaneIPPC&, const TDaneIPPC&)> same;
  };
#define K7_FIELD(f) Field{#f, [](const TDaneIPPC& a, const TDaneIPPC& b) { return a.f == b.f; }}
  const Field fields[] = {
      K7_FIELD(message),          K7_FIELD(pollingAddress),   K7_FIELD(manufacturerId),
      K7_FIELD(deviceType),       K7_FIELD(preambles),        K7_FIELD(specificRevision),
      K7_FIELD(softwareRevision), K7_FIELD(hardwareRevision), K7_FIELD(deviceFlags),
      K7_FIELD(alarmCode),        K7_FIELD(transferFunction), K7_FIELD(unitCode),
      K7_FIELD(writeProtect),     K7_FIELD(distributorCode),  K7_FIELD(deviceId),
      K7_FIELD(sensorSerial),     K7_FIELD(upperRange),       K7_FIELD(lowerRange),
      K7_FIELD(upperSensorLimit), K7_FIELD(lowerSensorLimit), K7_FIELD(minimumSpan),
      K7_FIELD(damping),          K7_FIELD(tag),              K7_FIELD(descriptor),
      K7_FIELD(dateDay),          K7_FIELD(dateMonth),        K7_FIELD(dateYear),
      K7_FIELD(recordYear),       K7_FIELD(recordDay),        K7_FIELD(recordMonth),
      K7_FIELD(assemblyNumber)};
#undef K7_FIELD
  const TDaneIPPC subject = UnlikeDefaultsRecord();
  const TDaneIPPC bystander = BystanderRecord();
  for (const Field& field : fields) {
    EXPECT_FALSE(field.same(subject, bystander)) << field.name;
    EXPECT_FALSE(field.same(subject, IdentifiedRecord())) << field.name;
    EXPECT_FALSE(field.same(subject, TDaneIPPC{})) << field.name;
  }
  EXPECT_EQ(subject.preambles, 9);
  EXPECT_EQ(subject.pollingAddress, 7);
  EXPECT_EQ(subject.manufacturerId, 0x26);
  EXPECT_EQ(subject.deviceType, 3);
  EXPECT_EQ(subject.deviceId, 0x0A1B2C);
  EXPECT_EQ(packed::DecodeForDisplay(subject.tag, 8), "ПД-107  ");
  EXPECT_EQ(packed::DecodeForDisplay(subject.descriptor, 16), "КОТЕЛ 2 ВЫХОД   ");
  EXPECT_EQ(packed::DecodeForDisplay(subject.message, 32), "ЦЕХ 4 ЛИНИЯ ПАРА ЗАМЕНА 2021    ");
  EXPECT_EQ(packed::DecodeForDisplay(bystander.tag, 8), "ТР-3    ");
  EXPECT_EQ(packed::DecodeForDisplay(bystander.descriptor, 16), "ВОДА ХОЛОДНАЯ   ");
  EXPECT_EQ(packed::DecodeForDisplay(bystander.message, 32), "НАСОСНАЯ 1 ЩИТ 5" + std::string(16, ' '));
}

}  // namespace
