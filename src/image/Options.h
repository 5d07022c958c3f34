#pragma once
// TfrmOptions ("Опции"): the user settings kept in vesmar.ini — on its first page the folder of
// the image files, the minimum time between exposures and whether the reference voltage meter
// panel is shown; on its second page what COM1 .. COM4 stand for ([Ports]). Created hidden at
// start-up; the main window's "Опции" button shows it modally.

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "image/SelDir.h"
#include "platform/Controls.h"
#include "platform/SerialPort.h"

namespace kvt {

// The ports page: each of COM1 .. COM4 mapped to one of the machine's serial devices, to the
// apparatus simulator, or to nothing. When no name is mapped the connection probes the machine's
// ports in their order, as on a plain installation. The connection reads [Ports] afresh each
// time, so a stored choice holds from the next connection on.
class PortsPage {
 public:
  static constexpr int kPorts = 4;
  static constexpr const char* kNothing = "не назначен";
  static constexpr const char* kSimulator = "Имитатор";
  static constexpr const char* kUnplugged = " (нет в компьютере)";
  static constexpr const char* kHint =
      "Если ни один порт не назначен, опрашиваются последовательные порты компьютера по порядку.";

  PortsPage();

  std::array<platform::Label, kPorts> lbPort{platform::Label{"lbCOM1"}, platform::Label{"lbCOM2"},
                                             platform::Label{"lbCOM3"}, platform::Label{"lbCOM4"}};
  std::array<platform::ComboBox, kPorts> cbPort{
      platform::ComboBox{"cbCOM1"}, platform::ComboBox{"cbCOM2"}, platform::ComboBox{"cbCOM3"},
      platform::ComboBox{"cbCOM4"}};
  platform::Label lbHint{"lbPortsHint"};

  // The machine's serial devices (a test gives its own).
  std::function<std::vector<platform::SerialDevice>()> ListDevices = platform::ListSerialDevices;

  // Lists the choices and selects each name's mapping from [Ports]. A mapping to a device that is
  // not plugged in now stays a choice of its own, so storing the page does not lose it.
  void Load(const std::filesystem::path& settings);
  // Writes COM1 .. COM4 into [Ports] in one replacement of the file (other keys of the section
  // and the rest of the file stay as they are). False when the file could not be written.
  bool Store(const std::filesystem::path& settings) const;
  // What the port's chosen item maps it to: a device path, "simulator" or "".
  std::string Target(int port) const;

  // The text of a device's choice: its path, then maker, product and serial number (or the
  // system's description where the adapter tells none of them).
  static std::string DeviceText(const platform::SerialDevice& device);

 private:
  std::vector<std::string> targets_;  // per choice, in the combo boxes' order; empty until Load
};

class TfrmOptions : public platform::FormModel {
 public:
  // selectDir serves the "Обзор" button and must outlive the window.
  explicit TfrmOptions(TfrmSelectDir& selectDir);

  // Pages "Общие" (tsGeneral: the three settings) and "Порты" (tsPorts).
  platform::PageControl pgOptions{"pgOptions"};
  platform::GroupBox GroupBox1{"GroupBox1"};
  platform::Label Label1{"Label1"};
  platform::Edit edMiPath{"edMiPath"};
  platform::Button Button1{"Button1"};
  platform::Label Label2{"Label2"};
  platform::Edit edSSTime{"edSSTime"};
  platform::UpDown udSSTime{"udSSTime"};
  platform::Label Label3{"Label3"};
  // Why a typed time was not taken (empty while the field holds an allowed value).
  platform::Label lbSSTimeRefused{"lbSSTimeRefused"};
  platform::CheckBox DigOscTools{"DigOscTools"};
  platform::Button BitBtn1{"BitBtn1"};
  platform::Button BitBtn2{"BitBtn2"};
  PortsPage Ports;

  // The settings file (the program's vesmar.ini unless a test says otherwise).
  std::filesystem::path SettingsPath;
  // Receives the image folder read back after "OK" (the main window's ImageDir).
  std::function<void(const std::string&)> SetImageDir;

  // Loads the values from the settings file (and the ports page from [Ports]).
  void FormShow();
  // Text typed into the time field (before the spinner takes or refuses it).
  void edSSTimeTyped(const std::string& text);
  // "Обзор": lets the engineer choose the folder.
  void Button1Click();
  // "OK": stores the values and closes the window.
  void BitBtn1Click();
  // "Cancel": closes without storing.
  void BitBtn2Click();

  // Shows the window modally: FormShow, then the view runs until "OK" or "Cancel".
  void ShowModal();
  // What the view does while the window is shown modally.
  using ModalRunner = std::function<void(TfrmOptions&)>;
  void SetModalRunner(ModalRunner runner) { runner_ = std::move(runner); }
  // The view closes the window when this is called (after "OK" or "Cancel").
  std::function<void()> OnClose;

 private:
  void Close();

  TfrmSelectDir& selectDir_;
  ModalRunner runner_;
};

}  // namespace kvt
