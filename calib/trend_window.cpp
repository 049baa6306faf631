#include "calib/trend_window.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <span>
#include <vector>

#include "fields/catalogues.h"
#include "hart/reply_data.h"
#include "ui/platform.h"

namespace {

using calib::Channel;
using calib::TrendSample;
using ui::ControlKind;

constexpr std::uint8_t kCmdReadPrimaryVariable = 3;
constexpr int kLinkParam1 = 3;

// The warning HART defines for command 3 (8, update failure): the reply still carries a reading.
// A local check until hart/ classes response codes for every command; then ask it instead.
bool WarningWithReading(std::uint8_t responseCode) { return responseCode == 8; }

// Plotted and logged as the transmitter sent them, every bit of each IEEE 754 single: a trend
// records what was measured, not what a record would keep.
calib::PvReading ReadingOf(std::span<const std::uint8_t> reply, std::int64_t atMs) {
  calib::PvReading reading;
  reading.atMs = atMs;
  reading.ok = true;
  reading.current = hart::DataSingle(reply, 0);
  reading.unitCode = hart::DataByte(reply, 4);
  reading.pv = hart::DataSingle(reply, 5);
  reading.deviceStatus = reply[hart::LayoutOf(reply).responseCode + 1];
  return reading;
}

// Save dialog flags: ask before overwriting, no read-only box.
constexpr std::uint32_t kOfnOverwritePrompt = 0x0002;
constexpr std::uint32_t kOfnHideReadOnly = 0x0004;

constexpr const char* kCaption = "Тренд давления и тока";
constexpr const char* kPause = "Пауза";
constexpr const char* kContinue = "Продолжить";
constexpr const char* kCurrentUnit = "[мА]";
constexpr const char* kNoValue = "—";

// The controls stand in two rows along the top, narrow enough for a small screen at a large
// scale, «Закрыть» in the first; the chart fills the rest.
constexpr int kControlsBottomDu = 40;
constexpr const char* kBadPeriod = "Период — число от 0.4 до 60 с. Период не изменён.";
constexpr const char* kClearQuestion =
    "Очистить тренд? Показания этого сеанса пропадут с графика (файл CSV останется).";

const ui::Font kTextFont{"Arial", 15};
const ui::Font kSmallFont{"Arial", 13};
constexpr ui::Color kMutedColor{105, 105, 105};
constexpr ui::Color kErrorColor{200, 0, 0};
constexpr ui::Color kGridColor{224, 224, 224};
constexpr ui::Color kFrameColor{110, 110, 110};
constexpr int kLineWidth = 2;
constexpr int kRowHeight = 18;
constexpr int kMargin = 8;

calib::PvReading Failed(std::int64_t atMs) {
  calib::PvReading reading;
  reading.atMs = atMs;
  return reading;
}

std::int64_t WallClockNowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string UnitName(std::uint8_t code) {
  return config::UnitByIndex(config::UnitIndexOfCode(code)).name;
}

// File names offered by the save dialogs: the transmitter and when its session began.
std::string DefaultFileName(std::uint32_t deviceId, std::int64_t epochMs, const char* extension) {
  std::string when = calib::IsoLocalTime(epochMs).substr(0, 16);  // 2026-12-07T14:05
  when[10] = ' ';
  when[13] = '-';
  return "тренд " + std::to_string(deviceId) + " " + when + extension;
}

}  // namespace

struct TWykres::Layout {
  ui::Rect client;
  int top = 0;       // the chart region starts below the controls
  int columns[5]{};  // of the value table in the header
  ui::Rect plot;
  std::int64_t t0 = 0;
  std::int64_t t1 = 0;
  calib::AxisScale pvScale;
  calib::AxisScale currentScale;
  calib::SpanStats pvStats;
  calib::SpanStats currentStats;

