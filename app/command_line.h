// The command line of kestrel7: identification, showing and printing data files without a window.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/link_options.h"
#include "ui/printing.h"
#include "ui/types.h"

// The link options are the base's: the desktop and identify take them.
struct CommandLine : LinkOptions {
  enum class Command { Desktop, Help, Version, Identify, Show, Report, Error };
  Command command = Command::Desktop;
  std::string file;    // show, report; the window: a data file to open at start
  std::string output;  // -o
  std::string trace;   // --trace: a file, or "-" for standard error
  std::string error;   // what was wrong with the arguments
};

CommandLine ParseCommandLine(int argc, const char* const* argv);
std::string HelpText();
// "kestrel7 1.0.0" and a line feed.
std::string VersionText();

// The exit status of arguments that make no sense; a command that fails exits with 1.
constexpr int kExitUsage = 2;
// Says on `err` what was wrong with the arguments, then the help; returns kExitUsage.
int RunUsageError(const CommandLine& args, std::FILE* err);

namespace hart {
class Link;
}
struct LinkChoice;
// The link the options ask for, or else the one kept in link.conf; a warning about the file in
// `warning`.
LinkChoice ChosenLink(const LinkOptions& options, std::string& warning);
// The HART-IP link of --hart-ip, --tcp and --psk-file: null, with the operator's text in `error`,
// when the address is not one or the key file cannot be taken (then nothing was sent).
std::unique_ptr<hart::Link> OpenHartIpLink(const LinkOptions& options, std::string& error);
std::unique_ptr<hart::Link> OpenHartIpLink(const std::string& address, bool tcp,
                                           std::string& error);
std::unique_ptr<hart::Link> OpenHartIpLink(const std::string& address, bool tcp,
                                           const std::string& pskFile, std::string& error);

// Prints a printout as PDF into `pdf` with no window; false when it could not.
using PdfRenderer = std::function<bool(ui::Printout&, std::string& pdf)>;

// Each returns the process exit status. Identify prints the device status the transmitter
// reported, when it reported any, and ends with a line naming the transmitter that answered:
// "HART 7, изготовитель 0x00F9, тип 0xF9FD, номер 1, адрес 0".
int RunIdentify(const CommandLine& args, std::FILE* out, std::FILE* err);
int RunShow(const CommandLine& args, std::FILE* out, std::FILE* err);
// Report writes the PDF whole or not at all, never over its own data file.
int RunReport(const CommandLine& args, const PdfRenderer& render, std::FILE* err);

// Today's date from the computer's clock, in local time.
ui::Date LocalToday();

// Opens the trace named on the command line: nullptr when none is asked for or it cannot be
// opened (then `error` says why). Standard error is never closed.
std::FILE* OpenTrace(const std::string& name, std::string& error);
void CloseTrace(std::FILE* file);
// False, with `error` saying why, when any line of the trace was not written.
bool CloseTrace(std::FILE* file, std::string& error);
// False, after saying why on `err`, when anything written to `out` was lost (a full disk).
bool FinishOutput(std::FILE* out, std::FILE* err);
