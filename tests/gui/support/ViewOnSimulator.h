#pragma once
// One window's view on the simulator: a scratch program folder, a scripted interface, the
// simulated apparatus attached as the shared port with its main controller selected; the program
// folder and the interface put back afterwards.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>

#include "link/SystemLink.h"
#include "platform/LinkLock.h"
#include "platform/Paths.h"
#include "platform/ScriptedUi.h"
#include "sim/Install.h"

namespace guitest {

class ViewOnSimulatorFixture : public ::testing::Test {
 protected:
  explicit ViewOnSimulatorFixture(const sim::Profile& profile) {
    dir_ = std::filesystem::path(tmp_.path().toStdString());
    previousDir_ = platform::ProgramDir();
    platform::SetProgramDir(dir_);
    previousUi_ = platform::InstalledUi();
    platform::SetUi(&ui_);
    sim::InstallForTest(profile);
    kvt::AttachSharedPort(sim::OpenSimulatorPort());
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    kvt::TSystemLink().SelectModule(kvt::kMainControllerAddress);
  }
  ~ViewOnSimulatorFixture() override {
    kvt::CloseSharedPort();
    platform::SetUi(previousUi_);
    platform::SetProgramDir(previousDir_);
  }

  QTemporaryDir tmp_;
  std::filesystem::path dir_;
  std::filesystem::path previousDir_;
  platform::ScriptedUi ui_;
  platform::Ui* previousUi_ = nullptr;
};

}  // namespace guitest
