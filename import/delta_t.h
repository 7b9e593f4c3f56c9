#pragma once
// The table of age increments DeltaT, derived from the raw points after every
// import: one row per raw point but the first, holding that point's Age and its
// distance from the previous point in Age order.
namespace quorvane::data {
class CurveTable;
}

namespace quorvane {

/// Empties DeltaT (row by row from the last; an empty or closed table is left
/// as it is) and refills it from SeaRaw in ascending Age order: Age = a row's
/// age, DeltaT = that age minus the previous row's age. A row that cannot be
/// appended or posted is skipped and the previous age stays. Saving is the
/// caller's. Throws TableError when SeaRaw is closed.
void rebuildDeltaT(data::CurveTable& seaRaw, data::CurveTable& deltaT);

} // namespace quorvane
