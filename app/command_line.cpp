#include "app/command_line.h"

#include <cctype>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string_view>

#include "app/link_settings.h"
#include "app/main_window.h"
#include "app/menu.h"
#include "data/data_file.h"
#include "data/data_panel.h"
#include "data/report.h"
#include "hart/device_status.h"
#include "hart/hart_ip_link.h"
#include "hart/identification_dialog.h"
#include "hart/identity.h"
#include "hart/reach_link.h"
#include "hart/serial_link.h"
#include "hart/simulated_link.h"
#include "ui/headless/headless_platform.h"
#include "ui/safe_file.h"

namespace {

// Identification takes six transactions and the close delay; this leaves it ample room.
constexpr std::int64_t kStartUpMs = 10000;
// A real link may poll all sixteen addresses, three attempts each, before it gives up.
constexpr std::int64_t kRealStartUpMs = 60000;

constexpr const char* kDamagedFile = "Файл данных повреждён.\nСчитано записей: ";
constexpr const char* kMissingFile = "Не найдено файла данных";
constexpr const char* kLinkNotForFiles =
    "СВЯЗЬ (--port, --hart-ip, --simulated, --address…) относится к окну программы и к командам "
    "identify, read, scan, compare и apply";

void PrintRecord(std::FILE* out, const TDaneIPPC& record, std::size_t number) {
  // The panel itself formats the fields, so the text is exactly what it shows.
  TDane one;
  one.Append(record);
  TMonitorHart panel(nullptr, one);
  panel.Refresh();
  std::fprintf(out, "Запись %zu\n", number);
  for (const TMonitorHart::Row& row : TMonitorHart::Rows()) {
    std::fprintf(out, "%s %s\n", row.label, panel.Item(row.fieldId)->Text().c_str());
  }
}

void PrintDatabase(std::FILE* out, const TDane& db) {
  for (std::size_t i = 0; i < db.Count(); ++i) {
    if (i > 0) std::fputc('\n', out);
    PrintRecord(out, db.At(i), i + 1);
  }
}

// Reads a data file; on failure says why on `err` and returns false, keeping what was read.
bool LoadForCommandLine(const std::string& path, TDane& db, std::FILE* err) {
  const auto result = datafile::ReadDatabaseFile(path, db);
  if (!result) {
    std::fprintf(err, "%s: %s\n", kMissingFile, path.c_str());
    return false;
  }
  if (result->readError != 0) {
    std::fprintf(err, "Не удалось прочитать файл данных: %s\n%s\n", path.c_str(),
                 ui::FileErrorText(result->readError).c_str());
    return false;
  }
  if (result->damaged) {
    std::fprintf(err, "%s%zu.\n", kDamagedFile, result->appended);
    return false;
  }
  return true;
}

// A word on the command line is a data file to open when it has the data file's extension or
// names an existing file; anything else is a mistyped command or option.
bool NamesDataFile(std::string_view arg) {
  constexpr std::string_view kExtension = ".pom";
  if (arg.size() > kExtension.size()) {
    std::string tail(arg.substr(arg.size() - kExtension.size()));
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (tail == kExtension) return true;
  }
  std::error_code ec;
  return std::filesystem::is_regular_file(std::filesystem::path(arg), ec);
}

std::string WithExtension(const std::string& path, const char* extension) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (hasExtension ? path.substr(0, dot) : path) + extension;
}

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  CommandLine args;
  int i = 1;
  auto takeValue = [&](std::string& into, std::string_view option,
                       std::string_view what = "имя файла") {
    if (i + 1 >= argc) {
      args.command = CommandLine::Command::Error;
      args.error = "после " + std::string(option) + " нужно " + std::string(what);
      return;
    }
    into = argv[++i];
    // An unset variable in a script gives an empty name: no file is no screen either.
    if (into.empty() && (option == "-o" || option == "--trace")) {
      args.command = CommandLine::Command::Error;
      args.error = "после " + std::string(option) + " нужно " + std::string(what);
    }
  };
  bool commandSeen = false;
  for (; i < argc && args.command != CommandLine::Command::Error; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      args.command = CommandLine::Command::Help;
      return args;
    } else if (arg == "--version") {
      args.command = CommandLine::Command::Version;
      return args;
    } else if (arg == "--trace") {
      takeValue(args.trace, arg);
    } else if (arg == "-o") {
      takeValue(args.output, arg);
    } else if (TakeLinkOption(argc, argv, i, args, args.error)) {
      if (!args.error.empty()) args.command = CommandLine::Command::Error;
    } else if (!commandSeen && arg == "identify") {
      args.command = CommandLine::Command::Identify;
      commandSeen = true;
    } else if (!commandSeen && (arg == "show" || arg == "report")) {
      args.command = arg == "show" ? CommandLine::Command::Show : CommandLine::Command::Report;
      commandSeen = true;
      takeValue(args.file, arg);
    } else if (!commandSeen && args.file.empty() && !arg.starts_with("-") && NamesDataFile(arg)) {
      args.file = arg;  // the window opens it
    } else {
      args.command = CommandLine::Command::Error;
      args.error = "непонятный аргумент: " + std::string(arg);
    }
  }
  if (args.command == CommandLine::Command::Error) return args;
  const bool onFile =
      args.command == CommandLine::Command::Show || args.command == CommandLine::Command::Report;
  const bool linkGiven = ChoiceOf(args) || args.reach || !args.switchRts || args.tcp ||
                         !args.pskFile.empty();
  std::string error;
  if (args.command == CommandLine::Command::Identify && !args.file.empty()) {
    error = "непонятный аргумент: " + args.file;
  } else if (args.command == CommandLine::Command::Desktop && !args.output.empty()) {
    error = "-o относится к командам identify и report";
  } else if (onFile && linkGiven) {
    error = kLinkNotForFiles;
  } else {
    error = LinkOptionsError(args);
  }
  if (!error.empty()) {
    args.command = CommandLine::Command::Error;
    args.error = std::move(error);
  }
  return args;
}

