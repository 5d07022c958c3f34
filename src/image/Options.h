#pragma once
// TfrmOptions ("Опции"): the three user settings kept in vesmar.ini — the folder of the image
// files, the minimum time between exposures and whether the reference voltage meter panel is
// shown. Created hidden at start-up; the main window's "Опции" button shows it modally.

#include <filesystem>
#include <functional>
#include <string>

#include "image/SelDir.h"
#include "platform/Controls.h"

namespace kvt {

class TfrmOptions {
 public:
  // selectDir serves the "Обзор" button and must outlive the window.
  explicit TfrmOptions(TfrmSelectDir& selectDir);
  TfrmOptions(const TfrmOptions&) = delete;
  TfrmOptions& operator=(const TfrmOptions&) = delete;

  platform::Form Form{"frmOptions"};
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

  // The settings file (the program's vesmar.ini unless a test says otherwise).
  std::filesystem::path SettingsPath;
  // Receives the image folder read back after "OK" (the main window's ImageDir).
  std::function<void(const std::string&)> SetImageDir;

  // Loads the three values from the settings file.
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
