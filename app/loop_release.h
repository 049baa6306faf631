// Returns a loop current the program left fixed to normal (command 40 with 0) as the program
// closes, and waits for the transmitter's word.
#pragma once

#include "app/status_line.h"
#include "hart/komendy.h"

class TReleaseLoop : public TKomendy {
 public:
  static constexpr int kResourceId = 971;
  static constexpr int kTextId = 972;

  TReleaseLoop(ui::Window* parent, const TSerialPortSettings& settings, const FixedLoop& loop,
               int preambles);
  static ui::DialogTemplate BuildTemplate();

 protected:
  void SetupWindow() override;
  ui::LResult EvReply() override;
  ui::LResult EvNoAnswer() override;
  ui::LResult EvLineBusy() override;
  ui::LResult EvStatusError() override;

 private:
  ui::LResult Failed(const char* why);

  FixedLoop loop_;
  int preambles_;
};
