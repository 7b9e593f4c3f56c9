#include "xls/numfmt/cellformat.h"

#include "xls/excelstring.h"

namespace quorvane::xls::numfmt {

namespace {

// XF (BIFF8): format index at offset 2.
constexpr std::size_t XfFormatOffset = 2;

} // namespace

int formatIndexOfXF(const TWorkbookGlobals& g, int xf) noexcept
{
    if (xf < 0 || xf >= static_cast<int>(g.xfs.size()))
        return 0;
    const ByteSpan b = g.xfs[static_cast<std::size_t>(xf)]->body();
    return fits(b, XfFormatOffset, 2) ? getU16(b.data() + XfFormatOffset) : 0;
}

CellFormatter::CellFormatter(const TWorkbook& wb, Symbols symbols) : wb_(wb), symbols_(symbols)
{
    reset();
}

void CellFormatter::reset()
{
    parsed_.clear();
    codes_.clear();
    const TWorkbookGlobals& g = wb_.globals();
    date1904_ = g.date1904 && g.date1904->bodySize() >= 2 && getU16(g.date1904->body().data()) == 1;
    // FORMAT: index (16 bits) and a string with a 2-byte count. A record that cannot be
    // read leaves its index to the built-in formats.
    for (const auto& rec : g.formats) {
        if (rec->bodySize() < 5)
            continue;
        try {
            ChainReader reader(*rec, 2);
            codes_[getU16(rec->body().data())] = TExcelString::read(reader, 2).text();
        } catch (const std::exception&) {
            continue;
        }
    }
}

std::u16string CellFormatter::formatCode(int index) const
{
    if (auto it = codes_.find(index); it != codes_.end())
        return it->second;
    const std::u16string_view b = builtinFormat(index);
    return b.empty() ? std::u16string(u"General") : std::u16string(b);
}

const NumberFormat& CellFormatter::formatOfXF(int xf) const
{
    const int index = formatIndexOfXF(wb_.globals(), xf);
    auto it = parsed_.find(index);
    if (it == parsed_.end())
        it = parsed_.emplace(index, NumberFormat(formatCode(index))).first;
    return it->second;
}

Rendered CellFormatter::render(const CellVariant& v, int xf) const
{
    return formatOfXF(xf).format(v, date1904_, symbols_);
}

} // namespace quorvane::xls::numfmt
