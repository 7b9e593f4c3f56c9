// quorvane-batch copy IN.xls OUT.xls: a workbook read and written back unchanged, the
// way the template filler's output is written (an existing OUT is never replaced).
#include "cli/cli.h"
#include "xls/write/save.h"
#include "xls/xlsfile.h"

namespace quorvane::cli {

int copyCommand(const Args& args, CliContext&)
{
    const Options opts(args, {}, {});
    if (opts.positional().size() != 2)
        throw UsageError("copy needs a workbook and an output file");
    xls::TXLSAdapter adapter;
    std::unique_ptr<xls::TXLSFile> file = adapter.createFile();
    file->connect();
    file->openFile(opts.positional()[0]);
    xls::saveFile(*file, opts.positional()[1]);
    return 0;
}

} // namespace quorvane::cli
