// Where requests go: the one function through which a request leaves a dialog hands it to the
// dialog's link. Whatever the link, it later raises one outcome event by sending 302, 303, 311 or
// 320 to the dialog, with the reply (if any) already at byte 100 of its frame.
#pragma once

class THartProtokol;

namespace hart {

struct Reach;

class Link {
 public:
  virtual ~Link() = default;
  // Sends the dialog's request (frame bytes 0..requestLength-1, with its request parameters).
  // A new request from the same dialog replaces one still waiting.
  virtual void Transmit(THartProtokol& dialog) = 0;
  // The dialog is ending: no event may reach it any more.
  virtual void Forget(THartProtokol& dialog) = 0;
  // The dialog's reply timer, which this link armed, has run out.
  virtual void ReplyDue(THartProtokol& /*dialog*/) {}
  // The outcome event as the dialog is to hear it, once its trace has the reply as it came; 0:
  // none. A link around another unwraps here what it wrapped.
  virtual unsigned Arrived(THartProtokol& /*dialog*/, unsigned event) { return event; }
  // How the one device this link serves is reached; null: by searching the polling addresses.
  virtual const Reach* Reaching() const { return nullptr; }
};

}  // namespace hart
