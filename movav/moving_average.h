#pragma once
// The moving average: the Calculate command of the moving-average window. For
// every raw point of SeaRaw, in Age order, the values of a window of 2r + 1
// neighbouring points centred on it (r = min(h, j - 1, N - j), h = n div 2) are
// reduced to one number by the mean, the median or the trimean, and one row
// (the point's own Age, that number) is appended to MovAv. The mean of every
// window is summed anew, left to right. The median and the trimean read a sorted
// copy of the window; for data without NaN or -0.0 that copy is kept sorted as
// the window slides (one removal and one insertion per point), which yields the
// same values in the same order as sorting each window afresh.
//
// The window, the command-line front end and the tests all call this class:
//
//     MovingAverage calc(*dmSea(), settingsStore(), statusBar);
//     calc.rbMedian = true;  ...
//     const std::string title = calc.bbDefineClick(fields); // fields.PointIncrementStr may change
#include <array>
#include <string>
#include <vector>

#include "platform/status_sink.h"
#include "work/work_arrays.h"

namespace quorvane {

class SettingsStore;

namespace data {
class TdmSea;
}

namespace text {
inline constexpr const char* CalculatingCurve = "Calculating curve";
inline constexpr const char* NegativePointsToAverage = "The number of points to average must not be negative";
inline constexpr const char* TooManyPointsToSort = "The median and the trimean take at most 101 points to average";
} // namespace text

/// The six parameter fields of the moving-average window, as the user typed them.
struct MovingAverageFields {
    std::string WMultStr;             ///< "Student's t multiplier" (stored only)
    std::string WConstStr;            ///< "Minimum standard deviation" (stored only)
    std::string PointIncrementStr;    ///< "data points": n; the run shows the odd value it used
    std::string MovAvAgeIncrementStr; ///< "age units" (stored only)
    std::string eFromAge;             ///< "From Age" (stored only)
    std::string eToAge;               ///< "To Age" (stored only)
};

/// Slots 1..101 of the values of one window, for the median and the trimean.
class SortBuffer {
public:
    static constexpr int Capacity = 101;
    double& operator[](int slot)
    {
        check(slot);
        return v_[static_cast<std::size_t>(slot)];
    }
    double operator[](int slot) const
    {
        check(slot);
        return v_[static_cast<std::size_t>(slot)];
    }
    double* data() noexcept { return v_.data(); }
    static void check(int slot)
    {
        if (slot < 1 || slot > Capacity)
            throw RangeError();
    }

private:
    std::array<double, Capacity + 1> v_{};
};

class MovingAverage {
public:
    MovingAverage(data::TdmSea& tables, SettingsStore& settings, StatusSink& status);

    /// The radio buttons, tested in this order; rbMean is selected when the window opens.
    bool rbMean = true;
    bool rbMedian = false;
    bool rbTrimean = false;
    /// "Mean", "Median" or "Trimean": the caption of the selected button.
    std::string AverageType = "Mean";

    /// Runs the command and returns the chart title, "Moving " + AverageType +
    /// " (" + n + " point)". Stores the six texts (upper case) in the settings
    /// store, the number of points as typed; an even n is made odd and written
    /// back to fields.PointIncrementStr. A negative n, or an n above 101 for the
    /// median or the trimean, throws Error before any table is touched.
    std::string bbDefineClick(MovingAverageFields& fields);

    // The statistics over slots first..last of the work array Y (an odd count).
    double MeanOf(int first, int last) const;
    double MedianOf(int first, int last) const;
    double TrimeanOf(int first, int last) const;
    /// Shell sort of slots low..count into ascending order, the gap shrunk by the
    /// decimal factor 0.45454 (not 5/11): 101 values take the gaps 45, 20, 9, 4, 1.
    static void SortValues(SortBuffer& values, int count, int low);
    /// With q = (count + 3) div 4: lower = values[q], upper = values[count + 1 - q].
    static void QuartilesOf(const SortBuffer& values, int count, double& lower, double& upper);

    /// The median and the trimean of the k values sorted in slots 1..k.
    static double MedianOfSorted(const SortBuffer& sorted, int k);
    static double TrimeanOfSorted(const SortBuffer& sorted, int k);

private:
    void copySorted(SortBuffer& buffer, int first, int last) const;
    /// The median or trimean of every window, the sorted window kept as it slides.
    void slidingStatistic(bool trimean, int N, int h, std::vector<double>& out) const;

    data::TdmSea& tables_;
    SettingsStore& settings_;
    StatusSink& status_;
};

} // namespace quorvane
