// What a journal of the writes hears: every request as it leaves a dialog and the outcome the
// link raises for it. The engine (hart/protokol.cpp) tells the one observer of the process;
// whoever keeps the journal lives above hart/ and sets it at start-up.
#pragma once

class THartProtokol;

namespace hart {

class RequestObserver {
 public:
  virtual ~RequestObserver() = default;
  // The request is in the dialog's frame (bytes 0..requestLength-1), about to go to the link.
  virtual void RequestLeft(const THartProtokol& dialog) = 0;
  // The link raised `event` (302, 303, 311 or 320); the reply, if any, is at byte 100. Told
  // before the dialog's hook, which may put the next request into the frame.
  virtual void OutcomeArrived(const THartProtokol& dialog, unsigned event) = 0;
  // The dialog ends with its last request unanswered.
  virtual void Abandoned(const THartProtokol& dialog) = 0;
};

// The process's one observer; null: none. Not owned.
void SetRequestObserver(RequestObserver* observer);
RequestObserver* CurrentRequestObserver();

}  // namespace hart
