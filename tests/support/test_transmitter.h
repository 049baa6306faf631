// A HART slave for the tests: a pressure transmitter model behind the master side of a
// pseudo-terminal, served on a thread of its own. The program opens the slave side by name as it
// would a modem's serial port. A test can make it fall silent, spoil its checksums, say busy,
// answer with a response code of its choice or with a communication error, set device status
// bits, or answer late; a benchmark can have it pace its bytes as a 1200-baud line does.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testhart {

// What the transmitter knows; values are in its current pressure unit.
struct TransmitterModel {
  std::uint8_t pollingAddress = 0;
  std::uint8_t manufacturer = 38;
  std::uint8_t deviceType = 200;
  std::uint32_t deviceId = 0x0A1B2C;
  std::uint8_t requestPreambles = 5;
  std::uint8_t universalRevision = 5;
  std::uint8_t specificRevision = 2;
  std::uint8_t softwareRevision = 3;
  std::uint8_t hardwareRevision = 4;
  std::uint8_t flags = 1;
  std::uint8_t responsePreambles = 7;

  std::uint8_t alarm = 0;
  std::uint8_t transferFunction = 0;
  std::uint8_t unit = 12;  // kPa
  float upperRange = 400.0f;
  float lowerRange = -50.0f;
  float damping = 0.5f;
  std::uint8_t writeProtect = 0;
  std::uint8_t distributor = 38;
  std::uint32_t sensorSerial = 777'001;
  float upperLimit = 600.0f;
  float lowerLimit = -100.0f;
  float minimumSpan = 20.0f;

  std::array<std::uint8_t, 24> message{};
  std::array<std::uint8_t, 6> tag{};
  std::array<std::uint8_t, 12> descriptor{};
  std::uint8_t day = 14;
  std::uint8_t month = 3;
  std::uint8_t year = 121;  // years since 1900
  std::uint32_t assemblyNumber = 4242;

  float pressure = 123.25f;  // what the sensor measures now
  float loopCurrent = 8.5f;
  float fixedCurrent = 0.0f;  // 0: the loop follows the pressure
};

class TestTransmitter {
 public:
  // ResponseCode answers with the code alone, as to an error; Warning with the code and the
  // data, having carried the command out. CommError answers with the communication error bit
  // and the flags in `value`, as to a request it heard garbled, and does nothing. DeviceStatus
  // carries the command out and sets the device status bits in `value`. Late answers `value` ms
  // after the request would have left a 1200-baud line.
  enum class Behaviour {
    Answer, Silent, BadChecksum, Busy, ResponseCode, Warning, CommError, DeviceStatus, Late
  };

  TestTransmitter();
  ~TestTransmitter();
  TestTransmitter(const TestTransmitter&) = delete;
  TestTransmitter& operator=(const TestTransmitter&) = delete;

  // The slave side's name, for the program to open.
  const std::string& Device() const { return device_; }

  // For the next `count` requests it answers (all of them when negative); then it answers
  // properly again. `value` goes with ResponseCode, Warning, CommError, DeviceStatus and Late.
  void SetBehaviour(Behaviour behaviour, int count = -1, int value = 0);

  // Paced, it answers once the request would have left a 1200-baud line and sends each byte of
  // its reply a character time after the one before.
  void SetPaced(bool paced) { paced_ = paced; }

  TransmitterModel Model() const;
  void SetModel(const TransmitterModel& model);

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

  int master_ = -1;
  int slaveKeeper_ = -1;
  std::string device_;
  std::thread thread_;
  std::atomic<bool> stop_{false};

  mutable std::mutex mutex_;
  TransmitterModel model_;
  Behaviour behaviour_ = Behaviour::Answer;
  int behaviourCount_ = -1;
  int behaviourValue_ = 0;
  std::atomic<bool> paced_{false};
  std::vector<std::vector<std::uint8_t>> requests_;
  std::vector<int> requestPreambles_;
  std::vector<std::uint8_t> incoming_;
};

}  // namespace testhart
