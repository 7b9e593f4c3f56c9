#pragma once
// The data module: the seven curve tables of the application, created at
// start-up and kept until the application ends, and the protocol by which the
// windows load them from and save them to their internal files.
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/curve_table.h"
#include "data/report_data.h"
#include "xls/report/report.h"

namespace quorvane::data {

class TdmSea {
public:
    /// Six tables closed, DeltaT open and empty with its fields.
    TdmSea();
    /// Closes every table: a bound table with changed data writes itself to its
    /// file; a failure there is ignored (the application is ending).
    ~TdmSea();
    TdmSea(const TdmSea&) = delete;
    TdmSea& operator=(const TdmSea&) = delete;

    CurveTable cdsSeaRaw;
    CurveTable cdsSeaRawAv;
    CurveTable cdsSeaSpl;
    CurveTable cdsSeaSplP;
    CurveTable cdsSeaSplM;
    CurveTable cdsMovAv;
    CurveTable cdsDeltaT;

    /// The workbook file adapter of the reports; it refuses to write over a file.
    xls::TXLSAdapter XLSAdapter1;
    /// The four curve exports. Template and FileName are set by the command before each run.
    xls::TXlsReport RepSpline;
    xls::TXlsReport RepSplP;
    xls::TXlsReport RepSplM;
    xls::TXlsReport RepMovAv;
    /// What a report template can name: the seven tables and the published properties.
    const xls::TXlsDataModule& reportModule() const noexcept { return reportModule_.registry(); }

    /// The seven tables in the order above.
    std::array<CurveTable*, 7> tables();
    /// A table by its own name ("SeaSpl") or component name ("cdsSeaSpl"); nullptr if none.
    CurveTable* table(std::string_view name);

    /// "SeaRaw.cds" and so on: the internal file name of a table.
    static std::string fileName(const CurveTable& table);
    /// The internal file of a table in a folder.
    static std::string filePath(const std::string& folder, const CurveTable& table);

private:
    ReportDataModule reportModule_;
};

/// The process-wide data module, created by the application at start-up (and by
/// the command-line front end); nullptr before that.
TdmSea* dmSea();
void setDmSea(TdmSea* module);

namespace text {
inline constexpr const char* RequiredFileNotFound = "Required internal file not found - ";
inline constexpr const char* UnableToOpenFile = "Unable to open file - ";
} // namespace text

/// What a window that shows curve tables loads when it is shown and saves when it closes.
struct TablePlan {
    struct File {
        CurveTable* table;
        bool required;
    };
    std::vector<CurveTable*> closedOnShow;
    std::vector<File> filesLoaded;        ///< tested and loaded in this order
    std::vector<CurveTable*> savedOnClose; ///< in this order
};

TablePlan splineWindowPlan(TdmSea& dm);
TablePlan movingAverageWindowPlan(TdmSea& dm);
TablePlan graphsWindowPlan(TdmSea& dm);

/// Shows a warning box with an OK button.
using WarningSink = std::function<void(const std::string& text)>;

/// The loading protocol: close the tables, bind and test each file (a warning for
/// each missing one), and unless a required file is missing load each table in
/// order (a warning for each unreadable one, which stays closed). Returns false
/// when a required file was missing: the window must close at once.
bool loadTables(const TablePlan& plan, const std::string& folder, const WarningSink& warn);

/// The saving protocol: save each table to its internal file in order; a failure
/// is ignored and the next table is saved.
void saveTables(const TablePlan& plan, const std::string& folder);

/// First start: when `folder` does not exist it is created and the seven tables
/// are saved into it empty, with their fields. An existing folder is left alone.
/// Returns false when the folder could not be created or written.
bool seedInternalFolder(const std::string& folder);

} // namespace quorvane::data
