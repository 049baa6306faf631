#include "app/read_command.h"

#include <charconv>
#include <chrono>
#include <string_view>

#include "app/command_line.h"
#include "app/interrupt.h"
#include "app/link_settings.h"
#include "app/main_window.h"
#include "app/menu.h"
#include "calib/reading_log.h"
#include "calib/trend_window.h"
#include "hart/identification_dialog.h"
#include "hart/serial_link.h"
#include "hart/simulated_link.h"
#include "ui/headless/headless_platform.h"

namespace {

// Identification takes six transactions; this leaves it ample room.
constexpr std::int64_t kStartUpMs = 10000;
// A real link may poll all sixteen addresses, three attempts each, before it gives up.
constexpr std::int64_t kRealStartUpMs = 60000;
// How soon Ctrl+C is noticed when the readings come in real time, whatever the period.
constexpr int kInterruptPollMs = 100;
constexpr double kMaxDurationSeconds = 1e7;

bool TakesValue(std::string_view option) {
  return IsLinkValueOption(option) || option == "--trace" || option == "--period" || option == "--count" ||
         option == "--duration" || option == "--csv" || option == "-o";
}

std::int64_t SystemClockMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

bool IsReadCommand(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (TakesValue(arg)) {
      ++i;
    } else if (arg.empty() || arg[0] != '-') {
      return arg == "read";
    }
  }
  return false;
}

std::optional<ReadArgs> ParseReadArgs(int argc, const char* const* argv, std::string& error) {
  ReadArgs args;
  bool commandSeen = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (TakeLinkOption(argc, argv, i, args, error)) {
      if (!error.empty()) return std::nullopt;
      continue;
    }
    std::string value;
    if (TakesValue(arg)) {
      if (i + 1 >= argc) {
        error = "после " + std::string(arg) + " нужно " +
                (arg == "--period" || arg == "--duration" ? "число секунд"
                 : arg == "--count"                         ? "число показаний"
                                                            : "имя файла");
        return std::nullopt;
      }
      value = argv[++i];
      // An unset variable in a script gives an empty name: no file is no screen either.
      if (value.empty() && (arg == "--csv" || arg == "--trace" || arg == "-o")) {
        error = "после " + std::string(arg) + " нужно имя файла";
        return std::nullopt;
      }
    }
    if (arg == "read" && !commandSeen) {
      commandSeen = true;
    } else if (arg == "--trace") {
      args.trace = value;
    } else if (arg == "--csv") {
      args.csv = value;
    } else if (arg == "--period") {
      const std::optional<int> ms = TWykres::PeriodOfText(value);
      if (!ms) {
        error = "--period: период от 0.4 до 60 с, а не " + value;
        return std::nullopt;
      }
      args.periodMs = *ms;
    } else if (arg == "--count") {
      std::int64_t count = 0;
      const auto [end, failed] = std::from_chars(value.data(), value.data() + value.size(), count);
      if (failed != std::errc() || end != value.data() + value.size() || count <= 0) {
        error = "--count: нужно целое число показаний больше нуля, а не " + value;
        return std::nullopt;
      }
      args.count = count;
    } else if (arg == "--duration") {
      const std::optional<double> seconds = calib::ParseSeconds(value);
      if (!seconds || *seconds <= 0.0 || *seconds > kMaxDurationSeconds) {
        error = "--duration: нужно число секунд больше нуля, а не " + value;
        return std::nullopt;
      }
      args.durationMs = static_cast<std::int64_t>(*seconds * 1000.0 + 0.5);
    } else {
      error = "непонятный аргумент: " + std::string(arg);
      return std::nullopt;
    }
  }
  if (!commandSeen) {
    error = "нет команды read";
    return std::nullopt;
  }
  if (args.count && args.durationMs) {
    error = "--count и --duration вместе не задаются: одно из двух";
    return std::nullopt;
  }
  error = LinkOptionsError(args);
  if (!error.empty()) return std::nullopt;
  return args;
}

std::string ReadUsage() {
  return "Использование:\n"
         "  kestrel7 read [СВЯЗЬ] [--period С] [--count N | --duration С] [--csv ФАЙЛ]\n"
         "                [--trace ФАЙЛ]\n"
         "\n"
         "Идентифицирует преобразователь, затем читает давление и ток в линии каждые С секунд\n"
         "(от 0.4 до 60, по умолчанию 0.4) и выводит каждое показание строкой CSV в ФАЙЛ или\n"
         "на стандартный вывод: N показаний, С секунд или до Ctrl+C. В конце строка итогов:\n"
         "показания, сбои, минимум, максимум и среднее (на стандартный вывод, когда CSV\n"
         "пишется в файл, иначе в стандартный поток ошибок).\n"
         "Имитатор преобразователя (--simulated или без выбранной связи) даёт N показаний\n"
         "или С секунд сразу, по своим часам, без ожидания.\n\n" +
         std::string(kLinkHelp);
}

int RunRead(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (TakesValue(arg)) {
      ++i;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(ReadUsage().c_str(), out);
      return 0;
    }
  }
  std::string error;
  const std::optional<ReadArgs> args = ParseReadArgs(argc, argv, error);
  if (!args) {
    std::fprintf(err, "kestrel7: %s\n\n%s", error.c_str(), ReadUsage().c_str());
    return 2;
  }
  return RunRead(*args, out, err);
}

