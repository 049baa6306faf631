#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "journal/journal.h"
#include "journal/recorder.h"
#include "tests/support/dialog_checks.h"
#include "tests/support/fake_link.h"
#include "tests/support/fixture_records.h"
#include "tests/support/list_dialog_test.h"
#include "tests/support/probe_dialog.h"
#include "tests/support/temp_data_home.h"
#include "ui/headless/headless_platform.h"

namespace {

namespace fs = std::filesystem;

struct JournalTest : ::testing::Test {
  TempDataHome home;
  std::string path = journal::DefaultPath();
  std::string warning;
  std::unique_ptr<journal::Journal> open = journal::Journal::Open(path, warning);

  void Run(const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    sqlite3_close(db);
  }
};

TEST_F(JournalTest, LivesInTheDataFolderUnreadableToOthersInWalMode) {
  ASSERT_NE(open, nullptr) << warning;
  EXPECT_EQ(path, home.Dir() + "/kestrel7/journal.sqlite");
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  journal::Entry e;
  ASSERT_TRUE(open->Append(e, warning)) << warning;
  EXPECT_TRUE(fs::exists(path + "-wal"));
}

// Five entries of two transmitters; each case tampers with the file behind the program's back.
TEST_F(JournalTest, VerifyNamesTheEntryChangedRemovedOrMoved) {
  struct Case {
    const char* what;
    std::string sql;
    std::int64_t seq;
    const char* says;
    std::int64_t rehashed = 0;  // the entry edited with its hash made anew, instead of `sql`
    // A journal from before the anchor: it has none until the entry appended before tampering.
    bool older = false;
    bool appendedAfter = false;
  };
  const auto rehashed = [&](std::int64_t seq) {
    journal::Entry e = open->List({})[static_cast<std::size_t>(seq - 1)];
    e.sent = "0 с";
    return "UPDATE entries SET value_sent='0 с', hash='" + journal::HashOf(e) +
           "' WHERE seq=" + std::to_string(seq);
  };
  const std::vector<Case> cases{
      {"edited", "UPDATE entries SET value_sent='0 с' WHERE seq=3", 3, "запись 3 изменена"},
      {"deleted", "DELETE FROM entries WHERE seq=3", 4, "запись 3 удалена"},
      {"two deleted", "DELETE FROM entries WHERE seq IN (2,3)", 4, "записи 2–3 удалены"},
      {"reordered",
       "UPDATE entries SET seq=-1 WHERE seq=2; UPDATE entries SET seq=2 WHERE seq=3;"
       "UPDATE entries SET seq=3 WHERE seq=-1",
       2, "запись 2 стоит не на своём месте"},
      {"edited and hashed anew", "", 4, "запись перед записью 4 удалена или подменена", 3},
      {"the last edited and hashed anew", "", 5, "запись 5 не совпадает с меткой", 5},
      {"the last two deleted", "DELETE FROM entries WHERE seq > 3", 4, "записи после 3 удалены"},
      {"all deleted", "DELETE FROM entries", 1, "все записи удалены"},
      {"the last two deleted, the count set back, one appended",
       "DELETE FROM entries WHERE seq > 3; UPDATE sqlite_sequence SET seq = 3", 5,
       "записи после 4 удалены", 0, false, true},
      {"older, the entry its first anchor names deleted", "DELETE FROM entries WHERE seq = 6", 6,
       "записи после 5 удалены", 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    open.reset();
    fs::remove_all(fs::path(path).parent_path());
    open = journal::Journal::Open(path, warning);
    ASSERT_NE(open, nullptr) << warning;
    for (int i = 0; i < 5; ++i) {
      journal::Entry e;
      e.deviceId = 100 + i % 2;
      e.field = "Постоянная времени";
      e.sent = std::to_string(i) + " с";
      ASSERT_TRUE(open->Append(e, warning)) << warning;
    }
    if (c.older) fs::remove(open->AnchorPath());
    ASSERT_TRUE(open->Verify().empty());
    journal::Entry another;
    ASSERT_TRUE(!c.older || open->Append(another, warning)) << warning;
    Run(c.rehashed != 0 ? rehashed(c.rehashed) : c.sql);
    ASSERT_TRUE(!c.appendedAfter || open->Append(another, warning)) << warning;
    const auto problems = open->Verify();
    ASSERT_FALSE(problems.empty());
    EXPECT_EQ(problems.front().seq, c.seq);
    EXPECT_EQ(problems.front().text.find(c.says), 0u) << problems.front().text;
  }
}

TEST_F(JournalTest, ADamagedJournalIsSetAsideAndANewOneBegun) {
  open.reset();
  const std::string garbage(9000, 'x');
  std::ofstream(path) << garbage;
  std::ofstream(path + ".head") << "7 " << std::string(64, 'a') << "\n";
  open = journal::Journal::Open(path, warning);
  ASSERT_NE(open, nullptr);
  std::vector<fs::path> aside;
  for (const auto& f : fs::directory_iterator(fs::path(path).parent_path())) {
    const std::string name = f.path().filename().string();
    if (name.starts_with("journal-damaged-") && name.ends_with(".sqlite")) {
      aside.push_back(f.path());
    }
  }
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_NE(warning.find(aside[0].string()), std::string::npos) << warning;
  std::ifstream kept(aside[0]);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), garbage);
  journal::Entry e;
  EXPECT_TRUE(open->Append(e, warning));
  EXPECT_EQ(open->List({}).size(), 1u);
  EXPECT_TRUE(open->Verify().empty());
}

