#include "tests/support/hart_ip_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstring>
#include <chrono>
#include <stdexcept>
#include <utility>

namespace testhart {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kVersion = 1;
constexpr std::uint8_t kSecuredVersion = 2;
constexpr std::uint8_t kSecurityNotInitialized = 9;
constexpr std::uint8_t kVersionNotSupported = 14;
constexpr int kHandshakeMs = 400;
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

// The server's key slot, for the library's callback.
int SlotIndex() {
  static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

unsigned int FindKey(SSL* ssl, const char* identity, unsigned char* psk, unsigned int maxPsk) {
  const auto* slot = static_cast<const std::pair<std::string, Bytes>*>(
      SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), SlotIndex()));
  if (identity == nullptr || slot->first != identity || slot->second.size() > maxPsk) return 0;
  std::memcpy(psk, slot->second.data(), slot->second.size());
  return static_cast<unsigned int>(slot->second.size());
}

// A datagram socket of the loopback interface at the server's port, beside its own.
int Bind(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  return fd;
}

}  // namespace

void HartIpServer::SetKey(std::string identity, std::vector<std::uint8_t> key) {
  const std::lock_guard lock(mutex_);
  slot_ = {std::move(identity), std::move(key)};
}

SSL_CTX* HartIpServer::Context(bool datagram) {
  if (context_ != nullptr) return context_;
  context_ = SSL_CTX_new(datagram ? DTLS_server_method() : TLS_server_method());
  if (datagram) {
    SSL_CTX_set_min_proto_version(context_, DTLS1_2_VERSION);
    // A cookie the client must give back before the server does any work for it; one for all
    // is all a test needs.
    SSL_CTX_set_cookie_generate_cb(context_, [](SSL*, unsigned char* cookie, unsigned int* n) {
      *n = static_cast<unsigned int>(std::strlen(std::strcpy(reinterpret_cast<char*>(cookie), "k7")));
      return 1;
    });
    SSL_CTX_set_cookie_verify_cb(context_, [](SSL*, const unsigned char* cookie, unsigned int n) {
      return n == 2 && std::memcmp(cookie, "k7", 2) == 0 ? 1 : 0;
    });
  } else {
    SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
    SSL_CTX_set_ciphersuites(context_, "TLS_AES_128_GCM_SHA256:TLS_CHACHA20_POLY1305_SHA256");
  }
  SSL_CTX_set_cipher_list(context_, "PSK-AES128-GCM-SHA256");
  SSL_CTX_set_psk_server_callback(context_, FindKey);
  if (certified_) {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* certificate = X509_new();
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
    X509_gmtime_adj(X509_getm_notBefore(certificate), 0);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 3600);
    X509_set_pubkey(certificate, key);
    X509_set_issuer_name(certificate, X509_get_subject_name(certificate));
    X509_sign(certificate, key, EVP_sha256());
    SSL_CTX_use_certificate(context_, certificate);
    SSL_CTX_use_PrivateKey(context_, key);
    X509_free(certificate);
    EVP_PKEY_free(key);
  }
  SSL_CTX_set_ex_data(context_, SlotIndex(), &slot_);
  return context_;
}

SSL* HartIpServer::Accept(int fd, bool datagram, const void* peer) {
  SSL* ssl = SSL_new(Context(datagram));
  timeval limit{kHandshakeMs / 1000, (kHandshakeMs % 1000) * 1000};
  if (datagram) {
    BIO* bio = BIO_new_dgram(fd, BIO_NOCLOSE);
    BIO_ctrl(bio, BIO_CTRL_DGRAM_SET_RECV_TIMEOUT, 0, &limit);
    BIO_ctrl(bio, BIO_CTRL_DGRAM_SET_CONNECTED, 0, const_cast<void*>(peer));
    SSL_set_bio(ssl, bio, bio);
    SSL_set_options(ssl, SSL_OP_COOKIE_EXCHANGE);
  } else {
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    SSL_set_fd(ssl, fd);
  }
  if (SSL_accept(ssl) != 1) {
    SSL_free(ssl);
    return nullptr;
  }
  return ssl;
}

