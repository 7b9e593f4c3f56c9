#include "spline/spline_run.h"

#include <array>
#include <cmath>

#include "app/settings/settings_store.h"
#include "data/dm_sea.h"
#include "platform/fpcheck.h"
#include "spline/spline_values.h"
#include "work/fill_from_table.h"
#include "work/nspl.h"
#include "work/parameter_text.h"

namespace quorvane {

namespace {

/// Detaches the raw grid and attaches it again, also when the run stops early.
class RawGridDetach {
public:
    explicit RawGridDetach(const std::function<void(bool)>& hook) : hook_(hook) {}
    RawGridDetach(const RawGridDetach&) = delete;
    RawGridDetach& operator=(const RawGridDetach&) = delete;
    ~RawGridDetach() { attach(); }
    void detach()
    {
        if (!detached_ && hook_)
            hook_(false);
        detached_ = true;
    }
    void attach()
    {
        if (detached_ && hook_)
            hook_(true);
        detached_ = false;
    }

private:
    const std::function<void(bool)>& hook_;
    bool detached_ = false;
};

/// An averaging bin: consecutive raw points whose ages lie less than
/// AgeIncrement from the age of its first point.
struct Bin {
    static constexpr int Capacity = 100;
    double start = 0.0;
    int count = 0;
    double sumAge = 0.0;
    double sumRatio = 0.0;
    std::array<double, Capacity + 1> ratios{}; // slots 1..Capacity
    double firstAge = 0.0, firstRatio = 0.0, firstError = 0.0;

