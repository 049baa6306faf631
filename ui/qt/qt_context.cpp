#include "ui/qt/qt_context.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QPdfWriter>
#include <QPen>
#include <QPolygon>
#include <QPrinter>

#include <algorithm>
#include <cmath>

#include "ui/printing.h"
#include "ui/qt/qt_fonts.h"

namespace ui::qt {

QtContext::QtContext(std::shared_ptr<QImage> image, Rect area, Font font, QColor background,
                     std::function<void()> released, std::shared_ptr<InkedTexts> inked)
    : image_(std::move(image)),
      inked_(std::move(inked)),
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

// Programs erase a text by drawing it again in the background colour, and draw a text that
// stays (a unit, "[mA]") again over itself. Antialiased, the first would leave a ghost of the
// old edges and the second would thicken the edges with every drawing. So a text drawn
// transparently is remembered with the pixels its ink took: drawn again unchanged it is left as
// it stands, and erased, its ink is filled with the background. Only the ink: a neighbour
// inside the text's cell but clear of its strokes stays.
void QtContext::TextOut(int x, int y, std::string_view text) {
  const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  Paint([&](QPainter& p) {
    p.setFont(qfont_);
    const QFontMetricsF fm(qfont_, p.device());
    // The layer's y is the top of the text cell; Qt draws on the baseline.
    const QPointF baseline(x, y + fm.ascent());
    constexpr qreal kAntialiasReach = 2;
    const QRect ink = fm.tightBoundingRect(s)
                          .translated(baseline)
                          .adjusted(-kAntialiasReach, -kAntialiasReach, kAntialiasReach, kAntialiasReach)
                          .toAlignedRect();
    const QColor color = ToQColor(textColor_);
    if (bkMode_ == BkMode::Transparent && color == background_) {
      p.fillRect(ink, background_);
      Uncover(ink);
      return;
    }
    if (bkMode_ == BkMode::Opaque) {
      const QRectF cell(x, y, fm.horizontalAdvance(s), fm.height());
      p.fillRect(cell, background_);
      Uncover(cell.toAlignedRect().united(ink));
    } else if (inked_) {
      const auto same = [&](const InkedText& t) {
        return t.at == baseline && t.text == s && t.font == qfont_ && t.color == color;
      };
      if (std::any_of(inked_->begin(), inked_->end(), same)) return;
      Uncover(ink);
      inked_->push_back(InkedText{baseline, s, qfont_, color, ink});
    }
    p.setPen(color);
    p.drawText(baseline, s);
  });
}

int QtContext::TextWidth(std::string_view text) {
  const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  return static_cast<int>(std::ceil(QFontMetricsF(qfont_, Device()).horizontalAdvance(s)));
}

void QtContext::FillRect(const Rect& rect, Color color) {
  const QRect r(rect.x, rect.y, rect.width, rect.height);
  Paint([&](QPainter& p) { p.fillRect(r, ToQColor(color)); });
  Uncover(r);
}

// Texts whose pixels are painted over no longer stand whole.
void QtContext::Uncover(const QRect& pixels) {
  if (!inked_) return;
  std::erase_if(*inked_, [&](const InkedText& t) { return t.ink.intersects(pixels); });
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

namespace {

bool PaintPages(QPagedPaintDevice& device, const QRect& page, Printout& printout, int first,
                int last) {
  QPainter painter;
  if (!painter.begin(&device)) return false;
  const Rect area{0, 0, page.width(), page.height()};
  // The printer's own font when a printout selects none: Times New Roman 12 points.
  const Font printerFont{"Times New Roman", 0, 12};
  for (int n = first; n <= last; ++n) {
    if (n > first && !device.newPage()) {
      painter.end();
      return false;
    }
    QtContext dc(painter, area, printerFont, Qt::white);
    printout.PrintPage(dc, n);
  }
  return painter.end();
}

// The printout's pages within the printer's range.
std::pair<int, int> PageRange(const QPrinter& printer, const Printout& printout) {
  int first = 1;
  int last = std::max(1, printout.PageCount());
  if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
    first = std::max(first, printer.fromPage());
    last = std::min(last, std::max(printer.toPage(), first));
  }
  return {first, last};
}

}  // namespace

bool PrintPages(QPrinter& printer, Printout& printout) {
  const auto [first, last] = PageRange(printer, printout);
  return PaintPages(printer, printer.pageRect(QPrinter::DevicePixel).toRect(), printout, first,
                    last);
}

bool RenderPdf(const QPrinter& printer, Printout& printout, std::string& pdf) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  bool painted = false;
  {
    // In memory, so that the file is written whole by the program's own checked writer.
    QPdfWriter writer(&buffer);
    writer.setResolution(printer.resolution());
    writer.setPageLayout(printer.pageLayout());
    writer.setTitle(printer.docName());
    const auto [first, last] = PageRange(printer, printout);
    painted = PaintPages(writer, printer.pageRect(QPrinter::DevicePixel).toRect(), printout, first,
                         last);
  }
  pdf.assign(buffer.data().constData(), static_cast<std::size_t>(buffer.data().size()));
  return painted && !pdf.empty();
}

}  // namespace ui::qt
