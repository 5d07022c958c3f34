#include "sim/Panel.h"

namespace sim {

std::optional<Panel::Bytes> Panel::Command(std::uint8_t cmd) {
  switch (cmd) {
    case 0x4E:
      outputs_.footboard = FootboardMotion::Up;
      return Bytes{};
    case 0x4F:
      outputs_.footboard = FootboardMotion::Down;
      return Bytes{};
    case 0x50:
      outputs_.footboard = FootboardMotion::Stopped;
      return Bytes{};
    case 0x51:
      // The door drive key moves the door to its other end.
      outputs_.doorOpen = !outputs_.doorOpen;
      ++outputs_.doorMoves;
      return Bytes{};
    case 0x54:
      outputs_.cancelPending = false;
      ++outputs_.cancelAcks;
      return Bytes{};
    default:
      return std::nullopt;
  }
}

Panel::Bytes Panel::ShownValuesReply() const {
  return {0,
          static_cast<std::uint8_t>(shown_.kv),
          static_cast<std::uint8_t>(shown_.ma),
          0,
          0,
          0,
          0,
          static_cast<std::uint8_t>(shown_.time >> 8),
          static_cast<std::uint8_t>(shown_.time & 0xFF)};
}

Panel::Bytes Panel::Bcd5(std::uint64_t v) {
  Bytes bcd(5, 0);
  for (int i = 4; i >= 0; --i) {
    const int lo = static_cast<int>(v % 10);
    v /= 10;
    const int hi = static_cast<int>(v % 10);
    v /= 10;
    bcd[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(hi << 4 | lo);
  }
  return bcd;
}

std::uint64_t Panel::WorkTimeDigits(double seconds) {
  const auto minutes = static_cast<std::uint64_t>(seconds < 0 ? 0 : seconds / 60.0);
  return minutes / 60 * 100 + minutes % 60;
}

}  // namespace sim
