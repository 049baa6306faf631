#include "app/main_window.h"

#include <utility>

#include "app/devices_window.h"
#include "app/compare_window.h"
#include "app/journal_session.h"
#include "app/journal_window.h"
#include "app/loop_release.h"
#include "app/menu.h"
#include "app/toolbar.h"
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
#include "config/messages_dialog.h"
#include "data/report.h"
#include "hart/device_status.h"
#include "hart/identification_dialog.h"
#include "record/packed_text.h"

TMyWindow::TMyWindow(hart::FrameTrace* trace, hart::Link* link)
    : ui::Window(nullptr),
      trace_(trace != nullptr ? trace : &ownTrace_),
      dataFile_(database_),
      status_(*this, [this](std::span<const std::uint8_t> request) -> std::optional<int> {
        const TDaneIPPC* record = RecordAt(request.subspan(1));
        if (record == nullptr) return std::nullopt;
        return record->pollingAddress;
      }) {
  settings_.trace = trace_;
  settings_.link = link != nullptr ? link : &simulated_;
  SetCaption(kCaption);
  SetMenu(&CommandsMenu());
  SetToolbar(&CommandsToolbar());
  earlierListener_ = trace_->CurrentDeviceStatusListener();
  trace_->SetDeviceStatusListener([this](std::uint8_t status) {
    if (earlierListener_) earlierListener_(status);
    ShowDeviceStatus(status);
  });
  trace_->SetExchangeListener([this](std::span<const std::uint8_t> request, unsigned event,
                                     std::span<const std::uint8_t> reply,
                                     const std::string& meaning) {
    status_.Heard(request, event, reply, meaning);
  });
  status_.SetLink(LinkName(linkChoice_));
}

TMyWindow::~TMyWindow() {
  trace_->SetDeviceStatusListener(std::move(earlierListener_));
  trace_->SetExchangeListener(nullptr);
  // The trend, the panel and the About box go before the window they belong to; the trend
  // before the panel it was given.
  about_.reset();
  trend_.reset();
  panel_.reset();
}

void TMyWindow::SetLinkChoice(LinkChoice choice) {
  linkChoice_ = std::move(choice);
  status_.SetLink(LinkName(linkChoice_));
  if (journalSession_ != nullptr) journalSession_->SetLink(LinkName(linkChoice_));
}

void TMyWindow::SetJournalSession(JournalSession* session) {
  journalSession_ = session;
  SetJournal(session != nullptr ? session->Journal() : nullptr);
}

void TMyWindow::UseLink(std::unique_ptr<hart::Link> link, LinkChoice choice) {
  // The trend holds the link it was opened with: it goes before that link does.
  if (trend_ && trend_->IsCreated()) trend_->EndDialog(ui::kIdCancel);
  trend_.reset();
  settings_.link = link != nullptr ? link.get() : &simulated_;
  ownedLink_ = std::move(link);
  SetLinkChoice(std::move(choice));
  // Who answers on the new link is not known until it is identified.
  status_.SetTransmitter(nullptr);
  status_.SetDeviceStatus({});
}

void TMyWindow::ChooseLink() {
  TLinkDialog dialog(this, linkChoice_, linkOpener_, listPorts_());
  if (dialog.Execute() != ui::kIdOk) return;
  UseLink(ReachingChoice(dialog.TakeLink(), dialog.Choice(), std::nullopt), dialog.Choice());
  std::string error;
  if (!WriteLinkConf(linkConfPath_, linkChoice_, error)) {
    MessageBox(error + "\nСвязь выбрана только до выхода из программы.", "Связь",
               ui::kMbOk | ui::kMbIconExclamation);
  }
}

const TDaneIPPC* TMyWindow::RecordAt(std::span<const std::uint8_t> address) const {
  for (std::size_t i = 0; i < database_.Count() && address.size() >= 5; ++i) {
    const hart::LongAddress a = TKomendy::AddressOf(database_.At(i));
    if (address[0] == (a.manufacturer & 0x3F) && address[1] == a.deviceType &&
        address[2] == (a.deviceId >> 16 & 0xFF) && address[3] == (a.deviceId >> 8 & 0xFF) &&
        address[4] == (a.deviceId & 0xFF)) {
      return &database_.At(i);
    }
  }
  return nullptr;
}

void TMyWindow::SetupWindow() {
  ui::Window::SetupWindow();
  panel_ = std::make_unique<TMonitorHart>(this, database_);
  about_ = std::make_unique<TAboutBox>(this);
  SetTimer(kStartTimerId, kSplashDelayMs);
  startPhase_ = 0;
}