TEST_F(JournalTest, OneThatCannotBeOpenedSaysSoAndIsNotReplaced) {
  open.reset();
  const std::string blocked = home.Dir() + "/blocked/journal.sqlite";
  std::ofstream(home.Dir() + "/blocked") << "a file where the folder should be";
  warning.clear();
  EXPECT_EQ(journal::Journal::Open(blocked, warning), nullptr);
  EXPECT_EQ(warning.find("Журнал изменений недоступен (" + blocked + ")"), 0u) << warning;
}

// One dialog's requests over a scripted link, as the engine hands them to the recorder.
TEST_F(JournalTest, RecordsEachWriteWithItsOutcomeAndCalibrationsWithTheirReadings) {
  ASSERT_NE(open, nullptr) << warning;
  ui::ScopedHeadlessPlatform platform;
  FakeLink link;
  link.likeARealLink = true;
  journal::Recorder recorder(open.get(), "имитатор", {});
  hart::SetRequestObserver(&recorder);
  const TDaneIPPC record = UnlikeDefaultsRecord();
  auto probe = std::make_unique<ProbeDialog>(TSerialPortSettings{{}, nullptr, &link}, &record);
  ASSERT_TRUE(probe->CreateModeless());
  link.Answer(1, ReplyData({{7}, WireFloat(2.25f)}));
  link.Answer(67, ReplyData({{0, 7}, WireFloat(0.25f)}));
  link.Answer(44, {}, 7);
  link.Answer(59, {5}, 8);
  for (const Bytes& request :
       {ToRecord(34, WireFloat(2.0f)), ToRecord(1), ToRecord(67, ReplyData({{0, 7}, WireFloat(0.5f)})),
        ToRecord(44, {12}), ToRecord(59, {4})}) {
    probe->SendRaw(request);
    platform->Advance(FakeLink::kAnswerDelayMs);
  }
  probe->SendRaw(ToRecord(47, {0}));
  probe->SendRaw(ToRecord(35, ReplyData({{7}, WireFloat(20.0f), WireFloat(0.0f)})));
  probe.reset();
  hart::SetRequestObserver(nullptr);

  struct Row {
    int command;
    std::string field, before, sent, readBack, outcome, asFound, asLeft;
  };
  const std::vector<Row> expected{
      {34, "Постоянная времени", "1.5 с", "2 с", "2 с", "выполнено", "", ""},
      {67, "Калибровка давления: начальная точка", "", "0.5 [Bar]", "0.25 [Bar]", "выполнено",
       "2.25 [Bar]", "0.25 [Bar]"},
      {44, "Единицы", "[Bar]", "[кПа]", "",
       "отказ прибора. Код ответа 7: Преобразователь защищён от записи.", "", ""},
      {59, "Число преамбул", "9", "4", "5",
       "выполнено. Код ответа 8: Предупреждение: установлено ближайшее возможное значение.", "",
       ""},
      {47, "Характеристика преобразования", "Корень 2 ст.", "Линейная", "",
       "ответ не дождались: запрос заменён следующим", "", ""},
      {35, "Диапазон", "верхний 16, нижний -0.5 [Bar]", "верхний 20, нижний 0 [Bar]", "",
       "ответ не дождались: окно закрыто", "", ""},
  };
  journal::Filter ours;
  ours.deviceId = 0x0A1B2C;
  const auto entries = open->List(ours);
  ASSERT_EQ(entries.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const journal::Entry& e = entries[i];
    const Row& x = expected[i];
    SCOPED_TRACE(x.field);
    EXPECT_EQ(e.command, x.command);
    EXPECT_EQ((std::vector<std::string>{e.field, e.before, e.sent, e.readBack, e.outcome,
                                        e.asFound, e.asLeft}),
              (std::vector<std::string>{x.field, x.before, x.sent, x.readBack, x.outcome,
                                        x.asFound, x.asLeft}));
    EXPECT_EQ((std::vector<std::string>{std::to_string(e.manufacturer),
                                        std::to_string(e.deviceType), e.tag, e.link}),
              (std::vector<std::string>{"38", "3", "ПД-107", "имитатор"}));
  }
  EXPECT_TRUE(open->Verify().empty());
}

}  // namespace