  int X(std::int64_t t) const {
    return plot.x + static_cast<int>(std::lround(static_cast<double>(t - t0) * plot.width /
                                                 static_cast<double>(t1 - t0)));
  }
  static int Y(double v, const calib::AxisScale& scale, const ui::Rect& plot) {
    const double f = (v - scale.low) / (scale.high - scale.low);
    const int y = plot.y + plot.height - static_cast<int>(std::lround(f * plot.height));
    return std::clamp(y, plot.y, plot.y + plot.height);
  }
};

ui::DialogTemplate TWykres::Template() {
  ui::DialogTemplate tpl;
  tpl.resourceId = kResourceId;
  tpl.caption = kCaption;
  tpl.rect = {0, 0, 574, 318};
  tpl.style = ui::kStyleCaption | ui::kStyleSizingFrame | ui::kStyleSystemMenu;
  TLista::AddListControls(tpl);
  const auto button = [&tpl](int id, const char* text, ui::Rect r) {
    tpl.controls.push_back({id, ControlKind::PushButton, text, r, ui::kStyleTabStop});
  };
  button(kPauseId, kPause, {4, 4, 66, 14});  // wide enough for "Продолжить"
  button(kClearId, "Очистить", {72, 4, 56, 14});
  button(kSaveCsvId, "Сохранить CSV…", {132, 4, 84, 14});
  button(kSavePngId, "Сохранить PNG…", {220, 4, 84, 14});
  button(ui::kIdCancel, "Закрыть", {308, 4, 54, 14});
  button(kBackId, "◄", {4, 22, 28, 14});
  button(kNowId, "Сейчас", {34, 22, 48, 14});
  button(kForwardId, "►", {84, 22, 28, 14});
  tpl.controls.push_back(
      {kPeriodLabelId, ControlKind::Static, "Период, с:", {120, 25, 44, 10}, ui::kStyleRight});
  // Enter here applies the period; it never reaches the buttons.
  tpl.controls.push_back({kPeriodId, ControlKind::Edit, "0.4", {166, 22, 32, 14},
                          ui::kStyleBorder | ui::kStyleTabStop | ui::kStyleWantReturn, 7});
  return tpl;
}

TWykres::TWykres(ui::Window* parent, TDane& database, bool& changed, int& selectionMemory,
                 const TSerialPortSettings& settings, ui::Window* panelWindow)
    : TLista(parent, Template(), database, changed, selectionMemory, settings, panelWindow) {}

TWykres::~TWykres() = default;

TWykres* TWykres::Open(std::unique_ptr<TWykres>& window, ui::Window* parent, TDane& database,
                       bool& changed, int& selectionMemory, const TSerialPortSettings& settings,
                       ui::Window* panelWindow) {
  if (window && window->IsCreated()) {
    window->Show(true);
    return window.get();
  }
  window = std::make_unique<TWykres>(parent, database, changed, selectionMemory, settings,
                                     panelWindow);
  if (!window->CreateModeless()) {
    window.reset();
    return nullptr;
  }
  return window.get();
}

std::optional<int> TWykres::PeriodOfText(std::string_view text) {
  const std::optional<double> seconds = calib::ParseSeconds(text);
  if (!seconds) return std::nullopt;
  const double ms = std::round(*seconds * 1000.0);
  if (ms < kMinPeriodMs || ms > kMaxPeriodMs) return std::nullopt;
  return static_cast<int>(ms);
}

void TWykres::SetupWindow() {
  TLista::SetupWindow();
  // Without a transmitter the list base has told the operator and ended the window.
  if (Ended()) return;
  if (!wallAtZero_) wallAtZero_ = WallClockNowMs() - ui::ThePlatform().NowMs();
  const int heightDu = Template().rect.height;
  const ui::Rect client = ClientRect();
  if (heightDu > 0 && client.height > 0) {
    pixelsPerUnitY_ = static_cast<double>(client.height) / heightDu;
  }
  SetPeriodMs(periodMs_);
  BeginSession();
  RequestReading();
}

void TWykres::CleanupWindow() {
  KillTimer(kTickTimerId);
  log_.reset();
  TLista::CleanupWindow();
}

