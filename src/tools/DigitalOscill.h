#pragma once
// TfrmDigitalOscill ("Панель диагностики цифрового измерителя напряжений"): the diagnostics panel
// of the reference voltage meter module. It sets the module up, starts a recording at once or on
// a trigger level, reads the recording back, plots it and shows its effective value and swing.
//
// Created hidden at start-up for the program's whole run; shown at once when the settings ask for
// it. Closing it only hides it. Every button talks to the module on the interface thread under
// the device lock, through a short-lived TVoltageMeter.

#include <filesystem>
#include <optional>
#include <string>

#include "platform/Controls.h"

namespace kvt {

class TfrmDigitalOscill : public platform::FormModel {
 public:
  // The message boxes' title.
  static constexpr const char* kTitle = "digosc";

  // Builds the controls; FormCreate follows at once.
  TfrmDigitalOscill();

  // --- controls ---
  // Form.Visible is the window's own visibility.
  platform::GroupBox GroupBox2{"GroupBox2"};
  platform::Chart chartVoltage{"chartVoltage"};
  platform::Label Label1{"Label1"};  // "Разрядность"
  platform::ComboBox cbDatabits{"cbDatabits"};
  platform::Label Label3{"Label3"};  // "Время измерения"
  platform::Edit edTime{"edTime"};
  platform::UpDown udTime{"udTime"};
  platform::Label Label2{"Label2"};  // "*10 ms."
  platform::Label Label4{"Label4"};  // "Точек на 1 мс."
  platform::ComboBox cbMeasures{"cbMeasures"};
  platform::Label Label5{"Label5"};  // "Канал измерения"
  platform::ComboBox cbChannel{"cbChannel"};
  platform::Label Label6{"Label6"};  // "Уровень синхронизации"
  platform::Edit edSync{"edSync"};
  platform::UpDown udSync{"udSync"};
  platform::GroupBox GroupBox4{"GroupBox4"};  // " Действующее "
  platform::Label Label7{"Label7"};           // effective value, volts
  platform::GroupBox GroupBox5{"GroupBox5"};  // " Размах "
  platform::Label Label8{"Label8"};           // swing, sample units
  platform::Button Button4{"Button4"};        // "Запись просто так"
  platform::Button Button1{"Button1"};        // "Запись по синхронизации"
  platform::Button Button2{"Button2"};        // "Прочитать осциллограмму"
  platform::Button Button3{"Button3"};        // "СБРОС"

  // --- handlers ---
  // Defaults of every control; the window is visible when "DigOscTools" in the settings file
  // (read now) is not 0.
  void FormCreate(const std::filesystem::path& settings);
  void FormCreate();
  // Closing the window hides it; the panel lives on until the program ends.
  void FormClose();
  void Show();

  // Free recording: configure, then start at once.
  void Button4Click();
  // Recording on the trigger level: configure, then arm.
  void Button1Click();
  // Read the recording and show it with its effective value and swing.
  void Button2Click();
  // Reset the module.
  void Button3Click();

  // The panel's settings as numbers (what the buttons send).
  struct Settings {
    int channel = 0;
    int time = 0;
    int points = 0;
    int bits = 0;
    int level = 0;  // signed trigger level
  };
  // The fields read strictly: a field that is not a whole number in its range gives nothing and
  // its message in `error`.
  std::optional<Settings> ReadFields(std::string& error) const;

 private:
  // Takes the lock, constructs the meter and, when it answered, runs work on it. Returns the
  // text to tell the engineer ("" = nothing), shown after the lock is released and the bus
  // handed back to the main controller.
  template <class Work>
  std::string WithMeter(Work work);
  void Tell(const std::string& text) const;
  // Configure from the panel, then `start` (the recording's start); the common part of
  // Button4 and Button1.
  template <class Start>
  void ConfigureAndStart(Start start, const char* what);
};

}  // namespace kvt
