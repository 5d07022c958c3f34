// The link's handling of whatever the line answers. A fake port hands out the fuzzer's bytes as
// replies while one of the exchanges runs: identification, memory transfers, shot curves,
// counters, tables or the reference voltage meter. Each result is checked against its rule, not
// only for crashes.
//
// Input: byte 0 picks the exchange (modulo 10), the rest is the line. Each reply is made of bursts:
// one length byte (0 = the line falls silent, the reply ends) and that many bytes.

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/AdjConnInfo.h"
#include "link/SystemLink.h"
#include "link/SystemStatus.h"
#include "platform/LinkLock.h"
#include "platform/Paths.h"
#include "platform/SerialPort.h"
#include "tools/VoltageMeter.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Exchange {
  Bytes written;
  bool address = false;
  Bytes reply;  // every byte handed out after the write, up to the silence
};

// What the line did, shared by every port object opened on it during one run.
struct Line {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  std::size_t pos = 0;
  bool silent = false;
  std::vector<Exchange> exchanges;
};

Line* g_line = nullptr;

class FuzzPort final : public platform::SerialPort {
 public:
  bool Configure() override { return true; }
  bool SetParity(platform::Parity parity) override {
    parity_ = parity;
    return true;
  }
  platform::Parity CurrentParity() const override { return parity_; }
  bool Purge() override { return true; }
  int Write(const std::uint8_t* data, std::size_t count) override {
    g_line->exchanges.push_back({Bytes(data, data + count), parity_ == platform::Parity::Mark, {}});
    g_line->silent = false;
    return int(count);
  }
  int Read(std::uint8_t* dest, std::size_t max, int) override {
    Line& l = *g_line;
    if (l.silent || l.pos >= l.size) {
      l.silent = true;
      return 0;
    }
    std::size_t n = l.data[l.pos++];
    n = std::min({n, max, l.size - l.pos});
    if (n == 0) {
      l.silent = true;
      return 0;
    }
    std::memcpy(dest, l.data + l.pos, n);
    if (!l.exchanges.empty())
      l.exchanges.back().reply.insert(l.exchanges.back().reply.end(), l.data + l.pos,
                                      l.data + l.pos + n);
    l.pos += n;
    return int(n);
  }

 private:
  platform::Parity parity_ = platform::Parity::Space;
};

void Check(bool rule) {
  if (!rule) std::abort();
}

bool Acknowledged(const Exchange& e) {
  return e.reply.size() >= 2 && e.reply[1] != kvt::kReplyRefused;
}

// A program directory in memory with the shipped settings, whose COM1 is "the simulator": here
// the fake port.
void SetUpOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  const std::filesystem::path dir =
      std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
  const std::filesystem::path program = dir / ("kvt-fuzz-replies-" + std::to_string(getpid()));
  std::filesystem::create_directories(program);
  std::filesystem::copy_file(std::filesystem::path(KVT_DATA_DIR) / "vesmar.ini",
                             program / "vesmar.ini",
                             std::filesystem::copy_options::overwrite_existing);
  platform::SetProgramDir(program);
  platform::SetSimulatorPortFactory([] { return std::make_unique<FuzzPort>(); });
}

void ReadMemoryFollowsEveryReply(std::uint32_t address, std::uint32_t count) {
  kvt::TSystemLink link;
  Bytes dest(count, 0xEE);
  link.ReadMemory(address, count, dest.data());
  const auto& ex = g_line->exchanges;
  Check(ex.size() == (count + 7) / 8);
  bool ok = true;
  for (std::size_t i = 0; i < ex.size(); ++i) {
    const std::uint32_t n = std::min<std::uint32_t>(8, count - std::uint32_t(i * 8));
    const std::uint32_t a = address + std::uint32_t(i * 8);
    Check(ex[i].written == (Bytes{0x05, 0x23, std::uint8_t(n), std::uint8_t(a >> 16),
                                  std::uint8_t(a >> 8), std::uint8_t(a)}));
    const Bytes& r = ex[i].reply;
    ok = ok && r.size() >= n + 2 && r[1] != kvt::kReplyRefused;
    // The data bytes as they came, zeros where the reply was short.
    for (std::uint32_t j = 0; j < n; ++j)
      Check(dest[i * 8 + j] == (j + 2 < r.size() ? r[j + 2] : 0));
  }
  Check(link.LastTransferOk() == ok);
}

void WriteMemoryStopsAtTheFirstFailure(std::uint32_t count) {
  kvt::TSystemLink link;
  Bytes src(count);
  for (std::uint32_t i = 0; i < count; ++i) src[i] = std::uint8_t(i * 7 + 1);
  link.WriteMemory(0x0230, count, src.data());
  const auto& ex = g_line->exchanges;
  const std::size_t chunks = (count + 7) / 8;
  std::size_t i = 0;
  bool ok = true;
  for (; i < chunks; ++i) {
    Check(i < ex.size() && ex[i].written.size() >= 5 && ex[i].written[1] == 0x01);
    if (!Acknowledged(ex[i])) {
      ok = false;
      ++i;
      break;
    }
  }
  if (ok) {
    // All chunks taken: then, and only then, the five commits.
    for (std::uint8_t g = 0; g < 5; ++g, ++i) {
      Check(i < ex.size() && ex[i].written == (Bytes{0x02, 0x45, g}));
      ok = ok && Acknowledged(ex[i]);
    }
  }
  Check(ex.size() == i);
  Check(link.LastTransferOk() == ok);
}

