#include "app/journal_command.h"

#include <charconv>
#include <optional>
#include <string_view>

#include "app/command_line.h"
#include "ui/safe_file.h"

namespace {

// A device identifier as the panel shows it (decimal) or as the frame carries it (0x…).
std::optional<std::int64_t> ParseDeviceId(std::string_view text) {
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    text.remove_prefix(2);
    base = 16;
  }
  std::int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 0 ||
      value > 0xFFFFFF) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

bool IsJournalCommand(int argc, const char* const* argv) {
  return argc > 1 && std::string_view(argv[1]) == "journal";
}

std::string JournalUsage() {
  return "Использование:\n"
         "  kestrel7 journal [--device НОМЕР | --tag ТЕГ] [--since ДАТА] [--csv ФАЙЛ]\n"
         "                   записи журнала изменений, старые первыми; --device: заводской\n"
         "                   номер прибора (десятичный или 0x…), --tag: тег, --since: с даты\n"
         "                   ГГГГ-ММ-ДД [ЧЧ:ММ[:СС]] местного времени, --csv: в файл CSV\n"
         "  kestrel7 journal --verify\n"
         "                   проверка цепочки: не изменена, не удалена и не переставлена ли\n"
         "                   запись после записи\n";
}

std::string EntryLine(const journal::Entry& e) {
  std::string line = std::to_string(e.seq) + "  " + e.timeLocal + "  " +
                     (e.tag.empty() ? std::string("без тега") : e.tag) + " (изг. " +
                     std::to_string(e.manufacturer) + ", тип " + std::to_string(e.deviceType) +
                     ", № " + std::to_string(e.deviceId) + ")  " + e.field + ": " +
                     (e.before.empty() ? std::string("—") : e.before) + " → " +
                     (e.sent.empty() ? std::string("—") : e.sent);
  if (!e.readBack.empty()) line += ", прочитано " + e.readBack;
  if (!e.asFound.empty() || !e.asLeft.empty()) {
    line += ", до " + (e.asFound.empty() ? std::string("—") : e.asFound) + ", после " +
            (e.asLeft.empty() ? std::string("—") : e.asLeft);
  }
  return line + " — " + e.outcome + " [" + e.link + "]";
}

bool WriteJournalCsv(const std::string& path, const std::vector<journal::Entry>& entries,
                     std::string& error) {
  std::string reason;
  if (ui::ReplaceFile(path, journal::CsvOf(entries), reason)) return true;
  error = "Не удалось записать файл CSV " + path + ": " + reason;
  return false;
}

int RunJournal(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  journal::Filter filter;
  std::string csv;
  bool verify = false;
  bool listing = false;
  std::string error;
  for (int i = 2; i < argc && error.empty(); ++i) {
    const std::string_view arg = argv[i];
    const bool takes = arg == "--device" || arg == "--tag" || arg == "--since" || arg == "--csv";
    if (takes && i + 1 >= argc) {
      error = "после " + std::string(arg) + " нужно значение";
      break;
    }
    if (arg == "--help" || arg == "-h") {
      std::fputs(JournalUsage().c_str(), out);
      return 0;
    } else if (arg == "--verify") {
      verify = true;
    } else if (arg == "--device") {
      filter.deviceId = ParseDeviceId(argv[++i]);
      if (!filter.deviceId) error = "--device: не номер прибора: " + std::string(argv[i]);
    } else if (arg == "--tag") {
      filter.tag = argv[++i];
    } else if (arg == "--since") {
      const auto since = journal::SinceUtc(argv[++i]);
      if (!since) error = "--since: дата пишется ГГГГ-ММ-ДД [ЧЧ:ММ[:СС]]: " + std::string(argv[i]);
      else filter.sinceUtc = *since;
    } else if (arg == "--csv") {
      csv = argv[++i];
      if (csv.empty()) error = "после --csv нужно имя файла";
    } else {
      error = "непонятный аргумент: " + std::string(arg);
    }
    listing = listing || (takes && arg != "--verify");
  }
  if (error.empty() && filter.deviceId && filter.tag) error = "--device и --tag не указывают вместе";
  if (error.empty() && verify && listing) error = "--verify указывают без других параметров";
  if (!error.empty()) {
    std::fprintf(err, "kestrel7 journal: %s\n\n%s", error.c_str(), JournalUsage().c_str());
    return kExitUsage;
  }

  std::string warning;
  const std::string path = journal::DefaultPath();
  auto journal = path.empty() ? nullptr : journal::Journal::Open(path, warning);
  if (!warning.empty()) std::fprintf(err, "%s\n", warning.c_str());
  if (!journal) {
    if (warning.empty()) std::fputs("Журнал изменений недоступен: не задана HOME.\n", err);
    return 1;
  }
  if (verify) {
    // A journal found damaged was set aside: the one verified is new, and the check failed.
    if (!warning.empty()) return 1;
    const auto problems = journal->Verify();
    for (const journal::Problem& p : problems) std::fprintf(out, "%s\n", p.text.c_str());
    if (problems.empty()) {
      std::fprintf(out, "Журнал изменений цел: %zu записей (%s).\n",
                   journal->List({}).size(), path.c_str());
      return 0;
    }
    std::fprintf(out, "Журнал изменений нарушен: %zu нарушений (%s).\n", problems.size(),
                 path.c_str());
    return 1;
  }
  const auto entries = journal->List(filter);
  if (!csv.empty()) {
    if (!WriteJournalCsv(csv, entries, error)) {
      std::fprintf(err, "%s\n", error.c_str());
      return 1;
    }
    return 0;
  }
  for (const journal::Entry& e : entries) std::fprintf(out, "%s\n", EntryLine(e).c_str());
  return 0;
}
