#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ui/dialog.h"
#include "ui/printing.h"
#include "ui/qt/desktop.h"
#include "ui/qt/qt_platform.h"

namespace {

using ui::ControlKind;

class ScopedQtPlatform {
 public:
  ScopedQtPlatform() { ui::SetPlatform(&platform_); }
  ~ScopedQtPlatform() { ui::SetPlatform(nullptr); }
  ui::qt::QtPlatform* operator->() { return &platform_; }

 private:
  ui::qt::QtPlatform platform_;
};

// One control of every kind, laid out at about 4.5 units per character of text.
ui::DialogTemplate EveryKindTemplate() {
  ui::DialogTemplate tpl;
  tpl.resourceId = 990;
  tpl.caption = "Проверка элементов";
  tpl.rect = {0, 0, 262, 172};
  tpl.controls = {
      {101, ControlKind::Static, "Заводской номер:", {8, 8, 80, 8}},
      {102, ControlKind::Edit, "", {92, 6, 60, 12}, ui::kStyleUpperCase, 5},
      {104, ControlKind::Static, "Адрес датчика:", {8, 24, 80, 8}, ui::kStyleRight},
      {103, ControlKind::Edit, "0", {92, 22, 50, 12}, ui::kStyleRight},
      {112, ControlKind::UpDown, "", {142, 22, 10, 12}},
      {113, ControlKind::Bitmap, "", {228, 6, 26, 26}},
      {105, ControlKind::CheckBox, "Защита записи", {8, 40, 80, 10}},
      {106, ControlKind::RadioButton, "Линейная", {92, 40, 60, 10}},
      {107, ControlKind::RadioButton, "Корень 2 ст.", {156, 40, 70, 10}},
      {108, ControlKind::GroupBox, "Выходная характеристика", {4, 54, 140, 64}},
      {109, ControlKind::ListBox, "", {10, 66, 60, 46}},
      {110, ControlKind::ComboBox, "", {76, 66, 62, 60}},
      {111, ControlKind::Tab, "", {150, 54, 104, 64}},
      {117, ControlKind::Static, "Определитель:", {156, 74, 66, 8}},
      {118, ControlKind::Edit, "", {156, 86, 90, 12}, ui::kStyleNone, 9},
      {114, ControlKind::Static, "Скрытый текст", {8, 124, 70, 8}, ui::kStyleHidden},
      {115, ControlKind::Edit, "12556", {8, 124, 60, 12}, ui::kStyleDisabled},
      {116, ControlKind::Edit, "", {150, 122, 104, 22}, ui::kStyleMultiline | ui::kStyleReadOnly},
      {1, ControlKind::DefPushButton, "OK", {70, 152, 50, 14}},
      {2, ControlKind::PushButton, "Отмена", {130, 152, 50, 14}},
  };
  return tpl;
}

// Records what reaches it, in order.
class ProbeDialog : public ui::Dialog {
 public:
  explicit ProbeDialog(ui::Window* parent = nullptr, ui::DialogTemplate tpl = EveryKindTemplate())
      : ui::Dialog(parent, std::move(tpl)) {}
  std::vector<std::string> events;