void TMyWindow::CleanupWindow() {
  KillTimer(kStartTimerId);
  if (about_) about_->Destroy();
  if (trend_ && trend_->IsCreated()) trend_->EndDialog(ui::kIdCancel);
  if (panel_) panel_->Destroy();
  ui::Window::CleanupWindow();
}

void TMyWindow::OnTimer(int id) {
  if (id == TStatusLine::kOutcomeTimerId) status_.OutcomeExpired();
  if (id != kStartTimerId) return;
  if (startPhase_ == 0) {
    ShowPanel();
    if (about_) about_->CreateModeless();
    SetTimer(kStartTimerId, kSplashShownMs);
    startPhase_ = 1;
  } else if (commandsRunning_ > 0) {
    // A command the technician gave during the splash (a file dialog, say) is still open:
    // identification waits for it rather than open on top of it.
    SetTimer(kStartTimerId, kSplashDelayMs);
  } else if (!startFile_.empty()) {
    // Identification would replace the file; the toolbar has it for the transmitter.
    EndSplash();
    dataFile_.OpenFile(*this, panel_.get(), std::exchange(startFile_, std::string()));
  } else {
    EndSplash();
    SendMessage(ui::kMsgCommand, ui::MakeWParam(kCmdIdentify, 0));
  }
}

void TMyWindow::EndSplash() {
  KillTimer(kStartTimerId);
  if (about_) about_->EndDialog(ui::kIdOk);
  about_.reset();
  startPhase_ = 0;
}

void TMyWindow::ShowPanel() {
  if (!panel_) panel_ = std::make_unique<TMonitorHart>(this, database_);
  if (!panel_->IsCreated()) {
    // A closed panel is shown again by the same object: dialogs and the trend hold it.
    panel_->CreateModeless();
    panel_->Refresh();
  }
}

void TMyWindow::OpenTrend() {
  TWykres::Open(trend_, this, database_, dataFile_.ChangedFlag(), listPosition_[0], settings_,
                panel_.get());
}

// The transmitter the list dialogs would work on; the identified one before there is a list.
void TMyWindow::OpenJournal() {
  const auto at = static_cast<std::size_t>(listPosition_[0]);
  const TDaneIPPC& record = at < database_.Count() ? database_.At(at) : workingRecord_;
  std::string tag = packed::DecodeForDisplay(record.tag, 8);
  while (!tag.empty() && tag.back() == ' ') tag.pop_back();
  TJournalWindow window(this, journal_, record.deviceId & 0xFFFFFF, tag, dataFile_.FileName());
  window.Execute();
}

// The current record against the transmitter read afresh, which neither the database nor the
// data file takes in.
void TMyWindow::OpenCompare() {
  const auto at = static_cast<std::size_t>(listPosition_[0]);
  if (at >= database_.Count()) {
    MessageBox("Нет записи для сравнения: открой файл данных или идентифицируй преобразователь.",
               "Сравнить с прибором", ui::kMbOk | ui::kMbIconExclamation);
    return;
  }
  const TDaneIPPC record = database_.At(at);
  const auto device = IdentifyTransmitter(this, settings_);
  if (!device) return;
  TCompareWindow window(this, settings_, record, *device);
  window.Execute();
}

void TMyWindow::Identify() {
  THartKom0 identification(this, settings_, this, workingRecord_, 0, panel_.get());
  identification.Execute();
}

void TMyWindow::ShowDeviceStatus(std::uint8_t status) {
  // Each reply says the transmitter's state as it is now: one without bits clears the line, but
  // for burst mode, which stays said.
  const std::string line = hart::StatusLine(status, trace_->Condition());
  status_.SetDeviceStatus(line.empty() ? journalWarning_ : line);
}

void TMyWindow::ShowJournalWarning(std::string warning) {
  journalWarning_ = std::move(warning);
  status_.SetDeviceStatus(journalWarning_);
}

template <class Dialog>
void TMyWindow::RunListDialog() {
  Dialog dialog(this, database_, dataFile_.ChangedFlag(), listPosition_[0], settings_,
                panel_.get());
  dialog.Execute();
}

