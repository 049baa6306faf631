#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/main_window.h"
#include "app/menu.h"
#include "data/data_file.h"
#include "tests/support/fixture_records.h"
#include "ui/headless/headless_platform.h"

namespace {

// A top-level window that notes, on each broadcast of the document message, what the database
// and the data panel hold at that moment.
class BroadcastProbe : public ui::Window {
 public:
  explicit BroadcastProbe(TMyWindow& main) : ui::Window(nullptr), main_(main) { Create(); }
  std::vector<std::string> seen;

 protected:
  ui::LResult HandleMessage(unsigned message, ui::WParam w, ui::LParam l) override {
    if (message == kMsgFileChanged) {
      TDane& db = main_.Database();
      seen.push_back("117/" + std::to_string(w) + " count " + std::to_string(db.Count()) +
                     " first " + std::to_string(db.Place(0).deviceId) + " panel " +
                     main_.Panel()->Item(732)->Text());
    }
    return ui::Window::HandleMessage(message, w, l);
  }

 private:
  TMyWindow& main_;
};

// The identified record is appended, then announced, and only then shown by the panel.
TEST(MainWindow, IdentificationStoresAnnouncesThenShowsTheRecord) {
  ui::ScopedHeadlessPlatform platform;
  TMyWindow window;
  window.Create();
  BroadcastProbe probe(window);
  platform->Advance(5000);  // start-up identification
  EXPECT_EQ(probe.seen, (std::vector<std::string>{"117/1 count 1 first 12556 panel 0"}));
  EXPECT_EQ(window.Panel()->Item(732)->Text(), "12556");

  // Again over a loaded database whose first record the panel shows.
  TDane& db = window.Database();
  db.Clear();
  ASSERT_TRUE(db.Append(UnlikeDefaultsRecord()));
  ASSERT_TRUE(db.Append(BystanderRecord()));
  window.Panel()->SendMessage(kMsgShowRecord);
  probe.seen.clear();
  window.SendMessage(ui::kMsgCommand, ui::MakeWParam(kCmdIdentify, 0));
  EXPECT_EQ(probe.seen, (std::vector<std::string>{"117/1 count 1 first 12556 panel 662316"}));
  EXPECT_EQ(window.Panel()->Item(732)->Text(), "12556");
}

// The command line prints the panel's own texts, the signed date included.
TEST(CommandLineTool, ShowPrintsTheDateAsThePanelShowsIt) {
  TDane db;
  TDaneIPPC first = UnlikeDefaultsRecord();
  first.dateDay = 200;
  db.Append(first);
  db.Append(BystanderRecord());
  const std::string path = ::testing::TempDir() + "k7_signed_date.pom";
  ASSERT_TRUE(datafile::WriteDatabaseFile(path, db));
  CommandLine show;
  show.command = CommandLine::Command::Show;
  show.file = path;
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&text, &size);
  std::FILE* err = std::tmpfile();
  EXPECT_EQ(RunShow(show, out, err), 0);
  std::fclose(out);
  std::fclose(err);
  const std::string shown(text, size);
  std::free(text);
  std::remove(path.c_str());
  EXPECT_NE(shown.find("Запись 1\nТип преобразователя: TDG-4300\nЗаводской номер: 662316\n"),
            std::string::npos);
  EXPECT_NE(shown.find("Дата: -56-3-2021\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Дата: 28-11-2018\n"), std::string::npos) << shown;
}

}  // namespace
