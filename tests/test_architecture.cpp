// The program's folders form layers, and an include may only run downward
// (docs/architecture.md draws them). This test reads every source of the
// program and fails on an include that runs upward or sideways, outside the
// few exceptions the design needs, each named here with its reason.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Each folder of the program and the folders its files may include, besides
// its own.
const std::map<std::string, std::set<std::string>> kMayInclude = {
    {"platform", {}},
    {"controls", {"platform"}},
    {"remote", {"controls", "platform"}},
    {"netbrowse", {"controls", "platform"}},
    {"mainwindow", {"remote", "netbrowse", "controls", "platform"}},
    {"app", {"mainwindow", "remote", "netbrowse", "controls", "platform"}},
};

// Includes against the direction that the design needs.
const std::set<std::pair<std::string, std::string>> kExceptions = {
    // The worker reports its progress and outcome to the main window, whose
    // writers it calls on the main thread.
    {"remote/RebootThreadUnit.cpp", "mainwindow/MainFormUnit.h"},
};

struct Include {
  std::string file;   // relative to the source folder, with '/'
  std::string target; // as written between the quotes
};

std::vector<Include> ProgramIncludes(const fs::path& root) {
  static const std::regex quoted(R"(^\s*#\s*include\s*"([^"]+)\")");
  std::vector<Include> includes;
  for (const auto& [folder, allowed] : kMayInclude) {
    for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
      const auto extension = entry.path().extension();
      if (!entry.is_regular_file() || (extension != ".cpp" && extension != ".h")) continue;
      std::ifstream in(entry.path());
      std::string line;
      std::smatch match;
      while (std::getline(in, line)) {
        if (std::regex_search(line, match, quoted))
          includes.push_back({fs::relative(entry.path(), root).generic_string(), match[1]});
      }
    }
  }
  return includes;
}

// The folder of the program an include names, or "" for a generated form
// header (ui_*.h, found by its bare name) and anything outside the program.
std::string FolderOf(const std::string& path) {
  const auto slash = path.find('/');
  if (slash == std::string::npos) return {};
  const std::string folder = path.substr(0, slash);
  return kMayInclude.count(folder) ? folder : std::string();
}

TEST(Architecture, EveryIncludeRunsDownward) {
  const auto includes = ProgramIncludes(SKARVET_SOURCE_DIR);
  // The scan must have seen the program, or the check proves nothing.
  ASSERT_GT(includes.size(), 100u);

  std::vector<std::string> wrong;
  std::set<std::pair<std::string, std::string>> exceptionsSeen;
  for (const auto& include : includes) {
    const std::string from = FolderOf(include.file);
    const std::string to = FolderOf(include.target);
    if (to.empty() || to == from || kMayInclude.at(from).count(to)) continue;
    if (kExceptions.count({include.file, include.target})) {
      exceptionsSeen.insert({include.file, include.target});
      continue;
    }
    wrong.push_back(include.file + " includes " + include.target);
  }
  EXPECT_TRUE(wrong.empty()) << "includes against the layers:\n  " << [&] {
    std::string list;
    for (const auto& line : wrong) list += line + "\n  ";
    return list;
  }();
  // An exception no longer needed is taken off the list.
  EXPECT_EQ(exceptionsSeen, kExceptions);
}

TEST(Architecture, ImplementationsOfTheSeamStandApart) {
  // Inside platform/, each implementation includes only the seam, the base
  // (desktop/) and the text rules; only the choice of the implementation
  // (DefaultWinApi.cpp) includes them.
  const std::vector<std::string> implementations = {"platform/sim/", "platform/smb/",
                                                    "platform/native/"};
  auto implementationOf = [&](const std::string& path) -> std::string {
    for (const auto& folder : implementations)
      if (path.rfind(folder, 0) == 0) return folder;
    return {};
  };
  std::vector<std::string> wrong;
  for (const auto& include : ProgramIncludes(SKARVET_SOURCE_DIR)) {
    const std::string to = implementationOf(include.target);
    if (to.empty() || include.file == "platform/DefaultWinApi.cpp") continue;
    if (include.file.rfind("platform/", 0) == 0 && implementationOf(include.file) != to)
      wrong.push_back(include.file + " includes " + include.target);
  }
  EXPECT_TRUE(wrong.empty()) << [&] {
    std::string list;
    for (const auto& line : wrong) list += line + "\n  ";
    return list;
  }();
}

TEST(Architecture, ProgramFoldersNameEveryFileInTheirOwnBuildFile) {
  // A source that its folder's CMakeLists.txt does not name is not built:
  // each .cpp and .h of the program appears there by its path from the
  // folder.
  const fs::path root = SKARVET_SOURCE_DIR;
  std::vector<std::string> missing;
  for (const auto& [folder, allowed] : kMayInclude) {
    std::ifstream in(root / folder / "CMakeLists.txt");
    ASSERT_TRUE(in) << folder << " has no CMakeLists.txt";
    const std::string build((std::istreambuf_iterator<char>(in)), {});
    for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
      const auto extension = entry.path().extension();
      if (!entry.is_regular_file() || (extension != ".cpp" && extension != ".h")) continue;
      const std::string name = fs::relative(entry.path(), root / folder).generic_string();
      const std::regex named(
          "(^|[\\s(])" + std::regex_replace(name, std::regex(R"([.])"), R"(\.)") + "($|[\\s)])");
      if (!std::regex_search(build, named))
        missing.push_back((fs::path(folder) / name).generic_string());
    }
  }
  EXPECT_TRUE(missing.empty()) << "not named in their folder's CMakeLists.txt: " << [&] {
    std::string list;
    for (const auto& name : missing) list += name + " ";
    return list;
  }();
}

} // namespace
