// What the Qt platform keeps per window, and the way back from the widgets to the layer
// (internal to ui/qt).
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFont>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QPrinter>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "ui/dialog.h"
#include "ui/qt/qt_context.h"
#include "ui/qt/qt_fonts.h"
#include "ui/qt/qt_widgets.h"
#include "ui/window.h"

namespace ui::qt {

struct ControlWidgets {
  QPointer<QWidget> widget;
  QPointer<QWidget> page;  // a tab control's page frame, behind the page's controls
};

struct WindowRecord {
  std::uint64_t serial = 0;
  Window* window = nullptr;
  Dialog* dialog = nullptr;
  bool mainWindow = false;
  QPointer<QWidget> top;
  QPointer<PaintArea> client;
  std::shared_ptr<QImage> backing;
  std::shared_ptr<InkedTexts> inked = std::make_shared<InkedTexts>();  // on the backing image
  bool dirty = true;  // the program's paint handler has to run before the image is shown
  Font font;          // what a fresh device context on the window starts with
  QFont qfont;
  DialogUnits units;
  std::map<int, ControlWidgets> controls;
};

struct ModalRun {
  QEventLoop loop;
  bool ended = false;
};

// Windows are known by a serial that is never reused: a widget's signal that arrives after its
// window went (or after the address was reused) finds nothing.
class WindowTable {
 public:
  WindowTable();
  ~WindowTable();

  WindowRecord& Add(Window& window);
  WindowRecord* Find(std::uint64_t serial);
  WindowRecord* Find(const Window& window);
  const WindowRecord* Find(const Window& window) const;
  std::unique_ptr<WindowRecord> Remove(const Window& window);
  // Serials in creation order.
  std::vector<std::uint64_t> Serials() const;
  bool AnyTopLevel() const;

  // The widgets report here.
  void Send(std::uint64_t serial, unsigned message, WParam wParam = 0, LParam lParam = 0);
  void PaintClient(std::uint64_t serial, PaintArea& area);
  void RightButton(std::uint64_t serial, QPoint at);

  // Controls: created on first sight, then mirrored from their state.
  void CreateControls(WindowRecord& record);
  void SyncControl(WindowRecord& record, int id);
  QWidget* ControlWidget(WindowRecord& record, int id);

  // The backing image, the size of the client area.
  void EnsureBacking(WindowRecord& record);
  static QColor ButtonFace();

  QElapsedTimer clock;
  QObject timerOwner;
  std::map<std::pair<std::uint64_t, int>, QPointer<QTimer>> timers;
  std::map<const Dialog*, ModalRun*> modals;
  std::unique_ptr<QPrinter> printer;
  bool quitWhenLastWindowGoes = false;
  bool quitRequested = false;

 private:
  void CreateControl(WindowRecord& record, Control& control);
  template <class Act>
  void UserAction(std::uint64_t serial, int id, Act&& act);

  std::map<std::uint64_t, std::unique_ptr<WindowRecord>> records_;
  std::map<const Window*, std::uint64_t> serials_;
  std::uint64_t nextSerial_ = 1;
};

}  // namespace ui::qt
