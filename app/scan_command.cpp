#include "app/scan_command.h"

#include <charconv>
#include <string_view>

#include "app/command_line.h"
#include "app/interrupt.h"
#include "data/data_file.h"
#include "data/database.h"
#include "hart/device_scan.h"
#include "hart/identification_dialog.h"
#include "hart/serial_link.h"
#include "hart/simulated_link.h"
#include "ui/headless/headless_platform.h"

namespace {

constexpr int kWakeMs = 100;
// However the scan goes, each request ends within its attempts; this only bounds a stuck peer.
constexpr std::int64_t kScanLimitMs = 30LL * 60 * 1000;
constexpr std::int64_t kStopLimitMs = 60'000;

// Receives the identification's "record complete".
class Receiver : public ui::Window {
 public:
  Receiver() : ui::Window(nullptr) {}
  bool identified = false;

 protected:
  ui::LResult HandleMessage(unsigned message, ui::WParam w, ui::LParam l) override {
    if (message == kMsgIdentified) {
      identified = true;
      return 0;
    }
    return ui::Window::HandleMessage(message, w, l);
  }
};

std::optional<int> Address(std::string_view text) {
  int value = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() || value < 0 ||
      value > hart::kLastPollingAddress) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

bool IsScanCommand(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "scan") return true;
    // The value of an option is not the command.
    if (IsLinkValueOption(arg) || arg == "--trace" || arg == "-o" || arg == "--from" ||
        arg == "--to") {
      ++i;
    } else if (!arg.starts_with("-")) {
      return false;
    }
  }
  return false;
}

std::optional<ScanArgs> ParseScanArgs(int argc, const char* const* argv, std::string& error) {
  ScanArgs args;
  bool commandSeen = false;
  bool rangeGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (TakeLinkOption(argc, argv, i, args, error)) {
      if (!error.empty()) return std::nullopt;
      continue;
    }
    const bool takesValue = arg == "--trace" || arg == "-o" || arg == "--from" || arg == "--to";
    std::string value;
    if (takesValue) {
      if (i + 1 >= argc) {
        error = "после " + std::string(arg) + " нужно значение";
        return std::nullopt;
      }
      value = argv[++i];
    }
    if (arg == "scan" && !commandSeen) {
      commandSeen = true;
    } else if (arg == "--trace") {
      if (value.empty()) {
        error = "после --trace нужно имя файла или -";
        return std::nullopt;
      }
      args.trace = value;
    } else if (arg == "-o") {
      if (value.empty()) {
        error = "после -o нужно имя файла";
        return std::nullopt;
      }
      args.output = value;
    } else if (arg == "--from" || arg == "--to") {
      const std::optional<int> address = Address(value);
      if (!address) {
        error = std::string(arg) + ": адрес опроса должен быть числом от 0 до 63: " + value;
        return std::nullopt;
      }
      (arg == "--from" ? args.from : args.to) = *address;
      rangeGiven = true;
    } else {
      error = "непонятный аргумент: " + std::string(arg);
      return std::nullopt;
    }
  }
  if (args.from > args.to) {
    error = "--from больше --to: адресов для поиска нет";
  } else if (args.reach && args.reach->by == hart::Reach::By::SubDevice) {
    error = "--sub не относится к scan: scan --hart-ip перечисляет все подчинённые приборы";
  } else if (rangeGiven && !args.hartIp.empty()) {
    error = "--from и --to относятся к линии: за шлюзом приборы перечисляет сам шлюз";
  } else if (args.reach && rangeGiven) {
    error = "--from и --to не указывают вместе с --address и --tag";
  } else if (error = LinkOptionsError(args); error.empty()) {
    if (args.reach && args.reach->by == hart::Reach::By::Address) {
      // One address is the range of one.
      args.from = args.to = args.reach->address;
      args.reach.reset();
    }
    return args;
  }
  return std::nullopt;
}

std::string ScanUsage() {
  return "Использование: kestrel7 scan [СВЯЗЬ] [--from A] [--to B | --address N | --tag ТЕГ]\n"
         "               [-o ФАЙЛ] [--trace ФАЙЛ]\n"
         "  Ищет приборы на линии по адресам опроса A..B (по умолчанию 0..63) командой 0,\n"
         "  или за шлюзом HART-IP (--hart-ip) — его подчинённые приборы (команды 74, 84, 77),\n"
         "  и выводит строку на каждый: адрес, версию HART, изготовителя, тип, номер, тег и\n"
         "  длинный тег. С -o каждый прибор идентифицируется и записывается в файл данных.\n"
         "  Ctrl+C прекращает поиск с тем, что найдено.\n"
         "  Встроенный имитатор — один прибор, адрес 0.\n\n" +
         std::string(kLinkHelp);
}

std::optional<TDaneIPPC> IdentifyReached(ui::Window* parent, const TSerialPortSettings& settings,
                                         hart::ReachLink& link, const hart::Reach& reach) {
  const hart::Reach before = link.CurrentReach();
  link.SetReach(reach);
  Receiver receiver;
  receiver.Create();
  TDaneIPPC record;
  {
    THartKom0 identification(parent, settings, &receiver, record, 0, nullptr);
    identification.Execute();
  }
  receiver.Destroy();
  link.SetReach(before);
  if (!receiver.identified) return std::nullopt;
  return record;
}

