#include "ui/qt/qt_platform.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStatusBar>
#include <QTabBar>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>

#include "ui/qt/qt_context.h"
#include "ui/qt/qt_file_names.h"
#include "ui/qt/qt_icons.h"
#include "ui/qt/qt_window_table.h"

// Qt's own way of pressing keys as a person does, shortcuts included (its test library uses it).
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject* o, ulong timestamp, int k, Qt::KeyboardModifiers mods,
                                               const QString& text, bool autorep, ushort count);

namespace ui::qt {
namespace {

Rect ToRect(const QRect& r) { return Rect{r.x(), r.y(), r.width(), r.height()}; }

// Windows that are not dialogs draw their controls in the usual dialog font.
const Font kWindowFont{"MS Sans Serif", 0, 8};

QString WithoutMnemonics(const QString& text) {
  QString out;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('&') && i + 1 < text.size()) ++i;
    out += text[i];
  }
  return out;
}

QMargins FrameMargins(const QWidget& window) {
  const QRect outer = window.frameGeometry();
  const QRect inner = window.geometry();
  return QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                  outer.bottom() - inner.bottom());
}

// The frame of a top-level window, or the one it will have: the window system frames a window
// only once it shows it. A window placed before it shows (the data panel, docked before it
// first appears) gets the frame of its shown parent as the best guess, so that it appears where
// it belongs instead of jumping there once framed.
QMargins FrameOf(const QWidget& top) {
  if (top.isVisible()) return FrameMargins(top);
  for (const QWidget* up = top.parentWidget(); up != nullptr; up = up->parentWidget()) {
    if (up->isWindow() && up->isVisible()) return FrameMargins(*up);
  }
  return QMargins();
}

// The toolbar's key for a menu item's command, to be shown beside the item; none: empty.
QString ShortcutOf(const ToolbarTemplate* toolbar, int id) {
  if (toolbar == nullptr) return {};
  for (const ToolbarButton& button : toolbar->buttons) {
    if (button.id == id && !button.shortcut.empty()) {
      return QKeySequence(QString::fromStdString(button.shortcut), QKeySequence::PortableText)
          .toString(QKeySequence::NativeText);
    }
  }
  return {};
}

void BuildMenuBar(QMainWindow& main, const MenuTemplate& menu, const ToolbarTemplate* toolbar,
                  WindowTable& table, std::uint64_t serial) {
  for (const MenuPopup& popup : menu.popups) {
    QMenu* pulldown = main.menuBar()->addMenu(QString::fromStdString(popup.text));
    for (const MenuItem& item : popup.items) {
      if (item.id == 0) {
        pulldown->addSeparator();
        continue;
      }
      // Shown after a tab, not bound: the toolbar's action alone owns the key, and two actions
      // with one key would make Qt call it ambiguous and fire neither.
      const QString keys = ShortcutOf(toolbar, item.id);
      QAction* action = pulldown->addAction(QString::fromStdString(item.text) +
                                            (keys.isEmpty() ? QString() : u'\t' + keys));
      action->setData(item.id);
      const int id = item.id;
      QObject::connect(action, &QAction::triggered, &main, [&table, serial, id] {
        table.Send(serial, kMsgCommand, MakeWParam(id, kNotifyClicked));
      });
    }
  }
}

// Toolbar actions carry their command here; menu actions carry it as their data.
constexpr const char* kToolbarCommand = "kestrel7Command";

