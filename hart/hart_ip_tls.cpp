#include "hart/hart_ip_tls.h"

#include <sys/socket.h>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace hart {
namespace {

// Datagrams that fit any network path without fragments.
constexpr long kDatagramMtu = 1200;

int ExIndex() {
  static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

// TLS 1.2 gives the server's hint, TLS 1.3 none; either way the identity is the client
// identifier of the server's key slot.
unsigned int GiveKey(SSL* ssl, const char* /*hint*/, char* identity, unsigned int maxIdentity,
                     unsigned char* psk, unsigned int maxPsk) {
  const auto* key = static_cast<const HartIpKey*>(SSL_get_ex_data(ssl, ExIndex()));
  if (key == nullptr || key->identity.size() + 1 > maxIdentity || key->key.size() > maxPsk) {
    return 0;
  }
  std::memcpy(identity, key->identity.c_str(), key->identity.size() + 1);
  std::memcpy(psk, key->key.data(), key->key.size());
  return static_cast<unsigned int>(key->key.size());
}

}  // namespace

struct TlsChannel::State {
  SSL_CTX* context = nullptr;
  SSL* ssl = nullptr;
  HartIpKey key;
  bool datagram = false;
  ~State() {
    if (ssl != nullptr) SSL_free(ssl);
    if (context != nullptr) SSL_CTX_free(context);
  }
};

std::unique_ptr<TlsChannel> TlsChannel::Client(int fd, bool datagram, const HartIpKey& key,
                                               std::string& error) {
  std::unique_ptr<TlsChannel> channel(new TlsChannel);
  channel->state_ = std::make_unique<State>();
  State& s = *channel->state_;
  s.key = key;
  s.datagram = datagram;
  s.context = SSL_CTX_new(datagram ? DTLS_client_method() : TLS_client_method());
  bool ok = s.context != nullptr;
  if (ok && datagram) {
    ok = SSL_CTX_set_min_proto_version(s.context, DTLS1_2_VERSION) == 1 &&
         SSL_CTX_set_max_proto_version(s.context, DTLS1_2_VERSION) == 1;
  } else if (ok) {
    ok = SSL_CTX_set_min_proto_version(s.context, TLS1_2_VERSION) == 1 &&
         SSL_CTX_set_ciphersuites(s.context, kTls13Suites) == 1;
  }
  ok = ok && SSL_CTX_set_cipher_list(s.context, kTls12Ciphers) == 1;
  if (ok) {
    // No trust store: a server that shows a certificate is never taken.
    SSL_CTX_set_verify(s.context, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_psk_client_callback(s.context, GiveKey);
    SSL_CTX_set_session_cache_mode(s.context, SSL_SESS_CACHE_OFF);
    s.ssl = SSL_new(s.context);
    ok = s.ssl != nullptr;
  }
  if (ok && datagram) {
    BIO* bio = BIO_new_dgram(fd, BIO_NOCLOSE);
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    ok = bio != nullptr && ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0;
    if (ok) {
      // The socket is connected: the library must write to it as such.
      BIO_ctrl(bio, BIO_CTRL_DGRAM_SET_CONNECTED, 0, &peer);
      SSL_set_bio(s.ssl, bio, bio);
      SSL_set_options(s.ssl, SSL_OP_NO_QUERY_MTU);
      DTLS_set_link_mtu(s.ssl, kDatagramMtu);
    }
  } else if (ok) {
    ok = SSL_set_fd(s.ssl, fd) == 1;
  }
  ok = ok && SSL_set_ex_data(s.ssl, ExIndex(), &s.key) == 1;
  if (!ok) {
    ERR_clear_error();
    error = "Не удалось подготовить защищённый сеанс HART-IP (библиотека OpenSSL).";
    return nullptr;
  }
  SSL_set_connect_state(s.ssl);
  return channel;
}

TlsChannel::~TlsChannel() = default;

TlsChannel::Step TlsChannel::Handshake() {
  SSL* ssl = state_->ssl;
  ERR_clear_error();
  const int result = SSL_do_handshake(ssl);
  if (result == 1) {
    // A key was agreed on, or the server would have had to prove itself with a certificate.
    if (SSL_get0_peer_certificate(ssl) != nullptr) {
      certificateOffered_ = true;
      return Step::Failed;
    }
    return Step::Done;
  }
  const int why = SSL_get_error(ssl, result);
  if (why == SSL_ERROR_WANT_READ || why == SSL_ERROR_WANT_WRITE) {
    // A lost datagram of the handshake is sent again when its timer has run out.
    if (state_->datagram) DTLSv1_handle_timeout(ssl);
    return Step::Again;
  }
  const unsigned long error = ERR_peek_error();
  certificateOffered_ = ERR_GET_REASON(error) == SSL_R_CERTIFICATE_VERIFY_FAILED;
  ERR_clear_error();
  return Step::Failed;
}

// What a read or write of `n` bytes comes to, as a socket call would say it: the count, 0 for a
// closed session, or -1 with errno (EAGAIN to try again, `lost` for a connection gone).
static ssize_t Outcome(SSL* ssl, int n, int lost) {
  if (n > 0) return n;
  switch (SSL_get_error(ssl, n)) {
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
      errno = EAGAIN;
      return -1;
    case SSL_ERROR_ZERO_RETURN: return 0;
    case SSL_ERROR_SYSCALL:
      if (errno == 0) errno = lost;
      return -1;
    default:
      ERR_clear_error();
      errno = EPROTO;
      return -1;
  }
}

std::string TlsChannel::Description() const {
  SSL* ssl = state_->ssl;
  const int version = SSL_version(ssl);
  const char* name = version == TLS1_3_VERSION   ? "TLS 1.3"
                     : version == TLS1_2_VERSION ? "TLS 1.2"
                     : version == DTLS1_2_VERSION ? "DTLS 1.2"
                                                  : SSL_get_version(ssl);
  const SSL_CIPHER* cipher = SSL_get_current_cipher(ssl);
  return std::string(name) + " PSK, identity " + state_->key.identity + " (" +
         (cipher != nullptr ? SSL_CIPHER_get_name(cipher) : "?") + ")";
}

ssize_t TlsChannel::Receive(std::uint8_t* into, std::size_t room) {
  ERR_clear_error();
  const int n = SSL_read(state_->ssl, into, static_cast<int>(std::min<std::size_t>(room, 1 << 20)));
  return Outcome(state_->ssl, n, ECONNRESET);
}

ssize_t TlsChannel::Send(const std::uint8_t* bytes, std::size_t size) {
  ERR_clear_error();
  const int n = SSL_write(state_->ssl, bytes, static_cast<int>(size));
  return Outcome(state_->ssl, n, EPIPE);
}

void TlsChannel::Shutdown() {
  ERR_clear_error();
  SSL_shutdown(state_->ssl);
  ERR_clear_error();
}

}  // namespace hart
