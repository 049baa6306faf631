// The main window's toolbar: the ways back to what the start-up sequence alone would open
// (identification, the data panel), the data file's commands with their shortcut keys, the
// reading, and the trend, which only the toolbar opens.
#pragma once

#include "ui/dialog_template.h"

const ui::ToolbarTemplate& CommandsToolbar();