HartIpServer::HartIpServer(Transport transport, Answerer answer)
    : transport_(transport), answer_(std::move(answer)) {
  startNs_ = std::chrono::steady_clock::now().time_since_epoch().count();
  const bool tcp = transport_ == Transport::Tcp;
  fd_ = ::socket(AF_INET, (tcp ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC, 0);
  if (fd_ < 0) throw std::runtime_error("socket");
  const int on = 1;
  ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  // A secured datagram client gets a socket of its own on the same port.
  if (!tcp) ::setsockopt(fd_, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
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
  if (context_ != nullptr) SSL_CTX_free(context_);
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
  std::vector<Connection> secured;
  while (!stop_) {
    std::vector<pollfd> polls{{fd_, POLLIN, 0}};
    for (const Connection& c : secured) polls.push_back({c.fd, POLLIN, 0});
    if (::poll(polls.data(), polls.size(), kPollMs) <= 0) continue;
    for (std::size_t i = polls.size() - 1; i >= 1; --i) {
      if ((polls[i].revents & POLLIN) != 0 && !ServeConnection(secured[i - 1])) Drop(secured, i - 1);
    }
    if ((polls[0].revents & POLLIN) == 0) continue;
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
    Session& session = udpSessions_[key];
    const Bytes answer = Handle(Bytes(buffer, buffer + n), session, client, close);
    int own = -1;
    if (securePending_) {
      // Connected to the client before it hears the answer, so that its handshake comes here.
      own = Bind(port_);
      ::connect(own, reinterpret_cast<sockaddr*>(&from), length);
    }
    if (!answer.empty()) {
      ::sendto(fd_, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from), length);
    }
    if (securePending_) {
      securePending_ = false;
      sockaddr_storage peer{};
      std::memcpy(&peer, &from, sizeof from);
      if (SSL* ssl = Accept(own, true, &peer)) {
        secured.push_back({own, client, {}, session, ssl});
      } else {
        ::close(own);
      }
      udpSessions_.erase(key);
    }
  }
  while (!secured.empty()) Drop(secured, 0);
}

void HartIpServer::Drop(std::vector<Connection>& connections, std::size_t i) {
  if (connections[i].ssl != nullptr) SSL_free(connections[i].ssl);
  ::close(connections[i].fd);
  if (connections[i].session.open) {
    const std::lock_guard lock(mutex_);
    --openSessions_;
  }
  connections.erase(connections.begin() + static_cast<std::ptrdiff_t>(i));
}

bool HartIpServer::ServeConnection(Connection& c) {
  std::uint8_t buffer[2048];
  const auto read = [&] {
    return c.ssl != nullptr ? SSL_read(c.ssl, buffer, sizeof buffer)
                            : static_cast<int>(::recv(c.fd, buffer, sizeof buffer, 0));
  };
  int n = read();
  if (n <= 0) return false;
  do {
    c.inbound.insert(c.inbound.end(), buffer, buffer + n);
  } while (c.ssl != nullptr && SSL_pending(c.ssl) > 0 && (n = read()) > 0);
  bool close = false;
  while (!close && c.inbound.size() >= 8) {
    const std::size_t size = static_cast<std::size_t>(c.inbound[6] << 8 | c.inbound[7]);
    if ((c.inbound[0] != kVersion && c.inbound[0] != kSecuredVersion) || size < 8) {
      return false;  // a stream out of step cannot be read on
    }
    if (c.inbound.size() < size) break;
    const Bytes message(c.inbound.begin(), c.inbound.begin() + static_cast<std::ptrdiff_t>(size));
    c.inbound.erase(c.inbound.begin(), c.inbound.begin() + static_cast<std::ptrdiff_t>(size));
    const Bytes answer = Handle(message, c.session, c.client, close);
    SendFlood(c.fd);
    if (!answer.empty() && c.ssl != nullptr) {
      SSL_write(c.ssl, answer.data(), static_cast<int>(answer.size()));
    } else if (!answer.empty()) {
      ::send(c.fd, answer.data(), answer.size(), MSG_NOSIGNAL);
    }
    // A stream goes on in TLS from the answer to its initiate on.
    if (std::exchange(securePending_, false) && c.ssl == nullptr) {
      c.ssl = Accept(c.fd, false, nullptr);
      if (c.ssl == nullptr) close = true;
      c.inbound.clear();
    }
  }
  return !close;
}

void HartIpServer::ServeTcp() {
  std::vector<Connection> connections;
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
      if (!ServeConnection(connections[i - 1])) Drop(connections, i - 1);
    }
  }
  while (!connections.empty()) Drop(connections, 0);
}

