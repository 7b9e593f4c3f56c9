#include "app/settings/settings_store.h"
#include "platform/errors.h"
#include "platform/ini.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>

namespace quorvane {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

enum class Kind { Text, Integer, Boolean };

struct KeyRow {
    const char* section;
    const char* name;
    Kind kind;
    const char* defaultValue; // as written; "<home>", "<data>", "<templates>" stand for this machine's folders
};

// Every key in WRITING order, with its default, written out from the table of
// the settings file rather than from the code under test.
const KeyRow WritingOrder[] = {
    {"File Paths", "Data spreadsheets", Kind::Text, "<home>/"},
    {"File Paths", "Internal files", Kind::Text, "<data>/Quorvane"},
    {"File Paths", "Data import path", Kind::Text, "<home>/"},
    {"File Paths", "Data export path", Kind::Text, "<home>/"},
    {"File Paths", "Template path", Kind::Text, "<templates>"},
    {"Curve parameters", "Marine Sr isotope", Kind::Boolean, "0"},
    {"Curve parameters", "Minimum uncertainty", Kind::Text, "0.1"},
    {"Curve parameters", "Students t multiplier", Kind::Text, "1.96"},
    {"Curve parameters", "Required smoothing precision", Kind::Text, "0.8"},
    {"Curve parameters", "Age range to average", Kind::Text, "0.1"},
    {"Curve parameters", "Number of points to average", Kind::Text, "5"},
    {"Curve parameters", "Moving average age window", Kind::Text, "1.0"},
    {"Input fields", "X Column", Kind::Text, "A"},
    {"Input fields", "Y Column", Kind::Text, "B"},
    {"Input fields", "Y err Column", Kind::Text, "C"},
    {"Input fields", "Age from", Kind::Text, "0.0"},
    {"Input fields", "Age to", Kind::Text, "1.0"},
    {"Input fields", "From Row", Kind::Text, "2"},
    {"Input fields", "To Row", Kind::Text, "3"},
    {"Form positions", "Main Left", Kind::Integer, "1"},
    {"Form positions", "Main Top", Kind::Integer, "1"},
    {"Form positions", "Main Height", Kind::Integer, "480"},
    {"Form positions", "Main Width", Kind::Integer, "800"},
    {"Form positions", "Sheet Left", Kind::Integer, "1"},
    {"Form positions", "Sheet Top", Kind::Integer, "50"},
    {"Form positions", "Sheet Height", Kind::Integer, "530"},
    {"Form positions", "Sheet Width", Kind::Integer, "800"},
    {"Form positions", "Spline Left", Kind::Integer, "1"},
    {"Form positions", "Spline Top", Kind::Integer, "50"},
    {"Form positions", "Spline Height", Kind::Integer, "530"},
    {"Form positions", "Spline Width", Kind::Integer, "800"},
    {"Form positions", "Moving Average Left", Kind::Integer, "1"},
    {"Form positions", "Moving Average Top", Kind::Integer, "50"},
    {"Form positions", "Moving Average Height", Kind::Integer, "530"},
    {"Form positions", "Moving Average Width", Kind::Integer, "800"},
    {"Form positions", "Graph Left", Kind::Integer, "1"},
    {"Form positions", "Graph Top", Kind::Integer, "50"},
    {"Form positions", "Graph Height", Kind::Integer, "530"},
    {"Form positions", "Graph Width", Kind::Integer, "800"},
    {"Form positions", "Export Left", Kind::Integer, "1"},
    {"Form positions", "Export Top", Kind::Integer, "50"},
    {"Form positions", "Export Height", Kind::Integer, "530"},
    {"Form positions", "Export Width", Kind::Integer, "800"},
};
constexpr std::size_t KeyCount = std::size(WritingOrder);
static_assert(KeyCount == 5 + 7 + 7 + 24);

/// The value of a key as the store holds it, written as the file would hold it.
std::string stored(const SettingsStore& s, const KeyRow& row)
{
    switch (row.kind) {
    case Kind::Text: return s.text(row.name);
    case Kind::Integer: return std::to_string(s.integer(row.name));
    case Kind::Boolean: return s.boolean(row.name) ? "1" : "0";
    }
    return {};
}

void put(SettingsStore& s, const KeyRow& row, const std::string& value)
{
    switch (row.kind) {
    case Kind::Text: s.setText(row.name, value); break;
    case Kind::Integer: s.setInteger(row.name, std::stoi(value)); break;
    case Kind::Boolean: s.setBoolean(row.name, value == "1"); break;
    }
}

/// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

class Settings : public ::testing::Test {
protected:
    TempDir dir;
    ScopedEnv home{"HOME", dir.path().c_str()};
    ScopedEnv data{"XDG_DATA_HOME", nullptr};
    ScopedEnv config{"XDG_CONFIG_HOME", nullptr};
    ScopedEnv ini{"QUORVANE_INI", nullptr};
    std::string file = dir.file("Quorvane.INI");
    SettingsStore store;

