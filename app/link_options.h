// The link options every command that talks to a transmitter takes (the desktop, identify, read,
// scan, compare, apply): parsed, checked and turned into the link actually used in one place, so
// that each command takes them alike, says the same of their mistakes and uses link.conf the same
// way when none is given.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/link_settings.h"
#include "hart/reach.h"

namespace hart {
class Link;
}

struct LinkOptions {
  std::string port;        // --port: a HART modem's serial device
  bool switchRts = true;   // --no-rts: the modem switches by itself
  std::string hartIp;      // --hart-ip: HOST[:PORT] of a HART-IP gateway, multiplexer or transmitter
  bool tcp = false;        // --tcp: HART-IP by TCP rather than UDP
  std::string pskFile;     // --psk-file: the key of a secured HART-IP session (version 2)
  bool simulated = false;  // --simulated: the simulated transmitter whatever link.conf says
  std::optional<hart::Reach> reach;  // --address, --tag, --sub: how the one device is reached
};

// True when argv[i] is one of the link options: it is taken with its value into `options` (i
// advanced past the value). `error` says in Russian what is wrong with the value, if anything.
bool TakeLinkOption(int argc, const char* const* argv, int& i, LinkOptions& options,
                    std::string& error);
// A link option followed by its value: what a search for the command word skips.
bool IsLinkValueOption(std::string_view arg);
// The options that do not go together (--tcp or --psk-file without --hart-ip, --no-rts without
// --port, --port with --hart-ip, --simulated with either, --sub without HART-IP); empty when none.
std::string LinkOptionsError(const LinkOptions& options);

// The choice the options make; none when they give none (then link.conf decides).
std::optional<LinkChoice> ChoiceOf(const LinkOptions& options);

// The link the options ask for, ready to use.
struct ResolvedLink {
  // What the requests go through; null for the simulated transmitter, whose object the caller
  // keeps. A named device (--address, --tag, --sub, the kept address=/sub=) or a HART-IP gateway
  // is reached through a hart::ReachLink.
  std::unique_ptr<hart::Link> link;
  bool realTime = false;  // a line or a network: the transmitter answers in real time
  LinkChoice choice;      // as chosen: the options, else link.conf
  std::string warning;    // link.conf could not be understood: the simulated transmitter
  std::string error;      // the link could not be opened (nothing was sent): the reason
};
// `standIn`: what a test puts in place of the simulated transmitter. `reach`: false leaves the
// link unwrapped, for a scan that reaches each device its own way.
ResolvedLink ResolveLink(const LinkOptions& options,
                         const std::function<std::unique_ptr<hart::Link>()>& standIn = {},
                         bool reach = true);

// СВЯЗЬ in every usage text.
inline constexpr const char* kLinkHelp =
    "СВЯЗЬ: --port ПОРТ [--no-rts], --hart-ip УЗЕЛ[:ПОРТ] [--tcp] [--psk-file ФАЙЛ] или\n"
    "--simulated; без них — связь, выбранная в окне программы («Связь», Ctrl+L) и\n"
    "записанная в $XDG_CONFIG_HOME/kestrel7/link.conf. С ней --address N, --tag ТЕГ\n"
    "или --sub N: --address N опрашивает только адрес N (0–63); --tag ТЕГ находит\n"
    "прибор по тегу (до 8 символов — команда 11, до 32 — длинный тег, команда 21);\n"
    "--sub N — подчинённый прибор N шлюза HART-IP (номер команды 84, kestrel7 scan\n"
    "--hart-ip УЗЕЛ).\n";
