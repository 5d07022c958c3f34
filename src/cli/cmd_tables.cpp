// kvtctl commands of the tube tables: the calibration and resistance tables as the apparatus
// keeps them, and (on the simulator) what exact tables and channel coefficients would be.

#include <cmath>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "cli/Json.h"
#include "link/PortProbe.h"
#include "link/SystemLink.h"
#include "platform/LinkLock.h"
#include "platform/SerialPort.h"
#include "sim/Apparatus.h"
#include "sim/Install.h"
#include "sim/Truth.h"

namespace {

struct Tables {
  std::string port;
  std::string type;
  int start = 0;
  int end = 0;
  int step = 0;
  std::vector<std::uint16_t> cal;  // row 0 the header currents, then one row of 8 per kV step
  std::vector<std::uint8_t> re;    // one figure per kV from start to end
  int kuan = 0;
  int kmes = 0;
  std::uint8_t k4[9] = {};
};

// Finds the apparatus and reads its tables under the device lock: 0, or the exit code with the
// message printed.
int ReadTables(const char* command, Tables& t) {
  if (!cli::SettingsPresent()) return cli::kExitNotStarted;
  t.port = kvt::ProbeMainControllerPort();
  if (t.port.empty())
    return cli::Fail(std::string(command) + ": no apparatus answers on COM1..COM4");
  kvt::TSystemLink connection(t.port);
  if (!connection.IsOpen()) {
    return cli::Fail(std::string(command) + ": " + t.port +
                     " answered but could not be opened again");
  }
  platform::LinkLock::Guard guard(platform::TheLinkLock());
  kvt::TSystemLink link;
  t.type = link.ReadSystemType();
  t.start = link.ReadTableStart();
  t.end = link.ReadTableEnd();
  t.step = link.ReadTableStep();
  t.cal = link.ReadCalibrationTable();
  t.re = link.ReadResistanceTable();
  std::uint8_t bank0[0x89] = {};
  link.ReadMemory(0, sizeof bank0, bank0);
  if (!link.LastTransferOk() || t.cal.size() < 16) {
    return cli::Failed(std::string(command) + ": the tables could not be read (table " +
                       std::to_string(t.start) + ".." + std::to_string(t.end) + " kV step " +
                       std::to_string(t.step) + ")");
  }
  t.kuan = bank0[0x13];
  t.kmes = bank0[0x15];
  std::copy(bank0 + 0x80, bank0 + 0x89, t.k4);
  return 0;
}

// One row per kV of the table, one column per header current; cell(kv, column) gives the value.
void PrintGrid(const Tables& t, const std::function<std::string(int kv, int column)>& cell) {
  std::printf("%6s", "kV\\mA");
  for (int c = 0; c < 8; ++c) std::printf("%7d", t.cal[static_cast<std::size_t>(c)]);
  std::printf("\n");
  const int rows = static_cast<int>(t.cal.size() / 8) - 1;
  for (int r = 0; r < rows; ++r) {
    const int kv = t.start + t.step * r;
    std::printf("%6d", kv);
    for (int c = 0; c < 8; ++c) std::printf("%7s", cell(kv, c).c_str());
    std::printf("\n");
  }
}

// The resistance figures, ten kilovolts to a line.
void PrintResistance(const Tables& t, const std::function<std::string(int kv)>& figure) {
  std::printf("Re by kV:\n");
  for (int kv = t.start; kv <= t.end; kv += 10) {
    std::printf("%6d", kv);
    for (int k = kv; k < kv + 10 && k <= t.end; ++k) std::printf("%5s", figure(k).c_str());
    std::printf("\n");
  }
}

std::string Int(double v) {
  return std::to_string(static_cast<long>(std::lround(v)));
}

// The table's frame in a document: the header currents and the kV of every row.
void JsonFrame(cli::Json& doc, const Tables& t) {
  doc["port"] = t.port;
  doc["type"] = t.type;
  doc["start_kv"] = t.start;
  doc["end_kv"] = t.end;
  doc["step_kv"] = t.step;
  cli::Json currents = cli::Json::array();
  for (std::size_t c = 0; c < 8; ++c) currents.push_back(t.cal[c]);
  doc["currents_ma"] = currents;
}

// Rows {"kv", "codes": [8]} and {"kv", "re"} from the given cells.
cli::Json JsonRows(const Tables& t, const std::function<cli::Json(int kv, int column)>& cell) {
  cli::Json rows = cli::Json::array();
  const int count = static_cast<int>(t.cal.size() / 8) - 1;
  for (int r = 0; r < count; ++r) {
    const int kv = t.start + t.step * r;
    cli::Json codes = cli::Json::array();
    for (int c = 0; c < 8; ++c) codes.push_back(cell(kv, c));
    rows.push_back(cli::Json{{"kv", kv}, {"codes", codes}});
  }
  return rows;
}

cli::Json JsonResistance(const Tables& t, const std::function<cli::Json(int kv)>& figure) {
  cli::Json rows = cli::Json::array();
  for (int kv = t.start; kv <= t.end; ++kv)
    rows.push_back(cli::Json{{"kv", kv}, {"re", figure(kv)}});
  return rows;
}

int TablesCommand(cli::Context& context) {
  if (!context.args.empty()) return cli::Fail("tables takes no arguments");
  Tables t;
  if (int rc = ReadTables("tables", t)) return rc;
  if (cli::JsonOutput()) {
    cli::Json doc = cli::JsonDocument();
    JsonFrame(doc, t);
    doc["calibration"] = JsonRows(t, [&](int kv, int c) {
      std::size_t row = static_cast<std::size_t>((kv - t.start) / t.step + 1);
      return cli::Json(static_cast<std::int16_t>(t.cal[row * 8 + static_cast<std::size_t>(c)]));
    });
    doc["resistance"] = JsonResistance(t, [&](int kv) {
      std::size_t i = static_cast<std::size_t>(kv - t.start);
      return i < t.re.size() ? cli::Json(t.re[i]) : cli::Json();
    });
    doc["kuan"] = t.kuan;
    doc["kmes"] = t.kmes;
    return cli::EmitJson(std::move(doc), 0);
  }
  std::printf("calibration table of %s on %s (filament codes):\n", t.type.c_str(), t.port.c_str());
  PrintGrid(t, [&](int kv, int c) {
    std::size_t row = static_cast<std::size_t>((kv - t.start) / t.step + 1);
    return std::to_string(static_cast<std::int16_t>(t.cal[row * 8 + static_cast<std::size_t>(c)]));
  });
  PrintResistance(t, [&](int kv) {
    std::size_t i = static_cast<std::size_t>(kv - t.start);
    return i < t.re.size() ? std::to_string(t.re[i]) : std::string("-");
  });
  std::printf("KUAN %d  KMES %d\n", t.kuan, t.kmes);
  return 0;
}

int SimTruthCommand(cli::Context& context) {
  if (!context.args.empty()) return cli::Fail("sim-truth takes no arguments");
  if (!cli::SettingsPresent()) return cli::kExitNotStarted;
  bool mapped = false;
  for (const std::string& name : platform::ListSerialPorts())
    mapped = mapped || platform::MapPortName(name) == "simulator";
  if (!mapped) {
    return cli::Fail(
        "sim-truth: no port of vesmar.ini [Ports] maps to the simulator; only the simulator "
        "knows its own truth, a real apparatus is measured");
  }
  Tables t;
  if (int rc = ReadTables("sim-truth", t)) return rc;
  const std::string target = platform::MapPortName(t.port);
  auto apparatus = sim::CurrentApparatus();
  if (target != "simulator" || !apparatus) {
    return cli::Fail("sim-truth: " + t.port + " is a real apparatus (" +
                     (target.empty() ? std::string("unmapped") : target) +
                     "); only the simulator knows its own truth, a real one is measured");
  }
  const sim::Profile p = apparatus->CurrentProfile();
  if (cli::JsonOutput()) {
    cli::Json doc = cli::JsonDocument();
    JsonFrame(doc, t);
    doc["type"] = p.type;
    doc["calibration"] = JsonRows(t, [&](int kv, int c) {
      return cli::Json(sim::truth::FilamentCode(p, kv, t.cal[static_cast<std::size_t>(c)]));
    });
    doc["resistance"] =
        JsonResistance(t, [&](int kv) { return cli::Json(sim::truth::Resistance(p, kv)); });
    doc["kuan"] = sim::truth::Kuan(p);
    doc["kuan_stored"] = t.kuan;
    doc["kmes"] = sim::truth::Kmes(p);
    doc["kmes_stored"] = t.kmes;
    doc["mains_v"] = p.plant.mainsVolts[0];
    cli::Json phases = cli::Json::array();
    if (p.type == "K4") {
      static const char* const kPhase[3] = {"A", "B", "C"};
      for (int i = 0; i < 3; ++i) {
        const auto c = sim::truth::Phase(p, i);
        const int storedB = static_cast<std::int16_t>(t.k4[3 * i + 1] << 8 | t.k4[3 * i + 2]);
        phases.push_back(cli::Json{{"phase", kPhase[i]},
                                   {"a", c.a},
                                   {"b", c.b},
                                   {"a_stored", t.k4[3 * i]},
                                   {"b_stored", storedB},
                                   {"mains_v", p.plant.mainsVolts[static_cast<std::size_t>(i)]}});
      }
    }
    doc["phases"] = phases;
    return cli::EmitJson(std::move(doc), 0);
  }
  std::printf("exact settings of the simulated %s on %s\n", p.type.c_str(), t.port.c_str());
  std::printf("filament codes the tube truly needs:\n");
  PrintGrid(t, [&](int kv, int c) {
    return Int(sim::truth::FilamentCode(p, kv, t.cal[static_cast<std::size_t>(c)]));
  });
  PrintResistance(t, [&](int kv) { return Int(sim::truth::Resistance(p, kv)); });
  std::printf("KUAN %.1f (stored %d)  KMES %.1f (stored %d)  mains %.1f V\n", sim::truth::Kuan(p),
              t.kuan, sim::truth::Kmes(p), t.kmes, p.plant.mainsVolts[0]);
  std::printf("%s\n", sim::truth::RotationLine(p).c_str());
  if (p.type == "K4") {
    static const char* const kPhase[3] = {"A", "B", "C"};
    for (int i = 0; i < 3; ++i) {
      const auto c = sim::truth::Phase(p, i);
      const int storedB = static_cast<std::int16_t>(t.k4[3 * i + 1] << 8 | t.k4[3 * i + 2]);
      std::printf("phase %s: A %.1f B %.1f (stored A %d B %d)  %.1f V\n", kPhase[i], c.a, c.b,
                  t.k4[3 * i], storedB, p.plant.mainsVolts[static_cast<std::size_t>(i)]);
    }
  }
  return 0;
}

const cli::Registrar tablesCommand(
    "tables", "tables                print the calibration and resistance tables", TablesCommand,
    true);
const cli::Registrar simTruthCommand(
    "sim-truth", "sim-truth             the simulator only: exact tables and channel coefficients",
    SimTruthCommand, true);

}  // namespace
