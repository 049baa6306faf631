// The platform in memory: a virtual clock that tests advance, and every message box, file
// dialog, print job and painted text recorded and answered from queues the test fills.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ui/device_context.h"
#include "ui/dialog.h"
#include "ui/platform.h"

namespace ui {

struct DrawOp {
  enum class Kind { Text, Fill, Line };
  Kind kind = Kind::Text;
  int x = 0;
  int y = 0;
  std::string text;
  Color color;  // text colour, or the fill colour
  Font font;
  BkMode bkMode = BkMode::Opaque;
  Rect rect;  // fills
  std::vector<Point> points;  // lines
  int penWidth = 0;
};

// A device context that only records what is drawn on it.
class RecordingContext : public DeviceContext {
 public:
  RecordingContext(std::vector<DrawOp>& ops, Rect area) : ops_(ops), area_(area) {}
  void SetBkMode(BkMode mode) override { bkMode_ = mode; }
  void SetTextColor(Color color) override { textColor_ = color; }
  Color TextColor() const override { return textColor_; }
  Font SelectFont(const Font& font) override;
  void TextOut(int x, int y, std::string_view text) override;
  // Without glyphs every character is as wide as the font's average: its width, or half its
  // height.
  int TextWidth(std::string_view text) override;
  void FillRect(const Rect& rect, Color color) override;
  void Polyline(std::span<const Point> points, Color color, int width) override;
  Rect Area() const override { return area_; }

 private:
  std::vector<DrawOp>& ops_;
  Rect area_;
  BkMode bkMode_ = BkMode::Opaque;
  Color textColor_;
  Font font_{"System", 16};
};

struct MessageBoxRecord {
  std::string text;
  std::string caption;
  unsigned flags = 0;
  int answer = 0;
};

class HeadlessPlatform : public Platform {
 public:
  HeadlessPlatform();
  ~HeadlessPlatform() override;

  // The clock. Advance fires every timer that falls due within `ms`, in time order.
  void Advance(std::int64_t ms);
  // Fires timers, whenever due, until `done` holds or no timer is left or `limitMs` has passed.
  void RunUntil(const std::function<bool()>& done, std::int64_t limitMs);
  // Real time: the clock follows the steady clock from where it stood, and Advance, RunUntil
  // and modal dialogs sleep until the next timer is due. For a real link, whose bytes arrive in
  // real time; off again, the virtual clock goes on from the real time reached.
  void SetRealTime(bool on);
  bool RealTime() const { return realTime_; }
  std::int64_t NowMs() const override;
  bool TimerRunning(const Window& window, int id) const;
  void SetToday(Date date) { today_ = date; }
  Date Today() const override { return today_; }

  // A modal dialog with this resource id hands control to the handler; when the handler
  // returns and the dialog still runs, it is ended with the cancel result. Without a handler
  // the dialog runs on the clock until it ends (ten virtual minutes at most).
  void OnModal(int resourceId, std::function<void(Dialog&)> handler);
  // The handler of every modal dialog that has none of its own.
  void OnAnyModal(std::function<void(Dialog&)> handler) { anyModalHandler_ = std::move(handler); }
  void ClearModalHandlers() {
    modalHandlers_.clear();
    anyModalHandler_ = nullptr;
  }
  int ModalDepth() const override { return modalDepth_; }

  // Answers for message boxes; with none queued the answerer is asked, and without one a box
  // answers with its first button.
  void QueueAnswer(int answer) { answers_.push_back(answer); }
  void OnMessageBox(std::function<int(const MessageBoxRecord&)> answerer) {
    boxAnswerer_ = std::move(answerer);
  }
  const std::vector<MessageBoxRecord>& MessageBoxes() const { return messageBoxes_; }
  void ClearMessageBoxes() { messageBoxes_.clear(); }

  // Answers for the open and save dialogs: a name is OK with that name, nullopt is Cancel.
  // With none queued the answerer is asked (`save` tells the dialogs apart), and without one the
  // dialog is cancelled.
  void QueueFileAnswer(std::optional<std::string> answer) { fileAnswers_.push_back(std::move(answer)); }
  using FileAnswerer = std::function<std::optional<std::string>(bool save, const FileDialogData&)>;
  void OnFileDialog(FileAnswerer answerer) { fileAnswerer_ = std::move(answerer); }
  const std::vector<FileDialogData>& FileDialogs() const { return fileDialogs_; }

  // Print dialog answers (true: OK); with none queued the dialog is confirmed.
  void QueuePrintAnswer(bool ok) { printAnswers_.push_back(ok); }
  void SetPageSize(int width, int height) { pageSize_ = Rect{0, 0, width, height}; }
  const std::vector<std::vector<DrawOp>>& PrintedPages() const { return printedPages_; }
  int PrinterSetups() const { return printerSetups_; }

  // Window images asked for: nothing is written, the paths are kept.
  struct ImageRequest {
    const Window* window;
    std::string path;
    std::optional<Rect> part;
  };
  const std::vector<ImageRequest>& ImageRequests() const { return imageRequests_; }

  // What was painted on a window, through client contexts and paint messages.
  const std::vector<DrawOp>& Drawing(const Window& window) const;
  void ClearDrawing(const Window& window);
  // Sends the paint message with a recording paint context.
  void Paint(Window& window);

