#include "app/export_commands.h"

#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace quorvane::app {

namespace {

constexpr ExportEntry Exports[] = {
    {"Quorvane_Smoothed_Spline.xls", "Quorvane_Smoothed_Spline_1.xls"},
    {"Quorvane_Smoothed_SplineP.xls", "Quorvane_Smoothed_SplineP_1.xls"},
    {"Quorvane_Smoothed_SplineM.xls", "Quorvane_Smoothed_SplineM_1.xls"},
    {"Quorvane_Smoothed_MovAv.xls", "Quorvane_Smoothed_MovAv_1.xls"},
};

// A name beside `path` for its former content while the report runs.
std::filesystem::path asideName(const std::filesystem::path& path)
{
    for (int i = 0;; ++i) {
        std::filesystem::path p = path;
        p += ".quorvane-old-" + std::to_string(::getpid()) + (i ? "-" + std::to_string(i) : "");
        std::error_code ec;
        if (!std::filesystem::exists(std::filesystem::symlink_status(p, ec)))
            return p;
    }
}

} // namespace

const ExportEntry& exportEntry(ExportCurve curve) { return Exports[static_cast<int>(curve)]; }

xls::TXlsReport& exportReport(data::TdmSea& dm, ExportCurve curve)
{
    switch (curve) {
    case ExportCurve::Spline: return dm.RepSpline;
    case ExportCurve::SplineP: return dm.RepSplP;
    case ExportCurve::SplineM: return dm.RepSplM;
    case ExportCurve::MovingAverage: break;
    }
    return dm.RepMovAv;
}

void setExportTemplate(data::TdmSea& dm, ExportCurve curve, const std::string& templateFolder)
{
    exportReport(dm, curve).Template = templateFolder + exportEntry(curve).templateFile;
}

void runExport(data::TdmSea& dm, ExportCurve curve, const std::string& outputPath)
{
    xls::TXlsReport& report = exportReport(dm, curve);
    report.FileName = outputPath;
    namespace fs = std::filesystem;
    const fs::path target(outputPath);
    std::error_code ec;
    fs::path aside;
    if (fs::exists(fs::symlink_status(target, ec))) {
        aside = asideName(target);
        fs::rename(target, aside, ec);
        if (ec)
            aside.clear(); // in use or read-only folder: the run reports the file as not writable
    }
    try {
        report.Run();
    } catch (...) {
        if (!aside.empty() && !fs::exists(fs::symlink_status(target, ec)))
            fs::rename(aside, target, ec);
        throw;
    }
    if (!aside.empty())
        fs::remove(aside, ec);
}

} // namespace quorvane::app
