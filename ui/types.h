// Basic types of the windowing layer: messages, geometry, colours, fonts, result codes.
#pragma once

#include <cstdint>
#include <string>

namespace ui {

using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;

// Messages of the layer itself. They stay far above the numbers the program uses for its
// own messages (117, 301, 302, 313, 706, ...), which are sent as they are.
enum Message : unsigned {
  kMsgCommand = 0x10001,      // wParam: control or menu id | notification code << 16
  kMsgTimer = 0x10002,        // wParam: timer id
  kMsgPaint = 0x10003,        // lParam: DeviceContext*
  kMsgClose = 0x10004,        // the close box or Escape
  kMsgRButtonDown = 0x10005,  // wParam: x | y << 16 (client coordinates)
  kMsgNotify = 0x10006,       // wParam: control id | notification code << 16
  kMsgSysColorChange = 0x10007,
  kMsgEraseBackground = 0x10008,  // lParam: DeviceContext*
};

// Notification codes carried in the high half of wParam.
enum Notification : unsigned {
  kNotifyClicked = 0,
  kNotifySelectionChanged = 1,
  kNotifyTextChanged = 2,
  kNotifyTabChanged = 3,
  kNotifyUpDownDelta = 4,
  kNotifyEnterPressed = 5,
};

inline WParam MakeWParam(int id, unsigned code) {
  return static_cast<WParam>(static_cast<unsigned>(id) & 0xFFFF) | (static_cast<WParam>(code) << 16);
}
inline int LowWord(WParam w) { return static_cast<int>(w & 0xFFFF); }
inline unsigned HighWord(WParam w) { return static_cast<unsigned>((w >> 16) & 0xFFFF); }

// Dialog results and message box answers.
enum Result : int { kIdOk = 1, kIdCancel = 2, kIdYes = 6, kIdNo = 7 };

struct Point {
  int x = 0;
  int y = 0;
  bool operator==(const Point&) const = default;
};

struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const Rect&) const = default;
};

struct Color {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
  bool operator==(const Color&) const = default;
};

enum class SysColor { ButtonFace, ButtonHighlight, ButtonShadow, WindowText, Window };

// A logical font as a program asks for it; a platform maps the face to what it has.
struct Font {
  std::string face;
  int height = 0;  // in device units when set; 0 takes pointSize
  int pointSize = 0;
  int width = 0;
  int weight = 400;
  bool italic = false;
  std::uint8_t quality = 0;
  std::uint8_t pitchAndFamily = 0;
  bool operator==(const Font&) const = default;
};

struct Date {
  int day = 1;
  int month = 1;
  int year = 2000;
};

}  // namespace ui
