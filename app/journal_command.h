// kestrel7 journal: the change journal's entries, all or one transmitter's, on the terminal or
// into a CSV file; with --verify, whether any entry was changed, removed or moved since.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "journal/journal.h"

// True when the command line asks for `journal`.
bool IsJournalCommand(int argc, const char* const* argv);
// 0 done (--verify: the chain holds), 1 the journal or the file failed (--verify: an entry does
// not hold), 2 wrong arguments.
int RunJournal(int argc, const char* const* argv, std::FILE* out, std::FILE* err);
std::string JournalUsage();
// One entry as a line of the listing (the window's list shows the same).
std::string EntryLine(const journal::Entry& entry);
// Writes the CSV form of `entries` into `path`; false, with the reason in Russian, when it could
// not be written whole.
bool WriteJournalCsv(const std::string& path, const std::vector<journal::Entry>& entries,
                     std::string& error);
