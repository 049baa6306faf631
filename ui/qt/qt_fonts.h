// Fonts and colours of the layer as Qt sees them (internal to ui/qt).
#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

#include "ui/types.h"

class QPaintDevice;

namespace ui::qt {

// The installed look-alike of a face that programs and templates name.
QString InstalledFace(const std::string& face);

// Height in device pixels when given (negative: character height, positive: cell height),
// else the point size. With a device, sizes and widths are measured on it.
QFont ToQFont(const Font& font, QPaintDevice* device = nullptr);

inline QColor ToQColor(Color c) { return QColor(c.r, c.g, c.b); }
inline Color FromQColor(const QColor& c) {
  return Color{static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
               static_cast<std::uint8_t>(c.blue())};
}

// Dialog units of a dialog font: a quarter of the average Latin letter width across, an eighth
// of the font height down.
class DialogUnits {
 public:
  DialogUnits() = default;
  explicit DialogUnits(const QFont& font);
  int X(int du) const;
  int Y(int du) const;
  // Each edge is mapped, as a dialog manager maps a rectangle, so neighbours stay neighbours.
  QRect Map(const Rect& du) const;
  double BaseX() const { return baseX_; }
  int BaseY() const { return baseY_; }

 private:
  double baseX_ = 6;
  int baseY_ = 13;
};

}  // namespace ui::qt
