#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "app/command_line.h"
#include "app/main_window.h"
#include "app/menu.h"
#include "data/data_file.h"
#include "tests/support/identified_record.h"
#include "ui/headless/headless_platform.h"

namespace {

class StartUp : public ::testing::Test {
 protected:
  void SetUp() override { platform->SetToday({7, 12, 2026}); }
  ui::ScopedHeadlessPlatform platform;
};

TEST_F(StartUp, SplashThenIdentificationThenTheIdentifiedRecord) {
  std::vector<std::int64_t> identificationStarts;
  TMyWindow window;
  window.Create();
  EXPECT_EQ(window.Caption(), "Программа Коммуникации Kestrel7");
  EXPECT_EQ(window.Menu()->name, "COMMANDS");

  platform->Advance(99);
  EXPECT_FALSE(window.Panel()->IsCreated());
  platform->Advance(1);
  EXPECT_TRUE(window.Panel()->IsCreated());
  ASSERT_NE(window.AboutBox(), nullptr);
  EXPECT_TRUE(window.AboutBox()->IsCreated());
  EXPECT_EQ(window.Panel()->Item(732)->Text(), "0");

  platform->OnModal(310, [&](ui::Dialog& dialog) {
    identificationStarts.push_back(platform->NowMs());
    EXPECT_EQ(window.AboutBox(), nullptr);
    platform->RunUntil([&] { return dialog.Ended(); }, 10000);
  });
  platform->Advance(1499);
  EXPECT_TRUE(identificationStarts.empty());
  platform->Advance(1);
  EXPECT_EQ(identificationStarts, (std::vector<std::int64_t>{1600}));
  // Six transactions of 400 ms and the 500 ms close delay.
  EXPECT_EQ(platform->NowMs(), 1600 + 6 * 400 + 500);

  const TDane& db = window.Database();
  ASSERT_EQ(db.Count(), 1u);
  const TDaneIPPC& record = db.At(0);
  EXPECT_EQ(record.deviceId, 12556);
  EXPECT_EQ(record.deviceType, 1);
  EXPECT_EQ(record.unitCode, 12);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(record.upperRange),
            std::bit_cast<std::uint32_t>(249.99609375f));
  EXPECT_EQ(record.recordDay, 7);
  EXPECT_EQ(record.recordMonth, 12);
  EXPECT_EQ(record.recordYear, 2026);
  EXPECT_TRUE(window.DataFile().Changed());
  EXPECT_TRUE(window.DataFile().Untitled());
  EXPECT_EQ(window.Panel()->Item(732)->Text(), "12556");
  EXPECT_EQ(window.Caption(), "Программа Коммуникации Kestrel7");
  EXPECT_TRUE(platform->MessageBoxes().empty());
}

TEST_F(StartUp, IdentificationAgainReplacesALoadedDatabase) {
  TMyWindow window;
  window.Create();
  platform->Advance(5000);
  TDane& db = window.Database();
  for (int i = 0; i < 3; ++i) db.Append(TDaneIPPC{});
  ASSERT_EQ(db.Count(), 4u);
  window.SendMessage(ui::kMsgCommand, ui::MakeWParam(kCmdIdentify, 0));
  EXPECT_EQ(db.Count(), 1u);
  EXPECT_EQ(db.At(0).deviceId, 12556);
}

TEST_F(StartUp, CaptionNamesTheFileOnceItHasOne) {
  const std::string path = ::testing::TempDir() + "k7_caption.pom";
  TMyWindow window;
  window.Create();
  platform->Advance(5000);
  platform->QueueFileAnswer(path);
  window.SendMessage(ui::kMsgCommand, ui::MakeWParam(kCmdSaveAs, 0));
  EXPECT_EQ(window.Caption(), "Программа Коммуникации Kestrel7" + path);
  std::remove(path.c_str());
}

