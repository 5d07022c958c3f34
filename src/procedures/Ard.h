#pragma once
// TfrmARD ("Настройка драйвера вращения анода."): sets up the anode rotation driver with the
// engineer. The window runs the stator in run-up and braking mode and samples its current to
// propose the four supervision boundaries (0x23..0x26), writes them, times the anode's coasting
// by the engineer's Enter key into the additional braking time (0x21), writes the two drive
// times (0x20, 0x21) and runs a driver test. Everything runs on the interface thread under the
// device lock.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/ToolWindow.h"
#include "platform/Controls.h"

namespace kvt {

class MainHost;
class TMemoryImage;
class TSystemLink;

class TfrmARD : public ToolFormModel {
 public:
  static constexpr const char* kCaption = "Настройка драйвера вращения анода.";
  static constexpr const char* kWarningTitle = "Предупреждение!";
  // Texts of the message panel and the boxes.
  static constexpr const char* kIntro =
      "Для настройки драйвера вращения необходимо определить контрольные значения токов статора в "
      "различных режимах работы\nи дополнительное время торможения анода.\nДля начала процесса "
      "настройки нажмите кнопку\n<Определить граничные токи>.";
  static constexpr const char* kMeasuring = "ИДЕТ ПРОЦЕСС ИЗМЕРЕНИЯ ТОКОВ СТАТОРА ...";
  static constexpr const char* kOutOfRange =
      "Токи статора трубки выходят за пределы диапазона измерения!\nДля продолжения настройки "
      "системы нобходимо установить причину превышения токов, или уменьшить коэффициент передачи "
      "измерительного канала.";
  static constexpr const char* kHardwareFailure =
      "Аппаратная авария системы вращения анода!\nПроверьте исправность электрических цепей "
      "системы вращения.";
  static constexpr const char* kSensitivity =
      "Чувствительность системы контроля токов статора не соответствует их реальным "
      "значениям.\nРекомендуется увеличить коэффициент передачи измерительного канала.";
  static constexpr const char* kAtBorder =
      "Токи статора трубки находятся на границе диапазона измерений, что может привести к сбоям в "
      "работе системы.\nРекомендуется уменьшить коэффициент передачи измерительного канала.";
  static constexpr const char* kProposed =
      "Определены рекомендуемые значения контрольных параметров.\nЕсли вы не видите необходимости "
      "в их изменении нажмите кнопку\n<Принять значения токов>.";
  static constexpr const char* kGoTime =
      "Для продолжения настройки системы вращения\nнажмите кнопку <Определить время>.";
  static constexpr const char* kTimeHint =
      "\nПри повторном нажатии кнопки <Определить время> анод рентгеновской трубки будет "
      "раскручен, после чего включится режим торможения.\nВам необходимо нажать клавишу <ENTER> в "
      "момент остановки анода\n(при исчезновении шума подшипников).";
  static constexpr const char* kTimeFound =
      "Опрделено время дополнительного торможения.\nЕсли вы не видите необходимости в его "
      "изменении,\nнажмите кнопку <Принять значение времени>.";
  static constexpr const char* kGoTest =
      "Для проверки работы системы вращения проведите тест драйвера.";
  static constexpr const char* kTestDone =
      "Если система вращения анода работает нормально,\nнажмите <OK> для завершения процедуры "
      "настройки.";
  static constexpr const char* kAlarmPrefix = "Возникла авария: ";
  static constexpr const char* kBlockNotRead =
      "Параметры драйвера вращения НЕ ПРОЧИТАНЫ: аппарат не ответил на чтение памяти (адреса "
      "0x20..0x26).\nПоля показывают 0, а не значения аппарата; закройте окно и проверьте связь "
      "с системой.";
  // Writes the apparatus did not acknowledge: nothing is taken into the image.
  static constexpr const char* kCurrentsNotStored =
      "Граничные токи статора НЕ ЗАПИСАНЫ: аппарат не подтвердил запись в память (адреса "
      "0x23..0x26).\nОбраз памяти не изменен. Проверьте связь с системой и нажмите кнопку "
      "<Принять значения токов> снова.";
  static constexpr const char* kTimesNotStored =
      "Время разгона и время дополнительного торможения НЕ ЗАПИСАНЫ: аппарат не подтвердил "
      "запись в память (адреса 0x20, 0x21).\nОбраз памяти не изменен. Проверьте связь с "
      "системой и нажмите кнопку <Принять значение времени> снова.";
  static constexpr const char* kLongBrakingNotStored =
      "Время дополнительного торможения 25,5 с НЕ ЗАПИСАНО: аппарат не подтвердил запись в "
      "память (адрес 0x21).\nОпределение времени не начато, анод не раскручивался.";
  static constexpr const char* kDispTimeNotRead =
      "Время разгона НЕ ПРОЧИТАНО: аппарат не ответил на чтение памяти (адреса 0x20, "
      "0x21).\nОпределение времени не начато.";
  static constexpr const char* kBrakingNotRestored =
      "Время дополнительного торможения, записанное в аппарате до определения, НЕ "
      "ВОССТАНОВЛЕНО: аппарат не подтвердил запись (адрес 0x21). В аппарате может остаться "
      "25,5 с.";
  // The measured time waits for the engineer's accept; the anode was run up and braked again
  // only to end the long braking of the measurement.
  static constexpr const char* kTimeNotYetStored =
      "\nАнод раскручен и заторможен снова с прежним временем торможения: новое время будет "
      "записано в аппарат только кнопкой <Принять значение времени>.";
  static constexpr const char* kTimeAborted =
      "Определение времени торможения прервано: анод заторможен с прежним временем "
      "дополнительного торможения, записанным в аппарате.";

