// kestrel7 compare and kestrel7 apply: a record of a data file against the transmitter on the
// link, field by field, and the record's configuration written to the transmitter.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/link_options.h"
#include "hart/link.h"

// The link options are the base's.
struct DeviceArgs : LinkOptions {
  std::string file;
  int record = 1;          // --record, counted from 1
  bool force = false;      // --force (apply only)
};

// True when the command line asks for `compare` (or `apply`).
bool IsCompareCommand(int argc, const char* const* argv);
bool IsApplyCommand(int argc, const char* const* argv);
// The arguments after the command word; nullopt, with the reason in Russian, when wrong.
std::optional<DeviceArgs> ParseDeviceArgs(int argc, const char* const* argv, bool apply,
                                          std::string& error);

// What a test puts in place of the simulated transmitter.
using LinkMaker = std::function<std::unique_ptr<hart::Link>()>;

// compare: 0 equal, 1 different, 2 wrong arguments or data file, 3 the transmitter unread.
int RunCompare(int argc, const char* const* argv, std::FILE* out, std::FILE* err);
int RunCompare(const DeviceArgs& args, std::FILE* out, std::FILE* err, const LinkMaker& link = {});
// apply: 0 all written and read back, 1 a step refused or unanswered, 2 wrong arguments or
// another kind of transmitter (nothing written), 3 the transmitter unread.
int RunApply(int argc, const char* const* argv, std::FILE* out, std::FILE* err);
int RunApply(const DeviceArgs& args, std::FILE* out, std::FILE* err, const LinkMaker& link = {});

inline constexpr int kExitDifferent = 1;
inline constexpr int kExitUnread = 3;
