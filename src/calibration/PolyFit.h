#pragma once
// Least-squares polynomials for the tube calibration: the resistance curve R(U), the correction of
// the filament code as a function of the anode current, and the two-point lines of the table
// interpolation.

#include <deque>
#include <vector>

namespace kvt {

// A list of points' coordinates; values are added at the back or in front.
using PointList = std::deque<double>;

class TPolyFit {
 public:
  // Refers to the lists (not owned); they must outlive the object and hold equally many values
  // (extra values of the longer list are ignored).
  TPolyFit(const PointList& x, const PointList& y) : x_(x), y_(y) {}

  // Fits a polynomial of the given degree by the normal equations. The points cannot always carry
  // that degree: k distinct abscissae determine at most degree k - 1, so the fit falls back to the
  // highest degree they determine (a single point, or points at one abscissa only, give the
  // constant mean of their values). A system that is singular in floating point falls back the
  // same way. Without any point the polynomial is 0. Returns whether the requested degree was
  // fitted.
  bool Fit(int degree);

  // The polynomial at x.
  double Value(double x) const;

  // Degree actually fitted (-1 before Fit or without points).
  int Degree() const { return int(coefficients_.size()) - 1; }
  // Coefficients, highest power first.
  const std::vector<double>& Coefficients() const { return coefficients_; }

 private:
  // Solves the normal equations of degree n; false when the elimination meets a vanishing pivot.
  bool Solve(int n, std::size_t count);

  const PointList& x_;
  const PointList& y_;
  std::vector<double> coefficients_;
};

}  // namespace kvt
