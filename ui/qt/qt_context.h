// Device contexts on a window's backing image or on a printer page (internal to ui/qt).
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/device_context.h"

class QPrinter;

namespace ui {
class Printout;
}

namespace ui::qt {

// A text drawn transparently on a window's image, and the pixels its ink took.
struct InkedText {
  QPointF at;
  QString text;
  QFont font;
  QColor color;
  QRect ink;
};
// What stands on a window's image since it was last painted whole.
using InkedTexts = std::vector<InkedText>;

class QtContext : public DeviceContext {
 public:
  // On an image: each call paints with a painter of its own, so a paint message's context and a
  // client context may be open together. `released` runs when the context goes. `inked` (may
  // be null) keeps the texts standing on the image across contexts.
  QtContext(std::shared_ptr<QImage> image, Rect area, Font font, QColor background,
            std::function<void()> released, std::shared_ptr<InkedTexts> inked = nullptr);
  // Through a painter that stays open for the whole job (a printer).
  QtContext(QPainter& painter, Rect area, Font font, QColor background);
  ~QtContext() override;

  void SetBkMode(BkMode mode) override { bkMode_ = mode; }
  void SetTextColor(Color color) override { textColor_ = color; }
  Color TextColor() const override { return textColor_; }
  Font SelectFont(const Font& font) override;
  void TextOut(int x, int y, std::string_view text) override;
  int TextWidth(std::string_view text) override;
  void FillRect(const Rect& rect, Color color) override;
  void Polyline(std::span<const Point> points, Color color, int width) override;
  Rect Area() const override { return area_; }

 private:
  QPaintDevice* Device() const;
  template <class Draw>
  void Paint(Draw&& draw);

  void Uncover(const QRect& pixels);

  std::shared_ptr<QImage> image_;
  std::shared_ptr<InkedTexts> inked_;
  QPainter* painter_ = nullptr;
  Rect area_;
  Font font_;
  QFont qfont_;
  QColor background_;
  BkMode bkMode_ = BkMode::Opaque;
  Color textColor_;
  std::function<void()> released_;
};

// Prints every page (or the printer's page range) with one painter; false when the printer fails.
bool PrintPages(QPrinter& printer, Printout& printout);
// The same pages as PDF in memory, laid out as the printer would; false when painting failed.
bool RenderPdf(const QPrinter& printer, Printout& printout, std::string& pdf);

}  // namespace ui::qt
