#pragma once
// The connection information window: finds the port the apparatus answers on, identifies the
// system type and version, reads the bus modules and compares them with the settings file, has
// the controller verify the configured banks' checksums and sums it up in a conclusion. The steps
// are run in order by the connection sequence (app/Connection.h) under the device lock; each can
// also be run by itself once the port is open.

#include <cstdint>
#include <string>
#include <vector>

#include "app/ToolWindow.h"
#include "platform/Controls.h"

namespace kvt {

inline constexpr const char* kUnknownModule = "Неизвестный модуль";
inline constexpr const char* kModulesSection = "Описание системных модулей";
inline constexpr const char* kAutoConfigSection = "Описание режимов автоконфигурации";

// Follows the port's name wherever the port in use is the apparatus simulator (the connection
// window's first line, the main window's title).
inline constexpr const char* kSimulatorMark = " (Имитатор аппарата)";

// Follows the main window's title once the serial trace has stopped.
inline constexpr const char* kTraceStoppedMark = " — трассировка линии остановлена";

// The main window's title while the connection link has the port open ("" when none).
std::string MainWindowTitle(const std::string& base, const std::string& port, bool simulator);

class TfrmAdjustConnectionInfo {
 public:
  // Counted as the host's open connection window while it lives (none: a window tested alone).
  explicit TfrmAdjustConnectionInfo(MainHost* host = nullptr);
  ~TfrmAdjustConnectionInfo();
  TfrmAdjustConnectionInfo(const TfrmAdjustConnectionInfo&) = delete;
  TfrmAdjustConnectionInfo& operator=(const TfrmAdjustConnectionInfo&) = delete;

  // The port (COM1 .. COM4) whose main controller answers its address with exactly one byte, or
  // "" (link/PortProbe.h). Sets LinkUp and Label2. Every probed port is closed again.
  std::string FindPort();
  // The device line and the software version into Label2; TypeKnown and SystemType.
  void DetectType();
  // The modules table, the three lists and the module flags of SystemStatus.
  void DetectModules();
  // The checksum table and ChecksumsOk.
  void CheckBanks();
  // The conclusion text.
  void ShowConclusion();
  // The conclusion when no port answered: which ports were tried.
  void ShowNoAnswer();
  // The connection this window describes was lost: the conclusion is greyed and says so.
  void MarkConnectionLost();
  bool ConnectionLost() const { return connectionLost_; }

  const std::vector<int>& UnknownPages() const { return unknownPages_; }
  const std::vector<int>& ViolatingRows() const { return violatingRows_; }
  const std::vector<int>& MissingPages() const { return missingPages_; }

  platform::Form Self{"frmAdjustConnectionInfo"};
  platform::Panel Panel1{"Panel1"};
  platform::Label Label2{"Label2"};
  platform::GroupBox GroupBox3{"GroupBox3"};
  platform::StringGrid ModulesTable{"ModulesTable", 3, 2};
  platform::GroupBox GroupBox2{"GroupBox2"};
  platform::StringGrid StringGrid1{"StringGrid1", 3, 1};
  platform::GroupBox ConclusionBox{"ConclusionBox"};
  platform::Label lbConclusion{"lbConclusion"};

 private:
  struct ModuleRow {
    int page = -1;  // -1 for the extension modules of type K4 (no page shown)
    int code = 0;
    std::string name;
  };
  void AddModuleRow(const ModuleRow& row);

  std::vector<std::string> triedPorts_;
  bool connectionLost_ = false;

  ToolWindowMark openMark_;
  std::vector<ModuleRow> rows_;  // the data rows of ModulesTable, in order
  std::vector<int> unknownPages_;
  std::vector<int> violatingRows_;  // rows of ModulesTable (1 = first data row)
  std::vector<int> missingPages_;
};

}  // namespace kvt
