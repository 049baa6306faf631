#include <cstdio>

#include "app/command_line.h"

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
      std::fputs("kestrel7: печать рапорта в PDF появится вместе с окном программы.\n", stderr);
      return 1;
    case CommandLine::Command::Desktop:
      break;
  }
  std::puts("Kestrel7: окно программы ещё не готово; используйте kestrel7 identify или show "
            "(kestrel7 --help).");
  return 0;
}
