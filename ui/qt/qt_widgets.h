// The Qt widgets that stand for the layer's windows (internal to ui/qt).
#pragma once

#include <QDialog>
#include <QMainWindow>
#include <QPixmap>
#include <QWidget>

#include <cstdint>
#include <string>

class QLabel;
class QToolButton;

namespace ui::qt {

class WindowTable;

// A window's client area: draws the window's backing image and passes the right button on.
// As a window of its own it also stands for a plain top-level window.
class PaintArea : public QWidget {
 public:
  PaintArea(WindowTable& table, std::uint64_t serial, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  WindowTable& table_;
  std::uint64_t serial_;
};

class DialogWidget : public QDialog {
 public:
  DialogWidget(WindowTable& table, std::uint64_t serial, QWidget* parent);
  PaintArea* Client() const { return client_; }
  // A client narrower than the dialog stays centred in it; 0: the client fills the dialog.
  void SetClientWidth(int width) { clientWidth_ = width; }
  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  WindowTable& table_;
  std::uint64_t serial_;
  PaintArea* client_;
  int clientWidth_ = 0;
};

class MainWindowWidget : public QMainWindow {
 public:
  MainWindowWidget(WindowTable& table, std::uint64_t serial);
  PaintArea* Client() const { return client_; }
  // The label of the status line along the bottom.
  QLabel* Status() const { return status_; }
  // The alert beside it, hidden while empty.
  void SetAlert(const QString& text);
  // No menu that hides the toolbar: a hidden toolbar could not be brought back.
  QMenu* createPopupMenu() override { return nullptr; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  WindowTable& table_;
  std::uint64_t serial_;
  PaintArea* client_;
  QLabel* status_;
  QLabel* alert_;
};

// Two arrow buttons, up above down.
class UpDownWidget : public QWidget {
 public:
  explicit UpDownWidget(QWidget* parent);
  QToolButton* Up() const { return up_; }
  QToolButton* Down() const { return down_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QToolButton* up_;
  QToolButton* down_;
};

// The title a window's caption gives. Qt puts the application's name in place of an empty title;
// a caption the program leaves empty must stay empty in the title bar, so it becomes a blank.
QString WindowTitle(const std::string& caption);
// The title bar's text as Qt hands it to the window system (its substitution for an empty title).
QString TitleBarText(const QWidget& window);
// The width a window needs for its caption to show whole in a title bar: the text in the title
// font and room for the title bar's icon and buttons.
int CaptionWidth(const QString& title);

// The picture of a bitmap control: a pressure gauge.
QPixmap GaugePicture(QSize size);

}  // namespace ui::qt
