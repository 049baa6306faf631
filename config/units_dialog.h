// TUnits: writes a new pressure unit to the transmitter (command 44), then reads back its limits
// (14) and range (15) and converts the record's values to the new unit.
#pragma once

#include <cstdint>

#include "fields/value_fields.h"
#include "data/selection_list.h"

class TUnits : public TLista {
 public:
  static constexpr int kResourceId = 810;

  // Control ids of dialog 810.
  enum : int {
    kUnitFieldId = 811,
    kUnitFieldLabel = 812,
    kUnitComboLabel = 813,
    kUnitComboId = 814,
  };

  TUnits(ui::Window* parent, TDane& database, bool& changed, int& selectionMemory,
         const TSerialPortSettings& settings, ui::Window* panelWindow);

  static ui::DialogTemplate BuildTemplate();

  // 0 when idle, else the command of the step in progress: 44, 14 or 15.
  std::uint8_t AwaitedCommand() const { return awaited_; }
  // New unit per old unit, for the change in progress.
  double Ratio() const { return ratio_; }

  // Ignored while a change is in progress.
  void CloseWindow(int result = ui::kIdCancel) override;

 protected:
  void SetupWindow() override;
  void TransmitterSelected() override;
  void Send() override;
  ui::LResult EvReply() override;
  ui::LResult EvNoAnswer() override;
  ui::LResult EvLineBusy() override;
  ui::LResult EvStatusError() override;

 private:
  void ShowRecordUnit();
  void RequestRead(std::uint8_t command);
  void AcceptWrittenUnit(TDaneIPPC& record);

  TEditUnits unitField_;
  TComboUnits unitCombo_;
  std::uint8_t awaited_ = 0;
  // Units per pascal of the unit that the write in progress replaces, taken at Send: nothing the
  // operator does before the reply changes what the values are converted from.
  double oldFactor_ = 1.0;
  double ratio_ = 1.0;
};
