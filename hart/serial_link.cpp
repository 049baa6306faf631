#include "hart/serial_link.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>

#include "hart/frame.h"
#include "hart/protokol.h"
#include "hart/reply_data.h"
#include "ui/platform.h"
#include "ui/window.h"

namespace hart {
namespace {

constexpr std::uint8_t kPreamble = 0xFF;
constexpr std::uint8_t kShortReplyDelimiter = 0x06;
constexpr std::uint8_t kLongReplyDelimiter = 0x86;
// Bytes ahead of the data, byte count included.
constexpr std::size_t kShortHeader = 4;
constexpr std::size_t kLongHeader = 8;
constexpr std::size_t kShortResponseCode = 4;
constexpr std::size_t kReplyCapacity = kFrameSize - kReplyOffset;
constexpr int kMaxAttempts = 10;
// Twice the longest reply with the most preambles: room for it, and for a burst frame before it.
constexpr int kChatterCharacters =
    2 * (SerialLink::kMaxPreambles + static_cast<int>(kReplyCapacity));
constexpr int kPumpTimerId = 1;

std::string Decimal(int value) {
  char buffer[16];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string OpenFailure(const std::string& device, int error) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return "Последовательный порт " + device + " не найден.";
    case EACCES:
    case EPERM:
      return "Нет доступа к последовательному порту " + device + ".";
    case EBUSY:
      return "Последовательный порт " + device + " занят другой программой.";
    case ENOTTY:
    case EINVAL:
    case EISDIR:
      return "Устройство " + device + " не является последовательным портом.";
    default:
      return "Не удалось открыть последовательный порт " + device + " (ошибка " +
             Decimal(error) + ").";
  }
}

std::string LostMessage(const std::string& device) {
  return "Последовательный порт " + device + " отключён.";
}

// A pseudo-terminal, or a converter without modem lines, has no modem-control ioctls.
bool Unsupported(int error) { return error == ENOTTY || error == EINVAL; }

constexpr std::uint8_t kMasterBit = 0x80;
constexpr std::uint8_t kFrameType = 0x07;
constexpr std::uint8_t kBurstFrame = 0x01;
constexpr std::uint8_t kRequestFrame = 0x02;
constexpr std::uint8_t kReplyFrame = 0x06;

// The delimiters of the frames a HART line carries: burst, request and reply, short or long
// (without expansion bytes).
bool IsDelimiter(std::uint8_t b) {
  const std::uint8_t type = b & kFrameType;
  return (b & 0x78) == 0 &&
         (type == kBurstFrame || type == kRequestFrame || type == kReplyFrame);
}

bool SameLongAddress(std::span<const std::uint8_t> reply, std::span<const std::uint8_t> request) {
  const bool broadcast = (request[1] & 0x3F) == 0 && request[2] == 0 && request[3] == 0 &&
                         request[4] == 0 && request[5] == 0;
  if (broadcast) return true;
  return (reply[1] & 0x3F) == (request[1] & 0x3F) &&
         std::equal(reply.begin() + 2, reply.begin() + 6, request.begin() + 2);
}

// The header of a frame (at least its header's bytes) begins as the reply to `request` does.
bool BeginsAsReply(std::span<const std::uint8_t> frame, std::span<const std::uint8_t> request,
                   bool sameMaster) {
  const bool isLong = request[0] == kLongDelimiter;
  if (frame[0] != (isLong ? kLongReplyDelimiter : kShortReplyDelimiter)) return false;
  if (sameMaster && ((frame[1] ^ request[1]) & kMasterBit) != 0) return false;
  return isLong ? SameLongAddress(frame, request) && frame[6] == request[6]
                : (frame[1] & 0x3F) == (request[1] & 0x3F) && frame[2] == request[2];
}

}  // namespace

