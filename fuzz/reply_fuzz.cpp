// Identification's decoding of whatever stands in the reply area, then its store step, which
// reads the fields back.
#include <cstdint>

#include "hart/identification_dialog.h"
#include "ui/headless/headless_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static constexpr int kCommands[] = {0, 15, 14, 12, 13, 16};
  if (size == 0) return 0;
  ui::ScopedHeadlessPlatform platform;
  TDaneIPPC record;
  THartKom0 dialog(nullptr, {}, nullptr, record, 0, nullptr);
  // The first byte picks the commands whose replies the rest of the input stands for.
  for (int i = 0; i < 6; ++i) {
    if ((data[0] >> i) & 1) dialog.DecodeReceived(kCommands[i], {data + 1, size - 1});
  }
  dialog.SendMessage(ui::kMsgCommand, ui::MakeWParam(THartKom0::kCmdStore, 0));
  return 0;
}
