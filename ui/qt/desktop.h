// Running the desktop program on the Qt platform, and printing with no window at all.
#pragma once

#include <functional>
#include <memory>
#include <string>

class QApplication;

namespace ui {
class Printout;
}

namespace ui::qt {

// The process's QApplication, with Qt's own dialogs in Russian. `argc` and `argv` must outlive it.
class Application {
 public:
  Application(int& argc, char** argv);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

 private:
  std::unique_ptr<QApplication> app_;
};

// Whether a windowing system can be reached (or an off-screen one was asked for); without one
// Qt would end the process when the application starts.
bool DisplayAvailable();

// Creates the application and the platform, installs the platform, calls `start` (which creates
// the main window), and runs until Quit() or until the last top-level window goes. `finish` runs
// afterwards with the platform still installed: windows that still exist go there. Returns the
// exit status of the event loop.
int RunDesktop(int argc, char** argv, const std::function<void()>& start,
               const std::function<void()>& finish = {});

// Prints the printout into a PDF file, A4 portrait, with no dialog. Works with or without an
// application (without one it makes an off-screen one for the job). False on failure.
bool PrintToPdf(Printout& printout, const std::string& path);
// The same PDF in memory, for a writer that checks every byte on its way to the disk.
bool RenderPdf(Printout& printout, std::string& pdf);

}  // namespace ui::qt