    /// The default of a row on this test's machine.
    std::string expectedDefault(const KeyRow& row) const
    {
        std::string v = row.defaultValue;
        const std::pair<const char*, std::string> folders[] = {
            {"<home>", dir.path()},
            {"<data>", dir.path() + "/.local/share"},
            {"<templates>", QUORVANE_SOURCE_DIR "/templates/"},
        };
        for (const auto& [mark, folder] : folders)
            if (v.rfind(mark, 0) == 0)
                v = folder + v.substr(std::string(mark).size());
        return v;
    }

    /// The text of the error SaveSettings raises, or "" when it succeeds.
    std::string saveError()
    {
        try {
            SaveSettings(store, file);
        } catch (const Error& e) {
            return e.what();
        }
        return {};
    }

    /// The file a first start writes, cut after the first `keys` keys.
    std::string firstStartFile(std::size_t keys = KeyCount) const
    {
        std::string out, section;
        for (std::size_t i = 0; i < keys; ++i) {
            const KeyRow& row = WritingOrder[i];
            if (row.section != section) {
                out += (section.empty() ? "[" : "\n[") + std::string(row.section) + "]\n";
                section = row.section;
            }
            out += std::string(row.name) + "=" + expectedDefault(row) + "\n";
        }
        return out;
    }
};

TEST_F(Settings, StoreStartsEmptyAndClears)
{
    for (int round = 0; round < 2; ++round) {
        for (const KeyRow& row : WritingOrder) {
            SCOPED_TRACE(row.name);
            EXPECT_EQ(stored(store, row), row.kind == Kind::Text ? "" : "0");
        }
        LoadSettings(store, file);
        store.clear();
    }
}

TEST_F(Settings, FirstStartGivesDefaultsAndWritesEveryKeyInOrder)
{
    LoadSettings(store, file);
    for (const KeyRow& row : WritingOrder) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(stored(store, row), expectedDefault(row));
        EXPECT_EQ(defaultText(row.name), expectedDefault(row));
    }
    EXPECT_FALSE(std::filesystem::exists(file)) << "loading writes nothing";
    SaveSettings(store, file);
    EXPECT_EQ(readFile(file), firstStartFile());
}

