// Range by applied pressure: sets the lower or upper range value to the pressure applied now.
#pragma once

#include <cstdint>

#include "data/selection_list.h"

class TZeroSpan : public TLista {
 public:
  static constexpr int kResourceId = 925;

  // Control ids of dialog 925.
  enum : int {
    kResultId = 361,
    kExplanationId = 862,
    kResultLabelId = 863,
    kSetEndButtonId = 864,
  };

  static constexpr std::uint8_t kCmdReadOutputInfo = 15;
  static constexpr std::uint8_t kCmdSetUpperRange = 36;
  static constexpr std::uint8_t kCmdSetLowerRange = 37;

  TZeroSpan(ui::Window* parent, TDane& database, bool& changed, int& selectionMemory,
            const TSerialPortSettings& settings, ui::Window* panelWindow);

  static ui::DialogTemplate BuildTemplate();

  // 0 idle, 36 or 37 while a set is in progress, 15 while the output information is read back.
  std::uint8_t AwaitedCommand() const { return awaited_; }

 protected:
  void SetupWindow() override;
  void OnCommand(int id, unsigned code) override;
  void TransmitterSelected() override;
  void Send() override;
  ui::LResult EvReply() override;
  ui::LResult EvNoAnswer() override;
  ui::LResult EvStatusError() override;
  void ShowCaution(std::uint8_t command, std::uint8_t code) override;

 private:
  void SetEnd(std::uint8_t command);

  std::uint8_t awaited_ = 0;
  ui::Edit result_;
};
