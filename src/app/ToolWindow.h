#pragma once
// The tool window kinds the main window keeps an "open" flag for, the mark a window's model
// holds so that its flag is raised while it lives, and the form model a tool window starts from.

#include "platform/Controls.h"

namespace kvt {

class MainHost;

// One flag per tool window kind: raised while a window of the kind exists.
enum class ToolWindow {
  ConnectionInfo,
  Rotation,
  HeatCheck,
  MeasureChannels,
  MeasureChannelsK4,
  Calibration,
  CheckShots,
  Oscillograms,
  ControlPanel,
  Terminal,
  Count
};

// A member of every tool window's model: counts the window on its host from construction to
// destruction, so MainHost::ToolWindowOpen(kind) holds while any window of the kind is open.
// Without a host (a window tested alone) it does nothing.
class ToolWindowMark {
 public:
  ToolWindowMark(MainHost* host, ToolWindow kind);
  ~ToolWindowMark();
  ToolWindowMark(const ToolWindowMark&) = delete;
  ToolWindowMark& operator=(const ToolWindowMark&) = delete;

 private:
  MainHost* host_;
  ToolWindow kind_;
};

// A tool window's model: its form, named and captioned, counted on its host for the whole of its
// life (the mark is raised before the window's own parts are made and lowered after they are gone).
class ToolFormModel : public platform::FormModel {
 public:
  ToolFormModel(const char* formName, const char* caption, MainHost* host, ToolWindow kind)
      : platform::FormModel(formName), openMark_(host, kind) {
    Form.SetCaption(caption);
  }

 private:
  ToolWindowMark openMark_;
};

}  // namespace kvt
