// kestrel7 scan: every device on the loop (polling addresses A..B) or behind a HART-IP gateway
// (the sub-devices its command 84 lists), one line each; with -o each is identified as identify
// does and stored as one record of the data file, in the order found. Progress on standard error;
// Ctrl+C ends the scan with what was found, and the data file is written only whole.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/link_options.h"
#include "hart/protokol.h"
#include "hart/reach.h"
#include "hart/reach_link.h"
#include "record/record.h"

// The link options are the base's; of --address, --tag and --sub only --tag stays in `reach`
// (an address is the range of one).
struct ScanArgs : LinkOptions {
  std::string trace;
  std::string output;  // -o
  int from = 0;
  int to = hart::kLastPollingAddress;
};

bool IsScanCommand(int argc, const char* const* argv);
std::optional<ScanArgs> ParseScanArgs(int argc, const char* const* argv, std::string& error);
std::string ScanUsage();

// What a test puts in place of the world: the link (made once the platform exists) and Ctrl+C.
struct ScanSeams {
  std::function<std::unique_ptr<hart::Link>()> makeLink;
  bool gateway = false;
  std::function<bool()> interrupted;
};

// 0 done (devices found or not), 1 a link or file failed, 2 wrong arguments.
int RunScan(int argc, const char* const* argv, std::FILE* out, std::FILE* err);
int RunScan(const ScanArgs& args, std::FILE* out, std::FILE* err, const ScanSeams& seams = {});

// Identifies the device `reach` reaches through `link` as identify does, the link's own reach
// put back afterwards: the record, or none when it did not answer.
std::optional<TDaneIPPC> IdentifyReached(ui::Window* parent, const TSerialPortSettings& settings,
                                         hart::ReachLink& link, const hart::Reach& reach);
