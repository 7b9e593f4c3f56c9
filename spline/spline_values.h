#pragma once
// The application-wide values of the spline subsystem. The spline run sets them
// from the window's parameter texts; the solver reads them. They survive from
// one run (and one spline window) to the next.
#include <string>

namespace quorvane {

struct SplineValues {
    double WMult = 0.0;        ///< Student's t multiplier: weights and envelope width
    double WConst = 0.0;       ///< minimum standard deviation; the Error column of the curves
    double FromAge = 0.0;      ///< averaged points must lie above this age
    double ToAge = 0.0;        ///< averaged points must lie below this age
    double AgeIncrement = 0.0; ///< width of an averaging bin, in age units
    double S = 0.0;            ///< required smoothing precision
    /// The curve table the solver appends to: "SeaSpl", "SeaSplP" or "SeaSplM";
    /// any other text appends nothing.
    std::string TargetTable;
};

/// The one instance, for the whole run of the application.
SplineValues& splineValues();

} // namespace quorvane
