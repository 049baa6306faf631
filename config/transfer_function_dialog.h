// TChka: writes a new transfer function (command 47) to the transmitter.
#pragma once

#include <cstdint>

#include "fields/value_fields.h"
#include "data/selection_list.h"

class TChka : public TLista {
 public:
  static constexpr int kResourceId = 920;
  static constexpr std::uint8_t kCmdWriteTransferFunction = 47;

  // Control ids of dialog 920.
  enum : int {
    kCurrentField = 811,
    kCurrentLabel = 812,
    kNewLabel = 813,
    kNewCombo = 814,
  };

  TChka(ui::Window* parent, TDane& database, bool& changed, int& selectionMemory,
        const TSerialPortSettings& settings, ui::Window* panelWindow);

  static ui::DialogTemplate BuildTemplate();

  // 0 when idle, 47 while the write is in progress.
  std::uint8_t AwaitedCommand() const { return awaitedCommand_; }

 protected:
  void SetupWindow() override;
  void TransmitterSelected() override;
  void Send() override;
  ui::LResult EvReply() override;
  ui::LResult EvNoAnswer() override;
  ui::LResult EvStatusError() override;

 private:
  void ShowRecord();

  std::uint8_t awaitedCommand_ = 0;
  TEditChka current_;
  TComboChka new_;
};
