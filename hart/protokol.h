// The transaction engine under every dialog that talks to a transmitter.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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
  // Between the requests that ask a transmitter again after a delayed response (33, 34): each
  // exchange takes a few hundred ms on the line already.
  static constexpr int kDelayedTimerId = 131;
  static constexpr int kDelayedPauseMs = 100;
  // How long a delayed response is asked after before the command counts as failed: HART leaves
  // it to the master; a minute covers the slow commands of a pressure transmitter.
  static constexpr std::int64_t kDelayedLimitMs = 60'000;
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

  // During EvReply: the meaning of the warning the reply carried with its data (empty for none).
  // During EvStatusError: the meaning of the response code that is reported.
  const std::string& Caution() const { return caution_; }
  const std::string& StatusMeaning() const { return statusMeaning_; }

  // The general status message of a dialog (hart::texts::kStatusNotZero) is followed by the
  // meaning of the response code being reported.
  int MessageBox(const std::string& text, const std::string& caption, unsigned flags);

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
  // Before EvReply, the caution of a reply that carried a warning (`code`) with its data: the
  // general box with the code's meaning, once per command and code. A dialog with its own words
  // for a warning says them instead.
  virtual void ShowCaution(std::uint8_t command, std::uint8_t code);
  int Run() override { return 0; }

  // Short and long request frames from byte 0, with the request parameters that go with them.
  void IssueShort(std::uint8_t pollingAddress, std::uint8_t command, int preambles, int param1);
  void IssueLong(const hart::LongAddress& address, std::uint8_t command,
                 std::span<const std::uint8_t> data, int preambles, int param1);

 private:
  // Saved while command 48 is read on the way to the reply that asked for it.
  struct Held {
    std::array<std::uint8_t, hart::kFrameSize> frame{};
    std::uint8_t frameIsLong = 0;
    int preambleCount = 0;
    int linkParam1 = 0;
    int requestLength = 0;
    int linkParam2 = 0;
    unsigned event = 0;
    int revision = 5;
  };

  std::uint8_t RequestCommand() const;
  // Sends command 48 to the transmitter whose reply in the frame has 0x10; false when the reply
  // does not say whom to ask.
  bool AskMoreStatus(unsigned event);
  void TakeMoreStatus();
  ui::LResult Dispatch(unsigned message);

  hart::FrameTrace* trace_;
  std::unique_ptr<hart::Link> ownLink_;
  hart::Link* link_;
  int receivedLength_ = 0;
  int receivedPreambles_ = 0;
  std::string caution_;
  std::string statusMeaning_;
  // Warnings already shown, by command and code: a reading repeated does not repeat its box.
  std::vector<std::uint16_t> cautionsShown_;
  // Since when the request is answered with a delayed response; -1: it is not.
  std::int64_t delayedSince_ = -1;
  std::unique_ptr<Held> held_;
  // 0x10 was answered with command 48 since it was last clear: asked once.
  bool moreStatusAsked_ = false;
};
