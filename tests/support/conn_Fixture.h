#pragma once
// Shared set-up of the connection and monitor tests: a scratch program folder with its own
// vesmar.ini, a scripted interface (this thread is the interface thread), a fresh status record
// and a scripted controller behind the simulator mapping.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/ScopedUi.h"
#include "support/TempDir.h"
#include "support/conn_FakeController.h"
#include "support/conn_TestHost.h"

namespace conntest {

// Pages 0..2 required, codes in tens per page; module descriptions for the default codes.
std::string DefaultSettings(const std::string& ports = "COM1=simulator",
                            const std::string& banks = "0,1,2,3,4",
                            const std::string& extraModules = "");

class ConnFixture : public ::testing::Test {
 protected:
  ConnFixture();
  ~ConnFixture() override;

  void WriteSettings(const std::string& text);
  // Installs a controller with the script; returns it.
  std::shared_ptr<FakeController> Controller(ControllerScript script = {});
  // A host whose monitor runs at normal priority, so a busy machine does not starve it.
  std::unique_ptr<TestHost> NewHost();
  // Serves the interface queue until pred holds (false after timeoutMs).
  bool PumpUntil(const std::function<bool()>& pred, int timeoutMs = 10000);
  // Serves the interface queue for about ms milliseconds.
  void PumpFor(int ms);

  testsupport::TempDir dir_;
  testsupport::ScopedProgramDir programDir_{dir_.Path()};
  testsupport::ScopedUi ui_;
  std::shared_ptr<FakeController> controller_;
};

}  // namespace conntest