LinkChoice ChosenLink(const LinkOptions& options, std::string& warning) {
  return ResolveLinkChoice(ChoiceOf(options), warning);
}

std::unique_ptr<hart::Link> OpenHartIpLink(const LinkOptions& options, std::string& error) {
  return OpenHartIpLink(options.hartIp, options.tcp, options.pskFile, error);
}

std::unique_ptr<hart::Link> OpenHartIpLink(const std::string& address, bool tcp,
                                           std::string& error) {
  return OpenHartIpLink(address, tcp, "", error);
}

std::unique_ptr<hart::Link> OpenHartIpLink(const std::string& address, bool tcp,
                                           const std::string& pskFile, std::string& error) {
  hart::HartIpOptions options;
  options.tcp = tcp;
  if (!pskFile.empty()) {
    options.key = hart::LoadHartIpKey(pskFile, error);
    if (!options.key) return nullptr;
  }
  return hart::HartIpLink::Open(address, options, error);
}

std::string HelpText() {
  return "Kestrel7 — программа коммуникации с преобразователями давления HART.\n"
         "\n"
         "Использование:\n"
         "  kestrel7 [СВЯЗЬ] [--trace ФАЙЛ] [ФАЙЛ.pom]    окно программы; с файлом данных\n"
         "                                               открывает его вместо идентификации\n"
         "  kestrel7 identify [СВЯЗЬ] [-o ФАЙЛ] [--trace ФАЙЛ]\n"
         "                                               идентификация преобразователя;\n"
         "                                               с -o запись в файл данных (.pom),\n"
         "                                               без -o вывод данных на экран\n"
         "  kestrel7 read [СВЯЗЬ] [--period С] [--count N | --duration С]\n"
         "                [--csv ФАЙЛ] [--trace ФАЙЛ]    давление и ток в линии строками CSV\n"
         "                                               каждые С секунд (от 0.4 до 60, по\n"
         "                                               умолчанию 0.4): N показаний, С секунд\n"
         "                                               или до Ctrl+C, затем строка итогов\n"
         "                                               (kestrel7 read --help)\n"
         "  kestrel7 scan [СВЯЗЬ] [--from A] [--to B] [-o ФАЙЛ] [--trace ФАЙЛ]\n"
         "                                               поиск приборов на линии (адреса A..B,\n"
         "                                               по умолчанию 0..63) или за шлюзом\n"
         "                                               HART-IP; с -o запись всех в файл\n"
         "  kestrel7 show ФАЙЛ                           данные всех записей файла данных\n"
         "  kestrel7 report ФАЙЛ [-o ВЫХОД.pdf]          рапорт первой записи в PDF\n"
         "                                               (по умолчанию ФАЙЛ с расширением .pdf)\n"
         "  kestrel7 compare ФАЙЛ [СВЯЗЬ] [--record N]    конфигурация преобразователя против\n"
         "                                               записи N файла данных, поле за полем\n"
         "  kestrel7 apply ФАЙЛ [СВЯЗЬ] [--record N] [--force]\n"
         "                                               конфигурация записи N файла данных\n"
         "                                               записывается в преобразователь\n"
         "  kestrel7 journal [--device НОМЕР | --tag ТЕГ] [--since ДАТА] [--csv ФАЙЛ]\n"
         "                                               журнал изменений: всё, что программа\n"
         "                                               записала в приборы\n"
         "  kestrel7 journal --verify                    не изменён ли журнал задним числом\n"
         "                                               (kestrel7 journal --help)\n"
         "  kestrel7 --help                              эта справка\n"
         "  kestrel7 --version                           версия программы\n"
         "\n"
         "--trace ФАЙЛ записывает все кадры HART в ФАЙЛ (- : стандартный поток ошибок).\n"
         "--port ПОРТ связывается с преобразователем через модем HART на последовательном\n"
         "порту ПОРТ (например /dev/ttyUSB0).\n"
         "--no-rts не переключает линию RTS: для модемов, которые переключаются сами.\n"
         "--hart-ip УЗЕЛ[:ПОРТ] связывается с преобразователем по сети через шлюз,\n"
         "мультиплексор или преобразователь HART-IP (порт по умолчанию 5094), по UDP;\n"
         "--tcp — по TCP.\n"
         "--psk-file ФАЙЛ открывает защищённый сеанс HART-IP версии 2 (TLS, по UDP — DTLS)\n"
         "с общим ключом из ФАЙЛа: строки identity=ИДЕНТИФИКАТОР и key=КЛЮЧ (шестнадцатеричный);\n"
         "файл должен принадлежать вам и быть закрыт для других (права 0600).\n"
         "--simulated связывается со встроенным имитатором преобразователя.\n" +
         std::string(kLinkHelp);
}

