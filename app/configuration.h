// A transmitter's configuration against a record of it: the fields compared, and writing the
// record's configuration to the transmitter with the requests the configuration dialogs send,
// each read back. Shared by `kestrel7 compare`, `kestrel7 apply` and «Сравнить с прибором».
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hart/komendy.h"
#include "record/record.h"

// What `apply` writes, in the order it writes it.
enum class ConfigPart { None, Units, Range, Damping, TransferFunction, TagDescriptorDate, Message };

struct ConfigRow {
  std::string name;
  std::string inFile;
  std::string inDevice;
  bool compared = true;  // identity rows are shown only
  bool differs = false;
  ConfigPart part = ConfigPart::None;  // what writes it; None: never written
};

std::vector<ConfigRow> CompareConfiguration(const TDaneIPPC& file, const TDaneIPPC& device);
// "Различий нет." or how many fields differ.
std::string DifferenceCount(const std::vector<ConfigRow>& rows);
// The rows as lines: "≠ " before a differing one, identity rows marked as not compared.
std::string ComparisonText(const std::vector<ConfigRow>& rows);

// True when the record's manufacturer and device type are the transmitter's.
bool SameKind(const TDaneIPPC& file, const TDaneIPPC& device);

// Identifies the transmitter on the settings' link as identification does, into a record of its
// own (neither the database nor the data file hears of it). Nullopt when none answered; what its
// boxes said stays with the platform.
std::optional<TDaneIPPC> IdentifyTransmitter(ui::Window* owner, const TSerialPortSettings& settings);

// Writes the parts of `file` chosen in `parts` to the transmitter `device` describes, each write
// followed by its read-back; stops at the first refusal or silence. Runs without controls.
class TApplyDialog : public TKomendy {
 public:
  static constexpr int kResourceId = 990;
  struct Step {
    std::string text;  // "Единицы: [Bar] — записано, прочитано [Bar]"
    bool ok = false;
  };

  TApplyDialog(ui::Window* parent, const TSerialPortSettings& settings, const TDaneIPPC& file,
               const TDaneIPPC& device, std::vector<ConfigPart> parts);

  bool Finished() const { return finished_; }
  bool Failed() const { return failed_; }
  const std::vector<Step>& Steps() const { return steps_; }
  // The transmitter as the read-backs left it.
  const TDaneIPPC& Device() const { return device_; }
  // The run's last line: all written, or where it stopped and what was already written.
  std::string Summary() const;
  const TDaneIPPC* AddressedRecord() const override { return &device_; }

 protected:
  // Starts the first write; the dialog ends itself after the last step or a failure.
  void SetupWindow() override;
  ui::LResult EvReply() override;
  ui::LResult EvNoAnswer() override;
  ui::LResult EvLineBusy() override;
  ui::LResult EvStatusError() override;

 private:
  void Write();
  void ReadBack();
  void Fail(const std::string& why);
  void Finish();
  std::string PartName() const;

  TDaneIPPC file_;
  TDaneIPPC device_;
  std::vector<ConfigPart> parts_;
  std::size_t at_ = 0;
  bool readingBack_ = false;
  bool finished_ = false;
  bool failed_ = false;
  std::vector<Step> steps_;
};
