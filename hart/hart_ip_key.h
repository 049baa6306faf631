// The pre-shared key of a HART-IP version 2 session: a client identity and the key bytes, kept in
// a small text file of the user's own that no one else may read:
//   identity=K7-0001
//   key=00112233445566778899AABBCCDDEEFF
// Blank lines and lines starting with '#' are allowed. The key never leaves this structure but
// into the TLS library: no message, trace or file name ever shows it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hart {

struct HartIpKey {
  static constexpr std::size_t kMinKeyBytes = 16;  // 128 bits; HART-IP's own examples use 16
  static constexpr std::size_t kMaxKeyBytes = 64;
  static constexpr std::size_t kMaxIdentity = 128;

  std::string identity;
  std::vector<std::uint8_t> key;

  HartIpKey() = default;
  HartIpKey(const HartIpKey&) = default;
  HartIpKey& operator=(const HartIpKey&) = default;
  ~HartIpKey();
};

// Why an identity and a key as the operator typed them cannot be used (Russian), or empty. The
// key is hex, two digits a byte, blanks and colons between bytes allowed.
std::string CheckHartIpKey(std::string_view identity, std::string_view keyHex);
// The key's bytes from hex as CheckHartIpKey takes it; empty when it is not.
std::vector<std::uint8_t> KeyFromHex(std::string_view keyHex);

// Reads a key file: null, with the reason in Russian in `error` (naming the file, never the key),
// when it is missing or unreadable, is not a regular file, belongs to another user, can be read
// or written by anyone but its owner (mode 0600 or stricter is wanted), or holds no valid
// identity and key.
std::optional<HartIpKey> LoadHartIpKey(const std::string& path, std::string& error);
// Writes one, created with mode 0600 (an existing file is refused unless it is the user's own
// regular file, which is rewritten and set to 0600). False, with the reason in `error`, when it
// could not be written whole.
bool SaveHartIpKey(const std::string& path, const HartIpKey& key, std::string& error);

}  // namespace hart
