#include "hart/hart_ip_link.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "hart/frame.h"
#include "hart/protokol.h"
#include "hart/serial_link.h"
#include "ui/platform.h"
#include "ui/window.h"

namespace hart {
namespace {

using hartip::Parsed;

constexpr int kPumpTimerId = 1;
// A reply on a local network comes within a millisecond or two: the pump looks that often at
// first, then at the serial link's pace.
constexpr int kFastPumpMs = 1;
constexpr int kFastWindowMs = 50;
constexpr int kPumpMs = 5;
constexpr int kLongestIdleTickMs = 1000;
constexpr std::size_t kShortResponseCode = 4;
constexpr std::uint8_t kResponseCodeBusy = 32;
// The most one tick reads: a peer that streams can neither hold the window's thread nor make us
// hold more than this.
constexpr std::size_t kTickReadBytes = 64 * 1024;
// Unasked messages (publications, the server's own requests, what does not fit) in one second
// beyond any real gateway's: a multiplexer with 32 loops in burst mode publishes some hundred.
// Implementer's choice: ten times that, then the session is given up.
constexpr int kMaxUnaskedPerSecond = 1000;
constexpr int kTracedUnaskedPerSecond = 50;
// The server's inactivity timer is taken within these.
constexpr std::uint32_t kMinInactivityMs = 1000;
constexpr std::uint32_t kMaxInactivityMs = 3600 * 1000;

std::string Decimal(long value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

bool Temporary(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR; }

bool NoWay(int error) {
  return error == ENETUNREACH || error == EHOSTUNREACH || error == ENETDOWN ||
         error == EADDRNOTAVAIL || error == EAFNOSUPPORT;
}

std::string NotFoundText(const std::string& host) {
  return "Узел HART-IP " + host + " не найден.";
}

// The top bit of the address byte after the delimiter, short frame or long: the request comes
// from the primary master, as the session was opened.
constexpr std::uint8_t kPrimaryMasterBit = 0x80;

void MarkPrimaryMaster(std::vector<std::uint8_t>& frame) {
  if (frame.size() < 3 || (frame[1] & kPrimaryMasterBit) != 0) return;
  frame[1] |= kPrimaryMasterBit;
  frame.back() = Checksum(std::span(frame).first(frame.size() - 1));
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return (x | 0x20) == (y | 0x20);
         });
}

}  // namespace

std::optional<HartIpAddress> ParseHartIpAddress(std::string_view text) {
  HartIpAddress address;
  std::string_view host = text;
  std::string_view port;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = text.substr(1, close - 1);
    const std::string_view rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return std::nullopt;
      port = rest.substr(1);
      if (port.empty()) return std::nullopt;
    }
  } else if (const std::size_t colon = text.find(':');
             colon != std::string_view::npos && text.find(':', colon + 1) == std::string_view::npos) {
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (port.empty()) return std::nullopt;
  }
  // More than one colon without brackets: an IPv6 address alone.
  if (host.empty() || host.find_first_of(" \t/[]") != std::string_view::npos) return std::nullopt;
  if (!port.empty()) {
    unsigned value = 0;
    const auto result = std::from_chars(port.data(), port.data() + port.size(), value);
    if (result.ec != std::errc() || result.ptr != port.data() + port.size() || value == 0 ||
        value > 65535) {
      return std::nullopt;
    }
    address.port = static_cast<std::uint16_t>(value);
  }
  address.host = std::string(host);
  return address;
}

std::optional<ResolvedAddress> ResolveLiteral(const std::string& host, std::uint16_t port) {
  ResolvedAddress resolved;
  auto* v4 = reinterpret_cast<sockaddr_in*>(&resolved.address);
  const std::string name = EqualsIgnoringCase(host, "localhost") ? "127.0.0.1" : host;
  if (::inet_pton(AF_INET, name.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    resolved.length = sizeof(sockaddr_in);
    return resolved;
  }
  resolved = {};
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&resolved.address);
  if (::inet_pton(AF_INET6, name.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    resolved.length = sizeof(sockaddr_in6);
    return resolved;
  }
  return std::nullopt;
}

ResolvedAddress ResolveWithSystem(const std::string& host, std::uint16_t port, bool tcp) {
  if (auto literal = ResolveLiteral(host, port)) return *literal;
  ResolvedAddress resolved;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = tcp ? SOCK_STREAM : SOCK_DGRAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = Decimal(port);
  if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) {
    resolved.error = NotFoundText(host);
    return resolved;
  }
  std::memcpy(&resolved.address, found->ai_addr,
              std::min<std::size_t>(found->ai_addrlen, sizeof resolved.address));
  resolved.length = static_cast<socklen_t>(found->ai_addrlen);
  ::freeaddrinfo(found);
  return resolved;
}

