#include "ui/headless/headless_platform.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "ui/printing.h"
#include "ui/utf8.h"

namespace ui {
namespace {

constexpr std::int64_t kModalLimitMs = 10 * 60 * 1000;

// Dialog units to pixels for the nominal 8-point dialog font (4 x 8 units per 6 x 13 pixels).
Rect DialogPixels(const DialogTemplate& tpl) {
  return Rect{tpl.rect.x * 6 / 4, tpl.rect.y * 13 / 8, tpl.rect.width * 6 / 4,
              tpl.rect.height * 13 / 8};
}

int FirstButton(unsigned flags) {
  switch (flags & kMbButtonMask) {
    case kMbYesNoCancel:
    case kMbYesNo:
      return kIdYes;
    default:
      return kIdOk;
  }
}

}  // namespace

Font RecordingContext::SelectFont(const Font& font) {
  Font previous = font_;
  font_ = font;
  return previous;
}

void RecordingContext::TextOut(int x, int y, std::string_view text) {
  DrawOp op;
  op.kind = DrawOp::Kind::Text;
  op.x = x;
  op.y = y;
  op.text = std::string(text);
  op.color = textColor_;
  op.font = font_;
  op.bkMode = bkMode_;
  ops_.push_back(std::move(op));
}

int RecordingContext::TextWidth(std::string_view text) {
  const int height = font_.height != 0 ? std::abs(font_.height) : font_.pointSize * 4 / 3;
  const int average = font_.width > 0 ? font_.width : std::max(1, height / 2);
  return static_cast<int>(utf8::Length(text)) * average;
}

void RecordingContext::FillRect(const Rect& rect, Color color) {
  DrawOp op;
  op.kind = DrawOp::Kind::Fill;
  op.rect = rect;
  op.color = color;
  ops_.push_back(std::move(op));
}

void RecordingContext::Polyline(std::span<const Point> points, Color color, int width) {
  DrawOp op;
  op.kind = DrawOp::Kind::Line;
  op.points.assign(points.begin(), points.end());
  op.color = color;
  op.penWidth = width;
  ops_.push_back(std::move(op));
}

HeadlessPlatform::HeadlessPlatform() = default;
HeadlessPlatform::~HeadlessPlatform() = default;

std::int64_t HeadlessPlatform::NowMs() const {
  if (!realTime_) return now_;
  const auto elapsed = std::chrono::steady_clock::now() - realStart_;
  return now_ + std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
}

void HeadlessPlatform::SetRealTime(bool on) {
  if (on == realTime_) return;
  if (on) {
    realStart_ = std::chrono::steady_clock::now();
  } else {
    now_ = NowMs();
  }
  realTime_ = on;
}

void HeadlessPlatform::SleepUntil(std::int64_t ms) const {
  if (!realTime_ || ms <= NowMs()) return;
  std::this_thread::sleep_until(realStart_ + std::chrono::milliseconds(ms - now_));
}

bool HeadlessPlatform::FireNext(std::optional<std::int64_t> until) {
  auto next = timers_.end();
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (until && it->second.due > *until) continue;
    if (next == timers_.end() || it->second.due < next->second.due ||
        (it->second.due == next->second.due && it->second.order < next->second.order)) {
      next = it;
    }
  }
  if (next == timers_.end()) return false;
  const TimerKey key = next->first;
  if (realTime_) {
    // The event loop of a real link: nothing to do until the timer is due.
    SleepUntil(next->second.due);
  } else {
    now_ = std::max(now_, next->second.due);
  }
  // Window timers repeat until killed.
  next->second.due = NowMs() + std::max(next->second.period, 1);
  next->second.order = ++timerOrder_;
  auto* window = const_cast<Window*>(key.first);
  window->SendMessage(kMsgTimer, static_cast<WParam>(key.second));
  return true;
}

void HeadlessPlatform::Advance(std::int64_t ms) {
  const std::int64_t until = NowMs() + std::max<std::int64_t>(ms, 0);
  while (FireNext(until)) {
  }
  if (realTime_) {
    SleepUntil(until);
  } else {
    now_ = std::max(now_, until);
  }
}

void HeadlessPlatform::RunUntil(const std::function<bool()>& done, std::int64_t limitMs) {
  const std::int64_t until = NowMs() + limitMs;
  while (!done() && FireNext(until)) {
  }
}

bool HeadlessPlatform::TimerRunning(const Window& window, int id) const {
  return timers_.count({&window, id}) != 0;
}

