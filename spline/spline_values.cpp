#include "spline/spline_values.h"

namespace quorvane {

SplineValues& splineValues()
{
    static SplineValues values;
    return values;
}

} // namespace quorvane