ReplyScan ScanReply(std::span<const std::uint8_t> received, std::span<const std::uint8_t> request,
                    bool sameMaster) {
  ReplyScan scan;
  const bool isLong = !request.empty() && request[0] == kLongDelimiter;
  if (request.size() < (isLong ? kLongHeader : kShortHeader)) {
    scan.state = ReplyScan::State::Damaged;
    return scan;
  }
  const std::uint8_t replyDelimiter = isLong ? kLongReplyDelimiter : kShortReplyDelimiter;
  bool damaged = false;
  std::size_t at = 0;
  while (at < received.size()) {
    const std::uint8_t delimiter = received[at];
    if (!IsDelimiter(delimiter)) {
      ++at;
      continue;
    }
    const std::size_t header = (delimiter & 0x80) != 0 ? kLongHeader : kShortHeader;
    const std::span<const std::uint8_t> frame = received.subspan(at);
    if (frame.size() < header) {
      // Perhaps the reply's first bytes; perhaps noise that looks like a delimiter.
      scan.replyUnderWay = scan.replyUnderWay || delimiter == replyDelimiter;
      ++at;
      continue;
    }
    const bool reply = BeginsAsReply(frame, request, sameMaster);
    const std::size_t byteCount = frame[header - 1];
    const std::size_t length = header + byteCount + 1;
    if (reply && (byteCount < 2 || length > kReplyCapacity)) {
      damaged = true;
      ++at;
      continue;
    }
    if (frame.size() < length) {
      scan.replyUnderWay = scan.replyUnderWay || reply;
      ++at;
      continue;
    }
    if (Checksum(frame.first(length - 1)) != frame[length - 1]) {
      damaged = damaged || reply;
      ++at;
      continue;
    }
    if (reply) {
      std::size_t run = 0;
      while (run < at && received[at - run - 1] == kPreamble) ++run;
      scan.state = ReplyScan::State::Complete;
      scan.preambles = at;
      scan.skipped = at - run;
      scan.length = length;
      scan.replyUnderWay = false;
      return scan;
    }
    // A whole frame that is not the reply: passed over.
    if ((delimiter & kFrameType) == kBurstFrame) scan.bursts.push_back({at, length});
    at += length;
    scan.settled = at;
    scan.replyUnderWay = false;
  }
  if (damaged) scan.state = ReplyScan::State::Damaged;
  return scan;
}

// The link's own timer: a hidden window that belongs to the dialog being served, so that it
// never counts as a window of the program.
class SerialLink::Pump : public ui::Window {
 public:
  Pump(SerialLink& link, ui::Window& dialog) : ui::Window(&dialog), link_(link) {}

 protected:
  void OnTimer(int id) override {
    if (id == kPumpTimerId) link_.Tick();
  }

 private:
  SerialLink& link_;
};

SerialLink::SerialLink(std::string device, SerialOptions options)
    : device_(std::move(device)), options_(options) {}

std::unique_ptr<SerialLink> SerialLink::Open(const std::string& device, SerialOptions options,
                                             std::string& error) {
  std::unique_ptr<SerialLink> link(new SerialLink(device, options));
  error = link->OpenPort();
  if (!error.empty()) return nullptr;
  return link;
}

SerialLink::~SerialLink() {
  if (pump_ && pump_->IsCreated()) pump_->Destroy();
  retiredPump_.reset();
  ClosePort();
}

