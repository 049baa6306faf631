// Pressure zeroing: the transmitter takes the pressure applied now as its zero.
#pragma once

#include <cstdint>

#include "data/selection_list.h"

class TPvZero : public TLista {
 public:
  static constexpr int kResourceId = 860;

  // Control ids of dialog 860.
  enum : int {
    kResultId = 361,
    kResultLabelId = 863,
  };
  static constexpr int kResultLimit = 10;

  static constexpr std::uint8_t kCmdSetPvZero = 43;

  TPvZero(ui::Window* parent, TDane& database, bool& changed, int& selectionMemory,
          const TSerialPortSettings& settings, ui::Window* panelWindow);

  static ui::DialogTemplate BuildTemplate();

 protected:
  void SetupWindow() override;
  void TransmitterSelected() override;
  void Send() override;
  ui::LResult EvReply() override;
  ui::LResult EvNoAnswer() override;
  ui::LResult EvStatusError() override;

 private:
  ui::Edit result_;
};
