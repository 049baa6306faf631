// TPolPre: writes the transmitter's polling address and response preambles, searches the loop
// for its polling address and asks it for its preambles.
#pragma once

#include <cstdint>

#include "data/selection_list.h"

class TPolPre : public TLista {
 public:
  static constexpr int kResourceId = 923;

  enum : int {
    kAddressField = 811,
    kPreamblesField = 812,
    kAddressHint = 813,
    kPreamblesHint = 814,
    kAddressSpin = 815,
    kPreamblesSpin = 816,
    kTabs = 817,
    kQueryButton = 818,
  };
  enum Tab : int { kAddressTab = 0, kPreamblesTab = 1 };

  // What the reply in progress completes; 0 when idle.
  enum Awaited : std::uint8_t {
    kIdle = 0,
    kWriteAddress = 6,
    kWritePreambles = 59,
    kPreambleQuery = 253,
    kAddressSearch = 254,
  };

  // Polling addresses run to 15 up to universal revision 5, to 63 from revision 6 on.
  static constexpr std::uint8_t kLastPollingAddress = 15;
  static constexpr std::uint8_t kLastPollingAddressFromRevision6 = 63;
  static constexpr int kMinPreambles = 3;
  static constexpr int kMaxPreambles = 20;
  // Both fields hold the two characters that a write reads.
  static constexpr int kFieldTextLimit = 3;

  TPolPre(ui::Window* parent, TDane& database, bool& changed, int& selectionMemory,
          const TSerialPortSettings& settings, ui::Window* panelWindow);

  static ui::DialogTemplate BuildTemplate();

  std::uint8_t AwaitedCommand() const { return awaited_; }
  // The last polling address of the transmitter the record describes.
  static std::uint8_t LastPollingAddress(const TDaneIPPC& record);

  // Closing never waits on a field: the validators guard writing.
  bool CanClose() override { return true; }

 protected:
  void SetupWindow() override;
  void OnCommand(int id, unsigned code) override;
  void OnNotify(int id, unsigned code) override;
  void TransmitterSelected() override;
  void Send() override;
  ui::LResult EvReply() override;
  ui::LResult EvNoAnswer() override;
  ui::LResult EvStatusError() override;

 private:
  void Query();
  // The command whose reply completes the awaited transaction.
  std::uint8_t ReplyCommand() const;
  void ShowTab(int tab);
  void FollowRecordsAddressRange();
  void ShowNumber(const ui::Edit& field, const ui::UpDown& spin, int value);
  void FollowTypedText(const ui::Edit& field, const ui::UpDown& spin);
  void NoAnswerMessage();
  void RefreshPanel();

  ui::Edit address_;
  ui::Edit preambles_;
  ui::UpDown addressSpin_;
  ui::UpDown preamblesSpin_;
  ui::TabControl tabs_;
  ui::ControlRef queryButton_;

  std::uint8_t awaited_ = kIdle;
  // The address to write; during the search, the next address to poll.
  std::uint8_t addressValue_ = 0;
  std::uint8_t preambleValue_ = 0;
  std::uint8_t lastAddress_ = kLastPollingAddress;
};
