// The base of every configuration dialog: the database, the current record, the changed flag,
// the hidden transmitter list and the fixed behaviour of set-up, send, replies and closing.
#pragma once

#include "data/database.h"
#include "hart/komendy.h"

class TLista : public TKomendy {
 public:
  static constexpr int kListBoxId = 800;
  static constexpr int kSendButtonId = 801;
  static constexpr int kGroupBoxId = 802;
  static constexpr int kListLabelId = 803;

  TLista(ui::Window* parent, ui::DialogTemplate tpl, TDane& database, bool& changed,
         int& selectionMemory, const TSerialPortSettings& settings, ui::Window* panelWindow);

  // Adds list box 800, group box 802 and label 803 to a dialog's template, all hidden; each
  // dialog places its own send button 801.
  static void AddListControls(ui::DialogTemplate& tpl);
  // The same, with 802 shown as the frame of the dialog's own fields.
  static void AddListControls(ui::DialogTemplate& tpl, std::string frameText, ui::Rect frame);

  void CloseWindow(int result = ui::kIdCancel) override;
  void EndDialog(int result) override;

  bool RecordsExist() const { return recordsExist_; }
  TDaneIPPC* CurrentRecord() const { return current_; }
  const TDaneIPPC* AddressedRecord() const override { return current_; }

 protected:
  void SetupWindow() override;
  ui::LResult HandleMessage(unsigned message, ui::WParam wParam, ui::LParam lParam) override;
  ui::LResult EvNoAnswer() override { return 0; }
  ui::LResult EvReply() override;
  virtual void TransmitterSelected();
  void OnRButtonDown(ui::Point where) override;

  bool ReestablishCurrentRecord();
  bool& ChangedFlag() { return changed_; }
  TDane& Database() { return database_; }
  const TDane& Database() const { return database_; }

  ui::ListBox list_;

 private:
  enum class ListBy { Number, Tag };
  void Relist(ListBy by);
  void SaveSelection();

  TDane& database_;
  bool& changed_;
  int& selectionMemory_;
  int rememberedIndex_ = 0;
  bool recordsExist_ = false;
  TDaneIPPC* current_ = nullptr;
};
