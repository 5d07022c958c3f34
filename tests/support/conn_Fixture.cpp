#include "support/conn_Fixture.h"

#include "link/SystemLink.h"
#include "link/SystemStatus.h"
#include "platform/Clock.h"

namespace conntest {

std::string DefaultSettings(const std::string& ports, const std::string& banks,
                            const std::string& extraModules) {
  return "[Ports]\n" + ports +
         "\n\n"
         "[Описание системных модулей]\n"
         "10=Модуль памяти\n"
         "21=Модуль управления\n"
         "32=Модуль накала\n"
         "43=Модуль вращения\n"
         "54=Модуль измерений\n" +
         extraModules +
         "\n"
         "[Page0]\nMinCode=10\nMaxCode=19\nModuleRequired=1\nDescription=модуль памяти\n"
         "[Page1]\nMinCode=20\nMaxCode=29\nModuleRequired=1\nDescription=модуль управления\n"
         "[Page2]\nMinCode=30\nMaxCode=39\nModuleRequired=1\nDescription=модуль накала\n"
         "[Page3]\nMinCode=40\nMaxCode=49\nModuleRequired=0\n"
         "[Page4]\nMinCode=50\nMaxCode=59\nModuleRequired=0\n"
         "[Page5]\nMinCode=60\nMaxCode=69\nModuleRequired=0\n"
         "\n[Описание режимов автоконфигурации]\nCS_Banks_Check=" +
         banks + "\n\n[Описание ошибок флюорографа]\n01=Перегрев анода\n";
}

ConnFixture::ConnFixture() {
  auto& status = kvt::SystemStatus();
  status.Clear();
  status.ImageModified = false;
  status.SetSystemType("");
  WriteSettings(DefaultSettings());
}

ConnFixture::~ConnFixture() {
  kvt::CloseSharedPort();
  platform::SetSimulatorPortFactory(nullptr);
  kvt::SystemStatus().Clear();
}

void ConnFixture::WriteSettings(const std::string& text) {
  testsupport::WriteBytes(dir_ / "vesmar.ini", text);
}

std::shared_ptr<FakeController> ConnFixture::Controller(ControllerScript script) {
  controller_ = std::make_shared<FakeController>(std::move(script));
  FakeController::Install(controller_);
  return controller_;
}

std::unique_ptr<TestHost> ConnFixture::NewHost() {
  auto host = std::make_unique<TestHost>();
  host->MonitorPriority = platform::ThreadPriority::Normal;
  return host;
}

bool ConnFixture::PumpUntil(const std::function<bool()>& pred, int timeoutMs) {
  return ui_->PumpUntil(pred, timeoutMs);
}

void ConnFixture::PumpFor(int ms) {
  const std::uint64_t end = platform::TickCount() + std::uint64_t(ms);
  ui_->PumpUntil([end] { return platform::TickCount() >= end; }, ms + 1000);
}

}  // namespace conntest
