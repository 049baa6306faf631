#include "ui/qt/qt_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

#include "ui/qt/qt_widgets.h"

namespace ui::qt {
namespace {

// Each drawing fills a 24 x 24 square; the painter is scaled to the size asked for.
using Drawing = std::function<void(QPainter&)>;

const QColor kOutline(60, 60, 60);
const QColor kPaper(252, 252, 250);

void Page(QPainter& p) {
  QPainterPath page;
  page.moveTo(5, 2.5);
  page.lineTo(14.5, 2.5);
  page.lineTo(19.5, 7.5);
  page.lineTo(19.5, 21.5);
  page.lineTo(5, 21.5);
  page.closeSubpath();
  p.setPen(QPen(kOutline, 1));
  p.setBrush(kPaper);
  p.drawPath(page);
  p.drawPolyline(QPolygonF({QPointF(14.5, 2.5), QPointF(14.5, 7.5), QPointF(19.5, 7.5)}));
}

void NewFile(QPainter& p) {
  Page(p);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(40, 150, 60));
  p.drawEllipse(QPointF(17, 17), 5.5, 5.5);
  p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::FlatCap));
  p.drawLine(QPointF(17, 13.5), QPointF(17, 20.5));
  p.drawLine(QPointF(13.5, 17), QPointF(20.5, 17));
}

void OpenFile(QPainter& p) {
  p.setPen(QPen(QColor(150, 110, 20), 1));
  p.setBrush(QColor(230, 185, 70));
  p.drawPolygon(QPolygonF({QPointF(2.5, 5.5), QPointF(9, 5.5), QPointF(11, 7.5), QPointF(19.5, 7.5),
                           QPointF(19.5, 19.5), QPointF(2.5, 19.5)}));
  p.setBrush(QColor(250, 215, 110));
  p.drawPolygon(QPolygonF({QPointF(5.5, 10.5), QPointF(22.5, 10.5), QPointF(19.5, 19.5), QPointF(2.5, 19.5)}));
}

void SaveFile(QPainter& p) {
  p.setPen(QPen(QColor(20, 50, 110), 1));
  p.setBrush(QColor(50, 100, 180));
  p.drawRoundedRect(QRectF(2.5, 2.5, 19, 19), 2, 2);
  p.setBrush(kPaper);
  p.drawRect(QRectF(6.5, 2.5, 11, 7));
  p.setBrush(QColor(190, 195, 205));
  p.drawRect(QRectF(5.5, 13.5, 13, 8));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(20, 50, 110));
  p.drawRect(QRectF(13.5, 3.5, 2.5, 4.5));
}

void PrintFile(QPainter& p) {
  p.setPen(QPen(kOutline, 1));
  p.setBrush(kPaper);
  p.drawRect(QRectF(6.5, 2.5, 11, 8));
  p.setBrush(QColor(150, 150, 155));
  p.drawRoundedRect(QRectF(2.5, 9.5, 19, 9), 1.5, 1.5);
  p.setBrush(kPaper);
  p.drawRect(QRectF(6.5, 15.5, 11, 6));
  p.setPen(QPen(QColor(120, 120, 120), 1));
  p.drawLine(QPointF(8.5, 18), QPointF(15.5, 18));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(60, 190, 80));
  p.drawEllipse(QPointF(18.5, 12.5), 1.2, 1.2);
}

// A transmitter: a housing on a process connection, with the signal it answers on.
void Transmitter(QPainter& p) {
  p.setPen(QPen(kOutline, 1));
  p.setBrush(QColor(200, 205, 215));
  p.drawRoundedRect(QRectF(3.5, 6.5, 11, 9), 2, 2);
  p.setBrush(QColor(150, 155, 165));
  p.drawRect(QRectF(7, 15.5, 4, 3));
  p.drawRect(QRectF(5, 18.5, 8, 3));
  p.setBrush(QColor(240, 240, 230));
  p.drawEllipse(QPointF(9, 11), 3, 3);
}

void Identify(QPainter& p) {
  Transmitter(p);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(30, 110, 200), 1.6, Qt::SolidLine, Qt::RoundCap));
  for (int i = 0; i < 3; ++i) {
    const qreal r = 3.0 + 3.0 * i;
    p.drawArc(QRectF(15.5 - r, 8 - r, 2 * r, 2 * r), -45 * 16, 90 * 16);
  }
}

// The data panel: a window of labelled fields.
void Panel(QPainter& p) {
  p.setPen(QPen(kOutline, 1));
  p.setBrush(kPaper);
  p.drawRect(QRectF(2.5, 3.5, 19, 17));
  p.setBrush(QColor(50, 100, 180));
  p.drawRect(QRectF(2.5, 3.5, 19, 4));
  p.setPen(Qt::NoPen);
  for (int row = 0; row < 3; ++row) {
    const qreal y = 9.5 + 3.5 * row;
    p.setBrush(QColor(120, 120, 120));
    p.drawRect(QRectF(4.5, y, 5, 2));
    p.setBrush(QColor(190, 195, 205));
    p.drawRect(QRectF(11, y, 8.5, 2));
  }
}

