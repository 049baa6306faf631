// Every dialog of the program in a real (off-screen) window: rendered to a PNG in the build
// folder for a person to look at, with every text fitting its control.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>

#include "app/about_dialog.h"
#include "app/devices_window.h"
#include "app/compare_window.h"
#include "app/journal_window.h"
#include "app/link_dialog.h"
#include "app/main_window.h"
#include "app/menu.h"
#include "calib/address_preambles_dialog.h"
#include "calib/current_calibration_dialog.h"
#include "calib/fixed_current_dialog.h"
#include "calib/pressure_calibration_dialog.h"
#include "calib/read_pv_dialog.h"
#include "config/damping_dialog.h"
#include "config/range_pressure_dialog.h"
#include "config/range_values_dialog.h"
#include "config/transfer_function_dialog.h"
#include "config/units_dialog.h"
#include "config/zero_dialog.h"
#include "data/data_panel.h"
#include "config/messages_dialog.h"
#include "data/report.h"
#include "hart/identification_dialog.h"
#include "tests/support/identified_record.h"
#include "tests/support/temp_data_home.h"
#include "ui/qt/desktop.h"
#include "ui/qt/qt_platform.h"

namespace {

class Program : public ::testing::Test {
 protected:
  Program() {
    ui::SetPlatform(&platform_);
    db_.Append(IdentifiedRecord());
  }
  ~Program() override { ui::SetPlatform(nullptr); }

  // Shows the dialog modelessly, grabs it (and each of its tab pages) and checks its texts.
  void Render(ui::Dialog& dialog, const std::string& name) {
    dialog.CreateModeless();
    ASSERT_TRUE(dialog.IsCreated()) << name;
    platform_.RunFor(50);
    Check(dialog, name);
    for (const auto& control : dialog.Controls()) {
      if (control->Kind() != ui::ControlKind::Tab) continue;
      for (int page = 1; page < static_cast<int>(control->Items().size()); ++page) {
        control->UserSelect(page);
        platform_.RunFor(20);
        Check(dialog, name + "_tab" + std::to_string(page));
      }
    }
    dialog.EndDialog(ui::kIdCancel);
  }

  void Check(ui::Dialog& dialog, const std::string& name) {
    EXPECT_TRUE(platform_.GrabToPng(dialog, "dialog_" + name + ".png")) << name;
    for (const ui::qt::TextFit& fit : platform_.TextFits(dialog)) {
      if (fit.id != 0 && !dialog.Item(fit.id)->Visible()) continue;
      EXPECT_TRUE(fit.Fits()) << name << ": control " << fit.id << " \"" << fit.text << "\" needs "
                              << fit.neededWidth << "x" << fit.neededHeight << ", has "
                              << fit.width << "x" << fit.height;
    }
  }

  template <class Dialog>
  void RenderListDialog(const std::string& name) {
    Dialog dialog(nullptr, db_, changed_, selection_, settings_, nullptr);
    Render(dialog, name);
  }