std::string VersionText() { return std::string("kestrel7 ") + K7_VERSION + "\n"; }

int RunUsageError(const CommandLine& args, std::FILE* err) {
  std::fprintf(err, "kestrel7: %s\n\n%s", args.error.c_str(), HelpText().c_str());
  return kExitUsage;
}

ui::Date LocalToday() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return ui::Date{local.tm_mday, local.tm_mon + 1, local.tm_year + 1900};
}

std::FILE* OpenTrace(const std::string& name, std::string& error) {
  if (name.empty()) return nullptr;
  if (name == "-") return stderr;
  std::string reason;
  std::FILE* file = ui::OpenForWriting(name, reason);
  if (file == nullptr) error = "Не удалось открыть файл трассировки: " + name + "\n" + reason;
  return file;
}

void CloseTrace(std::FILE* file) {
  std::string error;
  CloseTrace(file, error);
}

bool CloseTrace(std::FILE* file, std::string& error) {
  if (file == nullptr || file == stderr) return true;
  std::string reason;
  if (ui::FinishWriting(file, true, reason)) return true;
  error = "Не удалось записать файл трассировки.\n" + reason;
  return false;
}

bool FinishOutput(std::FILE* out, std::FILE* err) {
  std::string reason;
  if (ui::FinishWriting(out, false, reason)) return true;
  std::fprintf(err, "Не удалось вывести данные.\n%s\n", reason.c_str());
  return false;
}

