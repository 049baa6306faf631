#include "tests/support/test_transmitter.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include "fields/catalogues.h"

namespace testhart {
namespace {

constexpr std::uint8_t kPreamble = 0xFF;
constexpr std::uint8_t kShortRequest = 0x02;
constexpr std::uint8_t kLongRequest = 0x82;
constexpr std::uint8_t kShortReply = 0x06;
constexpr std::uint8_t kLongReply = 0x86;
// Replies carry the primary master's bit, as to a primary master: the program must look past it.
constexpr std::uint8_t kMasterBit = 0x80;
constexpr std::uint8_t kBusy = 32;
// The first status byte of a reply to a request the transmitter heard garbled.
constexpr std::uint8_t kCommError = 0x80;
// 11 bits a character at 1200 baud.
constexpr double kCharacterMs = 11000.0 / 1200.0;
constexpr std::uint8_t kInvalidSelection = 2;
constexpr std::uint8_t kTooFewDataBytes = 5;
constexpr std::uint8_t kNotImplemented = 64;

using Bytes = std::vector<std::uint8_t>;

void MakeRaw(int fd) {
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) return;
  ::cfmakeraw(&tio);
  ::tcsetattr(fd, TCSANOW, &tio);
}

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

float GetFloat(const Bytes& data, std::size_t at) {
  std::uint32_t bits = 0;
  for (std::size_t i = 0; i < 4; ++i) bits = bits << 8 | data[at + i];
  return std::bit_cast<float>(bits);
}

// Units in one pascal for a HART unit code; none for codes the transmitter does not know.
double FactorOf(std::uint8_t code) {
  for (const config::UnitEntry& unit : config::UnitCatalogue()) {
    if (unit.code == code && code != 0) return unit.factor;
  }
  return 0.0;
}

std::uint8_t Xor(const Bytes& bytes) {
  std::uint8_t sum = 0;
  for (std::uint8_t b : bytes) sum ^= b;
  return sum;
}

Bytes Identity(const TransmitterModel& m) {
  Bytes data{254,
             m.manufacturer,
             m.deviceType,
             m.requestPreambles,
             m.universalRevision,
             m.specificRevision,
             m.softwareRevision,
             m.hardwareRevision,
             m.flags};
  Put24(data, m.deviceId);
  return data;
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

// Runs one command on the model: its reply data, or a response code.
std::uint8_t Execute(TransmitterModel& m, std::uint8_t command, const Bytes& in, Bytes& out) {
  switch (command) {
    case 0:
    case 11:
      out = Identity(m);
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
    case 36:
      m.upperRange = m.pressure;
      return 0;
    case 37:
      m.lowerRange = m.pressure;
      return 0;
    case 43:
      m.pressure = 0.0f;
      return 0;
    default:
      break;
  }

  // The writes: each confirms with what it took.
  const std::size_t size = WriteSize(command);
  if (size == 0) return kNotImplemented;
  if (in.size() < size) return kTooFewDataBytes;
  out.assign(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(size));
  switch (command) {
    case 6: m.pollingAddress = in[0]; break;
    case 59: m.responsePreambles = in[0]; break;
    case 17: std::copy_n(in.begin(), 24, m.message.begin()); break;
    case 18:
      std::copy_n(in.begin(), 6, m.tag.begin());
      std::copy_n(in.begin() + 6, 12, m.descriptor.begin());
      m.day = in[18];
      m.month = in[19];
      m.year = in[20];
      break;
    case 19: m.assemblyNumber = static_cast<std::uint32_t>(in[0] << 16 | in[1] << 8 | in[2]); break;
    case 34: m.damping = GetFloat(in, 0); break;
    case 35: {
      const double from = FactorOf(in[0]);
      if (from == 0.0) return kInvalidSelection;
      const double ratio = FactorOf(m.unit) / from;
      m.upperRange = static_cast<float>(GetFloat(in, 1) * ratio);
      m.lowerRange = static_cast<float>(GetFloat(in, 5) * ratio);
      break;
    }
    case 40: m.fixedCurrent = GetFloat(in, 0); break;
    case 44: {
      // Everything the transmitter holds in pressure units follows the new unit.
      const double to = FactorOf(in[0]);
      if (to == 0.0) return kInvalidSelection;
      const double ratio = to / FactorOf(m.unit);
      for (float* v : {&m.upperRange, &m.lowerRange, &m.upperLimit, &m.lowerLimit,
                       &m.minimumSpan, &m.pressure}) {
        *v = static_cast<float>(*v * ratio);
      }
      m.unit = in[0];
      break;
    }
    case 47: m.transferFunction = in[0]; break;
    default: break;
  }
  return 0;
}

}  // namespace

TestTransmitter::TestTransmitter() {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
    throw std::runtime_error("no pseudo-terminal");
  }
  char name[128];
  if (::ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("no pts name");
  device_ = name;
  MakeRaw(master_);
  // Held open so that the master side never sees a hang-up between the program's opens.
  slaveKeeper_ = ::open(device_.c_str(), O_RDWR | O_NOCTTY);
  if (slaveKeeper_ >= 0) MakeRaw(slaveKeeper_);
  thread_ = std::thread([this] { Serve(); });
}

TestTransmitter::~TestTransmitter() {
  Stop();
  if (master_ >= 0) ::close(master_);
  if (slaveKeeper_ >= 0) ::close(slaveKeeper_);
}

void TestTransmitter::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void TestTransmitter::Unplug() {
  Stop();
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

void TestTransmitter::SetBehaviour(Behaviour behaviour, int count, int value) {
  std::lock_guard lock(mutex_);
  behaviour_ = behaviour;
  behaviourCount_ = count;
  behaviourValue_ = value;
}

TransmitterModel TestTransmitter::Model() const {
  std::lock_guard lock(mutex_);
  return model_;
}

void TestTransmitter::SetModel(const TransmitterModel& model) {
  std::lock_guard lock(mutex_);
  model_ = model;
}

std::vector<std::vector<std::uint8_t>> TestTransmitter::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<int> TestTransmitter::RequestPreambles() const {
  std::lock_guard lock(mutex_);
  return requestPreambles_;
}

void TestTransmitter::ClearRequests() {
  std::lock_guard lock(mutex_);
  requests_.clear();
  requestPreambles_.clear();
}

void TestTransmitter::Serve() {
  std::uint8_t buffer[256];
  while (!stop_) {
    pollfd p{master_, POLLIN, 0};
    const int ready = ::poll(&p, 1, 2);
    if (ready > 0 && (p.revents & POLLIN) != 0) {
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n > 0) TakeBytes(buffer, static_cast<std::size_t>(n));
    } else if (ready > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
}

void TestTransmitter::TakeBytes(const std::uint8_t* bytes, std::size_t count) {
  incoming_.insert(incoming_.end(), bytes, bytes + count);
  for (;;) {
    std::size_t at = 0;
    while (at < incoming_.size() && incoming_[at] == kPreamble) ++at;
    if (at == incoming_.size()) return;
    const std::uint8_t delimiter = incoming_[at];
    if (delimiter != kShortRequest && delimiter != kLongRequest) {
      incoming_.erase(incoming_.begin(), incoming_.begin() + static_cast<std::ptrdiff_t>(at) + 1);
      continue;
    }
    const std::size_t header = delimiter == kLongRequest ? 8 : 4;
    if (incoming_.size() - at < header) return;
    const std::size_t length = header + incoming_[at + header - 1] + 1;
    if (incoming_.size() - at < length) return;
    const auto begin = incoming_.begin() + static_cast<std::ptrdiff_t>(at);
    const Bytes frame(begin, begin + static_cast<std::ptrdiff_t>(length));
    incoming_.erase(incoming_.begin(), begin + static_cast<std::ptrdiff_t>(length));
    // A garbled request goes unanswered, as on a real loop.
    if (Xor(Bytes(frame.begin(), frame.end() - 1)) != frame.back()) continue;
    int delayMs = 0;
    const Bytes reply = Answer(frame, static_cast<int>(at), delayMs);
    // The program writes a request at once; on the line it takes a character time a byte.
    Send(reply, static_cast<double>(at + length) * kCharacterMs, delayMs);
  }
}

void TestTransmitter::Send(const Bytes& reply, double lineMs, int delayMs) {
  using Clock = std::chrono::steady_clock;
  if (reply.empty()) return;
  const bool paced = paced_;
  const Clock::time_point start =
      Clock::now() + std::chrono::microseconds(static_cast<std::int64_t>(
                         ((paced || delayMs > 0 ? lineMs : 0.0) + delayMs) * 1000.0));
  std::size_t written = 0;
  while (written < reply.size()) {
    std::size_t count = reply.size() - written;
    if (paced) {
      // A byte is in once its stop bit is.
      std::this_thread::sleep_until(
          start + std::chrono::microseconds(static_cast<std::int64_t>(
                      static_cast<double>(written + 1) * kCharacterMs * 1000.0)));
      count = 1;
    } else {
      std::this_thread::sleep_until(start);
    }
    const ssize_t n = ::write(master_, reply.data() + written, count);
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
}

Bytes TestTransmitter::Answer(const Bytes& request, int preambles, int& delayMs) {
  std::lock_guard lock(mutex_);
  requests_.push_back(request);
  requestPreambles_.push_back(preambles);
  TransmitterModel& m = model_;

  const bool isLong = request[0] == kLongRequest;
  const std::uint8_t command = request[isLong ? 6 : 2];
  const std::size_t header = isLong ? 8 : 4;
  const Bytes data(request.begin() + static_cast<std::ptrdiff_t>(header), request.end() - 1);
  if (isLong) {
    const bool own = (request[1] & 0x3F) == (m.manufacturer & 0x3F) &&
                     request[2] == m.deviceType && request[3] == (m.deviceId >> 16 & 0xFF) &&
                     request[4] == (m.deviceId >> 8 & 0xFF) && request[5] == (m.deviceId & 0xFF);
    const bool broadcast = (request[1] & 0x3F) == 0 &&
                           std::all_of(request.begin() + 2, request.begin() + 6,
                                       [](std::uint8_t b) { return b == 0; });
    const bool ownTag = command == 11 && data.size() >= 6 &&
                        std::equal(m.tag.begin(), m.tag.end(), data.begin());
    if (!own && !(broadcast && ownTag)) return {};
  } else if (command != 0 || (request[1] & 0x0F) != m.pollingAddress) {
    return {};
  }

  Behaviour behaviour = behaviour_;
  if (behaviourCount_ == 0) behaviour = Behaviour::Answer;
  if (behaviourCount_ > 0) --behaviourCount_;
  if (behaviour == Behaviour::Silent) return {};

  const auto value = static_cast<std::uint8_t>(behaviourValue_);
  Bytes out;
  std::uint8_t code = 0;
  std::uint8_t deviceStatus = 0;
  if (behaviour == Behaviour::Busy) {
    code = kBusy;
  } else if (behaviour == Behaviour::ResponseCode) {
    code = value;
  } else if (behaviour == Behaviour::CommError) {
    code = static_cast<std::uint8_t>(kCommError | value);
  } else {
    code = Execute(m, command, data, out);
    // An error carries no data.
    if (code != 0) out.clear();
    if (code == 0 && behaviour == Behaviour::Warning) code = value;
    if (behaviour == Behaviour::DeviceStatus) deviceStatus = value;
    if (behaviour == Behaviour::Late) delayMs = behaviourValue_;
  }

  Bytes frame;
  if (isLong) {
    frame = {kLongReply,
             static_cast<std::uint8_t>(kMasterBit | (m.manufacturer & 0x3F)),
             m.deviceType,
             static_cast<std::uint8_t>(m.deviceId >> 16),
             static_cast<std::uint8_t>(m.deviceId >> 8),
             static_cast<std::uint8_t>(m.deviceId),
             command};
  } else {
    frame = {kShortReply, static_cast<std::uint8_t>(kMasterBit | m.pollingAddress), command};
  }
  frame.push_back(static_cast<std::uint8_t>(out.size() + 2));
  frame.push_back(code);
  frame.push_back(deviceStatus);
  frame.insert(frame.end(), out.begin(), out.end());
  std::uint8_t checksum = Xor(frame);
  if (behaviour == Behaviour::BadChecksum) checksum ^= 0x5A;
  frame.push_back(checksum);

  Bytes reply(m.responsePreambles, kPreamble);
  reply.insert(reply.end(), frame.begin(), frame.end());
  return reply;
}

}  // namespace testhart
