#pragma once
// TfrmCheckShots ("Выполнение проверочных снимков"): a series of test exposures over a range of
// anode voltages, one at a time or automatically with the settings' pause between them, filled
// into a protocol table with set and measured values and saved as a text protocol.
//
// The exposures run on the window's worker TCheckShotsProc. It sleeps until a request comes
// ("Выполнить", or the automatic series switched on) and changes the window only through the
// interface thread. On K3 and K4 systems the engineer reads the voltage and the current off the
// shot's curve in the determination dialog; closing that dialog by its frame leaves the shot out
// of the protocol and stops an automatic series.
//
// Protocol file: windows-1251 text with CR LF line ends, written under a temporary name and
// renamed into place.

#include <array>
#include <condition_variable>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/ToolWindow.h"
#include "platform/Controls.h"
#include "platform/Document.h"
#include "platform/Thread.h"
#include "procedures/Tolerances.h"

namespace kvt {

class MainHost;
class TSnapshot;

// One protocol row: set kV, measured (or read) kV, mA, deviation.
using ProtocolRow = std::array<int, 4>;

// One type-K2 check shot at kv, ma and time (hundredths), the device lock held by the caller:
// the exposure, the generator's readings, and the exposure time from the shot's curves (left
// unmeasured when the curves could not be read). A failed exposure leaves the apparatus in the
// safe state. failure: why the shot failed ("" when it went through).
struct K2CheckShot {
  bool ok = false;
  ShotValues values;
  ProtocolRow row{};
  std::string failure;
};
K2CheckShot MakeK2CheckShot(TSnapshot& shot, int kv, int ma, int time);
// After a failed exposure: whatever is prepared or under way is cancelled (01 4A or 01 53, then
// 01 54).
void EndShotSafely(TSnapshot& shot);

// The protocol's text (UTF-8, "\n" line ends) for rows taken at the given UTC date and time.
std::string CheckShotsProtocolText(const std::vector<ProtocolRow>& rows, const std::tm& utc);
// The file's bytes: the text in windows-1251 with CR LF line ends.
std::string CheckShotsProtocolBytes(const std::vector<ProtocolRow>& rows, const std::tm& utc);

class TfrmCheckShots : public ToolFormModel, public platform::FormFocus {
 public:
  static constexpr const char* kCaption = "Выполнение проверочных снимков";
  static constexpr const char* kTitle = "chshots";  // of this window's message boxes
  static constexpr const char* kFilter = "Протокол проверочных снимков (*.txt)|*.txt";
  static constexpr const char* kAcceptMessage =
      "\nДля выполнения одиночного снимка нажмите кнопку <Выполнить> раздела <Снимок>. Для "
      "выполнения серии снимков автоматически нажмите кнопку <Включить> раздела "
      "<Автоматически>.";

  // Sets the check-shots tool-window flag of host (none when null). imageDir: the folder the save
  // dialog opens in (read at each use).
  explicit TfrmCheckShots(MainHost* host, std::function<std::string()> imageDir = {});
  // FormDestroy, when the view has not called it.
  ~TfrmCheckShots();

  // --- controls ---
  platform::GroupBox gbUmin{"gbUmin"};  // " Ua min. (кВ) "
  platform::Edit edUmin{"edUmin"};
  platform::UpDown udUmin{"udUmin"};
  platform::GroupBox gbUmax{"gbUmax"};  // " Ua max. (кВ) "
  platform::Edit edUmax{"edUmax"};
  platform::UpDown udUmax{"udUmax"};
  platform::GroupBox gbUstep{"gbUstep"};  // " Шаг (кВ) "
  platform::Edit edUstep{"edUstep"};
  platform::UpDown udUstep{"udUstep"};
  platform::GroupBox gbExposure{"gbExposure"};  // " Экспозиция (мс) "
  platform::Edit edExposure{"edExposure"};
  platform::UpDown udExposure{"udExposure"};
  platform::GroupBox gbIa{"gbIa"};  // " Iа (мА) "
  platform::Edit edIa{"edIa"};
  platform::UpDown udIa{"udIa"};
  platform::Button btnAccept{"btnAccept"};
  platform::GroupBox gbShot{"gbShot"};  // " Снимок "
  platform::Button btnMakeShot{"btnMakeShot"};
  platform::GroupBox gbAuto{"gbAuto"};  // " Автоматически "
  platform::Button btnAuto{"btnAuto"};
  platform::GroupBox gbProcedure{"gbProcedure"};  // " Процедура "
  platform::Button btnSaveProtocol{"btnSaveProtocol"};
  platform::Button btnOK{"btnOK"};
  platform::Button btnSavePdf{"btnSavePdf"};  // "Сохранить протокол в PDF"
  platform::Gauge WaitIndikator{"WaitIndikator"};
  platform::GroupBox gbProtocol{"gbProtocol"};  // " Протокол испытаний "
  platform::StringGrid ShotsTable{"ShotsTable", kColumns, 2};
  // Under the table: one verdict per quantity, the reproducibility, the overall verdict.
  platform::Label lbVerdictUa{"lbVerdictUa"};
  platform::Label lbVerdictIa{"lbVerdictIa"};
  platform::Label lbVerdictT{"lbVerdictT"};
  platform::Label lbVerdictRepeat{"lbVerdictRepeat"};
  platform::Label lbVerdict{"lbVerdict"};
  platform::Label lbCurrentMessage{"lbCurrentMessage"};

