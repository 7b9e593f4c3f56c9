#pragma once
// NSpl: the number of spline points, one process-wide value. The main window
// sets it to DefaultNSpl when it is shown; after an import the calling window
// sets it to twice the number of raw points (DefaultNSpl when that is below 1);
// the spline run raises it to twice the number of averaged points when it is
// lower; the solver samples NSpl div N points per interval.
namespace quorvane {

inline constexpr int DefaultNSpl = 15000;

/// The one place NSpl lives.
int& NSpl();

} // namespace quorvane