int RunScan(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  std::string error;
  const std::optional<ScanArgs> args = ParseScanArgs(argc, argv, error);
  if (!args) {
    std::fprintf(err, "kestrel7: %s\n\n%s", error.c_str(), ScanUsage().c_str());
    return kExitUsage;
  }
  return RunScan(*args, out, err);
}

int RunScan(const ScanArgs& args, std::FILE* out, std::FILE* err, const ScanSeams& seams) {
  std::string error;
  std::FILE* traceFile = OpenTrace(args.trace, error);
  if (!error.empty()) {
    std::fprintf(err, "%s\n", error.c_str());
    return 1;
  }
  int status = 0;
  {
    InterruptCatcher catcher;
    const auto stopAsked = [&] {
      return InterruptCatcher::Interrupted() || (seams.interrupted && seams.interrupted());
    };
    ui::ScopedHeadlessPlatform platform;
    platform->SetToday(LocalToday());
    // A kept address= or sub= is not looked at: a scan looks for every device on the link.
    ResolvedLink resolved = ResolveLink(args, seams.makeLink, false);
    if (!resolved.warning.empty()) std::fprintf(err, "%s\n", resolved.warning.c_str());
    if (!resolved.error.empty()) {
      std::fprintf(err, "%s\n", resolved.error.c_str());
      CloseTrace(traceFile);
      return 1;
    }
    platform->SetRealTime(resolved.realTime || seams.makeLink);
    std::unique_ptr<hart::Link> inner = std::move(resolved.link);
    int from = args.from;
    int to = args.to;
    if (!inner) {
      // The built-in simulated transmitter answers at any address; it is one device, at 0.
      inner = std::make_unique<hart::SimulatedLink>();
      to = from == 0 ? 0 : -1;
    }
    hart::ReachLink link(std::move(inner), args.reach.value_or(hart::Reach{}),
                         resolved.choice.kind == LinkChoice::Kind::HartIp || seams.gateway);
    std::optional<hart::FrameTrace> trace;
    if (traceFile != nullptr) trace.emplace(traceFile);
    TSerialPortSettings settings;
    settings.trace = trace ? &*trace : nullptr;
    settings.link = &link;

    Waker waker;
    waker.Create();
    waker.SetTimer(1, kWakeMs);
    std::vector<FoundDevice> found;
    if (to >= from) {
      TDeviceScan scan(nullptr, TDeviceScan::QuietTemplate(), settings, from, to);
      const char* what = link.Gateway() ? "прибор" : "адрес";
      scan.onProgress = [&](int done, int total) {
        if (total > 0) std::fprintf(err, "\r%s %d из %d", what, done, total);
        std::fflush(err);
      };
      scan.CreateModeless();
      scan.Begin();
      platform->RunUntil([&] { return !scan.Running() || stopAsked(); }, kScanLimitMs);
      if (scan.Running()) {
        scan.Stop();
        platform->RunUntil([&] { return !scan.Running(); }, kStopLimitMs);
      }
      std::fputc('\n', err);
      found = scan.Found();
      scan.Destroy();
    }
    // Ctrl+C ended the walk: what was found is still identified, unless it is pressed again.
    const bool scanInterrupted = stopAsked();
    InterruptCatcher::Clear();
    for (const auto& [index, why] : link.Refused()) {
      std::fprintf(err, "прибор %u: пропущен, %s\n", index, why.c_str());
    }
    TDane records;
    for (const FoundDevice& device : found) {
      if (!device.leftOut.empty()) {
        std::fprintf(err, "%s\n", FoundLine(device).c_str());
        continue;
      }
      std::fprintf(out, "%s\n", FoundLine(device).c_str());
      if (args.output.empty() || InterruptCatcher::Interrupted()) continue;
      const hart::Reach reach = args.reach && !device.sub ? *args.reach : device.ReachOf();
      if (std::optional<TDaneIPPC> record = IdentifyReached(nullptr, settings, link, reach)) {
        records.Append(*record);
      } else {
        std::fprintf(err, "%s: идентификация не удалась\n", FoundLine(device).c_str());
      }
    }
    if (scanInterrupted || InterruptCatcher::Interrupted()) {
      std::fprintf(err, "Поиск прерван: найдено приборов %zu, записей %zu.\n", found.size(),
                   records.Count());
    }
    if (!args.output.empty()) {
      if (records.Count() == 0) {
        std::fputs("Приборов не найдено: файл данных не записан.\n", err);
        status = 1;
      } else if (!datafile::WriteDatabaseFile(args.output, records)) {
        std::fprintf(err, "Не найдено файла данных: %s\n", args.output.c_str());
        status = 1;
      }
    }
    waker.Destroy();
  }
  CloseTrace(traceFile);
  return status;
}
