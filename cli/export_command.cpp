// quorvane-batch export spline|splinep|splinem|movav OUT.xls: the export command of the
// main window without its dialog. The tables are bound to their internal files and the
// report opens the ones its template names, as it does with closed tables in the program.
#include "app/export_commands.h"
#include "app/settings/settings_store.h"
#include "cli/cli.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace quorvane::cli {

const char* const exportUsage = "spline|splinep|splinem|movav OUT.xls";

int exportCommand(const Args& args, CliContext& ctx)
{
    const Options opts(args, {}, {});
    if (opts.positional().size() != 2)
        throw UsageError("export needs a curve and an output file");
    const std::pair<const char*, app::ExportCurve> curves[] = {
        {"spline", app::ExportCurve::Spline},
        {"splinep", app::ExportCurve::SplineP},
        {"splinem", app::ExportCurve::SplineM},
        {"movav", app::ExportCurve::MovingAverage},
    };
    const std::string& name = opts.positional()[0];
    const auto* curve = std::find_if(std::begin(curves), std::end(curves), [&](const auto& c) { return name == c.first; });
    if (curve == std::end(curves))
        throw UsageError("Unknown curve " + name);
    for (data::CurveTable* t : ctx.dm.tables())
        if (!t->isOpen() && t->boundFile().empty())
            t->bindToFile(data::TdmSea::filePath(ctx.internalFolder, *t));
    app::setExportTemplate(ctx.dm, curve->second, settingsStore().text(key::TemplatePath));
    app::runExport(ctx.dm, curve->second, opts.positional()[1]);
    return 0;
}

} // namespace quorvane::cli