void BuildToolbar(QMainWindow& main, const ToolbarTemplate& toolbar, WindowTable& table, std::uint64_t serial) {
  QToolBar* bar = main.addToolBar(QString());
  bar->setMovable(false);
  bar->setFloatable(false);
  bar->toggleViewAction()->setVisible(false);
  bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  for (const ToolbarButton& button : toolbar.buttons) {
    if (button.id == 0) {
      bar->addSeparator();
      continue;
    }
    QString tooltip = QString::fromStdString(button.tooltip);
    QAction* action = bar->addAction(ToolbarIcon(button.icon), tooltip);
    action->setProperty(kToolbarCommand, button.id);
    if (!button.shortcut.empty()) {
      const QKeySequence keys(QString::fromStdString(button.shortcut), QKeySequence::PortableText);
      action->setShortcut(keys);
      // From the data panel too; a modal dialog still blocks it.
      action->setShortcutContext(Qt::ApplicationShortcut);
      tooltip += QStringLiteral(" (") + keys.toString(QKeySequence::NativeText) + QLatin1Char(')');
    }
    action->setToolTip(tooltip);
    const int id = button.id;
    QObject::connect(action, &QAction::triggered, &main, [&table, serial, id] {
      table.Send(serial, kMsgCommand, MakeWParam(id, kNotifyClicked));
    });
  }
}

QAction* ToolbarAction(QWidget& top, int id) {
  for (QAction* action : top.findChildren<QAction*>()) {
    const QVariant command = action->property(kToolbarCommand);
    if (command.isValid() && command.toInt() == id) return action;
  }
  return nullptr;
}

}  // namespace

QtPlatform::QtPlatform() : table_(std::make_unique<WindowTable>()) {}

QtPlatform::~QtPlatform() {
  for (std::uint64_t serial : table_->Serials()) {
    if (WindowRecord* record = table_->Find(serial)) delete record->top.data();
  }
  table_->timers.clear();
  // Widgets whose windows went earlier wait for deferred deletion; they refer to this platform.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QtPlatform* InstalledQtPlatform() { return dynamic_cast<QtPlatform*>(&ThePlatform()); }

bool GrabToPng(Window& window, const std::string& path) {
  QtPlatform* platform = InstalledQtPlatform();
  return platform != nullptr && platform->GrabToPng(window, path);
}

void QtPlatform::CreateWindow(Window& window) {
  if (table_->Find(window)) return;
  WindowRecord& record = table_->Add(window);
  const std::uint64_t serial = record.serial;
  WindowRecord* parent = window.Parent() ? table_->Find(*window.Parent()) : nullptr;
  QWidget* parentWidget = parent && parent->top ? parent->top.data() : nullptr;

  if (record.dialog) {
    const DialogTemplate& tpl = record.dialog->Template();
    record.font = Font{tpl.fontFace, 0, tpl.fontPointSize};
    record.qfont = ToQFont(record.font);
    record.units = DialogUnits(record.qfont);
    auto* dialog = new DialogWidget(*table_, serial, parentWidget);
    dialog->setFont(record.qfont);
    const QSize client(record.units.X(tpl.rect.width), record.units.Y(tpl.rect.height));
    // A dialog narrower than its caption would show the caption cut in its title bar: it is
    // widened, its client area centred in it.
    const QSize outer(std::max(client.width(), CaptionWidth(WindowTitle(window.Caption()))), client.height());
    if (tpl.style & kStyleSizingFrame) {
      // A window that may be resized opens no larger than the screen leaves room for, frame and
      // title bar included; what it holds is laid out to fit.
      QSize opened = outer;
      if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize room = screen->availableGeometry().size() - QSize(16, 48);
        opened = opened.boundedTo(room);
      }
      dialog->resize(opened);
    } else {
      dialog->setFixedSize(outer);
      dialog->SetClientWidth(client.width());
    }
    dialog->Client()->setGeometry((outer.width() - client.width()) / 2, 0, client.width(), client.height());
    // A template placed at 0,0 opens centred over its parent (or the screen); elsewhere its
    // position counts from the parent's client area.
    if (tpl.rect.x != 0 || tpl.rect.y != 0) {
      QPoint origin;
      if (parent && parent->client) {
        origin = parent->client->mapToGlobal(QPoint(0, 0));
      } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        origin = screen->availableGeometry().topLeft();
      }
      dialog->move(origin + QPoint(record.units.X(tpl.rect.x), record.units.Y(tpl.rect.y)));
    }
    record.top = dialog;
    record.client = dialog->Client();
  } else if (window.Parent() == nullptr && window.Menu() != nullptr) {
    record.mainWindow = true;
    record.font = kWindowFont;
    record.qfont = ToQFont(record.font);
    record.units = DialogUnits(record.qfont);
    auto* main = new MainWindowWidget(*table_, serial);
    main->Client()->setFont(record.qfont);
    BuildMenuBar(*main, *window.Menu(), window.Toolbar(), *table_, serial);
    if (window.Toolbar() != nullptr) BuildToolbar(*main, *window.Toolbar(), *table_, serial);
    main->Status()->setText(QString::fromStdString(window.StatusLine()));
    main->SetAlert(QString::fromStdString(window.StatusAlert()));
    main->resize(800, 600);
    record.top = main;
    record.client = main->Client();
  } else {
    record.font = kWindowFont;
    record.qfont = ToQFont(record.font);
    record.units = DialogUnits(record.qfont);
    auto* plain = new PaintArea(*table_, serial, parentWidget);
    plain->setWindowFlag(Qt::Window);
    plain->setFont(record.qfont);
    plain->resize(640, 480);
    record.top = plain;
    record.client = plain;
  }
  record.top->setWindowTitle(WindowTitle(window.Caption()));
  table_->CreateControls(record);
}

