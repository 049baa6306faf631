#include "ui/window.h"

namespace ui {

Window::Window(Window* parent) : parent_(parent) {}

Window::~Window() {
  if (created_) {
    created_ = false;
    ThePlatform().KillTimers(*this);
    ThePlatform().DestroyWindow(*this);
  }
}

LResult Window::SendMessage(unsigned message, WParam wParam, LParam lParam) {
  return HandleMessage(message, wParam, lParam);
}

LResult Window::HandleMessage(unsigned message, WParam wParam, LParam lParam) {
  switch (message) {
    case kMsgCommand:
      OnCommand(LowWord(wParam), HighWord(wParam));
      return 0;
    case kMsgNotify:
      OnNotify(LowWord(wParam), HighWord(wParam));
      return 0;
    case kMsgTimer:
      OnTimer(static_cast<int>(wParam));
      return 0;
    case kMsgPaint:
      Paint(*reinterpret_cast<DeviceContext*>(lParam));
      return 0;
    case kMsgEraseBackground:
      return EraseBackground(*reinterpret_cast<DeviceContext*>(lParam)) ? 1 : 0;
    case kMsgRButtonDown:
      OnRButtonDown(Point{LowWord(wParam), static_cast<int>(HighWord(wParam))});
      return 0;
    case kMsgClose:
      OnClose();
      return 0;
    case kMsgSysColorChange:
      OnSysColorChange();
      return 0;
    default:
      return 0;
  }
}

Control& Window::AddControl(const ControlTemplate& tpl) {
  controls_.push_back(std::make_unique<Control>(*this, tpl));
  return *controls_.back();
}

Control* Window::Item(int id) {
  for (auto& control : controls_) {
    if (control->Id() == id) return control.get();
  }
  return nullptr;
}

const Control* Window::Item(int id) const {
  return const_cast<Window*>(this)->Item(id);
}

void Window::ControlChanged(int id) {
  if (created_) ThePlatform().ControlChanged(*this, id);
}

void Window::Create() {
  if (created_) return;
  created_ = true;
  ThePlatform().CreateWindow(*this);
  SetupWindow();
}

void Window::Destroy() {
  if (!created_) return;
  CleanupWindow();
  created_ = false;
  ThePlatform().KillTimers(*this);
  ThePlatform().DestroyWindow(*this);
}

void Window::Show(bool show) {
  if (created_) ThePlatform().ShowWindow(*this, show);
}

void Window::SetCaption(std::string caption) {
  caption_ = std::move(caption);
  if (created_) ThePlatform().CaptionChanged(*this);
}

void Window::SetStatusLine(std::string text) {
  if (text == statusLine_) return;
  statusLine_ = std::move(text);
  if (created_) ThePlatform().StatusLineChanged(*this);
}

void Window::SetStatusAlert(std::string text) {
  if (text == statusAlert_) return;
  statusAlert_ = std::move(text);
  if (created_) ThePlatform().StatusLineChanged(*this);
}

int Window::StatusLineHeight() const { return created_ ? ThePlatform().StatusLineHeight(*this) : 0; }

Rect Window::WindowRect() const { return ThePlatform().WindowRect(*this); }

void Window::MoveWindow(const Rect& rect) { ThePlatform().MoveWindow(*this, rect); }

Rect Window::ClientRect() const { return ThePlatform().ClientRect(*this); }

std::unique_ptr<DeviceContext> Window::ClientContext() { return ThePlatform().ClientContext(*this); }

void Window::Invalidate() {
  if (created_) ThePlatform().Invalidate(*this);
}

void Window::SetTimer(int id, int ms) {
  if (created_) ThePlatform().SetTimer(*this, id, ms);
}

void Window::KillTimer(int id) { ThePlatform().KillTimer(*this, id); }

int Window::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  return ThePlatform().MessageBox(this, text, caption, flags);
}

}  // namespace ui
