// The main window's toolbar: the ways back to what the start-up sequence alone would open
// (identification, the data panel), and the data file's commands, with their shortcut keys.
#pragma once

#include "ui/dialog_template.h"

const ui::ToolbarTemplate& CommandsToolbar();