int RunRead(const ReadArgs& args, std::FILE* out, std::FILE* err, const ReadSeams& seams) {
  std::string error;
  std::FILE* traceFile = OpenTrace(args.trace, error);
  if (!error.empty()) {
    std::fprintf(err, "%s\n", error.c_str());
    return 1;
  }
  int status = 0;
  {
    InterruptCatcher catcher;
    ui::ScopedHeadlessPlatform platform;
    platform->SetToday(LocalToday());
    // The window and the readings talk to one transmitter: one link serves both.
    hart::SimulatedLink simulatedLink;
    // Without a link option, the link chosen in the window and kept in link.conf; --address,
    // --tag, --sub: the window and the readings reach the device alike.
    ResolvedLink resolved = ResolveLink(args, seams.makeLink);
    if (!resolved.warning.empty()) std::fprintf(err, "%s\n", resolved.warning.c_str());
    if (!resolved.error.empty()) {
      std::fprintf(err, "%s\n", resolved.error.c_str());
      CloseTrace(traceFile);
      return 1;
    }
    const bool onLine = resolved.realTime;
    hart::Link* link = resolved.link ? resolved.link.get() : &simulatedLink;
    // The CSV goes to a file or to standard output; the summary where it does not spoil the CSV.
    std::unique_ptr<calib::ReadingLog> log =
        args.csv.empty() ? calib::ReadingLog::OnStream(out, "стандартный вывод", error)
                         : calib::ReadingLog::Create(args.csv, error);
    if (!log) {
      std::fprintf(err, "%s\n", error.c_str());
      CloseTrace(traceFile);
      return 1;
    }
    std::FILE* summaryOut = args.csv.empty() ? err : out;
    // A transmitter on a line or the network answers in real time, and so does the simulated one
    // when the readings go on until Ctrl+C; otherwise the virtual clock runs them at once.
    const bool simulated = !onLine && !seams.makeLink;
    const bool realTime = onLine || (simulated && !args.count && !args.durationMs);
    platform->SetRealTime(realTime);

    std::optional<hart::FrameTrace> trace;
    if (traceFile != nullptr) trace.emplace(traceFile);
    TMyWindow window(trace ? &*trace : nullptr, link);
    window.Create();
    platform->OnModal(THartKom0::kResourceId, [&](ui::Dialog& dialog) {
      // Over once the record is stored: the dialog's closing delay would show no one anything.
      platform->RunUntil(
          [&] {
            return InterruptCatcher::Interrupted() || dialog.Ended() || window.Database().Count() > 0;
          },
          onLine ? kRealStartUpMs : kStartUpMs);
    });
    // No one sees the About box here: identification starts at once.
    window.KillTimer(TMyWindow::kStartTimerId);
    window.SendMessage(ui::kMsgCommand, ui::MakeWParam(kCmdIdentify, 0));
    if (onLine) {
      // No one sees the message boxes of the run: what they said goes to the error stream.
      for (const ui::MessageBoxRecord& box : platform->MessageBoxes()) {
        std::fprintf(err, "%s\n", box.text.c_str());
      }
    }

    if (InterruptCatcher::Interrupted()) {
      // Stopped before the first reading: there is nothing to sum up.
      status = 1;
    } else if (window.Database().Count() == 0) {
      if (!onLine || platform->MessageBoxes().empty()) {
        std::fputs("Отсутствие ответа.\nПроверь, подключен ли преобразователь!!!\n", err);
      }
      status = 1;
    } else {
      TSerialPortSettings settings;
      settings.trace = trace ? &*trace : nullptr;
      settings.link = link;
      bool changed = false;
      int selection = 0;
      TWykres trend(&window, window.Database(), changed, selection, settings, window.Panel());
      const auto wallClock = seams.wallClockMs ? seams.wallClockMs : SystemClockMs;
      trend.SetWallClock(wallClock() - platform->NowMs());
      trend.SetPeriodMs(args.periodMs);
      trend.StartLog(std::move(log), error);

      const std::size_t boxesBefore = platform->MessageBoxes().size();
      calib::ReadingSummary summary;
      trend.SetReadingObserver([&](const calib::PvReading& reading) { summary.Add(reading); });
      Waker waker;
      if (realTime) {
        waker.Create();
        waker.SetTimer(1, kInterruptPollMs);
      }
      trend.CreateModeless();
      const std::int64_t limit = args.durationMs.value_or(INT64_MAX / 4);
      const auto taken = [&] { return summary.Readings() + summary.Failures(); };
      const auto stopped = [&] { return InterruptCatcher::Interrupted() || trend.Log() == nullptr; };
      platform->RunUntil([&] { return stopped() || (args.count && taken() >= *args.count); },
                         limit);
      // A duration shorter than a period still gets the reading it asked for; the trend's own
      // watchdog ends a transaction that never comes back.
      if (taken() == 0) platform->RunUntil([&] { return stopped() || taken() > 0; }, kRealStartUpMs);
      // What the run had to say (a file that could no longer be written, a link that gave up on
      // its peer) goes to the error stream; a lost file ends the run.
      const auto& boxes = platform->MessageBoxes();
      for (std::size_t i = boxesBefore; i < boxes.size(); ++i) {
        std::fprintf(err, "%s\n", boxes[i].text.c_str());
      }
      if (trend.Log() == nullptr) status = 1;
      trend.EndDialog(ui::kIdCancel);
      std::fputs(summary.Line().c_str(), summaryOut);
      std::fflush(summaryOut);
      // Not one reading taken is a failure, however many were tried.
      if (summary.Readings() == 0) status = 1;
    }
    window.Destroy();
  }
  if (!CloseTrace(traceFile, error)) {
    std::fprintf(err, "%s\n", error.c_str());
    status = 1;
  }
  return status;
}
