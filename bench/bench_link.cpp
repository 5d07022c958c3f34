// kvt-bench-link: reads the 1280-byte configuration image with ReadMemory from the simulated
// apparatus in realistic timing and compares the time taken with what the line itself needs.
//
// The floor is the protocol's own cost of the same exchanges: every byte on the wire takes 11
// bits at 2400 baud, every reply ends with 90 ms of silence, and the controller thinks for its
// latency before it answers. ratio = elapsed / floor shows what the program adds on top;
// cpu_percent shows that waiting for the line costs no processor time.
//
// Usage: kvt-bench-link [--trace FILE] [BYTES]   (default 1280, a whole image)
// --trace runs the same read with the serial trace written to FILE, to show what it costs.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "CpuTime.h"
#include "link/SystemLink.h"
#include "platform/LinkLock.h"
#include "platform/SerialTrace.h"
#include "sim/Apparatus.h"
#include "sim/SimulatorBackend.h"

namespace {

using bench::CpuSeconds;

}  // namespace

int main(int argc, char** argv) {
  std::uint32_t bytes = 1280;
  const char* trace = nullptr;
  int arg = 1;
  if (arg + 1 < argc && std::strcmp(argv[arg], "--trace") == 0) {
    trace = argv[arg + 1];
    arg += 2;
  }
  if (arg < argc) {
    const long n = std::strtol(argv[arg], nullptr, 10);
    if (n <= 0 || n > 65536) {
      std::fprintf(stderr, "kvt-bench-link: BYTES must be 1..65536\n");
      return 2;
    }
    bytes = std::uint32_t(n);
  }

  sim::Profile profile;
  profile.timing = sim::Timing::Realistic;
  profile.memoryFile.clear();
  auto apparatus = std::make_shared<sim::Apparatus>(profile);
  const int latencyMs = apparatus->LatencyMs();
  std::unique_ptr<platform::SerialPort> port = std::make_unique<sim::SimulatorBackend>(apparatus);
  if (trace) port = platform::TraceSerialPort(std::move(port), trace, "simulator");
  kvt::AttachSharedPort(std::move(port));

  platform::LinkLock::Guard guard(platform::TheLinkLock());
  kvt::TSystemLink link;
  link.SelectModule(kvt::kMainControllerAddress);
  if (link.LastCount() != 1) {
    std::fprintf(stderr, "kvt-bench-link: the simulated controller does not answer\n");
    return 1;
  }

  std::vector<std::uint8_t> image(bytes);
  const double cpu0 = CpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  link.ReadMemory(0, bytes, image.data());
  const auto t1 = std::chrono::steady_clock::now();
  const double cpu = CpuSeconds() - cpu0;
  if (!link.LastTransferOk()) {
    std::fprintf(stderr, "kvt-bench-link: the image read was incomplete\n");
    return 1;
  }
  if (image != apparatus->ReadMemory(0, bytes)) {
    std::fprintf(stderr, "kvt-bench-link: the image read differs from the controller's memory\n");
    return 1;
  }

  // Each exchange: the 6-byte request, the reply of header, code and data, the silence.
  const std::uint32_t exchanges = (bytes + 7) / 8;
  const std::uint64_t wireBytes = std::uint64_t(exchanges) * (6 + 2) + bytes;
  const double floor =
      double(wireBytes) * 11.0 / 2400.0 + exchanges * (platform::kSilenceMs + latencyMs) / 1000.0;
  const double elapsed = std::chrono::duration<double>(t1 - t0).count();

  std::printf("trace=%s\n", trace ? "on" : "off");
  std::printf("bytes=%u\n", bytes);
  std::printf("exchanges=%u\n", exchanges);
  std::printf("elapsed_s=%.3f\n", elapsed);
  std::printf("floor_s=%.3f\n", floor);
  std::printf("ratio=%.4f\n", elapsed / floor);
  std::printf("cpu_s=%.4f\n", cpu);
  std::printf("cpu_percent=%.3f\n", cpu / elapsed * 100.0);
  return 0;
}
