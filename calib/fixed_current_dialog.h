// Fixed loop current: forces the loop current to a typed value for loop tests, and back.
#pragma once

#include <cstdint>

#include "fields/value_fields.h"
#include "data/selection_list.h"

class TUstawPrad : public TLista {
 public:
  static constexpr int kResourceId = 950;

  // Control ids of dialog 950.
  enum : int {
    kFinishButtonId = 955,
    kCurrentId = 956,
  };
  static constexpr int kCurrentLimit = 40;

  static constexpr std::uint8_t kCmdFixedCurrent = 40;

  TUstawPrad(ui::Window* parent, TDane& database, bool& changed, int& selectionMemory,
             const TSerialPortSettings& settings, ui::Window* panelWindow);

  static ui::DialogTemplate BuildTemplate();

  // 40 once a request has been sent; replies do not reset it.
  std::uint8_t AwaitedCommand() const { return awaited_; }
  // The current in mA of the request last sent.
  float Value() const { return value_; }

 protected:
  void SetupWindow() override;
  void OnCommand(int id, unsigned code) override;
  void Send() override;
  ui::LResult EvReply() override;
  ui::LResult EvNoAnswer() override;
  ui::LResult EvStatusError() override;

 private:
  void Finish();
  void RequestCurrent(float value);

  std::uint8_t awaited_ = 0;
  float value_ = 0.0f;
  TEditValue current_;
};
