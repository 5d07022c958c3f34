#pragma once
// A main window stand-in that records what the connection sequence and the monitor show.

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/MainHost.h"

namespace conntest {

class TestHost : public kvt::MainHost {
 public:
  ~TestHost() override { Shutdown(); }

  void ShowState(const std::string& text) override {
    std::lock_guard g(m_);
    states_.push_back(text);
  }
  void RefreshButtons() override {
    std::lock_guard g(m_);
    ++refreshes_;
  }
  void OpenTerminal(const std::string& page) override {
    {
      std::lock_guard g(m_);
      terminals_.push_back(page);
    }
    if (onTerminal) onTerminal();
  }
  void ShowConnectionWindow() override {
    std::lock_guard g(m_);
    ++windowsShown_;
  }

  std::vector<std::string> States() const {
    std::lock_guard g(m_);
    return states_;
  }
  int Count(const std::string& text) const {
    std::lock_guard g(m_);
    int n = 0;
    for (const auto& s : states_) n += s == text;
    return n;
  }
  std::string LastState() const {
    std::lock_guard g(m_);
    return states_.empty() ? std::string() : states_.back();
  }
  int Refreshes() const {
    std::lock_guard g(m_);
    return refreshes_;
  }
  std::vector<std::string> Terminals() const {
    std::lock_guard g(m_);
    return terminals_;
  }
  int WindowsShown() const {
    std::lock_guard g(m_);
    return windowsShown_;
  }

  // Runs on the interface thread while the "terminal" is open.
  std::function<void()> onTerminal;

 private:
  mutable std::mutex m_;
  std::vector<std::string> states_;
  int refreshes_ = 0;
  std::vector<std::string> terminals_;
  int windowsShown_ = 0;
};

}  // namespace conntest
