#include "calibration/PolyFit.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace kvt {

bool TPolyFit::Fit(int degree) {
  coefficients_.clear();
  const std::size_t count = std::min(x_.size(), y_.size());
  if (count == 0 || degree < 0) return false;

  std::set<double> distinct;
  for (std::size_t k = 0; k < count; ++k) distinct.insert(x_[k]);
  const int supported = int(distinct.size()) - 1;
  for (int n = std::min(degree, supported); n >= 0; --n)
    if (Solve(n, count)) return n == degree;
  return false;  // not even a constant: the values are not finite
}

bool TPolyFit::Solve(int n, std::size_t count) {
  const int m = n + 1;
  std::vector<std::vector<double>> a(std::size_t(m), std::vector<double>(std::size_t(m), 0.0));
  std::vector<double> b(std::size_t(m), 0.0);
  // Sums of the powers of x (x^0 is 1, also for x = 0).
  std::vector<double> powerSums(std::size_t(2 * n + 1), 0.0);
  for (std::size_t k = 0; k < count; ++k) {
    double p = 1.0;
    for (int e = 0; e <= 2 * n; ++e) {
      powerSums[std::size_t(e)] += p;
      if (e <= n) b[std::size_t(e)] += p * y_[k];
      p *= x_[k];
    }
  }
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < m; ++j) a[std::size_t(i)][std::size_t(j)] = powerSums[std::size_t(i + j)];

  // The normal matrix is symmetric positive definite when the points carry the degree, so the
  // elimination needs no pivoting; a pivot that has shrunk to rounding noise means they do not.
  std::vector<double> scale(static_cast<std::size_t>(m), 0.0);
  for (int i = 0; i < m; ++i) scale[std::size_t(i)] = std::fabs(a[std::size_t(i)][std::size_t(i)]);
  for (int i = 0; i < m; ++i) {
    const double pivot = a[std::size_t(i)][std::size_t(i)];
    if (!std::isfinite(pivot) || std::fabs(pivot) <= 1e-12 * scale[std::size_t(i)] || pivot == 0)
      return false;
    for (int j = i + 1; j < m; ++j) {
      const double f = a[std::size_t(j)][std::size_t(i)] / pivot;
      for (int k = i; k < m; ++k)
        a[std::size_t(j)][std::size_t(k)] -= f * a[std::size_t(i)][std::size_t(k)];
      b[std::size_t(j)] -= f * b[std::size_t(i)];
    }
  }
  std::vector<double> c(std::size_t(m), 0.0);  // lowest power first
  for (int i = m - 1; i >= 0; --i) {
    double s = b[std::size_t(i)];
    for (int k = i + 1; k < m; ++k) s -= a[std::size_t(i)][std::size_t(k)] * c[std::size_t(k)];
    c[std::size_t(i)] = s / a[std::size_t(i)][std::size_t(i)];
    if (!std::isfinite(c[std::size_t(i)])) return false;
  }
  coefficients_.assign(c.rbegin(), c.rend());
  return true;
}

double TPolyFit::Value(double x) const {
  double v = 0.0;
  for (double c : coefficients_) v = v * x + c;
  return v;
}

}  // namespace kvt
