// The main window's status line: the field device status of every reply, heard through the trace.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "app/loop_release.h"
#include "app/main_window.h"
#include "app/menu.h"
#include "calib/fixed_current_dialog.h"
#include "data/data_panel.h"
#include "hart/frame.h"
#include "hart/reply_data.h"
#include "hart/transmitter_model.h"
#include "ui/headless/headless_platform.h"

namespace {

// The simulated transmitter's answers, 400 ms after each request, with device status bits of
// the test's choosing in each reply in turn.
class StatusLink : public hart::Link {
 public:
  std::deque<std::uint8_t> statuses;

  void Transmit(THartProtokol& dialog) override {
    waiting_ = &dialog;
    dialog.ArmReplyTimer();
  }
  void Forget(THartProtokol& dialog) override {
    if (waiting_ == &dialog) waiting_ = nullptr;
  }
  void ReplyDue(THartProtokol& dialog) override {
    if (waiting_ != &dialog) return;
    waiting_ = nullptr;
    std::vector<std::uint8_t> reply = hart::Answer(model_, dialog.Request());
    if (!statuses.empty()) {
      const std::size_t at = hart::LayoutOf(reply).responseCode + 1;
      reply[at] = statuses.front();
      statuses.pop_front();
      reply.back() = hart::Checksum(std::span(reply).first(reply.size() - 1));
    }
    const auto area = dialog.Reply();
    std::fill(area.begin(), area.end(), std::uint8_t{0});
    std::copy(reply.begin(), reply.end(), area.begin());
    dialog.NoteReceived(static_cast<int>(reply.size()), THartProtokol::kNoPreambles);
    dialog.SendMessage(hart::OutcomeOf(area));
  }

 private:
  hart::TransmitterModel model_;
  THartProtokol* waiting_ = nullptr;
};

TEST(StatusLine, SaysTheDeviceStatusOfEveryReplyAndClearsForNone) {
  ui::ScopedHeadlessPlatform platform;
  hart::FrameTrace trace(nullptr);
  // The command line tallies the statuses through the same trace: it goes on hearing them.
  std::vector<std::uint8_t> tallied;
  trace.SetDeviceStatusListener([&](std::uint8_t status) { tallied.push_back(status); });
  StatusLink link;
  link.statuses = {0x60, 0x40, 0x00, 0x01, 0x00, 0x88};
  {
    TMyWindow window(&trace, &link);
    window.Create();
    EXPECT_EQ(window.StatusLine(), "Имитатор преобразователя");
    platform->Advance(10'000);  // the start-up identification: six replies
    ASSERT_EQ(window.Database().Count(), 1u);

    std::vector<std::string> lines;
    for (const std::string& line : platform->StatusLines(window)) {
      const std::size_t at = line.find("Статус прибора: ");
      lines.push_back(at == std::string::npos ? "" : line.substr(at));
    }
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{"",
                                               "Статус прибора: конфигурация изменена, холодный старт",
                                               "Статус прибора: конфигурация изменена",
                                               "",
                                               "Статус прибора: первичная переменная вне пределов",
                                               "",
                                               "Статус прибора: неисправность, ток зафиксирован"}));
    EXPECT_EQ(window.StatusLine(), "Имитатор преобразователя · HART 5 · адрес 0 · РР11334   "
                                   "Статус прибора: неисправность, ток зафиксирован");
    EXPECT_EQ(tallied, (std::vector<std::uint8_t>{0x60, 0x40, 0x00, 0x01, 0x00, 0x88}));
    // The identification took its replies as ever: the status is only said.
    EXPECT_EQ(window.Database().At(0).deviceId, 12556);
    EXPECT_TRUE(platform->MessageBoxes().empty());
    // Headless, the line takes no room: the panel docks on the window's bottom edge.
    const ui::Rect main = window.WindowRect();
    const ui::Rect panel = window.Panel()->WindowRect();
    EXPECT_EQ(panel.y + panel.height, main.y + main.height);
    window.Destroy();
  }
  // Gone, the window hands the trace back to the one who listened before.
  const std::uint8_t reply[] = {0x06, 0x00, 0x00, 0x02, 0x00, 0x20, 0x24};
  trace.ReplyBytes(reply);
  EXPECT_EQ(tallied.back(), 0x20);
  EXPECT_EQ(tallied.size(), 7u);
}

// A loop current fixed through the fixed-current dialog stays on the status line, in the alert,
// whichever way the dialog closes, until 40 with 0 is confirmed; leaving the program with it
// still fixed asks once, and only Да sends 40 with 0.
TEST(FixedLoop, ShownUntilLetGoAndOfferedBackAtEveryWayOfLeaving) {
  const struct {
    const char* how;
    int answer;
    bool closeBox;
  } cases[] = {{"Нет from the menu", ui::kIdNo, false},
               {"Да from the menu", ui::kIdYes, false},
               {"Да from the close box", ui::kIdYes, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    ui::ScopedHeadlessPlatform platform;
    TMyWindow window;
    window.Create();
    platform->Advance(10'000);
    ASSERT_EQ(window.Database().Count(), 1u);
    const auto fix = [&](const char* current, int button, int closeWith) {
      platform->OnModal(TUstawPrad::kResourceId, [&](ui::Dialog& d) {
        ASSERT_TRUE(d.Item(TUstawPrad::kCurrentId)->UserType(current));
        ASSERT_TRUE(d.Item(button)->UserClick());
        platform->Advance(1000);
        if (closeWith == ui::kIdCancel) d.Item(ui::kIdCancel)->UserClick();
        else d.SendMessage(ui::kMsgClose);
      });
      window.SendMessage(ui::kMsgCommand, ui::MakeWParam(kCmdFixedCurrent, 0));
    };
    fix("12", TLista::kSendButtonId, ui::kIdCancel);
    EXPECT_EQ(window.StatusAlert(), "Ток в линии зафиксирован: 12.000 мА · адрес 0");
    EXPECT_NE(window.StatusLine().find("Записано в преобразователь (команда 40)"), std::string::npos);
    platform->Advance(TStatusLine::kOutcomeShownMs);
    EXPECT_EQ(window.StatusLine().find("Записано"), std::string::npos) << "said for a while only";
    fix("7", TUstawPrad::kFinishButtonId, 0);
    EXPECT_EQ(window.StatusAlert(), "");
    fix("4", TLista::kSendButtonId, 0);
    EXPECT_EQ(window.StatusAlert(), "Ток в линии зафиксирован: 4.000 мА · адрес 0");

    platform->OnMessageBox([&](const ui::MessageBoxRecord& box) {
      return box.text.starts_with("Ток в линии") ? c.answer : ui::kIdNo;
    });
    platform->OnModal(TReleaseLoop::kResourceId, [&](ui::Dialog& d) {
      platform->RunUntil([&] { return d.Ended(); }, 2000);
    });
    platform->ClearMessageBoxes();
    if (c.closeBox) {
      window.SendMessage(ui::kMsgClose);
    } else {
      window.SendMessage(ui::kMsgCommand, ui::MakeWParam(kCmdExit, 0));
    }
    // The data file's question first, then the loop's, once.
    ASSERT_EQ(platform->MessageBoxes().size(), 2u);
    EXPECT_EQ(platform->MessageBoxes()[1].text,
              "Ток в линии зафиксирован: 4.000 мА · адрес 0.\n"
              "Вернуть ток в линии к нормальной работе перед выходом?");
    EXPECT_FALSE(window.IsCreated());
    EXPECT_EQ(window.Status().Fixed().has_value(), c.answer == ui::kIdNo);
  }
}

}  // namespace
