// «Поиск приборов»: scans the loop's polling addresses, or a HART-IP gateway's sub-devices,
// showing how far it is and each device found; Stop ends it with what was found. The devices
// chosen (or all) are identified one after another, as identification does, and each becomes a
// record of the database, among which the dialogs' selection list then picks.
#pragma once

#include <vector>

#include "data/data_file_commands.h"
#include "data/database.h"
#include "hart/device_scan.h"

class TDevicesWindow : public TDeviceScan {
 public:
  static constexpr int kResourceId = 975;
  enum : int { kProgressText = 401, kList = 402, kStop = 403, kAddChosen = 404, kAddAll = 405 };

  TDevicesWindow(ui::Window* parent, TDane& database, TDataFile& file,
                 const TSerialPortSettings& settings, ui::Window* panel);
  static ui::DialogTemplate BuildTemplate();
  // The devices in the list, in its order.
  const std::vector<FoundDevice>& Listed() const { return listed_; }

 protected:
  void SetupWindow() override;
  void OnCommand(int id, unsigned code) override;
  // The progress bar between the progress text and the list.
  void Paint(ui::DeviceContext& dc) override;

 private:
  void Show();
  void Add(const std::vector<FoundDevice>& devices);

  TDane& database_;
  TDataFile& file_;
  TSerialPortSettings settings_;
  ui::Window* panel_;
  std::vector<FoundDevice> listed_;
  std::string progress_;
  int done_ = 0;
  int total_ = 0;
};
