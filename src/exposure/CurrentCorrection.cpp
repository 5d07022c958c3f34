#include "exposure/CurrentCorrection.h"

#include <array>

namespace kvt {

namespace {

struct Point {
  int x;
  double factor;
};

// Measured reading -> factor, from the highest reading down.
constexpr std::array<Point, 9> kTable{{{200, 1.15},
                                       {150, 1.17},
                                       {140, 1.17},
                                       {130, 1.18},
                                       {120, 1.20},
                                       {106, 1.22},
                                       {97, 1.24},
                                       {78, 1.26},
                                       {73, 1.28}}};

// The straight line through (x1, y1) and (x2, y2), at x.
double Line(double x1, double y1, double x2, double y2, double x) {
  if (x1 == x2) return y1;
  return ((y2 - y1) * x + x2 * y1 - x1 * y2) / (x2 - x1);
}

}  // namespace

float CurrentCorrection(int x) {
  const Point& first = kTable.front();
  const Point& last = kTable.back();
  if (x > first.x) return float(Line(first.x, first.factor, kTable[1].x, kTable[1].factor, x));
  if (x < last.x) {
    const Point& before = kTable[kTable.size() - 2];
    return float(Line(before.x, before.factor, last.x, last.factor, x));
  }
  for (std::size_t i = 0; i < kTable.size(); ++i) {
    if (x == kTable[i].x) return float(kTable[i].factor);
    if (i + 1 < kTable.size() && x < kTable[i].x && x > kTable[i + 1].x)
      return float(Line(kTable[i].x, kTable[i].factor, kTable[i + 1].x, kTable[i + 1].factor, x));
  }
  return 1.0f;  // not reached: every x from 73 to 200 is a point or lies between two
}

}  // namespace kvt
