#pragma once
// The four commands of "&Export curve data": the save dialog, "Data export path" and
// the run, with the application's default error display for a failed run.
#include "app/export_commands.h"

class QWidget;

namespace quorvane::app {

/// Runs one export command for the main window `parent` over the process's data module.
void exportCurveData(QWidget* parent, ExportCurve curve);

} // namespace quorvane::app
