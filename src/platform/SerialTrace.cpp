#include "platform/SerialTrace.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <system_error>

#include "platform/Ini.h"
#include "platform/LocalTime.h"
#include "platform/Paths.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

std::mutex& OverrideMutex() {
  static std::mutex m;
  return m;
}
fs::path& Override() {
  static fs::path file;
  return file;
}

// The trace file with its size limit: appended line by line, each flushed at once.
class TraceFile {
 public:
  TraceFile(fs::path path, std::uintmax_t limit) : path_(std::move(path)), limit_(limit) {}

  bool Open() {
    out_.open(path_, std::ios::binary | std::ios::app);
    if (!out_) return false;
    std::error_code ec;
    size_ = fs::file_size(path_, ec);
    if (ec) size_ = 0;
    return true;
  }

  void Append(const std::string& line) {
    if (!out_.is_open()) return;
    if (size_ > 0 && size_ + line.size() > limit_) Rotate();
    out_.write(line.data(), std::streamsize(line.size()));
    out_.flush();
    size_ += line.size();
  }

 private:
  void Rotate() {
    out_.close();
    fs::path older = path_;
    older += ".1";
    std::error_code ec;
    fs::remove(older, ec);
    fs::rename(path_, older, ec);
    // When the rename failed the file starts over rather than growing without end.
    out_.open(path_, std::ios::binary | std::ios::trunc);
    size_ = 0;
  }

  fs::path path_;
  std::uintmax_t limit_;
  std::ofstream out_;
  std::uintmax_t size_ = 0;
};

std::string Stamp() {
  const LocalDateTime t = LocalNow();
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day,
                t.hour, t.minute, t.second, t.millisecond);
  return text;
}

void AppendHex(std::string& line, const std::uint8_t* bytes, std::size_t n) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < n; ++i) {
    line += ' ';
    line += kDigits[bytes[i] >> 4];
    line += kDigits[bytes[i] & 0x0F];
  }
}

class TracingPort final : public SerialPort {
 public:
  TracingPort(std::unique_ptr<SerialPort> inner, std::unique_ptr<TraceFile> file, std::string label)
      : inner_(std::move(inner)), file_(std::move(file)), label_(std::move(label)) {
    file_->Append(Stamp() + " OPEN " + label_ + "\n");
  }
  ~TracingPort() override {
    std::lock_guard lock(m_);
    if (open_) EndLine();
    file_->Append(Stamp() + " CLOSE " + label_ + "\n");
  }

  bool Configure() override { return inner_->Configure(); }
  bool SetParity(Parity parity) override { return inner_->SetParity(parity); }
  Parity CurrentParity() const override { return inner_->CurrentParity(); }
  bool Purge() override { return inner_->Purge(); }

  int Write(const std::uint8_t* data, std::size_t count) override {
    std::lock_guard lock(m_);
    // A write after a reply begins the next exchange.
    if (open_ && replied_) EndLine();
    if (!open_) StartLine();
    const bool ninth = inner_->CurrentParity() == Parity::Mark;
    const int written = inner_->Write(data, count);
    sent_ = true;
    line_ += ninth ? " TX 9=1:" : " TX 9=0:";
    AppendHex(line_, data, count);
    if (written < 0 || std::size_t(written) != count) line_ += " (not sent whole)";
    return written;
  }

  int Read(std::uint8_t* dest, std::size_t max, int timeoutMs) override {
    const int got = inner_->Read(dest, max, timeoutMs);
    std::lock_guard lock(m_);
    if (got > 0) {
      if (!open_) StartLine();
      if (!replied_) {
        replied_ = true;
        if (sent_) {
          const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - started_)
                              .count();
          line_ += " | RX +" + std::to_string(ms) + "ms:";
        } else {
          line_ += " RX:";  // bytes nobody asked for
        }
      }
      AppendHex(line_, dest, std::min(std::size_t(got), max));
    } else if (got == 0) {
      // Silence ends the reply.
      if (open_) {
        if (!replied_) line_ += " | RX: -";
        EndLine();
      }
    } else {
      if (!open_) StartLine();
      line_ += " | RX error";
      EndLine();
    }
    return got;
  }

 private:
  void StartLine() {
    line_ = Stamp();
    started_ = std::chrono::steady_clock::now();
    open_ = true;
    replied_ = false;
    sent_ = false;
  }
  void EndLine() {
    line_ += '\n';
    file_->Append(line_);
    line_.clear();
    open_ = false;
  }

  std::unique_ptr<SerialPort> inner_;
  std::unique_ptr<TraceFile> file_;
  std::string label_;
  std::mutex m_;
  std::string line_;
  std::chrono::steady_clock::time_point started_{};
  bool open_ = false;     // a line is being gathered
  bool replied_ = false;  // it holds received bytes
  bool sent_ = false;     // it holds sent bytes
};

}  // namespace

void SetSerialTraceOverride(const fs::path& file) {
  std::lock_guard lock(OverrideMutex());
  Override() = file;
}

fs::path SerialTraceFile() {
  {
    std::lock_guard lock(OverrideMutex());
    if (!Override().empty()) return Override();
  }
  std::string name = IniFile(SettingsPath()).ReadString(kTraceSection, kTraceKey, "");
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!name.empty() && blank(name.back())) name.pop_back();
  while (!name.empty() && blank(name.front())) name.erase(name.begin());
  if (name.empty()) return {};
  // The settings' text is UTF-8 here; a path takes it as such only through char8_t.
  const fs::path file(std::u8string(name.begin(), name.end()));
  return file.is_absolute() ? file : ProgramDir() / file;
}

std::unique_ptr<SerialPort> TraceSerialPort(std::unique_ptr<SerialPort> port, const fs::path& file,
                                            const std::string& portLabel,
                                            std::uintmax_t rotateBytes) {
  if (!port || file.empty()) return port;
  auto trace = std::make_unique<TraceFile>(file, rotateBytes);
  if (!trace->Open()) {
    std::fprintf(stderr, "serial trace: cannot open %s; the line is not traced\n",
                 file.string().c_str());
    return port;
  }
  return std::make_unique<TracingPort>(std::move(port), std::move(trace), portLabel);
}

}  // namespace platform
