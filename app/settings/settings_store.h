#pragma once
// The settings store: one process-wide value per key of the settings file
// "Quorvane.INI", and the two functions that read the whole file into it and
// write it back. Texts hold what the user typed (calculation parameters stay
// text until a calculation converts them); window positions are 32-bit signed
// integers; "Marine Sr isotope" is the one boolean.
//
// File layout (sections in this order, keys in the order they are read):
//   "File Paths"        "Data spreadsheets", "Internal files", "Data import path",
//                       "Data export path", "Template path"
//   "Curve parameters"  "Marine Sr isotope" (boolean), "Minimum uncertainty",
//                       "Students t multiplier", "Required smoothing precision",
//                       "Number of points to average", "Moving average age window",
//                       "Age range to average"
//   "Input fields"      "X Column", "Y Column", "Y err Column", "Age from",
//                       "Age to", "From Row", "To Row"
//   "Form positions"    "<Name> Left", "<Name> Top", "<Name> Height", "<Name> Width"
//                       for "Main", "Sheet", "Spline", "Moving Average", "Graph", "Export"
// Writing visits the same keys in the same order except that "Age range to
// average" is written right after "Required smoothing precision".
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

namespace key { // every key of the settings file, byte for byte
inline constexpr const char* DataSpreadsheets = "Data spreadsheets";
inline constexpr const char* InternalFiles = "Internal files";
inline constexpr const char* DataImportPath = "Data import path";
inline constexpr const char* DataExportPath = "Data export path";
inline constexpr const char* TemplatePath = "Template path";
inline constexpr const char* MarineSrIsotope = "Marine Sr isotope";
inline constexpr const char* MinimumUncertainty = "Minimum uncertainty";
inline constexpr const char* StudentsTMultiplier = "Students t multiplier";
inline constexpr const char* RequiredSmoothingPrecision = "Required smoothing precision";
inline constexpr const char* NumberOfPointsToAverage = "Number of points to average";
inline constexpr const char* MovingAverageAgeWindow = "Moving average age window";
inline constexpr const char* AgeRangeToAverage = "Age range to average";
inline constexpr const char* XColumn = "X Column";
inline constexpr const char* YColumn = "Y Column";
inline constexpr const char* YErrColumn = "Y err Column";
inline constexpr const char* AgeFrom = "Age from";
inline constexpr const char* AgeTo = "Age to";
inline constexpr const char* FromRow = "From Row";
inline constexpr const char* ToRow = "To Row";
} // namespace key

/// The four position keys of a window: prefix "Main", "Sheet", "Spline", "Moving Average", "Graph", "Export".
struct PositionKeys {
    std::string left, top, height, width;
};
/// {"Main Left", "Main Top", "Main Height", "Main Width"} for "Main"; any prefix gives its names.
PositionKeys positionKeys(std::string_view prefix);

class SettingsStore {
public:
    /// Empty texts, zero integers, false: the state before loading.
    SettingsStore();

    // Values by key name, matched exactly as the constants above (the file
    // matches them without regard to case; the program always uses these).
    // An unknown key, or a key of another kind, throws std::logic_error: that
    // is a programming error, never a user's.
    const std::string& text(std::string_view key) const;
    void setText(std::string_view key, std::string value);
    int integer(std::string_view key) const;
    void setInteger(std::string_view key, int value);
    bool boolean(std::string_view key) const;
    void setBoolean(std::string_view key, bool value);

    /// Back to the state before loading: empty texts, zero integers, false.
    void clear();

private:
    struct Slot {
        std::string text;
        int integer = 0;
        bool boolean = false;
    };
    std::vector<Slot> slots_; // one per key, in reading order; only its kind's member is used
};

/// The process-wide store.
SettingsStore& settingsStore();

/// Where the settings file lives: $QUORVANE_INI if set and not empty, else
/// <config folder>/Quorvane.INI (paths::configFolder()). setSettingsFilePath
/// overrides it for the rest of the process (the command line's --settings);
/// an empty path removes the override.
std::string settingsFilePath();
void setSettingsFilePath(std::string path);

/// Reads every key in the reading order with its default into the store; a
/// missing file or key gives the default, and so does a position or the boolean
/// that is not an integer. Never throws for reading.
void LoadSettings(SettingsStore& store, const std::string& file);

/// Writes every key in the writing order into the file, each replacing its
/// line or added to its section; every other line of the file stays as it was.
/// Creates the file's folder when it is missing. Throws
/// quorvane::Error("Unable to write to <file>") at the first key that cannot be
/// written; the keys before it are written, the ones after it are not.
/// "Data spreadsheets" and "Internal files" are written as they are: upper-casing
/// them would name another folder on a case-sensitive file system.
void SaveSettings(SettingsStore& store, const std::string& file);

/// The default of a key on this machine: "Internal files" is the per-user data
/// folder's "Quorvane" (no trailing "/"); "Data spreadsheets", "Data import
/// path" and "Data export path" are the home folder and "Template path" the
/// installed templates folder, each with a trailing "/". Integer keys give
/// their default in decimal and the boolean "0", as the file would hold them.
/// An unknown key throws std::logic_error.
std::string defaultText(std::string_view key);

} // namespace quorvane
