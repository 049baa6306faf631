// The transaction engine under every dialog that talks to a transmitter.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "hart/frame.h"
#include "hart/frame_trace.h"
#include "hart/link.h"
#include "record/record.h"
#include "ui/dialog.h"
#include "ui/thread.h"

// The serial-port settings handed to every transaction dialog. The main window keeps all four
// port flags 0 for the whole run; the trace, when set, receives every frame.
struct TSerialPortSettings {
  std::array<std::uint16_t, 4> portFlags{};  // COM1..COM4, 1: chosen
  hart::FrameTrace* trace = nullptr;
  // The link of every dialog; a dialog given none talks to a simulated transmitter of its own.
  hart::Link* link = nullptr;
};

// Messages of the engine: a command that arms the reply timer, and the four outcome events.
enum HartMessage : unsigned {
  kCmdStartReplyTimer = 301,
  kEvReply = 302,
  kEvNoAnswer = 303,
  kEvLineBusy = 311,
  kEvStatusError = 320,
  kMsgShowRecord = 706,  // to the data panel
};

class THartProtokol : public ui::Dialog, protected ui::Thread {
 public:
  static constexpr int kReplyTimerId = 100;
  static constexpr int kReplyDelayMs = 400;
  static constexpr int kCloseTimerId = 130;
  static constexpr int kCloseDelayMs = 500;
  static constexpr int kDefaultPreambles = 5;
  static constexpr int kDefaultLinkParam1 = 3;
  static constexpr int kLinkParam2 = 26;
  // What a link that puts no preambles ahead of its replies notes for them.
  static constexpr int kNoPreambles = -1;

  THartProtokol(ui::Window* parent, ui::DialogTemplate tpl, const TSerialPortSettings& settings,
                ui::Window* panelWindow);
  ~THartProtokol() override;

  // Request at bytes 0..99, reply from byte 100.
  std::array<std::uint8_t, hart::kFrameSize> frame{};
  std::uint8_t frameIsLong = 0;
  int preambleCount = kDefaultPreambles;
  int linkParam1 = kDefaultLinkParam1;
  int requestLength = 0;
  int linkParam2 = kLinkParam2;
  std::string portName;
  ui::Window* panelWindow;
  int replyTimerId = 0;
  int closeTimerId = 0;
  // A scan's poll: an attempt that met a silent line is the last; where anything was heard (a
  // damaged frame, a busy line) the usual attempts go on.
  bool oneAttemptIfSilent = false;
  // Identification's or a scan's poll: the search for the one device the link reaches, which a
  // link that finds it by tag or behind a gateway turns into its own search. Any other poll (the
  // address dialog's) goes to the address it names.
  bool searchesReach = false;

  // Hands the request in `frame` to the link: every request leaves through here.
  void StartReplyTimer();
  // A link that answers through the dialog's own reply timer arms it.
  void ArmReplyTimer();
  hart::FrameTrace* Trace() const { return trace_; }
  hart::Link& LinkInUse() const { return *link_; }
  // The record whose transmitter the dialog addresses, where it has one.
  virtual const TDaneIPPC* AddressedRecord() const { return nullptr; }
  // A link, just before it raises an event, says what it received: the length of the frame in
  // the reply area (0: none) and the preambles ahead of it, for the event's trace line.
  void NoteReceived(int length, int preambles) {
    receivedLength_ = length;
    receivedPreambles_ = preambles;
  }
  void StartCloseTimer();

  void EndDialog(int result) override;

  std::span<std::uint8_t> Reply() { return std::span(frame).subspan(hart::kReplyOffset); }
  std::span<const std::uint8_t> Request() const {
    return std::span(frame).first(static_cast<std::size_t>(std::clamp(requestLength, 0, 100)));
  }

 protected:
  ui::LResult HandleMessage(unsigned message, ui::WParam wParam, ui::LParam lParam) override;
  void OnTimer(int id) override;
  void SetupWindow() override;
  void CleanupWindow() override;

  virtual ui::LResult EvNoAnswer();
  virtual ui::LResult EvReply() { return 0; }
  virtual ui::LResult EvLineBusy();
  virtual ui::LResult EvStatusError();
  virtual ui::LResult EvSpare() { return 0; }
  int Run() override { return 0; }

  // Short and long request frames from byte 0, with the request parameters that go with them.
  void IssueShort(std::uint8_t pollingAddress, std::uint8_t command, int preambles, int param1);
  void IssueLong(const hart::LongAddress& address, std::uint8_t command,
                 std::span<const std::uint8_t> data, int preambles, int param1);

 private:
  hart::FrameTrace* trace_;
  std::unique_ptr<hart::Link> ownLink_;
  hart::Link* link_;
  int receivedLength_ = 0;
  int receivedPreambles_ = 0;
};
