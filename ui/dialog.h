// Dialogs made from templates, run modally (Execute) or modelessly (Create).
#pragma once

#include "ui/window.h"

namespace ui {

class Dialog : public Window {
 public:
  Dialog(Window* parent, DialogTemplate tpl);
  ~Dialog() override;

  const DialogTemplate& Template() const { return template_; }
  int ResourceId() const { return template_.resourceId; }

  // Creates the dialog, runs it until it ends and returns its result.
  int Execute();
  // Creates and shows the dialog without waiting.
  bool CreateModeless();

  bool IsModal() const { return modal_; }
  bool Ended() const { return ended_; }
  int Result() const { return result_; }

  // Ends the dialog with a result: it is cleaned up and its window goes.
  virtual void EndDialog(int result);
  // The close box, Escape and "Cancel": ends the dialog when CanClose agrees.
  virtual void CloseWindow(int result = kIdCancel);
  // Validates every edit that has a range validator.
  virtual bool CanClose();

 protected:
  LResult HandleMessage(unsigned message, WParam wParam, LParam lParam) override;
  void OnClose() override { CloseWindow(kIdCancel); }

 private:
  DialogTemplate template_;
  bool modal_ = false;
  bool ended_ = false;
  int result_ = 0;
};

}  // namespace ui