void TMyWindow::OnCommand(int id, unsigned /*code*/) {
  struct Running {
    int& count;
    explicit Running(int& c) : count(c) { ++count; }
    ~Running() { --count; }
  } running(commandsRunning_);
  switch (id) {
    case kCmdIdentify:
      // Asked for during the splash, it is the identification the splash leads to.
      if (startPhase_ == 1) EndSplash();
      Identify();
      break;
    case kCmdReadPv:
      RunListDialog<TReadPV>();
      break;
    case kCmdFixedCurrent:
      RunListDialog<TUstawPrad>();
      break;
    case kCmdMessages:
      RunListDialog<TMessages>();
      break;
    case kCmdAddressAndPreambles:
      RunListDialog<TPolPre>();
      break;
    case kCmdUnits:
      RunListDialog<TUnits>();
      break;
    case kCmdTransferFunction:
      RunListDialog<TChka>();
      break;
    case kCmdDamping:
      RunListDialog<TDamping>();
      break;
    case kCmdRangeByValues:
      RunListDialog<TRangeVal>();
      break;
    case kCmdRangeByPressure:
      RunListDialog<TZeroSpan>();
      break;
    case kCmdZero:
      RunListDialog<TPvZero>();
      break;
    case kCmdPressureCalibration:
      RunListDialog<TKalCisnienia>();
      break;
    case kCmdCurrentCalibration:
      RunListDialog<TKalPradu>();
      break;
    case kCmdPrint: {
      TDrukuj report(database_);
      ui::ThePlatform().Print(this, report, true);
      break;
    }
    case kCmdOpen:
      dataFile_.Open(*this, panel_.get());
      break;
    case kCmdSaveAs:
    case kCmdSave:
      if (id == kCmdSaveAs ? dataFile_.SaveAs(*this) : dataFile_.Save(*this)) {
        status_.SetOutcome("Записано в файл " + dataFile_.FileName());
      }
      break;
    case kCmdLink:
      ChooseLink();
      break;
    case kCmdNewFile:
      dataFile_.NewFile(*this, panel_.get());
      break;
    case kCmdRecreatePanel:
      ShowPanel();
      break;
    case kCmdTrend:
      OpenTrend();
      break;
    case kCmdFindDevices: {
      TDevicesWindow devices(this, database_, dataFile_, settings_, panel_.get());
      devices.Execute();
      break;
    }
    case kCmdJournal:
      OpenJournal();
      break;
    case kCmdCompare:
      OpenCompare();
      break;
    case kCmdAbout: {
      TAboutBox about(this);
      about.Execute();
      break;
    }
    case kCmdPrinterSetup:
      ui::ThePlatform().PrinterSetup(this);
      break;
    case kCmdExit:
      Exit();
      break;
    default:
      // 101 and 138 do nothing in this edition.
      break;
  }
}

ui::LResult TMyWindow::HandleMessage(unsigned message, ui::WParam wParam, ui::LParam lParam) {
  switch (message) {
    case kMsgIdentified:
      dataFile_.StoreIdentified(*this, panel_.get(), workingRecord_);
      status_.SetTransmitter(&workingRecord_);
      return 0;
    case kMsgFileChanged:
      // The file name follows the caption once the data file has one.
      SetCaption(std::string(kCaption) + (wParam != 1 ? dataFile_.FileName() : std::string()));
      return 0;
    default:
      return ui::Window::HandleMessage(message, wParam, lParam);
  }
}

bool TMyWindow::EraseBackground(ui::DeviceContext& dc) {
  const ui::Rect area = dc.Area();
  const int w = area.width;
  const int h = area.height;
  auto& platform = ui::ThePlatform();
  const ui::Color highlight = platform.GetSysColor(ui::SysColor::ButtonHighlight);
  const ui::Color shadow = platform.GetSysColor(ui::SysColor::ButtonShadow);
  dc.FillRect({0, 0, w, h}, platform.GetSysColor(ui::SysColor::ButtonFace));
  dc.FillRect({0, 0, w, 2}, highlight);
  dc.FillRect({0, 2, 2, h - 2}, highlight);
  dc.FillRect({1, h - 2, w - 1, 2}, shadow);
  dc.FillRect({w - 2, 1, 2, h - 3}, shadow);
  return true;
}

void TMyWindow::OnClose() { Exit(); }

void TMyWindow::Exit() {
  if (!dataFile_.MayClose(*this)) return;
  OfferToReleaseLoop();
  Destroy();
  ui::ThePlatform().Quit();
}

void TMyWindow::OfferToReleaseLoop() {
  const std::optional<FixedLoop> loop = status_.Fixed();
  if (!loop) return;
  const int answer = MessageBox(TStatusLine::FixedLoopText(*loop) +
                                    ".\nВернуть ток в линии к нормальной работе перед выходом?",
                                "Выход из программы", ui::kMbYesNo | ui::kMbIconQuestion);
  if (answer != ui::kIdYes) return;
  const TDaneIPPC* record = RecordAt(loop->longAddress);
  const int preambles = record != nullptr ? record->preambles : THartProtokol::kDefaultPreambles;
  TReleaseLoop release(this, settings_, *loop, preambles);
  release.Execute();
}
