#include "fields/value_fields.h"

#include "fields/catalogues.h"
#include "fields/value_text.h"

void TEditUnits::ShowUnit(int code) const {
  SetText(config::UnitByIndex(config::UnitIndexOfCode(code)).name);
}

int TEditUnits::LookUpShownUnit() {
  const auto index = config::UnitIndexOfName(Text());
  if (!index) return 0;
  const config::UnitEntry& entry = config::UnitByIndex(*index);
  factor_ = entry.factor;
  return entry.code;
}

void TComboUnits::Fill() const {
  Clear();
  for (const config::UnitEntry& entry : config::UnitCatalogue()) Add(entry.name);
  SetSelection(0);
}

void TComboUnits::SelectUnit(int code) const { SetSelection(config::UnitIndexOfCode(code)); }

int TComboUnits::SelectedUnit() {
  const int index = Selection();
  if (index < 0 || index >= config::kUnitCount) return 0;
  const config::UnitEntry& entry = config::UnitByIndex(index);
  factor_ = entry.factor;
  return entry.code;
}

void TEditChka::ShowCharacteristic(int code) const {
  if (code >= 0 && code < config::kTransferFunctionSlots) SetText(config::TransferFunctionName(code));
}

int TEditChka::LookUpShownCharacteristic() const { return config::TransferFunctionOfName(Text()); }

void TComboChka::Fill() const {
  Clear();
  for (const char* name : config::TransferFunctionNames()) Add(name);
}

void TComboChka::SelectCharacteristic(int code) const {
  SetSelection(code >= 0 && code < config::kTransferFunctionSlots ? code : 0);
}

int TComboChka::SelectedCharacteristic() const {
  const int index = Selection();
  return index >= 0 && index < config::kTransferFunctionSlots ? index : 0;
}

void TEditValue::ShowValue(float v) const { SetText(config::ShowValueText(v)); }

float TEditValue::ReadValue() {
  value_ = config::ReadValueText(Text());
  return value_;
}