// The link's own timer: a hidden window that belongs to the dialog being served, so that it
// never counts as a window of the program.
class HartIpLink::Pump : public ui::Window {
 public:
  Pump(HartIpLink& link, THartProtokol& dialog) : ui::Window(&dialog), link_(link), dialog_(dialog) {}
  THartProtokol& Dialog() const { return dialog_; }

 protected:
  void OnTimer(int id) override {
    if (id == kPumpTimerId) link_.Tick();
  }

 private:
  HartIpLink& link_;
  THartProtokol& dialog_;
};

// A name being looked up on a thread of its own; the thread keeps this alive for as long as it
// runs, even when the link has gone.
struct HartIpLink::Lookup {
  std::mutex mutex;
  bool done = false;
  ResolvedAddress result;
};

HartIpLink::HartIpLink(HartIpAddress address, HartIpOptions options)
    : address_(std::move(address)), options_(std::move(options)) {
  const bool v6 = address_.host.find(':') != std::string::npos;
  server_ = (v6 ? "[" + address_.host + "]" : address_.host) + ":" + Decimal(address_.port);
  options_.replyTimeoutMs = std::max(options_.replyTimeoutMs, 1);
  options_.inactivityMs = std::max<std::uint32_t>(options_.inactivityMs, 2);
  inactivityMs_ = options_.inactivityMs;
}

std::unique_ptr<HartIpLink> HartIpLink::Open(std::string_view address, HartIpOptions options,
                                             std::string& error) {
  std::optional<HartIpAddress> parsed = ParseHartIpAddress(address);
  if (!parsed) {
    error = "Неверный адрес узла HART-IP: " + std::string(address) +
            "\nНужно УЗЕЛ или УЗЕЛ:ПОРТ, порт от 1 до 65535.";
    return nullptr;
  }
  error.clear();
  std::unique_ptr<HartIpLink> link(new HartIpLink(std::move(*parsed), std::move(options)));
  // A name waits for the first request, and is looked up then off the window's thread.
  link->resolved_ = ResolveLiteral(link->address_.host, link->address_.port);
  return link;
}

HartIpLink::~HartIpLink() {
  if (pump_ && pump_->IsCreated()) pump_->Destroy();
  retiredPump_.reset();
  CloseSession();
  CloseSocket();
}

std::int64_t HartIpLink::Now() const { return ui::ThePlatform().NowMs(); }

void HartIpLink::Transmit(THartProtokol& dialog) {
  if (!pump_ || &pump_->Dialog() != &dialog) {
    if (pump_ && pump_->IsCreated()) pump_->Destroy();
    // Kept a while: this may run inside the old pump's own timer message.
    retiredPump_ = std::move(pump_);
    pump_ = std::make_unique<Pump>(*this, dialog);
  }
  if (!pump_->IsCreated()) pump_->Create();
  ++generation_;
  dialog_ = &dialog;
  const auto request = dialog.Request();
  request_.assign(request.begin(), request.end());
  MarkPrimaryMaster(request_);
  linkParam1_ = dialog.linkParam1;
  linkParam2_ = dialog.linkParam2;
  frameIsLong_ = dialog.frameIsLong;
  // linkParam1 is the number of attempts, as on the serial line; 0 still sends once.
  attempts_ = std::clamp(dialog.linkParam1, 1, kMaxAttempts);
  attempt_ = 0;
  rejected_ = false;
  sentAt_ = Now();
  state_ = State::Starting;
  // Everything goes out from the timer, so that no event can reach the dialog from inside its own
  // request.
  pump_->SetTimer(kPumpTimerId, kFastPumpMs);
  pumpPeriod_ = kFastPumpMs;
}

