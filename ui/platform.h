// The platform under the windowing layer: headless for tests and scripts, Qt for the desktop.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/device_context.h"
#include "ui/types.h"

namespace ui {

class Window;
class Dialog;
class Printout;

// Message box flags, with the values a Windows program would use.
enum MessageBoxFlags : unsigned {
  kMbOk = 0x0,
  kMbOkCancel = 0x1,
  kMbYesNoCancel = 0x3,
  kMbYesNo = 0x4,
  kMbIconStop = 0x10,
  kMbIconQuestion = 0x20,
  kMbIconExclamation = 0x30,
  kMbIconInformation = 0x40,
  kMbButtonMask = 0xF,
  kMbIconMask = 0xF0,
};

// Shared by the open and the save dialog: the filter, default extension, flags and the last name.
struct FileDialogData {
  std::string filter;  // "Name (*.ext)|*.ext|...|" pairs
  std::string defaultExt;
  std::uint32_t flags = 0;
  std::string fileName;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Windows come and go through these; the platform mirrors them.
  virtual void CreateWindow(Window& window) = 0;
  virtual void DestroyWindow(Window& window) = 0;
  virtual void ShowWindow(Window& window, bool show) = 0;
  virtual void ControlChanged(Window& window, int id) = 0;
  virtual void CaptionChanged(Window& window) = 0;
  // The window's status text changed; a main window shows it in its status line.
  virtual void StatusLineChanged(Window& window) = 0;
  virtual int StatusLineHeight(const Window& window) const = 0;
  virtual Rect WindowRect(const Window& window) const = 0;
  virtual void MoveWindow(Window& window, const Rect& rect) = 0;
  virtual Rect ClientRect(const Window& window) const = 0;
  virtual std::unique_ptr<DeviceContext> ClientContext(Window& window) = 0;
  virtual void Invalidate(Window& window) = 0;

  // Runs a created dialog modally; returns once it has ended.
  virtual void RunModal(Dialog& dialog) = 0;
  // How many modal dialogs are running now.
  virtual int ModalDepth() const = 0;
  // Told when a modal dialog ends, so that its loop can return.
  virtual void ModalEnded(Dialog& dialog) = 0;

  virtual void SetTimer(Window& window, int id, int ms) = 0;
  virtual void KillTimer(Window& window, int id) = 0;
  virtual void KillTimers(Window& window) = 0;
  // Milliseconds since the platform started.
  virtual std::int64_t NowMs() const = 0;
  virtual Date Today() const = 0;

  virtual int MessageBox(Window* owner, const std::string& text, const std::string& caption,
                         unsigned flags) = 0;
  virtual bool OpenFileDialog(Window* owner, FileDialogData& data) = 0;
  virtual bool SaveFileDialog(Window* owner, FileDialogData& data) = 0;
  // Prints the printout's pages; with `prompt` the print dialog comes first.
  // False when nothing was printed (the dialog was cancelled or the printer failed).
  virtual bool Print(Window* owner, Printout& printout, bool prompt) = 0;
  virtual void PrinterSetup(Window* owner) = 0;
  // Saves what the window shows, controls included, as a PNG file; false when it could not.
  // With `part`, only that rectangle of the client area (pixels).
  virtual bool SaveImage(Window& window, const std::string& path,
                         std::optional<Rect> part = std::nullopt) = 0;
  virtual Color GetSysColor(SysColor which) const = 0;
  // A pop-up pick list at a point of the owner's client area: the index picked, or -1.
  virtual int TrackPopupMenu(Window& owner, const std::vector<std::string>& items, Point at) = 0;
  // The program is done: the platform's event loop ends once the current message returns.
  virtual void Quit() = 0;

  // Sends the message to every created window that has no parent, in creation order.
  virtual void Broadcast(unsigned message, WParam wParam, LParam lParam) = 0;
};

// The one platform instance of the process.
Platform& ThePlatform();
void SetPlatform(Platform* platform);

}  // namespace ui
