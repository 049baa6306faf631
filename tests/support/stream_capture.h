// A stream a command writes to and a test reads back.
#pragma once

#include <cstdio>
#include <string>

namespace testhart {

struct StreamCapture {
  std::FILE* file = std::tmpfile();
  StreamCapture() = default;
  StreamCapture(const StreamCapture&) = delete;
  StreamCapture& operator=(const StreamCapture&) = delete;
  ~StreamCapture() { std::fclose(file); }
  std::string Text() {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, file)) text.append(buffer, n);
    return text;
  }
};

}  // namespace testhart
