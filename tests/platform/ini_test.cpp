#include "platform/ini.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>

namespace quorvane {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

IniFile loaded(const TempDir& dir, const std::string& bytes)
{
    const std::string path = dir.file("t.ini");
    writeFile(path, bytes);
    return IniFile(path);
}

TEST(IniRead, TextValues)
{
    struct Case {
        const char* name;
        std::string file;
        const char* section;
        const char* key;
        std::string expected; // "DEF" is the default passed in
    };
    const std::string longValue(3000, 'x');
    // 2046 ASCII bytes then a two-byte letter: the cut at 2047 would split it.
    const std::string split = std::string(2046, 'a') + "\xC3\xA9" + "tail";
    const Case cases[] = {
        {"plain", "[S]\nk=v\n", "S", "k", "v"},
        {"blanks around key and value", "[S]\n  k \t=  some value \t\n", "S", "k", "some value"},
        {"value after the first equals sign", "[S]\nk=a=b\n", "S", "k", "a=b"},
        {"key case ignored", "[S]\nMain LEFT=5\n", "S", "main left", "5"},
        {"section case ignored, blanks in brackets", "[ file paths ]\nk=v\n", "File Paths", "k", "v"},
        {"CRLF endings", "[S]\r\nk=v\r\nj=w\r\n", "S", "j", "w"},
        {"lone CR endings", "[S]\rk=v\rj=w", "S", "j", "w"},
        {"UTF-8 byte-order mark", "\xEF\xBB\xBF[S]\nk=v\n", "S", "k", "v"},
        {"missing key", "[S]\nk=v\n", "S", "other", "DEF"},
        {"missing section", "[S]\nk=v\n", "T", "k", "DEF"},
        {"missing file contents", "", "S", "k", "DEF"},
        {"empty value is not the default", "[S]\nk=\n", "S", "k", ""},
        {"key before any section", "k=v\n[S]\n", "S", "k", "DEF"},
        {"key of another section", "[S]\n[T]\nk=v\n", "S", "k", "DEF"},
        {"comment line", "[S]\n;k=v\n", "S", "k", "DEF"},
        {"first of two keys", "[S]\nk=1\nK=2\n", "S", "k", "1"},
        {"first of two sections", "[S]\nk=1\n[s]\nk=2\n", "S", "k", "1"},
        {"double quotes removed", "[S]\nk=\" C:/a b/ \"\n", "S", "k", " C:/a b/ "},
        {"single quotes removed", "[S]\nk='x'\n", "S", "k", "x"},
        {"unmatched quote kept", "[S]\nk=\"x\n", "S", "k", "\"x"},
        {"inner quotes kept", "[S]\nk=a \"b\" c\n", "S", "k", "a \"b\" c"},
        {"cut to 2047 bytes", "[S]\nk=" + longValue + "\n", "S", "k", longValue.substr(0, 2047)},
        {"cut not inside a UTF-8 sequence", "[S]\nk=" + split + "\n", "S", "k", split.substr(0, 2046)},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(loaded(dir, c.file).readText(c.section, c.key, "DEF"), c.expected);
    }
}

TEST(IniRead, Integers)
{
    struct Case {
        const char* value;
        int expected; // -7 is the default passed in
    };
    const Case cases[] = {
        {"800", 800},
        {"0x320", 800},
        {"0X320", 800},
        {"$320", 800},
        {"$fF", 255},
        {"+5", 5},       // a sign is part of an integer
        {"-5", -5},
        {"-0x10", -16},
        {"007", 7},
        {" 12 ", 12},    // surrounding blanks are trimmed as for every value
        {"\"12\"", 12},  // so are enclosing quotes
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"0x7FFFFFFF", 2147483647},
        {"-0x80000000", -2147483647 - 1},
        {"2147483648", -7},   // beyond 32 bits is not a 32-bit integer
        {"-2147483649", -7},
        {"0x80000000", -7},
        {"99999999999999999999", -7},
        {"12abc", -7},
        {"1 2", -7},
        {"1e3", -7},
        {"12.0", -7},
        {"", -7},
        {"+", -7},
        {"0x", -7},
        {"$", -7},
        {"0xG", -7},
        {"- 5", -7},
        {"--5", -7},
        {"x12", -7},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("value \"") + c.value + "\"");
        EXPECT_EQ(loaded(dir, std::string("[S]\nk=") + c.value + "\n").readInteger("S", "k", -7), c.expected);
    }
    EXPECT_EQ(loaded(dir, "[S]\n").readInteger("S", "k", -7), -7);
}

