#pragma once
// TfrmCheckHeat ("Проверка работы систкемы накала"): switches the filament to 25/50/75/100 % of
// its code range or to any code while the engineer watches the cathode glow, plots the filament
// current the apparatus measures against the percentage set, and shows the worst deviation. Two
// switches of the heating module are offered: current feedback and program correction.
// TCurrentRefresh keeps the live point of the plot up to date in the background.
//
// Locks: the window's own (recursive) lock first, then the device lock, which is held for one
// exchange group only. The refresh thread never waits for the interface thread while it holds
// either: it reads under the locks and posts the new value, which the interface thread applies
// only if the live point has not changed since.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/ToolWindow.h"
#include "platform/Controls.h"
#include "platform/Thread.h"

namespace kvt {

class MainHost;
class TMemoryImage;
class TfrmCheckHeat;

class TCurrentRefresh : public platform::Thread {
 public:
  // Pause after each reading: a fast line must not turn the refresh into a busy loop, and the
  // plot need not move faster than the eye follows it.
  static constexpr int kPauseMs = 300;

  explicit TCurrentRefresh(TfrmCheckHeat& form);
  ~TCurrentRefresh() override;

  // Both guarded by the window's lock.
  bool RefreshOn = false;
  int PointIndex = -1;

 protected:
  void Execute() override;

 private:
  TfrmCheckHeat& form_;
};

class TfrmCheckHeat : public ToolFormModel {
 public:
  static constexpr const char* kCaption = "Проверка работы систкемы накала";
  static constexpr const char* kIntro =
      "\nДля проверки работы системы накала Вы можете постепенно увеличивая код накала "
      "непосредственно наблюдая возрастание яркости свечения катода рентгеновской трубки, и "
      "контролировать при этом отклонение реального тока накала от расчетного значения.\nДля "
      "начала проверки нажмите кнопку <25% накала>";
  static constexpr const char* kOffMessage = "\nНАКАЛ ВЫКЛЮЧЕН.";
  // Exchanges the apparatus did not acknowledge or answer.
  static constexpr const char* kCorrectionRefused =
      "\nПрограммная коррекция НЕ ИЗМЕНЕНА: аппарат не подтвердил запись (адрес 0x40).\nОбраз "
      "памяти не изменен.";
  static constexpr const char* kFeedbackRefused =
      "\nОбратная связь НЕ ПЕРЕКЛЮЧЕНА: аппарат не подтвердил запись (адрес 0x034000).";
  static constexpr const char* kOffRefused =
      "\nНакал НЕ ВЫКЛЮЧЕН: аппарат не подтвердил команду. Проверьте связь с системой.";
  static constexpr const char* kCodeRefused =
      "\nКод накала НЕ УСТАНОВЛЕН: аппарат не подтвердил команду. Точка не записана.";
  static constexpr const char* kNoReading =
      "\nТок накала НЕ ИЗМЕРЕН: аппарат не ответил. Точка не записана.";
  static constexpr const char* kMarkerRefused =
      "Аппарат не подтвердил возврат управления накалом (запись 244 по адресу 0x135).\nПроверьте "
      "состояние накала по монитору системы.";

  // currentImage: the held memory image (null when none); host: whose flag the window sets.
  TfrmCheckHeat(MainHost* host, std::function<TMemoryImage*()> currentImage);
  // Writes 244 at 0x135, stops the refresh thread, clears the flag once no such window is left.
  ~TfrmCheckHeat();

  // --- controls ---
  platform::GroupBox GroupBox1{"GroupBox1"};  // " Соответствие тока накала установленному коду "
  platform::Chart Chart1{"Chart1"};
  platform::Label Label2{"Label2"};  // "Рассогласование"
  platform::Label Label3{"Label3"};  // the deviation
  platform::Label Label4{"Label4"};  // "%"
  platform::Button Button1{"Button1"};
  platform::Button Button2{"Button2"};
  platform::Button Button3{"Button3"};
  platform::Button Button4{"Button4"};
  platform::Button Button5{"Button5"};
  platform::Label Label1{"Label1"};  // "Код накала"
  platform::Edit Edit1{"Edit1"};
  platform::UpDown udHeatCode{"udHeatCode"};
  platform::CheckBox BackLink{"BackLink"};
  platform::CheckBox ProgCorrection{"ProgCorrection"};
  platform::Button Button6{"Button6"};
  platform::Label lbCurrentInfo{"lbCurrentInfo"};

  platform::ChartSeries& Series1() { return Chart1.Series(0); }
  platform::ChartSeries& Series2() { return Chart1.Series(1); }

  // --- handlers ---
  void FormCreate();
  void Button1Click();
  // Button2..Button5: 25, 50, 75, 100 %.
  void PercentClick(int percent);
  // A key typed in Edit1; Enter ('\r') applies the code.
  void Edit1KeyPress(char key);
  void BackLinkClick();
  void ProgCorrectionClick();
  void Chart1ClickSeries(std::size_t series, std::size_t point);
  void Button6Click();

  // --- what the view supplies ---
  std::function<void()> OnClose;
  std::function<void(const platform::Control&)> OnFocus;

  const std::string& Focused() const { return focused_; }
  int MaxCode() const { return maxCode_; }
  // The deviation shown ("Рассогласование").
  int Deviation() const;
  TCurrentRefresh& Refresher() { return *refresh_; }

  // --- the steps behind the handlers ---
  // False when n lies outside 0..MaxCode() (nothing sent) or the apparatus did not acknowledge.
  bool SetCode(int n);
  // The measured filament current in percent; delayMs passes before the device lock is taken.
  // Empty when the apparatus does not answer.
  std::optional<double> ReadCurrent(int delayMs);
  // Adds (x, y) or changes the y of the point at x; returns that point's index.
  std::size_t RecordPoint(double x, int y);

 private:
  friend class TCurrentRefresh;
  void Message(const std::string& text);
  void Focus(platform::Control& control);
  void ShowPoints();
  void ShowDeviation();
  // Sets code n, records (p, measured) and makes it the live point.
  bool SetAndRecord(int n, double p);
  // Called on the interface thread with a reading the thread took for the live point.
  void ApplyRefresh(std::uint64_t generation, std::size_t index, double percent);

  std::function<TMemoryImage*()> currentImage_;
  std::string focused_;
  int maxCode_ = 1023;
  std::vector<platform::ChartPoint> points_;  // Series2's points, the window's own copy
  std::recursive_mutex lock_;
  // Changed (under lock_) whenever the live point changes; stale readings are dropped.
  std::uint64_t generation_ = 0;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
  std::unique_ptr<TCurrentRefresh> refresh_;
  // The code this window last set (0: filament off), and the correction switch as the apparatus
  // held it when the window opened and as it holds it now (only acknowledged changes count).
  int codeSet_ = 0;
  bool correctionAtOpen_ = false;
  bool correctionNow_ = false;
  bool correctionInImage_ = false;
};

}  // namespace kvt
