// The transmitter data file (.pom): decimal numbers in text, six lines per record after the count.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "data/database.h"

namespace datafile {

// The count line, then six lines per record. Every record value passes through a float and is
// written fixed-point; the text never depends on the process locale.
std::string DatabaseText(const TDane& database);
void WriteDatabase(std::ostream& out, const TDane& database);

struct ReadResult {
  std::size_t appended = 0;  // complete records appended to the database
  bool damaged = false;      // the file ended early or held something that is not a number
  int readError = 0;         // the errno of a read that failed (then damaged too)
};

// Appends the file's records. Reading stops at the end of the text or at the first thing that is
// not a number; only complete records are kept. Nothing is reserved from the count read.
ReadResult ReadDatabase(std::istream& in, TDane& database);
ReadResult ReadDatabase(std::string_view text, TDane& database);
// nullopt when the file cannot be opened for reading (missing, a folder, no permission).
// The file is streamed: memory does not grow with its size, only with the records kept.
std::optional<ReadResult> ReadDatabaseFile(const std::string& path, TDane& database);

// Replaces the file whole (ui::ReplaceFile): false, with the reason in Russian in `reason`, and
// the target untouched unless every byte was written.
bool WriteDatabaseFile(const std::string& path, const TDane& database,
                       std::string* reason = nullptr);

}  // namespace datafile
