#include "xls/dumpcells.h"

#include "xls/errors.h"
#include "xls/messages.h"
#include "xls/text.h"
#include "xls/xlsfile.h"

#include <sstream>

namespace quorvane::xls {

std::string escapedDumpText(std::u16string_view s)
{
    std::string out;
    for (char c : toUtf8(s)) {
        switch (c) {
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\\': out += "\\\\"; break;
        default: out += c; break;
        }
    }
    return out;
}

namespace {

std::string escaped(std::u16string_view s)
{
    return escapedDumpText(s);
}

struct KindAndValue {
    const char* kind;
    std::string value;
};

KindAndValue describe(const CellVariant& v)
{
    struct Visitor {
        KindAndValue operator()(std::monostate) const { return {"blank", ""}; }
        KindAndValue operator()(double d) const { return {"number", toUtf8(variantToText(d))}; }
        KindAndValue operator()(const std::u16string& s) const { return {"text", escaped(s)}; }
        KindAndValue operator()(bool b) const { return {"bool", b ? "TRUE" : "FALSE"}; }
        KindAndValue operator()(const CellError& e) const { return {"error", escaped(e.text)}; }
    };
    return std::visit(Visitor{}, v);
}

} // namespace

void dumpCells(const std::string& path, std::optional<int> sheet, std::ostream& out)
{
    TXLSAdapter adapter;
    std::unique_ptr<TXLSFile> file = adapter.createFile();
    file->connect();
    file->openFile(path);

    const auto& bound = file->workbook().globals().boundSheets;
    const auto& sheets = file->workbook().sheets();
    const int count = static_cast<int>(bound.size());
    int first = 1, last = count;
    if (sheet) {
        if (*sheet < 1 || *sheet > count)
            throw QueryError(formatNumber(msg::ListIndex, static_cast<long long>(*sheet) - 1));
        first = last = *sheet;
    }

    std::ostringstream text;
    for (int i = first; i <= last; ++i) {
        text << "sheet\t" << i << '\t' << escaped(bound.name(static_cast<std::size_t>(i - 1))) << '\n';
        if (i - 1 >= static_cast<int>(sheets.size()))
            continue; // a BOUNDSHEET without its substream
        const auto* ws = dynamic_cast<const TWorkSheet*>(sheets[static_cast<std::size_t>(i - 1)].get());
        if (!ws)
            continue;
        for (int r = 0; r < ws->cells.rowCount(); ++r) {
            for (const auto& cell : *ws->cells.row(r)) {
                const KindAndValue kv = describe(cell->value());
                text << (r + 1) << '\t' << (cell->col() + 1) << '\t' << kv.kind << '\t' << kv.value << '\n';
            }
        }
    }
    out << text.str();
}

} // namespace quorvane::xls