void QtPlatform::DestroyWindow(Window& window) {
  std::unique_ptr<WindowRecord> record = table_->Remove(window);
  if (!record) return;
  for (auto it = table_->timers.begin(); it != table_->timers.end();) {
    if (it->first.first != record->serial) {
      ++it;
      continue;
    }
    if (it->second) {
      it->second->stop();
      it->second->deleteLater();
    }
    it = table_->timers.erase(it);
  }
  if (record->top) {
    // The widget may be the sender of the signal being handled: it goes once that returns.
    record->top->hide();
    record->top->deleteLater();
  }
  if (table_->quitWhenLastWindowGoes && window.Parent() == nullptr && !table_->AnyTopLevel()) Quit();
}

void QtPlatform::ShowWindow(Window& window, bool show) {
  WindowRecord* record = table_->Find(window);
  if (record == nullptr || !record->top) return;
  if (!show) {
    record->top->hide();
  } else if (record->mainWindow) {
    // Without a window manager a maximise request does nothing: take the screen ourselves.
    if (QScreen* screen = record->top->screen()) {
      record->top->setGeometry(screen->availableGeometry());
    }
    record->top->showMaximized();
  } else {
    record->top->show();
    record->top->raise();
  }
}

void QtPlatform::ControlChanged(Window& window, int id) {
  if (WindowRecord* record = table_->Find(window)) table_->SyncControl(*record, id);
}

void QtPlatform::CaptionChanged(Window& window) {
  WindowRecord* record = table_->Find(window);
  if (record == nullptr || !record->top) return;
  const QString title = WindowTitle(window.Caption());
  record->top->setWindowTitle(title);
  // A dialog stays wide enough for its new caption as for its first.
  QWidget& top = *record->top;
  const int needed = CaptionWidth(title);
  if (record->dialog && top.width() < needed) {
    if (top.minimumSize() == top.maximumSize()) {
      top.setFixedWidth(needed);
    } else {
      top.resize(needed, top.height());
    }
  }
}

void QtPlatform::StatusLineChanged(Window& window) {
  WindowRecord* record = table_->Find(window);
  if (record == nullptr || !record->top || !record->mainWindow) return;
  auto* main = static_cast<MainWindowWidget*>(record->top.data());
  main->Status()->setText(QString::fromStdString(window.StatusLine()));
  main->SetAlert(QString::fromStdString(window.StatusAlert()));
}

int QtPlatform::StatusLineHeight(const Window& window) const {
  const WindowRecord* record = table_->Find(window);
  if (record == nullptr || !record->top || !record->mainWindow) return 0;
  // The height the main window's layout gives it (known before the window is first shown), and
  // the frame below it.
  const auto& main = static_cast<const QMainWindow&>(*record->top);
  return main.statusBar()->sizeHint().height() + FrameOf(main).bottom();
}

