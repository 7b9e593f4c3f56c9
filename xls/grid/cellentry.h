#pragma once
// What a text typed into a cell becomes when it is not a formula: a number, a boolean,
// a date-time with its number format, or the text itself, read in the user's locale.
#include <QLocale>
#include <QString>

#include <variant>

namespace quorvane::xls::grid {

/// A date-time as days since 30 December 1899, with the number format code made from
/// the locale's short date and short time formats.
struct DateTimeEntry {
    double serial = 0;
    QString formatCode;
};

using Entry = std::variant<double, bool, DateTimeEntry, QString>;

/// Thousands separators: t unchanged when the part after the first decimal separator
/// holds a group separator or t begins with one; otherwise, when every 4th, 8th, 12th ...
/// character from the right end of the integer part is a group separator or a minus
/// sign, and no group separator stands anywhere else, t without its group separators;
/// else t unchanged.
QString withoutThousandsSeparators(const QString& t, const QLocale& locale);

/// The value of a typed text, tried in this order: a number in the locale (after the
/// thousands rule), TRUE/FALSE in any letter case, a date and/or time in the locale's
/// short formats, else the text. Infinite and NaN readings are not numbers.
Entry interpretEntry(const QString& t, const QLocale& locale);

/// The locale's short date and time formats written as number format codes.
QString dateFormatCode(const QLocale& locale);
QString timeFormatCode(const QLocale& locale);

} // namespace quorvane::xls::grid