std::string SerialLink::OpenPort() {
  const int fd = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return OpenFailure(device_, errno);
  // A second program on the same port would garble both, so the port is ours alone before any
  // setting changes. TIOCEXCL does not stop root; the lock does. A port that cannot be locked,
  // or cannot say so, is used anyway.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    ::close(fd);
    return OpenFailure(device_, EBUSY);
  }
  ::ioctl(fd, TIOCEXCL);
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) {
    const int error = errno;
    ::close(fd);
    return OpenFailure(device_, error);
  }
  ::cfmakeraw(&tio);
  // A byte with a parity error reads as 0 and spoils the checksum: the reply counts as damaged.
  tio.c_iflag &= ~static_cast<tcflag_t>(IXOFF | IXANY | IGNPAR | PARMRK);
  tio.c_iflag |= INPCK;
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | PARENB | PARODD | CLOCAL | CREAD;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  ::cfsetispeed(&tio, B1200);
  ::cfsetospeed(&tio, B1200);
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
    // Some settings may not take: a pseudo-terminal or a converter without parity keeps the
    // rest, and that is enough to talk. A port that will not run 1200 baud, 8 bits is not.
    const int error = errno;
    termios taken{};
    const bool usable = error == EINVAL && ::tcgetattr(fd, &taken) == 0 &&
                        ::cfgetospeed(&taken) == B1200 && (taken.c_cflag & CSIZE) == CS8 &&
                        (taken.c_lflag & ICANON) == 0;
    if (!usable) {
      ::close(fd);
      return error == EINVAL ? "Последовательный порт " + device_ +
                                   " не работает на 1200 бод с 8 битами данных."
                             : OpenFailure(device_, error);
    }
  }
  // Many modems take their supply from DTR.
  const int dtr = TIOCM_DTR;
  ::ioctl(fd, TIOCMBIS, &dtr);
  fd_ = fd;
  SetRts(false);
  ::tcflush(fd_, TCIOFLUSH);
  return {};
}

void SerialLink::ClosePort() {
  if (fd_ < 0) return;
  SetRts(false);
  // The port may stay open elsewhere (a modem's own tool): it must not stay locked to us.
  ::ioctl(fd_, TIOCNXCL);
  ::close(fd_);
  fd_ = -1;
}

std::int64_t SerialLink::Now() const { return ui::ThePlatform().NowMs(); }

void SerialLink::Transmit(THartProtokol& dialog) {
  if (!pump_ || pump_->Parent() != &dialog) {
    if (pump_ && pump_->IsCreated()) pump_->Destroy();
    // Kept a while: this may run inside the old pump's own timer message.
    retiredPump_ = std::move(pump_);
    pump_ = std::make_unique<Pump>(*this, dialog);
  }
  if (!pump_->IsCreated()) pump_->Create();
  if (state_ == State::Sending && fd_ >= 0) {
    // The request being sent gives way to the new one.
    ::tcflush(fd_, TCOFLUSH);
    SetRts(false);
  }
  ++generation_;
  dialog_ = &dialog;
  const auto request = dialog.Request();
  request_.assign(request.begin(), request.end());
  preambles_ = std::clamp(dialog.preambleCount, kMinPreambles, kMaxPreambles);
  linkParam1_ = dialog.linkParam1;
  linkParam2_ = dialog.linkParam2;
  frameIsLong_ = dialog.frameIsLong;
  // linkParam1 is the number of attempts; 0 still sends once.
  attempts_ = std::clamp(dialog.linkParam1, 1, kMaxAttempts);
  attempt_ = 0;
  // linkParam2 is the time-out for the start of the reply, in characters after the request.
  timeoutMs_ = std::max(dialog.linkParam2, kMinReplyTimeoutCharacters) * kCharacterMs;
  state_ = State::Starting;
  // The first attempt goes out from the timer too, so that no event can reach the dialog from
  // inside its own request.
  ScheduleTick();
}

void SerialLink::Forget(THartProtokol& dialog) {
  if (dialog_ == &dialog) {
    if (state_ == State::Sending && fd_ >= 0) {
      ::tcflush(fd_, TCOFLUSH);
      SetRts(false);
    }
    state_ = State::Idle;
    dialog_ = nullptr;
    ++generation_;
  }
  // Only the platform window goes here: this may run inside the pump's own timer message.
  if (pump_ && pump_->Parent() == &dialog && pump_->IsCreated()) pump_->Destroy();
}

void SerialLink::Tick() {
  switch (state_) {
    case State::Starting: BeginAttempt(); break;
    case State::Pausing:
      if (Now() >= resumeAt_) BeginAttempt();
      break;
    case State::Listening: Listen(); break;
    case State::Sending: Send(); break;
    case State::Waiting: Receive(); break;
    case State::Idle: break;
  }
  // The event raised in there may have started another request, on another pump too, or
  // ended the dialog: the state says what is waited on now.
  ScheduleTick();
}