void TWykres::BeginSession() {
  const std::int64_t now = NowEpochMs();
  sessionStartMs_ = now;
  pausedAtMs_ = now;
  following_ = true;
  if (Database().Count() > 0) plotUnit_ = Database().At(0).unitCode;
  UpdateButtons();
  Invalidate();
}

std::int64_t TWykres::NowEpochMs() const {
  return wallAtZero_.value_or(0) + ui::ThePlatform().NowMs();
}

void TWykres::SetPeriodMs(int ms) {
  periodMs_ = std::clamp(ms, kMinPeriodMs, kMaxPeriodMs);
  periodTextBad_ = false;
  if (IsCreated()) Item(kPeriodId)->SetText(calib::ValueText(periodMs_ / 1000.0));
  ScheduleNext();
}

void TWykres::PeriodTyped() {
  // A period being typed may pass through texts that are none: it is only marked until Enter.
  periodTextBad_ = !PeriodOfText(Item(kPeriodId)->Text());
  Invalidate();
}

void TWykres::ApplyPeriod() {
  const std::optional<int> ms = PeriodOfText(Item(kPeriodId)->Text());
  if (!ms) {
    MessageBox(kBadPeriod, kCaption, ui::kMbOk | ui::kMbIconExclamation);
    return;
  }
  SetPeriodMs(*ms);
  Invalidate();
}

void TWykres::OnCommand(int id, unsigned code) {
  if (id == kPeriodId) {
    if (code == ui::kNotifyTextChanged) PeriodTyped();
    if (code == ui::kNotifyEnterPressed) ApplyPeriod();
    return;
  }
  if (code != ui::kNotifyClicked) return;
  switch (id) {
    case kPauseId:
      TogglePause();
      break;
    case kClearId:
      if (MessageBox(kClearQuestion, kCaption, ui::kMbYesNo | ui::kMbIconQuestion) != ui::kIdYes) {
        break;
      }
      series_.Clear();
      BeginSession();
      break;
    case kSaveCsvId:
      SaveCsv();
      break;
    case kSavePngId:
      SavePng();
      break;
    case kBackId:
      Scroll(-kVisibleMs / 2);
      break;
    case kForwardId:
      Scroll(kVisibleMs / 2);
      break;
    case kNowId:
      FollowLive();
      break;
    default:
      break;
  }
}

void TWykres::OnTimer(int id) {
  if (id == kTickTimerId) {
    Tick();
  } else {
    TLista::OnTimer(id);
  }
}

void TWykres::Tick() {
  KillTimer(kTickTimerId);
  if (!IsCreated()) return;
  if (waiting_) {
    // The outcome never came: the request gave way to another one on the line.
    Outcome(Failed(NowEpochMs()));
    return;
  }
  if (paused_) return;
  // One line carries one transaction at a time: while an operation dialog runs, the line is
  // its, and the curve has a break.
  const int otherModals = ui::ThePlatform().ModalDepth() - (IsModal() ? 1 : 0);
  if (otherModals > 0 || Database().Count() == 0) {
    heldOff_ = true;
    SetTimer(kTickTimerId, periodMs_);
    return;
  }
  RequestReading();
}

void TWykres::RequestReading() {
  if (Database().Count() == 0) return;
  if (heldOff_) {
    series_.AddBreak(NowEpochMs());
    heldOff_ = false;
  }
  // The record is taken afresh for each request: the database may change while the window
  // stays open.
  const TDaneIPPC& record = Database().At(0);
  BuildCommand(record.manufacturerId, record.deviceType, record.preambles, record.deviceId,
               kCmdReadPrimaryVariable, kLinkParam1);
  waiting_ = true;
  lastRequestMs_ = ui::ThePlatform().NowMs();
  SetTimer(kTickTimerId, kWatchdogMs);
  StartReplyTimer();
}

void TWykres::ScheduleNext() {
  if (!IsCreated() || waiting_ || paused_) return;
  const std::int64_t due = lastRequestMs_ + periodMs_ - ui::ThePlatform().NowMs();
  SetTimer(kTickTimerId, static_cast<int>(std::clamp<std::int64_t>(due, 0, kMaxPeriodMs)));
}

