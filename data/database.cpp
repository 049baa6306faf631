#include "data/database.h"

#include <algorithm>
#include <new>
#include <stdexcept>

TDane::TDane(std::size_t maxCapacity)
    : places_(kInitialCapacity), maxCapacity_(std::max(maxCapacity, kInitialCapacity)) {}

std::size_t TDane::MaxCapacity() { return std::vector<TDaneIPPC>().max_size(); }

const TDaneIPPC& TDane::At(std::size_t i) const {
  if (i >= count_) throw std::out_of_range("TDane::At");
  return places_[i];
}

TDaneIPPC& TDane::At(std::size_t i) {
  return const_cast<TDaneIPPC&>(static_cast<const TDane&>(*this).At(i));
}

const TDaneIPPC& TDane::Place(std::size_t i) const { return places_.at(i); }

TDaneIPPC& TDane::Place(std::size_t i) { return places_.at(i); }

bool TDane::Append(const TDaneIPPC& record) {
  if (count_ == places_.size()) {
    // Ten places at a time, as always; a large file grows by an eighth instead, so that
    // loading it takes time in proportion to its size rather than to its square.
    const std::size_t growth = std::max(kGrowth, places_.size() / 8);
    if (places_.size() > maxCapacity_ - growth) return false;
    try {
      // New storage of exactly the grown size, every place with the record defaults.
      std::vector<TDaneIPPC> grown(places_.size() + growth);
      std::copy(places_.begin(), places_.begin() + static_cast<std::ptrdiff_t>(count_),
                grown.begin());
      places_.swap(grown);
    } catch (const std::bad_alloc&) {
      return false;
    } catch (const std::length_error&) {
      return false;
    }
  }
  places_[count_] = record;
  ++count_;
  return true;
}
