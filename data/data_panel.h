// The data panel: a modeless, read-only view of the database's first storage place.
#pragma once

#include <array>

#include "fields/value_fields.h"
#include "data/database.h"
#include "record/edit_message.h"
#include "ui/dialog.h"

class TMonitorHart : public ui::Dialog {
 public:
  static constexpr int kResourceId = 700;
  static constexpr int kDockTimerId = 444;
  static constexpr int kDockDelayMs = 100;

  struct Row {
    int labelId;
    int fieldId;
    const char* label;
  };
  // Label and field of every item, in the order the panel fills them.
  static const std::array<Row, 17>& Rows();

  TMonitorHart(ui::Window* mainWindow, TDane& database);

  void Refresh();

 protected:
  void SetupWindow() override;
  void OnTimer(int id) override;
  ui::LResult HandleMessage(unsigned message, ui::WParam wParam, ui::LParam lParam) override;

 private:
  void Dock();

  TDane& database_;
  ui::Edit model_, deviceId_, address_, assembly_;
  TEditMessage tag_, descriptor_;
  ui::Edit date_, preambles_;
  TEditMessage message_;
  TEditUnits unit_;
  TEditValue lowerLimit_, upperLimit_, minimumSpan_, lowerRange_, upperRange_, damping_;
  TEditChka transferFunction_;
};
