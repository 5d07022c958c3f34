#pragma once
// A scripted serial line for the link's unit tests: records every byte written with its ninth bit
// and answers with replies made of bursts. An empty burst stands for a gap of 90 ms or more.
// Reads never wait: silence is reported at once.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "platform/SerialPort.h"

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;
using Bursts = std::vector<Bytes>;

// What the line saw; outlives the port object, which the link owns and may close.
struct FakeLine {
  struct Written {
    Bytes bytes;
    platform::Parity parity;
  };
  std::vector<Written> writes;
  std::vector<std::size_t> readSizes;  // the max of every Read call
  int purges = 0;
  int configures = 0;
  bool closed = false;
  bool failWrites = false;
  bool failReads = false;
  int readSleepMs = 0;  // each read takes this long (a read on a real line blocks)
  platform::Parity parity = platform::Parity::Space;
  // Bytes (and gaps) that have arrived or will arrive, in order.
  std::deque<Bytes> pending;
  // Called after every write with what was written; returns the reply bursts to queue.
  std::function<Bursts(const Bytes& written, platform::Parity parity)> responder;

  // The frames written in data parity, in order.
  std::vector<Bytes> DataFrames() const;
  void Queue(const Bursts& bursts);
};

class FakeSerialPort : public platform::SerialPort {
 public:
  explicit FakeSerialPort(std::shared_ptr<FakeLine> line) : line_(std::move(line)) {}
  ~FakeSerialPort() override { line_->closed = true; }

  bool Configure() override;
  bool SetParity(platform::Parity parity) override;
  platform::Parity CurrentParity() const override { return line_->parity; }
  bool Purge() override;
  int Write(const std::uint8_t* data, std::size_t count) override;
  int Read(std::uint8_t* dest, std::size_t max, int timeoutMs) override;

 private:
  std::shared_ptr<FakeLine> line_;
};

// Makes a fresh scripted line the program's shared port and returns it.
std::shared_ptr<FakeLine> AttachFakeLine();

// A responder for a main controller whose page-0 memory is mem: answers memory reads
// (05 23 n a2 a1 a0 -> 0x?? E0 d1..dn), memory writes and commits with 01 E0, and everything
// else with the given fallback (or 01 E0).
std::function<Bursts(const Bytes&, platform::Parity)> MemoryResponder(
    std::shared_ptr<Bytes> mem, std::function<Bursts(const Bytes&)> fallback = nullptr);

}  // namespace testsupport