void TWykres::Outcome(const calib::PvReading& reading) {
  waiting_ = false;
  KillTimer(kTickTimerId);
  TakeReading(reading);
  ScheduleNext();
}

// Readings reach the plot, the log and the observer in the order they came.
void TWykres::TakeReading(const calib::PvReading& reading) {
  series_.Add(reading);
  if (log_) {
    std::string error;
    if (!log_->Write(reading, error)) StopLog(error);
  }
  if (observer_) observer_(reading);
  UpdateButtons();
  Invalidate();
}

const TDaneIPPC* TWykres::AddressedRecord() const {
  return Database().Count() > 0 ? &Database().At(0) : nullptr;
}

ui::LResult TWykres::EvReply() {
  // A reply too short for its data comes back as a status error.
  if (hart::ShortReplyRefused(*this, kCmdReadPrimaryVariable)) return 0;
  // Reading changes nothing in the record, so the data file stays as it was.
  Outcome(ReadingOf(Reply(), NowEpochMs()));
  return 0;
}

// Failures are gaps in the curve and counted; a trend shows no message box for them, so that the
// operator is not stopped every period.
ui::LResult TWykres::EvNoAnswer() {
  Outcome(Failed(NowEpochMs()));
  return 0;
}

ui::LResult TWykres::EvLineBusy() {
  Outcome(Failed(NowEpochMs()));
  return 0;
}

ui::LResult TWykres::EvStatusError() {
  const auto reply = Reply();
  if (WarningWithReading(hart::ResponseCode(reply)) &&
      hart::ReplyHolds(reply, hart::ReplyDataSize(kCmdReadPrimaryVariable))) {
    Outcome(ReadingOf(reply, NowEpochMs()));
    return 0;
  }
  calib::PvReading reading = Failed(NowEpochMs());
  reading.deviceStatus = reply[hart::LayoutOf(reply).responseCode + 1];
  Outcome(reading);
  return 0;
}

void TWykres::TogglePause() {
  const std::int64_t now = NowEpochMs();
  paused_ = !paused_;
  if (paused_) {
    // The picture holds still while paused.
    pausedAtMs_ = now;
    KillTimer(kTickTimerId);
    if (waiting_) SetTimer(kTickTimerId, kWatchdogMs);
  } else {
    heldOff_ = true;
    following_ = true;
    if (!waiting_) SetTimer(kTickTimerId, 0);
  }
  UpdateButtons();
  Invalidate();
}

std::int64_t TWykres::EarliestMs() const {
  return series_.Size() > 0 ? static_cast<std::int64_t>(series_.At(0).timeMs) : sessionStartMs_;
}

std::int64_t TWykres::ViewEndMs() const {
  if (!following_) return viewEndMs_;
  const std::int64_t live = paused_ ? pausedAtMs_ : NowEpochMs();
  return std::max(live, EarliestMs() + kVisibleMs);
}

void TWykres::Scroll(std::int64_t byMs) {
  const std::int64_t live = paused_ ? pausedAtMs_ : NowEpochMs();
  const std::int64_t end = std::max(ViewEndMs() + byMs, EarliestMs() + kVisibleMs);
  if (byMs > 0 && end >= live) {
    FollowLive();
    return;
  }
  viewEndMs_ = end;
  following_ = false;
  UpdateButtons();
  Invalidate();
}

void TWykres::FollowLive() {
  following_ = true;
  UpdateButtons();
  Invalidate();
}

void TWykres::UpdateButtons() {
  if (!IsCreated()) return;
  const auto set = [this](int id, bool enabled) {
    ui::Control* control = Item(id);
    if (control->Enabled() != enabled) control->SetEnabled(enabled);
  };
  ui::Control* pause = Item(kPauseId);
  const char* pauseText = paused_ ? kContinue : kPause;
  if (pause->Text() != pauseText) pause->SetText(pauseText);
  set(kBackId, ViewStartMs() > EarliestMs());
  set(kForwardId, !following_);
  set(kNowId, !following_);
}

