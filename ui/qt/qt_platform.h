// The desktop platform: every window of the layer as a Qt 6 widget, real timers and Qt's
// dialogs. Qt stays inside ui/qt: this header names no Qt type, so the program and the tests
// use the platform without Qt's headers. A QApplication must exist (ui/qt/desktop.h).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/platform.h"

namespace ui::qt {

class WindowTable;

// What a message box showed, as read back from the box.
struct MessageBoxShown {
  std::string text;
  std::string caption;   // as a person reads it
  std::string titleBar;  // what the title bar is given
  int width = 0;         // of the box as shown
  int captionWidth = 0;  // what its caption needs in a title bar
  unsigned icon = 0;  // kMbIcon* flag
  std::vector<std::string> buttons;
  int answer = 0;
};

struct FileDialogShown {
  bool save = false;
  std::string title;
  std::vector<std::string> filters;
  std::string defaultSuffix;
  std::string directory;
  std::string fileName;  // preset in the name field
  bool mustExist = false;
  bool accepted = false;
  // What the shown dialog says on its buttons and labels, read while it is open.
  std::vector<std::string> buttons;
  std::vector<std::string> labels;
};

struct PrintDialogShown {
  bool setup = false;  // the page set-up dialog rather than the print dialog
  std::string documentName;
  int pageCount = 0;
};

// What a control's widget shows.
struct WidgetState {
  std::string className;
  bool visible = false;  // shown where its window is shown
  bool enabled = false;
  bool readOnly = false;
  bool checked = false;
  bool secret = false;  // an edit that shows dots for what is typed
  std::string text;  // edit, label, button or combo text; the current tab's text
  std::vector<std::string> items;
  int current = -1;
  Rect geometry;  // in client pixels
};

// Room for a control's text: what it needs and what its rectangle gives, in pixels. A dialog's
// caption comes as id 0, against the dialog's width.
struct TextFit {
  int id = 0;
  std::string text;
  int neededWidth = 0;
  int width = 0;
  int neededHeight = 0;
  int height = 0;
  bool Fits() const { return neededWidth <= width && neededHeight <= height; }
};

struct Image {
  int width = 0;
  int height = 0;
  std::vector<Color> pixels;  // row by row
  Color At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

enum class Key { Enter, Escape };

struct ToolbarButtonShown {
  int id = 0;
  std::string tooltip;
  std::string shortcut;  // portable text: "Ctrl+O"
  bool hasIcon = false;
  bool visible = false;
  Rect geometry;  // in the main window
};

// The main window's bars and client area as shown, in the main window's coordinates.
struct ToolbarShown {
  Rect menuBar;
  Rect toolbar;
  Rect client;
  std::vector<ToolbarButtonShown> buttons;
};

class QtPlatform : public Platform {
 public:
  QtPlatform();
  ~QtPlatform() override;
  QtPlatform(const QtPlatform&) = delete;
  QtPlatform& operator=(const QtPlatform&) = delete;

  // Answerers stand in for the person at the real dialogs, which are built and shown as usual;
  // without one the dialog waits for a person. The message box answerer returns kIdOk, kIdYes,
  // kIdNo or kIdCancel; the file dialog answerer a file name, or nothing for Cancel; the print
  // dialog answerer the PDF file to print into, or nothing for Cancel (the page set-up dialog
  // takes any file name as OK); the pop-up menu answerer the index picked, or -1.
  std::function<int(const MessageBoxShown&)> answerMessageBox;
  std::function<std::optional<std::string>(const FileDialogShown&)> answerFileDialog;
  std::function<std::optional<std::string>(const PrintDialogShown&)> answerPrintDialog;
  std::function<int(const std::vector<std::string>&)> answerPopupMenu;
  const std::vector<MessageBoxShown>& MessageBoxes() const { return messageBoxes_; }
  const std::vector<FileDialogShown>& FileDialogs() const { return fileDialogs_; }
  const std::vector<PrintDialogShown>& PrintDialogs() const { return printDialogs_; }
  const std::vector<std::vector<std::string>>& PopupMenus() const { return popupMenus_; }

