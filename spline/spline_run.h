#pragma once
// The spline curve run: the Calculate command of the spline window. It reads
// the smoothing parameters as typed, optionally averages the raw points SeaRaw
// in age bins into SeaRawAv, loads SeaRawAv into the work arrays and fits the
// central curve (SeaSpl), the +95% envelope (SeaSplP) and the -95% envelope
// (SeaSplM) as selected, each a separate SmoothSpline of the averaged values
// (moved up or down by WMult times their Error for the envelopes) with the
// weights Error times WMult. Progress, the MSWD and the recommended range of S
// go to the status sink (panels 0 to 4; panel 5 is never written).
//
// The window, the command-line front end and the tests all call this class:
//
//     SplineCurveRun run(*dmSea(), settingsStore(), statusBar, locale.decimalPoint());
//     run.rawGridAttachment = [&](bool attached) { ... bind or unbind dbgRaw ... };
//     run.bbDefineClick(fields, selections);   // fields.eNSpl now shows NSpl
#include <functional>
#include <string>

#include "platform/status_sink.h"
#include "spline/smooth_spline.h"

namespace quorvane {

class SettingsStore;

namespace data {
class TdmSea;
}

namespace text {
inline constexpr const char* CopyingAndAveraging = "Copying and Averaging data";
inline constexpr const char* ReadingAverageData = "Reading average data";
inline constexpr const char* SmoothingCentralCurve = "Smoothing central curve";
inline constexpr const char* CentralCurveCompleted = "Central curve completed";
inline constexpr const char* SmoothingPlusCurve = "Smoothing plus error curve";
inline constexpr const char* PlusCurveCompleted = "Plus error curve completed";
inline constexpr const char* SmoothingMinusCurve = "Smoothing minus error curve";
inline constexpr const char* MinusCurveCompleted = "Minus error curve completed";
inline constexpr const char* RangeOfSSeparator = " < S < ";
inline constexpr const char* NoAveragedPoints = "No averaged points to smooth";
inline constexpr const char* TooManyAveragedPoints =
    "Too many averaged points: the spline takes at most 14999, SeaRawAv holds 15000 or more";
} // namespace text

/// The seven parameter fields of the spline window, as the user typed them.
struct SplineFields {
    std::string WMultStr;        ///< "Student's t multiplier"
    std::string WConstStr;       ///< "Minimum standard deviation"
    std::string SStr;            ///< "Required smoothing precision"
    std::string AgeIncrementStr; ///< "Average every" ... "age units"
    std::string eFromAge;        ///< "From Age"
    std::string eToAge;          ///< "To Age"
    std::string eNSpl;           ///< "Number of spline points"; the run writes NSpl back
};

/// The four check boxes of the Define tab.
struct SplineSelections {
    bool cbDoRawAverages = false; ///< "Average the raw data"
    bool cbSpline = false;        ///< "Calculate  curve"
    bool cbSplineP = false;       ///< "Calculate +95% curve"
    bool cbSplineM = false;       ///< "Calculate -95% curve"
};

class SplineCurveRun {
public:
    /// `decimalPoint` is the user's decimal separator for the texts of panels 3 and 4.
    SplineCurveRun(data::TdmSea& tables, SettingsStore& settings, StatusSink& status, char decimalPoint = '.');

    /// Called with false when the raw grid must let go of SeaRaw (averaging and
    /// loading walk thousands of rows) and with true when it may bind again,
    /// also when the run stops early. Optional.
    std::function<void(bool attached)> rawGridAttachment;

    /// Runs the command. Stores six texts in upper case in the settings store,
    /// sets the application-wide values, NSpl and TargetTable, rewrites the
    /// selected tables, closes and reopens the five tables (writing the changed
    /// ones to their internal files) and sets fields.eNSpl to NSpl. Throws the
    /// failure that stops it (RangeError for a 101st point in a bin,
    /// FloatingPointError from the fit, Error for 15000 or more averaged points
    /// with a curve selected, TableError for a closed or unbound table); what
    /// was written before stays.
    void bbDefineClick(SplineFields& fields, const SplineSelections& selections);

    /// The central fit of the last run that computed one.
    const SplineFit& centralFit() const noexcept { return central_; }

private:
    void averageRawPoints();

    data::TdmSea& tables_;
    SettingsStore& settings_;
    StatusSink& status_;
    char decimalPoint_;
    SmoothSpline solver_;
    SplineFit central_;
};

} // namespace quorvane
