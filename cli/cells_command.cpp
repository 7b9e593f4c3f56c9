// quorvane-batch cells FILE [--sheet N] [--formatted]: every cell record of a workbook,
// its value as stored or, with --formatted, as the sheet shows it, with formula texts.
#include <charconv>

#include "cli/cli.h"
#include "xls/dumpcells.h"
#include "xls/numfmt/formatted_cells.h"

namespace quorvane::cli {

int cellsCommand(const Args& args, CliContext& ctx)
{
    const Options opts(args, {"sheet"}, {"formatted"});
    if (opts.positional().size() != 1)
        throw Error("cells needs one workbook");
    std::optional<int> sheet;
    if (const std::string* s = opts.value("sheet")) {
        int n = 0;
        const auto [end, ec] = std::from_chars(s->data(), s->data() + s->size(), n);
        if (ec != std::errc() || end != s->data() + s->size())
            throw Error("--sheet needs a sheet number");
        sheet = n;
    }
    if (opts.has("formatted"))
        xls::numfmt::dumpFormattedCells(opts.positional()[0], sheet, ctx.out);
    else
        xls::dumpCells(opts.positional()[0], sheet, ctx.out);
    return 0;
}

} // namespace quorvane::cli
