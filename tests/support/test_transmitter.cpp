#include "tests/support/test_transmitter.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

namespace testhart {
namespace {

constexpr std::uint8_t kPreamble = 0xFF;
constexpr std::uint8_t kShortRequest = 0x02;
constexpr std::uint8_t kLongRequest = 0x82;
// Replies carry the primary master's bit, as to a primary master: the program must look past it.
constexpr std::uint8_t kMasterBit = 0x80;
constexpr std::uint8_t kBusy = 32;
constexpr std::size_t kLongResponseCode = 8;
constexpr std::size_t kShortResponseCode = 4;
// The first status byte of a reply to a request the transmitter heard garbled.
constexpr std::uint8_t kCommError = 0x80;
// 11 bits a character at 1200 baud.
constexpr double kCharacterMs = 11000.0 / 1200.0;
constexpr std::uint8_t kBurstBit = 0x40;
constexpr std::uint8_t kShortBurst = 0x01;
constexpr std::uint8_t kLongBurst = 0x81;
// Bytes that look like the start of a frame, among others.
constexpr std::uint8_t kNoise[] = {0x06, 0x82, 0x86, 0x40, 0x3C, 0x00, 0x81, 0x55, 0x02, 0xAA};

using Bytes = std::vector<std::uint8_t>;

void MakeRaw(int fd) {
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) return;
  ::cfmakeraw(&tio);
  ::tcsetattr(fd, TCSANOW, &tio);
}

std::uint8_t Xor(const Bytes& bytes) {
  std::uint8_t sum = 0;
  for (std::uint8_t b : bytes) sum ^= b;
  return sum;
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
  // A burst that the program does not read is dropped, as a line forgets it; a reply waits.
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
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

void TestTransmitter::SetBurst(int periodMs, bool longFrames) {
  std::lock_guard lock(mutex_);
  burstPeriodMs_ = periodMs;
  burstLong_ = longFrames;
  nextBurst_ = std::chrono::steady_clock::now();
}

void TestTransmitter::SetMasterBit(bool on) {
  std::lock_guard lock(mutex_);
  masterBit_ = on;
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
    bool due = false;
    {
      std::lock_guard lock(mutex_);
      due = burstPeriodMs_ > 0 && incoming_.empty() &&
            std::chrono::steady_clock::now() >= nextBurst_;
    }
    if (due) SendBurst();
  }
}

void TestTransmitter::SendBurst() {
  Bytes frame;
  int preambles = 0;
  {
    std::lock_guard lock(mutex_);
    const hart::TransmitterModel m = answerer_.Model();
    // Command 3's reply as the model gives it, asked of itself.
    Bytes request{kLongRequest, static_cast<std::uint8_t>(m.manufacturer & 0x3F), m.deviceType,
                  static_cast<std::uint8_t>(m.deviceId >> 16),
                  static_cast<std::uint8_t>(m.deviceId >> 8), static_cast<std::uint8_t>(m.deviceId),
                  3, 0};
    request.push_back(Xor(request));
    const Bytes reply = answerer_.Answer(request, false);
    if (reply.size() < 11) return;
    const auto master = static_cast<std::uint8_t>(burstMaster_ ? 0x80 : 0);
    burstMaster_ = !burstMaster_;
    if (burstLong_) {
      frame.assign(reply.begin(), reply.end() - 1);
      frame[0] = kLongBurst;
      frame[1] = static_cast<std::uint8_t>((frame[1] & 0x3F) | kBurstBit | master);
    } else {
      frame = {kShortBurst, static_cast<std::uint8_t>((m.pollingAddress & 0x3F) | kBurstBit | master),
               3};
      frame.insert(frame.end(), reply.begin() + 7, reply.end() - 1);
    }
    frame.push_back(Xor(frame));
    preambles = m.responsePreambles;
  }
  Bytes out(static_cast<std::size_t>(preambles), kPreamble);
  out.insert(out.end(), frame.begin(), frame.end());
  Send(out, 0.0, 0);
  // The period is the line's free time after a burst frame, for the masters' turns.
  std::lock_guard lock(mutex_);
  nextBurst_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(burstPeriodMs_);
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
    if (echo_) {
      Bytes echo(at, kPreamble);
      echo.insert(echo.end(), frame.begin(), frame.end());
      Write(echo.data(), echo.size());
    }
    int delayMs = 0;
    const Bytes reply = Answer(frame, static_cast<int>(at), delayMs);
    // The program writes a request at once; on the line it takes a character time a byte.
    Send(reply, static_cast<double>(at + length) * kCharacterMs, delayMs);
    bool bursting = false;
    {
      std::lock_guard lock(mutex_);
      bursting = burstPeriodMs_ > 0;
    }
    // In burst mode a burst frame follows every reply at once.
    if (bursting && !reply.empty()) SendBurst();
  }
}