void SerialLink::ScheduleTick() {
  if (!pump_ || !pump_->IsCreated()) return;
  const auto now = static_cast<double>(Now());
  double at = now + kPumpMs;
  switch (state_) {
    case State::Idle:
      pump_->KillTimer(kPumpTimerId);
      return;
    case State::Starting:
      at = now;
      break;
    case State::Pausing:
      at = static_cast<double>(resumeAt_);
      break;
    case State::Sending:
      // Nothing to look at before the request's time on the line is over.
      if (written_ == outgoing_.size()) at = std::max(at, lineFreeAt_ + kCharacterMs);
      break;
    case State::Listening:
    case State::Waiting:
      break;
  }
  pump_->SetTimer(kPumpTimerId, static_cast<int>(std::ceil(std::max(at - now, 0.0))));
}

void SerialLink::BeginAttempt() {
  if (fd_ < 0) {
    // The port went earlier and said so; it may be back.
    if (!OpenPort().empty()) {
      Finish(kEvNoAnswer);
      return;
    }
    lossReported_ = false;
  }
  if (CarrierPresent()) {
    Finish(kEvLineBusy);
    return;
  }
  if (fd_ < 0) return;  // lost while asking for the carrier
  // What came while no request was out is heard now: it may say the line carries burst frames.
  // The frame that follows our own transaction at once is the one that gives the turn.
  const bool justFinished = finishedAt_ >= 0 && Now() - finishedAt_ <= kPumpMs;
  if (!ReadAvailable()) return;
  afterBurst_ = false;
  SettleLine();
  if (!justFinished) afterBurst_ = false;
  const bool lineBusy = !received_.empty();
  const bool burstLine = burstSeen_ && Now() - lastBurstAt_ < kBurstMemoryMs;
  if (afterBurst_ || burstLine || lineBusy) {
    // HART passes the turn to a master with a slave's frame: on a line that carries burst
    // frames, or with a frame under way, the request waits for the gap after one.
    state_ = State::Listening;
    listenStart_ = Now();
    Listen();
    return;
  }
  BeginSending();
}

void SerialLink::Listen() {
  if (!ReadAvailable()) return;
  SettleLine();
  const std::int64_t now = Now();
  const double quietMs = static_cast<double>(now - lastByteAt_);
  if (afterBurst_ && received_.empty()) {
    // The burst frame went to the other master: the turn is ours at once. It went to us: the
    // other master has the link grant time to take it first.
    if (!burstToUs_ || quietMs >= kLinkGrantCharacters * kCharacterMs) BeginSending();
    return;
  }
  const std::int64_t wait =
      std::clamp<std::int64_t>(burstPeriodMs_ + burstPeriodMs_ / 2, 200, kMaxBurstWaitMs);
  const bool burstLine = burstSeen_ && now - lastBurstAt_ < kBurstMemoryMs;
  const bool waited = !burstLine || now - listenStart_ >= wait;
  if ((waited && quietMs >= kGapCharacters * kCharacterMs) ||
      static_cast<double>(now - listenStart_) >= wait + timeoutMs_) {
    BeginSending();
  }
}

void SerialLink::BeginSending() {
  // Whatever is left of what came before is not the reply to this request.
  received_.clear();
  afterBurst_ = false;
  outgoing_.assign(static_cast<std::size_t>(preambles_), kPreamble);
  outgoing_.insert(outgoing_.end(), request_.begin(), request_.end());
  written_ = 0;
  ++attempt_;
  if (FrameTrace* trace = dialog_->Trace()) {
    trace->Request(Now(), outgoing_, preambles_, linkParam1_, linkParam2_, frameIsLong_);
  }
  SetRts(true);
  lineFreeAt_ = static_cast<double>(Now());
  state_ = State::Sending;
  Send();
}

