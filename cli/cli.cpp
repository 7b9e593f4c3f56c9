#include "cli/cli.h"

#include <algorithm>
#include <charconv>
#include <iostream>

#include "app/settings/settings_store.h"
#include "data/table_file.h"
#include "platform/paths.h"

namespace quorvane::cli {

namespace {

void printUsage(std::ostream& err)
{
    err << "usage: quorvane-batch [--settings FILE] [--internal DIR] COMMAND [ARGS]\n";
    for (const Command& c : commands())
        err << "  " << c.name << (c.usage[0] ? " " : "") << c.usage << '\n';
}

} // namespace

const std::vector<Command>& commands()
{
    static const std::vector<Command> table = {
        {"info", "", infoCommand},
        {"dump", "TABLE", dumpCommand},
        {"import-csv", "FILE", importCsvCommand},
        {"spline", splineUsage, splineCommand},
        {"movav", movavUsage, movavCommand},
        {"cells", "FILE [--sheet N] [--formatted]", cellsCommand},
        {"copy", "IN.xls OUT.xls", copyCommand},
        {"import", importUsage, importCommand},
        {"chart", "spline|compare OUT.png [--width PX] [--height PX]", chartCommand},
        {"export", exportUsage, exportCommand},
    };
    return table;
}

Options::Options(const Args& args, std::vector<std::string> valueOptions, std::vector<std::string> flags)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            const std::string name = a.substr(2);
            if (std::find(flags.begin(), flags.end(), name) != flags.end()) {
                flags_.push_back(name);
            } else if (std::find(valueOptions.begin(), valueOptions.end(), name) != valueOptions.end()) {
                if (i + 1 >= args.size())
                    throw UsageError("Option --" + name + " needs a value");
                values_.emplace_back(name, args[++i]);
            } else {
                throw UsageError("Unknown option " + a);
            }
        } else {
            positional_.push_back(a);
        }
    }
}

bool Options::has(const std::string& name) const
{
    return std::find(flags_.begin(), flags_.end(), name) != flags_.end() || value(name) != nullptr;
}

const std::string* Options::value(const std::string& name) const
{
    // The last occurrence wins, as on most command lines.
    for (auto it = values_.rbegin(); it != values_.rend(); ++it)
        if (it->first == name)
            return &it->second;
    return nullptr;
}

std::string exactNumber(double value)
{
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

int infoCommand(const Args& args, CliContext& ctx)
{
    Options(args, {}, {});
    ctx.out << "Internal files\t" << ctx.internalFolder << '\n';
    for (data::CurveTable* t : ctx.dm.tables()) {
        const std::string path = data::TdmSea::filePath(ctx.internalFolder, *t);
        ctx.out << t->name() << '\t' << path << '\t';
        if (!paths::fileExists(path)) {
            ctx.out << "missing\n";
            continue;
        }
        try {
            ctx.out << data::readTableFile(path).rowCount() << " rows\n";
        } catch (const Error& e) {
            ctx.out << e.what() << '\n';
        }
    }
    return 0;
}

int dumpCommand(const Args& args, CliContext& ctx)
{
    const Options opts(args, {}, {});
    if (opts.positional().size() != 1)
        throw UsageError("dump needs one table name");
    data::CurveTable* t = ctx.dm.table(opts.positional()[0]);
    if (!t)
        throw UsageError("Unknown table " + opts.positional()[0]);
    if (!t->isOpen() || t->boundFile().empty()) {
        const std::string path = data::TdmSea::filePath(ctx.internalFolder, *t);
        t->bindToFile(path);
        t->loadFromFile(path);
    }
    const int nf = t->fieldCount();
    for (int f = 0; f < nf; ++f)
        ctx.out << (f ? "," : "") << t->fields()[static_cast<std::size_t>(f)].name;
    ctx.out << '\n';
    const int n = t->rowCount();
    for (int r = 0; r < n; ++r) {
        for (int f = 0; f < nf; ++f) {
            if (f)
                ctx.out << ',';
            if (!t->isNull(r, f))
                ctx.out << exactNumber(t->value(r, f));
        }
        ctx.out << '\n';
    }
    return 0;
}

int runBatch(const Args& argv, std::ostream& out, std::ostream& err)
{
    std::size_t i = 0;
    std::string internalOverride;
    try {
        for (; i < argv.size() && argv[i].rfind("--", 0) == 0; ++i) {
            if (argv[i] == "--settings" && i + 1 < argv.size())
                setSettingsFilePath(argv[++i]);
            else if (argv[i] == "--internal" && i + 1 < argv.size())
                internalOverride = argv[++i];
            else if (argv[i] == "--help")
                break;
            else
                throw UsageError("Unknown option " + argv[i]);
        }
    } catch (const Error& e) {
        err << e.what() << '\n';
        printUsage(err);
        return 2;
    }
    if (i >= argv.size() || argv[i] == "--help") {
        printUsage(err);
        return i >= argv.size() ? 2 : 0;
    }
    const auto cmd = std::find_if(commands().begin(), commands().end(),
                                  [&](const Command& c) { return argv[i] == c.name; });
    if (cmd == commands().end()) {
        err << "Unknown command " << argv[i] << '\n';
        printUsage(err);
        return 2;
    }

    // As the main window does: load the settings first, save them at the end, so
    // a parameter given to one command is the default of the next.
    SettingsStore& store = settingsStore();
    const std::string settingsFile = settingsFilePath();
    LoadSettings(store, settingsFile);
    const std::string storedInternal = store.text(key::InternalFiles);
    const std::string folder = internalOverride.empty() ? storedInternal : internalOverride;
    data::seedInternalFolder(folder);

    // The windows a command builds read the folder from the store, as they do in the program.
    store.setText(key::InternalFiles, folder);
    int rc = 1;
    {
        data::TdmSea dm;
        data::setDmSea(&dm);
        CliContext ctx{dm, folder, out, err};
        try {
            rc = cmd->run(Args(argv.begin() + static_cast<std::ptrdiff_t>(i) + 1, argv.end()), ctx);
        } catch (const UsageError& e) {
            err << e.what() << '\n' << "usage: quorvane-batch " << cmd->name << ' ' << cmd->usage << '\n';
            rc = 2;
        } catch (const std::exception& e) {
            err << e.what() << '\n';
            rc = 1;
        }
        data::setDmSea(nullptr);
    } // the data module writes back changed bound tables here, as at the end of the application

    // --internal names a folder for this run only; the stored one is written back.
    store.setText(key::InternalFiles, storedInternal);
    try {
        SaveSettings(store, settingsFile);
    } catch (const std::exception& e) {
        err << e.what() << '\n';
        return rc ? rc : 1;
    }
    return rc;
}

} // namespace quorvane::cli
