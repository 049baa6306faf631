// The unit and transfer-function catalogues through which transmitter codes become text.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace config {

struct UnitEntry {
  int listIndex;      // position in the unit drop-down list
  uint8_t code;       // HART engineering-unit code
  const char* name;   // UTF-8, brackets included
  double factor;      // units in one pascal
};

inline constexpr int kUnitCount = 18;
inline constexpr int kTransferFunctionSlots = 6;
// What a transfer-function look-up returns when no named slot matches.
inline constexpr int kNoTransferFunction = 100;

std::span<const UnitEntry> UnitCatalogue();
// Codes without an entry map to index 0, "[Отсутствие]".
int UnitIndexOfCode(int code);
// Indexes outside 0..17 give entry 0.
const UnitEntry& UnitByIndex(int index);
// Exact match, first in catalogue order.
std::optional<int> UnitIndexOfName(std::string_view name);

// Six slots in code order; slots 2..5 exist but are empty.
std::span<const char* const> TransferFunctionNames();
// Empty for unnamed slots and for codes outside 0..5.
std::string TransferFunctionName(int code);
// The first named slot whose name matches exactly, else kNoTransferFunction.
int TransferFunctionOfName(std::string_view name);

}  // namespace config