TEST_F(StartUp, ExitAsksTheSaveQuestionAndCancelKeepsTheWindow) {
  TMyWindow window;
  window.Create();
  platform->Advance(5000);
  platform->QueueAnswer(ui::kIdCancel);
  window.SendMessage(ui::kMsgCommand, ui::MakeWParam(kCmdExit, 0));
  ASSERT_EQ(platform->MessageBoxes().size(), 1u);
  EXPECT_EQ(platform->MessageBoxes()[0].text, "Рапорт составлен. Куда хочешь записать?");
  EXPECT_TRUE(window.IsCreated());
  EXPECT_FALSE(platform->QuitRequested());

  platform->QueueAnswer(ui::kIdNo);
  window.SendMessage(ui::kMsgClose);
  EXPECT_FALSE(window.IsCreated());
  EXPECT_TRUE(platform->QuitRequested());
}

TEST_F(StartUp, MenuItemsWithoutActionLeaveEverythingAsItWas) {
  TMyWindow window;
  window.Create();
  platform->Advance(5000);
  for (int id : {kCmdSelectPort, kCmdPassword}) {
    window.SendMessage(ui::kMsgCommand, ui::MakeWParam(id, 0));
  }
  EXPECT_TRUE(platform->MessageBoxes().empty());
  EXPECT_EQ(window.Database().Count(), 1u);
  EXPECT_TRUE(window.IsCreated());
}

TEST_F(StartUp, EachMenuCommandOpensItsDialogOnTheIdentifiedRecord) {
  TMyWindow window;
  window.Create();
  platform->Advance(5000);
  const std::pair<int, int> commands[] = {
      {kCmdReadPv, 890},           {kCmdFixedCurrent, 950},       {kCmdMessages, 921},
      {kCmdAddressAndPreambles, 923}, {kCmdUnits, 810},           {kCmdTransferFunction, 920},
      {kCmdDamping, 820},          {kCmdRangeByValues, 830},      {kCmdRangeByPressure, 925},
      {kCmdZero, 860},             {kCmdPressureCalibration, 900}, {kCmdCurrentCalibration, 922},
      {kCmdAbout, 104}};
  for (const auto& [command, resource] : commands) {
    int opened = 0;
    platform->OnModal(resource, [&](ui::Dialog& dialog) {
      ++opened;
      EXPECT_EQ(dialog.Parent(), &window);
    });
    window.SendMessage(ui::kMsgCommand, ui::MakeWParam(command, 0));
    EXPECT_EQ(opened, 1) << command;
  }
  EXPECT_TRUE(platform->MessageBoxes().empty());
}

TEST_F(StartUp, AListDialogOnAnEmptyDatabaseReportsItself) {
  TMyWindow window;
  window.Create();
  platform->OnModal(310, [](ui::Dialog& dialog) { dialog.Item(ui::kIdCancel)->UserClick(); });
  platform->Advance(5000);
  ASSERT_EQ(window.Database().Count(), 0u);
  window.SendMessage(ui::kMsgCommand, ui::MakeWParam(kCmdUnits, 0));
  ASSERT_EQ(platform->MessageBoxes().size(), 1u);
  EXPECT_EQ(platform->MessageBoxes()[0].text,
            "Отсутствие рапорта преобразователя.\nВыполни идентификацию!!!");
}

TEST_F(StartUp, PrintCommandPrintsOnePageOfTheFirstRecord) {
  TMyWindow window;
  window.Create();
  platform->Advance(5000);
  platform->QueuePrintAnswer(false);
  window.SendMessage(ui::kMsgCommand, ui::MakeWParam(kCmdPrint, 0));
  EXPECT_TRUE(platform->PrintedPages().empty());
  window.SendMessage(ui::kMsgCommand, ui::MakeWParam(kCmdPrint, 0));
  ASSERT_EQ(platform->PrintedPages().size(), 1u);
  const auto& page = platform->PrintedPages()[0];
  ASSERT_EQ(page.size(), 19u);
  EXPECT_EQ(page[0].text, "Рапорт проверки преобразователя, составлен 7-12-2026.");
  EXPECT_EQ(page[2].text, "Фабричный номер: 12556");
  EXPECT_EQ(page[18].x, 906);
  EXPECT_EQ(page[18].y, 3014);
}

