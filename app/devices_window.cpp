#include "app/devices_window.h"

#include <algorithm>

#include "app/scan_command.h"
#include "data/data_panel.h"
#include "hart/reach_link.h"
#include "hart/simulated_link.h"
#include "ui/device_context.h"
#include "ui/platform.h"

namespace {

// The built-in simulated transmitter answers at any address; it is one device, at 0.
int LastAddressFor(const TSerialPortSettings& settings) {
  return dynamic_cast<hart::SimulatedLink*>(settings.link) != nullptr ? 0
                                                                      : hart::kLastPollingAddress;
}

constexpr int kWidthDu = 380;
constexpr int kHeightDu = 196;
constexpr ui::Rect kBarDu{7, 19, 366, 6};

bool SameDevice(const TDaneIPPC& a, const TDaneIPPC& b) {
  return a.manufacturerId == b.manufacturerId && a.deviceType == b.deviceType &&
         a.deviceId == b.deviceId;
}

ui::ControlTemplate Control(int id, ui::ControlKind kind, const char* text, ui::Rect rect,
                            std::uint32_t style = ui::kStyleTabStop) {
  ui::ControlTemplate c;
  c.id = id;
  c.kind = kind;
  c.text = text;
  c.rect = rect;
  c.style = style;
  return c;
}

}  // namespace

TDevicesWindow::TDevicesWindow(ui::Window* parent, TDane& database, TDataFile& file,
                               const TSerialPortSettings& settings, ui::Window* panel)
    : TDeviceScan(parent, BuildTemplate(), settings, 0, LastAddressFor(settings)),
      database_(database),
      file_(file),
      settings_(settings),
      panel_(panel) {}

ui::DialogTemplate TDevicesWindow::BuildTemplate() {
  using K = ui::ControlKind;
  ui::DialogTemplate tpl;
  tpl.resourceId = kResourceId;
  tpl.caption = "Поиск приборов";
  tpl.rect = {20, 20, kWidthDu, kHeightDu};
  tpl.controls = {
      Control(kProgressText, K::Static, "Поиск…", {7, 7, 366, 10}, ui::kStyleNone),
      Control(kList, K::ListBox, "", {7, 29, 366, 138}, ui::kStyleBorder | ui::kStyleTabStop),
      Control(kStop, K::PushButton, "Стоп", {7, 174, 56, 14}),
      Control(kAddChosen, K::PushButton, "Добавить выбранный", {118, 174, 104, 14},
              ui::kStyleTabStop | ui::kStyleDisabled),
      Control(kAddAll, K::PushButton, "Добавить все", {226, 174, 80, 14},
              ui::kStyleTabStop | ui::kStyleDisabled),
      Control(ui::kIdCancel, K::PushButton, "Закрыть", {310, 174, 63, 14}),
  };
  return tpl;
}

void TDevicesWindow::SetupWindow() {
  TDeviceScan::SetupWindow();
  onProgress = [this](int done, int total) {
    progress_ = total > 0 ? std::to_string(done) + " из " + std::to_string(total) : "";
    done_ = done;
    total_ = total;
    Show();
    Invalidate();
  };
  onFinished = [this] {
    progress_ = "Поиск окончен.";
    Show();
    Item(kStop)->SetEnabled(false);
    Item(kAddChosen)->SetEnabled(!listed_.empty());
    Item(kAddAll)->SetEnabled(!listed_.empty());
  };
  Begin();
}

void TDevicesWindow::Paint(ui::DeviceContext& dc) {
  const ui::Rect client = dc.Area();
  const double x = static_cast<double>(client.width) / kWidthDu;
  const double y = static_cast<double>(client.height) / kHeightDu;
  const ui::Rect bar{static_cast<int>(kBarDu.x * x), static_cast<int>(kBarDu.y * y),
                     static_cast<int>(kBarDu.width * x),
                     std::max(static_cast<int>(kBarDu.height * y), 4)};
  auto& platform = ui::ThePlatform();
  dc.FillRect(bar, platform.GetSysColor(ui::SysColor::ButtonShadow));
  const ui::Rect inside{bar.x + 1, bar.y + 1, bar.width - 2, bar.height - 2};
  dc.FillRect(inside, platform.GetSysColor(ui::SysColor::Window));
  if (total_ > 0) {
    const int filled = inside.width * std::clamp(done_, 0, total_) / total_;
    dc.FillRect({inside.x, inside.y, filled, inside.height}, ui::Color{50, 100, 180});
  }
}

void TDevicesWindow::Show() {
  listed_.clear();
  ui::ListBox list(*this, kList);
  const int chosen = list.Selection();
  list.Clear();
  int leftOut = 0;
  for (const FoundDevice& device : Found()) {
    if (!device.leftOut.empty()) {
      ++leftOut;
      continue;
    }
    if (device.identity.universalRevision == 0 && device.identity.deviceId == 0) continue;
    listed_.push_back(device);
    list.Add(FoundLine(device));
  }
  if (chosen >= 0 && chosen < list.Count()) list.SetSelection(chosen);
  std::string text = progress_ + "  Найдено приборов: " + std::to_string(listed_.size());
  if (leftOut > 0) text += ", пропущено шлюзом: " + std::to_string(leftOut);
  Item(kProgressText)->SetText(text);
}

void TDevicesWindow::OnCommand(int id, unsigned code) {
  if (code != ui::kNotifyClicked) return;
  if (id == kStop) {
    Stop();
  } else if (id == kAddAll && !Running()) {
    Add(listed_);
  } else if (id == kAddChosen && !Running()) {
    const int chosen = ui::ListBox(*this, kList).Selection();
    if (chosen >= 0 && chosen < static_cast<int>(listed_.size())) Add({listed_[chosen]});
  }
}

void TDevicesWindow::Add(const std::vector<FoundDevice>& devices) {
  // Each is identified with the link the window has, reaching it by its own address or index.
  auto* reaching = dynamic_cast<hart::ReachLink*>(settings_.link);
  std::optional<hart::ReachLink> around;
  if (reaching == nullptr) reaching = &around.emplace(*settings_.link, hart::Reach{}, false);
  TSerialPortSettings settings = settings_;
  settings.link = reaching;
  int added = 0;
  for (const FoundDevice& device : devices) {
    if (std::optional<TDaneIPPC> record =
            IdentifyReached(this, settings, *reaching, device.ReachOf())) {
      // A device the database already holds (the same long address) has its record renewed
      // rather than a second one beside it.
      std::size_t at = 0;
      while (at < database_.Count() && !SameDevice(database_.At(at), *record)) ++at;
      if (at < database_.Count()) {
        database_.At(at) = *record;
      } else if (!database_.Append(*record)) {
        break;
      }
      ++added;
      // Shown and flagged as each is stored: the next device's identification runs with the
      // panel in view.
      file_.ChangedFlag() = true;
      if (auto* panel = dynamic_cast<TMonitorHart*>(panel_)) panel->Refresh();
    }
  }
  Item(kProgressText)->SetText("Записано в базу данных: " + std::to_string(added));
}
