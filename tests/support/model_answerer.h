// The transmitter model answering as a transmitter on a line does: only to its own address (or to
// the search by its own tag), refusing commands it does not know. The pseudo-terminal test
// transmitter and the HART-IP test server both answer through it, so that the tests meet one
// transmitter whatever the link. Safe to call from a server's thread while the test reads it.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <vector>

#include "hart/transmitter_model.h"
#include "record/record.h"

namespace testhart {

// The test transmitter's own state: unlike the simulated transmitter's, every value differs from
// the canned identification, so that a test sees which one answered. As a HART 6 or 7
// transmitter it has an expanded device type, and as HART 7 the manufacturer's 16-bit code.
hart::TransmitterModel TestModel(std::uint8_t universalRevision = 5);

// The record of the transmitter the model is: its address, preambles, unit, range and limits.
TDaneIPPC RecordOf(const hart::TransmitterModel& m);

// `reply` (delimiter to checksum) cut to its status bytes, `code` its response code: how a
// transmitter answers a request it refuses.
std::vector<std::uint8_t> CodeAlone(std::vector<std::uint8_t> reply, std::uint8_t code);

class ModelAnswerer {
 public:
  explicit ModelAnswerer(const hart::TransmitterModel& model = TestModel()) : model_(model) {}
  ModelAnswerer(const ModelAnswerer&) = delete;
  ModelAnswerer& operator=(const ModelAnswerer&) = delete;

  // The reply (delimiter to checksum) to a request frame; empty when the request is not for it.
  // A write changes the model unless `carryOut` is false: the reply is then what it would say.
  std::vector<std::uint8_t> Answer(std::span<const std::uint8_t> request, bool carryOut = true);
  // For a server that takes an answer function.
  std::function<std::vector<std::uint8_t>(const std::vector<std::uint8_t>&)> Function() {
    return [this](const std::vector<std::uint8_t>& request) { return Answer(request); };
  }

  // Not 0: every request it hears is refused with this response code alone (32: busy) and none
  // is carried out, until it is set back to 0.
  void SetRefusal(std::uint8_t responseCode);
  // The next requests for `command` are answered with these response codes in turn, then
  // properly: a warning with the command carried out and its data; 33 and 34 (a delayed
  // response) and any error with the code alone, nothing carried out.
  void Script(std::uint8_t command, std::vector<std::uint8_t> codes);

  hart::TransmitterModel Model() const;
  void SetModel(const hart::TransmitterModel& model);

 private:
  mutable std::mutex mutex_;
  hart::TransmitterModel model_;
  std::uint8_t refusal_ = 0;
  std::map<std::uint8_t, std::deque<std::uint8_t>> scripts_;
};

}  // namespace testhart