TEST(IniRead, Booleans)
{
    struct Case {
        const char* value;
        bool defaultValue;
        bool expected;
    };
    const Case cases[] = {
        {"1", false, true}, {"0", true, false}, {"2", false, true},    {"-1", false, true},
        {"0x0", true, false}, {"yes", false, false}, {"true", false, false}, {"", true, true},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("value \"") + c.value + "\"");
        EXPECT_EQ(loaded(dir, std::string("[S]\nk=") + c.value + "\n").readBoolean("S", "k", c.defaultValue),
                  c.expected);
    }
}

TEST(IniWrite, EditsLinesInPlace)
{
    struct Case {
        const char* name;
        std::string before;
        const char* section;
        const char* key;
        const char* value;
        std::string after;
    };
    const Case cases[] = {
        {"new file", "", "S", "k", "v", "[S]\nk=v\n"},
        {"replace keeps key spelling, blanks and CRLF", "; c\r\n[s]\r\n  KEY = old  \r\nz=1\r\n", "S", "key", "new",
         "; c\r\n[s]\r\n  KEY = new\r\nz=1\r\n"},
        {"replace an empty value", "[S]\nk=   \n", "S", "k", "v", "[S]\nk=v\n"},
        {"add after the last key line, before blanks and comments", "[S]\na=1\n\n; about T\n[T]\nb=2\n", "S", "k", "v",
         "[S]\na=1\nk=v\n\n; about T\n[T]\nb=2\n"},
        {"add to a section without keys", "[S]\n; none yet\n[T]\n", "S", "k", "v", "[S]\nk=v\n; none yet\n[T]\n"},
        {"add to the last section without final newline", "[S]\na=1", "S", "k", "v", "[S]\na=1\nk=v\n"},
        {"new section at the end after a blank line, CRLF file", "[S]\r\na=1\r\n", "T", "k", "v",
         "[S]\r\na=1\r\n\r\n[T]\r\nk=v\r\n"},
        {"new section after a file ending in a blank line", "[S]\na=1\n\n", "T", "k", "v", "[S]\na=1\n\n[T]\nk=v\n"},
        {"new section after a line without newline", "x", "T", "k", "v", "x\n\n[T]\nk=v\n"},
        {"key before any section is not the section's", "k=0\n[S]\n", "S", "k", "v", "k=0\n[S]\nk=v\n"},
        {"first of duplicate sections", "[S]\na=1\n[S]\nk=2\n", "S", "k", "v", "[S]\na=1\nk=v\n[S]\nk=2\n"},
        {"byte-order mark kept", "\xEF\xBB\xBF[S]\nk=1\n", "S", "k", "2", "\xEF\xBB\xBF[S]\nk=2\n"},
        {"leading blank quoted", "", "S", "k", " C:/x", "[S]\nk=\" C:/x\"\n"},
        {"enclosing quotes quoted", "[S]\nk=1\n", "S", "k", "'a'", "[S]\nk=\"'a'\"\n"},
        {"inner quote not quoted", "", "S", "k", "a\"b", "[S]\nk=a\"b\n"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IniFile ini = loaded(dir, c.before);
        ini.writeText(c.section, c.key, c.value);
        EXPECT_EQ(ini.contents(), c.after);
        EXPECT_EQ(ini.readText(c.section, c.key, "DEF"), c.value);
    }
}

TEST(IniWrite, IntegersAndBooleansInDecimal)
{
    TempDir dir;
    IniFile ini = loaded(dir, "[S]\nw=0x320\nb=2\n");
    ini.writeInteger("S", "w", ini.readInteger("S", "w", 0));
    ini.writeInteger("S", "n", -2147483647 - 1);
    ini.writeBoolean("S", "b", ini.readBoolean("S", "b", false));
    ini.writeBoolean("S", "f", false);
    EXPECT_EQ(ini.contents(), "[S]\nw=800\nb=1\nn=-2147483648\nf=0\n");
}

TEST(IniWrite, FlushReplacesTheFileAndKeepsItsMode)
{
    TempDir dir;
    const std::string path = dir.file("t.ini");
    writeFile(path, "[S]\r\nk=1\r\n");
    ::chmod(path.c_str(), 0640);
    IniFile ini(path);
    ini.writeText("S", "k", "2");
    EXPECT_EQ(readFile(path), "[S]\r\nk=1\r\n") << "nothing is written before flush()";
    ini.flush();
    EXPECT_FALSE(ini.dirty());
    EXPECT_EQ(readFile(path), "[S]\r\nk=2\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "no temporary file left";
}

TEST(IniWrite, FlushFollowsASymbolicLink)
{
    TempDir dir;
    const std::string target = dir.file("real.ini"), link = dir.file("link.ini");
    writeFile(target, "[S]\nk=1\n");
    std::filesystem::create_symlink(target, link);
    IniFile ini(link);
    ini.writeText("S", "k", "2");
    ini.flush();
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readFile(target), "[S]\nk=2\n");
}

// Every failure names the file as given and leaves the former file as it was.
void expectWriteFails(const std::string& path, std::string_view key, std::string_view value)
{
    const bool readable = std::filesystem::is_regular_file(path) && ::access(path.c_str(), R_OK) == 0;
    const std::string before = readable ? readFile(path) : std::string();
    try {
        IniFile ini(path);
        ini.writeText("S", key, value);
        ini.flush();
        ADD_FAILURE() << "no error raised";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), ("Unable to write to " + path).c_str());
    }
    if (readable) {
        EXPECT_EQ(readFile(path), before);
    }
}

