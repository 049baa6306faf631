// kestrel7 read: identifies the transmitter, then prints each reading of its pressure and loop
// current as a CSV line until a count or a duration is reached or Ctrl+C, then a summary line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/link_options.h"
#include "hart/link.h"

// The link options are the base's.
struct ReadArgs : LinkOptions {
  std::string trace;       // --trace: a file, or "-" for standard error
  int periodMs = 400;      // --period, in seconds on the command line
  std::optional<std::int64_t> count;       // --count
  std::optional<std::int64_t> durationMs;  // --duration, in seconds on the command line
  std::string csv;         // --csv: the file; empty: standard output
};

// True when the command line asks for `read`, wherever its options stand.
bool IsReadCommand(int argc, const char* const* argv);
// The arguments of `read`; empty, with the reason in Russian in `error`, when they are wrong.
std::optional<ReadArgs> ParseReadArgs(int argc, const char* const* argv, std::string& error);
std::string ReadUsage();

// What a test puts in place of the world: a link made once the platform exists, and the
// computer's clock (epoch milliseconds).
struct ReadSeams {
  std::function<std::unique_ptr<hart::Link>()> makeLink;
  std::function<std::int64_t()> wallClockMs;
};

// Each returns the process exit status: 0 done, 1 when the transmitter or a file failed or not
// one reading was taken, 2 for wrong arguments.
int RunRead(int argc, const char* const* argv, std::FILE* out, std::FILE* err);
int RunRead(const ReadArgs& args, std::FILE* out, std::FILE* err, const ReadSeams& seams = {});
