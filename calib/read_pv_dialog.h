// TReadPV: reads the pressure and the loop current (command 3) and paints them large on the
// dialog, once or continuously.
#pragma once

#include <cstdint>
#include <string>

#include "data/selection_list.h"
#include "ui/control.h"
#include "ui/device_context.h"

namespace calib {

// A measured value as printf's "%10g" writes it in the C locale, whatever the process locale.
std::string MeasuredValueText(float value);

}  // namespace calib

class TReadPV : public TLista {
 public:
  static constexpr int kResourceId = 890;

  // Control ids of dialog 890.
  enum : int {
    kContinuousId = 894,
  };
  // Continuous reading's own pace: a request a period after the last, however fast the link.
  static constexpr int kPaceTimerId = 150;
  static constexpr int kPeriodMs = THartProtokol::kReplyDelayMs;

  TReadPV(ui::Window* parent, TDane& database, bool& changed, int& selectionMemory,
          const TSerialPortSettings& settings, ui::Window* panelWindow);

  static ui::DialogTemplate BuildTemplate();
  // The face the values are painted in.
  static ui::Font ValueFont();

  float Pressure() const { return pressure_; }
  float LoopCurrent() const { return loopCurrent_; }

 protected:
  void SetupWindow() override;
  void TransmitterSelected() override;
  void Send() override;
  ui::LResult EvReply() override;
  ui::LResult EvNoAnswer() override;
  ui::LResult EvStatusError() override;
  void Paint(ui::DeviceContext& dc) override;
  void OnTimer(int id) override;

 private:
  void RequestReading();
  void ContinueReading();
  void PaintValues(ui::DeviceContext& dc, bool answeringPaint);
  void PaintOnClientArea();

  ui::CheckBox continuous_;
  float pressure_ = 0.0f;
  float paintedPressure_ = 0.0f;
  float loopCurrent_ = 0.0f;
  float paintedLoopCurrent_ = 0.0f;
  std::uint8_t unitCode_ = 0;
  std::uint8_t paintedUnitIndex_ = 0;
  std::int64_t requestedAtMs_ = 0;
};
