// The port-name map and the dispatch to the backends. The real line needs an adapter, so only
// its refusal of a missing device is exercised here.

#include <gtest/gtest.h>
#ifndef _WIN32
#include <libserialport.h>
#endif

#include <atomic>

#include "platform/SerialPort.h"
#include "support/TempDir.h"

using platform::ListSerialPorts;
using platform::MapPortName;
using platform::OpenSerialPort;
using testsupport::ScopedProgramDir;
using testsupport::TempDir;
using testsupport::WriteBytes;

namespace {

class FakePort : public platform::SerialPort {
 public:
  FakePort(std::atomic<int>* configured, bool configureOk)
      : configured_(configured), configureOk_(configureOk) {}
  bool Configure() override {
    ++*configured_;
    return configureOk_;
  }
  bool SetParity(platform::Parity p) override {
    parity_ = p;
    return true;
  }
  platform::Parity CurrentParity() const override { return parity_; }
  bool Purge() override { return true; }
  int Write(const std::uint8_t*, std::size_t count) override { return static_cast<int>(count); }
  int Read(std::uint8_t*, std::size_t, int) override { return 0; }

 private:
  std::atomic<int>* configured_;
  bool configureOk_;
  platform::Parity parity_ = platform::Parity::Space;
};

// Replaces the simulator factory for one test and puts the program's own back afterwards.
class PlatformPortMap : public ::testing::Test {
 protected:
  PlatformPortMap() : programDir_(dir_.Path()), saved_(platform::GetSimulatorPortFactory()) {}
  ~PlatformPortMap() override { platform::SetSimulatorPortFactory(saved_); }

  void UseFakeSimulator(bool configureOk) {
    platform::SetSimulatorPortFactory([this, configureOk] {
      ++created_;
      return std::make_unique<FakePort>(&configured_, configureOk);
    });
  }

  TempDir dir_;
  ScopedProgramDir programDir_;
  platform::SimulatorPortFactory saved_;
  std::atomic<int> created_{0};
  std::atomic<int> configured_{0};
};

TEST_F(PlatformPortMap, WithAPortsSectionOnlyMappedNamesExist) {
  WriteBytes(
      dir_ / "vesmar.ini",
      "[Other]\r\nCOM2=/dev/ttyS0\r\n"
      "[Ports]\r\nExtra=/dev/ttyUSB7\r\nCOM3 = /dev/ttyUSB9 \r\nCOM2=\r\ncom1=Simulator\r\n");
  EXPECT_EQ(MapPortName("COM1"), "Simulator");
  EXPECT_EQ(MapPortName("com3"), "/dev/ttyUSB9");
  EXPECT_EQ(MapPortName("COM2"), "");  // mapped to nothing
  EXPECT_EQ(MapPortName("COM4"), "");  // not mapped: never probed
  EXPECT_EQ(MapPortName("/dev/ttyS0"), "");
  EXPECT_EQ(ListSerialPorts(), (std::vector<std::string>{"com1", "COM3", "Extra"}));
}

TEST_F(PlatformPortMap, OpensTheSimulatorThroughItsFactoryAndConfiguresIt) {
  WriteBytes(dir_ / "vesmar.ini", "[Ports]\nCOM1=simulator\nCOM2=/nonexistent/tty\n");
  platform::SetSimulatorPortFactory(nullptr);
  EXPECT_EQ(OpenSerialPort("COM1"), nullptr);  // no simulator in this program

  UseFakeSimulator(true);
  auto port = OpenSerialPort("COM1");
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(created_.load(), 1);
  EXPECT_EQ(configured_.load(), 1);

  EXPECT_EQ(OpenSerialPort("COM2"), nullptr);  // the device does not exist
  EXPECT_EQ(OpenSerialPort("COM3"), nullptr);  // not mapped
  EXPECT_EQ(OpenSerialPort(""), nullptr);
  EXPECT_EQ(created_.load(), 1);

  UseFakeSimulator(false);
  EXPECT_EQ(OpenSerialPort("COM1"), nullptr);  // a line that refuses its settings
  EXPECT_EQ(configured_.load(), 2);
}

#ifndef _WIN32
// Windows opens a port by its own name instead; its tests are under tests/win32.
TEST_F(PlatformPortMap, WithoutAPortsSectionComNIsTheNthListedPort) {
  std::vector<std::string> devices;
  sp_port** list = nullptr;
  if (sp_list_ports(&list) == SP_OK) {
    for (int i = 0; list[i]; ++i) devices.emplace_back(sp_get_port_name(list[i]));
    sp_free_port_list(list);
  }
  // The service program's settings map every name to nothing: the same as no section.
  for (const char* settings : {"[General]\r\nStart_Image_Bank=0\r\n",
                               "[Ports]\r\nCOM1=\r\nCOM2=\r\nCOM3= \r\nCOM4=\r\n"}) {
    SCOPED_TRACE(settings);
    WriteBytes(dir_ / "vesmar.ini", settings);
    const auto names = ListSerialPorts();
    ASSERT_EQ(names.size(), devices.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
      EXPECT_EQ(names[i], "COM" + std::to_string(i + 1));
      EXPECT_EQ(MapPortName(names[i]), devices[i]);
    }
    EXPECT_EQ(MapPortName("COM1"), devices.empty() ? "" : devices[0]);
  }
  EXPECT_EQ(MapPortName("COM" + std::to_string(devices.size() + 1)), "");
  EXPECT_EQ(MapPortName("COM0"), "");
  EXPECT_EQ(MapPortName("LPT1"), "");
  EXPECT_EQ(MapPortName("COMx"), "");
  EXPECT_EQ(MapPortName("/dev/ttyUSB0"), "/dev/ttyUSB0");  // a device path stands for itself

  UseFakeSimulator(true);
  EXPECT_EQ(OpenSerialPort("simulator"), nullptr);  // only a [Ports] entry leads there
  EXPECT_EQ(created_.load(), 0);
}

TEST(PlatformLibSerialPort, RefusesAMissingDevice) {
  EXPECT_EQ(platform::OpenLibSerialPort(""), nullptr);
  EXPECT_EQ(platform::OpenLibSerialPort("/nonexistent/ttyUSB0"), nullptr);
}
#endif

}  // namespace
