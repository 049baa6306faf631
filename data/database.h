// TDane: the transmitter records, held by value in the order they were appended.
#pragma once

#include <cstddef>
#include <vector>

#include "record/record.h"

class TDane {
 public:
  static constexpr std::size_t kInitialCapacity = 11;
  static constexpr std::size_t kGrowth = 10;

  // `maxCapacity` bounds the storage; appending beyond it fails as if memory had run out.
  explicit TDane(std::size_t maxCapacity = MaxCapacity());

  std::size_t Count() const { return count_; }
  std::size_t Capacity() const { return places_.size(); }

  // The record at index i, i < Count(); throws std::out_of_range otherwise.
  const TDaneIPPC& At(std::size_t i) const;
  TDaneIPPC& At(std::size_t i);

  // Storage place i, i < Capacity(), whatever the count: place 0 always exists and keeps its last
  // content after Clear(). Addresses change when an append grows the storage.
  const TDaneIPPC& Place(std::size_t i) const;
  TDaneIPPC& Place(std::size_t i);

  // Copies the record to the end; false only when the storage cannot grow (the record is dropped).
  bool Append(const TDaneIPPC& record);

  // The count becomes 0; capacity and the stored records stay in place.
  void Clear() { count_ = 0; }

  static std::size_t MaxCapacity();

 private:
  std::vector<TDaneIPPC> places_;
  std::size_t count_ = 0;
  std::size_t maxCapacity_;
};