void HartIpLink::Forget(THartProtokol& dialog) {
  if (dialog_ == &dialog) {
    dialog_ = nullptr;
    state_ = State::Idle;
    ++generation_;
  }
  // Only the platform window goes here: this may run inside the pump's own timer message.
  if (pump_ && &pump_->Dialog() == &dialog && pump_->IsCreated()) pump_->Destroy();
}

void HartIpLink::Tick() {
  switch (state_) {
    case State::Idle: IdleTick(); break;
    case State::Starting: Start(); break;
    case State::Resolving: CheckLookup(); break;
    case State::Connecting: CheckConnect(); break;
    case State::Initiating:
    case State::Waiting: Receive(); break;
    case State::Securing: Secure(); break;
    case State::Replied: Deliver(); break;
  }
  Schedule();
}

void HartIpLink::Schedule() {
  if (!pump_ || !pump_->IsCreated()) return;
  int period = kPumpMs;
  switch (state_) {
    case State::Idle:
      if (fd_ < 0 || !sessionOpen_) {
        pump_->KillTimer(kPumpTimerId);
        pumpPeriod_ = 0;
        return;
      }
      period = static_cast<int>(std::clamp<std::uint32_t>(inactivityMs_ / 4, 1, kLongestIdleTickMs));
      break;
    case State::Starting: period = kFastPumpMs; break;
    case State::Replied: period = kFastPumpMs; break;
    case State::Resolving: period = kPumpMs; break;
    case State::Connecting:
    case State::Initiating:
    case State::Securing:
    case State::Waiting:
      period = Now() - sentAt_ < kFastWindowMs ? kFastPumpMs : kPumpMs;
      break;
  }
  if (period != pumpPeriod_) {
    pump_->SetTimer(kPumpTimerId, period);
    pumpPeriod_ = period;
  }
}

void HartIpLink::Start() {
  if (retryAfter_ >= 0 && Now() < retryAfter_) {
    Finish(kEvNoAnswer);
    return;
  }
  if (!resolved_) {
    if (!lookup_) StartLookup();
    if (lookup_) state_ = State::Resolving;
    return;
  }
  BeginAttempt();
}

void HartIpLink::StartLookup() {
  auto lookup = std::make_shared<Lookup>();
  HartIpResolver resolver = options_.resolver ? options_.resolver : ResolveWithSystem;
  try {
    std::thread([lookup, resolver, host = address_.host, port = address_.port,
                 tcp = options_.tcp] {
      ResolvedAddress result = resolver(host, port, tcp);
      const std::lock_guard lock(lookup->mutex);
      lookup->result = std::move(result);
      lookup->done = true;
    }).detach();
  } catch (const std::system_error&) {
    Unreachable(NotFoundText(address_.host));
    return;
  }
  lookup_ = std::move(lookup);
  lookupDeadline_ = Now() + options_.resolveTimeoutMs;
  sentAt_ = Now();
}

void HartIpLink::CheckLookup() {
  ResolvedAddress result;
  bool done = false;
  {
    const std::lock_guard lock(lookup_->mutex);
    done = lookup_->done;
    if (done) result = lookup_->result;
  }
  if (!done) {
    if (Now() >= lookupDeadline_) {
      // The thread finishes on its own and nobody reads what it found.
      lookup_.reset();
      Unreachable(NotFoundText(address_.host));
    }
    return;
  }
  lookup_.reset();
  if (!result.error.empty() || result.length == 0) {
    Unreachable(result.error.empty() ? NotFoundText(address_.host) : result.error);
    return;
  }
  resolved_ = result;
  BeginAttempt();
}

void HartIpLink::BeginAttempt() {
  state_ = State::Starting;
  ++attempt_;
  requestSent_ = false;
  // A handshake left unfinished (its dialog went) cannot be taken up again.
  if (tls_ && !secured_) CloseSocket();
  // Whatever came while nobody was waiting: late answers, or the server closing the session.
  if (fd_ >= 0 && !connecting_) ReadMessages([this](const Parsed& m) { return TakeUnasked(m); });
  const std::int64_t now = Now();
  // Quiet for most of the inactivity time: the server may have closed the session already.
  if (sessionOpen_ && now - lastSentAt_ >= static_cast<std::int64_t>(inactivityMs_) * 3 / 4) {
    CloseSession();
  }
  if (fd_ < 0 && !OpenSocket()) return;
  sentAt_ = now;
  if (connecting_) {
    state_ = State::Connecting;
    deadline_ = now + options_.replyTimeoutMs;
    return;
  }
  if (!sessionOpen_) {
    SendInitiate();
    return;
  }
  SendRequest();
}