  ui::qt::QtPlatform platform_;
  TDane db_;
  bool changed_ = false;
  int selection_ = 0;
  TSerialPortSettings settings_;
};

TEST_F(Program, EveryDialogRendersWithItsTextsFitting) {
  RenderListDialog<TReadPV>("890_read_pv");
  RenderListDialog<TUstawPrad>("950_fixed_current");
  RenderListDialog<TMessages>("921_messages");
  RenderListDialog<TPolPre>("923_address_preambles");
  RenderListDialog<TUnits>("810_units");
  RenderListDialog<TChka>("920_transfer_function");
  RenderListDialog<TDamping>("820_damping");
  RenderListDialog<TRangeVal>("830_range_values");
  RenderListDialog<TZeroSpan>("925_range_pressure");
  RenderListDialog<TPvZero>("860_zero");
  RenderListDialog<TKalCisnienia>("900_pressure_calibration");
  RenderListDialog<TKalPradu>("922_current_calibration");
  TAboutBox about(nullptr);
  Render(about, "104_about");
  TempDataHome home;
  std::string warning;
  auto journal = journal::Journal::Open(journal::DefaultPath(), warning);
  ASSERT_NE(journal, nullptr) << warning;
  journal::Entry entry;
  entry.deviceId = 12556;
  entry.tag = "ПД-107";
  entry.link = "имитатор";
  entry.field = "Диапазон";
  entry.before = "верхний 16, нижний -0.5 [Bar]";
  entry.sent = "верхний 20, нижний 0 [Bar]";
  entry.readBack = entry.sent;
  entry.outcome = "выполнено";
  ASSERT_TRUE(journal->Append(entry, warning));
  TJournalWindow journalWindow(nullptr, journal.get(), 12556, "ПД-107");
  Render(journalWindow, "985_journal");
  TDaneIPPC changed = IdentifiedRecord();
  changed.unitCode = 7;
  changed.damping = 1.5f;
  TCompareWindow compare(nullptr, settings_, changed, IdentifiedRecord());
  Render(compare, "980_compare");
  TMonitorHart panel(nullptr, db_);
  panel.CreateModeless();
  panel.Refresh();
  Render(panel, "700_panel");
  // With the device the simulated transmitter is found.
  hart::SimulatedLink simulated;
  TSerialPortSettings withLink = settings_;
  withLink.link = &simulated;
  TDataFile file(db_);
  TDevicesWindow devices(nullptr, db_, file, withLink, nullptr);
  devices.CreateModeless();
  platform_.RunFor(1500);
  Check(devices, "975_devices");
  devices.EndDialog(ui::kIdCancel);
}

// «Связь» on Qt: the ports the system has, and only the chosen kind of link's fields to fill.
TEST_F(Program, LinkDialogListsPortsAndEnablesTheChosenLinksFields) {
  LinkChoice current;
  current.kind = LinkChoice::Kind::Serial;
  current.port = "/dev/ttyUSB1";
  TLinkDialog dialog(nullptr, current, OpenLink,
                     {{"/dev/ttyUSB0", "FTDI FT232R USB UART"}, {"/dev/ttyUSB1", "Silicon Labs CP2102"}});
  dialog.CreateModeless();
  platform_.RunFor(50);
  Check(dialog, "970_link");
  EXPECT_EQ(dialog.Item(TLinkDialog::kPortDescription)->Text(), "Silicon Labs CP2102");
  ASSERT_TRUE(platform_.SimulateClick(dialog, TLinkDialog::kHartIp));
  platform_.RunFor(20);
  EXPECT_TRUE(platform_.Widget(dialog, TLinkDialog::kHost)->enabled);
  EXPECT_FALSE(platform_.Widget(dialog, TLinkDialog::kPort)->enabled);
  EXPECT_TRUE(platform_.Widget(dialog, TLinkDialog::kKey)->secret);
  Check(dialog, "970_link_hart_ip");
  dialog.EndDialog(ui::kIdCancel);
}

double Luminance(ui::Color c) {
  const auto channel = [](double v) {
    v /= 255.0;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(c.r) + 0.7152 * channel(c.g) + 0.0722 * channel(c.b);
}

// The data panel on the main window of a 1366 x 768 and a 1024 x 768 screen: docked at the
// bottom from the moment it exists, every row whole, its read-only values readable.
TEST_F(Program, DataPanelAppearsDockedWholeAndReadable) {
  for (const ui::Rect screen : {ui::Rect{0, 0, 1366, 768}, ui::Rect{0, 0, 1024, 768}}) {
    SCOPED_TRACE(screen.width);
    ui::Window main(nullptr);
    main.SetMenu(&CommandsMenu());
    main.Create();
    main.Show(true);
    main.MoveWindow(screen);
    platform_.RunFor(20);
    const ui::Rect outer = main.WindowRect();
    ASSERT_EQ(outer, screen);
    // The status line runs along the bottom, empty or not, at one height.
    const int statusHeight = main.StatusLineHeight();
    EXPECT_GT(statusHeight, 0);
    main.SetStatusLine("Статус прибора: конфигурация изменена, холодный старт");
    platform_.RunFor(20);
    const auto status = platform_.StatusLineShown(main);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->first, "Статус прибора: конфигурация изменена, холодный старт");
    EXPECT_EQ(status->second.y + statusHeight, outer.y + outer.height) << "along the bottom";
    EXPECT_EQ(main.StatusLineHeight(), statusHeight);
    ASSERT_TRUE(platform_.GrabToPng(main, "main_status_" + std::to_string(screen.width) + ".png"));

    TMonitorHart panel(&main, db_);
    panel.CreateModeless();
    panel.Refresh();
    const ui::Rect first = panel.WindowRect();
    EXPECT_EQ(first.x, outer.x);
    EXPECT_EQ(first.width, outer.width);
    EXPECT_EQ(first.y + first.height, status->second.y)
        << "docked on the status line before it first shows";
    const int clientHeight = panel.ClientRect().height;
    platform_.RunFor(TMonitorHart::kDockDelayMs + 100);
    EXPECT_EQ(panel.WindowRect(), first) << "no jump when the dock timer comes";
    EXPECT_EQ(panel.ClientRect().height, clientHeight) << "docking takes nothing off the panel";
    for (const TMonitorHart::Row& row : TMonitorHart::Rows()) {
      for (int id : {row.labelId, row.fieldId}) {
        const auto shown = platform_.Widget(panel, id);
        ASSERT_TRUE(shown);
        if (!shown->visible) continue;
        EXPECT_LE(shown->geometry.y + shown->geometry.height, panel.ClientRect().height) << id;
        EXPECT_LE(shown->geometry.x + shown->geometry.width, panel.ClientRect().width) << id;
      }
    }
    ASSERT_TRUE(platform_.GrabToPng(panel, "panel_docked_" + std::to_string(screen.width) + ".png"));

    // "12556" in its greyed field: its strokes stand out from the field at 4.5:1 at least.
    const auto image = platform_.Grab(panel);  // the client fills the resizable panel
    const ui::Rect field = platform_.Widget(panel, 732)->geometry;
    const ui::Color background = image->At(field.x + field.width - 4, field.y + field.height / 2);
    double contrast = 1.0;
    for (int y = field.y + 2; y < field.y + field.height - 2; ++y) {
      for (int x = field.x + 2; x < field.x + field.width / 2; ++x) {
        const double a = Luminance(image->At(x, y));
        const double b = Luminance(background);
        contrast = std::max(contrast, (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05));
      }
    }
    EXPECT_GE(contrast, 4.5) << "read-only values are readable";
    panel.EndDialog(ui::kIdCancel);
  }
}

// What a reading leaves on the screen must be what a fresh painting of the same values shows:
// every erased text gone to the last antialiased pixel.
TEST_F(Program, AReadingLeavesNoTraceOfTheTextsItReplaced) {
  TReadPV dialog(nullptr, db_, changed_, selection_, settings_, nullptr);
  dialog.CreateModeless();
  platform_.RunFor(50);  // set-up painted 0, 0 and "[Отсутствие]"
  ASSERT_TRUE(platform_.SimulateClick(dialog, TReadPV::kSendButtonId));
  ASSERT_TRUE(platform_.RunUntil([&] { return dialog.Pressure() != 0.0f; }, 2000));
  platform_.RunFor(50);
  const auto read = platform_.Grab(dialog);
  ASSERT_TRUE(platform_.GrabToPng(dialog, "read_pv_after_reading.png"));
  dialog.Invalidate();
  platform_.RunFor(50);
  const auto fresh = platform_.Grab(dialog);
  ASSERT_TRUE(read && fresh);
  ASSERT_EQ(read->pixels.size(), fresh->pixels.size());
  int differing = 0;
  int blue = 0;
  for (std::size_t i = 0; i < read->pixels.size(); ++i) {
    differing += read->pixels[i] == fresh->pixels[i] ? 0 : 1;
    blue += fresh->pixels[i] == ui::Color{0, 0, 255} ? 1 : 0;
  }
  EXPECT_EQ(differing, 0) << "pixels of erased texts left behind";
  EXPECT_GT(blue, 200) << "the reading itself is shown";
  dialog.EndDialog(ui::kIdCancel);
}

TEST_F(Program, IdentificationDialogRendersWhileItReads) {
  TDaneIPPC record;
  THartKom0 dialog(nullptr, settings_, nullptr, record, 0, nullptr);
  dialog.CreateModeless();
  // Midway through the reading, as a technician sees it.
  platform_.RunUntil([&] { return dialog.sequenceStep == 13; }, 3000);
  Check(dialog, "310_identification");
  dialog.EndDialog(ui::kIdCancel);
}

TEST_F(Program, StartUpWithRealTimersReachesTheIdentifiedTransmitter) {
  auto window = std::make_unique<TMyWindow>();
  window->Create();
  window->Show(true);
  ASSERT_TRUE(platform_.RunUntil([&] { return window->Database().Count() == 1; }, 6000));
  platform_.RunFor(700);  // the identification dialog closes 500 ms after storing
  ASSERT_NE(window->Panel(), nullptr);
  EXPECT_EQ(window->Panel()->Item(732)->Text(), "12556");
  EXPECT_EQ(platform_.Widget(*window->Panel(), 732).value_or(ui::qt::WidgetState{}).text, "12556");
  EXPECT_TRUE(platform_.GrabToPng(*window, "main_window.png"));
  EXPECT_TRUE(platform_.GrabToPng(*window->Panel(), "main_window_panel.png"));

  // The toolbar: under the menu bar and above the client area, its buttons side by side, each
  // with a picture and a Russian tooltip that names its shortcut.
  const auto bars = platform_.Toolbar(*window);
  ASSERT_TRUE(bars);
  EXPECT_GT(bars->toolbar.height, 0);
  EXPECT_LE(bars->menuBar.y + bars->menuBar.height, bars->toolbar.y);
  EXPECT_LE(bars->toolbar.y + bars->toolbar.height, bars->client.y);
  std::vector<std::string> tooltips;
  int right = bars->toolbar.x;
  for (const ui::qt::ToolbarButtonShown& button : bars->buttons) {
    tooltips.push_back(button.tooltip);
    EXPECT_TRUE(button.visible && button.hasIcon) << button.id;
    EXPECT_GE(button.geometry.x, right) << button.id;
    EXPECT_LE(button.geometry.y + button.geometry.height, bars->toolbar.y + bars->toolbar.height);
    right = button.geometry.x + button.geometry.width;
  }
  EXPECT_LE(right, bars->toolbar.x + bars->toolbar.width);
  EXPECT_EQ(tooltips, (std::vector<std::string>{
                          "Идентификация преобразователя (F5)", "Поиск приборов (Ctrl+F)",
                          "Связь (Ctrl+L)",
                          "Новый рапорт (Ctrl+N)", "Открой рапорт (Ctrl+O)",
                          "Запиши рапорт (Ctrl+S)", "Данные преобразователя (Ctrl+D)",
                          "Действительное давление и напряжение (Ctrl+R)",
                          "Тренд давления и тока (Ctrl+T)", "Сравнить с прибором",
                          "Журнал изменений", "Печатай рапорт (Ctrl+P)"}));

  // The trend from the toolbar: a window of its own beside the main window, reading.
  ASSERT_TRUE(platform_.SimulateToolbarButton(*window, kCmdTrend));
  ASSERT_NE(window->Trend(), nullptr);
  ASSERT_TRUE(platform_.RunUntil([&] { return window->Trend()->Series().Readings() >= 2; }, 3000));
  EXPECT_TRUE(platform_.IsShown(*window->Trend()));
  EXPECT_TRUE(platform_.GrabToPng(*window->Trend(), "main_window_trend.png"));
  ASSERT_TRUE(platform_.SimulateClose(*window->Trend()));
  platform_.RunFor(20);
  EXPECT_FALSE(window->Trend()->IsCreated());

  // Closed with its close box, the data panel comes back from the toolbar.
  ASSERT_TRUE(platform_.SimulateClose(*window->Panel()));
  platform_.RunFor(20);
  EXPECT_FALSE(window->Panel()->IsCreated());
  ASSERT_TRUE(platform_.SimulateToolbarButton(*window, kCmdRecreatePanel));
  platform_.RunFor(20);
  EXPECT_TRUE(platform_.IsShown(*window->Panel()));
  EXPECT_EQ(platform_.Widget(*window->Panel(), 732).value_or(ui::qt::WidgetState{}).text, "12556");

  // Ctrl+O: the open dialog, after the question about the unsaved record.
  platform_.answerMessageBox = [](const ui::qt::MessageBoxShown&) { return ui::kIdNo; };
  platform_.answerFileDialog = [](const ui::qt::FileDialogShown&) { return std::nullopt; };
  ASSERT_TRUE(platform_.SimulateShortcut(*window, "Ctrl+O"));
  ASSERT_EQ(platform_.FileDialogs().size(), 1u);
  EXPECT_FALSE(platform_.FileDialogs()[0].save);
  window.reset();
}

}  // namespace

