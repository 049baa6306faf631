// TDamping: writes a new damping value (command 34) to the transmitter.
#pragma once

#include <cstdint>

#include "config/kept_record.h"
#include "fields/value_fields.h"
#include "data/selection_list.h"

class TDamping : public TLista {
 public:
  static constexpr int kResourceId = 820;
  static constexpr std::uint8_t kCmdWriteDamping = 34;

  // Control ids of dialog 820.
  enum : int {
    kNewLabel = 821,
    kHint = 822,
    kCurrentLabel = 824,
    kCurrentField = 825,
    kNewField = 826,
  };
  static constexpr int kCurrentTextLimit = 8;
  static constexpr int kNewTextLimit = 40;

  TDamping(ui::Window* parent, TDane& database, bool& changed, int& selectionMemory,
           const TSerialPortSettings& settings, ui::Window* panelWindow);

  static ui::DialogTemplate BuildTemplate();

 protected:
  void SetupWindow() override;
  void CleanupWindow() override;
  void TransmitterSelected() override;
  void Send() override;
  ui::LResult EvReply() override;
  ui::LResult EvNoAnswer() override;
  ui::LResult EvLineBusy() override;
  ui::LResult EvStatusError() override;

 private:
  void ShowRecord();

  TEditValue current_;
  TEditValue new_;
  KeptRecord beforeWrite_;
};
