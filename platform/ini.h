#pragma once
// INI profile functions: read and write single values of a plain-text INI file
// while every other byte of the file stays as it was.
//
// File form. A line whose first non-blank character is "[" and which holds a "]"
// opens a section named by the text between them (blanks trimmed). A line with
// an "=" is a key line: the key is the text before the first "=", the value the
// text after it, both with surrounding blanks (space, tab) trimmed. Lines whose
// first non-blank character is ";" are comments. Lines before the first section,
// comments, blank lines and lines without "=" never match a key. Line endings
// are "\n", "\r\n" or a lone "\r"; a UTF-8 byte-order mark before the first line
// is allowed and kept. Section and key names match without regard to ASCII
// case; where a section or a key occurs twice, the first occurrence is the one
// read and written.
//
// Values. A value enclosed in one pair of matching quotes ("..." or '...') is
// read without them, so that leading or trailing blanks can be kept; a written
// value that needs this (it has such blanks, or is itself enclosed in matching
// quotes) is written inside double quotes, so every text reads back as written.
// Texts read are cut to MaxTextLength bytes, never inside a UTF-8 sequence.
//
// Integers (32-bit signed) are read from the text value: an optional "+" or "-",
// then decimal digits, or "0x", "0X" or "$" and hexadecimal digits. Nothing
// else may follow or come between (" 12 " is 12 because the blanks are trimmed
// as for any value; "12abc", "1 2", "1e3", "" and "0x" are not integers), and
// the value must lie in the 32-bit signed range ("2147483648" and "0x80000000"
// are not integers; "-0x80000000" is the lowest). A value that is not an
// integer gives the default. Booleans are integers: written "1" or "0", read
// true for any non-zero integer, a non-integer gives the default.
//
// Writing. A written key's line keeps everything up to its value (the key's own
// spelling, blanks, "=") and its line ending; only the value changes. A missing
// key is added after the last key line of its section (or right after the
// section line when it has none); a missing section is added at the end of the
// file, after a blank line unless the file is empty or already ends with one. New lines end as the file's first line does ("\n"
// in a new file). The file is replaced safely: a temporary file in the same
// folder is written, flushed to disk and renamed over the original, so a failed
// write leaves the former file intact. A symbolic link is followed and its
// target replaced. Any failure raises Error("Unable to write to <file name as
// given>"); so does a value or key that cannot be held on one line (it holds a
// line break or NUL, or a key holds "=" or starts with "[" or ";"), and a file
// that exists but could not be read, which is never overwritten.
#include "platform/errors.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

namespace text {
inline constexpr const char* UnableToWrite = "Unable to write to %s";
} // namespace text

/// One INI file held in memory: loaded once, read and edited by line, written
/// back by flush(). Edits are not seen by other readers until flush() succeeds.
class IniFile {
public:
    static constexpr std::size_t MaxTextLength = 2047;

    /// Loads the file. A missing file is an empty one; a file that exists but
    /// cannot be read (no permission, not a regular file, larger than 16 MiB)
    /// reads as empty and refuses every flush().
    explicit IniFile(std::string fileName);

    const std::string& fileName() const noexcept { return fileName_; }

    std::string readText(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
    int readInteger(std::string_view section, std::string_view key, int defaultValue) const;
    bool readBoolean(std::string_view section, std::string_view key, bool defaultValue) const;

    /// Edits in memory; throws Error("Unable to write to ...") for a key or
    /// value that cannot be written (see the file comment) and then changes nothing.
    void writeText(std::string_view section, std::string_view key, std::string_view value);
    void writeInteger(std::string_view section, std::string_view key, int value);
    void writeBoolean(std::string_view section, std::string_view key, bool value);

    /// True when there are edits that flush() has not written yet.
    bool dirty() const noexcept { return dirty_; }

    /// Replaces the file by the lines in memory (see the file comment); throws
    /// Error("Unable to write to ...") and leaves the file as it was on failure.
    void flush();

    /// The bytes the file would hold after flush().
    std::string contents() const;

private:
    struct Line {
        std::string text;   // without its line ending
        std::string ending; // "\n", "\r\n", "\r" or "" (last line without one)
    };
    struct Found {
        std::size_t section = npos; // index of the section line
        std::size_t key = npos;     // index of the key line
        std::size_t lastKey = npos; // last key line of the section (npos: none)
    };
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    Found find(std::string_view section, std::string_view key) const;
    [[noreturn]] void fail() const;

    std::string fileName_;
    std::string bom_;
    std::vector<Line> lines_;
    std::string newline_ = "\n";
    bool loadable_ = true;
    bool dirty_ = false;
};

/// Parses an integer value as the file comment says; false when it is not one.
bool parseIniInteger(std::string_view value, int& out);

/// One value to write: section, key and the value as text.
struct IniEntry {
    std::string section, key, value;
};

/// Writes the entries in their order with the outcome of writing and flushing
/// them one at a time: when entry k cannot be written, the entries before k are
/// in the file, those from k on are not, and Error("Unable to write to ...")
/// is raised. The file is rewritten once when nothing fails.
void writeIniEntries(const std::string& fileName, std::span<const IniEntry> entries);

} // namespace quorvane