  // The protocol's five columns, then the deviations in % and the exposure time measured.
  static constexpr int kColumns = 9;
  static constexpr int kColDevUa = 5;
  static constexpr int kColDevIa = 6;
  static constexpr int kColTime = 7;
  static constexpr int kColDevT = 8;
  // How a cell of the grid is marked: a deviation within tolerance (green) or outside (red).
  enum class Mark { None, In, Out };
  Mark CellMark(int col, int row) const;

  // --- handlers ---
  // Type, headers, ranges from the calibration table, the worker started, the first message.
  void FormCreate();
  // Enter in a parameter edit: focus to "Принять" (the key itself is dropped). True = consumed.
  bool ParameterKeyPress(char key);
  void btnAcceptClick();
  void btnMakeShotClick();
  void btnAutoClick();
  void btnSaveProtocolClick();
  // The protocol as a PDF document for the apparatus's maintenance record.
  void btnSavePdfClick();
  // "OK": the view closes the window (OnClose).
  void btnOKClick();
  // Closing: the worker asked to end and waited for (an exposure under way completes, its
  // dialogs still served), the window flag cleared, then the question about an unsaved protocol.
  void FormDestroy();

  // Writes the protocol to path (the dialog left out). False, with the engineer told, when
  // nothing was written; the protocol then still counts as unsaved.
  bool SaveProtocol(const std::filesystem::path& path);
  // What the PDF holds: the accepted parameters and the rows done (the stamp is added on saving).
  platform::PrintDocument ProtocolDocument() const;

  // --- state the tests and the view read ---
  const std::string& SystemType() const { return systemType_; }
  int ShotsDone() const { return shotsDone_; }
  bool ProtocolUnsaved() const { return protocolUnsaved_; }
  const std::vector<ProtocolRow>& Rows() const { return rows_; }
  // Each row's set and measured values, and the tolerances the window judges them by.
  const std::vector<ShotValues>& Values() const { return values_; }
  const Tolerances& UsedTolerances() const { return tolerances_; }
  SeriesVerdict Verdict() const { return JudgeSeries(values_, tolerances_); }
  int Ucur() const;
  bool AutoOn() const;
  // Accepted parameters (0 before "Принять").
  int Umin() const { return umin_; }
  int Umax() const { return umax_; }
  int Ustep() const { return ustep_; }
  int Exposure() const { return exposure_; }
  // True while the worker is inside a turn or a pause (tests wait for it to fall idle).
  bool Busy() const;
  // Turns the worker has finished (each one an exposure attempted or the series' end told).
  int TurnsDone() const;
  // The date and time the protocol is stamped with (UTC now unless a test says otherwise).
  std::function<std::tm()> Now;

  // The view closes the window when this is called.
  std::function<void()> OnClose;

 private:
  class TCheckShotsProc;
  friend class TCheckShotsProc;

  void Message(const std::string& text);
  void ReadRanges();
  // The worker's side (on the worker thread).
  void Turn(TSnapshot& shot);
  void Pause();
  void EndAuto();
  void ShowVerdicts();
  void OnUi(const std::function<void()>& fn);

  std::function<std::string()> imageDir_;
  std::string systemType_;
  std::unique_ptr<TCheckShotsProc> proc_;
  bool destroyed_ = false;

  // Guarded by cs_: the requests and the series' position.
  mutable std::mutex cs_;
  std::condition_variable requested_;
  bool autoOn_ = false;
  bool singleRequested_ = false;
  bool busy_ = false;
  int turns_ = 0;
  int ucur_ = 0;

  // Fixed by "Принять" before the worker can act on them.
  int umin_ = 0;
  int umax_ = 0;
  int ustep_ = 0;
  int exposure_ = 0;
  int ia_ = 0;  // the anode current of K3 and K4 shots

  // Interface thread only.
  int shotsDone_ = 0;
  bool protocolUnsaved_ = false;
  std::vector<ProtocolRow> rows_;
  std::vector<ShotValues> values_;
  Tolerances tolerances_;
};

}  // namespace kvt
