#pragma once
// TfrmAMC ("Настройка измерительных каналов"): adjusts the scale coefficients of the mains
// voltage channel (KMES, 0x15) and of the anode voltage channel (KUAN, 0x13) of K2 and K3
// systems against a reference: the engineer's voltmeter and storage oscilloscope, or the
// reference voltage meter module when it is on the bus.
//
// The worker TMeasureRefresh keeps the mains reading live (a pass every kPassMs, woken at once by
// a request) and carries out the mains calibration; the control exposure and the anode
// calibration run on the interface thread under the device lock. A coefficient that cannot be
// computed (a measured or reference value of 0) or does not fit its byte is refused with a
// message, and nothing is written then.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/ToolWindow.h"
#include "exposure/DefineCurrent.h"
#include "platform/Controls.h"
#include "platform/Thread.h"

namespace kvt {

class MainHost;
class TMemoryImage;

// The mains voltage shown for a supply measurement byte: byte × 1.464, truncated.
int SupplyVolts(int supplyByte);

// A new coefficient, or why there is none.
struct Coefficient {
  int value = 0;
  std::string error;  // empty when value is good (1..255)
  bool Ok() const { return error.empty(); }
};
// KMES from the present one, the measured and the reference mains voltage: k × c / m, rounded.
Coefficient NewKmes(int kmes, double measured, int reference);
// KUAN from the present one, the measured and the reference anode voltage: k × m / c.
Coefficient NewKuan(int kuan, int measured, int reference);
// The reference anode voltage in kV from the meter's swing over one period.
int MeterAnodeKv(int swing);

class TfrmAMC : public ToolFormModel, public platform::FormFocus {
 public:
  static constexpr const char* kCaption = "Настройка измерительных каналов";
  static constexpr const char* kTitle = "amc";  // of this window's message boxes
  // Time between two passes of the live mains reading.
  static constexpr int kPassMs = 250;

  // Sets the measuring-channels tool-window flag of host (none when null). image gives the held
  // memory image (may give null), which receives every coefficient written.
  explicit TfrmAMC(MainHost* host, std::function<TMemoryImage*()> image = {});
  ~TfrmAMC();

  // --- controls ---
  platform::GroupBox gbMains{"gbMains"};
  platform::Label lbUdMeasure{"lbUdMeasure"};  // " Измерянное "
  platform::Edit edUdMeasure{"edUdMeasure"};
  platform::Label lbUdControl{"lbUdControl"};  // "  Контрольное  "
  platform::Edit edUdControl{"edUdControl"};
  platform::UpDown udUdControl{"udUdControl"};
  platform::Label lbKMES{"lbKMES"};
  platform::Edit edKMES{"edKMES"};
  platform::UpDown udKMES{"udKMES"};
  platform::Button btnUdCalibrate{"btnUdCalibrate"};
  platform::Button btnUdCalibrateOK{"btnUdCalibrateOK"};
  platform::GroupBox gbAnode{"gbAnode"};
  platform::Button btnMakeSnapshot{"btnMakeSnapshot"};
  platform::GroupBox gbShotParameters{"gbShotParameters"};  // " Параметры снимка "
  platform::Label lbHeatCode{"lbHeatCode"};                 // "Код накала = "
  platform::Edit edHeatCode{"edHeatCode"};
  platform::UpDown udHeatCode{"udHeatCode"};
  platform::Label lbDuration{"lbDuration"};  // "Длительность = 0.05 с."
  platform::GroupBox gbChart{"gbChart"};     // " Анодное напряжение "
  platform::Chart Chart1{"Chart1"};
  platform::Label lbUaMeasure{"lbUaMeasure"};
  platform::Edit edUaMeasure{"edUaMeasure"};
  platform::Label lbUaControl{"lbUaControl"};
  platform::Edit edUaControl{"edUaControl"};
  platform::UpDown udUaControl{"udUaControl"};
  platform::Label lbKUAN{"lbKUAN"};
  platform::Edit edKUAN{"edKUAN"};
  platform::UpDown udKUAN{"udKUAN"};
  platform::Button btnUaCalibrate{"btnUaCalibrate"};
  platform::Button btnUaCalibrateOK{"btnUaCalibrateOK"};
  platform::Label lbCurrentInfo{"lbCurrentInfo"};

  // --- handlers ---
  // The worker started, the reference meter looked for, the first instructions.
  void FormCreate();
  // Enter moves the focus on (and is dropped): true when the key was consumed.
  bool edUdControlKeyPress(char key);
  bool edHeatCodeKeyPress(char key);
  bool edUaControlKeyPress(char key);
  void btnUdCalibrateClick();
  void btnUdCalibrateOKClick();
  void btnMakeSnapshotClick();
  void btnUaCalibrateClick();
  void btnUaCalibrateOKClick();
  // The worker asked to end and waited for, the window flag cleared.
  void FormDestroy();

  // --- state the tests and the view read ---
  bool MeterPresent() const { return meterPresent_; }
  // Passes of the worker finished so far, and mains calibrations carried out (or refused).
  int Passes() const { return passes_; }
  int MainsCalibrations() const { return mainsCalibrations_; }
  bool LiveMains() const { return liveMains_; }

  // Repaints the message panel at once (the caller stays busy with the apparatus).
  std::function<void()> OnRepaint;
  // The view closes the window when this is called.
  std::function<void()> OnClose;

 private:
  class TMeasureRefresh;
  friend class TMeasureRefresh;

  // A step runs (mains calibration, control exposure, anode calibration): the step buttons wait.
  void SetBusy(bool busy);
  void UpdateButtons();
  // The apparatus stopped or started answering again (interface thread).
  void LineChanged();
  void Message(const std::string& text, bool repaint = false);
  void OnUi(const std::function<void()>& fn);
  // Writes a coefficient into the apparatus (device lock held by the caller) and, when that went
  // through, into the held image and the window. False (the engineer told) otherwise.
  bool WriteCoefficient(std::uint32_t address, int value);
  void StoreInImage(std::uint32_t address, int value);
  void PlotVoltage(const std::vector<int>& absoluteSamples);
  static CurvePoints VoltageCurve(const std::vector<int>& samples);
  // The worker's mains calibration (on the worker thread).
  void CalibrateMains();
  void Wake();

  std::function<TMemoryImage*()> image_;
  std::unique_ptr<TMeasureRefresh> refresh_;
  bool destroyed_ = false;
  std::atomic<bool> meterPresent_{false};
  std::atomic<int> passes_{0};
  std::atomic<int> mainsCalibrations_{0};
  bool busy_ = false;
  // The apparatus did not answer the last pass: nothing is offered that needs it.
  std::atomic<bool> lineLost_{false};
  std::string messageBeforeLoss_;
  // The anode reading shown is of this window's own control exposure.
  std::atomic<bool> ownShot_{false};
  // The last signed voltage curve the determination dialog was given.
  CurvePoints dialogCurve_;

  // The worker's requests.
  std::mutex m_;
  std::condition_variable wake_;
  std::atomic<bool> liveMains_{true};
  std::atomic<bool> calibrateMains_{false};
  std::atomic<bool> readAnode_{true};
  // Counts the interface's own changes of the anode values (exposure, calibration): a reading the
  // worker began before one of them is out of date and is not shown.
  std::atomic<int> anodeChanges_{0};
  // Counts the KUAN values written by the window: an older KUAN read is not shown.
  std::atomic<int> kuanWrites_{0};
};

}  // namespace kvt
