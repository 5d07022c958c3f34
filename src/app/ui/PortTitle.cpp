// The main window's title names the port the connection link opened, and says so when it is the
// apparatus simulator: a trainee's connection must never pass for the apparatus on the cable. It
// also keeps the news that the serial trace stopped (a trace file that could not be written or
// reopened), which would otherwise reach only standard error; a title does not stop the engineer
// the way a message box over a running procedure would.

#include <QObject>
#include <memory>

#include "app/AdjConnInfo.h"
#include "app/ui/ToolRegistry.h"
#include "platform/SerialTrace.h"

namespace kvt::ui {

namespace {

struct TitleParts {
  std::string base;
  std::string port;
  bool simulator = false;
  bool traceStopped = false;
};

void ShowTitle(TfrmManager& manager, const TitleParts& t) {
  std::string title = MainWindowTitle(t.base, t.port, t.simulator);
  if (t.traceStopped) title += kTraceStoppedMark;
  manager.Form.SetCaption(title);
}

}  // namespace

static ToolInstaller installPortTitle([](MainWindowParts& parts) {
  TfrmManager& manager = parts.Manager();
  auto title = std::make_shared<TitleParts>();
  title->base = manager.Form.Caption();
  manager.OnPortInUse = [&manager, title](const std::string& port, bool simulator) {
    title->port = port;
    title->simulator = simulator;
    ShowTitle(manager, *title);
  };
  // Called from whichever thread traced; the title changes on the interface thread.
  platform::SetSerialTraceStoppedHandler([&manager, title](const std::string&) {
    manager.OnInterface(
        [title](MainHost& host) {
          title->traceStopped = true;
          ShowTitle(static_cast<TfrmManager&>(host), *title);
        },
        false);
  });
  // The handler must not outlive the main window it posts to.
  QObject::connect(parts.Owner(), &QObject::destroyed,
                   [] { platform::SetSerialTraceStoppedHandler(nullptr); });
});

}  // namespace kvt::ui
