#pragma once
// Formula text: a cell formula as the user types and reads it ("=SUM(A1:B2)*2") to BIFF8
// formula tokens and back. Plain C++, no toolkit.
//
// Text syntax: numbers, "strings" (a doubled quote inside), TRUE and FALSE, error
// constants (#NULL! #DIV/0! #VALUE! #REF! #NAME? #NUM! #N/A), array constants
// ({1,2;3,4}: "," between columns, ";" between rows), references A1, $A$1, areas A1:B2,
// references to other sheets (Sheet2!A1, 'My sheet'!A1:B2), defined names of the
// workbook, calls of the built-in functions by name with "," between arguments,
// parentheses, and the operators by precedence from the loosest: the union "," (only
// directly inside parentheses), comparisons (= <> < > <= >=), &, + -, * /, ^, %, unary
// - and +, then the intersection " " between references. Binary operators group to the
// left.
//
// The tokens are laid out as a spreadsheet program writes them, so that other programs
// evaluate them: IF and CHOOSE carry their jump attributes (PtgAttrIf, PtgAttrChoose,
// PtgAttrGoto), a SUM of one argument is PtgAttrSum, a formula calling a volatile function
// starts with PtgAttrVolatile, and a union or intersection is announced by PtgMemFunc.
// Blanks typed between tokens are not kept; blanks stored as PtgAttrSpace are shown.
#include "xls/bytes.h"
#include "platform/errors.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::xls {
class TWorkbook;
class TFormulaRecord;
}

namespace quorvane::xls::formula {

/// A formula text that cannot be parsed, or tokens that cannot be shown as text. The
/// message says which part; it is for logs and tests, never shown to the user.
class FormulaTextError : public Error {
public:
    using Error::Error;
};

/// A built-in function: its number in the function table (iftab), its name and its
/// argument counts. `minArgs` == `maxArgs` means a fixed count (PtgFunc), otherwise the
/// call carries its count (PtgFuncVar).
struct FunctionInfo {
    std::uint16_t id;
    const char* name;
    std::uint8_t minArgs;
    std::uint8_t maxArgs;
};

const FunctionInfo* functionById(std::uint16_t id) noexcept;
/// Case-insensitive.
const FunctionInfo* functionByName(std::u16string_view name) noexcept;

/// The sheets a formula can name: references to other sheets are stored as an index
/// into the workbook's EXTERNSHEET list.
class SheetResolver {
public:
    virtual ~SheetResolver() = default;
    /// The text before "!" for EXTERNSHEET entry `ixti` ("Sheet2", "Sheet1:Sheet3"), or
    /// nothing when the entry does not name sheets of this workbook.
    virtual std::optional<std::u16string> sheetPrefix(std::uint16_t ixti) const = 0;
    /// The EXTERNSHEET entry for the sheet so named (letter case ignored), created if
    /// needed; nothing when the workbook has no such sheet.
    virtual std::optional<std::uint16_t> externSheetOf(std::u16string_view sheetName) = 0;
    /// The text of defined name `index` (1-based, the workbook's NAME records), or nothing.
    virtual std::optional<std::u16string> definedName(std::uint16_t index) const
    {
        (void)index;
        return std::nullopt;
    }
    /// The 1-based index of the workbook-wide defined name so named (letter case
    /// ignored), or nothing.
    virtual std::optional<std::uint16_t> definedNameIndex(std::u16string_view name) const
    {
        (void)name;
        return std::nullopt;
    }
    /// The text of name `index` (1-based) of the book that EXTERNSHEET entry `ixti` refers
    /// to (PtgNameX): a defined name of this workbook, or an EXTERNNAME of an add-in or
    /// another workbook; nothing when there is none.
    virtual std::optional<std::u16string> externName(std::uint16_t ixti, std::uint16_t index) const
    {
        (void)ixti;
        (void)index;
        return std::nullopt;
    }
};

/// A resolver over a workbook's BOUNDSHEET, SUPBOOK and EXTERNSHEET data. A reference
/// to a sheet that has no EXTERNSHEET entry yet adds one (and the workbook's own SUPBOOK
/// when it has none), as a workbook that stores such a formula must have.
class WorkbookSheets final : public SheetResolver {
public:
    explicit WorkbookSheets(TWorkbook& wb) : wb_(&wb) {}
    std::optional<std::u16string> sheetPrefix(std::uint16_t ixti) const override;
    std::optional<std::uint16_t> externSheetOf(std::u16string_view sheetName) override;
    std::optional<std::u16string> definedName(std::uint16_t index) const override;
    std::optional<std::uint16_t> definedNameIndex(std::u16string_view name) const override;
    std::optional<std::u16string> externName(std::uint16_t ixti, std::uint16_t index) const override;

private:
    std::optional<std::uint16_t> internalSupBook() const;
    TWorkbook* wb_;
};

/// A compiled formula as a FORMULA or NAME record stores it: the tokens, and after them
/// the extra data that holds the values of array constants (one block per PtgArray, in
/// token order).
struct CompiledFormula {
    std::vector<std::uint8_t> tokens;
    std::vector<std::uint8_t> extra;
};

/// Parses a formula text (with or without its leading "=") into BIFF8 tokens and their
/// extra data. References to other sheets and defined names need `sheets`; without it
/// they fail. Fails with FormulaTextError.
CompiledFormula compileFormula(std::u16string_view text, SheetResolver* sheets = nullptr);

/// The tokens alone, for formulas without array constants; a formula that holds one fails
/// with FormulaTextError (its values would be lost).
std::vector<std::uint8_t> parseFormula(std::u16string_view text, SheetResolver* sheets = nullptr);

/// The text of a token array, with its leading "=". `extra` is the data that follows the
/// tokens in their record (the values of array constants). Fails with FormulaTextError
/// for tokens it cannot show (unknown functions or names, an array constant without its
/// values, tokens cut short).
std::u16string formulaText(ByteSpan tokens, const SheetResolver* sheets = nullptr, ByteSpan extra = {});
/// The text of a FORMULA record's tokens with their array constants.
std::u16string formulaText(const TFormulaRecord& formula, const SheetResolver* sheets = nullptr);

/// Column letters of a 0-based column: 0 "A", 25 "Z", 26 "AA", 255 "IV".
std::u16string columnLetters(int col);

} // namespace quorvane::xls::formula
