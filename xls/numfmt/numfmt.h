#pragma once
// Number formats: turns a cell value and a spreadsheet number format code (as stored in
// a FORMAT record, or one of the built-in formats 0..49) into the text a cell shows and
// the colour the format asks for. Plain C++, no toolkit.
//
// A format code has up to four sections separated by ";" (positive; negative; zero;
// text, or two with conditions such as "[>=100]"). A section holds digit placeholders
// ("0" pads with zeros, "#" shows only significant digits, "?" pads with blanks), a
// decimal point, thousands separators (between placeholders: grouping; after the last
// placeholder: divide by 1000 each), "%", scientific "E+"/"E-", fractions "?/?", the
// text placeholder "@", literals ("quoted", \escaped, and the plain characters
// $-+/():! and blank), "_x" (a blank as wide as x) and "*x" (fill; no width in plain
// text, so nothing is emitted), colours ("[Red]", "[Color12]") and date and time codes
// (y, m, d, h, s, elapsed "[h]"/"[m]"/"[s]", fractional seconds, "AM/PM", "A/P").
#include "xls/cellvalue.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::xls::numfmt {

/// The separators the rendered text uses in place of the format code's "." and ",".
struct Symbols {
    char16_t decimal = u'.';
    char16_t group = u',';
};

/// Rendered text and the colour the chosen section names: a palette index (8 black,
/// 9 white, 10 red, 11 green, 12 blue, 13 yellow, 14 magenta, 15 cyan, "[ColorN]" gives
/// N + 7), or -1 when the section names none.
struct Rendered {
    std::u16string text;
    int colorIndex = -1;
    bool operator==(const Rendered&) const = default;
};

/// The code of built-in format `index` (0..49) in its US English form; indices with no
/// fixed code (23..36) answer "General", and indices outside 0..49 nothing.
std::u16string_view builtinFormat(int index) noexcept;

/// Days since 30 December 1899 of the date and time (the 1900 date system, with its
/// fictitious 29 February 1900 kept as serial 60).
double dateSerial(int year, int month, int day, int hour = 0, int minute = 0, double second = 0) noexcept;

namespace detail {
struct Section;
}

/// A parsed format code: parse once, render many values.
class NumberFormat {
public:
    /// Parses `code`. A code that cannot be read section by section still renders:
    /// what it cannot place is shown as literal text.
    explicit NumberFormat(std::u16string_view code);
    ~NumberFormat();
    NumberFormat(NumberFormat&&) noexcept;
    NumberFormat& operator=(NumberFormat&&) noexcept;

    /// Renders a value. Booleans show "TRUE"/"FALSE" and errors their text whatever the
    /// format; empty values give "". `date1904` moves serials of the 1904 date system
    /// (0 is 1 January 1904) onto the 1900 one before dates are shown.
    Rendered format(const CellVariant& value, bool date1904 = false, const Symbols& symbols = {}) const;

    /// True when the section for positive numbers shows a date or a time.
    bool isDateTime() const noexcept;
    const std::u16string& code() const noexcept { return code_; }

private:
    std::u16string code_;
    std::vector<detail::Section> sections_;
    int textSection_ = -1; // index in sections_ of the section used for text, or -1
};

/// One-off form of NumberFormat(code).format(value, ...).
Rendered formatValue(const CellVariant& value, std::u16string_view code, bool date1904 = false,
                     const Symbols& symbols = {});

/// The "General" rendering of a number: at most 11 characters (and a sign), switching to
/// scientific notation with six significant digits where the fixed form would not fit.
std::u16string generalNumber(double v, const Symbols& symbols = {});

} // namespace quorvane::xls::numfmt
