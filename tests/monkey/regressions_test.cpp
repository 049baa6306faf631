// What the monkey found, each as a plain test of its mend.
#include <gtest/gtest.h>

#include "app/main_window.h"
#include "app/menu.h"
#include "calib/pressure_calibration_dialog.h"
#include "config/damping_dialog.h"
#include "config/units_dialog.h"
#include "tests/support/fake_link.h"
#include "tests/support/identified_record.h"
#include "ui/headless/headless_platform.h"

namespace {

class KnownFaults : public ::testing::Test {
 protected:
  ui::ScopedHeadlessPlatform platform;
};

// Seed 103, step 423 (k7_monkey --strict; seed 1, step 1278 for dialog 921): "Вышли" in the
// damping dialog stores the typed damping in the record at once, but only a reply sets the
// changed flag and refreshes the panel. Cancelled before the reply, the record kept the new
// damping unflagged, and Open or Exit dropped it without asking. Now the unconfirmed write is
// given back: record, panel and file agree.
TEST_F(KnownFaults, AWriteClosedBeforeItsReplyLeavesTheRecordAsItWas) {
  TMyWindow window;
  window.Create();
  platform->Advance(5000);  // identified: one record, changed and untitled
  platform->QueueFileAnswer(::testing::TempDir() + "k7_known_send.pom");
  window.SendMessage(ui::kMsgCommand, ui::MakeWParam(kCmdSaveAs, 0));
  ASSERT_FALSE(window.DataFile().Changed());

  platform->OnModal(TDamping::kResourceId, [&](ui::Dialog& dialog) {
    dialog.Item(826)->UserType("7");
    dialog.Item(801)->UserClick();
    dialog.Item(ui::kIdCancel)->UserClick();  // before the reply
  });
  window.SendMessage(ui::kMsgCommand, ui::MakeWParam(kCmdDamping, 0));
  platform->Advance(1000);
  EXPECT_EQ(window.Database().At(0).damping, 0.0f);
  EXPECT_FALSE(window.DataFile().Changed());
  EXPECT_EQ(window.Panel()->Item(746)->Text(), "0         ");
}

// Seed 1024, step 152357: the pressure calibration (900) stores the unit a reply carries in the
// record, but never sends the panel its refresh: a transmitter that answers in another unit (or
// a reply damaged on its way) leaves the panel showing the old unit.
TEST_F(KnownFaults, APressureCalibrationReplyShowsItsUnitOnThePanel) {
  FakeLink link;
  link.Answer(1, ReplyData({{7}, WireFloat(2.5f)}));  // unit 7, bar
  TMyWindow window(nullptr, &link);
  window.Create();
  platform->OnModal(310, [](ui::Dialog& dialog) { dialog.Item(ui::kIdCancel)->UserClick(); });
  platform->Advance(5000);
  window.Database().Append(IdentifiedRecord());  // unit 12, kPa
  window.Panel()->SendMessage(kMsgShowRecord);
  const std::string before = window.Panel()->Item(740)->Text();

  platform->OnModal(TKalCisnienia::kResourceId, [&](ui::Dialog& dialog) {
    dialog.Item(801)->UserClick();  // read the pressure
    platform->Advance(400);
  });
  window.SendMessage(ui::kMsgCommand, ui::MakeWParam(kCmdPressureCalibration, 0));
  ASSERT_EQ(window.Database().At(0).unitCode, 7);
  const std::string shown = window.Panel()->Item(740)->Text();
  window.Panel()->SendMessage(kMsgShowRecord);
  EXPECT_NE(window.Panel()->Item(740)->Text(), before);
  EXPECT_EQ(shown, window.Panel()->Item(740)->Text());
}

// Seed 5, step 127995, and seed 1018, step 407993 (heap-use-after-free in TUnits::EvReply under
// AddressSanitizer): the panel shown early from the toolbar and closed again, from a dialog
// opened before the splash or just before it; the splash's first tick then replaces the closed
// panel with a new object, and the dialog's reply refreshes the one it was given, which is gone.
TEST_F(KnownFaults, TheSplashKeepsThePanelAnOpenDialogWasGiven) {
  for (const bool fromTheDialog : {true, false}) {
    SCOPED_TRACE(fromTheDialog ? "closed from the dialog" : "closed before it");
    TMyWindow window;
    window.Create();
    window.Database().Append(IdentifiedRecord());
    ASSERT_TRUE(platform->PressToolbarButton(window, kCmdRecreatePanel));
    if (!fromTheDialog) window.Panel()->SendMessage(ui::kMsgClose);
    ui::Window* given = nullptr;
    platform->OnModal(TUnits::kResourceId, [&](ui::Dialog& dialog) {
      given = static_cast<THartProtokol&>(dialog).panelWindow;
      if (fromTheDialog) window.Panel()->SendMessage(ui::kMsgClose);
      dialog.Item(TLista::kSendButtonId)->UserClick();
      platform->Advance(150);  // the splash's first tick, before the reply
      EXPECT_EQ(window.Panel(), given) << "the dialog's panel was replaced under it";
      dialog.Item(ui::kIdCancel)->UserClick();
    });
    window.SendMessage(ui::kMsgCommand, ui::MakeWParam(kCmdUnits, 0));
    EXPECT_NE(given, nullptr);
  }
}

}  // namespace