void CommandsReadTheirReplies() {
  kvt::TSystemLink link;
  const bool bankOk = link.CheckBank(3);
  const Bytes& r = g_line->exchanges.back().reply;
  Check(bankOk == (r.size() >= 2 && r[1] == kvt::kReplyAccepted));

  const std::string type = link.ReadSystemType();
  const Bytes& t = g_line->exchanges.back().reply;
  Check(t.size() >= 4 ? type == std::string{char(t[2]), char(t[3])} : type.empty());

  for (std::uint8_t s = 0; s < 3; ++s) {
    const double v = link.ReadCounter(s);
    Check(v == -1 || (v >= 0 && v <= 9999999999.0));
    if (s < 2) Check(v == std::floor(v));
  }
}

void TablesStayInsidePageZero() {
  kvt::TSystemLink link;
  const auto calibration = link.ReadCalibrationTable();
  Check(0x210 + calibration.size() * 2 <= 0x10000);
  const auto resistance = link.ReadResistanceTable();
  Check(0x300 + resistance.size() <= 0x10000);
  (void)link.ReadShotHeader();
}

void CurvesFollowTheirCount(bool absolute) {
  kvt::TSystemLink link;
  const std::vector<int> samples = link.ReadLastShotCurves(nullptr, absolute);
  std::size_t read = 0;  // curve bytes asked for after the KUAN, bank and count reads
  for (std::size_t i = 3; i < g_line->exchanges.size(); ++i) {
    const Bytes& w = g_line->exchanges[i].written;
    if (w.size() == 6 && w[1] == 0x23) read += w[2];
  }
  Check(samples.size() <= read);
  if (absolute)
    for (int s : samples) Check(s >= 0);
}

void IdentificationConcludesOnlyOnReplies() {
  auto& status = kvt::SystemStatus();
  status.Clear();
  kvt::TfrmAdjustConnectionInfo window;
  const std::string port = window.FindPort();
  if (port.empty()) return;
  kvt::TSystemLink connection(port);
  Check(connection.IsOpen());
  window.DetectType();
  if (status.TypeKnown) window.DetectModules();
  if (status.PagePresent[0]) window.CheckBanks();
  window.ShowConclusion();
  if (window.lbConclusion.Caption().find("ГОТОВА") == std::string::npos) return;
  // Ready: every checksum the controller was asked about was confirmed, and the type was read.
  Check(status.ChecksumsOk && status.TypeKnown && !status.UnknownModules);
  for (const Exchange& e : g_line->exchanges) {
    if (e.written.size() == 3 && e.written[0] == 0x02 && e.written[1] == 0x44)
      Check(e.reply.size() >= 2 && e.reply[1] == kvt::kReplyAccepted);
    if (e.written == Bytes{0x01, 0x2E}) Check(e.reply.size() >= 4);
  }
}

void MeterRepliesHaveTheirShape() {
  kvt::TVoltageMeter meter;
  (void)meter.Reset();
  (void)meter.Configure(1, 10, 10, 8);
  (void)meter.ReadSettings();
  const std::vector<std::uint8_t> before = meter.Samples;
  const int n = 40;
  if (meter.ReadSamples(1, n)) {
    const Bytes& r = g_line->exchanges.back().reply;
    Check(r.size() == std::size_t(n) + 2 && r[0] == 0x11 && r[1] == 0xB0);
    Check(meter.Samples == Bytes(r.begin() + 2, r.end()));
  } else {
    Check(meter.Samples == before);
  }
  Check(std::isfinite(meter.EffectiveValue()));
  (void)meter.Swing(1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  SetUpOnce();
  Line line;
  line.data = data + 1;
  line.size = size - 1;
  g_line = &line;
  platform::LinkLock::Guard guard(platform::TheLinkLock());
  const int exchange = data[0] % 10;
  // Identification finds and opens its port by name; the others talk through one attached here.
  if (exchange != 0) kvt::AttachSharedPort(std::make_unique<FuzzPort>());
  switch (exchange) {
    case 0:
      IdentificationConcludesOnlyOnReplies();
      break;
    case 1:
      ReadMemoryFollowsEveryReply(0x0100, 21);
      break;
    case 2:
      ReadMemoryFollowsEveryReply(0x0FFFFC, 8);
      break;
    case 3:
      WriteMemoryStopsAtTheFirstFailure(21);
      break;
    case 4:
      WriteMemoryStopsAtTheFirstFailure(0);
      break;
    case 5:
      CommandsReadTheirReplies();
      break;
    case 6:
      TablesStayInsidePageZero();
      break;
    case 7:
    case 8:
      CurvesFollowTheirCount(exchange == 8);
      break;
    default:
      MeterRepliesHaveTheirShape();
      break;
  }
  kvt::CloseSharedPort();
  g_line = nullptr;
  return 0;
}
