// Every #include under src/ and sim/ points down the layers: a lower layer never reaches up, the
// core never reaches Qt, and the simulator never borrows the program's protocol code.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// What each core folder may include besides itself. A ui/ folder may include its own core, what
// that core may include, the ui/ folders of those, and Qt; platform/qt is the ui of platform.
// The desktop program (gui) joins them all, the simulator's window too.
const std::map<std::string, std::set<std::string>> kMayInclude = {
    {"platform", {}},
    {"link", {"platform"}},
    {"image", {"link", "platform"}},
    {"app", {"image", "link", "platform"}},
    {"exposure", {"app", "image", "link", "platform"}},
    {"tools", {"exposure", "app", "image", "link", "platform"}},
    {"calibration", {"exposure", "app", "image", "link", "platform"}},
    {"procedures", {"tools", "exposure", "app", "image", "link", "platform"}},
    {"sim", {"platform"}},
    {"gui", {"*"}},
    {"cli", {"*"}},
};

// "app", "app/ui", "platform/qt", "sim/ui" ... for a path relative to src/ or the repository.
std::string LayerOf(const std::string& path) {
  const std::size_t slash = path.find('/');
  if (slash == std::string::npos) return {};
  const std::string top = path.substr(0, slash);
  const std::string rest = path.substr(slash + 1);
  if (top == "platform" && rest.rfind("qt/", 0) == 0) return "platform/ui";
  if (rest.rfind("ui/", 0) == 0) return top + "/ui";
  return top;
}

bool IsUi(const std::string& layer) {
  return layer.size() > 3 && layer.compare(layer.size() - 3, 3, "/ui") == 0;
}

std::string CoreOf(const std::string& layer) {
  return IsUi(layer) ? layer.substr(0, layer.size() - 3) : layer;
}

bool MayInclude(const std::string& from, const std::string& to) {
  const auto rule = kMayInclude.find(CoreOf(from));
  if (rule == kMayInclude.end()) return false;
  if (rule->second.count("*")) return true;
  const std::string core = CoreOf(to);
  const bool reachable = core == CoreOf(from) || rule->second.count(core) != 0;
  return reachable && (!IsUi(to) || IsUi(from));
}

bool QtAllowed(const std::string& layer) {
  return IsUi(layer) || layer == "gui";
}

std::vector<std::string> Violations() {
  const fs::path root = KVT_SOURCE_DIR;
  const std::regex include(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
  std::vector<std::string> found;
  for (const fs::path& base : {root / "src", root / "sim"}) {
    for (const auto& entry : fs::recursive_directory_iterator(base)) {
      const std::string ext = entry.path().extension().string();
      if (ext != ".h" && ext != ".cpp") continue;
      std::string rel = fs::relative(entry.path(), root).generic_string();
      if (rel.rfind("src/", 0) == 0) rel = rel.substr(4);
      const std::string from = LayerOf(rel);
      std::ifstream in(entry.path());
      std::string line;
      for (int n = 1; std::getline(in, line); ++n) {
        std::smatch m;
        if (!std::regex_search(line, m, include)) continue;
        const std::string target = m[2];
        const std::string where = rel + ":" + std::to_string(n) + " includes " + target;
        if (m[1] == "<") {
          if (target.size() > 1 && target[0] == 'Q' && !QtAllowed(from))
            found.push_back(where + " (Qt outside a view)");
          continue;
        }
        // A name without a folder is a header beside the file.
        const std::string to = target.find('/') == std::string::npos ? from : LayerOf(target);
        if (!MayInclude(from, to)) found.push_back(where + " (" + from + " -> " + to + ")");
      }
    }
  }
  return found;
}

}  // namespace

TEST(LayoutIncludes, TheRulesReadAsTheLayersMean) {
  EXPECT_TRUE(MayInclude("app", "link"));
  EXPECT_FALSE(MayInclude("link", "app"));
  EXPECT_FALSE(MayInclude("app", "tools"));
  EXPECT_FALSE(MayInclude("tools", "procedures"));
  EXPECT_FALSE(MayInclude("exposure", "calibration"));
  EXPECT_TRUE(MayInclude("tools/ui", "app/ui"));
  EXPECT_FALSE(MayInclude("app/ui", "tools/ui"));
  EXPECT_FALSE(MayInclude("tools", "tools/ui"));
  EXPECT_TRUE(MayInclude("image/ui", "platform/ui"));
  EXPECT_FALSE(MayInclude("sim", "link"));
  EXPECT_FALSE(MayInclude("app/ui", "sim/ui"));
  EXPECT_FALSE(MayInclude("sim/ui", "app/ui"));
  EXPECT_TRUE(MayInclude("sim/ui", "platform/ui"));
  EXPECT_TRUE(MayInclude("gui", "sim/ui"));
  EXPECT_FALSE(MayInclude("unknown", "platform"));
  EXPECT_EQ(LayerOf("platform/qt/QtUi.h"), "platform/ui");
  EXPECT_EQ(LayerOf("sim/ui/View.h"), "sim/ui");
}

TEST(LayoutIncludes, EveryIncludePointsDownTheLayers) {
  const std::vector<std::string> violations = Violations();
  std::string all;
  for (const std::string& v : violations) all += "\n  " + v;
  EXPECT_TRUE(violations.empty()) << violations.size() << " includes cross a layer upwards:" << all;
}
