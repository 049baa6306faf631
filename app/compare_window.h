// «Сравнить с прибором»: the current record against the transmitter as just read, two columns,
// the differing rows marked and ticked; «Записать конфигурацию в прибор» writes the ticked ones.
#pragma once

#include <vector>

#include "app/configuration.h"
#include "hart/protokol.h"
#include "ui/dialog.h"

class TCompareWindow : public ui::Dialog {
 public:
  static constexpr int kResourceId = 980;
  enum : int {
    kApplyId = 981,
    kSummaryId = 982,
    kHeaderFileId = 983,
    kHeaderDeviceId = 984,
    kRowTickId = 1000,    // + row: the row's check box (its name)
    kRowFileId = 1100,    // + row: the value in the record
    kRowDeviceId = 1200,  // + row: the value in the transmitter
    kRowMarkId = 1300,    // + row: "≠" where they differ
  };

  TCompareWindow(ui::Window* parent, const TSerialPortSettings& settings, const TDaneIPPC& file,
                 const TDaneIPPC& device);

  const std::vector<ConfigRow>& Rows() const { return rows_; }
  // The parts the ticked rows write, in the order apply writes them.
  std::vector<ConfigPart> TickedParts();

 protected:
  void SetupWindow() override;
  void OnCommand(int id, unsigned code) override;

 private:
  void Show();
  void Apply();

  TSerialPortSettings settings_;
  TDaneIPPC file_;
  TDaneIPPC device_;
  std::vector<ConfigRow> rows_;
};