 protected:
  void SetupWindow() override {
    if (!Item(110)) return;
    ui::ListBox list(*this, 109);
    for (const char* unit : {"кПа", "МПа", "бар"}) list.Add(unit);
    list.SetSelection(1);
    ui::ComboBox combo(*this, 110);
    for (const char* unit : {"[кПа]", "[МПа]", "[мм рт.ст.]"}) combo.Add(unit);
    combo.SetSelection(0);
    ui::TabControl tabs(*this, 111);
    tabs.Add("Тег");
    tabs.Add("Описание");
    tabs.SetSelection(0);
    ui::UpDown spin(*this, 112);
    spin.SetRange(0, 15);
    spin.SetBuddy(103);
    spin.SetPosition(3);
    ui::Edit(*this, 103).SetValidator(0, 9);
    ui::CheckBox(*this, 106).SetChecked(true);
    Item(116)->SetText("Готово.\r\nДиапазон записан.");
  }
  void OnCommand(int id, unsigned code) override {
    events.push_back("command " + std::to_string(id) + "/" + std::to_string(code));
  }
  void OnNotify(int id, unsigned code) override {
    events.push_back("notify " + std::to_string(id) + "/" + std::to_string(code));
  }
};

TEST(QtDialogs, EveryControlKindMirrorsItsStateAndItsRussianTextFits) {
  ScopedQtPlatform platform;
  ProbeDialog dialog;
  ASSERT_TRUE(dialog.CreateModeless());
  platform->RunFor(30);
  EXPECT_TRUE(platform->IsShown(dialog));
  EXPECT_TRUE(dialog.events.empty()) << "the program's own settings notify nobody";

  ASSERT_TRUE(ui::qt::GrabToPng(dialog, "every_control_kind.png"));
  EXPECT_TRUE(std::filesystem::file_size("every_control_kind.png") > 1000);

  // The client follows the template through the font's own units, so a wider font gives a wider
  // dialog, and no control reaches past the client area.
  const ui::Rect client = dialog.ClientRect();
  EXPECT_GT(client.width, 262);
  EXPECT_GT(client.height, 172);
  for (const auto& fit : platform->TextFits(dialog)) {
    EXPECT_TRUE(fit.Fits()) << fit.id << " \"" << fit.text << "\" needs " << fit.neededWidth << "x"
                            << fit.neededHeight << ", has " << fit.width << "x" << fit.height;
  }
  for (const auto& control : dialog.Controls()) {
    const auto shown = platform->Widget(dialog, control->Id());
    ASSERT_TRUE(shown) << control->Id();
    EXPECT_LE(shown->geometry.x + shown->geometry.width, client.width) << control->Id();
    EXPECT_LE(shown->geometry.y + shown->geometry.height, client.height) << control->Id();
  }

  EXPECT_EQ(platform->Widget(dialog, 101)->className, "QLabel");
  EXPECT_EQ(platform->Widget(dialog, 101)->text, "Заводской номер:");
  EXPECT_EQ(platform->Widget(dialog, 103)->text, "3") << "the up-down writes into its buddy";
  EXPECT_FALSE(platform->Widget(dialog, 114)->visible);
  EXPECT_FALSE(platform->Widget(dialog, 115)->enabled);
  EXPECT_EQ(platform->Widget(dialog, 115)->text, "12556");
  EXPECT_TRUE(platform->Widget(dialog, 116)->readOnly);
  EXPECT_EQ(platform->Widget(dialog, 116)->text, "Готово.\nДиапазон записан.");
  EXPECT_TRUE(platform->Widget(dialog, 106)->checked);
  EXPECT_FALSE(platform->Widget(dialog, 107)->checked);
  EXPECT_EQ(platform->Widget(dialog, 109)->items, (std::vector<std::string>{"кПа", "МПа", "бар"}));
  EXPECT_EQ(platform->Widget(dialog, 109)->current, 1);
  EXPECT_EQ(platform->Widget(dialog, 110)->text, "[кПа]");
  EXPECT_EQ(platform->Widget(dialog, 111)->items, (std::vector<std::string>{"Тег", "Описание"}));
  // The combo box keeps one line of height; its template height is the dropped-down list.
  EXPECT_LT(platform->Widget(dialog, 110)->geometry.height, platform->Widget(dialog, 109)->geometry.height);

  // The program changes state: the widgets follow, still without notifications.
  ui::Edit(dialog, 115).SetText("Программа пишет длинный текст");
  ui::ListBox(dialog, 109).SetSelection(2);
  ui::CheckBox(dialog, 107).SetChecked(true);
  dialog.Item(114)->SetVisible(true);
  ui::TabControl(dialog, 111).SetSelection(1);
  EXPECT_EQ(platform->Widget(dialog, 115)->text, "Программа пишет длинный текст");
  EXPECT_EQ(platform->Widget(dialog, 109)->current, 2);
  EXPECT_TRUE(platform->Widget(dialog, 107)->checked);
  EXPECT_TRUE(platform->Widget(dialog, 114)->visible);
  EXPECT_EQ(platform->Widget(dialog, 111)->current, 1);
  EXPECT_TRUE(dialog.events.empty());
  dialog.EndDialog(ui::kIdOk);
}

TEST(QtDialogs, UserActionsGoThroughTheControlStateAndBack) {
  ScopedQtPlatform platform;
  ProbeDialog dialog;
  ASSERT_TRUE(dialog.CreateModeless());

  // Typing: upper case and the limit of 5 (four characters) reach the program, once per key.
  ASSERT_TRUE(platform->SimulateTyping(dialog, 102, "tpg-4100"));
  EXPECT_EQ(dialog.Item(102)->Text(), "TPG-");
  EXPECT_EQ(platform->Widget(dialog, 102)->text, "TPG-");
  EXPECT_EQ(dialog.events, (std::vector<std::string>(4, "command 102/2")));
  dialog.events.clear();
  ASSERT_TRUE(platform->SimulateTyping(dialog, 118, "тег"));
  EXPECT_EQ(dialog.Item(118)->Text(), "тег");

  // The range validator keeps only digits in the edit.
  ui::Edit(dialog, 103).SetText("");
  ASSERT_TRUE(platform->SimulateTyping(dialog, 103, "1x2"));
  EXPECT_EQ(dialog.Item(103)->Text(), "12");
  EXPECT_EQ(platform->Widget(dialog, 103)->text, "12");
  EXPECT_FALSE(dialog.Item(103)->IsValid(false)) << "12 is outside 0..9";
  dialog.events.clear();

  // Buttons, lists, tabs, the combo box and the up-down.
  ASSERT_TRUE(platform->SimulateClick(dialog, 105));
  EXPECT_TRUE(dialog.Item(105)->Checked());
  ASSERT_TRUE(platform->SimulateClick(dialog, 105));
  EXPECT_FALSE(dialog.Item(105)->Checked());
  EXPECT_FALSE(platform->Widget(dialog, 105)->checked);
  ASSERT_TRUE(platform->SimulateClick(dialog, 107));
  EXPECT_TRUE(dialog.Item(107)->Checked());
  EXPECT_TRUE(dialog.Item(106)->Checked()) << "radio buttons are not exclusive by themselves";
  ASSERT_TRUE(platform->SimulateSelect(dialog, 111, 1));
  EXPECT_EQ(dialog.Item(111)->Selection(), 1);
  ASSERT_TRUE(platform->SimulateSelect(dialog, 109, 2));
  ASSERT_TRUE(platform->SimulateSelect(dialog, 110, 2));
  EXPECT_EQ(dialog.Item(110)->Text(), "[мм рт.ст.]");
  ASSERT_TRUE(platform->SimulateSpin(dialog, 112, -1));
  EXPECT_EQ(dialog.Item(112)->Position(), 2);
  EXPECT_EQ(platform->Widget(dialog, 103)->text, "2");
  EXPECT_EQ(dialog.events,
            (std::vector<std::string>{"command 105/0", "command 105/0", "command 107/0", "notify 111/3",
                                      "command 109/1", "command 110/1", "notify 112/4"}));

  // Typing into the combo box selects the entry it spells.
  dialog.events.clear();
  ASSERT_TRUE(platform->SimulateTyping(dialog, 110, "!"));
  EXPECT_EQ(dialog.Item(110)->Text(), "[мм рт.ст.]!");
  EXPECT_EQ(dialog.Item(110)->Selection(), -1);
  EXPECT_EQ(dialog.events, (std::vector<std::string>{"command 110/2"}));

  // A disabled control refuses and its widget keeps showing the state.
  dialog.Item(105)->SetEnabled(false);
  platform->SimulateClick(dialog, 105);
  EXPECT_FALSE(dialog.Item(105)->Checked());

  // Escape is the click of control 2; the dialog ends (once the range is valid again).
  dialog.events.clear();
  ui::Edit(dialog, 103).SetText("7");
  ASSERT_TRUE(platform->SimulateKey(dialog, ui::qt::Key::Escape));
  EXPECT_TRUE(dialog.Ended());
  EXPECT_EQ(dialog.Result(), ui::kIdCancel);
  EXPECT_FALSE(platform->IsShown(dialog));
}

TEST(QtDialogs, EnterPressesTheDefaultButton) {
  ScopedQtPlatform platform;
  ProbeDialog dialog;
  ASSERT_TRUE(dialog.CreateModeless());
  ASSERT_TRUE(platform->SimulateKey(dialog, ui::qt::Key::Enter));
  EXPECT_TRUE(dialog.Ended());
  EXPECT_EQ(dialog.Result(), ui::kIdOk);
}

bool Has(const std::vector<std::string>& texts, const std::string& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

TEST(QtCommonDialogs, AnsweredThroughTheSeamWithoutAPerson) {
  ScopedQtPlatform platform;
  ProbeDialog owner;
  owner.CreateModeless();

  platform->answerMessageBox = [](const ui::qt::MessageBoxShown&) { return ui::kIdNo; };
  EXPECT_EQ(owner.MessageBox("Рапорт составлен. Куда хочешь записать?", "",
                             ui::kMbYesNoCancel | ui::kMbIconQuestion),
            ui::kIdNo);
  platform->answerMessageBox = [](const ui::qt::MessageBoxShown&) { return ui::kIdOk; };
  EXPECT_EQ(owner.MessageBox("Не найдено файла данных", "Ошибка считывания данных",
                             ui::kMbOk | ui::kMbIconExclamation),
            ui::kIdOk);
  platform->answerMessageBox = [](const ui::qt::MessageBoxShown&) { return ui::kIdCancel; };
  EXPECT_EQ(owner.MessageBox("?", "", ui::kMbOkCancel | ui::kMbIconStop), ui::kIdCancel);
  ASSERT_EQ(platform->MessageBoxes().size(), 3u);
  const auto& question = platform->MessageBoxes()[0];
  EXPECT_EQ(question.text, "Рапорт составлен. Куда хочешь записать?");
  EXPECT_EQ(question.caption, "");
  EXPECT_EQ(question.titleBar.find_first_not_of(' '), std::string::npos)
      << "a box without a caption has an empty title bar, not \"" << question.titleBar << "\"";
  EXPECT_EQ(question.icon, ui::kMbIconQuestion);
  EXPECT_EQ(question.buttons, (std::vector<std::string>{"Да", "Нет", "Отмена"}));
  EXPECT_EQ(platform->MessageBoxes()[1].caption, "Ошибка считывания данных");
  EXPECT_EQ(platform->MessageBoxes()[1].titleBar, "Ошибка считывания данных");
  EXPECT_GE(platform->MessageBoxes()[1].width, platform->MessageBoxes()[1].captionWidth)
      << "the box is wide enough for its caption";
  EXPECT_EQ(platform->MessageBoxes()[1].icon, ui::kMbIconExclamation);
  EXPECT_EQ(platform->MessageBoxes()[1].buttons, (std::vector<std::string>{"OK"}));
  EXPECT_EQ(platform->MessageBoxes()[2].icon, ui::kMbIconStop);
  EXPECT_EQ(platform->MessageBoxes()[2].buttons, (std::vector<std::string>{"OK", "Отмена"}));

  const std::filesystem::path file = std::filesystem::absolute("probe.pom");
  std::ofstream(file) << "1\n";
  ui::FileDialogData data{"Файл измерений (*.pom)|*.pom|Все файлы (*.*)|*.*|", "POM", 0x1004, ""};
  platform->answerFileDialog = [&](const ui::qt::FileDialogShown&) { return file.string(); };
  EXPECT_TRUE(ui::ThePlatform().OpenFileDialog(&owner, data));
  EXPECT_EQ(data.fileName, file.string());
  platform->answerFileDialog = [](const ui::qt::FileDialogShown&) { return std::string("/nonexistent/x.pom"); };
  EXPECT_FALSE(ui::ThePlatform().OpenFileDialog(&owner, data)) << "open takes existing files only";
  platform->answerFileDialog = [](const ui::qt::FileDialogShown&) { return std::nullopt; };
  EXPECT_FALSE(ui::ThePlatform().SaveFileDialog(&owner, data));
  EXPECT_EQ(data.fileName, file.string()) << "a cancelled dialog leaves the name";
  const std::filesystem::path saved = std::filesystem::absolute("saved_report");
  platform->answerFileDialog = [&](const ui::qt::FileDialogShown&) { return saved.string(); };
  EXPECT_TRUE(ui::ThePlatform().SaveFileDialog(&owner, data));
  EXPECT_EQ(data.fileName, saved.string() + ".pom") << "the default extension, lower case";
  platform->answerFileDialog = [&](const ui::qt::FileDialogShown&) { return file.string(); };
  EXPECT_TRUE(ui::ThePlatform().SaveFileDialog(&owner, data)) << "replacing a file asks nothing (flags 0x1004)";

  ASSERT_EQ(platform->FileDialogs().size(), 5u);
  const auto& open = platform->FileDialogs()[0];
  EXPECT_FALSE(open.save);
  EXPECT_TRUE(open.mustExist);
  EXPECT_EQ(open.filters, (std::vector<std::string>{"Файл измерений (*.pom)", "Все файлы (*)"}));
  EXPECT_EQ(open.defaultSuffix, "pom");
  const auto& save = platform->FileDialogs()[2];
  EXPECT_TRUE(save.save);
  EXPECT_EQ(save.fileName, "probe.pom") << "save starts from the last name";
  // Qt's own dialog speaks Russian: its translations are installed and loaded.
  for (const char* button : {"Сохранить", "Отмена"}) {
    EXPECT_TRUE(Has(save.buttons, button)) << button;
  }
  for (const char* label : {"Перейти к:", "Имя файла:"}) {
    EXPECT_TRUE(Has(save.labels, label)) << label;
  }
  EXPECT_EQ(save.directory, file.parent_path().string());

  platform->answerPopupMenu = [](const std::vector<std::string>&) { return 1; };
  const std::vector<std::string> items{"С помощью номера", "С помощью определителя"};
  EXPECT_EQ(ui::ThePlatform().TrackPopupMenu(owner, items, {20, 20}), 1);
  platform->answerPopupMenu = [](const std::vector<std::string>&) { return -1; };
  EXPECT_EQ(ui::ThePlatform().TrackPopupMenu(owner, items, {20, 20}), -1);
  EXPECT_EQ(platform->PopupMenus().size(), 2u);
  owner.EndDialog(ui::kIdOk);
}

// Ends itself from its own real timer, at the given tick.
class TimedDialog : public ProbeDialog {
 public:
  TimedDialog(ui::Window* parent, int ticks, std::function<void()> onTick = {})
      : ProbeDialog(parent, SmallTemplate()), ticks_(ticks), onTick_(std::move(onTick)) {}
  int ticksSeen = 0;

  static ui::DialogTemplate SmallTemplate() {
    ui::DialogTemplate tpl;
    tpl.resourceId = 991;
    tpl.caption = "Таймер";
    tpl.rect = {0, 0, 120, 40};
    tpl.controls = {{2, ControlKind::PushButton, "Отмена", {35, 20, 50, 14}}};
    return tpl;
  }

 protected:
  void SetupWindow() override { SetTimer(7, 20); }
  void OnTimer(int id) override {
    if (id != 7) return;
    ++ticksSeen;
    if (onTick_) onTick_();
    if (ticksSeen == ticks_) EndDialog(ui::kIdOk);
  }

 private:
  int ticks_;
  std::function<void()> onTick_;
};

TEST(QtModal, RealTimersEndNestedModalDialogs) {
  ScopedQtPlatform platform;
  const auto started = ui::ThePlatform().NowMs();
  int innerResult = 0;
  TimedDialog* outerPtr = nullptr;
  // The outer dialog runs another modally from its first tick, as identification runs from a
  // timer tick of the main window; its timer keeps going meanwhile, not re-entering.
  TimedDialog outer(nullptr, 3, [&] {
    if (outerPtr->ticksSeen != 1) return;
    TimedDialog inner(outerPtr, 2);
    innerResult = inner.Execute();
    EXPECT_EQ(inner.ticksSeen, 2);
  });
  outerPtr = &outer;
  EXPECT_EQ(outer.Execute(), ui::kIdOk);
  EXPECT_EQ(innerResult, ui::kIdOk);
  EXPECT_EQ(outer.ticksSeen, 3);
  const auto took = ui::ThePlatform().NowMs() - started;
  EXPECT_GE(took, 60);  // the outer's first tick and the inner's two
  EXPECT_LT(took, 1000);
  EXPECT_FALSE(outer.IsCreated());
}

class PaintedDialog : public ProbeDialog {
 public:
  PaintedDialog() : ProbeDialog(nullptr, TimedDialog::SmallTemplate()) {}
  int paints = 0;

 protected:
  void Paint(ui::DeviceContext& dc) override {
    ++paints;
    dc.FillRect({4, 4, 16, 16}, {0, 0, 255});
  }
};

int CountPixels(const ui::qt::Image& image, ui::Color color, int top, int bottom) {
  int count = 0;
  for (int y = std::max(0, top); y < std::min(image.height, bottom); ++y) {
    for (int x = 0; x < image.width; ++x) count += image.At(x, y) == color ? 1 : 0;
  }
  return count;
}

TEST(QtPainting, ClientContextDrawingShowsUntilTheNextRepaint) {
  ScopedQtPlatform platform;
  PaintedDialog dialog;
  dialog.CreateModeless();
  platform->RunFor(30);
  ASSERT_GE(dialog.paints, 1);
  const int paintsBefore = dialog.paints;

  const ui::Color red{255, 0, 0};
  {
    auto dc = dialog.ClientContext();
    dc->SetTextColor(red);
    dc->SetBkMode(ui::BkMode::Transparent);
    dc->SelectFont(ui::Font{"Times New Roman", -24, 0, 0, 700});
    dc->TextOut(30, 10, "Ждите");
  }
  platform->RunFor(30);
  auto image = platform->Grab(dialog);
  ASSERT_TRUE(image);
  EXPECT_EQ(dialog.paints, paintsBefore) << "showing client drawing runs no paint handler";
  EXPECT_EQ(image->At(10, 10), (ui::Color{0, 0, 255})) << "the paint handler's fill";
  EXPECT_GT(CountPixels(*image, red, 10, 40), 20) << "the text, below its top at y = 10";
  EXPECT_EQ(CountPixels(*image, red, 0, 10), 0);
  ASSERT_TRUE(platform->GrabToPng(dialog, "client_context.png"));

  // A real repaint runs the paint handler again and the client drawing is gone.
  dialog.Invalidate();
  platform->RunFor(30);
  image = platform->Grab(dialog);
  EXPECT_GT(dialog.paints, paintsBefore);
  EXPECT_EQ(CountPixels(*image, red, 0, image->height), 0);
  EXPECT_EQ(image->At(10, 10), (ui::Color{0, 0, 255}));
  dialog.EndDialog(ui::kIdOk);
}

// Main window: menu, close box, right button, broadcast.
const ui::MenuTemplate kMenu{"COMMANDS",
                             {{"&Рапорт", {{109, "&Открой Рапорт"}, {0, ""}, {137, "&Печатай Рапорт"}}}}};

class ProbeWindow : public ui::Window {
 public:
  explicit ProbeWindow(std::vector<std::string>& log) : ui::Window(nullptr), log_(log) {
    SetMenu(&kMenu);
    SetCaption("Программа Коммуникации Kestrel7");
  }

 protected:
  ui::LResult HandleMessage(unsigned message, ui::WParam w, ui::LParam l) override {
    if (message == 117) log_.push_back("main 117");
    return ui::Window::HandleMessage(message, w, l);
  }
  void OnCommand(int id, unsigned code) override {
    log_.push_back("command " + std::to_string(id) + "/" + std::to_string(code));
  }
  void OnRButtonDown(ui::Point at) override {
    log_.push_back("right " + std::to_string(at.x) + "," + std::to_string(at.y));
  }
  void OnClose() override { log_.push_back("close"); }

 private:
  std::vector<std::string>& log_;
};

class BroadcastDialog : public ProbeDialog {
 public:
  BroadcastDialog(ui::Window* parent, std::string name, std::vector<std::string>& log, ui::Window* victim = nullptr)
      : ProbeDialog(parent, TimedDialog::SmallTemplate()), name_(std::move(name)), log_(log), victim_(victim) {}

 protected:
  ui::LResult HandleMessage(unsigned message, ui::WParam w, ui::LParam l) override {
    if (message == 117) {
      log_.push_back(name_ + " 117");
      if (victim_) victim_->Destroy();
    }
    return ProbeDialog::HandleMessage(message, w, l);
  }

 private:
  std::string name_;
  std::vector<std::string>& log_;
  ui::Window* victim_;
};

TEST(QtWindows, MainWindowMenuCloseBoxRightButtonAndBroadcast) {
  ScopedQtPlatform platform;
  std::vector<std::string> log;
  ProbeWindow main(log);
  main.Create();
  main.Show(true);
  platform->RunFor(50);
  const ui::Rect outer = main.WindowRect();
  const ui::Rect client = main.ClientRect();
  EXPECT_GT(client.width, 0);
  EXPECT_LT(client.height, outer.height) << "the menu bar sits above the client area";

  ASSERT_TRUE(platform->SimulateMenu(main, 137));
  ASSERT_TRUE(platform->SimulateClose(main));
  ASSERT_TRUE(platform->SimulateRightClick(main, {30, 40}));
  EXPECT_EQ(log, (std::vector<std::string>{"command 137/0", "close", "right 30,40"}));
  EXPECT_TRUE(platform->IsShown(main)) << "the program decides whether its window goes";
  ASSERT_TRUE(platform->GrabToPng(main, "main_window.png"));

  // To every top-level window in creation order; a child is left out, a window destroyed by an
  // earlier receiver is skipped.
  log.clear();
  BroadcastDialog late(nullptr, "late", log);
  BroadcastDialog first(nullptr, "first", log, &late);
  BroadcastDialog child(&main, "child", log);
  first.CreateModeless();
  child.CreateModeless();
  late.CreateModeless();
  ui::ThePlatform().Broadcast(117, 1, 0);
  EXPECT_EQ(log, (std::vector<std::string>{"main 117", "first 117"}));
  EXPECT_FALSE(late.IsCreated());

  // A moved window reports the outer rectangle it was given.
  child.MoveWindow({40, 50, 300, 120});
  EXPECT_EQ(child.WindowRect(), (ui::Rect{40, 50, 300, 120}));
}

class ReportPrintout : public ui::Printout {
 public:
  ReportPrintout() : ui::Printout("Печать Рапорта") {}
  ui::Rect area;
  void PrintPage(ui::DeviceContext& dc, int) override {
    area = dc.Area();
    dc.TextOut(area.width / 10, area.height / 20, "Рапорт проверки преобразователя, составлен 7-12-2026.");
    dc.TextOut(area.width / 10 + area.width / 50, area.height / 20 + area.height / 50 * 2,
               "Фабричный номер: 12556");
  }
};

std::string Head(const std::string& path, std::size_t n) {
  std::ifstream in(path, std::ios::binary);
  std::string head(n, '\0');
  in.read(head.data(), static_cast<std::streamsize>(n));
  head.resize(static_cast<std::size_t>(in.gcount()));
  return head;
}

std::string PdfText(const std::string& path) {
  std::string text;
  if (FILE* pipe = popen(("pdftotext -layout '" + path + "' - 2>/dev/null").c_str(), "r")) {
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
    pclose(pipe);
  }
  return text;
}

TEST(QtPrinting, PrintoutGoesIntoAPdfFileDirectlyAndThroughThePrintDialog) {
  ScopedQtPlatform platform;
  const std::string direct = std::filesystem::absolute("report_direct.pdf").string();
  std::filesystem::remove(direct);
  ReportPrintout printout;
  ASSERT_TRUE(ui::qt::PrintToPdf(printout, direct));
  EXPECT_EQ(Head(direct, 4), "%PDF");
  // A4 portrait in the printer's device units (1200 per inch): far more than screen pixels.
  EXPECT_GT(printout.area.height, printout.area.width);
  EXPECT_GT(printout.area.width, 8000);
  EXPECT_EQ(printout.area.x, 0);
  const bool havePdfToText = std::system("command -v pdftotext >/dev/null 2>&1") == 0;
  if (havePdfToText) {
    const std::string text = PdfText(direct);
    EXPECT_NE(text.find("Рапорт проверки преобразователя, составлен 7-12-2026."), std::string::npos) << text;
    EXPECT_NE(text.find("Фабричный номер: 12556"), std::string::npos) << text;
  }

  const std::string viaDialog = std::filesystem::absolute("report_dialog.pdf").string();
  std::filesystem::remove(viaDialog);
  platform->answerPrintDialog = [](const ui::qt::PrintDialogShown&) { return std::nullopt; };
  EXPECT_FALSE(ui::ThePlatform().Print(nullptr, printout, true)) << "cancelled";
  EXPECT_FALSE(std::filesystem::exists(viaDialog));
  platform->answerPrintDialog = [&](const ui::qt::PrintDialogShown&) { return viaDialog; };
  ASSERT_TRUE(ui::ThePlatform().Print(nullptr, printout, true));
  EXPECT_EQ(Head(viaDialog, 4), "%PDF");
  ASSERT_EQ(platform->PrintDialogs().size(), 2u);
  EXPECT_EQ(platform->PrintDialogs()[1].documentName, "Печать Рапорта");
  if (havePdfToText) {
    EXPECT_NE(PdfText(viaDialog).find("Фабричный номер: 12556"), std::string::npos);
  }
}

}  // namespace