void HartIpServer::SendFlood(int fd) {
  if (floodPending_ == 0) return;
  const Bytes publication = Compose(kPublish, kPassThrough, 0, 0, {});
  Bytes all;
  for (; floodPending_ > 0; --floodPending_) {
    all.insert(all.end(), publication.begin(), publication.end());
  }
  // A client that gives up on the stream takes no more; what it took is enough.
  ::send(fd, all.data(), all.size(), MSG_NOSIGNAL);
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
  bool provisioned = false;
  {
    const std::lock_guard lock(mutex_);
    provisioned = !slot_.second.empty();
  }
  const std::uint8_t version = provisioned ? kSecuredVersion : kVersion;
  if (m.type == kRequest && m.id == kInitiate && m.version != version) {
    // Provisioned, it takes no session of version 1; of version 1, it knows no other.
    return Compose(kResponse, kInitiate, provisioned ? kSecurityNotInitialized : kVersionNotSupported,
                   m.sequence, {});
  }
  if (m.version != version || m.type != kRequest) return {};
  const auto reply = [version](std::uint8_t type, std::uint8_t id, std::uint8_t status,
                               std::uint16_t sequence, const Bytes& data, int other = 0) {
    return Compose(type, id, status, sequence, data, static_cast<std::uint8_t>(version + other));
  };

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
        return reply(kResponse, kInitiate, behaviourStatus_, seq, {});
      }
      if (m.body.size() < 5) return reply(kResponse, kInitiate, kTooFewDataBytes, seq, {});
      // As FieldComm Group's reference server: a session for a primary master only, and any other
      // master type is not answered at all.
      if (m.body[0] != kPrimaryMaster) return {};
      if (session.open) {
        session.lastMs = now;
        return reply(kResponse, kInitiate, kAlreadyEstablished, seq, m.body);
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
      securePending_ = provisioned;
      // Said, not kept: the session lasts as asked.
      if (Applies(Behaviour::TinyTimer)) {
        inactivity = 1;
        status = kNearestValue;
      }
      {
        const std::lock_guard lock(mutex_);
        ++openSessions_;
      }
      return reply(kResponse, kInitiate, status, seq,
                     {m.body[0], static_cast<std::uint8_t>(inactivity >> 24),
                      static_cast<std::uint8_t>(inactivity >> 16),
                      static_cast<std::uint8_t>(inactivity >> 8),
                      static_cast<std::uint8_t>(inactivity)});
    }
    case kClose:
      endSession();
      close = true;
      return reply(kResponse, kClose, 0, seq, {});
    case kKeepAlive:
      if (!session.open) return reply(kError, kKeepAlive, 0, seq, {kSessionClosed});
      session.lastMs = now;
      return reply(kResponse, kKeepAlive, 0, seq, {});
    case kPassThrough: {
      if (!session.open) return reply(kError, kPassThrough, 0, seq, {kSessionClosed});
      session.lastMs = now;
      if (Applies(Behaviour::DropSession)) {
        endSession();
        close = true;
        return reply(kError, kPassThrough, 0, seq, {kSessionClosed});
      }
      if (Applies(Behaviour::Flood)) floodPending_ = kFloodMessages;
      if (Applies(Behaviour::Nak)) return reply(kNak, kPassThrough, 0, seq, {});
      if (Applies(Behaviour::Error)) return reply(kError, kPassThrough, 0, seq, {kServiceUnavailable});
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
      return reply(kResponse, kPassThrough, 0, static_cast<std::uint16_t>(seq + (wrongSequence ? 1 : 0)),
                     frame, unfit ? 1 : 0);
    }
    default:
      return reply(kNak, m.id, 0, seq, {});
  }
}

}  // namespace testhart
