#pragma once
// TfrmSelectDir, the small folder chooser of the options window ("Выбор директории"): a folder
// list with a drive selector, and a group whose caption always shows the selected folder. The
// list keeps its last folder between uses.

#include <functional>
#include <string>
#include <vector>

#include "platform/Controls.h"

namespace kvt {

class TfrmSelectDir : public platform::FormModel {
 public:
  TfrmSelectDir();

  platform::GroupBox GroupBox1{"GroupBox1"};
  // The drive selector: the roots the folder list can start from.
  platform::ComboBox Drive{"Drive"};
  platform::Button BitBtn1{"BitBtn1"};
  platform::Button BitBtn2{"BitBtn2"};

  // The folder list's current folder.
  const std::string& Directory() const { return directory_; }
  // The list moved to another folder (the user or the program): the caption follows.
  void SetDirectory(const std::string& dir);
  // Notified when the current folder changes (the view moves its list).
  std::function<void()> OnDirectoryChange;

  // The user chose a root in the drive selector: the list moves there.
  void DriveChange();

  // Shows the window modally; true when it was closed with "OK".
  bool Execute();
  // What the view does while the window is shown modally; returns true for "OK". Without one
  // (no desktop) the window closes at once with "Cancel".
  using ModalRunner = std::function<bool(TfrmSelectDir&)>;
  void SetModalRunner(ModalRunner runner) { runner_ = std::move(runner); }

  // The roots of this machine's folders: drive letters on Windows, "/" and the mount points of
  // real file systems elsewhere.
  static std::vector<std::string> Roots();

 private:
  std::string directory_;
  ModalRunner runner_;
};

}  // namespace kvt
