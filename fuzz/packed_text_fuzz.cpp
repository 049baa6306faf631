// Packed text both ways: decoding any bytes, and entry of any text through the message field.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "record/edit_message.h"
#include "record/packed_text.h"
#include "ui/dialog.h"
#include "ui/headless/headless_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static constexpr std::size_t kSizes[] = {8, 16, 32};
  const std::size_t n = kSizes[data[0] % 3];
  const std::span<const std::uint8_t> rest(data + 1, size - 1);

  // Whatever bytes a transmitter sends, shown and entered again, give the same bytes back.
  std::array<std::uint8_t, 24> bytes{};
  std::copy_n(rest.begin(), std::min(rest.size(), bytes.size()), bytes.begin());
  const std::span<const std::uint8_t> field(bytes.data(), n * 3 / 4);
  std::array<std::uint8_t, 24> again{};
  packed::EncodeFromEntry(packed::DecodeForDisplay(field, n), n, std::span(again).first(n * 3 / 4));
  if (!std::equal(field.begin(), field.end(), again.begin())) std::abort();
  packed::DecodeRaw(rest, n);
  packed::DecodeForDisplay(rest, n);

  // Any text typed or set into a message field.
  ui::ScopedHeadlessPlatform platform;
  ui::DialogTemplate tpl;
  tpl.controls.push_back({1, ui::ControlKind::Edit, "", {0, 0, 10, 10}, ui::kStyleUpperCase, 33});
  ui::Dialog dialog(nullptr, tpl);
  dialog.CreateModeless();
  TEditMessage edit(dialog, 1, n);
  const std::string text(reinterpret_cast<const char*>(rest.data()), rest.size());
  dialog.Item(1)->UserType(text);
  std::array<std::uint8_t, 24> out{};
  edit.Read(std::span(out).first(n * 3 / 4));
  edit.SetText(text);
  edit.Read(std::span(out).first(n * 3 / 4));
  edit.Show(std::span(out).first(n * 3 / 4));
  return 0;
}