int RunIdentify(const CommandLine& args, std::FILE* out, std::FILE* err) {
  std::string traceError;
  std::FILE* traceFile = OpenTrace(args.trace, traceError);
  if (!traceError.empty()) {
    std::fprintf(err, "%s\n", traceError.c_str());
    return 1;
  }
  int status = 0;
  {
    ui::ScopedHeadlessPlatform platform;
    platform->SetToday(LocalToday());
    ResolvedLink resolved = ResolveLink(args);
    if (!resolved.warning.empty()) std::fprintf(err, "%s\n", resolved.warning.c_str());
    if (!resolved.error.empty()) {
      std::fprintf(err, "%s\n", resolved.error.c_str());
      CloseTrace(traceFile);
      return 1;
    }
    // The transmitter on a line or the network answers in real time.
    const bool real = resolved.realTime;
    platform->SetRealTime(real);
    std::unique_ptr<hart::Link> link = std::move(resolved.link);
    auto* reaching = dynamic_cast<hart::ReachLink*>(link.get());
    // Always there, so that the device status of every reply is heard; it writes only to a file.
    hart::FrameTrace trace(traceFile);
    // What the transmitter reported over the whole identification: a bit such as the cold start
    // comes in one reply only.
    std::uint8_t deviceStatus = 0;
    trace.SetDeviceStatusListener([&](std::uint8_t status) { deviceStatus |= status; });
    TMyWindow window(&trace, link.get());
    window.SetLinkChoice(resolved.choice);
    window.Create();
    // What the transmitter said of itself, for the line that ends the output.
    std::optional<hart::Identity> identity;
    platform->OnModal(THartKom0::kResourceId, [&](ui::Dialog& dialog) {
      auto* identification = dynamic_cast<THartKom0*>(&dialog);
      if (identification == nullptr) return;
      // On a real link the run is over once the record is stored, without the closing delay.
      platform->RunUntil(
          [&] { return dialog.Ended() || (real && window.Database().Count() > 0); },
          real ? kRealStartUpMs : kStartUpMs);
      identity = identification->IdentityHeard();
    });
    if (link) {
      // No one sees the About box here: polling starts at once.
      window.KillTimer(TMyWindow::kStartTimerId);
      window.SendMessage(ui::kMsgCommand, ui::MakeWParam(kCmdIdentify, 0));
      // No one sees the message boxes of the run: what they said goes to the error stream.
      for (const ui::MessageBoxRecord& box : platform->MessageBoxes()) {
        std::fprintf(err, "%s\n", box.text.c_str());
      }
    } else {
      platform->Advance(kStartUpMs);
    }
    const TDane& db = window.Database();
    if (reaching != nullptr && reaching->IndexRefused()) {
      // Nothing went to a sub-device the gateway does not have: the number given was wrong.
      std::fprintf(err, "%s\n", reaching->Refusal().c_str());
      status = kExitUsage;
    } else if (db.Count() == 0) {
      if (!link || platform->MessageBoxes().empty()) {
        std::fputs("Отсутствие ответа.\nПроверь, подключен ли преобразователь!!!\n", err);
      }
      status = 1;
    } else if (!args.output.empty()) {
      std::string reason;
      if (!datafile::WriteDatabaseFile(args.output, db, &reason)) {
        std::fprintf(err, "Не удалось записать файл данных: %s\n%s\n", args.output.c_str(),
                     reason.c_str());
        status = 1;
      }
    } else {
      PrintDatabase(out, db);
    }
    if (trace.Condition().burstMode) std::fprintf(out, "%s\n", hart::kBurstModeText);
    if (deviceStatus != 0) {
      std::fprintf(out, "%s%s\n", TMyWindow::kDeviceStatusText,
                   hart::DeviceStatusText(deviceStatus).c_str());
    }
    if (!trace.Condition().moreStatus.empty()) {
      std::fprintf(out, "Дополнительный статус: %s\n", trace.Condition().moreStatus.c_str());
    }
    // Said even when identifying went no further: it is who answered.
    if (identity) std::fprintf(out, "%s\n", hart::IdentityLine(*identity).c_str());
    window.Destroy();
  }
  if (!CloseTrace(traceFile, traceError)) {
    std::fprintf(err, "%s\n", traceError.c_str());
    status = 1;
  }
  return FinishOutput(out, err) ? status : 1;
}

int RunShow(const CommandLine& args, std::FILE* out, std::FILE* err) {
  ui::ScopedHeadlessPlatform platform;
  TDane db;
  const bool ok = LoadForCommandLine(args.file, db, err);
  PrintDatabase(out, db);
  return FinishOutput(out, err) && ok ? 0 : 1;
}

int RunReport(const CommandLine& args, const PdfRenderer& render, std::FILE* err) {
  TDane db;
  {
    ui::ScopedHeadlessPlatform platform;
    if (!LoadForCommandLine(args.file, db, err)) return 1;
  }
  const std::string output = args.output.empty() ? WithExtension(args.file, ".pdf") : args.output;
  if (ui::SameFile(args.file, output)) {
    std::fprintf(err, "Рапорт не записывается на место своего файла данных: %s\n", output.c_str());
    return 1;
  }
  TDrukuj report(db);
  std::string pdf;
  std::string reason;
  if (!render(report, pdf)) {
    std::fprintf(err, "Не удалось напечатать рапорт в файл: %s\n", output.c_str());
    return 1;
  }
  if (!ui::ReplaceFile(output, pdf, reason)) {
    std::fprintf(err, "Не удалось напечатать рапорт в файл: %s\n%s\n", output.c_str(),
                 reason.c_str());
    return 1;
  }
  return 0;
}
