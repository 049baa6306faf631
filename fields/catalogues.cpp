#include "fields/catalogues.h"

#include <array>

namespace config {
namespace {

// The names below are written as UTF-8 in the source; a compiler reading it otherwise would
// silently corrupt every unit name.
static_assert(sizeof("°") == 3, "source and execution character sets must be UTF-8");

constexpr std::array<UnitEntry, kUnitCount> kUnits{{
    {0, 0, "[Отсутствие]", 1.0},
    {1, 1, "[дюйм вод ст в 68°F]", 0.004021855017},
    {2, 2, "[дюйм рт ст в 0°C]", 0.000295301},
    {3, 3, "[фут вод ст в 60°F]", 0.000334892},
    {4, 4, "[мм вод ст в 68°F]", 0.102155157},
    {5, 5, "[мм рт ст в 0°C]", 0.00750062},
    {6, 6, "[PSI]", 0.000145032},
    {7, 7, "[Bar]", 0.00001},
    {8, 8, "[мBar]", 0.01},
    {9, 9, "[г/см2]", 0.01019716},
    {10, 10, "[кг/см2]", 0.00001019716},
    {11, 11, "[Па]", 1.0},
    {12, 12, "[кПа]", 0.001},
    {13, 13, "[торр]", 0.00750062},
    {14, 14, "[атм]", 0.00000986923},
    {15, 237, "[МПа]", 0.000001},
    {16, 238, "[дюйм вод ст в 4°C]", 0.004014752},
    {17, 239, "[мм вод ст в 4°C]", 0.101974445},
}};

constexpr int kLastPlainCode = 14;
constexpr int kFirstHighCode = 237;
constexpr int kLastHighCode = 239;

constexpr std::array<const char*, kTransferFunctionSlots> kTransferFunctions{
    "Линейная", "Корень 2 ст.", "", "", "", ""};

}  // namespace

std::span<const UnitEntry> UnitCatalogue() { return kUnits; }

int UnitIndexOfCode(int code) {
  if (code >= 0 && code <= kLastPlainCode) return code;
  if (code >= kFirstHighCode && code <= kLastHighCode) return code - kFirstHighCode + kLastPlainCode + 1;
  return 0;
}

const UnitEntry& UnitByIndex(int index) {
  if (index < 0 || index >= kUnitCount) return kUnits[0];
  return kUnits[static_cast<std::size_t>(index)];
}

std::optional<int> UnitIndexOfName(std::string_view name) {
  for (const UnitEntry& unit : kUnits) {
    if (name == unit.name) return unit.listIndex;
  }
  return std::nullopt;
}

std::span<const char* const> TransferFunctionNames() { return kTransferFunctions; }

std::string TransferFunctionName(int code) {
  if (code < 0 || code >= kTransferFunctionSlots) return {};
  return kTransferFunctions[static_cast<std::size_t>(code)];
}

int TransferFunctionOfName(std::string_view name) {
  for (int code = 0; code < kTransferFunctionSlots; ++code) {
    std::string_view slot = kTransferFunctions[static_cast<std::size_t>(code)];
    if (!slot.empty() && name == slot) return code;
  }
  return kNoTransferFunction;
}

}  // namespace config