    void open(double age)
    {
        start = age;
        count = 0;
        sumAge = 0.0;
        sumRatio = 0.0;
    }
    void add(double age, double ratio, double error)
    {
        const int slot = count + 1;
        if (slot > Capacity)
            throw RangeError(); // a 101st point
        count = slot;
        ratios[static_cast<std::size_t>(slot)] = ratio;
        if (slot == 1) {
            firstAge = age;
            firstRatio = ratio;
            firstError = error;
        }
        sumAge = sumAge + age;
        sumRatio = sumRatio + ratio;
    }
};

} // namespace

SplineCurveRun::SplineCurveRun(data::TdmSea& tables, SettingsStore& settings, StatusSink& status, char decimalPoint)
    : tables_(tables), settings_(settings), status_(status), decimalPoint_(decimalPoint),
      solver_(tables, status, decimalPoint)
{
}

void SplineCurveRun::bbDefineClick(SplineFields& fields, const SplineSelections& sel)
{
    SplineValues& values = splineValues();
    data::CurveTable& raw = tables_.cdsSeaRaw;
    data::CurveTable& averaged = tables_.cdsSeaRawAv;
    data::ControlsPause rawPause;
    RawGridDetach rawGrid(rawGridAttachment);

    // Step 1: panels 4 and 5 keep their texts.
    for (int panel = 0; panel <= 3; ++panel)
        status_.clearPanel(panel);

    // Step 2
    settings_.setText(key::StudentsTMultiplier, upperCase(fields.WMultStr));
    settings_.setText(key::MinimumUncertainty, upperCase(fields.WConstStr));
    settings_.setText(key::RequiredSmoothingPrecision, upperCase(fields.SStr));
    settings_.setText(key::AgeRangeToAverage, upperCase(fields.AgeIncrementStr));
    settings_.setText(key::AgeFrom, upperCase(fields.eFromAge));
    settings_.setText(key::AgeTo, upperCase(fields.eToAge));
    values.FromAge = parameterNumber(settings_.text(key::AgeFrom));
    values.ToAge = parameterNumber(settings_.text(key::AgeTo));
    NSpl() = parameterInteger(fields.eNSpl);

    // Step 3
    status_.setPanelText(0, text::EmptyingDataTables);
    if (sel.cbDoRawAverages) {
        averaged.emptyTable();
        rawPause.pause(raw);
        rawPause.pause(averaged);
    }
    if (sel.cbSpline)
        tables_.cdsSeaSpl.emptyTable();
    if (sel.cbSplineP)
        tables_.cdsSeaSplP.emptyTable();
    if (sel.cbSplineM)
        tables_.cdsSeaSplM.emptyTable();

    // Step 4
    values.WMult = parameterNumber(fields.WMultStr);
    values.WConst = parameterNumber(fields.WConstStr);
    values.S = parameterNumber(fields.SStr);
    values.AgeIncrement = parameterNumber(fields.AgeIncrementStr);
    raw.open();
    averaged.close();
    averaged.open();

    // Step 5
    if (sel.cbDoRawAverages) {
        rawGrid.detach();
        status_.setPanelText(0, text::CopyingAndAveraging);
        averageRawPoints();
    }

    // Step 6
    raw.first();
    averaged.first();
    status_.setPanelText(0, text::ReadingAverageData);
    rawGrid.detach();
    WorkArrays& w = workArrays();
    const int N = fillFromTable(averaged, {{averaged.field("Age"), &w.X},
                                           {averaged.field("Ratio"), &w.Y},
                                           {averaged.field("Error"), &w.E0}});
    for (int i = 1; i <= N; ++i)
        w.E[i] = w.E0[i] * values.WMult;

    // Step 7
    if (2 * N > NSpl())
        NSpl() = 2 * N;
    fields.eNSpl = std::to_string(NSpl());
    rawGrid.attach();
    rawPause.resume();
    tables_.cdsSeaSpl.close();
    tables_.cdsSeaSpl.open();

    // The solver also uses slot N + 1: refuse a run it could not finish rather
    // than stop it with a range error after the tables were emptied again.
    if (N >= MaxPoints && (sel.cbSpline || sel.cbSplineP || sel.cbSplineM))
        throw Error(text::TooManyAveragedPoints);

    const auto fit = [&](const char* target, const char* running, const char* done, const WorkArray& y) {
        data::CurveTable& table = *tables_.table(target);
        table.emptyTable();
        values.TargetTable = target;
        status_.setPanelText(0, running);
        status_.setPanelText(2, std::to_string(N));
        if (N > 0) // an empty SeaRawAv gives no curve row; panel 3 says why
            solver_(w.X, y, w.E, N, values.S);
        status_.setPanelText(0, done);
    };

    // Step 8
    if (sel.cbSpline) {
        fit("SeaSpl", text::SmoothingCentralCurve, text::CentralCurveCompleted, w.Y);
        central_ = solver_.lastFit();
    }

    // Step 9
    for (int i = 1; i <= N; ++i)
        w.YEnv[i] = w.Y[i] + values.WMult * w.E0[i];
    tables_.cdsSeaSplP.close();
    tables_.cdsSeaSplP.open();
    if (sel.cbSplineP)
        fit("SeaSplP", text::SmoothingPlusCurve, text::PlusCurveCompleted, w.YEnv);

    // Step 10
    for (int i = 1; i <= N; ++i)
        w.YEnv[i] = w.Y[i] - values.WMult * w.E0[i];
    tables_.cdsSeaSplM.close();
    tables_.cdsSeaSplM.open();
    if (sel.cbSplineM)
        fit("SeaSplM", text::SmoothingMinusCurve, text::MinusCurveCompleted, w.YEnv);

    // Step 11: the displays paused by this run are running again (steps 7 and
    // 18); closing writes every changed table to its internal file.
    data::CurveTable* const order[] = {&raw, &averaged, &tables_.cdsSeaSpl, &tables_.cdsSeaSplM,
                                       &tables_.cdsSeaSplP};
    for (data::CurveTable* t : order)
        t->first();
    status_.setPanelText(0, text::AllCompleted);
    status_.clearPanel(1);
    for (data::CurveTable* t : order)
        t->close();
    for (data::CurveTable* t : order)
        t->open();

    // Step 12
    const double Nd = static_cast<double>(averaged.rowCount());
    if (Nd == 0.0) {
        status_.setPanelText(3, text::NoAveragedPoints);
        return;
    }
    fp::clear();
    const double root = fp::sqrt(2 * Nd);
    const double lower = fp::divide(Nd - root, Nd);
    const double upper = fp::divide(root + Nd, Nd);
    fp::check();
    status_.setPanelText(3, data::formatDisplay(lower, "##0.000", decimalPoint_) + text::RangeOfSSeparator +
                                data::formatDisplay(upper, "##0.000", decimalPoint_));
}

void SplineCurveRun::averageRawPoints()
{
    // Step 5: bins of consecutive raw points, in Age order.
    const SplineValues& values = splineValues();
    data::CurveTable& raw = tables_.cdsSeaRaw;
    data::CurveTable& averaged = tables_.cdsSeaRawAv;
    averaged.emptyTable();
    raw.first();
    averaged.first();
    const int rows = raw.rowCount();
    if (rows == 0)
        return;

    const int rAge = raw.field("Age"), rRatio = raw.field("Ratio"), rError = raw.field("Error");
    const int aAge = averaged.field("Age"), aRatio = averaged.field("Ratio"), aError = averaged.field("Error"),
              aN = averaged.field("N");

    const auto close = [&](const Bin& bin) {
        // A bin of no point (only with an AgeIncrement of 0 or less, before the
        // first point) is not an averaged point: nothing is written.
        if (bin.count == 0)
            return;
        fp::clear();
        double age, ratio, error;
        if (bin.count >= 2) {
            age = bin.sumAge / bin.count;
            ratio = bin.sumRatio / bin.count;
            double ss = 0.0;
            for (int k = 1; k <= bin.count; ++k) {
                const double dev = bin.ratios[static_cast<std::size_t>(k)] - ratio;
                ss = ss + dev * dev;
            }
            error = ss > 0 ? std::sqrt(ss / (bin.count - 1)) : values.WConst;
        } else {
            age = bin.firstAge;
            ratio = bin.firstRatio;
            error = bin.firstError; // a null Error reads as 0 and is raised below
        }
        if (error < values.WConst)
            error = values.WConst;
        fp::check();
        if (values.FromAge < age && age < values.ToAge) {
            averaged.append();
            averaged.setFloat(aAge, age);
            averaged.setFloat(aRatio, ratio);
            averaged.setFloat(aError, error);
            averaged.setFloat(aN, bin.count);
            averaged.post();
        }
    };

    Bin bin;
    bin.open(raw.value(0, rAge));
    for (int row = 0; row < rows; ++row) {
        const double age = raw.value(row, rAge);
        const double ratio = raw.value(row, rRatio);
        const double error = raw.value(row, rError);
        if (std::fabs(age - bin.start) < values.AgeIncrement) {
            bin.add(age, ratio, error);
        } else {
            close(bin);
            bin.open(age);
            bin.add(age, ratio, error);
        }
    }
    close(bin);
}

} // namespace quorvane
