#include "ui/safe_file.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <map>
#include <vector>

namespace ui {
namespace {

// Not errno values: a link that another user planted; a device, a pipe or a link to replace.
constexpr int kPlantedLink = -1;
constexpr int kNotRegular = -2;
// The kernel gives up after as many links in one name.
constexpr int kMaxLinks = 40;

// The parts of a name, last first, so that the next one comes off the back.
void PushParts(std::vector<std::string>& pending, const std::string& name) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= name.size()) {
    const std::size_t slash = std::min(name.find('/', start), name.size());
    if (slash > start) parts.push_back(name.substr(start, slash - start));
    start = slash + 1;
  }
  pending.insert(pending.end(), parts.rbegin(), parts.rend());
}

std::string Joined(const std::string& folder, const std::string& name) {
  return (folder == "/" ? "" : folder) + "/" + name;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The kernel's rule for fs.protected_symlinks = 1, applied whatever the setting.
bool Protected(const struct stat& folder, const struct stat& link) {
  const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
  return shared && link.st_uid != ::geteuid() && link.st_uid != folder.st_uid;
}

struct Target {
  std::string path;
  // False when a link of the kernel's own (/proc/self/fd/1) ends the walk: only opening the
  // name itself reaches what it stands for.
  bool resolved = true;
};

// Walks the name one part at a time as the kernel does; 0 or the error.
int Resolve(const std::string& path, Target& target) {
  if (path.empty()) return ENOENT;
  // "x.pom/" names a folder, never the file x.pom.
  if (path.back() == '/') return EISDIR;
  std::string at = "/";
  if (path.front() != '/') {
    std::vector<char> cwd(PATH_MAX);
    if (::getcwd(cwd.data(), cwd.size()) == nullptr) return errno;
    at = cwd.data();
  }
  std::vector<std::string> pending;
  PushParts(pending, path);
  int links = 0;
  while (!pending.empty()) {
    const std::string part = pending.back();
    pending.pop_back();
    if (part == ".") continue;
    if (part == "..") {
      at = FolderOf(at);
      continue;
    }
    const std::string next = Joined(at, part);
    struct stat st {};
    const bool exists = ::lstat(next.c_str(), &st) == 0;
    if (!exists || !S_ISLNK(st.st_mode)) {
      at = next;
      // Missing: no link lies beyond; the write creates it or fails.
      if (!exists && errno == ENOENT) {
        while (!pending.empty()) {
          at = Joined(at, pending.back());
          pending.pop_back();
        }
      }
      continue;
    }
    if (++links > kMaxLinks) return ELOOP;
    struct stat folder {};
    if (::lstat(at.c_str(), &folder) != 0) return errno;
    if (Protected(folder, st)) return kPlantedLink;
    struct statfs where {};
    if (::statfs(at.c_str(), &where) == 0 && where.f_type == PROC_SUPER_MAGIC) {
      target.path = next;
      for (auto it = pending.rbegin(); it != pending.rend(); ++it) target.path += "/" + *it;
      target.resolved = false;
      return 0;
    }
    std::vector<char> text(PATH_MAX + 1);
    const ssize_t n = ::readlink(next.c_str(), text.data(), text.size() - 1);
    if (n < 0) return errno;
    const std::string to(text.data(), static_cast<std::size_t>(n));
    if (!to.empty() && to.front() == '/') at.assign(1, '/');
    PushParts(pending, to);
  }
  target.path = at;
  return 0;
}

std::string ReasonFor(int error) {
  if (error == kPlantedLink) {
    return "Это символическая ссылка чужого пользователя в общем каталоге: запись через неё "
           "запрещена.";
  }
  if (error == kNotRegular) return "Это не обычный файл.";
  return FileErrorText(error);
}

// A hidden name beside `name` with random letters, short enough for the folder.
std::string TemporaryName(const std::string& folder, const std::string& name) {
  constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  constexpr std::size_t kRandom = 10;
  unsigned char random[kRandom] = {};
  if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return {};
  long longest = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  if (longest <= 0) longest = NAME_MAX;
  // The name's own start, as much as fits beside the dots and the random part.
  std::size_t keep = std::min(name.size(), static_cast<std::size_t>(longest) - kRandom - 2);
  while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
  std::string temporary(1, '.');
  temporary.append(name, 0, keep).push_back('.');
  for (unsigned char r : random) temporary += kLetters[r % (sizeof kLetters - 1)];
  return Joined(folder, temporary);
}

bool WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t n = ::write(fd, content.data(), content.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    content.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// A stream's file that remembers why its first write failed: the stream itself forgets, and
// drops what it held.
struct Sink {
  int fd;
  int error = 0;
};

std::map<const std::FILE*, Sink*>& Sinks() {
  static std::map<const std::FILE*, Sink*> sinks;
  return sinks;
}

ssize_t SinkWrite(void* cookie, const char* data, std::size_t size) {
  auto* sink = static_cast<Sink*>(cookie);
  if (WriteAll(sink->fd, std::string_view(data, size))) return static_cast<ssize_t>(size);
  if (sink->error == 0) sink->error = errno != 0 ? errno : EIO;
  return -1;
}

int SinkClose(void* cookie) {
  auto* sink = static_cast<Sink*>(cookie);
  const int closed = ::close(sink->fd);
  for (auto it = Sinks().begin(); it != Sinks().end(); ++it) {
    if (it->second == sink) {
      Sinks().erase(it);
      break;
    }
  }
  delete sink;
  return closed;
}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);  // best effort: the rename is done either way
  ::close(fd);
}

}  // namespace

