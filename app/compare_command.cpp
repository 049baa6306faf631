#include "app/compare_command.h"

#include <charconv>
#include <string_view>

#include "app/command_line.h"
#include "app/configuration.h"
#include "app/journal_session.h"
#include "data/data_file.h"
#include "data/database.h"
#include "hart/reach_link.h"
#include "hart/simulated_link.h"
#include "ui/headless/headless_platform.h"

namespace {

std::string Usage(bool apply) {
  return std::string(apply ? "Использование: kestrel7 apply ФАЙЛ [СВЯЗЬ] [--record N] [--force]\n"
                 "  записывает в преобразователь конфигурацию записи N (по умолчанию 1) файла\n"
                 "  данных: единицы, диапазон, постоянную времени, характеристику, тег,\n"
                 "  дескриптор, дату и сообщение; каждое значение читается обратно. Другому\n"
                 "  изготовителю или типу прибора не записывает без --force.\n"
               : "Использование: kestrel7 compare ФАЙЛ [СВЯЗЬ] [--record N]\n"
                 "  сравнивает конфигурацию преобразователя с записью N (по умолчанию 1) файла\n"
                 "  данных; код 0: совпадает, 1: различается, 3: преобразователь не прочитан.\n") +
         "\n" + kLinkHelp;
}

bool IsCommand(int argc, const char* const* argv, std::string_view name) {
  return argc > 1 && std::string_view(argv[1]) == name;
}

// The record the arguments name, from the data file; false, said on `err`, when there is none.
bool LoadRecord(const DeviceArgs& args, TDaneIPPC& record, std::FILE* err) {
  ui::ScopedHeadlessPlatform platform;
  TDane db;
  const auto result = datafile::ReadDatabaseFile(args.file, db);
  if (!result) {
    std::fprintf(err, "Не найдено файла данных: %s\n", args.file.c_str());
    return false;
  }
  if (result->damaged) {
    std::fprintf(err, "Файл данных повреждён: %s\n", args.file.c_str());
    return false;
  }
  if (args.record > static_cast<int>(db.Count())) {
    std::fprintf(err, "В файле данных %s записей: %zu; записи %d нет.\n", args.file.c_str(),
                 db.Count(), args.record);
    return false;
  }
  record = db.At(static_cast<std::size_t>(args.record - 1));
  return true;
}

// Runs `work` with the platform and the link the arguments name, the transmitter identified.
// Returns the exit status of `work`, or kExitUnread.
int WithTransmitter(
    const DeviceArgs& args, std::FILE* err, const LinkMaker& makeLink,
    const std::function<int(const TSerialPortSettings&, const TDaneIPPC&, const LinkChoice&)>&
        work) {
  ui::ScopedHeadlessPlatform platform;
  hart::SimulatedLink simulated;
  // Without a link option, the link chosen in the window and kept in link.conf.
  const ResolvedLink resolved = ResolveLink(args, makeLink);
  if (!resolved.warning.empty()) std::fprintf(err, "%s\n", resolved.warning.c_str());
  if (!resolved.error.empty()) {
    std::fprintf(err, "%s\n", resolved.error.c_str());
    return kExitUnread;
  }
  const std::unique_ptr<hart::Link>& link = resolved.link;
  // A real transmitter answers in real time; the simulated one on the virtual clock.
  platform->SetRealTime(resolved.realTime);
  TSerialPortSettings settings;
  settings.link = link ? link.get() : &simulated;
  const auto device = IdentifyTransmitter(nullptr, settings);
  for (const ui::MessageBoxRecord& box : platform->MessageBoxes()) {
    std::fprintf(err, "%s\n", box.text.c_str());
  }
  auto* reaching = dynamic_cast<hart::ReachLink*>(link.get());
  if (reaching != nullptr && reaching->IndexRefused()) {
    // Nothing went to a sub-device the gateway does not have: the number given was wrong.
    std::fprintf(err, "%s\n", reaching->Refusal().c_str());
    return kExitUsage;
  }
  if (!device) {
    std::fputs("Преобразователь не прочитан: нет ответа.\n", err);
    return kExitUnread;
  }
  return work(settings, *device, resolved.choice);
}

}  // namespace

bool IsCompareCommand(int argc, const char* const* argv) {
  return IsCommand(argc, argv, "compare");
}
bool IsApplyCommand(int argc, const char* const* argv) { return IsCommand(argc, argv, "apply"); }

