#include "data/database.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TDaneIPPC WithId(int id) {
  TDaneIPPC r;
  r.deviceId = id;
  r.characterisation[0] = static_cast<float>(id);  // copies carry the whole record
  return r;
}

TEST(Database, StartsEmptyWithElevenDefaultPlaces) {
  TDane db;
  EXPECT_EQ(db.Count(), 0u);
  ASSERT_EQ(db.Capacity(), 11u);
  for (std::size_t i = 0; i < db.Capacity(); ++i) EXPECT_EQ(db.Place(i), TDaneIPPC{}) << i;
  EXPECT_THROW(db.At(0), std::out_of_range);
  EXPECT_THROW(db.Place(11), std::out_of_range);
}

TEST(Database, GrowsByTenKeepingOrderAndDefaults) {
  TDane db;
  for (int id = 1; id <= 11; ++id) ASSERT_TRUE(db.Append(WithId(id)));
  EXPECT_EQ(db.Capacity(), 11u);
  const TDaneIPPC* oldStorage = &db.Place(0);

  ASSERT_TRUE(db.Append(WithId(12)));
  EXPECT_EQ(db.Capacity(), 21u);
  EXPECT_EQ(db.Count(), 12u);
  EXPECT_NE(&db.Place(0), oldStorage);  // new storage
  for (std::size_t i = 0; i < 12; ++i) EXPECT_EQ(db.At(i), WithId(static_cast<int>(i) + 1)) << i;
  for (std::size_t i = 12; i < 21; ++i) EXPECT_EQ(db.Place(i), TDaneIPPC{}) << i;
  EXPECT_THROW(db.At(12), std::out_of_range);

  for (int id = 13; id <= 22; ++id) ASSERT_TRUE(db.Append(WithId(id)));
  EXPECT_EQ(db.Capacity(), 31u);
  EXPECT_EQ(db.At(21), WithId(22));

  // Records are held by value: changing one in place leaves the appended original alone.
  TDaneIPPC original = WithId(99);
  ASSERT_TRUE(db.Append(original));
  db.At(22).deviceId = 5;
  EXPECT_EQ(original.deviceId, 99);
}

TEST(Database, ClearKeepsStorageAndPlaceZero) {
  TDane db;
  for (int id = 1; id <= 12; ++id) db.Append(WithId(id));
  db.Clear();
  EXPECT_EQ(db.Count(), 0u);
  EXPECT_EQ(db.Capacity(), 21u);
  EXPECT_EQ(db.Place(0), WithId(1));  // the data panel still shows it
  EXPECT_THROW(db.At(0), std::out_of_range);

  // Appending after a clear overwrites from place 0 and does not grow.
  db.Append(WithId(7));
  EXPECT_EQ(db.At(0), WithId(7));
  EXPECT_EQ(db.Place(1), WithId(2));
  EXPECT_EQ(db.Capacity(), 21u);
}

TEST(Database, AppendFailsOnlyWhenStorageCannotGrow) {
  TDane db(25);  // room for 21 places, not for 31
  for (int id = 1; id <= 21; ++id) ASSERT_TRUE(db.Append(WithId(id))) << id;
  EXPECT_FALSE(db.Append(WithId(22)));
  EXPECT_EQ(db.Count(), 21u);
  EXPECT_EQ(db.Capacity(), 21u);
  EXPECT_EQ(db.At(20), WithId(21));
}

}  // namespace

TEST(TDaneGrowth, SmallDatabasesGrowByTenLargeOnesByAnEighth) {
  TDane db;
  std::vector<std::size_t> capacities;
  for (int i = 0; i < 120; ++i) {
    ASSERT_TRUE(db.Append(TDaneIPPC{}));
    if (capacities.empty() || capacities.back() != db.Capacity()) capacities.push_back(db.Capacity());
  }
  EXPECT_EQ(capacities, (std::vector<std::size_t>{11, 21, 31, 41, 51, 61, 71, 81, 91, 102, 114, 128}));
}
