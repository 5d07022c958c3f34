#pragma once
// TfrmCalibration ("Калибровка рентгеновской трубки"): the tube calibration of a type-K2 system.
// It reads the present tables from the apparatus when it opens, lets the engineer choose the
// range, drives the calibration worker by buttons or in automatic mode, shows the shot log, the
// last shot's curves, the source and new tables and their characteristics, offers the manual
// correction of the new calibration table, and finally stores the new tables into the memory
// image.
//
// One calibration window exists at a time: the procedure state and its lock are the window's.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/ToolWindow.h"
#include "calibration/CalProcedure.h"
#include "calibration/CalTables.h"
#include "platform/Controls.h"
#include "platform/Document.h"

namespace kvt {

class MainHost;

// How the window runs its worker (the program keeps the defaults; tests shorten the pauses).
struct CalWindowOptions {
  platform::ThreadPriority priority = platform::ThreadPriority::Idle;
  CalTiming timing;
  // Empty: ProgramDir/caltable.ini (caltablek3.ini for types K3 and K4).
  std::filesystem::path stateFile;
};

// The bounds in the range boxes as numbers: both must be voltages of the source table's grid,
// the lower below the upper. nullopt and the reason in why otherwise.
std::optional<CalRange> ParseCalRange(const TCalTables& tables, const std::string& start,
                                      const std::string& finish, std::string& why);

class TfrmCalibration : public TCalHost, public platform::FormModel {
 public:
  static constexpr const char* kCaption = "Калибровка рентгеновской трубки";
  static constexpr const char* kTitle = "Калибровка";  // of this window's message boxes
  static constexpr const char* kMenuHint = "Вызов меню - правая кнопка мыши";  // of the new tables
  // Options of the windows the main window opens (tests shorten the pauses).
  static CalWindowOptions& LaunchOptions();

  // Sets the calibration tool-window flag of host (none when null).
  explicit TfrmCalibration(MainHost* host, CalWindowOptions options = {});
  // FormDestroy.
  ~TfrmCalibration() override;

  // --- state ---
  CalState State;
  TCalLock CalLock;
  TCalTables Tables_;
  int OkPresses = 0;

  // --- controls ---
  platform::PageControl CalPages{"CalPages"};

  // pgTables
  platform::GroupBox GroupBox1{"GroupBox1"};  // " Информация "
  platform::Label Label1{"Label1"};
  platform::Label Label2{"Label2"};
  platform::Label Label3{"Label3"};
  platform::Label Label4{"Label4"};  // "кВ" ×3
  platform::Label Label5{"Label5"};
  platform::Label Label6{"Label6"};
  platform::GroupBox GroupBox2{"GroupBox2"};  // " Исходные данные "
  platform::GroupBox GroupBox3{"GroupBox3"};  // " Калибровочная таблица "
  platform::GroupBox GroupBox4{"GroupBox4"};  // " Таблица Rэ "
  platform::GroupBox GroupBox5{"GroupBox5"};  // " Результаты процедуры калибровки "
  platform::GroupBox GroupBox6{"GroupBox6"};  // " Калибровочная таблица "
  platform::GroupBox GroupBox7{"GroupBox7"};  // " Таблица Rэ "
  platform::StringGrid& SourceCTable = Tables_.SourceCTable;
  platform::StringGrid& SourceRTable = Tables_.SourceRTable;
  platform::StringGrid& NewCTable = Tables_.NewCTable;
  platform::StringGrid& NewRTable = Tables_.NewRTable;
  platform::Label& MinUv = Tables_.MinUv;
  platform::Label& MaxUv = Tables_.MaxUv;
  platform::Label& StepUv = Tables_.StepUv;

