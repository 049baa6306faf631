// Message boxes, file dialogs, printing and pop-up menus: Qt's own dialogs, answered by a person
// or by the platform's answerers.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QFileInfo>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include <cerrno>

#include "ui/printing.h"
#include "ui/qt/qt_context.h"
#include "ui/qt/qt_file_names.h"
#include "ui/qt/qt_platform.h"
#include "ui/qt/qt_window_table.h"
#include "ui/safe_file.h"

namespace ui::qt {
namespace {

// The common dialogs' flag that asks before a save replaces a file (Windows' value).
constexpr std::uint32_t kOverwritePrompt = 0x2;

QWidget* OwnerWidget(WindowTable& table, Window* owner) {
  if (owner != nullptr) {
    if (WindowRecord* record = table.Find(*owner); record && record->top) return record->top;
  }
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return QApplication::activeWindow();
}

unsigned IconFlag(QMessageBox::Icon icon) {
  switch (icon) {
    case QMessageBox::Critical:
      return kMbIconStop;
    case QMessageBox::Warning:
      return kMbIconExclamation;
    case QMessageBox::Question:
      return kMbIconQuestion;
    case QMessageBox::Information:
      return kMbIconInformation;
    default:
      return 0;
  }
}

QMessageBox::Icon QtIcon(unsigned flags) {
  switch (flags & kMbIconMask) {
    case kMbIconStop:
      return QMessageBox::Critical;
    case kMbIconExclamation:
      return QMessageBox::Warning;
    case kMbIconQuestion:
      return QMessageBox::Question;
    case kMbIconInformation:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

// "Name (*.a)|*.a;*.b|...|" pairs become Qt's "Name (*.a *.b)". "*.*" means every file, which
// for Qt is "*" (Qt's "*.*" would skip names without a dot).
QStringList QtFilters(const std::string& filter) {
  QStringList out;
  const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString name = parts[i].trimmed();
    if (name.isEmpty()) continue;
    QStringList patterns;
    for (QString pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
      pattern = pattern.trimmed();
      patterns << (pattern == QLatin1String("*.*") ? QStringLiteral("*") : pattern);
    }
    if (patterns.isEmpty()) patterns << QStringLiteral("*");
    const qsizetype open = name.lastIndexOf(QLatin1Char('('));
    if (open > 0 && name.endsWith(QLatin1Char(')'))) name = name.left(open).trimmed();
    out << name + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  return out;
}

std::string WithoutMnemonic(QString text) {
  text.remove(QRegularExpression(QStringLiteral("&(?=[^&])")));
  return text.replace(QStringLiteral("&&"), QStringLiteral("&")).toStdString();
}

std::vector<std::string> ToStrings(const QStringList& list) {
  std::vector<std::string> out;
  for (const QString& s : list) out.push_back(s.toStdString());
  return out;
}

}  // namespace

int QtPlatform::MessageBox(Window* owner, const std::string& text, const std::string& caption, unsigned flags) {
  QMessageBox box(OwnerWidget(*table_, owner));
  box.setWindowTitle(WindowTitle(caption));
  box.setTextFormat(Qt::PlainText);
  box.setText(QString::fromStdString(text));
  box.setIcon(QtIcon(flags));
  struct Choice {
    QPushButton* button;
    int id;
  };
  std::vector<Choice> choices;
  auto add = [&](const char* label, QMessageBox::ButtonRole role, int id) {
    choices.push_back({box.addButton(QString::fromUtf8(label), role), id});
  };
  // Closing the box without a button answers as Escape does.
  int closed = kIdCancel;
  switch (flags & kMbButtonMask) {
    case kMbOkCancel:
      add("OK", QMessageBox::AcceptRole, kIdOk);
      add("Отмена", QMessageBox::RejectRole, kIdCancel);
      box.setEscapeButton(choices.back().button);
      break;
    case kMbYesNoCancel:
      add("Да", QMessageBox::YesRole, kIdYes);
      add("Нет", QMessageBox::NoRole, kIdNo);
      add("Отмена", QMessageBox::RejectRole, kIdCancel);
      box.setEscapeButton(choices.back().button);
      break;
    case kMbYesNo:
      add("Да", QMessageBox::YesRole, kIdYes);
      add("Нет", QMessageBox::NoRole, kIdNo);
      box.setEscapeButton(choices.back().button);
      closed = kIdNo;
      break;
    default:
      add("OK", QMessageBox::AcceptRole, kIdOk);
      box.setEscapeButton(choices.back().button);
      closed = kIdOk;
      break;
  }
  box.setDefaultButton(choices.front().button);
  // A box sizes itself to its text; a short text under a long caption would cut the caption.
  const int captionWidth = CaptionWidth(box.windowTitle());
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    grid->addItem(new QSpacerItem(captionWidth, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0,
                  1, grid->columnCount());
  }

  MessageBoxShown shown;
  shown.text = box.text().toStdString();
  shown.caption = box.windowTitle().trimmed().toStdString();
  shown.titleBar = TitleBarText(box).toStdString();
  shown.captionWidth = captionWidth;
  shown.icon = IconFlag(box.icon());
  for (const Choice& choice : choices) shown.buttons.push_back(choice.button->text().toStdString());
  if (answerMessageBox) {
    const int wanted = answerMessageBox(shown);
    QPushButton* pick = choices.front().button;
    for (const Choice& choice : choices) {
      if (choice.id == wanted) pick = choice.button;
    }
    QTimer::singleShot(0, pick, [&box, &shown, pick] {
      shown.width = box.width();
      pick->click();
    });
  }
  box.exec();
  int answer = closed;
  for (const Choice& choice : choices) {
    if (box.clickedButton() == choice.button) answer = choice.id;
  }
  shown.answer = answer;
  messageBoxes_.push_back(shown);
  return answer;
}

namespace {

// The file dialog's "Type" column in Russian: Qt's catalogue lacks these words.
class RussianFileTypes : public QFileIconProvider {
 public:
  QString type(const QFileInfo& info) const override {
    if (info.isRoot()) return QStringLiteral("Диск");
    if (info.isDir()) return QStringLiteral("Папка");
    if (info.isSymLink()) return QStringLiteral("Ссылка");
    return QStringLiteral("Файл");  // its extension is in its name
  }
};

// The "Size" column in Russian units: Qt writes them in English (KiB, MiB) whatever the locale.
class RussianFileSizes : public QIdentityProxyModel {
 public:
  QVariant data(const QModelIndex& index, int role) const override {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (files == nullptr || role != Qt::DisplayRole || index.column() != 1) {
      return QIdentityProxyModel::data(index, role);
    }
    const QModelIndex source = mapToSource(index);
    if (files->isDir(source)) return QIdentityProxyModel::data(index, role);
    const double bytes = static_cast<double>(files->size(source));
    static const char* const kUnits[] = {"Б", "КБ", "МБ", "ГБ", "ТБ"};
    int unit = 0;
    double value = bytes;
    while (value >= 1024.0 && unit < 4) {
      value /= 1024.0;
      ++unit;
    }
    return QLocale(QLocale::Russian).toString(value, 'f', unit == 0 ? 0 : 1) + QLatin1Char(' ') +
           QString::fromUtf8(kUnits[unit]);
  }
};

}  // namespace

bool QtPlatform::OpenFileDialog(Window* owner, FileDialogData& data) { return FileDialog(owner, data, false); }

bool QtPlatform::SaveFileDialog(Window* owner, FileDialogData& data) { return FileDialog(owner, data, true); }

bool QtPlatform::FileDialog(Window* owner, FileDialogData& data, bool save) {
  // Titles as a Russian desktop gives its common dialogs.
  QFileDialog dialog(OwnerWidget(*table_, owner), save ? QStringLiteral("Сохранить как") : QStringLiteral("Открыть"));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  RussianFileTypes types;
  dialog.setIconProvider(&types);
  auto* sizes = new RussianFileSizes;  // the dialog takes it
  sizes->setParent(&dialog);
  dialog.setProxyModel(sizes);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, (data.flags & kOverwritePrompt) == 0);
  const QStringList filters = QtFilters(data.filter);
  if (!filters.isEmpty()) dialog.setNameFilters(filters);
  dialog.setDefaultSuffix(QString::fromStdString(data.defaultExt).toLower());
  const QString start = ToQtName(data.fileName);
  QString presetName;
  if (start.isEmpty()) {
    dialog.setDirectory(QDir::currentPath());
  } else if (start.endsWith(QLatin1Char('/')) || start.endsWith(QLatin1Char('\\')) || QFileInfo(start).isDir()) {
    dialog.setDirectory(start);
  } else {
    const QFileInfo info(start);
    dialog.setDirectory(info.absolutePath());
    presetName = info.fileName();
    dialog.selectFile(presetName);
  }

  FileDialogShown shown;
  shown.save = save;
  shown.title = dialog.windowTitle().toStdString();
  shown.filters = ToStrings(dialog.nameFilters());
  shown.defaultSuffix = dialog.defaultSuffix().toStdString();
  shown.directory = dialog.directory().absolutePath().toStdString();
  shown.fileName = presetName.toStdString();
  shown.mustExist = dialog.fileMode() == QFileDialog::ExistingFile;
  if (answerFileDialog) {
    const std::optional<std::string> answer = answerFileDialog(shown);
    const bool mustExist = shown.mustExist;
    QTimer::singleShot(0, &dialog, [&dialog, &shown, answer, mustExist] {
      for (const QPushButton* button : dialog.findChildren<QPushButton*>()) {
        if (button->isVisible()) shown.buttons.push_back(WithoutMnemonic(button->text()));
      }
      for (const QLabel* label : dialog.findChildren<QLabel*>()) {
        if (label->isVisible() && !label->text().isEmpty()) shown.labels.push_back(WithoutMnemonic(label->text()));
      }
      // The dialog would refuse a missing file with a box of its own; that answer is Cancel.
      if (answer && !(mustExist && !QFileInfo::exists(ToQtName(*answer)))) {
        dialog.selectFile(ToQtName(*answer));
        static_cast<QDialog&>(dialog).accept();
      }
      if (dialog.result() != QDialog::Accepted) dialog.reject();
    });
  }
  const bool accepted = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
  shown.accepted = accepted;
  fileDialogs_.push_back(shown);
  if (!accepted) return false;
  const std::optional<std::string> chosen = FromQtName(dialog.selectedFiles().front());
  if (!chosen) {
    MessageBox(owner, kAmbiguousName, "", kMbOk | kMbIconExclamation);
    return false;
  }
  data.fileName = *chosen;
  return true;
}

bool QtPlatform::Print(Window* owner, Printout& printout, bool prompt) {
  if (!table_->printer) table_->printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  QPrinter& printer = *table_->printer;
  printer.setDocName(QString::fromStdString(printout.Title()));
  printer.setPrintRange(QPrinter::AllPages);
  if (prompt) {
    PrintDialogShown shown;
    shown.documentName = printout.Title();
    shown.pageCount = printout.PageCount();
    std::optional<std::optional<std::string>> answer;
    if (answerPrintDialog) {
      answer = answerPrintDialog(shown);
      // The dialog shows the printer's output as it finds it: the file goes in first.
      if (*answer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(ToQtName(**answer));
      }
    }
    printDialogs_.push_back(shown);
    // With no printer installed the dialog can only write a PDF file: it offers one named after
    // the job in the current directory.
    if (printer.outputFileName().isEmpty() && QPrinterInfo::availablePrinterNames().isEmpty()) {
      printer.setOutputFileName(QDir::current().absoluteFilePath(printer.docName() + QStringLiteral(".pdf")));
    }
    QPrintDialog dialog(&printer, OwnerWidget(*table_, owner));
    if (printout.PageCount() > 1) {
      dialog.setMinMax(1, printout.PageCount());
    } else {
      dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    }
    if (answer) {
      const bool ok = answer->has_value();
      QTimer::singleShot(0, &dialog, [&dialog, ok] {
        if (ok) static_cast<QDialog&>(dialog).accept();
        if (dialog.result() != QDialog::Accepted) dialog.reject();
      });
    }
    if (dialog.exec() != QDialog::Accepted) return false;
  }
  // A PDF file is written by the program's own checked writer, whole or not at all.
  if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty()) {
    const std::optional<std::string> path = FromQtName(printer.outputFileName());
    std::string pdf;
    std::string reason = path ? FileErrorText(EIO) : kAmbiguousName;
    if (path && RenderPdf(printer, printout, pdf) && ReplaceFile(*path, pdf, reason)) return true;
    MessageBox(owner, "Не удалось напечатать рапорт в файл: " + path.value_or("") + "\n" + reason,
               "", kMbOk | kMbIconStop);
    return false;
  }
  return PrintPages(printer, printout);
}

void QtPlatform::PrinterSetup(Window* owner) {
  if (!table_->printer) table_->printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  QPageSetupDialog dialog(table_->printer.get(), OwnerWidget(*table_, owner));
  if (answerPrintDialog) {
    PrintDialogShown shown;
    shown.setup = true;
    const bool ok = answerPrintDialog(shown).has_value();
    printDialogs_.push_back(shown);
    QTimer::singleShot(0, &dialog, [&dialog, ok] { ok ? dialog.accept() : dialog.reject(); });
  }
  dialog.exec();
}

int QtPlatform::TrackPopupMenu(Window& owner, const std::vector<std::string>& items, Point at) {
  WindowRecord* record = table_->Find(owner);
  QWidget* client = record ? record->client.data() : nullptr;
  QMenu menu(client);
  std::vector<QAction*> actions;
  for (const std::string& item : items) actions.push_back(menu.addAction(QString::fromStdString(item)));
  popupMenus_.push_back(items);
  if (answerPopupMenu) {
    const int pick = answerPopupMenu(items);
    QTimer::singleShot(0, &menu, [&menu, &actions, pick] {
      if (pick < 0 || pick >= static_cast<int>(actions.size())) {
        menu.close();
        return;
      }
      menu.setActiveAction(actions[static_cast<std::size_t>(pick)]);
      QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
      QCoreApplication::sendEvent(&menu, &enter);
    });
  }
  const QPoint where = client ? client->mapToGlobal(QPoint(at.x, at.y)) : QPoint(at.x, at.y);
  QAction* chosen = menu.exec(where);
  for (std::size_t i = 0; i < actions.size(); ++i) {
    if (actions[i] == chosen) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace ui::qt
