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
#include "platform/SharedValue.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

SharedValue<fs::path>& Override() {
  static SharedValue<fs::path> file;
  return file;
}

SharedValue<TraceStoppedHandler>& Handler() {
  static SharedValue<TraceStoppedHandler> handler;
  return handler;
}

// Standard error always; the program's window through the handler.
void TellStopped(const std::string& why) {
  std::fprintf(stderr, "serial trace: %s\n", why.c_str());
  Handler().Use([&](const TraceStoppedHandler& handler) {
    if (handler) handler(why);
  });
}

fs::path Numbered(const fs::path& path, int n) {
  fs::path p = path;
  p += ".";  // two appends: "." + to_string gives GCC 12 -O2 a false -Wrestrict
  p += std::to_string(n);
  return p;
}

// The trace file with its size limit: appended line by line, each flushed at once.
class TraceFile {
 public:
  TraceFile(fs::path path, std::uintmax_t limit, int keep)
      : path_(std::move(path)), limit_(limit), keep_(std::clamp(keep, 1, kTraceKeepMax)) {}

  bool Open() {
    out_.open(path_, std::ios::binary | std::ios::app);
    if (!out_) return false;
    std::error_code ec;
    size_ = fs::file_size(path_, ec);
    if (ec) size_ = 0;
    threshold_ = limit_;
    return true;
  }

  void Append(const std::string& line) {
    if (!out_.is_open()) return;
    if (size_ > 0 && size_ + line.size() > threshold_) Rotate();
    if (!out_.is_open()) return;
    out_.write(line.data(), std::streamsize(line.size()));
    out_.flush();
    if (!out_) {
      Stop("cannot write " + path_.string() + "; the line is no longer traced");
      return;
    }
    size_ += line.size();
  }

 private:
  void Rotate() {
    // Closed first: Windows renames no open file.
    out_.close();
    bool moved = ShiftOlder();
    std::error_code ec;
    if (moved) {
      fs::rename(path_, Numbered(path_, 1), ec);
      moved = !ec;
    }
    if (moved) {
      out_.open(path_, std::ios::binary | std::ios::trunc);
      size_ = 0;
      threshold_ = limit_;
    } else {
      // Nothing is dropped: the file goes on growing and the next try is one limit later.
      out_.open(path_, std::ios::binary | std::ios::app);
      threshold_ = size_ + limit_;
    }
    if (!out_) Stop("cannot reopen " + path_.string() + "; the line is no longer traced");
  }

  // FILE.k -> FILE.k+1 from the oldest kept down, the one beyond the limit dropped. False when
  // a file could not be moved (FILE must then stay where it is, or it would replace FILE.1).
  bool ShiftOlder() {
    std::error_code ec;
    fs::remove(Numbered(path_, keep_), ec);
    if (ec) return false;
    for (int k = keep_ - 1; k >= 1; --k) {
      const fs::path from = Numbered(path_, k);
      if (!fs::exists(from, ec)) continue;
      fs::rename(from, Numbered(path_, k + 1), ec);
      if (ec) return false;
    }
    return true;
  }

  void Stop(const std::string& why) {
    out_.close();
    TellStopped(why);
  }

  fs::path path_;
  std::uintmax_t limit_;
  int keep_;
  std::ofstream out_;
  std::uintmax_t size_ = 0;
  std::uintmax_t threshold_ = 0;  // the size at which the next rotation is tried
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
  Override().Set(file);
}

fs::path SerialTraceFile() {
  if (fs::path file = Override().Get(); !file.empty()) return file;
  std::string name = IniFile(SettingsPath()).ReadString(kTraceSection, kTraceKey, "");
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!name.empty() && blank(name.back())) name.pop_back();
  while (!name.empty() && blank(name.front())) name.erase(name.begin());
  if (name.empty()) return {};
  // The settings' text is UTF-8 here; a path takes it as such only through char8_t.
  const fs::path file(std::u8string(name.begin(), name.end()));
  return file.is_absolute() ? file : ProgramDir() / file;
}

int SerialTraceKeep() {
  const int keep =
      IniFile(SettingsPath()).ReadInteger(kTraceSection, kTraceKeepKey, kTraceKeepDefault);
  return std::clamp(keep, 1, kTraceKeepMax);
}

void SetSerialTraceStoppedHandler(TraceStoppedHandler handler) {
  Handler().Set(std::move(handler));
}

std::unique_ptr<SerialPort> TraceSerialPort(std::unique_ptr<SerialPort> port, const fs::path& file,
                                            const std::string& portLabel,
                                            std::uintmax_t rotateBytes, int keep) {
  if (!port || file.empty()) return port;
  auto trace = std::make_unique<TraceFile>(file, rotateBytes, keep);
  if (!trace->Open()) {
    TellStopped("cannot open " + file.string() + "; the line is not traced");
    return port;
  }
  return std::make_unique<TracingPort>(std::move(port), std::move(trace), portLabel);
}

}  // namespace platform