std::optional<DeviceArgs> ParseDeviceArgs(int argc, const char* const* argv, bool apply,
                                          std::string& error) {
  DeviceArgs args;
  for (int i = 2; i < argc && error.empty(); ++i) {
    const std::string_view arg = argv[i];
    if (TakeLinkOption(argc, argv, i, args, error)) continue;
    if (arg == "--record" && (i + 1 >= argc || argv[i + 1][0] == '\0' || argv[i + 1][0] == '-')) {
      error = "после --record нужен номер записи";
    } else if (arg == "--record") {
      const std::string_view n = argv[++i];
      const auto [end, ec] = std::from_chars(n.data(), n.data() + n.size(), args.record);
      if (ec != std::errc() || end != n.data() + n.size() || args.record < 1) {
        error = "--record: номер записи от 1: " + std::string(n);
      }
    } else if (apply && arg == "--force") {
      args.force = true;
    } else if (args.file.empty() && !arg.empty() && arg[0] != '-') {
      args.file = arg;
    } else {
      error = "непонятный аргумент: " + std::string(arg);
    }
  }
  if (error.empty() && args.file.empty()) error = "нужно имя файла данных";
  if (error.empty()) error = LinkOptionsError(args);
  if (!error.empty()) return std::nullopt;
  return args;
}

int RunCompare(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  std::string error;
  const auto args = ParseDeviceArgs(argc, argv, false, error);
  if (!args) {
    std::fprintf(err, "kestrel7 compare: %s\n\n%s", error.c_str(), Usage(false).c_str());
    return kExitUsage;
  }
  return RunCompare(*args, out, err);
}

// A data file that cannot be read is a usage error: the arguments name no record to compare.
int RunCompare(const DeviceArgs& args, std::FILE* out, std::FILE* err, const LinkMaker& link) {
  TDaneIPPC file;
  if (!LoadRecord(args, file, err)) return kExitUsage;
  return WithTransmitter(args, err, link, [&](const TSerialPortSettings&, const TDaneIPPC& device,
                                              const LinkChoice&) {
    const auto rows = CompareConfiguration(file, device);
    std::fputs(ComparisonText(rows).c_str(), out);
    for (const ConfigRow& r : rows) {
      if (r.differs) return kExitDifferent;
    }
    return 0;
  });
}

int RunApply(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  std::string error;
  const auto args = ParseDeviceArgs(argc, argv, true, error);
  if (!args) {
    std::fprintf(err, "kestrel7 apply: %s\n\n%s", error.c_str(), Usage(true).c_str());
    return kExitUsage;
  }
  return RunApply(*args, out, err);
}

int RunApply(const DeviceArgs& args, std::FILE* out, std::FILE* err, const LinkMaker& link) {
  TDaneIPPC file;
  if (!LoadRecord(args, file, err)) return kExitUsage;
  return WithTransmitter(args, err, link, [&](const TSerialPortSettings& settings,
                                              const TDaneIPPC& device, const LinkChoice& choice) {
    // Identification writes nothing: the journal is opened for the writes, naming their link.
    JournalSession journal(LinkName(choice),
                           [&](const std::string& w) { std::fprintf(err, "%s\n", w.c_str()); });
    if (!SameKind(file, device) && !args.force) {
      std::fprintf(err,
                   "Запись %d файла %s — другого прибора: изготовитель %d, тип %d; "
                   "преобразователь: изготовитель %d, тип %d. Ничего не записано "
                   "(--force записывает всё же).\n",
                   args.record, args.file.c_str(), file.manufacturerId, file.deviceType,
                   device.manufacturerId, device.deviceType);
      return kExitUsage;
    }
    TApplyDialog apply(nullptr, settings, file, device,
                       {ConfigPart::Units, ConfigPart::Range, ConfigPart::Damping,
                        ConfigPart::TransferFunction, ConfigPart::TagDescriptorDate,
                        ConfigPart::Message});
    apply.Execute();
    for (const TApplyDialog::Step& step : apply.Steps()) {
      std::fprintf(out, "%s\n", step.text.c_str());
    }
    std::fprintf(out, "%s\n", apply.Summary().c_str());
    return apply.Finished() && !apply.Failed() ? 0 : 1;
  });
}
