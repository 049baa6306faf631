// Pictures of the toolbar's buttons (internal to ui/qt).
#pragma once

#include <QIcon>

#include <string>

namespace ui::qt {

// The desktop icon theme's picture of that name; where the theme has none, the program's own
// drawing of it; an empty icon for a name neither knows.
QIcon ToolbarIcon(const std::string& name);

}  // namespace ui::qt
