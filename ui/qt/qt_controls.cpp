// The control widgets: made from the control's template, mirrored from its state, and the
// user's actions sent back through the control's User* operations.
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTabBar>
#include <QToolButton>

#include <QKeyEvent>

#include <algorithm>
#include <functional>

#include "ui/qt/qt_window_table.h"

namespace ui::qt {
namespace {

QString DisplayText(const std::string& text) {
  QString s = QString::fromStdString(text);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return s;
}

// A static text shows its '&' marks as a dialog manager does: "&&" is one ampersand, a single
// '&' only marks the next letter.
QString LabelText(const std::string& text) {
  const QString s = DisplayText(text);
  QString out;
  out.reserve(s.size());
  for (qsizetype i = 0; i < s.size(); ++i) {
    if (s[i] == QLatin1Char('&')) {
      if (i + 1 < s.size() && s[i + 1] == QLatin1Char('&')) {
        out += QLatin1Char('&');
        ++i;
      }
      continue;
    }
    out += s[i];
  }
  return out;
}

Qt::Alignment Horizontal(std::uint32_t style) {
  if (style & kStyleRight) return Qt::AlignRight;
  if (style & kStyleCenter) return Qt::AlignHCenter;
  return Qt::AlignLeft;
}

QStringList ToStringList(const std::vector<std::string>& items) {
  QStringList list;
  list.reserve(static_cast<qsizetype>(items.size()));
  for (const std::string& item : items) list.push_back(QString::fromStdString(item));
  return list;
}

bool SameItems(const QListWidget& list, const QStringList& items) {
  if (list.count() != items.size()) return false;
  for (int i = 0; i < list.count(); ++i) {
    if (list.item(i)->text() != items[i]) return false;
  }
  return true;
}

// Takes Enter and Return from the widget it watches.
class ReturnTaker : public QObject {
 public:
  ReturnTaker(QObject* parent, std::function<void()> pressed)
      : QObject(parent), pressed_(std::move(pressed)) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        if (event->type() == QEvent::KeyPress) pressed_();
        event->accept();
        return event->type() == QEvent::KeyPress;
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> pressed_;
};

bool SameItems(const QComboBox& combo, const QStringList& items) {
  if (combo.count() != items.size()) return false;
  for (int i = 0; i < combo.count(); ++i) {
    if (combo.itemText(i) != items[i]) return false;
  }
  return true;
}

// After the state has taken (and maybe changed) what was typed, the cursor stays where the
// typing left it, less what the state dropped.
int CursorAfter(int cursor, qsizetype typed, qsizetype kept) {
  return static_cast<int>(std::clamp<qsizetype>(cursor - (typed - kept), 0, kept));
}

}  // namespace

template <class Act>
void WindowTable::UserAction(std::uint64_t serial, int id, Act&& act) {
  WindowRecord* record = Find(serial);
  if (record == nullptr) return;
  Control* control = record->window->Item(id);
  if (control == nullptr) return;
  act(*control);  // may end the dialog or destroy the window
  if (WindowRecord* still = Find(serial)) SyncControl(*still, id);
}

QWidget* WindowTable::ControlWidget(WindowRecord& record, int id) {
  auto it = record.controls.find(id);
  return it == record.controls.end() ? nullptr : it->second.widget.data();
}

void WindowTable::CreateControls(WindowRecord& record) {
  for (const auto& control : record.window->Controls()) {
    if (!ControlWidget(record, control->Id())) CreateControl(record, *control);
  }
  // Group boxes and tab pages frame their neighbours from behind.
  for (auto& [id, widgets] : record.controls) {
    if (widgets.page) widgets.page->lower();
    if (qobject_cast<QGroupBox*>(widgets.widget.data())) widgets.widget->lower();
  }
  for (const auto& control : record.window->Controls()) SyncControl(record, control->Id());
}

void WindowTable::CreateControl(WindowRecord& record, Control& control) {
  if (!record.client) return;
  QWidget* parent = record.client;
  const std::uint64_t serial = record.serial;
  const int id = control.Id();
  const QRect r = record.units.Map(control.RectDu());
  ControlWidgets widgets;
  switch (control.Kind()) {
    case ControlKind::Static: {
      auto* label = new QLabel(parent);
      label->setTextFormat(Qt::PlainText);
      label->setGeometry(r);
      // A static text wraps at word breaks when its rectangle holds more than one line.
      label->setWordWrap(r.height() >= 2 * label->fontMetrics().height());
      if (control.Style() & kStyleBorder) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      widgets.widget = label;
      break;
    }
    case ControlKind::Edit: {
      if (control.Style() & kStyleMultiline) {
        auto* edit = new QPlainTextEdit(parent);
        edit->setGeometry(r);
        QObject::connect(edit, &QPlainTextEdit::textChanged, edit, [this, serial, id, edit] {
          const QString typed = edit->toPlainText();
          const int cursor = edit->textCursor().position();
          UserAction(serial, id, [&](Control& c) { c.UserType(typed.toStdString()); });
          const QString kept = edit->toPlainText();
          if (kept != typed) {
            QSignalBlocker block(edit);
            QTextCursor moved = edit->textCursor();
            moved.setPosition(CursorAfter(cursor, typed.size(), kept.size()));
            edit->setTextCursor(moved);
          }
        });
        widgets.widget = edit;
      } else {
        auto* edit = new QLineEdit(parent);
        edit->setGeometry(r);
        if (control.Style() & kStyleSecret) edit->setEchoMode(QLineEdit::Password);
        if (control.Style() & kStyleWantReturn) {
          // Enter stays with the edit: it never reaches the dialog's buttons.
          edit->installEventFilter(new ReturnTaker(edit, [this, serial, id] {
            UserAction(serial, id, [](Control& c) { c.UserEnter(); });
          }));
        }
        QObject::connect(edit, &QLineEdit::textEdited, edit, [this, serial, id, edit](const QString& typed) {
          const int cursor = edit->cursorPosition();
          UserAction(serial, id, [&](Control& c) { c.UserType(typed.toStdString()); });
          const QString kept = edit->text();
          if (kept != typed) edit->setCursorPosition(CursorAfter(cursor, typed.size(), kept.size()));
        });
        widgets.widget = edit;
      }
      break;
    }
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: {
      auto* button = new QPushButton(parent);
      button->setGeometry(r);
      button->setAutoDefault(record.dialog != nullptr);
      button->setDefault(control.Kind() == ControlKind::DefPushButton);
      QObject::connect(button, &QPushButton::clicked, button, [this, serial, id] {
        UserAction(serial, id, [](Control& c) { c.UserClick(); });
      });
      widgets.widget = button;
      break;
    }
    case ControlKind::CheckBox:
    case ControlKind::RadioButton: {
      QAbstractButton* button = nullptr;
      if (control.Kind() == ControlKind::CheckBox) {
        button = new QCheckBox(parent);
      } else {
        auto* radio = new QRadioButton(parent);
        radio->setAutoExclusive(false);  // the program sets the checks of a group itself
        button = radio;
      }
      button->setGeometry(r);
      QObject::connect(button, &QAbstractButton::clicked, button, [this, serial, id] {
        UserAction(serial, id, [](Control& c) { c.UserClick(); });
      });
      widgets.widget = button;
      break;
    }
    case ControlKind::GroupBox: {
      auto* box = new QGroupBox(parent);
      box->setGeometry(r);
      widgets.widget = box;
      break;
    }
    case ControlKind::ListBox: {
      auto* list = new QListWidget(parent);
      list->setGeometry(r);
      list->setUniformItemSizes(true);
      QObject::connect(list, &QListWidget::currentRowChanged, list, [this, serial, id](int row) {
        if (row >= 0) UserAction(serial, id, [row](Control& c) { c.UserSelect(row); });
      });
      widgets.widget = list;
      break;
    }
    case ControlKind::ComboBox: {
      auto* combo = new QComboBox(parent);
      combo->setEditable(true);
      combo->setInsertPolicy(QComboBox::NoInsert);
      combo->setCompleter(nullptr);  // the typed text is the text, with nothing filled in
      // The template's height includes the dropped-down list.
      combo->setGeometry(r.x(), r.y(), r.width(), combo->sizeHint().height());
      QObject::connect(combo->lineEdit(), &QLineEdit::textEdited, combo,
                       [this, serial, id, combo](const QString& typed) {
                         QLineEdit* edit = combo->lineEdit();
                         const int cursor = edit->cursorPosition();
                         UserAction(serial, id, [&](Control& c) { c.UserType(typed.toStdString()); });
                         const QString kept = edit->text();
                         if (kept != typed) edit->setCursorPosition(CursorAfter(cursor, typed.size(), kept.size()));
                       });
      QObject::connect(combo, &QComboBox::activated, combo, [this, serial, id](int index) {
        if (index >= 0) UserAction(serial, id, [index](Control& c) { c.UserSelect(index); });
      });
      widgets.widget = combo;
      break;
    }
    case ControlKind::Tab: {
      auto* tabs = new QTabBar(parent);
      tabs->setExpanding(false);
      tabs->setDrawBase(false);
      // The tabs go on top of the control's rectangle; the rest is the page.
      for (const std::string& item : control.Items()) tabs->addTab(QString::fromStdString(item));
      if (tabs->count() == 0) tabs->addTab(QStringLiteral("M"));
      const int tabHeight = std::min(tabs->sizeHint().height(), r.height());
      while (tabs->count() > 0) tabs->removeTab(0);
      tabs->setGeometry(r.x(), r.y(), r.width(), tabHeight);
      auto* page = new QFrame(parent);
      page->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
      page->setGeometry(r.x(), r.y() + tabHeight - 1, r.width(), r.height() - tabHeight + 1);
      QObject::connect(tabs, &QTabBar::currentChanged, tabs, [this, serial, id](int index) {
        if (index >= 0) UserAction(serial, id, [index](Control& c) { c.UserSelect(index); });
      });
      widgets.widget = tabs;
      widgets.page = page;
      break;
    }
    case ControlKind::UpDown: {
      auto* spin = new UpDownWidget(parent);
      spin->setGeometry(r);
      QObject::connect(spin->Up(), &QToolButton::clicked, spin, [this, serial, id] {
        UserAction(serial, id, [](Control& c) { c.UserSpin(+1); });
      });
      QObject::connect(spin->Down(), &QToolButton::clicked, spin, [this, serial, id] {
        UserAction(serial, id, [](Control& c) { c.UserSpin(-1); });
      });
      widgets.widget = spin;
      break;
    }
    case ControlKind::Bitmap: {
      auto* picture = new QLabel(parent);
      picture->setGeometry(r);
      picture->setPixmap(GaugePicture(r.size()));
      widgets.widget = picture;
      break;
    }
  }
  record.controls[id] = widgets;
}

void WindowTable::SyncControl(WindowRecord& record, int id) {
  Control* control = record.window->Item(id);
  if (control == nullptr) return;
  QWidget* widget = ControlWidget(record, id);
  if (widget == nullptr) {
    CreateControl(record, *control);
    widget = ControlWidget(record, id);
    if (widget == nullptr) return;
  }
  const Control& c = *control;
  // The program changed the state: mirror it without telling anybody.
  const QSignalBlocker block(widget);
  const QString text = DisplayText(c.Text());
  switch (c.Kind()) {
    case ControlKind::Static:
      if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(LabelText(c.Text()));
        label->setAlignment(Horizontal(c.Style()) | Qt::AlignTop);
      }
      break;
    case ControlKind::Edit:
      if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setReadOnly(c.ReadOnly());
        edit->setAlignment(Horizontal(c.Style()) | Qt::AlignVCenter);
        // A program may set a text longer than the limit; the limit only stops typing.
        edit->setMaxLength(c.TextLimit() > 0 ? std::max<int>(c.TextLimit() - 1, static_cast<int>(text.size()))
                                             : 32767);
        if (edit->text() != text) edit->setText(text);
      } else if (auto* area = qobject_cast<QPlainTextEdit*>(widget)) {
        area->setReadOnly(c.ReadOnly());
        if (area->toPlainText() != text) area->setPlainText(text);
      }
      break;
    case ControlKind::PushButton:
    case ControlKind::DefPushButton:
      if (auto* button = qobject_cast<QPushButton*>(widget)) button->setText(text);
      break;
    case ControlKind::CheckBox:
    case ControlKind::RadioButton:
      if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(text);
        button->setChecked(c.Checked());
      }
      break;
    case ControlKind::GroupBox:
      if (auto* box = qobject_cast<QGroupBox*>(widget)) box->setTitle(text);
      break;
    case ControlKind::ListBox:
      if (auto* list = qobject_cast<QListWidget*>(widget)) {
        const QStringList items = ToStringList(c.Items());
        if (!SameItems(*list, items)) {
          list->clear();
          list->addItems(items);
        }
        list->setCurrentRow(c.Selection());
      }
      break;
    case ControlKind::ComboBox:
      if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        const QSignalBlocker blockEdit(combo->lineEdit());
        const QStringList items = ToStringList(c.Items());
        if (!SameItems(*combo, items)) {
          combo->clear();
          combo->addItems(items);
        }
        if (combo->currentIndex() != c.Selection()) combo->setCurrentIndex(c.Selection());
        if (combo->currentText() != text) combo->setEditText(text);
        combo->lineEdit()->setReadOnly(c.ReadOnly());
      }
      break;
    case ControlKind::Tab:
      if (auto* tabs = qobject_cast<QTabBar*>(widget)) {
        const QStringList items = ToStringList(c.Items());
        while (tabs->count() > items.size()) tabs->removeTab(tabs->count() - 1);
        for (qsizetype i = 0; i < items.size(); ++i) {
          const int index = static_cast<int>(i);
          if (index < tabs->count()) {
            if (tabs->tabText(index) != items[i]) tabs->setTabText(index, items[i]);
          } else {
            tabs->addTab(items[i]);
          }
        }
        if (c.Selection() >= 0 && c.Selection() < tabs->count()) tabs->setCurrentIndex(c.Selection());
      }
      break;
    case ControlKind::UpDown:
    case ControlKind::Bitmap:
      break;
  }
  widget->setEnabled(c.Enabled());
  widget->setVisible(c.Visible());
  if (QWidget* page = record.controls[id].page) page->setVisible(c.Visible());
}

}  // namespace ui::qt
