// «Журнал изменений»: the current transmitter's journal entries, newest first, narrowed by the
// text typed in the filter, and exported as CSV.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "journal/journal.h"
#include "ui/dialog.h"

class TJournalWindow : public ui::Dialog {
 public:
  static constexpr int kResourceId = 985;
  enum : int {
    kTransmitterId = 971,
    kFilterId = 972,
    kListId = 973,
    kExportId = 974,
    kFilterLabelId = 975,
  };

  // `journal` null: it could not be opened, and the window says so. `deviceId` and `tag` name
  // the current transmitter.
  TJournalWindow(ui::Window* parent, journal::Journal* journal, std::int64_t deviceId,
                 std::string tag, std::string dataFile = {});

  // What the list shows now, newest first.
  const std::vector<journal::Entry>& Shown() const { return shown_; }

 protected:
  void SetupWindow() override;
  void OnCommand(int id, unsigned code) override;

 private:
  void Fill();
  void Export();

  journal::Journal* journal_;
  std::int64_t deviceId_;
  std::string tag_;
  std::string dataFile_;  // the open data file, which an export never replaces
  std::vector<journal::Entry> entries_;
  std::vector<journal::Entry> shown_;
};
