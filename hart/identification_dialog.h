// THartKom0: finds the transmitter on the loop and reads what every other dialog needs of it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "fields/value_fields.h"
#include "record/edit_message.h"
#include "record/record.h"
#include "hart/identity.h"
#include "hart/protokol.h"

// Sent to the main window once the working record is complete.
inline constexpr unsigned kMsgIdentified = 313;
// A duplicate in the database; nothing in this edition sends it.
inline constexpr unsigned kMsgDuplicateWarning = 314;

class THartKom0 : public THartProtokol {
 public:
  static constexpr int kResourceId = 310;
  static constexpr int kCmdStartPolling = 311;
  static constexpr int kCmdStore = 312;
  static constexpr int kCmdEnterId = 315;
  static constexpr std::uint8_t kLastPollingAddress = 15;

  // Control ids of dialog 310.
  enum : int {
    kFrame = 317,
    kAddressLabel = 329,
    kAddress = 343,
    kAnswerLabel = 330,
    kProgress = 339,
    kExpansionCode = 344,
    kManufacturer = 345,
    kDeviceType = 346,
    kPreambles = 347,
    kUniversalRevision = 348,
    kSpecificRevision = 349,
    kSoftwareRevision = 350,
    kHardwareRevision = 351,
    kFlags = 352,
    kDeviceId = 353,
    kAlarmCode = 354,
    kTransferFunction = 355,
    kUnit = 356,
    kUpperRange = 357,
    kLowerRange = 358,
    kDamping = 359,
    kWriteProtect = 360,
    kDistributor = 361,
    kSensorSerial = 362,
    kUpperSensorLimit = 363,
    kLowerSensorLimit = 364,
    kMinimumSpan = 365,
    kSpareValue1 = 366,
    kSpareValue2 = 367,
    kScratch = 370,
    kMessage = 376,
    kTag = 377,
    kDescriptor = 378,
    kDateDay = 379,
    kDateMonth = 380,
    kDateYear = 381,
    kAssemblyNumber = 382,
  };

  // `manualEntry` 0 identifies at once; the main window passes 0.
  THartKom0(ui::Window* parent, const TSerialPortSettings& settings, ui::Window* mainWindow,
            TDaneIPPC& workingRecord, int manualEntry, ui::Window* panelWindow);

  static ui::DialogTemplate BuildTemplate(bool manualEntry);

  // 0 while polling with command 0; afterwards the command whose reply is awaited.
  int sequenceStep = 0;

  // Decodes whatever `bytes` hold as the reply to `command` (0, 15, 14, 12, 13 or 16), as if
  // it had just been received: the reply area takes at most its 71 bytes, the rest is zero.
  // False, with nothing decoded, when the reply is too short for the command's data.
  bool DecodeReceived(int command, std::span<const std::uint8_t> bytes);

  // What the transmitter said of itself in its reply to the last poll; none before a reply that
  // holds it.
  const std::optional<hart::Identity>& IdentityHeard() const { return heard_; }

  // Cancel closes in any state, whatever the fields hold.
  void CloseWindow(int result = ui::kIdCancel) override;

 protected:
  void SetupWindow() override;
  ui::LResult HandleMessage(unsigned message, ui::WParam wParam, ui::LParam lParam) override;
  void OnCommand(int id, unsigned code) override;
  ui::LResult EvReply() override;
  ui::LResult EvNoAnswer() override;
  ui::LResult EvLineBusy() override;
  ui::LResult EvStatusError() override;

 private:
  void Poll();
  void RequestLong(std::uint8_t command);
  // Asks for the read after `step` (0: command 0), or stores the record after the last.
  void RequestAfter(int step);
  void StoreStep();
  void ClearDataFields();
  void NoAnswerAndClose();
  void ShowInteger(int id, long value);
  long FieldInteger(int id, std::size_t count) const;

  // True when the reply is too short for the data of `command`: it went to the status hook.
  bool Refused(std::uint8_t command);
  void DecodeCommand0(std::span<std::uint8_t> reply);
  void DecodeCommand15(std::span<std::uint8_t> reply);
  void DecodeCommand14(std::span<std::uint8_t> reply);
  void DecodeCommand12(std::span<std::uint8_t> reply);
  void DecodeCommand13(std::span<std::uint8_t> reply);
  void DecodeCommand16(std::span<std::uint8_t> reply);

  ui::Window* mainWindow_;
  TDaneIPPC& record_;
  int manualEntry_;
  // Command 0 named a transmitter other than the simulated one since the last poll.
  bool ownTypeHeard_ = false;
  std::optional<hart::Identity> heard_;
  // The reads the transmitter answered with 64 (not implemented) since the last poll.
  std::vector<std::uint8_t> notImplemented_;

  ui::Edit address_;
  TEditChka transferFunction_;
  TEditUnits unit_;
  TEditValue upperRange_;
  TEditValue lowerRange_;
  TEditValue damping_;
  TEditValue upperSensorLimit_;
  TEditValue lowerSensorLimit_;
  TEditValue minimumSpan_;
  TEditMessage message_;
  TEditMessage tag_;
  TEditMessage descriptor_;
};
