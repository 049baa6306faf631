// How the one device a link serves is reached on its loop or behind its gateway: found by a
// search of the polling addresses (as always), polled at one address, found by its tag or long
// tag, or reached as a sub-device of a HART-IP gateway by the index the gateway gives it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hart {

struct Reach {
  enum class By { Search, Address, Tag, LongTag, SubDevice };
  By by = By::Search;
  std::uint8_t address = 0;     // Address
  std::string tag;              // Tag (up to 8 characters), LongTag (up to 32)
  std::uint16_t subDevice = 0;  // SubDevice: the index of command 84

  bool Fixed() const { return by != By::Search; }
};

// HART 6 and 7 poll 0..63; HART 5 0..15.
inline constexpr int kLastPollingAddress = 63;
inline constexpr std::size_t kShortTagLength = 8;
inline constexpr std::size_t kLongTagLength = 32;

// The reach of `--address TEXT`: none, with the operator's text in `error`, when TEXT is not a
// polling address.
std::optional<Reach> ReachAtAddress(std::string_view text, std::string& error);
// The reach of `--tag TEXT`: a short tag (command 11) up to 8 characters of the packed alphabet,
// a long tag (command 21) up to 32; none, with the reason, for an empty or longer one.
std::optional<Reach> ReachByTag(std::string_view text, std::string& error);
// The reach of `--sub TEXT`: an index of command 84, 1..65535.
std::optional<Reach> ReachSubDevice(std::string_view text, std::string& error);

}  // namespace hart