  // pgProcedure
  platform::GroupBox GroupBox8{"GroupBox8"};  // " Границы калибровки "
  platform::Label Label7{"Label7"};           // "Нижняя"
  platform::Label Label8{"Label8"};           // "Верхняя"
  platform::ComboBox StartUv{"StartUv"};
  platform::ComboBox FinishUv{"FinishUv"};
  platform::Button btnAcceptInterval{"btnAcceptInterval"};
  platform::GroupBox ShotsBox{"ShotsBox"};
  platform::StringGrid& ShotsTable = Tables_.ShotsTable;
  platform::GroupBox GroupBox9{"GroupBox9"};  // " Управление "
  platform::Gauge WaitIndikator{"WaitIndikator"};
  platform::GroupBox GroupBox10{"GroupBox10"};  // " Код накала "
  platform::Edit edCurrentNakal{"edCurrentNakal"};
  platform::UpDown udCurrentNakal{"udCurrentNakal"};
  platform::GroupBox GroupBox11{"GroupBox11"};  // " Снимок "
  platform::Button btnMakeShot{"btnMakeShot"};
  platform::GroupBox GroupBox12{"GroupBox12"};  // " Автоматически "
  platform::Button btnAuto{"btnAuto"};
  platform::GroupBox GroupBox13{"GroupBox13"};  // " Процедура "
  platform::Button Button2{"Button2"};
  platform::Button btnOK{"btnOK"};
  platform::Button btnSavePdf{"btnSavePdf"};  // "Сохранить протокол в PDF", page pgTables
  platform::GroupBox OscilBox{"OscilBox"};
  platform::Chart ChartUa{"ChartUa"};
  platform::Chart ChartIa{"ChartIa"};
  platform::Label lbCurrentMessage{"lbCurrentMessage"};

  // pgGraph
  platform::PageControl PageControl1{"PageControl1"};
  platform::GroupBox GroupBox14{"GroupBox14"};  // " Исходная характеристика "
  platform::Chart Chart3{"Chart3"};
  platform::GroupBox GroupBox15{"GroupBox15"};  // " Расчетная характеристика "
  platform::Chart Chart1{"Chart1"};
  platform::Chart Chart2{"Chart2"};
  platform::Chart Chart4{"Chart4"};
  platform::GroupBox GroupBox16{"GroupBox16"};  // " Режимы отображения "
  platform::RadioButton RadioButton1{"RadioButton1"};
  platform::RadioButton RadioButton2{"RadioButton2"};
  platform::RadioButton RadioButton3{"RadioButton3"};
  platform::GroupBox GroupBox17{"GroupBox17"};  // " Ручная коррекция "
  platform::Label Label9{"Label9"};             // "Ток"
  platform::ComboBox cbCurrents{"cbCurrents"};
  platform::Label Label10{"Label10"};  // "Сдвиг"
  platform::Edit edMoveStep{"edMoveStep"};
  platform::UpDown udMoveStep{"udMoveStep"};

  // pgOptions
  platform::GroupBox GroupBox18{"GroupBox18"};  // "Приращение кода накала"
  platform::Edit edDNakal{"edDNakal"};
  platform::UpDown udDNakal{"udDNakal"};

  // Menus: PopupMenu1 of the shot log, mnuTablesWork of the new tables.
  platform::Button N1{"N1"};  // "Удалить последний снимок"
  platform::Button N2{"N2"};  // "Сохранить таблицу"
  platform::Button N3{"N3"};  // "Загрузить таблицу"
  platform::Button N4{"N4"};  // "Сохранить таблицы в файл"
  platform::Button N5{"N5"};  // "Транслировать таблицы в систему"
  // Type K2, shot log: extra shots at the header currents the series did not reach, then the
  // tables again (enabled while computed tables wait for OK).
  platform::Button N6{"N6"};
  static constexpr const char* kGridItem = "Дополнительные снимки по сетке токов";

  // The view closes the window when asked (the second OK).
  std::function<void()> OnCloseRequest;

