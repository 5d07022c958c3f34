// The options window and its folder chooser.

#include <gtest/gtest.h>

#include "image/Options.h"
#include "image/SelDir.h"
#include "platform/Ini.h"
#include "platform/SerialPort.h"
#include "support/ScopedUi.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

class TermOptions : public ::testing::Test {
 protected:
  TermOptions() : programDir_(dir_.Path()) {
    testsupport::WriteBytes(dir_ / "vesmar.ini",
                            "[\xCE\xEF\xE8\xF1\xE0\xED\xE8\xE5 \xF0\xE5\xE6\xE8\xEC\xEE\xE2 "
                            "\xE0\xE2\xF2\xEE\xEA\xEE\xED\xF4\xE8\xE3\xF3\xF0\xE0\xF6\xE8\xE8]\r\n"
                            "Start_Image_Bank=0\r\n");
    options.SetImageDir = [this](const std::string& d) { imageDirs.push_back(d); };
  }

  testsupport::TempDir dir_;
  testsupport::ScopedProgramDir programDir_;
  testsupport::ScopedUi ui;
  kvt::TfrmSelectDir selectDir;
  kvt::TfrmOptions options{selectDir};
  std::vector<std::string> imageDirs;
};

TEST_F(TermOptions, DefaultsShowTheProgramsBinFolderAndOkWritesThem) {
  options.FormShow();
  EXPECT_EQ(options.edMiPath.Text(), (dir_.Path() / "Memory" / "BIN").string());
  EXPECT_EQ(options.udSSTime.Position(), 1);
  EXPECT_EQ(options.edSSTime.Text(), "1");
  EXPECT_FALSE(options.DigOscTools.Checked());

  options.DigOscTools.SetChecked(true);
  options.BitBtn1.Click();
  platform::IniFile ini(dir_ / "vesmar.ini");
  const std::string section = "Описание режимов автоконфигурации";
  EXPECT_EQ(ini.ReadString(section, "VMEM_PATH", "?"), (dir_.Path() / "Memory" / "BIN").string());
  EXPECT_EQ(ini.ReadInteger(section, "DigOscTools", -1), 1);
  EXPECT_EQ(ini.ReadInteger(section, "SNAPSHOTTIMEOUT", -1), 1);
  // The file dialogs take the new folder at once.
  EXPECT_EQ(imageDirs, std::vector<std::string>{(dir_.Path() / "Memory" / "BIN").string()});
  EXPECT_TRUE(ui->Messages().empty());
}

TEST_F(TermOptions, ShowsTheStoredValues) {
  platform::IniFile ini(dir_ / "vesmar.ini");
  const std::string section = "Описание режимов автоконфигурации";
  ASSERT_TRUE(ini.WriteString(section, "VMEM_PATH", "/data/images"));
  ASSERT_TRUE(ini.WriteInteger(section, "SNAPSHOTTIMEOUT", 12));
  ASSERT_TRUE(ini.WriteInteger(section, "DigOscTools", 1));
  options.FormShow();
  EXPECT_EQ(options.edMiPath.Text(), "/data/images");
  EXPECT_EQ(options.udSSTime.Position(), 12);
  EXPECT_TRUE(options.DigOscTools.Checked());
}

TEST_F(TermOptions, PauseStaysWithinOneToSixtySeconds) {
  options.FormShow();
  options.udSSTime.SetPosition(100);
  EXPECT_EQ(options.udSSTime.Position(), 60);
  options.udSSTime.SetPosition(0);
  EXPECT_EQ(options.udSSTime.Position(), 1);
  options.udSSTime.Click(false);
  EXPECT_EQ(options.udSSTime.Position(), 1);
  platform::IniFile ini(dir_ / "vesmar.ini");
  ASSERT_TRUE(ini.WriteInteger("Описание режимов автоконфигурации", "SNAPSHOTTIMEOUT", 500));
  options.FormShow();
  EXPECT_EQ(options.udSSTime.Position(), 60);
}

TEST_F(TermOptions, CancelLeavesTheFileUntouchedAfterBrowsing) {
  const std::string before = testsupport::ReadBytes(dir_ / "vesmar.ini");
  selectDir.SetModalRunner([](kvt::TfrmSelectDir& s) {
    s.SetDirectory("/chosen/folder");
    return true;
  });
  int closes = 0;
  options.OnClose = [&] { ++closes; };
  options.FormShow();
  options.Button1.Click();
  EXPECT_EQ(options.edMiPath.Text(), "/chosen/folder");
  options.udSSTime.SetPosition(30);
  options.BitBtn2.Click();
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(testsupport::ReadBytes(dir_ / "vesmar.ini"), before);
  EXPECT_TRUE(imageDirs.empty());
}

