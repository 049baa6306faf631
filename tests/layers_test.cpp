// Each folder of the program is one layer; a folder may include only itself and the folders
// below it. An upward include would tie a lower library to a higher one (and usually to a loop).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Lowest first; config and calib stand side by side and may not include each other.
const std::map<std::string, int> kLevel{{"ui", 0},      {"record", 1}, {"fields", 2},
                                        {"hart", 3},    {"journal", 4}, {"data", 5},
                                        {"config", 6},  {"calib", 6},  {"app", 7}};

struct Include {
  std::string file;
  std::string from;
  std::string to;
};

// The top folder of every quoted include of the program's own folders.
std::vector<Include> ProgramIncludes(const fs::path& root) {
  std::vector<Include> out;
  const std::regex include(R"re(^\s*#\s*include\s*"([a-z_]+)/)re");
  for (const auto& [folder, level] : kLevel) {
    for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
      const std::string ext = entry.path().extension().string();
      if (ext != ".h" && ext != ".cpp") continue;
      std::ifstream in(entry.path());
      std::string line;
      std::smatch m;
      while (std::getline(in, line)) {
        if (std::regex_search(line, m, include)) {
          out.push_back({fs::relative(entry.path(), root).string(), folder, m[1].str()});
        }
      }
    }
  }
  return out;
}

TEST(Layers, NoFolderIncludesOneAboveItOrBesideIt) {
  const auto includes = ProgramIncludes(K7_SOURCE_DIR);
  ASSERT_GT(includes.size(), 100u) << "the program's sources were not found";
  for (const Include& inc : includes) {
    if (inc.from == inc.to) continue;
    const auto to = kLevel.find(inc.to);
    if (to == kLevel.end()) continue;  // tests/, third-party or system folders
    EXPECT_LT(to->second, kLevel.at(inc.from))
        << inc.file << " (" << inc.from << ") includes " << inc.to << "/";
  }
}

}  // namespace
