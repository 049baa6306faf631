// Current output calibration: trims the 4 mA and the 20 mA ends of the loop current.
#pragma once

#include <cstdint>

#include "fields/value_fields.h"
#include "data/selection_list.h"

class TKalPradu : public TLista {
 public:
  static constexpr int kResourceId = 922;

  // Control ids of dialog 922.
  enum : int {
    kReadingId = 811,
    kInstructionId = 812,
    kTabId = 813,
    kTrimButtonId = 814,
    kFinishButtonId = 815,
    kConfirmedCurrentId = 816,
  };

  static constexpr std::uint8_t kCmdFixedCurrent = 40;
  static constexpr std::uint8_t kCmdTrim4 = 45;
  static constexpr std::uint8_t kCmdTrim20 = 46;

  TKalPradu(ui::Window* parent, TDane& database, bool& changed, int& selectionMemory,
            const TSerialPortSettings& settings, ui::Window* panelWindow);

  static ui::DialogTemplate BuildTemplate();

  std::uint8_t AwaitedCommand() const { return awaited_; }
  float Value() const { return value_; }

 protected:
  void SetupWindow() override;
  void OnCommand(int id, unsigned code) override;
  void OnNotify(int id, unsigned code) override;
  void Send() override;
  ui::LResult EvReply() override;
  ui::LResult EvNoAnswer() override;
  ui::LResult EvStatusError() override;

 private:
  void SetButtonTexts();
  void Trim();
  void Finish();
  bool TabIsKnown() const;

  std::uint8_t awaited_ = 0;
  float value_ = 0.0f;
  TEditValue reading_;
  TEditValue confirmedCurrent_;
  ui::TabControl tab_;
  ui::ControlRef trimButton_;
};
