// The secured channel of a HART-IP version 2 session: TLS over TCP, DTLS 1.2 over UDP, with a
// pre-shared key, on a connected non-blocking socket, through OpenSSL. TLS 1.3 with
// TLS_AES_128_GCM_SHA256 or TLS_CHACHA20_POLY1305_SHA256, or TLS 1.2 / DTLS 1.2 with
// PSK-AES128-GCM-SHA256: nothing weaker, and never a certificate.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

#include "hart/hart_ip_key.h"

namespace hart {

class TlsChannel {
 public:
  // The cipher lists both ends hold to.
  static constexpr const char* kTls13Suites = "TLS_AES_128_GCM_SHA256:TLS_CHACHA20_POLY1305_SHA256";
  static constexpr const char* kTls12Ciphers = "PSK-AES128-GCM-SHA256";

  // Null, with the reason in `error`, when the library cannot set the channel up.
  static std::unique_ptr<TlsChannel> Client(int fd, bool datagram, const HartIpKey& key,
                                            std::string& error);
  ~TlsChannel();
  TlsChannel(const TlsChannel&) = delete;
  TlsChannel& operator=(const TlsChannel&) = delete;

  enum class Step { Done, Again, Failed };
  // One step of the handshake, as far as the socket allows without waiting.
  Step Handshake();
  // After a failed handshake: the server showed a certificate instead of taking the key.
  bool CertificateOffered() const { return certificateOffered_; }
  // "TLS 1.3 PSK, identity K7-0001 (TLS_AES_128_GCM_SHA256)".
  std::string Description() const;

  // As recv and send on a non-blocking socket: -1 with errno EAGAIN when nothing can go now, 0
  // when the peer closed the channel.
  ssize_t Receive(std::uint8_t* into, std::size_t room);
  ssize_t Send(const std::uint8_t* bytes, std::size_t size);
  // Says close_notify once, without waiting.
  void Shutdown();

 private:
  TlsChannel() = default;
  struct State;
  std::unique_ptr<State> state_;
  bool certificateOffered_ = false;
};

}  // namespace hart
