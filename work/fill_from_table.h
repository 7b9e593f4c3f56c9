#pragma once
// The fill-from-table rule shared by the calculations: copy fields of a curve
// table, in Age order, into slots 1..N of work arrays.
#include <initializer_list>
#include <utility>

#include "work/work_arrays.h"

namespace quorvane::data {
class CurveTable;
}

namespace quorvane {

/// One field of the table and the work array that receives it.
using FieldTarget = std::pair<int, WorkArray*>;

/// Copies row k (0-based, in Age order) into slot k + 1 of each target array, a
/// null field as 0, stopping after the last row or when the next slot would
/// exceed MaxPoints (rows after the 15000th are ignored without a message).
/// Returns N, the number of rows copied; an empty table gives N = 0 and writes
/// nothing. The table's cursor is left on its first row.
int fillFromTable(data::CurveTable& table, std::initializer_list<FieldTarget> targets);

} // namespace quorvane
