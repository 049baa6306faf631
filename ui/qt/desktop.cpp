#include "ui/qt/desktop.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPalette>
#include <QPrinter>
#include <QTranslator>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/printing.h"
#include "ui/safe_file.h"
#include "ui/qt/qt_context.h"
#include "ui/qt/qt_platform.h"

namespace ui::qt {

namespace {

// Qt's own dialogs (file, print, colour) take their texts from this catalogue.
constexpr const char* kQtCatalogue = "qtbase_ru";

// Where Qt keeps its translations, then a "translations" folder beside the program.
QStringList TranslationFolders() {
  return {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
          QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations"))};
}

constexpr const char* kRussian = "ru_RU.UTF-8";

// Qt's file dialog writes sizes and dates in the system locale, which Qt reads from the
// environment once; so, before the application exists, the categories it reads for them say
// Russian whatever the desktop's language, and LC_ALL, which would override them, hands its
// value on to LANG for the rest.
void AskForRussianLocale() {
  if (const char* all = std::getenv("LC_ALL"); all != nullptr && *all != '\0') {
    setenv("LANG", std::string(all).c_str(), 1);
    unsetenv("LC_ALL");
  }
  for (const char* category : {"LC_TIME", "LC_NUMERIC", "LC_MESSAGES"}) {
    setenv(category, kRussian, 1);
  }
}

void InstallQtTranslations(QApplication& app) {
  auto* translator = new QTranslator(&app);
  const QStringList folders = TranslationFolders();
  for (const QString& folder : folders) {
    if (translator->load(QString::fromLatin1(kQtCatalogue), folder)) {
      QCoreApplication::installTranslator(translator);
      return;
    }
  }
  // Nothing stops the program, but the technician would meet English buttons: say why.
  std::fprintf(stderr,
               "kestrel7: нет перевода Qt %s.qm (искали в %s); стандартные окна Qt (открытие, "
               "запись, печать) будут по-английски. Установите пакет qt6-translations-l10n.\n",
               kQtCatalogue, folders.join(QStringLiteral(", ")).toLocal8Bit().constData());
}

double Luminance(const QColor& c) {
  const auto channel = [](double v) {
    v /= 255.0;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

double Contrast(const QColor& a, const QColor& b) {
  const double la = Luminance(a);
  const double lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Read-only values are disabled fields, and a technician must read them: their text reaches a
// contrast of at least 4.5:1 (the usual minimum for body text) and stays grey, so the fields
// still look read-only. Small text is antialiased lighter than its colour, so the colour itself
// keeps 6:1. It moves from the style's grey towards the normal text colour only as far as
// needed, which works for dark palettes too.
void MakeDisabledTextReadable(QApplication& app) {
  constexpr double kMinimumContrast = 6.0;
  QPalette palette = QApplication::palette();
  const QColor from = palette.color(QPalette::Disabled, QPalette::Text);
  const QColor to = palette.color(QPalette::Active, QPalette::Text);
  const QColor background = palette.color(QPalette::Disabled, QPalette::Base);
  const auto readable = [&](const QColor& c) { return Contrast(c, background) >= kMinimumContrast; };
  QColor text = from;
  for (int step = 1; step <= 20 && !readable(text); ++step) {
    const double t = step / 20.0;
    text = QColor::fromRgbF(static_cast<float>(from.redF() + (to.redF() - from.redF()) * t),
                            static_cast<float>(from.greenF() + (to.greenF() - from.greenF()) * t),
                            static_cast<float>(from.blueF() + (to.blueF() - from.blueF()) * t));
  }
  if (text == from) return;
  palette.setColor(QPalette::Disabled, QPalette::Text, text);
  app.setPalette(palette);
}

}  // namespace

Application::Application(int& argc, char** argv)
    : app_((AskForRussianLocale(), std::make_unique<QApplication>(argc, argv))) {
  // Qt has set the C library's locale from the environment; its numbers stay C's, as every
  // reader and writer of numbers here expects.
  std::setlocale(LC_NUMERIC, "C");
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  InstallQtTranslations(*app_);
  MakeDisabledTextReadable(*app_);
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

bool RenderPdf(Printout& printout, std::string& pdf) {
  std::unique_ptr<OffscreenApplication> own;
  if (QCoreApplication::instance() == nullptr) own = std::make_unique<OffscreenApplication>();
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setPageOrientation(QPageLayout::Portrait);
  printer.setDocName(QString::fromStdString(printout.Title()));
  return RenderPdf(printer, printout, pdf);
}

bool PrintToPdf(Printout& printout, const std::string& path) {
  std::string pdf;
  std::string reason;
  return RenderPdf(printout, pdf) && ReplaceFile(path, pdf, reason);
}

}  // namespace ui::qt