bool HartIpLink::OpenSocket() {
  const ResolvedAddress& to = *resolved_;
  const int type = (options_.tcp ? SOCK_STREAM : SOCK_DGRAM) | SOCK_NONBLOCK | SOCK_CLOEXEC;
  const int fd = ::socket(to.address.ss_family, type, 0);
  if (fd < 0) {
    Unreachable("Не удалось открыть сокет для связи по HART-IP (ошибка " + Decimal(errno) + ").");
    return false;
  }
  if (options_.tcp) {
    // Requests are small and each waits for its answer: nothing is gained by holding them back.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }
  fd_ = fd;
  sessionOpen_ = false;
  inboundSize_ = 0;
  unasked_ = 0;
  ++socketEpoch_;
  // A connected datagram socket takes only the server's datagrams, and hears of a closed port.
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&to.address), to.length) == 0) {
    connecting_ = false;
    return true;
  }
  if (errno == EINPROGRESS) {
    connecting_ = true;
    return true;
  }
  state_ = State::Connecting;
  SocketFailed(errno);
  return false;
}

void HartIpLink::CheckConnect() {
  pollfd p{fd_, POLLOUT, 0};
  if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error != 0) {
      SocketFailed(error);
      return;
    }
    connecting_ = false;
    SendInitiate();
    return;
  }
  if (Now() >= deadline_) {
    CloseSocket();
    AttemptFailed();
  }
}

void HartIpLink::SendInitiate() {
  awaited_ = ++sequence_;
  const auto body = hartip::InitiateBody({hartip::kPrimaryMaster, options_.inactivityMs});
  const auto message = hartip::Encode(hartip::kRequest, hartip::kSessionInitiate, awaited_, body,
                                      0, Version());
  state_ = State::Initiating;
  sentAt_ = Now();
  deadline_ = sentAt_ + options_.replyTimeoutMs;
  heard_ = false;
  Send(message, dialog_);
}

void HartIpLink::Secure() {
  const TlsChannel::Step step = tls_->Handshake();
  if (step == TlsChannel::Step::Again && Now() < deadline_) return;
  if (step != TlsChannel::Step::Done) {
    const bool certificate = tls_->CertificateOffered();
    const std::string identity = options_.key->identity;
    CloseSocket();
    Unreachable(certificate
                    ? "Узел HART-IP " + server_ +
                          " предъявил сертификат вместо общего ключа: такой сеанс не поддерживается."
                    : "Узел HART-IP " + server_ + " не принял ключ HART-IP (идентификатор " +
                          identity + "): защищённый сеанс не открыт.");
    return;
  }
  secured_ = true;
  sessionOpen_ = true;
  if (FrameTrace* trace = TraceOf(TraceTarget())) trace->HartIpNote(Now(), tls_->Description());
  SendRequest();
}

bool HartIpLink::AnsweredInVersionOne(std::span<const std::uint8_t> bytes) {
  if (!options_.key || state_ != State::Initiating || bytes.size() < hartip::kHeaderSize ||
      bytes[0] != hartip::kVersion || bytes[2] != hartip::kSessionInitiate) {
    return false;
  }
  TraceReceived(bytes.first(hartip::kHeaderSize), false);
  CloseSocket();
  Unreachable("Узел HART-IP " + server_ +
              " отвечает только по версии 1 протокола HART-IP, без защиты: с ключом сеанс с ним "
              "не открыт.");
  return true;
}

ssize_t HartIpLink::SendBytes(const std::uint8_t* bytes, std::size_t size) {
  if (secured_) return tls_->Send(bytes, size);
  return ::send(fd_, bytes, size, MSG_NOSIGNAL);
}

ssize_t HartIpLink::ReceiveBytes(std::uint8_t* into, std::size_t room) {
  if (secured_) return tls_->Receive(into, room);
  // Nothing of the handshake may be read as a message before the channel is up.
  if (tls_) {
    errno = EAGAIN;
    return -1;
  }
  return ::recv(fd_, into, room, MSG_DONTWAIT);
}

