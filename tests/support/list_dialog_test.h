// The fixture of a list dialog's tests (a TLista): the headless platform, declared first, the
// database, what the dialog writes back, and a data panel that counts its refreshes.
// The database holds two transmitters unlike the defaults and unlike the identified one: the
// dialog works on the first, and the second must come out of every test as it went in.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "data/data_panel.h"
#include "data/database.h"
#include "hart/protokol.h"
#include "tests/support/dialog_checks.h"
#include "tests/support/fixture_records.h"
#include "ui/headless/headless_platform.h"

// Counts the refreshes (message 706) a dialog asks of its data panel.
template <class Base>
class RefreshCounting : public Base {
 public:
  using Base::Base;
  int refreshes = 0;

 protected:
  ui::LResult HandleMessage(unsigned message, ui::WParam wParam, ui::LParam lParam) override {
    if (message == kMsgShowRecord) ++refreshes;
    return Base::HandleMessage(message, wParam, lParam);
  }
};

// A plain window in the data panel's place. It takes the database as the real panel does, so
// that one fixture serves both.
class PanelProbe : public RefreshCounting<ui::Window> {
 public:
  explicit PanelProbe(TDane&) : RefreshCounting(nullptr) {}
};

// The real data panel, for tests that read what it shows.
class CountingPanel : public RefreshCounting<TMonitorHart> {
 public:
  explicit CountingPanel(TDane& db) : RefreshCounting(nullptr, db) {}
};

// A failure event raised with a response code in the reply, and the one box it must show.
struct EventCase {
  unsigned event;
  std::uint8_t code;
  const char* text;
  const char* caption;
};

// How a long request to UnlikeDefaultsRecord() starts and how many preambles go before it,
// written out here rather than taken from the record, so that a builder reading the wrong field
// shows.
inline const Bytes kRecordAddress{0x26, 0x03, 0x0A, 0x1B, 0x2C};
inline constexpr int kRecordPreambles = 9;

// The long request to that record: delimiter, address, command, byte count, data, checksum.
inline Bytes ToRecord(std::uint8_t command, const Bytes& data = {}) {
  Bytes frame{0x82};
  frame.insert(frame.end(), kRecordAddress.begin(), kRecordAddress.end());
  frame.push_back(command);
  frame.push_back(static_cast<std::uint8_t>(data.size()));
  frame.insert(frame.end(), data.begin(), data.end());
  return WithChecksum(std::move(frame));
}

template <class DialogClass, class Panel = PanelProbe>
struct ListDialogTest : ::testing::Test {
  ui::ScopedHeadlessPlatform platform;
  TDane db;
  bool changed = false;
  int memory = 0;
  Panel panel{db};

  ListDialogTest() {
    db.Append(UnlikeDefaultsRecord());
    db.Append(BystanderRecord());
  }

  // The record the dialog acts on: the database's first.
  TDaneIPPC& Record() { return db.At(0); }

  // For the tests of a dialog without a record to act on.
  void EmptyDatabase() {
    db.Clear();
    bystanderKept_ = false;
  }

  // The other transmitter is never touched, whatever the dialog did to the first.
  void TearDown() override {
    if (!bystanderKept_) return;
    ASSERT_EQ(db.Count(), 2u);
    EXPECT_TRUE(db.At(1) == BystanderRecord()) << "the second transmitter's record changed";
  }

  // The request `dialog` built last went to the record with its preamble count.
  static void ExpectSentToRecord(const THartProtokol& dialog, const Bytes& expected) {
    EXPECT_EQ(Sent(dialog), expected);
    EXPECT_EQ(dialog.preambleCount, kRecordPreambles);
    EXPECT_EQ(dialog.frameIsLong, 1);
  }

  // Runs the dialog modally with `body` as the operator and expects it to end with Cancel, which
  // the platform presses where `body` leaves the dialog open.
  void Run(const std::function<void(DialogClass&)>& body,
           const TSerialPortSettings& settings = {}) {
    bool ran = false;
    platform->OnModal(DialogClass::kResourceId, [&](ui::Dialog& d) {
      ran = true;
      body(static_cast<DialogClass&>(d));
    });
    DialogClass dialog(nullptr, db, changed, memory, settings, &panel);
    EXPECT_EQ(dialog.Execute(), ui::kIdCancel);
    EXPECT_TRUE(ran);
  }

  // Run, with Cancel pressed once `body` is done.
  void RunThenCancel(const std::function<void(DialogClass&)>& body,
                     const TSerialPortSettings& settings = {}) {
    Run(
        [&](DialogClass& d) {
          body(d);
          d.Item(ui::kIdCancel)->UserClick();
        },
        settings);
  }

  // With no record the dialog only says so: it never runs.
  void ExpectRefusedForEmptyDatabase(DialogClass& dialog) {
    platform->OnModal(DialogClass::kResourceId,
                      [](ui::Dialog&) { ADD_FAILURE() << "must not run without a record"; });
    EXPECT_EQ(dialog.Execute(), ui::kIdCancel);
    ASSERT_EQ(platform->MessageBoxes().size(), 1u);
    EXPECT_EQ(platform->MessageBoxes()[0].text,
              "Отсутствие рапорта преобразователя.\nВыполни идентификацию!!!");
  }

  static std::string Text(ui::Window& window, int id) { return window.Item(id)->Text(); }
  const ui::MessageBoxRecord& LastBox() { return platform->MessageBoxes().back(); }

  void ExpectLastBox(std::string_view text, std::string_view caption) {
    ASSERT_FALSE(platform->MessageBoxes().empty());
    ExpectStopBox(LastBox(), text, caption);
  }

  // Raises the case's event on a dialog without earlier boxes and expects its box alone.
  void ExpectOnlyBox(THartProtokol& dialog, const EventCase& c) {
    platform->ClearMessageBoxes();
    dialog.Reply()[hart::kReplyResponseCode] = c.code;
    dialog.SendMessage(c.event);
    ASSERT_EQ(platform->MessageBoxes().size(), 1u) << c.text;
    ExpectStopBox(LastBox(), c.text, c.caption);
  }

 private:
  bool bystanderKept_ = true;
};
