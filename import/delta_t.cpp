#include "import/delta_t.h"

#include "data/curve_table.h"

namespace quorvane {

void rebuildDeltaT(data::CurveTable& seaRaw, data::CurveTable& deltaT)
{
    try {
        deltaT.last();
        while (deltaT.rowCount() > 0)
            deltaT.deleteRow();
    } catch (const std::exception&) {
        // already empty, or closed: then appending below fails row by row
    }

    const int rawAge = seaRaw.field("Age");
    seaRaw.first();
    const int rows = seaRaw.rowCount();
    const int fAge = deltaT.field("Age");
    const int fDelta = deltaT.field("DeltaT");

    // Appending thousands of rows must not repaint a bound grid row by row.
    deltaT.disableControls();
    struct Resume {
        data::CurveTable& table;
        ~Resume() { table.enableControls(); }
    } resume{deltaT};

    double previous = seaRaw.asFloat(rawAge); // an empty SeaRaw reads 0 and gives no row
    for (int row = 1; row < rows; ++row) {
        const double age = seaRaw.value(row, rawAge);
        try {
            deltaT.append();
            deltaT.setFloat(fAge, age);
            deltaT.setFloat(fDelta, age - previous);
            deltaT.post();
            previous = age;
        } catch (const std::exception&) {
            try {
                deltaT.cancel();
            } catch (const std::exception&) {
            }
        }
    }
}

} // namespace quorvane
