// The frame trace in memory, for tests that check what a link says it sent and received.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "hart/frame_trace.h"

class TraceCapture {
 public:
  TraceCapture() : file_(open_memstream(&text_, &size_)), trace(file_) {}
  ~TraceCapture() {
    trace.Flush();
    std::fclose(file_);
    std::free(text_);
  }
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  // Each line without its time.
  std::vector<std::string> Lines() {
    std::fflush(file_);
    std::vector<std::string> lines;
    const std::string all(text_, size_);
    std::size_t from = 0;
    for (std::size_t end; (end = all.find('\n', from)) != std::string::npos; from = end + 1) {
      const std::string line = all.substr(from, end - from);
      lines.push_back(line.substr(line.find(' ') + 1));
    }
    return lines;
  }
  std::vector<std::string> LinesStarting(const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& line : Lines()) {
      if (line.rfind(prefix, 0) == 0) found.push_back(line);
    }
    return found;
  }
  std::size_t Count(const std::string& prefix) {
    std::size_t n = 0;
    for (const std::string& line : Lines()) n += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }
  // The time written at the start of each line, in milliseconds of the platform's clock.
  std::vector<long long> Times() {
    std::fflush(file_);
    std::vector<long long> times;
    const std::string all(text_, size_);
    std::size_t from = 0;
    for (std::size_t end; (end = all.find('\n', from)) != std::string::npos; from = end + 1) {
      times.push_back(std::atoll(all.c_str() + from));
    }
    return times;
  }

 private:
  char* text_ = nullptr;
  std::size_t size_ = 0;
  std::FILE* file_;

 public:
  hart::FrameTrace trace;
};