// Cancelled identification and a closed data panel are no dead ends: the toolbar under the menu
// and its shortcut keys bring both back, and carry the data file's commands.
TEST_F(StartUp, ToolbarAndShortcutsLeadBackFromCancelAndClose) {
  TMyWindow window;
  ASSERT_NE(window.Toolbar(), nullptr);
  std::vector<std::pair<int, std::string>> buttons;
  for (const ui::ToolbarButton& button : window.Toolbar()->buttons) {
    if (button.id == 0) continue;
    buttons.emplace_back(button.id, button.shortcut);
    EXPECT_FALSE(button.tooltip.empty()) << button.id;
    EXPECT_FALSE(button.icon.empty()) << button.id;
  }
  EXPECT_EQ(buttons, (std::vector<std::pair<int, std::string>>{{kCmdIdentify, "F5"},
                                                                {kCmdFindDevices, "Ctrl+F"},
                                                                {kCmdLink, "Ctrl+L"},
                                                                {kCmdNewFile, "Ctrl+N"},
                                                                {kCmdOpen, "Ctrl+O"},
                                                                {kCmdSave, "Ctrl+S"},
                                                                {kCmdRecreatePanel, "Ctrl+D"},
                                                                {kCmdReadPv, "Ctrl+R"},
                                                                {kCmdTrend, "Ctrl+T"},
                                                                {kCmdCompare, ""},
                                                                {kCmdJournal, ""},
                                                                {kCmdPrint, "Ctrl+P"}}));

  window.Create();
  platform->OnModal(310, [](ui::Dialog& dialog) { dialog.Item(ui::kIdCancel)->UserClick(); });
  platform->Advance(5000);
  ASSERT_EQ(window.Database().Count(), 0u);
  platform->ClearModalHandlers();
  ASSERT_TRUE(platform->PressShortcut(window, "F5"));
  ASSERT_EQ(window.Database().Count(), 1u);
  EXPECT_EQ(window.Database().At(0).deviceId, 12556);

  window.Panel()->SendMessage(ui::kMsgClose);  // its close box
  ASSERT_FALSE(window.Panel()->IsCreated());
  ASSERT_TRUE(platform->PressToolbarButton(window, kCmdRecreatePanel));
  ASSERT_TRUE(window.Panel()->IsCreated());
  EXPECT_TRUE(platform->IsShown(*window.Panel()));
  EXPECT_EQ(window.Panel()->Item(732)->Text(), "12556");

  // The data file: open and save ask for a name (both cancelled), a new file empties.
  platform->QueueAnswer(ui::kIdNo);  // not saving the identified record
  platform->QueueFileAnswer(std::nullopt);
  ASSERT_TRUE(platform->PressShortcut(window, "Ctrl+O"));
  platform->QueueFileAnswer(std::nullopt);
  ASSERT_TRUE(platform->PressShortcut(window, "Ctrl+S"));
  ASSERT_EQ(platform->FileDialogs().size(), 2u);
  EXPECT_EQ(window.Database().Count(), 1u);
  ASSERT_TRUE(platform->PressShortcut(window, "Ctrl+P"));
  EXPECT_EQ(platform->PrintedPages().size(), 1u);

  // A modal dialog blocks the toolbar as it blocks the window.
  int readings = 0;
  platform->OnModal(890, [&](ui::Dialog&) {
    ++readings;
    EXPECT_FALSE(platform->PressToolbarButton(window, kCmdRecreatePanel));
    EXPECT_FALSE(platform->PressShortcut(window, "Ctrl+N"));
  });
  ASSERT_TRUE(platform->PressToolbarButton(window, kCmdReadPv));
  EXPECT_EQ(readings, 1);

  platform->QueueAnswer(ui::kIdNo);
  ASSERT_TRUE(platform->PressShortcut(window, "Ctrl+N"));
  EXPECT_EQ(window.Database().Count(), 0u);
  EXPECT_FALSE(platform->PressToolbarButton(window, kCmdUnits)) << "menu commands stay in the menu";
  EXPECT_FALSE(platform->PressShortcut(window, "Ctrl+Q"));
}