  // Pop-up menu answers (the index picked, -1 to dismiss); with none queued it is dismissed.
  void QueuePopupAnswer(int index) { popupAnswers_.push_back(index); }
  const std::vector<std::vector<std::string>>& PopupMenus() const { return popupMenus_; }
  bool QuitRequested() const { return quitRequested_; }

  // Forgets the boxes, file dialogs, printed pages and pop-up menus seen so far: a long run
  // keeps no more of them than it looks at.
  void ClearRecords();

  // A person at the window's toolbar: the button with the command id, or the button whose
  // shortcut the keys are, sends its command. False when the window has no such button or a
  // modal dialog blocks the window, as it blocks the real toolbar.
  bool PressToolbarButton(Window& window, int id);
  bool PressShortcut(Window& window, const std::string& keys);

  // Every text the window's status line was given since it was created, oldest first.
  const std::vector<std::string>& StatusLines(const Window& window) const;

  bool IsAlive(const Window& window) const;
  const std::vector<Window*>& Windows() const { return windows_; }
  // Every running timer: its window (alive or not) and id.
  std::vector<std::pair<const Window*, int>> Timers() const;
  bool IsShown(const Window& window) const;

  // Platform
  void CreateWindow(Window& window) override;
  void DestroyWindow(Window& window) override;
  void ShowWindow(Window& window, bool show) override;
  void ControlChanged(Window&, int) override {}
  void CaptionChanged(Window&) override {}
  void StatusLineChanged(Window& window) override;
  int StatusLineHeight(const Window&) const override { return 0; }
  Rect WindowRect(const Window& window) const override;
  void MoveWindow(Window& window, const Rect& rect) override;
  Rect ClientRect(const Window& window) const override;
  std::unique_ptr<DeviceContext> ClientContext(Window& window) override;
  void Invalidate(Window&) override {}
  void RunModal(Dialog& dialog) override;
  void ModalEnded(Dialog&) override {}
  void SetTimer(Window& window, int id, int ms) override;
  void KillTimer(Window& window, int id) override;
  void KillTimers(Window& window) override;
  int MessageBox(Window* owner, const std::string& text, const std::string& caption,
                 unsigned flags) override;
  bool OpenFileDialog(Window* owner, FileDialogData& data) override;
  bool SaveFileDialog(Window* owner, FileDialogData& data) override;
  bool Print(Window* owner, Printout& printout, bool prompt) override;
  void PrinterSetup(Window*) override { ++printerSetups_; }
  bool SaveImage(Window& window, const std::string& path, std::optional<Rect> part) override;
  Color GetSysColor(SysColor which) const override;
  int TrackPopupMenu(Window& owner, const std::vector<std::string>& items, Point at) override;
  void Quit() override { quitRequested_ = true; }
  void Broadcast(unsigned message, WParam wParam, LParam lParam) override;

 private:
  struct Timer {
    std::int64_t due = 0;
    int period = 0;
    std::uint64_t order = 0;
  };
  using TimerKey = std::pair<const Window*, int>;

  bool FireNext(std::optional<std::int64_t> until);
  void SleepUntil(std::int64_t ms) const;
  bool AnswerFileDialog(FileDialogData& data, bool save);

  std::int64_t now_ = 0;
  bool realTime_ = false;
  // In real time the clock reads now_ at realStart_ plus the steady time since.
  std::chrono::steady_clock::time_point realStart_;
  std::uint64_t timerOrder_ = 0;
  std::map<TimerKey, Timer> timers_;
  Date today_{7, 12, 2026};
  std::map<int, std::function<void(Dialog&)>> modalHandlers_;
  std::function<void(Dialog&)> anyModalHandler_;
  std::function<int(const MessageBoxRecord&)> boxAnswerer_;
  FileAnswerer fileAnswerer_;
  int modalDepth_ = 0;
  std::deque<int> answers_;
  std::vector<MessageBoxRecord> messageBoxes_;
  std::deque<std::optional<std::string>> fileAnswers_;
  std::vector<FileDialogData> fileDialogs_;
  std::deque<bool> printAnswers_;
  Rect pageSize_{0, 0, 4800, 6600};
  std::vector<std::vector<DrawOp>> printedPages_;
  int printerSetups_ = 0;
  std::vector<ImageRequest> imageRequests_;
  std::deque<int> popupAnswers_;
  std::vector<std::vector<std::string>> popupMenus_;
  bool quitRequested_ = false;
  std::vector<Window*> windows_;
  std::map<const Window*, Rect> rects_;
  std::map<const Window*, bool> shown_;
  std::map<const Window*, std::vector<DrawOp>> drawings_;
  std::map<const Window*, std::vector<std::string>> statusLines_;
};

// Installs a headless platform for the lifetime of the object (tests, the command line).
class ScopedHeadlessPlatform {
 public:
  ScopedHeadlessPlatform() { SetPlatform(&platform_); }
  ~ScopedHeadlessPlatform() { SetPlatform(nullptr); }
  HeadlessPlatform& operator*() { return platform_; }
  HeadlessPlatform* operator->() { return &platform_; }

 private:
  HeadlessPlatform platform_;
};

}  // namespace ui
