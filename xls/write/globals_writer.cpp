// The workbook-globals substream, in the order the writer fixes for it.
#include "xls/write/messages.h"
#include "xls/write/sst_writer.h"
#include "xls/write/writer.h"

namespace quorvane::xls {

namespace {

constexpr std::size_t MaxBody = SstRecordLimit - 4;

void saveList(const RecordList& list, ByteSink& sink)
{
    for (const auto& r : list)
        sink.record(*r);
}

// EXTERNSHEET: the entry count, then per entry the SUPBOOK index and the first and last
// sheet (16 bits each). A list too long for one record goes on in CONTINUE records.
void saveExternSheet(const TReferences& refs, ByteSink& sink)
{
    if (!refs.hasExternSheet)
        return;
    std::vector<std::uint8_t> body(2 + 6 * refs.externSheets.size());
    putU16(body.data(), static_cast<std::uint16_t>(refs.externSheets.size()));
    for (std::size_t i = 0; i < refs.externSheets.size(); ++i) {
        std::uint8_t* p = body.data() + 2 + 6 * i;
        putU16(p, refs.externSheets[i].supBook);
        putU16(p + 2, refs.externSheets[i].firstSheet);
        putU16(p + 4, refs.externSheets[i].lastSheet);
    }
    std::size_t at = 0;
    std::uint16_t id = rid::ExternSheet;
    do {
        const std::size_t n = std::min(MaxBody, body.size() - at);
        sink.record(id, ByteSpan(body.data() + at, n));
        at += n;
        id = rid::Continue;
    } while (at < body.size());
}

void write(const TWorkbookGlobals& g, ByteSink& sink)
{
    if (!g.bof() || !g.eof())
        throw WriteError(msg::SectionNotLoaded);
    sink.record(*g.bof());
    for (const auto& r : g.misc) {
        if (const auto* place = dynamic_cast<const TSubListRecord*>(r.get())) {
            switch (place->list()) {
            case TSubListRecord::List::XF: saveList(g.xfs, sink); break;
            case TSubListRecord::List::Font: saveList(g.fonts, sink); break;
            case TSubListRecord::List::Format: saveList(g.formats, sink); break;
            }
            continue;
        }
        sink.record(*r);
    }
    for (std::size_t i = 0; i < g.boundSheets.size(); ++i)
        sink.record(g.boundSheets.record(i));
    // EXTERNNAME records belong to the SUPBOOK before them, so the references keep their
    // order and the regenerated EXTERNSHEET follows them all.
    saveList(g.references.records, sink);
    saveExternSheet(g.references, sink);
    saveList(g.names, sink);
    saveList(g.drawingGroup.records, sink);
    // A counting sink leaves the table's entry headers untouched.
    if (g.sst)
        writeSharedStrings(*g.sst, sink);
    sink.record(*g.eof());
}

} // namespace

void saveToStream(TWorkbookGlobals& globals, ByteSink& sink)
{
    write(globals, sink);
}

std::size_t totalSize(const TWorkbookGlobals& globals)
{
    ByteSink counter;
    write(globals, counter);
    return counter.written();
}

} // namespace quorvane::xls