// The trend opens from the toolbar alone, beside the rest, and reads the identified transmitter
// through the window's own link; a second press brings the same window back into view.
TEST_F(StartUp, TheToolbarsTrendIsOneModelessWindowOfTheIdentifiedTransmitter) {
  TMyWindow window;
  window.Create();
  for (const ui::MenuPopup& popup : window.Menu()->popups) {
    for (const ui::MenuItem& item : popup.items) EXPECT_NE(item.id, kCmdTrend) << item.text;
  }
  // Before identification there is no transmitter to read: the operator is told so.
  ASSERT_TRUE(platform->PressToolbarButton(window, kCmdTrend));
  EXPECT_EQ(window.Trend(), nullptr);
  ASSERT_EQ(platform->MessageBoxes().size(), 1u);
  EXPECT_EQ(platform->MessageBoxes()[0].text,
            "Отсутствие рапорта преобразователя.\nВыполни идентификацию!!!");
  platform->Advance(5000);
  ASSERT_EQ(window.Database().Count(), 1u);

  ASSERT_TRUE(platform->PressToolbarButton(window, kCmdTrend));
  TWykres* trend = window.Trend();
  ASSERT_NE(trend, nullptr);
  EXPECT_TRUE(trend->IsCreated());
  EXPECT_FALSE(trend->IsModal());
  EXPECT_TRUE(platform->IsShown(*trend));
  EXPECT_EQ(platform->ModalDepth(), 0);
  platform->Advance(1200);
  ASSERT_EQ(trend->Series().Readings(), 3);
  // The simulated transmitter's reply, as the wire carries it, in the identified record's kPa.
  const calib::PvReading last = trend->Series().LastReading()->ToReading();
  EXPECT_EQ(std::bit_cast<std::uint32_t>(last.pv), 0x43183AE1u);
  EXPECT_EQ(last.unitCode, 12);
  EXPECT_EQ(trend->PlotUnit(), 12);

  // Out of view, the second press shows the same window, which has gone on reading.
  trend->Show(false);
  platform->Advance(400);
  ASSERT_TRUE(platform->PressToolbarButton(window, kCmdTrend));
  EXPECT_EQ(window.Trend(), trend);
  EXPECT_TRUE(platform->IsShown(*trend));
  EXPECT_EQ(trend->Series().Readings(), 4);

  // Closed, it opens anew; the main window's end ends it.
  ASSERT_TRUE(trend->Item(ui::kIdCancel)->UserClick());
  ASSERT_TRUE(platform->PressToolbarButton(window, kCmdTrend));
  ASSERT_NE(window.Trend(), nullptr);
  EXPECT_TRUE(window.Trend()->IsCreated());
  EXPECT_EQ(window.Trend()->Series().Size(), 0u);
  window.Destroy();
  EXPECT_FALSE(window.Trend()->IsCreated());
}

