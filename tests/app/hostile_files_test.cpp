// Every writer of the program against the file system another user or a full disk leaves it.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "app/command_line.h"
#include "calib/reading_log.h"
#include "data/data_file.h"
#include "tests/support/fixture_records.h"

namespace fs = std::filesystem;

namespace {

constexpr uid_t kOtherUser = 4242;
constexpr gid_t kOtherGroup = 4243;
const std::string kVictim = "victim\n";

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// Runs `write` with what it says on a stream in `said`.
bool Saying(std::string& said, const std::function<bool(std::FILE*)>& write) {
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* err = ::open_memstream(&text, &size);
  const bool ok = write(err);
  std::fclose(err);
  said.assign(text, size);
  std::free(text);
  return ok;
}

struct Writer {
  const char* name;
  bool replaces;  // a new file renamed over the old, rather than the old one emptied
  std::function<bool(const std::string& path, std::string& said)> write;
};

TDane Records() {
  TDane db;
  db.Append(UnlikeDefaultsRecord());
  return db;
}

const std::vector<Writer>& Writers() {
  static const std::vector<Writer> writers{
      {"data file", true,
       [](const std::string& path, std::string& said) {
         return datafile::WriteDatabaseFile(path, Records(), &said);
       }},
      {"report", true,
       [](const std::string& path, std::string& said) {
         const std::string input = fs::path(path).parent_path().parent_path() / "input.pom";
         CommandLine args;
         args.file = input;
         args.output = path;
         const auto render = [](ui::Printout&, std::string& pdf) {
           pdf = "%PDF-1.4\n" + std::string(3000, 'x') + "\n%%EOF\n";
           return true;
         };
         return Saying(said, [&](std::FILE* err) { return RunReport(args, render, err) == 0; });
       }},
      {"trace", false,
       [](const std::string& path, std::string& said) {
         std::FILE* trace = OpenTrace(path, said);
         if (trace == nullptr) return false;
         std::fputs(std::string(3000, '>').c_str(), trace);
         return CloseTrace(trace, said);
       }},
      {"CSV", false,
       [](const std::string& path, std::string& said) {
         auto log = calib::ReadingLog::Create(path, said);
         return log != nullptr && log->Write(calib::PvReading{}, said);
       }},
  };
  return writers;
}

// A file size limit stands in for a full disk: writes beyond it fail.
class FullDisk {
 public:
  FullDisk() {
    handler_ = std::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &old_);
    rlimit limited = old_;
    limited.rlim_cur = 30;
    ::setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FullDisk() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, handler_);
  }

 private:
  rlimit old_{};
  void (*handler_)(int) = nullptr;
};

struct Situation {
  const char* name;
  // Makes the situation in `folder`; returns the name to write.
  std::function<std::string(const fs::path& folder)> make;
  bool written;
  std::function<void(const std::string& path, const Writer& writer)> check = {};
  bool fullDisk = false;
};

std::string Planted(const fs::path& folder, uid_t owner) {
  std::ofstream(folder / "victim") << kVictim;
  fs::permissions(folder, fs::perms::all | fs::perms::sticky_bit);
  const fs::path link = folder / "planted.out";
  fs::create_symlink(folder / "victim", link);
  EXPECT_EQ(::lchown(link.c_str(), owner, owner), 0);
  return link;
}