// The trend: a chart of the pressure in blue over the loop current in red, the trend window's
// colours.
void Trend(QPainter& p) {
  p.setPen(QPen(kOutline, 1));
  p.setBrush(kPaper);
  p.drawRect(QRectF(2.5, 3.5, 19, 17));
  p.setPen(QPen(QColor(215, 215, 215), 1));
  for (const qreal y : {8.5, 12.5, 16.5}) p.drawLine(QPointF(3.5, y), QPointF(20.5, y));
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(200, 50, 30), 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPolyline(QPolygonF({QPointF(4.5, 17.5), QPointF(8, 16.5), QPointF(11, 13.5),
                            QPointF(15, 14), QPointF(19.5, 12)}));
  p.setPen(QPen(QColor(0, 60, 200), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPolyline(QPolygonF({QPointF(4.5, 14.5), QPointF(7.5, 13.5), QPointF(10.5, 7),
                            QPointF(14, 9.5), QPointF(17, 8.5), QPointF(19.5, 6.5)}));
}

// The link: a modem box with its cable to a plug.
void Link(QPainter& p) {
  p.setPen(QPen(kOutline, 1));
  p.setBrush(kPaper);
  p.drawRoundedRect(QRectF(2.5, 12.5, 11, 8), 1.5, 1.5);
  p.setBrush(QColor(40, 170, 70));
  p.drawEllipse(QRectF(4.5, 15, 2.5, 2.5));
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(50, 100, 180), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPolyline(QPolygonF({QPointF(13.5, 16.5), QPointF(17, 16.5), QPointF(17, 7),
                            QPointF(19, 7)}));
  p.setPen(QPen(kOutline, 1));
  p.setBrush(QColor(190, 195, 205));
  p.drawRect(QRectF(18.5, 4.5, 3.5, 5));
}

void Reading(QPainter& p) { p.drawPixmap(QRectF(1, 1, 22, 22), GaugePicture(QSize(88, 88)), QRectF(0, 0, 88, 88)); }

// «Поиск приборов»: devices hanging on one loop, and a magnifying glass over them.
void FindDevices(QPainter& p) {
  p.setPen(QPen(kOutline, 1));
  p.drawLine(QPointF(2, 6.5), QPointF(22, 6.5));
  for (const qreal x : {3.5, 9.5, 15.5}) {
    p.drawLine(QPointF(x + 2.5, 6.5), QPointF(x + 2.5, 9.5));
    p.setBrush(QColor(190, 195, 205));
    p.drawRect(QRectF(x, 9.5, 5, 6));
  }
  p.setBrush(QColor(255, 255, 255, 170));
  p.setPen(QPen(QColor(20, 50, 110), 1.8));
  p.drawEllipse(QPointF(14, 14), 5, 5);
  p.setPen(QPen(QColor(20, 50, 110), 2.6, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(17.8, 17.8), QPointF(21.5, 21.5));
}

// The change journal: a page of lines, each behind a tick of the time it was written.
void Journal(QPainter& p) {
  Page(p);
  p.setPen(QPen(QColor(50, 100, 180), 1.4, Qt::SolidLine, Qt::RoundCap));
  for (int row = 0; row < 4; ++row) {
    const qreal y = 9 + 3.3 * row;
    p.drawPoint(QPointF(7.5, y));
    p.drawLine(QPointF(10, y), QPointF(17, y));
  }
}

// Comparing: two columns of values, the one that differs in red.
void Compare(QPainter& p) {
  p.setPen(QPen(kOutline, 1));
  p.setBrush(kPaper);
  p.drawRect(QRectF(2.5, 3.5, 19, 17));
  p.drawLine(QPointF(12, 3.5), QPointF(12, 20.5));
  p.setPen(Qt::NoPen);
  for (int row = 0; row < 4; ++row) {
    const qreal y = 6 + 3.6 * row;
    p.setBrush(QColor(120, 120, 120));
    p.drawRect(QRectF(4.5, y, 5.5, 2));
    p.setBrush(row == 2 ? QColor(200, 50, 30) : QColor(120, 120, 120));
    p.drawRect(QRectF(14, y, 5.5, 2));
  }
}

struct Named {
  const char* name;
  Drawing draw;
};

const Named kDrawings[] = {
    {"document-new", NewFile},      {"document-open", OpenFile},    {"document-save", SaveFile},
    {"document-print", PrintFile},  {"kestrel7-identify", Identify}, {"kestrel7-panel", Panel},
    {"kestrel7-reading", Reading},  {"kestrel7-trend", Trend},      {"kestrel7-link", Link},
    {"kestrel7-compare", Compare},  {"kestrel7-journal", Journal},
    {"kestrel7-find-devices", FindDevices},
};

QIcon Drawn(const Drawing& draw) {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 24.0, size / 24.0);
    draw(p);
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace

QIcon ToolbarIcon(const std::string& name) {
  const QString themed = QString::fromStdString(name);
  if (QIcon::hasThemeIcon(themed)) return QIcon::fromTheme(themed);
  for (const Named& drawing : kDrawings) {
    if (name == drawing.name) return Drawn(drawing.draw);
  }
  return QIcon();
}

}  // namespace ui::qt
