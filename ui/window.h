// Windows: numbered child controls, synchronous messages, timers, painting.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/control.h"
#include "ui/device_context.h"
#include "ui/dialog_template.h"
#include "ui/platform.h"
#include "ui/types.h"

namespace ui {

class Window {
 public:
  explicit Window(Window* parent);
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  virtual ~Window();

  Window* Parent() const { return parent_; }

  // Synchronous: the message is handled before this returns.
  LResult SendMessage(unsigned message, WParam wParam = 0, LParam lParam = 0);

  // Child controls. Item() is null for an id the window does not have.
  Control& AddControl(const ControlTemplate& tpl);
  Control* Item(int id);
  const Control* Item(int id) const;
  const std::vector<std::unique_ptr<Control>>& Controls() const { return controls_; }
  // A control's state changed: the platform mirrors it.
  void ControlChanged(int id);

  // The platform window.
  void Create();
  void Destroy();
  bool IsCreated() const { return created_; }
  void Show(bool show);
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption);
  // The status line along the bottom of a main window; empty, it says nothing.
  const std::string& StatusLine() const { return statusLine_; }
  void SetStatusLine(std::string text);
  // A part of the status line that must not be overlooked, shown apart in a colour that stands
  // out; empty, none.
  const std::string& StatusAlert() const { return statusAlert_; }
  void SetStatusAlert(std::string text);
  // What the status line takes off the bottom of the window on the screen; 0 without one.
  int StatusLineHeight() const;
  const MenuTemplate* Menu() const { return menu_; }
  void SetMenu(const MenuTemplate* menu) { menu_ = menu; }
  // Set before Create(), as the menu.
  const ToolbarTemplate* Toolbar() const { return toolbar_; }
  void SetToolbar(const ToolbarTemplate* toolbar) { toolbar_ = toolbar; }
  Rect WindowRect() const;
  void MoveWindow(const Rect& rect);
  Rect ClientRect() const;
  std::unique_ptr<DeviceContext> ClientContext();
  void Invalidate();

  void SetTimer(int id, int ms);
  void KillTimer(int id);

  int MessageBox(const std::string& text, const std::string& caption, unsigned flags);

  // Where a platform keeps what it mirrors this window with.
  void* platformData = nullptr;

 protected:
  // The message map: the default sends the layer's messages to the handlers below.
  virtual LResult HandleMessage(unsigned message, WParam wParam, LParam lParam);
  virtual void OnCommand(int /*id*/, unsigned /*code*/) {}
  virtual void OnNotify(int /*id*/, unsigned /*code*/) {}
  virtual void OnTimer(int /*id*/) {}
  // `dc` is the paint context; the layer calls this for the paint message.
  virtual void Paint(DeviceContext& /*dc*/) {}
  virtual bool EraseBackground(DeviceContext& /*dc*/) { return false; }
  virtual void OnRButtonDown(Point /*where*/) {}
  virtual void OnClose() { Destroy(); }
  virtual void OnSysColorChange() {}
  // Called once the platform window exists, and just before it goes.
  virtual void SetupWindow() {}
  virtual void CleanupWindow() {}

 private:
  Window* parent_;
  std::vector<std::unique_ptr<Control>> controls_;
  std::string caption_;
  std::string statusLine_;
  std::string statusAlert_;
  const MenuTemplate* menu_ = nullptr;
  const ToolbarTemplate* toolbar_ = nullptr;
  bool created_ = false;
};

}  // namespace ui
