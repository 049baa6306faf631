#include "hart/simulated_link.h"

#include <algorithm>

#include "hart/protokol.h"
#include "hart/reply_data.h"
#include "ui/platform.h"

namespace hart {
namespace {

constexpr std::uint32_t kThreeBytes = 0xFFFFFF;

// What a dialog changed in its record since the model last mirrored it goes into the model;
// everything else keeps what the transmitter did with it.
void TakeChanges(TransmitterModel& model, const TDaneIPPC& before, const TDaneIPPC& now) {
  const TransmitterModel was = ModelOf(before);
  const TransmitterModel is = ModelOf(now);
  const auto take = [&](auto TransmitterModel::*field) {
    if (!(was.*field == is.*field)) model.*field = is.*field;
  };
  take(&TransmitterModel::pollingAddress);
  take(&TransmitterModel::expansionCode);
  take(&TransmitterModel::manufacturer);
  take(&TransmitterModel::deviceType);
  take(&TransmitterModel::deviceId);
  take(&TransmitterModel::requestPreambles);
  take(&TransmitterModel::universalRevision);
  take(&TransmitterModel::specificRevision);
  take(&TransmitterModel::softwareRevision);
  take(&TransmitterModel::hardwareRevision);
  take(&TransmitterModel::flags);
  take(&TransmitterModel::alarm);
  take(&TransmitterModel::transferFunction);
  take(&TransmitterModel::unit);
  take(&TransmitterModel::upperRange);
  take(&TransmitterModel::lowerRange);
  take(&TransmitterModel::damping);
  take(&TransmitterModel::writeProtect);
  take(&TransmitterModel::distributor);
  take(&TransmitterModel::sensorSerial);
  take(&TransmitterModel::upperLimit);
  take(&TransmitterModel::lowerLimit);
  take(&TransmitterModel::minimumSpan);
  take(&TransmitterModel::message);
  take(&TransmitterModel::tag);
  take(&TransmitterModel::descriptor);
  take(&TransmitterModel::day);
  take(&TransmitterModel::month);
  take(&TransmitterModel::year);
  take(&TransmitterModel::assemblyNumber);
}

}  // namespace

TransmitterModel ModelOf(const TDaneIPPC& record) {
  TransmitterModel m;
  m.pollingAddress = record.pollingAddress;
  m.expansionCode = record.expansionCode;
  m.manufacturer = record.manufacturerId;
  m.deviceType = record.deviceType;
  m.deviceId = static_cast<std::uint32_t>(record.deviceId) & kThreeBytes;
  m.requestPreambles = record.preambles;
  m.universalRevision = record.universalRevision;
  m.specificRevision = record.specificRevision;
  m.softwareRevision = record.softwareRevision;
  m.hardwareRevision = record.hardwareRevision;
  m.flags = record.deviceFlags;
  m.alarm = record.alarmCode;
  m.transferFunction = record.transferFunction;
  m.unit = record.unitCode;
  m.upperRange = record.upperRange;
  m.lowerRange = record.lowerRange;
  m.damping = record.damping;
  m.writeProtect = record.writeProtect;
  m.distributor = record.distributorCode;
  m.sensorSerial = static_cast<std::uint32_t>(record.sensorSerial) & kThreeBytes;
  m.upperLimit = record.upperSensorLimit;
  m.lowerLimit = record.lowerSensorLimit;
  m.minimumSpan = record.minimumSpan;
  m.message = record.message;
  m.tag = record.tag;
  m.descriptor = record.descriptor;
  m.day = record.dateDay;
  m.month = record.dateMonth;
  m.year = record.dateYear;
  m.assemblyNumber = record.assemblyNumber;
  return m;
}

// A dialog's first request, or one for another record, finds the transmitter as the record
// describes it. A write starts from the record too, so that what an earlier exchange left in the
// transmitter but the dialog never read back does not carry into it. A read finds what the
// dialog's earlier writes did (the unit change's limits, read after the unit is written), with
// whatever the dialog changed in the record since.
void SimulatedLink::Mirror(const THartProtokol& dialog, bool writes) {
  const TDaneIPPC* record = dialog.AddressedRecord();
  const bool fresh = &dialog != mirroring_ || record != record_;
  if (fresh || writes) {
    model_ = record != nullptr ? ModelOf(*record) : TransmitterModel{};
  } else if (record != nullptr) {
    TakeChanges(model_, mirrored_, *record);
  }
  mirroring_ = &dialog;
  record_ = record;
  if (record != nullptr) mirrored_ = *record;
}

void SimulatedLink::Transmit(THartProtokol& dialog) {
  const auto request = dialog.Request();
  request_.assign(request.begin(), request.end());
  const bool isLong = !request_.empty() && request_[0] == kLongDelimiter;
  const std::size_t commandAt = isLong ? 6 : 2;
  Mirror(dialog, request_.size() > commandAt && Writes(request_[commandAt]));
  if (FrameTrace* trace = dialog.Trace()) {
    trace->Request(ui::ThePlatform().NowMs(), request, dialog.preambleCount, dialog.linkParam1,
                   dialog.linkParam2, dialog.frameIsLong);
  }
  waiting_ = &dialog;
  dialog.ArmReplyTimer();
}

void SimulatedLink::Forget(THartProtokol& dialog) {
  if (waiting_ == &dialog) waiting_ = nullptr;
  if (mirroring_ == &dialog) {
    mirroring_ = nullptr;
    record_ = nullptr;
  }
}

void SimulatedLink::ReplyDue(THartProtokol& dialog) {
  if (waiting_ != &dialog) return;
  waiting_ = nullptr;
  // The transmitter takes the request when it answers it: one replaced before its reply never
  // reached it.
  const std::vector<std::uint8_t> reply = Answer(model_, request_);
  if (reply.empty()) {
    dialog.SendMessage(kEvNoAnswer);
    return;
  }
  const std::span<std::uint8_t> area = dialog.Reply();
  std::fill(area.begin(), area.end(), std::uint8_t{0});
  const std::size_t length = std::min(reply.size(), area.size());
  std::copy_n(reply.begin(), length, area.begin());
  dialog.NoteReceived(static_cast<int>(length), THartProtokol::kNoPreambles);
  dialog.SendMessage(OutcomeOf(area));
}

}  // namespace hart