void HartIpLink::SendRequest() {
  awaited_ = ++sequence_;
  const auto message = hartip::Encode(hartip::kRequest, hartip::kPassThrough, awaited_, request_, 0,
                                      Version());
  state_ = State::Waiting;
  requestSent_ = true;
  sentAt_ = Now();
  deadline_ = sentAt_ + options_.replyTimeoutMs;
  heard_ = false;
  Send(message, dialog_);
}

void HartIpLink::SendKeepAlive() {
  const auto message = hartip::Encode(hartip::kRequest, hartip::kKeepAlive, ++sequence_, {}, 0,
                                      Version());
  Send(message, TraceTarget());
}

bool HartIpLink::Send(const std::vector<std::uint8_t>& message, THartProtokol* traceTo) {
  TraceSent(message, traceTo);
  const ssize_t n = SendBytes(message.data(), message.size());
  lastSentAt_ = Now();
  if (n == static_cast<ssize_t>(message.size())) return true;
  // A datagram the host could not take is as good as one lost on the way: the attempt runs out.
  if (!options_.tcp && n < 0 && (Temporary(errno) || errno == ENOBUFS)) return true;
  // A stream that takes no more of a message this small has a server that reads nothing.
  SocketFailed(n < 0 ? errno : EAGAIN);
  return false;
}

void HartIpLink::CloseSession(bool drain) {
  if (fd_ >= 0 && sessionOpen_ && !connecting_) {
    if (options_.tcp && drain) {
      // Unread bytes would make closing the connection a reset that may drop the message; a
      // peer that never stops sending gets no more than a tick's worth read.
      std::uint8_t buffer[512];
      std::size_t drained = 0;
      ssize_t n = 0;
      while (drained < kTickReadBytes &&
             (n = ReceiveBytes(buffer, sizeof buffer)) > 0) {
        drained += static_cast<std::size_t>(n);
      }
    }
    const auto message =
        hartip::Encode(hartip::kRequest, hartip::kSessionClose, ++sequence_, {}, 0, Version());
    TraceSent(message, TraceTarget());
    // Said once and not waited for: the server closes the session in time anyway.
    if (SendBytes(message.data(), message.size()) > 0) lastSentAt_ = Now();
  }
  sessionOpen_ = false;
  if (SessionOwnsSocket()) CloseSocket();
}

void HartIpLink::CloseSocket() {
  if (tls_ && secured_) tls_->Shutdown();
  tls_.reset();
  secured_ = false;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  connecting_ = false;
  sessionOpen_ = false;
  inboundSize_ = 0;
  // A flood ends with its socket: the next one starts with a clean count.
  flooded_ = false;
  unasked_ = 0;
  ++socketEpoch_;
}

void HartIpLink::Receive() {
  const unsigned generation = generation_;
  const State awaiting = state_;
  const bool alive = ReadMessages([&](const Parsed& message) {
    TakeAnswer(message);
    return generation == generation_ && (state_ == State::Initiating || state_ == State::Waiting);
  });
  if (!alive || generation != generation_) return;
  if (state_ == State::Replied) {
    Deliver();
    return;
  }
  if (state_ != State::Initiating && state_ != State::Waiting) return;
  if (Now() < deadline_) return;
  // Not a word in answer to a request: the session may have gone with the server; the next
  // attempt opens it anew.
  if (awaiting == State::Waiting && state_ == State::Waiting && !heard_) CloseSession();
  AttemptFailed();
}

