#pragma once
// The curve exports without their window: which report, template and suggested name
// each of the four commands uses, and the run that keeps a former output file when it
// fails. The main window's commands and quorvane-batch export both go through here.
#include "data/dm_sea.h"

#include <string>

namespace quorvane::app {

enum class ExportCurve { Spline, SplineP, SplineM, MovingAverage };

struct ExportEntry {
    const char* templateFile;  ///< in the "Template path" folder
    const char* suggestedName; ///< the save dialog's file name
};

const ExportEntry& exportEntry(ExportCurve curve);

/// `RepSpline`, `RepSplP`, `RepSplM` or `RepMovAv`.
xls::TXlsReport& exportReport(data::TdmSea& dm, ExportCurve curve);

/// Step 1: the report's Template is the "Template path" value followed directly by the
/// template file name (no separator is added).
void setExportTemplate(data::TdmSea& dm, ExportCurve curve, const std::string& templateFolder);

/// Steps 6 to 8: FileName is set to `outputPath`, a file already there is moved aside
/// so that the adapter, which never overwrites, can write, and the report runs. When the
/// run fails the former file is put back; when it succeeds the former file is deleted.
/// A file that cannot be moved aside stays where it is, and the run then fails with the
/// writer's text for a file that may not be overwritten.
void runExport(data::TdmSea& dm, ExportCurve curve, const std::string& outputPath);

} // namespace quorvane::app
