#include "store/Fits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using namespace quillmar;

namespace {

void fill(TxyDataStruct& s, const std::vector<double>& x, const std::vector<double>& y) {
    ASSERT_TRUE(s.MakeXY(static_cast<uint32_t>(x.size()), 8));
    for (uint32_t i = 1; i <= x.size(); ++i) {
        s.SetX(i, x[i - 1]);
        s.SetY(i, y[i - 1]);
    }
}

// A natural cubic spline solved independently: the second derivatives M from
// the full (n-2) x (n-2) system by Gaussian elimination with pivoting, then the
// textbook piecewise formula.
struct ReferenceSpline {
    std::vector<double> x, y, m;
    ReferenceSpline(std::vector<double> xs, std::vector<double> ys) : x(std::move(xs)), y(std::move(ys)) {
        const std::size_t n = x.size(), k = n - 2;
        m.assign(n, 0.0);
        std::vector<std::vector<double>> a(k, std::vector<double>(k + 1, 0.0));
        for (std::size_t r = 0; r < k; ++r) {
            std::size_t i = r + 1;
            double h0 = x[i] - x[i - 1], h1 = x[i + 1] - x[i];
            if (r > 0) a[r][r - 1] = h0;
            a[r][r] = 2 * (h0 + h1);
            if (r + 1 < k) a[r][r + 1] = h1;
            a[r][k] = 6 * ((y[i + 1] - y[i]) / h1 - (y[i] - y[i - 1]) / h0);
        }
        for (std::size_t c = 0; c < k; ++c) {
            std::size_t p = c;
            for (std::size_t r = c + 1; r < k; ++r)
                if (std::fabs(a[r][c]) > std::fabs(a[p][c])) p = r;
            std::swap(a[c], a[p]);
            for (std::size_t r = 0; r < k; ++r)
                if (r != c) {
                    double f = a[r][c] / a[c][c];
                    for (std::size_t j = c; j <= k; ++j)
                        a[r][j] -= f * a[c][j];
                }
        }
        for (std::size_t r = 0; r < k; ++r)
            m[r + 1] = a[r][k] / a[r][r];
    }
    double operator()(double t) const {
        std::size_t i = 0;
        while (i + 2 < x.size() && t >= x[i + 1])
            ++i;
        double h = x[i + 1] - x[i];
        double A = (x[i + 1] - t) / h, B = (t - x[i]) / h;
        return A * y[i] + B * y[i + 1] + ((A * A * A - A) * m[i] + (B * B * B - B) * m[i + 1]) * h * h / 6;
    }
};

} // namespace

TEST(CubicSpline, KnownValuesLinesAndDegenerateSeries) {
    TCubicSpline s;
    fill(s, {0, 1, 2}, {0, 1, 0});
    s.Compute();
    EXPECT_EQ(s.SecondDerivs->GetValueAt(2), -3);
    EXPECT_DOUBLE_EQ(static_cast<double>(s.Evaluate(0.5)), 0.6875);
    EXPECT_DOUBLE_EQ(static_cast<double>(s.Evaluate(1)), 1);

    TCubicSpline line;
    fill(line, {0, 0.5, 2, 3.5, 7}, {1, 2, 5, 8, 15}); // y = 2x + 1
    line.Compute();
    for (double t : {-1.0, 0.25, 1.0, 3.0, 6.9, 9.0})
        EXPECT_NEAR(static_cast<double>(line.Evaluate(t)), 2 * t + 1, 1e-12) << t;

    TCubicSpline one;
    fill(one, {3}, {4});
    one.Compute();
    EXPECT_EQ(one.Evaluate(3), 0);
    TCubicSpline repeated;
    fill(repeated, {0, 1, 1}, {0, 1, 2});
    repeated.Compute();
    EXPECT_EQ(repeated.Evaluate(1.5), 0); // equal x around the point: h = 0
}

