#include "app/MainHost.h"

#include "app/AdjConnInfo.h"
#include "app/VDemon.h"
#include "link/SystemLink.h"
#include "platform/LinkLock.h"
#include "platform/SerialPort.h"
#include "platform/Ui.h"

namespace kvt {

ToolWindowMark::ToolWindowMark(MainHost* host, ToolWindow kind) : host_(host), kind_(kind) {
  if (host_) ++host_->openWindows_[std::size_t(kind_)];
}

ToolWindowMark::~ToolWindowMark() {
  if (host_) --host_->openWindows_[std::size_t(kind_)];
}

MainHost::MainHost() : self_(std::make_shared<std::atomic<MainHost*>>(this)) {}

MainHost::~MainHost() {
  Shutdown();
}

void MainHost::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  // From here on nothing queued for this host runs, so a monitor that is still talking to the
  // interface thread cannot reach a window that is going away.
  self_->store(nullptr);
  StopMonitor();
  DestroyConnectionLink();
  DestroyConnectionWindow();
}

void MainHost::OnInterface(std::function<void(MainHost&)> fn, bool wait) {
  auto self = self_;
  auto run = [self, fn = std::move(fn)] {
    if (MainHost* host = self->load()) fn(*host);
  };
  if (wait)
    platform::CurrentUi().Synchronize(run);
  else
    platform::CurrentUi().Post(std::move(run));
}

void MainHost::PostShowState(std::string text) {
  OnInterface([text = std::move(text)](MainHost& host) { host.ShowState(text); }, false);
}

void MainHost::PostRefreshButtons() {
  OnInterface([](MainHost& host) { host.RefreshButtons(); }, false);
}

bool MainHost::CreateConnectionLink(const std::string& portName) {
  platform::LinkLock::Guard guard(platform::TheLinkLock());
  std::lock_guard lock(linkMutex_);
  link_.reset();  // a new Open only after the previous connection object is gone
  link_ = std::make_unique<TSystemLink>(portName);
  AnnouncePortInUse(link_->IsOpen() ? portName : std::string());
  return link_->IsOpen();
}

void MainHost::DestroyConnectionLink() {
  platform::LinkLock::Guard guard(platform::TheLinkLock());
  std::lock_guard lock(linkMutex_);
  if (link_) AnnouncePortInUse("");
  link_.reset();
}

void MainHost::AnnouncePortInUse(const std::string& port) {
  // The monitor may drop the link from its own thread: the news goes through the queue.
  if (self_->load() == nullptr) return;  // shut down: nobody is left to tell
  const bool simulator = !port.empty() && platform::PortIsSimulator(port);
  OnInterface(
      [port, simulator](MainHost& host) {
        if (host.OnPortInUse) host.OnPortInUse(port, simulator);
      },
      false);
}

bool MainHost::HasConnectionLink() const {
  std::lock_guard lock(linkMutex_);
  return link_ != nullptr;
}

bool MainHost::ConnectionLinkOpen() const {
  std::lock_guard lock(linkMutex_);
  return link_ && link_->IsOpen();
}

void MainHost::StartMonitor() {
  StopMonitor();
  monitor_ = std::make_unique<TVDemon>(*this);
}

void MainHost::StopMonitor() {
  if (!monitor_) return;
  monitor_->Terminate();
  monitor_->WaitFor();
  monitor_.reset();
  MonitorRunning = false;
}

void MainHost::RequestReannounce() {
  if (monitor_) monitor_->RequestReannounce();
}

TfrmAdjustConnectionInfo& MainHost::NewConnectionWindow() {
  DestroyConnectionWindow();
  connectionWindow_ = std::make_unique<TfrmAdjustConnectionInfo>(this);
  return *connectionWindow_;
}

void MainHost::DestroyConnectionWindow() {
  if (!connectionWindow_) return;
  ConnectionWindowClosing();
  connectionWindow_.reset();
}

}  // namespace kvt
