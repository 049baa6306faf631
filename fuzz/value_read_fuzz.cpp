// The value field's read on any text, and showing whatever it read.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fields/value_fields.h"
#include "fields/value_text.h"
#include "ui/dialog.h"
#include "ui/headless/headless_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ui::ScopedHeadlessPlatform platform;
  ui::DialogTemplate tpl;
  tpl.controls.push_back({1, ui::ControlKind::Edit, "", {0, 0, 10, 10}, ui::kStyleNone, 40});
  ui::Dialog dialog(nullptr, tpl);
  TEditValue field(dialog, 1);
  field.SetText(std::string(reinterpret_cast<const char*>(data), size));
  const float value = field.ReadValue();
  const std::string shown = config::ShowValueText(value);
  if (shown.size() < 10) std::abort();
  // What a field shows reads back within the step it was rounded to.
  const float back = config::ReadValueText(shown);
  if (std::isfinite(value) && std::fabs(value) < 1e6f && std::fabs(back - value) > 1000.0f) {
    std::abort();
  }
  return 0;
}
