#pragma once
// The data of the tube calibration: the tables as the apparatus keeps them, their copies read when
// a calibration starts (the source tables), the shot log the procedure fills, the interpolation of
// a filament code from the calibration table, the computation of the new tables, the manual
// correction of the new calibration table, and the three ways the results leave the calibration:
// into the memory image, into a ".dat" text file, and into the state file that lets an
// interrupted calibration go on later.
//
// The tables are string grids the engineer may edit; every computation reads their cells at the
// moment it runs. A cell that is not a whole number stops the computation that needs it with a
// message naming the grid and cell (CalResult::problem), and nothing is changed then.
//
// The grids are controls: touch them on the interface thread only.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "calibration/PolyFit.h"
#include "platform/Controls.h"
#include "platform/Ini.h"

namespace kvt {

// Layout of the tables in page 0 of the controller's memory (and in the memory image).
namespace caltable {
inline constexpr std::size_t kBoundsOffset = 0x200;     // start, end, step: 16-bit, high first
inline constexpr std::size_t kTableOffset = 0x210;      // calibration table: rows of 8 words
inline constexpr std::size_t kResistanceBase = 0x300;   // resistance table from base + start
inline constexpr std::size_t kResistanceLimit = 0x3FE;  // the bank's checksum follows
inline constexpr int kColumns = 8;                      // header currents per row
inline constexpr int kMaxShift = 200;                   // manual shift, either way
}  // namespace caltable

// Texts of the grids' headers.
namespace caltext {
inline constexpr const char* kShotHeaders[6] = {"      N",      "  КН (табл.)", " Код накала",
                                                "   Iа(реал.)", "      Uв",     "      Rэ"};
inline constexpr const char* kShotHeadersK3[6] = {"      N",      "  КН (табл.)", " Код накала",
                                                  "   Iа(реал.)", "      Uв",     "      "};
inline constexpr const char* kUvHeader = "  Uв";
inline constexpr const char* kReHeader = "  Rэ";
inline constexpr const char* kProgressCalibration = "Чтение калибровочной таблицы...";
inline constexpr const char* kProgressResistance = "Чтение таблицы сопротивлений...";
inline constexpr const char* kStateFile = "caltable.ini";
inline constexpr const char* kStateFileK3 = "caltablek3.ini";
}  // namespace caltext

// How an operation ended; problem (UTF-8, for the engineer) says why it did nothing.
struct CalResult {
  bool ok = true;
  std::string problem;
  static CalResult Fail(std::string why) { return {false, std::move(why)}; }
  explicit operator bool() const { return ok; }
};

// One row of the shot log.
struct ShotRow {
  int Number = 0;
  int TabCode = 0;  // code the source table gives for the measured Uv and Ia (-1 outside)
  int Code = 0;     // filament code of the shot
  int Ia = 0;       // mA
  int Uv = 0;       // kV
  int Re = 0;       // equivalent resistance figure
};

// Which logged shots a computation uses: the downward sweep from FirstInRange to MiddleShot and
// the upward sweep from MiddleShot + 1 to LastShot (ShotCount of the K2 procedure).
struct SweepShots {
  int FirstInRange = 0;
  int MiddleShot = 0;
  int LastShot = 0;
};

// The calibration range chosen by the engineer, kV.
struct CalRange {
  int StartUv = 0;
  int FinishUv = 0;
};

// What the transfer-function chart shows after the calibration table is computed: the fitted
// correction of the filament code over the header currents, and the shots' points.
struct TransferCurve {
  std::vector<std::pair<double, double>> line;
  std::vector<std::pair<double, double>> points;
};

// Values of the state file's section "Информация" besides the shot rows. The K3 fields are
// written only to the K3 file.
struct ProcedureInfo {
  int Stage = 0;
  int ShotCount = 0;
  std::string FinishUv;  // texts of the range boxes
  std::string StartUv;
  int FirstInRange = 0;
  int MiddleShot = 0;
  int Direction = 0;
  int CurrentCode = 0;  // filament code in the code control (stored as a signed 16-bit value)
  // K3: the pass in progress (FirstInRange, MiddleShot, LastShot) and the finished first one.
  bool FirstPass = false;
  bool SecondPass = false;
  int LastShot = 0;
  int FirstInRange1 = 0;
  int MiddleShot1 = 0;
  int LastShot1 = 0;
  // K2: the first shot of the grid sweep (0: none was made); the series ends before it.
  int GridFirst = 0;
};

// More shots than this in a state file means the file is damaged.
inline constexpr int kMaxLoggedShots = 10000;

class TCalTables {
 public:
  TCalTables();
  TCalTables(const TCalTables&) = delete;
  TCalTables& operator=(const TCalTables&) = delete;