bool TWykres::StartLog(std::unique_ptr<calib::ReadingLog> log, std::string& error) {
  for (std::size_t i = 0; i < series_.Size(); ++i) {
    const TrendSample& s = series_.At(i);
    if (s.kind == TrendSample::kBreak) continue;
    if (!log->Write(s.ToReading(), error)) {
      return false;
    }
  }
  log_ = std::move(log);
  Invalidate();
  return true;
}

void TWykres::StopLog(const std::string& why) {
  log_.reset();
  MessageBox(why + "\nЗапись в файл остановлена.", "", ui::kMbOk | ui::kMbIconStop);
  Invalidate();
}

void TWykres::SaveCsv() {
  ui::FileDialogData data;
  data.filter = "Файлы CSV (*.csv)|*.csv|Все файлы (*.*)|*.*|";
  data.defaultExt = "csv";
  data.flags = kOfnOverwritePrompt | kOfnHideReadOnly;
  const std::uint32_t deviceId = Database().Count() > 0 ? Database().At(0).deviceId : 0;
  data.fileName = DefaultFileName(deviceId, sessionStartMs_, ".csv");
  if (!ui::ThePlatform().SaveFileDialog(this, data)) return;
  std::string error;
  std::unique_ptr<calib::ReadingLog> log = calib::ReadingLog::Create(data.fileName, error);
  if (!log || !StartLog(std::move(log), error)) {
    MessageBox(error, "", ui::kMbOk | ui::kMbIconStop);
  }
}

void TWykres::SavePng() {
  ui::FileDialogData data;
  data.filter = "Рисунки PNG (*.png)|*.png|";
  data.defaultExt = "png";
  data.flags = kOfnOverwritePrompt | kOfnHideReadOnly;
  const std::uint32_t deviceId = Database().Count() > 0 ? Database().At(0).deviceId : 0;
  data.fileName = DefaultFileName(deviceId, NowEpochMs(), ".png");
  if (!ui::ThePlatform().SaveFileDialog(this, data)) return;
  // The chart and its legend, without the row of buttons above them.
  const ui::Rect client = ClientRect();
  const int top = static_cast<int>(std::lround(kControlsBottomDu * pixelsPerUnitY_));
  const ui::Rect chart{0, top, client.width, std::max(1, client.height - top)};
  if (!ui::ThePlatform().SaveImage(*this, data.fileName, chart)) {
    MessageBox("Не удалось сохранить рисунок в файл: " + data.fileName, "",
               ui::kMbOk | ui::kMbIconStop);
  }
}

// ---- Painting ----

