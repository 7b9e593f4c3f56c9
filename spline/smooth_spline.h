#pragma once
// SmoothSpline: one weighted cubic smoothing spline through N points, sampled
// into a curve table.
//
// Method: C. H. Reinsch, "Smoothing by spline functions", Numerische Mathematik
// 10 (1967) 177-183. Among the cubic splines g with knots at the ages x_i it
// finds the one that minimises  integral g''(x)^2 dx  subject to
//
//     F(p) = sum_i ((g(x_i) - y_i) / dy_i)^2  <=  s,   s = N * S^2,
//
// through the multiplier p of the Lagrangian: for a given p a banded system
// (T + p Q'D^2 Q) u = Q'y is solved (T tridiagonal spacing matrix, Q the second
// difference matrix, D = diag(dy)), and p is moved by a Newton step on
// sqrt(F(p)) = sqrt(s) until F reaches s. On top of the published procedure:
// every spacing is h_i = (x[i+1] - x[i]) - 1e-7, an exactly zero pivot has the
// reciprocal 1e-10, the iteration has no pass limit, and it also stops when F
// no longer grows, or when the Newton denominator is not positive; so it may
// end with F(p) above s.
//
// Arrays (slots 1..N, slot 0 and N+1 as Reinsch uses them), all in WorkArrays:
//   t, t1       diagonal and off-diagonal of T
//   r, r1, r2   set-up: the three entries of column i of D Q; iteration: the
//               reciprocal pivots and the two off-diagonals of the factor of
//               the band matrix; last: the update vector
//   b, c, d     set-up: the band of Q'D^2 Q; end: the polynomial coefficients
//   a           set-up: second differences Q'y; end: g(x_i)
//   u           solution of the band system
//   v           D^2 Q u, the weighted jumps of the third derivative
//
// Band storage of the symmetric pentadiagonal matrix p Q'D^2 Q + T, row i:
//
//      . . p d[i-2]  p c[i-1]+t1[i-1]  p b[i]+t[i]  p c[i]+t1[i]  p d[i]  . .
//
// On interval i the curve is a[i] + b[i] dx + c[i] dx^2 + d[i] dx^3, dx the
// distance from x[i]. The caller loads the points; the solver reads NSpl,
// WMult, WConst and TargetTable, appends (N - 1) * (NSpl div N) rows to the
// target table, and for the central curve ("SeaSpl") reports the MSWD of the
// averaged points SeaRawAv in the status bar.
#include <string>

#include "platform/status_sink.h"
#include "work/work_arrays.h"

namespace quorvane::data {
class TdmSea;
}

namespace quorvane {

namespace text {
inline constexpr const char* SplineFirstLoop = "1st loop";
inline constexpr const char* SplineSecondLoop = "2nd loop";
inline constexpr const char* SplineThirdLoop = "3rd loop";
inline constexpr const char* SplineFourthLoop = "4th loop";
inline constexpr const char* SplineFifthLoop = "5th loop";
inline constexpr const char* SplineSixthLoop = "6th loop";
inline constexpr const char* SplineSeventhLoop = "7th loop";
inline constexpr const char* SplineEighthLoop = "8th loop";
inline constexpr const char* SplineComplete = "Complete";
inline constexpr const char* MswdPrefix = "MSWD = ";
inline constexpr const char* MswdCountPrefix = "i = ";
} // namespace text

/// What the last fit ended with; for diagnostics and the independent check.
struct SplineFit {
    double s = 0.0;  ///< target N * S^2
    double p = 0.0;  ///< final multiplier
    double f2 = 0.0; ///< weighted residual sum at the final p
    int passes = 0;  ///< iteration passes (steps 4 to 7)
    double mswd = 0.0;
    int mswdCount = 0;
};

class SmoothSpline {
public:
    /// `decimalPoint` is the user's decimal separator, used in the MSWD text.
    SmoothSpline(data::TdmSea& tables, StatusSink& status, char decimalPoint = '.');

    /// Fits y (weights dy) at the ages x, slots 1..N, with precision S and
    /// appends the sampled curve to the table named by TargetTable. x, y and dy
    /// are left unchanged. Throws RangeError for N + 1 beyond MaxPoints and
    /// FloatingPointError where the arithmetic fails (a zero spacing, a zero dy
    /// in the MSWD sums, an MSWD over one point); rows appended before stay and
    /// the display of the curve tables is resumed.
    void operator()(const WorkArray& x, const WorkArray& y, const WorkArray& dy, int N, double S);

    const SplineFit& lastFit() const noexcept { return fit_; }

private:
    void progress(const char* panelText);
    void sample(const WorkArray& x, int N, double S);
    void measureMswd(const WorkArray& dy);

    data::TdmSea& tables_;
    StatusSink& status_;
    char decimalPoint_;
    SplineFit fit_;
};

} // namespace quorvane