std::vector<std::pair<const Window*, int>> HeadlessPlatform::Timers() const {
  std::vector<std::pair<const Window*, int>> out;
  out.reserve(timers_.size());
  for (const auto& [key, timer] : timers_) out.push_back(key);
  return out;
}

void HeadlessPlatform::ClearRecords() {
  messageBoxes_.clear();
  fileDialogs_.clear();
  printedPages_.clear();
  popupMenus_.clear();
  imageRequests_.clear();
  statusLines_.clear();
}

void HeadlessPlatform::OnModal(int resourceId, std::function<void(Dialog&)> handler) {
  modalHandlers_[resourceId] = std::move(handler);
}

const std::vector<DrawOp>& HeadlessPlatform::Drawing(const Window& window) const {
  static const std::vector<DrawOp> kNothing;
  auto it = drawings_.find(&window);
  return it == drawings_.end() ? kNothing : it->second;
}

void HeadlessPlatform::ClearDrawing(const Window& window) { drawings_.erase(&window); }

void HeadlessPlatform::Paint(Window& window) {
  RecordingContext dc(drawings_[&window], ClientRect(window));
  window.SendMessage(kMsgEraseBackground, 0, reinterpret_cast<LParam>(static_cast<DeviceContext*>(&dc)));
  window.SendMessage(kMsgPaint, 0, reinterpret_cast<LParam>(static_cast<DeviceContext*>(&dc)));
}

bool HeadlessPlatform::IsAlive(const Window& window) const {
  return std::find(windows_.begin(), windows_.end(), &window) != windows_.end();
}

bool HeadlessPlatform::IsShown(const Window& window) const {
  auto it = shown_.find(&window);
  return it != shown_.end() && it->second;
}

void HeadlessPlatform::CreateWindow(Window& window) {
  windows_.push_back(&window);
  Rect rect{0, 0, 1024, 768};
  if (auto* dialog = dynamic_cast<Dialog*>(&window)) rect = DialogPixels(dialog->Template());
  rects_[&window] = rect;
  // Kept after the window goes, for a test to read; a new window starts its own.
  std::vector<std::string>& texts = statusLines_[&window];
  texts.clear();
  if (!window.StatusLine().empty()) texts.push_back(window.StatusLine());
}

void HeadlessPlatform::StatusLineChanged(Window& window) {
  statusLines_[&window].push_back(window.StatusLine());
}

const std::vector<std::string>& HeadlessPlatform::StatusLines(const Window& window) const {
  static const std::vector<std::string> kNone;
  auto it = statusLines_.find(&window);
  return it == statusLines_.end() ? kNone : it->second;
}

void HeadlessPlatform::DestroyWindow(Window& window) {
  windows_.erase(std::remove(windows_.begin(), windows_.end(), &window), windows_.end());
  KillTimers(window);
  rects_.erase(&window);
  shown_.erase(&window);
  drawings_.erase(&window);
}

void HeadlessPlatform::ShowWindow(Window& window, bool show) { shown_[&window] = show; }

Rect HeadlessPlatform::WindowRect(const Window& window) const {
  auto it = rects_.find(&window);
  return it == rects_.end() ? Rect{} : it->second;
}

void HeadlessPlatform::MoveWindow(Window& window, const Rect& rect) {
  if (IsAlive(window)) rects_[&window] = rect;
}

Rect HeadlessPlatform::ClientRect(const Window& window) const {
  const Rect r = WindowRect(window);
  return Rect{0, 0, r.width, r.height};
}

std::unique_ptr<DeviceContext> HeadlessPlatform::ClientContext(Window& window) {
  return std::make_unique<RecordingContext>(drawings_[&window], ClientRect(window));
}

void HeadlessPlatform::RunModal(Dialog& dialog) {
  ++modalDepth_;
  auto handler = modalHandlers_.find(dialog.ResourceId());
  if (handler != modalHandlers_.end()) {
    auto run = handler->second;  // the handler may replace itself
    run(dialog);
  } else if (anyModalHandler_) {
    auto run = anyModalHandler_;
    run(dialog);
  } else {
    RunUntil([&dialog] { return dialog.Ended(); }, kModalLimitMs);
  }
  if (!dialog.Ended()) dialog.EndDialog(kIdCancel);
  --modalDepth_;
}

void HeadlessPlatform::SetTimer(Window& window, int id, int ms) {
  timers_[{&window, id}] = Timer{NowMs() + std::max(ms, 0), ms, ++timerOrder_};
}

