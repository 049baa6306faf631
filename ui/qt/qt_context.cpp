#include "ui/qt/qt_context.h"

#include <QFontMetricsF>
#include <QPen>
#include <QPolygon>
#include <QPrinter>

#include <algorithm>
#include <cmath>

#include "ui/printing.h"
#include "ui/qt/qt_fonts.h"

namespace ui::qt {

QtContext::QtContext(std::shared_ptr<QImage> image, Rect area, Font font, QColor background,
                     std::function<void()> released)
    : image_(std::move(image)),
      area_(area),
      font_(std::move(font)),
      background_(background),
      released_(std::move(released)) {
  qfont_ = ToQFont(font_, Device());
}

QtContext::QtContext(QPainter& painter, Rect area, Font font, QColor background)
    : painter_(&painter), area_(area), font_(std::move(font)), background_(background) {
  qfont_ = ToQFont(font_, Device());
}

QtContext::~QtContext() {
  if (released_) released_();
}

QPaintDevice* QtContext::Device() const {
  return painter_ ? painter_->device() : static_cast<QPaintDevice*>(image_.get());
}

template <class Draw>
void QtContext::Paint(Draw&& draw) {
  if (painter_) {
    painter_->save();
    draw(*painter_);
    painter_->restore();
  } else if (image_ && !image_->isNull()) {
    QPainter painter(image_.get());
    draw(painter);
  }
}

Font QtContext::SelectFont(const Font& font) {
  Font previous = font_;
  font_ = font;
  qfont_ = ToQFont(font_, Device());
  return previous;
}

void QtContext::TextOut(int x, int y, std::string_view text) {
  const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  Paint([&](QPainter& p) {
    p.setFont(qfont_);
    const QFontMetricsF fm(qfont_, p.device());
    // The layer's y is the top of the text cell; Qt draws on the baseline.
    if (bkMode_ == BkMode::Opaque) {
      p.fillRect(QRectF(x, y, fm.horizontalAdvance(s), fm.height()), background_);
    }
    p.setPen(ToQColor(textColor_));
    p.drawText(QPointF(x, y + fm.ascent()), s);
  });
}

int QtContext::TextWidth(std::string_view text) {
  const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  return static_cast<int>(std::ceil(QFontMetricsF(qfont_, Device()).horizontalAdvance(s)));
}

void QtContext::FillRect(const Rect& rect, Color color) {
  Paint([&](QPainter& p) { p.fillRect(QRect(rect.x, rect.y, rect.width, rect.height), ToQColor(color)); });
}

void QtContext::Polyline(std::span<const Point> points, Color color, int width) {
  if (points.size() < 2) return;
  QPolygon polygon;
  polygon.reserve(static_cast<qsizetype>(points.size()));
  for (const Point& p : points) polygon << QPoint(p.x, p.y);
  Paint([&](QPainter& p) {
    QPen pen(ToQColor(color));
    pen.setWidth(std::max(1, width));
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::FlatCap);
    p.setPen(pen);
    p.setRenderHint(QPainter::Antialiasing);
    p.drawPolyline(polygon);
  });
}

bool PrintPages(QPrinter& printer, Printout& printout) {
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  int first = 1;
  int last = std::max(1, printout.PageCount());
  if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
    first = std::max(first, printer.fromPage());
    last = std::min(last, std::max(printer.toPage(), first));
  }
  const QRect page = printer.pageRect(QPrinter::DevicePixel).toRect();
  const Rect area{0, 0, page.width(), page.height()};
  // The printer's own font when a printout selects none: Times New Roman 12 points.
  const Font printerFont{"Times New Roman", 0, 12};
  for (int n = first; n <= last; ++n) {
    if (n > first && !printer.newPage()) {
      painter.end();
      return false;
    }
    QtContext dc(painter, area, printerFont, Qt::white);
    printout.PrintPage(dc, n);
  }
  return painter.end();
}

}  // namespace ui::qt