// An INI reader nobody here wrote agrees on sections, keys, values and order.
TEST_F(Settings, WrittenFileReadsBackInAnIndependentIniReader)
{
    const char* python = nullptr;
    for (const char* candidate : {"/usr/bin/python3", "/usr/local/bin/python3"})
        if (::access(candidate, X_OK) == 0)
            python = candidate;
    if (!python)
        GTEST_SKIP() << "python3 is not installed";
    LoadSettings(store, file);
    store.setText(key::AgeTo, " 2.5 ");       // blanks kept by quoting
    store.setText(key::XColumn, "a=b; c %d"); // "=", ";" and "%" inside a value
    SaveSettings(store, file);

    const std::string script =
        "import configparser,sys\n"
        "p=configparser.RawConfigParser(strict=True)\n"
        "p.optionxform=str\n"
        "p.read(sys.argv[1])\n"
        "for s in p.sections():\n"
        "  for k,v in p.items(s):\n"
        "    sys.stdout.write(s+'|'+k+'|'+(v[1:-1] if len(v)>1 and v[0]==v[-1]=='\"' else v)+'\\n')\n";
    const std::string scriptFile = dir.file("dump.py");
    writeFile(scriptFile, script);
    FILE* pipe = ::popen((std::string(python) + " " + scriptFile + " " + file).c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string dumped;
    char buffer[4096];
    while (std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe))
        dumped.append(buffer, got);
    ASSERT_EQ(::pclose(pipe), 0);

    std::string expected;
    for (const KeyRow& row : WritingOrder)
        expected += std::string(row.section) + "|" + row.name + "|" + stored(store, row) + "\n";
    EXPECT_EQ(dumped, expected);
}

