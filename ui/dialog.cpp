#include "ui/dialog.h"

namespace ui {

Dialog::Dialog(Window* parent, DialogTemplate tpl) : Window(parent), template_(std::move(tpl)) {
  SetCaption(template_.caption);
  for (const ControlTemplate& control : template_.controls) AddControl(control);
}

Dialog::~Dialog() {
  if (modal_ && IsCreated() && !ended_) {
    ended_ = true;
    ThePlatform().ModalEnded(*this);
  }
}

int Dialog::Execute() {
  modal_ = true;
  ended_ = false;
  result_ = 0;
  Create();
  if (!ended_) ThePlatform().RunModal(*this);
  return result_;
}

bool Dialog::CreateModeless() {
  modal_ = false;
  ended_ = false;
  Create();
  if (!ended_) Show(true);
  return !ended_;
}

void Dialog::EndDialog(int result) {
  if (ended_) return;
  ended_ = true;
  result_ = result;
  Destroy();
  if (modal_) ThePlatform().ModalEnded(*this);
}

void Dialog::CloseWindow(int result) {
  if (CanClose()) EndDialog(result);
}

bool Dialog::CanClose() {
  for (const auto& control : Controls()) {
    if (control->Validator() && control->Visible() && control->Enabled() &&
        !control->IsValid(true)) {
      return false;
    }
  }
  return true;
}

LResult Dialog::HandleMessage(unsigned message, WParam wParam, LParam lParam) {
  if (message == kMsgCommand && HighWord(wParam) == kNotifyClicked) {
    const int id = LowWord(wParam);
    if (id == kIdOk) {
      if (CanClose()) EndDialog(kIdOk);
      return 0;
    }
    if (id == kIdCancel) {
      CloseWindow(kIdCancel);
      return 0;
    }
  }
  return Window::HandleMessage(message, wParam, lParam);
}

}  // namespace ui
