// The calculation commands of quorvane-batch: the CSV import of raw points, the
// spline curve run and the moving average. Each loads the tables its window
// would load, runs the same class the window's Calculate button runs, with
// the options in place of the window's fields and check boxes (a field not
// given takes its value from the settings store, as the window's field would),
// and writes the tables back as the window does when it closes.
#include <array>
#include <iostream>

#include "app/settings/settings_store.h"
#include "cli/cli.h"
#include "import/csv_import.h"
#include "movav/moving_average.h"
#include "spline/spline_run.h"
#include "work/nspl.h"

namespace quorvane::cli {

const char* const splineUsage =
    "[--average] [--central] [--plus] [--minus] [--t-multiplier X] [--min-sd X] [--precision S] "
    "[--bin-width X] [--from-age X] [--to-age X] [--points N]";
const char* const movavUsage =
    "[--type mean|median|trimean] [--points N] [--t-multiplier X] [--min-sd X] [--age-window X] "
    "[--from-age X] [--to-age X]";

namespace {

/// Status texts on standard error as they change; the final texts kept for the end.
class StreamStatus : public StatusSink {
public:
    explicit StreamStatus(std::ostream& err) : err_(err) {}
    void setPanelText(int panel, const std::string& text) override
    {
        if (panel >= 0 && panel < static_cast<int>(panels_.size()))
            panels_[static_cast<std::size_t>(panel)] = text;
        if (!text.empty())
            err_ << "[" << panel << "] " << text << '\n';
    }
    void print(std::ostream& out) const
    {
        for (std::size_t p = 0; p < panels_.size(); ++p)
            if (!panels_[p].empty())
                out << "panel " << p << ": " << panels_[p] << '\n';
    }

private:
    std::ostream& err_;
    std::array<std::string, 6> panels_;
};

std::string field(const Options& opts, const char* option, const char* settingsKey)
{
    const std::string* v = opts.value(option);
    return v ? *v : settingsStore().text(settingsKey);
}

/// The loading protocol of the window; a missing required file ends the command.
void loadLikeWindow(const data::TablePlan& plan, CliContext& ctx)
{
    const bool ready = data::loadTables(plan, ctx.internalFolder, [&](const std::string& t) { ctx.err << t << '\n'; });
    if (!ready)
        throw Error("The internal files of this command are missing in " + ctx.internalFolder);
}

} // namespace

int importCsvCommand(const Args& args, CliContext& ctx)
{
    const Options opts(args, {}, {});
    if (opts.positional().size() != 1)
        throw UsageError("import-csv needs one file");
    for (data::CurveTable* t : {&ctx.dm.cdsSeaRaw, &ctx.dm.cdsDeltaT}) {
        const std::string path = data::TdmSea::filePath(ctx.internalFolder, *t);
        t->bindToFile(path);
        t->loadFromFile(path);
    }
    const CsvImportResult r = importCsv(opts.positional()[0], ctx.dm.cdsSeaRaw, ctx.dm.cdsDeltaT);
    ctx.out << "SeaRaw\t" << r.imported << " rows from " << r.linesRead << " lines\n";
    ctx.out << "DeltaT\t" << ctx.dm.cdsDeltaT.rowCount() << " rows\n";
    return 0;
}

int splineCommand(const Args& args, CliContext& ctx)
{
    const Options opts(args, {"t-multiplier", "min-sd", "precision", "bin-width", "from-age", "to-age", "points"},
                       {"average", "central", "plus", "minus"});
    if (!opts.positional().empty())
        throw UsageError("spline takes no file");
    SplineFields fields{field(opts, "t-multiplier", key::StudentsTMultiplier),
                        field(opts, "min-sd", key::MinimumUncertainty),
                        field(opts, "precision", key::RequiredSmoothingPrecision),
                        field(opts, "bin-width", key::AgeRangeToAverage),
                        field(opts, "from-age", key::AgeFrom),
                        field(opts, "to-age", key::AgeTo),
                        opts.value("points") ? *opts.value("points") : std::to_string(NSpl())};
    const SplineSelections sel{opts.has("average"), opts.has("central"), opts.has("plus"), opts.has("minus")};

    const data::TablePlan plan = data::splineWindowPlan(ctx.dm);
    loadLikeWindow(plan, ctx);
    StreamStatus status(ctx.err);
    SplineCurveRun run(ctx.dm, settingsStore(), status);
    try {
        run.bbDefineClick(fields, sel);
    } catch (...) {
        data::saveTables(plan, ctx.internalFolder); // what was written up to the failure stays
        status.print(ctx.out);
        throw;
    }
    data::saveTables(plan, ctx.internalFolder);
    status.print(ctx.out);
    ctx.out << "Number of spline points: " << fields.eNSpl << '\n';
    return 0;
}

int movavCommand(const Args& args, CliContext& ctx)
{
    const Options opts(args, {"type", "points", "t-multiplier", "min-sd", "age-window", "from-age", "to-age"}, {});
    if (!opts.positional().empty())
        throw UsageError("movav takes no file");
    const std::string type = opts.value("type") ? *opts.value("type") : "mean";
    if (type != "mean" && type != "median" && type != "trimean")
        throw UsageError("Unknown type " + type);
    MovingAverageFields fields{field(opts, "t-multiplier", key::StudentsTMultiplier),
                               field(opts, "min-sd", key::MinimumUncertainty),
                               field(opts, "points", key::NumberOfPointsToAverage),
                               field(opts, "age-window", key::MovingAverageAgeWindow),
                               field(opts, "from-age", key::AgeFrom),
                               field(opts, "to-age", key::AgeTo)};

    const data::TablePlan plan = data::movingAverageWindowPlan(ctx.dm);
    loadLikeWindow(plan, ctx);
    StreamStatus status(ctx.err);
    MovingAverage calc(ctx.dm, settingsStore(), status);
    calc.rbMean = type == "mean";
    calc.rbMedian = type == "median";
    calc.rbTrimean = type == "trimean";
    std::string title;
    try {
        title = calc.bbDefineClick(fields);
    } catch (...) {
        data::saveTables(plan, ctx.internalFolder);
        status.print(ctx.out);
        throw;
    }
    data::saveTables(plan, ctx.internalFolder);
    ctx.out << title << '\n';
    status.print(ctx.out);
    ctx.out << "MovAv\t" << ctx.dm.cdsMovAv.rowCount() << " rows\n";
    return 0;
}

} // namespace quorvane::cli
