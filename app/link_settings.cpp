#include "app/link_settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "app/command_line.h"
#include "hart/reach_link.h"
#include "hart/simulated_link.h"
#include "hart/link.h"
#include "hart/serial_link.h"

namespace {

constexpr const char* kDamaged = "Файл настроек связи ";
constexpr const char* kDamagedTail = " не понят: связь с имитатором преобразователя.";
constexpr const char* kDialoutHint =
    "\nПользователь должен быть в группе dialout (sudo usermod -aG dialout ИМЯ, затем войти "
    "в систему заново).";

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::optional<int> Number(std::string_view s, int min, int max) {
  int value = 0;
  const auto [end, failed] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (failed != std::errc() || end != s.data() + s.size() || value < min || value > max) {
    return std::nullopt;
  }
  return value;
}

std::optional<bool> OnOff(std::string_view s) {
  if (s == "on") return true;
  if (s == "off") return false;
  return std::nullopt;
}

// One key=value line into the choice; false when the line makes no sense.
bool Take(LinkChoice& c, std::string_view key, std::string_view value) {
  if (key == "link") {
    if (value == "simulated") c.kind = LinkChoice::Kind::Simulated;
    else if (value == "serial") c.kind = LinkChoice::Kind::Serial;
    else if (value == "hart-ip") c.kind = LinkChoice::Kind::HartIp;
    else return false;
  } else if (key == "port") {
    if (value.empty() || value.front() != '/') return false;
    c.port = value;
  } else if (key == "rts") {
    const auto on = OnOff(value);
    if (!on) return false;
    c.switchRts = *on;
  } else if (key == "host") {
    c.host = value;
  } else if (key == "ip-port") {
    const auto port = Number(value, 1, 65535);
    if (!port) return false;
    c.ipPort = *port;
  } else if (key == "transport") {
    if (value != "udp" && value != "tcp") return false;
    c.tcp = value == "tcp";
  } else if (key == "psk-file") {
    if (value.empty() || value.front() != '/') return false;
    c.pskFile = value;
  } else if (key == "address") {
    c.address = Number(value, 0, 63);
    if (!c.address) return false;
  } else if (key == "sub") {
    std::string ignored;
    if (!hart::ReachSubDevice(value, ignored)) return false;
    c.sub = value;
  }
  // A key this edition does not know is passed over: a later edition may have written it.
  return true;
}

}  // namespace

std::string LinkConfPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string folder;
  if (config != nullptr && config[0] == '/') {
    folder = config;
  } else {
    const char* home = std::getenv("HOME");
    folder = std::string(home != nullptr ? home : "") + "/.config";
  }
  return folder + "/kestrel7/link.conf";
}

LinkChoice ParseLinkConf(std::string_view text, std::string& warning) {
  warning.clear();
  LinkChoice choice;
  bool kindSeen = false;
  bool understood = text.size() <= kLinkConfMaxBytes && text.find('\0') == std::string_view::npos;
  while (understood && !text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = Trimmed(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.empty() || line.front() == '#') continue;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      understood = false;
      break;
    }
    const std::string_view key = Trimmed(line.substr(0, eq));
    kindSeen = kindSeen || key == "link";
    understood = Take(choice, key, Trimmed(line.substr(eq + 1)));
  }
  understood = understood && kindSeen &&
               (choice.kind != LinkChoice::Kind::Serial || !choice.port.empty()) &&
               (choice.kind != LinkChoice::Kind::HartIp || !choice.host.empty());
  if (!understood) {
    warning = "nonsense";
    return LinkChoice{};
  }
  return choice;
}

std::string LinkConfText(const LinkChoice& c) {
  std::string text;
  switch (c.kind) {
    case LinkChoice::Kind::Simulated:
      text = "link=simulated\n";
      break;
    case LinkChoice::Kind::Serial:
      text = "link=serial\nport=" + c.port + "\nrts=" + (c.switchRts ? "on" : "off") + "\n";
      break;
    case LinkChoice::Kind::HartIp:
      text = "link=hart-ip\nhost=" + c.host + "\nip-port=" + std::to_string(c.ipPort) +
             "\ntransport=" + (c.tcp ? "tcp" : "udp") + "\n";
      if (!c.pskFile.empty()) text += "psk-file=" + c.pskFile + "\n";
      break;
  }
  if (c.address) text += "address=" + std::to_string(*c.address) + "\n";
  if (!c.sub.empty()) text += "sub=" + c.sub + "\n";
  return text;
}

