// A HART slave for the tests: the transmitter model behind the master side of a pseudo-terminal,
// served on a thread of its own. The program opens the slave side by name as it would a modem's
// serial port. It answers through the model answerer, as a transmitter on a line does. A test can
// make it fall silent, spoil its checksums, say busy, answer with a response code of its choice
// or with a communication error, set device status bits, answer late, put noise or a reply to
// the other master ahead of its reply; it can echo every request as a half-duplex modem does,
// and burst command 3 unasked; a benchmark can have it pace its bytes as a 1200-baud line does,
// and then a request that comes while it talks is lost, as on a line.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/model_answerer.h"

namespace testhart {

class TestTransmitter {
 public:
  // ResponseCode answers with the code alone, as to an error; Warning with the code and the
  // data, having carried the command out. CommError answers with the communication error bit
  // and the flags in `value`, as to a request it heard garbled, and does nothing. DeviceStatus
  // carries the command out and sets the device status bits in `value`. Late answers `value` ms
  // after the request would have left a 1200-baud line. Truncated carries the command out and
  // answers with no more than `value` data bytes, its byte count saying so. Noise sends `value`
  // bytes of noise ahead of the preambles. OtherMaster sends, ahead of the reply, one to the same
  // command for the other master, with other data.
  enum class Behaviour {
    Answer, Silent, BadChecksum, Busy, ResponseCode, Warning, CommError, DeviceStatus, Late,
    Truncated, Noise, OtherMaster
  };

  TestTransmitter();
  ~TestTransmitter();
  TestTransmitter(const TestTransmitter&) = delete;
  TestTransmitter& operator=(const TestTransmitter&) = delete;

  // The slave side's name, for the program to open.
  const std::string& Device() const { return device_; }

  // For the next `count` requests it answers (all of them when negative); then it answers
  // properly again. `value` goes with ResponseCode, Warning, CommError, DeviceStatus, Late and
  // Truncated.
  void SetBehaviour(Behaviour behaviour, int count = -1, int value = 0);

  // Paced, it answers once the request would have left a 1200-baud line and sends each byte of
  // its reply a character time after the one before.
  void SetPaced(bool paced) { paced_ = paced; }

  // On: replies carry the primary master's bit whatever the request's was.
  void SetMasterBit(bool on);
  // Every request comes back at once, preambles and all, as through a half-duplex modem.
  void SetEcho(bool on) { echo_ = on; }
  // Bursts command 3 `periodMs` after its last burst frame ended (0: not), in long or short
  // frames, and after each reply, alternating the master bit, the burst bit in every address; as
  // HART's burst mode does.
  void SetBurst(int periodMs, bool longFrames = true);

  hart::TransmitterModel Model() const { return answerer_.Model(); }
  ModelAnswerer& Answerer() { return answerer_; }
  void SetModel(const hart::TransmitterModel& model) { answerer_.SetModel(model); }

  // Every request frame that reached it (from the delimiter), and the preambles ahead of each.
  std::vector<std::vector<std::uint8_t>> Requests() const;
  std::vector<int> RequestPreambles() const;
  void ClearRequests();

  // Closes the master side, as a modem unplugged from the computer.
  void Unplug();

 private:
  void Serve();
  void Stop();
  void TakeBytes(const std::uint8_t* bytes, std::size_t count);
  // The reply and how long after the request has left the line it starts.
  std::vector<std::uint8_t> Answer(const std::vector<std::uint8_t>& request, int preambles,
                                   int& delayMs);
  void Send(const std::vector<std::uint8_t>& reply, double lineMs, int delayMs);
  void Write(const std::uint8_t* bytes, std::size_t count);
  void SendBurst();

  int master_ = -1;
  int slaveKeeper_ = -1;
  std::string device_;
  std::thread thread_;
  std::atomic<bool> stop_{false};

  ModelAnswerer answerer_;
  // Guards what follows; the model is the answerer's to guard.
  mutable std::mutex mutex_;
  bool masterBit_ = false;
  std::atomic<bool> echo_{false};
  int burstPeriodMs_ = 0;
  bool burstLong_ = true;
  bool burstMaster_ = false;
  std::chrono::steady_clock::time_point nextBurst_{};
  Behaviour behaviour_ = Behaviour::Answer;
  int behaviourCount_ = -1;
  int behaviourValue_ = 0;
  std::atomic<bool> paced_{false};
  std::vector<std::vector<std::uint8_t>> requests_;
  std::vector<int> requestPreambles_;
  std::vector<std::uint8_t> incoming_;
};

}  // namespace testhart