Rect QtPlatform::WindowRect(const Window& window) const {
  const WindowRecord* record = table_->Find(window);
  if (record == nullptr || !record->top) return Rect{};
  const QWidget& top = *record->top;
  if (!top.isWindow()) return ToRect(QRect(top.mapToGlobal(QPoint(0, 0)), top.size()));
  if (top.isVisible()) return ToRect(top.frameGeometry());
  const QMargins frame = FrameOf(top);
  return ToRect(QRect(top.pos(), top.size().grownBy(frame)));
}

void QtPlatform::MoveWindow(Window& window, const Rect& rect) {
  WindowRecord* record = table_->Find(window);
  if (record == nullptr || !record->top) return;
  QWidget& top = *record->top;
  // A window given a rectangle is no longer maximised.
  if (top.isMaximized()) top.showNormal();
  // The rectangle is the outer frame; Qt sizes the inside and places the frame at the point.
  const QSize frame = top.isWindow() ? QSize(0, 0).grownBy(FrameOf(top)) : QSize(0, 0);
  const QSize inside(std::max(1, rect.width - frame.width()), std::max(1, rect.height - frame.height()));
  if (top.minimumSize() == top.maximumSize()) {
    top.setFixedSize(inside);
  } else {
    top.resize(inside);
  }
  top.move(rect.x, rect.y);
}

Rect QtPlatform::ClientRect(const Window& window) const {
  const WindowRecord* record = table_->Find(window);
  if (record == nullptr || !record->client) return Rect{};
  return Rect{0, 0, record->client->width(), record->client->height()};
}

std::unique_ptr<DeviceContext> QtPlatform::ClientContext(Window& window) {
  WindowRecord* record = table_->Find(window);
  if (record == nullptr || !record->client) {
    return std::make_unique<QtContext>(std::make_shared<QImage>(1, 1, QImage::Format_RGB32), Rect{0, 0, 1, 1},
                                       kWindowFont, WindowTable::ButtonFace(), nullptr);
  }
  table_->EnsureBacking(*record);
  const std::uint64_t serial = record->serial;
  WindowTable* table = table_.get();
  const QSize size = record->client->size();
  // What is drawn here shows at once and stays until the window is painted anew.
  return std::make_unique<QtContext>(record->backing, Rect{0, 0, size.width(), size.height()}, record->font,
                                     WindowTable::ButtonFace(), [table, serial] {
                                       WindowRecord* drawn = table->Find(serial);
                                       if (drawn && drawn->client) drawn->client->update();
                                     },
                                     record->inked);
}

void QtPlatform::Invalidate(Window& window) {
  WindowRecord* record = table_->Find(window);
  if (record == nullptr) return;
  record->dirty = true;
  if (record->client) record->client->update();
}

void QtPlatform::RunModal(Dialog& dialog) {
  WindowRecord* record = table_->Find(dialog);
  if (record == nullptr) return;
  ModalRun run;
  table_->modals[&dialog] = &run;
  if (QWidget* top = record->top) {
    if (top->isVisible() && top->windowModality() != Qt::ApplicationModal) top->hide();
    top->setWindowModality(Qt::ApplicationModal);
    top->show();
    top->raise();
    top->activateWindow();
  }
  if (!run.ended) run.loop.exec();
  table_->modals.erase(&dialog);
  // The loop also ends when the application quits; the dialog is then cancelled.
  if (!run.ended && !dialog.Ended()) dialog.EndDialog(kIdCancel);
}

int QtPlatform::ModalDepth() const { return static_cast<int>(table_->modals.size()); }

void QtPlatform::ModalEnded(Dialog& dialog) {
  auto it = table_->modals.find(&dialog);
  if (it == table_->modals.end()) return;
  it->second->ended = true;
  it->second->loop.quit();
}

