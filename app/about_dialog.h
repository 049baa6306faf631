// The About box: a splash at start-up and menu command 100.
#pragma once

#include "ui/dialog.h"

class TAboutBox : public ui::Dialog {
 public:
  static constexpr int kResourceId = 104;
  explicit TAboutBox(ui::Window* parent);
};