void HeadlessPlatform::KillTimer(Window& window, int id) { timers_.erase({&window, id}); }

void HeadlessPlatform::KillTimers(Window& window) {
  for (auto it = timers_.begin(); it != timers_.end();) {
    it = it->first.first == &window ? timers_.erase(it) : std::next(it);
  }
}

int HeadlessPlatform::MessageBox(Window*, const std::string& text, const std::string& caption,
                                 unsigned flags) {
  MessageBoxRecord box{text, caption, flags, FirstButton(flags)};
  if (!answers_.empty()) {
    box.answer = answers_.front();
    answers_.pop_front();
  } else if (boxAnswerer_) {
    auto answerer = boxAnswerer_;  // the answerer may replace itself
    box.answer = answerer(box);
  }
  messageBoxes_.push_back(box);
  return box.answer;
}

bool HeadlessPlatform::AnswerFileDialog(FileDialogData& data, bool save) {
  fileDialogs_.push_back(data);
  std::optional<std::string> answer;
  if (!fileAnswers_.empty()) {
    answer = std::move(fileAnswers_.front());
    fileAnswers_.pop_front();
  } else if (fileAnswerer_) {
    auto answerer = fileAnswerer_;
    answer = answerer(save, data);
  }
  if (!answer) return false;
  data.fileName = *answer;
  return true;
}

bool HeadlessPlatform::OpenFileDialog(Window*, FileDialogData& data) {
  return AnswerFileDialog(data, false);
}

bool HeadlessPlatform::SaveFileDialog(Window*, FileDialogData& data) {
  return AnswerFileDialog(data, true);
}

bool HeadlessPlatform::Print(Window*, Printout& printout, bool prompt) {
  if (prompt) {
    bool ok = true;
    if (!printAnswers_.empty()) {
      ok = printAnswers_.front();
      printAnswers_.pop_front();
    }
    if (!ok) return false;
  }
  for (int page = 1; page <= printout.PageCount(); ++page) {
    printedPages_.emplace_back();
    RecordingContext dc(printedPages_.back(), pageSize_);
    printout.PrintPage(dc, page);
  }
  return true;
}

bool HeadlessPlatform::SaveImage(Window& window, const std::string& path, std::optional<Rect> part) {
  imageRequests_.push_back(ImageRequest{&window, path, part});
  return true;
}

Color HeadlessPlatform::GetSysColor(SysColor which) const {
  switch (which) {
    case SysColor::ButtonFace:
      return Color{192, 192, 192};
    case SysColor::ButtonHighlight:
      return Color{255, 255, 255};
    case SysColor::ButtonShadow:
      return Color{128, 128, 128};
    case SysColor::WindowText:
      return Color{0, 0, 0};
    case SysColor::Window:
      return Color{255, 255, 255};
  }
  return Color{};
}

int HeadlessPlatform::TrackPopupMenu(Window&, const std::vector<std::string>& items, Point) {
  popupMenus_.push_back(items);
  int answer = -1;
  if (!popupAnswers_.empty()) {
    answer = popupAnswers_.front();
    popupAnswers_.pop_front();
  }
  return answer >= 0 && answer < static_cast<int>(items.size()) ? answer : -1;
}

bool HeadlessPlatform::PressToolbarButton(Window& window, int id) {
  if (!IsAlive(window) || window.Toolbar() == nullptr || modalDepth_ > 0 || id == 0) return false;
  const auto& buttons = window.Toolbar()->buttons;
  if (std::none_of(buttons.begin(), buttons.end(), [id](const ToolbarButton& b) { return b.id == id; })) {
    return false;
  }
  window.SendMessage(kMsgCommand, MakeWParam(id, kNotifyClicked));
  return true;
}

bool HeadlessPlatform::PressShortcut(Window& window, const std::string& keys) {
  if (!IsAlive(window) || window.Toolbar() == nullptr || keys.empty()) return false;
  for (const ToolbarButton& button : window.Toolbar()->buttons) {
    if (button.shortcut == keys) return PressToolbarButton(window, button.id);
  }
  return false;
}

void HeadlessPlatform::Broadcast(unsigned message, WParam wParam, LParam lParam) {
  const std::vector<Window*> targets = windows_;
  for (Window* window : targets) {
    if (IsAlive(*window) && window->Parent() == nullptr) window->SendMessage(message, wParam, lParam);
  }
}

}  // namespace ui
