// quorvane-batch cells FILE [--sheet N]: every cell record of a workbook.
#include <charconv>

#include "cli/cli.h"
#include "xls/dumpcells.h"

namespace quorvane::cli {

int cellsCommand(const Args& args, CliContext& ctx)
{
    const Options opts(args, {"sheet"}, {});
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
    xls::dumpCells(opts.positional()[0], sheet, ctx.out);
    return 0;
}

} // namespace quorvane::cli