namespace {

TEST(ReportPdf, OnePageHoldingTheLinesOfTheIdentifiedRecord) {
  TDane db;
  db.Append(IdentifiedRecord());
  TDrukuj report(db);
  const std::string pdf = "report.pdf";
  ASSERT_TRUE(ui::qt::PrintToPdf(report, pdf));
  if (std::system("command -v pdftotext >/dev/null && command -v pdfinfo >/dev/null") != 0) {
    GTEST_SKIP() << "pdftotext is not installed";
  }
  ASSERT_EQ(std::system("pdftotext -layout report.pdf report.txt"), 0);
  ASSERT_EQ(std::system("pdfinfo report.pdf | grep -q '^Pages: *1$'"), 0) << "not one page";
  std::ifstream in("report.txt");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (const TDrukuj::Line& line : TDrukuj::Lines(db.At(0))) {
    std::string expected = line.text;
    while (!expected.empty() && expected.back() == ' ') expected.pop_back();
    // pdftotext may widen runs of blanks; compare the words in order.
    std::size_t at = 0;
    for (std::size_t start = 0; start < expected.size();) {
      const std::size_t end = std::min(expected.find(' ', start), expected.size());
      const std::string word = expected.substr(start, end - start);
      if (!word.empty()) {
        const std::size_t found = text.find(word, at);
        ASSERT_NE(found, std::string::npos) << "\"" << word << "\" of \"" << line.text << "\"";
        at = found + word.size();
      }
      start = end + 1;
    }
  }
}

}  // namespace
