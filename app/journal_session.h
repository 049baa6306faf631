// The process's change journal: opened in the user's data folder at start, told of every request
// through the engine's observer until it ends. A journal that cannot be opened leaves the program
// working, with one warning.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "journal/journal.h"
#include "journal/recorder.h"

class JournalSession {
 public:
  using Warn = std::function<void(const std::string&)>;
  // `link` names the link in every entry (LinkName of app/link_settings.h, as the status line); `warn` hears what went wrong, once each: that the
  // journal could not be opened (or was set aside), and that an entry could not be stored.
  JournalSession(std::string link, Warn warn);
  ~JournalSession();
  JournalSession(const JournalSession&) = delete;
  JournalSession& operator=(const JournalSession&) = delete;

  // The link later entries name.
  void SetLink(std::string link) { recorder_->SetLink(std::move(link)); }
  // Null when it could not be opened.
  journal::Journal* Journal() { return journal_.get(); }

 private:
  std::unique_ptr<journal::Journal> journal_;
  std::unique_ptr<journal::Recorder> recorder_;
};