  // --- the grids and labels the calibration windows show ---
  platform::StringGrid SourceCTable{"SourceCTable", 9, 2};
  platform::StringGrid SourceRTable{"SourceRTable", 2, 2};
  platform::StringGrid NewCTable{"NewCTable", 9, 2};
  platform::StringGrid NewRTable{"NewRTable", 2, 2};
  platform::StringGrid ShotsTable{"ShotsTable", 6, 2};
  platform::Label MinUv{"MinUv"};
  platform::Label MaxUv{"MaxUv"};
  platform::Label StepUv{"StepUv"};

  // The source table's bounds as read from the apparatus (0 before a successful read).
  int TableStart() const { return min_; }
  int TableEnd() const { return max_; }
  int TableStep() const { return step_; }

  // --- source tables ---
  // Reads the bounds and both tables from the apparatus under the device lock (the progress
  // window shows each table's read) and empties the new tables. When the apparatus does not
  // answer or its bounds are impossible (step 0, end below start) the source tables stay empty
  // and the result says why.
  CalResult ReadSourceTables();
  // The same from words already read: the calibration table as ReadCalibrationTable gives it,
  // the resistance table as ReadResistanceTable gives it.
  CalResult SetSourceTables(int start, int end, int step, const std::vector<std::uint16_t>& words,
                            const std::vector<std::uint8_t>& resistances);
  // Source resistance of kilovolt kv; -1 outside the table (or when its cell is not a number).
  int SourceResistance(int kv) const;
  // Filament code for anode voltage kv and current ma by bilinear interpolation in the source
  // table, truncated after each step; -1 outside the table, above its last grid row, or when a
  // cell it needs is not a number.
  int TableCode(int kv, int ma) const;
  // The eight header currents of the source table (nullopt when a cell is not a number).
  std::optional<std::vector<int>> HeaderCurrents() const;

  // --- shot log ---
  // Number of logged shots (the log always ends with one empty row).
  int LoggedShots() const { return ShotsTable.RowCount() - 2; }
  // Fills the trailing empty row (numbered by its index), selects it and adds a new empty row.
  void AppendShot(int tabCode, int code, int ia, int uv, int re);
  // The six integers of row k; nullopt outside the log or when a cell is not a number.
  std::optional<ShotRow> ReadShotRow(int k) const;
  // Removes the last shot; false (nothing changed) when the log is empty.
  bool DeleteLastShot();

  // --- new tables ---
  // Fits Re over Uv of the in-range shots (degree 2) and fills NewRTable for the range.
  CalResult ComputeResistanceTable(const CalRange& range, const SweepShots& shots);
  // Fits the correction Code - TableCode(Uv, Ia) over Ia of the in-range shots (degree 2) and
  // moves each current column of the source table, restricted to the range, by the correction
  // at its current. Shots outside the source table (TableCode -1) take no part. Beyond the
  // currents the shots reached, the correction is held at its value at the nearest one. The chart
  // data go to *curve when given.
  CalResult ComputeCalibrationTable(const CalRange& range, const SweepShots& shots,
                                    TransferCurve* curve = nullptr);
  // The grid sweep's computation: the correction Code - SourceCodeAt(Uv, Ia) of every shot from
  // shots.FirstInRange to the last logged one (the series and the grid shots) is fitted over the
  // anode voltage (degree 2), and each row of the source table, restricted to the range, is moved
  // by the correction at its voltage. The chart data go to *curve when given.
  CalResult ComputeCalibrationTableGrid(const CalRange& range, const SweepShots& shots,
                                        TransferCurve* curve = nullptr);
  // The filament code the source table gives at kv and ma, interpolated in log(kV) between rows
  // and in log(mA) between columns, and continued along the end rows and columns outside the
  // table; nullopt when a cell it needs is not a number or kv or ma is not positive.
  std::optional<double> SourceCodeAt(double kv, double ma) const;
  // The header currents no logged shot from firstShot on came within kGridReach of.
  std::vector<int> UnreachedCurrents(int firstShot) const;
  // The logged shots from firstShot on with a measured voltage and current.
  std::vector<ShotRow> UsableShots(int firstShot) const;
  // K3: the codes over the current at the lower bound (first pass) and at the upper bound
  // (second pass) give the first and last rows; each source column is mapped linearly between.
  // A column whose source values at both bounds are equal cannot be mapped and keeps its source
  // values; its header current goes to *keptCurrents.
  CalResult ComputeCalibrationTableK3(const CalRange& range, const SweepShots& firstPass,
                                      const SweepShots& secondPass,
                                      std::vector<int>* keptCurrents = nullptr);
  // Present shift of the column of current ma (new cell minus source cell in row 1); nullopt
  // when there is no such column or the new table is not filled.
  std::optional<int> CurrentShift(int ma, const CalRange& range) const;
  // Rewrites the column of current ma of the new table as the source column plus shift (clamped
  // to -200 ... 200).
  CalResult ManualShift(int ma, int shift, const CalRange& range);