void QtPlatform::SetTimer(Window& window, int id, int ms) {
  WindowRecord* record = table_->Find(window);
  if (record == nullptr) return;
  const std::uint64_t serial = record->serial;
  QPointer<QTimer>& timer = table_->timers[{serial, id}];
  if (!timer) {
    timer = new QTimer(&table_->timerOwner);
    timer->setTimerType(Qt::PreciseTimer);
    WindowTable* table = table_.get();
    QObject::connect(timer.data(), &QTimer::timeout, &table_->timerOwner,
                     [table, serial, id] { table->Send(serial, kMsgTimer, static_cast<WParam>(id)); });
  }
  timer->start(std::max(ms, 0));  // starting again re-arms
}

void QtPlatform::KillTimer(Window& window, int id) {
  WindowRecord* record = table_->Find(window);
  if (record == nullptr) return;
  auto it = table_->timers.find({record->serial, id});
  if (it == table_->timers.end()) return;
  if (it->second) {
    it->second->stop();
    it->second->deleteLater();  // it may be the timer whose tick is being handled
  }
  table_->timers.erase(it);
}

void QtPlatform::KillTimers(Window& window) {
  WindowRecord* record = table_->Find(window);
  if (record == nullptr) return;
  std::vector<int> ids;
  for (const auto& entry : table_->timers) {
    if (entry.first.first == record->serial) ids.push_back(entry.first.second);
  }
  for (int id : ids) KillTimer(window, id);
}

std::int64_t QtPlatform::NowMs() const { return table_->clock.elapsed(); }

Date QtPlatform::Today() const {
  const QDate today = QDate::currentDate();
  return Date{today.day(), today.month(), today.year()};
}

Color QtPlatform::GetSysColor(SysColor which) const {
  const QPalette palette = QApplication::palette();
  switch (which) {
    case SysColor::ButtonFace:
      return FromQColor(palette.color(QPalette::Button));
    case SysColor::ButtonHighlight:
      return FromQColor(palette.color(QPalette::Light));
    case SysColor::ButtonShadow:
      return FromQColor(palette.color(QPalette::Dark));
    case SysColor::WindowText:
      return FromQColor(palette.color(QPalette::WindowText));
    case SysColor::Window:
      return FromQColor(palette.color(QPalette::Window));
  }
  return Color{};
}

void QtPlatform::Quit() {
  table_->quitRequested = true;
  if (QCoreApplication* app = QCoreApplication::instance()) {
    // Once the current message returns; exit() ends the nested loops too, without closing windows.
    QMetaObject::invokeMethod(app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
  }
}

bool QtPlatform::QuitRequested() const { return table_->quitRequested; }

bool QtPlatform::HasTopLevelWindows() const { return table_->AnyTopLevel(); }

void QtPlatform::SetQuitWhenLastWindowGoes(bool quit) { table_->quitWhenLastWindowGoes = quit; }

void QtPlatform::Broadcast(unsigned message, WParam wParam, LParam lParam) {
  for (std::uint64_t serial : table_->Serials()) {
    WindowRecord* record = table_->Find(serial);
    if (record && record->window->Parent() == nullptr) record->window->SendMessage(message, wParam, lParam);
  }
}

bool QtPlatform::IsShown(const Window& window) const {
  const WindowRecord* record = table_->Find(window);
  return record && record->top && record->top->isVisible();
}

bool QtPlatform::RunUntil(const std::function<bool()>& done, int limitMs) {
  QElapsedTimer elapsed;
  elapsed.start();
  while (!(done && done())) {
    const qint64 left = limitMs - elapsed.elapsed();
    if (left <= 0) return false;
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(std::min<qint64>(left, 5)), &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

void QtPlatform::RunFor(int ms) { RunUntil(nullptr, ms); }

bool QtPlatform::SimulateTyping(Window& window, int id, const std::string& text) {
  WindowRecord* record = table_->Find(window);
  if (record == nullptr) return false;
  QWidget* target = table_->ControlWidget(*record, id);
  if (auto* combo = qobject_cast<QComboBox*>(target)) target = combo->lineEdit();
  if (!qobject_cast<QLineEdit*>(target) && !qobject_cast<QPlainTextEdit*>(target)) return false;
  QPointer<QWidget> guard(target);
  for (char32_t cp : QString::fromStdString(text).toStdU32String()) {
    if (!guard) return false;
    const QString typed = QString::fromUcs4(&cp, 1);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, typed);
    QCoreApplication::sendEvent(guard, &press);
    if (!guard) return false;
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, typed);
    QCoreApplication::sendEvent(guard, &release);
  }
  return true;
}

bool QtPlatform::SimulateClick(Window& window, int id) {
  WindowRecord* record = table_->Find(window);
  if (record == nullptr) return false;
  auto* button = qobject_cast<QAbstractButton*>(table_->ControlWidget(*record, id));
  if (button == nullptr) return false;
  button->click();
  return true;
}

bool QtPlatform::SimulateSelect(Window& window, int id, int index) {
  WindowRecord* record = table_->Find(window);
  if (record == nullptr) return false;
  QWidget* widget = table_->ControlWidget(*record, id);
  if (auto* tabs = qobject_cast<QTabBar*>(widget)) {
    tabs->setCurrentIndex(index);
  } else if (auto* list = qobject_cast<QListWidget*>(widget)) {
    list->setCurrentRow(index);
  } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    combo->setCurrentIndex(index);
    emit combo->activated(index);
  } else {
    return false;
  }
  return true;
}

