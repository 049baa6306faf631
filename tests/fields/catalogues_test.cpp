#include "fields/catalogues.h"

#include <climits>
#include <cstring>
#include <set>
#include <string>

#include <gtest/gtest.h>

namespace config {
namespace {

TEST(UnitCatalogue, HoldsTheEighteenUnitsInListOrder) {
  struct Expected {
    int code;
    const char* name;
    double factor;
  };
  const Expected expected[] = {
      {0, "[Отсутствие]", 1.0},
      {1, "[дюйм вод ст в 68°F]", 0.004021855017},
      {2, "[дюйм рт ст в 0°C]", 0.000295301},
      {3, "[фут вод ст в 60°F]", 0.000334892},
      {4, "[мм вод ст в 68°F]", 0.102155157},
      {5, "[мм рт ст в 0°C]", 0.00750062},
      {6, "[PSI]", 0.000145032},
      {7, "[Bar]", 0.00001},
      {8, "[мBar]", 0.01},
      {9, "[г/см2]", 0.01019716},
      {10, "[кг/см2]", 0.00001019716},
      {11, "[Па]", 1.0},
      {12, "[кПа]", 0.001},
      {13, "[торр]", 0.00750062},
      {14, "[атм]", 0.00000986923},
      {237, "[МПа]", 0.000001},
      {238, "[дюйм вод ст в 4°C]", 0.004014752},
      {239, "[мм вод ст в 4°C]", 0.101974445},
  };
  const auto units = UnitCatalogue();
  ASSERT_EQ(units.size(), 18u);
  ASSERT_EQ(static_cast<int>(units.size()), kUnitCount);
  for (std::size_t i = 0; i < units.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(units[i].listIndex, static_cast<int>(i));
    EXPECT_EQ(units[i].code, expected[i].code);
    EXPECT_STREQ(units[i].name, expected[i].name);
    EXPECT_EQ(units[i].factor, expected[i].factor);
  }
}

TEST(UnitCatalogue, NamesAreDistinctBracketedUtf8) {
  std::set<std::string> seen;
  for (const UnitEntry& unit : UnitCatalogue()) {
    const std::string name = unit.name;
    EXPECT_TRUE(seen.insert(name).second) << name;  // a duplicate would shadow the later entry
    EXPECT_EQ(name.front(), '[') << name;
    EXPECT_EQ(name.back(), ']') << name;
  }
  // The degree sign is U+00B0 in UTF-8, not the single Windows-1251 byte.
  EXPECT_STREQ(UnitByIndex(1).name, "[дюйм вод ст в 68\xC2\xB0" "F]");
  EXPECT_EQ(std::strlen(UnitByIndex(11).name), 6u);  // "[Па]": two Cyrillic letters, two bytes each
}

TEST(UnitCatalogue, FactorsThatAreMeantToCoincide) {
  EXPECT_EQ(UnitByIndex(0).factor, UnitByIndex(11).factor);  // no unit converts like pascal
  EXPECT_EQ(UnitByIndex(0).factor, 1.0);
  EXPECT_EQ(UnitByIndex(5).factor, UnitByIndex(13).factor);  // mm Hg and torr
  EXPECT_NE(UnitByIndex(4).factor, UnitByIndex(17).factor);  // water at 68°F and at 4°C differ
}

TEST(UnitCatalogue, IndexOfCode) {
  EXPECT_EQ(UnitIndexOfCode(0), 0);
  EXPECT_EQ(UnitIndexOfCode(1), 1);
  EXPECT_EQ(UnitIndexOfCode(12), 12);
  EXPECT_EQ(UnitIndexOfCode(14), 14);
  EXPECT_EQ(UnitIndexOfCode(15), 0);
  EXPECT_EQ(UnitIndexOfCode(20), 0);
  EXPECT_EQ(UnitIndexOfCode(236), 0);
  EXPECT_EQ(UnitIndexOfCode(237), 15);
  EXPECT_EQ(UnitIndexOfCode(238), 16);
  EXPECT_EQ(UnitIndexOfCode(239), 17);
  EXPECT_EQ(UnitIndexOfCode(240), 0);
  EXPECT_EQ(UnitIndexOfCode(255), 0);
  EXPECT_EQ(UnitIndexOfCode(237 + 256), 0);  // no truncation to a byte
  EXPECT_EQ(UnitIndexOfCode(-1), 0);
  EXPECT_EQ(UnitIndexOfCode(-256 + 237), 0);
  EXPECT_EQ(UnitIndexOfCode(INT_MIN), 0);
  EXPECT_EQ(UnitIndexOfCode(INT_MAX), 0);
}

TEST(UnitCatalogue, ByIndexRoundTripsWithCodes) {
  for (int index = 0; index < kUnitCount; ++index) {
    SCOPED_TRACE(index);
    EXPECT_EQ(UnitByIndex(index).listIndex, index);
    EXPECT_EQ(UnitIndexOfCode(UnitByIndex(index).code), index);
  }
  EXPECT_EQ(UnitByIndex(-1).listIndex, 0);
  EXPECT_EQ(UnitByIndex(18).listIndex, 0);
  EXPECT_EQ(UnitByIndex(237).listIndex, 0);  // a code is not an index
  EXPECT_EQ(UnitByIndex(INT_MIN).listIndex, 0);
}

TEST(UnitCatalogue, IndexOfNameNeedsAnExactMatch) {
  for (const UnitEntry& unit : UnitCatalogue()) EXPECT_EQ(UnitIndexOfName(unit.name), unit.listIndex) << unit.name;
  EXPECT_EQ(UnitIndexOfName("[Па]"), 11);   // not taken for the tail of "[кПа]"
  EXPECT_EQ(UnitIndexOfName("[кПа]"), 12);
  EXPECT_EQ(UnitIndexOfName("[МПа]"), 15);
  EXPECT_EQ(UnitIndexOfName(""), std::nullopt);
  EXPECT_EQ(UnitIndexOfName("кПа"), std::nullopt);
  EXPECT_EQ(UnitIndexOfName("[кПа] "), std::nullopt);
  EXPECT_EQ(UnitIndexOfName(" [кПа]"), std::nullopt);
  EXPECT_EQ(UnitIndexOfName("[КПА]"), std::nullopt);
  EXPECT_EQ(UnitIndexOfName("[кПа"), std::nullopt);
  EXPECT_EQ(UnitIndexOfName("[psi]"), std::nullopt);
  EXPECT_EQ(UnitIndexOfName("[мм рт ст в 0\xB0" "C]"), std::nullopt);  // Windows-1251 degree byte
  EXPECT_EQ(UnitIndexOfName(std::string("[Па]\0", 5)), std::nullopt);
}

TEST(TransferFunctionCatalogue, SixSlotsTwoNamed) {
  const auto names = TransferFunctionNames();
  ASSERT_EQ(names.size(), 6u);
  EXPECT_STREQ(names[0], "Линейная");
  EXPECT_STREQ(names[1], "Корень 2 ст.");
  for (std::size_t code = 2; code < names.size(); ++code) EXPECT_STREQ(names[code], "") << code;
}

TEST(TransferFunctionCatalogue, NameOfCode) {
  EXPECT_EQ(TransferFunctionName(0), "Линейная");
  EXPECT_EQ(TransferFunctionName(1), "Корень 2 ст.");
  EXPECT_EQ(TransferFunctionName(2), "");
  EXPECT_EQ(TransferFunctionName(5), "");
  EXPECT_EQ(TransferFunctionName(6), "");
  EXPECT_EQ(TransferFunctionName(100), "");
  EXPECT_EQ(TransferFunctionName(-1), "");
  EXPECT_EQ(TransferFunctionName(INT_MIN), "");
}

TEST(TransferFunctionCatalogue, CodeOfName) {
  EXPECT_EQ(TransferFunctionOfName("Линейная"), 0);
  EXPECT_EQ(TransferFunctionOfName("Корень 2 ст."), 1);
  EXPECT_EQ(TransferFunctionOfName(""), kNoTransferFunction);  // unnamed slots never match
  EXPECT_EQ(kNoTransferFunction, 100);
  EXPECT_EQ(TransferFunctionOfName("линейная"), 100);
  EXPECT_EQ(TransferFunctionOfName("Линейная "), 100);
  EXPECT_EQ(TransferFunctionOfName("Корень 2 ст"), 100);
  EXPECT_EQ(TransferFunctionOfName("0"), 100);
  EXPECT_EQ(TransferFunctionOfName(std::string("\0", 1)), 100);
}

}  // namespace
}  // namespace config
