// Saving survives the process being killed at any moment: the data file is always the whole
// old file or the whole new one.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "data/data_file.h"
#include "tests/support/identified_record.h"

namespace {

TDane Database(int records, std::int32_t firstId) {
  TDane db;
  for (int i = 0; i < records; ++i) {
    TDaneIPPC record = IdentifiedRecord();
    record.deviceId = firstId + i;
    record.upperRange = static_cast<float>(i) * 0.5f;
    db.Append(record);
  }
  return db;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(SaveCrash, KilledWhileSavingLeavesTheOldOrTheNewFileWhole) {
  const std::filesystem::path dir = ::testing::TempDir() + "k7_save_crash";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "records.pom").string();
  const TDane first = Database(2000, 100000);
  const TDane second = Database(1500, 200000);
  const std::string firstText = datafile::DatabaseText(first);
  const std::string secondText = datafile::DatabaseText(second);
  ASSERT_TRUE(datafile::WriteDatabaseFile(path, first));
  // Either whole file reads back without a message; each trial then compares the bytes.
  for (const std::string* text : {&firstText, &secondText}) {
    TDane read;
    const datafile::ReadResult result = datafile::ReadDatabase(*text, read);
    EXPECT_FALSE(result.damaged);
    EXPECT_EQ(read.Count(), text == &firstText ? 2000u : 1500u);
  }

  int sawFirst = 0;
  int sawSecond = 0;
  for (int trial = 0; trial < 12; ++trial) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(ready[0]);
      const char go = 1;
      if (write(ready[1], &go, 1) != 1) _exit(2);
      // Saves one database over the other, again and again, until it is killed.
      for (int i = 0;; ++i) datafile::WriteDatabaseFile(path, i % 2 == 0 ? second : first);
    }
    close(ready[1]);
    char go = 0;
    ASSERT_EQ(read(ready[0], &go, 1), 1);
    close(ready[0]);
    // A different moment each time: a growing stretch of work before the kill.
    volatile std::uint64_t spin = 0;
    for (std::uint64_t i = 0; i < static_cast<std::uint64_t>(trial) * 3'000'000; ++i) spin = spin + i;
    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    const std::string text = ReadAll(path);
    ASSERT_TRUE(text == firstText || text == secondText) << "trial " << trial << ": "
                                                         << text.size() << " bytes";
    (text == firstText ? sawFirst : sawSecond)++;
  }
  EXPECT_EQ(sawFirst + sawSecond, 12);
  TDane read;
  const auto result = datafile::ReadDatabaseFile(path, read);
  ASSERT_TRUE(result.has_value());
  EXPECT_FALSE(result->damaged);
  std::filesystem::remove_all(dir);
}

}  // namespace
