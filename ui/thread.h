// A thread object: Start() runs Run() on a thread of its own; the object waits for it when it goes.
#pragma once

#include <thread>

namespace ui {

class Thread {
 public:
  Thread() = default;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  virtual ~Thread() { Wait(); }

  void Start() {
    Wait();
    thread_ = std::thread([this] { exitCode_ = Run(); });
  }
  void Wait() {
    if (thread_.joinable()) thread_.join();
  }
  int ExitCode() const { return exitCode_; }

 protected:
  virtual int Run() = 0;

 private:
  std::thread thread_;
  int exitCode_ = 0;
};

}  // namespace ui
