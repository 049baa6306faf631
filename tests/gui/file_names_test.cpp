// File names that are not UTF-8, which Qt cannot hold as they are, between the disk and Qt.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "data/report.h"
#include "ui/qt/desktop.h"
#include "ui/qt/qt_platform.h"

namespace fs = std::filesystem;

TEST(QtFileNames, NamesThatAreNotUtf8ReachTheDiskUnchangedOrAreRefused) {
  ui::qt::QtPlatform platform;
  ui::SetPlatform(&platform);
  const fs::path folder = fs::absolute("k7_names");
  fs::remove_all(folder);
  fs::create_directory(folder);
  const std::string chosen = folder / "r\xFF.pom";
  std::ofstream(chosen) << "1\n";
  // Qt's open dialog finds no such file; saving over it replaces that very file.
  ui::FileDialogData data{"", "POM", 0x1004, ""};
  platform.answerFileDialog = [&](const ui::qt::FileDialogShown&) { return chosen; };
  EXPECT_TRUE(platform.SaveFileDialog(nullptr, data));
  EXPECT_EQ(data.fileName, chosen);
  // A second name that Qt shows alike: which one was meant cannot be known.
  std::ofstream(folder / "r\xFE.pom") << "1\n";
  platform.answerMessageBox = [](const ui::qt::MessageBoxShown&) { return ui::kIdOk; };
  EXPECT_FALSE(platform.SaveFileDialog(nullptr, data));
  EXPECT_EQ(platform.MessageBoxes().size(), 1u);
  TDane db;
  db.Append(TDaneIPPC{});
  TDrukuj report(db);
  ASSERT_TRUE(ui::qt::PrintToPdf(report, folder / "r\xFF.pdf"));
  EXPECT_TRUE(fs::exists(folder / "r\xFF.pdf"));
  ui::SetPlatform(nullptr);
}
