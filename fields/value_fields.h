// The fields through which every dialog shows and reads units, characteristics and values.
#pragma once

#include <cstdint>

#include "ui/control.h"

// Read-only field showing a unit name; keeps the factor of the unit it last looked up.
class TEditUnits : public ui::Edit {
 public:
  using ui::Edit::Edit;
  void ShowUnit(int code) const;
  // The code of the unit name shown (0 when nothing matches, the factor then unchanged).
  int LookUpShownUnit();
  double Factor() const { return factor_; }

 private:
  double factor_ = 1.0;
};

// Drop-down of the unit catalogue; keeps the factor of the unit last read from its selection.
class TComboUnits : public ui::ComboBox {
 public:
  using ui::ComboBox::ComboBox;
  void Fill() const;
  void SelectUnit(int code) const;
  // The selected entry's code; 0 with no valid selection, the factor then unchanged.
  int SelectedUnit();
  double Factor() const { return factor_; }

 private:
  double factor_ = 1.0;
};

class TEditChka : public ui::Edit {
 public:
  using ui::Edit::Edit;
  // Codes above 5 leave the text as it is.
  void ShowCharacteristic(int code) const;
  // The first named slot that matches the text, else 100.
  int LookUpShownCharacteristic() const;
};

class TComboChka : public ui::ComboBox {
 public:
  using ui::ComboBox::ComboBox;
  void Fill() const;
  void SelectCharacteristic(int code) const;
  int SelectedCharacteristic() const;
};

// Numeric field: shows a value rounded by its magnitude class; reads decimal text.
class TEditValue : public ui::Edit {
 public:
  using ui::Edit::Edit;
  void ShowValue(float v) const;
  float ReadValue();
  float Value() const { return value_; }

 private:
  float value_ = 0.0f;
};
