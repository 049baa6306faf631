#include "app/about_dialog.h"

namespace {

ui::DialogTemplate AboutTemplate() {
  using ui::ControlKind;
  ui::DialogTemplate tpl;
  tpl.resourceId = TAboutBox::kResourceId;
  tpl.caption = "О Программе";
  tpl.fontFace = "Times New Roman CE";
  tpl.fontPointSize = 9;
  tpl.rect = {40, 30, 280, 150};
  tpl.controls = {
      {98, ControlKind::Bitmap, "", {12, 10, 40, 40}},
      {1001, ControlKind::Static, "Коммуникационная программа преобразователя давления TPG-4100",
       {60, 12, 210, 20}, ui::kStyleCenter},
      {1002, ControlKind::Static, "Версия 1.0        дата: 20-08-2000 г.", {60, 38, 210, 10},
       ui::kStyleCenter},
      // Maker, address and author are this edition's own.
      {1003, ControlKind::Static, "Изготовитель: мастерская «Пустельга»", {12, 62, 256, 10}},
      {1004, ControlKind::Static, "Адрес: ул. Приборная, 7, г. Манометров", {12, 76, 256, 10}},
      {1005, ControlKind::Static, "Автор: группа разработчиков Kestrel7", {12, 90, 256, 10}},
      {ui::kIdOk, ControlKind::DefPushButton, "Ok", {115, 120, 50, 16}},
  };
  return tpl;
}

}  // namespace

TAboutBox::TAboutBox(ui::Window* parent) : ui::Dialog(parent, AboutTemplate()) {}
