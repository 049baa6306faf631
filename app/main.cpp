#include <cstdio>
#include <memory>

#include "app/command_line.h"
#include "app/compare_command.h"
#include "app/journal_command.h"
#include "app/journal_session.h"
#include "app/link_settings.h"
#include "app/main_window.h"
#include "app/read_command.h"
#include "app/scan_command.h"
#include "ui/qt/desktop.h"

namespace {

int RunWindow(int argc, char** argv, const CommandLine& args) {
  if (!ui::qt::DisplayAvailable()) {
    std::fputs("Нет дисплея: окно программы открыть нельзя; без окна работают kestrel7 identify, "
               "read, show ФАЙЛ и report ФАЙЛ (kestrel7 --help).\n",
               stderr);
    return 1;
  }
  std::string traceError;
  std::FILE* traceFile = OpenTrace(args.trace, traceError);
  if (!traceError.empty()) {
    std::fprintf(stderr, "%s\n", traceError.c_str());
    return 1;
  }
  // There without --trace too, writing nothing: the device status of every reply passes it.
  auto trace = std::make_unique<hart::FrameTrace>(traceFile);
  std::unique_ptr<TMyWindow> window;
  std::unique_ptr<JournalSession> journal;
  bool portFailed = false;
  const bool linkGiven = ChoiceOf(args).has_value();
  const int status = ui::qt::RunDesktop(
      argc, argv,
      [&] {
        ResolvedLink resolved = ResolveLink(args);
        std::string warning = resolved.warning;
        if (!resolved.error.empty() && linkGiven) {
          // Said on the terminal, and in a window for whoever started the program without one.
          std::fprintf(stderr, "%s\n", resolved.error.c_str());
          ui::ThePlatform().MessageBox(nullptr, resolved.error, "", ui::kMbOk | ui::kMbIconStop);
          portFailed = true;
          ui::ThePlatform().Quit();
          return;
        }
        if (!resolved.error.empty()) {
          // The kept link is not there today (a modem unplugged, say): the program starts all
          // the same, on the simulated transmitter, and says so.
          warning = resolved.error + "\nСвязь с имитатором преобразователя; другую связь выбери "
                                     "кнопкой «Связь» (Ctrl+L).";
          resolved.choice = LinkChoice{};
          // --address or --tag still reach the device asked for.
          resolved.link = ReachingChoice(nullptr, resolved.choice, args.reach);
        }
        if (!warning.empty()) {
          std::fprintf(stderr, "%s\n", warning.c_str());
          ui::ThePlatform().MessageBox(nullptr, warning, "Связь", ui::kMbOk | ui::kMbIconExclamation);
        }
        window = std::make_unique<TMyWindow>(trace.get());
        window->UseLink(std::move(resolved.link), resolved.choice);
        if (!args.file.empty()) window->OpenAtStart(args.file);
        window->Create();
        journal = std::make_unique<JournalSession>(
            LinkName(resolved.choice),
            [&](const std::string& warning) {
              std::fprintf(stderr, "%s\n", warning.c_str());
              if (window) window->ShowJournalWarning(warning);
            });
        // The window names each link it changes to in the journal's later entries.
        window->SetJournalSession(journal.get());
        window->Show(true);
      },
      [&] {
        window.reset();
        journal.reset();
      });
  trace.reset();
  if (!CloseTrace(traceFile, traceError)) {
    std::fprintf(stderr, "%s\n", traceError.c_str());
    return 1;
  }
  return portFailed ? 1 : status;
}

}  // namespace

int main(int argc, char** argv) {
  if (IsReadCommand(argc, argv)) return RunRead(argc, argv, stdout, stderr);
  if (IsScanCommand(argc, argv)) return RunScan(argc, argv, stdout, stderr);
  if (IsJournalCommand(argc, argv)) return RunJournal(argc, argv, stdout, stderr);
  if (IsCompareCommand(argc, argv)) return RunCompare(argc, argv, stdout, stderr);
  if (IsApplyCommand(argc, argv)) return RunApply(argc, argv, stdout, stderr);
  const CommandLine args = ParseCommandLine(argc, argv);
  switch (args.command) {
    case CommandLine::Command::Help:
      std::fputs(HelpText().c_str(), stdout);
      return 0;
    case CommandLine::Command::Version:
      std::fputs(VersionText().c_str(), stdout);
      return 0;
    case CommandLine::Command::Error:
      return RunUsageError(args, stderr);
    case CommandLine::Command::Identify:
      return RunIdentify(args, stdout, stderr);
    case CommandLine::Command::Show:
      return RunShow(args, stdout, stderr);
    case CommandLine::Command::Report:
      return RunReport(
          args, [](ui::Printout& report, std::string& pdf) { return ui::qt::RenderPdf(report, pdf); },
          stderr);
    case CommandLine::Command::Desktop:
      break;
  }
  return RunWindow(argc, argv, args);
}
