#pragma once
// The one work area of the calculations: sixteen arrays of MaxPoints + 1 doubles,
// allocated once for the whole run. Point i of a run lives in slot i (1..N);
// slot 0 and slot N+1 are used only by the spline solver's own arrays.
// Every access, read or write, is checked against 0..MaxPoints and a slot outside
// that range throws RangeError ("Range check error").
#include <array>
#include <cstddef>

#include "platform/errors.h"

namespace quorvane {

inline constexpr int MaxPoints = 15000;

/// One checked array of MaxPoints + 1 slots.
class WorkArray {
public:
    static constexpr int Slots = MaxPoints + 1;

    double& operator[](int slot)
    {
        checkSlot(slot);
        return v_[static_cast<std::size_t>(slot)];
    }
    double operator[](int slot) const
    {
        checkSlot(slot);
        return v_[static_cast<std::size_t>(slot)];
    }

    /// Sets every slot to zero.
    void clear() noexcept { v_.fill(0.0); }

    /// Unchecked view for bulk work whose bounds were checked once by the caller.
    double* data() noexcept { return v_.data(); }
    const double* data() const noexcept { return v_.data(); }

    static void checkSlot(int slot)
    {
        if (slot < 0 || slot > MaxPoints)
            throw RangeError();
    }

private:
    std::array<double, Slots> v_{};
};

/// The shared arrays. The five point arrays are written by the table loaders
/// and read by the calculations; the eleven others are the smoothing spline's
/// working storage (their roles follow Reinsch's notation, see spline/).
struct WorkArrays {
    WorkArray X;    ///< age of each point
    WorkArray Y;    ///< value of each point
    WorkArray E;    ///< uncertainty used as the fit's weight (Error times the t multiplier)
    WorkArray E0;   ///< raw uncertainty of each averaged point
    WorkArray YEnv; ///< envelope values fitted for the +95% and -95% curves

    // Working storage of the smoothing spline, named after Reinsch (1967);
    // the solver in spline/ documents the role of each at every stage.
    WorkArray t;  ///< diagonal of the tridiagonal spacing matrix
    WorkArray t1; ///< off-diagonal of the spacing matrix
    WorkArray r;  ///< difference-matrix column, then reciprocal pivots, then the update vector
    WorkArray r1; ///< second entry of each column, then the first off-diagonal of the factor
    WorkArray r2; ///< third entry of each column, then the second off-diagonal of the factor
    WorkArray a;  ///< second differences of y, finally the spline value at each data age
    WorkArray b;  ///< band of the normal matrix, finally the linear coefficients
    WorkArray c;  ///< band of the normal matrix, finally the quadratic coefficients
    WorkArray d;  ///< band of the normal matrix, finally the cubic coefficients
    WorkArray u;  ///< solution of the banded system
    WorkArray v;  ///< weighted third-derivative jumps used for the residuals
};

/// The process-wide work area, zero at start-up.
WorkArrays& workArrays();

} // namespace quorvane
