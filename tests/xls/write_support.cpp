#include "write_support.h"

#include "xls/text.h"
#include "xls/write/compound_writer.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace quorvane::xls::test {

Bytes emptyWorkbookStream(const std::vector<std::string>& sheets)
{
    // Globals as spreadsheet programs expect them: one FONT (Arial 10 pt), style XFs 0..14,
    // cell XFs 15..47 (readers look up the XF of every cell), WINDOW1, the sheets.
    Biff b;
    b.bof(0x0005);
    b.window1(0);
    Bytes font;
    put16(font, 200);
    put16(font, 0);
    put16(font, 0x7FFF);
    put16(font, 400);
    put16(font, 0);
    font.insert(font.end(), {0, 0, 0, 0});
    const Bytes name = str8("Arial", true);
    font.insert(font.end(), name.begin(), name.end());
    for (int i = 0; i < 5; ++i)
        b.rec(0x0031, font); // font index 4 does not exist: five records give 0..3 and 5
    for (int i = 0; i < 48; ++i) {
        Bytes xf;
        put16(xf, 0);
        put16(xf, 0);
        put16(xf, i < 15 ? 0xFFF5 : 0x0001); // style XF, or cell XF locked with parent 0
        put16(xf, 0x20);
        xf.resize(20, 0);
        b.rec(0x00E0, xf);
    }
    for (const auto& s : sheets)
        b.boundSheet(s);
    b.eof();
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        b.bof(0x0010);
        b.window2(i == 0 ? 0x06B6 : 0x04B6);
        b.eof();
    }
    return b.data;
}

std::unique_ptr<TXLSFile> openStream(const Bytes& stream, bool allowOverwriting)
{
    auto file = std::make_unique<TXLSFile>(allowOverwriting, std::set<TSaveFormat>{TSaveFormat::snXLS}, nullptr);
    file->connect();
    file->openBytes(buildCompoundDocument({}, stream));
    return file;
}

TWorkSheet& worksheet(TWorkbook& book, std::size_t i)
{
    return dynamic_cast<TWorkSheet&>(*book.sheets().at(i));
}

std::vector<WrittenRecord> recordsOf(const Bytes& s)
{
    std::vector<WrittenRecord> out;
    std::size_t pos = 0;
    while (pos + 4 <= s.size()) {
        const std::uint16_t id = static_cast<std::uint16_t>(s[pos] | s[pos + 1] << 8);
        const std::size_t n = static_cast<std::size_t>(s[pos + 2] | s[pos + 3] << 8);
        if (pos + 4 + n > s.size())
            break;
        out.push_back({id, pos, Bytes(s.begin() + static_cast<long>(pos + 4), s.begin() + static_cast<long>(pos + 4 + n))});
        pos += 4 + n;
    }
    return out;
}

SeenBook engineCells(const TWorkbook& book)
{
    SeenBook seen;
    for (std::size_t i = 0; i < book.sheets().size(); ++i) {
        // Worksheets only: python3-xlrd leaves chart and macro sheets out.
        const auto* ws = dynamic_cast<const TWorkSheet*>(book.sheets()[i].get());
        if (!ws || book.globals().boundSheets.record(i).sheetType() != 0)
            continue;
        seen.names.push_back(toUtf8(book.globals().boundSheets.name(i)));
        SeenSheet cells;
        {
            for (int r = 0; r < ws->cells.rowCount(); ++r) {
                for (const auto& cell : *ws->cells.row(r)) {
                    if (cell->isFormula())
                        continue;
                    const CellVariant v = cell->value();
                    SeenCell c;
                    if (const auto* d = std::get_if<double>(&v))
                        c = {"number", "", *d};
                    else if (const auto* t = std::get_if<std::u16string>(&v))
                        c = {"text", toUtf8(*t)};
                    else if (const auto* b = std::get_if<bool>(&v))
                        c = {"bool", *b ? "TRUE" : "FALSE"};
                    else if (const auto* e = std::get_if<CellError>(&v))
                        c = {"error", toUtf8(e->text)};
                    else
                        continue;
                    cells[{r, cell->col()}] = c;
                }
            }
        }
        seen.sheets.push_back(std::move(cells));
    }
    return seen;
}

std::vector<std::vector<std::pair<int, int>>> formulaCells(const TWorkbook& book)
{
    std::vector<std::vector<std::pair<int, int>>> out;
    for (std::size_t i = 0; i < book.sheets().size(); ++i) {
        const auto* ws = dynamic_cast<const TWorkSheet*>(book.sheets()[i].get());
        if (!ws || book.globals().boundSheets.record(i).sheetType() != 0)
            continue;
        out.emplace_back();
        {
            for (int r = 0; r < ws->cells.rowCount(); ++r)
                for (const auto& cell : *ws->cells.row(r))
                    if (cell->isFormula())
                        out.back().push_back({r, cell->col()});
        }
    }
    return out;
}

std::optional<std::string> xlrdPython()
{
    for (const char* py : {"/usr/bin/python3", "python3"}) {
        const std::string cmd = std::string(py) + " -c 'import xlrd' >/dev/null 2>&1";
        if (std::system(cmd.c_str()) == 0)
            return std::string(py);
    }
    return std::nullopt;
}

namespace {

std::string unescape(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char n = s[++i];
        out += n == 't' ? '\t' : n == 'n' ? '\n' : n == 'r' ? '\r' : n;
    }
    return out;
}

} // namespace

SeenBook xlrdCells(const std::string& python, const std::string& path,
                   const std::vector<std::vector<std::pair<int, int>>>& skip)
{
    const std::string cmd = python + " " QUORVANE_SOURCE_DIR "/tests/xls/xlrd_cells.py '" + path + "' 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    std::string text;
    std::array<char, 65536> buf{};
    while (p) {
        const std::size_t n = std::fread(buf.data(), 1, buf.size(), p);
        if (n == 0)
            break;
        text.append(buf.data(), n);
    }
    const int rc = p ? ::pclose(p) : -1;
    SeenBook seen;
    if (rc != 0) {
        seen.names.push_back("xlrd failed: " + text);
        return seen;
    }
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::size_t at = 0;
        for (std::size_t tab; (tab = line.find('\t', at)) != std::string::npos; at = tab + 1)
            f.push_back(line.substr(at, tab - at));
        f.push_back(line.substr(at));
        if (f.size() == 2 && f[0] == "sheet") {
            seen.names.push_back(unescape(f[1]));
            seen.sheets.emplace_back();
            continue;
        }
        if (f.size() != 4 || seen.sheets.empty())
            continue;
        const std::pair<int, int> at2{std::stoi(f[0]), std::stoi(f[1])};
        const std::size_t sheet = seen.sheets.size() - 1;
        if (sheet < skip.size() && std::find(skip[sheet].begin(), skip[sheet].end(), at2) != skip[sheet].end())
            continue;
        SeenCell c{f[2], f[2] == "number" ? "" : unescape(f[3])};
        if (f[2] == "number")
            c.number = std::strtod(f[3].c_str(), nullptr);
        seen.sheets.back()[at2] = c;
    }
    return seen;
}

} // namespace quorvane::xls::test
