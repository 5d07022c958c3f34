// Throughput of the ".dat" converter on a 64 KiB image, both ways, in memory and through files.
// Prints key=value lines; MB/s counts the bytes of .dat text parsed or produced.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "image/ConvertDat.h"
#include "platform/Files.h"

namespace {

constexpr std::size_t kImageSize = 64 * 1024;

// A template in the shipped style: per bank a directive line, rows of 16 values with a comment,
// the bank's last word in 16-bit.
std::string MakeTemplate() {
  std::string t = "; 64 KiB test image\n&00\n";
  for (std::size_t bank = 0; bank < kImageSize / 256; ++bank) {
    char line[64];
    std::snprintf(line, sizeof line, "$8bitformat\n#%02zX >00\n", bank);
    t += line;
    for (std::size_t row = 0; row < 16; ++row) {
      const std::size_t n = row == 15 ? 14 : 16;
      for (std::size_t i = 0; i < n; ++i) t += i ? " 0" : "0";
      std::snprintf(line, sizeof line, "  ; 0x%04zX\n", bank * 256 + row * 16);
      t += line;
    }
    t += "$16bitformat\n0  ; checksum\n";
  }
  return t;
}

template <typename Fn>
double SecondsPerRun(Fn&& fn, int& runs) {
  using Clock = std::chrono::steady_clock;
  runs = 0;
  const auto start = Clock::now();
  double elapsed = 0;
  do {
    fn();
    ++runs;
    elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  } while (elapsed < 1.0 && runs < 100000);
  return elapsed / runs;
}

void Print(const char* key, std::size_t bytes, double seconds, int runs) {
  std::printf("%s_mb_per_s=%.1f\n", key, double(bytes) / seconds / 1e6);
  std::printf("%s_ms=%.3f\n", key, seconds * 1e3);
  std::printf("%s_runs=%d\n", key, runs);
}

}  // namespace

int main() {
  std::mt19937 rng(1);
  std::vector<std::uint8_t> image(kImageSize);
  for (auto& b : image) b = std::uint8_t(rng());
  const std::string templ = MakeTemplate();

  std::string text;
  if (!kvt::RenderDatText(templ, image, text)) {
    std::fprintf(stderr, "bench_convert: template rejected\n");
    return 1;
  }
  std::printf("image_bytes=%zu\ntemplate_bytes=%zu\ndat_bytes=%zu\n", image.size(), templ.size(),
              text.size());

  int runs = 0;
  std::vector<std::uint8_t> parsed;
  double s = SecondsPerRun([&] { parsed = kvt::DatTextToImage(text, kImageSize); }, runs);
  if (parsed != image) {
    std::fprintf(stderr, "bench_convert: round trip differs\n");
    return 1;
  }
  Print("dat_to_bin_memory", text.size(), s, runs);

  std::string out;
  s = SecondsPerRun([&] { kvt::RenderDatText(templ, image, out); }, runs);
  Print("bin_to_dat_memory", out.size(), s, runs);

  const auto dir = std::filesystem::temp_directory_path() / "kvt-bench-convert";
  std::filesystem::create_directories(dir);
  platform::WriteFileAtomic(dir / "image.dat", text);
  platform::WriteFileAtomic(dir / "image.mi", image);
  platform::WriteFileAtomic(dir / "etalon.pat", templ);
  int failures = 0;
  s = SecondsPerRun(
      [&] {
        failures +=
            kvt::ConvertDat(kvt::DatToBinary, dir / "image.dat", dir / "out.mi", "", kImageSize);
      },
      runs);
  Print("dat_to_bin_files", text.size(), s, runs);
  s = SecondsPerRun(
      [&] {
        failures += kvt::ConvertDat(kvt::BinaryToDat, dir / "out.dat", dir / "image.mi",
                                    dir / "etalon.pat", kImageSize);
      },
      runs);
  Print("bin_to_dat_files", text.size(), s, runs);
  std::filesystem::remove_all(dir);
  std::printf("failures=%d\n", failures);
  return failures == 0 ? 0 : 1;
}
