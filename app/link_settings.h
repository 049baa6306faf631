// The link to the transmitter as the technician chose it: in the window («Связь»), kept for the
// next start in link.conf, or given on the command line, which wins over the file.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "hart/reach.h"

namespace hart {
class Link;
}

// One choice of link. A field added here for a new way of reaching a device is read and written
// in link_settings.cpp (ParseLinkConf, LinkConfText) and offered in the link dialog.
struct LinkChoice {
  enum class Kind { Simulated, Serial, HartIp };
  Kind kind = Kind::Simulated;
  std::string port;        // serial: the modem's device, /dev/ttyUSB0
  bool switchRts = true;   // serial: off for a modem that switches by itself
  std::string host;        // HART-IP: name or address of the gateway, multiplexer or transmitter
  int ipPort = 5094;       // HART-IP
  bool tcp = false;        // HART-IP: TCP rather than UDP
  std::string pskFile;     // HART-IP: the key file of a secured session (version 2); empty: none
  // Kept as read, for the ways of reaching one device behind the link: a polling address
  // (0..63) and a gateway's sub-device.
  std::optional<int> address;
  std::string sub;

  bool operator==(const LinkChoice&) const = default;
};

inline constexpr int kHartIpDefaultPort = 5094;
// Longer than any sensible link.conf: what is beyond it is not read.
inline constexpr std::size_t kLinkConfMaxBytes = 4096;

// $XDG_CONFIG_HOME/kestrel7/link.conf, or ~/.config/kestrel7/link.conf.
std::string LinkConfPath();

// `warning` empty: the text was understood; otherwise it says why in Russian and the choice is
// the simulated transmitter.
LinkChoice ParseLinkConf(std::string_view text, std::string& warning);
std::string LinkConfText(const LinkChoice& choice);

// A missing file is no fault: the simulated transmitter, without a warning.
LinkChoice ReadLinkConf(const std::string& path, std::string& warning);
// Written whole or not at all (a temporary file beside it, then renamed); false with `error`.
bool WriteLinkConf(const std::string& path, const LinkChoice& choice, std::string& error);

// The command line's choice, or else the file's (a warning of the file's in `warning`).
LinkChoice ResolveLinkChoice(const std::optional<LinkChoice>& fromOptions, std::string& warning);

// What the status line calls the link: «Имитатор преобразователя», «Модем /dev/ttyUSB0»,
// «HART-IP 10.0.0.5:5094 UDP».
std::string LinkName(const LinkChoice& choice);
// HOST:PORT as the HART-IP link takes it, brackets round an IPv6 address.
std::string HartIpAddress(const LinkChoice& choice);

// Opens the chosen link; null for the simulated transmitter (the window's own serves) and, with
// the reason in Russian in `error`, for a link that cannot be opened.
std::unique_ptr<hart::Link> OpenLink(const LinkChoice& choice, std::string& error);

// How the chosen link reaches its one device: the command line's --address, --tag or --sub
// when given, else the choice's own address= or sub=; none for a search.
std::optional<hart::Reach> ReachOfChoice(const LinkChoice& choice,
                                         const std::optional<hart::Reach>& given);
// The link that reaches it so: wrapped when a device is named or the link is HART-IP, whose
// gateway may have sub-devices; `link` null is the simulated transmitter.
std::unique_ptr<hart::Link> ReachingChoice(std::unique_ptr<hart::Link> link,
                                           const LinkChoice& choice,
                                           const std::optional<hart::Reach>& given);