TEST(CubicSpline, AgreesWithAnIndependentNaturalSpline) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> step(0.05, 2.0), val(-50, 50);
    for (int trial = 0; trial < 5; ++trial) {
        std::vector<double> x{0}, y{val(rng)};
        for (int i = 1; i < 40; ++i) {
            x.push_back(x.back() + step(rng));
            y.push_back(val(rng));
        }
        TCubicSpline s;
        fill(s, x, y);
        s.Compute();
        ReferenceSpline ref(x, y);
        for (double t = x.front() - 1; t < x.back() + 1; t += 0.137)
            ASSERT_NEAR(static_cast<double>(s.Evaluate(t)), ref(t), 1e-8 * (1 + std::fabs(ref(t)))) << t;
    }
}

TEST(CubicSpline, CompanionsFollowTheSeriesSize) {
    TCubicSpline s;
    fill(s, {0, 1, 2, 3, 4}, {0, 1, 4, 9, 16});
    ASSERT_TRUE(s.DeleteRow(2));
    EXPECT_EQ(s.Points, 4u);
    EXPECT_EQ(s.SecondDerivs->RecordCount, 4u);
    EXPECT_EQ(s.Scratch->RecordCount, 4u);
    const uint32_t rows[] = {1, 3};
    ASSERT_TRUE(s.DeleteRows(rows));
    EXPECT_EQ(s.Points, 2u);
    EXPECT_EQ(s.SecondDerivs->RecordCount, 2u);
    EXPECT_EQ(s.GetX(1), 2);
    EXPECT_EQ(s.GetX(2), 4);
    ASSERT_TRUE(s.SetPoints(6));
    EXPECT_EQ(s.Scratch->RecordCount, 6u);
    s.Clear();
    EXPECT_EQ(s.SecondDerivs, nullptr);
    // Sized without MakeXY: the companions are made on the way.
    TCubicSpline late;
    late.Make2D(2, 0, 8);
    ASSERT_TRUE(late.SetPoints(3));
    EXPECT_EQ(late.SecondDerivs->RecordCount, 3u);
    // A spline read from a file computes with companions of its own size.
    TCubicSpline saved;
    fill(saved, {0, 1, 2}, {0, 1, 0});
    auto bytes = saved.SaveToBytes();
    TCubicSpline loaded;
    loaded.LoadFromBytes(bytes.data(), bytes.size(), "spline");
    loaded.Compute();
    EXPECT_DOUBLE_EQ(static_cast<double>(loaded.Evaluate(0.5)), 0.6875);
}

TEST(CubicSpline, CopyFitBothWays) {
    TCubicSpline s;
    fill(s, {0, 1, 2}, {0, 1, 0});
    s.Compute();
    TxyDataStruct out;
    ASSERT_TRUE(s.CopyFit(-1, out));
    EXPECT_EQ(out.Points, 3u);
    EXPECT_EQ(out.GetX(2), 1);
    EXPECT_EQ(out.GetY(2), 1);
    EXPECT_FALSE(s.CopyFit(-1, out)); // only into an empty series
    TxyDataStruct in;
    fill(in, {5, 7}, {6, 8});
    ASSERT_TRUE(s.CopyFit(1, in));
    EXPECT_EQ(s.Points, 2u);
    EXPECT_EQ(s.GetY(2), 8);
}

TEST(MovingAverage, WindowsOddEvenOneAndZero) {
    TMovingAve m;
    fill(m, {1, 2, 3, 4, 5}, {1, 2, 3, 4, 5});
    auto ys = [&](uint8_t window) {
        m.Window = window;
        std::vector<double> out;
        for (uint32_t i = 1; i <= 5; ++i)
            out.push_back(static_cast<double>(m.GetY(i)));
        return out;
    };
    EXPECT_EQ(ys(3), (std::vector<double>{1.5, 2, 3, 4, 4.5}));
    EXPECT_EQ(ys(4), (std::vector<double>{1.5, 2, 2.5, 3.5, 4}));
    EXPECT_EQ(ys(1), (std::vector<double>{1, 2, 3, 4, 5}));
    EXPECT_EQ(ys(0), (std::vector<double>{1, 2, 3, 4, 5}));
    EXPECT_EQ(ys(255), (std::vector<double>{3, 3, 3, 3, 3}));
    m.XYScaling.YScale = 2;
    m.XYScaling.YOffset = 1;
    m.Window = 3;
    EXPECT_EQ(m.GetY(3), 7); // mean of 2y + 1 over 2, 3, 4
    TMovingAve empty;
    EXPECT_EQ(empty.GetY(1), 0);
}
