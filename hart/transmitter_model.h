// The one transmitter behind every link that is not a real line: its state, and how it answers a
// request. The built-in simulated transmitter and the tests' serial test transmitter both answer
// from here, so they cannot drift apart.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace hart {

// What the transmitter knows; pressures are in its current unit. The defaults are the simulated
// transmitter's, whose replies to identification are byte for byte the canned frames.
struct TransmitterModel {
  std::uint8_t pollingAddress = 0;
  std::uint8_t expansionCode = 254;
  // Command 0's data bytes 1 and 2, by which the transmitter is addressed: a HART 5
  // transmitter's manufacturer and device type, a later one's expanded device type.
  std::uint8_t manufacturer = 63;
  std::uint8_t deviceType = 200;
  std::uint32_t deviceId = 12556;
  std::uint8_t requestPreambles = 5;
  // 5, 6 or 7: how command 0 lays out what it says (a revision above 7 answers as 7 does).
  std::uint8_t universalRevision = 5;
  std::uint8_t specificRevision = 3;
  std::uint8_t softwareRevision = 1;
  // HART 5 says the byte whole; from 6 on it is five bits beside the signalling code.
  std::uint8_t hardwareRevision = 1;
  std::uint8_t signalling = 0;
  std::uint8_t flags = 5;
  // Written by command 59; only a transmitter on a line puts them ahead of its replies. From
  // HART 6 on, command 0 says it too.
  std::uint8_t responsePreambles = 5;
  // What command 0 says from HART 6 on, and (the manufacturer's 16-bit code and the device
  // profile) from HART 7 on.
  std::uint8_t deviceVariables = 4;
  std::uint16_t configurationChanges = 0;
  std::uint8_t extendedStatus = 0;
  std::uint16_t manufacturerCode = 0;
  std::uint8_t deviceProfile = 1;  // a process automation device
  // The device status byte of every reply, and what command 48 says: six device-specific bytes,
  // and from HART 6 on the extended device status (command 0's byte above) after them.
  std::uint8_t deviceStatus = 0;
  std::array<std::uint8_t, 6> specificStatus{};

  std::uint8_t alarm = 250;
  std::uint8_t transferFunction = 0;
  std::uint8_t unit = 12;  // kPa
  float upperRange = 249.99609375f;
  float lowerRange = 0.0f;
  float damping = 0.0f;
  std::uint8_t writeProtect = 250;
  std::uint8_t distributor = 63;
  std::uint32_t sensorSerial = 0;
  float upperLimit = 249.99609375f;
  float lowerLimit = 0.0f;
  float minimumSpan = 24.99951171875f;
  // The longest damping it takes, in seconds: a common ceiling for pressure transmitters.
  float maxDamping = 60.0f;

  // "KORVALEN - TPG4100", "PP11334", "H2S04", packed.
  std::array<std::uint8_t, 24> message{0x2C, 0xF4, 0x96, 0x04, 0xC1, 0x4E, 0x82, 0xD8,
                                       0x14, 0x40, 0x7D, 0x31, 0xC3, 0x08, 0x20, 0x82,
                                       0x08, 0x20, 0x82, 0x08, 0x20, 0x82, 0x08, 0x20};
  std::array<std::uint8_t, 6> tag{0x41, 0x0C, 0x71, 0xCF, 0x3D, 0x20};
  std::array<std::uint8_t, 12> descriptor{0x23, 0x24, 0xF0, 0xD2, 0x08, 0x20,
                                          0x82, 0x08, 0x20, 0x82, 0x08, 0x20};
  // HART 6 and 7: the long tag of commands 20 and 21, ISO Latin-1, blank padded.
  std::array<std::uint8_t, 32> longTag{0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
                                       0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
                                       0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
                                       0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20};
  std::uint8_t day = 31;
  std::uint8_t month = 8;
  std::uint8_t year = 100;  // years since 1900
  // The three bytes of command 19 carry the low 24 bits; the rest is kept as a record keeps it.
  std::uint32_t assemblyNumber = 11234;

  // What the sensor measures now (commands 1 and 3), and the loop current.
  float pressure = 152.23f;
  float loopCurrent = 6.2f;
  float fixedCurrent = 0.0f;  // 0: the loop follows the pressure
  // The pressure applied when the upper (36) or the lower (37) range value is set to it.
  float pressureAtUpperSet = 125.0f;
  float pressureAtLowerSet = 5.0f;
  // What the start (67) and the end (68) point read once calibrated; none: the calibration
  // pressure given, as a transmitter confirms a write.
  std::optional<float> startPointReading = 0.0f;
  std::optional<float> endPointReading = 250.0f;
};

// How it answers beyond what its state says.
struct AnswerRules {
  // Every address and every command get an answer, an unknown command one without data. Off:
  // only its own address (or the search by its own tag) is answered, an unknown command is
  // refused with response code 64, and a write out of its limits with its response code (damping
  // out of range, range ends beyond the sensor, a span below the minimum, a trim outside
  // fixed-current mode), as by a transmitter on a line.
  bool answersEverything = true;
  // Found by its tag (command 11), it answers without saying who it is: twelve zero bytes.
  bool anonymousByTag = true;
};

// The response code of a reply that carries too few data bytes for its command's write.
inline constexpr std::uint8_t kTooFewDataBytes = 5;
inline constexpr std::uint8_t kCommandNotImplemented = 64;

// The reply to `request` (delimiter to checksum), from its delimiter to its checksum, without
// preambles; empty when the transmitter stays silent. Commands that write change `model`, and
// each write is answered with what it took, as a transmitter confirms it.
std::vector<std::uint8_t> Answer(TransmitterModel& model, std::span<const std::uint8_t> request,
                                 const AnswerRules& rules = {});

// What command 0 says of the transmitter, the data bytes of its reply laid out by its universal
// revision: 12 for HART 5, 17 for 6, 22 for 7.
std::vector<std::uint8_t> IdentityOf(const TransmitterModel& model);

// True for the commands that change what the transmitter holds.
bool Writes(std::uint8_t command);

// New unit per old unit, as a unit change converts: F-new * (1.0 / F-old) in double, each code
// taken at its catalogue factor and a code outside the catalogue at "[Отсутствие]"'s (pascals).
double UnitRatio(std::uint8_t from, std::uint8_t to);

}  // namespace hart