bool QtPlatform::SimulateSpin(Window& window, int id, int delta) {
  WindowRecord* record = table_->Find(window);
  if (record == nullptr) return false;
  QPointer<UpDownWidget> spin = dynamic_cast<UpDownWidget*>(table_->ControlWidget(*record, id));
  for (int i = 0; i < std::abs(delta) && spin; ++i) (delta > 0 ? spin->Up() : spin->Down())->click();
  return spin != nullptr;
}

bool QtPlatform::SimulateKey(Window& window, Key key, int id) {
  WindowRecord* record = table_->Find(window);
  if (record == nullptr || !record->top) return false;
  QWidget* target = id != 0 ? table_->ControlWidget(*record, id) : record->top->focusWidget();
  if (target == nullptr) target = record->top;
  const int code = key == Key::Enter ? Qt::Key_Return : Qt::Key_Escape;
  QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &press);
  return true;
}

bool QtPlatform::SimulateRightClick(Window& window, Point at) {
  WindowRecord* record = table_->Find(window);
  if (record == nullptr || !record->client) return false;
  const QPoint local(at.x, at.y);
  QWidget* target = record->client->childAt(local);
  if (target == nullptr) target = record->client;
  const QPointF inTarget = target->mapFrom(record->client.data(), local);
  QMouseEvent press(QEvent::MouseButtonPress, inTarget, target->mapToGlobal(inTarget), Qt::RightButton,
                    Qt::RightButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &press);
  return true;
}

bool QtPlatform::SimulateClose(Window& window) {
  WindowRecord* record = table_->Find(window);
  if (record == nullptr || !record->top) return false;
  record->top->close();
  return true;
}

bool QtPlatform::SimulateMenu(Window& window, int commandId) {
  WindowRecord* record = table_->Find(window);
  if (record == nullptr || !record->top) return false;
  for (QAction* action : record->top->findChildren<QAction*>()) {
    if (action->data().isValid() && action->data().toInt() == commandId) {
      action->trigger();
      return true;
    }
  }
  return false;
}

bool QtPlatform::SimulateToolbarButton(Window& window, int commandId) {
  WindowRecord* record = table_->Find(window);
  if (record == nullptr || !record->top) return false;
  QAction* action = ToolbarAction(*record->top, commandId);
  auto* bar = record->top->findChild<QToolBar*>();
  auto* button = action && bar ? qobject_cast<QToolButton*>(bar->widgetForAction(action)) : nullptr;
  if (button == nullptr || !button->isVisible()) return false;
  button->click();
  return true;
}

