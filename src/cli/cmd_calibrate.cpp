// kvtctl calibrate: the type-K2 tube calibration without the window (other types are refused:
// theirs needs the engineer's reading of every shot). The same worker runs in
// automatic mode over the chosen range; every logged shot is printed, then the new tables, which
// may be exported as ".dat" text and stored into the apparatus's memory image.

#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "calibration/CalRun.h"
#include "cli/Command.h"
#include "cli/ExposureStart.h"
#include "cli/Json.h"
#include "image/MemoryImage.h"
#include "image/Settings.h"
#include "link/PortProbe.h"
#include "link/SystemLink.h"
#include "platform/LinkLock.h"
#include "platform/SerialPort.h"

namespace {

constexpr const char* kUsage =
    "usage: calibrate [--from KV] [--to KV] [--grid] [--out NEW.dat] [--apply] [--allow-exposures]";

struct Options {
  std::optional<int> from, to;
  std::string out;
  bool apply = false;
  bool allowExposures = false;
  bool grid = false;
};

std::optional<int> ParseKv(const std::string& text) {
  const auto v = kvt::CellInt(text);
  if (!v || *v < 0 || *v > 1000) return std::nullopt;
  return v;
}

std::string OneLine(std::string text) {
  while (!text.empty() && text.front() == '\n') text.erase(text.begin());
  for (char& c : text)
    if (c == '\n') c = ' ';
  return text;
}

void PrintTables(const kvt::TCalTables& t) {
  std::printf("calibration table\n");
  for (int r = 0; r < t.NewCTable.RowCount(); ++r) {
    std::printf("%5s", t.NewCTable.Cell(0, r).c_str());
    for (int c = 1; c <= 8; ++c) std::printf(" %5s", t.NewCTable.Cell(c, r).c_str());
    std::printf("\n");
  }
  std::printf("resistance table\n");
  for (int i = 1; i < t.NewRTable.RowCount(); ++i)
    std::printf("%s%s=%s", (i - 1) % 10 == 0 ? (i > 1 ? "\n" : "") : " ",
                t.NewRTable.Cell(0, i).c_str(), t.NewRTable.Cell(1, i).c_str());
  std::printf("\n");
}

// --json: a cell as a number where it holds one.
cli::Json Cell(const std::string& text) {
  if (const auto v = kvt::CellInt(text)) return *v;
  return text;
}

cli::Json TablesJson(const kvt::TCalTables& t) {
  cli::Json cal = cli::Json::array();
  for (int r = 0; r < t.NewCTable.RowCount(); ++r) {
    cli::Json row = cli::Json::array();
    for (int c = 0; c <= 8; ++c) row.push_back(Cell(t.NewCTable.Cell(c, r)));
    cal.push_back(row);
  }
  cli::Json re = cli::Json::array();
  for (int i = 1; i < t.NewRTable.RowCount(); ++i)
    re.push_back(
        cli::Json{{"kv", Cell(t.NewRTable.Cell(0, i))}, {"re", Cell(t.NewRTable.Cell(1, i))}});
  return cli::Json{{"calibration", cal}, {"resistance", re}};
}

// Reads the image, stores the new tables into it and writes it back with the commit frames.
int Apply(const kvt::TCalTables& tables, const kvt::CalRange& range) {
  const auto config = kvt::settings::ReadImageConfig();
  if (!config)
    return cli::Failed("calibrate: " + platform::SettingsPath().string() +
                       " lacks the memory image configuration; nothing written");
  std::vector<kvt::TCalTables::ImageBlock> blocks;
  if (auto r = tables.TablesImageBlocks(range, false, blocks); !r)
    return cli::Failed("calibrate: " + OneLine(r.problem));
  kvt::TMemoryImage image;
  platform::LinkLock::Guard guard(platform::TheLinkLock());
  if (!image.LoadFromSystem(config->startBank, config->endBank))
    return cli::Failed("calibrate: the memory image could not be read; nothing written");
  for (const auto& b : blocks)
    if (b.offset + b.bytes.size() > image.Image.size())
      return cli::Failed(
          "calibrate: the memory image is too short for the tables; nothing written");
  for (const auto& b : blocks) image.Store(b.offset, b.bytes);
  image.WriteMemory(0, std::uint32_t(image.Image.size()), image.Image.data());
  if (!image.LastTransferOk())
    return cli::Failed(
        "calibrate: the apparatus did not acknowledge every write; check it with read-image");
  if (!cli::JsonOutput())
    std::printf("tables written into the apparatus (%zu bytes)\n", image.Image.size());
  return 0;
}

int Calibrate(cli::Context& context) {
  Options o;
  const auto& a = context.args;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= a.size()) return std::nullopt;
      return a[++i];
    };
    if (a[i] == "--from" || a[i] == "--to") {
      const std::string flag = a[i];
      const auto v = value();
      const auto kv = v ? ParseKv(*v) : std::nullopt;
      if (!kv) return cli::Fail("calibrate: " + flag + " needs a voltage in kV\n" + kUsage);
      (flag == "--from" ? o.from : o.to) = kv;
    } else if (a[i] == "--out") {
      const auto v = value();
      if (!v) return cli::Fail(std::string("calibrate: --out needs a file name\n") + kUsage);
      o.out = *v;
    } else if (a[i] == "--apply") {
      o.apply = true;
    } else if (a[i] == "--grid") {
      o.grid = true;
    } else if (a[i] == "--allow-exposures") {
      o.allowExposures = true;
    } else {
      return cli::Fail("calibrate: unknown argument \"" + a[i] + "\"\n" + kUsage);
    }
  }

  if (!cli::SettingsPresent()) return 2;
  // A calibration is a series of X-ray exposures; this walk is the type-K2 one.
  const cli::ExposureCommand command{
      "calibrate",
      " is a real apparatus and a calibration makes X-ray exposures; nothing done. Give "
      "--allow-exposures to calibrate it.",
      "; only type K2 is calibrated here. Types K3 and K4 are calibrated in the program's "
      "calibration window, where the engineer reads each shot's current off its curve; nothing "
      "done."};
  std::unique_ptr<kvt::TSystemLink> connection;
  if (const int r = cli::StartExposures(command, o.allowExposures, connection)) return r;

  kvt::CalRunOptions options;
  options.from = o.from;
  options.to = o.to;
  options.grid = o.grid;
  cli::Json shots = cli::Json::array();
  options.onShot = [&shots](const kvt::ShotRow& row, int stage) {
    if (cli::JsonOutput()) {
      shots.push_back(cli::Json{{"shot", row.Number},
                                {"stage", stage},
                                {"code", row.Code},
                                {"kv", row.Uv},
                                {"ma", row.Ia},
                                {"table", row.TabCode}});
      return;
    }
    std::printf("shot=%d stage=%d code=%d kv=%d ma=%d table=%d\n", row.Number, stage, row.Code,
                row.Uv, row.Ia, row.TabCode);
    std::fflush(stdout);
  };
  kvt::TCalRun run(options);
  if (auto r = run.Prepare(); !r) return cli::Fail("calibrate: " + OneLine(r.problem));
  const kvt::CalRange range = run.Range_;
  if (!cli::JsonOutput()) {
    std::printf("range=%d..%d step=%d pause_ms=%d\n", range.StartUv, range.FinishUv,
                run.Tables_.TableStep(), kvt::TCalWorker::PauseBetweenShotsMs());
    std::fflush(stdout);
  }
  cli::Json doc = cli::JsonDocument();
  doc["range"] = cli::Json{{"from_kv", range.StartUv},
                           {"to_kv", range.FinishUv},
                           {"step_kv", run.Tables_.TableStep()},
                           {"pause_ms", kvt::TCalWorker::PauseBetweenShotsMs()}};
  if (auto r = run.Run(); !r) return cli::Failed("calibrate: " + OneLine(r.problem));
  // Header currents the grid sweep could not reach follow the completion message.
  std::string gridNotes;
  if (o.grid && run.LastMessage.rfind(kvt::calmsg::kComputed, 0) == 0)
    gridNotes = OneLine(run.LastMessage.substr(std::string(kvt::calmsg::kComputed).size()));
  if (!cli::JsonOutput()) {
    if (!gridNotes.empty()) std::printf("grid: %s\n", gridNotes.c_str());
    PrintTables(run.Tables_);
  }
  doc["grid"] = o.grid ? cli::Json{{"notes", gridNotes}} : cli::Json();
  doc["shots"] = shots;
  doc["tables"] = TablesJson(run.Tables_);
  doc["out"] = o.out.empty() ? cli::Json() : cli::Json(o.out);
  if (!o.out.empty()) {
    if (auto r = run.Tables_.ExportTables(o.out, range); !r)
      return cli::Failed("calibrate: " + OneLine(r.problem));
    if (!cli::JsonOutput()) std::printf("tables saved to %s\n", o.out.c_str());
  }
  const int status = o.apply ? Apply(run.Tables_, range) : 0;
  doc["applied"] = o.apply && status == 0;
  return cli::JsonOutput() ? cli::EmitJson(std::move(doc), status) : status;
}

const cli::Registrar calibrateCommand("calibrate",
                                      "calibrate [--from KV] [--to KV] [--grid] [--out NEW.dat] "
                                      "[--apply] [--allow-exposures]   calibrate "
                                      "the tube (K2) in automatic mode",
                                      Calibrate, true);

}  // namespace
