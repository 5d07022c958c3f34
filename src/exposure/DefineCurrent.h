#pragma once
// TfrmDefineCurrent: the dialog in which the engineer reads the anode current or the anode
// voltage of a shot off its curve. The curve is drawn signed around a zero line; two horizontal
// lines, moved with two scroll bars, go onto the positive and the negative extreme, and the value
// taken is the rounded mean of their distances from zero.
//
// One instance lives for the program's whole run (DefineCurrentDialog()). A tool that needs a
// reading calls DetermineValue from any thread: the curve and the mode are set and the dialog is
// shown modally on the interface thread while the caller waits. Closing the dialog by its frame
// gives no value, and the caller then uses no reading at all.

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Controls.h"

namespace kvt {

enum class DefineMode { Current, Voltage };

// A curve's points (x = time, y = signed value).
using CurvePoints = std::vector<std::pair<double, double>>;

class TfrmDefineCurrent : public platform::FormModel {
 public:
  static constexpr const char* kCurrentCaption = "Определение значения анодного тока";
  static constexpr const char* kVoltageCaption = "Определение значения анодного напряжения";
  // The largest anode current the two lines can be set to, mA.
  static constexpr int kMaxCurrent = 200;

  TfrmDefineCurrent();

  // --- controls ---
  platform::GroupBox GroupBox8{"GroupBox8"};
  platform::Chart chart_Ia_calibr{"chart_Ia_calibr"};
  platform::ScrollBar UpTrack1{"UpTrack1"};
  platform::Label UpVal1{"UpVal1"};
  platform::ScrollBar DownTrack1{"DownTrack1"};
  platform::Label DownVal1{"DownVal1"};
  platform::Label Label1{"Label1"};
  platform::Label Ia_result{"Ia_result"};
  platform::Label Label2{"Label2"};
  platform::Button Button1{"Button1"};

  // Series 0: the curve; 1: the upper line (red); 2: the lower line (yellow).
  platform::ChartSeries& Series3() { return chart_Ia_calibr.Series(0); }
  platform::ChartSeries& Series4() { return chart_Ia_calibr.Series(1); }
  platform::ChartSeries& Series5() { return chart_Ia_calibr.Series(2); }

  // --- modes: captions, value axis, scroll bars back to the middle ---
  void PrepareForVoltage();
  void PrepareForCurrent();
  void Prepare(DefineMode mode);
  DefineMode Mode() const { return mode_; }

  // Replaces the curve (series 0).
  void SetCurve(const CurvePoints& points, platform::Color color = platform::kDefaultColor);

  // --- handlers ---
  // Draws both lines for the scroll bars' positions and shows the result.
  void FormShow();
  // The upper line follows its scroll bar; the lower one mirrors it at the same distance.
  void UpTrack1Change();
  void DownTrack1Change();
  // The lines can also be dragged on the chart. The line within tolerance of a value on the
  // value axis (the nearer one when both are), if any.
  enum class Line { None, Upper, Lower };
  Line LineNear(double value, double tolerance) const;
  // Drags a line to a value on the value axis, as its scroll bar would move it (the upper line
  // takes the lower one along, mirrored).
  void DragLine(Line line, double value);

  // "Принять установленные значения": ends the dialog with the result.
  void Button1Click();
  // The frame's close button: ends the dialog without a value.
  void FormCloseByFrame();

  // The value the two lines give now.
  int Result() const;
  // Value of the upper line and distance of the lower line from zero.
  int UpperValue() const;
  int LowerDistance() const;

  // Shows the dialog modally (interface thread): FormShow, then the view runs until Button1 or
  // the frame ends it. The value, or nothing when closed by the frame or when no view can show
  // it (no one to read the curve).
  std::optional<int> ShowModal();
  using ModalRunner = std::function<void(TfrmDefineCurrent&)>;
  void SetModalRunner(ModalRunner runner) { runner_ = std::move(runner); }
  bool HasModalRunner() const { return bool(runner_); }
  // The view ends its modal loop when this is called.
  std::function<void()> OnClose;
  bool Showing() const { return showing_; }

 private:
  // The value-axis maximum as a whole number (T).
  int Top() const;
  // Right end of the lines: the curve's largest abscissa + 1.
  double LineEnd() const;
  void DrawLine(platform::ChartSeries& series, double y, platform::Color color);
  void ShowResult();
  void End(std::optional<int> result);

  DefineMode mode_ = DefineMode::Current;
  ModalRunner runner_;
  bool showing_ = false;
  std::optional<int> result_;
};

// The program's one dialog.
TfrmDefineCurrent& DefineCurrentDialog();

// From any thread: puts the curve into the dialog, sets it up for the mode and shows it modally on
// the interface thread, waiting for the engineer. The value read, or nothing when the dialog was
// closed by its frame.
std::optional<int> DetermineValue(DefineMode mode, const CurvePoints& curve,
                                  platform::Color color = platform::kDefaultColor);

}  // namespace kvt
