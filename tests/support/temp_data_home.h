// A temporary XDG_DATA_HOME for the life of a test, so that nothing reads or writes the user's
// own journal; the folder and all in it go at the end.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

class TempDataHome {
 public:
  TempDataHome() {
    std::string pattern = (std::filesystem::temp_directory_path() / "k7-data-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) dir_ = pattern;
    if (const char* old = std::getenv("XDG_DATA_HOME")) old_ = old;
    setenv("XDG_DATA_HOME", dir_.c_str(), 1);
  }
  ~TempDataHome() {
    if (old_) {
      setenv("XDG_DATA_HOME", old_->c_str(), 1);
    } else {
      unsetenv("XDG_DATA_HOME");
    }
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  TempDataHome(const TempDataHome&) = delete;
  TempDataHome& operator=(const TempDataHome&) = delete;
  const std::string& Dir() const { return dir_; }

 private:
  std::string dir_;
  std::optional<std::string> old_;
};
