// Pressure calibration: trims the measurement at the start and the end of the set range.
#pragma once

#include <cstdint>

#include "fields/value_fields.h"
#include "data/selection_list.h"

class TKalCisnienia : public TLista {
 public:
  static constexpr int kResourceId = 900;

  // Control ids of dialog 900.
  enum : int {
    kCalibrationValueId = 901,
    kInstructionId = 902,
    kTabId = 903,
    kCalibrateButtonId = 904,
    kReadingValueId = 906,
    kUnitCalibrationId = 907,
    kUnitReadingId = 908,
  };

  static constexpr std::uint8_t kCmdReadPv = 1;
  static constexpr std::uint8_t kCmdCalibrateStart = 67;
  static constexpr std::uint8_t kCmdCalibrateEnd = 68;

  TKalCisnienia(ui::Window* parent, TDane& database, bool& changed, int& selectionMemory,
                const TSerialPortSettings& settings, ui::Window* panelWindow);

  static ui::DialogTemplate BuildTemplate();

  std::uint8_t AwaitedCommand() const { return awaited_; }
  float Value() const { return value_; }
  std::uint8_t UnitCode() const { return unitCode_; }

 protected:
  void SetupWindow() override;
  void OnCommand(int id, unsigned code) override;
  void OnNotify(int id, unsigned code) override;
  void TransmitterSelected() override;
  void Send() override;
  ui::LResult EvReply() override;
  ui::LResult EvNoAnswer() override;
  ui::LResult EvStatusError() override;

 private:
  void SetButtonTexts();
  void Calibrate();
  bool TabIsKnown() const;

  std::uint8_t awaited_ = 0;
  float value_ = 0.0f;
  std::uint8_t unitCode_ = 0;
  TEditValue calibrationValue_;
  TEditValue readingValue_;
  TEditUnits unitCalibration_;
  TEditUnits unitReading_;
  ui::TabControl tab_;
  ui::ControlRef calibrateButton_;
};
