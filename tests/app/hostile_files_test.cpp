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
#include "app/journal_command.h"
#include "calib/reading_log.h"
#include "data/data_file.h"
#include "tests/support/fixture_records.h"

namespace fs = std::filesystem;

namespace {

constexpr uid_t kOtherUser = 4242;  // and group
const std::string kVictim = "victim\n";

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

const std::string kInput = testing::TempDir() + "k7_hostile_input.pdf";

// A report of `input` into `output` (its default name when empty); `said`: its error stream.
bool Report(const std::string& output, std::string& said) {
  CommandLine args;
  args.file = kInput;
  args.output = output;
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* err = ::open_memstream(&text, &size);
  const auto render = [](ui::Printout&, std::string& pdf) {
    return !(pdf = "%PDF-1.4\n" + std::string(3000, 'x')).empty();
  };
  const bool ok = RunReport(args, render, err) == 0;
  std::fclose(err);
  said.assign(text, size);
  std::free(text);
  return ok;
}

TDane Records() { TDane db; db.Append(UnlikeDefaultsRecord()); return db; }

struct Writer {
  const char* name;
  bool replaces;  // a new file renamed over the old, rather than the old one emptied
  std::function<bool(const std::string& path, std::string& said)> write;
};

const Writer kWriters[] = {
    {"data file", true,
     [](const std::string& path, std::string& said) {
       return datafile::WriteDatabaseFile(path, Records(), &said);
     }},
    {"report", true, Report},
    {"trace", false,
     [](const std::string& path, std::string& said) {
       std::FILE* trace = OpenTrace(path, said);
       if (trace != nullptr) std::fputs(std::string(3000, '>').c_str(), trace);
       return trace != nullptr && CloseTrace(trace, said);
     }},
    {"journal CSV", true,
     [](const std::string& path, std::string& said) { return WriteJournalCsv(path, {}, said); }},
    {"CSV", false,
     [](const std::string& path, std::string& said) {
       auto log = calib::ReadingLog::Create(path, said);
       return log != nullptr && log->Write(calib::PvReading{}, said);
     }},
};

struct Situation {
  const char* name;
  // Makes the situation in `folder`, beside old.out; returns the name to write.
  std::function<std::string(const fs::path& folder)> make;
  bool written;
  bool fullDisk = false;
};

std::string Planted(const fs::path& folder, uid_t owner) {
  fs::permissions(folder, fs::perms::all | fs::perms::sticky_bit);
  fs::create_symlink(folder / "old.out", folder / "link.out");
  EXPECT_EQ(::lchown((folder / "link.out").c_str(), owner, owner), 0);
  return folder / "link.out";
}

TEST(HostileFiles, EveryWriterWritesWholeOrSaysWhyAndLeavesNothing) {
  if (::geteuid() != 0) GTEST_SKIP() << "links and files of another user need root";
  const std::vector<Situation> situations{
      {"a link planted by another user in a sticky folder",
       [](const fs::path& folder) { return Planted(folder, kOtherUser); }, false},
      {"our own link in a sticky folder",
       [](const fs::path& folder) { return Planted(folder, ::geteuid()); }, true},
      {"a full disk", [](const fs::path& folder) { return folder / "old.out"; }, false, true},
      {"/dev/full", [](const fs::path&) { return std::string("/dev/full"); }, false},
      {"set-user-ID bits and another owner",
       [](const fs::path& folder) { return folder / "old.out"; }, true},
      {"the old temporary names planted",
       [](const fs::path& folder) {
         const std::string old = ".x.out." + std::to_string(::getpid()) + ".";
         for (int i = 0; i < 100; ++i) fs::create_directory(folder / (old + std::to_string(i) + ".tmp"));
         return folder / "x.out";
       }, true},
      {"a name of 250 bytes",
       [](const fs::path& folder) { return folder / (std::string(246, 'n') + ".out"); }, true},
  };
  std::signal(SIGXFSZ, SIG_IGN);
  std::string pattern = (fs::path(testing::TempDir()) / "k7hostileXXXXXX").string();
  const fs::path top = ::mkdtemp(pattern.data());
  ASSERT_TRUE(datafile::WriteDatabaseFile(kInput, Records()));
  for (const Situation& situation : situations) {
    for (const Writer& writer : kWriters) {
      SCOPED_TRACE(std::string(situation.name) + ", " + writer.name);
      const fs::path folder = top / "w";
      const fs::path old = folder / "old.out";
      fs::remove_all(folder);
      fs::create_directory(folder);
      std::ofstream(old) << kVictim;
      ASSERT_EQ(::chown(old.c_str(), kOtherUser, kOtherUser), 0);
      ASSERT_EQ(::chmod(old.c_str(), 06750), 0);
      const std::string path = situation.make(folder);
      const auto names = [&] { return std::distance(fs::directory_iterator(folder), {}); };
      const auto before = names();
      const bool existed = fs::exists(fs::symlink_status(path));
      // A file size limit stands in for a full disk: writes beyond it fail.
      const rlimit full{30, RLIM_INFINITY}, unlimited{RLIM_INFINITY, RLIM_INFINITY};
      if (situation.fullDisk) ::setrlimit(RLIMIT_FSIZE, &full);
      std::string said;
      const bool ok = writer.write(path, said);
      ::setrlimit(RLIMIT_FSIZE, &unlimited);
      EXPECT_EQ(ok, situation.written) << said;
      EXPECT_EQ(said.empty(), ok) << said;
      // Whatever happened, no temporary file stays behind.
      EXPECT_EQ(names(), before + (ok && !existed ? 1 : 0));
      if (!ok && (writer.replaces || !situation.fullDisk)) { EXPECT_EQ(Contents(old), kVictim); }
      if (ok && fs::is_regular_file(path)) { EXPECT_GT(Contents(path).size(), kVictim.size()); }
      // The file replaced keeps its owner and group, and only its permission bits.
      struct stat st {};
      ASSERT_EQ(::stat(old.c_str(), &st), 0);
      EXPECT_EQ(std::make_pair(st.st_uid, st.st_gid), std::make_pair(kOtherUser, kOtherUser));
      if (writer.replaces && Contents(old) != kVictim) { EXPECT_EQ(st.st_mode & 07777, 0750u); }
    }
  }
  fs::remove_all(top);
}

TEST(HostileFiles, AReportNeverReplacesItsOwnDataFile) {
  ASSERT_TRUE(datafile::WriteDatabaseFile(kInput, Records()));
  std::string said;
  EXPECT_FALSE(Report("", said));  // the default name is the input's own
  EXPECT_EQ(said, "Рапорт не записывается на место своего файла данных: " + kInput + "\n");
  EXPECT_EQ(Contents(kInput), datafile::DatabaseText(Records()));
}

}  // namespace