TEST_F(TermOptions, BrowseCancelledKeepsTheField) {
  selectDir.SetModalRunner([](kvt::TfrmSelectDir& s) {
    s.SetDirectory("/elsewhere");
    return false;
  });
  options.FormShow();
  const std::string shown = options.edMiPath.Text();
  options.Button1Click();
  EXPECT_EQ(options.edMiPath.Text(), shown);
  // The chooser keeps its last folder and shows it in its caption.
  EXPECT_EQ(selectDir.Directory(), "/elsewhere");
  EXPECT_EQ(selectDir.GroupBox1.Caption(), "/elsewhere");
}

TEST_F(TermOptions, ChooserRootsIncludeTheFileSystemRoot) {
  auto roots = kvt::TfrmSelectDir::Roots();
  ASSERT_FALSE(roots.empty());
#ifndef _WIN32
  EXPECT_EQ(roots[0], "/");
#endif
  selectDir.SetDirectory("/tmp");
  EXPECT_GE(selectDir.Drive.ItemIndex(), 0);
}

// The ports page with two adapters and the simulator: what it stores is what the next connection
// opens, and a mapping to an adapter that is not plugged in survives a round trip.
TEST_F(TermOptions, PortsPageMapsDevicesAndTheSimulatorForTheNextConnection) {
  testsupport::WriteBytes(dir_ / "vesmar.ini",
                          "[Ports]\r\nCOM1=simulator\r\nExtra=/dev/ttyX\r\n\r\n"
                          "[\xCE\xEF\xE8\xF1\xE0\xED\xE8\xE5]\r\nA=1\r\n");
  const std::vector<platform::SerialDevice> devices{
      {"/dev/ttyUSB0", "FTDI", "FT232R USB UART", "A50285BI", "FT232R USB UART - A50285BI"},
      {"/dev/ttyS4", "", "", "", "Built-in serial port"}};
  options.Ports.ListDevices = [&] { return devices; };
  options.FormShow();
  auto& cb = options.Ports.cbPort;
  EXPECT_EQ(cb[0].Items(),
            (std::vector<std::string>{"не назначен", "Имитатор",
                                      "/dev/ttyUSB0 — FTDI FT232R USB UART № A50285BI",
                                      "/dev/ttyS4 — Built-in serial port"}));
  EXPECT_EQ(cb[0].Text(), "Имитатор");
  EXPECT_EQ(cb[1].Text(), "не назначен");

  cb[1].Select(2);
  cb[2].Select(3);
  options.BitBtn1.Click();
  EXPECT_TRUE(ui->Messages().empty());
  EXPECT_TRUE(platform::PortIsSimulator("COM1"));
  EXPECT_EQ(platform::MapPortName("COM2"), "/dev/ttyUSB0");
  EXPECT_EQ(platform::MapPortName("COM3"), "/dev/ttyS4");
  EXPECT_EQ(platform::MapPortName("COM4"), "");
  EXPECT_EQ(platform::ListSerialPorts(),
            (std::vector<std::string>{"COM1", "COM2", "COM3", "Extra"}));
  const std::string text = testsupport::ReadBytes(dir_ / "vesmar.ini");
  EXPECT_NE(text.find("[\xCE\xEF\xE8\xF1\xE0\xED\xE8\xE5]\r\nA=1\r\n"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir_ / "vesmar.ini.ports.tmp"));

  // Next time the built-in port is gone: its mapping stays a choice and is stored unchanged.
  kvt::TfrmOptions again{selectDir};
  again.Ports.ListDevices = [&] { return std::vector<platform::SerialDevice>{devices[0]}; };
  again.FormShow();
  EXPECT_EQ(again.Ports.cbPort[1].Text(), "/dev/ttyUSB0 — FTDI FT232R USB UART № A50285BI");
  EXPECT_EQ(again.Ports.cbPort[2].Text(), "/dev/ttyS4 (нет в компьютере)");
  again.Ports.cbPort[0].Select(0);  // the simulator is given up
  again.BitBtn1.Click();
  EXPECT_FALSE(platform::PortIsSimulator("COM1"));
  EXPECT_EQ(platform::MapPortName("COM3"), "/dev/ttyS4");
  EXPECT_EQ(platform::ListSerialPorts(), (std::vector<std::string>{"COM2", "COM3", "Extra"}));
}

TEST_F(TermOptions, PortsPageThatCannotBeWrittenSaysSoAndKeepsTheFile) {
  options.Ports.ListDevices = [] { return std::vector<platform::SerialDevice>{}; };
  options.FormShow();
  options.Ports.cbPort[0].Select(1);
  // A folder where the scratch copy must go blocks the replacement.
  fs::create_directory(dir_ / "vesmar.ini.ports.tmp");
  options.BitBtn1.Click();
  ASSERT_EQ(ui->Messages().size(), 1u);
  EXPECT_FALSE(platform::PortIsSimulator("COM1"));
}

}  // namespace
