#include "import/sheet_import.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <variant>

#include <QLocale>
#include <QString>

#include "app/settings/settings_store.h"
#include "data/curve_table.h"
#include "data/dm_sea.h"
#include "import/delta_t.h"
#include "platform/errors.h"
#include "platform/status_sink.h"
#include "work/parameter_text.h"
#include "xls/text.h"
#include "xls/xlsimport.h"

namespace quorvane {

namespace {

QLocale userLocale()
{
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}

/// The number that the 15-digit general text of `v` reads back as. The text
/// and its reading use the same decimal separator, so the separator does not
/// change the digits: this is what setting the field from cellText() gives,
/// without building and parsing a locale text per cell.
double throughFifteenDigits(double v)
{
    char buf[40];
    const auto written = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
    double back = 0.0;
    std::from_chars(buf, written.ptr, back);
    return back;
}

class NotANumber : public Error {
public:
    NotANumber() : Error("not a number") {}
};

/// Sets one field of the row being appended from a cell, as from its text:
/// empty leaves the field empty, a number or a numeric text sets it, anything
/// else fails. Infinities and NaN fail too: they would break the Age order.
void setFromCell(data::CurveTable& table, int field, const xls::CellVariant& cell)
{
    if (std::holds_alternative<std::monostate>(cell))
        return;
    if (const double* d = std::get_if<double>(&cell)) {
        if (!std::isfinite(*d))
            throw NotANumber();
        table.setFloat(field, throughFifteenDigits(*d));
        return;
    }
    if (const std::u16string* s = std::get_if<std::u16string>(&cell)) {
        table.setText(field, xls::toUtf8(*s));
        if (!table.isNull(field) && !std::isfinite(table.asFloat(field)))
            throw NotANumber();
        return;
    }
    throw NotANumber(); // a boolean's or an error's text is no number
}

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    return (c | 0x20) - 'a' + 10;
}

} // namespace

ImportNumbers& importNumbers()
{
    static ImportNumbers numbers;
    return numbers;
}

int ColumnNumber(std::string_view entry)
{
    std::string letters;
    letters.reserve(entry.size());
    for (char c : entry) {
        if (c == ' ')
            continue;
        letters.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
    }
    if (letters.empty())
        throw RangeError();
    if (letters == "0")
        return OmittedColumn;
    const auto code = [](char c) { return static_cast<int>(static_cast<unsigned char>(c)) - 64; };
    if (letters.size() == 2)
        return code(letters[0]) * 26 + code(letters[1]);
    return code(letters[0]);
}

std::optional<int> parseWholeNumber(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i == text.size())
        return std::nullopt;

    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (hex) {
            if (!isHexDigit(c))
                return std::nullopt;
            value = value * 16 + hexValue(c);
            if (value > 0xFFFFFFFFLL)
                return std::nullopt;
        } else {
            if (c < '0' || c > '9')
                return std::nullopt;
            value = value * 10 + (c - '0');
            if (value > 2147483648LL)
                return std::nullopt;
        }
    }
    if (hex) {
        // 32 bits read as a signed value, then the sign applied.
        const auto bits = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
        const std::int64_t v = negative ? -static_cast<std::int64_t>(bits) : bits;
        if (v > 2147483647LL)
            return std::nullopt; // -$80000000
        return static_cast<int>(v);
    }
    if (negative)
        value = -value;
    if (value > 2147483647LL)
        return std::nullopt;
    return static_cast<int>(value);
}

std::string cellText(const xls::CellVariant& value)
{
    struct Visitor {
        std::string operator()(std::monostate) const { return {}; }
        std::string operator()(double d) const { return userLocale().toString(d, 'g', 15).toStdString(); }
        std::string operator()(const std::u16string& s) const { return xls::toUtf8(s); }
        std::string operator()(bool b) const { return b ? "True" : "False"; }
        std::string operator()(const xls::CellError& e) const { return xls::toUtf8(e.text); }
    };
    return std::visit(Visitor{}, value);
}

