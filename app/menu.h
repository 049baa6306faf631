// The main window's menu "COMMANDS" and the command numbers it sends.
#pragma once

#include "ui/dialog_template.h"

enum MenuCommand : int {
  kCmdAbout = 100,
  kCmdSelectPort = 101,
  kCmdIdentify = 103,
  kCmdOpen = 109,
  kCmdNewFile = 110,
  kCmdSave = 111,
  kCmdSaveAs = 112,
  kCmdRecreatePanel = 113,
  kCmdUnits = 114,
  kCmdDamping = 115,
  kCmdRangeByValues = 116,
  kCmdReadPv = 120,
  kCmdPressureCalibration = 121,
  kCmdCurrentCalibration = 122,
  kCmdZero = 123,
  kCmdTransferFunction = 127,
  kCmdMessages = 128,
  kCmdAddressAndPreambles = 129,
  kCmdRangeByPressure = 132,
  kCmdFixedCurrent = 135,
  kCmdPrinterSetup = 136,
  kCmdPrint = 137,
  kCmdPassword = 138,
  // The toolbar's alone: the menu stays as it always was.
  kCmdTrend = 139,
  kCmdJournal = 140,
  kCmdCompare = 141,
  kCmdFindDevices = 142,
  // The link dialog, the toolbar's alone too: menu item 101 stays without action.
  kCmdLink = 143,
  kCmdExit = 24310,
};

const ui::MenuTemplate& CommandsMenu();
