#include "tests/support/hart_ip_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace testhart {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kVersion = 1;
constexpr std::uint8_t kRequest = 0;
constexpr std::uint8_t kResponse = 1;
constexpr std::uint8_t kError = 3;
constexpr std::uint8_t kNak = 15;
constexpr std::uint8_t kInitiate = 0;
constexpr std::uint8_t kClose = 1;
constexpr std::uint8_t kKeepAlive = 2;
constexpr std::uint8_t kPassThrough = 3;
constexpr std::uint8_t kPrimaryMaster = 1;
constexpr std::uint8_t kSessionClosed = 0;
constexpr std::uint8_t kServiceUnavailable = 2;
constexpr std::uint8_t kTooFewDataBytes = 5;
constexpr std::uint8_t kNearestValue = 8;
constexpr std::uint8_t kAlreadyEstablished = 16;
constexpr int kPollMs = 10;
constexpr std::uint8_t kPublish = 2;
// Far beyond any gateway's publications in a second.
constexpr int kFloodMessages = 3000;

Bytes Compose(std::uint8_t type, std::uint8_t id, std::uint8_t status, std::uint16_t sequence,
              const Bytes& body, std::uint8_t version = kVersion) {
  const std::size_t size = 8 + body.size();
  Bytes out(size);
  out[0] = version;
  out[1] = type;
  out[2] = id;
  out[3] = status;
  out[4] = static_cast<std::uint8_t>(sequence >> 8);
  out[5] = static_cast<std::uint8_t>(sequence);
  out[6] = static_cast<std::uint8_t>(size >> 8);
  out[7] = static_cast<std::uint8_t>(size);
  std::copy(body.begin(), body.end(), out.begin() + 8);
  return out;
}

}  // namespace

HartIpServer::HartIpServer(Transport transport, Answerer answer)
    : transport_(transport), answer_(std::move(answer)) {
  startNs_ = std::chrono::steady_clock::now().time_since_epoch().count();
  const bool tcp = transport_ == Transport::Tcp;
  fd_ = ::socket(AF_INET, (tcp ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC, 0);
  if (fd_ < 0) throw std::runtime_error("socket");
  const int on = 1;
  ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      (tcp && ::listen(fd_, 4) != 0)) {
    ::close(fd_);
    throw std::runtime_error("bind");
  }
  socklen_t length = sizeof address;
  ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

HartIpServer::~HartIpServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  ::close(fd_);
}

std::string HartIpServer::Address() const { return "127.0.0.1:" + std::to_string(port_); }

void HartIpServer::SetBehaviour(Behaviour behaviour, int count, std::uint8_t status) {
  const std::lock_guard lock(mutex_);
  behaviour_ = behaviour;
  behaviourCount_ = count;
  behaviourStatus_ = status;
}

void HartIpServer::SetInactivityLimit(std::uint32_t ms) {
  const std::lock_guard lock(mutex_);
  inactivityLimit_ = ms;
}

void HartIpServer::SetReplyDelay(int ms) {
  const std::lock_guard lock(mutex_);
  replyDelayMs_ = ms;
}

std::vector<HartIpServer::Message> HartIpServer::Messages() const {
  const std::lock_guard lock(mutex_);
  return messages_;
}

std::vector<HartIpServer::Message> HartIpServer::Messages(std::uint8_t id) const {
  std::vector<Message> out;
  for (Message& m : Messages()) {
    if (m.id == id && m.type == kRequest) out.push_back(std::move(m));
  }
  return out;
}

std::vector<std::vector<std::uint8_t>> HartIpServer::Frames() const {
  std::vector<Bytes> out;
  for (const Message& m : Messages(kPassThrough)) out.push_back(m.body);
  return out;
}

void HartIpServer::Clear() {
  const std::lock_guard lock(mutex_);
  messages_.clear();
}

std::size_t HartIpServer::OpenSessions() const {
  const std::lock_guard lock(mutex_);
  return openSessions_;
}

std::int64_t HartIpServer::NowMs() const {
  return (std::chrono::steady_clock::now().time_since_epoch().count() - startNs_) / 1'000'000;
}

bool HartIpServer::Applies(Behaviour behaviour) {
  const std::lock_guard lock(mutex_);
  if (behaviour_ != behaviour || behaviourCount_ == 0) return false;
  if (behaviourCount_ > 0 && --behaviourCount_ == 0) behaviour_ = Behaviour::Answer;
  return true;
}