void storeImportEntries(SettingsStore& store, const ImportEntries& entries)
{
    store.setText(key::FromRow, upperCase(entries.fromRow));
    store.setText(key::ToRow, upperCase(entries.toRow));
    store.setText(key::XColumn, upperCase(entries.x));
    store.setText(key::YColumn, upperCase(entries.y));
    store.setText(key::YErrColumn, upperCase(entries.yErr));
}

SheetImportRange convertImportEntries(const ImportEntries& entries, ImportNumbers& numbers)
{
    const std::optional<int> from = parseWholeNumber(entries.fromRow);
    if (!from)
        throw ImportEntryError(text::IncorrectFromRow);
    numbers.fromRow = *from;
    const std::optional<int> to = parseWholeNumber(entries.toRow);
    if (!to)
        throw ImportEntryError(text::IncorrectToRow);
    numbers.toRow = *to;
    if (numbers.toRow < numbers.fromRow)
        throw ImportEntryError(text::IncorrectRows);
    numbers.xColumn = ColumnNumber(entries.x);
    numbers.yColumn = ColumnNumber(entries.y);
    numbers.yErrColumn = ColumnNumber(entries.yErr);
    return {numbers.fromRow, numbers.toRow, numbers.xColumn, numbers.yColumn, numbers.yErrColumn};
}

void findLastRow(const xls::TXlsImport& workbook, int column, int& toRow)
{
    // Only a cell that is empty or holds an empty text reads as empty text.
    for (int r = 2;; ++r) {
        const xls::CellVariant v = workbook.CellValue(r, column);
        if (std::holds_alternative<std::monostate>(v))
            return;
        if (const std::u16string* s = std::get_if<std::u16string>(&v); s && s->empty())
            return;
        if (toRow < r)
            toRow = r;
    }
}

SheetImport::SheetImport(const xls::TXlsImport& workbook, data::CurveTable& seaRaw, data::CurveTable& deltaT,
                         std::string internalFolder, StatusSink& status)
    : workbook_(workbook), seaRaw_(seaRaw), deltaT_(deltaT), internalFolder_(std::move(internalFolder)),
      status_(status)
{
}

SheetImportOutcome SheetImport::run(const SheetImportRange& range)
{
    try {
        seaRaw_.emptyTable();
    } catch (const std::exception&) {
        // closed: appending below fails and says so
    }

    SheetImportOutcome outcome;
    {
        seaRaw_.disableControls();
        // Resumed and the panel cleared on every way out, errors included.
        struct Resume {
            data::CurveTable& table;
            StatusSink& status;
            ~Resume()
            {
                table.enableControls();
                status.clearPanel(0);
            }
        } resume{seaRaw_, status_};

        const int fAge = seaRaw_.field("Age");
        const int fRatio = seaRaw_.field("Ratio");
        const int fError = seaRaw_.field("Error");
        // Rows below 1 and above the last sheet row cannot be read: not visited.
        const int first = range.fromRow < 1 ? 1 : range.fromRow;
        const int last = range.toRow > LastSheetRow ? LastSheetRow : range.toRow;
        for (int r = first; r <= last; ++r) {
            ++outcome.rowsRead;
            status_.setPanelText(0, std::to_string(r));
            seaRaw_.append(); // fails on a closed SeaRaw, and that error ends the import
            try {
                setFromCell(seaRaw_, fAge, workbook_.CellValue(r, range.ageColumn));
                setFromCell(seaRaw_, fRatio, workbook_.CellValue(r, range.ratioColumn));
                if (range.errorColumn != OmittedColumn)
                    setFromCell(seaRaw_, fError, workbook_.CellValue(r, range.errorColumn));
                if (seaRaw_.isNull(fAge) || seaRaw_.isNull(fRatio)) {
                    seaRaw_.cancel();
                    continue;
                }
                seaRaw_.post();
                ++outcome.imported;
            } catch (const std::exception&) {
                seaRaw_.cancel();
            }
        }
    }

    seaRaw_.first();
    seaRaw_.saveToFile(data::TdmSea::filePath(internalFolder_, seaRaw_));
    seaRaw_.first();
    rebuildDeltaT(seaRaw_, deltaT_);
    deltaT_.saveToFile(data::TdmSea::filePath(internalFolder_, deltaT_));
    return outcome;
}

} // namespace quorvane