void TestTransmitter::Write(const std::uint8_t* bytes, std::size_t count) {
  std::size_t written = 0;
  while (written < count && !stop_) {
    const ssize_t n = ::write(master_, bytes + written, count - written);
    if (n > 0) {
      written += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    } else {
      return;
    }
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
    if (paced) {
      // What comes while it talks is lost in the collision.
      std::uint8_t lost[256];
      while (::read(master_, lost, sizeof lost) > 0) {
      }
    }
    Write(reply.data() + written, count);
    written += count;
  }
}

Bytes TestTransmitter::Answer(const Bytes& request, int preambles, int& delayMs) {
  std::lock_guard lock(mutex_);
  requests_.push_back(request);
  requestPreambles_.push_back(preambles);

  Behaviour behaviour = behaviourCount_ == 0 ? Behaviour::Answer : behaviour_;
  // The code alone, as to an error: nothing is carried out, nor for a request left unanswered.
  const bool refuses = behaviour == Behaviour::Busy || behaviour == Behaviour::ResponseCode ||
                       behaviour == Behaviour::CommError;
  // Whether it hears the request at all is the model's to say, whatever the behaviour.
  Bytes frame = answerer_.Answer(request, !refuses && behaviour != Behaviour::Silent);
  if (frame.empty()) return {};
  if (behaviourCount_ > 0) --behaviourCount_;
  if (behaviour == Behaviour::Silent) return {};

  const auto value = static_cast<std::uint8_t>(behaviourValue_);
  const bool isLong = request[0] == kLongRequest;
  const std::size_t codeAt = isLong ? kLongResponseCode : kShortResponseCode;
  if (refuses) {
    frame = CodeAlone(std::move(frame), behaviour == Behaviour::Busy           ? kBusy
                                        : behaviour == Behaviour::ResponseCode ? value
                                        : static_cast<std::uint8_t>(kCommError | value));
  } else {
    if (behaviour == Behaviour::Warning && frame[codeAt] == 0) frame[codeAt] = value;
    if (behaviour == Behaviour::DeviceStatus) frame[codeAt + 1] = value;
    if (behaviour == Behaviour::Late) delayMs = behaviourValue_;
  }
  frame.pop_back();
  if (burstPeriodMs_ > 0) frame[1] |= kBurstBit;
  if (behaviour == Behaviour::Truncated && frame.size() > codeAt + 2 + value) {
    frame.resize(codeAt + 2 + value);
    frame[codeAt - 1] = static_cast<std::uint8_t>(value + 2);
  }
  if (masterBit_) frame[1] |= kMasterBit;
  std::uint8_t checksum = Xor(frame);
  if (behaviour == Behaviour::BadChecksum) checksum ^= 0x5A;
  frame.push_back(checksum);

  Bytes reply;
  if (behaviour == Behaviour::Noise) {
    for (int i = 0; i < behaviourValue_; ++i) reply.push_back(kNoise[i % sizeof kNoise]);
  }
  const std::size_t ahead = answerer_.Model().responsePreambles;
  if (behaviour == Behaviour::OtherMaster) {
    // The same reply to the other master, its data other.
    Bytes other = frame;
    other[1] ^= kMasterBit;
    for (std::size_t at = codeAt + 2; at < other.size() - 1; ++at) other[at] ^= 0x5A;
    other.back() = Xor(Bytes(other.begin(), other.end() - 1));
    reply.insert(reply.end(), ahead, kPreamble);
    reply.insert(reply.end(), other.begin(), other.end());
  }
  reply.insert(reply.end(), ahead, kPreamble);
  reply.insert(reply.end(), frame.begin(), frame.end());
  return reply;
}

}  // namespace testhart
