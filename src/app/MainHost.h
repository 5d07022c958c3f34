#pragma once
// What the connection sequence, the state monitor and the tools need of the main window. The main
// window model derives from MainHost and supplies the three displays (state text, command
// refresh, terminal); the ownership of the program-wide objects (the connection link that opened
// the port, the state monitor, the connection information window) and the tool-window flags
// (app/ToolWindow.h) live here, so every host behaves the same.
//
// Threads: ShowState, RefreshButtons, OpenTerminal, ShowConnectionWindow and everything that
// creates or destroys the connection window or the monitor run on the interface thread. Workers
// use PostShowState / PostRefreshButtons, which queue in order and are dropped once the host is
// gone. The connection link is created and destroyed under the device lock.

#include <array>
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "app/ToolWindow.h"
#include "platform/Thread.h"

namespace kvt {

class TSystemLink;
class TVDemon;
class TfrmAdjustConnectionInfo;

// The terminal's console page, the one the monitor opens on an alarm.
inline constexpr const char* kTerminalConsolePage = "Консоль";

class MainHost {
 public:
  MainHost();
  // Stops the monitor and closes the port if the derived class has not done so (see Shutdown).
  virtual ~MainHost();
  MainHost(const MainHost&) = delete;
  MainHost& operator=(const MainHost&) = delete;

  // --- the main window's displays (interface thread) ---
  // Sets the state display and repaints it at once.
  virtual void ShowState(const std::string& text) = 0;
  // Enables the commands from SystemStatus.
  virtual void RefreshButtons() = 0;
  // Opens the terminal modally on the named page and returns when it is closed.
  virtual void OpenTerminal(const std::string& page) = 0;
  // Shows the connection information window whose model is ConnectionWindow() (not modal).
  virtual void ShowConnectionWindow() {}
  // The connection information window is about to be destroyed (its view must let go).
  virtual void ConnectionWindowClosing() {}

  // --- from any thread: queued onto the interface thread in order with every other Post and
  // Synchronize; dropped when the host has been shut down by then ---
  void PostShowState(std::string text);
  void PostRefreshButtons();
  // Runs fn on the interface thread: queued (wait = false) or waited for (wait = true, runs at once
  // on the interface thread). Skipped when the host has been shut down by the time it would run.
  void OnInterface(std::function<void(MainHost&)> fn, bool wait);

  // --- the connection link (the one link object that opened the port) ---
  // Replaces any previous link by one opened on the port; true when the port is open.
  bool CreateConnectionLink(const std::string& portName);
  // Destroys the link, which closes the port. Takes the device lock.
  void DestroyConnectionLink();
  bool HasConnectionLink() const;
  // Told on the interface thread (queued) which port the connection link opened, and whether it
  // is the apparatus simulator; "" when the link is gone. The main window's title names it.
  std::function<void(const std::string& port, bool simulator)> OnPortInUse;
  // Whether the program's connection link opened its port (false when there is none).
  bool ConnectionLinkOpen() const;

  // --- the state monitor ---
  // Creates and starts a new monitor (any previous one is stopped first).
  void StartMonitor();
  // Asks the monitor to end, waits for it (serving the interface thread meanwhile) and destroys
  // it. Safe when there is none, and when it has already ended by itself.
  void StopMonitor();
  // Makes the monitor show its state text again at the next poll.
  void RequestReannounce();
  // The monitor's thread priority (idle, as the program runs it; tests may raise it so a busy
  // machine does not starve the monitor).
  platform::ThreadPriority MonitorPriority = platform::ThreadPriority::Idle;
  // The monitor object while it is owned (it may have ended by itself: see MonitorRunning).
  TVDemon* Monitor() const { return monitor_.get(); }

  // --- the connection information window ---
  TfrmAdjustConnectionInfo* ConnectionWindow() const { return connectionWindow_.get(); }
  // Destroys any previous one and creates a new one.
  TfrmAdjustConnectionInfo& NewConnectionWindow();
  void DestroyConnectionWindow();

  // --- program-wide flags ---
  // Whether a window of the kind is open: the one place the program keeps it (ToolWindowMark).
  bool ToolWindowOpen(ToolWindow kind) const { return OpenToolWindows(kind) > 0; }
  // How many windows of the kind are open.
  int OpenToolWindows(ToolWindow kind) const { return openWindows_[std::size_t(kind)]; }
  // The state monitor's thread runs (set when it starts, cleared when its thread ends).
  std::atomic<bool> MonitorRunning{false};

  // Stops the monitor, closes the port and makes pending posts no-ops. The derived class calls
  // it first in its destructor, while its displays still exist; later calls do nothing.
  void Shutdown();

 private:
  std::shared_ptr<std::atomic<MainHost*>> self_;
  mutable std::mutex linkMutex_;
  std::unique_ptr<TSystemLink> link_;
  void AnnouncePortInUse(const std::string& port);
  std::unique_ptr<TVDemon> monitor_;
  std::unique_ptr<TfrmAdjustConnectionInfo> connectionWindow_;
  friend class ToolWindowMark;
  std::array<std::atomic<int>, std::size_t(ToolWindow::Count)> openWindows_{};
  bool shutDown_ = false;
};

}  // namespace kvt
