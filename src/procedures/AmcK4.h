#pragma once
// TfrmAMC_K4 ("Настройка измерительных каналов" of K4 systems): a two-point calibration of the
// three mains phase channels. The engineer feeds all phases through an autotransformer, types
// the lower and the upper reference voltage, and at each point the window takes the converter
// codes of phases A, B and C; from the two points it computes each channel's gain A and offset B
// (U = (code × A − B) / 128) and, on request, writes them into the apparatus. A timer shows the
// phase voltages the apparatus measures meanwhile.
//
// Everything runs on the interface thread; each exchange group holds the device lock. Destroying
// the window always switches the apparatus off (the technological power mode ends with it).

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/ToolWindow.h"
#include "platform/Controls.h"

namespace kvt {

class MainHost;
class TMemoryImage;

// The coefficients of one phase channel from its codes at two reference voltages; nothing when
// they cannot be computed or do not fit their slots (equal codes, A outside 1..255, B outside
// the signed 16-bit range). B is taken from the A as written (truncated), so the written pair
// reads the lower reference voltage exactly.
struct PhaseCoefficientsK4 {
  int a = 0;
  int b = 0;
};
std::optional<PhaseCoefficientsK4> ComputePhaseCoefficients(int umin, int umax, int cmin, int cmax);

// A decimal integer with optional sign and surrounding spaces, nothing else.
std::optional<int> IntegerText(const std::string& text);

class TfrmAMC_K4 : public ToolFormModel, public platform::FormFocus {
 public:
  static constexpr const char* kCaption = "Настройка измерительных каналов";
  static constexpr const char* kTitle = "amc_k4";  // of this window's own message boxes
  static constexpr const char* kRecalibrate =
      "Измените одно из значений контрольных напряжений, и проведите калибровку заново!";
  static constexpr int kPowerOffWaitMs = 2000;
  // What a typed reference voltage may be, in volts.
  static constexpr int kMinVolts = 1;
  static constexpr int kMaxVolts = 500;

  // Converter channels of phases A, B, C and their coefficient addresses (A; B two bytes after).
  static constexpr std::array<std::uint8_t, 3> kChannels{3, 6, 5};
  static constexpr std::array<std::uint8_t, 3> kCoefficientAddress{0x80, 0x83, 0x86};

  // Sets the measuring-channels (K4) tool-window flag of host (none when null). image gives the
  // held memory image (may give null), which receives the coefficients written, so a later
  // translate of it keeps them.
  explicit TfrmAMC_K4(MainHost* host, std::function<TMemoryImage*()> image = {});
  ~TfrmAMC_K4();

  // --- controls ---
  platform::GroupBox gbControl{"gbControl"};  // " Контрольное напряжение "
  platform::Label lbUmin{"lbUmin"};
  platform::Edit edUmin{"edUmin"};
  platform::Label lbUmax{"lbUmax"};
  platform::Edit edUmax{"edUmax"};
  platform::Button btnCal1{"btnCal1"};
  platform::Button btnCal2{"btnCal2"};
  platform::Button btnAccept{"btnAccept"};
  // One group per phase: codes at the two points (row "Код АЦП"), coefficients ("Коэффициенты").
  platform::GroupBox gbChannelA{"gbChannelA"};
  platform::GroupBox gbChannelB{"gbChannelB"};
  platform::GroupBox gbChannelC{"gbChannelC"};
  platform::Edit edADCminA{"edADCminA"}, edADCmaxA{"edADCmaxA"}, edAA{"edAA"}, edBA{"edBA"};
  platform::Edit edADCminB{"edADCminB"}, edADCmaxB{"edADCmaxB"}, edAB{"edAB"}, edBB{"edBB"};
  platform::Edit edADCminC{"edADCminC"}, edADCmaxC{"edADCmaxC"}, edAC{"edAC"}, edBC{"edBC"};
  // The captions every channel group shows: rows and columns.
  platform::Label lbRowCodes{"lbRowCodes"}, lbRowCoefficients{"lbRowCoefficients"};
  platform::Label lbColumnA{"lbColumnA"}, lbColumnB{"lbColumnB"};
  platform::GroupBox gbMeasured{"gbMeasured"};  // " Измерянное напряжение "
  platform::Label lbNameUA{"lbNameUA"}, lbNameUB{"lbNameUB"}, lbNameUC{"lbNameUC"};
  platform::Label lbUA{"lbUA"}, lbUB{"lbUB"}, lbUC{"lbUC"};
  platform::Timer MUTimer{"MUTimer"};
  platform::Label lbCurrentInfo{"lbCurrentInfo"};

  // The edits of phase p (0 A, 1 B, 2 C).
  platform::Edit& CodeMin(int p) { return *codeMin_[std::size_t(p)]; }
  platform::Edit& CodeMax(int p) { return *codeMax_[std::size_t(p)]; }
  platform::Edit& CoefA(int p) { return *coefA_[std::size_t(p)]; }
  platform::Edit& CoefB(int p) { return *coefB_[std::size_t(p)]; }
  platform::GroupBox& Channel(int p) { return *channel_[std::size_t(p)]; }
  platform::Label& Measured(int p) { return *measured_[std::size_t(p)]; }
  platform::Label& MeasuredName(int p) { return *measuredName_[std::size_t(p)]; }

  // --- handlers ---
  void FormShow();
  void MUTimerTimer();
  // Enter moves the focus on (and is dropped): true when the key was consumed.
  bool edUminKeyPress(char key);
  bool edUmaxKeyPress(char key);
  void btnCal1Click();
  void btnCal2Click();
  void btnAcceptClick();
  // Switches the apparatus off (waiting out its switching under the lock), clears the flag.
  void FormDestroy();

 private:
  void Message(const std::string& text) { lbCurrentInfo.SetCaption(text); }
  // Codes of the three channels into the given edits; false (edits left empty) when the
  // apparatus did not answer.
  bool ReadCodes(platform::Edit* const (&into)[3]);
  void Reset();
  // Whether the edit holds a reference voltage; tells the engineer and focuses it otherwise.
  bool TypedVolts(platform::Edit& edit, const char* name, const std::string& control);

  // Stores the written coefficients into the held image; false when there is none.
  bool StoreInImage(const std::array<PhaseCoefficientsK4, 3>& c);

  MainHost* host_;
  std::function<TMemoryImage*()> image_;
  bool destroyed_ = false;
  platform::Edit* codeMin_[3] = {&edADCminA, &edADCminB, &edADCminC};
  platform::Edit* codeMax_[3] = {&edADCmaxA, &edADCmaxB, &edADCmaxC};
  platform::Edit* coefA_[3] = {&edAA, &edAB, &edAC};
  platform::Edit* coefB_[3] = {&edBA, &edBB, &edBC};
  platform::GroupBox* channel_[3] = {&gbChannelA, &gbChannelB, &gbChannelC};
  platform::Label* measured_[3] = {&lbUA, &lbUB, &lbUC};
  platform::Label* measuredName_[3] = {&lbNameUA, &lbNameUB, &lbNameUC};
};

}  // namespace kvt
