// Turns the requests that change a transmitter, and their outcomes, into journal entries: the
// field, the value the record held before, the value sent, the value the transmitter gave back,
// and for a calibration the readings before and after the trim.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "hart/request_observer.h"
#include "journal/journal.h"

namespace journal {

// The journal's name for a command that changes the transmitter; empty for one that does not.
std::string FieldOf(std::uint8_t command);

class Recorder : public hart::RequestObserver {
 public:
  using Warn = std::function<void(const std::string&)>;
  // `journal` may be null (it could not be opened): then nothing is recorded. `warn` hears, once,
  // that an entry could not be stored.
  Recorder(Journal* journal, std::string link, Warn warn);
  // The link the entries from now on name: the technician chose another.
  void SetLink(std::string link) { link_ = std::move(link); }

  void RequestLeft(const THartProtokol& dialog) override;
  void OutcomeArrived(const THartProtokol& dialog, unsigned event) override;
  void Abandoned(const THartProtokol& dialog) override;

 private:
  struct Pending {
    Entry entry;
  };
  void Store(Entry& entry);

  Journal* journal_;
  std::string link_;
  Warn warn_;
  bool warned_ = false;
  std::map<const THartProtokol*, Pending> pending_;
  // The last pressure each transmitter (by device id) read, for a calibration's "as found".
  std::map<std::int64_t, std::string> lastReading_;
};

}  // namespace journal
