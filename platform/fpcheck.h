#pragma once
// Floating-point error checks. The calculations run with IEEE arithmetic and no
// traps; at the points where a division by zero, an invalid operation or an
// overflow must stop the command, they clear the flags, compute, and ask here.
#include "platform/errors.h"

namespace quorvane::fp {

/// Clears the division-by-zero, invalid and overflow flags.
void clear() noexcept;

/// Throws FloatingPointError for the first raised flag, in the order
/// division by zero, invalid operation, overflow; does nothing when none is set.
void check();

/// Throws when divisor is exactly zero, else returns dividend / divisor; the
/// quotient itself is checked for overflow and invalid results (0/0, inf/inf).
double divide(double dividend, double divisor);

/// Square root that throws "Invalid floating point operation" for a negative
/// argument or a NaN, as a trapping processor would.
double sqrt(double x);

} // namespace quorvane::fp
