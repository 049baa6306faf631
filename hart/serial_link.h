// A HART modem on a serial port: each request goes out behind its preambles, and the reply is
// read and checked before the dialog hears of it. Everything runs from a timer of the platform's
// event loop; nothing on the window's thread ever blocks on the port.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "hart/link.h"

namespace hart {

struct SerialOptions {
  // Off for modems that switch between sending and receiving by themselves.
  bool switchRts = true;
};

// How far what has arrived makes up the reply to a request.
struct ReplyScan {
  enum class State { Incomplete, Complete, Damaged };
  struct Frame {
    std::size_t at;      // its delimiter
    std::size_t length;  // delimiter to checksum
  };
  State state = State::Incomplete;
  // Bytes ahead of the reply's delimiter: its preambles, and whatever the hunt passed over
  // before them.
  std::size_t preambles = 0;
  std::size_t length = 0;  // of a complete frame, delimiter to checksum
  // Of `preambles`, those ahead of the reply's own run of 0xFF.
  std::size_t skipped = 0;
  // Where what the hunt has settled ends: whole frames that are not the reply (the request heard
  // back, burst frames, other masters' requests and their replies) and whatever came before them.
  std::size_t settled = 0;
  // The burst frames among them.
  std::vector<Frame> bursts{};
  // A frame that begins as the reply does has not ended yet.
  bool replyUnderWay = false;
};

// Hunts the received bytes for the reply to a request and passes over the rest: the first whole
// frame with a slave's delimiter of the request's form, the request's address (the burst bit
// aside, and the master bit unless `sameMaster`; any address answers the all-zero one; six bits
// of a polling address) and command, a byte count that fits the reply area, and a good checksum.
// A burst frame is never the reply, whatever it carries. Damaged: a frame that begins as the
// reply has ended with a bad checksum or a byte count that cannot be.
ReplyScan ScanReply(std::span<const std::uint8_t> received, std::span<const std::uint8_t> request,
                    bool sameMaster = false);

class SerialLink : public Link {
 public:
  static constexpr int kBaud = 1200;
  static constexpr int kBitsPerCharacter = 11;  // start, 8 data, parity, stop
  static constexpr double kCharacterMs = 1000.0 * kBitsPerCharacter / kBaud;
  // Quiet time that ends a reply under way, or a damaged one, in characters.
  static constexpr int kGapCharacters = 5;
  // How often the port is looked at while a reply is awaited: a reply is taken within this of
  // its last byte, so a run of exchanges costs little more than its time on the line.
  static constexpr int kPumpMs = 2;
  static constexpr int kResponseCodeBusy = 32;
  // Set in the first status byte, it says the transmitter heard the request garbled.
  static constexpr std::uint8_t kCommunicationError = 0x80;
  // What HART allows ahead of a request, whatever the request parameters say.
  static constexpr int kMinPreambles = 5;
  static constexpr int kMaxPreambles = 20;
  // A slave must start its reply within 28 characters; a secondary master waits 41 for it, so no
  // request parameter may cut that wait short.
  static constexpr int kMinReplyTimeoutCharacters = 41;
  // A transmitter that said busy gets this long to finish before the next attempt.
  static constexpr int kBusyPauseMs = 100;
  // A master that was not given the turn by a slave's frame waits this long (HART's RT2) before
  // it takes the line.
  static constexpr int kLinkGrantCharacters = 8;
  // On a line that carries burst frames, a request waits for the gap after one, but no longer
  // than this when none comes; a line is taken to carry them this long after the last one.
  static constexpr int kMaxBurstWaitMs = 3000;
  static constexpr int kBurstMemoryMs = 10'000;
  // What is kept of the line's bytes while the reply is hunted: more is noise.
  static constexpr std::size_t kMaxHeldBytes = 1024;

  // Opens and sets up the port: null, with the reason for the operator in `error`, when it
  // cannot.
  static std::unique_ptr<SerialLink> Open(const std::string& device, SerialOptions options,
                                          std::string& error);
  ~SerialLink() override;
  SerialLink(const SerialLink&) = delete;
  SerialLink& operator=(const SerialLink&) = delete;

  void Transmit(THartProtokol& dialog) override;
  void Forget(THartProtokol& dialog) override;

  const std::string& Device() const { return device_; }
  // True from a request until its outcome event: on its way out, or awaiting the reply.
  bool Waiting() const { return state_ != State::Idle; }

 private:
  class Pump;
  enum class State { Idle, Starting, Pausing, Listening, Sending, Waiting };

  SerialLink(std::string device, SerialOptions options);
  std::string OpenPort();
  void ClosePort();
  void Tick();
  // Arms the link's timer for what the state waits on next.
  void ScheduleTick();
  void BeginAttempt();
  // Sends the request now, the line being ours.
  void BeginSending();
  void Listen();
  void Send();
  void Receive();
  // Traces the burst frames the scan passed over and forgets what it settled.
  void Settle(const ReplyScan& scan);
  // The same while no request is out: everything whole is passed over.
  void SettleLine();
  void KeepTail();
  void AttemptFailed();
  void Deliver(const ReplyScan& scan);
  void Finish(unsigned event);
  void PortLost();
  // False when the port has gone; new bytes are appended to `received_`.
  bool ReadAvailable();
  bool CarrierPresent();
  void SetRts(bool on);
  void TraceDamaged();
  void TraceAttempt(const char* what, std::span<const std::uint8_t> frame, std::size_t preambles);
  std::int64_t Now() const;

  std::string device_;
  SerialOptions options_;
  int fd_ = -1;
  bool lossReported_ = false;

  State state_ = State::Idle;
  THartProtokol* dialog_ = nullptr;
  std::unique_ptr<Pump> pump_;
  std::unique_ptr<Pump> retiredPump_;
  unsigned generation_ = 0;

  std::vector<std::uint8_t> request_;
  int preambles_ = 0;
  int linkParam1_ = 0;
  int linkParam2_ = 0;
  int frameIsLong_ = 0;
  int attempts_ = 1;
  int attempt_ = 0;
  double timeoutMs_ = 0;
  std::int64_t resumeAt_ = 0;

  std::vector<std::uint8_t> outgoing_;
  std::size_t written_ = 0;
  double lineFreeAt_ = 0;
  std::int64_t sentAt_ = 0;
  std::vector<std::uint8_t> received_;
  std::int64_t lastByteAt_ = 0;
  std::int64_t finishedAt_ = -1;

  bool burstSeen_ = false;
  std::int64_t lastBurstAt_ = -1;
  std::int64_t burstPeriodMs_ = 0;
  // The line's last frame was a burst frame and nothing has come since; to this master or not.
  bool afterBurst_ = false;
  bool burstToUs_ = false;
  std::int64_t listenStart_ = 0;
};

}  // namespace hart
