// The data file as the main window's document: open, save, save as, the may-close question, a new
// file and the identified record, with the file name, the changed flag and the untitled flag.
#pragma once

#include <cstdint>
#include <string>

#include "data/database.h"
#include "record/record.h"
#include "ui/platform.h"
#include "ui/window.h"

class TDataFile {
 public:
  static constexpr int kCmdOpen = 109;
  static constexpr int kCmdNewFile = 110;
  static constexpr int kCmdSaveAs = 112;
  // Broadcast to every top-level window after the document changed; wParam 1: untitled.
  static constexpr unsigned kMsgDocumentChanged = 117;

  static constexpr std::uint32_t kOfnHideReadOnly = 0x0004;
  static constexpr std::uint32_t kOfnFileMustExist = 0x1000;

  explicit TDataFile(TDane& database);
  TDataFile(const TDataFile&) = delete;
  TDataFile& operator=(const TDataFile&) = delete;

  // `owner` carries the message boxes and file dialogs; `panel` (may be null) is the data panel,
  // sent the refresh message whenever the database got new content.

  // Asks the may-close question, then loads a chosen file in place of the database.
  // True when a file was read, even a damaged one.
  bool Open(ui::Window& owner, ui::Window* panel);
  // Loads the named file in place of the database, asking nothing first (the program's start).
  bool OpenFile(ui::Window& owner, ui::Window* panel, const std::string& path);
  // True only when the data file was written.
  bool SaveAs(ui::Window& owner, ui::Window* panel = nullptr);
  bool Save(ui::Window& owner, ui::Window* panel = nullptr);
  // True when the database may be dropped: nothing unsaved, "No", or "Yes" and the file written.
  bool MayClose(ui::Window& owner, ui::Window* panel = nullptr);
  // Asks the may-close question, then empties the database as at start.
  bool NewFile(ui::Window& owner, ui::Window* panel);
  // The database becomes the one identified record, unsaved and untitled.
  void StoreIdentified(ui::Window& owner, ui::Window* panel, const TDaneIPPC& record);

  const std::string& FileName() const { return dialogData_.fileName; }
  bool Changed() const { return changed_; }
  bool& ChangedFlag() { return changed_; }
  bool Untitled() const { return untitled_; }
  const ui::FileDialogData& DialogData() const { return dialogData_; }

 private:
  // Reads the file named in the dialog data; on a read error the document is as before, named
  // `previousName` again.
  bool Load(ui::Window& owner, ui::Window* panel, std::string previousName);
  bool WriteTo(ui::Window& owner);
  void ShowFileError(ui::Window& owner);
  void Refresh(ui::Window* panel);
  void Broadcast();

  TDane& database_;
  ui::FileDialogData dialogData_;
  bool changed_ = false;
  bool untitled_ = true;
};
