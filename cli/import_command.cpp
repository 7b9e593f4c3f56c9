// quorvane-batch import FILE.xls [--sheet N] [--from R] [--to R] [--x COL] [--y COL] [--err COL]:
// raw points from a sheet of a workbook, as the import window takes them. The
// entries start as the window's fields do (the "Input fields" settings, the
// to row then replaced by the end-of-data search of the age column), the
// options overwrite them, and OK follows: the entries are stored, checked and
// converted, SeaRaw is refilled and saved, DeltaT rebuilt and saved.
#include <charconv>

#include "app/settings/settings_store.h"
#include "cli/cli.h"
#include "import/sheet_import.h"
#include "platform/status_sink.h"
#include "xls/text.h"
#include "xls/xlsimport.h"

namespace quorvane::cli {

const char* const importUsage = "FILE.xls [--sheet N] [--from R] [--to R] [--x COL] [--y COL] [--err COL]";

int importCommand(const Args& args, CliContext& ctx)
{
    const Options opts(args, {"sheet", "from", "to", "x", "y", "err"}, {});
    if (opts.positional().size() != 1)
        throw UsageError("import needs one workbook");
    int sheet = 1;
    if (const std::string* s = opts.value("sheet")) {
        const auto [end, ec] = std::from_chars(s->data(), s->data() + s->size(), sheet);
        if (ec != std::errc() || end != s->data() + s->size())
            throw UsageError("--sheet needs a sheet number");
    }

    xls::TXLSAdapter adapter;
    xls::TXlsImport workbook;
    workbook.SetAdapter(&adapter);
    workbook.OpenWorkbook(opts.positional()[0]);
    workbook.SetActiveSheet(sheet);
    const std::string sheetName = xls::toUtf8(workbook.SheetName()); // a sheet outside the workbook fails here

    const SettingsStore& store = settingsStore();
    ImportEntries entries{store.text(key::FromRow), store.text(key::ToRow), store.text(key::XColumn),
                          store.text(key::YColumn), store.text(key::YErrColumn)};
    if (const std::string* v = opts.value("x"))
        entries.x = *v;
    ImportNumbers& numbers = importNumbers();
    try {
        findLastRow(workbook, ColumnNumber(entries.x), numbers.toRow);
        entries.toRow = std::to_string(numbers.toRow);
    } catch (const std::exception&) {
        // as in the window: the search ends silently and the to row keeps its text
    }
    if (const std::string* v = opts.value("from"))
        entries.fromRow = *v;
    if (const std::string* v = opts.value("to"))
        entries.toRow = *v;
    if (const std::string* v = opts.value("y"))
        entries.y = *v;
    if (const std::string* v = opts.value("err"))
        entries.yErr = *v;

    storeImportEntries(settingsStore(), entries);
    const SheetImportRange range = convertImportEntries(entries, numbers);

    for (data::CurveTable* t : {&ctx.dm.cdsSeaRaw, &ctx.dm.cdsDeltaT}) {
        const std::string path = data::TdmSea::filePath(ctx.internalFolder, *t);
        t->bindToFile(path);
        t->loadFromFile(path);
    }
    NullStatusSink status; // a line per sheet row would bury the result
    SheetImport import(workbook, ctx.dm.cdsSeaRaw, ctx.dm.cdsDeltaT, ctx.internalFolder, status);
    const SheetImportOutcome r = import.run(range);
    ctx.out << "Sheet\t" << sheet << '\t' << sheetName << '\n';
    ctx.out << "Rows\t" << range.fromRow << '\t' << range.toRow << '\n';
    ctx.out << "SeaRaw\t" << r.imported << " rows from " << r.rowsRead << " sheet rows\n";
    ctx.out << "DeltaT\t" << ctx.dm.cdsDeltaT.rowCount() << " rows\n";
    return 0;
}

} // namespace quorvane::cli
