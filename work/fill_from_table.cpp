#include "work/fill_from_table.h"

#include <algorithm>

#include "data/curve_table.h"

namespace quorvane {

int fillFromTable(data::CurveTable& table, std::initializer_list<FieldTarget> targets)
{
    table.first();
    const int n = std::min(table.rowCount(), MaxPoints);
    for (const FieldTarget& target : targets) {
        WorkArray& array = *target.second;
        for (int row = 0; row < n; ++row)
            array[row + 1] = table.value(row, target.first);
    }
    return n;
}

} // namespace quorvane
