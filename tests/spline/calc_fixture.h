#pragma once
// Shared by the calculation tests: a data module whose seven tables are bound to
// empty internal files in a fresh temporary folder, a status sink that records
// every text, helpers to fill tables, and a runner for the independent
// programs in the shared oracle folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "data/dm_sea.h"
#include "platform/status_sink.h"
#include "support/temp_dir.h"

namespace quorvane::test {

/// Records every panel text in order and keeps the current text of each panel.
class RecordingStatus : public StatusSink {
public:
    void setPanelText(int panel, const std::string& text) override
    {
        events.emplace_back(panel, text);
        panels[panel] = text;
    }
    /// The texts written into one panel, in order, empty ones left out.
    std::vector<std::string> textsOf(int panel) const
    {
        std::vector<std::string> out;
        for (const auto& [p, t] : events)
            if (p == panel && !t.empty())
                out.push_back(t);
        return out;
    }
    std::string panel(int p) const
    {
        const auto it = panels.find(p);
        return it == panels.end() ? std::string() : it->second;
    }
    std::vector<std::pair<int, std::string>> events;
    std::map<int, std::string> panels;
};

/// Seven empty tables, open and bound to their files in a temporary folder.
class BoundTables {
public:
    BoundTables()
    {
        const std::string folder = dir.path() + "/internal";
        EXPECT_TRUE(data::seedInternalFolder(folder));
        for (data::CurveTable* t : dm.tables())
        {
            t->bindToFile(data::TdmSea::filePath(folder, *t));
            t->loadFromFile(t->boundFile());
        }
        internal = folder;
    }
    std::string file(const data::CurveTable& t) const { return data::TdmSea::filePath(internal, t); }

    TempDir dir;
    data::TdmSea dm;
    std::string internal;
};

struct Point {
    double age, ratio, error;
};

inline void appendRows(data::CurveTable& table, const std::vector<Point>& points, bool withN = false)
{
    for (const Point& p : points) {
        table.append();
        table.setFloat(table.field("Age"), p.age);
        table.setFloat(table.field("Ratio"), p.ratio);
        table.setFloat(table.field("Error"), p.error);
        if (withN)
            table.setFloat(table.field("N"), 1);
        table.post();
    }
}

inline std::string exact(double v)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

/// Writes Age,Ratio,Error,YPrime,S of a curve table with every digit.
inline void writeCurveCsv(const data::CurveTable& table, const std::string& path)
{
    std::ofstream out(path);
    out << "Age,Ratio,Error,YPrime,S\n";
    for (int r = 0; r < table.rowCount(); ++r) {
        for (int f = 0; f < 5; ++f)
            out << (f ? "," : "") << exact(table.value(r, f));
        out << '\n';
    }
}

inline void writePointsCsv(const std::vector<Point>& points, const std::string& path)
{
    std::ofstream out(path);
    out << "Age,Ratio,Error\n";
    for (const Point& p : points)
        out << exact(p.age) << ',' << exact(p.ratio) << ',' << exact(p.error) << '\n';
}

inline std::string sharedDir() { return QUORVANE_SHARED_DIR; }
inline std::string oracleDir() { return sharedDir() + "/tools/oracle"; }

/// The Debian python3 when it sees scipy (the first python3 on PATH may not).
inline std::string scipyPython()
{
    for (const char* py : {"/usr/bin/python3", "python3"}) {
        const std::string cmd = std::string(py) + " -c 'import scipy.interpolate, numpy' >/dev/null 2>&1";
        if (std::system(cmd.c_str()) == 0)
            return py;
    }
    return {};
}

/// Runs a command, returns its exit status and its standard output and error.
inline int runCommand(const std::string& cmd, std::string& output)
{
    output.clear();
    FILE* pipe = ::popen((cmd + " 2>&1").c_str(), "r");
    if (!pipe)
        return -1;
    char buf[4096];
    while (std::fgets(buf, sizeof buf, pipe))
        output += buf;
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

/// Skips the test unless the oracle folder and a python3 with scipy are there.
#define QUORVANE_REQUIRE_ORACLE(python)                                                            \
    const std::string python = ::quorvane::test::scipyPython();                                    \
    if (!std::filesystem::exists(::quorvane::test::oracleDir() + "/spline_oracle.py"))   \
        GTEST_SKIP() << "no oracle folder at " << ::quorvane::test::oracleDir();                   \
    if (python.empty())                                                                            \
        GTEST_SKIP() << "no python3 with scipy"

} // namespace quorvane::test
