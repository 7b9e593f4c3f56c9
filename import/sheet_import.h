#pragma once
// Raw points from a sheet of a workbook: the row and column entries of the
// import window, the end-of-data search, and the import that replaces SeaRaw by
// the chosen rows and rebuilds DeltaT. The window and `quorvane-batch import`
// both call what is here; neither converts or loops on its own.
//
// A sheet row becomes a raw point exactly when its age cell and its Y cell hold
// numbers (or texts that are numbers in the user's locale) and its uncertainty
// cell holds a number or nothing. Every other row is dropped without a message.
// Cell values reach the fields through their text form, so a number keeps at
// most 15 significant digits.
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "platform/errors.h"
#include "xls/cellvalue.h"

namespace quorvane::data {
class CurveTable;
}
namespace quorvane::xls {
class TXlsImport;
}

namespace quorvane {

class SettingsStore;
class StatusSink;

namespace text {
inline constexpr const char* IncorrectFromRow = "Incorrect value entered for From row";
inline constexpr const char* IncorrectToRow = "Incorrect value entered for To row";
inline constexpr const char* IncorrectRows = "Incorrect values entered for rows to import";
} // namespace text

/// The last row a sheet can have; the row loop never goes past it.
inline constexpr int LastSheetRow = 65536;

/// The column number of the entry "0": that field is left empty in every row.
/// No entry of letters can give it (two characters give at least -1728).
inline constexpr int OmittedColumn = std::numeric_limits<int>::min();

/// The import's process-wide numbers, shared by every import window of the run
/// (0 at start-up). The to-row number is also raised by the end-of-data search,
/// so it carries over between imports and between windows.
struct ImportNumbers {
    int fromRow = 0;
    int toRow = 0;
    int xColumn = 0;    ///< age
    int yColumn = 0;    ///< Y value (Ratio)
    int yErrColumn = 0; ///< one-sigma uncertainty (Error)
};
/// The one place these numbers live.
ImportNumbers& importNumbers();

/// `ColumnNumber`: the 1-based column an entry of letters names. The entry is
/// upper-cased and every space removed; two characters remaining give
/// (first - 64) * 26 + (second - 64) ("AA" 27, "IV" 256), otherwise the first
/// character alone counts (first - 64) ("A" 1, "ABC" 1). Exactly "0" gives
/// OmittedColumn. Numbers outside 1 to 256 are returned as they are: every
/// cell read of such a column fails. Throws RangeError when nothing remains.
int ColumnNumber(std::string_view entry);

/// A whole number as the row fields take it: leading spaces, an optional sign,
/// then decimal digits, or hexadecimal digits after "$", "x" or "0x" (either
/// case); nothing may follow. Decimal must fit a 32-bit signed integer;
/// hexadecimal takes up to 32 bits, read as a signed value ("$FFFFFFFF" is -1).
/// No value for empty text or anything else.
std::optional<int> parseWholeNumber(std::string_view text);

/// A cell read as text, UTF-8: empty for an empty cell, a text cell's text, a
/// number in general form with up to 15 significant digits and the user's
/// decimal separator, "True"/"False" for a boolean, an error's own text.
std::string cellText(const xls::CellVariant& value);

/// The end-of-data search: reads the cells of `column` from row 2 down to the
/// first whose text is empty, raising `toRow` to each row with a non-empty
/// text. Errors (no workbook, a column or row outside the sheet) pass on;
/// `toRow` then keeps what the search had raised it to.
void findLastRow(const xls::TXlsImport& workbook, int column, int& toRow);

/// The texts of the five entry fields of the import window.
struct ImportEntries {
    std::string fromRow, toRow;
    std::string x, y, yErr; ///< column letters of age, Y value and uncertainty
};

/// One of the three messages about the row entries; shown in a plain message
/// box, after which the window stays open.
class ImportEntryError : public Error {
public:
    using Error::Error;
};

/// Stores the five texts, each in upper case, into "From Row", "To Row",
/// "X Column", "Y Column", "Y err Column". Done before they are checked, so an
/// import refused for its entries still remembers them.
void storeImportEntries(SettingsStore& store, const ImportEntries& entries);

struct SheetImportRange;

/// Checks and converts the entries in this order, writing each number into
/// `numbers` as soon as it is converted: the from row and the to row
/// (parseWholeNumber; ImportEntryError "Incorrect value entered for From row"
/// or "... To row"), to row not below from row (ImportEntryError "Incorrect
/// values entered for rows to import"), then the three columns (ColumnNumber;
/// an empty entry throws RangeError).
SheetImportRange convertImportEntries(const ImportEntries& entries, ImportNumbers& numbers);

/// The rows and columns of one import, already validated and converted.
struct SheetImportRange {
    int fromRow = 0;
    int toRow = 0;
    int ageColumn = 0;
    int ratioColumn = 0;
    int errorColumn = 0; ///< OmittedColumn leaves Error empty
};

struct SheetImportOutcome {
    int rowsRead = 0; ///< sheet rows visited by the row loop
    int imported = 0; ///< rows that became raw points
};

/// The import proper, on the active sheet of an open workbook.
class SheetImport {
public:
    /// Both tables are the data module's; `internalFolder` is the "Internal
    /// files" folder, where both are saved as "SeaRaw.cds" and "DeltaT.cds"
    /// whatever file a table is bound to (the moving-average window never
    /// binds DeltaT). `status` shows the row being imported in its panel 0.
    SheetImport(const xls::TXlsImport& workbook, data::CurveTable& seaRaw, data::CurveTable& deltaT,
                std::string internalFolder, StatusSink& status);

    /// Empties SeaRaw (an error there, such as a table already empty, is
    /// ignored), appends one row per sheet row from `fromRow` to `toRow` (rows
    /// below 1 are not visited, the loop ends at LastSheetRow) with the bound
    /// controls suspended, keeps the rows whose Age and Ratio are set, saves
    /// SeaRaw, rebuilds DeltaT and saves it.
    /// A row whose cells cannot be read or whose text is not a finite number is
    /// dropped. Errors of the tables (SeaRaw closed, a save that fails) pass
    /// on; when saving SeaRaw fails, DeltaT is left as it was.
    SheetImportOutcome run(const SheetImportRange& range);

private:
    const xls::TXlsImport& workbook_;
    data::CurveTable& seaRaw_;
    data::CurveTable& deltaT_;
    std::string internalFolder_;
    StatusSink& status_;
};

} // namespace quorvane