  // currentImage: the held memory image (null when none); host: whose flag the window sets.
  TfrmARD(MainHost* host, std::function<TMemoryImage*()> currentImage);
  // Switches a stator mode the measuring cycle left on back off, clears the flag.
  ~TfrmARD();

  // --- controls ---
  platform::GroupBox GroupBox1{"GroupBox1"};  // " Настройка граничных токов "
  platform::Label Label1{"Label1"};           // "Разгон:"
  platform::Label Label2{"Label2"};           // "Торможение:"
  platform::Label Label3{"Label3"};           // "Min" (measured)
  platform::Label Label4{"Label4"};           // "Max"
  platform::Label Label5{"Label5"};           // "Min" (boundary)
  platform::Label Label6{"Label6"};           // "Max"
  platform::Edit edMDmin{"edMDmin"};
  platform::Edit edMDmax{"edMDmax"};
  platform::Edit edMBmin{"edMBmin"};
  platform::Edit edMBmax{"edMBmax"};
  platform::Edit edTDmin{"edTDmin"};
  platform::UpDown udTDmin{"udTDmin"};
  platform::Edit edTDmax{"edTDmax"};
  platform::UpDown udTDmax{"udTDmax"};
  platform::Edit edTBmin{"edTBmin"};
  platform::UpDown udTBmin{"udTBmin"};
  platform::Edit edTBmax{"edTBmax"};
  platform::UpDown udTBmax{"udTBmax"};
  platform::GroupBox GroupBox2{"GroupBox2"};  // " Настройка времени торможения "
  platform::Label Label7{"Label7"};           // "Время разгона"
  platform::Label Label8{"Label8"};  // "Время дополнительного торможения"
  platform::Label Label9{"Label9"};  // "1/10 сек."
  platform::Edit edDispTime{"edDispTime"};
  platform::UpDown udDispTime{"udDispTime"};
  platform::Edit edBrTime{"edBrTime"};
  platform::UpDown udBrTime{"udBrTime"};
  platform::GroupBox GroupBox3{"GroupBox3"};  // " Работа драйвера "
  platform::Lamp imgDispersalMode{"imgDispersalMode"};
  platform::Label Label10{"Label10"};  // "Режим разгона."
  platform::Lamp imgBrakingMode{"imgBrakingMode"};
  platform::Label Label11{"Label11"};  // "Режим торможения."
  platform::Label lbCurrentMessage{"lbCurrentMessage"};
  platform::Button Button4{"Button4"};
  platform::Button Button6{"Button6"};
  platform::Button Button7{"Button7"};
  platform::Button Button5{"Button5"};
  platform::Button Button8{"Button8"};
  platform::Button Button1{"Button1"};
  platform::Timer RotationTimer1{"RotationTimer1"};
  // Polls the drive state while it runs on after a step, so the lamps show its mode.
  platform::Timer DriveTimer{"DriveTimer"};

