// Writing files where other users may plant links and the disk may fill up. Every writer of the
// program goes through here: the data file, the report, the trace and the CSV log.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace ui {

// The operator's words for a failed system call (an errno value): one Russian sentence.
std::string FileErrorText(int error);

// Both writers below follow links as the kernel does, but refuse one that the kernel's
// protected-symlink rule would not follow, whatever the system's setting: a link in a sticky,
// world-writable folder (/tmp) owned neither by us nor by the folder's owner.

// Writes `content` to a new file of a random name beside the target, flushes it to the disk and
// renames it over the target; the file replaced keeps its permission bits, owner and group.
// False, with the reason in `reason`, the target untouched and nothing left behind, unless every
// byte was written.
bool ReplaceFile(const std::string& path, std::string_view content, std::string& reason);

// Creates or empties a file written as it goes (the trace, the CSV log): null, with the reason,
// when it cannot or must not.
std::FILE* OpenForWriting(const std::string& path, std::string& reason);

// Whether everything written to `file` reached the system: flushes it, and closes it when
// `close`; false with the reason when any write failed, then or before.
bool FinishWriting(std::FILE* file, bool close, std::string& reason);

// Two names of one file (the same device and inode); false when either does not exist.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace ui
