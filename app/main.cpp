#include <cstdio>
#include <memory>

#include "app/command_line.h"
#include "app/compare_command.h"
#include "app/journal_command.h"
#include "app/journal_session.h"
#include "app/main_window.h"
#include "app/read_command.h"
#include "app/scan_command.h"
#include "hart/reach_link.h"
#include "hart/simulated_link.h"
#include "hart/serial_link.h"
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
  std::unique_ptr<hart::Link> link;
  std::unique_ptr<TMyWindow> window;
  std::unique_ptr<JournalSession> journal;
  bool portFailed = false;
  const int status = ui::qt::RunDesktop(
      argc, argv,
      [&] {
        if (!args.port.empty() || !args.hartIp.empty()) {
          std::string error;
          if (!args.hartIp.empty()) {
            link = OpenHartIpLink(args, error);
          } else {
            link = hart::SerialLink::Open(args.port, hart::SerialOptions{args.switchRts}, error);
          }
          if (!link) {
            // Said on the terminal, and in a window for whoever started the program without one.
            std::fprintf(stderr, "%s\n", error.c_str());
            ui::ThePlatform().MessageBox(nullptr, error, "", ui::kMbOk | ui::kMbIconStop);
            portFailed = true;
            ui::ThePlatform().Quit();
            return;
          }
        }
        // --address, --tag, --sub, and a gateway's sub-devices for «Поиск приборов».
        if (args.reach || !args.hartIp.empty()) {
          if (!link) link = std::make_unique<hart::SimulatedLink>();
          link = std::make_unique<hart::ReachLink>(
              std::move(link), args.reach.value_or(hart::Reach{}), !args.hartIp.empty());
        }
        window = std::make_unique<TMyWindow>(trace.get(), link.get());
        if (!args.file.empty()) window->OpenAtStart(args.file);
        window->Create();
        journal = std::make_unique<JournalSession>(
            LinkName(args.port, args.hartIp, args.tcp), [&](const std::string& warning) {
              std::fprintf(stderr, "%s\n", warning.c_str());
              if (window) window->ShowJournalWarning(warning);
            });
        window->SetJournal(journal->Journal());
        window->Show(true);
      },
      [&] {
        window.reset();
        journal.reset();
        link.reset();
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
