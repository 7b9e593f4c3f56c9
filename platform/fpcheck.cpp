#include "platform/fpcheck.h"

#include <cfenv>
#include <cmath>

namespace quorvane::fp {

void clear() noexcept
{
    std::feclearexcept(FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW);
}

void check()
{
    const int raised = std::fetestexcept(FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW);
    if (raised & FE_DIVBYZERO)
        throw FloatingPointError(FloatingPointError::Kind::DivideByZero);
    if (raised & FE_INVALID)
        throw FloatingPointError(FloatingPointError::Kind::Invalid);
    if (raised & FE_OVERFLOW)
        throw FloatingPointError(FloatingPointError::Kind::Overflow);
}

double divide(double dividend, double divisor)
{
    if (divisor == 0.0) {
        // 0/0 is an invalid operation on the processor, x/0 a division by zero.
        if (dividend == 0.0 || std::isnan(dividend))
            throw FloatingPointError(FloatingPointError::Kind::Invalid);
        throw FloatingPointError(FloatingPointError::Kind::DivideByZero);
    }
    const double q = dividend / divisor;
    if (std::isnan(q) && !std::isnan(dividend) && !std::isnan(divisor))
        throw FloatingPointError(FloatingPointError::Kind::Invalid);
    if (std::isinf(q) && std::isfinite(dividend) && std::isfinite(divisor))
        throw FloatingPointError(FloatingPointError::Kind::Overflow);
    return q;
}

double sqrt(double x)
{
    if (std::isnan(x) || x < 0.0)
        throw FloatingPointError(FloatingPointError::Kind::Invalid);
    return std::sqrt(x);
}

} // namespace quorvane::fp
