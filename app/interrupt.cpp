#include "app/interrupt.h"

namespace {

// Set by the SIGINT handler, which may do nothing else.
volatile std::sig_atomic_t interrupted = 0;
extern "C" void OnInterrupt(int) { interrupted = 1; }

}  // namespace

InterruptCatcher::InterruptCatcher() {
  interrupted = 0;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previous_);
}

InterruptCatcher::~InterruptCatcher() { sigaction(SIGINT, &previous_, nullptr); }

bool InterruptCatcher::Interrupted() { return interrupted != 0; }

void InterruptCatcher::Clear() { interrupted = 0; }
