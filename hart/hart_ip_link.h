// HART-IP: the same requests over the network, to a gateway, a multiplexer or a HART-IP
// transmitter, by UDP or TCP. We open a session as a primary master (the reference server takes
// no other), keep it alive, and pass each request frame through with the primary master bit set
// to match; the reply frame comes back the same way and is handed on as soon as it has come. Everything runs from a
// timer of the platform's event loop on non-blocking sockets; a name is looked up on a thread of
// its own, so nothing on the window's thread ever waits for the network.
#pragma once

#include <sys/socket.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "hart/hart_ip_key.h"
#include "hart/hart_ip_message.h"
#include "hart/hart_ip_tls.h"
#include "hart/frame_trace.h"
#include "hart/link.h"

namespace hart {

// HOST[:PORT], where HOST is a name, an IPv4 address or an IPv6 address (in brackets when a port
// follows); the port is 5094 unless given.
struct HartIpAddress {
  std::string host;
  std::uint16_t port = hartip::kDefaultPort;
};
std::optional<HartIpAddress> ParseHartIpAddress(std::string_view text);

// Where a name leads: the first address of the transport, or why there is none (the operator's
// text).
struct ResolvedAddress {
  sockaddr_storage address{};
  socklen_t length = 0;
  std::string error;
};
using HartIpResolver =
    std::function<ResolvedAddress(const std::string& host, std::uint16_t port, bool tcp)>;
// The system's resolver (it may block: the link calls it off the window's thread).
ResolvedAddress ResolveWithSystem(const std::string& host, std::uint16_t port, bool tcp);
// Numeric addresses and "localhost", which need no resolver; nullopt for any other name.
std::optional<ResolvedAddress> ResolveLiteral(const std::string& host, std::uint16_t port);

struct HartIpOptions {
  bool tcp = false;
  // Each attempt of a request (linkParam1 of them) waits this long for its answer, as does
  // opening the connection and the session.
  int replyTimeoutMs = 2000;
  // The session's inactivity close timer we ask for; a keep-alive goes when nothing else was
  // sent for half of it.
  std::uint32_t inactivityMs = 60000;
  // After a server could not be reached, requests fail at once for this long rather than each
  // waiting its own time-outs (identification polls sixteen addresses).
  int retryPauseMs = 3000;
  // How long a name may take to resolve.
  int resolveTimeoutMs = 10000;
  // Null: the system's resolver.
  HartIpResolver resolver;
  // With a key, every session is one of version 2, secured by TLS (DTLS over UDP) with it, and
  // nothing less is ever taken; without, version 1.
  std::optional<HartIpKey> key;
};

class HartIpLink : public Link {
 public:
  static constexpr int kMaxAttempts = 10;

  // Takes the server's address: null, with the operator's text in `error`, when it is not one.
  // Nothing is sent until the first request.
  static std::unique_ptr<HartIpLink> Open(std::string_view address, HartIpOptions options,
                                          std::string& error);
  // Closes the session.
  ~HartIpLink() override;
  HartIpLink(const HartIpLink&) = delete;
  HartIpLink& operator=(const HartIpLink&) = delete;

  void Transmit(THartProtokol& dialog) override;
  void Forget(THartProtokol& dialog) override;

  // The server as the operator named it, HOST:PORT.
  const std::string& Server() const { return server_; }
  bool SessionOpen() const { return sessionOpen_; }
  // The inactivity close timer the server agreed to.
  std::uint32_t InactivityMs() const { return inactivityMs_; }

 private:
  class Pump;
  struct Lookup;
  enum class State { Idle, Starting, Resolving, Connecting, Initiating, Securing, Waiting, Replied };

