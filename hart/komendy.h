// The command dialog base: quiet defaults, the send hook and the request builders.
#pragma once

#include "record/record.h"
#include "hart/protokol.h"

class TKomendy : public THartProtokol {
 public:
  using THartProtokol::THartProtokol;

  // The long-frame address of a record.
  static hart::LongAddress AddressOf(const TDaneIPPC& record);

  // Builders that arm the reply timer themselves.
  void RequestPoll(const TDaneIPPC& record, std::uint8_t pollingAddress, int param1);
  void RequestCommand(const TDaneIPPC& record, std::uint8_t command, int param1);
  void RequestFloat(const TDaneIPPC& record, std::uint8_t command, float value, int param1);
  void RequestTwoBytesFloat(const TDaneIPPC& record, std::uint8_t command, std::uint8_t byte1,
                            std::uint8_t byte2, float value, int param1);
  void RequestPollingAddress(const TDaneIPPC& record, std::uint8_t newAddress, int param1);
  void RequestPreambles(const TDaneIPPC& record, std::uint8_t responsePreambles, int param1);
  void RequestFindByTag(const TDaneIPPC& record, int param1);
  void RequestWriteMessage(const TDaneIPPC& record, int param1);
  void RequestWriteTagDescriptorDate(const TDaneIPPC& record, int param1);
  void RequestWriteAssemblyNumber(const TDaneIPPC& record, int param1);

  // Builders that leave arming the reply timer to their caller.
  void BuildCommand(std::uint8_t manufacturer, std::uint8_t deviceType, int preambles,
                    std::int32_t deviceId, std::uint8_t command, int param1);
  void BuildRange(std::uint8_t manufacturer, std::uint8_t deviceType, int preambles,
                  std::int32_t deviceId, std::uint8_t command, std::uint8_t unitCode, float value1,
                  float value2, int param1);

 protected:
  ui::LResult EvNoAnswer() override { return 0; }
  ui::LResult EvReply() override { return 0; }
  // The dialog's send button.
  virtual void Send() {}
};
