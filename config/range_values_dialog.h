// TRangeVal: shows the sensor limits and the range, and writes a typed range (command 35).
#pragma once

#include <cstdint>
#include <optional>

#include "fields/value_fields.h"
#include "data/selection_list.h"

class TRangeVal : public TLista {
 public:
  static constexpr int kResourceId = 830;
  static constexpr std::uint8_t kCmdWriteRange = 35;

  // Control ids of dialog 830.
  enum : int {
    kLowerLimitLabel = 831,
    kMinimumSpanLabel = 832,
    kUpperLimitLabel = 834,
    kUpperLimit = 835,
    kLowerLimit = 836,
    kMinimumSpan = 837,
    kUpperRange = 838,
    kLowerRange = 839,
    kNewUpper = 840,
    kNewLower = 841,
    kUpperLimitUnit = 842,
    kLowerLimitUnit = 843,
    kUpperRangeUnit = 844,
    kLowerRangeUnit = 845,
    kNewUpperUnit = 846,
    kNewLowerUnit = 847,
    kUpperRangeLabel = 848,
    kLowerRangeLabel = 849,
    kNewUpperLabel = 850,
    kNewLowerLabel = 851,
    kCurrentRangeGroup = 852,
    kNewRangeGroup = 853,
  };
  static constexpr int kNewValueTextLimit = 40;

  // What was sent, kept until the reply.
  struct PendingWrite {
    float upper = 0.0f;
    float lower = 0.0f;
    std::uint8_t unitCode = 0;
  };

  TRangeVal(ui::Window* parent, TDane& database, bool& changed, int& selectionMemory,
            const TSerialPortSettings& settings, ui::Window* panelWindow);

  static ui::DialogTemplate BuildTemplate();

  const std::optional<PendingWrite>& Pending() const { return pending_; }

 protected:
  void SetupWindow() override;
  void TransmitterSelected() override;
  void Send() override;
  ui::LResult EvReply() override;
  ui::LResult EvNoAnswer() override;
  ui::LResult EvStatusError() override;

 private:
  void Refresh();

  std::optional<PendingWrite> pending_;
  TEditValue upperLimit_, lowerLimit_, minimumSpan_, upperRange_, lowerRange_, newUpper_,
      newLower_;
  TEditUnits upperLimitUnit_, lowerLimitUnit_, upperRangeUnit_, lowerRangeUnit_, newUpperUnit_,
      newLowerUnit_;
};