  HartIpLink(HartIpAddress address, HartIpOptions options);
  void Tick();
  void Schedule();
  void Start();
  void StartLookup();
  void CheckLookup();
  void BeginAttempt();
  // False when there is no socket to go on with (and that was dealt with).
  bool OpenSocket();
  void CheckConnect();
  void SendInitiate();
  // One step of the TLS handshake after the session was initiated.
  void Secure();
  // A key was given and the answer to the initiate came in a header of version 1: said and
  // given up, never taken. False when `bytes` is no such answer.
  bool AnsweredInVersionOne(std::span<const std::uint8_t> bytes);
  // A stream, or a secured channel, ends with its session: the next one starts afresh.
  bool SessionOwnsSocket() const { return options_.tcp || options_.key.has_value(); }
  std::uint8_t Version() const {
    return options_.key ? hartip::kSecuredVersion : hartip::kVersion;
  }
  // The socket, or the TLS channel over it once the session is secured.
  ssize_t SendBytes(const std::uint8_t* bytes, std::size_t size);
  ssize_t ReceiveBytes(std::uint8_t* into, std::size_t room);
  void SendRequest();
  void SendKeepAlive();
  // False when the socket failed (and that was dealt with).
  bool Send(const std::vector<std::uint8_t>& message, THartProtokol* traceTo);
  // Says Session Close to the server; `drain` first reads what is left, so that closing the
  // connection is not a reset.
  void CloseSession(bool drain = true);
  void CloseSocket();
  void Receive();
  // Reads what has come and hands each message to `take` until it returns false. False when the
  // socket failed (and that was dealt with).
  // At most a bounded number of bytes a tick, parsed where they lie.
  bool ReadMessages(const std::function<bool(const hartip::Parsed&)>& take);
  // One message read, or what came and does not fit; false once no more is wanted.
  bool Hand(const hartip::Parsed& parsed, std::span<const std::uint8_t> bytes,
            const std::function<bool(const hartip::Parsed&)>& take);
  // Counts a message nobody asked for; true when there have been too many this second to trace
  // it. More than any gateway sends marks the peer as flooding.
  bool CountUnasked();
  // The peer floods: the session is closed and the operator told once.
  void GiveUpOnFlood();
  void TakeAnswer(const hartip::Parsed& message);
  void TakeSessionAnswer(const hartip::Parsed& message);
  void TakeRequestAnswer(const hartip::Parsed& message);
  // A message nobody waits for; only the server closing the session matters.
  bool TakeUnasked(const hartip::Parsed& message);
  void SessionClosedByServer(const hartip::Header& header);
  void IdleTick();
  void SocketFailed(int error);
  void AttemptFailed();
  // The server cannot be had: the operator is told once, the dialog gets no answer.
  void Unreachable(const std::string& text);
  void Deliver();
  void Finish(unsigned event);
  THartProtokol* TraceTarget() const;
  static FrameTrace* TraceOf(THartProtokol* dialog);
  void TraceSent(std::span<const std::uint8_t> message, THartProtokol* dialog);
  void TraceReceived(std::span<const std::uint8_t> message, bool withBody);
  std::int64_t Now() const;

  HartIpAddress address_;
  std::string server_;
  HartIpOptions options_;

  std::optional<ResolvedAddress> resolved_;
  std::shared_ptr<Lookup> lookup_;
  std::int64_t lookupDeadline_ = 0;

  int fd_ = -1;
  std::unique_ptr<TlsChannel> tls_;
  bool secured_ = false;  // the handshake is done: every byte goes through tls_
  unsigned socketEpoch_ = 0;
  bool connecting_ = false;
  bool sessionOpen_ = false;
  std::uint32_t inactivityMs_ = 0;
  std::uint16_t sequence_ = 0;
  std::int64_t lastSentAt_ = 0;
  // What has come and is not yet read: a datagram, or of a stream the start of a message. Never
  // reallocated, so that a message handed on stays where it is.
  std::unique_ptr<std::array<std::uint8_t, 2 * hartip::kMaxMessageSize>> inbound_ =
      std::make_unique<std::array<std::uint8_t, 2 * hartip::kMaxMessageSize>>();
  std::size_t inboundSize_ = 0;
  bool reading_ = false;
  int unasked_ = 0;
  std::int64_t unaskedSince_ = 0;
  bool flooded_ = false;
  bool floodReported_ = false;
  std::int64_t retryAfter_ = -1;
  bool failureReported_ = false;

  State state_ = State::Idle;
  THartProtokol* dialog_ = nullptr;
  std::unique_ptr<Pump> pump_;
  std::unique_ptr<Pump> retiredPump_;
  int pumpPeriod_ = 0;
  unsigned generation_ = 0;

  std::vector<std::uint8_t> request_;
  int linkParam1_ = 0;
  int linkParam2_ = 0;
  int frameIsLong_ = 0;
  int attempts_ = 1;
  int attempt_ = 0;
  bool requestSent_ = false;  // in this attempt: the session was there and the request went
  std::int64_t sentAt_ = 0;
  std::int64_t deadline_ = 0;
  std::uint16_t awaited_ = 0;
  bool heard_ = false;     // the server said anything since the request went
  bool rejected_ = false;  // a session initiate was answered with an error or a NAK
  std::vector<std::uint8_t> reply_;
};

}  // namespace hart