bool HartIpLink::ReadMessages(const std::function<bool(const Parsed&)>& take) {
  // A handler that runs an event loop of its own (a message box) must not read under our feet:
  // the messages it was handed lie in the buffer.
  if (reading_) return true;
  reading_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{reading_};

  const unsigned epoch = socketEpoch_;
  std::size_t budget = kTickReadBytes;
  int failure = 0;
  bool more = true;  // `take` wants the next message
  while (more && failure == 0) {
    if (options_.tcp) {
      // The whole messages of the stream first, those left from before included.
      std::size_t at = 0;
      while (more) {
        const std::span<const std::uint8_t> rest(inbound_->data() + at, inboundSize_ - at);
        const Parsed parsed = hartip::ParseStream(rest, Version());
        if (parsed.state == Parsed::State::Incomplete) break;
        if (parsed.state == Parsed::State::Unfit) {
          if (AnsweredInVersionOne(rest)) return false;
          // Out of step: no later message of this stream can be found.
          TraceReceived(rest, true);
          at = inboundSize_;
          failure = EPROTO;
          break;
        }
        at += parsed.size;
        more = Hand(parsed, parsed.whole, take);
        if (epoch != socketEpoch_) return true;
      }
      // What is left of a message goes to the front, for the rest of it to follow.
      std::memmove(inbound_->data(), inbound_->data() + at, inboundSize_ - at);
      inboundSize_ -= at;
      if (!more || failure != 0) break;
    }
    if (budget == 0) break;
    // A datagram is one message, read whole into the buffer's start; a stream is read on behind
    // what is left of a message.
    const std::size_t kept = options_.tcp ? inboundSize_ : 0;
    std::uint8_t* into = inbound_->data() + kept;
    const ssize_t n = ReceiveBytes(into, inbound_->size() - kept);
    if (n < 0) {
      if (!Temporary(errno)) failure = errno;
      break;
    }
    if (n == 0 && options_.tcp) {
      failure = ECONNRESET;  // the server closed the connection
      break;
    }
    // Even an answer that does not fit shows the server is there.
    heard_ = true;
    budget -= std::min(budget, std::max<std::size_t>(static_cast<std::size_t>(n), 1));
    if (options_.tcp) {
      inboundSize_ += static_cast<std::size_t>(n);
      continue;
    }
    const std::span<const std::uint8_t> datagram(into, static_cast<std::size_t>(n));
    more = Hand(hartip::ParseDatagram(datagram, Version()), datagram, take);
    if (epoch != socketEpoch_) return true;
  }
  // What follows may ask the operator, and the link may be wanted meanwhile.
  reading_ = false;
  if (failure != 0) {
    SocketFailed(failure);
    return false;
  }
  if (flooded_) {
    GiveUpOnFlood();
    return false;
  }
  return true;
}

bool HartIpLink::Hand(const Parsed& parsed, std::span<const std::uint8_t> bytes,
                      const std::function<bool(const Parsed&)>& take) {
  if (parsed.state == Parsed::State::Complete) return take(parsed) && !flooded_;
  if (AnsweredInVersionOne(bytes)) return false;
  // A header that does not fit answers nothing.
  if (!CountUnasked()) TraceReceived(bytes, true);
  return !flooded_;
}

bool HartIpLink::CountUnasked() {
  const std::int64_t now = Now();
  if (now - unaskedSince_ >= 1000) {
    unaskedSince_ = now;
    unasked_ = 0;
  }
  if (++unasked_ > kMaxUnaskedPerSecond) flooded_ = true;
  // Traced while few, so that a flood cannot fill the disk with the trace either.
  return unasked_ > kTracedUnaskedPerSecond;
}

void HartIpLink::GiveUpOnFlood() {
  flooded_ = false;
  unasked_ = 0;
  if (FrameTrace* trace = TraceOf(TraceTarget())) {
    trace->HartIpNote(Now(), "more than " + Decimal(kMaxUnaskedPerSecond) +
                                 " unasked messages in a second: session closed");
  }
  CloseSession(false);
  CloseSocket();
  const State awaiting = state_;
  const unsigned generation = generation_;
  if (!floodReported_ && TraceTarget() != nullptr) {
    floodReported_ = true;
    TraceTarget()->MessageBox("Узел HART-IP " + server_ +
                                  " шлёт сообщения без запроса чаще, чем шлёт любой шлюз.\n"
                                  "Сеанс с ним закрыт.",
                              "", ui::kMbOk | ui::kMbIconStop);
  }
  // The answer awaited went with the session; the next attempt opens another.
  if (generation == generation_ && (awaiting == State::Initiating || awaiting == State::Waiting)) {
    AttemptFailed();
  }
}

