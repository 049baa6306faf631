// TMessages: reads and writes the transmitter's message, tag, descriptor, date and final
// assembly number, and lists the identity of the transmitter found by its tag.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>

#include "config/kept_record.h"
#include "record/edit_message.h"
#include "data/selection_list.h"

namespace hart {
struct Identity;
}

class TMessages : public TLista {
 public:
  static constexpr int kResourceId = 921;

  enum : int {
    kMessage = 811,
    kTag = 812,
    kDescriptor = 813,
    kDay = 814,
    kMonth = 815,
    kYear = 816,
    kAssemblyNumber = 817,
    kMessageLabel = 818,
    kTagLabel = 819,
    kDescriptorLabel = 820,
    kDateLabel = 821,
    kDaySeparator = 822,
    kMonthSeparator = 823,
    kAssemblyLabel = 824,
    kTabs = 825,
    kReadButton = 826,
    kIdentity = 827,
    kIdentityLabel = 828,
  };
  enum Page : int { kMessagePage = 0, kDescriptionPage = 1, kNumberPage = 2, kIdentityPage = 3 };

  static constexpr int kPageCount = 4;
  static constexpr int kIdleCommand = 0;

  TMessages(ui::Window* parent, TDane& database, bool& changed, int& selectionMemory,
            const TSerialPortSettings& settings, ui::Window* panelWindow);

  static ui::DialogTemplate BuildTemplate();
  // The controls that page `page` shows; every other page's controls are hidden.
  static std::span<const int> PageControls(int page);

  // The command whose reply is awaited: 0 idle, 11, 12, 13 or 16 after a read, 17, 18 or 19
  // after a write.
  std::uint8_t AwaitedCommand() const { return awaited_; }

  // Closing never waits on a field: the validators guard writing.
  bool CanClose() override { return true; }

 protected:
  void SetupWindow() override;
  void CleanupWindow() override;
  void OnCommand(int id, unsigned code) override;
  void OnNotify(int id, unsigned code) override;
  void TransmitterSelected() override;
  void Send() override;
  ui::LResult EvReply() override;
  ui::LResult EvNoAnswer() override;
  ui::LResult EvLineBusy() override;
  ui::LResult EvStatusError() override;

 private:
  void Read();
  void ShowPage(int page);
  void ShowRecord(const TDaneIPPC& record);
  void ShowMessage(const TDaneIPPC& record);
  void ShowTagDescriptorDate(const TDaneIPPC& record);
  void ShowAssemblyNumber(const TDaneIPPC& record);
  void ShowIdentity(const hart::Identity& found);
  void DecodeRead(TDaneIPPC& record);
  void EmptyFields(std::initializer_list<int> ids);
  // True when each field's validator takes its text; the first that does not says why.
  bool Valid(std::initializer_list<const ui::Edit*> fields) const;
  long FieldNumber(const ui::Edit& field, std::size_t characters) const;

  TEditMessage message_;
  TEditMessage tag_;
  TEditMessage descriptor_;
  ui::Edit day_;
  ui::Edit month_;
  ui::Edit year_;
  ui::Edit assemblyNumber_;
  ui::ListBox identity_;
  ui::TabControl tabs_;

  std::uint8_t awaited_ = kIdleCommand;
  KeptRecord beforeWrite_;
};
