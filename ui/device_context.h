// Painting: a device context on a window's client area or on a printer page.
#pragma once

#include <span>
#include <string_view>

#include "ui/types.h"

namespace ui {

enum class BkMode { Opaque, Transparent };

class DeviceContext {
 public:
  virtual ~DeviceContext() = default;

  virtual void SetBkMode(BkMode mode) = 0;
  virtual void SetTextColor(Color color) = 0;
  virtual Color TextColor() const = 0;
  // Selects a font and hands back the one it replaces, so a caller can restore it.
  virtual Font SelectFont(const Font& font) = 0;
  virtual void TextOut(int x, int y, std::string_view text) = 0;
  // How wide the text comes out in the selected font, in pixels.
  virtual int TextWidth(std::string_view text) = 0;
  virtual void FillRect(const Rect& rect, Color color) = 0;
  // Joins the points with straight lines of the pen's width in pixels.
  virtual void Polyline(std::span<const Point> points, Color color, int width) = 0;
  // Client area of a window, or the printable page in device units.
  virtual Rect Area() const = 0;
};

}  // namespace ui