LinkChoice ReadLinkConf(const std::string& path, std::string& warning) {
  warning.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0 && errno == ENOENT) return LinkChoice{};
  std::string text;
  bool read = false;
  struct stat info {};
  // Only a regular file: a FIFO or a device put there would hang or pour out bytes.
  if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    char buffer[kLinkConfMaxBytes + 1];
    std::size_t got = 0;
    ssize_t n = 0;
    while (got < sizeof buffer && (n = ::read(fd, buffer + got, sizeof buffer - got)) > 0) {
      got += static_cast<std::size_t>(n);
    }
    read = n >= 0;
    text.assign(buffer, got);
  }
  if (fd >= 0) ::close(fd);
  LinkChoice choice;
  if (read) choice = ParseLinkConf(text, warning);
  if (!read || !warning.empty()) {
    warning = kDamaged + path + kDamagedTail;
    return LinkChoice{};
  }
  return choice;
}

bool WriteLinkConf(const std::string& path, const LinkChoice& choice, std::string& error) {
  const std::filesystem::path target(path);
  std::error_code ec;
  std::filesystem::create_directories(target.parent_path(), ec);
  const std::string temporary = path + ".new";
  const std::string text = LinkConfText(choice);
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW,
                        0644);
  bool done = fd >= 0;
  if (done) {
    done = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
           ::fsync(fd) == 0;
    done = ::close(fd) == 0 && done;
    done = done && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!done) ::unlink(temporary.c_str());
  }
  if (!done) error = "Не удалось записать настройки связи в " + path + ": " + std::strerror(errno);
  return done;
}

LinkChoice ResolveLinkChoice(const std::optional<LinkChoice>& fromOptions, std::string& warning) {
  warning.clear();
  if (fromOptions) return *fromOptions;
  return ReadLinkConf(LinkConfPath(), warning);
}

std::string HartIpAddress(const LinkChoice& c) {
  if (c.ipPort == 0) return c.host;
  const bool v6 = c.host.find(':') != std::string::npos;
  return (v6 ? "[" + c.host + "]" : c.host) + ":" + std::to_string(c.ipPort);
}

std::string LinkName(const LinkChoice& c) {
  switch (c.kind) {
    case LinkChoice::Kind::Serial:
      return "Модем " + c.port + (c.switchRts ? "" : " без RTS");
    case LinkChoice::Kind::HartIp:
      return "HART-IP " + HartIpAddress(c) + (c.tcp ? " TCP" : " UDP");
    case LinkChoice::Kind::Simulated:
      break;
  }
  return "Имитатор преобразователя";
}

std::unique_ptr<hart::Link> OpenLink(const LinkChoice& c, std::string& error) {
  error.clear();
  switch (c.kind) {
    case LinkChoice::Kind::Serial: {
      std::unique_ptr<hart::Link> link =
          hart::SerialLink::Open(c.port, hart::SerialOptions{c.switchRts}, error);
      if (!link && ::access(c.port.c_str(), R_OK | W_OK) != 0 && errno == EACCES) {
        error += kDialoutHint;
      }
      return link;
    }
    case LinkChoice::Kind::HartIp:
      return OpenHartIpLink(HartIpAddress(c), c.tcp, c.pskFile, error);
    case LinkChoice::Kind::Simulated:
      break;
  }
  return nullptr;
}

std::optional<hart::Reach> ReachOfChoice(const LinkChoice& choice,
                                         const std::optional<hart::Reach>& given) {
  if (given) return given;
  std::string ignored;
  if (choice.kind == LinkChoice::Kind::HartIp && !choice.sub.empty()) {
    return hart::ReachSubDevice(choice.sub, ignored);
  }
  if (choice.address) return hart::ReachAtAddress(std::to_string(*choice.address), ignored);
  return std::nullopt;
}

std::unique_ptr<hart::Link> ReachingChoice(std::unique_ptr<hart::Link> link,
                                           const LinkChoice& choice,
                                           const std::optional<hart::Reach>& given) {
  const std::optional<hart::Reach> reach = ReachOfChoice(choice, given);
  const bool gateway = choice.kind == LinkChoice::Kind::HartIp;
  if (!reach && !gateway) return link;
  if (!link) link = std::make_unique<hart::SimulatedLink>();
  return std::make_unique<hart::ReachLink>(std::move(link), reach.value_or(hart::Reach{}), gateway);
}
