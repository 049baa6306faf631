#include "hart/hart_ip_message.h"

#include <algorithm>
#include <charconv>

namespace hart::hartip {
namespace {

constexpr std::uint8_t kStatusSuccess = 0;
constexpr std::uint8_t kStatusInvalidSelection = 2;
constexpr std::uint8_t kStatusTooFewDataBytes = 5;
constexpr std::uint8_t kStatusDeviceSpecific = 6;
constexpr std::uint8_t kStatusNearestValue = 8;
constexpr std::uint8_t kStatusSecurityNotInitialized = 9;
constexpr std::uint8_t kStatusVersionNotSupported = 14;
constexpr std::uint8_t kStatusSessionsInUse = 15;
constexpr std::uint8_t kStatusAlreadyEstablished = 16;

std::string Decimal(int value) {
  char buffer[16];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

}  // namespace

std::array<std::uint8_t, kHeaderSize> EncodeHeader(const Header& header) {
  return {header.version,
          header.type,
          header.id,
          header.status,
          static_cast<std::uint8_t>(header.sequence >> 8),
          static_cast<std::uint8_t>(header.sequence & 0xFF),
          static_cast<std::uint8_t>(header.byteCount >> 8),
          static_cast<std::uint8_t>(header.byteCount & 0xFF)};
}

Header DecodeHeader(std::span<const std::uint8_t, kHeaderSize> bytes) {
  Header header;
  header.version = bytes[0];
  header.type = bytes[1];
  header.id = bytes[2];
  header.status = bytes[3];
  header.sequence = static_cast<std::uint16_t>(bytes[4] << 8 | bytes[5]);
  header.byteCount = static_cast<std::uint16_t>(bytes[6] << 8 | bytes[7]);
  return header;
}

std::vector<std::uint8_t> Encode(std::uint8_t type, std::uint8_t id, std::uint16_t sequence,
                                 std::span<const std::uint8_t> body, std::uint8_t status,
                                 std::uint8_t version) {
  Header header;
  header.version = version;
  header.type = type;
  header.id = id;
  header.status = status;
  header.sequence = sequence;
  header.byteCount = static_cast<std::uint16_t>(kHeaderSize + body.size());
  const auto head = EncodeHeader(header);
  std::vector<std::uint8_t> message(kHeaderSize + body.size());
  std::copy(head.begin(), head.end(), message.begin());
  std::copy(body.begin(), body.end(), message.begin() + kHeaderSize);
  return message;
}

Parsed ParseStream(std::span<const std::uint8_t> bytes, std::uint8_t version) {
  Parsed parsed;
  if (bytes.size() < kHeaderSize) return parsed;
  parsed.header = DecodeHeader(bytes.first<kHeaderSize>());
  const std::size_t size = parsed.header.byteCount;
  if (parsed.header.version != version || size < kHeaderSize || size > kMaxMessageSize) {
    parsed.state = Parsed::State::Unfit;
    return parsed;
  }
  if (bytes.size() < size) return parsed;
  parsed.state = Parsed::State::Complete;
  parsed.size = size;
  parsed.whole = bytes.first(size);
  parsed.body = bytes.subspan(kHeaderSize, size - kHeaderSize);
  return parsed;
}

Parsed ParseDatagram(std::span<const std::uint8_t> bytes, std::uint8_t version) {
  Parsed parsed = ParseStream(bytes, version);
  if (parsed.state == Parsed::State::Complete && parsed.size == bytes.size()) return parsed;
  parsed.state = Parsed::State::Unfit;
  parsed.body = {};
  parsed.whole = {};
  parsed.size = 0;
  return parsed;
}

Verdict Judge(const Header& header, std::uint8_t id, std::uint16_t sequence) {
  if (header.sequence != sequence || header.id != id) return Verdict::Unrelated;
  switch (header.type) {
    case kResponse: return Verdict::Answer;
    case kNak:
    case kError: return Verdict::Refusal;
    default: return Verdict::Unrelated;
  }
}

bool ClosesSession(const Header& header, std::span<const std::uint8_t> body) {
  return (header.type == kRequest && header.id == kSessionClose) ||
         (header.type == kError && !body.empty() && body[0] == kErrorSessionClosed);
}

std::array<std::uint8_t, 5> InitiateBody(const SessionParameters& parameters) {
  const std::uint32_t ms = parameters.inactivityMs;
  return {parameters.masterType, static_cast<std::uint8_t>(ms >> 24),
          static_cast<std::uint8_t>(ms >> 16 & 0xFF), static_cast<std::uint8_t>(ms >> 8 & 0xFF),
          static_cast<std::uint8_t>(ms & 0xFF)};
}

std::optional<SessionParameters> ReadInitiateBody(std::span<const std::uint8_t> body) {
  if (body.size() < 5) return std::nullopt;
  SessionParameters parameters;
  parameters.masterType = body[0];
  parameters.inactivityMs = static_cast<std::uint32_t>(body[1]) << 24 |
                            static_cast<std::uint32_t>(body[2]) << 16 |
                            static_cast<std::uint32_t>(body[3]) << 8 | body[4];
  return parameters;
}

SessionStatus JudgeSessionStatus(std::uint8_t status) {
  switch (status) {
    case kStatusSuccess:
    case kStatusNearestValue:
    case kStatusAlreadyEstablished:
      return SessionStatus::Open;
    default:
      return SessionStatus::Refused;
  }
}

std::string RefusalText(std::uint8_t status, const std::string& server, std::uint8_t version) {
  const std::string node = "Узел HART-IP " + server;
  constexpr const char* kKeyNeeded =
      "\nОн настроен на защищённый сеанс (HART-IP версии 2): нужен ключ HART-IP (--psk-file).";
  if (version == kSecuredVersion && (status == kStatusVersionNotSupported ||
                                     status == kStatusSecurityNotInitialized)) {
    return node + " не открыл защищённый сеанс (HART-IP версии 2, статус " + Decimal(status) + ").";
  }
  switch (status) {
    case kStatusSecurityNotInitialized:
      return node + " не открыл сеанс без ключа." + kKeyNeeded;
    case kStatusInvalidSelection:
      return node + " не принимает первичного мастера.";
    case kStatusTooFewDataBytes:
      return node + " не понял запрос сеанса: мало байтов данных.";
    case kStatusDeviceSpecific:
      return node + " отказал в сеансе: ошибка устройства.";
    case kStatusVersionNotSupported:
      return node + " не поддерживает версию 1 протокола HART-IP." + kKeyNeeded;
    case kStatusSessionsInUse:
      return node + ": все сеансы заняты.\nЗакрой связь с ним в другой программе или подожди.";
    default:
      return node + " отказал в сеансе (статус " + Decimal(status) + ").";
  }
}

}  // namespace hart::hartip
