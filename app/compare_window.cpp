#include "app/compare_window.h"

#include <algorithm>

#include "ui/control.h"

namespace {

constexpr int kRows = 14;  // as many as CompareConfiguration gives
constexpr int kRowHeight = 12;
constexpr int kTop = 22;

ui::DialogTemplate CompareTemplate() {
  using ui::ControlKind;
  ui::DialogTemplate tpl;
  tpl.resourceId = TCompareWindow::kResourceId;
  tpl.caption = "Сравнить с прибором";
  const int bottom = kTop + kRows * kRowHeight;
  tpl.rect = {20, 20, 430, bottom + 46};
  tpl.controls = {
      {TCompareWindow::kHeaderFileId, ControlKind::Static, "В файле", {150, 8, 130, 10}},
      {TCompareWindow::kHeaderDeviceId, ControlKind::Static, "В приборе", {290, 8, 130, 10}},
  };
  for (int i = 0; i < kRows; ++i) {
    const int y = kTop + i * kRowHeight;
    tpl.controls.push_back({TCompareWindow::kRowMarkId + i, ControlKind::Static, "", {6, y + 1, 8, 10}});
    tpl.controls.push_back({TCompareWindow::kRowTickId + i, ControlKind::CheckBox, "",
                            {14, y, 134, 11}, ui::kStyleTabStop});
    tpl.controls.push_back({TCompareWindow::kRowFileId + i, ControlKind::Static, "", {150, y + 1, 136, 10}});
    tpl.controls.push_back({TCompareWindow::kRowDeviceId + i, ControlKind::Static, "", {290, y + 1, 136, 10}});
  }
  tpl.controls.push_back({TCompareWindow::kSummaryId, ControlKind::Static, "", {6, bottom + 6, 418, 10}});
  tpl.controls.push_back({TCompareWindow::kApplyId, ControlKind::PushButton,
                          "Записать конфигурацию в прибор", {196, bottom + 24, 156, 14},
                          ui::kStyleTabStop});
  tpl.controls.push_back({ui::kIdCancel, ControlKind::DefPushButton, "Закрыть",
                          {358, bottom + 24, 64, 14}, ui::kStyleTabStop});
  return tpl;
}

}  // namespace

TCompareWindow::TCompareWindow(ui::Window* parent, const TSerialPortSettings& settings,
                               const TDaneIPPC& file, const TDaneIPPC& device)
    : ui::Dialog(parent, CompareTemplate()), settings_(settings), file_(file), device_(device) {}

void TCompareWindow::SetupWindow() {
  ui::Dialog::SetupWindow();
  Show();
}

// A row is ticked where it differs and apply writes it; the others cannot be ticked.
void TCompareWindow::Show() {
  rows_ = CompareConfiguration(file_, device_);
  for (int i = 0; i < kRows; ++i) {
    const bool there = i < static_cast<int>(rows_.size());
    const ConfigRow row = there ? rows_[static_cast<std::size_t>(i)] : ConfigRow{};
    const bool writable = row.differs && row.part != ConfigPart::None;
    ui::CheckBox tick(*this, kRowTickId + i);
    tick.SetText(row.name + (row.compared ? "" : " *"));
    tick.SetChecked(writable);
    tick.Enable(writable);
    ui::ControlRef(*this, kRowFileId + i).SetText(row.inFile);
    ui::ControlRef(*this, kRowDeviceId + i).SetText(row.inDevice);
    ui::ControlRef(*this, kRowMarkId + i).SetText(row.differs ? "≠" : "");
    for (int id : {kRowTickId, kRowFileId, kRowDeviceId, kRowMarkId}) {
      ui::ControlRef(*this, id + i).Show(there);
    }
  }
  ui::ControlRef(*this, kSummaryId)
      .SetText(DifferenceCount(rows_) + " * не сравнивается; адрес и преамбулы не записываются.");
  ui::ControlRef(*this, kApplyId).Enable(!TickedParts().empty());
}

std::vector<ConfigPart> TCompareWindow::TickedParts() {
  std::vector<ConfigPart> parts;
  for (std::size_t i = 0; i < rows_.size() && i < static_cast<std::size_t>(kRows); ++i) {
    const ConfigPart part = rows_[i].part;
    if (part == ConfigPart::None) continue;
    const ui::CheckBox tick(*this, kRowTickId + static_cast<int>(i));
    if (tick.Checked() && std::find(parts.begin(), parts.end(), part) == parts.end()) {
      parts.push_back(part);
    }
  }
  std::sort(parts.begin(), parts.end());
  return parts;
}

void TCompareWindow::OnCommand(int id, unsigned code) {
  if (code != ui::kNotifyClicked) return;
  if (id == kApplyId) {
    Apply();
  } else if (id >= kRowTickId && id < kRowTickId + kRows) {
    ui::ControlRef(*this, kApplyId).Enable(!TickedParts().empty());
  }
}

void TCompareWindow::Apply() {
  const std::vector<ConfigPart> parts = TickedParts();
  if (parts.empty()) return;
  if (!SameKind(file_, device_) &&
      MessageBox("Запись сделана для другого изготовителя или типа прибора.\nЗаписать всё же?",
                 Caption(), ui::kMbYesNo | ui::kMbIconQuestion) != ui::kIdYes) {
    return;
  }
  TApplyDialog apply(this, settings_, file_, device_, parts);
  apply.Execute();
  std::string report;
  for (const TApplyDialog::Step& step : apply.Steps()) report += step.text + "\n";
  const bool done = apply.Finished() && !apply.Failed();
  report += apply.Summary();
  device_ = apply.Device();
  Show();
  MessageBox(report, Caption(), ui::kMbOk | (done ? ui::kMbIconInformation : ui::kMbIconStop));
}
