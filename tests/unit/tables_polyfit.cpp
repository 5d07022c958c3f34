// The least-squares polynomial of the calibration: exact recovery of polynomials, the
// least-squares answer for scattered points, and the fall-backs for points that cannot carry
// the requested degree.

#include <gtest/gtest.h>

#include <cmath>

#include "calibration/PolyFit.h"

namespace kvt {
namespace {

TEST(TablesPolyFit, RecoversAQuadraticExactlyAtCalibrationScale) {
  // R(U) = 0.01 U^2 - 1.5 U + 120 over the kilovolts of a calibration.
  PointList x, y;
  for (int u = 60; u <= 100; u += 3) {
    x.push_back(u);
    y.push_back(0.01 * u * u - 1.5 * u + 120);
  }
  TPolyFit p(x, y);
  EXPECT_TRUE(p.Fit(2));
  ASSERT_EQ(p.Degree(), 2);
  EXPECT_NEAR(p.Coefficients()[0], 0.01, 1e-9);  // highest power first
  EXPECT_NEAR(p.Coefficients()[1], -1.5, 1e-7);
  EXPECT_NEAR(p.Coefficients()[2], 120, 1e-5);
  for (double u : {60.0, 77.5, 100.0, 120.0})
    EXPECT_NEAR(p.Value(u), 0.01 * u * u - 1.5 * u + 120, 1e-6);
}

TEST(TablesPolyFit, LeastSquaresLineThroughScatteredPoints) {
  PointList x{0, 1, 2, 3}, y{0, 1, 0, 1};
  TPolyFit p(x, y);
  EXPECT_TRUE(p.Fit(1));
  EXPECT_NEAR(p.Coefficients()[0], 0.2, 1e-12);
  EXPECT_NEAR(p.Coefficients()[1], 0.2, 1e-12);
  // The fit follows the lists as they are when Fit runs.
  x.push_front(-1);
  y.push_front(5);
  p.Fit(1);
  EXPECT_LT(p.Coefficients()[0], 0);
}

TEST(TablesPolyFit, DegenerateInputsFallBackWithoutNonFiniteValues) {
  PointList x, y;
  TPolyFit none(x, y);
  EXPECT_FALSE(none.Fit(2));
  EXPECT_EQ(none.Degree(), -1);
  EXPECT_EQ(none.Value(50), 0);

  PointList x1{80}, y1{17};
  TPolyFit single(x1, y1);
  single.Fit(2);
  EXPECT_EQ(single.Degree(), 0);
  EXPECT_DOUBLE_EQ(single.Value(-3), 17);
  EXPECT_DOUBLE_EQ(single.Value(1e6), 17);

  // Several shots at one current: the constant that fits them best, their mean.
  PointList xs{100, 100, 100}, ys{4, 8, 9};
  TPolyFit same(xs, ys);
  EXPECT_FALSE(same.Fit(2));
  EXPECT_EQ(same.Degree(), 0);
  EXPECT_DOUBLE_EQ(same.Value(150), 7);

  // Two abscissae: the line through the two means.
  PointList x2{60, 60, 80}, y2{10, 20, 35};
  TPolyFit two(x2, y2);
  EXPECT_FALSE(two.Fit(2));
  EXPECT_EQ(two.Degree(), 1);
  EXPECT_NEAR(two.Value(60), 15, 1e-9);
  EXPECT_NEAR(two.Value(80), 35, 1e-9);

  // Abscissae that differ only by rounding noise cannot carry a quadratic either.
  PointList xn{100, 100 + 1e-12, 100 + 2e-12}, yn{1, 2, 3};
  TPolyFit noisy(xn, yn);
  noisy.Fit(2);
  EXPECT_TRUE(std::isfinite(noisy.Value(100)));
  EXPECT_LT(noisy.Degree(), 2);
}

TEST(TablesPolyFit, ZeroAbscissaCountsAsOne) {
  PointList x{0, 1, 2}, y{5, 6, 9};  // y = x^2 + 5
  TPolyFit p(x, y);
  EXPECT_TRUE(p.Fit(2));
  EXPECT_NEAR(p.Value(0), 5, 1e-12);
  EXPECT_NEAR(p.Value(3), 14, 1e-9);
}

}  // namespace
}  // namespace kvt