// During the splash, F5 is the identification the splash leads to, and a dialog the
// technician opened keeps identification waiting until it closes.
TEST_F(StartUp, CommandsDuringTheSplashComeFirst) {
  int identifications = 0;
  platform->OnModal(310, [&](ui::Dialog& dialog) {
    ++identifications;
    platform->RunUntil([&] { return dialog.Ended(); }, 10000);
  });
  {
    TMyWindow window;
    window.Create();
    platform->Advance(100);
    ASSERT_TRUE(platform->PressShortcut(window, "F5"));
    EXPECT_EQ(window.AboutBox(), nullptr);
    platform->Advance(5000);
    EXPECT_EQ(identifications, 1);
  }
  TMyWindow window;
  window.Create();
  platform->Advance(100);
  platform->OnModal(104, [&](ui::Dialog&) {
    platform->Advance(3000);
    EXPECT_EQ(identifications, 1) << "not on top of the open dialog";
  });
  window.SendMessage(ui::kMsgCommand, ui::MakeWParam(kCmdAbout, 0));
  platform->Advance(100);
  EXPECT_EQ(identifications, 2);
}

TEST(MainWindow, ErasesTheBackgroundWithARaisedFrame) {
  ui::ScopedHeadlessPlatform platform;
  TMyWindow window;
  window.Create();
  platform->Paint(window);
  const auto& ops = platform->Drawing(window);
  ASSERT_GE(ops.size(), 5u);
  const int w = window.ClientRect().width;
  const int h = window.ClientRect().height;
  EXPECT_EQ(ops[0].rect, (ui::Rect{0, 0, w, h}));
  EXPECT_EQ(ops[1].rect, (ui::Rect{0, 0, w, 2}));
  EXPECT_EQ(ops[2].rect, (ui::Rect{0, 2, 2, h - 2}));
  EXPECT_EQ(ops[3].rect, (ui::Rect{1, h - 2, w - 1, 2}));
  EXPECT_EQ(ops[4].rect, (ui::Rect{w - 2, 1, 2, h - 3}));
  EXPECT_EQ(ops[4].color, ui::ThePlatform().GetSysColor(ui::SysColor::ButtonShadow));
}

std::string Capture(const std::function<void(std::FILE*, std::FILE*)>& run, std::string* err) {
  char* outText = nullptr;
  char* errText = nullptr;
  std::size_t outSize = 0;
  std::size_t errSize = 0;
  std::FILE* out = open_memstream(&outText, &outSize);
  std::FILE* errFile = open_memstream(&errText, &errSize);
  run(out, errFile);
  std::fclose(out);
  std::fclose(errFile);
  std::string result(outText, outSize);
  if (err != nullptr) *err = std::string(errText, errSize);
  std::free(outText);
  std::free(errText);
  return result;
}

const char* const kArgv[] = {"kestrel7"};

TEST(CommandLineTool, ParsesCommandsAndRefusesNonsense) {
  const char* identify[] = {"kestrel7", "identify", "-o", "a.pom", "--trace", "-"};
  CommandLine args = ParseCommandLine(6, identify);
  EXPECT_EQ(args.command, CommandLine::Command::Identify);
  EXPECT_EQ(args.output, "a.pom");
  EXPECT_EQ(args.trace, "-");
  EXPECT_EQ(ParseCommandLine(1, kArgv).command, CommandLine::Command::Desktop);
  const char* show[] = {"kestrel7", "show"};
  EXPECT_EQ(ParseCommandLine(2, show).command, CommandLine::Command::Error);
  const char* odd[] = {"kestrel7", "fly"};
  EXPECT_EQ(ParseCommandLine(2, odd).command, CommandLine::Command::Error);
  const char* help[] = {"kestrel7", "show", "x", "--help"};
  EXPECT_EQ(ParseCommandLine(4, help).command, CommandLine::Command::Help);

  // A data file for the window: by its extension, or because it exists.
  const std::string existing = ::testing::TempDir() + "k7_existing_data";
  std::ofstream(existing) << "1\n";
  const struct {
    std::vector<const char*> argv;
    CommandLine::Command command;
    std::string file;
  } cases[] = {
      {{"kestrel7", "Rapport.POM"}, CommandLine::Command::Desktop, "Rapport.POM"},
      {{"kestrel7", "--port", "/dev/ttyUSB0", "a.pom"}, CommandLine::Command::Desktop, "a.pom"},
      {{"kestrel7", existing.c_str()}, CommandLine::Command::Desktop, existing},
      {{"kestrel7", "a.pom", "b.pom"}, CommandLine::Command::Error, "a.pom"},
      {{"kestrel7", "a.pom", "-o", "b.pom"}, CommandLine::Command::Error, "a.pom"},
      {{"kestrel7", "identify", "a.pom"}, CommandLine::Command::Error, ""},
      {{"kestrel7", "a.pom", "identify"}, CommandLine::Command::Error, "a.pom"},
      {{"kestrel7", "no_such_thing"}, CommandLine::Command::Error, ""},
      {{"kestrel7", "identify", "-o", ""}, CommandLine::Command::Error, ""},
      {{"kestrel7", "--trace", ""}, CommandLine::Command::Error, ""},
  };
  for (const auto& c : cases) {
    const CommandLine parsed = ParseCommandLine(static_cast<int>(c.argv.size()), c.argv.data());
    EXPECT_EQ(parsed.command, c.command) << c.argv.back();
    EXPECT_EQ(parsed.file, c.file) << c.argv.back();
  }
  std::remove(existing.c_str());
}

