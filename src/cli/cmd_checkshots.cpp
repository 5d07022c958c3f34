// kvtctl check-shots: a series of type-K2 check shots without the window, judged against the
// tolerances of vesmar.ini [Допуски]. Without options it makes the series the window offers when
// it opens (the calibration table's range and step, 60 ms, 70 mA). A line per shot, the verdict
// per quantity and the overall verdict; exit 0 when everything is within tolerance, 1 when not
// (or when a shot failed), 2 when nothing could start. K3 and K4 are refused: their check shots
// need the engineer's readings off the curves.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "calibration/CalTables.h"
#include "cli/Command.h"
#include "cli/ExposureStart.h"
#include "cli/Json.h"
#include "exposure/Snapshot.h"
#include "image/Settings.h"
#include "link/PortProbe.h"
#include "link/SystemLink.h"
#include "platform/LinkLock.h"
#include "platform/SerialPort.h"
#include "procedures/CheckShots.h"
#include "procedures/Tolerances.h"

namespace {

constexpr const char* kUsage =
    "usage: check-shots [--kv LIST] [--ma N] [--ms N] [--repeat N] [--json] [--allow-exposures]";

// What the window offers when it opens: 60 ms shots at the type K2's 70 mA.
constexpr int kDefaultMs = 60;
constexpr int kDefaultMa = 70;

struct Options {
  std::vector<int> kv;
  int ma = kDefaultMa;
  int ms = kDefaultMs;
  int repeat = 1;
  bool json = false;
  bool allowExposures = false;
};

std::optional<int> Whole(const std::string& text, int min, int max) {
  const auto v = kvt::CellInt(text);
  if (!v || *v < min || *v > max) return std::nullopt;
  return v;
}

// "60,70,80": each a voltage in kV.
std::optional<std::vector<int>> KvList(const std::string& text) {
  std::vector<int> out;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    const auto v = Whole(item, 1, 255);
    if (!v) return std::nullopt;
    out.push_back(*v);
  }
  if (out.empty()) return std::nullopt;
  return out;
}

cli::Json Optional(const std::optional<double>& v) {
  return v ? cli::Json(*v) : cli::Json(nullptr);
}

std::string Deviation(const kvt::ShotValues& s, kvt::Quantity q) {
  const auto m = s.Measured(q);
  const auto d = m ? kvt::DeviationPercent(s.Set(q), *m) : std::nullopt;
  return d ? kvt::PercentText(*d) + "%" : std::string("-");
}