bool QtPlatform::SimulateShortcut(Window& window, const std::string& keys) {
  WindowRecord* record = table_->Find(window);
  if (record == nullptr || !record->top) return false;
  const QKeySequence sequence(QString::fromStdString(keys), QKeySequence::PortableText);
  if (sequence.isEmpty()) return false;
  // A person has the window in front, then presses the keys.
  record->top->activateWindow();
  QCoreApplication::processEvents();
  QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : record->top.data();
  const QKeyCombination pressed = sequence[0];
  return qt_sendShortcutOverrideEvent(target, 0, pressed.key(), pressed.keyboardModifiers(), QString(), false, 1);
}

std::optional<ToolbarShown> QtPlatform::Toolbar(Window& window) {
  WindowRecord* record = table_->Find(window);
  if (record == nullptr || !record->top || !record->mainWindow) return std::nullopt;
  auto* main = static_cast<QMainWindow*>(record->top.data());
  auto* bar = main->findChild<QToolBar*>();
  if (bar == nullptr) return std::nullopt;
  const auto inMain = [main](const QWidget& w) { return ToRect(QRect(w.mapTo(main, QPoint(0, 0)), w.size())); };
  ToolbarShown shown;
  shown.menuBar = inMain(*main->menuBar());
  shown.toolbar = bar->isVisible() ? inMain(*bar) : Rect{};
  shown.client = inMain(*record->client);
  for (QAction* action : bar->actions()) {
    const QVariant command = action->property(kToolbarCommand);
    if (!command.isValid()) continue;
    ToolbarButtonShown button;
    button.id = command.toInt();
    button.tooltip = action->toolTip().toStdString();
    button.shortcut = action->shortcut().toString(QKeySequence::PortableText).toStdString();
    button.hasIcon = !action->icon().isNull();
    if (QWidget* widget = bar->widgetForAction(action)) {
      button.visible = widget->isVisible();
      button.geometry = inMain(*widget);
    }
    shown.buttons.push_back(button);
  }
  return shown;
}

std::optional<std::pair<std::string, Rect>> QtPlatform::StatusLineShown(Window& window) {
  WindowRecord* record = table_->Find(window);
  if (record == nullptr || !record->top || !record->mainWindow) return std::nullopt;
  auto* main = static_cast<MainWindowWidget*>(record->top.data());
  const QStatusBar* bar = main->statusBar();
  if (!bar->isVisible()) return std::nullopt;
  return std::pair{main->Status()->text().toStdString(),
                   ToRect(QRect(bar->mapToGlobal(QPoint(0, 0)), bar->size()))};
}

std::optional<WidgetState> QtPlatform::Widget(Window& window, int id) {
  WindowRecord* record = table_->Find(window);
  if (record == nullptr) return std::nullopt;
  QWidget* widget = table_->ControlWidget(*record, id);
  if (widget == nullptr) return std::nullopt;
  WidgetState state;
  state.className = widget->metaObject()->className();
  state.visible = widget->isVisibleTo(record->top);
  state.enabled = widget->isEnabled();
  state.geometry = ToRect(widget->geometry());
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    state.text = label->text().toStdString();
  } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    state.text = edit->text().toStdString();
    state.readOnly = edit->isReadOnly();
    state.secret = edit->echoMode() != QLineEdit::Normal;
  } else if (auto* area = qobject_cast<QPlainTextEdit*>(widget)) {
    state.text = area->toPlainText().toStdString();
    state.readOnly = area->isReadOnly();
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    state.text = button->text().toStdString();
    state.checked = button->isChecked();
  } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
    state.text = box->title().toStdString();
  } else if (auto* list = qobject_cast<QListWidget*>(widget)) {
    for (int i = 0; i < list->count(); ++i) state.items.push_back(list->item(i)->text().toStdString());
    state.current = list->currentRow();
  } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    for (int i = 0; i < combo->count(); ++i) state.items.push_back(combo->itemText(i).toStdString());
    state.current = combo->currentIndex();
    state.text = combo->currentText().toStdString();
    state.readOnly = combo->lineEdit() && combo->lineEdit()->isReadOnly();
  } else if (auto* tabs = qobject_cast<QTabBar*>(widget)) {
    for (int i = 0; i < tabs->count(); ++i) state.items.push_back(tabs->tabText(i).toStdString());
    state.current = tabs->currentIndex();
    state.text = tabs->tabText(tabs->currentIndex()).toStdString();
  }
  return state;
}

