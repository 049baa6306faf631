#include "app/toolbar.h"

#include "app/menu.h"

const ui::ToolbarTemplate& CommandsToolbar() {
  // Theme names where the desktop has a picture for the command; the program's own otherwise.
  static const ui::ToolbarTemplate toolbar{{
      {kCmdIdentify, "kestrel7-identify", "Идентификация преобразователя", "F5"},
      {kCmdFindDevices, "kestrel7-find-devices", "Поиск приборов", "Ctrl+F"},
      {kCmdLink, "kestrel7-link", "Связь", "Ctrl+L"},
      {0, "", "", ""},
      {kCmdNewFile, "document-new", "Новый рапорт", "Ctrl+N"},
      {kCmdOpen, "document-open", "Открой рапорт", "Ctrl+O"},
      {kCmdSave, "document-save", "Запиши рапорт", "Ctrl+S"},
      {0, "", "", ""},
      {kCmdRecreatePanel, "kestrel7-panel", "Данные преобразователя", "Ctrl+D"},
      {kCmdReadPv, "kestrel7-reading", "Действительное давление и напряжение", "Ctrl+R"},
      {kCmdTrend, "kestrel7-trend", "Тренд давления и тока", "Ctrl+T"},
      {kCmdCompare, "kestrel7-compare", "Сравнить с прибором", ""},
      {kCmdJournal, "kestrel7-journal", "Журнал изменений", ""},
      {0, "", "", ""},
      // Ctrl+S saves under the file's name (111), which no menu item sends: the menu shows only
      // Ctrl+O and Ctrl+P beside «Открой Рапорт» and «Печатай Рапорт».
      {kCmdPrint, "document-print", "Печатай рапорт", "Ctrl+P"},
  }};
  return toolbar;
}
