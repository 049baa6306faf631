// A HART-IP server for the tests: on the loopback interface, at a port the system picks, over
// UDP or TCP, served on a thread of its own. It opens sessions as a gateway would (for a primary
// master only, as the reference server does) and answers each
// pass-through frame with what its answer function gives: in the tests, the transmitter model
// through the model answerer, as the pseudo-terminal test transmitter answers. A test can make
// it refuse sessions, drop one, answer with another sequence number, a NAK, an error message or
// a header of another version, or stay silent. It reads and writes the header with its own code,
// so that the program's is checked against it. Given a key it is provisioned for version 2:
// version 1 is refused ("security not initialized"), and a session initiated in version 2 goes on
// in TLS (DTLS over UDP) with the same OpenSSL the program uses, the identity as the client
// identifier of its one key slot. Unprovisioned, it answers a version-2 initiate as a server of
// version 1 does: "version not supported".
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace testhart {

class HartIpServer {
 public:
  enum class Transport { Udp, Tcp };
  // The reply frame (delimiter to checksum) to a request frame; empty: no answer.
  using Answerer = std::function<std::vector<std::uint8_t>(const std::vector<std::uint8_t>&)>;

  enum class Behaviour {
    Answer,
    RefuseSession,  // session initiates: answered with the status given, and no session
    DropSession,    // pass-through: the session ends unanswered (TCP: the connection closes)
    WrongSequence,  // pass-through: answered under the next sequence number
    Nak,            // pass-through: a NAK
    Error,          // pass-through: an error message, "service unavailable"
    Unfit,          // pass-through: answered under a header of version 2
    Silent,         // any request: no answer at all
    Flood,          // pass-through, TCP: thousands of publications ahead of the answer
    TinyTimer,      // session initiates: the server says it closes a session quiet for 1 ms
  };

  struct Message {
    std::uint8_t version = 0;
    std::uint8_t type = 0;
    std::uint8_t id = 0;
    std::uint8_t status = 0;
    std::uint16_t sequence = 0;
    std::vector<std::uint8_t> body;
    std::int64_t atMs = 0;  // since the server started, on the steady clock
    int client = 0;         // which connection or sender, numbered as they first came
  };

  HartIpServer(Transport transport, Answerer answer);
  ~HartIpServer();
  HartIpServer(const HartIpServer&) = delete;
  HartIpServer& operator=(const HartIpServer&) = delete;

  std::uint16_t Port() const { return port_; }
  // 127.0.0.1:PORT, as the program is given it.
  std::string Address() const;

  // For the next `count` messages it applies to (all when negative); then it answers properly.
  void SetBehaviour(Behaviour behaviour, int count = -1, std::uint8_t status = 0);
  // Provisions the server for version 2 with this key slot (before the first client).
  void SetKey(std::string identity, std::vector<std::uint8_t> key);
  // Also holds a certificate of its own, shown to a client whose identity it does not know.
  void SetCertificate() { certified_ = true; }

  // Sessions end after this long without a message, whatever the client asked for (0: as asked).
  void SetInactivityLimit(std::uint32_t ms);
  // Each pass-through answer goes this long after its request (the server does nothing else
  // meanwhile).
  void SetReplyDelay(int ms);

  // Every message that came, oldest first, and those with one message id.
  std::vector<Message> Messages() const;
  std::vector<Message> Messages(std::uint8_t id) const;
  // The frames of the pass-through requests.
  std::vector<std::vector<std::uint8_t>> Frames() const;
  void Clear();
  std::size_t OpenSessions() const;

 private:
  struct Session {
    bool open = false;
    std::uint32_t inactivityMs = 0;
    std::int64_t lastMs = 0;
  };
  struct Connection {
    int fd = -1;
    int client = 0;
    std::vector<std::uint8_t> inbound;
    Session session;
    SSL* ssl = nullptr;  // once secured
  };
  // Takes the handshake on `fd` (connected, blocking); null when it fails.
  SSL* Accept(int fd, bool datagram, const void* peer);
  SSL_CTX* Context(bool datagram);

  void Serve();
  void ServeUdp();
  void ServeTcp();
  // The answer to one message from a client, or nothing; `close` asks for the connection to end.
  std::vector<std::uint8_t> Handle(const std::vector<std::uint8_t>& bytes, Session& session,
                                   int client, bool& close);
  // A flood Handle asked for, sent on a stream ahead of its answer.
  void SendFlood(int fd);
  // Reads what came on a connection (a stream, or a secured client's datagrams) and answers each
  // whole message; false when the connection is to end.
  bool ServeConnection(Connection& c);
  void Drop(std::vector<Connection>& connections, std::size_t i);
  // Whether the behaviour set is this one, counting it off.
  bool Applies(Behaviour behaviour);
  std::int64_t NowMs() const;

  Transport transport_;
  Answerer answer_;
  int fd_ = -1;
  std::uint16_t port_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::int64_t startNs_ = 0;

  mutable std::mutex mutex_;
  Behaviour behaviour_ = Behaviour::Answer;
  int behaviourCount_ = -1;
  std::uint8_t behaviourStatus_ = 0;
  std::uint32_t inactivityLimit_ = 0;
  int replyDelayMs_ = 0;
  int floodPending_ = 0;  // the serving thread's own
  bool certified_ = false;
  bool securePending_ = false;  // the serving thread's own: a version-2 session was initiated
  std::pair<std::string, std::vector<std::uint8_t>> slot_;  // identity and key
  SSL_CTX* context_ = nullptr;
  std::vector<Message> messages_;
  std::map<std::string, Session> udpSessions_;
  std::map<std::string, int> udpClients_;
  std::size_t openSessions_ = 0;
  int clients_ = 0;
};

}  // namespace testhart
