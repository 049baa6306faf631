#include "ui/qt/desktop.h"

#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QTranslator>

#include <cstdlib>

#include "ui/printing.h"
#include "ui/qt/qt_context.h"
#include "ui/qt/qt_platform.h"

namespace ui::qt {

Application::Application(int& argc, char** argv) : app_(std::make_unique<QApplication>(argc, argv)) {
  auto* translator = new QTranslator(app_.get());
  if (translator->load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(translator);
  }
  QApplication::setQuitOnLastWindowClosed(false);
}

Application::~Application() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool DisplayAvailable() {
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

int RunDesktop(int argc, char** argv, const std::function<void()>& start, const std::function<void()>& finish) {
  int qtArgc = argc;
  Application application(qtArgc, argv);
  int status = 0;
  {
    QtPlatform platform;
    SetPlatform(&platform);
    platform.SetQuitWhenLastWindowGoes(true);
    if (start) start();
    // Nothing to run for when the program quit or made no window during its start.
    if (!platform.QuitRequested() && platform.HasTopLevelWindows()) status = QApplication::exec();
    if (finish) finish();
    SetPlatform(nullptr);
  }
  return status;
}

namespace {

// An application for one print job from the command line, where no display need exist.
struct OffscreenApplication {
  int argc = 3;
  char name[9] = "kestrel7";
  char option[10] = "-platform";
  char value[10] = "offscreen";
  char* argv[4] = {name, option, value, nullptr};
  Application application{argc, argv};
};

}  // namespace

bool PrintToPdf(Printout& printout, const std::string& path) {
  std::unique_ptr<OffscreenApplication> own;
  if (QCoreApplication::instance() == nullptr) own = std::make_unique<OffscreenApplication>();
  bool printed = false;
  {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(path));
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setDocName(QString::fromStdString(printout.Title()));
    printed = PrintPages(printer, printout);
  }
  const QFileInfo written(QString::fromStdString(path));
  return printed && written.exists() && written.size() > 0;
}

}  // namespace ui::qt
