// The main window's status line: the field device status of every reply, heard through the trace.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "app/main_window.h"
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
    EXPECT_EQ(window.StatusLine(), "");
    platform->Advance(10'000);  // the start-up identification: six replies
    ASSERT_EQ(window.Database().Count(), 1u);

    EXPECT_EQ(platform->StatusLines(window),
              (std::vector<std::string>{"Статус прибора: конфигурация изменена, холодный старт",
                                        "Статус прибора: конфигурация изменена",
                                        "",
                                        "Статус прибора: первичная переменная вне пределов",
                                        "",
                                        "Статус прибора: неисправность, ток зафиксирован"}));
    EXPECT_EQ(window.StatusLine(), "Статус прибора: неисправность, ток зафиксирован");
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

}  // namespace
