#include "app/loop_release.h"

#include <vector>

#include "hart/reply_data.h"

namespace {
constexpr std::uint8_t kCmdFixCurrent = 40;
constexpr int kLinkParam1 = 3;
constexpr const char* kNotReleased = "Ток в линии не возвращён к нормальной работе: ";
}  // namespace

ui::DialogTemplate TReleaseLoop::BuildTemplate() {
  ui::DialogTemplate tpl;
  tpl.resourceId = kResourceId;
  tpl.caption = "Выход из программы";
  tpl.rect = {40, 40, 200, 36};
  tpl.controls.push_back({kTextId, ui::ControlKind::Static,
                          "Ток в линии возвращается к нормальной работе…", {10, 14, 180, 10}});
  return tpl;
}

TReleaseLoop::TReleaseLoop(ui::Window* parent, const TSerialPortSettings& settings,
                           const FixedLoop& loop, int preambles)
    : TKomendy(parent, BuildTemplate(), settings, nullptr), loop_(loop), preambles_(preambles) {}

void TReleaseLoop::SetupWindow() {
  TKomendy::SetupWindow();
  const auto& a = loop_.longAddress;
  const hart::LongAddress address{a[0], a[1],
                                  static_cast<std::uint32_t>(a[2] << 16 | a[3] << 8 | a[4])};
  const std::vector<std::uint8_t> zero(4, 0);  // 0.0f: the loop follows the pressure again
  IssueLong(address, kCmdFixCurrent, zero, preambles_, kLinkParam1);
  StartReplyTimer();
}

ui::LResult TReleaseLoop::EvReply() {
  if (!hart::ReplyHolds(Reply(), 4)) return Failed("ответ неполон.");
  EndDialog(ui::kIdOk);
  return 0;
}

ui::LResult TReleaseLoop::EvNoAnswer() { return Failed("нет ответа."); }
ui::LResult TReleaseLoop::EvLineBusy() { return Failed("линия занята."); }
ui::LResult TReleaseLoop::EvStatusError() {
  return Failed(("преобразователь отказал, код " +
                 std::to_string(hart::ResponseCode(Reply())) + ".")
                    .c_str());
}

// Asked once: a return that fails is said, and the program closes all the same.
ui::LResult TReleaseLoop::Failed(const char* why) {
  MessageBox(std::string(kNotReleased) + why, "", ui::kMbOk | ui::kMbIconStop);
  EndDialog(ui::kIdCancel);
  return 0;
}