void HartIpServer::Serve() {
  if (transport_ == Transport::Udp) {
    ServeUdp();
  } else {
    ServeTcp();
  }
}

void HartIpServer::ServeUdp() {
  while (!stop_) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, kPollMs) <= 0) continue;
    std::uint8_t buffer[2048];
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t n =
        ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (n <= 0) continue;
    const std::string key = std::to_string(from.sin_addr.s_addr) + ":" + std::to_string(from.sin_port);
    int client = 0;
    {
      const std::lock_guard lock(mutex_);
      auto [it, added] = udpClients_.emplace(key, clients_ + 1);
      if (added) ++clients_;
      client = it->second;
    }
    bool close = false;
    const Bytes answer = Handle(Bytes(buffer, buffer + n), udpSessions_[key], client, close);
    SendFlood(fd_, &from, length);
    if (!answer.empty()) {
      ::sendto(fd_, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from), length);
    }
  }
}

void HartIpServer::ServeTcp() {
  std::vector<Connection> connections;
  auto drop = [&](std::size_t i) {
    ::close(connections[i].fd);
    if (connections[i].session.open) {
      const std::lock_guard lock(mutex_);
      --openSessions_;
    }
    connections.erase(connections.begin() + static_cast<std::ptrdiff_t>(i));
  };
  while (!stop_) {
    std::vector<pollfd> polls{{fd_, POLLIN, 0}};
    for (const Connection& c : connections) polls.push_back({c.fd, POLLIN, 0});
    if (::poll(polls.data(), polls.size(), kPollMs) <= 0) continue;
    if ((polls[0].revents & POLLIN) != 0) {
      const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) {
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        const std::lock_guard lock(mutex_);
        connections.push_back({fd, ++clients_, {}, {}});
      }
    }
    for (std::size_t i = polls.size() - 1; i >= 1; --i) {
      if ((polls[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      Connection& c = connections[i - 1];
      std::uint8_t buffer[2048];
      const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
      if (n <= 0) {
        drop(i - 1);
        continue;
      }
      c.inbound.insert(c.inbound.end(), buffer, buffer + n);
      bool close = false;
      while (!close && c.inbound.size() >= 8) {
        const std::size_t size = static_cast<std::size_t>(c.inbound[6] << 8 | c.inbound[7]);
        if (c.inbound[0] != kVersion || size < 8) {
          close = true;  // a stream out of step cannot be read on
          break;
        }
        if (c.inbound.size() < size) break;
        const Bytes message(c.inbound.begin(), c.inbound.begin() + static_cast<std::ptrdiff_t>(size));
        c.inbound.erase(c.inbound.begin(), c.inbound.begin() + static_cast<std::ptrdiff_t>(size));
        const Bytes answer = Handle(message, c.session, c.client, close);
        SendFlood(c.fd, nullptr, 0);
        if (!answer.empty()) ::send(c.fd, answer.data(), answer.size(), MSG_NOSIGNAL);
      }
      if (close) drop(i - 1);
    }
  }
  for (const Connection& c : connections) ::close(c.fd);
}

void HartIpServer::SendFlood(int fd, const void* to, unsigned length) {
  if (floodPending_ == 0) return;
  const Bytes publication = Compose(kPublish, kPassThrough, 0, 0, {});
  if (to == nullptr) {
    Bytes all;
    for (int i = 0; i < floodPending_; ++i) all.insert(all.end(), publication.begin(), publication.end());
    // A stream the client gives up on takes no more; what it took is enough.
    ::send(fd, all.data(), all.size(), MSG_NOSIGNAL);
  } else {
    for (int i = 0; i < floodPending_; ++i) {
      ::sendto(fd, publication.data(), publication.size(), 0, static_cast<const sockaddr*>(to),
               length);
    }
  }
  floodPending_ = 0;
}

std::vector<std::uint8_t> HartIpServer::Handle(const Bytes& bytes, Session& session, int client,
                                               bool& close) {
  if (bytes.size() < 8) return {};
  Message m;
  m.version = bytes[0];
  m.type = bytes[1];
  m.id = bytes[2];
  m.status = bytes[3];
  m.sequence = static_cast<std::uint16_t>(bytes[4] << 8 | bytes[5]);
  const std::size_t size = static_cast<std::size_t>(bytes[6] << 8 | bytes[7]);
  if (size != bytes.size()) return {};
  m.body.assign(bytes.begin() + 8, bytes.end());
  m.atMs = NowMs();
  m.client = client;
  std::uint32_t limit = 0;
  {
    const std::lock_guard lock(mutex_);
    messages_.push_back(m);
    limit = inactivityLimit_;
  }
  if (m.version != kVersion || m.type != kRequest) return {};

  const std::int64_t now = m.atMs;
  auto endSession = [&] {
    if (!session.open) return;
    session.open = false;
    const std::lock_guard lock(mutex_);
    --openSessions_;
  };
  if (session.open && now - session.lastMs > static_cast<std::int64_t>(session.inactivityMs)) {
    endSession();
  }
  if (Applies(Behaviour::Silent)) return {};
  const std::uint16_t seq = m.sequence;
  switch (m.id) {
    case kInitiate: {
      if (Applies(Behaviour::RefuseSession)) {
        const std::lock_guard lock(mutex_);
        return Compose(kResponse, kInitiate, behaviourStatus_, seq, {});
      }
      if (m.body.size() < 5) return Compose(kResponse, kInitiate, kTooFewDataBytes, seq, {});
      // As FieldComm Group's reference server: a session for a primary master only, and any other
      // master type is not answered at all.
      if (m.body[0] != kPrimaryMaster) return {};
      if (session.open) {
        session.lastMs = now;
        return Compose(kResponse, kInitiate, kAlreadyEstablished, seq, m.body);
      }
      std::uint32_t inactivity = static_cast<std::uint32_t>(m.body[1]) << 24 |
                                 static_cast<std::uint32_t>(m.body[2]) << 16 |
                                 static_cast<std::uint32_t>(m.body[3]) << 8 | m.body[4];
      std::uint8_t status = 0;
      if (limit != 0 && inactivity > limit) {
        inactivity = limit;
        status = kNearestValue;
      }
      session = {true, inactivity, now};
      // Said, not kept: the session lasts as asked.
      if (Applies(Behaviour::TinyTimer)) {
        inactivity = 1;
        status = kNearestValue;
      }
      {
        const std::lock_guard lock(mutex_);
        ++openSessions_;
      }
      return Compose(kResponse, kInitiate, status, seq,
                     {m.body[0], static_cast<std::uint8_t>(inactivity >> 24),
                      static_cast<std::uint8_t>(inactivity >> 16),
                      static_cast<std::uint8_t>(inactivity >> 8),
                      static_cast<std::uint8_t>(inactivity)});
    }
    case kClose:
      endSession();
      close = true;
      return Compose(kResponse, kClose, 0, seq, {});
    case kKeepAlive:
      if (!session.open) return Compose(kError, kKeepAlive, 0, seq, {kSessionClosed});
      session.lastMs = now;
      return Compose(kResponse, kKeepAlive, 0, seq, {});
    case kPassThrough: {
      if (!session.open) return Compose(kError, kPassThrough, 0, seq, {kSessionClosed});
      session.lastMs = now;
      if (Applies(Behaviour::DropSession)) {
        endSession();
        close = true;
        return Compose(kError, kPassThrough, 0, seq, {kSessionClosed});
      }
      if (Applies(Behaviour::Flood)) floodPending_ = kFloodMessages;
      if (Applies(Behaviour::Nak)) return Compose(kNak, kPassThrough, 0, seq, {});
      if (Applies(Behaviour::Error)) return Compose(kError, kPassThrough, 0, seq, {kServiceUnavailable});
      const bool wrongSequence = Applies(Behaviour::WrongSequence);
      const bool unfit = Applies(Behaviour::Unfit);
      const Bytes frame = answer_(m.body);
      if (frame.empty()) return {};
      int delay = 0;
      {
        const std::lock_guard lock(mutex_);
        delay = replyDelayMs_;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(delay));
      return Compose(kResponse, kPassThrough, 0, static_cast<std::uint16_t>(seq + (wrongSequence ? 1 : 0)),
                     frame, unfit ? 2 : kVersion);
    }
    default:
      return Compose(kNak, m.id, 0, seq, {});
  }
}

}  // namespace testhart
