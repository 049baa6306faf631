#include <cstdio>
#include <memory>
#include <optional>

#include "app/command_line.h"
#include "app/main_window.h"
#include "ui/qt/desktop.h"

namespace {

int RunWindow(int argc, char** argv, const CommandLine& args) {
  if (!ui::qt::DisplayAvailable()) {
    std::fputs("Нет дисплея: окно программы открыть нельзя; без окна работают kestrel7 identify, "
               "show ФАЙЛ и report ФАЙЛ (kestrel7 --help).\n",
               stderr);
    return 1;
  }
  std::string traceError;
  std::FILE* traceFile = OpenTrace(args.trace, traceError);
  if (!traceError.empty()) {
    std::fprintf(stderr, "%s\n", traceError.c_str());
    return 1;
  }
  std::optional<hart::FrameTrace> trace;
  if (traceFile != nullptr) trace.emplace(traceFile);
  std::unique_ptr<TMyWindow> window;
  const int status = ui::qt::RunDesktop(
      argc, argv,
      [&] {
        window = std::make_unique<TMyWindow>(trace ? &*trace : nullptr);
        window->Create();
        window->Show(true);
      },
      [&] { window.reset(); });
  trace.reset();
  CloseTrace(traceFile);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const CommandLine args = ParseCommandLine(argc, argv);
  switch (args.command) {
    case CommandLine::Command::Help:
      std::fputs(HelpText().c_str(), stdout);
      return 0;
    case CommandLine::Command::Error:
      std::fprintf(stderr, "kestrel7: %s\n\n%s", args.error.c_str(), HelpText().c_str());
      return 2;
    case CommandLine::Command::Identify:
      return RunIdentify(args, stdout, stderr);
    case CommandLine::Command::Show:
      return RunShow(args, stdout, stderr);
    case CommandLine::Command::Report:
      return RunReport(args, ui::qt::PrintToPdf, stderr);
    case CommandLine::Command::Desktop:
      break;
  }
  return RunWindow(argc, argv, args);
}
