#include "hart/hart_ip_key.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace hart {
namespace {

// A key file is a few lines; anything longer is not one.
constexpr std::size_t kMaxFileBytes = 4096;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

std::string Octal(unsigned mode) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%04o", mode & 07777);
  return buffer;
}

std::string Reason(int error) {
  switch (error) {
    case ENOENT: return "Нет такого файла.";
    case EACCES:
    case EPERM: return "Нет прав на чтение.";
    case ELOOP: return "Это символическая ссылка.";
    case ENOSPC: return "Нет места на диске.";
    default: return "Ошибка " + std::to_string(error) + ".";
  }
}

void Wipe(std::string& text) {
  std::fill(text.begin(), text.end(), '\0');
  text.clear();
}

}  // namespace

HartIpKey::~HartIpKey() { std::fill(key.begin(), key.end(), std::uint8_t{0}); }

std::vector<std::uint8_t> KeyFromHex(std::string_view keyHex) {
  std::vector<std::uint8_t> bytes;
  int high = -1;
  for (char c : keyHex) {
    if (c == ' ' || c == ':' || c == '\t') {
      if (high >= 0) return {};  // a byte split in two
      continue;
    }
    const int digit = HexDigit(c);
    if (digit < 0) return {};
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<std::uint8_t>(high << 4 | digit));
      high = -1;
    }
  }
  if (high >= 0) return {};
  return bytes;
}

std::string CheckHartIpKey(std::string_view identity, std::string_view keyHex) {
  if (identity.empty()) return "Не указан идентификатор ключа HART-IP.";
  if (identity.size() > HartIpKey::kMaxIdentity ||
      !std::all_of(identity.begin(), identity.end(),
                   [](char c) { return c > ' ' && c < 0x7F; })) {
    return "Идентификатор ключа HART-IP — до 128 латинских букв, цифр и знаков, без пробелов.";
  }
  std::vector<std::uint8_t> key = KeyFromHex(keyHex);
  const std::size_t size = key.size();
  std::fill(key.begin(), key.end(), std::uint8_t{0});
  if (size < HartIpKey::kMinKeyBytes || size > HartIpKey::kMaxKeyBytes) {
    return "Ключ HART-IP — от 16 до 64 байтов шестнадцатеричными цифрами, по две на байт.";
  }
  return {};
}

std::optional<HartIpKey> LoadHartIpKey(const std::string& path, std::string& error) {
  const std::string file = "Файл ключа HART-IP " + path;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    error = "Не удалось открыть файл ключа HART-IP " + path + "\n" + Reason(errno);
    return std::nullopt;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    error = file + " — не обычный файл.";
    return std::nullopt;
  }
  // As ssh does with its keys: a key others can read, or one another user placed, is no secret.
  if (st.st_uid != ::geteuid()) {
    ::close(fd);
    error = file + " принадлежит другому пользователю: ключ не принят.";
    return std::nullopt;
  }
  if ((st.st_mode & 077) != 0) {
    ::close(fd);
    error = file + " доступен не только владельцу (права " + Octal(st.st_mode) +
            "): ключ не принят.\nНужны права 0600: chmod 600 " + path;
    return std::nullopt;
  }
  std::string text;
  char buffer[512];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int reason = errno;
      ::close(fd);
      Wipe(text);
      error = "Не удалось прочитать файл ключа HART-IP " + path + "\n" + Reason(reason);
      return std::nullopt;
    }
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.size() > kMaxFileBytes) break;
  }
  std::fill(std::begin(buffer), std::end(buffer), '\0');
  ::close(fd);
  if (text.size() > kMaxFileBytes) {
    Wipe(text);
    error = file + " слишком велик для файла ключа.";
    return std::nullopt;
  }

  std::string identity;
  std::string keyHex;
  std::size_t lineNumber = 0;
  std::string_view rest = text;
  bool understood = true;
  while (!rest.empty() && understood) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = Trimmed(rest.substr(0, end));
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    ++lineNumber;
    if (line.empty() || line.front() == '#') continue;
    const std::size_t equals = line.find('=');
    const std::string_view name = equals == std::string_view::npos ? line : Trimmed(line.substr(0, equals));
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view() : Trimmed(line.substr(equals + 1));
    if (name == "identity") {
      identity = value;
    } else if (name == "key") {
      keyHex = value;
    } else {
      understood = false;
    }
  }
  HartIpKey key;
  if (!understood) {
    error = file + ": непонятная строка " + std::to_string(lineNumber) +
            ".\nНужны строки identity=ИДЕНТИФИКАТОР и key=КЛЮЧ.";
  } else if (identity.empty() || keyHex.empty()) {
    error = file + ": нужны строки identity=ИДЕНТИФИКАТОР и key=КЛЮЧ.";
  } else if (std::string why = CheckHartIpKey(identity, keyHex); !why.empty()) {
    error = file + ": " + why;
  } else {
    key.identity = identity;
    key.key = KeyFromHex(keyHex);
  }
  Wipe(keyHex);
  Wipe(text);
  if (key.key.empty()) return std::nullopt;
  error.clear();
  return key;
}

bool SaveHartIpKey(const std::string& path, const HartIpKey& key, std::string& error) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "identity=" + key.identity + "\nkey=";
  for (std::uint8_t b : key.key) {
    text += kDigits[b >> 4];
    text += kDigits[b & 0xF];
  }
  text += '\n';
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  struct stat st {};
  bool ok = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            ::fchmod(fd, 0600) == 0 && ::ftruncate(fd, 0) == 0;
  std::size_t at = 0;
  while (ok && at < text.size()) {
    const ssize_t n = ::write(fd, text.data() + at, text.size() - at);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) at += static_cast<std::size_t>(n);
  }
  const int reason = errno;
  ok = ok && ::fsync(fd) == 0;
  if (fd >= 0 && ::close(fd) != 0) ok = false;
  Wipe(text);
  if (!ok) error = "Не удалось записать файл ключа HART-IP " + path + "\n" + Reason(reason);
  return ok;
}

}  // namespace hart
