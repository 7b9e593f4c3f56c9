#pragma once
// Raw points from a CSV file, for the command line: a header naming the columns
// Age, Ratio and Error (any order, any case; Error may be missing), then one
// point per line with a decimal point. A line whose Age or Ratio is empty or not
// a number is dropped, as is one whose Error is neither empty nor a number; an
// empty Error stays empty (null).
#include <string>

#include "platform/errors.h"

namespace quorvane::data {
class CurveTable;
}

namespace quorvane {

namespace text {
inline constexpr const char* CsvCannotRead = "Cannot read the file %s";
inline constexpr const char* CsvNoHeader = "The file %s has no header naming the columns Age and Ratio";
} // namespace text

struct CsvImportResult {
    int linesRead = 0; ///< data lines after the header
    int imported = 0;  ///< rows that became raw points
};

/// Replaces SeaRaw by the points of the file, saves SeaRaw to its internal file
/// (the file it is bound to), rebuilds DeltaT and saves it likewise. Both tables
/// must be open and bound. Throws Error for an unreadable file or a missing
/// header (SeaRaw is then untouched) and TableError when a save fails.
CsvImportResult importCsv(const std::string& path, data::CurveTable& seaRaw, data::CurveTable& deltaT);

} // namespace quorvane
