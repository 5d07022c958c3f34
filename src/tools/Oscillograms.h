#pragma once
// TfrmOscillograms ("Осциллограммы последнего снимка"): the anode voltage and anode current the
// main controller recorded during the last exposure, plotted in two charts, with the effective
// values the generator measured; the curves are saved to and loaded from ".osc" files.
//
// An ".osc" file is nothing but 32-byte records, one per plotted point: x and y of the voltage
// point, then x and y of the current point, four little-endian IEEE doubles. A shorter tail is
// ignored.
//
// Several oscillogram windows may be open at once (one per press of the main window's button);
// the tool-window flag stays set while any of them exists.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/ToolWindow.h"
#include "platform/Controls.h"
#include "platform/Ui.h"

namespace kvt {

class MainHost;

// One record of an ".osc" file.
struct OscRecord {
  double voltageX = 0;
  double voltageY = 0;  // kV as read
  double currentX = 0;
  double currentY = 0;  // mA as read
  bool operator==(const OscRecord&) const = default;
};

inline constexpr std::size_t kOscRecordSize = 32;
// No recorder curve comes near this (the controller's whole memory page is 64 KiB); anything
// larger is not an oscillogram and is not loaded into the charts.
inline constexpr std::size_t kOscMaxFileSize = std::size_t(16) << 20;

enum class OscFileError {
  None,
  NoRecords,  // shorter than one record
  TooLarge,   // more than kOscMaxFileSize bytes
  BadNumber,  // a value that is not a finite number
};

struct OscDecoded {
  std::vector<OscRecord> records;
  OscFileError error = OscFileError::None;
  std::size_t badRecord = 0;  // 0-based, for BadNumber
};

std::vector<std::uint8_t> EncodeOsc(const std::vector<OscRecord>& records);
// The records of a file's bytes; on an error the list is empty.
OscDecoded DecodeOsc(const std::uint8_t* data, std::size_t size);
// The chosen name with whatever extension it has replaced by ".osc".
std::string OscFileName(const std::string& chosen);

class TfrmOscillograms : public ToolFormModel {
 public:
  static constexpr const char* kCaption = "Осциллограммы последнего снимка";
  static constexpr const char* kFilter = "Осциллограмма снимка|*.osc";
  static constexpr const char* kProgressCaption = "Чтение осциллограмм...";
  static constexpr const char* kTitle = "oscillograms";  // of this window's message boxes

  // Sets the oscillograms' tool-window flag of host (none when null). imageDir gives the folder
  // the file dialogs open in (read at each use: the options may change it).
  explicit TfrmOscillograms(MainHost* host, std::function<std::string()> imageDir = {});
  // Clears the flag once no oscillogram window is left.
  ~TfrmOscillograms();

  // --- controls ---
  platform::GroupBox GroupBox1{"GroupBox1"};  // " Напряжение "
  platform::Chart chartVoltage{"chartVoltage"};
  platform::GroupBox GroupBox2{"GroupBox2"};  // " Ток "
  platform::Chart chartCurrent{"chartCurrent"};
  platform::GroupBox GroupBox3{"GroupBox3"};  // " Действующие значения "
  platform::Label Label1{"Label1"};           // "Ua="
  platform::Label Label3{"Label3"};
  platform::Label Label2{"Label2"};  // "Ia="
  platform::Label Label4{"Label4"};
  platform::GroupBox GroupBox4{"GroupBox4"};  // " Действия "
  platform::Button btnOpen{"btnOpen"};
  platform::Button btnSave{"btnSave"};

  platform::ChartSeries& VoltageSeries() { return chartVoltage.Series(0); }
  platform::ChartSeries& CurrentSeries() { return chartCurrent.Series(0); }

  // --- handlers ---
  // The reading at creation: the last shot's curves under the device lock with the progress
  // window, then the measured effective values.
  void FormCreate();
  void btnOpenClick();
  void btnSaveClick();

  // --- the file operations behind the buttons (the dialogs left out) ---
  // Replaces both curves by the file's; on any problem the engineer is told and the charts stay.
  bool LoadFile(const std::string& path);
  // Writes the curves to path as it is given; false (engineer told) when nothing was written.
  bool SaveFile(const std::string& path);
  // The plotted points as records.
  std::vector<OscRecord> Records() const;
  // Replaces both curves.
  void ShowRecords(const std::vector<OscRecord>& records);
  // Plots a sample list as read: voltage, current, voltage, current, ... (complete pairs only).
  void ShowSamples(const std::vector<int>& samples);

 private:
  platform::FileDialogRequest DialogRequest(bool save) const;

  std::function<std::string()> imageDir_;
};

}  // namespace kvt
