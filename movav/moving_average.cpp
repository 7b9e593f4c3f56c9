#include "movav/moving_average.h"

#include <algorithm>
#include <cmath>

#include "app/settings/settings_store.h"
#include "data/dm_sea.h"
#include "work/fill_from_table.h"
#include "work/parameter_text.h"

namespace quorvane {

namespace {

/// True when slots 1..N hold no NaN and no -0.0: then any two sorts of a window
/// give the same values bit for bit, equal values being identical.
bool plainValues(const WorkArray& Y, int N)
{
    for (int i = 1; i <= N; ++i) {
        const double y = Y[i];
        if (std::isnan(y) || (y == 0.0 && std::signbit(y)))
            return false;
    }
    return true;
}

} // namespace

MovingAverage::MovingAverage(data::TdmSea& tables, SettingsStore& settings, StatusSink& status)
    : tables_(tables), settings_(settings), status_(status)
{
}

std::string MovingAverage::bbDefineClick(MovingAverageFields& fields)
{
    // Step 1
    if (rbMean)
        AverageType = "Mean";
    else if (rbMedian)
        AverageType = "Median";
    else if (rbTrimean)
        AverageType = "Trimean";

    // Step 2
    for (int panel = 0; panel <= 3; ++panel)
        status_.clearPanel(panel);

    // Step 3: the number of points is stored as typed, before it is made odd.
    settings_.setText(key::StudentsTMultiplier, upperCase(fields.WMultStr));
    settings_.setText(key::MinimumUncertainty, upperCase(fields.WConstStr));
    settings_.setText(key::NumberOfPointsToAverage, upperCase(fields.PointIncrementStr));
    settings_.setText(key::MovingAverageAgeWindow, upperCase(fields.MovAvAgeIncrementStr));
    settings_.setText(key::AgeFrom, upperCase(fields.eFromAge));
    settings_.setText(key::AgeTo, upperCase(fields.eToAge));

    // Step 6, read here so that a number the statistics cannot take is refused
    // before MovAv loses its rows.
    int n = parameterInteger(fields.PointIncrementStr);
    if (n < 0)
        throw Error(text::NegativePointsToAverage);
    if (AverageType != "Mean" && n > SortBuffer::Capacity)
        throw Error(text::TooManyPointsToSort);

    data::CurveTable& raw = tables_.cdsSeaRaw;
    data::CurveTable& movav = tables_.cdsMovAv;

    // SeaRaw is opened here, before MovAv is emptied, rather than only at step 10:
    // a raw table that cannot be opened (its file missing) must not cost the user
    // the moving average computed before. The error is the same.
    raw.open();

    // Step 4
    status_.setPanelText(0, text::EmptyingDataTables);
    data::ControlsPause pause{&raw, &movav};
    try {
        movav.last();
        while (movav.rowCount() > 0)
            movav.deleteRow();
    } catch (const std::exception&) {
        // an empty or closed table: nothing to delete
    }

    // Step 5
    WorkArrays& w = workArrays();
    w.X.clear();
    w.Y.clear();
    w.E.clear();

    // Steps 7 to 9
    if (n % 2 == 0) {
        n = n + 1;
        fields.PointIncrementStr = std::to_string(n);
    }
    const std::string title = "Moving " + AverageType + " (" + std::to_string(n) + " point)";
    const int h = n / 2;

    // Step 10
    raw.open();
    movav.close();
    movav.open();
    status_.setPanelText(0, text::CalculatingCurve);

    // Steps 11 and 12
    const int N = fillFromTable(raw, {{raw.field("Age"), &w.X}, {raw.field("Ratio"), &w.Y}});
    const int fAge = movav.field("Age");
    const int fRatio = movav.field("Ratio");
    std::vector<double> values;
    const bool sorted = AverageType != "Mean";
    if (sorted && plainValues(w.Y, N))
        slidingStatistic(AverageType == "Trimean", N, h, values);
    for (int j = 1; j <= N; ++j) {
        double v;
        if (!values.empty()) {
            v = values[static_cast<std::size_t>(j - 1)];
        } else {
            const int r = std::min({h, j - 1, N - j});
            if (AverageType == "Median")
                v = MedianOf(j - r, j + r);
            else if (AverageType == "Trimean")
                v = TrimeanOf(j - r, j + r);
            else
                v = MeanOf(j - r, j + r);
        }
        movav.append();
        movav.setFloat(fAge, w.X[j]);
        movav.setFloat(fRatio, v);
        movav.post();
    }

    // Step 13: MovAv is kept in Age order by the table itself.
    pause.resume();
    raw.first();
    movav.first();
    status_.setPanelText(0, text::AllCompleted);
    for (int panel = 1; panel <= 3; ++panel)
        status_.clearPanel(panel);

    // Step 14
    raw.close();
    movav.close();
    raw.open();
    movav.open();
    return title;
}

double MovingAverage::MeanOf(int first, int last) const
{
    const WorkArray& Y = workArrays().Y;
    if (first == last)
        return Y[first];
    double sum = 0.0;
    for (int i = first; i <= last; ++i)
        sum = sum + Y[i];
    return sum / (last - first + 1);
}

void MovingAverage::copySorted(SortBuffer& buffer, int first, int last) const
{
    const WorkArray& Y = workArrays().Y;
    const int k = last - first + 1;
    for (int i = 1; i <= k; ++i)
        buffer[i] = Y[first + i - 1];
    SortValues(buffer, k, 1);
}

double MovingAverage::MedianOfSorted(const SortBuffer& a, int k)
{
    const int m = (k + 1) / 2;
    return (a[m] + a[k - m + 1]) * 0.5;
}

double MovingAverage::TrimeanOfSorted(const SortBuffer& a, int k)
{
    const double median = MedianOfSorted(a, k);
    double q1 = 0.0, q3 = 0.0;
    QuartilesOf(a, k, q1, q3);
    return 0.5 * median + 0.25 * q1 + 0.25 * q3;
}

double MovingAverage::MedianOf(int first, int last) const
{
    if (first == last)
        return workArrays().Y[first];
    SortBuffer a;
    copySorted(a, first, last);
    return MedianOfSorted(a, last - first + 1);
}

double MovingAverage::TrimeanOf(int first, int last) const
{
    if (first == last)
        return workArrays().Y[first];
    SortBuffer a;
    copySorted(a, first, last);
    return TrimeanOfSorted(a, last - first + 1);
}

void MovingAverage::slidingStatistic(bool trimean, int N, int h, std::vector<double>& out) const
{
    const WorkArray& Y = workArrays().Y;
    out.resize(static_cast<std::size_t>(N));
    SortBuffer a;
    double* v = a.data() + 1; // slots 1..k as v[0..k-1]
    int k = 0;
    const auto insert = [&](double y) {
        SortBuffer::check(k + 1);
        double* at = std::upper_bound(v, v + k, y);
        std::copy_backward(at, v + k, v + k + 1);
        *at = y;
        ++k;
    };
    const auto remove = [&](double y) {
        double* at = std::lower_bound(v, v + k, y); // equal values are identical: any one will do
        std::copy(at + 1, v + k, at);
        --k;
    };
    // Windows [j - r, j + r] only move forward at both ends as j grows.
    int lo = 1, hi = 0;
    for (int j = 1; j <= N; ++j) {
        const int r = std::min({h, j - 1, N - j});
        for (; lo < j - r; ++lo)
            remove(Y[lo]);
        for (; hi < j + r; )
            insert(Y[++hi]);
        double value;
        if (k == 1)
            value = Y[j];
        else
            value = trimean ? TrimeanOfSorted(a, k) : MedianOfSorted(a, k);
        out[static_cast<std::size_t>(j - 1)] = value;
    }
}

void MovingAverage::SortValues(SortBuffer& values, int count, int low)
{
    int gap = count - low + 1;
    if (gap <= 1)
        return;
    // Every slot touched lies in low..count: check the two ends once.
    SortBuffer::check(low);
    SortBuffer::check(count);
    double* a = values.data();
    do {
        gap = gap < 5 ? 1 : static_cast<int>(gap * 0.45454);
        for (int i = count - gap; i >= low; --i) {
            const double t = a[i];
            int j = i + gap;
            while (j <= count && t > a[j]) {
                a[j - gap] = a[j];
                j = j + gap;
            }
            a[j - gap] = t;
        }
    } while (gap > 1);
}

void MovingAverage::QuartilesOf(const SortBuffer& values, int count, double& lower, double& upper)
{
    const int q = (count + 3) / 4;
    lower = values[q];
    upper = values[count + 1 - q];
}

} // namespace quorvane
