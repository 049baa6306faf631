// The fixture of a list dialog's tests (a TLista): the headless platform, declared first, the
// database, what the dialog writes back, and a data panel that counts its refreshes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "data/data_panel.h"
#include "data/database.h"
#include "hart/protokol.h"
#include "tests/support/dialog_checks.h"
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

template <class DialogClass, class Panel = PanelProbe>
struct ListDialogTest : ::testing::Test {
  ui::ScopedHeadlessPlatform platform;
  TDane db;
  bool changed = false;
  int memory = 0;
  Panel panel{db};

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
};