TWykres::Layout TWykres::MakeLayout(ui::DeviceContext& dc) const {
  Layout l;
  l.client = dc.Area();
  l.top = static_cast<int>(std::lround(kControlsBottomDu * pixelsPerUnitY_));
  l.t1 = ViewEndMs();
  l.t0 = l.t1 - kVisibleMs;
  l.pvStats = calib::StatsOver(series_, Channel::Pv, plotUnit_, l.t0, l.t1);
  l.currentStats = calib::StatsOver(series_, Channel::Current, plotUnit_, l.t0, l.t1);

  // The value table: the row names, then four columns wide enough for any of their texts.
  dc.SelectFont(kTextFont);
  const int nameWidth = std::max(dc.TextWidth("Давление " + UnitName(plotUnit_)),
                                 dc.TextWidth(std::string("Ток ") + kCurrentUnit));
  l.columns[0] = kMargin;
  l.columns[1] = kMargin + nameWidth + 24;
  const int columnWidth = std::max(90, dc.TextWidth("-000.000e+00") + 16);
  for (int i = 2; i < 5; ++i) l.columns[i] = l.columns[i - 1] + columnWidth;

  const int plotTop = l.top + 4 * kRowHeight + 10 + kRowHeight;
  const int plotBottom = l.client.height - kMargin - kRowHeight;
  const int plotHeight = std::max(plotBottom - plotTop, 20);
  const int maxIntervals = std::clamp(plotHeight / 45, 2, 8);
  if (l.pvStats.readings > 0) {
    l.pvScale = calib::NiceScale(l.pvStats.min, l.pvStats.max, maxIntervals);
  } else if (const auto last = series_.LastReading()) {
    const double v = *calib::ChannelValue(*last, Channel::Pv, plotUnit_);
    l.pvScale = calib::NiceScale(v, v, maxIntervals);
  } else {
    l.pvScale = calib::NiceScale(0.0, 1.0, maxIntervals);
  }
  const int intervals = l.pvScale.Intervals();
  if (l.currentStats.readings > 0) {
    l.currentScale = calib::NiceScaleIntervals(l.currentStats.min, l.currentStats.max, intervals);
  } else {
    l.currentScale = calib::NiceScaleIntervals(4.0, 20.0, intervals);
  }

  dc.SelectFont(kSmallFont);
  int leftLabels = 0;
  int rightLabels = 0;
  for (int i = 0; i <= intervals; ++i) {
    leftLabels = std::max(leftLabels, dc.TextWidth(calib::TickText(l.pvScale.Tick(i), l.pvScale.decimals)));
    rightLabels = std::max(rightLabels, dc.TextWidth(calib::TickText(l.currentScale.Tick(i), l.currentScale.decimals)));
  }
  const int left = kMargin + std::max(leftLabels, 30) + 6;
  const int right = l.client.width - kMargin - std::max(rightLabels, 30) - 6;
  l.plot = ui::Rect{left, plotTop, std::max(right - left, 20), plotHeight};
  return l;
}

void TWykres::Paint(ui::DeviceContext& dc) {
  const ui::Font previous = dc.SelectFont(kTextFont);
  const Layout layout = MakeLayout(dc);
  const ui::Rect& c = layout.client;
  dc.FillRect({0, layout.top, c.width, c.height - layout.top},
              ui::ThePlatform().GetSysColor(ui::SysColor::ButtonFace));
  dc.SetBkMode(ui::BkMode::Transparent);
  PaintHeader(dc, layout);
  PaintPlot(dc, layout);
  dc.SelectFont(previous);
}

void TWykres::PaintHeader(ui::DeviceContext& dc, const Layout& l) const {
  const auto text = [&dc](int x, int y, ui::Color color, const std::string& s) {
    dc.SetTextColor(color);
    dc.TextOut(x, y, s);
  };
  int y = l.top;

  // Column heads, and the span in view on the right.
  dc.SelectFont(kSmallFont);
  const char* heads[4] = {"последнее", "мин", "макс", "среднее"};
  for (int i = 0; i < 4; ++i) text(l.columns[i + 1], y + 2, kMutedColor, heads[i]);
  const std::string span = "на экране " + calib::DateText(l.t0) + " " +
                           calib::ClockText(l.t0, true) + " – " + calib::ClockText(l.t1, true);
  text(l.client.width - kMargin - dc.TextWidth(span), y + 2, kMutedColor, span);
  y += kRowHeight;

  // One row per value: the last reading, and the range and mean of what is in view.
  dc.SelectFont(kTextFont);
  const std::optional<TrendSample> last = series_.LastReading();
  // Values carry two decimals more than their axis's ticks, so that the columns line up.
  const auto row = [&](const std::string& name, ui::Color color, Channel channel,
                       const calib::SpanStats& stats, const calib::AxisScale& scale) {
    const auto value = [&scale](double v) { return calib::TickText(v, scale.decimals + 2); };
    text(l.columns[0], y, color, name);
    const std::optional<double> lastValue =
        last ? calib::ChannelValue(*last, channel, plotUnit_) : std::nullopt;
    text(l.columns[1], y, color, lastValue ? value(*lastValue) : kNoValue);
    const bool any = stats.readings > 0;
    text(l.columns[2], y, color, any ? value(stats.min) : kNoValue);
    text(l.columns[3], y, color, any ? value(stats.max) : kNoValue);
    text(l.columns[4], y, color, any ? value(stats.Mean()) : kNoValue);
    y += kRowHeight;
  };
  row("Давление " + UnitName(plotUnit_), kPvColor, Channel::Pv, l.pvStats, l.pvScale);
  row(std::string("Ток ") + kCurrentUnit, kCurrentColor, Channel::Current, l.currentStats,
      l.currentScale);

  // The session: counts, period, and what the window is doing.
  dc.SelectFont(kSmallFont);
  std::string status = "Показаний: " + std::to_string(series_.Readings()) +
                       "   сбоев связи: " + std::to_string(series_.Failures()) +
                       "   период " + calib::ValueText(periodMs_ / 1000.0) + " с";
  if (paused_) status += "   ПАУЗА";
  if (log_) {
    const std::string& name = log_->Name();
    status += "   запись в файл: " + name.substr(name.find_last_of('/') + 1);
  }
  text(l.columns[0], y + 2, kTextColor, status);
  if (periodTextBad_) {
    text(l.columns[0] + dc.TextWidth(status) + 24, y + 2, kErrorColor,
         "Период — число от 0.4 до 60 с");
  }
}

