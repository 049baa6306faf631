// The main window: owns the shared state, runs the start-up sequence and turns menu commands
// into modal operation dialogs.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "app/about_dialog.h"
#include "app/link_dialog.h"
#include "app/link_settings.h"
#include "app/status_line.h"
#include "calib/trend_window.h"
#include "data/data_file_commands.h"
#include "data/data_panel.h"
#include "data/database.h"
#include "hart/frame_trace.h"
#include "hart/protokol.h"
#include "hart/simulated_link.h"
#include "journal/journal.h"
#include "ui/window.h"

// Broadcast after the database or the data file changed; wParam 1: the file is untitled.
constexpr unsigned kMsgFileChanged = 117;

class JournalSession;

class TMyWindow : public ui::Window {
 public:
  static constexpr int kStartTimerId = 345;
  static constexpr int kSplashDelayMs = 100;
  static constexpr int kSplashShownMs = 1500;
  static constexpr const char* kCaption = "Программа Коммуникации Kestrel7";

  static constexpr const char* kDeviceStatusText = "Статус прибора: ";

  // Without a link of its own every dialog talks to the built-in simulated transmitter. With a
  // trace, the status line shows the device status of every reply the trace hears.
  explicit TMyWindow(hart::FrameTrace* trace = nullptr, hart::Link* link = nullptr);
  ~TMyWindow() override;

  // What the link given at construction is, for the status line.
  void SetLinkChoice(LinkChoice choice);
  // Every request from now on goes to `link` (null: the simulated transmitter), which the window
  // keeps. A trend still reading on the old link is closed first.
  void UseLink(std::unique_ptr<hart::Link> link, LinkChoice choice);
  const LinkChoice& CurrentLink() const { return linkChoice_; }
  // How «Связь» opens a link and which ports it offers; tests put their own.
  void SetLinkOpener(TLinkDialog::Opener opener) { linkOpener_ = std::move(opener); }
  void SetSerialPorts(std::function<std::vector<SerialPortInfo>()> list) {
    listPorts_ = std::move(list);
  }
  // Where «Связь» keeps the choice for the next start.
  void SetLinkConfPath(std::string path) { linkConfPath_ = std::move(path); }
  TStatusLine& Status() { return status_; }

  // A data file to open where the start-up sequence would identify; set before Create().
  void OpenAtStart(std::string path) { startFile_ = std::move(path); }

  TDane& Database() { return database_; }
  TDataFile& DataFile() { return dataFile_; }
  const TDaneIPPC& WorkingRecord() const { return workingRecord_; }
  TMonitorHart* Panel() { return panel_.get(); }
  // The trend window, once opened; null before.
  TWykres* Trend() { return trend_.get(); }
  TAboutBox* AboutBox() { return about_.get(); }
  // The change journal «Журнал изменений» shows; null: it could not be opened.
  void SetJournal(journal::Journal* journal) { journal_ = journal; }
  // The process's journal session: its journal is shown, and each link the window changes to is
  // named in its later entries. Null: none.
  void SetJournalSession(JournalSession* session);
  // What went wrong with the journal: on the status line until a device status takes it, and
  // back whenever the device reports none.
  void ShowJournalWarning(std::string warning);

 protected:
  void SetupWindow() override;
  void CleanupWindow() override;
  ui::LResult HandleMessage(unsigned message, ui::WParam wParam, ui::LParam lParam) override;
  void OnCommand(int id, unsigned code) override;
  void OnTimer(int id) override;
  bool EraseBackground(ui::DeviceContext& dc) override;
  void OnClose() override;

 private:
  void Identify();
  void ShowDeviceStatus(std::uint8_t status);
  void EndSplash();
  void Exit();
  void ShowPanel();
  void OpenTrend();
  void ChooseLink();
  // Asks, once, whether to let a fixed loop current go; false when the exit is called off.
  void OfferToReleaseLoop();
  // The record whose long address the five bytes are; null when the database has none.
  const TDaneIPPC* RecordAt(std::span<const std::uint8_t> address) const;
  void OpenJournal();
  void OpenCompare();
  template <class Dialog>
  void RunListDialog();

  hart::SimulatedLink simulated_;
  // The link chosen in «Связь» or at start, kept by the window; before the dialogs that use it.
  std::unique_ptr<hart::Link> ownedLink_;
  LinkChoice linkChoice_;
  TLinkDialog::Opener linkOpener_ = OpenLink;
  std::function<std::vector<SerialPortInfo>()> listPorts_ = [] { return ListSerialPorts(); };
  std::string linkConfPath_ = LinkConfPath();
  // Heard when no trace is given, so that every exchange reaches the status line.
  hart::FrameTrace ownTrace_{nullptr};
  hart::FrameTrace* trace_ = nullptr;
  // Whoever heard the trace before the window (the command line's tally) goes on hearing it.
  hart::FrameTrace::DeviceStatusListener earlierListener_;
  TSerialPortSettings settings_;
  std::array<int, 4> listPosition_{};
  TDane database_;
  TDaneIPPC workingRecord_;
  TDataFile dataFile_;
  std::unique_ptr<TMonitorHart> panel_;
  std::unique_ptr<TAboutBox> about_;
  // Modeless, beside the rest: it reads on while the operator works in the other dialogs.
  std::unique_ptr<TWykres> trend_;
  int startPhase_ = 0;
  std::string startFile_;
  journal::Journal* journal_ = nullptr;
  JournalSession* journalSession_ = nullptr;
  std::string journalWarning_;
  int commandsRunning_ = 0;  // commands being carried out, modal dialogs open
  TStatusLine status_;
};
