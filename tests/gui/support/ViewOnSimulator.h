#pragma once
// One window's view on the simulator: a scratch program folder, a scripted interface, the
// simulated apparatus attached as the shared port with its main controller selected; the program
// folder and the interface put back afterwards.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>

#include "platform/ScriptedUi.h"
#include "support/ScopedUi.h"
#include "support/SimulatorLine.h"
#include "support/TempDir.h"

namespace guitest {

class ViewOnSimulatorFixture : public ::testing::Test {
 protected:
  explicit ViewOnSimulatorFixture(const sim::Profile& profile) {
    testsupport::AttachSimulator(profile);
  }
  ~ViewOnSimulatorFixture() override { kvt::CloseSharedPort(); }

  QTemporaryDir tmp_;
  std::filesystem::path dir_{tmp_.path().toStdString()};

 private:
  testsupport::ScopedProgramDir programDir_{dir_};
  testsupport::ScopedUi scopedUi_;

 protected:
  platform::ScriptedUi& ui_ = *scopedUi_;
};

}  // namespace guitest