TEST(HostileFiles, EveryWriterWritesWholeOrSaysWhyAndLeavesNothing) {
  if (::geteuid() != 0) GTEST_SKIP() << "links of another user need root";
  const std::vector<Situation> situations{
      {"a link planted by another user in a sticky folder",
       [](const fs::path& folder) { return Planted(folder, kOtherUser); }, false,
       [](const std::string&, const Writer&) {}},
      {"our own link in a sticky folder",
       [](const fs::path& folder) { return Planted(folder, ::geteuid()); }, true,
       [](const std::string& path, const Writer&) {
         EXPECT_TRUE(fs::is_symlink(path));
         EXPECT_NE(Contents(path), kVictim);
       }},
      {"a full disk",
       [](const fs::path& folder) {
         std::ofstream(folder / "old.out") << kVictim;
         return folder / "old.out";
       },
       false, {}, true},
      {"/dev/full", [](const fs::path&) { return std::string("/dev/full"); }, false},
      {"set-user-ID bits and another owner",
       [](const fs::path& folder) {
         std::ofstream(folder / "old.out") << kVictim;
         EXPECT_EQ(::chown((folder / "old.out").c_str(), kOtherUser, kOtherGroup), 0);
         EXPECT_EQ(::chmod((folder / "old.out").c_str(), 06750), 0);
         return folder / "old.out";
       },
       true,
       [](const std::string& path, const Writer& writer) {
         struct stat st {};
         ASSERT_EQ(::stat(path.c_str(), &st), 0);
         EXPECT_EQ(st.st_uid, kOtherUser);
         EXPECT_EQ(st.st_gid, kOtherGroup);
         if (writer.replaces) {
           EXPECT_EQ(st.st_mode & 07777, 0750u);
         }
       }},
      {"the old temporary names planted",
       [](const fs::path& folder) {
         for (int i = 0; i < 100; ++i) {
           const std::string name = ".x.out." + std::to_string(::getpid()) + "." + std::to_string(i);
           fs::create_directory(folder / (name + ".tmp"));
         }
         return folder / "x.out";
       },
       true},
      {"a name of 250 bytes",
       [](const fs::path& folder) { return folder / (std::string(246, 'n') + ".out"); }, true},
  };
  std::string pattern = (fs::path(testing::TempDir()) / "k7hostileXXXXXX").string();
  const fs::path top = ::mkdtemp(pattern.data());
  ASSERT_TRUE(datafile::WriteDatabaseFile(top / "input.pom", Records()));
  for (const Situation& situation : situations) {
    for (const Writer& writer : Writers()) {
      SCOPED_TRACE(std::string(situation.name) + ", " + writer.name);
      const fs::path folder = top / "w";
      fs::remove_all(folder);
      fs::create_directory(folder);
      const std::string path = situation.make(folder);
      const std::size_t before = Names(folder).size();
      const bool existed = fs::exists(fs::symlink_status(path));
      std::string said;
      bool ok = false;
      if (situation.fullDisk) {
        FullDisk full;
        ok = writer.write(path, said);
      } else {
        ok = writer.write(path, said);
      }
      EXPECT_EQ(ok, situation.written) << said;
      // Whatever happened, no temporary file stays behind.
      EXPECT_EQ(Names(folder).size(), before + (ok && !existed ? 1 : 0));
      if (!situation.written) {
        EXPECT_FALSE(said.empty());
        if (fs::exists(folder / "victim")) {
          EXPECT_EQ(Contents(folder / "victim"), kVictim);
        }
        if (writer.replaces && fs::is_regular_file(path)) {
          EXPECT_EQ(Contents(path), kVictim);
        }
      } else if (path != "/dev/full") {
        EXPECT_GT(Contents(path).size(), kVictim.size());
      }
      if (situation.check) situation.check(path, writer);
    }
  }
  fs::remove_all(top);
}

TEST(HostileFiles, AReportNeverReplacesItsOwnDataFile) {
  const fs::path input = fs::path(testing::TempDir()) / "k7_report_input.pdf";
  ASSERT_TRUE(datafile::WriteDatabaseFile(input, Records()));
  const std::string before = Contents(input);
  CommandLine args;
  args.file = input;  // the output's default name is the input's own
  std::string said;
  EXPECT_FALSE(Saying(said, [&](std::FILE* err) {
    return RunReport(args, [](ui::Printout&, std::string& pdf) { return !(pdf = "%PDF").empty(); },
                     err) == 0;
  }));
  EXPECT_EQ(said, "Рапорт не записывается на место своего файла данных: " + input.string() + "\n");
  EXPECT_EQ(Contents(input), before);
  fs::remove(input);
}

}  // namespace