std::string FileErrorText(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return "Нет такого каталога.";
    case EACCES:
    case EPERM:
      return "Нет доступа.";
    case EISDIR:
      return "Это каталог, а не файл.";
    case EROFS:
      return "Диск только для чтения.";
    case ENOSPC:
    case EDQUOT:
      return "Нет места на диске.";
    case EFBIG:
      return "Файл слишком велик.";
    case ENAMETOOLONG:
      return "Слишком длинное имя.";
    case ELOOP:
      return "Слишком много символических ссылок.";
    case EIO:
      return "Ошибка ввода-вывода.";
    case 0:
      // A short write that the system did not explain.
      return "Не все данные записаны.";
    default:
      return "Ошибка " + std::to_string(error) + ".";
  }
}

bool ReplaceFile(const std::string& path, std::string_view content, std::string& reason) {
  Target target;
  int error = Resolve(path, target);
  struct stat old {};
  const bool replacing = error == 0 && ::lstat(target.path.c_str(), &old) == 0;
  // Renaming over a device, a pipe or a link would replace it, not write into it.
  if (error == 0 && replacing && !S_ISREG(old.st_mode)) error = S_ISDIR(old.st_mode) ? EISDIR : kNotRegular;
  if (error != 0) {
    reason = ReasonFor(error);
    return false;
  }
  const std::string folder = FolderOf(target.path);
  std::string temporary;
  int fd = -1;
  // Our own random names rather than mkstemp's: created 0666, a new file gets the umask's
  // permissions as any other would, where mkstemp's stay 0600.
  for (int attempt = 0; attempt < 10 && fd < 0; ++attempt) {
    temporary = TemporaryName(folder, target.path.substr(folder.size() + (folder == "/" ? 0 : 1)));
    if (temporary.empty()) break;
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    reason = FileErrorText(errno);
    return false;
  }
  if (replacing) {
    // Owner and group where we may set them (root, or a group of ours), then only the
    // permission bits: set-user-ID and set-group-ID never pass to the new content.
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    ::fchmod(fd, old.st_mode & 0777);
  }
  bool ok = WriteAll(fd, content) && ::fsync(fd) == 0;
  error = ok ? 0 : errno;
  // Close errors count: a delayed write failure may only show here.
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && ::rename(temporary.c_str(), target.path.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(temporary.c_str());
    reason = FileErrorText(error);
    return false;
  }
  SyncFolder(folder);
  return true;
}

std::FILE* OpenForWriting(const std::string& path, std::string& reason) {
  Target target;
  if (const int error = Resolve(path, target); error != 0) {
    reason = ReasonFor(error);
    return nullptr;
  }
  // The name resolved holds no link: one planted since is not followed.
  const int fd = ::open(target.path.c_str(),
                        O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | (target.resolved ? O_NOFOLLOW : 0),
                        0666);
  if (fd < 0) {
    reason = FileErrorText(errno);
    return nullptr;
  }
  auto* sink = new Sink{fd};
  std::FILE* file = ::fopencookie(sink, "w", cookie_io_functions_t{nullptr, SinkWrite, nullptr, SinkClose});
  if (file == nullptr) {
    reason = FileErrorText(errno);
    ::close(fd);
    delete sink;
    return nullptr;
  }
  Sinks()[file] = sink;
  return file;
}

bool FinishWriting(std::FILE* file, bool close, std::string& reason) {
  errno = 0;
  bool ok = std::fflush(file) == 0;
  int error = errno;
  ok = ok && std::ferror(file) == 0;
  if (const auto sink = Sinks().find(file); !ok && sink != Sinks().end() && sink->second->error != 0) {
    error = sink->second->error;
  }
  if (close && std::fclose(file) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (!ok) reason = FileErrorText(error != 0 ? error : EIO);
  return ok;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first {}, second {};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace ui