  // --- handlers ---
  void FormCreate();
  void Button4Click();
  void RotationTimer1Timer();
  void Button6Click();
  void Button7Click();
  void Button5Click();
  void Button8Click();
  void Button1Click();
  // Follows the drive's mode with the lamps while the drive runs on by itself (the coasting).
  void DriveTimerTimer();

  // --- what the view supplies ---
  std::function<void()> OnClose;  // "OK": close the window
  // Repaints the window at once: the lamps change while the interface thread stays busy.
  std::function<void()> OnRepaint;
  // Gives the keyboard focus to a control.
  std::function<void(const platform::Control&)> OnFocus;

  // The control last given the focus ("" before any).
  const std::string& Focused() const { return focused_; }
  int CycleStep() const { return step_; }
  // Samples of the current (or last) measurement, each list ascending.
  const std::vector<std::int32_t>& RunUpSamples() const { return runUpSamples_; }
  const std::vector<std::int32_t>& BrakingSamples() const { return brakingSamples_; }

  // How long a wait for a drive state may take before it is given up (generous against the
  // slowest real drive; tests shorten it).
  int WaitLimitMs = 60000;
  // The press counter of "Определить время" is program-wide; tests put it back.
  static int& TimePresses();

 private:
  enum class WaitEnd { Reached, Alarm, TimedOut };
  void SetLamps(int mode);
  void Message(const std::string& text, bool error = false, int size = 8);
  void Focus(platform::Control& control);
  // Mode frame by type (1 run-up, 2 braking, 0 off; the value sent differs by type).
  void SetRotationMode(TSystemLink& link, int mode);
  std::int32_t ReadStatorCurrent(TSystemLink& link);
  std::uint8_t Status(TSystemLink& link);
  std::uint8_t DriveState(TSystemLink& link);
  WaitEnd WaitForDriveState(TSystemLink& link, std::uint8_t target);
  std::string WaitLimitText() const;
  void StoreInImage(std::size_t offset, const std::vector<std::uint8_t>& bytes);
  // Stores a step's settings (a timing under way ended first): the bytes into the apparatus at
  // address and, once it took them, into the held image; then the next step's text and button,
  // or notStored (the step stays) when the apparatus did not take them.
  void StoreStep(std::uint32_t address, const std::vector<std::uint8_t>& bytes,
                 const char* notStored, const char* next, platform::Control& nextButton);
  void Judge(TSystemLink& link);
  void TimeSecondPress();
  void TimeThirdPress();
  // The lamps for a drive state (1 run-up, 2..4 braking, others none).
  void LampsForDriveState(std::uint8_t state);
  // Whether a time determination waits for the engineer's Enter.
  bool Timing() const;
  // Ends a time determination left unfinished: the braking time the apparatus held before it
  // is written back and the long braking is cut short. False when the write was refused.
  bool EndTiming(TSystemLink& link);
  // Another step starts (or the window closes) while the coasting is timed: ended and told.
  void MoveOnFromTiming();
  // The step buttons other than `running` while a step runs.
  void EnableSteps(bool enabled, const platform::Button* running = nullptr);

  std::function<TMemoryImage*()> currentImage_;
  std::string focused_;

  int samplesPerSecond_ = 10;
  int measuringSeconds_ = 1;
  std::vector<std::int32_t> runUpSamples_;
  std::vector<std::int32_t> brakingSamples_;
  int step_ = 0;
  int sampleCounter_ = 0;
  // 0x21 as the apparatus held it before the time determination wrote its long braking.
  std::uint8_t brakingBefore_ = 0;
};

// The additional braking time in tenths of a second for a coasting of ms milliseconds, cut to
// the 25.5 s that the byte at 0x21 holds (cut tells).
int CoastingTenths(std::uint64_t ms, bool* cut = nullptr);

// Adds a value to a sample list and sorts it ascending again.
void InsertSample(std::vector<std::int32_t>& list, std::int32_t value);

}  // namespace kvt
