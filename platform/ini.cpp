#include "platform/ini.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {

namespace {

// A settings file is a few kilobytes; anything far larger is not one, and
// holding it whole in memory to rewrite it would be unreasonable.
constexpr off_t MaxFileSize = 16 * 1024 * 1024;
constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

bool isQuote(char c) { return c == '"' || c == '\''; }

bool enclosedInQuotes(std::string_view s)
{
    return s.size() >= 2 && isQuote(s.front()) && s.front() == s.back();
}

bool holdsLineBreak(std::string_view s)
{
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

enum class Kind { Other, Comment, Section, Key };

struct Parsed {
    Kind kind = Kind::Other;
    std::string_view name;      // section or key name, trimmed
    std::size_t valueStart = 0; // key lines: offset of the value in the line
};

Parsed parse(std::string_view line)
{
    Parsed p;
    const std::string_view t = trim(line);
    if (t.empty())
        return p;
    if (t.front() == '[') {
        if (const auto close = t.find(']'); close != std::string_view::npos) {
            p.kind = Kind::Section;
            p.name = trim(t.substr(1, close - 1));
            return p;
        }
    }
    if (t.front() == ';') {
        p.kind = Kind::Comment;
        return p;
    }
    const auto eq = line.find('=');
    if (eq == std::string_view::npos)
        return p;
    p.kind = Kind::Key;
    p.name = trim(line.substr(0, eq));
    std::size_t v = eq + 1;
    while (v < line.size() && isBlank(line[v]))
        ++v;
    // "key=   " keeps no blanks in front of a new value.
    p.valueStart = v < line.size() ? v : eq + 1;
    return p;
}

/// The value of a key line as read: trimmed, one pair of enclosing quotes removed.
std::string_view valueOf(std::string_view line, const Parsed& p)
{
    std::string_view v = trim(line.substr(p.valueStart));
    if (enclosedInQuotes(v))
        v = v.substr(1, v.size() - 2);
    return v;
}

std::string encode(std::string_view value)
{
    const bool quote = !value.empty()
        && (isBlank(value.front()) || isBlank(value.back()) || enclosedInQuotes(value));
    if (!quote)
        return std::string(value);
    std::string out;
    out.reserve(value.size() + 2);
    out += '"';
    out += value;
    out += '"';
    return out;
}

bool keyWritable(std::string_view section, std::string_view key)
{
    const std::string_view s = trim(section), k = trim(key);
    if (s.empty() || k.empty() || s != section || k != key)
        return false;
    if (holdsLineBreak(section) || section.find(']') != std::string_view::npos)
        return false;
    return !holdsLineBreak(key) && key.find('=') == std::string_view::npos && key.front() != '['
        && key.front() != ';';
}

bool readWhole(const std::string& path, std::string& out, bool& exists)
{
    exists = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        // A missing file is an empty one; anything else is a file we cannot read.
        return errno == ENOENT || errno == ENOTDIR;
    }
    exists = true;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= MaxFileSize;
    if (ok) {
        out.clear();
        char buffer[8192];
        for (;;) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0 || out.size() + static_cast<std::size_t>(got) > MaxFileSize) {
                ok = false;
                break;
            }
            if (got == 0)
                break;
            out.append(buffer, static_cast<std::size_t>(got));
        }
    }
    ::close(fd);
    return ok;
}

bool writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t put = ::write(fd, data.data(), data.size());
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

mode_t newFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

/// Writes data to a temporary file beside path and renames it over path.
bool replaceFile(const std::string& given, std::string_view data)
{
    namespace fs = std::filesystem;
    std::string path = given;
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(given, ec))) {
        path = fs::weakly_canonical(fs::path(given), ec).string();
        if (ec)
            return false;
    }

    mode_t mode = newFileMode();
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        // A read-only file stays read-only: renaming over it would defeat that.
        if (!S_ISREG(st.st_mode) || ::access(path.c_str(), W_OK) != 0)
            return false;
        mode = st.st_mode & 07777;
    }

    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = folder + "." + base + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, data) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok)
        ::unlink(temp.c_str());
    return ok;
}

} // namespace

bool parseIniInteger(std::string_view v, int& out)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < v.size() && (v[i] == '+' || v[i] == '-')) {
        negative = v[i] == '-';
        ++i;
    }
    unsigned base = 10;
    if (v.size() - i >= 2 && v[i] == '0' && (v[i + 1] == 'x' || v[i + 1] == 'X')) {
        base = 16;
        i += 2;
    } else if (i < v.size() && v[i] == '$') {
        base = 16;
        ++i;
    }
    if (i == v.size())
        return false;
    constexpr std::uint64_t Limit = 2147483648u; // magnitude of INT_MIN
    std::uint64_t magnitude = 0;
    for (; i < v.size(); ++i) {
        const char c = v[i];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && lower(c) >= 'a' && lower(c) <= 'f')
            digit = static_cast<unsigned>(lower(c) - 'a' + 10);
        else
            return false;
        magnitude = magnitude * base + digit;
        if (magnitude > Limit)
            return false;
    }
    if (!negative && magnitude == Limit)
        return false;
    out = negative ? static_cast<int>(-static_cast<std::int64_t>(magnitude)) : static_cast<int>(magnitude);
    return true;
}