TEST_F(Settings, ValuesAsTheFileHoldsThem)
{
    struct Case {
        const char* name;
        const char* key;
        const char* fileValue;
        std::string read;    // as the store holds it, written as the file holds it
        std::string written; // the line's value after saving
    };
    const Case cases[] = {
        {"hexadecimal 0x", "Main Width", "0x320", "800", "800"},
        {"hexadecimal $", "Main Width", "$320", "800", "800"},
        {"decimal with sign", "Main Left", "+5", "5", "5"},
        {"negative, off screen", "Main Left", "-1200", "-1200", "-1200"},
        {"not an integer gives the default", "Sheet Top", "abc", "50", "50"},
        {"trailing text gives the default", "Sheet Top", "12abc", "50", "50"},
        {"empty gives the default", "Graph Height", "", "530", "530"},
        {"beyond 32 bits gives the default", "Export Width", "4294967296", "800", "800"},
        {"boolean 2 reads true, written 1", "Marine Sr isotope", "2", "1", "1"},
        {"boolean 0", "Marine Sr isotope", "0", "0", "0"},
        {"boolean not an integer gives false", "Marine Sr isotope", "yes", "0", "0"},
        {"text kept as typed", "Age to", "1e-3", "1e-3", "1e-3"},
        {"folder kept in its case", "Internal files", "/home/u/Lower/case", "/home/u/Lower/case",
         "/home/u/Lower/case"},
        {"empty text is not the default", "Y Column", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const KeyRow& row = *std::find_if(std::begin(WritingOrder), std::end(WritingOrder),
                                          [&](const KeyRow& r) { return std::string(r.name) == c.key; });
        writeFile(file, std::string("[") + row.section + "]\n" + c.key + "=" + c.fileValue + "\n");
        LoadSettings(store, file);
        EXPECT_EQ(stored(store, row), c.read);
        SaveSettings(store, file);
        EXPECT_EQ(IniFile(file).readText(row.section, c.key, "missing"), c.written);
        EXPECT_NE(readFile(file).find(std::string(c.key) + "=" + c.written + "\n"), std::string::npos);
    }
}

// A hand-edited file: CRLF endings, comments, blank lines, foreign sections and
// keys, our keys in other cases and spacing, sections in another order and one
// key missing. Saving changes only our values and adds the missing key.
TEST_F(Settings, ForeignLinesStayByteForByte)
{
    std::string before = "; Quorvane settings, edited by hand\r\n"
                         "\r\n"
                         "[form POSITIONS]\r\n";
    for (std::size_t i = 19; i < KeyCount; ++i) {
        const KeyRow& row = WritingOrder[i];
        if (std::string(row.name) == "Main Width")
            before += "main width = 0x320\r\n";
        else if (std::string(row.name) == "Sheet Top")
            before += "Sheet Top=off\r\n";
        else
            before += std::string(row.name) + "=" + row.defaultValue + "\r\n";
    }
    before += "Window Colour=blue\r\n"
              "\r\n"
              "[Printer]\r\n"
              "Name = lp0 \r\n"
              "[ file paths ]\r\n"
              "Data spreadsheets=/srv/sheets/\r\n"
              "INTERNAL FILES\t=\t/srv/internal\r\n"
              "Data import path=/srv/in/\r\n"
              "Data export path=/srv/out/\r\n"
              "Template path=/srv/templates/\r\n"
              "[Curve parameters]\r\n"
              "Marine Sr isotope=2\r\n"
              "Minimum uncertainty=0.2\r\n"
              "Students t multiplier=2.0\r\n"
              "Required smoothing precision=0.9\r\n"
              "Number of points to average=7\r\n"
              "Moving average age window=2.0\r\n"
              "Age range to average=0.2\r\n"
              "[Input fields]\r\n"
              "X Column=D\r\n"
              "Y Column=E\r\n"
              "Y err Column=F\r\n"
              "Age from=10\r\n"
              "Age to=20\r\n"
              "From Row=5\r\n"
              "; To Row is missing\r\n"
              "\r\n";
    writeFile(file, before);
    LoadSettings(store, file);
    EXPECT_EQ(store.integer("Main Width"), 800);
    EXPECT_EQ(store.integer("Sheet Top"), 50);
    EXPECT_TRUE(store.boolean(key::MarineSrIsotope));
    EXPECT_EQ(store.text(key::InternalFiles), "/srv/internal");
    EXPECT_EQ(store.text(key::ToRow), "3");
    SaveSettings(store, file);

    std::string after = before;
    const std::pair<std::string, std::string> edits[] = {
        {"main width = 0x320\r\n", "main width = 800\r\n"},
        {"Sheet Top=off\r\n", "Sheet Top=50\r\n"},
        {"Marine Sr isotope=2\r\n", "Marine Sr isotope=1\r\n"},
        {"From Row=5\r\n", "From Row=5\r\nTo Row=3\r\n"},
    };
    for (const auto& [from, to] : edits)
        after.replace(after.find(from), from.size(), to);
    EXPECT_EQ(readFile(file), after);
}

TEST_F(Settings, EveryKeyRoundTrips)
{
    // Values unlike the defaults, including what a file makes hard: blanks at
    // the ends, quotes, "=", lower case, non-ASCII, the extremes of 32 bits.
    std::vector<std::string> values;
    for (std::size_t i = 0; i < KeyCount; ++i) {
        const KeyRow& row = WritingOrder[i];
        switch (row.kind) {
        case Kind::Text: values.push_back(" v" + std::to_string(i) + " = 'x' \"\xC3\xA9\" e-3 "); break;
        case Kind::Integer:
            values.push_back(std::to_string(i % 3 == 0 ? INT_MIN : i % 3 == 1 ? INT_MAX : -static_cast<int>(i)));
            break;
        case Kind::Boolean: values.push_back("1"); break;
        }
    }
    values[1] = "\"/quoted/internal\"";
    for (std::size_t i = 0; i < KeyCount; ++i)
        put(store, WritingOrder[i], values[i]);
    SaveSettings(store, file);
    const std::string written = readFile(file);
    store.clear();
    LoadSettings(store, file);
    for (std::size_t i = 0; i < KeyCount; ++i) {
        SCOPED_TRACE(WritingOrder[i].name);
        EXPECT_EQ(stored(store, WritingOrder[i]), values[i]);
    }
    SaveSettings(store, file);
    EXPECT_EQ(readFile(file), written) << "a second save changes nothing";
}

TEST_F(Settings, FailureAtTheFirstKey)
{
    std::filesystem::create_directory(file); // a folder where the file should be
    LoadSettings(store, file);
    EXPECT_EQ(saveError(), "Unable to write to " + file);
}

TEST_F(Settings, ReadOnlyFolder)
{
    writeFile(file, "; mine\n");
    ::chmod(dir.path().c_str(), 0555);
    const bool ignored = test::canCreateFileIn(dir.path());
    if (ignored) {
        ::chmod(dir.path().c_str(), 0755);
        GTEST_SKIP() << "file permissions stop nothing for this user (root)";
    }
    LoadSettings(store, file);
    EXPECT_EQ(saveError(), "Unable to write to " + file);
    ::chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(readFile(file), "; mine\n");
}

// Failures part of the way through: keys before the failing one are in the
// file, the failing one and those after it are not. A value that cannot be
// held on one line fails at its own key; a file-size limit makes the disk
// refuse the file once it outgrows the first ten keys (which also shows that
// "Age range to average" is written before "Number of points to average").
TEST_F(Settings, FailurePartWayLeavesTheKeysBeforeWritten)
{
    struct Case {
        const char* name;
        std::size_t failingKey; // index in WritingOrder
        bool sizeLimit;
    };
    const Case cases[] = {
        {"line break in X Column", 12, false},
        {"line break in Template path", 4, false},
        {"file grows past a size limit", 10, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(file);
        LoadSettings(store, file);
        const std::string former = c.sizeLimit ? std::string() : store.text(WritingOrder[c.failingKey].name);
        if (!c.sizeLimit)
            store.setText(WritingOrder[c.failingKey].name, "A\n[Form positions]\nMain Left=-99999");

        struct sigaction ignore {}, formerAction {};
        rlimit savedLimit {};
        if (c.sizeLimit) {
            ignore.sa_handler = SIG_IGN;
            ::sigaction(SIGXFSZ, &ignore, &formerAction);
            ::getrlimit(RLIMIT_FSIZE, &savedLimit);
            rlimit limited = savedLimit;
            limited.rlim_cur = firstStartFile(c.failingKey).size();
            ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
        }
        const std::string message = saveError();
        if (c.sizeLimit) {
            ::setrlimit(RLIMIT_FSIZE, &savedLimit);
            ::sigaction(SIGXFSZ, &formerAction, nullptr);
        } else {
            store.setText(WritingOrder[c.failingKey].name, former);
        }
        EXPECT_EQ(message, "Unable to write to " + file);
        EXPECT_EQ(readFile(file), firstStartFile(c.failingKey));
    }
}

TEST_F(Settings, ProgrammingErrorsThrowLogicError)
{
    EXPECT_THROW(store.text("Main Lefts"), std::logic_error);
    EXPECT_THROW(store.text("main left"), std::logic_error) << "the program's own names match exactly";
    EXPECT_THROW(store.integer(key::XColumn), std::logic_error);
    EXPECT_THROW(store.setText("Main Left", "1"), std::logic_error);
    EXPECT_THROW(store.setBoolean(key::AgeTo, true), std::logic_error);
    EXPECT_THROW(defaultText("nothing"), std::logic_error);
}

TEST_F(Settings, PositionKeyNames)
{
    const PositionKeys k = positionKeys("Moving Average");
    EXPECT_EQ(k.left, "Moving Average Left");
    EXPECT_EQ(k.top, "Moving Average Top");
    EXPECT_EQ(k.height, "Moving Average Height");
    EXPECT_EQ(k.width, "Moving Average Width");
}

TEST_F(Settings, WhereTheFileLives)
{
    EXPECT_EQ(settingsFilePath(), dir.path() + "/.config/Quorvane.INI");
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "/etc/xdg-user");
        EXPECT_EQ(settingsFilePath(), "/etc/xdg-user/Quorvane.INI");
        ScopedEnv named("QUORVANE_INI", "/tmp/named.ini");
        EXPECT_EQ(settingsFilePath(), "/tmp/named.ini");
        setSettingsFilePath("/tmp/given.ini");
        EXPECT_EQ(settingsFilePath(), "/tmp/given.ini");
        setSettingsFilePath("");
        EXPECT_EQ(settingsFilePath(), "/tmp/named.ini");
    }
    // A fresh account has no configuration folder yet: saving makes it.
    LoadSettings(store, settingsFilePath());
    SaveSettings(store, settingsFilePath());
    EXPECT_EQ(readFile(dir.path() + "/.config/Quorvane.INI"), firstStartFile());
}

} // namespace
} // namespace quorvane
