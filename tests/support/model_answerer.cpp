#include "tests/support/model_answerer.h"

#include "hart/frame.h"
#include "hart/reply_data.h"
#include "hart/response_code.h"

namespace testhart {
namespace {

// A transmitter on a line answers only to its own address and knows no command but its own.
constexpr hart::AnswerRules kLineRules{.answersEverything = false, .anonymousByTag = false};

}  // namespace

hart::TransmitterModel TestModel(std::uint8_t universalRevision) {
  hart::TransmitterModel m;
  m.universalRevision = universalRevision;
  m.manufacturer = 38;
  m.deviceType = 200;
  m.deviceId = 0x0A1B2C;
  m.requestPreambles = 5;
  m.specificRevision = 2;
  m.softwareRevision = 3;
  m.hardwareRevision = 4;
  m.flags = 1;
  m.responsePreambles = 7;
  m.alarm = 0;
  m.unit = 12;  // kPa
  m.upperRange = 400.0f;
  m.lowerRange = -50.0f;
  m.damping = 0.5f;
  m.writeProtect = 0;
  m.distributor = 38;
  m.sensorSerial = 777'001;
  m.upperLimit = 600.0f;
  m.lowerLimit = -100.0f;
  m.minimumSpan = 20.0f;
  m.message = {};
  m.tag = {};
  m.descriptor = {};
  m.day = 14;
  m.month = 3;
  m.year = 121;
  m.assemblyNumber = 4242;
  m.pressure = 123.25f;
  m.loopCurrent = 8.5f;
  // The range ends are set to what it measures, and a calibration is confirmed as given.
  m.pressureAtUpperSet = m.pressure;
  m.pressureAtLowerSet = m.pressure;
  m.startPointReading.reset();
  m.endPointReading.reset();
  if (universalRevision >= 6) {
    // Expanded device type 0xE123 (6) or 0xE4A7 (7): its first byte beyond the six address bits.
    m.manufacturer = universalRevision >= 7 ? 0xE4 : 0xE1;
    m.deviceType = universalRevision >= 7 ? 0xA7 : 0x23;
    m.signalling = 1;
    m.deviceVariables = 3;
    m.configurationChanges = 0x0102;
    m.extendedStatus = 0x02;
    m.manufacturerCode = 0x6011;
  }
  return m;
}

std::vector<std::uint8_t> CodeAlone(std::vector<std::uint8_t> reply, std::uint8_t code) {
  const hart::ReplyLayout layout = hart::LayoutOf(reply);
  reply.resize(layout.responseCode + 2);
  reply[layout.byteCount] = 2;  // the two status bytes alone
  reply[layout.responseCode] = code;
  // The device status stays as the reply had it.
  reply.push_back(hart::Checksum(reply));
  return reply;
}

std::vector<std::uint8_t> ModelAnswerer::Answer(std::span<const std::uint8_t> request,
                                                bool carryOut) {
  const std::lock_guard lock(mutex_);
  hart::TransmitterModel probe = model_;
  std::vector<std::uint8_t> reply = hart::Answer(probe, request, kLineRules);
  if (reply.empty()) return reply;
  if (refusal_ != 0) return CodeAlone(std::move(reply), refusal_);
  const std::uint8_t command = request[0] == hart::kLongDelimiter ? request[6] : request[2];
  auto script = scripts_.find(command);
  if (script != scripts_.end() && !script->second.empty()) {
    const std::uint8_t code = script->second.front();
    if (carryOut) script->second.pop_front();
    if (hart::ClassOf(code) != hart::ResponseClass::Warning) return CodeAlone(std::move(reply), code);
    reply[hart::LayoutOf(reply).responseCode] = code;
    reply.back() = hart::Checksum(std::span(reply).first(reply.size() - 1));
  }
  if (carryOut) model_ = probe;
  return reply;
}

void ModelAnswerer::Script(std::uint8_t command, std::vector<std::uint8_t> codes) {
  const std::lock_guard lock(mutex_);
  scripts_[command] = std::deque<std::uint8_t>(codes.begin(), codes.end());
}

void ModelAnswerer::SetRefusal(std::uint8_t responseCode) {
  const std::lock_guard lock(mutex_);
  refusal_ = responseCode;
}

hart::TransmitterModel ModelAnswerer::Model() const {
  const std::lock_guard lock(mutex_);
  return model_;
}

void ModelAnswerer::SetModel(const hart::TransmitterModel& model) {
  const std::lock_guard lock(mutex_);
  model_ = model;
}

TDaneIPPC RecordOf(const hart::TransmitterModel& m) {
  TDaneIPPC r;
  r.manufacturerId = m.manufacturer;
  r.deviceType = m.deviceType;
  r.deviceId = static_cast<std::int32_t>(m.deviceId);
  r.preambles = m.requestPreambles;
  r.unitCode = m.unit;
  r.upperRange = m.upperRange;
  r.lowerRange = m.lowerRange;
  r.upperSensorLimit = m.upperLimit;
  r.lowerSensorLimit = m.lowerLimit;
  r.minimumSpan = m.minimumSpan;
  return r;
}

}  // namespace testhart
