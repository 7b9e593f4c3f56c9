#include "spline/smooth_spline.h"

#include <algorithm>
#include <string_view>

#include "data/dm_sea.h"
#include "platform/fpcheck.h"
#include "work/nspl.h"
#include "spline/spline_values.h"

namespace quorvane {

namespace {

// Every age spacing of the solver and of its sampling is shifted by 1e-7, so two
// equal ages give -1e-7 and only ages exactly 1e-7 apart give a zero spacing.
inline double spacing(const double* x, int i) { return (x[i + 1] - x[i]) - 1e-7; }

data::CurveTable* targetTable(data::TdmSea& dm, std::string_view name)
{
    if (name == "SeaSpl")
        return &dm.cdsSeaSpl;
    if (name == "SeaSplP")
        return &dm.cdsSeaSplP;
    if (name == "SeaSplM")
        return &dm.cdsSeaSplM;
    return nullptr;
}

} // namespace

void SmoothSpline::progress(const char* panelText)
{
    // The arithmetic of a step must not have failed before its text is shown;
    // whatever the repaint does to the flags is not the calculation's.
    fp::check();
    status_.setPanelText(1, panelText);
    fp::clear();
}

SmoothSpline::SmoothSpline(data::TdmSea& tables, StatusSink& status, char decimalPoint)
    : tables_(tables), status_(status), decimalPoint_(decimalPoint)
{
}

void SmoothSpline::operator()(const WorkArray& xArray, const WorkArray& yArray, const WorkArray& dyArray, int N,
                              double S)
{
    WorkArrays& w = workArrays();
    fit_ = SplineFit{};
    fp::clear();

    // Step 1. The checked writes stop a run of N = MaxPoints here: slot N + 1 is
    // beyond the work area. Every slot below lies in 0 .. max(N + 1, 2).
    const double s = ((static_cast<double>(N) * 1.0) * S) * S;
    w.r[0] = 0.0;
    w.r[1] = 0.0;
    w.u[0] = 0.0;
    w.u[1] = 0.0;
    w.u[N] = 0.0;
    w.u[N + 1] = 0.0;
    w.r1[N] = 0.0;
    w.r2[N] = 0.0;
    w.r2[N + 1] = 0.0;
    WorkArray::checkSlot(std::max(N + 1, 2));
    double p = 0.0;
    fit_.s = s;

    const double* x = xArray.data();
    const double* y = yArray.data();
    const double* dy = dyArray.data();
    double* t = w.t.data();
    double* t1 = w.t1.data();
    double* r = w.r.data();
    double* r1 = w.r1.data();
    double* r2 = w.r2.data();
    double* a = w.a.data();
    double* b = w.b.data();
    double* c = w.c.data();
    double* d = w.d.data();
    double* u = w.u.data();
    double* v = w.v.data();

    // Step 2: every spacing is a divisor here, so a zero spacing stops the run
    // in this step with the error of its division (x/0 or 0/0).
    double e = 0.0;
    double f = 0.0;
    double g = 0.0;
    double h = spacing(x, 1);
    f = fp::divide(y[2] - y[1], h);
    for (int i = 2; i <= N - 1; ++i) {
        g = h;
        h = spacing(x, i);
        e = f;
        f = fp::divide(y[i + 1] - y[i], h);
        a[i] = f - e;
        t[i] = 2 * (g + h) / 3;
        t1[i] = h / 3;
        r2[i] = fp::divide(dy[i - 1], g);
        r[i] = fp::divide(dy[i + 1], h);
        r1[i] = fp::divide(-dy[i], g) - fp::divide(dy[i], h);
    }
    progress(text::SplineFirstLoop);

    // Step 3
    for (int i = 2; i <= N - 1; ++i) {
        b[i] = r[i] * r[i] + r1[i] * r1[i] + r2[i] * r2[i];
        c[i] = r[i] * r1[i + 1] + r1[i] * r2[i + 1];
        d[i] = r[i] * r2[i + 2];
    }
    double f2 = -s;
    progress(text::SplineSecondLoop);

    for (;;) {
        ++fit_.passes;
        // Step 4: factorise (p Q'D^2 Q + T) and solve forward.
        f = 0.0;
        g = 0.0;
        h = 0.0;
        for (int i = 2; i <= N - 1; ++i) {
            r1[i - 1] = f * r[i - 1];
            r2[i - 2] = g * r[i - 2];
            const double pivot = p * b[i] + t[i] - f * r1[i - 1] - g * r2[i - 2];
            r[i] = pivot == 0.0 ? 1e-10 : 1.0 / pivot;
            u[i] = a[i] - r1[i - 1] * u[i - 1] - r2[i - 2] * u[i - 2];
            f = p * c[i] + t1[i] - h * r1[i - 1];
            g = h;
            h = d[i] * p;
        }
        progress(text::SplineThirdLoop);

        // Step 5: back substitution.
        for (int i = N - 1; i >= 2; --i)
            u[i] = r[i] * u[i] - r1[i] * u[i + 1] - r2[i] * u[i + 2];
        progress(text::SplineFourthLoop);

        // Step 6: v = D^2 Q u and e = u'Q'D^2 Q u.
        e = 0.0;
        h = 0.0;
        for (int i = 1; i <= N - 1; ++i) {
            g = h;
            h = (u[i + 1] - u[i]) / spacing(x, i);
            v[i] = (h - g) * dy[i] * dy[i];
            e = e + v[i] * (h - g);
        }
        progress(text::SplineFifthLoop);
        g = -h * dy[N] * dy[N];
        v[N] = g;
        e = e - g * h;

        // Step 7: F(p) = p^2 e; stop on reaching s or when F stops growing.
        g = f2;
        f2 = e * p * p;
        fp::check();
        if (f2 >= s || f2 <= g)
            break;

        // Step 8: the update vector, for F'(p).
        f = 0.0;
        h = (v[2] - v[1]) / spacing(x, 1);
        for (int i = 2; i <= N - 1; ++i) {
            g = h;
            h = (v[i + 1] - v[i]) / spacing(x, i);
            g = h - g - r1[i - 1] * r[i - 1] - r2[i - 2] * r[i - 2];
            f = f + g * r[i] * g;
            r[i] = g;
        }
        progress(text::SplineSixthLoop);

        // Step 9: Newton step on sqrt(F(p)) = sqrt(s).
        h = e - p * f;
        if (h <= 0)
            break;
        p = p + (s - f2) / ((fp::sqrt(fp::divide(s, e)) + p) * h);
        fp::check();
    }
    fit_.p = p;
    fit_.f2 = f2;

    // Step 10
    for (int i = 1; i <= N; ++i) {
        a[i] = y[i] - p * v[i];
        c[i] = u[i];
    }
    progress(text::SplineSeventhLoop);

    // Step 11
    for (int i = 1; i <= N - 1; ++i) {
        const double hi = spacing(x, i);
        d[i] = (c[i + 1] - c[i]) / (3 * hi);
        b[i] = (a[i + 1] - a[i]) / hi - (hi * d[i] + c[i]) * hi;
    }
    progress(text::SplineEighthLoop);

    {
        // The three curve tables redraw once, when the sampling ends however it ends.
        data::ControlsPause pause{&tables_.cdsSeaSpl, &tables_.cdsSeaSplM, &tables_.cdsSeaSplP};
        sample(xArray, N, S);
        if (splineValues().TargetTable == "SeaSpl")
            measureMswd(dyArray);
    }
    status_.setPanelText(1, text::SplineComplete);
}

void SmoothSpline::sample(const WorkArray& xArray, int N, double S)
{
    // Step 13. The checks of operator() cover every slot read here.
    const WorkArrays& w = workArrays();
    const double* x = xArray.data();
    const double* a = w.a.data();
    const double* b = w.b.data();
    const double* c = w.c.data();
    const double* d = w.d.data();

    const SplineValues& values = splineValues();
    const int perInterval = N > 0 ? NSpl() / N : 0;
    data::CurveTable* target = targetTable(tables_, values.TargetTable);
    const double errorValue = values.WMult * values.WConst;
    int fAge = 0, fRatio = 0, fError = 0, fYPrime = 0, fS = 0;
    if (target) {
        fAge = target->field("Age");
        fRatio = target->field("Ratio");
        fError = target->field("Error");
        fYPrime = target->field("YPrime");
        fS = target->field("S");
    }
    for (int j = 1; j <= N - 1; ++j) {
        const double hj = spacing(x, j);
        for (int k = 0; k < perInterval; ++k) {
            const double dx = k * 1.0 * hj / perInterval;
            const double age = x[j] + dx;
            const double ratio = ((d[j] * dx + c[j]) * dx + b[j]) * dx + a[j];
            const double yPrime = (b[j] + 2 * dx * c[j] + 3 * dx * dx * d[j]) * 10000;
            fp::check();
            if (!target)
                continue;
            target->append();
            target->setFloat(fAge, age);
            target->setFloat(fRatio, ratio);
            target->setFloat(fError, errorValue);
            target->setFloat(fYPrime, yPrime);
            target->setFloat(fS, S);
            target->post();
            fp::clear(); // only the arithmetic above may stop the run, not the table's
        }
    }
}

void SmoothSpline::measureMswd(const WorkArray& dy)
{
    // Steps 14 to 17. SeaRawAv is walked by position: the same rows in the same
    // order as first/next, without moving the cursor of a table on show.
    data::CurveTable& averaged = tables_.cdsSeaRawAv;
    data::CurveTable& curve = tables_.cdsSeaSpl;
    const int avAge = averaged.field("Age");
    const int avRatio = averaged.field("Ratio");
    const int splAge = curve.field("Age");
    const int splRatio = curve.field("Ratio");

    averaged.first();
    curve.last();
    const double maxAge = curve.asFloat(splAge);
    const int rows = averaged.rowCount();

    double sw = 0.0, swd = 0.0, swdd = 0.0;
    int count = 0;
    int row = 0;
    for (;;) {
        ++count;
        const double age = rows > 0 ? averaged.value(row, avAge) : averaged.asFloat(avAge);
        const double ratio = rows > 0 ? averaged.value(row, avRatio) : averaged.asFloat(avRatio);
        curve.locateAge(age); // no row of that age: the row found before stays current
        const double dev = ratio - curve.asFloat(splRatio);
        const double wt = fp::divide(1.0, dy[count] * dy[count]);
        sw = sw + wt;
        swd = swd + wt * dev;
        swdd = swdd + wt * dev * dev;
        ++row;
        if (row >= rows || averaged.value(row, avAge) > maxAge)
            break;
    }
    double mswd = -99.999;
    if (sw > 0)
        mswd = fp::divide(swdd - swd * swd / sw, static_cast<double>(count - 1));
    fp::check();
    fit_.mswd = mswd;
    fit_.mswdCount = count;
    status_.setPanelText(4, text::MswdPrefix + data::formatDisplay(mswd, "####0.000", decimalPoint_));
    status_.setPanelText(2, text::MswdCountPrefix + std::to_string(count));
}

} // namespace quorvane
