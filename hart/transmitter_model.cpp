#include "hart/transmitter_model.h"

#include <algorithm>
#include <cmath>
#include <bit>

#include "fields/catalogues.h"
#include "hart/frame.h"

namespace hart {
namespace {

constexpr std::uint8_t kShortReply = 0x06;
constexpr std::uint8_t kLongReply = 0x86;
constexpr std::size_t kShortHeader = 4;  // delimiter, address, command, byte count
constexpr std::size_t kLongHeader = 8;

using Bytes = std::vector<std::uint8_t>;

void PutFloat(Bytes& out, float value) {
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
  for (int shift = 24; shift >= 0; shift -= 8) {
    out.push_back(static_cast<std::uint8_t>(bits >> shift));
  }
}

void Put24(Bytes& out, std::uint32_t value) {
  for (int shift = 16; shift >= 0; shift -= 8) {
    out.push_back(static_cast<std::uint8_t>(value >> shift));
  }
}

float GetFloat(std::span<const std::uint8_t> data, std::size_t at) {
  std::uint32_t bits = 0;
  for (std::size_t i = 0; i < 4; ++i) bits = bits << 8 | data[at + i];
  return std::bit_cast<float>(bits);
}

double FactorOf(std::uint8_t code) {
  return config::UnitByIndex(config::UnitIndexOfCode(code)).factor;
}

void Scale(float& value, double ratio) {
  value = static_cast<float>(static_cast<double>(value) * ratio);
}

// Data bytes of the commands that write; 0 for the others.
std::size_t WriteSize(std::uint8_t command) {
  switch (command) {
    case 6: case 44: case 47: case 59: return 1;
    case 19: return 3;
    case 34: case 40: case 45: case 46: return 4;
    case 67: case 68: return 6;
    case 35: return 9;
    case 18: return 21;
    case 17: return 24;
    default: return 0;
  }
}

// What a transmitter on a line refuses of a write, with HART's response code; 0: taken.
std::uint8_t Refusal(const TransmitterModel& m, std::uint8_t command,
                     std::span<const std::uint8_t> in) {
  constexpr std::uint8_t kTooLarge = 3;
  constexpr std::uint8_t kTooSmall = 4;
  constexpr std::uint8_t kWrongCurrentMode = 9;  // trims: only in fixed-current mode
  constexpr std::uint8_t kLowerTooHigh = 9;
  constexpr std::uint8_t kLowerTooLow = 10;
  constexpr std::uint8_t kUpperTooHigh = 11;
  constexpr std::uint8_t kUpperTooLow = 12;
  constexpr std::uint8_t kInvalidSpan = 29;  // 14 would be a mere warning
  switch (command) {
    case 34: {
      const float damping = GetFloat(in, 0);
      if (damping < 0.0f) return kTooSmall;
      return damping > m.maxDamping ? kTooLarge : 0;
    }
    case 35: {
      const double ratio = in[0] == m.unit ? 1.0 : UnitRatio(in[0], m.unit);
      float upper = GetFloat(in, 1);
      float lower = GetFloat(in, 5);
      Scale(upper, ratio);
      Scale(lower, ratio);
      if (upper > m.upperLimit) return kUpperTooHigh;
      if (upper < m.lowerLimit) return kUpperTooLow;
      if (lower > m.upperLimit) return kLowerTooHigh;
      if (lower < m.lowerLimit) return kLowerTooLow;
      return std::fabs(upper - lower) < m.minimumSpan ? kInvalidSpan : 0;
    }
    case 45:
    case 46:
      return m.fixedCurrent == 0.0f ? kWrongCurrentMode : 0;
    default:
      return 0;
  }
}

// Runs one command on the model: its reply data, or a response code.
std::uint8_t Execute(TransmitterModel& m, const AnswerRules& rules, std::uint8_t command,
                     std::span<const std::uint8_t> in, Bytes& out) {
  switch (command) {
    case 0:
      out = IdentityOf(m);
      return 0;
    case 11:
      out = IdentityOf(m);
      if (rules.anonymousByTag) std::fill(out.begin(), out.end(), std::uint8_t{0});
      return 0;
    case 20:
    case 21:
      // The long tag is HART 6's; an older transmitter does not know either command.
      if (m.universalRevision < 6) break;
      if (command == 21) {
        out = IdentityOf(m);
      } else {
        out.assign(m.longTag.begin(), m.longTag.end());
      }
      return 0;
    case 1:
      out.push_back(m.unit);
      PutFloat(out, m.pressure);
      return 0;
    case 3:
      PutFloat(out, m.fixedCurrent != 0.0f ? m.fixedCurrent : m.loopCurrent);
      out.push_back(m.unit);
      PutFloat(out, m.pressure);
      return 0;
    case 12:
      out.assign(m.message.begin(), m.message.end());
      return 0;
    case 13:
      out.assign(m.tag.begin(), m.tag.end());
      out.insert(out.end(), m.descriptor.begin(), m.descriptor.end());
      out.insert(out.end(), {m.day, m.month, m.year});
      return 0;
    case 14:
      Put24(out, m.sensorSerial);
      out.push_back(m.unit);
      PutFloat(out, m.upperLimit);
      PutFloat(out, m.lowerLimit);
      PutFloat(out, m.minimumSpan);
      return 0;
    case 15:
      out = {m.alarm, m.transferFunction, m.unit};
      PutFloat(out, m.upperRange);
      PutFloat(out, m.lowerRange);
      PutFloat(out, m.damping);
      out.insert(out.end(), {m.writeProtect, m.distributor});
      return 0;
    case 16:
      Put24(out, m.assemblyNumber);
      return 0;
    case 48:
      // HART 5 says the device-specific bytes; from 6 on the extended status, the operating mode
      // and the first standardized status follow.
      out.assign(m.specificStatus.begin(), m.specificStatus.end());
      if (m.universalRevision >= 6) out.insert(out.end(), {m.extendedStatus, 0, 0});
      return 0;
    // The end it set goes with the reply, so that the range holds it before it is read back.
    case 36:
      m.upperRange = m.pressureAtUpperSet;
      PutFloat(out, m.upperRange);
      return 0;
    case 37:
      m.lowerRange = m.pressureAtLowerSet;
      PutFloat(out, m.lowerRange);
      return 0;
    case 43:
      m.pressure = 0.0f;
      return 0;
    default:
      break;
  }

  const std::size_t size = WriteSize(command);
  if (size == 0) return rules.answersEverything ? 0 : kCommandNotImplemented;
  if (in.size() < size) return kTooFewDataBytes;
  if (!rules.answersEverything) {
    if (const std::uint8_t refused = Refusal(m, command, in); refused != 0) return refused;
  }
  out.assign(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(size));
  switch (command) {
    case 6: m.pollingAddress = in[0]; break;
    case 59: m.responsePreambles = in[0]; break;
    case 17: std::copy_n(in.begin(), m.message.size(), m.message.begin()); break;
    case 18:
      std::copy_n(in.begin(), m.tag.size(), m.tag.begin());
      std::copy_n(in.begin() + 6, m.descriptor.size(), m.descriptor.begin());
      m.day = in[18];
      m.month = in[19];
      m.year = in[20];
      break;
    case 19:
      m.assemblyNumber = static_cast<std::uint32_t>(in[0] << 16 | in[1] << 8 | in[2]);
      break;
    case 34: m.damping = GetFloat(in, 0); break;
    case 35: {
      // Range values given in another unit are converted to the transmitter's own.
      const double ratio = in[0] == m.unit ? 1.0 : UnitRatio(in[0], m.unit);
      m.upperRange = GetFloat(in, 1);
      m.lowerRange = GetFloat(in, 5);
      Scale(m.upperRange, ratio);
      Scale(m.lowerRange, ratio);
      break;
    }
    case 40: m.fixedCurrent = GetFloat(in, 0); break;
    case 44: {
      // Everything the transmitter holds in pressure units follows the new unit.
      const double ratio = UnitRatio(m.unit, in[0]);
      for (float* v : {&m.upperRange, &m.lowerRange, &m.upperLimit, &m.lowerLimit,
                       &m.minimumSpan, &m.pressure}) {
        Scale(*v, ratio);
      }
      m.unit = in[0];
      break;
    }
    case 47: m.transferFunction = in[0]; break;
    case 67:
    case 68: {
      // The unit code goes back as given; the point's reading, where it has one, stands for
      // the pressure given.
      const std::optional<float>& reading =
          command == 67 ? m.startPointReading : m.endPointReading;
      if (reading) {
        out.resize(2);
        PutFloat(out, *reading);
      }
      break;
    }
    default: break;
  }
  return 0;
}

bool Addressed(const TransmitterModel& m, std::span<const std::uint8_t> request, bool isLong,
               std::uint8_t command, std::span<const std::uint8_t> data) {
  if (!isLong) return command == 0 && (request[1] & 0x3F) == (m.pollingAddress & 0x3F);
  const bool own = (request[1] & 0x3F) == (m.manufacturer & 0x3F) &&
                   request[2] == m.deviceType && request[3] == (m.deviceId >> 16 & 0xFF) &&
                   request[4] == (m.deviceId >> 8 & 0xFF) && request[5] == (m.deviceId & 0xFF);
  const bool broadcast = (request[1] & 0x3F) == 0 &&
                         std::all_of(request.begin() + 2, request.begin() + 6,
                                     [](std::uint8_t b) { return b == 0; });
  const bool ownTag = command == 11 && data.size() >= m.tag.size() &&
                      std::equal(m.tag.begin(), m.tag.end(), data.begin());
  const bool ownLongTag = command == 21 && data.size() >= m.longTag.size() &&
                          std::equal(m.longTag.begin(), m.longTag.end(), data.begin());
  return own || (broadcast && (ownTag || ownLongTag));
}

}  // namespace

std::vector<std::uint8_t> IdentityOf(const TransmitterModel& m) {
  constexpr std::uint8_t kHart6 = 6;
  constexpr std::uint8_t kHart7 = 7;
  const std::uint8_t hardware =
      m.universalRevision >= kHart6
          ? static_cast<std::uint8_t>(m.hardwareRevision << 3 | (m.signalling & 0x07))
          : m.hardwareRevision;
  Bytes out{m.expansionCode,
            m.manufacturer,
            m.deviceType,
            m.requestPreambles,
            m.universalRevision,
            m.specificRevision,
            m.softwareRevision,
            hardware,
            m.flags};
  Put24(out, m.deviceId);
  if (m.universalRevision < kHart6) return out;
  out.insert(out.end(), {m.responsePreambles, m.deviceVariables,
                         static_cast<std::uint8_t>(m.configurationChanges >> 8),
                         static_cast<std::uint8_t>(m.configurationChanges), m.extendedStatus});
  if (m.universalRevision < kHart7) return out;
  // The private label distributor in the 16 bits HART 7 gives it.
  out.insert(out.end(), {static_cast<std::uint8_t>(m.manufacturerCode >> 8),
                         static_cast<std::uint8_t>(m.manufacturerCode), 0, m.distributor,
                         m.deviceProfile});
  return out;
}

bool Writes(std::uint8_t command) {
  return WriteSize(command) != 0 || command == 36 || command == 37 || command == 43;
}

double UnitRatio(std::uint8_t from, std::uint8_t to) {
  return FactorOf(to) * (1.0 / FactorOf(from));
}

std::vector<std::uint8_t> Answer(TransmitterModel& model, std::span<const std::uint8_t> request,
                                 const AnswerRules& rules) {
  if (request.empty()) return {};
  const bool isLong = request[0] == kLongDelimiter;
  const std::size_t header = isLong ? kLongHeader : kShortHeader;
  if (request.size() < header + 1) return {};
  const std::uint8_t command = request[isLong ? 6 : 2];
  const std::size_t count = std::min<std::size_t>(request[header - 1], request.size() - header - 1);
  const std::span<const std::uint8_t> data = request.subspan(header, count);
  if (!rules.answersEverything && !Addressed(model, request, isLong, command, data)) return {};

  Bytes out;
  const std::uint8_t code = Execute(model, rules, command, data, out);
  // An error carries no data.
  if (code != 0) out.clear();

  // A reply goes to the master that asked: it carries the master bit of the request.
  const auto master = static_cast<std::uint8_t>(request[1] & 0x80);
  Bytes frame;
  if (isLong) {
    frame = {kLongReply,
             static_cast<std::uint8_t>((model.manufacturer & 0x3F) | master),
             model.deviceType,
             static_cast<std::uint8_t>(model.deviceId >> 16),
             static_cast<std::uint8_t>(model.deviceId >> 8),
             static_cast<std::uint8_t>(model.deviceId),
             command};
  } else {
    frame = {kShortReply, static_cast<std::uint8_t>((model.pollingAddress & 0x3F) | master),
             command};
  }
  frame.push_back(static_cast<std::uint8_t>(out.size() + 2));
  frame.push_back(code);
  frame.push_back(model.deviceStatus);
  frame.insert(frame.end(), out.begin(), out.end());
  frame.push_back(Checksum(frame));
  return frame;
}

}  // namespace hart
