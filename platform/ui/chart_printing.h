#pragma once
// Printing a chart: on a printer in landscape orientation, with the printer's
// previous orientation restored afterwards. Where no printer is installed the
// chart is written as a PDF to a file the user chooses.
class QPrinter;
class QWidget;

namespace quorvane::ui {

class DBChart;

/// Prints `chart` on one landscape page of `printer`, filling the printable
/// area, then restores the printer's orientation. Throws Error when the
/// printer cannot start.
void printChart(DBChart& chart, QPrinter& printer);

/// Prints on the application's printer; with no printer installed, asks for a
/// PDF file through the save dialog (nothing happens when it is cancelled).
void printChartOnAppPrinter(QWidget* parent, DBChart& chart);

/// The printer set-up dialog on the application's printer.
void printerSetup(QWidget* parent);

} // namespace quorvane::ui
