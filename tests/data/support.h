#pragma once
// Helpers shared by the curve table tests.
#include <filesystem>
#include <string>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

#include "data/curve_table.h"
#include "support/temp_dir.h"

namespace quorvane::data::testing {

using TempDir = quorvane::test::TempDir;

inline std::vector<FieldDef> rawFields()
{
    return {{"Age", FieldType::Float, "####0.000"},
            {"Ratio", FieldType::Float, "##0.00000"},
            {"Error", FieldType::Float, "##0.00000"}};
}

/// Appends and posts one row (Age, Ratio, Error); nullopt leaves a field empty.
inline void addRow(CurveTable& t, double age, std::optional<double> ratio = {}, std::optional<double> error = {})
{
    t.append();
    t.setFloat(0, age);
    if (ratio)
        t.setFloat(1, *ratio);
    if (error)
        t.setFloat(2, *error);
    t.post();
}

inline std::vector<double> ages(const CurveTable& t)
{
    std::vector<double> out;
    for (int r = 0; r < t.rowCount(); ++r)
        out.push_back(t.value(r, 0));
    return out;
}

/// Runs `body` in a child process that, when we are root, first drops to the
/// unprivileged user "nobody", so that permission bits apply to it; returns the
/// child's exit status (body's result), or -1 when the child could not run.
inline int runUnprivileged(const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(99);
        ::_exit(body());
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

} // namespace quorvane::data::testing
