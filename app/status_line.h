// What the main window's status line says: the link and the transmitter in use always, the
// device status of the last reply, for a few seconds the outcome of the last operation, and
// apart, in a colour that stands out, a loop current the program has left fixed.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "record/record.h"
#include "ui/window.h"

// A loop current held by command 40, as the transmitter confirmed it.
struct FixedLoop {
  float current = 0.0f;
  int address = 0;
  // The long address the current was fixed through: bytes 1..5 of its request.
  std::array<std::uint8_t, 5> longAddress{};
  bool operator==(const FixedLoop&) const = default;
};

class TStatusLine {
 public:
  static constexpr int kOutcomeTimerId = 346;
  // Long enough to read a line, short enough that it is not taken for the next operation's.
  static constexpr int kOutcomeShownMs = 5000;
  static constexpr unsigned kCmdFixCurrent = 40;

  // Finds the polling address of the transmitter a long frame addresses, where known.
  using AddressOfLongFrame = std::function<std::optional<int>(std::span<const std::uint8_t>)>;

  TStatusLine(ui::Window& window, AddressOfLongFrame addressOf);

  void SetLink(std::string name);
  // The transmitter identified on the link; none: nothing said of it.
  void SetTransmitter(const TDaneIPPC* record);
  void SetDeviceStatus(std::string text);
  // Said for kOutcomeShownMs, until the next outcome or OutcomeExpired.
  void SetOutcome(std::string text);
  void OutcomeExpired();

  // Every exchange a dialog completes: its outcome (with what its response code means, where
  // it means anything), and a loop current fixed or let go.
  void Heard(std::span<const std::uint8_t> request, unsigned event,
             std::span<const std::uint8_t> reply, const std::string& meaning = {});
  const std::optional<FixedLoop>& Fixed() const { return fixed_; }
  // «Ток в линии зафиксирован: 12.000 мА · адрес 0»
  static std::string FixedLoopText(const FixedLoop& loop);

 private:
  void Show();

  ui::Window& window_;
  AddressOfLongFrame addressOf_;
  std::string link_;
  std::string transmitter_;
  std::string deviceStatus_;
  std::string outcome_;
  std::optional<FixedLoop> fixed_;
};
