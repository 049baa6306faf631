#include "ui/qt/qt_fonts.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPaintDevice>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace ui::qt {
namespace {

struct LookAlike {
  const char* face;
  const char* first;
  const char* second;
};

constexpr LookAlike kLookAlikes[] = {
    {"ms sans serif", "DejaVu Sans", "Liberation Sans"},
    {"ms shell dlg", "DejaVu Sans", "Liberation Sans"},
    {"microsoft sans serif", "DejaVu Sans", "Liberation Sans"},
    {"system", "DejaVu Sans", "Liberation Sans"},
    {"arial", "Liberation Sans", "DejaVu Sans"},
    {"arial ce", "Liberation Sans", "DejaVu Sans"},
    {"times new roman", "Liberation Serif", "DejaVu Serif"},
    {"times new roman ce", "Liberation Serif", "DejaVu Serif"},
    {"times", "Liberation Serif", "DejaVu Serif"},
    {"courier new", "Liberation Mono", "DejaVu Sans Mono"},
    {"courier", "Liberation Mono", "DejaVu Sans Mono"},
};

QString Lower(const std::string& s) { return QString::fromStdString(s).trimmed().toLower(); }

}  // namespace

QString InstalledFace(const std::string& face) {
  const QString wanted = Lower(face);
  for (const LookAlike& l : kLookAlikes) {
    if (wanted != QLatin1String(l.face)) continue;
    if (QFontDatabase::hasFamily(QString::fromLatin1(l.first))) return QString::fromLatin1(l.first);
    if (QFontDatabase::hasFamily(QString::fromLatin1(l.second))) return QString::fromLatin1(l.second);
    break;
  }
  const QString asNamed = QString::fromStdString(face);
  if (!asNamed.isEmpty() && QFontDatabase::hasFamily(asNamed)) return asNamed;
  if (QFontDatabase::hasFamily(QStringLiteral("DejaVu Sans"))) return QStringLiteral("DejaVu Sans");
  return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

QFont ToQFont(const Font& font, QPaintDevice* device) {
  QFont q(InstalledFace(font.face));
  if (font.height != 0) {
    int pixels = std::abs(font.height);
    if (font.height > 0) {
      // A positive height asks for the whole cell (ascent + descent), Qt sizes the em.
      QFont probe(q);
      probe.setPixelSize(1000);
      const double cell = QFontMetricsF(probe).height();
      if (cell > 0) pixels = static_cast<int>(std::lround(font.height * 1000.0 / cell));
    }
    q.setPixelSize(std::max(1, pixels));
  } else {
    q.setPointSize(font.pointSize > 0 ? font.pointSize : 8);
  }
  const int weight = font.weight <= 0 ? 400 : std::clamp(font.weight, 1, 1000);
  q.setWeight(static_cast<QFont::Weight>(weight));
  q.setItalic(font.italic);
  if (font.width > 0) {
    const double average =
        device ? QFontMetricsF(q, device).averageCharWidth() : QFontMetricsF(q).averageCharWidth();
    if (average > 0) {
      q.setStretch(std::clamp(static_cast<int>(std::lround(100.0 * font.width / average)), 1, 4000));
    }
  }
  return q;
}

DialogUnits::DialogUnits(const QFont& font) {
  static const QString kLetters =
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  baseX_ = QFontMetricsF(font).horizontalAdvance(kLetters) / 52.0;
  baseY_ = QFontMetrics(font).height();
}

int DialogUnits::X(int du) const { return static_cast<int>(std::lround(du * baseX_ / 4.0)); }

int DialogUnits::Y(int du) const { return static_cast<int>(std::lround(du * baseY_ / 8.0)); }

QRect DialogUnits::Map(const Rect& du) const {
  const int left = X(du.x);
  const int top = Y(du.y);
  return QRect(left, top, X(du.x + du.width) - left, Y(du.y + du.height) - top);
}

}  // namespace ui::qt
