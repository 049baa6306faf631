// --address, --tag and --sub, as identify, read, scan and the window take them: how the one
// device is reached, and the link that reaches it so.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "hart/reach.h"
#include "hart/reach_link.h"

// When argv[i] is one of the three options: takes it and its value into `reach` (advancing i)
// and returns true; false with the Russian reason in `error` when the value is wrong or a second
// option of the three is given. Untouched (returns false, `error` empty) for any other argument.
bool TakeReachOption(int argc, const char* const* argv, int& i, std::optional<hart::Reach>& reach,
                     std::string& error);
bool IsReachOption(std::string_view arg);
// The link that reaches the device: `link` itself when nothing asks for more; a gateway (HART-IP)
// is always wrapped, so that its sub-devices can be listed.
std::unique_ptr<hart::ReachLink> ReachingLink(hart::Link& link,
                                              const std::optional<hart::Reach>& reach, bool hartIp);
// The error for --sub without --hart-ip, or empty.
std::string ReachUsageError(const std::optional<hart::Reach>& reach, bool hartIp);

inline constexpr const char* kReachHelp =
    "--address N опрашивает только адрес N (0–63); --tag ТЕГ находит прибор по тегу\n"
    "(до 8 символов — команда 11, до 32 — длинный тег, команда 21); --sub N — подчинённый\n"
    "прибор N шлюза HART-IP (номер команды 84, kestrel7 scan --hart-ip УЗЕЛ).\n";
