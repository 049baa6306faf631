#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "app/journal_command.h"
#include "app/journal_session.h"
#include "app/journal_window.h"
#include "app/main_window.h"
#include "app/menu.h"
#include "config/damping_dialog.h"
#include "hart/simulated_link.h"
#include "tests/support/temp_data_home.h"
#include "ui/headless/headless_platform.h"

namespace {

struct Outcome {
  int status = 0;
  std::string out;
  std::string err;
};

std::string Drain(std::FILE* file) {
  std::rewind(file);
  std::string text;
  char buffer[4096];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, file)) text.append(buffer, n);
  std::fclose(file);
  return text;
}

Outcome Journal(std::vector<const char*> args) {
  args.insert(args.begin(), {"kestrel7", "journal"});
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  Outcome r;
  r.status = RunJournal(static_cast<int>(args.size()), args.data(), out, err);
  r.out = Drain(out);
  r.err = Drain(err);
  return r;
}

// Types a damping into its dialog and sends it, as the technician does.
void WriteDamping(ui::HeadlessPlatform& platform, TMyWindow& window, const char* value) {
  platform.OnModal(TDamping::kResourceId, [&](ui::Dialog& d) {
    ASSERT_TRUE(d.Item(TDamping::kNewField)->UserType(value));
    ASSERT_TRUE(d.Item(TLista::kSendButtonId)->UserClick());
    platform.Advance(1000);
    d.EndDialog(ui::kIdCancel);
  });
  window.SendMessage(ui::kMsgCommand, ui::MakeWParam(kCmdDamping, 0));
}

// A damping written from its dialog in the window, as the technician does it: the entry is in
// «Журнал изменений», in its CSV export, and in `kestrel7 journal` for that transmitter only.
TEST(JournalCommand, ADialogWriteIsInTheWindowItsExportAndTheListing) {
  TempDataHome home;
  const std::string exported = home.Dir() + "/shown.csv";
  std::vector<journal::Entry> shown;
  {
    ui::ScopedHeadlessPlatform platform;
    JournalSession session("имитатор", [](const std::string& w) { ADD_FAILURE() << w; });
    ASSERT_NE(session.Journal(), nullptr);
    TMyWindow window;
    window.SetJournalSession(&session);
    window.Create();
    platform->Advance(5000);
    ASSERT_EQ(window.Database().Count(), 1u);
    // Another link chosen: the entries from now on name it.
    LinkChoice gateway;
    gateway.kind = LinkChoice::Kind::HartIp;
    gateway.host = "10.0.0.5";
    window.UseLink(std::make_unique<hart::SimulatedLink>(), gateway);
    WriteDamping(*platform, window, "2.5");
    platform->QueueFileAnswer(home.Dir() + "/open.pom");
    window.SendMessage(ui::kMsgCommand, ui::MakeWParam(kCmdSaveAs, 0));
    std::ifstream saved(home.Dir() + "/open.pom");
    const std::string records{std::istreambuf_iterator<char>(saved), {}};
    ASSERT_FALSE(records.empty());
    platform->OnModal(TJournalWindow::kResourceId, [&](ui::Dialog& d) {
      auto& w = static_cast<TJournalWindow&>(d);
      shown = w.Shown();
      ASSERT_TRUE(d.Item(TJournalWindow::kFilterId)->UserType("нет ответа"));
      EXPECT_TRUE(w.Shown().empty());
      ASSERT_TRUE(d.Item(TJournalWindow::kFilterId)->UserType("2.5"));
      platform->QueueFileAnswer(exported);
      ASSERT_TRUE(d.Item(TJournalWindow::kExportId)->UserClick());
      // Never over the open data file.
      platform->QueueFileAnswer(home.Dir() + "/open.pom");
      ASSERT_TRUE(d.Item(TJournalWindow::kExportId)->UserClick());
      d.EndDialog(ui::kIdCancel);
    });
    window.SendMessage(ui::kMsgCommand, ui::MakeWParam(kCmdJournal, 0));
    std::ifstream after(home.Dir() + "/open.pom");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(after), {}), records);
    window.Destroy();
  }
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].field, "Постоянная времени");
  EXPECT_EQ(shown[0].sent, "2.5 с");
  EXPECT_EQ(shown[0].readBack, "2.5 с");
  EXPECT_EQ(shown[0].outcome, "выполнено");
  EXPECT_EQ(shown[0].link, "HART-IP 10.0.0.5:5094 UDP");
  std::ifstream csv(exported);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(csv), {}), journal::CsvOf(shown));

  const Outcome ours = Journal({"--device", "12556"});
  EXPECT_EQ(ours.status, 0) << ours.err;
  EXPECT_EQ(ours.out, EntryLine(shown[0]) + "\n");
  EXPECT_EQ(Journal({"--device", "0x1"}).out, "");
  EXPECT_EQ(Journal({"--since", "2999-01-01"}).out, "");
  const Outcome verified = Journal({"--verify"});
  EXPECT_EQ(verified.status, 0);
  EXPECT_EQ(verified.out.find("Журнал изменений цел: 1 записей"), 0u) << verified.out;
}

// A journal that cannot be opened is one warning, kept on the status line while the transmitter
// reports no status, and the writes go on without it.
TEST(JournalCommand, AJournalThatCannotBeOpenedIsOneWarningAndTheWritesGoOn) {
  TempDataHome home;
  std::ofstream(home.Dir() + "/kestrel7") << "a file where the folder should be";
  ui::ScopedHeadlessPlatform platform;
  hart::FrameTrace trace(nullptr);
  TMyWindow window(&trace);
  std::vector<std::string> warnings;
  JournalSession session("имитатор", [&](const std::string& w) {
    warnings.push_back(w);
    window.ShowJournalWarning(w);
  });
  EXPECT_EQ(session.Journal(), nullptr);
  window.Create();
  platform->Advance(5000);
  ASSERT_EQ(window.Database().Count(), 1u);
  WriteDamping(*platform, window, "2.5");
  EXPECT_EQ(window.Database().At(0).damping, 2.5f);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0].find("Журнал изменений недоступен (" + home.Dir()), 0u) << warnings[0];
  EXPECT_NE(window.StatusLine().find(warnings[0]), std::string::npos) << window.StatusLine();
  window.Destroy();
}

TEST(JournalCommand, WrongArgumentsAreUsageErrors) {
  TempDataHome home;
  const std::vector<std::vector<const char*>> wrong{
      {"--device", "12x"},          {"--device", "0x1000000"}, {"--since", "07.12.2026"},
      {"--since", "2026-12-07x"},   {"--device", "1", "--tag", "PT"},
      {"--verify", "--csv", "a.csv"}, {"--csv"},               {"--color"},
  };
  for (const auto& args : wrong) {
    const Outcome r = Journal(args);
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_EQ(r.err.find("kestrel7 journal: "), 0u) << r.err;
  }
}

}  // namespace