std::vector<TextFit> QtPlatform::TextFits(Window& window) {
  std::vector<TextFit> fits;
  WindowRecord* record = table_->Find(window);
  if (record == nullptr) return fits;
  if (record->dialog && record->top) {
    // The caption, as id 0: the title bar runs across the whole dialog.
    TextFit caption;
    caption.text = window.Caption();
    caption.neededWidth = CaptionWidth(record->top->windowTitle());
    caption.width = record->top->width();
    fits.push_back(caption);
  }
  for (const auto& control : window.Controls()) {
    QWidget* widget = table_->ControlWidget(*record, control->Id());
    if (widget == nullptr) continue;
    TextFit fit;
    fit.id = control->Id();
    fit.text = control->Text();
    fit.width = widget->width();
    fit.height = widget->height();
    const QFontMetrics fm(widget->font());
    fit.neededHeight = fm.height();
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      if (label->text().isEmpty() || !label->pixmap().isNull()) continue;
      if (label->wordWrap()) {
        for (const QString& word : label->text().split(QRegularExpression(QStringLiteral("\\s+")))) {
          fit.neededWidth = std::max(fit.neededWidth, fm.horizontalAdvance(word));
        }
        fit.neededHeight = label->heightForWidth(label->width());
      } else {
        fit.neededWidth = label->sizeHint().width();
      }
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
      // The style's padding around the text; its minimum width for short texts is no concern.
      QPushButton probe;
      probe.setFont(button->font());
      probe.setAutoDefault(button->autoDefault());
      fit.neededWidth = probe.sizeHint().width() + fm.horizontalAdvance(WithoutMnemonics(button->text()));
    } else if (auto* box = qobject_cast<QAbstractButton*>(widget)) {
      fit.neededWidth = box->sizeHint().width();
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
      fit.neededWidth = fm.horizontalAdvance(WithoutMnemonics(group->title())) + 2 * fm.averageCharWidth();
    } else {
      continue;
    }
    fits.push_back(fit);
  }
  return fits;
}

std::optional<Image> QtPlatform::Grab(Window& window) {
  WindowRecord* record = table_->Find(window);
  if (record == nullptr || !record->top) return std::nullopt;
  const QImage grabbed = record->top->grab().toImage().convertToFormat(QImage::Format_RGB32);
  Image image;
  image.width = grabbed.width();
  image.height = grabbed.height();
  image.pixels.reserve(static_cast<std::size_t>(image.width) * image.height);
  for (int y = 0; y < image.height; ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(grabbed.constScanLine(y));
    for (int x = 0; x < image.width; ++x) {
      image.pixels.push_back(Color{static_cast<std::uint8_t>(qRed(line[x])), static_cast<std::uint8_t>(qGreen(line[x])),
                                   static_cast<std::uint8_t>(qBlue(line[x]))});
    }
  }
  return image;
}

bool QtPlatform::SaveImage(Window& window, const std::string& path, std::optional<Rect> part) {
  WindowRecord* record = table_->Find(window);
  if (!part) return GrabToPng(window, path);
  if (record == nullptr || !record->client) return false;
  return record->client->grab(QRect(part->x, part->y, part->width, part->height))
      .save(QString::fromStdString(path), "PNG");
}

bool QtPlatform::GrabToPng(Window& window, const std::string& path) {
  WindowRecord* record = table_->Find(window);
  if (record == nullptr || !record->top) return false;
  return record->top->grab().save(ToQtName(path), "PNG");
}

}  // namespace ui::qt
