#include "sim/Profile.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <optional>

#include "platform/Ini.h"

namespace sim {
namespace {

std::string Trim(std::string s) {
  std::size_t b = 0;
  while (b < s.size() && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  std::size_t e = s.size();
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

// The profile functions hand back the whole rest of the line; the simulator's own files carry
// explanations after a ';', which are not part of the value.
std::string StripComment(const std::string& raw) {
  std::size_t semi = raw.find(';');
  return Trim(semi == std::string::npos ? raw : raw.substr(0, semi));
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::optional<long> ParseNumber(const std::string& text, int base) {
  if (text.empty()) return std::nullopt;
  long v = 0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (base == 16 && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    first += 2;
  }
  auto [ptr, ec] = std::from_chars(first, last, v, base);
  if (ec != std::errc() || ptr != last) return std::nullopt;
  return v;
}

class Reader {
 public:
  Reader(const std::filesystem::path& path, Profile& p) : ini_(path), p_(p) {}

  // The value without its comment, or nullopt when the key is absent or empty.
  std::optional<std::string> Value(const std::string& section, const std::string& key) {
    // A sentinel that no real value starts with tells "absent" from "empty".
    static const std::string kAbsent =
        "\x01"
        "absent";
    std::string raw = ini_.ReadString(section, key, kAbsent);
    if (raw == kAbsent) return std::nullopt;
    std::string v = StripComment(raw);
    if (v.empty()) return std::nullopt;
    return v;
  }

  void Int(const std::string& section, const std::string& key, int& out, long lo, long hi) {
    auto v = Value(section, key);
    if (!v) return;
    auto n = ParseNumber(*v, 10);
    if (!n || *n < lo || *n > hi) {
      Warn(section, key, *v,
           "expected a number from " + std::to_string(lo) + " to " + std::to_string(hi));
      return;
    }
    out = static_cast<int>(*n);
  }

  void Double(const std::string& section, const std::string& key, double& out, double lo,
              double hi) {
    auto v = Value(section, key);
    if (!v) return;
    double d = 0;
    auto [ptr, ec] = std::from_chars(v->data(), v->data() + v->size(), d);
    if (ec != std::errc() || ptr != v->data() + v->size() || !(d >= lo && d <= hi)) {
      Warn(section, key, *v, "expected a number from " + Short(lo) + " to " + Short(hi));
      return;
    }
    out = d;
  }

  static std::string Short(double d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", d);
    return buf;
  }

  // An alarm code: two hexadecimal digits, from lo to 0xFF.
  void AlarmCode(const std::string& section, const std::string& key, int& out, int lo) {
    auto v = Value(section, key);
    if (!v) return;
    auto n = ParseNumber(*v, 16);
    if (!n || *n < lo || *n > 255) {
      Warn(section, key, *v, "expected an alarm code of two hexadecimal digits");
      return;
    }
    out = static_cast<int>(*n);
  }

  void Bool(const std::string& section, const std::string& key, bool& out) {
    int v = out ? 1 : 0;
    Int(section, key, v, 0, 1);
    out = v != 0;
  }

  void Warn(const std::string& section, const std::string& key, const std::string& value,
            const std::string& why) {
    p_.warnings.push_back("simulator.ini [" + section + "] " + key + "=" + value + ": " + why +
                          "; the default is used");
  }

  platform::IniFile ini_;
  Profile& p_;
};

}  // namespace

Profile LoadProfile(const std::filesystem::path& iniPath) {
  Profile p;
  std::error_code ec;
  if (!std::filesystem::exists(iniPath, ec)) return p;
  Reader r(iniPath, p);

  const std::string sim = "Simulator";
  if (auto t = r.Value(sim, "Type")) {
    std::string up = *t;
    for (char& c : up) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (up.size() == 2) {
      p.type = up;
    } else {
      r.Warn(sim, "Type", *t, "expected two letters such as K2, K3 or K4");
    }
  }
  r.Int(sim, "Version", p.version, 0, 255);
  if (auto t = r.Value(sim, "Timing")) {
    std::string l = Lower(*t);
    if (l == "instant") {
      p.timing = Timing::Instant;
    } else if (l == "realistic") {
      p.timing = Timing::Realistic;
    } else {
      r.Warn(sim, "Timing", *t, "expected instant or realistic");
    }
  }
  r.Int(sim, "Latency", p.latencyMs, 0, 10000);
  {
    // An empty MemoryFile means "do not keep the memory", so absent and empty differ here.
    static const std::string kAbsent =
        "\x01"
        "absent";
    std::string raw = r.ini_.ReadString(sim, "MemoryFile", kAbsent);
    if (raw != kAbsent) p.memoryFile = StripComment(raw);
  }
  r.Bool(sim, "VoltageMeter", p.voltageMeter);

  const std::string mods = "Modules";
  for (int page = 0; page < kPageCount; ++page) {
    r.Int(mods, "Page" + std::to_string(page), p.pageCodes[page], 0, 255);
  }
  for (int m = 0; m < 4; ++m) {
    r.Int(mods, "Ext" + std::to_string(252 + m), p.extensionCodes[m], 0, 255);
  }

  const std::string faults = "Faults";
  if (auto v = r.Value(faults, "BrokenBanks")) {
    std::vector<int> banks;
    std::string item;
    bool ok = true;
    auto flush = [&] {
      std::string t = Trim(item);
      item.clear();
      if (t.empty()) return;
      auto n = ParseNumber(t, 10);
      if (!n || *n < 0 || *n > 254) {
        ok = false;
        return;
      }
      banks.push_back(static_cast<int>(*n));
    };
    for (char c : *v) {
      if (c == ',') {
        flush();
      } else {
        item += c;
      }
    }
    flush();
    if (ok) {
      p.brokenBanks = banks;
    } else {
      r.Warn(faults, "BrokenBanks", *v, "expected bank numbers 0..254 separated by commas");
    }
  }
  r.Bool(faults, "Silent", p.silent);
  r.Int(faults, "SilentAfter", p.silentAfter, 0, 1000000000);
  r.Int(faults, "SilentFor", p.silentForMs, 0, 1000000000);
  r.Int(faults, "Garbage", p.garbage, 0, 1000);
  r.Bool(faults, "Truncate", p.truncate);
  r.Bool(faults, "Overlong", p.overlong);
  r.AlarmCode(faults, "Alarm", p.alarm, 0);
  r.Int(faults, "State", p.state, 0, 255);

  // Each plant part reads its own keys here.
  const std::string plant = "Plant";
  PlantSettings& pl = p.plant;
  r.Double(plant, "Mains", pl.mainsVolts[0], 0, 400);
  r.Double(plant, "MainsB", pl.mainsVolts[1], 0, 400);
  r.Double(plant, "MainsC", pl.mainsVolts[2], 0, 400);
  r.Double(plant, "AnodeGain", pl.anodeGain, 0.5, 2.0);
  r.Double(plant, "MainsGain", pl.mainsGain, 0.5, 2.0);
  static const char* const kPhase[3] = {"A", "B", "C"};
  for (int i = 0; i < 3; ++i) {
    r.Double(plant, std::string("PhaseSlope") + kPhase[i], pl.phaseSlope[i], 0.5, 3.0);
    r.Double(plant, std::string("PhaseOffset") + kPhase[i], pl.phaseOffset[i], -100, 100);
  }
  r.Double(plant, "TubeAgeing", pl.tubeAgeing, 0, 0.5);
  r.Double(plant, "ResistanceError", pl.resistanceError, -0.5, 0.5);
  r.Double(plant, "RegulationError", pl.regulationKv, 0, 10);
  r.Double(plant, "Noise", pl.noise, 0, 10);
  {
    int seed = static_cast<int>(pl.seed);
    r.Int(plant, "Seed", seed, 0, 2147483647);
    pl.seed = static_cast<std::uint32_t>(seed);
  }
  if (auto v = r.Value(plant, "StatorFault")) {
    const std::string l = Lower(*v);
    using F = PlantSettings::StatorFault;
    if (l == "none") {
      pl.statorFault = F::None;
    } else if (l == "open") {
      pl.statorFault = F::Open;
    } else if (l == "shorted" || l == "short") {
      pl.statorFault = F::Shorted;
    } else if (l == "overrange") {
      pl.statorFault = F::OverRange;
    } else {
      r.Warn(plant, "StatorFault", *v, "expected none, open, shorted or overrange");
    }
  }
  r.AlarmCode(plant, "AlarmCode", pl.alarmCode, 1);
  r.Int(plant, "AlarmOnShot", pl.alarmOnShot, 0, 1000000);
  r.Int(plant, "AlarmOnRunUp", pl.alarmOnRunUp, 0, 1000000);
  r.Int(plant, "AlarmAfter", pl.alarmAfterSeconds, 0, 1000000);

  ReadRotationPlant(r.ini_, p.rotation, p.warnings);
  ReadFilamentPlant(r.ini_, p.filament, p.warnings);
  return p;
}

}  // namespace sim
