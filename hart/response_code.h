// The response code of a slave's reply, classed once for every link and dialog: what the master
// does with the reply, and what the code means in words.
#pragma once

#include <cstdint>
#include <string>

namespace hart {

inline constexpr std::uint8_t kWriteProtected = 7;
inline constexpr std::uint8_t kBusy = 32;
inline constexpr std::uint8_t kDelayedInitiated = 33;
inline constexpr std::uint8_t kDelayedRunning = 34;
inline constexpr std::uint8_t kDelayedDead = 35;
inline constexpr std::uint8_t kDelayedConflict = 36;
inline constexpr std::uint8_t kNotImplemented = 64;

enum class ResponseClass {
  Success,
  // The command was carried out and its data is valid; the code says what to heed.
  Warning,
  // Busy: the transmitter did nothing; the request may go again.
  Busy,
  // 33 and 34: the transmitter works on the command; the master asks again with the same request
  // until the final answer.
  Delayed,
  // Nothing was carried out (35 and 36, the delayed response lost, among them).
  Error,
};

ResponseClass ClassOf(std::uint8_t code);

// What `code` says in reply to `command`, in Russian; HART gives some codes a meaning per command.
std::string ResponseMeaning(std::uint8_t command, std::uint8_t code);

// "Код ответа N: meaning", as the operator is told it.
std::string ResponseText(std::uint8_t command, std::uint8_t code);

}  // namespace hart
