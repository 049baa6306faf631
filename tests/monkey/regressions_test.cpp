// What the monkey found, each as a plain test. A test of a fault still open in code this folder
// does not own is disabled until it is mended there; monkey::KnownFaults() names it.
#include <gtest/gtest.h>

#include "app/main_window.h"
#include "app/menu.h"
#include "config/damping_dialog.h"
#include "ui/headless/headless_platform.h"

namespace {

class KnownFaults : public ::testing::Test {
 protected:
  ui::ScopedHeadlessPlatform platform;
};

// Seed 1, step 3988 (and step 2679 for dialog 921): "Вышли" in the damping dialog stores the
// typed damping in the record at once, but only a reply sets the changed flag and refreshes the
// panel. Cancelled before the reply (or with no reply at all), the record keeps the new damping
// unflagged: the panel shows the old one, and Open or Exit drop the change without asking.
TEST_F(KnownFaults, DISABLED_ASendThatStoresMarksTheDatabaseChanged) {
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
  ASSERT_EQ(window.Database().At(0).damping, 7.0f);
  EXPECT_TRUE(window.DataFile().Changed());
  EXPECT_EQ(window.Panel()->Item(746)->Text(), "7.000     ");
}

}  // namespace
