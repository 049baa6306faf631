// TWykres: the trend window. While it is open it reads the primary variable and the loop current
// (command 3) of the current transmitter every period and plots both against time, the last ten
// minutes in view with a scroll back over the session; it can write the readings to a CSV file as
// they come and save its picture. It is modeless: the operator keeps it open beside the rest of
// the program.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "calib/pv_reading.h"
#include "calib/reading_log.h"
#include "calib/trend_series.h"
#include "data/selection_list.h"
#include "ui/control.h"

class TWykres : public TLista {
 public:
  static constexpr int kResourceId = 960;
  static constexpr int kPauseId = 961;
  static constexpr int kClearId = 962;
  static constexpr int kSaveCsvId = 963;
  static constexpr int kSavePngId = 964;
  static constexpr int kBackId = 965;
  static constexpr int kNowId = 966;
  static constexpr int kForwardId = 967;
  static constexpr int kPeriodId = 968;
  static constexpr int kPeriodLabelId = 969;

  static constexpr int kTickTimerId = 140;
  static constexpr int kDefaultPeriodMs = 400;
  // No shorter than the default: at 1200 baud a command-3 transaction takes most of it.
  static constexpr int kMinPeriodMs = 400;
  static constexpr int kMaxPeriodMs = 60000;
  static constexpr std::int64_t kVisibleMs = 10 * 60 * 1000;
  // A reading whose outcome never comes (its request gave way to another dialog's) counts as
  // failed after this long.
  static constexpr int kWatchdogMs = 10000;

  // The primary variable in blue, the loop current in red, failed readings shaded pink.
  static constexpr ui::Color kPvColor{0, 60, 200};
  static constexpr ui::Color kCurrentColor{200, 50, 30};
  static constexpr ui::Color kGapColor{255, 215, 215};
  static constexpr ui::Color kPlotBackground{255, 255, 255};
  static constexpr ui::Color kTextColor{40, 40, 40};

  TWykres(ui::Window* parent, TDane& database, bool& changed, int& selectionMemory,
          const TSerialPortSettings& settings, ui::Window* panelWindow);
  ~TWykres() override;

  // What the main window calls: shows the open trend window, or opens a new one in `window`.
  // Null when there is no transmitter to read (the operator has been told).
  static TWykres* Open(std::unique_ptr<TWykres>& window, ui::Window* parent, TDane& database,
                       bool& changed, int& selectionMemory, const TSerialPortSettings& settings,
                       ui::Window* panelWindow);

  static ui::DialogTemplate Template();

  // The period in milliseconds, kMinPeriodMs..kMaxPeriodMs; the period field shows it.
  int PeriodMs() const { return periodMs_; }
  void SetPeriodMs(int ms);
  // Milliseconds from a period field's text; empty when it is not a period the window takes.
  static std::optional<int> PeriodOfText(std::string_view text);

  // The computer's clock, by which readings are timed: epoch milliseconds at platform time 0.
  // Set by the window itself when it opens; a test sets its own before. The platform's clock
  // paces the readings.
  void SetWallClock(std::int64_t epochMsAtZero) { wallAtZero_ = epochMsAtZero; }
  std::int64_t NowEpochMs() const;

  // Writes every reading from now on to `log`, after the readings the window still holds.
  // False, with the reason in `error`, when the file could not be written.
  bool StartLog(std::unique_ptr<calib::ReadingLog> log, std::string& error);
  const calib::ReadingLog* Log() const { return log_.get(); }
  // A reading that came by another way than this window's own request (one read back, or a
  // picture's): plotted, logged and observed like the window's own. Its time follows the last.
  void TakeReading(const calib::PvReading& reading);
  // Called with every reading, after it is plotted and logged.
  void SetReadingObserver(std::function<void(const calib::PvReading&)> observer) {
    observer_ = std::move(observer);
  }

  const calib::TrendSeries& Series() const { return series_; }
  bool Paused() const { return paused_; }
  bool Following() const { return following_; }
  // The unit the primary variable is plotted in: the record's when the session began.
  std::uint8_t PlotUnit() const { return plotUnit_; }
  // The span in view, in epoch milliseconds.
  std::int64_t ViewEndMs() const;
  std::int64_t ViewStartMs() const { return ViewEndMs() - kVisibleMs; }

 protected:
  void SetupWindow() override;
  void CleanupWindow() override;
  void OnCommand(int id, unsigned code) override;
  void OnTimer(int id) override;
  void Paint(ui::DeviceContext& dc) override;
  void OnRButtonDown(ui::Point) override {}
  // The database's first record as it is now: the window outlives any one database storage (a
  // file opened or a transmitter identified meanwhile), so no pointer into it is kept.
  const TDaneIPPC* AddressedRecord() const override;
  ui::LResult EvReply() override;
  ui::LResult EvNoAnswer() override;
  ui::LResult EvLineBusy() override;
  ui::LResult EvStatusError() override;

 private:
  struct Layout;

  void Tick();
  void RequestReading();
  void Outcome(const calib::PvReading& reading);
  void ScheduleNext();
  void BeginSession();
  void TogglePause();
  void Scroll(std::int64_t byMs);
  void FollowLive();
  void SaveCsv();
  void SavePng();
  void PeriodTyped();
  void ApplyPeriod();
  void UpdateButtons();
  std::int64_t EarliestMs() const;
  Layout MakeLayout(ui::DeviceContext& dc) const;
  void PaintHeader(ui::DeviceContext& dc, const Layout& layout) const;
  void PaintPlot(ui::DeviceContext& dc, const Layout& layout) const;
  void StopLog(const std::string& why);

  calib::TrendSeries series_;
  std::unique_ptr<calib::ReadingLog> log_;
  std::function<void(const calib::PvReading&)> observer_;
  std::optional<std::int64_t> wallAtZero_;
  int periodMs_ = kDefaultPeriodMs;
  bool periodTextBad_ = false;
  bool waiting_ = false;
  bool paused_ = false;
  bool heldOff_ = false;
  bool following_ = true;
  // By the computer's clock:
  std::int64_t viewEndMs_ = 0;
  std::int64_t pausedAtMs_ = 0;
  std::int64_t sessionStartMs_ = 0;
  // By the platform's clock, which paces the requests:
  std::int64_t lastRequestMs_ = 0;
  std::uint8_t plotUnit_ = 0;
  // Pixels per dialog unit down the window, as it opened: where the controls end.
  double pixelsPerUnitY_ = 13.0 / 8.0;
};