// "kestrel7 FILE.pom": the start-up opens the file instead of identifying; a file that cannot
// be read is said so and the program starts empty and untitled.
TEST_F(StartUp, AFileFromTheCommandLineOpensInsteadOfIdentification) {
  const std::string path = ::testing::TempDir() + "k7_start.pom";
  {
    TDane db;
    TDaneIPPC record;
    record.deviceId = 4242;
    record.unitCode = 237;
    db.Append(record);
    db.Append(IdentifiedRecord());
    ASSERT_TRUE(datafile::WriteDatabaseFile(path, db));
  }
  int identifications = 0;
  platform->OnModal(310, [&](ui::Dialog&) { ++identifications; });
  for (const std::string& name : {path, path + ".missing"}) {
    SCOPED_TRACE(name);
    const bool readable = name == path;
    platform->ClearMessageBoxes();
    TMyWindow window;
    window.OpenAtStart(name);
    window.Create();
    platform->Advance(5000);
    EXPECT_EQ(identifications, 0);
    EXPECT_FALSE(window.DataFile().Changed());
    EXPECT_EQ(window.DataFile().Untitled(), !readable);
    if (readable) {
      ASSERT_EQ(window.Database().Count(), 2u);
      EXPECT_EQ(window.Panel()->Item(732)->Text(), "4242");
      EXPECT_EQ(window.Caption(), "Программа Коммуникации Kestrel7" + name);
      EXPECT_TRUE(platform->MessageBoxes().empty());
    } else {
      EXPECT_EQ(window.Database().Count(), 0u);
      EXPECT_EQ(window.Caption(), "Программа Коммуникации Kestrel7");
      ASSERT_EQ(platform->MessageBoxes().size(), 1u);
      EXPECT_EQ(platform->MessageBoxes()[0].text, "Не найдено файла данных");
      EXPECT_EQ(platform->MessageBoxes()[0].caption, "Ошибка считывания данных");
    }
  }
  // The toolbar still identifies the transmitter on the loop.
  TMyWindow window;
  window.OpenAtStart(path);
  window.Create();
  platform->Advance(5000);
  platform->ClearModalHandlers();
  ASSERT_TRUE(platform->PressToolbarButton(window, kCmdIdentify));
  ASSERT_EQ(window.Database().Count(), 1u);
  EXPECT_EQ(window.Database().At(0).deviceId, 12556);
  std::remove(path.c_str());
}

