#pragma once
// quorvane-batch: the headless front end over the same classes the windows use.
// One small dispatcher: each command is a function registered in commands().
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "data/dm_sea.h"

namespace quorvane::cli {

/// What every command runs against: the data module, the internal folder in
/// effect and the two output streams.
struct CliContext {
    data::TdmSea& dm;
    std::string internalFolder;
    std::ostream& out;
    std::ostream& err;
};

using Args = std::vector<std::string>;

/// A command line that names no command, an unknown option or a missing value:
/// the command's usage line is shown and the exit status is 2.
class UsageError : public Error {
public:
    using Error::Error;
};

struct Command {
    const char* name;
    const char* usage; ///< one line: arguments and options
    std::function<int(const Args&, CliContext&)> run;
};

/// Every command, in the order the usage text lists them.
const std::vector<Command>& commands();

/// The whole program: global options, settings loaded before and saved after
/// the command, the system's text on standard error and a non-zero exit on failure.
int runBatch(const Args& argv, std::ostream& out, std::ostream& err);

/// Options of the form --name VALUE and bare flags --name, parsed from a command's
/// arguments; anything else is a positional argument. Unknown options are refused.
class Options {
public:
    Options(const Args& args, std::vector<std::string> valueOptions, std::vector<std::string> flags);
    bool has(const std::string& name) const;
    /// The value of --name, or nullptr when it was not given.
    const std::string* value(const std::string& name) const;
    const std::vector<std::string>& positional() const { return positional_; }

private:
    std::vector<std::pair<std::string, std::string>> values_;
    std::vector<std::string> flags_;
    std::vector<std::string> positional_;
};

/// A number with 17 significant digits, the shortest form that reads back exactly.
std::string exactNumber(double value);

// Commands, each in the file named after it where it is not in cli.cpp.
int infoCommand(const Args& args, CliContext& ctx);
int dumpCommand(const Args& args, CliContext& ctx);

// The calculations (calc_commands.cpp).
extern const char* const splineUsage;
extern const char* const movavUsage;
int importCsvCommand(const Args& args, CliContext& ctx);
int splineCommand(const Args& args, CliContext& ctx);
int movavCommand(const Args& args, CliContext& ctx);
int cellsCommand(const Args& args, CliContext& ctx);
int chartCommand(const Args& args, CliContext& ctx); // chart_command.cpp
// A workbook read and written back (copy_command.cpp).
int copyCommand(const Args& args, CliContext& ctx);
int exportCommand(const Args& args, CliContext& ctx);
extern const char* const exportUsage;
// Raw points from a workbook (import_command.cpp).
extern const char* const importUsage;
int importCommand(const Args& args, CliContext& ctx);

} // namespace quorvane::cli