  // A person's actions on the widgets, through Qt's own event paths. False when the window or
  // the control has no widget.
  bool SimulateTyping(Window& window, int id, const std::string& text);
  bool SimulateClick(Window& window, int id);
  bool SimulateSelect(Window& window, int id, int index);
  bool SimulateSpin(Window& window, int id, int delta);
  // To the focused widget, or with `id` to that control's.
  bool SimulateKey(Window& window, Key key, int id = 0);
  bool SimulateRightClick(Window& window, Point at);
  bool SimulateClose(Window& window);
  bool SimulateMenu(Window& window, int commandId);
  bool SimulateToolbarButton(Window& window, int commandId);
  // The keys pressed in the window, through Qt's shortcut handling; false when nothing took them.
  bool SimulateShortcut(Window& window, const std::string& keys);
  std::optional<ToolbarShown> Toolbar(Window& window);
  // A main window's status line as shown: its text and where it lies on the screen.
  std::optional<std::pair<std::string, Rect>> StatusLineShown(Window& window);

  std::optional<WidgetState> Widget(Window& window, int id);
  std::vector<TextFit> TextFits(Window& window);
  std::optional<Image> Grab(Window& window);
  bool GrabToPng(Window& window, const std::string& path);
  bool IsShown(const Window& window) const;

  // Runs Qt's events (timers included) until `done` holds or `limitMs` has passed.
  bool RunUntil(const std::function<bool()>& done, int limitMs);
  void RunFor(int ms);

  // The desktop program ends when its last top-level window goes.
  void SetQuitWhenLastWindowGoes(bool quit);
  bool QuitRequested() const;
  bool HasTopLevelWindows() const;

  // Platform
  void CreateWindow(Window& window) override;
  void DestroyWindow(Window& window) override;
  void ShowWindow(Window& window, bool show) override;
  void ControlChanged(Window& window, int id) override;
  void CaptionChanged(Window& window) override;
  void StatusLineChanged(Window& window) override;
  int StatusLineHeight(const Window& window) const override;
  Rect WindowRect(const Window& window) const override;
  void MoveWindow(Window& window, const Rect& rect) override;
  Rect ClientRect(const Window& window) const override;
  std::unique_ptr<DeviceContext> ClientContext(Window& window) override;
  void Invalidate(Window& window) override;
  void RunModal(Dialog& dialog) override;
  int ModalDepth() const override;
  void ModalEnded(Dialog& dialog) override;
  void SetTimer(Window& window, int id, int ms) override;
  void KillTimer(Window& window, int id) override;
  void KillTimers(Window& window) override;
  std::int64_t NowMs() const override;
  Date Today() const override;
  int MessageBox(Window* owner, const std::string& text, const std::string& caption,
                 unsigned flags) override;
  bool OpenFileDialog(Window* owner, FileDialogData& data) override;
  bool SaveFileDialog(Window* owner, FileDialogData& data) override;
  bool Print(Window* owner, Printout& printout, bool prompt) override;
  void PrinterSetup(Window* owner) override;
  bool SaveImage(Window& window, const std::string& path, std::optional<Rect> part) override;
  Color GetSysColor(SysColor which) const override;
  int TrackPopupMenu(Window& owner, const std::vector<std::string>& items, Point at) override;
  void Quit() override;
  void Broadcast(unsigned message, WParam wParam, LParam lParam) override;

 private:
  bool FileDialog(Window* owner, FileDialogData& data, bool save);

  std::unique_ptr<WindowTable> table_;
  std::vector<MessageBoxShown> messageBoxes_;
  std::vector<FileDialogShown> fileDialogs_;
  std::vector<PrintDialogShown> printDialogs_;
  std::vector<std::vector<std::string>> popupMenus_;
};

// The installed platform as the Qt platform, or null when another platform is installed.
QtPlatform* InstalledQtPlatform();
// Renders a created window with its controls into a PNG file.
bool GrabToPng(Window& window, const std::string& path);

}  // namespace ui::qt
