// Dialog templates: what a resource script would hold for one dialog.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/types.h"

namespace ui {

enum class ControlKind {
  Static,
  Edit,
  PushButton,
  DefPushButton,
  CheckBox,
  RadioButton,
  GroupBox,
  ListBox,
  ComboBox,  // drop-down: editable text over an unsorted list
  Tab,
  UpDown,
  Bitmap,
};

// Control and dialog styles; a control is visible and enabled unless it says otherwise.
enum Style : std::uint32_t {
  kStyleNone = 0,
  kStyleHidden = 1u << 0,
  kStyleDisabled = 1u << 1,
  kStyleUpperCase = 1u << 2,
  kStyleReadOnly = 1u << 3,
  kStyleRight = 1u << 4,
  kStyleCenter = 1u << 5,
  kStyleBorder = 1u << 6,
  kStyleTabStop = 1u << 7,
  kStyleMultiline = 1u << 8,
  kStyleColored = 1u << 9,  // a push button drawn in its own colour
  kStyleWantReturn = 1u << 10,  // an edit that takes Enter itself (kNotifyEnterPressed)
  kStyleSecret = 1u << 11,      // an edit that shows dots for what is typed (a key)
  // dialog styles
  kStyleCaption = 1u << 16,
  kStyleSizingFrame = 1u << 17,
  kStyleSystemMenu = 1u << 18,
};

struct ControlTemplate {
  int id = 0;
  ControlKind kind = ControlKind::Static;
  std::string text;
  Rect rect;  // dialog units
  std::uint32_t style = kStyleNone;
  int textLimit = 0;  // edits: counts the terminating null; 0 means no limit
};

struct DialogTemplate {
  int resourceId = 0;
  std::string caption;
  std::string fontFace = "MS Sans Serif";
  int fontPointSize = 8;
  Rect rect;  // dialog units; x and y are where it opens relative to its parent
  std::uint32_t style = kStyleCaption | kStyleSystemMenu;
  std::vector<ControlTemplate> controls;
};

// A menu bar: popups with items; an item with id 0 is a separator.
struct MenuItem {
  int id = 0;
  std::string text;  // '&' marks the accelerator letter
};

struct MenuPopup {
  std::string text;
  std::vector<MenuItem> items;
};

struct MenuTemplate {
  std::string name;
  std::vector<MenuPopup> popups;
};

// A toolbar under the menu bar: buttons that send their command as menu items do, each with a
// picture and a tooltip, and a shortcut key that sends the same command. Id 0 is a separator.
struct ToolbarButton {
  int id = 0;
  std::string icon;      // a name in the desktop's icon theme (freedesktop naming)
  std::string tooltip;
  std::string shortcut;  // "Ctrl+O", "F5"; empty: none
};

struct ToolbarTemplate {
  std::vector<ToolbarButton> buttons;
};

}  // namespace ui
