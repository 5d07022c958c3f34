#include "image/SelDir.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>

#include "platform/Paths.h"

namespace kvt {

namespace {
// The folder written as the roots are, so a root's text is a prefix of every folder under it. On
// Windows a folder may come with backslashes, a lower-case drive letter or no drive at all.
std::string AsRootsAreWritten(const std::string& dir) {
#ifdef _WIN32
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(dir, ec);
  std::string s = ec ? dir : full.generic_string();
  if (s.size() >= 2 && s[1] == ':' && s[0] >= 'a' && s[0] <= 'z') s[0] = char(s[0] - 'a' + 'A');
  return s;
#else
  return dir;
#endif
}
}  // namespace

TfrmSelectDir::TfrmSelectDir() : platform::FormModel("frmSelectDir") {
  Form.SetCaption("Выбор директории");
  BitBtn1.SetCaption("OK");
  BitBtn2.SetCaption("Cancel");
  Drive.SetDropDownList(true);
  Drive.SetItems(Roots());
  Drive.OnChange = [this] { DriveChange(); };
  SetDirectory(platform::ProgramDir().string());
}

void TfrmSelectDir::SetDirectory(const std::string& dir) {
  const bool changed = dir != directory_;
  directory_ = dir;
  GroupBox1.SetCaption(dir);
  // The selector shows the root the folder lies under (the longest one that holds it).
  int best = -1;
  std::size_t bestLength = 0;
  const auto& roots = Drive.Items();
  const std::string where = AsRootsAreWritten(dir);
  for (std::size_t i = 0; i < roots.size(); ++i) {
    const std::string& r = roots[i];
    if (where.compare(0, r.size(), r) == 0 && r.size() >= bestLength) {
      best = int(i);
      bestLength = r.size();
    }
  }
  if (best >= 0 && best != Drive.ItemIndex()) {
    auto handler = std::move(Drive.OnChange);
    Drive.SetItemIndex(best);
    Drive.OnChange = std::move(handler);
  }
  if (changed && OnDirectoryChange) OnDirectoryChange();
}

void TfrmSelectDir::DriveChange() {
  const int i = Drive.ItemIndex();
  if (i < 0 || i >= int(Drive.Items().size())) return;
  const std::string& root = Drive.Items()[std::size_t(i)];
  if (AsRootsAreWritten(directory_).compare(0, root.size(), root) != 0) SetDirectory(root);
}

bool TfrmSelectDir::Execute() {
  if (!runner_) return false;
  return runner_(*this);
}

std::vector<std::string> TfrmSelectDir::Roots() {
  std::vector<std::string> roots;
  std::error_code ec;
#ifdef _WIN32
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    std::string root = std::string(1, letter) + ":/";
    if (std::filesystem::exists(root, ec)) roots.push_back(root);
  }
#else
  roots.push_back("/");
  // Mount points of real file systems (disks, removable media, network shares), not the kernel's
  // own pseudo file systems.
  static const std::set<std::string> pseudo = {
      "proc",       "sysfs",     "devpts",   "tmpfs",           "devtmpfs",   "cgroup",  "cgroup2",
      "mqueue",     "debugfs",   "tracefs",  "securityfs",      "pstore",     "bpf",     "configfs",
      "fusectl",    "hugetlbfs", "autofs",   "binfmt_misc",     "efivarfs",   "overlay", "nsfs",
      "rpc_pipefs", "ramfs",     "squashfs", "fuse.gvfsd-fuse", "fuse.portal"};
  std::ifstream mounts("/proc/self/mounts");
  std::string line;
  std::set<std::string> seen{"/"};
  while (std::getline(mounts, line)) {
    std::istringstream in(line);
    std::string device, point, type;
    if (!(in >> device >> point >> type)) continue;
    if (pseudo.count(type) || point.rfind("/proc", 0) == 0 || point.rfind("/sys", 0) == 0 ||
        point.rfind("/dev", 0) == 0 || point.rfind("/run", 0) == 0)
      continue;
    // The mount table escapes blanks as \040.
    std::string decoded;
    for (std::size_t i = 0; i < point.size(); ++i) {
      auto octal = [&](std::size_t k) { return point[k] >= '0' && point[k] <= '7'; };
      if (point[i] == '\\' && i + 3 < point.size() && octal(i + 1) && octal(i + 2) &&
          octal(i + 3)) {
        decoded +=
            char((point[i + 1] - '0') * 64 + (point[i + 2] - '0') * 8 + (point[i + 3] - '0'));
        i += 3;
      } else {
        decoded += point[i];
      }
    }
    if (!decoded.empty() && decoded.back() != '/') decoded += '/';
    if (seen.insert(decoded).second && std::filesystem::is_directory(decoded, ec))
      roots.push_back(decoded);
  }
#endif
  return roots;
}

}  // namespace kvt