  // --- results leave the calibration ---
  // The bytes ApplyTablesToImage stores: bounds at 0x200, table at 0x210 and, unless k3, the
  // resistances from 0x300 + start. Refused when the new tables do not match the range, a cell is
  // not a number, or the tables would overlap each other or the bank's checksum.
  struct ImageBlock {
    std::size_t offset = 0;
    std::vector<std::uint8_t> bytes;
  };
  CalResult TablesImageBlocks(const CalRange& range, bool k3,
                              std::vector<ImageBlock>& blocks) const;
  // Writes the new tables into the held memory image through the configuration workflows (which
  // mark it modified). Nothing is written unless every block fits the image; a block beyond it is
  // refused with the image's own warning.
  CalResult ApplyTablesToImage(const CalRange& range, bool k3 = false);
  // The new tables as ".dat" configuration text (ASCII); k3 leaves out the resistances.
  CalResult ExportText(const CalRange& range, bool k3, std::string& text) const;
  // Writes ExportText to path (replaced whole, never half-written).
  CalResult ExportTables(const std::filesystem::path& path, const CalRange& range,
                         bool k3 = false) const;

  // --- state file ---
  // ProgramDir/caltable.ini or ProgramDir/caltablek3.ini.
  static std::filesystem::path StateFilePath(bool k3);
  // Writes section "Информация" and a section "Снимок<k>" per logged shot. K2 writes the number
  // of rows in the log as the shot count; K3 writes info.ShotCount and its pass keys.
  // The file is replaced once, whatever the number of shots.
  CalResult SaveProcedureState(const std::filesystem::path& path, const ProcedureInfo& info,
                               bool k3 = false);
  // The same in two halves: the values gathered from the grids (interface thread; no file
  // touched) and the one write of the file (any thread).
  platform::IniEdit ProcedureStateEdit(const std::filesystem::path& path, const ProcedureInfo& info,
                                       bool k3) const;
  static CalResult CommitProcedureState(platform::IniEdit& edit);
  // Reads section "Информация" into info (a missing key keeps the present value) and resizes the
  // log to info.ShotCount + 2 rows. Refused, with nothing changed, when the file is missing or
  // its shot count is negative or absurd.
  CalResult LoadProcedureInfo(const std::filesystem::path& path, ProcedureInfo& info, bool k3);
  // Reads the shot rows 1 ... LoggedShots() (a missing key keeps the cell's text) and selects the
  // last shot row.
  void LoadShotRows(const std::filesystem::path& path);
  // Both of the above.
  CalResult LoadProcedureState(const std::filesystem::path& path, ProcedureInfo& info,
                               bool k3 = false);

 private:
  // Source row of kilovolt kv's grid row for the range start, checked against the table.
  CalResult CheckRange(const CalRange& range, int& offset) const;
  struct SweepRows {
    std::vector<int> down, up;
  };
  // The logged rows of the downward and the upward sweep (by voltage, or by current for K3).
  SweepRows InRangeRows(const SweepShots& shots, bool currents, int lowBound, int highBound) const;
  // The points (row.*xField, row.*yField) of both sweeps in voltage order: the downward sweep in
  // front, reversed, the upward sweep behind. Fails on the first row that is not numbers.
  CalResult CollectSweepPoints(const SweepRows& rows, int ShotRow::*xField, int ShotRow::*yField,
                               PointList& x, PointList& y) const;
  void ResetNewTables();

  int min_ = 0;
  int max_ = 0;
  int step_ = 0;
};

// A header current counts as reached by a shot within this share of it (log scale).
inline constexpr double kGridReach = 0.05;

// The code for a grid shot aimed at targetMa: from the logged shot nearest to it in log(current),
// moved along the slope of log(current) over the code of the shots around it; never more than
// maxMove from that shot's code. nullopt without shots.
std::optional<int> GridShotCode(const std::vector<ShotRow>& shots, int targetMa, int maxMove);

// Whole number in a cell's text (blanks around it and a sign allowed); nullopt otherwise.
std::optional<int> CellInt(const std::string& text);

}  // namespace kvt
