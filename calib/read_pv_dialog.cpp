#include "calib/read_pv_dialog.h"

#include <array>
#include <charconv>

#include "fields/catalogues.h"
#include "hart/operator_texts.h"
#include "hart/reply_data.h"
#include "hart/transmitter_model.h"
#include "ui/platform.h"

namespace calib {

std::string MeasuredValueText(float value) {
  constexpr std::size_t kFieldWidth = 10;
  constexpr int kSignificantDigits = 6;
  std::array<char, 64> buffer{};
  // to_chars with a precision is printf's %.6g in the C locale; the float is widened as a
  // variadic argument would be.
  const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                     static_cast<double>(value), std::chars_format::general,
                                     kSignificantDigits);
  std::string text(buffer.data(), written.ptr);
  if (text.size() < kFieldWidth) text.insert(0, kFieldWidth - text.size(), ' ');
  return text;
}

}  // namespace calib

namespace {

using ui::ControlKind;

constexpr std::uint8_t kCmdReadPrimaryVariable = 3;
constexpr int kLinkParam1 = 3;

// Positions on the client area, in pixels from its upper-left corner.
constexpr ui::Point kUnitAt{80, 10};
constexpr ui::Point kMilliampsAt{80, 90};
constexpr ui::Point kPressureAt{20, 20};
constexpr ui::Point kLoopCurrentAt{20, 100};
constexpr const char* kMilliamps = "[mA]";
constexpr ui::Color kBlue{0, 0, 255};


}  // namespace

ui::DialogTemplate TReadPV::BuildTemplate() {
  ui::DialogTemplate tpl;
  tpl.resourceId = kResourceId;
  tpl.caption = "Считывание Давления и Напряжения ";
  // The values are painted in the upper 170 pixels; the controls sit below them.
  tpl.rect = {20, 20, 232, 136};
  AddListControls(tpl);
  tpl.controls.push_back({kContinuousId, ControlKind::CheckBox, "Постоянное считывание",
                          {8, 117, 110, 10}, ui::kStyleTabStop});
  tpl.controls.push_back({kSendButtonId, ControlKind::DefPushButton, "Читай",
                          {122, 115, 50, 14}, ui::kStyleTabStop});
  tpl.controls.push_back(
      {ui::kIdCancel, ControlKind::PushButton, "Отмена", {176, 115, 50, 14}, ui::kStyleTabStop});
  return tpl;
}

ui::Font TReadPV::ValueFont() {
  ui::Font font;
  font.face = "Times New Roman";
  font.height = 66;
  font.width = 15;
  font.weight = 700;
  font.italic = false;
  font.quality = 2;            // proof quality
  font.pitchAndFamily = 0x12;  // variable pitch, roman family
  return font;
}

TReadPV::TReadPV(ui::Window* parent, TDane& database, bool& changed, int& selectionMemory,
                 const TSerialPortSettings& settings, ui::Window* panelWindow)
    : TLista(parent, BuildTemplate(), database, changed, selectionMemory, settings, panelWindow),
      continuous_(*this, kContinuousId) {}

void TReadPV::SetupWindow() {
  TLista::SetupWindow();
  if (RecordsExist()) PaintOnClientArea();
}

void TReadPV::TransmitterSelected() {
  TLista::TransmitterSelected();
  if (RecordsExist()) PaintOnClientArea();
}

void TReadPV::Send() {
  if (RecordsExist()) RequestReading();
}

void TReadPV::RequestReading() {
  const TDaneIPPC* record = CurrentRecord();
  if (record == nullptr) return;
  BuildCommand(record->manufacturerId, record->deviceType, record->preambles, record->deviceId,
               kCmdReadPrimaryVariable, kLinkParam1);
  KillTimer(kPaceTimerId);
  requestedAtMs_ = ui::ThePlatform().NowMs();
  StartReplyTimer();
}

void TReadPV::ContinueReading() {
  if (!continuous_.Checked()) return;
  const std::int64_t due = requestedAtMs_ + kPeriodMs - ui::ThePlatform().NowMs();
  if (due <= 0) {
    RequestReading();
  } else {
    SetTimer(kPaceTimerId, static_cast<int>(due));
  }
}

void TReadPV::OnTimer(int id) {
  if (id != kPaceTimerId) {
    TLista::OnTimer(id);
    return;
  }
  KillTimer(kPaceTimerId);
  if (continuous_.Checked()) RequestReading();
}

ui::LResult TReadPV::EvReply() {
  if (hart::ShortReplyRefused(*this, kCmdReadPrimaryVariable)) return 0;
  TLista::EvReply();
  const auto reply = Reply();
  // The one place where the simulated transmitter's reading is finer than its reply: its 152.23
  // and 6.2 are shown as it measures them, not cut to the three bytes the wire keeps.
  const hart::TransmitterModel simulated;
  loopCurrent_ = hart::ReadBack(simulated.loopCurrent, hart::DataFloat(reply, 0));
  unitCode_ = hart::DataByte(reply, 4);
  pressure_ = hart::ReadBack(simulated.pressure, hart::DataFloat(reply, 5));
  PaintOnClientArea();
  ContinueReading();
  return 0;
}

ui::LResult TReadPV::EvNoAnswer() {
  // The failed transaction is over: no reply of it may carry a continuous reading on.
  KillTimer(kReplyTimerId);
  MessageBox(hart::texts::kNoAnswer, "", ui::kMbOk | ui::kMbIconStop);
  return 0;
}

ui::LResult TReadPV::EvStatusError() {
  ContinueReading();
  return 0;
}

void TReadPV::Paint(ui::DeviceContext& dc) { PaintValues(dc, true); }

void TReadPV::PaintOnClientArea() {
  if (!IsCreated()) return;
  const auto dc = ClientContext();
  PaintValues(*dc, false);
}

// Each text is erased by drawing its previous content over it in the background colour, so
// nothing is invalidated and the display does not flicker in continuous reading.
void TReadPV::PaintValues(ui::DeviceContext& dc, bool answeringPaint) {
  const ui::Rect client = ClientRect();
  const ui::Color background = ui::ThePlatform().GetSysColor(ui::SysColor::ButtonFace);
  const auto at = [&client](ui::Point p) { return ui::Point{client.x + p.x, client.y + p.y}; };
  const auto draw = [&dc](ui::Point p, const std::string& text) { dc.TextOut(p.x, p.y, text); };

  dc.SetBkMode(ui::BkMode::Transparent);
  dc.SetTextColor(background);
  draw(at(kUnitAt), config::UnitByIndex(paintedUnitIndex_).name);
  paintedUnitIndex_ = static_cast<std::uint8_t>(config::UnitIndexOfCode(unitCode_));
  dc.SetTextColor(kBlue);
  draw(at(kUnitAt), config::UnitByIndex(paintedUnitIndex_).name);
  draw(at(kMilliampsAt), kMilliamps);

  const ui::Font previous = dc.SelectFont(ValueFont());
  dc.SetTextColor(background);
  draw(at(kPressureAt), calib::MeasuredValueText(paintedPressure_));
  draw(at(kLoopCurrentAt), calib::MeasuredValueText(paintedLoopCurrent_));
  dc.SetTextColor(kBlue);
  draw(at(kPressureAt), calib::MeasuredValueText(pressure_));
  draw(at(kLoopCurrentAt), calib::MeasuredValueText(loopCurrent_));
  if (!answeringPaint) {
    paintedPressure_ = pressure_;
    paintedLoopCurrent_ = loopCurrent_;
  }
  dc.SelectFont(previous);
}
