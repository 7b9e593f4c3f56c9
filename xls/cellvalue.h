#pragma once
// The value of a cell as the engine exchanges it, and the decoding of the BIFF8
// number and error encodings that cell records carry.
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace quorvane::xls {

/// An error cell's value: its text ("#N/A", "#DIV/0!" ...). A kind of its own so that an
/// error never passes for a number or for a text the user typed.
struct CellError {
    std::u16string text;
    bool operator==(const CellError&) const = default;
};

/// empty, number, text (UTF-16), boolean, or error.
using CellVariant = std::variant<std::monostate, double, std::u16string, bool, CellError>;

/// `TXlsCellValue`: a cell's value with its XF index (-1 when the cell does not exist)
/// and whether the cell holds a formula (the value is then its cached result).
struct TXlsCellValue {
    CellVariant value;
    std::int32_t xf = -1;
    bool isFormula = false;
};

inline bool isEmpty(const CellVariant& v) noexcept { return std::holds_alternative<std::monostate>(v); }

/// The text a value shows when converted to text: empty for an empty cell, the error
/// text for an error, "TRUE"/"FALSE" for a boolean, the shortest exact decimal form of a
/// number (as std::to_chars writes it).
std::u16string variantToText(const CellVariant& v);

/// BIFF8 error codes: 0x00 #NULL!, 0x07 #DIV/0!, 0x0F #VALUE!, 0x17 #REF!, 0x1D #NAME?,
/// 0x24 #NUM!, 0x2A #N/A. Unknown codes give no text.
std::optional<std::u16string> knownErrorText(std::uint8_t code);

/// The error text of a BOOLERR cell: unknown codes read as "#NULL!".
std::u16string errorText(std::uint8_t code);

/// RK value to double: bit 1 set, a 30-bit signed integer (v >> 2); clear, the high 32
/// bits of a double (two low bits cleared); bit 0 set, divided by 100.
double decodeRK(std::uint32_t rk) noexcept;

} // namespace quorvane::xls
