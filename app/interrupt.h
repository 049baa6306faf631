// Ctrl+C for the commands that run until it (read, scan): while a catcher lives, SIGINT only
// raises a flag that the command's event loop looks at, woken by a Waker's timer.
#pragma once

#include <csignal>

#include "ui/window.h"

class InterruptCatcher {
 public:
  InterruptCatcher();
  ~InterruptCatcher();
  InterruptCatcher(const InterruptCatcher&) = delete;
  InterruptCatcher& operator=(const InterruptCatcher&) = delete;

  // Ctrl+C was pressed since the catcher was made or the flag cleared.
  static bool Interrupted();
  static void Clear();

 private:
  struct sigaction previous_ {};
};

// A window whose timer only wakes the event loop, so that it looks at the flag.
class Waker : public ui::Window {
 public:
  Waker() : ui::Window(nullptr) {}
};
