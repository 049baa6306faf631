// HART-IP messages: the 8-byte header in front of every message, the body of Session Initiate,
// and what the status of a Session Initiate response says. The layout is Wireshark's HART-IP
// dissector's (epan/dissectors/packet-hartip.c). Version 2 keeps it and changes the version byte
// only: its Session Initiate goes in the clear, and TLS (DTLS on UDP) then carries every later
// message, as FieldComm Group's public HART-IP client examples do. Every field
// is assembled with shifts, most significant byte first, so host byte order never matters.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace hart::hartip {

constexpr std::uint8_t kVersion = 1;
constexpr std::uint8_t kSecuredVersion = 2;
constexpr std::size_t kHeaderSize = 8;
constexpr std::uint16_t kDefaultPort = 5094;
// A token-passing frame is at most 267 bytes; a byte count far beyond any message of version 1
// is a stream out of step, not a message.
constexpr std::size_t kMaxMessageSize = 1024;

enum MessageType : std::uint8_t {
  kRequest = 0,
  kResponse = 1,
  kPublish = 2,  // and notification
  kError = 3,
  kNak = 15,
};

enum MessageId : std::uint8_t {
  kSessionInitiate = 0,
  kSessionClose = 1,
  kKeepAlive = 2,
  kPassThrough = 3,  // token-passing PDU: a HART frame without its preambles
};

enum MasterType : std::uint8_t {
  kSecondaryMaster = 0,
  kPrimaryMaster = 1,
};

// The one byte of an error message's body.
enum ErrorCode : std::uint8_t {
  kErrorSessionClosed = 0,
  kErrorPrimaryUnavailable = 1,
  kErrorServiceUnavailable = 2,
};

struct Header {
  std::uint8_t version = kVersion;
  std::uint8_t type = kRequest;
  std::uint8_t id = kPassThrough;
  std::uint8_t status = 0;
  std::uint16_t sequence = 0;
  std::uint16_t byteCount = kHeaderSize;  // the whole message, header included

  bool operator==(const Header&) const = default;
};

std::array<std::uint8_t, kHeaderSize> EncodeHeader(const Header& header);
Header DecodeHeader(std::span<const std::uint8_t, kHeaderSize> bytes);

// A whole message: the header, with the byte count filled in, then the body.
std::vector<std::uint8_t> Encode(std::uint8_t type, std::uint8_t id, std::uint16_t sequence,
                                 std::span<const std::uint8_t> body, std::uint8_t status = 0,
                                 std::uint8_t version = kVersion);

struct Parsed {
  enum class State { Incomplete, Complete, Unfit };
  State state = State::Incomplete;
  Header header;
  std::span<const std::uint8_t> body;
  std::span<const std::uint8_t> whole;  // a complete message's bytes, header included
  std::size_t size = 0;
};

// The message at the start of a byte stream: Incomplete until all of it is there; Unfit when its
// header is not one of `version` with the byte count of a message (the stream is out of step).
Parsed ParseStream(std::span<const std::uint8_t> bytes, std::uint8_t version = kVersion);
// A datagram holds exactly one message: one whose byte count disagrees with it does not fit.
Parsed ParseDatagram(std::span<const std::uint8_t> bytes, std::uint8_t version = kVersion);

// What a message is to a client awaiting the answer to its request `id`, sent under `sequence`.
enum class Verdict {
  Unrelated,  // late, for another request, a publication, or the server's own request
  Refusal,    // a NAK or an error message in its place: no reply
  Answer,     // the response
};
Verdict Judge(const Header& header, std::uint8_t id, std::uint16_t sequence);
// The server says the session is over: its error "session closed", or a Session Close of its own.
bool ClosesSession(const Header& header, std::span<const std::uint8_t> body);

struct SessionParameters {
  std::uint8_t masterType = kSecondaryMaster;
  std::uint32_t inactivityMs = 0;  // the server closes a session that stays quiet this long
};
std::array<std::uint8_t, 5> InitiateBody(const SessionParameters& parameters);
std::optional<SessionParameters> ReadInitiateBody(std::span<const std::uint8_t> body);

// What the status of a Session Initiate response means for us:
//   0  success                                                   open
//   2  invalid selection (the master type is not accepted)       refused
//   5  too few data bytes received                               refused
//   6  device-specific command error                             refused
//   8  set to nearest possible value (the inactivity timer)      open, with the server's timer
//   9  security not initialized (a version 2 server without      refused: a key is needed
//      a client's key, or one refusing version 1)
//   14 version not supported                                     refused
//   15 all available sessions in use                             refused
//   16 access restricted: a session is already established      open: the server knows sessions
//      by the client's address and port (or connection), so the established one is ours, an
//      earlier initiate whose response was lost
//   any other                                                    refused
enum class SessionStatus { Open, Refused };
SessionStatus JudgeSessionStatus(std::uint8_t status);
// The operator's text for a refused session; `server` names it as the operator gave it, `version`
// is that of the initiate refused.
std::string RefusalText(std::uint8_t status, const std::string& server,
                        std::uint8_t version = kVersion);

}  // namespace hart::hartip