IniFile::IniFile(std::string fileName) : fileName_(std::move(fileName))
{
    std::string data;
    bool exists = false;
    if (!readWhole(fileName_, data, exists)) {
        loadable_ = false;
        return;
    }
    std::string_view rest = data;
    if (rest.substr(0, Utf8Bom.size()) == Utf8Bom) {
        bom_ = Utf8Bom;
        rest.remove_prefix(Utf8Bom.size());
    }
    bool endingSeen = false;
    while (!rest.empty()) {
        const auto end = rest.find_first_of("\r\n");
        Line line;
        if (end == std::string_view::npos) {
            line.text = rest;
            rest = {};
        } else {
            line.text = rest.substr(0, end);
            const std::size_t len = (rest[end] == '\r' && end + 1 < rest.size() && rest[end + 1] == '\n') ? 2 : 1;
            line.ending = len == 2 ? std::string("\r\n") : std::string(1, rest[end]);
            rest.remove_prefix(end + len);
            if (!endingSeen) {
                newline_ = line.ending;
                endingSeen = true;
            }
        }
        lines_.push_back(std::move(line));
    }
}

IniFile::Found IniFile::find(std::string_view section, std::string_view key) const
{
    Found f;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Parsed p = parse(lines_[i].text);
        if (p.kind == Kind::Section) {
            if (f.section != npos)
                break; // end of the first matching section
            if (sameName(p.name, section))
                f.section = i;
        } else if (p.kind == Kind::Key && f.section != npos) {
            f.lastKey = i;
            if (f.key == npos && sameName(p.name, key))
                f.key = i;
        }
    }
    return f;
}

std::string IniFile::readText(std::string_view section, std::string_view key,
                              std::string_view defaultValue) const
{
    const Found f = find(section, key);
    if (f.key == npos)
        return std::string(defaultValue);
    const std::string& line = lines_[f.key].text;
    std::string_view v = valueOf(line, parse(line));
    if (v.size() > MaxTextLength) {
        std::size_t cut = MaxTextLength;
        // Step back to the lead byte of a UTF-8 sequence the cut would split.
        while (cut > 0 && (static_cast<unsigned char>(v[cut]) & 0xC0) == 0x80)
            --cut;
        v = v.substr(0, cut);
    }
    return std::string(v);
}

int IniFile::readInteger(std::string_view section, std::string_view key, int defaultValue) const
{
    const Found f = find(section, key);
    if (f.key == npos)
        return defaultValue;
    const std::string& line = lines_[f.key].text;
    int value = 0;
    return parseIniInteger(valueOf(line, parse(line)), value) ? value : defaultValue;
}

bool IniFile::readBoolean(std::string_view section, std::string_view key, bool defaultValue) const
{
    return readInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void IniFile::writeText(std::string_view section, std::string_view key, std::string_view value)
{
    if (!keyWritable(section, key) || holdsLineBreak(value))
        fail();
    const std::string encoded = encode(value);
    const Found f = find(section, key);
    if (f.key != npos) {
        Line& line = lines_[f.key];
        const Parsed p = parse(line.text);
        line.text.resize(p.valueStart);
        line.text += encoded;
    } else {
        Line added{std::string(key) + "=" + encoded, newline_};
        if (f.section != npos) {
            const std::size_t after = f.lastKey != npos ? f.lastKey : f.section;
            if (lines_[after].ending.empty())
                lines_[after].ending = newline_;
            lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(after + 1), std::move(added));
        } else {
            if (!lines_.empty()) {
                if (lines_.back().ending.empty())
                    lines_.back().ending = newline_;
                if (!trim(lines_.back().text).empty())
                    lines_.push_back({std::string(), newline_});
            }
            std::string header(1, '[');
            header.append(section).push_back(']');
            lines_.push_back({std::move(header), newline_});
            lines_.push_back(std::move(added));
        }
    }
    dirty_ = true;
}

void IniFile::writeInteger(std::string_view section, std::string_view key, int value)
{
    writeText(section, key, std::to_string(value));
}

void IniFile::writeBoolean(std::string_view section, std::string_view key, bool value)
{
    writeText(section, key, value ? "1" : "0");
}

std::string IniFile::contents() const
{
    std::string out = bom_;
    for (const Line& line : lines_) {
        out += line.text;
        out += line.ending;
    }
    return out;
}

void IniFile::flush()
{
    if (!dirty_)
        return;
    if (!loadable_ || !replaceFile(fileName_, contents()))
        fail();
    dirty_ = false;
}

void IniFile::fail() const
{
    throw Error(format(text::UnableToWrite, fileName_));
}

void writeIniEntries(const std::string& fileName, std::span<const IniEntry> entries)
{
    IniFile batch(fileName);
    std::size_t accepted = 0;
    bool refused = false;
    for (; accepted < entries.size(); ++accepted) {
        const IniEntry& e = entries[accepted];
        try {
            batch.writeText(e.section, e.key, e.value);
        } catch (const Error&) {
            refused = true;
            break;
        }
    }
    try {
        batch.flush();
    } catch (const Error&) {
        // The file is as it was. Writing one entry per flush finds the entry at
        // which writing fails (a file growing past a disk or size limit) and
        // leaves the ones before it written, exactly as separate writes would.
        IniFile single(fileName);
        for (std::size_t i = 0; i < accepted; ++i) {
            single.writeText(entries[i].section, entries[i].key, entries[i].value);
            single.flush();
        }
    }
    if (refused)
        throw Error(format(text::UnableToWrite, fileName));
}

} // namespace quorvane