int CheckShots(cli::Context& context) {
  Options o;
  o.json = cli::JsonOutput();  // main takes --json off the arguments
  const auto& a = context.args;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= a.size()) return std::nullopt;
      return a[++i];
    };
    const std::string flag = a[i];
    if (flag == "--kv") {
      const auto v = value();
      const auto list = v ? KvList(*v) : std::nullopt;
      if (!list)
        return cli::Fail("check-shots: --kv needs voltages in kV, e.g. 60,70,80\n" +
                         std::string(kUsage));
      o.kv = *list;
    } else if (flag == "--ma" || flag == "--ms" || flag == "--repeat") {
      const auto v = value();
      const int min = flag == "--ms" ? 10 : 1;
      const int max = flag == "--ms" ? 2000 : flag == "--ma" ? 255 : 100;
      const auto n = v ? Whole(*v, min, max) : std::nullopt;
      if (!n)
        return cli::Fail("check-shots: " + flag + " needs a whole number from " +
                         std::to_string(min) + " to " + std::to_string(max) + "\n" + kUsage);
      (flag == "--ma" ? o.ma : flag == "--ms" ? o.ms : o.repeat) = *n;
    } else if (flag == "--json") {
      o.json = true;
    } else if (flag == "--allow-exposures") {
      o.allowExposures = true;
    } else {
      return cli::Fail("check-shots: unknown argument \"" + flag + "\"\n" + kUsage);
    }
  }

  if (!cli::SettingsPresent()) return cli::kExitNotStarted;
  const kvt::TolerancesRead tolerances = kvt::ReadTolerances();
  for (const std::string& p : tolerances.problems) std::cerr << "kvtctl: warning: " << p << "\n";
  const kvt::Tolerances& t = tolerances.values;

  const cli::ExposureCommand command{
      "check-shots",
      " is a real apparatus and check shots are X-ray exposures; nothing done. Give "
      "--allow-exposures to make them.",
      "; only type K2 is checked here. Types K3 and K4 are checked in the program's check-shots "
      "window, where the engineer reads each shot's voltage and current off its curves; nothing "
      "done."};
  std::unique_ptr<kvt::TSystemLink> connection;
  const int started =
      cli::StartExposures(command, o.allowExposures, connection, [&o](kvt::TSystemLink& link) {
        if (!o.kv.empty()) return 0;
        // The window's opening offer: the calibration table's range and step.
        const int start = std::int16_t(link.ReadTableStart());
        bool read = link.LastTransferOk();
        const int end = std::int16_t(link.ReadTableEnd());
        read = read && link.LastTransferOk();
        const int step = std::int16_t(link.ReadTableStep());
        read = read && link.LastTransferOk();
        if (!read || start < 1 || end > 255 || start > end)
          return cli::Fail(
              "check-shots: the calibration table's range could not be read; give --kv");
        for (int kv = start; kv <= end; kv += step > 0 ? step : end - start + 1) o.kv.push_back(kv);
        return 0;
      });
  if (started) return started;

  std::vector<int> series;
  for (int kv : o.kv)
    for (int r = 0; r < o.repeat; ++r) series.push_back(kv);
  const int hundredths = o.ms / 10;
  const int pauseMs = std::max(0, kvt::settings::ReadSnapshotTimeout()) * 1000;

  cli::Json out = cli::JsonDocument();
  out["tolerances"] = {{"voltage_percent", t.voltagePercent},
                       {"current_percent", t.currentPercent},
                       {"time_percent", t.timePercent},
                       {"time_ms", t.timeMs},
                       {"voltage_cv", t.voltageCv}};
  out["shots"] = cli::Json::array();
  if (!o.json) {
    std::printf("%s\n", kvt::TolerancesLine(t).c_str());
    std::fflush(stdout);
  }

  std::vector<kvt::ShotValues> values;
  std::string failure;
  std::unique_ptr<kvt::TSnapshot> shot;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    shot = std::make_unique<kvt::TSnapshot>(true);
  }
  for (std::size_t n = 0; n < series.size(); ++n) {
    if (n > 0 && pauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    kvt::K2CheckShot done;
    {
      platform::LinkLock::Guard guard(platform::TheLinkLock());
      done = kvt::MakeK2CheckShot(*shot, series[n], o.ma, hundredths);
    }
    if (!done.ok) {
      failure = "shot " + std::to_string(n + 1) + " at " + std::to_string(series[n]) +
                " kV failed: " + done.failure;
      break;
    }
    const kvt::ShotValues& s = done.values;
    values.push_back(s);
    bool within = true;
    for (kvt::Quantity q : kvt::kQuantities)
      if (const auto m = s.Measured(q)) within = within && kvt::WithinTolerance(q, s.Set(q), *m, t);
    if (o.json) {
      const auto dev = [&](kvt::Quantity q) {
        const auto m = s.Measured(q);
        return Optional(m ? kvt::DeviationPercent(s.Set(q), *m) : std::nullopt);
      };
      out["shots"].push_back({{"n", n + 1},
                              {"kv_set", s.setKv},
                              {"kv", Optional(s.kv)},
                              {"ma_set", s.setMa},
                              {"ma", Optional(s.ma)},
                              {"ms_set", s.setMs},
                              {"ms", Optional(s.ms)},
                              {"kv_percent", dev(kvt::Quantity::Voltage)},
                              {"ma_percent", dev(kvt::Quantity::Current)},
                              {"ms_percent", dev(kvt::Quantity::Time)},
                              {"within", within}});
    } else {
      char ms[32] = "-";
      if (s.ms) std::snprintf(ms, sizeof ms, "%.1f", *s.ms);
      std::printf(
          "shot=%zu kv_set=%d kv=%d ma_set=%d ma=%d ms_set=%d ms=%s dkv=%s dma=%s dms=%s %s\n",
          n + 1, s.setKv, int(*s.kv), s.setMa, int(*s.ma), s.setMs, ms,
          Deviation(s, kvt::Quantity::Voltage).c_str(),
          Deviation(s, kvt::Quantity::Current).c_str(), Deviation(s, kvt::Quantity::Time).c_str(),
          within ? "in" : "OUT");
      std::fflush(stdout);
    }
  }

  const kvt::SeriesVerdict verdict = kvt::JudgeSeries(values, t);
  const bool ok = failure.empty() && verdict.ok && !values.empty();
  std::string summary = verdict.Summary();
  if (!failure.empty()) summary = "Серия прервана: " + failure;
  if (o.json) {
    out["verdicts"] = cli::Json::array();
    for (const kvt::QuantityVerdict& v : verdict.quantities)
      out["verdicts"].push_back({{"quantity", kvt::QuantityName(v.quantity)},
                                 {"measured", v.measured},
                                 {"unmeasured", v.unmeasured},
                                 {"worst_percent", v.worstPercent},
                                 {"ok", v.ok}});
    out["repeats"] = cli::Json::array();
    for (const kvt::RepeatVerdict& r : verdict.repeats)
      out["repeats"].push_back({{"kv_set", r.setKv},
                                {"ma_set", r.setMa},
                                {"ms_set", r.setMs},
                                {"count", r.count},
                                {"cv", r.cv},
                                {"ok", r.ok}});
    out["ok"] = ok;
    out["summary"] = summary;
    if (!failure.empty()) out["error"] = failure;
    return cli::EmitJson(std::move(out), ok ? 0 : cli::kExitFailed);
  } else {
    for (const kvt::QuantityVerdict& v : verdict.quantities)
      std::printf("%s\n", kvt::VerdictLine(v, t).c_str());
    for (const kvt::RepeatVerdict& r : verdict.repeats)
      std::printf("%s\n", kvt::RepeatLine(r, t).c_str());
    std::printf("%s\n", summary.c_str());
  }
  std::fflush(stdout);
  if (!failure.empty()) std::cerr << "kvtctl: check-shots: " << failure << "\n";
  return ok ? 0 : cli::kExitFailed;
}

const cli::Registrar checkShotsCommand(
    "check-shots",
    "check-shots [--kv LIST] [--ma N] [--ms N] [--repeat N] [--json] [--allow-exposures]   "
    "type-K2 check shots judged against the tolerances",
    CheckShots, true);

}  // namespace
