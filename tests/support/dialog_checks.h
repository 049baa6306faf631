// Checks the dialog tests share: the layout rules of a dialog template and of a running dialog,
// the request a dialog built, and its stop message boxes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "hart/protokol.h"
#include "ui/dialog.h"
#include "ui/headless/headless_platform.h"
#include "ui/utf8.h"

using Bytes = std::vector<std::uint8_t>;

// The request a dialog built last.
inline Bytes Sent(const THartProtokol& dialog) {
  return Bytes(dialog.Request().begin(), dialog.Request().end());
}

// A frame with its longitudinal parity appended, worked out here rather than by the code tested.
inline Bytes WithChecksum(Bytes bytes) {
  std::uint8_t sum = 0;
  for (std::uint8_t b : bytes) sum ^= b;
  bytes.push_back(sum);
  return bytes;
}

// The room a text needs in dialog units: about 4.5 per character of MS Sans Serif 8.
inline double TextWidth(std::string_view text) {
  return 4.5 * static_cast<double>(ui::utf8::Length(text));
}

inline bool Fits(std::string_view text, const ui::Rect& r) { return r.width >= TextWidth(text); }

inline bool Inside(const ui::Rect& inner, const ui::Rect& outer) {
  return inner.x >= outer.x && inner.y >= outer.y &&
         inner.x + inner.width <= outer.x + outer.width &&
         inner.y + inner.height <= outer.y + outer.height;
}

// Touching edges do not overlap.
inline bool Overlap(const ui::Rect& a, const ui::Rect& b) {
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
         b.y < a.y + a.height;
}

inline const ui::ControlTemplate& FindControl(const ui::DialogTemplate& tpl, int id) {
  for (const auto& c : tpl.controls)
    if (c.id == id) return c;
  ADD_FAILURE() << "no control " << id;
  return tpl.controls.front();
}

// Visible controls lie inside the dialog, leave 4.5 units per character (a group box 8 more for
// its frame) and, group boxes apart, never overlap.
inline void ExpectTemplateLayoutFits(const ui::DialogTemplate& tpl) {
  std::vector<ui::ControlTemplate> shown;
  for (const auto& c : tpl.controls) {
    if (c.style & ui::kStyleHidden) continue;
    const bool group = c.kind == ui::ControlKind::GroupBox;
    EXPECT_LE(c.rect.x + c.rect.width, tpl.rect.width) << c.id;
    EXPECT_LE(c.rect.y + c.rect.height, tpl.rect.height) << c.id;
    EXPECT_GE(c.rect.width, TextWidth(c.text) + (group ? 8 : 0)) << c.id;
    if (!group) shown.push_back(c);
  }
  for (std::size_t i = 0; i < shown.size(); ++i)
    for (std::size_t j = i + 1; j < shown.size(); ++j)
      EXPECT_FALSE(Overlap(shown[i].rect, shown[j].rect))
          << shown[i].id << " overlaps " << shown[j].id;
}

// No two of the template's controls `ids` overlap.
inline void ExpectApart(const ui::DialogTemplate& tpl, const std::vector<int>& ids) {
  for (std::size_t i = 0; i < ids.size(); ++i)
    for (std::size_t j = i + 1; j < ids.size(); ++j)
      EXPECT_FALSE(Overlap(FindControl(tpl, ids[i]).rect, FindControl(tpl, ids[j]).rect))
          << ids[i] << " overlaps " << ids[j];
}

// What a running dialog shows lies inside it, and no two visible controls overlap but a group
// box and what it frames.
inline void ExpectShownInsideAndApart(const ui::Dialog& d) {
  const ui::Rect area{0, 0, d.Template().rect.width, d.Template().rect.height};
  std::vector<const ui::Control*> shown;
  for (const auto& c : d.Controls()) {
    if (!c->Visible()) continue;
    EXPECT_TRUE(Inside(c->RectDu(), area)) << c->Id();
    if (c->Kind() != ui::ControlKind::GroupBox) shown.push_back(c.get());
  }
  for (std::size_t i = 0; i < shown.size(); ++i)
    for (std::size_t j = i + 1; j < shown.size(); ++j)
      EXPECT_FALSE(Overlap(shown[i]->RectDu(), shown[j]->RectDu()))
          << shown[i]->Id() << " and " << shown[j]->Id();
}

// The tab labels fit side by side, each with 12 units for its tab's frame.
inline void ExpectTabsFit(const ui::Control& tabs) {
  double width = 0;
  for (const std::string& label : tabs.Items()) width += TextWidth(label) + 12;
  EXPECT_LE(width, tabs.RectDu().width);
}

// A stop box with an OK button, this text and this caption.
inline void ExpectStopBox(const ui::MessageBoxRecord& box, std::string_view text,
                          std::string_view caption) {
  EXPECT_EQ(box.text, text);
  EXPECT_EQ(box.caption, caption);
  EXPECT_EQ(box.flags, ui::kMbOk | ui::kMbIconStop);
}
