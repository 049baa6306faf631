#include "ui/qt/qt_widgets.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStatusBar>
#include <QToolButton>
#include <QtMath>

#include "ui/qt/qt_window_table.h"

namespace ui::qt {

PaintArea::PaintArea(WindowTable& table, std::uint64_t serial, QWidget* parent)
    : QWidget(parent), table_(table), serial_(serial) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void PaintArea::paintEvent(QPaintEvent*) { table_.PaintClient(serial_, *this); }

void PaintArea::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    table_.RightButton(serial_, event->position().toPoint());
    return;
  }
  QWidget::mousePressEvent(event);
}

void PaintArea::closeEvent(QCloseEvent* event) {
  // The program decides whether its window goes.
  event->ignore();
  table_.Send(serial_, kMsgClose);
}

DialogWidget::DialogWidget(WindowTable& table, std::uint64_t serial, QWidget* parent)
    : QDialog(parent), table_(table), serial_(serial), client_(new PaintArea(table, serial, this)) {}

void DialogWidget::reject() { table_.Send(serial_, kMsgCommand, MakeWParam(kIdCancel, kNotifyClicked)); }

void DialogWidget::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    table_.Send(serial_, kMsgCommand, MakeWParam(kIdCancel, kNotifyClicked));
    return;
  }
  QDialog::keyPressEvent(event);
}

void DialogWidget::closeEvent(QCloseEvent* event) {
  event->ignore();
  table_.Send(serial_, kMsgClose);
}

void DialogWidget::resizeEvent(QResizeEvent* event) {
  if (clientWidth_ > 0 && clientWidth_ < width()) {
    client_->setGeometry((width() - clientWidth_) / 2, 0, clientWidth_, height());
  } else {
    client_->setGeometry(rect());
  }
  QDialog::resizeEvent(event);
}

MainWindowWidget::MainWindowWidget(WindowTable& table, std::uint64_t serial)
    : table_(table),
      serial_(serial),
      client_(new PaintArea(table, serial, this)),
      status_(new QLabel(this)),
      alert_(new QLabel(this)) {
  setCentralWidget(client_);
  // The line is there from the start, empty or not, so that what docks above it never moves.
  status_->setMinimumHeight(status_->fontMetrics().height());
  // A long line is cut at the window's edge rather than widen the window past the screen.
  status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  statusBar()->addWidget(status_, 1);
  // Dark red under white whatever the desktop's theme, so that it reads as a warning.
  alert_->setStyleSheet(QStringLiteral(
      "QLabel { background-color: #b00020; color: white; font-weight: bold; padding: 0 6px; }"));
  alert_->hide();
  statusBar()->addPermanentWidget(alert_);
}

void MainWindowWidget::SetAlert(const QString& text) {
  alert_->setText(text);
  alert_->setVisible(!text.isEmpty());
}

void MainWindowWidget::closeEvent(QCloseEvent* event) {
  event->ignore();
  table_.Send(serial_, kMsgClose);
}

UpDownWidget::UpDownWidget(QWidget* parent)
    : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this)) {
  for (QToolButton* b : {up_, down_}) {
    b->setAutoRepeat(true);
    b->setFocusPolicy(Qt::NoFocus);
  }
  up_->setArrowType(Qt::UpArrow);
  down_->setArrowType(Qt::DownArrow);
}

void UpDownWidget::resizeEvent(QResizeEvent*) {
  const int half = height() / 2;
  up_->setGeometry(0, 0, width(), half);
  down_->setGeometry(0, half, width(), height() - half);
}

QString WindowTitle(const std::string& caption) {
  return caption.empty() ? QStringLiteral(" ") : QString::fromStdString(caption);
}

QString TitleBarText(const QWidget& window) {
  const QString title = window.windowTitle();
  return title.isEmpty() ? QCoreApplication::applicationName() : title;
}

int CaptionWidth(const QString& title) {
  // The window manager's title font is unknown here. Title bars commonly use the interface
  // font in bold, up to two points larger: that is taken, to be on the safe side. Icon and up
  // to three buttons take about six text heights.
  QFont font = QApplication::font();
  font.setBold(true);
  if (font.pointSizeF() > 0) {
    font.setPointSizeF(font.pointSizeF() + 2);
  } else if (font.pixelSize() > 0) {
    font.setPixelSize(font.pixelSize() * 5 / 4);
  }
  const QFontMetrics fm(font);
  constexpr int kTitleBarHeightsForIconAndButtons = 6;
  return fm.horizontalAdvance(title.trimmed()) + kTitleBarHeightsForIconAndButtons * fm.height();
}

QPixmap GaugePicture(QSize size) {
  QPixmap pixmap(size.expandedTo(QSize(1, 1)));
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal side = std::min(size.width(), size.height()) - 2.0;
  const QRectF dial((size.width() - side) / 2.0, (size.height() - side) / 2.0, side, side);
  p.setPen(QPen(QColor(40, 40, 40), std::max(1.0, side / 24)));
  p.setBrush(QColor(250, 250, 245));
  p.drawEllipse(dial);
  const QPointF centre = dial.center();
  const qreal r = side / 2.0;
  // Ticks over 270 degrees, from lower left to lower right.
  for (int i = 0; i <= 10; ++i) {
    const qreal a = qDegreesToRadians(225.0 - 27.0 * i);
    const qreal inner = i % 5 == 0 ? 0.62 : 0.72;
    p.setPen(QPen(QColor(40, 40, 40), std::max(1.0, side / (i % 5 == 0 ? 30 : 50))));
    p.drawLine(centre + QPointF(std::cos(a), -std::sin(a)) * r * inner,
               centre + QPointF(std::cos(a), -std::sin(a)) * r * 0.84);
  }
  const qreal needle = qDegreesToRadians(225.0 - 27.0 * 6.5);
  p.setPen(QPen(QColor(190, 30, 30), std::max(1.5, side / 28), Qt::SolidLine, Qt::RoundCap));
  p.drawLine(centre, centre + QPointF(std::cos(needle), -std::sin(needle)) * r * 0.75);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(40, 40, 40));
  p.drawEllipse(centre, side / 14, side / 14);
  return pixmap;
}

}  // namespace ui::qt
