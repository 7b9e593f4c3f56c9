// The whole "Workbook" stream: the bookkeeping a save does, then globals and sheets.
#include "xls/excelstring.h"
#include "xls/messages.h"
#include "xls/write/messages.h"
#include "xls/write/writer.h"

#include <algorithm>

namespace quorvane::xls {

namespace {

constexpr std::uint8_t Hidden = 1;
constexpr std::uint8_t VeryHidden = 2;
constexpr std::size_t Window1FirstVisibleTabAt = 12;

std::u16string foldCase(std::u16string s)
{
    for (char16_t& c : s)
        if (c < 0x80)
            c = static_cast<char16_t>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::u16string codeNameText(const TBaseRecord& r)
{
    ChainReader reader(r, 0);
    return TExcelString::read(reader, 2).text();
}

std::u16string toU16(std::uint32_t n)
{
    std::u16string s;
    for (char c : std::to_string(n))
        s += static_cast<char16_t>(c);
    return s;
}

// A workbook with a macro project needs a code name on every worksheet: the sheet's
// name without its trailing digits and the smallest number from 1 on that makes it
// differ, ignoring letter case, from every code name in use.
void assignCodeNames(TWorkbook& wb)
{
    TWorkbookGlobals& g = wb.globals();
    if (!g.hasMacros)
        return;
    std::vector<std::u16string> used;
    if (!g.codeName.empty())
        used.push_back(foldCase(g.codeName));
    for (const auto& s : wb.sheets())
        if (const auto* ws = dynamic_cast<const TWorkSheet*>(s.get()); ws && ws->codeName)
            used.push_back(foldCase(codeNameText(*ws->codeName)));
    for (std::size_t i = 0; i < wb.sheets().size(); ++i) {
        auto* ws = dynamic_cast<TWorkSheet*>(wb.sheets()[i].get());
        if (!ws || ws->codeName || i >= g.boundSheets.size())
            continue;
        std::u16string base = g.boundSheets.name(i);
        while (!base.empty() && base.back() >= u'0' && base.back() <= u'9')
            base.pop_back();
        std::u16string name;
        for (std::uint32_t n = 1;; ++n) {
            name = base + toU16(n);
            if (std::find(used.begin(), used.end(), foldCase(name)) == used.end())
                break;
        }
        used.push_back(foldCase(name));
        const std::vector<std::uint8_t> stored = TExcelString::fromText(name).storedForm();
        ws->codeName = std::make_unique<TCodeNameRecord>(rid::CodeName, ByteSpan(stored));
    }
}

bool isSelected(const TSheet& sheet)
{
    if (const auto* ws = dynamic_cast<const TWorkSheet*>(&sheet))
        return ws->window2 && (ws->window2->flags() & TWindow2Record::Selected);
    if (const auto* raw = dynamic_cast<const TRawSheet*>(&sheet))
        for (const auto& r : raw->records)
            if (r->id() == rid::Window2)
                return r->bodySize() >= 2 && (getU16(r->body().data()) & TWindow2Record::Selected);
    return false;
}

// Hidden sheets may not be selected, one sheet at least must be visible, and WINDOW1's
// first visible tab becomes the lowest visible sheet.
void checkVisibility(TWorkbook& wb)
{
    TWorkbookGlobals& g = wb.globals();
    int firstVisible = -1;
    for (std::size_t k = wb.sheets().size(); k-- > 0;) {
        const std::uint8_t vis = g.boundSheets.record(k).visibility();
        const bool hidden = vis == Hidden || vis == VeryHidden;
        if (hidden && isSelected(*wb.sheets()[k]))
            throw WriteError(msg::SelectVisibleSheet);
        if (!hidden)
            firstVisible = static_cast<int>(k);
    }
    if (firstVisible < 0)
        throw WriteError(msg::NoVisibleSheet);
    if (g.window1 && g.window1->bodySize() >= Window1FirstVisibleTabAt + 2)
        putU16(g.window1->mutableBody().data() + Window1FirstVisibleTabAt, static_cast<std::uint16_t>(firstVisible));
}

// Sizes every section and gives each BOUNDSHEET the stream position of its sheet's BOF.
std::size_t placeSheets(TWorkbook& wb)
{
    TWorkbookGlobals& g = wb.globals();
    std::size_t offset = totalSize(g);
    if (g.boundSheets.size() != wb.sheets().size())
        throw RecordError(msg::RecordsInvalid);
    for (std::size_t i = 0; i < wb.sheets().size(); ++i) {
        TBoundSheetRecord& bs = g.boundSheets.record(i);
        if (bs.bodySize() >= 4)
            putU32(bs.mutableBody().data(), static_cast<std::uint32_t>(offset));
        offset += totalSize(*wb.sheets()[i]);
    }
    return offset;
}

} // namespace

void saveToStream(TWorkbook& workbook, std::vector<std::uint8_t>& out)
{
    assignCodeNames(workbook);
    const std::size_t size = placeSheets(workbook);
    checkVisibility(workbook);

    out.reserve(out.size() + size);
    ByteSink sink(out);
    saveToStream(workbook.globals(), sink);
    for (auto& sheet : workbook.sheets())
        saveToStream(*sheet, sink);
}

std::vector<std::uint8_t> saveToBytes(TWorkbook& workbook)
{
    std::vector<std::uint8_t> out;
    saveToStream(workbook, out);
    return out;
}

std::size_t totalSize(TWorkbook& workbook)
{
    std::size_t n = totalSize(workbook.globals());
    for (auto& sheet : workbook.sheets())
        n += totalSize(*sheet);
    return n;
}

} // namespace quorvane::xls
