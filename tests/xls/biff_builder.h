#pragma once
// Builds BIFF8 record streams and compound documents by hand, so that tests can hold
// exactly the bytes a case needs (a CONTINUE boundary in the middle of a string, a
// misplaced record, a second ROW record ...).
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace quorvane::xls::test {

using Bytes = std::vector<std::uint8_t>;

inline void put16(Bytes& b, std::uint16_t v)
{
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void put32(Bytes& b, std::uint32_t v)
{
    put16(b, static_cast<std::uint16_t>(v));
    put16(b, static_cast<std::uint16_t>(v >> 16));
}
inline void putF64(Bytes& b, double d)
{
    std::uint64_t bits;
    static_assert(sizeof bits == sizeof d);
    __builtin_memcpy(&bits, &d, sizeof d);
    put32(b, static_cast<std::uint32_t>(bits));
    put32(b, static_cast<std::uint32_t>(bits >> 32));
}

/// An 8-bit BIFF8 string with a 2-byte count (or 1-byte when `shortCount`).
inline Bytes str8(const std::string& s, bool shortCount = false)
{
    Bytes b;
    if (shortCount)
        b.push_back(static_cast<std::uint8_t>(s.size()));
    else
        put16(b, static_cast<std::uint16_t>(s.size()));
    b.push_back(0);
    b.insert(b.end(), s.begin(), s.end());
    return b;
}
/// A 16-bit BIFF8 string with a 2-byte count (or 1-byte).
inline Bytes str16(const std::u16string& s, bool shortCount = false)
{
    Bytes b;
    if (shortCount)
        b.push_back(static_cast<std::uint8_t>(s.size()));
    else
        put16(b, static_cast<std::uint16_t>(s.size()));
    b.push_back(1);
    for (char16_t c : s)
        put16(b, static_cast<std::uint16_t>(c));
    return b;
}

inline Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

/// A record stream being written.
class Biff {
public:
    Biff& rec(std::uint16_t id, const Bytes& body)
    {
        put16(data, id);
        put16(data, static_cast<std::uint16_t>(body.size()));
        data.insert(data.end(), body.begin(), body.end());
        return *this;
    }
    Biff& bof(std::uint16_t type, std::uint16_t version = 0x0600)
    {
        Bytes b;
        put16(b, version);
        put16(b, type);
        put16(b, 0x0DBB);
        put16(b, 0x07CC);
        put32(b, 0);
        put32(b, 0x06);
        return rec(0x0809, b);
    }
    Biff& eof() { return rec(0x000A, {}); }
    Biff& boundSheet(const std::string& name, std::uint8_t type = 0)
    {
        Bytes b;
        put32(b, 0);
        b.push_back(0);
        b.push_back(type);
        Bytes n = str8(name, true);
        b.insert(b.end(), n.begin(), n.end());
        return rec(0x0085, b);
    }
    Biff& window1(std::uint16_t activeTab)
    {
        Bytes b(18, 0);
        b[10] = static_cast<std::uint8_t>(activeTab);
        b[11] = static_cast<std::uint8_t>(activeTab >> 8);
        b[14] = 1;
        return rec(0x003D, b);
    }
    Biff& window2(std::uint16_t flags = 0x06B6)
    {
        Bytes b;
        put16(b, flags);
        b.resize(18, 0);
        return rec(0x023E, b);
    }
    static Bytes cellHead(std::uint16_t row, std::uint16_t col, std::uint16_t xf = 15)
    {
        Bytes b;
        put16(b, row);
        put16(b, col);
        put16(b, xf);
        return b;
    }
    Biff& number(std::uint16_t row, std::uint16_t col, double v)
    {
        Bytes b = cellHead(row, col);
        putF64(b, v);
        return rec(0x0203, b);
    }
    Biff& rk(std::uint16_t row, std::uint16_t col, std::uint32_t v)
    {
        Bytes b = cellHead(row, col);
        put32(b, v);
        return rec(0x027E, b);
    }
    Biff& labelSst(std::uint16_t row, std::uint16_t col, std::uint32_t index)
    {
        Bytes b = cellHead(row, col);
        put32(b, index);
        return rec(0x00FD, b);
    }
    Biff& label(std::uint16_t row, std::uint16_t col, const Bytes& string)
    {
        return rec(0x0204, cat({cellHead(row, col), string}));
    }
    Biff& boolErr(std::uint16_t row, std::uint16_t col, std::uint8_t value, bool error)
    {
        Bytes b = cellHead(row, col);
        b.push_back(value);
        b.push_back(error ? 1 : 0);
        return rec(0x0205, b);
    }
    Biff& blank(std::uint16_t row, std::uint16_t col) { return rec(0x0201, cellHead(row, col)); }
    Biff& row(std::uint16_t r, std::uint16_t first, std::uint16_t lastPlus1)
    {
        Bytes b;
        put16(b, r);
        put16(b, first);
        put16(b, lastPlus1);
        put16(b, 255);
        put16(b, 0x1234); // cleared by the reader
        put16(b, 0);
        put32(b, 0x000F0100);
        return rec(0x0208, b);
    }
    /// FORMULA with an 8-byte cached result field and the given tokens.
    Biff& formula(std::uint16_t row, std::uint16_t col, const Bytes& result8, const Bytes& tokens,
                  std::uint16_t flags = 0)
    {
        Bytes b = cellHead(row, col);
        b.insert(b.end(), result8.begin(), result8.end());
        put16(b, flags);
        put32(b, 0xDEADBEEF); // cache chain, cleared by the reader
        put16(b, static_cast<std::uint16_t>(tokens.size()));
        b.insert(b.end(), tokens.begin(), tokens.end());
        return rec(0x0006, b);
    }
    /// SST of the given strings (stored forms); the caller splits long ones itself.
    Biff& sst(const std::vector<Bytes>& strings)
    {
        Bytes b;
        put32(b, static_cast<std::uint32_t>(strings.size()));
        put32(b, static_cast<std::uint32_t>(strings.size()));
        for (const Bytes& s : strings)
            b.insert(b.end(), s.begin(), s.end());
        return rec(0x00FC, b);
    }
    /// Globals with the given sheet names, an optional SST, then nothing else.
    Biff& globals(const std::vector<std::string>& sheets, const std::vector<Bytes>& strings = {},
                  int activeTab = 0)
    {
        bof(0x0005);
        window1(static_cast<std::uint16_t>(activeTab));
        for (const auto& s : sheets)
            boundSheet(s);
        if (!strings.empty())
            sst(strings);
        return eof();
    }

    Bytes data;
};

/// Writes a compound document with the given top-level streams (name, bytes) and, when
/// `storageName` is not empty, one storage holding one stream. Returns false on failure.
bool writeCompoundDocument(const std::string& path, const std::vector<std::pair<std::string, Bytes>>& streams,
                           const std::string& storageName = {}, const std::string& innerName = {},
                           const Bytes& innerBytes = {});

/// The bytes of a file.
Bytes readFile(const std::string& path);

/// A fresh temporary folder for one test (removed by the caller's TempDir).
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

} // namespace quorvane::xls::test