  // --- handlers ---
  void FormCreate();
  void StartUvChange();
  void btnAcceptIntervalClick();
  void btnMakeShotClick();
  void btnAutoClick();
  void btnOKClick();
  // "Прервать" (types K3 and K4): after the engineer's yes the procedure's state is saved and the
  // window closes; the procedure can be continued from the state file.
  void Button2Click();
  // The window's frame: with shots in the log that are not yet in the image the engineer is
  // asked first, and the state file is brought up to date before the window goes (types K3 and
  // K4). False: the window stays.
  bool FormCloseQuery();
  // The calibration's protocol as PDF for the apparatus's maintenance record.
  void btnSavePdfClick();
  // What it holds: the range, the source and new tables, the characteristics and the shot log as
  // the window shows them now (the stamp is added on saving).
  platform::PrintDocument ProtocolDocument() const;
  void N1Click();
  void N2Click();
  void N3Click();
  void N4Click();
  void N6Click();
  void TabSheet1Show();
  void RadioButton1Click();
  void RadioButton2Click();
  void RadioButton3Click();
  void CalPagesChange();
  void cbCurrentsChange();
  // Enter (the key is consumed: true) applies the shift in the edit.
  bool edMoveStepKeyPress(char key);
  void udMoveStepChanging();

  // Page indices of CalPages.
  enum Page { pgTables = 0, pgProcedure = 1, pgGraph = 2, pgOptions = 3 };
  // Family drawn in Chart4.
  enum class Family { Source, New, All };

  // The worker (null before FormCreate).
  TCalWorker* Worker() const { return worker_.get(); }
  // The variant of types K3 and K4 (TfrmCalibrationK3).
  bool K3() const { return k3_; }

  // --- TCalHost ---
  TCalTables& Tables() override { return Tables_; }
  std::optional<CalRange> Range(std::string& why) override;
  std::optional<int> Code() override;
  void SetCode(int code) override;
  int CodeStep() override;
  void ShowMessage(const std::string& text) override;
  void FillInfo(ProcedureInfo& info) override;
  void RangeLocked() override;
  void ShowCurves(const std::vector<int>& samples) override;
  void ShowPause(int totalMs, int leftMs) override;
  void TablesComputed(const TransferCurve& curve) override;
  void AutoModeEnded() override;
  void SeriesEnded() override;
  void StepRunning(bool running) override;
  // The largest filament code the code control takes (the apparatus's type's, for K3 and K4).
  int CodeMax() const { return codeMax_; }

 protected:
  TfrmCalibration(MainHost* host, CalWindowOptions options, bool k3);
  // The worker of the variant, not yet started.
  virtual std::unique_ptr<TCalWorker> CreateWorker();
  const CalWindowOptions& Options() const { return options_; }

 private:
  void FillRangeLists();
  void DrawResistanceCharts();
  void DrawTransferCurve(const TransferCurve& curve);
  void DrawFamily();
  void SelectFamily(platform::RadioButton& chosen);
  void ApplyShift(int shift);
  // The controls after "Принять" or a loaded state.
  void EnableProcedureControls();

  // Types K3 and K4 send a parameter set before each search shot; a loaded state file needs it
  // sent again.
  void AcceptPassParameters();

  // The state file with the log as it is now; false (engineer told) when it cannot be written.
  bool SaveStateFile();

  const bool k3_;
  int codeMax_;
  // A shot step runs (the shot button waits for it); the shots of the procedure are over.
  bool stepRunning_ = false;
  bool shotsEnded_ = false;
  // The engineer has already agreed to close (the second OK, "Прервать").
  bool closeAgreed_ = false;
  ToolWindowMark openMark_;
  CalWindowOptions options_;
  std::unique_ptr<TCalWorker> worker_;
  bool tablesStored_ = false;
};

// TfrmCalibrationK3: the tube calibration of types K3 and K4. The window of type K2 without the
// resistance table and its charts; its worker records the filament code over the anode current at
// both bounds of the range, the engineer reading each shot's current off its curve, and builds the
// new calibration table from the two characteristics. Its state file is caltablek3.ini.
class TfrmCalibrationK3 : public TfrmCalibration {
 public:
  explicit TfrmCalibrationK3(MainHost* host, CalWindowOptions options = {});
  ~TfrmCalibrationK3() override;

  // The mean of the first and last header currents, set when the window opens (0 before).
  int TargetCurrent() const { return State.TargetCurrent; }

 protected:
  std::unique_ptr<TCalWorker> CreateWorker() override;
};

}  // namespace kvt
