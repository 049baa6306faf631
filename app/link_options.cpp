#include "app/link_options.h"

#include "hart/link.h"

namespace {

constexpr const char* kPortNameWanted = "после --port нужно имя последовательного порта";

bool IsReachOption(std::string_view arg) {
  return arg == "--address" || arg == "--tag" || arg == "--sub";
}

}  // namespace

bool IsLinkValueOption(std::string_view arg) {
  return arg == "--port" || arg == "--hart-ip" || arg == "--psk-file" || IsReachOption(arg);
}

bool TakeLinkOption(int argc, const char* const* argv, int& i, LinkOptions& options,
                    std::string& error) {
  const std::string_view arg = argv[i];
  if (arg == "--no-rts") {
    options.switchRts = false;
  } else if (arg == "--tcp") {
    options.tcp = true;
  } else if (arg == "--simulated") {
    options.simulated = true;
  } else if (!IsLinkValueOption(arg)) {
    return false;
  } else if (i + 1 >= argc) {
    error = arg == "--port"      ? kPortNameWanted
            : arg == "--hart-ip" ? "после --hart-ip нужно адрес узла HART-IP"
            : arg == "--psk-file" ? "после --psk-file нужно имя файла"
            : arg == "--tag"      ? "после --tag нужен тег"
            : arg == "--sub"      ? "после --sub нужен номер прибора"
                                  : "после --address нужен адрес";
  } else if (IsReachOption(arg)) {
    if (options.reach) {
      error = "--address, --tag и --sub не указывают вместе: прибор находят одним способом";
      return true;
    }
    const std::string_view value = argv[++i];
    options.reach = arg == "--address" ? hart::ReachAtAddress(value, error)
                    : arg == "--tag"   ? hart::ReachByTag(value, error)
                                       : hart::ReachSubDevice(value, error);
  } else {
    const std::string value = argv[++i];
    // An unset variable in a script gives an empty value, or takes the next option for one:
    // either would quietly run another link than the one meant, or open nonsense.
    if (value.empty() || value.front() == '-') {
      error = arg == "--port"      ? kPortNameWanted
              : arg == "--hart-ip" ? "после --hart-ip нужно адрес узла HART-IP"
                                   : "после --psk-file нужно имя файла";
    } else {
      (arg == "--port" ? options.port : arg == "--hart-ip" ? options.hartIp : options.pskFile) =
          value;
    }
  }
  return true;
}

std::string LinkOptionsError(const LinkOptions& o) {
  if (!o.switchRts && o.port.empty()) return "--no-rts относится к --port";
  if (!o.port.empty() && !o.hartIp.empty()) {
    return "--port и --hart-ip не указывают вместе: преобразователь на одной связи";
  }
  if (o.tcp && o.hartIp.empty()) return "--tcp относится к --hart-ip";
  if (!o.pskFile.empty() && o.hartIp.empty()) return "--psk-file относится к --hart-ip";
  if (o.simulated && (!o.port.empty() || !o.hartIp.empty())) {
    return "--simulated не указывают вместе с --port или --hart-ip";
  }
  if (o.reach && o.reach->by == hart::Reach::By::SubDevice && o.hartIp.empty()) {
    return "--sub относится к --hart-ip: подчинённые приборы есть только у шлюза";
  }
  return {};
}

std::optional<LinkChoice> ChoiceOf(const LinkOptions& o) {
  LinkChoice choice;
  if (!o.port.empty()) {
    choice.kind = LinkChoice::Kind::Serial;
    choice.port = o.port;
    choice.switchRts = o.switchRts;
  } else if (!o.hartIp.empty()) {
    // The whole HOST[:PORT] as typed: the HART-IP link reads it and says what is wrong with it.
    choice.kind = LinkChoice::Kind::HartIp;
    choice.host = o.hartIp;
    choice.ipPort = 0;
    choice.tcp = o.tcp;
    choice.pskFile = o.pskFile;
  } else if (!o.simulated) {
    return std::nullopt;
  }
  return choice;
}

ResolvedLink ResolveLink(const LinkOptions& options,
                         const std::function<std::unique_ptr<hart::Link>()>& standIn, bool reach) {
  ResolvedLink r;
  r.choice = ResolveLinkChoice(ChoiceOf(options), r.warning);
  if (r.choice.kind != LinkChoice::Kind::Simulated) {
    r.link = OpenLink(r.choice, r.error);
    if (!r.link) return r;
    r.realTime = true;
  } else if (standIn) {
    r.link = standIn();
  }
  if (reach) r.link = ReachingChoice(std::move(r.link), r.choice, options.reach);
  return r;
}