TEST(CommandLineTool, IdentifyWritesTheFileAndShowPrintsItAsThePanelDoes) {
  const std::string path = ::testing::TempDir() + "k7_identify.pom";
  const std::string tracePath = ::testing::TempDir() + "k7_identify.trace";
  CommandLine args;
  args.command = CommandLine::Command::Identify;
  args.output = path;
  args.trace = tracePath;
  std::string err;
  const std::string printed =
      Capture([&](std::FILE* out, std::FILE* e) { EXPECT_EQ(RunIdentify(args, out, e), 0); }, &err);
  EXPECT_EQ(err, "");
  // The record names the first model; the line says what the transmitter said.
  EXPECT_EQ(printed, "HART 5, изготовитель 0x003F, тип 0x00C8, номер 12556, адрес 0\n");
  std::ifstream file(path);
  std::string firstLine;
  std::getline(file, firstLine);
  EXPECT_EQ(firstLine, "1");
  std::ifstream trace(tracePath);
  std::string traceLine;
  std::getline(trace, traceLine);
  EXPECT_EQ(traceLine, "1600 TX 02 00 00 00 02 preambles=5 p1=3 p2=26 long=0");

  CommandLine show;
  show.command = CommandLine::Command::Show;
  show.file = path;
  const std::string shown =
      Capture([&](std::FILE* out, std::FILE* e) { EXPECT_EQ(RunShow(show, out, e), 0); }, &err);
  EXPECT_NE(shown.find("Запись 1\n"), std::string::npos);
  EXPECT_NE(shown.find("Заводской номер: 12556\n"), std::string::npos);
  EXPECT_NE(shown.find("Тип преобразователя: TPG-4100\n"), std::string::npos);
  EXPECT_NE(shown.find("Единицы: [кПа]\n"), std::string::npos);
  EXPECT_NE(shown.find("Дата: 31-8-2000\n"), std::string::npos);
  std::remove(path.c_str());
  std::remove(tracePath.c_str());
}

TEST(CommandLineTool, ShowOfADamagedFilePrintsTheCompleteRecordsAndFails) {
  ui::ScopedHeadlessPlatform platform;
  TDane db;
  TDaneIPPC record;
  record.deviceId = 4242;
  db.Append(record);
  std::string text = datafile::DatabaseText(db);
  text.replace(0, 1, "3");  // promises three records, holds one
  const std::string path = ::testing::TempDir() + "k7_damaged.pom";
  std::ofstream(path) << text;
  CommandLine show;
  show.command = CommandLine::Command::Show;
  show.file = path;
  std::string err;
  const std::string shown =
      Capture([&](std::FILE* out, std::FILE* e) { EXPECT_EQ(RunShow(show, out, e), 1); }, &err);
  EXPECT_NE(shown.find("Заводской номер: 4242\n"), std::string::npos);
  EXPECT_EQ(shown.find("Запись 2"), std::string::npos);
  EXPECT_EQ(err, "Файл данных повреждён.\nСчитано записей: 1.\n");

  show.file = ::testing::TempDir() + "k7_no_such_file.pom";
  Capture([&](std::FILE* out, std::FILE* e) { EXPECT_EQ(RunShow(show, out, e), 1); }, &err);
  EXPECT_EQ(err.rfind("Не найдено файла данных", 0), 0u);
  std::remove(path.c_str());

  // A file that fails on reading, and a screen that takes nothing: each said, and a failure.
  show.file = "/proc/self/mem";
  Capture([&](std::FILE* out, std::FILE* e) { EXPECT_EQ(RunShow(show, out, e), 1); }, &err);
  EXPECT_EQ(err, "Не удалось прочитать файл данных: /proc/self/mem\nОшибка ввода-вывода.\n");
  CommandLine identify;
  identify.command = CommandLine::Command::Identify;
  std::FILE* full = std::fopen("/dev/full", "w");
  Capture([&](std::FILE*, std::FILE* e) { EXPECT_EQ(RunIdentify(identify, full, e), 1); }, &err);
  std::fclose(full);
  EXPECT_EQ(err, "Не удалось вывести данные.\nНет места на диске.\n");
}

}  // namespace