void HartIpLink::TakeAnswer(const Parsed& message) {
  const hartip::Header& header = message.header;
  heard_ = true;
  const std::uint8_t awaitedId =
      state_ == State::Initiating ? hartip::kSessionInitiate : hartip::kPassThrough;
  const hartip::Verdict verdict = hartip::Judge(header, awaitedId, awaited_);
  const bool traced = verdict != hartip::Verdict::Unrelated || !CountUnasked();
  if (traced && (verdict != hartip::Verdict::Answer || state_ == State::Initiating)) {
    TraceReceived(message.whole, true);
  }
  const bool closed = hartip::ClosesSession(header, message.body);
  if (closed) SessionClosedByServer(header);
  switch (verdict) {
    case hartip::Verdict::Unrelated:
      // A session closed under the request: it will not be answered.
      if (closed && state_ == State::Waiting) AttemptFailed();
      return;
    case hartip::Verdict::Refusal:
      if (state_ == State::Initiating) rejected_ = true;
      AttemptFailed();
      return;
    case hartip::Verdict::Answer:
      if (state_ == State::Initiating) {
        TakeSessionAnswer(message);
      } else {
        TakeRequestAnswer(message);
      }
      return;
  }
}

void HartIpLink::TakeSessionAnswer(const Parsed& message) {
  const std::uint8_t status = message.header.status;
  if (hartip::JudgeSessionStatus(status) == hartip::SessionStatus::Refused) {
    CloseSocket();
    Unreachable(hartip::RefusalText(status, server_, Version()));
    return;
  }
  if (options_.key && !secured_) {
    std::string error;
    tls_ = TlsChannel::Client(fd_, !options_.tcp, *options_.key, error);
    if (!tls_) {
      CloseSocket();
      Unreachable(error);
      return;
    }
    state_ = State::Securing;
    sentAt_ = Now();
    deadline_ = sentAt_ + options_.replyTimeoutMs;
    // Taken up from the pump: the session's answer is still being read.
    return;
  }
  sessionOpen_ = true;
  failureReported_ = false;
  retryAfter_ = -1;
  // The server may have set its own timer (a warning status); its word counts, within bounds
  // that keep keep-alives and new sessions from flooding it, or it from forgetting us for days.
  const auto parameters = hartip::ReadInitiateBody(message.body);
  const std::uint32_t granted = parameters && parameters->inactivityMs > 0
                                    ? parameters->inactivityMs
                                    : options_.inactivityMs;
  inactivityMs_ = std::clamp(granted, kMinInactivityMs, kMaxInactivityMs);
  if (inactivityMs_ != granted) {
    if (FrameTrace* trace = TraceOf(TraceTarget())) {
      trace->HartIpNote(Now(), "inactivity timer " + Decimal(granted) + " ms taken as " +
                                   Decimal(inactivityMs_) + " ms");
    }
  }
  SendRequest();
}

void HartIpLink::TakeRequestAnswer(const Parsed& message) {
  // A status of the server's own: it could not pass the request on.
  const ReplyScan scan = message.header.status == 0 ? ScanReply(message.body, request_)
                                                    : ReplyScan{ReplyScan::State::Damaged};
  TraceReceived(message.whole, scan.state != ReplyScan::State::Complete);
  if (scan.state != ReplyScan::State::Complete) {
    AttemptFailed();
    return;
  }
  reply_.assign(message.body.begin() + static_cast<std::ptrdiff_t>(scan.preambles),
                message.body.begin() + static_cast<std::ptrdiff_t>(scan.preambles + scan.length));
  // Handed on from the pump once this reading is over, never from inside it.
  state_ = State::Replied;
}

bool HartIpLink::TakeUnasked(const Parsed& message) {
  if (!CountUnasked()) TraceReceived(message.whole, true);
  if (hartip::ClosesSession(message.header, message.body)) SessionClosedByServer(message.header);
  return true;
}

void HartIpLink::SessionClosedByServer(const hartip::Header& header) {
  if (header.type == hartip::kRequest && sessionOpen_ && fd_ >= 0) {
    const auto answer =
        hartip::Encode(hartip::kResponse, hartip::kSessionClose, header.sequence, {}, 0, Version());
    TraceSent(answer, TraceTarget());
    SendBytes(answer.data(), answer.size());
  }
  sessionOpen_ = false;
  if (SessionOwnsSocket()) CloseSocket();
}