TEST(IniWrite, FailuresRaiseUnableToWrite)
{
    struct Case {
        const char* name;
        std::string (*prepare)(const TempDir&); // returns the file name
        std::string_view key;
        std::string_view value;
    };
    const auto plainFile = [](const TempDir& d) { writeFile(d.file("f.ini"), "[S]\nk=1\n"); return d.file("f.ini"); };
    const Case cases[] = {
        {"the name is a folder",
         [](const TempDir& d) { std::filesystem::create_directory(d.file("f.ini")); return d.file("f.ini"); }, "k", "v"},
        {"the folder is missing", [](const TempDir& d) { return d.file("none/f.ini"); }, "k", "v"},
        {"the folder is a file",
         [](const TempDir& d) { writeFile(d.file("plain"), "x"); return d.file("plain/f.ini"); }, "k", "v"},
        {"the value holds a line break", plainFile, "k", "a\n[S]\nk=2"},
        {"the value holds a NUL", plainFile, "k", std::string_view("a\0b", 3)},
        {"the key holds an equals sign", plainFile, "a=b", "v"},
        {"the key opens a section", plainFile, "[k", "v"},
        {"the key is empty", plainFile, "", "v"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        expectWriteFails(c.prepare(dir), c.key, c.value);
    }
}

TEST(IniWrite, PermissionFailuresRaiseUnableToWrite)
{
    TempDir probe;
    ::chmod(probe.path().c_str(), 0555);
    const bool permissionsIgnored = test::canCreateFileIn(probe.path());
    ::chmod(probe.path().c_str(), 0755);
    if (permissionsIgnored)
        GTEST_SKIP() << "file permissions stop nothing for this user (root)";

    struct Case {
        const char* name;
        mode_t fileMode, folderMode;
    };
    const Case cases[] = {
        {"read-only folder", 0644, 0555},
        {"read-only file", 0444, 0755},
        {"unreadable file is never overwritten", 0200, 0755},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.file("f.ini");
        writeFile(path, "[S]\nk=1\n");
        ::chmod(path.c_str(), c.fileMode);
        ::chmod(dir.path().c_str(), c.folderMode);
        expectWriteFails(path, "k", "v");
        ::chmod(dir.path().c_str(), 0755);
        ::chmod(path.c_str(), 0644);
        EXPECT_EQ(readFile(path), "[S]\nk=1\n");
    }
}

TEST(IniWrite, EntriesRefusedAtKLeaveTheOnesBeforeWritten)
{
    TempDir dir;
    const std::string path = dir.file("t.ini");
    writeFile(path, "; keep\n");
    const IniEntry entries[] = {{"S", "a", "1"}, {"T", "b", "2"}, {"T", "c", "bad\rvalue"}, {"S", "d", "4"}};
    EXPECT_THROW(writeIniEntries(path, entries), Error);
    EXPECT_EQ(readFile(path), "; keep\n\n[S]\na=1\n\n[T]\nb=2\n");
}

// A file-size limit makes a real write fail part of the way through: the
// single rewrite of all entries is too large, and so is every file from some
// entry on when they are written one at a time.
TEST(IniWrite, EntriesFailingPartWayLeaveTheOnesBeforeWritten)
{
    TempDir dir;
    const std::string path = dir.file("t.ini");
    std::vector<IniEntry> entries;
    for (int i = 0; i < 20; ++i)
        entries.push_back({"S", "key" + std::to_string(i), std::string(20, 'v')});
    // "[S]\n" is 4 bytes, each entry line 26 ("keyN=" + 20 + "\n", N < 10).
    constexpr rlim_t Limit = 4 + 5 * 26;

    struct sigaction ignore {}, former {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &former);
    rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = Limit;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    bool raised = false;
    try {
        writeIniEntries(path, entries);
    } catch (const Error& e) {
        raised = std::string(e.what()) == "Unable to write to " + path;
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::sigaction(SIGXFSZ, &former, nullptr);

    EXPECT_TRUE(raised);
    IniFile result(path);
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(result.readText("S", "key" + std::to_string(i), "missing"), i < 5 ? entries[i].value : "missing");
    }
}

} // namespace
} // namespace quorvane
