#include "hart/komendy.h"

#include <vector>

#include "record/float_form.h"

namespace {

constexpr std::uint8_t kCmdWritePollingAddress = 6;
constexpr std::uint8_t kCmdReadByTag = 11;
constexpr std::uint8_t kCmdWriteMessage = 17;
constexpr std::uint8_t kCmdWriteTagDescriptorDate = 18;
constexpr std::uint8_t kCmdWriteAssemblyNumber = 19;
constexpr std::uint8_t kCmdWritePreambles = 59;

void AppendFloat(std::vector<std::uint8_t>& data, float value) {
  std::uint8_t bytes[4];
  int length = 0;
  floatform::AppendFloat(value, bytes, length);
  data.insert(data.end(), bytes, bytes + 4);
}

hart::LongAddress Address(std::uint8_t manufacturer, std::uint8_t deviceType, std::int32_t id) {
  return hart::LongAddress{manufacturer, deviceType, static_cast<std::uint32_t>(id) & 0xFFFFFF};
}

}  // namespace

hart::LongAddress TKomendy::AddressOf(const TDaneIPPC& record) {
  return Address(record.manufacturerId, record.deviceType, record.deviceId);
}

void TKomendy::RequestPoll(const TDaneIPPC& record, std::uint8_t pollingAddress, int param1) {
  IssueShort(pollingAddress, 0, record.preambles, param1);
  StartReplyTimer();
}

void TKomendy::RequestCommand(const TDaneIPPC& record, std::uint8_t command, int param1) {
  IssueLong(AddressOf(record), command, {}, record.preambles, param1);
  StartReplyTimer();
}

void TKomendy::RequestFloat(const TDaneIPPC& record, std::uint8_t command, float value, int param1) {
  std::vector<std::uint8_t> data;
  AppendFloat(data, value);
  IssueLong(AddressOf(record), command, data, record.preambles, param1);
  StartReplyTimer();
}

void TKomendy::RequestTwoBytesFloat(const TDaneIPPC& record, std::uint8_t command,
                                    std::uint8_t byte1, std::uint8_t byte2, float value,
                                    int param1) {
  std::vector<std::uint8_t> data{byte1, byte2};
  AppendFloat(data, value);
  IssueLong(AddressOf(record), command, data, record.preambles, param1);
  StartReplyTimer();
}

void TKomendy::RequestPollingAddress(const TDaneIPPC& record, std::uint8_t newAddress, int param1) {
  const std::uint8_t data[] = {newAddress};
  IssueLong(AddressOf(record), kCmdWritePollingAddress, data, record.preambles, param1);
  StartReplyTimer();
}

void TKomendy::RequestPreambles(const TDaneIPPC& record, std::uint8_t responsePreambles,
                                int param1) {
  const std::uint8_t data[] = {responsePreambles};
  IssueLong(AddressOf(record), kCmdWritePreambles, data, record.preambles, param1);
  StartReplyTimer();
}

void TKomendy::RequestFindByTag(const TDaneIPPC& record, int param1) {
  // Command 11 finds the transmitter by its tag alone, so it goes to the all-zero address.
  IssueLong(hart::LongAddress{}, kCmdReadByTag, record.tag, record.preambles, param1);
  StartReplyTimer();
}

void TKomendy::RequestWriteMessage(const TDaneIPPC& record, int param1) {
  IssueLong(AddressOf(record), kCmdWriteMessage, record.message, record.preambles, param1);
  StartReplyTimer();
}

void TKomendy::RequestWriteTagDescriptorDate(const TDaneIPPC& record, int param1) {
  std::vector<std::uint8_t> data(record.tag.begin(), record.tag.end());
  data.insert(data.end(), record.descriptor.begin(), record.descriptor.end());
  data.push_back(record.dateDay);
  data.push_back(record.dateMonth);
  data.push_back(record.dateYear);
  IssueLong(AddressOf(record), kCmdWriteTagDescriptorDate, data, record.preambles, param1);
  StartReplyTimer();
}

void TKomendy::RequestWriteAssemblyNumber(const TDaneIPPC& record, int param1) {
  const std::uint32_t n = record.assemblyNumber;
  const std::uint8_t data[] = {static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 8),
                               static_cast<std::uint8_t>(n)};
  IssueLong(AddressOf(record), kCmdWriteAssemblyNumber, data, record.preambles, param1);
  StartReplyTimer();
}

void TKomendy::BuildCommand(std::uint8_t manufacturer, std::uint8_t deviceType, int preambles,
                            std::int32_t deviceId, std::uint8_t command, int param1) {
  IssueLong(Address(manufacturer, deviceType, deviceId), command, {}, preambles, param1);
}

void TKomendy::BuildRange(std::uint8_t manufacturer, std::uint8_t deviceType, int preambles,
                          std::int32_t deviceId, std::uint8_t command, std::uint8_t unitCode,
                          float value1, float value2, int param1) {
  std::vector<std::uint8_t> data{unitCode};
  AppendFloat(data, value1);
  AppendFloat(data, value2);
  IssueLong(Address(manufacturer, deviceType, deviceId), command, data, preambles, param1);
}