void HartIpLink::IdleTick() {
  if (fd_ < 0 || connecting_) return;
  if (!ReadMessages([this](const Parsed& m) { return TakeUnasked(m); })) return;
  if (fd_ >= 0 && sessionOpen_ &&
      Now() - lastSentAt_ >= static_cast<std::int64_t>(inactivityMs_ / 2)) {
    SendKeepAlive();
  }
}

void HartIpLink::SocketFailed(int error) {
  CloseSocket();
  switch (state_) {
    case State::Connecting:
    case State::Initiating:
    case State::Securing:
      if (error == ECONNREFUSED) {
        Unreachable("Узел HART-IP " + server_ + " отказал в соединении.");
      } else if (NoWay(error)) {
        Unreachable("Узел HART-IP " + server_ + " недоступен: к нему нет пути в сети.");
      } else {
        AttemptFailed();
      }
      break;
    case State::Waiting:
      // The connection or the server went away under the request: the next attempt tries anew.
      AttemptFailed();
      break;
    default:
      break;
  }
}

void HartIpLink::AttemptFailed() {
  if (attempt_ < attempts_) {
    BeginAttempt();
    return;
  }
  if (!requestSent_) {
    Unreachable("Узел HART-IP " + server_ + (rejected_ ? " не открыл сеанс." : " не отвечает."));
    return;
  }
  Finish(kEvNoAnswer);
}

void HartIpLink::Unreachable(const std::string& text) {
  CloseSocket();
  retryAfter_ = Now() + options_.retryPauseMs;
  THartProtokol* target = dialog_;
  state_ = State::Idle;
  const unsigned generation = ++generation_;
  // Said once; until a session opens again every request simply goes unanswered.
  if (!failureReported_ && target != nullptr) {
    failureReported_ = true;
    target->MessageBox(text, "", ui::kMbOk | ui::kMbIconStop);
  }
  // The dialog may have ended, or sent anew, while the message was up.
  if (target != nullptr && generation == generation_) target->SendMessage(kEvNoAnswer);
}

void HartIpLink::Deliver() {
  std::span<std::uint8_t> area = dialog_->Reply();
  std::fill(area.begin(), area.end(), std::uint8_t{0});
  std::copy(reply_.begin(), reply_.end(), area.begin());
  const std::uint8_t code =
      reply_[request_[0] == kLongDelimiter ? kReplyResponseCode : kShortResponseCode];
  dialog_->NoteReceived(static_cast<int>(reply_.size()), 0);
  if (code == 0) {
    Finish(kEvReply);
  } else if (code == kResponseCodeBusy) {
    Finish(kEvLineBusy);
  } else {
    Finish(kEvStatusError);
  }
}

void HartIpLink::Finish(unsigned event) {
  THartProtokol* target = dialog_;
  state_ = State::Idle;
  // Last: the dialog may send its next request, or end, from inside the event.
  if (target != nullptr) target->SendMessage(event);
}

THartProtokol* HartIpLink::TraceTarget() const {
  if (dialog_ != nullptr) return dialog_;
  if (pump_ && pump_->IsCreated()) return &pump_->Dialog();
  return nullptr;
}

FrameTrace* HartIpLink::TraceOf(THartProtokol* dialog) {
  return dialog != nullptr ? dialog->Trace() : nullptr;
}

void HartIpLink::TraceSent(std::span<const std::uint8_t> message, THartProtokol* dialog) {
  FrameTrace* trace = TraceOf(dialog);
  if (trace == nullptr) return;
  const auto header = message.first(hartip::kHeaderSize);
  const auto body = message.subspan(hartip::kHeaderSize);
  const bool passThrough = header[2] == hartip::kPassThrough;
  trace->HartIpHeader(Now(), "TX", header, passThrough ? std::span<const std::uint8_t>() : body);
  // The frame of a request on a line of its own, as on the serial line; no preambles go with it.
  if (passThrough) trace->Request(Now(), body, 0, linkParam1_, linkParam2_, frameIsLong_);
}

void HartIpLink::TraceReceived(std::span<const std::uint8_t> message, bool withBody) {
  FrameTrace* trace = TraceOf(TraceTarget());
  if (trace == nullptr) return;
  const auto header = message.first(std::min(message.size(), hartip::kHeaderSize));
  trace->HartIpHeader(Now(), "RX", header,
                      withBody ? message.subspan(header.size()) : std::span<const std::uint8_t>());
}

}  // namespace hart