void TWykres::PaintPlot(ui::DeviceContext& dc, const Layout& l) const {
  const ui::Rect& p = l.plot;
  const int bottom = p.y + p.height;
  const int rightEdge = p.x + p.width;
  dc.FillRect(p, kPlotBackground);

  // Gaps: where readings failed, the plot is shaded.
  const std::size_t first = series_.FirstAtOrAfter(l.t0);
  bool inGap = false;
  std::int64_t gapFrom = l.t0;
  std::int64_t previousMs = l.t0;
  const auto shade = [&](std::int64_t toMs) {
    const int x0 = l.X(std::max(gapFrom, l.t0));
    const int x1 = std::max(l.X(toMs), x0 + 2);
    dc.FillRect({x0, p.y, std::min(x1, rightEdge) - x0, p.height}, kGapColor);
    inGap = false;
  };
  for (std::size_t i = first; i < series_.Size(); ++i) {
    const TrendSample& s = series_.At(i);
    const auto t = static_cast<std::int64_t>(s.timeMs);
    if (t > l.t1) break;
    if (s.kind == TrendSample::kFailure) {
      if (!inGap) gapFrom = previousMs;
      inGap = true;
    } else if (inGap) {
      shade(previousMs);
    }
    previousMs = t;
  }
  if (inGap) shade(previousMs);

  // The grid: a line at each value tick and at each time tick.
  const int intervals = l.pvScale.Intervals();
  for (int i = 1; i < intervals; ++i) {
    dc.FillRect({p.x, bottom - i * p.height / intervals, p.width, 1}, kGridColor);
  }
  const std::int64_t step = calib::NiceTimeStepMs(kVisibleMs, std::max(2, p.width / 60));
  std::vector<std::int64_t> timeTicks;
  {
    // Ticks fall on round local times: whole minutes, five minutes, ...
    const calib::LocalTime lt = calib::ToLocalTime(l.t0);
    const std::int64_t ofDay =
        ((lt.hour * 60LL + lt.minute) * 60 + lt.second) * 1000 + lt.millisecond;
    const std::int64_t midnight = l.t0 - ofDay;
    for (std::int64_t t = midnight + (ofDay + step - 1) / step * step; t <= l.t1; t += step) {
      timeTicks.push_back(t);
    }
  }
  for (const std::int64_t t : timeTicks) {
    const int x = l.X(t);
    if (x > p.x && x < rightEdge) dc.FillRect({x, p.y, 1, p.height}, kGridColor);
  }

  // The curves: loop current first, the primary variable over it. Within one pixel column the
  // first, lowest, highest and last value are joined, so that a dense span keeps its extremes.
  const auto curve = [&](Channel channel, const calib::AxisScale& scale, ui::Color color) {
    std::vector<ui::Point> run;
    const auto finish = [&] {
      if (run.size() == 1) {
        dc.FillRect({run[0].x - 1, run[0].y - 1, 3, 3}, color);
      } else if (run.size() > 1) {
        dc.Polyline(run, color, kLineWidth);
      }
      run.clear();
    };
    const auto add = [&run](ui::Point point) {
      if (run.empty() || !(run.back() == point)) run.push_back(point);
    };
    struct Column {
      int x;
      double first, low, high, last;
    };
    std::optional<Column> column;
    const auto flush = [&] {
      if (!column) return;
      add({column->x, Layout::Y(column->first, scale, p)});
      add({column->x, Layout::Y(column->low, scale, p)});
      add({column->x, Layout::Y(column->high, scale, p)});
      add({column->x, Layout::Y(column->last, scale, p)});
      column.reset();
    };
    for (std::size_t i = first; i < series_.Size(); ++i) {
      const TrendSample& s = series_.At(i);
      const auto t = static_cast<std::int64_t>(s.timeMs);
      if (t > l.t1) break;
      const std::optional<double> v = calib::ChannelValue(s, channel, plotUnit_);
      if (!v || !std::isfinite(*v)) {
        flush();
        finish();
        continue;
      }
      const int x = l.X(t);
      if (column && column->x == x) {
        column->low = std::min(column->low, *v);
        column->high = std::max(column->high, *v);
        column->last = *v;
      } else {
        flush();
        column = Column{x, *v, *v, *v, *v};
      }
    }
    flush();
    finish();
  };
  curve(Channel::Current, l.currentScale, kCurrentColor);
  curve(Channel::Pv, l.pvScale, kPvColor);

  // The frame.
  dc.FillRect({p.x, p.y, p.width + 1, 1}, kFrameColor);
  dc.FillRect({p.x, bottom, p.width + 1, 1}, kFrameColor);
  dc.FillRect({p.x, p.y, 1, p.height}, kFrameColor);
  dc.FillRect({rightEdge, p.y, 1, p.height}, kFrameColor);

  // Tick labels: the primary variable on the left, the loop current on the right, each in its
  // curve's colour, and the time of day below.
  dc.SelectFont(kSmallFont);
  const int half = 7;  // half the label height: a label stands centred on its grid line
  for (int i = 0; i <= intervals; ++i) {
    const int y = bottom - i * p.height / intervals - half;
    const std::string pv = calib::TickText(l.pvScale.Tick(i), l.pvScale.decimals);
    dc.SetTextColor(kPvColor);
    dc.TextOut(p.x - 6 - dc.TextWidth(pv), y, pv);
    dc.SetTextColor(kCurrentColor);
    dc.TextOut(rightEdge + 6, y, calib::TickText(l.currentScale.Tick(i), l.currentScale.decimals));
  }
  const std::string pvUnit = UnitName(plotUnit_);
  dc.SetTextColor(kPvColor);
  dc.TextOut(p.x, p.y - kRowHeight, pvUnit);
  dc.SetTextColor(kCurrentColor);
  dc.TextOut(rightEdge - dc.TextWidth(kCurrentUnit), p.y - kRowHeight, kCurrentUnit);

  dc.SetTextColor(kTextColor);
  int labelsEnd = p.x - 1000;
  for (const std::int64_t t : timeTicks) {
    const std::string label = calib::ClockText(t, step < 60000);
    const int width = dc.TextWidth(label);
    const int x = l.X(t) - width / 2;
    if (x < labelsEnd + 8 || x + width > l.client.width - 2) continue;
    dc.TextOut(x, bottom + 4, label);
    labelsEnd = x + width;
  }

  if (series_.Size() == 0) {
    const std::string waiting = paused_ ? "Пауза" : "Ожидание показаний…";
    dc.SetTextColor(kMutedColor);
    dc.SelectFont(kTextFont);
    dc.TextOut(p.x + (p.width - dc.TextWidth(waiting)) / 2, p.y + p.height / 2 - 9, waiting);
  }
}