void SerialLink::Send() {
  while (written_ < outgoing_.size()) {
    const ssize_t n = ::write(fd_, outgoing_.data() + written_, outgoing_.size() - written_);
    if (n > 0) {
      written_ += static_cast<std::size_t>(n);
      lineFreeAt_ = std::max(lineFreeAt_, static_cast<double>(Now())) + n * kCharacterMs;
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    PortLost();
    return;
  }
  // The last byte has left the UART once its time on the line is over (a character more for the
  // converter's own buffer) and the driver holds nothing more.
  if (static_cast<double>(Now()) < lineFreeAt_ + kCharacterMs) return;
  int queued = 0;
  if (::ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0) return;
  SetRts(false);
  sentAt_ = Now();
  lastByteAt_ = sentAt_;
  state_ = State::Waiting;
  Receive();
}

void SerialLink::Receive() {
  if (!ReadAvailable()) return;
  KeepTail();
  const ReplyScan scan = ScanReply(received_, request_, true);
  if (scan.state == ReplyScan::State::Complete) {
    Settle(scan);
    Deliver(scan);
    return;
  }
  Settle(scan);
  const std::int64_t now = Now();
  const bool quiet = static_cast<double>(now - lastByteAt_) >= kGapCharacters * kCharacterMs;
  const double waited = static_cast<double>(now - sentAt_);
  if (quiet && (scan.state == ReplyScan::State::Damaged || scan.replyUnderWay)) {
    // The reply came damaged, or stopped short.
    TraceDamaged();
    AttemptFailed();
  } else if (waited >= timeoutMs_ && (received_.empty() || quiet)) {
    // No reply began in time; what came instead (noise) is shown.
    if (!received_.empty()) TraceDamaged();
    AttemptFailed();
  } else if (waited >= timeoutMs_ + kChatterCharacters * kCharacterMs) {
    // A line that never goes quiet is given up on once the longest reply would have ended.
    TraceDamaged();
    AttemptFailed();
  }
}

void SerialLink::Settle(const ReplyScan& scan) {
  for (const ReplyScan::Frame& burst : scan.bursts) {
    std::size_t preambles = 0;
    while (preambles < burst.at && received_[burst.at - preambles - 1] == kPreamble) ++preambles;
    const auto frame = std::span(received_).subspan(burst.at, burst.length);
    if (FrameTrace* trace = dialog_ != nullptr ? dialog_->Trace() : nullptr) {
      trace->Burst(Now(), frame, static_cast<int>(preambles));
    }
    const std::int64_t now = Now();
    if (lastBurstAt_ >= 0 && now > lastBurstAt_) burstPeriodMs_ = now - lastBurstAt_;
    lastBurstAt_ = now;
    burstSeen_ = true;
    burstToUs_ = ((frame[1] ^ request_[1]) & 0x80) == 0;
  }
  if (scan.settled == 0) return;
  // The gap after a burst frame: it was the last thing on the line.
  afterBurst_ = !scan.bursts.empty() &&
                scan.bursts.back().at + scan.bursts.back().length == scan.settled &&
                scan.settled == received_.size();
  if (scan.state != ReplyScan::State::Complete) {
    received_.erase(received_.begin(),
                    received_.begin() + static_cast<std::ptrdiff_t>(scan.settled));
  }
}

void SerialLink::SettleLine() {
  KeepTail();
  for (;;) {
    const ReplyScan scan = ScanReply(received_, request_, true);
    Settle(scan);
    if (scan.state != ReplyScan::State::Complete) return;
    // No request of this one is out yet: a reply to an earlier one, come late, is passed over.
    received_.erase(received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(
                                                               scan.preambles + scan.length));
  }
}

void SerialLink::KeepTail() {
  if (received_.size() <= kMaxHeldBytes) return;
  received_.erase(received_.begin(),
                  received_.end() - static_cast<std::ptrdiff_t>(kMaxHeldBytes / 2));
}

void SerialLink::AttemptFailed() {
  if (attempt_ < attempts_) {
    BeginAttempt();
  } else {
    Finish(kEvNoAnswer);
  }
}

void SerialLink::Deliver(const ReplyScan& scan) {
  const auto frame = std::span(received_).subspan(scan.preambles, scan.length);
  const std::size_t preambles = scan.preambles - scan.skipped;
  const std::uint8_t code =
      frame[request_[0] == kLongDelimiter ? kReplyResponseCode : kShortResponseCode];
  if ((code & kCommunicationError) != 0) {
    // The request reached the transmitter garbled: the attempt failed as if nothing had come.
    TraceAttempt("comm-error", frame, preambles);
    AttemptFailed();
    return;
  }
  if (code == kResponseCodeBusy && attempt_ < attempts_) {
    TraceAttempt("busy", frame, preambles);
    state_ = State::Pausing;
    resumeAt_ = Now() + kBusyPauseMs;
    return;
  }
  std::span<std::uint8_t> reply = dialog_->Reply();
  std::fill(reply.begin(), reply.end(), std::uint8_t{0});
  std::copy(frame.begin(), frame.end(), reply.begin());
  dialog_->NoteReceived(static_cast<int>(scan.length), static_cast<int>(preambles));
  // What follows the reply (the burst frame that gives the turn) is heard with the next request.
  received_.erase(received_.begin(),
                  received_.begin() + static_cast<std::ptrdiff_t>(scan.preambles + scan.length));
  Finish(OutcomeOf(reply));
}

void SerialLink::Finish(unsigned event) {
  THartProtokol* target = dialog_;
  state_ = State::Idle;
  finishedAt_ = Now();
  if (pump_) pump_->KillTimer(kPumpTimerId);
  // Last: the dialog may send its next request, or end, from inside the event.
  if (target != nullptr) target->SendMessage(event);
}

void SerialLink::PortLost() {
  ::close(fd_);
  fd_ = -1;
  THartProtokol* target = dialog_;
  state_ = State::Idle;
  if (pump_) pump_->KillTimer(kPumpTimerId);
  const unsigned generation = ++generation_;
  // Said once; every request until the port is back simply goes unanswered.
  if (!lossReported_ && target != nullptr) {
    lossReported_ = true;
    target->MessageBox(LostMessage(device_), "", ui::kMbOk | ui::kMbIconStop);
  }
  // The dialog may have ended, or sent anew, while the message was up.
  if (target != nullptr && generation == generation_) target->SendMessage(kEvNoAnswer);
}

bool SerialLink::ReadAvailable() {
  pollfd p{fd_, POLLIN, 0};
  if (::poll(&p, 1, 0) < 0 && errno != EINTR) {
    PortLost();
    return false;
  }
  std::uint8_t buffer[256];
  while ((p.revents & POLLIN) != 0) {
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n > 0) {
      received_.insert(received_.end(), buffer, buffer + n);
      lastByteAt_ = Now();
      continue;
    }
    if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) break;
    PortLost();
    return false;
  }
  // Unplugged: the driver hangs the port up.
  if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
    PortLost();
    return false;
  }
  return true;
}

bool SerialLink::CarrierPresent() {
  int lines = 0;
  if (::ioctl(fd_, TIOCMGET, &lines) != 0) {
    if (!Unsupported(errno)) PortLost();
    return false;
  }
  return (lines & TIOCM_CAR) != 0;
}

void SerialLink::SetRts(bool on) {
  if (!options_.switchRts || fd_ < 0) return;
  const int rts = TIOCM_RTS;
  // Without modem lines there is nothing to switch; a port that went shows on the next read.
  ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &rts);
}

void SerialLink::TraceDamaged() {
  std::size_t preambles = 0;
  while (preambles < received_.size() && received_[preambles] == kPreamble) ++preambles;
  // Bounded: a line of noise is not worth a page of trace.
  const auto rest = std::span(received_).subspan(preambles);
  TraceAttempt("damaged", rest.first(std::min<std::size_t>(rest.size(), 80)), preambles);
}

void SerialLink::TraceAttempt(const char* what, std::span<const std::uint8_t> frame,
                              std::size_t preambles) {
  FrameTrace* trace = dialog_ != nullptr ? dialog_->Trace() : nullptr;
  if (trace != nullptr) trace->Attempt(Now(), what, frame, static_cast<int>(preambles));
}

}  // namespace hart
